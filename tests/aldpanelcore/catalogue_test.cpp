// The antenna model catalogue's file work: listing vendors and models,
// names that must never become paths, vendor folders that hold models, and
// the model copy that leaves the old file alone when it fails.
#include "aldpanel/core/catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "aldpanel/core/config.h"
#include "test_util.h"

namespace aldpanel {
namespace {

namespace fs = std::filesystem;
using aldpanel_test::Exists;
using aldpanel_test::ReadFile;
using aldpanel_test::TempDir;
using aldpanel_test::WriteFile;

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "data/model_name_pool");
    fs::create_directories(dir / "acf/RET/KA");
    fs::create_directories(dir / "acf/RET/ZZ");
    fs::create_directories(dir / "tmp");
    WriteFile(dir / "data/vendor_full_name.tbl", "KA=Kathrein GmbH\n");
    WriteFile(dir / "data/model_full_name.tbl", "C1=Common One\n");
    WriteFile(dir / "data/model_name_pool/KA_model_full_name.tbl", "#models\nM1=Beta Panel\n");
    WriteFile(dir / "acf/RET/KA/M1.acf", "abc");
    WriteFile(dir / "acf/RET/KA/M1.ver", "V1.2\nsecond line\n");
    WriteFile(dir / "acf/RET/KA/A0.ACF", std::string(1000, 'x'));
    WriteFile(dir / "acf/RET/KA/notes.txt", "not a model");
    WriteFile(dir / "source.bin", std::string("\0\1\2\r\n\x1a\xff", 7));
  }
  TempDir dir;
  Catalogue cat{dir.path(), dir / "tmp"};
};

TEST_F(CatalogueTest, ListsVendorsAndModelsWithTheirNamesVersionsAndSizes) {
  std::vector<VendorEntry> vendors;
  ASSERT_TRUE(cat.ListVendors(&vendors));
  ASSERT_EQ(vendors.size(), 2u);
  EXPECT_EQ(vendors[0].code, "KA");
  EXPECT_EQ(vendors[0].fullName, "Kathrein GmbH");
  // A vendor without a table line is listed under its code.
  EXPECT_EQ(vendors[1].fullName, "ZZ");

  // Only ".acf" files (any case); sorted by full name, and a model without
  // a table line shows its AISG model name.
  std::vector<ModelRow> rows = cat.ListModels("KA");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].fullName, "A0");
  EXPECT_EQ(rows[0].version, "");
  EXPECT_EQ(rows[0].size, "1000 Bytes");
  EXPECT_EQ(rows[1].fullName, "Beta Panel");
  EXPECT_EQ(rows[1].aisgName, "M1");
  EXPECT_EQ(rows[1].version, "V1.2");
  EXPECT_EQ(rows[1].size, "3 Bytes");
  // "Tue Dec  8 21:39:00 2026": weekday, month, day, time, year.
  EXPECT_EQ(rows[1].date.size(), 24u) << rows[1].date;
  EXPECT_EQ(rows[1].date[3], ' ');

  EXPECT_TRUE(cat.ListModels("..").empty());
  TempDir empty;
  std::vector<VendorEntry> none = vendors;
  EXPECT_TRUE(Catalogue(empty.path(), "").ListVendors(&none));
  EXPECT_TRUE(none.empty());
  fs::create_directories(empty / "acf");
  WriteFile(empty / "acf/RET", "a file where the tree belongs");
  EXPECT_FALSE(Catalogue(empty.path(), "").ListVendors(&none));
}

