#include "sim/usbip/usbip_wire.h"

#include <cstring>

namespace dova::sim::usbip {

namespace {

std::uint32_t Word(std::string_view bytes, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

void PutWord(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value >> 24));
  out.push_back(static_cast<char>(value >> 16));
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value));
}

// The basic header of a reply: the server leaves device, direction and endpoint at zero.
std::string ReplyHeader(std::uint32_t command, std::uint32_t seqnum) {
  std::string out;
  out.reserve(kHeaderSize);
  PutWord(out, command);
  PutWord(out, seqnum);
  PutWord(out, 0);
  PutWord(out, 0);
  PutWord(out, 0);
  return out;
}

}  // namespace

std::optional<Command> CommandReader::Next(std::string* error) {
  if (buffer_.size() < kHeaderSize) return std::nullopt;
  Command c;
  c.command = Word(buffer_, 0);
  c.seqnum = Word(buffer_, 4);
  c.devid = Word(buffer_, 8);
  c.direction = Word(buffer_, 12);
  c.ep = Word(buffer_, 16);
  std::size_t size = kHeaderSize;
  if (c.command == kCmdSubmit) {
    c.transfer_flags = Word(buffer_, 20);
    c.length = static_cast<std::int32_t>(Word(buffer_, 24));
    const auto packets = static_cast<std::int32_t>(Word(buffer_, 32));
    std::memcpy(c.setup.data(), buffer_.data() + 40, 8);
    if (c.length < 0 || c.length > kMaxTransfer || c.ep > 15 || c.direction > kDirIn) {
      *error = "malformed submit (seqnum " + std::to_string(c.seqnum) + ")";
      return std::nullopt;
    }
    // Isochronous transfers are not something a serial bridge has.
    if (packets != 0 && packets != -1) {
      *error = "isochronous submit (seqnum " + std::to_string(c.seqnum) + ")";
      return std::nullopt;
    }
    if (c.direction == kDirOut) size += static_cast<std::size_t>(c.length);
    if (buffer_.size() < size) return std::nullopt;
    if (c.direction == kDirOut)
      c.data.assign(buffer_, kHeaderSize, static_cast<std::size_t>(c.length));
  } else if (c.command == kCmdUnlink) {
    c.unlink_seqnum = Word(buffer_, 20);
  } else {
    *error = "unknown command " + std::to_string(c.command);
    return std::nullopt;
  }
  buffer_.erase(0, size);
  return c;
}

std::string RetSubmit(std::uint32_t seqnum, std::int32_t status, std::int32_t actual_length,
                      std::string_view in_data) {
  std::string out = ReplyHeader(kRetSubmit, seqnum);
  PutWord(out, static_cast<std::uint32_t>(status));
  PutWord(out, static_cast<std::uint32_t>(actual_length));
  PutWord(out, 0);  // start frame
  PutWord(out, 0);  // number of packets: not isochronous
  PutWord(out, 0);  // error count
  out.append(8, '\0');
  out.append(in_data);
  return out;
}

std::string RetUnlink(std::uint32_t seqnum, std::int32_t status) {
  std::string out = ReplyHeader(kRetUnlink, seqnum);
  PutWord(out, static_cast<std::uint32_t>(status));
  out.append(kHeaderSize - out.size(), '\0');
  return out;
}

std::string EncodeCommand(const Command& c) {
  std::string out;
  PutWord(out, c.command);
  PutWord(out, c.seqnum);
  PutWord(out, c.devid);
  PutWord(out, c.direction);
  PutWord(out, c.ep);
  if (c.command == kCmdSubmit) {
    PutWord(out, c.transfer_flags);
    PutWord(out, static_cast<std::uint32_t>(c.length));
    PutWord(out, 0);
    PutWord(out, 0);
    PutWord(out, 0);
    out.append(reinterpret_cast<const char*>(c.setup.data()), c.setup.size());
    if (c.direction == kDirOut) out.append(c.data);
  } else {
    PutWord(out, c.unlink_seqnum);
    out.append(kHeaderSize - out.size(), '\0');
  }
  return out;
}

std::optional<Reply> TakeReply(std::string* bytes, bool is_in) {
  if (bytes->size() < kHeaderSize) return std::nullopt;
  Reply r;
  r.command = Word(*bytes, 0);
  r.seqnum = Word(*bytes, 4);
  r.status = static_cast<std::int32_t>(Word(*bytes, 20));
  std::size_t size = kHeaderSize;
  if (r.command == kRetSubmit) {
    r.actual_length = static_cast<std::int32_t>(Word(*bytes, 24));
    if (is_in && r.actual_length > 0) size += static_cast<std::size_t>(r.actual_length);
  }
  if (bytes->size() < size) return std::nullopt;
  r.data.assign(*bytes, kHeaderSize, size - kHeaderSize);
  bytes->erase(0, size);
  return r;
}

}  // namespace dova::sim::usbip
