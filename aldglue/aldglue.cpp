// The exported functions of the flat control interface: scanning and the
// table, device dispatch by address, device data, the adapter.
#include <cstdio>
#include <cstring>

#include "aldglue/glue_state.h"
#include "aldlink/adapter/adapter_error.h"
#include "aldlink/adapter/adapter_platform.h"
#include "aldlink/adapter/cp210xdriver.h"
#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"

namespace aldglue {

void PrepareAdapter() {
  CP210xDriver driver;
  if (!driver.IsInitialized()) {
    driver.InitToDefaultConfig();
    std::printf("Resetting the device!\n");
    if (driver.Reset() != 0) std::printf("Resetting the device failed!\n");
  }
}

bool BeginAdapterWork() {
  ald::ClearAdapterError();
  if (const char* error = ald::PlatformSetupError()) {
    ald::NoteAdapterError("%s", error);
    return false;
  }
  return true;
}

namespace {

// Nothing could be sent or opened.
constexpr int kNothingOpened = 84;

int Remember(int result) {
  GetState().lastResult = result;
  return result;
}

// One RET operation on one device; -1800 for an unknown type. `value` is
// never null here.
int RunRet(RETDevice& ret, int subunit, int& value, char* text, int type) {
  switch (type) {
    case 1:
      return ret.SetTilt(subunit, value);
    case 2:
      return ret.GetTilt(subunit, value, 1);
    case 3:
      return ret.SelfTest();
    case 4:
      return ret.ResetSoftware();
    case 5:
      return ret.Calibrate(subunit);
    case 6:
      return ret.ClearActiveAlarms(subunit);
    case 7:
      return ret.GetAlarmStatus(subunit, reinterpret_cast<unsigned char*>(text), 0);
    case 8:
      return ret.DownloadSoftware(text);
    default:
      return kAldglueFailure;
  }
}

int RunTma(TMADevice& tma, int subunit, int& value, char* text, int code) {
  switch (code) {
    case 9:
      return tma.GetGain(subunit, value, 1);
    case 10: {
      TMAMode mode = static_cast<TMAMode>(value);
      const int r = tma.GetMode(subunit, mode, 1);
      value = mode;
      return r;
    }
    case 11:
      return tma.SetGain(subunit, value);
    case 12:
      return tma.SetMode(subunit, static_cast<TMAMode>(value));
    case 39:
      return tma.PollDevice(1);
    case 53:
      return tma.SelfTest();
    case 54:
      return tma.ResetSoftware();
    case 56:
      return tma.ClearActiveAlarms(subunit);
    case 58:
      return tma.DownloadSoftware(text);
    default:
      return kAldglueFailure;
  }
}

// The operations that need a text refuse a missing one before any device
// sees it.
bool NeedsText(int typeOrCode) {
  return typeOrCode == 7 || typeOrCode == 8 || typeOrCode == 58;
}

// Runs `run` on every registered device of class T at `address`, without
// stopping at the first; the last run's result becomes the last result.
template <typename T, typename Run>
int Dispatch(int address, Run run) {
  int result = kAldglueFailure;
  AISGDevice** devices = AISGDevice::GetDevices();
  const int count = AISGDevice::GetNumberOfDevices();
  for (int i = 0; i < count; ++i) {
    if (devices[i] == nullptr || devices[i]->GetAddress() != address) continue;
    if (T* device = dynamic_cast<T*>(devices[i])) result = run(*device);
  }
  return Remember(result);
}

// The device data path of one class, with its trace.
template <typename T>
int SetDataOn(const ALDGLUE_DEVICE_DATA_REQUEST& request, const char* className) {
  int result = kAldglueFailure;
  AISGDevice** devices = AISGDevice::GetDevices();
  const int count = AISGDevice::GetNumberOfDevices();
  std::printf("address=[%d]\n", request.address);
  for (int i = 0; i < count; ++i) {
    if (devices[i] == nullptr) continue;
    const int address = devices[i]->GetAddress();
    std::printf("devices[%d]->GetAddress() => %d \n", i, address);
    if (address != request.address) continue;
    std::printf("match devices[%d]->GetAddress() => %d \n", i, address);
    if (T* device = dynamic_cast<T*>(devices[i])) {
      std::printf("(typeid(*devices[i]) == typeid(%s)) devices[%d]->GetAddress() => %d \n",
                  className, i, address);
      result = device->SetDeviceData(request.subunit, request.fields, request.data);
    }
  }
  return Remember(result);
}

}  // namespace
}  // namespace aldglue

using aldglue::GetState;
using aldglue::Remember;

// --- Scanning and the table ------------------------------------------------------

