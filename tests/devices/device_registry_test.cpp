// The registry of device objects and the pieces of AISGDevice that need no
// bus: construction, lookup, registration limits, result mapping and the
// text helpers.
#include <cstring>
#include <string>

#include "tests/devices/device_test_util.h"

namespace devtest {
namespace {

std::unique_ptr<ProbeDevice> Make(const std::string& uid, int address, int generation = 2) {
  return std::make_unique<ProbeDevice>(1, generation, address, uid.data(),
                                       static_cast<int>(uid.size()));
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearRegistry(); }
  void TearDown() override {
    ClearRegistry();
    ProbeDevice::refreshOrder.clear();
  }
  // Registers a new probe; the registry owns it afterwards.
  ProbeDevice* Register(const std::string& uid, int address, const char* serial = "") {
    auto d = Make(uid, address);
    d->SetSerial(serial);
    EXPECT_EQ(ProbeDevice::AddDevice(d.get()), 0);
    return d.release();
  }
};

TEST_F(RegistryTest, ConstructionKeepsIdentityAndCutsLongIds) {
  const std::string uid = "AN" + std::string(3, '\0') + "0123456789ABCDEFGH";  // 23 bytes
  ProbeDevice d(17, 2, 42, uid.data(), static_cast<int>(uid.size()));
  EXPECT_EQ(d.GetDeviceType(), 17);
  EXPECT_EQ(d.GetAISGVersion(), 2);
  EXPECT_EQ(d.GetAddress(), 42);
  EXPECT_EQ(d.GetState(), AISGDevice::kStateNew);
  EXPECT_EQ(d.Get3GPPVersion(), 0);
  EXPECT_EQ(d.GetUniqueIDSize(), 19);
  EXPECT_EQ(std::memcmp(d.GetUniqueIDBytes(), uid.data(), 19), 0);
  EXPECT_STREQ(d.GetVendorID(), "AN");
  EXPECT_EQ(d.GetProductNumber().GetLength(), 0u);
  EXPECT_EQ(d.GetNumberOfSubunits(), 0);

  // A copy carries every member, texts included.
  d.SetSerial("SER1");
  d.SetSoftwareFileName("image.bin");
  ProbeDevice copy(d);
  EXPECT_EQ(std::memcmp(copy.GetUniqueIDBytes(), uid.data(), 19), 0);
  EXPECT_STREQ(copy.GetSerialNumber(), "SER1");
  EXPECT_STREQ(copy.GetSoftwareFileName(), "image.bin");
  ProbeDevice other(1, 1, 1, "XY", 2);
  other = d;
  EXPECT_EQ(other.GetAddress(), 42);
  EXPECT_STREQ(other.GetVendorID(), "AN");

  // No unique ID at all, or a negative size, gives an empty one.
  ProbeDevice none(1, 1, 3, nullptr, 5);
  EXPECT_EQ(none.GetUniqueIDSize(), 0);
  EXPECT_STREQ(none.GetVendorID(), "");
  ProbeDevice negative(1, 1, 3, "ANxx", -4);
  EXPECT_EQ(negative.GetUniqueIDSize(), 0);
}

TEST_F(RegistryTest, UniqueIdTextIsVendorThenSerial) {
  ProbeDevice d(1, 2, 1, "AN\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 19);
  d.SetSerial("1234");
  char out[64];
  std::memset(out, 'x', sizeof out);
  d.GetUniqueID(out);
  EXPECT_STREQ(out, "AN1234");
}

TEST_F(RegistryTest, TwentyFiveDevicesDoNotFitAndTheRegistryStaysAsItWas) {
  for (int i = 0; i < AISGDevice::kMaxDevices; ++i)
    Register(Uid("KA", "S" + std::to_string(i)), i + 1);
  EXPECT_EQ(RegistryCount(), 24);
  auto extra = Make(Uid("KA", "S24"), 25);
  EXPECT_EQ(ProbeDevice::AddDevice(extra.get()), -1);
  EXPECT_EQ(ProbeDevice::AddDevice(nullptr), -1);
  EXPECT_EQ(RegistryCount(), 24);
  EXPECT_EQ(AISGDevice::FindDevice(25), nullptr);
  EXPECT_EQ(RegistryEntry(23)->GetAddress(), 24);
}

TEST_F(RegistryTest, LookupsFindTheFirstMatch) {
  AISGDevice* first = Register(Uid("KA", "111"), 7, "111");
  AISGDevice* second = Register(Uid("KA", "222"), 7, "222");
  AISGDevice* third = Register(Uid("AN", "1234", 14), 9, "1234");
  EXPECT_EQ(AISGDevice::FindDevice(7), first);
  EXPECT_EQ(AISGDevice::FindDevice(9), third);
  EXPECT_EQ(AISGDevice::FindDevice(8), nullptr);

  char byId[] = "KA222";
  EXPECT_EQ(AISGDevice::FindDevice(byId), second);
  char an[] = "AN1234";
  EXPECT_EQ(AISGDevice::FindDevice(an), third);
  char prefix[] = "AN123";
  EXPECT_EQ(AISGDevice::FindDevice(prefix), nullptr);
  char vendorOnly[] = "K";
  EXPECT_EQ(AISGDevice::FindDevice(vendorOnly), nullptr);
  EXPECT_EQ(AISGDevice::FindDevice(static_cast<char*>(nullptr)), nullptr);

  // By raw unique ID bytes: size and bytes must both match.
  std::string raw = Uid("AN", "1234", 14);
  EXPECT_EQ(ProbeDevice::FindDevice(raw.data(), 14), third);
  EXPECT_EQ(ProbeDevice::FindDevice(raw.data(), 13), nullptr);
  std::string raw19 = Uid("KA", "222");
  EXPECT_EQ(ProbeDevice::FindDevice(raw19.data(), 19), second);
  EXPECT_EQ(ProbeDevice::FindDevice(raw19.data(), 40), nullptr);
}

TEST_F(RegistryTest, RemoveMovesTheLastEntryIntoTheGapAndKeepsTheObject) {
  Register("KAone", 1);
  std::unique_ptr<AISGDevice> removed(Register("KAtwo", 2));
  Register("KAthree", 3);
  Register("KAfour", 4);
  char two[] = "KAtwo";
  EXPECT_EQ(ProbeDevice::RemoveDevice(two), 0);
  ASSERT_EQ(RegistryCount(), 3);
  EXPECT_EQ(RegistryEntry(0)->GetAddress(), 1);
  EXPECT_EQ(RegistryEntry(1)->GetAddress(), 4);
  EXPECT_EQ(RegistryEntry(2)->GetAddress(), 3);
  EXPECT_EQ(AISGDevice::GetDevices()[3], nullptr);
  // The object is the caller's now (the unique_ptr above destroys it).
  EXPECT_EQ(removed->GetAddress(), 2);

  // Unknown or shorter texts remove nothing.
  char unknown[] = "KAfive";
  char shorter[] = "KAon";
  EXPECT_EQ(ProbeDevice::RemoveDevice(unknown), 0);
  EXPECT_EQ(ProbeDevice::RemoveDevice(shorter), 0);
  EXPECT_EQ(ProbeDevice::RemoveDevice(nullptr), 0);
  EXPECT_EQ(RegistryCount(), 3);
}

TEST_F(RegistryTest, RefreshDevicesRefreshesEachInRegistryOrder) {
  EXPECT_EQ(AISGDevice::RefreshDevices(), 0);
  EXPECT_TRUE(ProbeDevice::refreshOrder.empty());
  Register("KAa", 5);
  Register("KAb", 3);
  Register("KAc", 9);
  EXPECT_EQ(AISGDevice::RefreshDevices(), 0);
  EXPECT_EQ(ProbeDevice::refreshOrder, (std::vector<int>{5, 3, 9}));
}

TEST_F(RegistryTest, ProcedureResultsMapToDeviceResultsAndErrorCodes) {
  ProbeDevice d(1, 2, 1, "KA", 2);
  ald::HString codes("stale");
  DevResult result = -5;
  unsigned char response[128] = {};

  EXPECT_EQ(d.AISGReturnCodeMap(0, reinterpret_cast<char*>(response), result, codes), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(codes.GetLength(), 0u);

  // FAIL with two return codes: the first is the result, both are the text.
  response[0] = 0x0B;
  response[1] = 0x12;
  response[2] = 0x05;
  EXPECT_EQ(d.AISGReturnCodeMap(11, reinterpret_cast<char*>(response), result, codes), 18);
  EXPECT_EQ(result, 18);
  ASSERT_EQ(codes.GetLength(), 2u);
  EXPECT_EQ(codes[0], 0x12);
  EXPECT_EQ(codes[1], 0x05);

  // A return code of 0x80 or above is taken as a signed byte.
  response[1] = 0x80;
  response[2] = 0;
  EXPECT_EQ(d.AISGReturnCodeMap(11, reinterpret_cast<char*>(response), result, codes), -128);
  EXPECT_EQ(result, -128);
  response[1] = 0xFE;
  EXPECT_EQ(d.AISGReturnCodeMap(11, reinterpret_cast<char*>(response), result, codes), -2);

  // No response at all: 11, and the text is the one character 11.
  std::memset(response, 0, sizeof response);
  EXPECT_EQ(d.AISGReturnCodeMap(11, reinterpret_cast<char*>(response), result, codes), 11);
  ASSERT_EQ(codes.GetLength(), 1u);
  EXPECT_EQ(codes[0], 11);

  // A FAIL without reason codes is a failure, never 0.
  response[0] = 0x0B;
  EXPECT_EQ(d.AISGReturnCodeMap(11, reinterpret_cast<char*>(response), result, codes), 11);
  EXPECT_EQ(d.AISGReturnCodeMap(11, nullptr, result, codes), 11);

  // Every other procedure result is "no usable answer"; the text is emptied.
  for (int code : {82, 84, 89, -1, 1}) {
    codes = ald::HString("old");
    EXPECT_EQ(d.AISGReturnCodeMap(code, reinterpret_cast<char*>(response), result, codes), 89)
        << code;
    EXPECT_EQ(codes.GetLength(), 0u);
  }

  // A response area filled to its end never leads the text beyond it.
  std::memset(response, 0x41, sizeof response);
  EXPECT_EQ(d.AISGReturnCodeMap(11, reinterpret_cast<char*>(response), result, codes), 0x41);
  EXPECT_EQ(codes.GetLength(), 127u);
}

TEST_F(RegistryTest, HexDigitsAndRightAlignment) {
  char out[16] = {};
  ProbeDevice::Char2Hex(static_cast<char>(0xA7), out);
  EXPECT_EQ(std::string(out, 2), "a7");
  const char bytes[] = {0x00, 0x0F, static_cast<char>(0xF0), 0x5C};
  std::memset(out, 'z', sizeof out);
  ProbeDevice::Char2Hex(bytes, 4, out);
  EXPECT_EQ(std::string(out, 9), "000ff05cz");  // no terminator written

  char dst[8];
  std::memset(dst, 'x', sizeof dst);
  ProbeDevice::AlignRight("ABC", 3, dst, 6);
  EXPECT_EQ(std::string(dst, 8), std::string("\0\0\0ABCxx", 8));
  ProbeDevice::AlignRight("ABCDEFGH", 8, dst, 4);
  EXPECT_EQ(std::string(dst, 4), "ABCD");

  // In place: the text at the front of the buffer moves to its end.
  char buf[10] = {'h', 'i', '!', 0, 0, 0, 0, 0, 'q', 'q'};
  ProbeDevice::AlignRight(buf, 3, buf, 8);
  EXPECT_EQ(std::string(buf, 10), std::string("\0\0\0\0\0hi!qq", 10));
  // The source behind the destination start works as well.
  char buf2[6] = {'-', '-', 'a', 'b', 'c', 'd'};
  ProbeDevice::AlignRight(buf2 + 2, 4, buf2, 5);
  EXPECT_EQ(std::string(buf2, 6), std::string("\0abcdd", 6));
}

TEST_F(RegistryTest, BaseClassKeepsNoAlarmsAndRefreshesNothing) {
  struct Plain : AISGDevice {
    using AISGDevice::AISGDevice;
  } plain(1, 2, 4, "KAx", 3);
  char buffer[4] = {'u', 'v', 'w', 0};
  EXPECT_EQ(plain.GetAlarmStatus(buffer), 0);
  EXPECT_STREQ(buffer, "uvw");
  EXPECT_EQ(plain.Refresh(), 0);
}

}  // namespace
}  // namespace devtest
