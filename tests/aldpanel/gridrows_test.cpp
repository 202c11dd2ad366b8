// The grid rows the main window shows, built from hand-made device tables:
// the sort, the number formats, empty fields and entries with unexpected
// texts.
#include "aldpanel/core/gridrows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace aldpanel {
namespace {

void Put(MIRELK_DATA& e, int field, const char* text) {
  std::memset(e.field[field], 0, kMirelkFieldSize);
  std::memcpy(e.field[field], text, strnlen(text, kMirelkFieldSize - 1));
}

MIRELK_DATA Entry(const char* type, const char* address, const char* subunit, const char* sector) {
  MIRELK_DATA e{};
  Put(e, kMdDeviceType, type);
  Put(e, kMdAddress, address);
  Put(e, kMdSubunit, subunit);
  Put(e, kMdSectorId, sector);
  Put(e, kMdVendor, "KA");
  Put(e, kMdAisgVersion, "2");
  return e;
}

GridLookups Plain() {
  GridLookups l;
  l.errorText = [](int code) { return code == 0 ? std::string("OK") : "E" + std::to_string(code); };
  return l;
}

std::vector<std::string> Column(const std::vector<GridRow>& rows, int column) {
  std::vector<std::string> out;
  for (const GridRow& r : rows) out.push_back(r.cells.at(static_cast<size_t>(column)));
  return out;
}

TEST(GridRowsSort, RetBeforeTmaSectorsAsTextEqualSectorsByIndexAsNumber) {
  std::vector<MIRELK_DATA> t;
  t.push_back(Entry("02", "9", "1", "1"));   // 0 TMA
  t.push_back(Entry("11", "3", "1", "2"));   // 1 RET
  t.push_back(Entry("01", "4", "1", "10"));  // 2 RET
  t.push_back(Entry("11", "3", "2", "1"));   // 3 RET
  for (int i = 4; i < 12; ++i) t.push_back(Entry("11", "5", std::to_string(i).c_str(), "S"));
  t.push_back(Entry("10", "8", "1", "0"));  // 12 TMA
  std::vector<int> order = SortedEntryOrder(t.data(), static_cast<int>(t.size()));
  // "1", "10", "2" as texts; the eight entries of sector "S" 4..11 keep the
  // table order although 10 and 11 sort before 9 as texts.
  std::vector<int> expected = {3, 2, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0};
  EXPECT_EQ(order, expected);
}

TEST(GridRowsSort, MoreThanNinetyNineEntriesOfOneKindAllGetRowsInIndexOrder) {
  std::vector<MIRELK_DATA> t;
  for (int i = 0; i < 150; ++i) {
    t.push_back(
        Entry("02", std::to_string(1 + i / 4).c_str(), std::to_string(1 + i % 4).c_str(), "SEC"));
  }
  GridRows rows = BuildGridRows(t.data(), static_cast<int>(t.size()), Plain());
  ASSERT_EQ(rows.tma.size(), 150u);
  for (int i = 0; i < 150; ++i) EXPECT_EQ(rows.tma[static_cast<size_t>(i)].tableIndex, i);
  EXPECT_EQ(rows.tma[149].cells[kTmaAddressColumn], "38");
  EXPECT_EQ(rows.tma[149].subunit, "2");
}

TEST(GridRowsSort, EntriesOfUnknownKindAndEmptyTablesAreLeftOut) {
  std::vector<MIRELK_DATA> t;
  t.push_back(MIRELK_DATA{});  // a device of neither class: all empty
  t.push_back(Entry("zz", "1", "1", "A"));
  t.push_back(Entry("03", "1", "1", "A"));
  t.push_back(Entry("01", "2", "1", "A"));
  EXPECT_EQ(SortedEntryOrder(t.data(), 4), std::vector<int>{3});
  EXPECT_TRUE(SortedEntryOrder(nullptr, 5).empty());
  EXPECT_TRUE(SortedEntryOrder(t.data(), -1).empty());
  GridRows rows = BuildGridRows(t.data(), 4, Plain());
  EXPECT_EQ(rows.ret.size(), 1u);
  EXPECT_TRUE(rows.tma.empty());
}

TEST(GridRowsRet, TiltsTotalStatusAndHiddenColumns) {
  MIRELK_DATA e = Entry("11", "3", "2", "SEC-A");
  Put(e, kMdCurrentTilt, "60");
  Put(e, kMdMechTilt, "-15");
  Put(e, kMdBearing, "300");
  Put(e, kMdDeviceStatus, "0");  // healthy: the library leaves the cause empty
  Put(e, kMdAntennaSerial, "AS1");
  Put(e, kMdRetSerial, "RS1");
  GridLookups l = Plain();
  l.decimalSeparator = ',';
  GridRows rows = BuildGridRows(&e, 1, l);
  ASSERT_EQ(rows.ret.size(), 1u);
  const GridRow& r = rows.ret[0];
  ASSERT_EQ(r.cells.size(), static_cast<size_t>(kRetColumnCount));
  EXPECT_EQ(r.cells[0], "SEC-A");
  EXPECT_EQ(r.cells[1], "300");
  EXPECT_EQ(r.cells[5], "AS1");
  EXPECT_EQ(r.cells[6], "RS1");
  EXPECT_EQ(r.cells[7], "6,0");
  EXPECT_EQ(r.cells[8], "-1,5");
  EXPECT_EQ(r.cells[9], "4,5");
  EXPECT_EQ(r.cells[kRetStatusColumn], "OK");
  EXPECT_TRUE(r.healthy);
  EXPECT_EQ(r.cells[kRetAddressColumn], "3");
  EXPECT_EQ(r.cells[kRetVendorCodeColumn], "KA");
  EXPECT_EQ(r.subunit, "2");
}

TEST(GridRowsRet, EmptyFieldsStayEmptyNeverZero) {
  MIRELK_DATA onlyElec = Entry("01", "1", "1", "A");
  Put(onlyElec, kMdCurrentTilt, "25");
  MIRELK_DATA onlyMech = Entry("01", "2", "1", "B");
  Put(onlyMech, kMdMechTilt, "10");
  Put(onlyMech, kMdDeviceStatusCause, "0E");
  MIRELK_DATA t[2] = {onlyElec, onlyMech};
  GridRows rows = BuildGridRows(t, 2, Plain());
  ASSERT_EQ(rows.ret.size(), 2u);
  EXPECT_EQ(rows.ret[0].cells[7], "2.5");
  EXPECT_EQ(rows.ret[0].cells[8], "");
  EXPECT_EQ(rows.ret[0].cells[9], "");
  EXPECT_EQ(rows.ret[0].cells[kRetStatusColumn], "");  // status never read
  EXPECT_FALSE(rows.ret[0].healthy);
  EXPECT_EQ(rows.ret[1].cells[7], "");
  EXPECT_EQ(rows.ret[1].cells[8], "1.0");
  EXPECT_EQ(rows.ret[1].cells[9], "");
  EXPECT_EQ(rows.ret[1].cells[kRetStatusColumn], "E14");  // hex 0E looked up as 14
  EXPECT_FALSE(rows.ret[1].healthy);
}

TEST(GridRowsTma, GainInQuartersOfADecibelModeAndTheModelSlots) {
  std::vector<MIRELK_DATA> t;
  const char* gains[] = {"-6", "45", "", "x", "48"};
  for (int i = 0; i < 5; ++i) {
    MIRELK_DATA e = Entry("02", "7", std::to_string(i + 1).c_str(), "S");
    Put(e, kMdCurrentGain, gains[i]);
    Put(e, kMdRetModel, "TMA-1");
    Put(e, kMdRetSerial, "TS-1");
    t.push_back(e);
  }
  Put(t[0], kMdMode, "1");
  Put(t[1], kMdMode, "0");
  GridRows rows = BuildGridRows(t.data(), 5, Plain());
  ASSERT_EQ(rows.tma.size(), 5u);
  // 11.25 dB is not cut to 11, nor -1.5 dB to -1; a whole value has no decimals.
  EXPECT_EQ(Column(rows.tma, kTmaGainColumn),
            (std::vector<std::string>{"-1.5", "11.25", "", "", "12"}));
  GridLookups comma = Plain();
  comma.decimalSeparator = ',';
  EXPECT_EQ(BuildGridRows(t.data(), 2, comma).tma[1].cells[kTmaGainColumn], "11,25");
  EXPECT_EQ(Column(rows.tma, 8), (std::vector<std::string>{"Bypass", "Normal", "", "", ""}));
  EXPECT_EQ(rows.tma[0].cells[5], "TMA-1");
  EXPECT_EQ(rows.tma[0].cells[6], "TS-1");
  EXPECT_EQ(rows.tma[0].cells.size(), static_cast<size_t>(kTmaColumnCount));
}

TEST(GridRowsSector, OneBasedOnlyForListedVendorsAndDigitsOnly) {
  EXPECT_EQ(ShownSectorId("0", true), "1");
  EXPECT_EQ(ShownSectorId("009", true), "10");
  EXPECT_EQ(ShownSectorId("A1", true), "A1");
  EXPECT_EQ(ShownSectorId("0", false), "0");
  EXPECT_EQ(ShownSectorId("", true), "");
  // 128 digits: no integer overflow, the digits themselves are counted up.
  std::string nines(kMirelkFieldSize, '9');
  EXPECT_EQ(ShownSectorId(nines, true), "1" + std::string(kMirelkFieldSize, '0'));

  MIRELK_DATA listed = Entry("11", "1", "1", "0");
  MIRELK_DATA other = Entry("11", "2", "1", "0");
  Put(other, kMdVendor, "EM");
  MIRELK_DATA t[2] = {listed, other};
  GridLookups l = Plain();
  l.sectorControl = [](const std::string& v) { return v == "KA" ? 1 : 0; };
  GridRows rows = BuildGridRows(t, 2, l);
  ASSERT_EQ(rows.ret.size(), 2u);
  EXPECT_EQ(rows.ret[0].cells[0], "1");
  EXPECT_EQ(rows.ret[1].cells[0], "0");
}

TEST(GridRowsFields, UnterminatedFieldIsCutAtItsSize) {
  MIRELK_DATA e = Entry("11", "1", "1", "");
  std::memset(e.field[kMdSectorId], 'Q', kMirelkFieldSize);  // no terminating zero
  std::memset(e.field[kMdDeviceStatus], 'Z', kMirelkFieldSize);
  EXPECT_EQ(FieldText(e, kMdSectorId), std::string(kMirelkFieldSize, 'Q'));
  EXPECT_EQ(FieldText(e, -1), "");
  EXPECT_EQ(FieldText(e, kMirelkFieldCount), "");
  GridRows rows = BuildGridRows(&e, 1, Plain());
  ASSERT_EQ(rows.ret.size(), 1u);
  EXPECT_EQ(rows.ret[0].cells[0].size(), static_cast<size_t>(kMirelkFieldSize));
}

TEST(GridRowsBand, BothGenerationsFromTheFieldAndBadDigitsGiveNoBand) {
  MIRELK_DATA good = Entry("11", "1", "1", "A");
  Put(good, kMdFreqBand, "280000000000");  // AISG 2.x bands 1 and 3
  MIRELK_DATA bad = Entry("11", "1", "2", "B");
  Put(bad, kMdFreqBand, "28zz00000000");
  MIRELK_DATA v1 = Entry("01", "2", "1", "C");
  Put(v1, kMdFreqBand, "410000000000");
  Put(v1, kMdAisgVersion, "1");
  MIRELK_DATA v3 = Entry("01", "2", "1", "D");
  Put(v3, kMdFreqBand, "410000000000");
  Put(v3, kMdAisgVersion, "3");
  MIRELK_DATA t[4] = {good, bad, v1, v3};
  GridRows rows = BuildGridRows(t, 4, Plain());
  EXPECT_EQ(Column(rows.ret, 2), (std::vector<std::string>{"2100/1800", "", "800/2600", ""}));
}

TEST(GridRowsLookups, VendorModelAndHintGoThroughTheTables) {
  MIRELK_DATA e = Entry("11", "1", "1", "A");
  Put(e, kMdAntennaModel, "M1");
  GridLookups l = Plain();
  l.vendorShortName = [](const std::string& v) { return "short-" + v; };
  l.vendorFullName = [](const std::string& v) { return "full-" + v; };
  l.modelFullName = [](const std::string& m, const std::string& v) { return v + ":" + m; };
  GridRows rows = BuildGridRows(&e, 1, l);
  ASSERT_EQ(rows.ret.size(), 1u);
  EXPECT_EQ(rows.ret[0].cells[kRetVendorColumn], "short-KA");
  EXPECT_EQ(rows.ret[0].cells[4], "KA:M1");
  EXPECT_EQ(rows.ret[0].vendorHint, "full-KA");
  // Without tables the codes themselves are shown.
  GridRows bare = BuildGridRows(&e, 1, GridLookups{});
  EXPECT_EQ(bare.ret[0].cells[kRetVendorColumn], "KA");
  EXPECT_EQ(bare.ret[0].cells[4], "M1");
  EXPECT_EQ(bare.ret[0].cells[2], "");
}

TEST(ScanSummary, LinesForEachKindOnlyWhenFound) {
  EXPECT_EQ(ScanSummaryLines("1/2/1/1"),
            (std::vector<std::string>{"Process is finished.", "Found total 2 device.",
                                      "RET : 1 device, 2 unit", "TMA : 1 device, 1 unit"}));
  EXPECT_EQ(ScanSummaryLines("0/0/3/12"),
            (std::vector<std::string>{"Process is finished.", "Found total 3 device.",
                                      "TMA : 3 device,12 unit"}));
  EXPECT_EQ(ScanSummaryLines("garbage"),
            (std::vector<std::string>{"Process is finished.", "Found total 0 device."}));
  EXPECT_EQ(ScanSummaryLines(nullptr).size(), 2u);
}

}  // namespace
}  // namespace aldpanel
