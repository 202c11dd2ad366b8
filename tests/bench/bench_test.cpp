// The benchmark's own parts: the site cutter of the scale runs, the line
// counter and its attribution of allocations, and the jobs on the virtual
// clock (a job that silently did nothing would make every figure meaningless).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/devices/aisgdevice.h"
#include "aldlink/procedures/aisgdeviceep.h"
#include "bench/alloc_count.h"
#include "bench/bench_jobs.h"
#include "bench/line_counter.h"
#include "sim/bus.h"
#include "sim/sim_platform.h"
#include "sim/site_file.h"
#include "support/clock.h"

namespace {

using aldbench::CountingPlatform;
using aldbench::FirstDevices;
using aldbench::Job;
using aldbench::JobKind;

const std::string kSites = ALDBENCH_SITES_DIR;

TEST(FirstDevices, CutsBeforeTheNextDeviceAndKeepsSubunitsAndComments) {
  const std::string site =
      "# [device] in a comment is no section\n"
      "[device]\ngeneration = 2\n[subunit 1]\ntilt = 1.0\n"
      "  [device]\ngeneration = 1\n"
      "[device]\ngeneration = 2\n";
  EXPECT_EQ(FirstDevices(site, 0), "# [device] in a comment is no section\n");
  EXPECT_EQ(FirstDevices(site, 1),
            "# [device] in a comment is no section\n"
            "[device]\ngeneration = 2\n[subunit 1]\ntilt = 1.0\n");
  EXPECT_EQ(FirstDevices(site, 2),
            "# [device] in a comment is no section\n"
            "[device]\ngeneration = 2\n[subunit 1]\ntilt = 1.0\n"
            "  [device]\ngeneration = 1\n");
  EXPECT_EQ(FirstDevices(site, 3), site);
  EXPECT_EQ(FirstDevices(site, 99), site);
}

TEST(FirstDevices, TheScaleSitesLoadWithTheAskedDeviceCount) {
  ald::sim::DeviceList all;
  std::string error;
  ASSERT_TRUE(ald::sim::LoadSite(kSites + "/bus24.site", all, error)) << error;
  ASSERT_EQ(all.size(), 24u);
  // The same text as the benchmark reads it.
  std::FILE* f = std::fopen((kSites + "/bus24.site").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string text;
  char buf[4096];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  for (int count : {1, 8, 24}) {
    ald::sim::DeviceList devices;
    ASSERT_TRUE(ald::sim::ParseSite(FirstDevices(text, count), devices, error)) << error;
    EXPECT_EQ(static_cast<int>(devices.size()), count);
  }
}

// A port that allocates inside its own calls, as a simulated bus may.
class AllocatingPort final : public ald::SerialPort {
 public:
  bool GetLineSettings(ald::LineSettings&) override { return true; }
  bool SetLineSettings(const ald::LineSettings&) override { return true; }
  bool GetTimeouts(ald::SerialTimeouts&) override { return true; }
  bool SetTimeouts(const ald::SerialTimeouts&) override { return true; }
  bool Purge(unsigned) override { return true; }
  bool Write(const char*, int length, int& written) override {
    Allocate();
    written = length > 2 ? length - 2 : length;
    return true;
  }
  bool Read(char* buffer, int length, int& got) override {
    Allocate();
    got = length < 3 ? length : 3;
    for (int i = 0; i < got; ++i) buffer[i] = 0x7E;
    return true;
  }

 private:
  static void Allocate() {
    void* volatile p = std::malloc(32);
    std::free(p);
  }
};

class FakePlatform final : public ald::AdapterPlatform {
 public:
  ald::BridgeChipLibrary& Chips() override { return *chips; }
  int ExplicitPortNumber() override { return 7; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 7; }
  std::unique_ptr<ald::SerialPort> OpenPort(int n) override {
    if (refuse || n != 7) return nullptr;
    return std::make_unique<AllocatingPort>();
  }
  ald::BridgeChipLibrary* chips = nullptr;
  bool refuse = false;
};

TEST(CountingPlatform, CountsFramesBytesAndOpensAndChargesTheLineWithItsAllocations) {
  FakePlatform inner;
  CountingPlatform counting(inner);
  EXPECT_EQ(counting.ExplicitPortNumber(), 7);

  inner.refuse = true;
  EXPECT_EQ(counting.OpenPort(7), nullptr);
  EXPECT_EQ(counting.counters.opens, 0);
  inner.refuse = false;

  auto port = counting.OpenPort(7);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(counting.counters.opens, 1);
  const int64_t lineAfterOpen = counting.counters.lineAllocations;

  int written = 0;
  ASSERT_TRUE(port->Write("\x7e\x01\x93\x8d\xb0\x7e", 6, written));
  EXPECT_EQ(written, 4);
  ASSERT_TRUE(port->Write("", 0, written));  // no bytes: no frame
  char in[8];
  int got = 0;
  ASSERT_TRUE(port->Read(in, 8, got));
  EXPECT_EQ(got, 3);

  EXPECT_EQ(counting.counters.frames, 1);
  EXPECT_EQ(counting.counters.bytesOut, 4);  // what the port took, not what was offered
  EXPECT_EQ(counting.counters.bytesIn, 3);
  if (aldbench::AllocationsCounted()) {
    EXPECT_GE(lineAfterOpen, 1);  // the port objects
    EXPECT_EQ(counting.counters.lineAllocations - lineAfterOpen, 3);

    // Outside the port, the same allocations are nobody's but the caller's.
    const int64_t before = aldbench::AllocationCount();
    void* volatile p = std::malloc(16);
    std::free(p);
    EXPECT_EQ(aldbench::AllocationCount() - before, 1);
    EXPECT_EQ(counting.counters.lineAllocations - lineAfterOpen, 3);
  }
}

// Each job on the demo site, in the process, on the virtual clock: the
// benchmark's protocol-time half.
class JobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/bench_test.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    work_ = dir;
    ClearRegistry();
  }
  void TearDown() override {
    ald::SetAdapterPlatform(nullptr);
    ClearRegistry();
    std::error_code ec;
    std::filesystem::remove_all(work_, ec);
  }
  static void ClearRegistry() {
    // A scan of an empty line empties the registry.
    ald::ScopedVirtualClock clock;
    ald::sim::SimBus bus({});
    ald::sim::SimPlatform sim(bus);
    ald::SetAdapterPlatform(&sim);
    ::testing::internal::CaptureStdout();
    AISGDevice::Scan(1, 1);
    ::testing::internal::GetCapturedStdout();
    ald::SetAdapterPlatform(nullptr);
  }

