// What the flat interface tells its callers beyond result numbers: table
// fields never read stay empty, the text of the last adapter, port or site
// error, and how far a download has got.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "aldlink/adapter/posix_platform.h"
#include "tests/aldglue/glue_fixture.h"

namespace gluetest {
namespace {

using TruthTest = GlueTest;

// One RET and one TMA that answer, and the same two refusing every
// procedure, so that nothing of their device data is ever read.
const char kReadAndRefused[] = R"(
[device]
generation = 2
type = 1
vendor = KA
serial = RETGOOD1

[subunit 1]
tilt-range = 2.0 12.0
tilt = 6.0
bearing = 30.0

[device]
generation = 2
type = 1
vendor = KA
serial = RETBAD2
fault.fail-reasons = 0x0B

[subunit 1]
tilt-range = 2.0 12.0
tilt = 6.0
bearing = 30.0

[device]
generation = 2
type = 2
vendor = CC
serial = TMAGOOD3

[subunit 1]
gain-range = 4.0 12.0 0.5

[device]
generation = 2
type = 2
vendor = CC
serial = TMABAD4
fault.fail-reasons = 0x0B

[subunit 1]
gain-range = 4.0 12.0 0.5
)";

// The entry whose serial number field reads `serial` and whose device type
// is `type` (an entry of a device that never answered has no serial).
EntryCopy EntryOf(const std::string& serial, const std::string& type) {
  const MIRELK_DATA* table = nullptr;
  ::testing::internal::CaptureStdout();
  table = getMirelkData();
  ::testing::internal::GetCapturedStdout();
  for (int i = 0; table != nullptr && i < getMirelkDataCount(); ++i) {
    if (serial == table[i].field[kMdRetSerial] && type == table[i].field[kMdDeviceType])
      return std::make_shared<const MIRELK_DATA>(table[i]);
  }
  return nullptr;
}

TEST_F(TruthTest, FieldsNeverReadStayEmptyWhileReadZeroesShow) {
  Site(kReadAndRefused);
  ASSERT_EQ(Scan(), 0);
  ASSERT_EQ(getMirelkDataCount(), 4);

  const EntryCopy good = EntryOf("RETGOOD1", "01");
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(Field(good, kMdMaxTilt), "120");
  EXPECT_EQ(Field(good, kMdMinTilt), "20");
  EXPECT_EQ(Field(good, kMdBearing), "300");
  // Read, and zero on the device: shown as the zero it is.
  EXPECT_EQ(Field(good, kMdMechTilt), "0");
  EXPECT_EQ(Field(good, kMdFreqBand), "000000000000");

  const EntryCopy goodTma = EntryOf("TMAGOOD3", "02");
  ASSERT_NE(goodTma, nullptr);
  EXPECT_EQ(Field(goodTma, kMdMaxGain), "48");
  EXPECT_EQ(Field(goodTma, kMdMinGain), "16");
  EXPECT_NE(Field(goodTma, kMdTmaType), "");

  // The refusing devices: every device data field empty, not "0".
  for (const char* type : {"01", "02"}) {
    const EntryCopy bad = EntryOf("", type);
    const std::string serial = type;
    ASSERT_NE(bad, nullptr) << serial;
    for (int f :
         {kMdAntennaModel, kMdAntennaSerial, kMdFreqBand,  kMdBeamWidth,      kMdAntennaGain,
          kMdMaxTilt,      kMdMinTilt,       kMdMaxGain,   kMdMinGain,        kMdInstallationDate,
          kMdInstallerId,  kMdSiteId,        kMdSectorId,  kMdBearing,        kMdMechTilt,
          kMdTmaType,      kMdTmaRxBand,     kMdTmaTxBand, kMdGainResolution, kMdCurrentTilt,
          kMdCurrentGain}) {
      EXPECT_EQ(Field(bad, f), "") << serial << " field " << f;
    }
    // What the object knows of it still shows.
    EXPECT_NE(Field(bad, kMdAddress), "");
    EXPECT_NE(Field(bad, kMdDeviceType), "");
  }
}

TEST_F(TruthTest, TheLastPortErrorIsToldAndCutToTheCallersRoom) {
  char text[256] = "stale";
  // A port named by the environment that does not exist: the search never
  // ran, so it is no "no devices".
  ald::PosixPlatform posix("/nonexistent-sysfs", "/nonexistent-dev");
  ald::SetAdapterPlatform(&posix);
  setenv("ALDLINK_PORT", "/nonexistent/ttyUSB7", 1);
  int result = 0;
  Quiet([&] { result = scanMain(2, 1); });
  unsetenv("ALDLINK_PORT");
  EXPECT_EQ(result, 84);
  const std::string expected = "cannot open /nonexistent/ttyUSB7: No such file or directory";
  EXPECT_EQ(getLastErrorText(text, sizeof text), static_cast<int>(expected.size()));
  EXPECT_EQ(std::string(text), expected);
  // Cut to the room given, terminated; the full length without room.
  char small[11];
  EXPECT_EQ(getLastErrorText(small, sizeof small), 10);
  EXPECT_STREQ(small, "cannot ope");
  EXPECT_EQ(getLastErrorText(nullptr, 0), static_cast<int>(expected.size()));

  // The next export that touches the adapter starts afresh.
  Site(kRet1);
  ASSERT_EQ(Scan(), 0);
  EXPECT_EQ(getLastErrorText(text, sizeof text), 0);
  EXPECT_STREQ(text, "");
}

TEST_F(TruthTest, DownloadProgressReachesTheImageSize) {
  Site(kRet1);
  ASSERT_EQ(Scan(), 0);
  EXPECT_EQ(getDownloadProgress(nullptr), kAldglueFailure);
  const std::string image = "/tmp/aldglue_truth_" + std::to_string(getpid()) + ".bin";
  FILE* f = std::fopen(image.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const std::string bytes(1000, '\x5A');
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::string list = image;
  const int address = AISGDevice::GetDevices()[0]->GetAddress();
  int result = -1;
  Quiet([&] { result = downloadSoftware(address, list.data()); });
  std::remove(image.c_str());
  EXPECT_EQ(result, 0);
  int sent = -1, size = -1;
  EXPECT_EQ(getDownloadProgress(&sent), 0);
  EXPECT_EQ(getDownloadFileSize(&size), 0);
  EXPECT_EQ(size, 1000);
  EXPECT_EQ(sent, 1000);
}

TEST_F(TruthTest, IntelHexDownloadProgressCountsTheFile) {
  Site(kRet2);
  ASSERT_EQ(Scan(), 0);
  const std::string image = "/tmp/aldglue_truth_" + std::to_string(getpid()) + ".hex";
  const std::string text = ":0400000001020304F2\n:0400040005060708DE\n:00000001FF\n";
  FILE* f = std::fopen(image.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(text.c_str(), f);
  std::fclose(f);
  std::string list = image;
  const int address = AISGDevice::GetDevices()[0]->GetAddress();
  setDownloadFileSize(0);
  int result = -1;
  Quiet([&] { result = downloadSoftware(address, list.data()); });
  std::remove(image.c_str());
  EXPECT_EQ(result, 0);
  int sent = -1, size = -1;
  EXPECT_EQ(getDownloadProgress(&sent), 0);
  EXPECT_EQ(getDownloadFileSize(&size), 0);
  EXPECT_EQ(size, static_cast<int>(text.size()));
  EXPECT_EQ(sent, size);
}

}  // namespace
}  // namespace gluetest
