// How far the software image being sent has got, for whoever shows
// progress to the operator (the flat interface publishes it in a word that
// other processes read). Reported after every segment the device accepted.
#pragma once

namespace ald {

// Receives the bytes of the image sent so far and the image's size.
using DownloadProgressSink = void (*)(int bytesSent, int imageSize);

// Installs `sink` (null: none) for the whole process.
void SetDownloadProgressSink(DownloadProgressSink sink);

// Passes the numbers on to the sink, if any.
void ReportDownloadProgress(long long bytesSent, long long imageSize);

}  // namespace ald
