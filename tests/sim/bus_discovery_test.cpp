// Discovery and addressing as the devices answer them: scans under pattern
// and mask, collisions, unique IDs of both lengths, address assignment and
// reset in both generations, version and HDLC parameters.
#include <gtest/gtest.h>

#include "tests/sim/bus_test_util.h"

namespace ald::sim::testing {
namespace {

const std::string kIdA = Uid19("KA", "10000A");  // last character 'A' = 0x41
const std::string kIdB = Uid19("KA", "10000B");  // differs from A in bits 0 and 1

DeviceList TwoDevices(int genA = 2, int genB = 1) {
  DeviceList list;
  list.push_back(MakeDevice(genA, kIdA));
  list.push_back(MakeDevice(genB, kIdB));
  return list;
}

std::string Zeros(int n) {
  return std::string(static_cast<size_t>(n), '\0');
}

TEST(BusScan, OpenMaskDrawsEveryDeviceIntoAGarbledAnswer) {
  BusDriver d(TwoDevices());
  const Answer a = d.Scan(Zeros(19), Zeros(19));
  EXPECT_EQ(d.bus.LastAnswerCount(), 2);
  ASSERT_GT(a.length, 0);
  EXPECT_FALSE(a.good);
  EXPECT_FALSE(ContainsGoodFrame(a.bytes.data(), a.length));
  // The same collision always looks the same.
  BusDriver again(TwoDevices());
  EXPECT_EQ(again.Scan(Zeros(19), Zeros(19)).bytes, a.bytes);
}

TEST(BusScan, MaskedBitSeparatesDevicesAndAnswersCarryIdentity) {
  BusDriver d(TwoDevices(2, 1));
  std::string mask = Zeros(19);
  mask[18] = 0x01;
  std::string pattern = Zeros(19);
  pattern[18] = 0x01;  // 'A' has bit 0 set, 'B' has not
  Answer a = d.Scan(pattern, mask);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, 0xBF);  // AISG 2.0
  EXPECT_EQ(a.address, 0);     // not addressed yet
  EXPECT_EQ(AsString(XidParam(a, 1)), kIdA);
  EXPECT_EQ(XidParam(a, 4), std::vector<uint8_t>{2});
  EXPECT_EQ(AsString(XidParam(a, 6)), "KA");
  EXPECT_EQ(XidParam(a, 9), std::vector<uint8_t>{2});
  ASSERT_GE(a.info.size(), 4u);
  EXPECT_EQ(a.info[3], 1);  // the unique ID comes first

  pattern[18] = 0x00;
  a = d.Scan(pattern, mask);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, 0x73);  // AISG 1.x answers with UA
  EXPECT_EQ(AsString(XidParam(a, 1)), kIdB);

  // A pattern nobody has.
  mask[0] = 0xFF;
  pattern[0] = 'Z';
  EXPECT_EQ(d.Scan(pattern, mask).length, 0);
}

// Pattern and mask of `octets`, every bit compared.
std::string Full(size_t octets) {
  return std::string(octets, static_cast<char>(0xFF));
}

TEST(BusScan, ShortPatternsCompareVendorCodeAndRightMostOctets) {
  DeviceList list;
  list.push_back(MakeDevice(2, Uid19("KA", "1234")));  // "KA", thirteen '0', "1234"
  BusDriver d(std::move(list));
  EXPECT_TRUE(d.Scan("KA4", Full(3)).good);
  EXPECT_TRUE(d.Scan("KA34", Full(4)).good);
  EXPECT_TRUE(d.Scan("KA1234", Full(6)).good);
  EXPECT_TRUE(d.Scan("KA", Full(2)).good) << "the vendor code alone";
  EXPECT_EQ(d.Scan("KA3", Full(3)).length, 0) << "'3' is not the last octet";
  EXPECT_EQ(d.Scan("KB4", Full(3)).length, 0) << "another vendor";
  EXPECT_EQ(d.Scan("KA00", Full(4)).length, 0) << "left-aligned, these would match";
  EXPECT_EQ(d.Scan("KA1", Full(3)).length, 0);
  // Octets the mask leaves open still compare nothing.
  EXPECT_TRUE(d.Scan("ZZ4", std::string{0, 0, static_cast<char>(0xFF)}).good);
  // A mask shorter than its pattern lines up with the pattern's vendor code.
  EXPECT_TRUE(d.Scan("KA9", Full(2)).good);
  // The full-length pattern as before.
  EXPECT_TRUE(d.Scan(Uid19("KA", "1234"), Full(19)).good);
  EXPECT_EQ(d.Scan(Uid19("KA", "1235"), Full(19)).length, 0);
  EXPECT_EQ(d.Scan(Uid19("KA", "1234") + "0", Full(20)).length, 0) << "longer than any ID";
}

