// Software download end to end: the engine over the simulated line into a
// simulated device, which restarts with the new software afterwards.
#include <string>

#include "aldlink/adapter/sim_bridge_chip.h"
#include "sim/bus.h"
#include "sim/sim_ald.h"
#include "sim/sim_line.h"
#include "support/clock.h"
#include "tests/download/download_test_util.h"

namespace dltest {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr int kAddress = 5;

std::unique_ptr<ald::sim::SimAld> MakeRet(int generation) {
  auto d = std::make_unique<ald::sim::SimAld>();
  d->generation = generation;
  d->aisgVersion = generation;
  d->deviceType = 1;
  d->uniqueId = std::string("KA") + std::string(5, '\0') + "000012345678";
  d->productNumber = "RCU-100";
  d->serialNumber = "000012345678";
  d->softwareVersion = "SW1.0.3";
  d->address = kAddress;
  return d;
}

// The simulated line with a tap on what the controller writes: the
// information field of every I-frame, unescaped.
class TappedPlatform final : public ald::AdapterPlatform {
 public:
  explicit TappedPlatform(ald::sim::SimBus& bus) : bus_(bus) {}
  ald::BridgeChipLibrary& Chips() override { return chips_; }
  int ExplicitPortNumber() override { return 1; }
  int LookupPortNumber(uint16_t, uint16_t, const char*) override { return 1; }
  std::unique_ptr<ald::SerialPort> OpenPort(int) override {
    return std::make_unique<Port>(bus_, infos);
  }
  std::vector<Bytes> infos;

 private:
  class Port final : public ald::SerialPort {
   public:
    Port(ald::sim::SimBus& bus, std::vector<Bytes>& infos) : line_(bus), infos_(infos) {}
    bool GetLineSettings(ald::LineSettings& s) override { return line_.GetLineSettings(s); }
    bool SetLineSettings(const ald::LineSettings& s) override { return line_.SetLineSettings(s); }
    bool GetTimeouts(ald::SerialTimeouts& t) override { return line_.GetTimeouts(t); }
    bool SetTimeouts(const ald::SerialTimeouts& t) override { return line_.SetTimeouts(t); }
    bool Purge(unsigned flags) override { return line_.Purge(flags); }
    bool Read(char* buffer, int length, int& got) override {
      return line_.Read(buffer, length, got);
    }
    bool Write(const char* data, int length, int& written) override {
      // Flags, address, control ... FCS, flag; one frame per write.
      Bytes raw;
      for (int i = 1; i + 1 < length; ++i) {
        if (data[i] == 0x7D && i + 2 < length) {
          raw.push_back(static_cast<uint8_t>(data[++i] ^ 0x20));
        } else {
          raw.push_back(static_cast<uint8_t>(data[i]));
        }
      }
      if (raw.size() >= 4 && (raw[1] & 0x01) == 0)
        infos_.emplace_back(raw.begin() + 2, raw.end() - 2);
      return line_.Write(data, length, written);
    }

   private:
    ald::sim::SimLine line_;
    std::vector<Bytes>& infos_;
  };
  ald::sim::SimBus& bus_;
  ald::SimBridgeChip chips_;
};

// One simulated RET on the line, an engine with the link to it up.
class SimDownloadTest : public ::testing::Test {
 protected:
  void Start(std::unique_ptr<ald::sim::SimAld> d) {
    device = d.get();
    ald::sim::DeviceList list;
    list.push_back(std::move(d));
    bus = std::make_unique<ald::sim::SimBus>(std::move(list));
    platform = std::make_unique<TappedPlatform>(*bus);
    ald::SetAdapterPlatform(platform.get());
    CaptureStdout();
    ep.OpenConnection();
    const int linked = ep.SetSNRM(kAddress);
    GetCapturedStdout();
    ASSERT_EQ(linked, 0);
  }
  void TearDown() override {
    ep.StopConnection();
    ald::SetAdapterPlatform(nullptr);
  }
  // The image bytes of the segment messages that went to the device.
  Bytes Sent(uint8_t code, size_t header) const {
    Bytes image;
    for (const Bytes& m : platform->infos) {
      const size_t at = header == 5 ? 1 : 0;
      if (m.size() > header && m[at] == code)
        image.insert(image.end(), m.begin() + header, m.end());
    }
    return image;
  }
  // The device took the image: it restarted (it then waits to be given an
  // address again) and speaks `generation` with its new software version.
  void ExpectRestartedAs(int generation, const std::string& version) {
    EXPECT_GT(device->restartUntilUs, 0);
    EXPECT_EQ(device->generation, generation);
    EXPECT_EQ(device->softwareVersion, version);
  }