  struct Outcome {
    bool prepared = false;
    bool ran = false;
    std::string text;
    int64_t frames = 0;
    int64_t protocolUs = 0;
  };

  Outcome RunJob(JobKind kind, const std::string& site) {
    Outcome o;
    ald::ScopedVirtualClock clock;
    ald::sim::DeviceList devices;
    std::string error;
    EXPECT_TRUE(ald::sim::LoadSite(site, devices, error)) << error;
    ald::sim::SimBus bus(std::move(devices));
    ald::sim::SimPlatform sim(bus);
    CountingPlatform counting(sim);
    ald::SetAdapterPlatform(&counting);
    ::testing::internal::CaptureStdout();
    Job job(kind, work_);
    o.prepared = job.Prepare(o.text);
    if (o.prepared) {
      counting.counters = {};
      const int64_t t0 = clock.clock().NowUs();
      o.ran = job.Run(o.text);
      o.protocolUs = clock.clock().NowUs() - t0;
      o.frames = counting.counters.frames;
    }
    ::testing::internal::GetCapturedStdout();
    ald::SetAdapterPlatform(nullptr);
    return o;
  }

  std::string work_;
};

TEST_F(JobTest, ScanFindsEveryDemoDevice) {
  const Outcome o = RunJob(JobKind::kScan, kSites + "/demo.site");
  ASSERT_TRUE(o.prepared);
  EXPECT_TRUE(o.ran);
  EXPECT_EQ(o.text, "5 devices");
  EXPECT_EQ(AISGDevice::GetNumberOfDevices(), 5);
  EXPECT_GT(o.protocolUs, 10 * 1000000);  // a search and five full reads
}

TEST_F(JobTest, TiltAndDataJobsReachTheRetAndCheckWhatTheyWrote) {
  const Outcome tilt = RunJob(JobKind::kTilt, kSites + "/demo.site");
  ASSERT_TRUE(tilt.prepared) << tilt.text;
  EXPECT_TRUE(tilt.ran) << tilt.text;
  EXPECT_EQ(tilt.text, "set 0, read 80 (0)");
  // Two degrees at one degree per second, at least.
  EXPECT_GE(tilt.protocolUs, 2 * 1000000);

  ClearRegistry();
  const Outcome data = RunJob(JobKind::kData, kSites + "/demo.site");
  ASSERT_TRUE(data.prepared) << data.text;
  EXPECT_TRUE(data.ran) << data.text;
  // Five writes, each read back.
  EXPECT_GE(data.frames, 10);
}

TEST_F(JobTest, DownloadSendsTheWholeImage) {
  const Outcome o = RunJob(JobKind::kDownload, kSites + "/demo.site");
  ASSERT_TRUE(o.prepared) << o.text;
  EXPECT_TRUE(o.ran) << o.text;
  // 64 KiB in segments of at most 71 bytes, one frame each.
  EXPECT_GE(o.frames, aldbench::kImageBytes / 71);
  EXPECT_EQ(std::filesystem::file_size(work_ + "/bench-image.bin"),
            static_cast<uintmax_t>(aldbench::kImageBytes));
}

TEST_F(JobTest, ADeviceJobWithoutItsRetFailsInPreparationWithAReason) {
  // The 24-device line has no device with the demo RET's serial number.
  const Outcome o = RunJob(JobKind::kTilt, kSites + "/bus24.site");
  EXPECT_FALSE(o.prepared);
  EXPECT_NE(o.text.find("did not answer"), std::string::npos) << o.text;
  EXPECT_EQ(o.frames, 0);
}

}  // namespace
