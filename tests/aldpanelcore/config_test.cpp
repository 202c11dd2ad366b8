// The key=value files: reading, the one-key rewrite and the settings read at
// start, with the faults a field machine meets (missing files and folders,
// over-long lines, keys without values, binary garbage).
#include "aldpanel/core/config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test_util.h"

namespace aldpanel {
namespace {

using aldpanel_test::Exists;
using aldpanel_test::ReadFile;
using aldpanel_test::TempDir;
using aldpanel_test::WriteFile;

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir / "tmp");
    file = dir / "mirelk.conf";
  }
  std::string tmp() const { return dir / "tmp"; }
  TempDir dir;
  std::string file;
};

TEST(ConfigLineTest, SplitsAtTabCarriageReturnAndEqualsButKeepsBlanks) {
  ConfigLine a = SplitConfigLine("Key=Some value\r\n");
  EXPECT_TRUE(a.hasKey);
  EXPECT_EQ(a.key, "Key");
  EXPECT_EQ(a.value, "Some value");

  ConfigLine b = SplitConfigLine("==\tKEY\t\t=value=rest\n");
  EXPECT_EQ(b.key, "KEY");
  EXPECT_EQ(b.value, "value");

  ConfigLine c = SplitConfigLine("DEFAULT_DEPTH=\n");
  EXPECT_TRUE(c.hasKey);
  EXPECT_FALSE(c.hasValue);

  EXPECT_FALSE(SplitConfigLine("# KEY=value").hasKey);
  EXPECT_FALSE(SplitConfigLine("\r\n").hasKey);
  // A zero byte ends what the tokenizer sees.
  ConfigLine d = SplitConfigLine(std::string("K=v\0x=y", 7));
  EXPECT_EQ(d.value, "v");
}

TEST_F(ConfigTest, GetTakesTheLastMatchingLineInAnyCase) {
  WriteFile(file, "depth=1\n# DEPTH=7\nOTHER=x\nDePtH=3\n");
  std::string v = "unchanged";
  EXPECT_EQ(GetConfigValue(file, "DEPTH", &v), kConfigOk);
  EXPECT_EQ(v, "3");
}

TEST_F(ConfigTest, GetReportsEachFaultByItsNumber) {
  WriteFile(file, "A=1\nEMPTY=\n");
  std::string v = "unchanged";
  EXPECT_EQ(GetConfigValue(dir / "missing.conf", "A", &v), kConfigCannotOpen);
  EXPECT_EQ(GetConfigValue(file, nullptr, &v), kConfigNoKey);
  EXPECT_EQ(GetConfigValue(file, "", &v), kConfigNoKey);
  EXPECT_EQ(GetConfigValue(file, "A", nullptr), kConfigNoOutput);
  // Absent: success, the output untouched; strictly: -6.
  EXPECT_EQ(GetConfigValue(file, "B", &v), kConfigOk);
  EXPECT_EQ(v, "unchanged");
  EXPECT_EQ(GetConfigValueStrict(file, "B", &v), kConfigKeyAbsent);
  EXPECT_EQ(v, "unchanged");
  // A key without a value is present with an empty value.
  EXPECT_EQ(GetConfigValueStrict(file, "EMPTY", &v), kConfigOk);
  EXPECT_EQ(v, "");
}

TEST_F(ConfigTest, FindKeyByValueIgnoresCaseAndTakesTheFirst) {
  WriteFile(file, "# X=Panel\nM1=Panel Antenna\nM2=panel antenna\n");
  std::string key;
  EXPECT_EQ(FindConfigKeyByValue(file, "PANEL ANTENNA", &key), kConfigOk);
  EXPECT_EQ(key, "M1");
  EXPECT_EQ(FindConfigKeyByValue(file, "Panel", &key), kConfigKeyAbsent);
  EXPECT_EQ(FindConfigKeyByValue(dir / "none", "x", &key), kConfigCannotOpen);
}

TEST_F(ConfigTest, RewriteKeepsCommentsOrderAndReplacesKeyWrittenInAnotherCase) {
  WriteFile(file,
            "DEVICE_SETTING_BAR=OFF\n"
            "debug_mode=2\n"
            "# 0 => Normal mode. (default value)\n"
            "DEFAULT_DEPTH=9\n"
            "Debug_Mode=3\n");
  EXPECT_EQ(SetConfigValue(file, "DEBUG_MODE", "0", tmp()), kConfigOk);
  EXPECT_EQ(ReadFile(file),
            "DEVICE_SETTING_BAR=OFF\n"
            "DEBUG_MODE=0\n"
            "# 0 => Normal mode. (default value)\n"
            "DEFAULT_DEPTH=9\n"
            "DEBUG_MODE=0\n");
  // No temporary file is left behind.
  EXPECT_TRUE(std::filesystem::is_empty(tmp()));
}

