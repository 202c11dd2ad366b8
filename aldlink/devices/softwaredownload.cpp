// Loading new software into one device, file after file, and bringing the
// device object back in step afterwards.
//
// A device restarts after every image it takes, may come back under the
// other protocol generation, and loses its HDLC address on the way; the
// pauses below are the times the devices need before they answer again.
// Whatever happened to the files, a device whose link came up is searched
// for again, re-addressed and refreshed, so the object never keeps a stale
// generation or state.
#include <cstdio>
#include <cstring>

#include "aldlink/devices/aisgdevice.h"
#include "support/clock.h"
#include "support/sleep.h"

namespace {

// At most this many files go to a device in one call.
constexpr int kMaxFiles = 5;
// Block and segment size of the binary image: 256 segments a block.
constexpr int kBlockSize = 17664;
constexpr int kSegmentSize = 69;

constexpr int kResultNoLink = 89;

// Splits `list` at commas, in place (each comma becomes a zero byte), into
// at most `max` non-empty names; empty pieces are skipped. Returns the count.
int SplitFileList(char* list, char** names, int max) {
  int count = 0;
  char* p = list;
  while (p != nullptr && *p != 0 && count < max) {
    while (*p == ',') ++p;
    if (*p == 0) break;
    names[count++] = p;
    while (*p != 0 && *p != ',') ++p;
    if (*p == ',') *p++ = 0;
  }
  return count;
}

}  // namespace

int AISGDevice::DownloadSoftware(char* fileNames) {
  std::printf("AISGDevice::DownloadSoftware()\n");
  const std::time_t start = ald::GetClock().CalendarTime();
  DevResult result = 0;
  bool generationChanged = false;
  AISGDEVICEEP ep;
  AISGDeviceParams params{};

  char* names[kMaxFiles] = {};
  const int count = SplitFileList(fileNames, names, kMaxFiles);
  // Every file is read and checked before the bus is touched: a file that
  // cannot be used would otherwise cost the device a restart and its
  // address for nothing, and be reported as a device that did not answer.
  int kinds[kMaxFiles] = {};
  for (int i = 0; i < count; ++i) {
    kinds[i] = AISGDEVICEEP::CheckSoftwareFile(names[i]);
    if (kinds[i] == AISGDEVICEEP::kSoftwareFileUnusable) {
      std::printf("DownloadSoftware refused: nothing was sent\n");
      errorcodes = ald::HString("");
      return kDevResultFileError;
    }
  }

  for (int i = 0; i < count; ++i) {
    char* fileName = names[i];
    std::printf("Start download file:%s\n", fileName);
    if (OpenConnection(ep, params, 1, 0) != 0) return kResultNoLink;
    if (aisgver == 1 && vendorid != "AN") ep.EnableDevice(address, &params);

    const int loaded =
        kinds[i] == AISGDEVICEEP::kSoftwareFileHex
            ? ep.HexSoftwareDownload(address, aisgver, fileName, &params)
            : ep.BinSoftwareDownload(address, aisgver, kBlockSize, kSegmentSize, fileName, &params);
    if (loaded != 0) {
      // Mapped now: the restart below reuses the record, and its answer
      // would replace the device's reason codes.
      std::printf("DownloadSoftware failed\n");
      AISGReturnCodeMap(loaded, reinterpret_cast<const char*>(params.devRcuCodes), result,
                        errorcodes);
    }
    ald::sleep(3);
    if (aisgver == 1) {
      // An AISG 1 device starts its new software only when told to.
      ep.ResetSoftware(address, 1, &params);
      ald::sleep(5);
      if (vendorid == "AR") ald::sleep(7);
    } else if (aisgver == 2) {
      ald::sleep(4);
      if (vendorid == "AN" && SearchKnownDevice(ep, vendorid, sn, &params) != 0) {
        std::printf("AISG 2 failed to respond scan. try to reset!\n");
        ep.ResetSoftware(address, aisgver, &params);
        ald::sleep(3);
      }
    }
    // Closed for every generation: a link left open here would hold the
    // port through the re-identification below.
    CloseConnection(ep);

    if (loaded != 0) break;
  }

  // The device may answer under another generation now, and it has lost its
  // address: find it by its identity and give the address back.
  ep.OpenConnection();
  if (ep.ScanDevice(vendorid, sn, &params) == 0) {
    if (params.devAisgVersion != aisgver) generationChanged = true;
    if (params.devAisgVersion == 1 || params.devAisgVersion == 2) aisgver = params.devAisgVersion;
  }
  // The search's broadcast reset took the address of every AISG 1 device on
  // the bus, not only this one's; taken after the generation is settled, so
  // a device that came back as AISG 1 is among them.
  ResetAllDeviceAdress(ep);
  params.devUniqueIDSize = uidsize;
  std::memset(params.devUniqueID, 0, sizeof params.devUniqueID);
  std::memcpy(params.devUniqueID, uid, static_cast<size_t>(uidsize));
  ep.SetDeviceAddress(address, &params);
  ep.StopConnection();

  Refresh();
  if (generationChanged) SaveDevices(1);
  std::printf("Time to download software: %.1f secs\n",
              static_cast<double>(ald::GetClock().CalendarTime() - start));
  return result;
}
