// The device database file: a registry of RET and TMA devices of both
// generations written and loaded back unchanged, the exact field lines, and
// the choice between the working and the master copy.
#include <string>

using namespace std::string_literals;

#include "tests/devices/db_test_util.h"

namespace dbtest {
namespace {

std::string Id(const std::string& vendor, const std::string& serial) {
  return vendor + std::string(19 - 2 - serial.size(), '\0') + serial;
}

// Four devices: an AISG 1 RET, a three-antenna AISG 2 RET, an AISG 1 TMA
// and a two-unit AISG 2 TMA, with values at the edges of their encodings.
void FillRegistry() {
  auto ret1 = std::make_unique<Ret>();
  ret1->Identity(1, 1, 3, Id("KA", "R1001"), "R1001", AISGDevice::kStateOk);
  ret1->Units(1);
  RETSubunit& r = ret1->Unit(1);
  r.antmodel = ald::HString("AX-65 18V");
  r.antsn = ald::HString("");
  r.antband[0] = 0x81;
  r.antband[5] = 0xFF;
  r.antbeam[3] = 0x0A;
  r.antgain[1] = 0x9C;
  r.antmaxtilt = 120;
  r.antmintilt = -20;
  r.bearing = 40000;  // above the int16 range: written unsigned
  r.mechtilt = -15;
  r.curtilt = 65;
  r.insdate = ald::HString("260114");
  r.sectorid = ald::HString("SEC A1");

  auto ret2 = std::make_unique<Ret>();
  // A unique ID holding a line feed and a blank among its raw bytes.
  ret2->Identity(17, 2, 12, std::string("KB\n 0\0\0MR4401203977", 19), "MR4401203977",
                 AISGDevice::kStateBadResponding);
  ret2->Units(3);
  ret2->Unit(1).status = 1;
  ret2->Unit(1).alarm = ald::HString("\x52\x10");
  ret2->Unit(1).curtilt = 0;
  ret2->Unit(2).curtilt = RETDevice::kNoTilt;
  ret2->Unit(3).baseid = ald::HString("ENB-4711-NORTH");

  auto tma1 = std::make_unique<Tma>();
  tma1->Identity(2, 1, 20, Id("PW", "TM1107"), "TM1107", AISGDevice::kStateNew);
  tma1->Units(1);
  TMASubunit& t = tma1->Unit(1);
  t.function = 1;
  t.tmatype = 1;
  t.rxband[0] = 0x01;
  t.rxband[3] = 0xFE;
  t.txband[2] = 0x33;
  t.maxgain = 48;
  t.mingain = 16;
  t.resolution = 2;
  t.status = 1;
  t.alarm = ald::HString("\x51");

  auto tma2 = std::make_unique<Tma>();
  tma2->Identity(16, 2, 21, Id("CC", "TD2409"), "TD2409", AISGDevice::kStateOk);
  tma2->Units(2);
  TMASubunit& u = tma2->Unit(2);
  u.nlgain[0] = 3;
  u.nlgain[1] = 0x00;
  u.nlgain[2] = 0x04;
  u.nlgain[3] = 0x08;
  u.mode = 1;
  u.curgain = 40;
  u.mechtilt = -10;
  u.antmodel = ald::HString("TMA-DD-1821");

  for (AISGDevice* d :
       {static_cast<AISGDevice*>(ret1.release()), static_cast<AISGDevice*>(ret2.release()),
        static_cast<AISGDevice*>(tma1.release()), static_cast<AISGDevice*>(tma2.release())}) {
    ASSERT_EQ(Registry::AddDevice(d), 0);
  }
}

TEST_F(DbTest, RegistryOfBothClassesAndGenerationsLoadsBackUnchanged) {
  FillRegistry();
  Registry::SetDBVersion(7);
  ASSERT_EQ(AISGDevice::WriteDevices(Working().c_str()), 0);
  const std::string written = Get(Working());
  Registry::SetDBVersion(1);

  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 4);
  EXPECT_EQ(AISGDevice::GetDBVersion(), 7);
  EXPECT_TRUE(Traced("dbver=7, devcount=4\n"));
  EXPECT_FALSE(Traced("Unknown field name"));
  EXPECT_FALSE(Traced("Field seq error"));

  // What was loaded writes the same file again, byte for byte.
  const std::string again = root + "/again.dat";
  ASSERT_EQ(AISGDevice::WriteDevices(again.c_str()), 0);
  EXPECT_EQ(Get(again), written);