TEST_F(ConfigTest, RewriteAppendsAnAbsentKeyEvenAfterALastLineWithoutNewline) {
  WriteFile(file, "A=1");
  EXPECT_EQ(SetConfigValue(file, "B", "two words", tmp()), kConfigOk);
  EXPECT_EQ(ReadFile(file), "A=1\nB=two words\n");
}

TEST_F(ConfigTest, RewriteOfAMissingFileCreatesItWithThatKeyAlone) {
  EXPECT_EQ(SetConfigValue(file, kKeySystemRoot, "/home/op/data", tmp()), kConfigOk);
  EXPECT_EQ(ReadFile(file), "SYSTEM_ROOT_DIRECTORY=/home/op/data\n");
}

TEST_F(ConfigTest, RewriteWithoutTemporaryFolderStoresNothingAndLeavesTheFileAlone) {
  WriteFile(file, "A=1\n");
  EXPECT_EQ(SetConfigValue(file, "A", "2", dir / "no-such-tmp"), kConfigCannotCreate);
  EXPECT_EQ(ReadFile(file), "A=1\n");
  // A missing target is not created either.
  std::string other = dir / "other.conf";
  EXPECT_EQ(SetConfigValue(other, "A", "2", dir / "no-such-tmp"), kConfigCannotCreate);
  EXPECT_FALSE(Exists(other));
}

TEST_F(ConfigTest, RewriteAcrossFileSystemsStillReplacesTheFile) {
  // The temporary folder may lie on another file system than the target
  // (a tmpfs); the new contents must still arrive.
  struct stat a {
  }, b{};
  if (stat("/dev/shm", &a) != 0 || stat(dir.path().c_str(), &b) != 0 || a.st_dev == b.st_dev) {
    GTEST_SKIP() << "no second file system for the temporary folder";
  }
  TempDir shm_parent;  // only for a unique name
  std::string shm_tmp = "/dev/shm/" + std::filesystem::path(shm_parent.path()).filename().string();
  std::filesystem::create_directory(shm_tmp);
  WriteFile(file, "A=1\n");
  std::string failure;
  EXPECT_EQ(SetConfigValue(file, "A", "2", shm_tmp, &failure), kConfigOk);
  EXPECT_EQ(failure, "");
  EXPECT_EQ(ReadFile(file), "A=2\n");
  EXPECT_TRUE(std::filesystem::is_empty(shm_tmp));
  std::filesystem::remove_all(shm_tmp);
}

TEST_F(ConfigTest, AFileThatCannotBeReplacedIsReportedNotClaimedStored) {
  if (geteuid() == 0) GTEST_SKIP() << "root may replace files in a read-only folder";
  std::string locked = dir / "locked";
  std::filesystem::create_directory(locked);
  std::string target = locked + "/mirelk.conf";
  WriteFile(target, "A=1\n");
  chmod(locked.c_str(), 0555);
  std::string failure;
  EXPECT_EQ(SetConfigValue(target, "A", "2", tmp(), &failure), kConfigCannotReplace);
  chmod(locked.c_str(), 0755);
  EXPECT_EQ(failure.rfind("rename failed. (", 0), 0u) << failure;
  EXPECT_NE(failure.find("Permission denied"), std::string::npos) << failure;
  EXPECT_EQ(ReadFile(target), "A=1\n");
  EXPECT_TRUE(std::filesystem::is_empty(tmp()));
}

TEST_F(ConfigTest, RewriteRefusesMissingKeyOrValue) {
  WriteFile(file, "A=1\n");
  EXPECT_EQ(SetConfigValue(file, nullptr, "2", tmp()), kConfigNoKey);
  EXPECT_EQ(SetConfigValue(file, "", "2", tmp()), kConfigNoKey);
  EXPECT_EQ(SetConfigValue(file, "A", nullptr, tmp()), kConfigNoOutput);
  EXPECT_EQ(RemoveConfigKey(file, nullptr, tmp()), kConfigNoKey);
  // Nothing that would read back as other keys is written.
  EXPECT_EQ(SetConfigValue(file, "A", "2\nDEBUG_MODE=2", tmp()), kConfigNoOutput);
  EXPECT_EQ(SetConfigValue(file, "A=B", "2", tmp()), kConfigNoKey);
  EXPECT_EQ(SetConfigValue(file, "#A", "2", tmp()), kConfigNoKey);
  EXPECT_EQ(ReadFile(file), "A=1\n");
}

TEST_F(ConfigTest, AFileThatOpensButCannotBeReadIsNotTouched) {
  // A folder where the file should be opens but reads nothing; it must not
  // be taken for an empty file and replaced.
  std::string folder = dir / "folder.conf";
  std::filesystem::create_directory(folder);
  std::string v = "unchanged";
  EXPECT_EQ(GetConfigValue(folder, "A", &v), kConfigCannotOpen);
  EXPECT_EQ(v, "unchanged");
  EXPECT_EQ(SetConfigValue(folder, "A", "2", tmp()), kConfigCannotOpen);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(std::filesystem::is_empty(tmp()));
  EXPECT_TRUE(ReadSettings(folder).settingBar);
}

