// Device operations of AISGDevice on the simulated antenna line: opening and
// closing links, the device-wide procedures and their result mapping, the
// identity read with its recovery from swapped addresses, user data in
// 16-byte pieces.
#include <cstring>
#include <string>

#include "tests/devices/device_test_util.h"

namespace devtest {
namespace {

const char* const kLine = R"(
[device]
generation = 2
type = 1
vendor = KA
serial = MR4401203925
product = RCU-S2
hw-version = HW 3.1
sw-version = 2.04.11
self-test-time = 2

[device]
generation = 1
type = 1
vendor = KA
serial = 0000RE0912004471
product = RCU-S1
hw-version = A2
sw-version = 1.1.07
enabled = no
)";

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class OperationsTest : public DeviceTest {
 protected:
  // Device 0 (AISG 2) at address 5, device 1 (AISG 1) at address 6.
  void SetUp() override {
    DeviceTest::SetUp();
    Load(kLine);
    aisg2 = ProbeFor(0, 5);
    aisg1 = ProbeFor(1, 6);
  }
  std::unique_ptr<ProbeDevice> aisg2;
  std::unique_ptr<ProbeDevice> aisg1;
};

TEST_F(OperationsTest, OpeningRetriesWithPausesThenStopsOnASilentDevice) {
  Sim(1)->faults.silent = true;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  const int64_t start = NowUs();
  int r = 0;
  const std::string out = Quiet([&] { r = aisg1->OpenConnection(ep, params, 1, 1); });
  EXPECT_EQ(r, -1);
  EXPECT_EQ(Occurrences(out, "SetSNRM fail!\n"), 2);
  // Two link set-ups of three SNRMs each, a 2-second pause after each.
  EXPECT_EQ(Count(kSnrm), 6);
  EXPECT_GE(NowUs() - start, 4'000'000);
  EXPECT_EQ(CountAssignments(), 0);  // AISG 1 devices are addressed once, by the scan

  // An AISG 2 device is given its address by its unique ID before every
  // attempt, and the connection is stopped after the last one.
  line->sent.clear();
  Sim(0)->faults.silent = true;
  AISGDEVICEEP ep2;
  Quiet([&] { r = aisg2->OpenConnection(ep2, params, 2, 1); });
  EXPECT_EQ(r, -1);
  EXPECT_EQ(Count(kSnrm), 9);
  ASSERT_FALSE(line->sent.empty());
  EXPECT_TRUE(line->sent.front().IsAssignment());
  EXPECT_EQ(line->sent.front().XidParam(2), Bytes{5});
}

TEST_F(OperationsTest, OpeningEnablesOnlyAnAisg1DeviceAndOnlyWhenAsked) {
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  int r = -2;
  Quiet([&] { r = aisg1->OpenConnection(ep, params, 0, 0); });
  EXPECT_EQ(r, 0);
  EXPECT_FALSE(Sim(1)->enabled);
  Quiet([&] { aisg1->CloseConnection(ep); });
  EXPECT_EQ(Count(kDisc), 0);  // no disconnect frame for AISG 1

  Quiet([&] { r = aisg1->OpenConnection(ep, params, 0, 1); });
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(Sim(1)->enabled);
  Quiet([&] { aisg1->CloseConnection(ep); });

  // AISG 2: addressed by its unique ID, disconnected at the end.
  AISGDEVICEEP ep2;
  Quiet([&] { r = aisg2->OpenConnection(ep2, params, 0, 1); });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(Sim(0)->address, 5);
  EXPECT_EQ(Count(kDisc), 0);
  const std::string out = Quiet([&] { aisg2->CloseConnection(ep2); });
  EXPECT_EQ(out.rfind("AISGDevice::CloseConnection(ep)\n", 0), 0u);
  EXPECT_EQ(Count(kDisc), 1);
  EXPECT_FALSE(Sim(0)->connected);
}

TEST_F(OperationsTest, PollingSetsUpTheLinkWithoutDisconnecting) {
  EXPECT_EQ(Quiet([&] { EXPECT_EQ(aisg2->PollDevice(7), 0); }).find("SetSNRM fail!"),
            std::string::npos);
  EXPECT_GE(Count(kSnrm), 1);
  EXPECT_EQ(Count(kDisc), 0);
  EXPECT_TRUE(Sim(0)->connected);
  Sim(0)->faults.silent = true;
  Quiet([&] { EXPECT_EQ(aisg2->PollDevice(0), 0); });
}

TEST_F(OperationsTest, DeviceWideProceduresMapResultsAndRefresh) {
  // Success: 0, empty error codes; a self test takes its time and refreshes.
  int64_t start = NowUs();
  std::string out = Quiet([&] { EXPECT_EQ(aisg2->SelfTest(), 0); });
  EXPECT_EQ(out.rfind("AISGDevice::SelfTest()\n", 0), 0u);
  EXPECT_GE(NowUs() - start, 2'000'000);
  EXPECT_EQ(aisg2->refreshes, 1);
  EXPECT_EQ(aisg2->GetErrorCodes().GetLength(), 0u);
  Quiet([&] { EXPECT_EQ(aisg2->AlarmSubscribe(), 0); });
  // Accepted, and ended again with the link the operation closes.
  EXPECT_FALSE(Sim(0)->alarmSubscribed);
  Quiet([&] { EXPECT_EQ(aisg1->ClearActiveAlarms(), 0); });

  // FAIL with return codes 0x12 0x05: result 18, both bytes kept.
  Sim(0)->faults.failReasons = {0x12, 0x05};
  Quiet([&] { EXPECT_EQ(aisg2->SelfTest(), 18); });
  EXPECT_EQ(std::string(aisg2->GetErrorCodes()), "\x12\x05");
  EXPECT_EQ(aisg2->refreshes, 2);
  Sim(0)->faults.failReasons = {0x80};
  Quiet([&] { EXPECT_EQ(aisg2->ClearActiveAlarms(), -128); });
  EXPECT_EQ(std::string(aisg2->GetErrorCodes()), "\x80");
  // FAIL without reason codes is a failure all the same.
  Sim(0)->faults.bareFail = true;
  Quiet([&] { EXPECT_EQ(aisg2->AlarmSubscribe(), 11); });
  EXPECT_EQ(std::string(aisg2->GetErrorCodes()), "\x0b");
  Sim(0)->faults = {};

  // A bad answer maps to 89 and clears the error codes of the last failure.
  Sim(0)->faults.wrongProcedureCode = true;
  Quiet([&] { EXPECT_EQ(aisg2->ClearActiveAlarms(), 89); });
  EXPECT_EQ(aisg2->GetErrorCodes().GetLength(), 0u);
  Sim(0)->faults = {};

  // No link: 89; a self test then refreshes nothing.
  Sim(0)->faults.silent = true;
  Quiet([&] {
    EXPECT_EQ(aisg2->SelfTest(), 89);
    EXPECT_EQ(aisg2->ClearActiveAlarms(), 89);
    EXPECT_EQ(aisg2->AlarmSubscribe(), 89);
  });
  EXPECT_EQ(aisg2->refreshes, 2);
}

TEST_F(OperationsTest, ResetWaitsForTheRestartAndRefreshesEvenWithoutLink) {
  const int64_t start = NowUs();
  Quiet([&] { EXPECT_EQ(aisg2->ResetSoftware(), 0); });
  EXPECT_GE(NowUs() - start, 5'000'000);
  EXPECT_EQ(aisg2->refreshes, 1);
  // The disconnect frame comes only after the 5-second pause.
  ASSERT_GE(Count(kDisc), 1);
  int64_t resetAt = -1;
  for (const SentFrame& f : line->sent) {
    if (f.IsInformation() && !f.info.empty() && f.info[0] == 0x03) resetAt = f.atUs;
  }
  ASSERT_GE(resetAt, 0);
  EXPECT_GE(line->sent.back().atUs - resetAt, 5'000'000);
  EXPECT_EQ(line->sent.back().control, kDisc);

  Sim(0)->faults.silent = true;
  Quiet([&] { EXPECT_EQ(aisg2->ResetSoftware(), 89); });
  EXPECT_EQ(aisg2->refreshes, 2);
}

TEST_F(OperationsTest, InformationIsReadUnlessTheDeviceIsKnownGood) {
  char product[64], serial[64], hw[64], sw[64];
  std::string out = Quiet([&] { EXPECT_EQ(aisg2->GetInformation(product, serial, hw, sw, 0), 0); });
  EXPECT_EQ(out.rfind("AISGDevice::GetInformation(0)\n", 0), 0u);
  EXPECT_NE(out.find("\nAISGDevice::GetInformation(ep)\n"), std::string::npos);
  EXPECT_STREQ(product, "RCU-S2");
  EXPECT_STREQ(serial, "MR4401203925");
  EXPECT_STREQ(hw, "HW 3.1");
  EXPECT_STREQ(sw, "2.04.11");

  // Known good and no refresh asked: the stored texts, no bus traffic.
  aisg2->SetState(AISGDevice::kStateOk);
  Sim(0)->softwareVersion = "2.05.00";
  line->sent.clear();
  std::memset(sw, 0, sizeof sw);
  Quiet([&] { EXPECT_EQ(aisg2->GetInformation(nullptr, nullptr, nullptr, sw, 0), 0); });
  EXPECT_TRUE(line->sent.empty());
  EXPECT_STREQ(sw, "2.04.11");
  // Asked to refresh, it reads the device, whose new version replaces the old.
  Quiet([&] { EXPECT_EQ(aisg2->GetInformation(nullptr, serial, nullptr, sw, 1), 0); });
  EXPECT_FALSE(line->sent.empty());
  EXPECT_STREQ(sw, "2.05.00");
  EXPECT_STREQ(serial, "MR4401203925");

  // No link: 89, and still the stored texts.
  Sim(0)->faults.silent = true;
  std::memset(product, 0, sizeof product);
  Quiet([&] { EXPECT_EQ(aisg2->GetInformation(product, nullptr, nullptr, nullptr, 1), 89); });
  EXPECT_STREQ(product, "RCU-S2");
}

// Two AISG 1 devices whose addresses were swapped behind the controller's
// back: asking the first one's address reaches the second device.
TEST_F(DeviceTest, SwappedAddressesAreGivenBackAndTheLinkReopened) {
  Load(R"(
[device]
generation = 1
type = 1
vendor = KA
serial = 0000RE0912004471
product = RCU-S1
[device]
generation = 1
type = 1
vendor = KA
serial = 0000RE0912004472
product = RCU-S1
)");
  auto* first = ProbeFor(0, 1).release();
  auto* second = ProbeFor(1, 2).release();
  first->SetSerial("0000RE0912004471");
  second->SetSerial("0000RE0912004472");
  ASSERT_EQ(ProbeDevice::AddDevice(first), 0);
  ASSERT_EQ(ProbeDevice::AddDevice(second), 0);
  Sim(0)->address = 2;
  Sim(1)->address = 1;

  char serial[64];
  int r = -1;
  const std::string out =
      Quiet([&] { r = first->GetInformation(nullptr, serial, nullptr, nullptr, 1); });
  EXPECT_EQ(r, 0);
  EXPECT_NE(out.find("Address change found! Reset address!\nAISGDevice::ResetAllDeviceAdress()\n"),
            std::string::npos);
  EXPECT_EQ(Sim(0)->address, 1);
  EXPECT_EQ(Sim(1)->address, 2);
  EXPECT_STREQ(serial, "0000RE0912004471");  // the other device's serial was not taken

  // The first device is gone from the bus: its address cannot be given back
  // and the link does not come up again: 83 over an open link, 89 to the
  // caller of the public form.
  Sim(0)->faults.silent = true;
  Sim(1)->address = 1;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  std::string out2 = Quiet([&] {
    ASSERT_EQ(first->OpenConnection(ep, params, 0, 1), 0);  // the second device answers
    EXPECT_EQ(first->GetInformation(ep, params), 83);
  });
  EXPECT_EQ(Occurrences(out2, "Set address 1 for deivce 0000RE0912004471 failed\n"), 2);
  EXPECT_EQ(Occurrences(out2, "SetSNRM fail!\n"), 2);
  EXPECT_EQ(Sim(1)->address, 2);

  Sim(1)->address = 1;
  Quiet([&] { r = first->GetInformation(nullptr, nullptr, nullptr, nullptr, 1); });
  EXPECT_EQ(r, 89);
  EXPECT_EQ(Sim(1)->address, 2);
}

// A device of vendor AR may report a serial number that differs from the one
// stored; when the bus confirms its unique ID, the new one is taken.
TEST_F(DeviceTest, ArDeviceWithNewSerialIsConfirmedByItsUniqueId) {
  Load(R"(
[device]
generation = 2
type = 1
vendor = AR
serial = 12345678901234567
sw-version = 7.0
)");
  std::unique_ptr<ProbeDevice> d = ProbeFor(0, 4);
  d->SetSerial("OLDSERIAL");
  char serial[64], sw[64];
  std::string out;
  out = Quiet([&] { EXPECT_EQ(d->GetInformation(nullptr, serial, nullptr, sw, 1), 0); });
  EXPECT_EQ(out.find("Address change found!"), std::string::npos);
  EXPECT_STREQ(serial, "12345678901234567");
  EXPECT_STREQ(sw, "7.0");
}

class UserDataTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    Load(R"(
[device]
generation = 2
type = 1
vendor = KA
serial = MR4401203925
user-data-size = 160
)");
    device = ProbeFor(0, 3);
  }
  // Offset and count of each user data request of this code.
  std::vector<std::pair<int, int>> Pieces(uint8_t code) {
    std::vector<std::pair<int, int>> out;
    for (const Bytes& b : Requests(code)) {
      if (b.size() >= 6) out.emplace_back(b[3] | b[4] << 8, b[5]);
    }
    return out;
  }
  std::unique_ptr<ProbeDevice> device;
};

