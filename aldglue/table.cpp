// The flat device table: one MIRELK_DATA entry per device subunit, built
// from the summary record and the device data of each subunit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "aldglue/glue_state.h"
#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"

namespace aldglue {
namespace {

// Copies a whole fixed-width field of a summary record, terminator included.
// The entry's fields are wider than any source and zero-filled, so the text
// stays terminated even when the source filled its width.
template <size_t N>
void Put(MIRELK_DATA& entry, int index, const char (&source)[N]) {
  static_assert(N < kMirelkFieldSize);
  std::memcpy(entry.field[index], source, N);
}

void PutBand(MIRELK_DATA& entry, const DeviceData& data) {
  const unsigned char* b = data.antband;
  std::snprintf(entry.field[kMdFreqBand], kMirelkFieldSize, "%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5]);
}

// The fields both kinds of entry have in the same place.
template <typename Summary>
void PutCommon(MIRELK_DATA& e, const Summary& s) {
  Put(e, kMdAddress, s.address);
  Put(e, kMdSubunit, s.antnumber);
  Put(e, kMdDeviceType, s.devtype);
  Put(e, kMdAisgVersion, s.aisgver);
  Put(e, kMdUniqueId, s.uniqueid);
  Put(e, kMdVendor, s.vendorid);
  Put(e, kMdRetModel, s.productnumber);
  Put(e, kMdRetSerial, s.sn);
  Put(e, kMdHardwareVersion, s.hwver);
  Put(e, kMdSoftwareVersion, s.swver);
  Put(e, kMdAntennaModel, s.antmodel);
  Put(e, kMdAntennaSerial, s.antsn);
  Put(e, kMdBeamWidth, s.antbeam);
  Put(e, kMdAntennaGain, s.antgain);
  Put(e, kMdInstallationDate, s.insdate);
  Put(e, kMdInstallerId, s.insid);
  Put(e, kMdSiteId, s.baseid);
  Put(e, kMdSectorId, s.sectorid);
  Put(e, kMdBearing, s.bearing);
  Put(e, kMdMechTilt, s.mechtilt);
  Put(e, kMdDeviceStatus, s.status);
  Put(e, kMdDeviceStatusCause, s.alarm);
}

// The table fields that show a device data field, with that field's
// identifier. A field the device never sent is left empty: its zero fill
// is no value the device holds ("0", "0000", a 0.0 to 0.0 tilt range).
struct DataField {
  int index;
  char id;
};
constexpr DataField kRetDataFields[] = {
    {kMdAntennaModel, 0x01}, {kMdAntennaSerial, 0x02},    {kMdFreqBand, 0x03},
    {kMdBeamWidth, 0x04},    {kMdAntennaGain, 0x05},      {kMdMaxTilt, 0x06},
    {kMdMinTilt, 0x07},      {kMdInstallationDate, 0x21}, {kMdInstallerId, 0x22},
    {kMdSiteId, 0x23},       {kMdSectorId, 0x24},         {kMdBearing, 0x25},
    {kMdMechTilt, 0x26},
};
constexpr DataField kTmaDataFields[] = {
    {kMdAntennaModel, 0x01}, {kMdAntennaSerial, 0x02},  {kMdFreqBand, 0x03},
    {kMdBeamWidth, 0x04},    {kMdAntennaGain, 0x05},    {kMdInstallationDate, 0x21},
    {kMdInstallerId, 0x22},  {kMdSiteId, 0x23},         {kMdSectorId, 0x24},
    {kMdBearing, 0x25},      {kMdMechTilt, 0x26},       {kMdTmaType, 0x13},
    {kMdTmaRxBand, 0x14},    {kMdTmaTxBand, 0x15},      {kMdMaxGain, 0x16},
    {kMdMinGain, 0x17},      {kMdGainResolution, 0x18},
};

bool WasRead(uint64_t fieldsRead, char id) {
  return ((fieldsRead >> static_cast<unsigned char>(id)) & 1u) != 0;
}

template <size_t N>
void ClearUnread(MIRELK_DATA& e, const DataField (&fields)[N], uint64_t fieldsRead) {
  for (const DataField& f : fields) {
    if (!WasRead(fieldsRead, f.id)) std::memset(e.field[f.index], 0, kMirelkFieldSize);
  }
}

int FillRet(MIRELK_DATA& e, RETDevice& device, int subunit) {
  SNMPRETData s{};
  device.GetSNMPRETData(subunit, s);
  DeviceData data{};
  const int result = device.GetDeviceData(subunit, data, 0);
  PutCommon(e, s);
  PutBand(e, data);
  Put(e, kMdMaxTilt, s.antmaxtilt);
  Put(e, kMdMinTilt, s.antmintilt);
  Put(e, kMdCurrentTilt, s.curtilt);
  if (const RETSubunit* sub = device.GetSubunit(subunit))
    ClearUnread(e, kRetDataFields, sub->fieldsread);
  return result;
}

int FillTma(MIRELK_DATA& e, TMADevice& device, int subunit) {
  SNMPTMAData s{};
  device.GetSNMPTMAData(subunit, s);
  DeviceData data{};
  const int result = device.GetDeviceData(subunit, data, 0);
  PutCommon(e, s);
  PutBand(e, data);
  Put(e, kMdMaxGain, s.maxgain);
  Put(e, kMdMinGain, s.mingain);
  // An AISG 2.0 TMA has no type field; its supported-functions flag takes
  // the place.
  if (std::atoi(e.field[kMdAisgVersion]) == 2) {
    Put(e, kMdTmaType, s.function);
  } else {
    Put(e, kMdTmaType, s.tmatype);
  }
  Put(e, kMdTmaRxBand, s.rxband);
  Put(e, kMdTmaTxBand, s.txband);
  Put(e, kMdGainResolution, s.resolution);
  Put(e, kMdMode, s.mode);
  Put(e, kMdCurrentGain, s.curgain);
  if (const TMASubunit* sub = device.GetSubunit(subunit)) {
    uint64_t read = sub->fieldsread;
    // An AISG 2.0 TMA's type field shows its supported-functions flag, read
    // together with the gain range.
    if (std::atoi(e.field[kMdAisgVersion]) == 2) {
      read &= ~(uint64_t{1} << 0x13);
      if (WasRead(read, 0x16)) read |= uint64_t{1} << 0x13;
    }
    ClearUnread(e, kTmaDataFields, read);
  }
  return result;
}

// A device's subunit count, 0 for a negative one.
int Subunits(AISGDevice* device) {
  const int n = device->GetNumberOfSubunits();
  return n > 0 ? n : 0;
}

}  // namespace

State& GetState() {
  static State state;
  return state;
}

void EmptyTable() {
  State& st = GetState();
  st.table.reset();
  st.entryCount = -1;
  st.countText[0] = 0;
}

int BuildTable() {
  State& st = GetState();
  const int deviceCount = AISGDevice::GetNumberOfDevices();
  AISGDevice** devices = AISGDevice::GetDevices();
  if (deviceCount <= 0) return 129;

  int entries = 0;
  for (int i = 0; i < deviceCount; ++i) entries += Subunits(devices[i]);

  std::unique_ptr<MIRELK_DATA[]> table;
  if (entries > 0) table.reset(new MIRELK_DATA[entries]());

  int result = kAldglueFailure;
  int retDevices = 0, retEntries = 0, tmaDevices = 0, tmaEntries = 0;
  int next = 0;
  for (int i = 0; i < deviceCount; ++i) {
    AISGDevice* device = devices[i];
    const int n = Subunits(device);
    auto* ret = dynamic_cast<RETDevice*>(device);
    auto* tma = ret == nullptr ? dynamic_cast<TMADevice*>(device) : nullptr;
    if (ret != nullptr) ++retDevices;
    if (tma != nullptr) ++tmaDevices;
    for (int subunit = 1; subunit <= n; ++subunit, ++next) {
      if (ret != nullptr) {
        result = FillRet(table[next], *ret, subunit);
        ++retEntries;
      } else if (tma != nullptr) {
        result = FillTma(table[next], *tma, subunit);
        ++tmaEntries;
      }
    }
  }

  st.table = std::move(table);
  st.entryCount = entries;
  if (entries != 0) {
    // At most 15 characters are kept; 24 devices of 16 subunits fit.
    char text[48];
    std::snprintf(text, sizeof text, "%d/%d/%d/%d", retDevices, retEntries, tmaDevices, tmaEntries);
    std::snprintf(st.countText, sizeof st.countText, "%.15s", text);
  }
  st.lastResult = result;
  return result;
}

}  // namespace aldglue
