// TMA device: device data read and written in both generations, with the
// read-back comparison and the fields a TMA does not have.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/devices/tma_sim.h"

namespace tma {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

DeviceData Filled() {
  DeviceData d;
  std::memset(&d, 0x5A, sizeof d);
  return d;
}

TEST_F(TmaTest, Aisg2DeviceDataFillsCommonAndTmaFieldsButNotTheTiltRange) {
  Site(std::string(kDualTma) + "band = 0x4020\nband-ext08 = 0x0004\n");
  auto tma = Refreshed(1);
  Device(1).requests.clear();
  DeviceData d = Filled();
  EXPECT_EQ(tma->GetDeviceData(1, d, 0), 0);
  EXPECT_TRUE(Device(1).requests.empty());  // from the cache
  EXPECT_STREQ(d.antmodel, "TMA-DD-1821");
  EXPECT_STREQ(d.antsn, "TD24090011-1");
  EXPECT_EQ(d.antband[0], 0x08);
  EXPECT_STREQ(d.insdate, "260114");
  EXPECT_STREQ(d.insid, "JM042");
  EXPECT_STREQ(d.baseid, "ENB-4711-NORTH");
  EXPECT_STREQ(d.sectorid, "SEC-A2");
  EXPECT_EQ(d.bearing, 300);
  EXPECT_EQ(d.tmatype, 3);
  const unsigned char rx[4] = {0xCC, 0x42, 0xBA, 0x45};
  EXPECT_EQ(std::memcmp(d.rxband, rx, 4), 0);
  EXPECT_EQ(d.maxgain, 48);
  EXPECT_EQ(d.mingain, 16);
  EXPECT_EQ(d.resolution, 2);
  EXPECT_EQ(d.antmaxtilt, 0x5A5A);
  EXPECT_EQ(d.antmintilt, 0x5A5A);

  // Subunit 2 announces the first extension band: read after the set.
  d = Filled();
  EXPECT_EQ(tma->GetDeviceData(2, d, 1), 0);
  std::vector<uint8_t> fields;
  for (const Seen& r : Device(1).requests) {
    if (r.code == 0x75) fields.push_back(r.first);
  }
  ASSERT_EQ(fields.size(), 15u);
  EXPECT_EQ(fields.back(), 0x08);
  const unsigned char band[6] = {0x20, 0x40, 0x04, 0x00, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(d.antband, band, 6), 0);
  EXPECT_EQ(tma->GetDeviceData(3, d, 1), 36);
}

TEST_F(TmaTest, Aisg1DeviceDataTakesTheGainRangeFromItsFields) {
  Site(kAisg1Tma);
  auto tma = Make(1);
  DeviceData d = Filled();
  EXPECT_EQ(tma->GetDeviceData(1, d, 1), 0);
  EXPECT_EQ(Device(1).Count(0x0F), 4);
  EXPECT_STREQ(d.antmodel, "TMA-850-S");
  EXPECT_STREQ(d.sectorid, "S1");
  EXPECT_EQ(d.bearing, 1200);
  EXPECT_EQ(d.mechtilt, -10);
  EXPECT_EQ(d.tmatype, 1);
  EXPECT_EQ(d.maxgain, 48);
  EXPECT_EQ(d.mingain, 16);
  EXPECT_EQ(d.resolution, 2);
  const unsigned char tx[4] = {0xF2, 0x21, 0xEC, 0x22};  // 869.0 and 894.0 MHz
  EXPECT_EQ(std::memcmp(d.txband, tx, 4), 0);
}

TEST_F(TmaTest, DeviceDataReadFailureIsReportedAndKeepsTheCache) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  Device(1).spoil = [](const Seen& r) { return r.code == 0x75 && r.first == 0x26; };
  DeviceData d = Filled();
  CaptureStdout();
  // The last request of the set failed with a bad answer: 89.
  EXPECT_EQ(tma->GetDeviceData(1, d, 1), 89);
  EXPECT_TRUE(Contains(GetCapturedStdout(), "GetDeviceData failed, return code: 52\n"));
  EXPECT_STREQ(d.sectorid, "SEC-A2");
}