TEST_F(CatalogueTest, NamesThatWouldLeaveTheFolderOrBreakATableAreRefused) {
  for (const char* bad : {"", "..", ".", "a/", "\\x", "a:", "A*", "=", "#A", "A.", " A"}) {
    EXPECT_FALSE(VendorCodeProblem(bad).empty()) << bad;
  }
  EXPECT_FALSE(VendorCodeProblem("KAT").empty());
  EXPECT_TRUE(VendorCodeProblem("KA").empty());
  EXPECT_EQ(AisgModelNameProblem(""), "AISG Model Name can not be empty.");
  EXPECT_EQ(AisgModelNameProblem("ABCDEFGHIJKLMNOP"),
            "The antenna model name is too long. (maximum: 15 characters).");
  for (const char* bad : {"../../x", "a/b", "a\\b", "..", "x\ty", "CON", "nul.txt", "a|b", "M="}) {
    EXPECT_FALSE(AisgModelNameProblem(bad).empty()) << bad;
  }
  EXPECT_TRUE(AisgModelNameProblem("AX-3M65-18V").empty());
  EXPECT_TRUE(AisgModelNameProblem("ABCDEFGHIJKLMNO").empty());
  EXPECT_FALSE(ModelFullNameProblem("a=b").empty());
  EXPECT_FALSE(ModelFullNameProblem("a\nb").empty());
  EXPECT_FALSE(ModelFullNameProblem(std::string(41, 'x')).empty());
  EXPECT_TRUE(ModelFullNameProblem("Panel 65 deg, 2.6 m").empty());

  // Nothing outside the tree is created or deleted by a crafted name.
  fs::create_directories(dir / "outside");
  WriteFile(dir / "outside/keep.acf", "keep");
  EXPECT_EQ(cat.AddVendor("../x"), AddVendorResult::kBadCode);
  EXPECT_EQ(cat.DeleteVendor(".."), DeleteVendorResult::kBadCode);
  EXPECT_FALSE(cat.DeleteModel("KA", "../../../outside/keep"));
  EXPECT_EQ(cat.CopyModelFile(dir / "source.bin", "KA", "../../x"), CopyResult::kFailed);
  EXPECT_TRUE(Exists(dir / "outside/keep.acf"));
  EXPECT_TRUE(Exists(dir / "acf/RET/KA/M1.acf"));
  EXPECT_FALSE(Exists(dir / "acf/x.acf"));
}

TEST_F(CatalogueTest, VendorFoldersAreAddedOnceAndDeletedOnlyWhenEmpty) {
  EXPECT_EQ(cat.AddVendor("EM"), AddVendorResult::kAdded);
  EXPECT_TRUE(fs::is_directory(dir / "acf/RET/EM"));
  EXPECT_EQ(cat.AddVendor("EM"), AddVendorResult::kExists);
  EXPECT_EQ(cat.AddVendor("ka"), AddVendorResult::kExists);
  EXPECT_EQ(cat.DeleteVendor("EM"), DeleteVendorResult::kDeleted);
  EXPECT_FALSE(Exists(dir / "acf/RET/EM"));

  EXPECT_EQ(cat.DeleteVendor("KA"), DeleteVendorResult::kNotEmpty);
  EXPECT_EQ(ReadFile(dir / "acf/RET/KA/M1.acf"), "abc");
  EXPECT_EQ(cat.ListModels("KA").size(), 2u);
  EXPECT_EQ(cat.DeleteVendor("QQ"), DeleteVendorResult::kFailed);

  // A fresh working directory has no tree yet: the first vendor makes it.
  TempDir fresh;
  EXPECT_EQ(Catalogue(fresh.path(), "").AddVendor("KA"), AddVendorResult::kAdded);
  EXPECT_TRUE(fs::is_directory(fresh / "acf/RET/KA"));
}

TEST_F(CatalogueTest, FiltersExtensionsAndTablesFollowTheVendor) {
  EXPECT_EQ(Catalogue::FileFilterOf("db"),
            "dat files (*.dat *.acf *.bin)|*.acf;*.bin;*.dat|All files (*.*)|*.*");
  EXPECT_EQ(Catalogue::FileFilterOf("CS"),
            "retbin files (*.retbin *.acf *.bin)|*.acf;*.bin;*.retbin|All files (*.*)|*.*");
  EXPECT_EQ(Catalogue::FileFilterOf("KA"),
            "ACF files (*.acf *.bin)|*.acf;*.bin|All files (*.*)|*.*");
  EXPECT_EQ(Catalogue::ExtensionProblem("FO", "/x/a.DAT"), "");
  EXPECT_EQ(Catalogue::ExtensionProblem("KA", "/x/a.dat"), "Only support .bin and .acf file");
  EXPECT_EQ(Catalogue::ExtensionProblem("MA", "/x.acf/a"), "Only support .bin, .acf and .retbin");
  EXPECT_EQ(Catalogue::ExtensionProblem("AN", "a.retbin"), "Only support .bin, .acf and .dat");
  EXPECT_EQ(Catalogue::ExtensionProblem("VX", "a.retbin"), "");
  EXPECT_EQ(Catalogue::ModelTableOf("CB"), "data/model_full_name.tbl");
  EXPECT_EQ(Catalogue::ModelTableOf("KA"), "data/model_name_pool/KA_model_full_name.tbl");

  // The AISG model name a full name already has, else the name when it fits.
  EXPECT_EQ(cat.SuggestAisgName("KA", "beta panel"), "M1");
  EXPECT_EQ(cat.SuggestAisgName("KA", "Short"), "Short");
  EXPECT_EQ(cat.SuggestAisgName("KA", "A name of sixteen"), "");
  EXPECT_EQ(cat.SuggestAisgName("AN", "Common One"), "C1");

  // "Already used": the vendor's table, and the common table for pool vendors.
  EXPECT_FALSE(cat.UsedByOther("KA", "M1", "BETA PANEL"));
  EXPECT_EQ(cat.UsedByOther("KA", "M1", "Other").value_or(""), "Beta Panel");
  EXPECT_EQ(cat.UsedByOther("KA", "c1", "Other").value_or(""), "Common One");
  EXPECT_FALSE(cat.UsedByOther("KA", "NEW", "Other"));

  // A vendor without a pool gets one, folder and all.
  fs::remove_all(dir / "data/model_name_pool");
  EXPECT_EQ(cat.WriteModelName("EM", "E1", "Em One"), kConfigOk);
  EXPECT_EQ(ReadFile(dir / "data/model_name_pool/EM_model_full_name.tbl"), "E1=Em One\n");
}

