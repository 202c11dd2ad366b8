// Damaged database files: counts beyond the limits, unknown tags and
// fields, over-long lines, broken hex values, short unique IDs and files
// cut short anywhere. Each loads what it can and registers only devices the
// file described completely.
#include <sstream>
#include <string>
#include <vector>

#include "tests/devices/db_test_util.h"

using namespace std::string_literals;

namespace dbtest {
namespace {

std::string Base(int type, int generation, int address, int subunits, int state = 5,
                 const std::string& uid = "KA00000000000000001") {
  return "1  devtype = " + std::to_string(type) + "\n2  aisgver = " + std::to_string(generation) +
         "\n3  address = " + std::to_string(address) +
         "\n4  uidsize = " + std::to_string(uid.size()) + "\n5  uid = " + uid +
         "\n6  vendorid = KA\n7  productnumber = P\n8  sn = 1\n9  hwver = H\n10 swver = S\n"
         "11 subunitcount = " +
         std::to_string(subunits) + "\n19 state = " + std::to_string(state) + "\n";
}

std::string RetUnitBlock(int number, const std::string& extra = "", int tilt = 30) {
  return "RETSubunit\n{\n1  antnumber = " + std::to_string(number) + "\n" + extra +
         "21 status = 0\n22 alarm = \n23 curtilt = " + std::to_string(tilt) + "\n}\n";
}

std::string Ret(int address, int subunits, int blocks) {
  std::string s = "RETDevice\n{\n" + Base(17, 2, address, subunits);
  for (int i = 1; i <= blocks; ++i) s += RetUnitBlock(i, "", i * 10);
  return s + "}\n";
}

std::string Tma(int address, const std::string& fields) {
  return "TMADevice\n{\n" + Base(16, 2, address, 1) + "TMASubunit\n{\n1  antnumber = 1\n" + fields +
         "26 curgain = 44\n}\n}\n";
}

std::string File(int count, const std::string& blocks) {
  return "dbver = 3\ndevcount = " + std::to_string(count) + "\n" + blocks;
}

TEST_F(DbTest, CountsAboveTheLimitsAreCut) {
  // 30 announced and present: 24 objects.
  std::string blocks;
  for (int i = 1; i <= 30; ++i) blocks += Ret(i, 1, 1);
  Put(Working(), File(30, blocks));
  ASSERT_EQ(Load(), 0);
  EXPECT_TRUE(Traced("dbver=3, devcount=30\n"));
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 24);
  EXPECT_EQ(At(23)->GetAddress(), 24);

  // 30 announced, 2 present: 2 objects, the end of the file noted.
  Put(Working(), File(30, Ret(1, 1, 1) + Ret(2, 1, 1)));
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 2);
  EXPECT_TRUE(Traced("Delete 24 old device objects ok!\n"));
  EXPECT_TRUE(Traced("File ends after 2 of 24 devices\n"));

  // 20 subunits announced: 16 read, whether 16 or 20 blocks follow, and the
  // device behind the longer one still loads.
  Put(Working(), File(3, Ret(1, 20, 16) + Ret(2, 20, 20) + Ret(3, 2, 2)));
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 3);
  for (int d = 0; d < 2; ++d) {
    EXPECT_EQ(At(d)->GetNumberOfSubunits(), 16);
    ASSERT_NE(RetUnit(d, 16), nullptr);
    EXPECT_EQ(RetUnit(d, 16)->antnumber, 16);
    EXPECT_EQ(RetUnit(d, 16)->curtilt, 160);
  }
  EXPECT_EQ(At(2)->GetAddress(), 3);
  EXPECT_EQ(RetUnit(2, 2)->curtilt, 20);
  EXPECT_FALSE(Traced("Field seq error:RETSubunit, not RETSubunit"));
}

