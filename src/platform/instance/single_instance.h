#pragma once

#include <memory>
#include <string>

namespace dova {

// The marker that keeps a second copy of the program from running. Only one process at a
// time can hold the guard of a given name; it is released when the object goes (or the
// process ends, however it ends).
class SingleInstance {
 public:
  enum class TAcquireResult {
    Acquired,       // this copy is the only one
    HeldElsewhere,  // another copy runs: end at once, silently
    Unavailable,    // the marker could not be made at all (no runtime folder, ...)
  };

  virtual ~SingleInstance() = default;
  virtual TAcquireResult Acquire() = 0;
  // Why Acquire gave Unavailable, for a console line: one line, whatever the folder's name.
  virtual std::string Problem() const = 0;
};

// The guard of this platform for the given name ("DOVA-300 Logger"), placed in the user's
// runtime folder.
std::unique_ptr<SingleInstance> CreateSingleInstance(const std::string& name);

}  // namespace dova
