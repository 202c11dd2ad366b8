// The jobs the benchmark times. Each job runs on whatever adapter platform
// and clock the process has installed, so the very same code is timed on the
// simulated line with the virtual clock (protocol time) and through a serial
// port in real time (wall time).
#pragma once

#include <string>

class RETDevice;

namespace aldbench {

// The AISG 2.0 multi-antenna RET of the demo site that the device jobs use.
constexpr const char kRetVendor[] = "KA";
constexpr const char kRetSerial[] = "MR4401203977";
// Search depth of the scans, as the command-line controller's default.
constexpr int kScanDepth = 4;
// Size of the software image of the download job.
constexpr int kImageBytes = 64 * 1024;

enum class JobKind { kScan, kTilt, kData, kDownload };

struct JobInfo {
  JobKind kind;
  const char* name;
  const char* what;
};

// The jobs in the order the benchmark runs them.
extern const JobInfo kJobs[4];
const JobInfo* FindJob(const std::string& name);

class Job {
 public:
  // `workDir` is a writable folder for the download image.
  Job(JobKind kind, std::string workDir) : kind_(kind), workDir_(std::move(workDir)) {}

  // What the job needs before it is timed: the RET registered with an
  // address, the image file written. False, with `error` set, when that
  // cannot be had.
  bool Prepare(std::string& error);
  // The timed part. True when the job did what it should; `detail` tells
  // what was seen.
  bool Run(std::string& detail);

 private:
  JobKind kind_;
  std::string workDir_;
  std::string imagePath_;
  RETDevice* ret_ = nullptr;
};

// Registers the demo site's AISG 2.0 RET through a single-device search
// (address assignment and a full read); null when it does not answer.
RETDevice* AddBenchRet();

// Writes `bytes` bytes of a fixed pattern to `path`.
bool WriteImage(const std::string& path, int bytes);

// The first `count` devices of a site file's text: everything before the
// (count+1)-th "[device]" line. The whole text when it has fewer.
std::string FirstDevices(const std::string& siteText, int count);

}  // namespace aldbench
