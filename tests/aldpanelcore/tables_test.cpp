// Table lookups with their fallbacks, the Sector ID list, and the tables the
// program ships: they must parse, and the error texts must agree with the
// device return code lists the rest of the system uses.
#include "aldpanel/core/tables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "aldlink/procedures/returncodes.h"
#include "aldpanel/core/config.h"
#include "aldpanel/core/linereader.h"
#include "test_util.h"

namespace aldpanel {
namespace {

using aldpanel_test::TempDir;
using aldpanel_test::WriteFile;

class TablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir / "data/model_name_pool");
    WriteFile(dir / "data/vendor_short_name.tbl", "# c\nKA=Kathrein\n");
    WriteFile(dir / "data/vendor_full_name.tbl", "ka=Kathrein GmbH\n");
    WriteFile(dir / "data/model_name_pool/KA_model_full_name.tbl", "M1=Pool One\n");
    WriteFile(dir / "data/KA_default_model_full_name.tbl", "M2=KA Default Two\nM1=Never\n");
    WriteFile(dir / "data/model_full_name.tbl", "M2=Common Two\nM3=Common Three\n");
    WriteFile(dir / "data/error_code.tbl", "0=OK\n89=No answer\n-1800=General\n5=\n");
  }
  TempDir dir;
};

TEST_F(TablesTest, VendorNamesFallBackToTheCode) {
  Tables t(dir.path());
  EXPECT_EQ(t.VendorShortName("KA"), "Kathrein");
  EXPECT_EQ(t.VendorFullName("KA"), "Kathrein GmbH");  // key in another case
  EXPECT_EQ(t.VendorShortName("ZZ"), "ZZ");
  Tables empty(dir / "nowhere");
  EXPECT_EQ(empty.VendorShortName("KA"), "KA");
}

TEST_F(TablesTest, ModelNamesFallFromThePoolToTheKaDefaultsOrTheCommonTable) {
  Tables t(dir.path());
  EXPECT_EQ(t.ModelFullName("M1", "KA"), "Pool One");
  EXPECT_EQ(t.ModelFullName("M2", "ka"), "KA Default Two");
  EXPECT_EQ(t.ModelFullName("M2", "AN"), "Common Two");  // no pool file for AN
  EXPECT_EQ(t.ModelFullName("M3", "KA"), "M3");          // KA never uses the common table
  EXPECT_EQ(t.ModelFullName("M9", "AN"), "M9");
  // A vendor code that would reach out of the pool folder is not used as a
  // file name.
  WriteFile(dir / "data/evil_model_full_name.tbl", "M3=Outside\n");
  EXPECT_EQ(t.ModelFullName("M3", "../evil"), "Common Three");
  EXPECT_EQ(t.ModelFullName("M3", ""), "Common Three");
}

TEST_F(TablesTest, ErrorTextShowsTheNumberWhenTheTableHasNone) {
  Tables t(dir.path());
  EXPECT_EQ(t.ErrorText(0), "OK");
  EXPECT_EQ(t.ErrorText(89), "No answer");
  EXPECT_EQ(t.ErrorText(-1800), "General");
  EXPECT_EQ(t.ErrorText(131), "131");
  // A line without a text gives the empty text; the result message then
  // shows the number (runner tests).
  EXPECT_EQ(t.ErrorText(5), "");
}

TEST_F(TablesTest, SectorControlListsVendorsOrAllAndCutsAtControlCharacters) {
  Tables t(dir.path());
  EXPECT_EQ(t.SectorControl("KA"), -1);  // no file
  WriteFile(dir / "sectorControl.conf", "an\r\nKA\tcomment\n\n");
  EXPECT_EQ(t.SectorControl("AN"), 1);
  EXPECT_EQ(t.SectorControl("ka"), 1);
  EXPECT_EQ(t.SectorControl("HU"), 0);
  EXPECT_EQ(t.SectorControl(""), 0);
  WriteFile(dir / "sectorControl.conf", std::string(3000, 'Q') + "\nALL\n");
  EXPECT_EQ(t.SectorControl("HU"), 1);
  std::string other = dir / "other.conf";
  WriteFile(other, "HU\n");
  EXPECT_EQ(t.SectorControl("HU", other), 1);
  EXPECT_EQ(t.SectorControl("KA", other), 0);
}

