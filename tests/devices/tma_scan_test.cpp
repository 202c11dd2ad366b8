// A bus scan of the demo site registers its TMAs as TMA device objects,
// counted, refreshed and listed; one TMA can also be added on its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/site_file.h"
#include "tests/devices/tma_sim.h"

#ifndef ALD_SITES_DIR
#define ALD_SITES_DIR "sites"
#endif

namespace tma {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class TmaScanTest : public ::testing::Test {
 protected:
  ~TmaScanTest() override {
    Registry::Clear();
    ald::SetAdapterPlatform(nullptr);
    std::fflush(stdout);
  }
  void Demo() {
    ald::sim::DeviceList devices;
    std::string error;
    ASSERT_TRUE(ald::sim::LoadSite(std::string(ALD_SITES_DIR) + "/demo.site", devices, error))
        << error;
    bus_ = std::make_unique<ald::sim::SimBus>(std::move(devices));
    platform_ = std::make_unique<ald::sim::SimPlatform>(*bus_);
    ald::SetAdapterPlatform(platform_.get());
  }
  static std::vector<TMADevice*> Tmas() {
    std::vector<TMADevice*> found;
    for (int i = 0; i < AISGDevice::GetNumberOfDevices(); ++i) {
      if (auto* t = dynamic_cast<TMADevice*>(AISGDevice::GetDevices()[i])) found.push_back(t);
    }
    return found;
  }

  ald::ScopedVirtualClock clock;

 private:
  std::unique_ptr<ald::sim::SimBus> bus_;
  std::unique_ptr<ald::sim::SimPlatform> platform_;
};

TEST_F(TmaScanTest, DemoScanRegistersBothTmasRefreshed) {
  Demo();
  CaptureStdout();
  EXPECT_EQ(AISGDevice::Scan(3, 1), 0);
  const std::string trace = GetCapturedStdout();
  EXPECT_EQ(trace.find("not supported"), std::string::npos);

  const std::vector<TMADevice*> tmas = Tmas();
  ASSERT_EQ(tmas.size(), 2u);
  const TMADevice* dual = nullptr;
  const TMADevice* single = nullptr;
  for (const TMADevice* t : tmas) (t->GetVendorID() == "CC" ? dual : single) = t;
  ASSERT_NE(dual, nullptr);
  ASSERT_NE(single, nullptr);

  EXPECT_EQ(dual->GetAISGVersion(), 2);
  EXPECT_EQ(dual->GetDeviceType(), 2);
  EXPECT_EQ(const_cast<TMADevice*>(dual)->GetNumberOfSubunits(), 2);
  EXPECT_EQ(dual->GetState(), AISGDevice::kStateOk);
  EXPECT_EQ(dual->GetSubunit(1)->curgain, 48);
  EXPECT_EQ(dual->GetSubunit(2)->curgain, 40);
  EXPECT_EQ(dual->GetSubunit(2)->rxband[0], 0x00);  // 1920.0 MHz = 0x4B00
  EXPECT_EQ(dual->GetSubunit(2)->rxband[1], 0x4B);

  EXPECT_EQ(single->GetVendorID(), ald::HString("PW"));
  EXPECT_EQ(single->GetAISGVersion(), 1);
  EXPECT_EQ(const_cast<TMADevice*>(single)->GetNumberOfSubunits(), 1);
  EXPECT_EQ(single->GetState(), AISGDevice::kStateOk);
  EXPECT_EQ(single->GetSubunit(1)->function, 1);
  EXPECT_EQ(single->GetSubunit(1)->antmodel, ald::HString(""));

  char info[256];
  TMADevice::GetTMAAddressInfo(info);
  char expected[64];
  std::snprintf(expected, sizeof expected, "(%d,%d),(%d,%d)", tmas[0]->GetAddress(),
                tmas[0]->GetNumberOfSubunits(), tmas[1]->GetAddress(),
                tmas[1]->GetNumberOfSubunits());
  EXPECT_STREQ(info, expected);
}

TEST_F(TmaScanTest, SingleTmaIsAddedAsATmaObject) {
  Demo();
  char vendor[] = "PW";
  char serial[] = "TM1107000815";
  AISGDevice* added = nullptr;
  CaptureStdout();
  added = AISGDevice::ScanSingleDevice(vendor, serial);
  const std::string trace = GetCapturedStdout();
  ASSERT_NE(added, nullptr);
  auto* tma = dynamic_cast<TMADevice*>(added);
  ASSERT_NE(tma, nullptr);
  EXPECT_NE(trace.find("Create TMA device, type:2, aisg:1, address:1!\n"), std::string::npos);
  EXPECT_EQ(tma->GetState(), AISGDevice::kStateOk);
  SNMPTMAData summary;
  EXPECT_EQ(tma->GetSNMPTMAData(1, summary), 0);
  EXPECT_STREQ(summary.uniqueid, "PWTM1107000815");
  EXPECT_STREQ(summary.function, "01");
  ASSERT_EQ(Tmas().size(), 1u);
}

}  // namespace
}  // namespace tma