TEST(BusScan, TwoRetsOfOneVendorAreSeparatedByShortPatterns) {
  DeviceList list;
  list.push_back(MakeDevice(2, Uid19("KA", "1234")));
  list.push_back(MakeDevice(2, Uid19("KA", "1235")));
  BusDriver d(std::move(list));
  d.Scan("KA", Full(2));
  EXPECT_EQ(d.bus.LastAnswerCount(), 2) << "one vendor code: both answer";
  // '4' (0x34) and '5' (0x35) differ in bit 0 of the last octet.
  const std::string bit0{0, 0, 0x01};
  Answer a = d.Scan(std::string("\0\0\x01", 3), bit0);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(AsString(XidParam(a, 1)), Uid19("KA", "1235"));
  a = d.Scan(std::string("\0\0\0", 3), bit0);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(AsString(XidParam(a, 1)), Uid19("KA", "1234"));
  a = d.Scan("KA4", Full(3));
  ASSERT_TRUE(a.good);
  EXPECT_EQ(AsString(XidParam(a, 1)), Uid19("KA", "1234"));
  EXPECT_EQ(d.bus.LastAnswerCount(), 1);
}

TEST(BusScan, Aisg20IdsOfAnyLengthFollowThePaddingRule) {
  DeviceList list;
  list.push_back(MakeDevice(2, "AL1234567890XY"));  // 14 octets
  BusDriver d(std::move(list));
  // A 19-octet search reaches the right-most octets of a shorter ID.
  std::string mask = Zeros(19);
  mask[16] = mask[17] = mask[18] = 0x0F;
  std::string pattern = Zeros(19);
  pattern[16] = '0' & 0x0F;
  pattern[17] = 'X' & 0x0F;
  pattern[18] = 'Y' & 0x0F;
  EXPECT_TRUE(d.Scan(pattern, mask).good);
  pattern[18] = 'Z' & 0x0F;
  EXPECT_EQ(d.Scan(pattern, mask).length, 0);
  // Octets between the vendor code and a short ID's serial read as zeros.
  mask = Zeros(19);
  mask[4] = static_cast<char>(0xFF);
  EXPECT_TRUE(d.Scan(Zeros(19), mask).good);
  // The 14-octet window of the search.
  std::string pattern14 = "AL" + Zeros(12);
  std::string mask14 = Zeros(14);
  mask14[0] = mask14[1] = static_cast<char>(0xFF);
  mask14[11] = mask14[12] = mask14[13] = 0x0F;
  pattern14[12] = 'X' & 0x0F;
  pattern14[13] = 'Y' & 0x0F;
  const Answer a = d.Scan(pattern14, mask14);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(AsString(XidParam(a, 1)), "AL1234567890XY");
  EXPECT_TRUE(d.Scan("ALY", Full(3)).good);
  // The open scan of a single device reaches it whatever its length.
  EXPECT_TRUE(d.Scan(Zeros(19), Zeros(19)).good);
}

