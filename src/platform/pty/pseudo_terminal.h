#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"

namespace dova {

class PseudoTerminalExcept : public Exception {
 public:
  using Exception::Exception;
};

// A pseudo-terminal pair standing in for a serial device: a client opens SlavePath() like
// any serial port, and we serve the other end. The slave is put in raw mode (no echo, no
// line editing, 8 bits); the master never blocks. One slave descriptor stays open inside
// for the pair's whole life so that the master sees no hang-up while no client is
// connected. Closing the master is pulling the cable: the client's reads and writes fail.
class PseudoTerminal {
 public:
  // Throws PseudoTerminalExcept when the system has no pseudo-terminal to give.
  static std::unique_ptr<PseudoTerminal> Open();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  const std::string& SlavePath() const { return slave_path_; }
  bool MasterOpen() const { return master_ >= 0; }

  // What the client has written so far (empty when nothing is waiting or the master is
  // closed). Never blocks.
  std::string ReadAvailable(std::size_t max_bytes = 4096);
  // Waits up to timeout_ms for the client's bytes; true when some are waiting.
  bool WaitReadable(int timeout_ms);
  // Towards the client. Returns the count accepted (less when the client's queue is full;
  // 0 when the master is closed). Never blocks.
  std::size_t Write(std::string_view bytes);
  // Unplugs: closes the master and the slave kept inside.
  void CloseMaster();

 private:
  PseudoTerminal() = default;
  int master_ = -1;
  int slave_keep_ = -1;
  std::string slave_path_;
};

// Lines typed on the standard input, taken without blocking (for a console tool that
// runs an event loop).
class ConsoleInput {
 public:
  // Complete lines that have arrived since the last call (without line ends). Sets
  // *closed when the input has ended.
  std::vector<std::string> TakeLines(bool* closed);

 private:
  std::string partial_;
  bool closed_ = false;
};

}  // namespace dova
