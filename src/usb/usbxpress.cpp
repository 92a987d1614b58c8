#include "usb/usbxpress.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace dova {

TUSBXpress::TUSBXpress(Deferred, Scheduler& scheduler, bridge::SiLibrary& library,
                       bridge::SiHandle handle, std::uint8_t delimiter, std::uint8_t escape_char,
                       std::uint32_t baud_rate, std::uint32_t read_interval)
    : scheduler_(scheduler), library_(library), handle_(handle) {
  // Both fields start at 0, so the framing state follows from the two values.
  SetDelimiter(delimiter);
  SetEscapeChar(escape_char);
  read_interval_ = read_interval;
  baud_rate_ = baud_rate;
}

TUSBXpress::TUSBXpress(Scheduler& scheduler, bridge::SiLibrary& library, bridge::SiHandle handle,
                       std::uint8_t delimiter, std::uint8_t escape_char, std::uint32_t baud_rate,
                       std::uint32_t read_interval)
    : TUSBXpress(Deferred{}, scheduler, library, handle, delimiter, escape_char, baud_rate,
                 read_interval) {
  Start();
}

TUSBXpress::~TUSBXpress() = default;

TUSBXpress& TUSBXpress::CreateOwned(std::vector<std::unique_ptr<TUSBXpress>>& owner,
                                    Scheduler& scheduler, bridge::SiLibrary& library,
                                    bridge::SiHandle handle, std::uint8_t delimiter,
                                    std::uint8_t escape_char, std::uint32_t baud_rate,
                                    std::uint32_t read_interval) {
  owner.push_back(std::unique_ptr<TUSBXpress>(new TUSBXpress(
      Deferred{}, scheduler, library, handle, delimiter, escape_char, baud_rate, read_interval)));
  TUSBXpress& port = *owner.back();
  port.Start();
  return port;
}

void TUSBXpress::Start() {
  if (library_.SI_SetBaudRate(handle_, baud_rate_) != bridge::SI_SUCCESS) {
    throw TUSBXpressExcept("Error setting Baud Rate");
  }
  read_timer_ = std::make_unique<Timer>(scheduler_, read_interval_, false);
  read_timer_->SetOnTimer([this] { ReadTimerTimer(); });
}

void TUSBXpress::SetOnLine(TLineEvent handler) {
  on_line_ = std::move(handler);
}

void TUSBXpress::SetDelimiter(std::uint8_t value) {
  if (value == delimiter_) return;
  delimiter_ = value;
  ResetFraming();
}

void TUSBXpress::SetEscapeChar(std::uint8_t value) {
  if (value == escape_char_) return;
  escape_char_ = value;
  ResetFraming();
}

void TUSBXpress::ResetFraming() {
  if (escape_char_ != 0) {
    frame_state_ = TFrameState::AwaitFrameStart;
  } else if (delimiter_ != 0) {
    frame_state_ = TFrameState::DelimitedLines;
  } else {
    frame_state_ = TFrameState::RawChunks;
  }
  line_buffer_.clear();
}

void TUSBXpress::SetActive(bool active) {
  if (read_timer_) read_timer_->SetEnabled(active);
  line_buffer_.clear();
  // Whatever the device said before the reader started belongs to nobody.
  (void)library_.SI_FlushBuffers(handle_, 1, 1);
}

std::uint32_t TUSBXpress::Write(const QByteArray& data) {
  const auto length = static_cast<std::uint32_t>(data.size());
  const void* buffer = length == 0 ? nullptr : data.constData();
  std::uint32_t written = 0;
  if (library_.SI_Write(handle_, buffer, length, &written) != bridge::SI_SUCCESS) {
    throw TUSBXpressExcept("Error Writing");
  }
  return written;
}

void TUSBXpress::Close() {
  closed_ = true;
  if (read_timer_) read_timer_->SetEnabled(false);
  (void)library_.SI_Close(handle_);
}

