#include "bench/bench_jobs.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "aldlink/devices/devicedata.h"
#include "aldlink/devices/retdevice.h"

namespace aldbench {

namespace {

// Field identifiers of the installation data the data job writes.
constexpr char kDataFields[] = {0x21, 0x22, 0x23, 0x24, 0x25, 0};
// The tilt the tilt job sets, in tenths of a degree (the demo RET's first
// antenna starts at 6.0 and moves at 1 degree per second).
constexpr int kTargetTilt = 80;

void CopyText(char* out, size_t capacity, const char* text) {
  std::snprintf(out, capacity, "%s", text);
}

}  // namespace

const JobInfo kJobs[4] = {
    {JobKind::kScan, "scan", "scan of the demo site (5 devices)"},
    {JobKind::kTilt, "tilt", "tilt set with read-back, AISG 2.0 RET"},
    {JobKind::kData, "data", "device data write of five fields"},
    {JobKind::kDownload, "download", "64 KiB software download, AISG 2.0 RET"},
};

const JobInfo* FindJob(const std::string& name) {
  for (const JobInfo& j : kJobs) {
    if (name == j.name) return &j;
  }
  return nullptr;
}

RETDevice* AddBenchRet() {
  char vendor[sizeof kRetVendor];
  char serial[sizeof kRetSerial];
  std::memcpy(vendor, kRetVendor, sizeof vendor);
  std::memcpy(serial, kRetSerial, sizeof serial);
  return dynamic_cast<RETDevice*>(AISGDevice::ScanSingleDevice(vendor, serial));
}

bool WriteImage(const std::string& path, int bytes) {
  std::vector<char> image(static_cast<size_t>(bytes));
  // Every byte value, flags and escapes included, as a real image has them.
  for (int i = 0; i < bytes; ++i)
    image[static_cast<size_t>(i)] = static_cast<char>(i * 7 + i / 256);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(image.data(), static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}

std::string FirstDevices(const std::string& siteText, int count) {
  int seen = 0;
  size_t pos = 0;
  while (pos < siteText.size()) {
    size_t end = siteText.find('\n', pos);
    if (end == std::string::npos) end = siteText.size();
    size_t first = siteText.find_first_not_of(" \t", pos);
    if (first != std::string::npos && first < end && siteText.compare(first, 8, "[device]") == 0) {
      if (seen == count) return siteText.substr(0, pos);
      ++seen;
    }
    pos = end + 1;
  }
  return siteText;
}

bool Job::Prepare(std::string& error) {
  if (kind_ == JobKind::kScan) return true;
  ret_ = AddBenchRet();
  if (ret_ == nullptr) {
    error = std::string("the RET ") + kRetVendor + kRetSerial + " did not answer";
    return false;
  }
  if (kind_ == JobKind::kDownload) {
    imagePath_ = workDir_ + "/bench-image.bin";
    if (!WriteImage(imagePath_, kImageBytes)) {
      error = "cannot write " + imagePath_;
      return false;
    }
  }
  return true;
}

bool Job::Run(std::string& detail) {
  char text[160];
  switch (kind_) {
    case JobKind::kScan: {
      AISGDevice::Scan(kScanDepth, 1);
      const int n = AISGDevice::GetNumberOfDevices();
      std::snprintf(text, sizeof text, "%d device%s", n, n == 1 ? "" : "s");
      detail = text;
      return n > 0;
    }
    case JobKind::kTilt: {
      const int set = ret_->SetTilt(1, kTargetTilt);
      int tilt = RETDevice::kNoTilt;
      const int get = ret_->GetTilt(1, tilt, 1);
      std::snprintf(text, sizeof text, "set %d, read %d (%d)", set, tilt, get);
      detail = text;
      return set == 0 && get == 0 && tilt == kTargetTilt;
    }
    case JobKind::kData: {
      DeviceData d{};
      CopyText(d.insdate, sizeof d.insdate, "261208");
      CopyText(d.insid, sizeof d.insid, "BN007");
      CopyText(d.baseid, sizeof d.baseid, "ENB-BENCH-0001");
      CopyText(d.sectorid, sizeof d.sectorid, "SEC-B1");
      d.bearing = 1234;
      const int r = ret_->SetDeviceData(1, kDataFields, d);
      std::snprintf(text, sizeof text, "result %d", r);
      detail = text;
      return r == 0;
    }
    case JobKind::kDownload: {
      std::vector<char> name(imagePath_.begin(), imagePath_.end());
      name.push_back(0);
      const int r = ret_->DownloadSoftware(name.data());
      std::snprintf(text, sizeof text, "result %d", r);
      detail = text;
      return r == 0;
    }
  }
  return false;
}

}  // namespace aldbench
