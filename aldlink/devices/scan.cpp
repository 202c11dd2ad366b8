// Bus scan: turning what discovery finds into registered device objects,
// with the addresses of AISG 2 devices handed out here when discovery did
// not assign them, and adding one device found by its vendor code and
// serial number.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "support/clock.h"

namespace {

// Addresses handed to AISG 2 devices by a scan without assignment start
// above the AISG 1 addresses, counted as at most this.
constexpr int kMaxAisg1Address = 96;
constexpr int kMinAddress = 1;
constexpr int kMaxAddress = 128;

constexpr int kTypeRet = 0x01;
constexpr int kTypeMultiRet = 0x11;
constexpr int kTypeTma = 0x02;
constexpr int kTypeTmaAisg2 = 0x10;
constexpr int kTypeRas = 0x20;
constexpr int kTypeRab = 0x21;

bool ValidGeneration(int g) {
  return g == 1 || g == 2;
}
bool ValidAddress(int a) {
  return a >= kMinAddress && a <= kMaxAddress;
}

// The unique ID bytes of a record as a text (they end at the first zero).
void UidText(const AISGDeviceParams& record,
             char (&out)[sizeof AISGDeviceParams{}.devUniqueID + 1]) {
  const int n = std::clamp(record.devUniqueIDSize, 0, static_cast<int>(sizeof record.devUniqueID));
  std::memcpy(out, record.devUniqueID, static_cast<size_t>(n));
  out[n] = 0;
}

int UidSize(const AISGDeviceParams& record) {
  return std::clamp(record.devUniqueIDSize, 0, AISGDevice::kUidBytes);
}

// The first address from `from` up to 128 that `held` does not name, else
// the lowest free one below it; 0 when every address is held.
template <typename Held>
int FreeAddress(int from, Held held) {
  for (int a = std::max(from, kMinAddress); a <= kMaxAddress; ++a) {
    if (!held(a)) return a;
  }
  for (int a = kMinAddress; a < from && a <= kMaxAddress; ++a) {
    if (!held(a)) return a;
  }
  return 0;
}

}  // namespace

AISGDevice* AISGDevice::CreateDevice(const AISGDeviceParams& record) {
  const int type = record.devType;
  const int generation = record.devAisgVersion;
  const char* id = reinterpret_cast<const char*>(record.devUniqueID);
  switch (type) {
    case kTypeRet:
    case kTypeMultiRet:
      std::printf("Create RET device, type:%d, aisg:%d, address:%d!\n", type, generation,
                  record.devAddress);
      return new RETDevice(type, generation, record.devAddress, id, UidSize(record));
    case kTypeTma:
    case kTypeTmaAisg2:
      std::printf("Create TMA device, type:%d, aisg:%d, address:%d!\n", type, generation,
                  record.devAddress);
      return new TMADevice(type, generation, record.devAddress, id, UidSize(record));
    case kTypeRas:
      std::printf("RAS not supported!\n");
      return nullptr;
    case kTypeRab:
      std::printf("RAB not supported!\n");
      return nullptr;
    default:
      std::printf("Unknown device type:%d!\n", type);
      return nullptr;
  }
}