TEST_F(DbTest, CrlfLineEndsAreNotPartOfTheValues) {
  std::string lf = File(2, Ret(4, 1, 1) + Tma(6, "2  antmodel = MODEL 7\n"));
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? "\r\n"s : std::string(1, c);
  Put(Working(), crlf);
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 2);
  for (int d = 0; d < 2; ++d) {
    EXPECT_EQ(std::string(At(d)->GetVendorID()), "KA");
    EXPECT_EQ(std::string(At(d)->GetSerialNumber()), "1");
    EXPECT_EQ(At(d)->GetUniqueIDSize(), 19);
    EXPECT_EQ(std::string(At(d)->GetUniqueIDBytes(), 19), "KA00000000000000001");
  }
  char id[64] = {};
  At(0)->GetUniqueID(id);
  EXPECT_STREQ(id, "KA1");
  EXPECT_NE(AISGDevice::FindDevice(id), nullptr);
  EXPECT_EQ(TmaUnit(1, 1)->antmodel, ald::HString("MODEL 7"));
  EXPECT_EQ(TmaUnit(1, 1)->curgain, 44);
  // Written back, the file holds no carriage return.
  ASSERT_EQ(AISGDevice::WriteDevices(Working().c_str()), 0);
  EXPECT_EQ(Get(Working()).find('\r'), std::string::npos);

  // A unique ID whose last raw byte is a carriage return keeps it.
  Put(Working(), File(1, "RETDevice\n{\n" + Base(17, 2, 3, 1, 5, "KA0000000000000001\r") +
                             RetUnitBlock(1) + "}\n"));
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 1);
  EXPECT_EQ(std::string(At(0)->GetUniqueIDBytes(), 19), "KA0000000000000001\r");
}

TEST_F(DbTest, UnknownTagsAndFieldsAreSkippedWithATrace) {
  const std::string odd = "FooDevice\n{\n1  devtype = 1\nRETSubunit\n{\n}\n}\n";
  const std::string ret = "RETDevice\n{\n" + Base(1, 1, 5, 1) +
                          "TMASubunit\n{\n1  antnumber = 1\n30 colour = red\n"
                          "22 alarm = 5110\n23 curtilt = 45\n}\n}\n";
  const std::string tma = Tma(6,
                              "7  antmaxtilt = 100\n8  antmintilt = 0\n99 future = x\n"
                              "21 nlgain = 03000408\n25 mode = 1\n");
  // An unknown base field before the state, which still counts.
  std::string extra = "RETDevice\n{\n" + Base(1, 2, 7, 1, 2);
  extra.insert(extra.find("19 state"), "15 colour = blue\n");
  extra += RetUnitBlock(1) + "}\n";
  Put(Working(), File(4, odd + ret + tma + extra));

  ASSERT_EQ(Load(), 0);
  EXPECT_TRUE(Traced("Unknow device type:FooDevice\n"));
  EXPECT_TRUE(Traced("Field seq error:TMASubunit, not RETSubunit header!\n"));
  EXPECT_TRUE(Traced("Unknown field name:[colour]\n"));
  EXPECT_TRUE(Traced("Unknown field name:[antmaxtilt]\n"));
  EXPECT_TRUE(Traced("Unknown field name:[antmintilt]\n"));
  EXPECT_TRUE(Traced("Unknown field name:[future]\n"));
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 3);
  EXPECT_EQ(At(0)->GetAddress(), 5);
  EXPECT_STREQ(RetUnit(0, 1)->alarm, "\x51\x10");
  EXPECT_EQ(RetUnit(0, 1)->curtilt, 45);
  EXPECT_EQ(TmaUnit(1, 1)->nlgain[0], 3);
  EXPECT_EQ(TmaUnit(1, 1)->nlgain[3], 8);
  EXPECT_EQ(TmaUnit(1, 1)->mode, 1);
  EXPECT_EQ(TmaUnit(1, 1)->curgain, 44);
  EXPECT_EQ(At(2)->GetState(), 2);
}

