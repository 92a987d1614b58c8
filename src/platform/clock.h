#pragma once

#include "platform/datetime.h"

namespace dova {

// The wall clock: local date and time as our date-time value.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual TDateTime Now() const = 0;
};

}  // namespace dova
