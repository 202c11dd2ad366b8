// The operator program's files on Windows: the configuration, a table line
// and the site report are rewritten through a temporary file that takes the
// old file's place. The C library's rename refuses an existing target there,
// so a second write is what shows whether the replacement works.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "aldpanel/core/catalogue.h"
#include "aldpanel/core/config.h"
#include "aldpanel/core/sitereport.h"

namespace fs = std::filesystem;

namespace {

class PanelFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("aldpanel-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir_);
    ASSERT_TRUE(fs::create_directories(dir_ / "tmp"));
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
};

TEST_F(PanelFiles, TheConfigurationIsRewrittenOverItsOldSelf) {
  std::string conf = (dir_ / "mirelk.conf").string();
  std::string tmp = (dir_ / "tmp").string();
  std::string why;
  ASSERT_EQ(aldpanel::SetConfigValue(conf, "DEFAULT_DEPTH", "4", tmp, &why), aldpanel::kConfigOk)
      << why;
  ASSERT_EQ(aldpanel::SetConfigValue(conf, "DEFAULT_DEPTH", "17", tmp, &why), aldpanel::kConfigOk)
      << why;
  ASSERT_EQ(aldpanel::SetConfigValue(conf, "DEFAULT_ASSIGN", "0", tmp, &why), aldpanel::kConfigOk)
      << why;
  std::string value;
  ASSERT_EQ(aldpanel::GetConfigValue(conf, "DEFAULT_DEPTH", &value), aldpanel::kConfigOk);
  EXPECT_EQ(value, "17");
  ASSERT_EQ(aldpanel::GetConfigValue(conf, "DEFAULT_ASSIGN", &value), aldpanel::kConfigOk);
  EXPECT_EQ(value, "0");
  EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(PanelFiles, ASiteReportReplacesTheOldOne) {
  std::string path = (dir_ / "Report.csv").string();
  std::string why;
  ASSERT_TRUE(aldpanel::WriteReportFile(path, "old report\n", &why)) << why;
  ASSERT_TRUE(aldpanel::WriteReportFile(path, "new\n", &why)) << why;
  EXPECT_EQ(Read(path), "new\n");
}

TEST_F(PanelFiles, AModelIsAddedUpdatedListedAndDeleted) {
  aldpanel::Catalogue cat(dir_.string(), (dir_ / "tmp").string());
  ASSERT_EQ(cat.AddVendor("KA"), aldpanel::AddVendorResult::kAdded);
  fs::path source = dir_ / "panel.acf";
  { std::ofstream(source, std::ios::binary) << "first"; }
  std::string why;
  ASSERT_EQ(cat.CopyModelFile(source.string(), "KA", "M1", &why), aldpanel::CopyResult::kCopied)
      << why;
  { std::ofstream(source, std::ios::binary) << "second\r\n"; }
  ASSERT_EQ(cat.CopyModelFile(source.string(), "KA", "M1", &why), aldpanel::CopyResult::kCopied)
      << why;
  ASSERT_TRUE(cat.WriteVersion("KA", "M1", "V2"));
  ASSERT_TRUE(cat.WriteVersion("KA", "M1", "V3"));
  EXPECT_EQ(Read(cat.AcfPath("KA", "M1")), "second\r\n");

  std::vector<aldpanel::ModelRow> rows = cat.ListModels("KA");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].version, "V3");
  EXPECT_EQ(rows[0].size, "8 Bytes");
  // The ctime form: "Tue Dec  8 21:39:00 2026".
  EXPECT_EQ(rows[0].date.size(), 24u) << rows[0].date;

  ASSERT_TRUE(cat.DeleteModel("KA", "M1", &why)) << why;
  EXPECT_TRUE(cat.ListModels("KA").empty());
  EXPECT_EQ(cat.DeleteVendor("KA"), aldpanel::DeleteVendorResult::kDeleted);
}

}  // namespace