  // Classes, order and members as stored.
  ASSERT_NE(RetUnit(0, 1), nullptr);
  ASSERT_NE(RetUnit(1, 3), nullptr);
  ASSERT_NE(TmaUnit(2, 1), nullptr);
  ASSERT_NE(TmaUnit(3, 2), nullptr);
  EXPECT_EQ(At(1)->GetUniqueIDSize(), 19);
  EXPECT_EQ(std::string(At(1)->GetUniqueIDBytes(), 19), std::string("KB\n 0\0\0MR4401203977", 19));
  EXPECT_EQ(At(1)->GetState(), AISGDevice::kStateBadResponding);
  EXPECT_EQ(At(3)->GetDeviceType(), 16);
  EXPECT_EQ(At(2)->GetAISGVersion(), 1);
  EXPECT_EQ(At(0)->GetAddress(), 3);
  EXPECT_EQ(At(0)->GetNumberOfSubunits(), 1);
  EXPECT_EQ(At(1)->GetNumberOfSubunits(), 3);
  EXPECT_EQ(RetUnit(0, 1)->bearing, 40000);
  EXPECT_EQ(RetUnit(0, 1)->antmintilt, -20);
  EXPECT_STREQ(RetUnit(0, 1)->antmodel, "AX-65 18V");
  EXPECT_EQ(RetUnit(1, 2)->curtilt, RETDevice::kNoTilt);
  EXPECT_STREQ(RetUnit(1, 1)->alarm, "\x52\x10");
  EXPECT_EQ(TmaUnit(3, 2)->nlgain[0], 3);
  EXPECT_EQ(TmaUnit(3, 2)->nlgain[3], 0x08);
  EXPECT_EQ(TmaUnit(3, 2)->mode, 1);
  EXPECT_EQ(TmaUnit(3, 1)->mode, -1);
  EXPECT_EQ(TmaUnit(2, 1)->function, 1);
  EXPECT_EQ(TmaUnit(2, 1)->rxband[3], 0xFE);
  EXPECT_EQ(At(1)->Get3GPPVersion(), 0);

  // A device stored as answering gives its cached tilt without the bus.
  int tilt = 0;
  auto* ret = dynamic_cast<RETDevice*>(At(0));
  ::testing::internal::CaptureStdout();
  const int r = ret->GetTilt(1, tilt, 0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(r, 0);
  EXPECT_EQ(tilt, 65);
}

TEST_F(DbTest, FieldLinesCarryTheirExactLabelsAndEncodings) {
  FillRegistry();
  ASSERT_EQ(AISGDevice::WriteDevices(Working().c_str()), 0);
  const std::string f = Get(Working());
  EXPECT_EQ(f.rfind("dbver = ", 0), 0u);
  for (const std::string& expected :
       {"\ndevcount = 4\nRETDevice\n{\n1  devtype = 1\n2  aisgver = 1\n3  address = 3\n"s,
        "\n4  uidsize = 19\n5  uid = KA\0\0\0\0\0\0\0\0\0\0\0\0R1001\n6  vendorid = KA\n"
        "7  productnumber = PN 1-2\n8  sn = R1001\n9  hwver = HW 3.1\n10 swver = 2.04.11\n"
        "11 subunitcount = 1\n19 state = 5\nRETSubunit\n{\n1  antnumber = 1\n"
        "2  antmodel = AX-65 18V\n3  antsn = \n4  antband = 8100000000ff\n"
        "5  antbeam = 0000000a00000000\n6  antgain = 009c0000\n7  antmaxtilt = 120\n"
        "8  antmintilt = -20\n9  insdate = 260114\n10 insid = \n11 baseid = \n"
        "12 sectorid = SEC A1\n13 bearing = 40000\n14 mechtilt = -15\n21 status = 0\n"
        "22 alarm = \n23 curtilt = 65\n}\n}\n"s,
        "\n21 status = 1\n22 alarm = 5210\n23 curtilt = 0\n}\n"s,
        "\nTMASubunit\n{\n1  antnumber = 1\n2  antmodel = \n3  antsn = \n"
        "4  antband = 000000000000\n5  antbeam = 0000000000000000\n6  antgain = 00000000\n"
        "9  insdate = \n10 insid = \n11 baseid = \n12 sectorid = \n13 bearing = 0\n"
        "14 mechtilt = 0\n15 tmatype = 1\n16 rxband = 010000fe\n17 txband = 00003300\n"
        "18 maxgain = 48\n19 mingain = 16\n20 resolution = 2\n21 nlgain = 00\n"
        "22 status = 1\n23 alarm = 51\n24 function = 1\n25 mode = -1\n26 curgain = -1\n}\n}\n"s,
        "\n21 nlgain = 03000408\n"s, "\n25 mode = 1\n26 curgain = 40\n}\n}\n"s}) {
    EXPECT_NE(f.find(expected), std::string::npos) << expected;
  }
}

TEST_F(DbTest, OnlyDevicesWithABlockOfTheirOwnAreWritten) {
  FillRegistry();
  // A plain device object has no class tag a reader would know.
  ASSERT_EQ(Registry::AddDevice(new AISGDevice(1, 2, 30, "XY000", 5)), 0);
  ASSERT_EQ(AISGDevice::WriteDevices(Working().c_str()), 0);
  EXPECT_NE(Get(Working()).find("devcount = 4\n"), std::string::npos);
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 4);
  EXPECT_TRUE(Traced("Delete 5 old device objects ok!\n"));
  // A folder that does not exist cannot take the file.
  EXPECT_EQ(AISGDevice::WriteDevices((root + "/none/devices.dat").c_str()), -1);
  EXPECT_EQ(AISGDevice::WriteDevices(nullptr), -1);
}

TEST_F(DbTest, WorkingCopyIsPreferredAndMasterCopyIsCopiedWhenItIsMissing) {
  FillRegistry();
  ASSERT_EQ(AISGDevice::WriteDevices(Master().c_str()), 0);
  const std::string master = Get(Master());
  Registry::Clear();

  // Only the master copy: read, and copied to the working folder.
  ASSERT_EQ(Load(), 0);
  EXPECT_TRUE(Traced("Can't find devices.dat in tmp dir!\n"));
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 4);
  EXPECT_EQ(Get(Working()), master);

