// RET summary record and listing: SNMPRETData field by field, values cut to
// their fields, change detection on the chosen fields only, the list of
// registered RETs, and objects of a type that is no RET.
#include <cstring>
#include <string>

#include "tests/devices/ret_fixture.h"

namespace rettest {
namespace {

TEST_F(RetSim, SummaryRecordHoldsTheRefreshedValues) {
  Site(std::string(kRet2) + "alarms = 0x10 0x11 0x12 0x13 0x14 0x15\n");
  auto ret = Make(1);
  SNMPRETData r;
  std::memset(&r, 0x7F, sizeof r);
  EXPECT_EQ(ret->GetSNMPRETData(1, r), 81);  // new
  EXPECT_STREQ(r.curtilt, "");
  EXPECT_STREQ(r.alarm, "51");
  EXPECT_STREQ(r.status, "1");
  EXPECT_STREQ(r.version3gpp, "");

  ASSERT_EQ(ret->Refresh(), 0);
  Trace trace;
  EXPECT_EQ(ret->GetSNMPRETData(1, r), 0);
  EXPECT_EQ(trace.Take(), "RETDevice::GetSNMPRETData(1)\n");
  EXPECT_STREQ(r.address, "1");
  EXPECT_STREQ(r.antnumber, "1");
  EXPECT_STREQ(r.devtype, "01");
  EXPECT_STREQ(r.aisgver, "2");
  EXPECT_STREQ(r.version3gpp, "9");
  EXPECT_EQ(std::string(r.uniqueid), "KA2RET0001");
  EXPECT_STREQ(r.vendorid, "KA");
  EXPECT_STREQ(r.productnumber, "RET-2A");
  EXPECT_STREQ(r.sn, "2RET0001");
  EXPECT_STREQ(r.hwver, "H2");
  EXPECT_STREQ(r.swver, "2.1.0");
  EXPECT_STREQ(r.antmodel, "AM-2000");
  EXPECT_STREQ(r.antsn, "AS2000-1");
  EXPECT_STREQ(r.antband, "0028");
  EXPECT_STREQ(r.antbeam, "410040003f003e00");
  EXPECT_STREQ(r.antgain, "afb4b9be");
  EXPECT_STREQ(r.antmaxtilt, "100");
  EXPECT_STREQ(r.antmintilt, "0");
  EXPECT_STREQ(r.insdate, "260101");
  EXPECT_STREQ(r.insid, "INST1");
  EXPECT_STREQ(r.baseid, "SITE-0001");
  EXPECT_STREQ(r.sectorid, "SECTOR-A");
  EXPECT_STREQ(r.bearing, "1200");
  EXPECT_STREQ(r.mechtilt, "20");
  EXPECT_STREQ(r.status, "1");
  EXPECT_STREQ(r.alarm, "1011121314");  // the first five codes
  EXPECT_STREQ(r.curtilt, "30");
  EXPECT_EQ(ret->GetSNMPRETData(2, r), 36);

  // A multi-antenna RET reports its type in hex.
  Site(kRet3);
  auto multi = Make(1);
  EXPECT_EQ(multi->GetSNMPRETData(3, r), 81);
  EXPECT_STREQ(r.devtype, "11");
  EXPECT_STREQ(r.antnumber, "3");
}

TEST_F(RetSim, SummaryValuesAreCutToTheirFields) {
  Site(kRet2);
  auto ret = Make(1);
  RETSubunit& s = ret->Unit(1);
  s.antmodel = ald::HString("MODEL-NUMBER-LONGER-THAN-FIFTEEN");
  s.sectorid = ald::HString(std::string(40, 'S').c_str());
  s.curtilt = -32768;
  s.antmaxtilt = -32768;
  SNMPRETData r;
  std::memset(&r, 0x7F, sizeof r);
  ret->GetSNMPRETData(1, r);
  EXPECT_STREQ(r.antmodel, "MODEL-NUMBER-LO");
  EXPECT_EQ(std::string(r.sectorid), std::string(32, 'S'));
  EXPECT_STREQ(r.curtilt, "-32768");
  EXPECT_STREQ(r.antmaxtilt, "-327");
  // Every field is terminated within its width.
  EXPECT_EQ(r.antsn[0], 0);
  EXPECT_EQ(r.mechtilt[1], 0);
}

TEST_F(RetSim, ChangeDetectionLooksAtTheChosenFieldsOnly) {
  Site(kRet2);
  auto ret = Make(1);
  SNMPRETData a{};
  SNMPRETData b{};
  ret->GetSNMPRETData(1, a);
  ret->GetSNMPRETData(1, b);
  EXPECT_EQ(ret->CheckDataChange(a, b), 0);
  std::strcpy(b.alarm, "10");
  std::strcpy(b.status, "1");
  std::strcpy(b.antbeam, "ffff");
  std::strcpy(b.productnumber, "OTHER");
  EXPECT_EQ(ret->CheckDataChange(a, b), 0);
  for (char* field : {b.address, b.sn, b.swver, b.antmodel, b.antsn, b.sectorid, b.bearing,
                      b.mechtilt, b.curtilt}) {
    SNMPRETData c = b;
    char* same = reinterpret_cast<char*>(&c) + (field - reinterpret_cast<char*>(&b));
    same[0] = same[0] == 'X' ? 'Y' : 'X';
    EXPECT_EQ(ret->CheckDataChange(b, c), 1) << field - reinterpret_cast<char*>(&b);
  }
}

TEST_F(RetSim, ListOfRegisteredRets) {
  char out[300];
  std::memset(out, 'x', sizeof out);
  RETDevice::GetRETAddressInfo(out);
  EXPECT_STREQ(out, "");

  TestRet::Register(TestRet::Loaded(3, 1));
  TestRet::Register(new AISGDevice(2, 2, 5, "CCTMA", 5));  // not a RET
  TestRet::Register(TestRet::Loaded(7, 2));
  RETDevice::GetRETAddressInfo(out);
  EXPECT_STREQ(out, "(3,1),(7,2)");

  // A full registry of RETs with three-digit addresses: cut at 255.
  TestRet::ClearRegistry();
  for (int i = 0; i < AISGDevice::kMaxDevices; ++i)
    TestRet::Register(TestRet::Loaded(100000 + i, 16));
  std::memset(out, 'x', sizeof out);
  RETDevice::GetRETAddressInfo(out);
  EXPECT_EQ(std::strlen(out), 255u);
  EXPECT_EQ(std::string(out).substr(0, 22), "(100000,16),(100001,16");
}

TEST_F(RetSim, UnknownTypeKeepsOneSubunitAndTypeZero) {
  Site(kRet2);
  Trace trace;
  TestRet odd(0x20, 2, 1, "KA1", 3);
  EXPECT_NE(trace.Take().find("Unknown device type for creating RET device: 0x20"),
            std::string::npos);
  EXPECT_EQ(odd.GetDeviceType(), 0);
  EXPECT_EQ(odd.GetNumberOfSubunits(), 1);
  EXPECT_EQ(Alarms(odd.Unit(1)), "\x51");
  EXPECT_EQ(odd.Calibrate(1), 89);
  int tilt = 5;
  EXPECT_EQ(odd.GetTilt(1, tilt, 1), 89);
  EXPECT_EQ(tilt, 5);

  // An object made for loading has nothing yet.
  RETDevice empty;
  EXPECT_EQ(empty.GetNumberOfSubunits(), 0);
  EXPECT_EQ(empty.GetSubunit(1), nullptr);
  unsigned char buffer[8] = {0x55};
  EXPECT_EQ(empty.GetAlarmStatus(buffer), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(empty.IsDataChanged(1), 0);
}

}  // namespace
}  // namespace rettest
