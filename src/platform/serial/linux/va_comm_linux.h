#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/scheduler.h"
#include "platform/serial/va_comm.h"

namespace dova {

// A serial port on Linux: the device path opened with termios. Opening a tty raises DTR
// and RTS and closing it with HUPCL drops them; the port sets both to what FlowControl asks
// right after opening and clears HUPCL when it holds them low, so with the default flow
// control a probe leaves the lines low from open to close (but for the instant between the
// open and the first ioctl, which no user-space open can avoid). An event thread waits
// with poll() for input and hands each event-character notification to the
// user-interface thread through the scheduler, waiting until it has run.
//
// A tty cannot be peeked at, and poll() keeps reporting input nobody reads, so the event
// thread moves what arrives into the port's own input buffer and looks only at the bytes
// it has not scanned before. InputCount, ReadAvailable and ClearInput work on that buffer
// together with what the kernel still holds.
class TVaComm : public TVaCustomComm {
 public:
  explicit TVaComm(Scheduler& ui);
  ~TVaComm() override;

  bool Active() const override { return fd_ >= 0; }
  void Open() override;
  // Must not be called from the OnRxFlag handler: the event thread waits for that handler.
  void Close() override;
  void ClearInput() override;
  bool WriteString(const std::string& bytes) override;
  int InputCount() override;
  std::string ReadAvailable() override;

  // How the pause after closing is taken (a real sleep by default); tests record it.
  void SetPause(std::function<void(int ms)> pause) { pause_ = std::move(pause); }

 protected:
  void ApplyLineSettings() override;

 private:
  // Sets DTR and RTS to the levels FlowControl asks for (ttys with modem lines only).
  void ApplyControlLines();
  void SetTimeouts();
  void StartEventThread();
  void StopEventThread();
  void EventLoop(int fd, int wake_fd);
  // Moves what the kernel holds into rx_ (rx_mutex_ held). Returns 0 or an errno value;
  // *ioctl_failed tells which call failed.
  int DrainLocked(int fd, bool* ioctl_failed);
  // Gives the device back; notify calls OnClose, pause takes the pause after a close.
  void Shut(bool notify, bool pause);

  Scheduler& ui_;
  int fd_ = -1;
  int wake_[2] = {-1, -1};
  std::thread event_thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> thread_done_{true};
  std::mutex write_lock_;
  // Recursive: a notification run while Close waits for the event thread reads the port.
  std::recursive_mutex read_lock_;
  std::mutex rx_mutex_;
  std::string rx_;
  std::size_t scanned_ = 0;
  std::function<void(int)> pause_;
};

}  // namespace dova