  // A working copy of its own is read without touching the master copy.
  Put(Working(), "dbver = 2\ndevcount = 1\n" + master.substr(master.find("TMADevice")));
  ASSERT_EQ(Load(), 0);
  EXPECT_FALSE(Traced("Can't find"));
  EXPECT_TRUE(Traced("dbver=2, devcount=1\n"));
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 1);
  EXPECT_EQ(At(0)->GetDeviceType(), 2);
  EXPECT_EQ(Get(Master()), master);
}

TEST_F(DbTest, NeitherCopyEmptiesTheRegistryAndFails) {
  FillRegistry();
  EXPECT_EQ(Load(), -1);
  EXPECT_TRUE(Traced("Delete 4 old device objects ok!\n"));
  EXPECT_TRUE(Traced("Can't find devices.dat in tmp dir!\nOpen file " + Master() + " failed\n"));
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 0);
  EXPECT_FALSE(std::filesystem::exists(Working()));
}

TEST_F(DbTest, MasterCopyWithoutAWorkingFolderIsStillRead) {
  FillRegistry();
  ASSERT_EQ(AISGDevice::WriteDevices(Master().c_str()), 0);
  std::filesystem::remove_all(root + "/tmp");
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 4);
}

TEST(DbPlaces, DefaultFoldersAndTheEnvironmentVariable) {
  unsetenv("ALDLINK_DBDIR");
  EXPECT_EQ(ald::DeviceDbWorkingDir(), "/mirelk/tmp/");
  EXPECT_EQ(ald::DeviceDbMasterDir(), "/mirelk/data/");
  setenv("ALDLINK_DBDIR", "", 1);
  EXPECT_EQ(ald::DeviceDbWorkingDir(), "/mirelk/tmp/");
  setenv("ALDLINK_DBDIR", "/srv/ald//", 1);
  EXPECT_EQ(ald::DeviceDbWorkingDir(), "/srv/ald/tmp/");
  EXPECT_EQ(ald::DeviceDbMasterDir(), "/srv/ald/data/");
  setenv("ALDLINK_DBDIR", "/", 1);
  EXPECT_EQ(ald::DeviceDbMasterDir(), "/data/");
  unsetenv("ALDLINK_DBDIR");
}

}  // namespace
}  // namespace dbtest
