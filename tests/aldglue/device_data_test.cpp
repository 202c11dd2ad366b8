// setDeviceData: the request record crosses the interface by value, its kind
// picks the RET or TMA path, every device at the address of that class is
// written, and each step leaves its trace line.
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "tests/aldglue/glue_fixture.h"

namespace gluetest {
namespace {

class DeviceDataTest : public GlueTest {
 protected:
  void SetUp() override {
    GlueTest::SetUp();
    Site(std::string(kRet1) + kRet2 + kTma1 + kTma2);
    ASSERT_EQ(Scan(), 0);
    ASSERT_EQ(AISGDevice::GetNumberOfDevices(), 4);
  }
  // The address of the registered device with this unique ID's serial.
  int AddressOf(const char* serial) {
    for (int i = 0; i < AISGDevice::GetNumberOfDevices(); ++i) {
      AISGDevice* d = AISGDevice::GetDevices()[i];
      if (d->GetSerialNumber() == ald::HString(serial)) return d->GetAddress();
    }
    ADD_FAILURE() << serial;
    return -1;
  }
  // A request that writes the sector ID (0x24) and the bearing (0x25).
  static ALDGLUE_DEVICE_DATA_REQUEST Request(int kind, int address, int subunit, const char* sector,
                                             int bearing) {
    ALDGLUE_DEVICE_DATA_REQUEST r{};
    r.kind = kind;
    r.address = address;
    r.subunit = subunit;
    r.fields = "\x24\x25";
    std::snprintf(r.data.sectorid, sizeof r.data.sectorid, "%s", sector);
    r.data.bearing = static_cast<uint16_t>(bearing);
    return r;
  }
  int Set(const ALDGLUE_DEVICE_DATA_REQUEST& r, std::string* trace = nullptr) {
    int result = 0;
    std::string out = Quiet([&] { result = setDeviceData(r); });
    if (trace != nullptr) *trace = out;
    return result;
  }
  static std::string Lines(const std::string& trace, const std::string& start) {
    std::string kept;
    size_t at = 0;
    while (at < trace.size()) {
      size_t end = trace.find('\n', at);
      if (end == std::string::npos) end = trace.size() - 1;
      std::string line = trace.substr(at, end - at + 1);
      if (line.rfind(start, 0) == 0) kept += line;
      at = end + 1;
    }
    return kept;
  }
};

TEST_F(DeviceDataTest, Kind1WritesTheRetAndTracesEveryStep) {
  const int address = AddressOf("0000RE0912004471");
  std::string trace;
  EXPECT_EQ(Set(Request(1, address, 1, "S7", 2250), &trace), 0);
  EXPECT_EQ(getLastError(), 0);
  EXPECT_EQ(Field(Entry(address, 1), kMdSectorId), "S7");
  EXPECT_EQ(Field(Entry(address, 1), kMdBearing), "2250");

  std::string expected = "address=[" + std::to_string(address) + "]\n";
  EXPECT_EQ(Lines(trace, "address="), expected);
  std::string walk;
  for (int i = 0; i < 4; ++i) {
    walk += "devices[" + std::to_string(i) + "]->GetAddress() => " +
            std::to_string(AISGDevice::GetDevices()[i]->GetAddress()) + " \n";
  }
  EXPECT_EQ(Lines(trace, "devices["), walk);
  int index = 0;
  while (AISGDevice::GetDevices()[index]->GetAddress() != address) ++index;
  const std::string at =
      "devices[" + std::to_string(index) + "]->GetAddress() => " + std::to_string(address) + " \n";
  EXPECT_EQ(Lines(trace, "match "), "match " + at);
  EXPECT_EQ(Lines(trace, "(typeid"), "(typeid(*devices[i]) == typeid(RETDevice)) " + at);
}

TEST_F(DeviceDataTest, Kind17TakesTheRetPathForOneAntennaOfAMultiRet) {
  const int address = AddressOf("MR4401203977");
  EXPECT_EQ(Set(Request(17, address, 2, "SEC-B2", 455)), 0);
  EXPECT_EQ(Field(Entry(address, 2), kMdSectorId), "SEC-B2");
  EXPECT_EQ(Field(Entry(address, 2), kMdBearing), "455");
  // The other antennas keep theirs.
  EXPECT_EQ(Field(Entry(address, 1), kMdSectorId), "SEC-A1");
}

TEST_F(DeviceDataTest, Kinds2And16TakeTheTmaPath) {
  const int aisg1 = AddressOf("TM1107000815");
  const int aisg2 = AddressOf("TD24090011");
  std::string trace;
  EXPECT_EQ(Set(Request(2, aisg1, 1, "S4", 3300), &trace), 0);
  EXPECT_NE(trace.find("== typeid(TMADevice)) "), std::string::npos);
  EXPECT_EQ(Field(Entry(aisg1, 1), kMdSectorId), "S4");
  EXPECT_EQ(Set(Request(16, aisg2, 2, "SEC-C2", 100)), 0);
  EXPECT_EQ(Field(Entry(aisg2, 2), kMdSectorId), "SEC-C2");
  EXPECT_EQ(Field(Entry(aisg2, 2), kMdBearing), "100");
  EXPECT_EQ(getLastError(), 0);
}

TEST_F(DeviceDataTest, APathOfTheWrongClassWritesNothing) {
  const int ret = AddressOf("0000RE0912004471");
  const int tma = AddressOf("TD24090011");
  std::string trace;
  EXPECT_EQ(Set(Request(2, ret, 1, "XX", 0), &trace), kAldglueFailure);
  EXPECT_EQ(getLastError(), kAldglueFailure);
  EXPECT_NE(trace.find("match devices["), std::string::npos);
  EXPECT_EQ(trace.find("(typeid"), std::string::npos);
  EXPECT_EQ(Set(Request(1, tma, 1, "XX", 0)), kAldglueFailure);
  EXPECT_EQ(Set(Request(1, 99, 1, "XX", 0)), kAldglueFailure);
  EXPECT_EQ(Field(Entry(ret, 1), kMdSectorId), "S2");
  EXPECT_EQ(Field(Entry(tma, 1), kMdSectorId), "SEC-A2");
}

TEST_F(DeviceDataTest, Kind3IsRefusedWithoutTouchingTheLastResult) {
  const int ret = AddressOf("0000RE0912004471");
  EXPECT_EQ(Set(Request(1, ret, 1, "S5", 0)), 0);
  std::string trace;
  EXPECT_EQ(Set(Request(3, ret, 1, "S6", 0), &trace), kAldglueFailure);
  EXPECT_EQ(getLastError(), 0);
  EXPECT_EQ(trace, "");
  EXPECT_EQ(Field(Entry(ret, 1), kMdSectorId), "S5");
}

TEST_F(DeviceDataTest, TheRecordCrossesAFunctionBoundByNameByValue) {
  // Bound by name, as a program that loads the library does.
  void* lib = dlopen(ALDGLUE_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto bound = reinterpret_cast<int (*)(ALDGLUE_DEVICE_DATA_REQUEST)>(dlsym(lib, "setDeviceData"));
  ASSERT_NE(bound, nullptr);
  const int address = AddressOf("MR4401203977");
  ALDGLUE_DEVICE_DATA_REQUEST r = Request(17, address, 3, "LAST-FIELD", 3599);
  // The last member of the record must arrive too.
  r.fields = "\x24\x25\x01";
  std::snprintf(r.data.antmodel, sizeof r.data.antmodel, "%s", "MODEL-Z");
  int result = -1;
  Quiet([&] { result = bound(r); });
  dlclose(lib);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Field(Entry(address, 3), kMdSectorId), "LAST-FIELD");
  EXPECT_EQ(Field(Entry(address, 3), kMdBearing), "3599");
  EXPECT_EQ(Field(Entry(address, 3), kMdAntennaModel), "MODEL-Z");
}

}  // namespace
}  // namespace gluetest