TEST_F(UserDataTest, FortyBytesGoInPiecesOfSixteenAndComeBackTheSame) {
  char data[40];
  for (int i = 0; i < 40; ++i) data[i] = static_cast<char>(0xC0 + i);
  std::string out = Quiet([&] { EXPECT_EQ(device->WriteUserData(data, 40, 100), 0); });
  EXPECT_EQ(out.rfind("AISGDevice::WriteUserData()\n", 0), 0u);
  using P = std::vector<std::pair<int, int>>;
  EXPECT_EQ(Pieces(0x11), (P{{100, 16}, {116, 16}, {132, 8}}));
  for (int i = 0; i < 40; ++i) ASSERT_EQ(Sim(0)->userData[100 + i], static_cast<uint8_t>(data[i]));
  EXPECT_EQ(Sim(0)->userData[99], 0);
  EXPECT_EQ(Sim(0)->userData[140], 0);

  char back[48];
  std::memset(back, 0x55, sizeof back);
  Quiet([&] { EXPECT_EQ(device->ReadUserData(back, 40, 100), 0); });
  EXPECT_EQ(Pieces(0x10), (P{{100, 16}, {116, 16}, {132, 8}}));
  EXPECT_EQ(std::memcmp(back, data, 40), 0);
  EXPECT_EQ(back[40], 0x55);  // nothing written past the length

  // Nothing to transfer: a link but no request, result 0.
  line->sent.clear();
  Quiet([&] { EXPECT_EQ(device->ReadUserData(back, 0, 10), 0); });
  EXPECT_TRUE(Requests(0x10).empty());
  EXPECT_GE(Count(kSnrm), 1);
}

