// The simulator's USB/IP transport without a kernel: messages as vhci_hcd sends them go
// in, the reply bytes come out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/usbip/cp210x_device.h"
#include "sim/usbip/usbip_wire.h"

namespace dova::sim::usbip {
namespace {

Command Control(std::uint32_t seqnum, std::uint8_t type, std::uint8_t request, std::uint16_t value,
                std::uint16_t index, std::uint16_t length, std::string data = {}) {
  Command c;
  c.command = kCmdSubmit;
  c.seqnum = seqnum;
  c.direction = (type & 0x80) ? kDirIn : kDirOut;
  c.ep = 0;
  c.length = (type & 0x80) ? length : static_cast<std::int32_t>(data.size());
  c.setup = {type,
             request,
             static_cast<std::uint8_t>(value & 0xFF),
             static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(index & 0xFF),
             static_cast<std::uint8_t>(index >> 8),
             static_cast<std::uint8_t>(length & 0xFF),
             static_cast<std::uint8_t>(length >> 8)};
  c.data = std::move(data);
  return c;
}

Command Bulk(std::uint32_t seqnum, std::uint32_t direction, std::int32_t length,
             std::string data = {}) {
  Command c;
  c.command = kCmdSubmit;
  c.seqnum = seqnum;
  c.direction = direction;
  c.ep = 1;
  c.length = direction == kDirOut ? static_cast<std::int32_t>(data.size()) : length;
  c.data = std::move(data);
  return c;
}

Command Unlink(std::uint32_t seqnum, std::uint32_t victim) {
  Command c;
  c.command = kCmdUnlink;
  c.seqnum = seqnum;
  c.unlink_seqnum = victim;
  return c;
}

std::string Le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

// A bridge fed through the wire format both ways, as the serving loop does.
class BridgeFixture : public ::testing::Test {
 protected:
  BridgeFixture() : bridge_(Identity()) {
    bridge_.SetToIncubator([this](std::string_view b) { to_incubator_.append(b); });
    bridge_.Plug();
  }
  static BridgeIdentity Identity() {
    BridgeIdentity id;
    id.serial = "dova300-0001";
    return id;
  }

  // Sends a message through the encoder and reader, and parses every reply.
  std::vector<Reply> Send(const Command& c) {
    CommandReader reader;
    reader.Feed(EncodeCommand(c));
    std::string error;
    auto decoded = reader.Next(&error);
    EXPECT_TRUE(decoded) << error;
    std::string out;
    if (decoded) bridge_.Handle(*decoded, &out);
    return Parse(out, c.direction == kDirIn);
  }
  std::vector<Reply> Parse(std::string out, bool in) {
    std::vector<Reply> replies;
    while (auto r = TakeReply(&out, in))
      replies.push_back(*r);
    EXPECT_TRUE(out.empty());
    return replies;
  }
  Reply One(const Command& c) {
    auto replies = Send(c);
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? Reply{} : replies.front();
  }
  void Configure() { ASSERT_EQ(One(Control(1, 0x00, 0x09, 1, 0, 0)).status, kStatusOk); }
  // What the kernel's cp210x driver sends at open.
  void OpenLikeTheDriver() {
    Configure();
    EXPECT_EQ(One(Control(2, 0x41, 0x00, 1, 0, 0)).status, kStatusOk);  // IFC_ENABLE
    EXPECT_EQ(One(Control(3, 0x41, 0x1E, 0, 0, 4, Le32(57600))).status, kStatusOk);
    EXPECT_EQ(One(Control(4, 0x41, 0x03, 0x0800, 0, 0)).status, kStatusOk);  // 8N1
    EXPECT_EQ(One(Control(5, 0x41, 0x19, 0, 0, 6, std::string(6, '\0'))).status, kStatusOk);
    EXPECT_EQ(One(Control(6, 0xC1, 0x14, 0, 0, 16)).data.size(), 16u);  // GET_FLOW
    EXPECT_EQ(
        One(Control(7, 0x41, 0x13, 0, 0, 16, Le32(1) + Le32(0x40) + Le32(0) + Le32(0))).status,
        kStatusOk);  // SET_FLOW: DTR and RTS active, no handshake
    EXPECT_EQ(One(Control(8, 0x41, 0x07, 0x0303, 0, 0)).status, kStatusOk);  // SET_MHS
    EXPECT_EQ(One(Control(9, 0xC1, 0x10, 0, 0, 19)).data.size(), 19u);       // GET_COMM_STATUS
  }

