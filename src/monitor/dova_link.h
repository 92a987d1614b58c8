#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

#include "monitor/incubator_state.h"
#include "platform/timer.h"
#include "usb/usbxpress.h"

namespace dova {

class Scheduler;

// The link to one incubator: the poll table and its timer, command writes, the serial and
// name exchange, and the supervision of the port. Each reply line is taken apart once into
// a typed reply; SERL and NICK are handled here, everything else goes to the incubator
// state.
class TDovaLink {
 public:
  static constexpr std::uint32_t kSerialPollMs = 50;
  static constexpr std::uint32_t kPollMs = 20;
  static constexpr std::uint8_t kLastPollStep = 17;
  static constexpr std::uint8_t kFirstCycleStep = 2;
  // A name asked for and not received within this time is asked for again (a lost or
  // garbled reply must not leave the incubator unlogged for the whole link).
  static constexpr std::int64_t kNameRetryMs = 3000;

  // The incubator told its name (its serial number is known by then).
  std::function<void(const QString& Nick)> OnNamed;
  // A write failed: the device is gone or refuses writes. The reader is already off.
  std::function<void()> OnFailed;

  TDovaLink(Scheduler& sched, TIncubatorState& state);
  ~TDovaLink();
  TDovaLink(const TDovaLink&) = delete;
  TDovaLink& operator=(const TDovaLink&) = delete;

  // Takes the port, starts its reader and the serial-number poll.
  void Attach(TUSBXpress& port);
  void Timer1Timer();
  // What poll step `step` (0 to kLastPollStep) asks for while no purge runs.
  static const QByteArray& PollCommand(std::uint8_t step);
  void HandleReply(const QByteArray& line);
  void SendCommand(const QByteArray& command);
  // Stops polling and closes the port; the port may be freed by its owner afterwards.
  void Close();

  std::uint8_t PollStep = 0;
  QString Nick;
  QString Serial;
  TUSBXpress* Port = nullptr;
  bool SerialKnown = false;
  // The incubator has told its name on this link.
  bool NameKnown = false;
  Timer Timer1;

 private:
  void Failed();
  void Dispatch(const protocol::TReplyParts& parts);

  Scheduler& sched_;
  TIncubatorState& state_;
  TDateTime name_asked_ = 0;
  bool closed_ = false;
  // Reused for the display value of ASCII replies, so the steady poll does not allocate.
  QString disp_buffer_;
};

}  // namespace dova
