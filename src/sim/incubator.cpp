#include "sim/incubator.h"

#include <algorithm>
#include <cmath>

#include "platform/bridge/sim/sim_library.h"
#include "platform/scheduler.h"
#include "platform/timer.h"

namespace dova::sim {

namespace {

// Room for a 4-character display field: "37.0", " 5.2", "-3.5".
std::string TemperatureText(double celsius) {
  long tenths = std::lround(celsius * 10.0);
  tenths = std::clamp(tenths, -99L, 999L);
  const long whole = tenths / 10;
  const long frac = tenths < 0 ? -(tenths % 10) : tenths % 10;
  std::string text =
      (tenths < 0 && whole == 0 ? "-" : "") + std::to_string(whole) + "." + std::to_string(frac);
  if (text.size() < 4) text.insert(0, 4 - text.size(), ' ');
  return text;
}

// The gas display shows whole ml/min, right-aligned in three places and a blank: " 20 ".
std::string FlowText(double ml_per_min) {
  const long n = std::clamp(std::lround(ml_per_min), 0L, 999L);
  std::string text = std::to_string(n);
  if (text.size() < 3) text.insert(0, 3 - text.size(), ' ');
  return text + " ";
}

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Relax(double value, double target, double tau_seconds, double seconds) {
  return target + (value - target) * std::exp(-seconds / tau_seconds);
}

}  // namespace

Incubator::Incubator(Scheduler& scheduler, IncubatorConfig config)
    : scheduler_(scheduler), config_(std::move(config)) {
  rng_state_ = config_.seed;
  const double room = config_.room_temperature;
  left_.temp = config_.start_warm ? config_.left_set_point / 100.0 : room;
  right_.temp = config_.start_warm ? config_.right_set_point / 100.0 : room;
  gas_on_ = config_.gas_on;
  flow_ = FlowTarget();
  last_update_ = scheduler_.Now();
  delivery_ = std::make_unique<Timer>(scheduler_, 1, false);
  delivery_->SetOnTimer([this] { DeliveryTimer(); });
}

Incubator::~Incubator() {
  Detach();
}

// ---- serving ----

void Incubator::Attach(std::shared_ptr<bridge::SimBridge> bridge) {
  Detach();
  bridge_ = std::move(bridge);
  bridge::SimBridge* b = bridge_.get();
  b->OnHostWrite = [this](std::string_view bytes) { Receive(bytes); };
  endpoint_.send = [b](std::string_view bytes) { b->SendToHost(bytes); };
  endpoint_.unplug = [b] { b->Unplug(); };
  endpoint_.overrun = [b] { b->TriggerOverrun(); };
  unplugged_ = false;
}

void Incubator::SetEndpoint(Endpoint endpoint) {
  Detach();
  endpoint_ = std::move(endpoint);
  unplugged_ = false;
}

void Incubator::Detach() {
  if (bridge_) bridge_->OnHostWrite = nullptr;
  bridge_.reset();
  endpoint_ = Endpoint{};
  pending_.clear();
  if (delivery_) delivery_->SetEnabled(false);
  line_.clear();
  discarding_ = false;
}

void Incubator::Receive(std::string_view bytes) {
  if (unplugged_) return;
  for (char c : bytes) {
    if (c == '\r') {
      if (!discarding_ && !line_.empty()) {
        std::string command;
        command.swap(line_);
        HandleCommand(command);
        if (unplugged_) return;
      }
      line_.clear();
      discarding_ = false;
    } else if (c == '\n') {
      // A host that ends its commands with CR+LF still gets its answers.
    } else if (!discarding_) {
      if (line_.size() >= kMaxCommandLength) {
        // The command buffer overflows: this line is lost up to its end.
        discarding_ = true;
        line_.clear();
      } else {
        line_.push_back(c);
      }
    }
  }
}

std::optional<std::string> Incubator::Reply(std::string_view command) {
  constexpr std::string_view kGet = "!GET ";
  constexpr std::string_view kRead = "!READ ";
  constexpr std::string_view kSetNick = "!SET NICK ";
  if (command.starts_with(kSetNick)) {
    SetNick(std::string(command.substr(kSetNick.size())));
    if (answer_set_nick_) return "NICK " + config_.nick;
    return std::nullopt;
  }
  if (command.starts_with(kGet)) {
    const std::string_view tag = command.substr(kGet.size());
    if (tag == "SERL") return "SERL " + std::to_string(config_.serial);
    if (tag == "NICK") return "NICK " + config_.nick;
    if (tag == "LBSP") return "LBSP " + std::to_string(config_.left_set_point);
    if (tag == "RBSP") return "RBSP " + std::to_string(config_.right_set_point);
    if (tag == "GFSP") return "GFSP " + std::to_string(config_.gas_set_point);
    return std::nullopt;
  }
  if (command.starts_with(kRead)) {
    const std::string_view tag = command.substr(kRead.size());
    // The two sensors of a chamber sit a little apart and carry their own noise.
    if (tag == "LBT1") return "LBT1 " + std::to_string(ReadingHundredths(Side::Left, 0.01));
    if (tag == "LBT2") return "LBT2 " + std::to_string(ReadingHundredths(Side::Left, -0.01));
    if (tag == "RBT1") return "RBT1 " + std::to_string(ReadingHundredths(Side::Right, 0.01));
    if (tag == "RBT2") return "RBT2 " + std::to_string(ReadingHundredths(Side::Right, -0.01));
    if (tag == "FLOW" || tag == "PFLW") {
      const double flow = Flow();
      const double noisy = flow > 0.05 ? std::max(0.0, flow + Noise(0.2)) : 0.0;
      // FLOW counts 1/200 ml/min, PFLW 1/20 ml/min.
      const long raw = std::lround(noisy * (tag == "FLOW" ? 200.0 : 20.0));
      return std::string(tag) + " " + std::to_string(raw);
    }
    if (tag == "DISP") return "DISP " + Display();
    return std::nullopt;
  }
  return std::nullopt;
}

void Incubator::HandleCommand(const std::string& command) {
  ++command_count_;
  recent_.push_back(command);
  while (recent_.size() > kCommandLogSize)
    recent_.pop_front();
  std::optional<std::string> reply = Reply(command);
  if (!reply || silent_) return;
  ++reply_count_;
  Deliver(*reply + (crlf_ ? "\r\n" : "\r"));
  if (garbage_every_ > 0 && reply_count_ % garbage_every_ == 0) Deliver(GarbageLine());
}

void Incubator::Deliver(std::string bytes) {
  if (split_ && bytes.size() > 1) {
    const std::size_t half = bytes.size() / 2;
    Queue(bytes.substr(0, half), delay_ms_);
    Queue(bytes.substr(half), delay_ms_ + kSplitGapMs);
  } else {
    Queue(std::move(bytes), delay_ms_);
  }
}

void Incubator::Queue(std::string bytes, std::uint32_t delay_ms) {
  if (delay_ms == 0 && pending_.empty()) {
    Emit(bytes);
    return;
  }
  // A real device's output buffer is finite too; past it, replies are lost.
  if (pending_.size() >= kMaxPendingReplies) return;
  TDateTime due = scheduler_.Now() + delay_ms / kMsPerDay;
  if (!pending_.empty()) due = std::max(due, pending_.back().due);
  pending_.push_back(Pending{due, std::move(bytes)});
  if (pending_.size() == 1) ArmDelivery();
}

void Incubator::ArmDelivery() {
  if (pending_.empty()) {
    delivery_->SetEnabled(false);
    return;
  }
  const std::int64_t ms = MillisecondsBetween(scheduler_.Now(), pending_.front().due);
  // Re-arming restarts the countdown even when the interval stays the same.
  delivery_->SetEnabled(false);
  delivery_->SetInterval(static_cast<std::uint32_t>(std::max<std::int64_t>(ms, 1)));
  delivery_->SetEnabled(true);
}

void Incubator::DeliveryTimer() {
  const TDateTime now = scheduler_.Now();
  while (!pending_.empty() && MillisecondsBetween(now, pending_.front().due) <= 0) {
    const std::string bytes = std::move(pending_.front().bytes);
    pending_.pop_front();
    Emit(bytes);
  }
  ArmDelivery();
}

void Incubator::Emit(std::string_view bytes) {
  if (unplugged_ || !endpoint_.send) return;
  endpoint_.send(bytes);
}

std::string Incubator::GarbageLine() {
  // Noise as a loose connector makes it: bytes of every kind, but never a line that
  // begins with a reply tag, and ended like a reply so that the next one stays whole.
  static constexpr std::string_view kChars =
      "#~?@%&*0123456789abcdefxyz !$()\x7f\x80\xa5\xff\x01\x1b";
  std::string line = "~";
  const std::size_t length = 3 + SplitMix(rng_state_) % 18;
  for (std::size_t i = 0; i < length; ++i)
    line.push_back(kChars[SplitMix(rng_state_) % kChars.size()]);
  line += crlf_ ? "\r\n" : "\r";
  return line;
}

void Incubator::SendGarbage() {
  Deliver(GarbageLine());
}

void Incubator::SendRaw(std::string_view bytes) {
  Emit(bytes);
}

void Incubator::TriggerOverrun() {
  if (endpoint_.overrun) endpoint_.overrun();
}

void Incubator::Unplug() {
  if (unplugged_) return;
  unplugged_ = true;
  pending_.clear();
  delivery_->SetEnabled(false);
  line_.clear();
  if (endpoint_.unplug) endpoint_.unplug();
}

// ---- identity ----

void Incubator::SetNick(std::string nick) {
  std::erase_if(nick, [](char c) { return c == '\r' || c == '\n'; });
  if (nick.size() > kMaxNickLength) nick.resize(kMaxNickLength);
  config_.nick = std::move(nick);
}

// ---- physics ----

void Incubator::Advance() {
  const TDateTime now = scheduler_.Now();
  if (purging_ && purge_end_ > 0 && purge_end_ <= now) {
    AdvanceTo(purge_end_);
    purging_ = false;
    purge_end_ = 0;
  }
  AdvanceTo(now);
}

void Incubator::AdvanceTo(TDateTime t) {
  const double seconds = (t - last_update_) * 86400.0;
  // A wall clock set back only moves our reference; the model never runs backwards.
  if (seconds > 0) AdvanceBy(seconds);
  last_update_ = t;
}

void Incubator::AdvanceBy(double seconds) {
  AdvanceChamber(left_, config_.left_set_point, seconds);
  AdvanceChamber(right_, config_.right_set_point, seconds);
  flow_ = Relax(flow_, FlowTarget(), kTauFlowSeconds, seconds);
}

void Incubator::AdvanceChamber(Chamber& c, int set_point, double seconds) {
  const double room = config_.room_temperature;
  const double set = set_point / 100.0;
  if (!c.on) {
    c.temp = Relax(c.temp, room, kTauOffSeconds, seconds);
  } else if (c.lid_open) {
    // The heater keeps working but loses most of its heat through the open lid.
    c.temp = Relax(c.temp, room + (set - room) * 0.25, kTauLidSeconds, seconds);
  } else {
    c.temp = Relax(c.temp, set, kTauWarmSeconds, seconds);
  }
}

double Incubator::FlowTarget() const {
  if (co2_error_ || flow_error_) return 0.0;
  if (purging_) return kPurgeFlow;
  if (!gas_on_) return 0.0;
  return config_.gas_set_point / 200.0;
}

double Incubator::Noise(double amplitude) {
  const auto uniform = [this] { return (SplitMix(rng_state_) >> 11) * 0x1.0p-53; };
  return amplitude * (uniform() + uniform() - 1.0);
}

int Incubator::ReadingHundredths(Side side, double offset) {
  const double t = Temperature(side) + offset + Noise(0.02);
  return static_cast<int>(std::lround(t * 100.0));
}

double Incubator::Temperature(Side side) {
  Advance();
  return ChamberOf(side).temp;
}

double Incubator::Flow() {
  Advance();
  return flow_;
}

std::string Incubator::ChamberField(Side side) {
  const Chamber& c = ChamberOf(side);
  if (!c.on) return "OFF ";
  if (c.error) return "Err ";
  if (c.lid_open) return "LID ";
  return TemperatureText(c.temp);
}

char Incubator::ChamberLamp(Side side) {
  const Chamber& c = ChamberOf(side);
  if (!c.on) return ' ';
  if (c.error) return 'R';
  if (c.lid_open) return 'A';
  const double set = SetPointOf(side) / 100.0;
  return std::abs(c.temp - set) <= kAtTemperatureBand ? 'G' : 'A';
}

std::string Incubator::GasField() {
  if (co2_error_) return "CO2 ";
  if (flow_error_) return "Err ";
  if (purging_) return "Pur ";
  if (!gas_on_) return "OFF ";
  return FlowText(flow_);
}

char Incubator::GasLamp() {
  if (co2_error_ || flow_error_) return 'R';
  if (purging_) return 'A';
  if (!gas_on_) return ' ';
  return std::abs(flow_ - config_.gas_set_point / 200.0) <= 2.0 ? 'G' : 'A';
}

std::string Incubator::Display() {
  Advance();
  std::string d = ChamberField(Side::Left) + ChamberField(Side::Right) + GasField();
  d.push_back(' ');
  d.push_back(ChamberLamp(Side::Left));
  d.push_back(ChamberLamp(Side::Right));
  d.push_back(GasLamp());
  return d;
}

// ---- scenario controls ----

void Incubator::SetSetPoint(Side side, int hundredths) {
  Advance();
  SetPointOf(side) = hundredths;
}

int Incubator::SetPoint(Side side) const {
  return side == Side::Left ? config_.left_set_point : config_.right_set_point;
}

void Incubator::SetGasSetPoint(int raw) {
  Advance();
  config_.gas_set_point = raw;
}

void Incubator::SetLidOpen(Side side, bool open) {
  Advance();
  ChamberOf(side).lid_open = open;
}

void Incubator::SetChamberOn(Side side, bool on) {
  Advance();
  ChamberOf(side).on = on;
}

void Incubator::SetTemperatureError(Side side, bool error) {
  Advance();
  ChamberOf(side).error = error;
}

void Incubator::SetGasOn(bool on) {
  Advance();
  gas_on_ = on;
}

void Incubator::StartPurge(std::uint32_t duration_ms) {
  Advance();
  purging_ = true;
  purge_end_ = duration_ms > 0 ? scheduler_.Now() + duration_ms / kMsPerDay : 0;
}

void Incubator::StopPurge() {
  Advance();
  purging_ = false;
  purge_end_ = 0;
}

bool Incubator::Purging() {
  Advance();
  return purging_;
}

void Incubator::SetCO2Error(bool error) {
  Advance();
  co2_error_ = error;
}

void Incubator::SetFlowError(bool error) {
  Advance();
  flow_error_ = error;
}

}  // namespace dova::sim
