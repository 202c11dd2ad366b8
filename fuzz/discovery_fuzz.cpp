// Discovery against whatever the line answers: XID scans, address
// assignment, address reset, the XID parameter and version queries, and the
// whole bus scan that turns found records into registered device objects.
// The input picks one operation and its arguments, then supplies one answer
// per command the controller sends (see fuzz_line.h).
#include <cstdint>
#include <cstring>
#include <vector>

#include "aldlink/devices/aisgdevice.h"
#include "aldlink/procedures/aisgdeviceep.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/fuzz_line.h"
#include "support/clock.h"

namespace {

// Enough for the address reset before a bus scan (25 commands) and a
// search that finds a few devices; beyond it the line falls silent, which
// ends every loop of the search quickly.
constexpr int kMaxExchanges = 96;

class DiscoveryEP : public AISGDEVICEEP {
 public:
  using AISGDEVICEEP::ScanDevice;
};

// The registry lives for the process; each run must start and end empty.
struct Registry : AISGDevice {
  static void Clear() {
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    theDeviceCount = 0;
  }
};

enum Operation {
  kScanAll,
  kBinarySearch,
  kScanAtAddress,
  kScanPattern,
  kScanKnown,
  kSetAddress,
  kAddAddress,
  kSetAllAddresses,
  kResetAll,
  kHdlcParams,
  kVersions,
  kRegistryScan,
  kRegistryScanSingle,
  kOperationCount
};

// A record as a scan could have left it, from the input.
void FillRecord(fuzz::FuzzInput& in, AISGDeviceParams& p) {
  const fuzz::Bytes uid = in.Bytes(sizeof p.devUniqueID);
  if (!uid.empty()) std::memcpy(p.devUniqueID, uid.data(), uid.size());
  p.devUniqueIDSize = static_cast<int>(in.Pick(sizeof p.devUniqueID + 1));
  p.devAddress = in.Byte();
  p.devAisgVersion = in.Pick(3);
  p.devType = in.Byte();
}

void Text(fuzz::FuzzInput& in, char* out, size_t capacity) {
  const fuzz::Bytes run = in.Bytes(capacity - 1);
  std::memset(out, 0, capacity);
  if (!run.empty()) std::memcpy(out, run.data(), run.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietStdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  ald::ScopedVirtualClock clock;
  Registry::Clear();

  const unsigned operation = in.Pick(kOperationCount);
  // Depth 1..3: deeper searches only repeat the same parsing at more levels.
  const int depth = 1 + static_cast<int>(in.Pick(3));
  const int address = in.Byte();
  AISGDeviceParams p;
  std::memset(&p, 0, sizeof p);
  std::vector<AISGDeviceParams> found;
  char uid[32];
  char mask[32];
  char vendor[8];
  char serial[24];

  fuzz::FuzzLine line(data, size, in, kMaxExchanges);
  {
    DiscoveryEP ep;
    ep.OpenConnection();
    switch (operation) {
      case kScanAll:
        ep.ScanAllDevice(&found, depth);
        break;
      case kBinarySearch:
        ep.BinarySearch(&found, depth);
        break;
      case kScanAtAddress:
        ep.ScanDevice(address, &p);
        break;
      case kScanPattern: {
        const int length = 1 + static_cast<int>(in.Pick(19));
        Text(in, uid, sizeof uid);
        Text(in, mask, sizeof mask);
        ep.ScanDevice(address, uid, mask, length, 1 + static_cast<int>(in.Pick(2)), &p);
        break;
      }
      case kScanKnown:
        Text(in, vendor, sizeof vendor);
        Text(in, serial, sizeof serial);
        ep.ScanDevice(vendor, serial, &p);
        break;
      case kSetAddress:
        FillRecord(in, p);
        ep.SetDeviceAddress(address, &p);
        break;
      case kAddAddress:
        FillRecord(in, p);
        ep.AddDeviceAddress(address, nullptr, nullptr, &p);
        break;
      case kSetAllAddresses: {
        found.resize(1 + in.Pick(4));
        for (AISGDeviceParams& r : found) {
          std::memset(&r, 0, sizeof r);
          FillRecord(in, r);
        }
        ep.SetAllDeviceAddress(&found);
        break;
      }
      case kResetAll:
        ep.ResetAllDeviceAddress();
        break;
      case kHdlcParams:
        ep.GetHdlcParams(address, &p);
        break;
      case kVersions:
        ep.GetAisgVersion(address, in.Byte(), &p);
        ep.Get3gppVersion(address, in.Byte(), &p);
        ep.GetExtSubVersion(address, in.Word(), &p);
        break;
      case kRegistryScan:
        // Only the engine's object holds the port during the search; the
        // device objects open their own afterwards.
        ep.StopConnection();
        AISGDevice::Scan(depth, in.Flag() ? 1 : 0);
        break;
      case kRegistryScanSingle:
        ep.StopConnection();
        Text(in, vendor, sizeof vendor);
        Text(in, serial, sizeof serial);
        AISGDevice::ScanSingleDevice(vendor, serial);
        break;
    }
    ep.StopConnection();
  }
  fuzz::CheckRecord(p);
  for (const AISGDeviceParams& r : found) fuzz::CheckRecord(r);
  Registry::Clear();
  return 0;
}
