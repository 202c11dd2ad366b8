// Where the program keeps its files, the seeding of a new working
// directory, debug output and the number format.
#include "aldpanel/core/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <map>

#include "aldpanel/core/config.h"
#include "test_util.h"

namespace aldpanel {
namespace {

using aldpanel_test::Exists;
using aldpanel_test::ReadFile;
using aldpanel_test::TempDir;
using aldpanel_test::WriteFile;

EnvLookup FakeEnv(std::map<std::string, std::string> vars) {
  auto shared = std::make_shared<std::map<std::string, std::string>>(std::move(vars));
  return [shared](const char* name) -> const char* {
    auto it = shared->find(name);
    return it == shared->end() ? nullptr : it->second.c_str();
  };
}

TEST(StartupPathsTest, PerUserDataDirectoryUnlessStartupModeNamesAllUsers) {
  TempDir dir;
  std::string prog = dir / "bin";
  std::filesystem::create_directories(prog);
  StartupPaths xdg = ResolveStartupPaths(
      prog, dir.path(),
      FakeEnv({{"XDG_DATA_HOME", "/x/share"}, {"HOME", "/home/op"}, {"ALLUSERSPROFILE", "/all"}}));
  EXPECT_FALSE(xdg.startupMode);
  EXPECT_EQ(xdg.workDir, "/x/share/aldcontrol");
  EXPECT_EQ(xdg.tempDir, "/x/share/aldcontrol/tmp");
  EXPECT_EQ(xdg.configPath, "/x/share/aldcontrol/mirelk.conf");
  EXPECT_EQ(xdg.logTmpErr, "/x/share/aldcontrol/debug_tmp.err");

  // A relative XDG_DATA_HOME is not valid and is ignored.
  StartupPaths home = ResolveStartupPaths(
      prog, dir.path(), FakeEnv({{"XDG_DATA_HOME", "rel"}, {"HOME", "/home/op"}}));
  EXPECT_EQ(home.workDir, "/home/op/.local/share/aldcontrol");

  StartupPaths bare = ResolveStartupPaths(prog, dir.path(), FakeEnv({}));
  EXPECT_EQ(bare.workDir, dir.path());

  WriteFile(prog + "/AppStartup.ini", "");
  StartupPaths all = ResolveStartupPaths(
      prog, dir.path(), FakeEnv({{"HOME", "/home/op"}, {"ALLUSERSPROFILE", "/all"}}));
  EXPECT_TRUE(all.startupMode);
  EXPECT_EQ(all.workDir, "/all/Mirelk");
  EXPECT_EQ(all.logOut, "/all/Mirelk/debug.log");
  // Start-up mode without ALLUSERSPROFILE keeps the per-user directory.
  StartupPaths mode_only = ResolveStartupPaths(prog, dir.path(), FakeEnv({{"HOME", "/home/op"}}));
  EXPECT_TRUE(mode_only.startupMode);
  EXPECT_EQ(mode_only.workDir, "/home/op/.local/share/aldcontrol");
}

TEST(StartupPathsTest, FindsTheShippedTablesBesideOrAboveTheProgram) {
  TempDir dir;
  std::filesystem::create_directories(dir / "src/build/bin");
  std::filesystem::create_directories(dir / "src/data");
  // A "data" folder that is not ours is passed over.
  std::filesystem::create_directories(dir / "src/build/bin/data");
  WriteFile(dir / "src/data/vendor_short_name.tbl", "KA=K\n");
  StartupPaths p = ResolveStartupPaths(dir / "src/build/bin", dir.path(), FakeEnv({}));
  EXPECT_EQ(p.shippedData, std::filesystem::weakly_canonical(dir / "src/data").string());

  std::filesystem::create_directories(dir / "elsewhere");
  WriteFile(dir / "elsewhere/vendor_short_name.tbl", "KA=K\n");
  StartupPaths q = ResolveStartupPaths(dir / "src/build/bin", dir.path(),
                                       FakeEnv({{"ALDPANEL_DATA_DIR", dir / "elsewhere"}}));
  EXPECT_EQ(q.shippedData, std::filesystem::weakly_canonical(dir / "elsewhere").string());
}

TEST(StartupPathsTest, FirstStartSeedsTheWorkingDirectoryWithoutOverwritingEdits) {
  TempDir dir;
  std::filesystem::create_directories(dir / "ship/acf/RET/KA");
  std::filesystem::create_directories(dir / "ship/model_name_pool");
  WriteFile(dir / "ship/vendor_short_name.tbl", "KA=Shipped\n");
  WriteFile(dir / "ship/model_name_pool/KA_model_full_name.tbl", "M=Shipped\n");
  WriteFile(dir / "ship/acf/RET/KA/M.acf", "ACF");
  StartupPaths p = ResolveStartupPaths(
      dir / "bin", dir.path(),
      FakeEnv({{"XDG_DATA_HOME", dir / "xdg"}, {"ALDPANEL_DATA_DIR", dir / "ship"}}));
  ASSERT_TRUE(PrepareWorkDir(p));
  EXPECT_TRUE(std::filesystem::is_directory(p.tempDir));
  EXPECT_EQ(ReadFile(p.workDir + "/data/vendor_short_name.tbl"), "KA=Shipped\n");
  EXPECT_EQ(ReadFile(p.workDir + "/data/model_name_pool/KA_model_full_name.tbl"), "M=Shipped\n");
  EXPECT_EQ(ReadFile(p.workDir + "/acf/RET/KA/M.acf"), "ACF");
  // Not start-up mode: no configuration file is made here.
  EXPECT_FALSE(Exists(p.configPath));

  WriteFile(p.workDir + "/data/vendor_short_name.tbl", "KA=Edited\n");
  std::filesystem::remove(p.workDir + "/acf/RET/KA/M.acf");
  ASSERT_TRUE(PrepareWorkDir(p));
  EXPECT_EQ(ReadFile(p.workDir + "/data/vendor_short_name.tbl"), "KA=Edited\n");
  EXPECT_EQ(ReadFile(p.workDir + "/acf/RET/KA/M.acf"), "ACF");
  // Nothing was written into the shipped tree.
  EXPECT_EQ(ReadFile(dir / "ship/vendor_short_name.tbl"), "KA=Shipped\n");
}

TEST(StartupPathsTest, StartupModeCreatesTheDefaultConfigurationOnce) {
  TempDir dir;
  std::filesystem::create_directories(dir / "bin");
  WriteFile(dir / "bin/AppStartup.ini", "");
  StartupPaths p =
      ResolveStartupPaths(dir / "bin", dir.path(), FakeEnv({{"ALLUSERSPROFILE", dir / "all"}}));
  ASSERT_TRUE(PrepareWorkDir(p));
  EXPECT_EQ(p.workDir, dir / "all/Mirelk");
  EXPECT_EQ(ReadSettings(p.configPath).scanDepth, 9);
  ASSERT_EQ(SetConfigValue(p.configPath, kKeyDefaultDepth, "5", p.tempDir), kConfigOk);
  ASSERT_TRUE(PrepareWorkDir(p));
  EXPECT_EQ(ReadSettings(p.configPath).scanDepth, 5);
}

TEST(StartupPathsTest, AWorkingDirectoryThatCannotBeMadeIsReported) {
  TempDir dir;
  WriteFile(dir / "file", "");
  StartupPaths p = ResolveStartupPaths("", dir.path(), FakeEnv({{"XDG_DATA_HOME", dir / "file"}}));
  std::string why;
  EXPECT_FALSE(PrepareWorkDir(p, &why));
  EXPECT_NE(why.find(p.workDir), std::string::npos) << why;
}

// Writes through the standard streams the way the libraries' trace does.
void Say(const char* out, const char* err) {
  std::fputs(out, stdout);
  std::fputs(err, stderr);
}

TEST(DebugOutputTest, ModeThreeAppendsEachRunToTheLogWhileTheTemporaryLogHoldsTheLast) {
  TempDir dir;
  StartupPaths p = ResolveStartupPaths("", dir.path(), FakeEnv({{"XDG_DATA_HOME", dir / "x"}}));
  ASSERT_TRUE(PrepareWorkDir(p));
  for (const char* run : {"first\n", "second\n"}) {
    DebugOutput debug;
    ASSERT_EQ(debug.Apply(3, p), 3);
    Say(run, run);
    debug.Finish();
  }
  EXPECT_EQ(ReadFile(p.logOut), "first\nsecond\n");
  EXPECT_EQ(ReadFile(p.logErr), "first\nsecond\n");
  EXPECT_EQ(ReadFile(p.logTmpOut), "second\n");
}

TEST(DebugOutputTest, ModeTwoStartsFreshLogsAndModeZeroWritesNothing) {
  TempDir dir;
  StartupPaths p = ResolveStartupPaths("", dir.path(), FakeEnv({{"XDG_DATA_HOME", dir / "x"}}));
  ASSERT_TRUE(PrepareWorkDir(p));
  WriteFile(p.logOut, "old run\n");
  {
    DebugOutput debug;
    ASSERT_EQ(debug.Apply(2, p), 2);
    Say("new\n", "err\n");
    debug.Finish();
  }
  EXPECT_EQ(ReadFile(p.logOut), "new\n");
  EXPECT_EQ(ReadFile(p.logErr), "err\n");
  {
    DebugOutput debug;
    ASSERT_EQ(debug.Apply(0, p), 0);
    Say("lost\n", "lost\n");
    debug.Finish();
  }
  EXPECT_EQ(ReadFile(p.logOut), "new\n");
  EXPECT_FALSE(Exists(p.logTmpOut));
}

TEST(DebugOutputTest, LogsThatCannotBeOpenedLeaveOutputWhereItWas) {
  TempDir dir;
  StartupPaths p = ResolveStartupPaths("", dir.path(), FakeEnv({{"XDG_DATA_HOME", dir / "x"}}));
  // No working directory made: the log files cannot be created.
  DebugOutput debug;
  EXPECT_EQ(debug.Apply(2, p), 0);
  debug.Finish();
  EXPECT_FALSE(Exists(p.logOut));
}

// Makes a German locale in `dir` when the system has none installed but has
// the locale sources; true when LC_NUMERIC could be set to a comma locale.
bool SetCommaLocale(const std::string& dir) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) return true;
  }
  if (!Exists("/usr/share/i18n/locales/de_DE")) return false;
  std::string command = "localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 > /dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", dir.c_str(), 1);
  const bool set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  unsetenv("LOCPATH");
  return set;
}

TEST(DecimalSeparatorTest, FollowsTheNumericLocale) {
  EXPECT_EQ(DetectDecimalSeparator(), '.');
  EXPECT_EQ(WithDecimalSeparator("-2.5/10.0", ','), "-2,5/10,0");
  TempDir dir;
  if (!SetCommaLocale(dir.path())) GTEST_SKIP() << "no locale with a decimal comma to be had";
  EXPECT_EQ(DetectDecimalSeparator(), ',');
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(DetectDecimalSeparator(), '.');
}

}  // namespace
}  // namespace aldpanel
