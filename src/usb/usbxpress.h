#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/bridge/si_library.h"
#include "platform/exception.h"
#include "platform/scheduler.h"
#include "platform/timer.h"

namespace dova {

// Failures of the bridge driver library while a device is used.
class TUSBXpressExcept : public Exception {
 public:
  using Exception::Exception;
};

// One opened USB bridge device. A timer polls the driver's receive queue every
// ReadInterval ms, cuts what arrived into lines and hands each complete line to OnLine.
// Commands go out through Write. The enumerator creates and owns every object; the tile
// that uses one only switches its reader on and off and closes it.
class TUSBXpress {
 public:
  using TLineEvent = std::function<void(TUSBXpress& Sender, const QByteArray& Line)>;

  // How incoming bytes become lines.
  enum class TFrameState : std::uint8_t {
    RawChunks = 0,        // no delimiter, no escape: each read is one line
    DelimitedLines = 1,   // lines end at Delimiter
    AwaitFrameStart = 2,  // escape framing, outside a frame
    InFrame = 3,          // escape framing, inside a frame
    AfterEscape = 4,      // escape framing, the previous byte was EscapeChar
  };

  // A device that sends bytes without ever sending a delimiter must not make us grow
  // without limit. Replies are far shorter; bytes beyond this are dropped until the line
  // ends, and the line's start is delivered.
  static constexpr std::size_t kMaxLineLength = 4096;

  // Takes over an opened handle: sets framing, applies the baud rate and creates the
  // reader, switched off. Throws TUSBXpressExcept("Error setting Baud Rate").
  TUSBXpress(Scheduler& scheduler, bridge::SiLibrary& library, bridge::SiHandle handle,
             std::uint8_t delimiter, std::uint8_t escape_char, std::uint32_t baud_rate,
             std::uint32_t read_interval);
  ~TUSBXpress();
  TUSBXpress(const TUSBXpress&) = delete;
  TUSBXpress& operator=(const TUSBXpress&) = delete;

  // The same, with the new object placed in its owner's list before the baud rate is
  // applied: when that fails, the object stays with the owner (without a reader) and the
  // exception goes on to the caller.
  static TUSBXpress& CreateOwned(std::vector<std::unique_ptr<TUSBXpress>>& owner,
                                 Scheduler& scheduler, bridge::SiLibrary& library,
                                 bridge::SiHandle handle, std::uint8_t delimiter,
                                 std::uint8_t escape_char, std::uint32_t baud_rate,
                                 std::uint32_t read_interval);

  // An empty function leaves OnLine unassigned; the reader then touches nothing.
  void SetOnLine(TLineEvent handler);
  bool HasOnLine() const { return static_cast<bool>(on_line_); }

  // Switches the reader on or off. Either way the partial line and everything the device
  // had queued in both directions are thrown away.
  void SetActive(bool active);

  // Sends data as it is (the caller adds the carriage return); returns the bytes written.
  // Throws TUSBXpressExcept("Error Writing").
  std::uint32_t Write(const QByteArray& data);

  // Stops the reader and releases the device. The owner frees the object later, in an event
  // of its own and never while a call from this object is under way, so the caller may
  // still clear OnLine right after Close; once control may have gone back to an event loop
  // (a modal wait counts), the object must not be touched again.
  void Close();
  // True once Close was called.
  bool Closed() const { return closed_; }
  // True while the line handler runs: a call from this object is on the stack, so it must
  // not be freed now even when the handler closed it.
  bool Delivering() const { return delivering_ > 0; }

  bridge::SiHandle Handle() const { return handle_; }
  std::uint32_t BaudRate() const { return baud_rate_; }
  std::uint32_t ReadInterval() const { return read_interval_; }
  std::uint8_t Delimiter() const { return delimiter_; }
  std::uint8_t EscapeChar() const { return escape_char_; }
  // A new value restarts line assembly (framing state from the two values, buffer empty).
  void SetDelimiter(std::uint8_t value);
  void SetEscapeChar(std::uint8_t value);
  TFrameState FrameState() const { return frame_state_; }
  const QByteArray& LineBuffer() const { return line_buffer_; }
  // The reader's timer; null when the baud rate could not be applied.
  const Timer* ReadTimer() const { return read_timer_.get(); }

 private:
  struct Deferred {};
  // Creation up to (not including) the baud rate step.
  TUSBXpress(Deferred, Scheduler& scheduler, bridge::SiLibrary& library, bridge::SiHandle handle,
             std::uint8_t delimiter, std::uint8_t escape_char, std::uint32_t baud_rate,
             std::uint32_t read_interval);
  // Applies the baud rate, then creates the reader.
  void Start();
  void ResetFraming();
  void ReadTimerTimer();
  void Assemble(const char* data, std::size_t size);
  void AppendToLine(const char* data, std::size_t size);
  void Deliver();

  Scheduler& scheduler_;
  bridge::SiLibrary& library_;
  bridge::SiHandle handle_ = 0;
  std::uint32_t read_interval_ = 0;
  std::uint32_t baud_rate_ = 0;
  std::unique_ptr<Timer> read_timer_;
  QByteArray line_buffer_;
  // What a read of more than kStackRead bytes takes from the library; kept, so such a read
  // allocates only once.
  static constexpr std::size_t kStackRead = 512;
  std::vector<char> read_buffer_;
  std::uint8_t delimiter_ = 0;
  std::uint8_t escape_char_ = 0;
  TFrameState frame_state_ = TFrameState::RawChunks;
  TLineEvent on_line_;
  bool closed_ = false;
  int delivering_ = 0;
};

}  // namespace dova