void TUSBXpress::ReadTimerTimer() {
  if (!on_line_) return;
  std::uint32_t count = 0;
  std::uint32_t status = bridge::SI_RX_EMPTY;
  if (library_.SI_CheckRXQueue(handle_, &count, &status) != bridge::SI_SUCCESS) {
    throw TUSBXpressExcept("Error Reading RX Queue");
  }
  if (status == bridge::SI_RX_OVERRUN) {
    // The bytes that did arrive are of no use; the partial line is kept and continues
    // with whatever comes next.
    if (library_.SI_FlushBuffers(handle_, 1, 1) != bridge::SI_SUCCESS) {
      throw TUSBXpressExcept("Error Flushing Buffers");
    }
    return;
  }
  if (status != bridge::SI_RX_READY) return;
  // Only what is queued already, so the read never waits. A reply or two fit on the stack,
  // which the reads of all ports share and which stays in the cache; a port's own buffer
  // is there for more.
  std::array<char, kStackRead> small;
  char* buffer = small.data();
  if (count > small.size()) {
    if (read_buffer_.size() < count) read_buffer_.resize(count);
    buffer = read_buffer_.data();
  }
  std::uint32_t got = 0;
  if (library_.SI_Read(handle_, buffer, count, &got) != bridge::SI_SUCCESS) {
    throw TUSBXpressExcept("Error Reading");
  }
  Assemble(buffer, std::min(got, count));
}

void TUSBXpress::AppendToLine(const char* data, std::size_t size) {
  const auto held = static_cast<std::size_t>(line_buffer_.size());
  if (held >= kMaxLineLength) return;
  const std::size_t taken = std::min(size, kMaxLineLength - held);
  if (taken == 0) return;
  // Grown in place (the buffer keeps its storage from line to line) and copied into: a
  // general insert costs several times more, once per piece of every reply.
  line_buffer_.resize(static_cast<qsizetype>(held + taken));
  std::memcpy(line_buffer_.data() + held, data, taken);
}

// Works on runs of bytes rather than single bytes; the result is the same as taking the
// bytes one at a time. The state is looked at again after every delivery, because the
// line handler may change the framing.
void TUSBXpress::Assemble(const char* p, std::size_t size) {
  const char* const end = p + size;
  while (p < end) {
    const auto remaining = static_cast<std::size_t>(end - p);
    switch (frame_state_) {
      case TFrameState::RawChunks:
        // Every read is one piece, however long: no cap here.
        line_buffer_.append(p, static_cast<qsizetype>(remaining));
        p = end;
        Deliver();
        break;
      case TFrameState::DelimitedLines: {
        const auto* stop = static_cast<const char*>(std::memchr(p, delimiter_, remaining));
        if (stop == nullptr) {
          AppendToLine(p, remaining);
          p = end;
        } else {
          AppendToLine(p, static_cast<std::size_t>(stop - p));
          p = stop + 1;
          Deliver();
        }
        break;
      }
      case TFrameState::AwaitFrameStart: {
        const auto* start = static_cast<const char*>(std::memchr(p, escape_char_, remaining));
        if (start == nullptr) {
          p = end;
        } else {
          p = start + 1;
          frame_state_ = TFrameState::InFrame;
        }
        break;
      }
      case TFrameState::InFrame: {
        const char escape = static_cast<char>(escape_char_);
        const char delimiter = static_cast<char>(delimiter_);
        const char* q = p;
        while (q < end && *q != escape && *q != delimiter)
          ++q;
        AppendToLine(p, static_cast<std::size_t>(q - p));
        p = q;
        if (p == end) break;
        const char c = *p++;
        if (c == escape) {
          frame_state_ = TFrameState::AfterEscape;
        } else {
          Deliver();
          frame_state_ = TFrameState::AwaitFrameStart;
        }
        break;
      }
      case TFrameState::AfterEscape: {
        const char c = static_cast<char>(~static_cast<unsigned char>(*p++));
        AppendToLine(&c, 1);
        frame_state_ = TFrameState::InFrame;
        break;
      }
    }
  }
}

void TUSBXpress::Deliver() {
  // A copy, so that a handler may replace itself while it runs. The tile's handler is small
  // enough to be held inside the function object: copying it allocates nothing.
  const TLineEvent handler = on_line_;
  if (handler) {
    // The handler gets its own copy: it may switch the reader off, which empties the
    // buffer, while it still looks at its line. If it raises, the line stays in the buffer
    // and the rest of this read is lost.
    const QByteArray line = line_buffer_;
    struct InCall {
      int& depth;
      explicit InCall(int& d) : depth(d) { ++depth; }
      ~InCall() { --depth; }
      InCall(const InCall&) = delete;
      InCall& operator=(const InCall&) = delete;
    } in_call(delivering_);
    handler(*this, line);
  }
  // Keeps the buffer's storage for the next line.
  line_buffer_.truncate(0);
}

}  // namespace dova