TEST_F(ConfigTest, RemoveKeyAnswersMinusSixWhenItRemovedALine) {
  WriteFile(file, "A=1\n# A=comment\nB=2\na=3\n");
  EXPECT_EQ(RemoveConfigKey(file, "A", tmp()), kConfigKeyAbsent);
  EXPECT_EQ(ReadFile(file), "# A=comment\nB=2\n");
  EXPECT_EQ(RemoveConfigKey(file, "A", tmp()), kConfigOk);
  EXPECT_EQ(ReadFile(file), "# A=comment\nB=2\n");
}

TEST_F(ConfigTest, AnOverLongLineStaysOneLineAndIsCopiedWhole) {
  // The tail of a 2000-character line must not be taken for a line of its
  // own, although it looks like one.
  std::string long_line = "NOTE=" + std::string(kLineLimit + 10, 'x') + "DEFAULT_DEPTH=1" +
                          std::string(1500, 'y') + "\n";
  WriteFile(file, long_line + "DEFAULT_DEPTH=5\n");
  std::string v;
  EXPECT_EQ(GetConfigValue(file, "DEFAULT_DEPTH", &v), kConfigOk);
  EXPECT_EQ(v, "5");
  EXPECT_EQ(SetConfigValue(file, "DEFAULT_DEPTH", "6", tmp()), kConfigOk);
  EXPECT_EQ(ReadFile(file), long_line + "DEFAULT_DEPTH=6\n");
}

TEST_F(ConfigTest, BinaryGarbageIsReadWithoutHarmAndCopiedUnchanged) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) & 0xFF);
  WriteFile(file, garbage);
  std::string v = "unchanged";
  EXPECT_EQ(GetConfigValueStrict(file, "DEFAULT_DEPTH", &v), kConfigKeyAbsent);
  EXPECT_EQ(SetConfigValue(file, "DEFAULT_DEPTH", "4", tmp()), kConfigOk);
  std::string after = ReadFile(file);
  ASSERT_GE(after.size(), garbage.size());
  EXPECT_EQ(after.substr(0, garbage.size()), garbage);
  EXPECT_EQ(GetConfigValue(file, "DEFAULT_DEPTH", &v), kConfigOk);
  EXPECT_EQ(v, "4");
}

TEST_F(ConfigTest, SettingsFallBackToBuiltInDefaults) {
  // Unreadable file: defaults, and the setting bar shown.
  Settings none = ReadSettings(dir / "missing.conf");
  EXPECT_EQ(none.scanDepth, 4);
  EXPECT_EQ(none.addressAssign, 1);
  EXPECT_TRUE(none.settingBar);
  EXPECT_EQ(DebugModeOf(none.debugMode), 0);

  // Empty or non-numeric values keep the defaults rather than becoming 0.
  WriteFile(file, "DEFAULT_DEPTH=\nDEFAULT_ASSIGN=yes\nDEBUG_MODE=two\n");
  Settings odd = ReadSettings(file);
  EXPECT_EQ(odd.scanDepth, 4);
  EXPECT_EQ(odd.addressAssign, 1);
  EXPECT_FALSE(odd.settingBar);  // readable file without the key
  EXPECT_EQ(DebugModeOf(odd.debugMode), 0);

  WriteFile(file, "DEFAULT_DEPTH=7\nDEFAULT_ASSIGN=0\nDEBUG_MODE=3\ndevice_setting_bar=on\n");
  Settings set = ReadSettings(file);
  EXPECT_EQ(set.scanDepth, 7);
  EXPECT_EQ(set.addressAssign, 0);
  EXPECT_TRUE(set.settingBar);
  EXPECT_EQ(DebugModeOf(set.debugMode), 3);
  EXPECT_EQ(DebugModeOf("3 "), 0);  // compared exactly
}

TEST_F(ConfigTest, DefaultConfigHoldsTheNineLinesAndGivesDepthNine) {
  ASSERT_TRUE(WriteDefaultConfig(file, "/opt/aldcontrol"));
  EXPECT_EQ(ReadFile(file),
            "DEVICE_SETTING_BAR=OFF\n"
            "DEBUG_MODE=0\n"
            "# 0 => Normal mode. (default value)\n"
            "# 1 => Open debug Console.\n"
            "# 2 => Write debug message to log file.\n"
            "# 3 => Append debug message to log file.\n"
            "DEFAULT_ASSIGN=1\n"
            "DEFAULT_DEPTH=9\n"
            "SYSTEM_ROOT_DIRECTORY=/opt/aldcontrol\n");
  Settings s = ReadSettings(file);
  EXPECT_EQ(s.scanDepth, 9);
  EXPECT_FALSE(s.settingBar);
}

}  // namespace
}  // namespace aldpanel
