#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The USB/IP wire format between the kernel's virtual host controller (vhci_hcd) and a
// device served in user space: every message starts with a 48-byte header of big-endian
// 32-bit words (command, sequence number, device id, direction, endpoint, then five words
// and an 8-byte setup packet that depend on the command). An OUT submit carries its
// transfer buffer behind the header; an IN reply carries the data read. Nothing here knows
// about sockets: bytes in, messages out, and back.
namespace dova::sim::usbip {

inline constexpr std::uint32_t kCmdSubmit = 1;
inline constexpr std::uint32_t kCmdUnlink = 2;
inline constexpr std::uint32_t kRetSubmit = 3;
inline constexpr std::uint32_t kRetUnlink = 4;
inline constexpr std::uint32_t kDirOut = 0;
inline constexpr std::uint32_t kDirIn = 1;
inline constexpr std::size_t kHeaderSize = 48;
// Larger transfers than this are not something a serial bridge is ever asked for; a
// header that claims one is taken as a broken stream.
inline constexpr std::int32_t kMaxTransfer = 64 * 1024;

// Status codes of a finished URB, as the kernel's errno values.
inline constexpr std::int32_t kStatusOk = 0;
inline constexpr std::int32_t kStatusStall = -32;       // -EPIPE
inline constexpr std::int32_t kStatusConnReset = -104;  // -ECONNRESET: unlinked while pending

// One message from the host.
struct Command {
  std::uint32_t command = 0;
  std::uint32_t seqnum = 0;
  std::uint32_t devid = 0;
  std::uint32_t direction = kDirOut;
  std::uint32_t ep = 0;
  // CMD_SUBMIT
  std::uint32_t transfer_flags = 0;
  std::int32_t length = 0;  // bytes to send (OUT) or room for the answer (IN)
  std::array<std::uint8_t, 8> setup{};
  std::string data;  // an OUT transfer's bytes
  // CMD_UNLINK
  std::uint32_t unlink_seqnum = 0;

  // The setup packet's fields (control transfers on endpoint 0).
  std::uint8_t RequestType() const { return setup[0]; }
  std::uint8_t Request() const { return setup[1]; }
  std::uint16_t Value() const { return static_cast<std::uint16_t>(setup[2] | setup[3] << 8); }
  std::uint16_t Index() const { return static_cast<std::uint16_t>(setup[4] | setup[5] << 8); }
  std::uint16_t SetupLength() const { return static_cast<std::uint16_t>(setup[6] | setup[7] << 8); }
};

// Takes whole messages off the front of the host's byte stream, however the stream was cut.
class CommandReader {
 public:
  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  // The next whole message, or none while it is still incomplete. A message that cannot
  // be understood sets *error (the stream is then beyond repair: drop the connection).
  std::optional<Command> Next(std::string* error);
  std::size_t Buffered() const { return buffer_.size(); }

 private:
  std::string buffer_;
};

// The reply to a submit: status, the count of bytes moved and, for an IN transfer, the
// bytes themselves.
std::string RetSubmit(std::uint32_t seqnum, std::int32_t status, std::int32_t actual_length,
                      std::string_view in_data = {});
// The reply to an unlink, carrying the unlink's own sequence number.
std::string RetUnlink(std::uint32_t seqnum, std::int32_t status);

// The host's side, for tests and tools: a submit or an unlink as the kernel sends them.
std::string EncodeCommand(const Command& command);

// A parsed reply, for tests.
struct Reply {
  std::uint32_t command = 0;
  std::uint32_t seqnum = 0;
  std::int32_t status = 0;
  std::int32_t actual_length = 0;
  std::string data;
};
// Takes one reply off the front of *bytes; none while incomplete. An IN reply's data is
// taken when is_in says the sequence number belonged to an IN transfer.
std::optional<Reply> TakeReply(std::string* bytes, bool is_in);

}  // namespace dova::sim::usbip
