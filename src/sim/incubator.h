#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/datetime.h"

namespace dova {
class Scheduler;
class Timer;
namespace bridge {
class SimBridge;
}
}  // namespace dova

namespace dova::sim {

enum class Side { Left, Right };

// How a simulated incubator starts. Temperatures in hundredths of °C and gas flow in
// 1/200 ml/min, as the incubator reports them on the wire.
struct IncubatorConfig {
  int serial = 1;                  // the SERL integer
  std::string nick = "DOVA 1";     // the NICK text
  int left_set_point = 3700;       // 37.00 °C
  int right_set_point = 3700;      // 37.00 °C
  int gas_set_point = 4000;        // 20 ml/min
  double room_temperature = 22.0;  // °C, what a chamber cools towards
  bool start_warm = true;          // chambers start at their set-points, else at room temperature
  bool gas_on = true;
  std::uint64_t seed = 1;  // noise; the same seed and commands give the same answers
};

// Where an incubator's replies go, and what "pulling the cable" means for that link.
struct Endpoint {
  std::function<void(std::string_view)> send;  // bytes towards the host
  std::function<void()> unplug;                // the link is gone for good
  std::function<void()> overrun;               // the host's receive queue overflows once
};

// One DOVA-300 as seen over its serial line: it assembles the host's bytes into commands
// at each carriage return, answers "!GET" and "!READ" with one line ended by a carriage
// return, takes "!SET NICK", and stays silent on anything else. Its chambers and gas
// follow a small first-order model driven by the scheduler's clock, so a test that
// advances virtual time sees the chambers warm up, cool with the lid open and so on.
// Faults (silence, late answers, split lines, CR+LF endings, garbage, overrun, unplugging)
// are switched on through the API.
class Incubator {
 public:
  static constexpr double kTauWarmSeconds = 150.0;   // heating towards the set-point
  static constexpr double kTauLidSeconds = 90.0;     // cooling with the lid open
  static constexpr double kTauOffSeconds = 900.0;    // cooling when switched off
  static constexpr double kTauFlowSeconds = 5.0;     // gas flow settling
  static constexpr double kAtTemperatureBand = 0.5;  // °C: green lamp within this band
  static constexpr double kPurgeFlow = 100.0;        // ml/min while a purge runs
  static constexpr std::uint32_t kSplitGapMs = 30;   // longer than one host read tick
  static constexpr std::size_t kCommandLogSize = 64;
  static constexpr std::size_t kMaxCommandLength = 256;
  static constexpr std::size_t kMaxNickLength = 64;
  static constexpr std::size_t kMaxPendingReplies = 1024;

  Incubator(Scheduler& scheduler, IncubatorConfig config = {});
  ~Incubator();
  Incubator(const Incubator&) = delete;
  Incubator& operator=(const Incubator&) = delete;

  // Serving. Attach takes over the bridge's OnHostWrite and answers through SendToHost;
  // unplugging and overrun act on that bridge. SetEndpoint serves any other byte link
  // (a pseudo-terminal). Detach stops answering and drops replies still in flight.
  void Attach(std::shared_ptr<bridge::SimBridge> bridge);
  void SetEndpoint(Endpoint endpoint);
  void Detach();
  const std::shared_ptr<bridge::SimBridge>& Bridge() const { return bridge_; }

  // Bytes from the host, as they come (several or partial commands per call).
  void Receive(std::string_view bytes);
  // The answer to one command line (without its carriage return), or none. No faults, no
  // side effects except for "!SET NICK".
  std::optional<std::string> Reply(std::string_view command);

  // Identity.
  int Serial() const { return config_.serial; }
  const std::string& Nick() const { return config_.nick; }
  void SetNick(std::string nick);
  // Whether "!SET NICK" is answered with a NICK line (off by default).
  void SetAnswerSetNick(bool on) { answer_set_nick_ = on; }

  // Physics, as of the scheduler's clock. Temperatures in °C, flows in ml/min.
  double Temperature(Side side);
  double Flow();
  // The 16-character front-panel display as "!READ DISP" reports it.
  std::string Display();

