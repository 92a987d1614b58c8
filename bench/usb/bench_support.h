#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/bridge/sim/sim_library.h"
#include "platform/virtual_scheduler.h"
#include "usb/usbxpress.h"

namespace dova::bench {

// Reply lines as an incubator sends them during its poll cycle, each ended by its CR.
std::string ReplyStream(std::size_t min_bytes);

// One opened bridge with an active reader on virtual time. Each Pump hands the reader one
// piece of the reply stream and lets one reader tick run.
class ReaderRig {
 public:
  explicit ReaderRig(std::size_t bytes_per_tick);
  void SetOnLine(TUSBXpress::TLineEvent handler);
  void Pump();
  std::size_t BytesPerTick() const { return per_tick_; }

 private:
  VirtualScheduler sched_;
  bridge::SimLibrary lib_;
  std::shared_ptr<bridge::SimBridge> dev_;
  std::unique_ptr<TUSBXpress> port_;
  std::string stream_;
  std::size_t per_tick_;
  std::size_t pos_ = 0;
};

}  // namespace dova::bench