TEST(BusScan, Aisg11AnswersOnlyPatternsOfItsOwnLength) {
  DeviceList list;
  list.push_back(MakeDevice(1, "AL1234567890XY"));  // 14 octets
  BusDriver d(std::move(list));
  EXPECT_TRUE(d.Scan("AL1234567890XY", Full(14)).good);
  EXPECT_TRUE(d.Scan("AL" + Zeros(12), "\xFF\xFF" + Zeros(12)).good);
  EXPECT_EQ(d.Scan("AL1234567890XZ", Full(14)).length, 0);
  // The same octets in a pattern of another length are not for it.
  EXPECT_EQ(d.Scan("AL" + Zeros(5) + "1234567890XY", "\xFF\xFF" + Zeros(5) + Full(12)).length, 0);
  EXPECT_EQ(d.Scan("ALY", Full(3)).length, 0);
  EXPECT_EQ(d.Scan(Zeros(19), Zeros(19)).length, 0);
}

TEST(BusScan, AddressedAisg20DevicesKeepQuiet) {
  DeviceList list;
  list.push_back(MakeDevice(2, kIdA));
  list.push_back(MakeDevice(2, kIdB));
  BusDriver d(std::move(list));
  ASSERT_TRUE(d.Assign(4, kIdA).good);
  // Only the device still without an address answers the open scan, so it
  // answers alone instead of colliding.
  Answer a = d.Scan(Zeros(19), Zeros(19));
  ASSERT_TRUE(a.good);
  EXPECT_EQ(d.bus.LastAnswerCount(), 1);
  EXPECT_EQ(AsString(XidParam(a, 1)), kIdB);
  EXPECT_EQ(d.Scan(kIdA, Full(19)).length, 0);
  // Not at its own address either.
  std::vector<uint8_t> p{1, 19};
  p.insert(p.end(), kIdA.begin(), kIdA.end());
  p.insert(p.end(), {3, 19});
  p.insert(p.end(), 19, 0);
  EXPECT_EQ(d.Xid(4, p).length, 0);
  // It still answers what an addressed device answers.
  EXPECT_EQ(d.Send(4, 0x93).control, 0x73);
  // Without its address it takes part in the search again.
  ASSERT_TRUE(d.Assign(4, Zeros(19)).good);
  EXPECT_TRUE(d.Scan(kIdA, Full(19)).good);
}

TEST(BusAddress, GenerationsAcknowledgeAssignmentDifferently) {
  BusDriver d(TwoDevices(2, 1));
  Answer a = d.Assign(5, kIdA);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, 0xBF);
  EXPECT_EQ(a.address, 5);
  EXPECT_EQ(AsString(XidParam(a, 1)), kIdA);
  EXPECT_EQ(XidParam(a, 4), std::vector<uint8_t>{2});
  EXPECT_EQ(AsString(XidParam(a, 6)), "KA");
  EXPECT_EQ(d.bus.Device(0).address, 5);

  a = d.Assign(6, kIdB);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, 0x73);
  EXPECT_EQ(a.address, 6);
  EXPECT_TRUE(a.info.empty());
  EXPECT_EQ(d.bus.Device(1).address, 6);

  // An ID nobody has is not answered; a shorter prefix is not the ID.
  EXPECT_EQ(d.Assign(7, Uid19("KA", "99")).length, 0);
  EXPECT_EQ(d.Assign(7, kIdA.substr(0, 14)).length, 0);
  EXPECT_EQ(d.bus.Device(0).address, 5);
}

TEST(BusAddress, EmDevicesExpectTheCompactedId) {
  const std::string full = std::string("EM") + Zeros(3) + "12345678";  // 13 bytes
  DeviceList list;
  list.push_back(MakeDevice(2, full));
  BusDriver d(std::move(list));
  EXPECT_EQ(d.Assign(4, full).length, 0);
  const Answer a = d.Assign(4, "EM12345678");
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.address, 4);
  // The answer and scans still show the whole ID.
  EXPECT_EQ(AsString(XidParam(a, 1)), full);
}

TEST(BusAddress, Aisg11KeepsItsAddressAcrossDisconnect) {
  DeviceList list;
  list.push_back(MakeDevice(1, kIdB));
  BusDriver d(std::move(list));
  ASSERT_TRUE(d.Assign(3, kIdB).good);
  EXPECT_EQ(d.Send(3, 0x93).control, 0x73);
  EXPECT_EQ(d.Send(3, 0x53).control, 0x73);
  EXPECT_EQ(d.Send(3, 0x93).control, 0x73) << "still at address 3";
  const Answer scan = d.Scan(Zeros(19), Zeros(19));
  ASSERT_TRUE(scan.good);
  EXPECT_EQ(scan.address, 3);
}