  ald::ScopedVirtualClock clock;
  TempDir dir;
  AISGDEVICEEP ep;
  AISGDeviceParams p{};
  ald::sim::SimAld* device = nullptr;
  std::unique_ptr<ald::sim::SimBus> bus;
  std::unique_ptr<TappedPlatform> platform;
};

TEST_F(SimDownloadTest, Aisg2DeviceTakes64KiBAndComesBackAsAisg1) {
  auto d = MakeRet(2);
  d->generationAfterDownload = 1;
  d->softwareVersionAfterDownload = "SW1.1.0";
  Start(std::move(d));
  std::string file = dir.Write("image.bin", Image(65536));
  std::string name = "RCU-100";
  CaptureStdout();
  const int result = ep.SoftwareDownload(kAddress, 2, name.data(), file.data(), &p);
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(device->DownloadedBytes(), 65536);
  EXPECT_EQ(Sent(0x41, 3), Image(65536));
  // 923 segments of 71 bytes and one of 3.
  EXPECT_EQ(CountLines(out, "block #: 0, segment #: 923, datasize: 4"), 1);
  EXPECT_EQ(CountLines(out, "Download Software Done"), 1);
  ExpectRestartedAs(1, "SW1.1.0");
}

TEST_F(SimDownloadTest, Aisg1DeviceTakesBlocksAndComesBackAsAisg2) {
  auto d = MakeRet(1);
  d->generationAfterDownload = 2;
  d->softwareVersionAfterDownload = "SW2.0.0";
  Start(std::move(d));
  std::string file = dir.Write("image.bin", Image(20000));
  std::string name = "RCU-100";
  CaptureStdout();
  const int result = ep.SoftwareDownload(kAddress, 1, name.data(), file.data(), &p);
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(device->DownloadedBytes(), 20000);
  EXPECT_EQ(Sent(0x21, 5), Image(20000));
  EXPECT_EQ(CountLines(out, "block #: 1, block size: 2336"), 1);
  EXPECT_EQ(CountLines(out, "DownloadEnd=0"), 1);
  ExpectRestartedAs(2, "SW2.0.0");
}

TEST_F(SimDownloadTest, HexFileToAnAisg2Device) {
  auto d = MakeRet(2);
  d->softwareVersionAfterDownload = "SW1.2.0";
  Start(std::move(d));
  // Two data records of 16 bytes: 21 bytes each on the wire.
  std::string file = dir.Write("image.hex",
                               ":10010000214601360121470136007EFE09D2190140\n"
                               ":100110002146017E17C20001FF5F16002148011928\n"
                               ":00000001FF\n");
  CaptureStdout();
  const int result = ep.HexSoftwareDownload(kAddress, 2, file.data(), &p);
  GetCapturedStdout();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(device->DownloadedBytes(), 42);
  ExpectRestartedAs(2, "SW1.2.0");
}

TEST_F(SimDownloadTest, ARefusedStartReturnsTheReasonCodes) {
  Start(MakeRet(1));
  std::string file = dir.Write("image.bin", Image(1000));
  // Every procedure from now on answers FAIL.
  device->faults.failReasons = {0x05};
  const int descriptors = OpenDescriptors();
  std::string name;
  CaptureStdout();
  const int result = ep.SoftwareDownload(kAddress, 1, name.data(), file.data(), &p);
  GetCapturedStdout();
  EXPECT_EQ(result, 11);
  EXPECT_EQ(p.devRcuCodesSize, 2);
  EXPECT_EQ(p.devRcuCodes[1], 0x05);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace dltest
