// Re-addressing AISG 1 devices over an open link, and switching the one
// device model that speaks both generations between them.
#include <cstdio>
#include <cstring>

#include "aldlink/devices/aisgdevice.h"
#include "support/sleep.h"

namespace {

// Only this vendor's model ATM3 switches between the generations.
bool IsSwitchableModel(const AISGDevice& d) {
  return d.GetVendorID() == "AN" && d.GetProductNumber() == "ATM3";
}

}  // namespace

int AISGDevice::ResetAllDeviceAdress(AISGDEVICEEP& ep) {
  std::printf("AISGDevice::ResetAllDeviceAdress()\n");
  for (int i = 0; i < theDeviceCount; ++i) {
    AISGDevice* d = theDevices[i];
    if (d->aisgver != 1) continue;
    AISGDeviceParams params{};
    params.devUniqueIDSize = d->uidsize;
    std::memcpy(params.devUniqueID, d->uid, static_cast<size_t>(d->uidsize));
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (ep.SetDeviceAddress(d->address, &params) == 0) break;
      std::printf("Set address %d for deivce %s failed\n", d->address, static_cast<char*>(d->sn));
    }
  }
  return 0;
}

int AISGDevice::SearchKnownDevice(AISGDEVICEEP& ep, char* vendor, char* serial,
                                  AISGDeviceParams* params) {
  const int r = ep.ScanDevice(vendor, serial, params);
  // Found or not, the reset went out (unless the arguments were refused
  // before anything was sent, and then re-addressing does no harm).
  ResetAllDeviceAdress(ep);
  return r;
}

int AISGDevice::SwitchAISGVersion(int version) {
  if (vendorid != "AN") {
    std::printf("Vendor [%s] not supported!\n", static_cast<char*>(vendorid));
    return 84;
  }
  if (version == 2) {
    std::printf("Individual device switching ASIG 2 is not supported!\n");
    return 84;
  }
  if (version != 1) {
    std::printf("Invalid AISG version: %d!\n", version);
    return 84;
  }
  AISGDEVICEEP ep;
  AISGDeviceParams params{};
  if (OpenConnection(ep, params, 0, 0) != 0) {
    CloseConnection(ep);
    return 11;
  }
  // The first enable tells the device to fall back; after a pause and a new
  // link the second one shows whether it now speaks AISG 1.
  ep.EnableDevice(address, &params);
  ald::sleep(1);
  CloseConnection(ep);
  OpenConnection(ep, params, 0, 0);
  if (ep.EnableDevice(address, &params) == 0) {
    // Switched first, so the closing sends no disconnect frame.
    aisgver = 1;
    CloseConnection(ep);
    return 0;
  }
  CloseConnection(ep);
  return 11;
}

int AISGDevice::SwitchAISGVersion(char* vendorCode, int version) {
  if (vendorCode == nullptr || std::strcmp(vendorCode, "AN") != 0) {
    std::printf("Vendor [%s] not supported!\n", vendorCode == nullptr ? "" : vendorCode);
    return -1;
  }
  int result = 0;
  if (version == 1) {
    for (int i = 0; i < theDeviceCount; ++i) {
      AISGDevice* d = theDevices[i];
      if (!IsSwitchableModel(*d) || d->aisgver != 2) continue;
      if (d->SwitchAISGVersion(1) == 0) {
        d->Refresh();
      } else {
        result = -1;
        std::printf("Device address %d failed to switch to AISG %d!\n", d->address, 1);
      }
    }
  } else if (version == 2) {
    AISGDEVICEEP ep;
    ep.OpenConnection();
    ep.SetXIDReset(255);
    ep.SetXIDReset(255);
    ep.StopConnection();
    for (int i = 0; i < theDeviceCount; ++i) {
      AISGDevice* d = theDevices[i];
      if (!IsSwitchableModel(*d) || d->aisgver != 1) continue;
      d->aisgver = 2;
      std::printf("Device address %d is switched to AISG %d!\n", d->address, 2);
      // Clearing the alarms is the test that the device speaks AISG 2 now.
      if (d->ClearActiveAlarms() != 0) {
        result = -1;
        d->aisgver = 1;
        std::printf("Test failed! Switch back to AISG 1!\n");
      } else {
        d->Refresh();
      }
    }
  } else {
    std::printf("Invalid AISG version: %d!\n", version);
    return -1;
  }
  return result;
}