TEST(BusAddress, Aisg20GivesUpItsAddressWithTheLink) {
  DeviceList list;
  list.push_back(MakeDevice(2, kIdA));
  BusDriver d(std::move(list));
  ASSERT_TRUE(d.Assign(3, kIdA).good);
  EXPECT_EQ(d.Send(3, 0x93).control, 0x73);
  const Answer ua = d.Send(3, 0x53);
  EXPECT_EQ(ua.control, 0x73);
  EXPECT_EQ(ua.address, 3) << "the UA still goes out under the old address";
  EXPECT_EQ(d.Send(3, 0x93).length, 0);
  EXPECT_EQ(d.Scan(Zeros(19), Zeros(19)).address, 0);
  ASSERT_TRUE(d.Assign(3, kIdA).good);
  EXPECT_EQ(d.Send(3, 0x93).control, 0x73);
}

TEST(BusAddress, ResetByZeroIdAndByResetParameter) {
  BusDriver d(TwoDevices(1, 1));
  ASSERT_TRUE(d.Assign(1, kIdA).good);
  ASSERT_TRUE(d.Assign(2, kIdB).good);
  // Zero ID: only the device at the named address lets go of it.
  const Answer a = d.Assign(1, Zeros(19));
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.address, 1);
  EXPECT_EQ(d.bus.Device(0).address, 0);
  EXPECT_EQ(d.bus.Device(1).address, 2);
  EXPECT_EQ(d.Assign(9, Zeros(19)).length, 0);

  // Broadcast reset: nobody answers, everybody forgets, and the devices stay
  // silent while they restart.
  ASSERT_TRUE(d.Assign(1, kIdA).good);
  d.nowUs = 10000000;
  const Answer reset = d.Xid(0xFF, {7, 0});
  EXPECT_EQ(reset.length, 0);
  EXPECT_EQ(d.bus.Device(0).address, 0);
  EXPECT_EQ(d.bus.Device(1).address, 0);
  d.nowUs = 10000000 + kXidResetRestartUs - 1;
  EXPECT_EQ(d.Scan(Zeros(19), Zeros(19)).length, 0);
  d.nowUs = 10000000 + kXidResetRestartUs;
  EXPECT_GT(d.Scan(Zeros(19), Zeros(19)).length, 0);

  // A reset sent to one address is acknowledged by that device.
  ASSERT_TRUE(d.Assign(2, kIdB).good);
  const Answer ack = d.Xid(2, {7, 0});
  ASSERT_TRUE(ack.good);
  EXPECT_EQ(ack.address, 2);
  EXPECT_EQ(d.bus.Device(1).address, 0);
}

TEST(BusXid, VersionParametersAnswerTheDevicesOwnValues) {
  DeviceList list;
  auto dev = MakeDevice(2, kIdA, 1);
  dev->protocolVersion = 2;
  dev->release3gpp = 8;
  dev->subVersion = 0x0304;
  list.push_back(std::move(dev));
  list.push_back(MakeDevice(1, kIdB, 2));
  BusDriver d(std::move(list));

  Answer a = d.Xid(1, {0x14, 1, 2});
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, 0xBF);
  EXPECT_EQ(a.info, (std::vector<uint8_t>{0x81, 0xF0, 3, 0x14, 1, 2}));
  a = d.Xid(1, {0x05, 1, 6});
  EXPECT_EQ(a.info, (std::vector<uint8_t>{0x81, 0xF0, 3, 0x05, 1, 8}));
  a = d.Xid(1, {0x15, 2, 0, 0});
  EXPECT_EQ(a.info, (std::vector<uint8_t>{0x81, 0xF0, 4, 0x15, 2, 0x04, 0x03}));

  a = d.Xid(2, {0x14, 1, 2});
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, 0x73);
  EXPECT_EQ(a.address, 2);
  EXPECT_EQ(XidParam(a, 0x14), std::vector<uint8_t>{2});
}