TEST_F(DbTest, BrokenHexValuesKeepWhatIsWholeAndNeverOverrun) {
  std::string gains = "ff";  // claims 255 values, gives 80
  for (int i = 0; i < 80; ++i) gains += "0a";
  const std::string ret =
      "RETDevice\n{\n" + Base(1, 2, 1, 4) + RetUnitBlock(1, "4  antband = 0102\n") +
      RetUnitBlock(2, "5  antbeam = 01zz03040506070809\n") +
      RetUnitBlock(3, "6  antgain = 123456789\n") + "RETSubunit\n{\n22 alarm = 51101\n}\n}\n";
  const std::string tma =
      Tma(2, "16 rxband = 0A0b0C0d\n17 txband = 12 34\n21 nlgain = " + gains + "\n23 alarm = 5\n");
  const std::string tma2 = Tma(3, "21 nlgain = 0501\n23 alarm = 52x1\n");
  Put(Working(), File(3, ret + tma + tma2));

  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 3);
  EXPECT_TRUE(Traced("Bad value of field:[antband]\n"));
  EXPECT_EQ(RetUnit(0, 1)->antband[0], 0x01);
  EXPECT_EQ(RetUnit(0, 1)->antband[1], 0x02);
  EXPECT_EQ(RetUnit(0, 1)->antband[2], 0x00);
  EXPECT_EQ(RetUnit(0, 2)->antbeam[0], 0x01);
  EXPECT_EQ(RetUnit(0, 2)->antbeam[1], 0x00);  // stops at the first bad pair
  EXPECT_EQ(RetUnit(0, 3)->antgain[3], 0x78);  // the digit beyond the size is extra
  EXPECT_STREQ(RetUnit(0, 4)->alarm, "\x51\x10");
  EXPECT_EQ(RetUnit(0, 4)->curtilt, RETDevice::kNoTilt);  // a block without its closing field
  EXPECT_EQ(TmaUnit(1, 1)->rxband[1], 0x0b);
  EXPECT_EQ(TmaUnit(1, 1)->rxband[2], 0x0c);
  EXPECT_EQ(TmaUnit(1, 1)->txband[0], 0x12);
  EXPECT_EQ(TmaUnit(1, 1)->txband[1], 0x00);
  EXPECT_EQ(TmaUnit(1, 1)->nlgain[0], TMASubunit::kMaxNonLinearGains);
  EXPECT_EQ(TmaUnit(1, 1)->nlgain[TMASubunit::kMaxNonLinearGains], 0x0a);
  EXPECT_STREQ(TmaUnit(1, 1)->alarm, "");  // one digit: no code
  EXPECT_EQ(TmaUnit(2, 1)->nlgain[0], 1);  // claims 5, gives 1
  EXPECT_EQ(TmaUnit(2, 1)->nlgain[1], 1);
  EXPECT_STREQ(TmaUnit(2, 1)->alarm, "\x52");
  EXPECT_TRUE(Traced("Bad value of field:[nlgain]\n"));
  EXPECT_TRUE(Traced("Bad value of field:[alarm]\n"));
}

TEST_F(DbTest, BadNumbersAndOverLongLinesStayInTheirFields) {
  const std::string longText(5000, 'x');
  std::string base = Base(1, 2, 4, 1);
  base.replace(base.find("8  sn = 1"), 9, "8  sn = " + longText);
  const std::string ret = "RETDevice\n{\n" + base +
                          RetUnitBlock(1,
                                       "7  antmaxtilt = 99999\n8  antmintilt = -5x\n"
                                       "13 bearing = -1\n14 mechtilt = 12\n2  antmodel =\n"
                                       "12 sectorid = S\n") +
                          "}\n";
  Put(Working(), File(1, ret));

  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 1);
  EXPECT_TRUE(Traced("Line too long"));
  const size_t kept = At(0)->GetSerialNumber().GetLength();
  EXPECT_GT(kept, 400u);
  EXPECT_LT(kept, 512u);
  EXPECT_EQ(At(0)->GetNumberOfSubunits(), 1);  // the line after the long one
  EXPECT_EQ(At(0)->GetState(), 5);
  const RETSubunit* u = RetUnit(0, 1);
  EXPECT_EQ(u->antmaxtilt, 0);  // out of range for the member: left as new
  EXPECT_EQ(u->antmintilt, 0);
  EXPECT_EQ(u->bearing, 0);
  EXPECT_EQ(u->mechtilt, 12);
  EXPECT_STREQ(u->antmodel, "");
  EXPECT_STREQ(u->sectorid, "S");
  EXPECT_EQ(u->curtilt, 30);
  EXPECT_TRUE(Traced("Bad value of field:[antmaxtilt]\n"));
}