  // Scenario controls. Set-points in hundredths of °C and 1/200 ml/min.
  void SetSetPoint(Side side, int hundredths);
  int SetPoint(Side side) const;
  void SetGasSetPoint(int raw);
  int GasSetPoint() const { return config_.gas_set_point; }
  void SetLidOpen(Side side, bool open);
  void SetChamberOn(Side side, bool on);
  void SetTemperatureError(Side side, bool error);
  void SetGasOn(bool on);
  // A purge for duration_ms (0: until StopPurge); a running purge is extended.
  void StartPurge(std::uint32_t duration_ms);
  void StopPurge();
  bool Purging();
  void SetCO2Error(bool error);
  void SetFlowError(bool error);

  // Faults.
  void SetSilent(bool on) { silent_ = on; }
  // Every reply leaves this long after its command (0: at once, within the host's write).
  void SetReplyDelay(std::uint32_t ms) { delay_ms_ = ms; }
  // Every reply arrives in two pieces, the second kSplitGapMs after the first.
  void SetSplitReplies(bool on) { split_ = on; }
  // Replies end with CR+LF instead of CR alone.
  void SetCrLf(bool on) { crlf_ = on; }
  // After every n-th reply a line of noise follows (0: never).
  void SetGarbageEvery(std::uint32_t n) { garbage_every_ = n; }
  // Sends one line of noise now, through the same path as the replies.
  void SendGarbage();
  // Raw bytes towards the host, at once.
  void SendRaw(std::string_view bytes);
  void TriggerOverrun();
  // Pulls the cable: the link's Unplug runs, the incubator stops answering.
  void Unplug();
  bool Unplugged() const { return unplugged_; }

  // The last kCommandLogSize commands received (oldest first) and the total count.
  const std::deque<std::string>& RecentCommands() const { return recent_; }
  std::uint64_t CommandCount() const { return command_count_; }
  std::uint64_t ReplyCount() const { return reply_count_; }
  std::size_t PendingReplies() const { return pending_.size(); }

 private:
  struct Chamber {
    double temp = 22.0;
    bool on = true;
    bool lid_open = false;
    bool error = false;
  };
  struct Pending {
    TDateTime due = 0;
    std::string bytes;
  };

  Chamber& ChamberOf(Side side) { return side == Side::Left ? left_ : right_; }
  int& SetPointOf(Side side) {
    return side == Side::Left ? config_.left_set_point : config_.right_set_point;
  }
  void Advance();
  void AdvanceTo(TDateTime t);
  void AdvanceBy(double seconds);
  void AdvanceChamber(Chamber& c, int set_point, double seconds);
  double FlowTarget() const;
  double Noise(double amplitude);
  int ReadingHundredths(Side side, double offset);
  std::string ChamberField(Side side);
  std::string GasField();
  char ChamberLamp(Side side);
  char GasLamp();

  void HandleCommand(const std::string& command);
  void Deliver(std::string bytes);
  void Queue(std::string bytes, std::uint32_t delay_ms);
  void ArmDelivery();
  void DeliveryTimer();
  void Emit(std::string_view bytes);
  std::string GarbageLine();

  Scheduler& scheduler_;
  IncubatorConfig config_;
  Chamber left_;
  Chamber right_;
  double flow_ = 0.0;  // ml/min
  bool gas_on_ = true;
  bool purging_ = false;
  TDateTime purge_end_ = 0;  // 0: no planned end
  bool co2_error_ = false;
  bool flow_error_ = false;
  TDateTime last_update_ = 0;
  std::uint64_t rng_state_ = 0;

  std::shared_ptr<bridge::SimBridge> bridge_;
  Endpoint endpoint_;
  std::string line_;
  bool discarding_ = false;  // the line so far was too long; skip to its CR
  bool answer_set_nick_ = false;
  bool silent_ = false;
  bool split_ = false;
  bool crlf_ = false;
  bool unplugged_ = false;
  std::uint32_t delay_ms_ = 0;
  std::uint32_t garbage_every_ = 0;
  // Replies on their way, in order: a later reply never overtakes an earlier one.
  std::deque<Pending> pending_;
  std::unique_ptr<Timer> delivery_;
  std::deque<std::string> recent_;
  std::uint64_t command_count_ = 0;
  std::uint64_t reply_count_ = 0;
};

}  // namespace dova::sim