TEST_F(UserDataTest, BadArgumentsGive36WithoutTouchingTheBus) {
  char buffer[16];
  Quiet([&] {
    EXPECT_EQ(device->ReadUserData(buffer, 16, -1), 36);
    EXPECT_EQ(device->ReadUserData(buffer, -1, 0), 36);
    EXPECT_EQ(device->WriteUserData(buffer, 4, -16), 36);
    EXPECT_EQ(device->WriteUserData(buffer, -4, 0), 36);
    EXPECT_EQ(device->ReadUserData(nullptr, 4, 0), 36);
    EXPECT_EQ(device->WriteUserData(nullptr, 4, 0), 36);
  });
  EXPECT_TRUE(line->sent.empty());
}

TEST_F(UserDataTest, TheFirstFailingPieceEndsTheTransfer) {
  for (int i = 0; i < 160; ++i) Sim(0)->userData[i] = static_cast<uint8_t>(i);
  // The area ends at 160: the piece at 148 (16 bytes) is out of range.
  char back[40];
  std::memset(back, 0x7F, sizeof back);
  Quiet([&] { EXPECT_EQ(device->ReadUserData(back, 40, 132), 0x13); });
  EXPECT_EQ(std::string(device->GetErrorCodes()), "\x13");
  for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint8_t>(back[i]), 132 + i);
  EXPECT_EQ(back[16], 0x7F);
  using P = std::vector<std::pair<int, int>>;
  EXPECT_EQ(Pieces(0x10), (P{{132, 16}, {148, 16}}));

  char data[40];
  std::memset(data, 0xEE, sizeof data);
  Quiet([&] { EXPECT_EQ(device->WriteUserData(data, 40, 132), 0x13); });
  EXPECT_EQ(Sim(0)->userData[147], 0xEE);
  EXPECT_EQ(Sim(0)->userData[148], 148);

  // An offset the device cannot address is refused by the engine: 89.
  Quiet([&] { EXPECT_EQ(device->ReadUserData(back, 16, 0x7FFFFFF8), 89); });
  Sim(0)->faults.silent = true;
  Quiet([&] { EXPECT_EQ(device->ReadUserData(back, 16, 0), 89); });
}

}  // namespace
}  // namespace devtest