TEST_F(DbTest, OverLongTextsAreCutOnceAndThenWriteBackUnchanged) {
  // Under a short key a text can fill a whole line; under its own, longer
  // label it must still be read back whole, or it shrinks at every load.
  std::string base = Base(1, 2, 4, 1);
  base.replace(base.find("7  productnumber = P"), 20, "7 p = " + std::string(600, 'p'));
  const std::string ret =
      "RETDevice\n{\n" + base + RetUnitBlock(1, "2 m = " + std::string(505, 'm') + "\n") + "}\n";
  Put(Working(), File(1, ret));
  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 1);
  EXPECT_TRUE(Traced("Bad value of field:[p]\n"));
  EXPECT_TRUE(Traced("Bad value of field:[m]\n"));
  const std::string product(At(0)->GetProductNumber());
  EXPECT_GT(product.size(), 400u);
  EXPECT_EQ(product, std::string(product.size(), 'p'));

  const std::string first = root + "/first.dat";
  ASSERT_EQ(AISGDevice::WriteDevices(first.c_str()), 0);
  std::istringstream written(Get(first));
  for (std::string line; std::getline(written, line);) EXPECT_LT(line.size(), 510u);
  Put(Working(), Get(first));
  ASSERT_EQ(Load(), 0);
  EXPECT_FALSE(Traced("Line too long"));
  EXPECT_EQ(std::string(At(0)->GetProductNumber()), product);
  const std::string model(RetUnit(0, 1)->antmodel);
  EXPECT_GT(model.size(), 400u);
  EXPECT_EQ(model, std::string(model.size(), 'm'));
  const std::string second = root + "/second.dat";
  ASSERT_EQ(AISGDevice::WriteDevices(second.c_str()), 0);
  EXPECT_EQ(Get(second), Get(first));
}

TEST_F(DbTest, UniqueIdsShorterOrLongerThanTheirSizeAreBounded) {
  std::string shortUid = "RETDevice\n{\n" + Base(1, 2, 1, 1);
  shortUid.replace(shortUid.find("4  uidsize = 19"), 15, "4  uidsize = 19");
  shortUid.replace(shortUid.find("5  uid = KA00000000000000001"), 28, "5  uid = KA123");
  shortUid += RetUnitBlock(1) + "}\n";
  std::string longSize = "RETDevice\n{\n" + Base(1, 2, 2, 1);
  longSize.replace(longSize.find("4  uidsize = 19"), 15, "4  uidsize = 40");
  longSize.replace(longSize.find("5  uid = "), 9, "5  uid = " + std::string(30, 'Z'));
  longSize += RetUnitBlock(1) + "}\n";
  Put(Working(), File(2, shortUid + longSize));

  ASSERT_EQ(Load(), 0);
  ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 2);
  EXPECT_TRUE(Traced("uid shorter than uidsize: 5 of 19 bytes\n"));
  EXPECT_EQ(At(0)->GetUniqueIDSize(), 5);
  EXPECT_EQ(std::string(At(0)->GetUniqueIDBytes(), 19), "KA123"s + std::string(14, '\0'));
  EXPECT_STREQ(At(0)->GetVendorID(), "KA");  // the line after the short ID is its own
  EXPECT_EQ(At(1)->GetUniqueIDSize(), 19);
  EXPECT_EQ(std::string(At(1)->GetUniqueIDBytes(), 19), std::string(19, 'Z'));
}

TEST_F(DbTest, GarbledHeaderLoadsNothing) {
  Put(Working(), "hello\nworld\n" + Ret(1, 1, 1));
  Registry::SetDBVersion(1);
  ASSERT_EQ(Load(), 0);
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 0);
  EXPECT_EQ(AISGDevice::GetDBVersion(), 1);
  EXPECT_TRUE(Traced("dbver=1, devcount=0\n"));
}

// Every prefix of a valid file: the devices whose closing brace made it
// into the prefix are registered, none other, and nothing is overrun.
TEST_F(DbTest, FileCutAnywhereRegistersOnlyCompleteDevices) {
  const std::string full = File(4, Ret(1, 2, 2) + Tma(2, "21 nlgain = 020102\n23 alarm = 51\n") +
                                       Ret(3, 1, 1) + Tma(4, "25 mode = 0\n"));
  // Offsets of the braces that close a device block.
  std::vector<size_t> ends;
  int depth = 0;
  for (size_t at = 0; at < full.size();) {
    const size_t lf = full.find('\n', at);
    const std::string line = full.substr(at, lf - at);
    if (line == "{") ++depth;
    if (line == "}" && --depth == 0) ends.push_back(at);
    at = lf + 1;
  }
  ASSERT_EQ(ends.size(), 4u);

  for (size_t cut = 0; cut <= full.size(); ++cut) {
    Put(Working(), full.substr(0, cut));
    ASSERT_EQ(Load(), 0) << cut;
    int complete = 0;
    for (size_t e : ends) complete += e < cut ? 1 : 0;
    ASSERT_EQ(AISGDevice::GetNumberOfDevices(), complete) << "cut at " << cut;
    for (int i = 0; i < complete; ++i) ASSERT_EQ(At(i)->GetAddress(), i + 1) << cut;
  }
}

}  // namespace
}  // namespace dbtest