TEST_F(TmaTest, Aisg2WriteSendsEachFieldAndReadsItBack) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  DeviceData d{};
  std::strcpy(d.sectorid, "SEC-B7");
  d.bearing = 450;
  const unsigned char rx[4] = {0x10, 0x27, 0x20, 0x4E};
  std::memcpy(d.rxband, rx, 4);
  d.tmatype = 0x103;  // only the low byte is sent
  Device(1).requests.clear();
  CaptureStdout();
  // 0x06 is a RET field: reported and skipped, the result stays that of 0x14.
  EXPECT_EQ(tma->SetDeviceData(1, "\x24\x25\x14\x06", d), 0);
  const std::string trace = GetCapturedStdout();
  EXPECT_TRUE(Contains(trace, "TMADevice::SetDeviceData(1,[\x24\x25\x14\x06])\n"));
  EXPECT_TRUE(Contains(trace, "Unknown parameter for SetDeviceData: 0x6\n"));
  EXPECT_TRUE(Contains(trace, "SetDeviceData result: 0x00\n"));
  EXPECT_EQ(Device(1).Count(0x74), 3);
  for (const Seen& r : Device(1).requests) EXPECT_EQ(r.subunit, 1);

  EXPECT_EQ(tma->GetSubunit(1)->sectorid, ald::HString("SEC-B7"));
  EXPECT_EQ(tma->GetSubunit(1)->bearing, 450);
  EXPECT_EQ(std::memcmp(tma->GetSubunit(1)->rxband, rx, 4), 0);
  const std::vector<uint8_t>* stored = SimSub(1, 1).Field(0x14);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(*stored, std::vector<uint8_t>(rx, rx + 4));

  // Read-only fields of the device: its reason code.
  EXPECT_EQ(tma->SetDeviceData(1, "\x13", d), ald::rc::aisg2::kReadOnly);
  EXPECT_EQ(tma->SetDeviceData(1, "\x16", d), ald::rc::aisg2::kReadOnly);
  // A refused field ahead of one that is written: the refusal is the
  // result, and the later field is still written.
  d.bearing = 460;
  EXPECT_EQ(tma->SetDeviceData(1, "\x16\x25", d), ald::rc::aisg2::kReadOnly);
  EXPECT_EQ(tma->GetSubunit(1)->bearing, 460);
  EXPECT_EQ(static_cast<unsigned char>(tma->GetErrorCodes()[0]), ald::rc::aisg2::kReadOnly);
  // Nothing to write: no answer to report.
  EXPECT_EQ(tma->SetDeviceData(1, "", d), 89);
  EXPECT_EQ(tma->SetDeviceData(1, "\x06", d), 89);
  EXPECT_EQ(tma->SetDeviceData(0, "\x24", d), 36);
}

TEST_F(TmaTest, Aisg1WriteUsesTheShortForms) {
  Site(kAisg1Tma);
  auto tma = Refreshed(1);
  DeviceData d{};
  std::strcpy(d.sectorid, "S9");
  d.mechtilt = -25;
  Device(1).requests.clear();
  EXPECT_EQ(tma->SetDeviceData(1, "\x24\x26", d), 0);
  EXPECT_EQ(Device(1).Count(0x0E), 2);
  std::vector<int> lengths;
  for (const Seen& r : Device(1).requests) {
    if (r.code == 0x0E) lengths.push_back(r.dataLength);
  }
  // Identifier and value: 4 sector ID bytes, 1 mechanical tilt byte.
  EXPECT_EQ(lengths, (std::vector<int>{5, 2}));
  EXPECT_EQ(*SimSub(1, 1).Field(0x24), (std::vector<uint8_t>{0, 0, 'S', '9'}));
  EXPECT_EQ(*SimSub(1, 1).Field(0x26), (std::vector<uint8_t>{0xE7}));
  EXPECT_EQ(tma->GetSubunit(1)->mechtilt, -25);
  EXPECT_EQ(tma->GetSubunit(1)->sectorid, ald::HString("S9"));
}

TEST_F(TmaTest, WriteThatReadsBackDifferentlyGives30) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  DeviceData d{};
  // The device keeps the bytes, but a read turns the control character
  // into the end of the text.
  std::strcpy(d.antmodel, "\x01MODEL");
  std::strcpy(d.sectorid, "SEC-C1");
  EXPECT_EQ(tma->SetDeviceData(1, "\x01", d), 30);
  // A later field that succeeds does not hide the earlier difference.
  EXPECT_EQ(tma->SetDeviceData(1, "\x01\x24", d), 30);
  EXPECT_EQ(tma->GetSubunit(1)->sectorid, ald::HString("SEC-C1"));
  EXPECT_EQ(tma->SetDeviceData(1, "\x24\x01", d), 30);
}

TEST_F(TmaTest, WriteListIsCutAt30Silently) {
  Site(kDualTma);
  auto tma = Refreshed(1);
  DeviceData d{};
  std::strcpy(d.sectorid, "SEC-D4");
  // 31 identifiers without a terminator inside the array.
  char fields[31];
  std::memset(fields, 0x24, sizeof fields);
  Device(1).requests.clear();
  CaptureStdout();
  EXPECT_EQ(tma->SetDeviceData(1, fields, d), 0);
  const std::string trace = GetCapturedStdout();
  EXPECT_EQ(Device(1).Count(0x74), 30);
  EXPECT_TRUE(Contains(trace, "TMADevice::SetDeviceData(1,[" + std::string(30, '\x24') + "])\n"));
  EXPECT_FALSE(Contains(trace, "may not be null terminated"));
}

}  // namespace
}  // namespace tma