  SimulatedCp210x bridge_;
  std::string to_incubator_;
};

TEST(UsbipWireTest, ACommandIsTakenWholeHoweverTheStreamIsCut) {
  Command submit;
  submit.command = kCmdSubmit;
  submit.seqnum = 7;
  submit.devid = 0x10002;
  submit.direction = kDirOut;
  submit.ep = 1;
  submit.length = 5;
  submit.data = "!GET\r";
  const std::string bytes = EncodeCommand(submit) + EncodeCommand(Unlink(8, 7));
  ASSERT_EQ(bytes.size(), 2 * kHeaderSize + 5);
  // The header's words are big-endian: command 1, seqnum 7, devid, direction 0, endpoint 1.
  EXPECT_EQ(bytes.substr(0, 8), std::string("\0\0\0\1\0\0\0\7", 8));
  for (std::size_t cut :
       {std::size_t{1}, std::size_t{20}, kHeaderSize, kHeaderSize + 3, bytes.size() - 1}) {
    CommandReader reader;
    std::string error;
    reader.Feed(bytes.substr(0, cut));
    std::vector<Command> got;
    while (auto c = reader.Next(&error))
      got.push_back(*c);
    reader.Feed(bytes.substr(cut));
    while (auto c = reader.Next(&error))
      got.push_back(*c);
    ASSERT_EQ(got.size(), 2u) << "cut at " << cut;
    EXPECT_EQ(got[0].seqnum, 7u);
    EXPECT_EQ(got[0].devid, 0x10002u);
    EXPECT_EQ(got[0].data, "!GET\r");
    EXPECT_EQ(got[1].command, kCmdUnlink);
    EXPECT_EQ(got[1].unlink_seqnum, 7u);
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(reader.Buffered(), 0u);
  }
}

TEST(UsbipWireTest, AStreamThatCannotBeUnderstoodIsReported) {
  Command bad;
  bad.command = 9;
  Command huge = Bulk(1, kDirIn, kMaxTransfer + 1);
  for (const Command& c : {bad, huge}) {
    CommandReader reader;
    reader.Feed(EncodeCommand(c));
    std::string error;
    EXPECT_FALSE(reader.Next(&error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(UsbipWireTest, RepliesCarryStatusLengthAndInData) {
  const std::string in = RetSubmit(5, kStatusOk, 3, "abc");
  ASSERT_EQ(in.size(), kHeaderSize + 3);
  EXPECT_EQ(in.substr(0, 8), std::string("\0\0\0\3\0\0\0\5", 8));
  EXPECT_EQ(in.substr(20, 8), std::string("\0\0\0\0\0\0\0\3", 8));
  EXPECT_EQ(in.substr(kHeaderSize), "abc");
  const std::string unlink = RetUnlink(9, kStatusConnReset);
  ASSERT_EQ(unlink.size(), kHeaderSize);
  EXPECT_EQ(unlink.substr(0, 8), std::string("\0\0\0\4\0\0\0\x09", 8));
  EXPECT_EQ(unlink.substr(20, 4), std::string("\xff\xff\xff\x98", 4));  // -104
}

TEST_F(BridgeFixture, DescriptorsTellTheIdentity) {
  const Reply device = One(Control(1, 0x80, 0x06, 0x0100, 0, 64));
  ASSERT_EQ(device.data.size(), 18u);
  EXPECT_EQ(device.data.substr(8, 4), std::string("\xc4\x10\x61\xea", 4));
  // The kernel reads the first 8 bytes first: the reply never exceeds what was asked.
  EXPECT_EQ(One(Control(2, 0x80, 0x06, 0x0100, 0, 8)).data.size(), 8u);
  const Reply config = One(Control(3, 0x80, 0x06, 0x0200, 0, 255));
  ASSERT_EQ(config.data.size(), 32u);
  EXPECT_EQ(config.data[2], 32);
  const Reply serial = One(Control(4, 0x80, 0x06, 0x0303, 0x0409, 255));
  EXPECT_EQ(serial.data, std::string("\x1a\x03"
                                     "d\0o\0v\0a\0"
                                     "3\0"
                                     "0\0"
                                     "0\0-\0"
                                     "0\0"
                                     "0\0"
                                     "0\0"
                                     "1\0",
                                     26));
  // No qualifier and no fourth string: stalls, as a full-speed chip answers them.
  EXPECT_EQ(One(Control(5, 0x80, 0x06, 0x0600, 0, 10)).status, kStatusStall);
  EXPECT_EQ(One(Control(6, 0x80, 0x06, 0x0304, 0x0409, 255)).status, kStatusStall);
}

TEST_F(BridgeFixture, PartNumberAnswersOneOrTwoBytesAsAsked) {
  // One byte for the manufacturing library; two for the driver's check of a genuine chip.
  for (std::uint8_t type : {std::uint8_t{0xC0}, std::uint8_t{0xC1}}) {
    const Reply one = One(Control(1, type, 0xFF, 0x370B, 0, 1));
    EXPECT_EQ(one.data, std::string("\x02", 1));
    EXPECT_EQ(One(Control(2, type, 0xFF, 0x370B, 0, 2)).data.size(), 2u);
  }
  EXPECT_EQ(One(Control(3, 0xC0, 0xFF, 0x370C, 0, 13)).status, kStatusStall);  // no port config
  EXPECT_EQ(bridge_.PartNumberReads(), 4);
}

TEST_F(BridgeFixture, WhatTheDriverSetIsReadBack) {
  OpenLikeTheDriver();
  const UartState& uart = bridge_.Uart();
  EXPECT_TRUE(uart.enabled);
  EXPECT_EQ(uart.baud, 57600u);
  EXPECT_EQ(uart.line_ctl, 0x0800);
  EXPECT_TRUE(uart.dtr);
  EXPECT_TRUE(uart.rts);
  EXPECT_EQ(One(Control(10, 0xC1, 0x1D, 0, 0, 4)).data, Le32(57600));
  EXPECT_EQ(One(Control(11, 0xC1, 0x08, 0, 0, 1)).data[0] & 0x03, 0x03);
  // Dropping DTR alone keeps RTS.
  One(Control(12, 0x41, 0x07, 0x0100, 0, 0));
  EXPECT_FALSE(bridge_.Uart().dtr);
  EXPECT_TRUE(bridge_.Uart().rts);
  EXPECT_EQ(bridge_.Uart().Describe(),
            "enabled=1 baud=57600 line=0x0800 dtr=0 rts=1 crtscts=0 escape=0x00 purges=0");
  // Malformed settings stall instead of being half taken.
  EXPECT_EQ(One(Control(13, 0x41, 0x1E, 0, 0, 4, Le32(0))).status, kStatusStall);
  EXPECT_EQ(One(Control(14, 0x41, 0x13, 0, 0, 3, "abc")).status, kStatusStall);
  EXPECT_EQ(bridge_.Uart().baud, 57600u);
}

TEST_F(BridgeFixture, BulkBytesFlowOnlyThroughAnEnabledInterface) {
  Configure();
  EXPECT_EQ(One(Bulk(2, kDirOut, 0, "!GET NICK\r")).actual_length, 10);
  EXPECT_EQ(to_incubator_, "");  // the UART is still off
  One(Control(3, 0x41, 0x00, 1, 0, 0));
  One(Bulk(4, kDirOut, 0, "!GET NICK\r"));
  EXPECT_EQ(to_incubator_, "!GET NICK\r");
}

TEST_F(BridgeFixture, InTransfersWaitForTheIncubatorAndUnlinksAreAnsweredOnce) {
  OpenLikeTheDriver();
  EXPECT_TRUE(Send(Bulk(20, kDirIn, 256)).empty());  // waits
  EXPECT_TRUE(Send(Bulk(21, kDirIn, 256)).empty());
  std::string out;
  bridge_.FromIncubator("NICK DOVA 1\r", &out);
  auto replies = Parse(out, true);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].seqnum, 20u);
  EXPECT_EQ(replies[0].data, "NICK DOVA 1\r");

  // 21 still waits: unlinking it answers the unlink with -ECONNRESET, and the transfer is
  // never answered afterwards (the kernel drops the link on an unknown sequence number).
  const Reply unlinked = One(Unlink(22, 21));
  EXPECT_EQ(unlinked.command, kRetUnlink);
  EXPECT_EQ(unlinked.seqnum, 22u);
  EXPECT_EQ(unlinked.status, kStatusConnReset);
  out.clear();
  bridge_.FromIncubator("more", &out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(bridge_.Buffered(), 4u);
  // 20 was answered already: nothing left to cancel.
  EXPECT_EQ(One(Unlink(23, 20)).status, kStatusOk);
  // The next transfer gets what waited.
  EXPECT_EQ(One(Bulk(24, kDirIn, 2)).data, "mo");
  EXPECT_EQ(One(Bulk(25, kDirIn, 64)).data, "re");
}

TEST_F(BridgeFixture, EventInsertionEscapesTheEscapeCharacter) {
  OpenLikeTheDriver();
  One(Control(30, 0x41, 0x15, 0xEC, 0, 0));  // EMBED_EVENTS
  std::string out;
  bridge_.FromIncubator(
      "a\xec"
      "b",
      &out);
  EXPECT_EQ(One(Bulk(31, kDirIn, 64)).data, std::string("a\xec\0b", 4));
  // Disabling the interface ends event insertion.
  One(Control(32, 0x41, 0x00, 0, 0, 0));
  EXPECT_EQ(bridge_.Uart().escape, 0);
}

TEST_F(BridgeFixture, ARewrittenIdentityTakesEffectAtTheResetsDescriptorRead) {
  Configure();
  std::string serial = "\x1c\x03";
  for (char ch : std::string("DOVA300-00AB7"))
    serial += std::string{ch, '\0'};
  EXPECT_EQ(One(Control(2, 0x40, 0xFF, 0x3702, 0xEA61, 0)).status, kStatusOk);
  EXPECT_EQ(One(Control(3, 0x40, 0xFF, 0x3704, 0, 0, serial)).status, kStatusOk);
  EXPECT_EQ(One(Control(4, 0x40, 0xFF, 0x3705, 0xC0, 0)).status, kStatusOk);
  // Still the old chip until the host reads its device descriptor again.
  EXPECT_EQ(bridge_.Identity().serial, "dova300-0001");
  const Reply device = One(Control(5, 0x80, 0x06, 0x0100, 0, 64));
  EXPECT_EQ(device.data.substr(10, 2), std::string("\x61\xea", 2));
  EXPECT_EQ(bridge_.Identity().serial, "DOVA300-00AB7");
  EXPECT_TRUE(bridge_.Identity().self_powered);
  EXPECT_FALSE(bridge_.Configured());  // enumerated anew
  // A serial that is not a string descriptor is refused whole.
  EXPECT_EQ(One(Control(6, 0x40, 0xFF, 0x3704, 0, 0, "\x05\x03xyz")).status, kStatusStall);
  EXPECT_EQ(bridge_.Written().serial, "DOVA300-00AB7");
}

TEST_F(BridgeFixture, FaultsStallTheWritesOrKeepTheIdentity) {
  Configure();
  bridge_.SetStallWrites(true);
  EXPECT_EQ(One(Control(2, 0x40, 0xFF, 0x3702, 0xEA61, 0)).status, kStatusStall);
  EXPECT_EQ(bridge_.Written().product_id, 0xEA61);  // nothing taken (it was ea61 already)
  bridge_.SetStallWrites(false);
  bridge_.SetKeepIdentity(true);
  EXPECT_EQ(One(Control(3, 0x40, 0xFF, 0x3702, 0xEA62, 0)).status, kStatusOk);
  One(Control(4, 0x80, 0x06, 0x0100, 0, 18));
  EXPECT_EQ(bridge_.Identity().product_id, 0xEA61);
  bridge_.Plug();  // nor at a power cycle
  EXPECT_EQ(bridge_.Identity().product_id, 0xEA61);
}

TEST_F(BridgeFixture, AFreshPlugForgetsTheHostsSettingsButNotTheIdentity) {
  OpenLikeTheDriver();
  One(Control(2, 0x40, 0xFF, 0x3702, 0xEA60, 0));
  EXPECT_TRUE(Send(Bulk(40, kDirIn, 64)).empty());
  bridge_.Plug();
  EXPECT_FALSE(bridge_.Uart().enabled);
  EXPECT_FALSE(bridge_.Configured());
  EXPECT_EQ(bridge_.InWaiting(), 0u);
  EXPECT_EQ(bridge_.Identity().product_id, 0xEA60);
}

}  // namespace
}  // namespace dova::sim::usbip