// --- The shipped tables --------------------------------------------------------

const std::string kShipped = std::string(ALD_SOURCE_DIR) + "/data";

TEST(ShippedTablesTest, EveryTableLineHasAKeyAndAText) {
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kShipped)) {
    if (entry.path().extension() != ".tbl") continue;
    ++files;
    LineReader reader(entry.path().c_str(), kLineLimit);
    ASSERT_TRUE(reader.ok()) << entry.path();
    std::set<std::string> keys;
    while (reader.Next()) {
      ASSERT_LT(reader.whole().size(), static_cast<size_t>(kLineLimit)) << entry.path();
      ConfigLine line = SplitConfigLine(reader.head());
      if (!line.hasKey) continue;
      EXPECT_TRUE(line.hasValue) << entry.path() << ": " << line.key;
      EXPECT_TRUE(keys.insert(line.key).second) << entry.path() << ": twice " << line.key;
    }
  }
  EXPECT_GE(files, 6);
}

TEST(ShippedTablesTest, DemoSiteDevicesHaveNamesAndConfigurationFiles) {
  Tables t(kShipped + "/..");
  EXPECT_EQ(t.VendorShortName("KA"), "Kathrein");
  EXPECT_NE(t.ModelFullName("AX-3M65-18V", "KA"), "AX-3M65-18V");
  EXPECT_NE(t.ModelFullName("K-742215", "KA"), "K-742215");
  EXPECT_NE(t.ModelFullName("EA-1865-16", "EM"), "EA-1865-16");
  EXPECT_TRUE(std::filesystem::exists(kShipped + "/acf/RET/KA/AX-3M65-18V.acf"));
}

// The name of every return code in every device list appears in the text of
// its number, so an operator reads the same name aldctl prints.
TEST(ShippedTablesTest, ErrorTextsNameEveryDeviceReturnCode) {
  Tables t(kShipped + "/..");
  auto check = [&](const ald::rc::ReturnCodeName* list, size_t n, const char* which) {
    for (size_t i = 0; i < n; ++i) {
      std::string text = t.ErrorText(list[i].code);
      if (list[i].code == 0) {
        EXPECT_EQ(text, "OK");
        continue;
      }
      EXPECT_NE(text.find(list[i].name), std::string::npos)
          << which << " code " << int{list[i].code} << " (" << list[i].name << "): " << text;
    }
  };
  check(ald::rc::kAisg2Codes, std::size(ald::rc::kAisg2Codes), "AISG 2.0");
  check(ald::rc::kAisg1RetCodes, std::size(ald::rc::kAisg1RetCodes), "AISG 1.x RET");
  check(ald::rc::kAisg1TmaCodes, std::size(ald::rc::kAisg1TmaCodes), "AISG 1.x TMA");
}

TEST(ShippedTablesTest, ErrorTextsCoverEveryLibraryResultAndStatusCause) {
  Tables t(kShipped + "/..");
  for (int code : {-111, -1800, -1, 11, 25, 30, 36, 81, 82, 83, 84, 89, 119, 123, 129, 130, 131}) {
    std::string text = t.ErrorText(code);
    EXPECT_NE(text, std::to_string(code)) << "no text for " << code;
    EXPECT_FALSE(text.empty()) << code;
  }
  // Numbers with two readings name both.
  EXPECT_NE(t.ErrorText(82).find("BadResponding"), std::string::npos);
  EXPECT_NE(t.ErrorText(83).find("NotResponding"), std::string::npos);
  EXPECT_NE(t.ErrorText(36).find("FormatError"), std::string::npos);
  EXPECT_NE(t.ErrorText(36).find("argument"), std::string::npos);
}

}  // namespace
}  // namespace aldpanel