TEST(BusXid, HdlcParametersAreAnswered) {
  DeviceList list;
  list.push_back(MakeDevice(2, kIdA, 1));
  list.push_back(MakeDevice(1, kIdB, 2));
  BusDriver d(std::move(list));
  const std::vector<uint8_t> offer{5, 4, 0x50, 2, 0, 0, 6, 4, 0x50, 2, 0, 0, 7, 1, 1, 8, 1, 1};
  std::vector<uint8_t> expected{0x81, 0x80, 18};
  expected.insert(expected.end(), offer.begin(), offer.end());
  Answer a = d.Xid(1, offer, 0x80);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, 0xBF);
  EXPECT_EQ(a.info, expected);
  a = d.Xid(2, offer, 0x80);
  ASSERT_TRUE(a.good);
  EXPECT_EQ(a.control, 0x73);
  EXPECT_EQ(a.info, expected);
}

TEST(BusFrames, OnlyOwnAndBroadcastAddressesAndGoodFramesAreHeard) {
  DeviceList list;
  list.push_back(MakeDevice(2, kIdA, 1));
  list.push_back(MakeDevice(2, kIdB));  // unaddressed
  BusDriver d(std::move(list));
  EXPECT_EQ(d.Send(2, 0x93).length, 0);
  EXPECT_EQ(d.Send(0, 0x93).length, 0) << "address 0 is nobody's";
  const Answer a = d.Send(0xFF, 0x93);
  ASSERT_TRUE(a.good) << "only the addressed device takes part";
  EXPECT_EQ(a.address, 1);

  // A command with a broken FCS is not heard at all.
  const uint8_t bad[] = {0x7E, 0x01, 0x93, 0x8D, 0xB1, 0x7E};
  EXPECT_EQ(d.SendWire(bad, sizeof bad).length, 0);
  const uint8_t good[] = {0x7E, 0x01, 0x93, 0x8D, 0xB0, 0x7E};
  const Answer ua = d.SendWire(good, sizeof good);
  EXPECT_EQ(ua.bytes, (std::vector<uint8_t>{0x7E, 0x01, 0x73, 0x83, 0x57, 0x7E}));
}

TEST(BusCollision, IdenticalAnswersStillFailTheFcs) {
  DeviceList list;
  list.push_back(MakeDevice(1, kIdA, 1));
  list.push_back(MakeDevice(1, kIdB, 1));  // two devices given the same address
  BusDriver d(std::move(list));
  const Answer a = d.Send(1, 0x93);
  EXPECT_EQ(d.bus.LastAnswerCount(), 2);
  EXPECT_EQ(a.length, 6);
  EXPECT_FALSE(ContainsGoodFrame(a.bytes.data(), a.length));
}

TEST(BusCollision, SpoiledBytesHoldNoFrameForAnyReading) {
  // A good frame whose closing flag is an escaped one: readable by a
  // receiver that undoes transparency before looking for flags.
  uint8_t inner[kMaxWire];
  const int n = EncodeFrame(0x01, 0x73, nullptr, 0, inner, sizeof inner);
  ASSERT_EQ(n, 6);
  std::vector<uint8_t> bytes{0x7E};
  bytes.insert(bytes.end(), inner + 1, inner + 5);
  bytes.insert(bytes.end(), {0x7D, 0x5E, 0x33, 0x7E});
  EXPECT_TRUE(ContainsGoodFrame(bytes.data(), static_cast<int>(bytes.size())));
  std::vector<uint8_t> plain(inner, inner + n);
  EXPECT_TRUE(ContainsGoodFrame(plain.data(), n));
  SpoilFrames(plain.data(), n);
  EXPECT_FALSE(ContainsGoodFrame(plain.data(), n));
  EXPECT_EQ(plain.front(), 0x7E);
  EXPECT_EQ(plain.back(), 0x7E);
}

}  // namespace
}  // namespace ald::sim::testing
