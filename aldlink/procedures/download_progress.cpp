#include "aldlink/procedures/download_progress.h"

#include <atomic>
#include <climits>

namespace ald {

namespace {
std::atomic<DownloadProgressSink> sink{nullptr};

int Clamp(long long v) {
  return v < 0 ? 0 : v > INT_MAX ? INT_MAX : static_cast<int>(v);
}
}  // namespace

void SetDownloadProgressSink(DownloadProgressSink s) {
  sink.store(s);
}

void ReportDownloadProgress(long long bytesSent, long long imageSize) {
  if (DownloadProgressSink s = sink.load()) s(Clamp(bytesSent), Clamp(imageSize));
}

}  // namespace ald