int scanMain(int depth, int assign) {
  if (!aldglue::BeginAdapterWork()) return aldglue::kNothingOpened;
  aldglue::PrepareAdapter();
  aldglue::EmptyTable();
  int result = AISGDevice::Scan(depth, assign);
  aldglue::BuildTable();
  // A search that could not open the line found nothing because it never
  // ran; saying "no devices" would send the operator up the mast.
  if (result == 0 && AISGDevice::GetNumberOfDevices() == 0 && ald::AdapterErrorText()[0] != 0) {
    result = aldglue::kNothingOpened;
  }
  return result;
}

int refreshMain(void) {
  if (!aldglue::BeginAdapterWork()) return Remember(aldglue::kNothingOpened);
  return Remember(AISGDevice::RefreshDevices());
}

int addDevice(char* vendorCode, char* serialNumber) {
  if (!aldglue::BeginAdapterWork()) return aldglue::kNothingOpened;
  aldglue::PrepareAdapter();
  aldglue::EmptyTable();
  const int before = AISGDevice::GetNumberOfDevices();
  AISGDevice* device = AISGDevice::ScanSingleDevice(vendorCode, serialNumber);
  if (device == nullptr) {
    std::printf("return struce is NULL\n<br>");
    aldglue::BuildTable();
    return 119;
  }
  aldglue::BuildTable();
  // Success means the registry grew by one device. (Counting table entries
  // instead would call every multi-antenna RET or multi-unit TMA a failure.)
  return AISGDevice::GetNumberOfDevices() == before + 1 ? 0 : 123;
}

MIRELK_DATA* getMirelkData(void) {
  aldglue::BuildTable();
  return GetState().table.get();
}

int getMirelkDataCount(void) {
  return GetState().entryCount;
}

const char* getMirelkDataCountStr(void) {
  return GetState().countText;
}

int getLastError(void) {
  return GetState().lastResult;
}

int getLastErrorText(char* text, int size) {
  const char* error = ald::AdapterErrorText();
  const int length = static_cast<int>(std::strlen(error));
  if (text == nullptr || size <= 0) return length;
  const int kept = length < size ? length : size - 1;
  std::memcpy(text, error, static_cast<size_t>(kept));
  text[kept] = '\0';
  return kept;
}

// --- Dispatch ----------------------------------------------------------------------

int baseFunction(int address, int subunit, int* value, char* text, int type) {
  int local = kAldglueFailure;
  int& v = value != nullptr ? *value : local;
  if (aldglue::NeedsText(type) && text == nullptr) return Remember(kAldglueFailure);
  if (!aldglue::BeginAdapterWork()) return Remember(aldglue::kNothingOpened);
  return aldglue::Dispatch<RETDevice>(
      address, [&](RETDevice& ret) { return aldglue::RunRet(ret, subunit, v, text, type); });
}

int baseFunctionTMA(int address, int subunit, int* value, char* text, int code) {
  int local = kAldglueFailure;
  int& v = value != nullptr ? *value : local;
  if (aldglue::NeedsText(code) && text == nullptr) return Remember(kAldglueFailure);
  if (!aldglue::BeginAdapterWork()) return Remember(aldglue::kNothingOpened);
  return aldglue::Dispatch<TMADevice>(
      address, [&](TMADevice& tma) { return aldglue::RunTma(tma, subunit, v, text, code); });
}

// --- RET operations ----------------------------------------------------------------

int setTilt(int address, int subunit, int tilt) {
  return baseFunction(address, subunit, &tilt, nullptr, 1);
}
int getTilt(int address, int subunit, int* tilt) {
  return baseFunction(address, subunit, tilt, nullptr, 2);
}
int selfTest(int address) {
  return baseFunction(address, kAldglueFailure, nullptr, nullptr, 3);
}
int resetSoftware(int address) {
  return baseFunction(address, kAldglueFailure, nullptr, nullptr, 4);
}
int calibrate(int address, int subunit) {
  return baseFunction(address, subunit, nullptr, nullptr, 5);
}
int clearActiveAlarms(int address, int subunit) {
  return baseFunction(address, subunit, nullptr, nullptr, 6);
}
int getAlarmStatus(int address, int subunit, char* buffer) {
  return baseFunction(address, subunit, nullptr, buffer, 7);
}
int downloadSoftware(int address, char* fileName) {
  return baseFunction(address, kAldglueFailure, nullptr, fileName, 8);
}

int configRET(int address, int subunit, char* fileName) {
  ald::ClearAdapterError();
  auto* ret = dynamic_cast<RETDevice*>(AISGDevice::FindDevice(address));
  if (ret == nullptr || fileName == nullptr) return kAldglueFailure;
  if (!aldglue::BeginAdapterWork()) return aldglue::kNothingOpened;
  return ret->Configure(subunit, fileName);
}

