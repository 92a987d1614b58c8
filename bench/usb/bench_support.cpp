#include "bench_support.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace dova::bench {

std::string ReplyStream(std::size_t min_bytes) {
  static constexpr std::array<std::string_view, 12> kReplies = {
      "SERL 1234", "NICK Bench 3 left", "LBSP 3700", "RBSP 3700",
      "GFSP 100",  "LBT1 3712",         "LBT2 3698", "RBT1 3705",
      "RBT2 3701", "FLOW 20000",        "PFLW 2000", "DISP 37.037.0 20  GGG",
  };
  std::string s;
  // A length that is not a multiple of any tick size, so pieces split lines everywhere.
  while (s.size() < min_bytes) {
    for (std::string_view r : kReplies) {
      s.append(r);
      s.push_back('\r');
    }
  }
  return s;
}

ReaderRig::ReaderRig(std::size_t bytes_per_tick)
    : dev_(lib_.AddBridge("dova300-bench")),
      stream_(ReplyStream(bytes_per_tick * 4 + 1000)),
      per_tick_(bytes_per_tick) {
  bridge::SiHandle handle = 0;
  lib_.SI_Open(0, &handle);
  port_ = std::make_unique<TUSBXpress>(sched_, lib_, handle, 13, 0, 57600, 20);
}

void ReaderRig::SetOnLine(TUSBXpress::TLineEvent handler) {
  port_->SetOnLine(std::move(handler));
  port_->SetActive(true);
}

void ReaderRig::Pump() {
  std::size_t left = per_tick_;
  while (left > 0) {
    const std::size_t n = std::min(left, stream_.size() - pos_);
    dev_->SendToHost(std::string_view(stream_).substr(pos_, n));
    pos_ = (pos_ + n) % stream_.size();
    left -= n;
  }
  sched_.AdvanceBy(20);
}

}  // namespace dova::bench