TEST_F(CatalogueTest, ModelRoundTripCopiesBytesWritesVersionAndDeletesTheLine) {
  WriteFile(dir / "acf/RET/KA/N1.ver", "old\n");
  ASSERT_EQ(cat.CopyModelFile(dir / "source.bin", "KA", "N1"), CopyResult::kCopied);
  EXPECT_EQ(ReadFile(dir / "acf/RET/KA/N1.acf"), ReadFile(dir / "source.bin"));
  ASSERT_TRUE(cat.WriteVersion("KA", "N1", ""));
  EXPECT_FALSE(Exists(dir / "acf/RET/KA/N1.ver"));
  ASSERT_TRUE(cat.WriteVersion("KA", "N1", "2.0"));
  EXPECT_EQ(ReadFile(dir / "acf/RET/KA/N1.ver"), "2.0\n");
  ASSERT_EQ(cat.WriteModelName("KA", "N1", "New One"), kConfigOk);
  EXPECT_EQ(cat.ListModels("KA").size(), 3u);

  // Updating replaces the old file whole.
  WriteFile(dir / "short.acf", "z");
  ASSERT_EQ(cat.CopyModelFile(dir / "short.acf", "KA", "N1"), CopyResult::kCopied);
  EXPECT_EQ(ReadFile(dir / "acf/RET/KA/N1.acf"), "z");

  ASSERT_TRUE(cat.DeleteModel("KA", "N1"));
  EXPECT_FALSE(Exists(dir / "acf/RET/KA/N1.acf"));
  EXPECT_FALSE(Exists(dir / "acf/RET/KA/N1.ver"));
  EXPECT_EQ(ReadFile(dir / "data/model_name_pool/KA_model_full_name.tbl"),
            "#models\nM1=Beta Panel\n");
  EXPECT_FALSE(cat.DeleteModel("KA", "N1"));
  // A model listed from an upper-case extension is deleted as listed.
  ASSERT_TRUE(cat.DeleteModel("KA", "A0"));
  EXPECT_FALSE(Exists(dir / "acf/RET/KA/A0.ACF"));

  // The common table is shared by several vendors and keeps its line.
  fs::create_directories(dir / "acf/RET/AN");
  WriteFile(dir / "acf/RET/AN/C1.acf", "c");
  ASSERT_TRUE(cat.DeleteModel("AN", "C1"));
  EXPECT_EQ(ReadFile(dir / "data/model_full_name.tbl"), "C1=Common One\n");
}

TEST_F(CatalogueTest, AFailedCopyLeavesTheOldFileAndNoHalfWrittenOne) {
  EXPECT_EQ(cat.CopyModelFile(dir / "missing.acf", "KA", "M1"), CopyResult::kNoSource);
  EXPECT_EQ(cat.CopyModelFile(dir / "acf", "KA", "M1"), CopyResult::kNoSource);
  // A source that opens but fails on its first read.
  if (fs::exists("/proc/self/mem")) {
    std::string why;
    EXPECT_EQ(cat.CopyModelFile("/proc/self/mem", "KA", "M1", &why), CopyResult::kFailed);
    EXPECT_FALSE(why.empty());
  }
  // A vendor folder that is gone cannot take the temporary file.
  EXPECT_EQ(cat.CopyModelFile(dir / "source.bin", "QQ", "M1"), CopyResult::kFailed);
  EXPECT_EQ(ReadFile(dir / "acf/RET/KA/M1.acf"), "abc");
  for (const auto& entry : fs::directory_iterator(dir / "acf/RET/KA")) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
  }
}

}  // namespace
}  // namespace aldpanel