// --- TMA operations ----------------------------------------------------------------

int getGain(int address, int subunit, int* gain) {
  return baseFunctionTMA(address, subunit, gain, nullptr, 9);
}
int getMode(int address, int subunit, int* mode) {
  return baseFunctionTMA(address, subunit, mode, nullptr, 10);
}
int setGain(int address, int subunit, int gain) {
  return baseFunctionTMA(address, subunit, &gain, nullptr, 11);
}
int setMode(int address, int subunit, int mode) {
  return baseFunctionTMA(address, subunit, &mode, nullptr, 12);
}
int pollDevice(int address) {
  return baseFunctionTMA(address, kAldglueFailure, nullptr, nullptr, 39);
}
int selfTestTMA(int address) {
  return baseFunctionTMA(address, kAldglueFailure, nullptr, nullptr, 53);
}
int resetSoftwareTMA(int address) {
  return baseFunctionTMA(address, kAldglueFailure, nullptr, nullptr, 54);
}
int clearActiveAlarmsTMA(int address, int subunit) {
  return baseFunctionTMA(address, subunit, nullptr, nullptr, 56);
}
int downloadSoftwareTMA(int address, char* fileName) {
  return baseFunctionTMA(address, kAldglueFailure, nullptr, fileName, 58);
}

// --- Device data and generation ------------------------------------------------------

int setDeviceData(ALDGLUE_DEVICE_DATA_REQUEST request) {
  ald::ClearAdapterError();
  const bool ret = request.kind == 1 || request.kind == 17;
  const bool tma = request.kind == 2 || request.kind == 16;
  if (!ret && !tma) return kAldglueFailure;
  if (!aldglue::BeginAdapterWork()) return aldglue::kNothingOpened;
  return ret ? aldglue::SetDataOn<RETDevice>(request, "RETDevice")
             : aldglue::SetDataOn<TMADevice>(request, "TMADevice");
}

int switchAISGVersion(char* vendorCode, int version) {
  if (!aldglue::BeginAdapterWork()) return aldglue::kNothingOpened;
  return AISGDevice::SwitchAISGVersion(vendorCode, version);
}

// --- Adapter -----------------------------------------------------------------------

int getPort(void) {
  if (!aldglue::BeginAdapterWork()) return 0;
  CP210xDriver driver;
  return driver.GetComPort();
}

int getPowerValue(void) {
  if (!aldglue::BeginAdapterWork()) {
    Remember(aldglue::kNothingOpened);
    return -1;
  }
  CP210xDriver driver;
  int value = -1;
  Remember(driver.Get12VPower(value));
  return value;
}

int getPinValue(void) {
  if (!aldglue::BeginAdapterWork()) {
    Remember(aldglue::kNothingOpened);
    return -1;
  }
  CP210xDriver driver;
  int value = -1;
  Remember(driver.GetRS485ABSwich(value));
  return value;
}

int setPowerValue(int value) {
  if (!aldglue::BeginAdapterWork()) return Remember(aldglue::kNothingOpened);
  CP210xDriver driver;
  return Remember(driver.Set12VPower(value, 1));
}

int setPinValue(int value) {
  if (!aldglue::BeginAdapterWork()) return Remember(aldglue::kNothingOpened);
  CP210xDriver driver;
  return Remember(driver.SetRS485ABSwich(value, 1));
}

int closeComPort(void) {
  // A vendor's command that switches a feature of its devices off; it is
  // sent as is, to the all-stations address 0x00, with its check sequence.
  static const unsigned char kClosing[15] = {0x7E, 0x00, 0xAF, 0x41, 0x57, 0x06, 0xA1, 0x01,
                                             0xFF, 0xA2, 0x01, 0xBE, 0xA2, 0x48, 0x7E};
  if (!aldglue::BeginAdapterWork()) return -1;
  CP210xDriver driver;
  if (driver.OpenComPort() == -1) {
    std::printf("Open COM port failed!\n");
    return -1;
  }
  int result = 0;
  const int written = driver.SendData(reinterpret_cast<const char*>(kClosing), sizeof kClosing);
  if (written < static_cast<int>(sizeof kClosing)) {
    driver.FlushComPort();
    std::printf("Send command incompletely!\n");
    result = kAldglueFailure;
  } else {
    std::printf("Send command successfully!\n");
  }
  char discard[1];
  driver.RecvData(discard, sizeof discard);
  driver.CloseComPort();
  return result;
}