int AISGDevice::Scan(int depth, int a) {
  std::printf("AISGDevice::Scan(depth = %d, a = %d)\n", depth, a);
  const std::time_t start = ald::GetClock().CalendarTime();

  if (theDeviceCount > 0) {
    const int old = theDeviceCount;
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    std::printf("Delete %d old device objects ok!\n", old);
    theDeviceCount = 0;
  }

  std::vector<AISGDeviceParams> found;
  AISGDEVICEEP ep;
  ep.OpenConnection();
  if (a != 0) {
    ep.ScanAllDevice(&found, depth);
  } else {
    ep.BinarySearch(&found, depth);
    // The AISG 1 devices keep the addresses they have; the AISG 2 devices
    // get the next ones. They receive them whenever a link to them is
    // opened, so nothing is sent here.
    int next = 0;
    for (const AISGDeviceParams& r : found) {
      if (r.devAisgVersion == 1) next = std::max(next, r.devAddress);
    }
    next = std::min(next, kMaxAisg1Address);
    std::printf("max address assigned: %d\n", next);
    // Counting on from 96 can run into AISG 1 devices above it; two devices
    // under one address would answer together and neither be reachable.
    bool given[kMaxAddress + 1] = {};
    auto held = [&](int address) {
      if (given[address]) return true;
      for (const AISGDeviceParams& r : found) {
        if (r.devAisgVersion == 1 && r.devAddress == address) return true;
      }
      return false;
    };
    for (AISGDeviceParams& r : found) {
      if (r.devAisgVersion != 2) continue;
      // 0 when nothing is free: the record is then skipped as a bad address.
      r.devAddress = FreeAddress(next + 1, held);
      given[r.devAddress] = true;
      if (r.devAddress > next) next = r.devAddress;
      char text[sizeof r.devUniqueID + 1];
      UidText(r, text);
      std::printf("device:%s , assigned address: %d\n", text, r.devAddress);
    }
  }
  const bool missed = ep.SearchMayHaveMissed();
  ep.StopConnection();
  std::printf("AISGDevice::Scan() find %d devices!\n", static_cast<int>(found.size()));

  for (const AISGDeviceParams& r : found) {
    if (!ValidGeneration(r.devAisgVersion)) {
      std::printf("Bad AISG version:%d\n", r.devAisgVersion);
      continue;
    }
    if (!ValidAddress(r.devAddress)) {
      std::printf("Bad device address:%d\n", r.devAddress);
      continue;
    }
    AISGDevice* device = CreateDevice(r);
    if (device == nullptr) continue;
    // A full registry refuses the object; nothing else would ever reach or
    // destroy it.
    if (AddDevice(device) != 0) {
      std::printf("Device registry full, device at address %d dropped!\n", r.devAddress);
      delete device;
    }
  }

  RefreshDevices();

  std::printf("Time to scan devices: %.1f secs\n",
              static_cast<double>(ald::GetClock().CalendarTime() - start));
  if (missed) {
    std::printf("AISGDevice::Scan() devices may have been missed!\n");
    return kDevResultDevicesMissed;
  }
  return 0;
}

AISGDevice* AISGDevice::ScanSingleDevice(char* vendorCode, char* serialNumber) {
  // Missing texts are taken as empty ones rather than passed on to printf
  // and the search.
  char empty[1] = {0};
  if (vendorCode == nullptr) vendorCode = empty;
  if (serialNumber == nullptr) serialNumber = empty;
  std::printf("AISGDevice::ScanSingleDevice(%s,%s)\n", vendorCode, serialNumber);

  AISGDEVICEEP ep;
  AISGDeviceParams record{};
  ep.OpenConnection();
  const int r = SearchKnownDevice(ep, vendorCode, serialNumber, &record);
  ep.StopConnection();
  if (r != 0) {
    std::printf("Can not find this device:%s, %s\n", vendorCode, serialNumber);
    return nullptr;
  }

  AISGDevice* known = FindDevice(reinterpret_cast<char*>(record.devUniqueID), UidSize(record));
  if (known != nullptr) {
    std::printf("Scan a single device, but device already exists!\n");
    known->Refresh();
    return known;
  }

  int highest = 0;
  for (int i = 0; i < theDeviceCount; ++i) highest = std::max(highest, theDevices[i]->address);
  // Past 128 there is no HDLC address to give; a free one below is taken.
  const int candidate =
      FreeAddress(highest + 1, [](int address) { return FindDevice(address) != nullptr; });
  if (candidate == 0) {
    std::printf("No free address for this device!\n");
    return nullptr;
  }

  ep.OpenConnection();
  int assigned = ep.AddDeviceAddress(candidate, vendorCode, serialNumber, &record);
  if (assigned != 0) assigned = ep.AddDeviceAddress(candidate, vendorCode, serialNumber, &record);
  ep.StopConnection();
  if (assigned != 0) {
    std::printf("Assigning address %d failed!\n", candidate);
    return nullptr;
  }
  std::printf("Protocol scan a single device success!\n");

  if (!ValidGeneration(record.devAisgVersion) || !ValidAddress(record.devAddress)) return nullptr;
  AISGDevice* device = CreateDevice(record);
  if (device == nullptr) return nullptr;
  // Handing out an object the registry refused would leave the caller
  // holding something nobody destroys.
  if (AddDevice(device) != 0) {
    std::printf("Device registry full, device at address %d dropped!\n", record.devAddress);
    delete device;
    return nullptr;
  }
  device->Refresh();
  return device;
}
