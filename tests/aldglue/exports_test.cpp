// The library as a program that loads it sees it: every function found by
// its name, and no other name exported.
#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>

#include "aldglue/aldglue.h"
#include "gtest/gtest.h"

namespace gluetest {
namespace {

const std::set<std::string> kExports = {"scanMain",
                                        "refreshMain",
                                        "addDevice",
                                        "getMirelkData",
                                        "getMirelkDataCount",
                                        "getMirelkDataCountStr",
                                        "getLastError",
                                        "getLastErrorText",
                                        "setTilt",
                                        "getTilt",
                                        "selfTest",
                                        "resetSoftware",
                                        "calibrate",
                                        "clearActiveAlarms",
                                        "getAlarmStatus",
                                        "downloadSoftware",
                                        "configRET",
                                        "getGain",
                                        "getMode",
                                        "setGain",
                                        "setMode",
                                        "pollDevice",
                                        "selfTestTMA",
                                        "resetSoftwareTMA",
                                        "clearActiveAlarmsTMA",
                                        "downloadSoftwareTMA",
                                        "baseFunction",
                                        "baseFunctionTMA",
                                        "setDeviceData",
                                        "switchAISGVersion",
                                        "getPort",
                                        "getPowerValue",
                                        "getPinValue",
                                        "setPowerValue",
                                        "setPinValue",
                                        "closeComPort",
                                        "setProcessStatus",
                                        "getProcessStatus",
                                        "setDownloadFileSize",
                                        "getDownloadFileSize",
                                        "getDownloadProgress"};

TEST(Exports, EveryFunctionIsFoundByItsName) {
  ASSERT_EQ(kExports.size(), 41u);
  void* lib = dlopen(ALDGLUE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const std::string& name : kExports) {
    EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
  }
  // The name leads to the function itself.
  EXPECT_EQ(dlsym(lib, "scanMain"), reinterpret_cast<void*>(&scanMain));
  EXPECT_EQ(dlsym(lib, "setDeviceData"), reinterpret_cast<void*>(&setDeviceData));
  // Internal functions stay inside.
  EXPECT_EQ(dlsym(lib, "_ZN7aldglue10BuildTableEv"), nullptr);
  EXPECT_EQ(dlsym(lib, "_ZN7aldglue8GetStateEv"), nullptr);
  dlclose(lib);
}

TEST(Exports, NothingElseLeavesTheLibrary) {
  const std::string command = std::string("nm -D --defined-only ") + ALDGLUE_LIBRARY + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char address[64], kind[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, kind, name) == 3) names.insert(name);
  }
  const int status = pclose(pipe);
  if (status != 0 && names.empty()) GTEST_SKIP() << "nm is not available";
  EXPECT_EQ(names, kExports);
}

}  // namespace
}  // namespace gluetest
