// Bench of the device database tests: a temporary database root named by
// ALDLINK_DBDIR (with its tmp/ and data/ folders), device objects filled
// member by member without a bus, and the registry opened for the tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

#include "aldlink/devices/devicedb.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"

namespace dbtest {

// Sets the identity members the way a scan and a refresh would.
template <typename Base>
struct Filled : Base {
  void Identity(int type, int generation, int addr, const std::string& id,
                const std::string& serial, int st) {
    this->devtype = type;
    this->aisgver = generation;
    this->address = addr;
    this->uidsize = static_cast<int>(id.size());
    std::memcpy(this->uid, id.data(), id.size());
    this->vendorid = ald::HString(id.substr(0, 2).c_str());
    this->productnumber = ald::HString("PN 1-2");
    this->sn = ald::HString(serial.c_str());
    this->hwver = ald::HString("HW 3.1");
    this->swver = ald::HString("2.04.11");
    this->state = st;
  }
  void Units(int count) {
    this->subunitcount = count;
    this->subunits = std::make_unique<std::remove_reference_t<decltype(this->subunits[0])>[]>(
        static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) this->subunits[i].antnumber = static_cast<int16_t>(i + 1);
  }
  auto& Unit(int n) { return this->subunits[n - 1]; }
  void SetState(int s) { this->state = s; }
  const ald::HString& Hw() const { return this->hwver; }
  const ald::HString& Sw() const { return this->swver; }
};

using Ret = Filled<RETDevice>;
using Tma = Filled<TMADevice>;

// The registry members that only the scan and the database use.
struct Registry : AISGDevice {
  using AISGDevice::AddDevice;
  static void Clear() {
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    theDeviceCount = 0;
  }
  static void SetDBVersion(int v) { theDBVersion = v; }
};

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Registry::Clear();
    std::string pattern = (std::filesystem::temp_directory_path() / "aldbXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    std::filesystem::create_directories(root + "/tmp");
    std::filesystem::create_directories(root + "/data");
    setenv("ALDLINK_DBDIR", root.c_str(), 1);
  }
  void TearDown() override {
    Registry::Clear();
    unsetenv("ALDLINK_DBDIR");
    std::error_code error;
    std::filesystem::remove_all(root, error);
  }

  std::string Working() const { return root + "/tmp/devices.dat"; }
  std::string Master() const { return root + "/data/devices.dat"; }

  static void Put(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Loads and keeps the trace; returns the result.
  int Load() {
    int result = 0;
    ::testing::internal::CaptureStdout();
    result = AISGDevice::LoadDevices();
    trace = ::testing::internal::GetCapturedStdout();
    return result;
  }
  bool Traced(const std::string& text) const { return trace.find(text) != std::string::npos; }

  static AISGDevice* At(int i) { return AISGDevice::GetDevices()[i]; }
  static const RETSubunit* RetUnit(int device, int n) {
    auto* r = dynamic_cast<RETDevice*>(At(device));
    return r == nullptr ? nullptr : r->GetSubunit(n);
  }
  static const TMASubunit* TmaUnit(int device, int n) {
    auto* t = dynamic_cast<TMADevice*>(At(device));
    return t == nullptr ? nullptr : t->GetSubunit(n);
  }

  std::string root;
  std::string trace;
};

}  // namespace dbtest
