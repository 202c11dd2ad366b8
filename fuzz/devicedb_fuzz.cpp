// The device database reader: the input is a whole devices.dat working copy.
//
// Every input must load (the file exists), leave a registry within its
// limits, answer the reads that need no bus from what it loaded, and write
// back a file that loads again to the same text: what the reader accepts,
// the writer must be able to say, and a second load must not drift.
//
// The registry is emptied after each input so nothing leaks into the next.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/devicedb.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "fuzz/support/file_line.h"
#include "fuzz/support/file_scratch.h"
#include "support/clock.h"

namespace {

// The registry is protected; a derived class reaches it.
struct Registry : AISGDevice {
  static void Clear() {
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    theDeviceCount = 0;
  }
  static int Subunits(const AISGDevice* d) { return static_cast<const Registry*>(d)->subunitcount; }
};

struct Paths {
  std::string working;
  std::string written;
};

const Paths& Files() {
  static const Paths paths = [] {
    const std::string root = fuzz::ScratchDir();
    std::string tmp = root + "/tmp";
    std::string made = "mkdir -p '" + tmp + "' '" + root + "/data'";
    if (std::system(made.c_str()) != 0) fuzz::Broken("cannot make the database folders");
    setenv("ALDLINK_DBDIR", root.c_str(), 1);
    return Paths{ald::DeviceDbWorkingDir() + ald::kDeviceDbFileName, root + "/written.dat"};
  }();
  return paths;
}

// Generous room behind every buffer the reads fill: an alarm list is at
// most 255 codes in a file line and the reads must stay inside.
constexpr int kAlarmRoom = 256;

// Every text of a summary record ends inside its field: the flat device
// table copies them as zero-terminated texts.
void Terminated(const char* field, size_t size, const char* name) {
  if (std::memchr(field, 0, size) == nullptr) {
    std::fprintf(stderr, "summary field %s is not terminated\n", name);
    fuzz::Broken("summary text runs past its field");
  }
}

// Every text of a summary record must end inside its field.
#define TERMINATED(record, field) Terminated(record.field, sizeof record.field, #field)

template <typename Summary>
void CheckCommonSummary(const Summary& r) {
  TERMINATED(r, address);
  TERMINATED(r, antnumber);
  TERMINATED(r, devtype);
  TERMINATED(r, aisgver);
  TERMINATED(r, version3gpp);
  TERMINATED(r, uniqueid);
  TERMINATED(r, vendorid);
  TERMINATED(r, productnumber);
  TERMINATED(r, sn);
  TERMINATED(r, hwver);
  TERMINATED(r, swver);
  TERMINATED(r, antmodel);
  TERMINATED(r, antsn);
  TERMINATED(r, antband);
  TERMINATED(r, antbeam);
  TERMINATED(r, antgain);
  TERMINATED(r, insdate);
  TERMINATED(r, insid);
  TERMINATED(r, baseid);
  TERMINATED(r, sectorid);
  TERMINATED(r, bearing);
  TERMINATED(r, mechtilt);
  TERMINATED(r, status);
  TERMINATED(r, alarm);
}

void CheckSummary(const SNMPRETData& r) {
  CheckCommonSummary(r);
  TERMINATED(r, antmaxtilt);
  TERMINATED(r, antmintilt);
  TERMINATED(r, curtilt);
}

void CheckSummary(const SNMPTMAData& r) {
  CheckCommonSummary(r);
  TERMINATED(r, tmatype);
  TERMINATED(r, rxband);
  TERMINATED(r, txband);
  TERMINATED(r, maxgain);
  TERMINATED(r, mingain);
  TERMINATED(r, resolution);
  TERMINATED(r, nlgain);
  TERMINATED(r, function);
  TERMINATED(r, mode);
  TERMINATED(r, curgain);
}

void CheckDeviceData(const DeviceData& d) {
  Terminated(d.antmodel, sizeof d.antmodel, "antmodel");
  Terminated(d.antsn, sizeof d.antsn, "antsn");
  Terminated(d.insdate, sizeof d.insdate, "insdate");
  Terminated(d.insid, sizeof d.insid, "insid");
  Terminated(d.baseid, sizeof d.baseid, "baseid");
  Terminated(d.sectorid, sizeof d.sectorid, "sectorid");
}

void CheckRegistry() {
  const int count = AISGDevice::GetNumberOfDevices();
  if (count < 0 || count > AISGDevice::kMaxDevices) fuzz::Broken("registry count out of range");
  for (int i = 0; i < count; ++i) {
    AISGDevice* d = AISGDevice::GetDevices()[i];
    if (d == nullptr) fuzz::Broken("gap in the registry");
    if (d->GetUniqueIDSize() < 0 || d->GetUniqueIDSize() > AISGDevice::kUidBytes) {
      fuzz::Broken("unique ID size out of range");
    }
    const int units = d->GetNumberOfSubunits();
    if (units < 0 || units > RETDevice::kMaxSubunits) fuzz::Broken("subunit count out of range");

    unsigned char alarms[kAlarmRoom + 1];
    if (auto* ret = dynamic_cast<RETDevice*>(d)) {
      for (int s = 0; s <= units + 1; ++s) {
        const bool valid = s >= 1 && s <= units;
        if ((ret->GetSubunit(s) != nullptr) != valid) fuzz::Broken("RET subunit view");
        SNMPRETData record;
        std::memset(&record, 'x', sizeof record);
        if (ret->GetSNMPRETData(s, record) == 0 && valid) CheckSummary(record);
        unsigned char code = 0;
        unsigned count = 0;
        ret->GetCurrentAlarm(s, alarms);
        ret->GetCurrentAlarmCount(s, code, count);
        ret->IsDataChanged(s);
        if (valid && d->GetState() == AISGDevice::kStateOk) {
          // Cached answers: no bus traffic for a device stored in state 5.
          int tilt = 0;
          ret->GetTilt(s, tilt, 0);
          ret->GetAlarmStatus(s, alarms, 0);
          DeviceData data;
          std::memset(&data, 'x', sizeof data);
          if (ret->GetDeviceData(s, data, 0) == 0) CheckDeviceData(data);
        }
      }
      ret->GetAlarmStatus(alarms);
    } else if (auto* tma = dynamic_cast<TMADevice*>(d)) {
      for (int s = 0; s <= units + 1; ++s) {
        const bool valid = s >= 1 && s <= units;
        if ((tma->GetSubunit(s) != nullptr) != valid) fuzz::Broken("TMA subunit view");
        if (valid && tma->GetSubunit(s)->nlgain[0] > TMASubunit::kMaxNonLinearGains) {
          fuzz::Broken("more non-linear gains than the member holds");
        }
        SNMPTMAData record;
        std::memset(&record, 'x', sizeof record);
        if (tma->GetSNMPTMAData(s, record) == 0 && valid) CheckSummary(record);
        unsigned char code = 0;
        unsigned count = 0;
        tma->GetCurrentAlarm(s, alarms);
        tma->GetCurrentAlarmCount(s, code, count);
        tma->IsDataChanged(s);
        if (valid && d->GetState() == AISGDevice::kStateOk) {
          tma->GetAlarmStatus(s, alarms, 0);
          DeviceData data;
          std::memset(&data, 'x', sizeof data);
          if (tma->GetDeviceData(s, data, 0) == 0) CheckDeviceData(data);
        }
      }
      tma->GetAlarmStatus(alarms);
    } else {
      fuzz::Broken("the database made an object of neither class");
    }
  }
  char list[256];
  RETDevice::GetRETAddressInfo(list);
  if (std::strlen(list) > 255) fuzz::Broken("RET address list too long");
  TMADevice::GetTMAAddressInfo(list);
  if (std::strlen(list) > 255) fuzz::Broken("TMA address list too long");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietTrace();
  Files();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Paths& files = Files();
  // No read of a loaded device may wait for real or reach a real port.
  ald::ScopedVirtualClock clock;
  fuzz::FileLine line;

  fuzz::WriteWholeFile(files.working, data, size);
  if (AISGDevice::LoadDevices() != 0) fuzz::Broken("an existing working copy did not load");
  const int loaded = AISGDevice::GetNumberOfDevices();
  const int version = AISGDevice::GetDBVersion();

  // Written before the cached reads run: those may change the objects
  // (alarm counts), the file must say what was loaded.
  if (AISGDevice::WriteDevices(files.written.c_str()) != 0) fuzz::Broken("write failed");
  CheckRegistry();
  const std::string first = fuzz::ReadWholeFile(files.written);

  fuzz::WriteWholeFile(files.working, first.data(), first.size());
  if (AISGDevice::LoadDevices() != 0) fuzz::Broken("the written file did not load");
  if (AISGDevice::GetNumberOfDevices() != loaded) fuzz::Broken("devices lost on the way back");
  if (AISGDevice::GetDBVersion() != version) fuzz::Broken("database version changed");
  if (AISGDevice::WriteDevices(files.written.c_str()) != 0) fuzz::Broken("second write failed");
  const std::string second = fuzz::ReadWholeFile(files.written);
  if (first != second) fuzz::Broken("the written file does not load back to the same text");

  // What a file left in the objects must not trip the operations that go to
  // the bus (an obliging device here): a generation, type or subunit count
  // that no scan would give is the file's, and the objects must cope.
  for (int i = 0; i < AISGDevice::GetNumberOfDevices(); ++i) {
    AISGDevice* d = AISGDevice::GetDevices()[i];
    unsigned char alarms[kAlarmRoom + 1];
    DeviceData data;
    int value = 0;
    if (auto* ret = dynamic_cast<RETDevice*>(d)) {
      ret->GetTilt(1, value, 1);
      ret->GetAlarmStatus(1, alarms, 1);
      ret->GetDeviceData(1, data, 1);
    } else if (auto* tma = dynamic_cast<TMADevice*>(d)) {
      tma->GetGain(1, value, 1);
      tma->GetAlarmStatus(1, alarms, 1);
      tma->GetDeviceData(1, data, 1);
    }
    d->Refresh();
  }
  CheckRegistry();

  Registry::Clear();
  return 0;
}
