// The error text table the program ships is the one the libraries' own
// tables give, and every number reads back through the table lookup as the
// library words it.
#include "aldpanel/core/errortable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "aldlink/devices/resulttexts.h"
#include "aldpanel/core/config.h"
#include "aldpanel/core/tables.h"
#include "test_util.h"

namespace aldpanel {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(ErrorTableTest, TheShippedTableIsTheOneTheLibrariesGive) {
  std::ifstream in(std::string(ALD_SOURCE_DIR) + "/data/error_code.tbl", std::ios::binary);
  std::stringstream shipped;
  shipped << in.rdbuf();
  EXPECT_EQ(shipped.str(), ErrorTableText())
      << "regenerate: build/bin/aldpanel_error_table > data/error_code.tbl";
}

TEST(ErrorTableTest, EveryTextReadsBackWhole) {
  aldpanel_test::TempDir dir;
  std::filesystem::create_directories(dir / "data");
  aldpanel_test::WriteFile(dir / "data/error_code.tbl", ErrorTableText());
  Tables tables(dir.path());
  for (const auto& [code, text] : ErrorTableEntries()) {
    ASSERT_LT(text.size() + 8, static_cast<size_t>(kLineLimit)) << code;
    EXPECT_EQ(tables.ErrorText(code), text) << code;
  }
}

TEST(ErrorTableTest, LibraryResultsAreWordedAsTheLibraryWordsThem) {
  std::map<int, std::string> table;
  for (const auto& [code, text] : ErrorTableEntries()) table[code] = text;
  int known = 0;
  for (int n = -5000; n <= 1000; ++n) {
    const char* text = ald::results::KnownResultText(n);
    if (text == nullptr || n == 0) continue;
    ++known;
    ASSERT_TRUE(table.count(n)) << n;
    EXPECT_NE(Lower(table[n]).find(Lower(text)), std::string::npos) << n << ": " << table[n];
  }
  EXPECT_GE(known, 15);
  EXPECT_EQ(table[0], "OK");
  // A number the library and a device give both readings.
  EXPECT_NE(table[30].find("UnknownParameter"), std::string::npos);
  EXPECT_NE(table[30].find("read back"), std::string::npos);
  EXPECT_NE(table[25].find("UnknownProcedure"), std::string::npos);
  EXPECT_NE(table[25].find("AISG 1.x"), std::string::npos);
  // A code only one generation names says whose name it is.
  EXPECT_EQ(table[1], "ActuatorDetectionFail: device return code 0x01 (AISG 1.x RET)");
  EXPECT_EQ(table[2],
            "MotorJam / ActuatorJamPermanent: device return code 0x02 (AISG 2.0 / AISG 1.x RET)");
}

}  // namespace
}  // namespace aldpanel
