// RET device data: the set read per generation, fields written one by one
// and compared with what the device then holds, and the cached read.
#include <cstring>
#include <string>
#include <vector>

#include "tests/devices/ret_fixture.h"

namespace rettest {
namespace {

std::vector<uint8_t> Stored(ScriptedRet& d, int subunit, uint8_t id) {
  const std::vector<uint8_t>* v = d.subunits[static_cast<size_t>(subunit - 1)].Field(id);
  return v != nullptr ? *v : std::vector<uint8_t>{};
}

DeviceData Filled() {
  DeviceData data{};
  std::strcpy(data.antmodel, "NEW-MODEL-15CH");
  std::strcpy(data.antsn, "SN-0000001");
  data.antband[0] = 0x34;
  data.antband[1] = 0x12;
  const unsigned char beams[8] = {70, 0, 71, 0, 72, 0, 73, 0};
  std::memcpy(data.antbeam, beams, 8);
  const unsigned char gains[4] = {150, 151, 152, 153};
  std::memcpy(data.antgain, gains, 4);
  std::strcpy(data.insdate, "261208");
  std::strcpy(data.insid, "ENG42");
  std::strcpy(data.baseid, "BASE-STATION-ID-WITH-32-CHARS-XX");
  std::strcpy(data.sectorid, "SECTOR-B");
  data.bearing = 2705;
  data.mechtilt = -35;
  return data;
}

TEST_F(RetSim, Aisg2FieldsAreWrittenReadBackAndCached) {
  Site(kRet2);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  const DeviceData data = Filled();
  const char fields[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0};
  Trace trace;
  EXPECT_EQ(ret->SetDeviceData(1, fields, data), 0);
  const std::string out = trace.Take();
  EXPECT_NE(out.find("RETDevice::SetDeviceData(1,[01])\n"), std::string::npos);
  EXPECT_NE(out.find("SetDeviceData: 0x22, ENG42\n"), std::string::npos);
  EXPECT_EQ(Count(out, "SetDeviceData result: 0x00\n"), 11);

  ScriptedRet& d = Ald(1);
  EXPECT_EQ(Stored(d, 1, 0x01), ald::sim::TextValue("NEW-MODEL-15CH", 15));
  EXPECT_EQ(Stored(d, 1, 0x23), ald::sim::TextValue(data.baseid, 32));
  EXPECT_EQ(Stored(d, 1, 0x25), (std::vector<uint8_t>{0x91, 0x0A}));
  EXPECT_EQ(Stored(d, 1, 0x26), (std::vector<uint8_t>{0xDD, 0xFF}));
  EXPECT_EQ(Stored(d, 1, 0x04), (std::vector<uint8_t>{70, 0, 71, 0, 72, 0, 73, 0}));

  // Cached without bus traffic once refreshed.
  const int before = d.messages;
  DeviceData got{};
  EXPECT_EQ(ret->GetDeviceData(1, got, 0), 0);
  EXPECT_EQ(d.messages, before);
  EXPECT_STREQ(got.antmodel, "NEW-MODEL-15CH");
  EXPECT_STREQ(got.baseid, data.baseid);
  EXPECT_EQ(got.bearing, 2705);
  EXPECT_EQ(got.mechtilt, -35);
  EXPECT_EQ(got.antband[0], 0x34);
  EXPECT_EQ(got.antband[1], 0x12);
  EXPECT_EQ(std::memcmp(got.antgain, data.antgain, 4), 0);
  EXPECT_EQ(got.antmaxtilt, 100);  // from the device's tilt range

  // Read from the device again: the same values.
  DeviceData again{};
  again.tmatype = 0xBEEF;  // a RET leaves the TMA fields alone
  EXPECT_EQ(ret->GetDeviceData(1, again, 1), 0);
  EXPECT_GT(d.messages, before);
  EXPECT_EQ(std::memcmp(&again, &got, offsetof(DeviceData, tmatype)), 0);
  EXPECT_EQ(again.tmatype, 0xBEEF);
}

TEST_F(RetSim, Aisg1FieldsUseTheShortLayouts) {
  Site(kRet1);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  // Three one-byte beamwidths land in the low bytes of the 16-bit values.
  EXPECT_EQ(ret->Unit(1).antbeam[0], 65);
  EXPECT_EQ(ret->Unit(1).antbeam[2], 64);
  EXPECT_EQ(ret->Unit(1).antbeam[4], 63);
  EXPECT_EQ(ret->Unit(1).mechtilt, -10);

  DeviceData data = Filled();
  std::strcpy(data.baseid, "SITE-0000012");  // 12 characters fit
  std::strcpy(data.sectorid, "S2");
  data.mechtilt = -12;
  const char fields[] = {0x04, 0x05, 0x23, 0x24, 0x26, 0};
  EXPECT_EQ(ret->SetDeviceData(1, fields, data), 0);
  ScriptedRet& d = Ald(1);
  EXPECT_EQ(Stored(d, 1, 0x04), (std::vector<uint8_t>{70, 71, 72}));
  EXPECT_EQ(Stored(d, 1, 0x05), (std::vector<uint8_t>{150, 151, 152}));
  EXPECT_EQ(Stored(d, 1, 0x23), ald::sim::TextValue("SITE-0000012", 12));
  EXPECT_EQ(Stored(d, 1, 0x24), ald::sim::TextValue("S2", 4));
  EXPECT_EQ(Stored(d, 1, 0x26), (std::vector<uint8_t>{0xF4}));
  EXPECT_EQ(ret->Unit(1).mechtilt, -12);

  // A mechanical tilt beyond one byte is stored cut by the device: the
  // read-back shows it.
  data.mechtilt = 200;
  const char tilt[] = {0x26, 0};
  EXPECT_EQ(ret->SetDeviceData(1, tilt, data), 30);
  EXPECT_EQ(ret->Unit(1).mechtilt, -56);
}

TEST_F(RetSim, FieldThatReadsBackDifferentlyGivesThirty) {
  Site(kRet3);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  Ald(1).alteredField = 0x24;
  DeviceData data = Filled();
  const char fields[] = {0x24, 0};
  EXPECT_EQ(ret->SetDeviceData(2, fields, data), 30);
  // The subunit holds what the device really stores.
  EXPECT_EQ(std::string(ret->Unit(2).sectorid), "SECTOR-C");
  EXPECT_EQ(std::string(ret->Unit(1).sectorid), "");

  // The loop goes on after a failure, but the failure is what the caller
  // hears: a later field's success does not hide it.
  const char two[] = {0x24, 0x25, 0};
  Trace trace;
  EXPECT_EQ(ret->SetDeviceData(2, two, data), 30);
  const std::string out = trace.Take();
  EXPECT_NE(out.find("SetDeviceData result: 0x1e\nRETDevice::SetDeviceData(ep)"),
            std::string::npos);
  EXPECT_EQ(ret->Unit(2).bearing, 2705);
  const char last[] = {0x25, 0x24, 0};
  EXPECT_EQ(ret->SetDeviceData(2, last, data), 30);
}

TEST_F(RetSim, RefusedFieldBeforeAWrittenOneGivesTheRefusal) {
  Site(kRet2);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  DeviceData data = Filled();
  data.antmaxtilt = 100;
  std::strcpy(data.sectorid, "SECX");
  // The device refuses the tilt range as read only; the sector ID after it
  // is still written.
  const char fields[] = {0x06, 0x24, 0};
  Trace trace;
  EXPECT_EQ(ret->SetDeviceData(1, fields, data), ald::rc::aisg2::kReadOnly);
  const std::string out = trace.Take();
  EXPECT_EQ(Count(out, "SetDeviceData result:"), 2);
  EXPECT_NE(out.find("SetDeviceData result: 0x00\n"), std::string::npos);
  EXPECT_EQ(Stored(Ald(1), 1, 0x24), ald::sim::TextValue("SECX", 32));
  EXPECT_EQ(std::string(ret->Unit(1).sectorid), "SECX");
  // The reason code kept is the refusal's, not the later success's.
  ASSERT_GE(ret->GetErrorCodes().GetLength(), 1u);
  EXPECT_EQ(static_cast<unsigned char>(ret->GetErrorCodes()[0]), ald::rc::aisg2::kReadOnly);

  // A refusal that comes last is reported too, and a list whose fields all
  // succeed still gives 0.
  const char refusedLast[] = {0x24, 0x06, 0};
  EXPECT_EQ(ret->SetDeviceData(1, refusedLast, data), ald::rc::aisg2::kReadOnly);
  const char good[] = {0x24, 0x25, 0};
  EXPECT_EQ(ret->SetDeviceData(1, good, data), 0);
  EXPECT_EQ(ret->GetErrorCodes().GetLength(), 0u);
}

TEST_F(RetSim, WriteRefusedAsBusyIsTakenOnItsSecondAttempt) {
  Site(kRet2);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  DeviceData data = Filled();
  // The device refuses the first I-frame of the write as busy; the second
  // attempt must carry the same send number, or the device rejects every
  // frame after it.
  Ald(1).faults.rnrInfoFrames = 1;
  const char fields[] = {0x24, 0x25, 0};
  Trace trace;
  EXPECT_EQ(ret->SetDeviceData(1, fields, data), 0);
  EXPECT_NE(trace.Take().find("not acknowledged"), std::string::npos);
  EXPECT_EQ(Stored(Ald(1), 1, 0x24), ald::sim::TextValue("SECTOR-B", 32));
  EXPECT_EQ(ret->Unit(1).bearing, 2705);
}

TEST_F(RetSim, UnknownEmptyReadOnlyAndOverlongFieldLists) {
  Site(kRet2);
  auto ret = Make(1);
  DeviceData data = Filled();

  const char unknown[] = {0x01, 0x30, 0};
  Trace trace;
  EXPECT_EQ(ret->SetDeviceData(1, unknown, data), 0);
  EXPECT_NE(trace.Take().find("Unknown parameter for SetDeviceData: 0x30\n"), std::string::npos);
  EXPECT_EQ(Stored(Ald(1), 1, 0x01), ald::sim::TextValue("NEW-MODEL-15CH", 15));

  EXPECT_EQ(ret->SetDeviceData(1, "", data), 89);
  EXPECT_EQ(ret->SetDeviceData(2, unknown, data), 36);

  // The tilt range belongs to the device: it refuses with "read only".
  const char range[] = {0x06, 0};
  EXPECT_EQ(ret->SetDeviceData(1, range, data), ald::rc::aisg2::kReadOnly);

  // 40 identifiers without end: only 30 are taken.
  std::string many(40, '\x25');
  many.push_back(0);
  const int before = Ald(1).messages;
  Trace trace2;
  EXPECT_EQ(ret->SetDeviceData(1, many.c_str(), data), 0);
  const std::string out = trace2.Take();
  EXPECT_NE(out.find("SetDeviceData's data may not be null terminated!\n"), std::string::npos);
  EXPECT_EQ(Count(out, "SetDeviceData result:"), 30);
  EXPECT_EQ(Ald(1).messages - before, 60);  // a write and a read-back each
}

TEST_F(RetSim, BandWriteKeepsTheExtensionFlagsAndExtensionsAreRead) {
  Site(R"(
[device]
generation = 2
type = 1
vendor = KA
serial = BANDS
[subunit 1]
band = 0x4008
band-ext08 = 0x0104
band-ext09 = 0x0200
)");
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  // Field 0x08 is announced, 0x09 is not: only 0x08 is read.
  EXPECT_EQ(ret->Unit(1).antband[1], 0x40);
  EXPECT_EQ(ret->Unit(1).antband[2], 0x04);
  EXPECT_EQ(ret->Unit(1).antband[3], 0x01);
  EXPECT_EQ(ret->Unit(1).antband[4], 0);

  DeviceData data{};
  data.antband[0] = 0x20;
  data.antband[1] = 0x80;  // the caller cannot switch the announcements
  const char band[] = {0x03, 0};
  EXPECT_EQ(ret->SetDeviceData(1, band, data), 0);
  EXPECT_EQ(Stored(Ald(1), 1, 0x03), (std::vector<uint8_t>{0x20, 0x40}));
  EXPECT_EQ(ret->Unit(1).antband[0], 0x20);
  EXPECT_EQ(ret->Unit(1).antband[1], 0x40);
}

TEST_F(RetSim, DeviceDataWithoutALinkOrWithoutAKnownType) {
  Site(kRet2);
  auto ret = Make(1);
  ASSERT_EQ(ret->Refresh(), 0);
  Ald(1).faults.silent = true;
  DeviceData data{};
  std::memset(&data, 0x7F, sizeof data);
  // A refreshed device still answers from its cache.
  EXPECT_EQ(ret->GetDeviceData(1, data, 0), 0);
  EXPECT_STREQ(data.antmodel, "AM-2000");
  EXPECT_EQ(ret->GetDeviceData(1, data, 1), 89);
  EXPECT_STREQ(data.antmodel, "AM-2000");
  const char fields[] = {0x01, 0};
  EXPECT_EQ(ret->SetDeviceData(1, fields, data), 89);

  // A device type that is no RET: no device data operations.
  Ald(1).faults.silent = false;
  TestRet odd(5, 2, 1, Ald(1).uniqueId.data(), static_cast<int>(Ald(1).uniqueId.size()));
  EXPECT_EQ(odd.GetDeviceType(), 0);
  EXPECT_EQ(odd.GetDeviceData(1, data, 1), 11);
  EXPECT_EQ(odd.SetDeviceData(1, fields, data), 11);
  EXPECT_EQ(odd.SetTilt(1, 10), 89);
}

}  // namespace
}  // namespace rettest
