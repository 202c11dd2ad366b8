// Layer-7 answers of every kind through the procedures that read them: the
// engine's request/response exchange with any procedure code, the record
// parsers of both generations (identity texts, device data, user data, bit
// rates), the RET and TMA procedures (tilt, mode, gain, supported
// functions, non-linear gains, subunit counts) and the RET and TMA device
// objects that refresh themselves from them.
//
// The first bytes pick the generation, the address and up to four
// procedures with their arguments; the rest are the device's answers, one
// per command (see fuzz_line.h).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "aldlink/devices/devicedata.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "aldlink/procedures/retep.h"
#include "aldlink/procedures/tmaep.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/fuzz_line.h"
#include "support/clock.h"

namespace {

constexpr int kMaxProcedures = 4;
// Slow procedures poll up to 300 times while the device answers RR; the cap
// keeps one run to a few hundred exchanges at most.
constexpr int kMaxExchanges = 160;

class Ret : public RETEP {
 public:
  using AISGDEVICEEP::DeviceProcedure;
  using AISGDEVICEEP::GetDeviceData;
  using AISGDEVICEEP::PrintDeviceData;
};

class Tma : public TMAEP {};

enum Procedure {
  kAnyCode,
  kDeviceType,
  kInfo,
  kBitRates,
  kUserData,
  kAlarms,
  kSelfTest,
  kDeviceData,
  kSubunitDeviceData,
  kReset,
  kWrites,
  kTilt,
  kSetTilt,
  kCalibrate,
  kAntenna,
  kTmaModeGain,
  kTmaSet,
  kTmaSubunit,
  kRetObject,
  kTmaObject,
  kLink,
  kProcedureCount
};

void Run(fuzz::FuzzInput& in, int generation, int address) {
  const unsigned procedure = in.Pick(kProcedureCount);
  const int subunit = static_cast<int>(in.Pick(18));
  AISGDeviceParams p;
  std::memset(&p, 0, sizeof p);
  char args[256] = {};
  const fuzz::Bytes run = in.Bytes(80);
  if (!run.empty()) std::memcpy(args, run.data(), run.size());
  const int length = static_cast<int>(run.size());
  const int value = static_cast<int16_t>(in.Word());

  switch (procedure) {
    case kAnyCode: {
      Ret ep;
      ep.OpenConnection();
      ep.DeviceProcedure(address, generation, subunit, static_cast<char>(in.Byte()), args, length,
                         &p);
      break;
    }
    case kDeviceType: {
      Ret ep;
      ep.OpenConnection();
      ep.GetDeviceType(address, &p);
      ep.EnableDevice(address, &p);
      ep.DisableDevice(address, &p);
      break;
    }
    case kInfo: {
      Ret ep;
      ep.OpenConnection();
      ep.GetInfo(address, generation, &p);
      break;
    }
    case kBitRates: {
      Ret ep;
      ep.OpenConnection();
      ep.GetBitRates(address, &p);
      break;
    }
    case kUserData: {
      Ret ep;
      ep.OpenConnection();
      ep.ReadUserData(address, value & 0xFFFF, static_cast<int>(in.Pick(80)), &p);
      break;
    }
    case kAlarms: {
      Ret ep;
      ep.OpenConnection();
      ep.GetAlarmStatus(address, generation, &p);
      ep.ClearActiveAlarms(address, generation, &p);
      ep.AlarmSubscribe(address, &p);
      break;
    }
    case kSelfTest: {
      Ret ep;
      ep.OpenConnection();
      ep.SelfTest(address, generation, &p);
      break;
    }
    case kDeviceData: {
      Ret ep;
      ep.OpenConnection();
      if (ep.GetDeviceData(address, generation, args, length, &p) == 0) {
        ep.PrintDeviceData(generation, args, length, &p);
      }
      break;
    }
    case kSubunitDeviceData: {
      Ret ep;
      ep.OpenConnection();
      const int devType = in.Flag() ? 2 : 1;
      ep.GetDeviceData(address, generation, subunit, devType, args, length, &p);
      break;
    }
    case kReset: {
      Ret ep;
      ep.OpenConnection();
      ep.ResetSoftware(address, generation, &p);
      break;
    }
    case kWrites: {
      Ret ep;
      ep.OpenConnection();
      ep.SetDeviceData(address, generation, args, length, &p);
      ep.WriteUserData(address, value & 0xFFFF, args, length, &p);
      ep.SetVendorSpecific(address, generation, args, length, &p);
      break;
    }
    case kTilt: {
      Ret ep;
      ep.OpenConnection();
      ep.GetTilt(address, generation, &p);
      break;
    }
    case kSetTilt: {
      Ret ep;
      ep.OpenConnection();
      ep.SetTilt(address, generation, value, &p);
      break;
    }
    case kCalibrate: {
      Ret ep;
      ep.OpenConnection();
      ep.Calibrate(address, generation, &p);
      break;
    }
    case kAntenna: {
      Ret ep;
      ep.OpenConnection();
      ep.AntennaGetNumOfAntennas(address, &p);
      ep.AntennaGetTilt(address, subunit, &p);
      ep.AntennaGetAlarmStatus(address, subunit, &p);
      ep.AntennaGetDeviceData(address, subunit, args, length, &p);
      ep.AntennaSetTilt(address, subunit, value, &p);
      ep.AntennaCalibrate(address, subunit, &p);
      ep.AntennaSetDeviceData(address, subunit, args, length, &p);
      ep.AntennaClearAlarms(address, subunit, &p);
      break;
    }
    case kTmaModeGain: {
      Tma ep;
      ep.OpenConnection();
      ep.TMAGetMode(address, generation, subunit, &p);
      ep.TMAGetGain(address, generation, subunit, &p);
      break;
    }
    case kTmaSet: {
      Tma ep;
      ep.OpenConnection();
      ep.TMASetMode(address, generation, subunit, value & 1, &p);
      ep.TMASetGain(address, generation, subunit, value & 0xFF, &p);
      break;
    }
    case kTmaSubunit: {
      Tma ep;
      ep.OpenConnection();
      ep.TMAGetNumOfSubunits(address, &p);
      ep.TMAGetSupportedFunctions(address, subunit, &p);
      ep.TMAGetSupportedNonLinearGainValues(address, subunit, &p);
      ep.TMAGetAlarmStatus(address, subunit, &p);
      ep.TMAGetDeviceData(address, subunit, args, length, &p);
      ep.TMASetDeviceData(address, subunit, args, length, &p);
      ep.TMAClearAlarms(address, subunit, &p);
      break;
    }
    case kRetObject: {
      const int type = in.Flag() ? 0x11 : 0x01;
      auto device = std::make_unique<RETDevice>(type, generation, address, args, length % 20);
      device->Refresh();
      int tilt = 0;
      device->GetTilt(subunit, tilt, 1);
      DeviceData dd;
      std::memset(&dd, 0, sizeof dd);
      device->GetDeviceData(subunit, dd, 1);
      // Out buffers as small as the callers' (heap, so an overrun shows).
      auto alarms = std::make_unique<unsigned char[]>(256);
      device->GetAlarmStatus(subunit, alarms.get(), 1);
      SNMPRETData record;
      std::memset(&record, 0, sizeof record);
      device->GetSNMPRETData(subunit, record);
      char texts[4][64] = {};
      device->GetInformation(texts[0], texts[1], texts[2], texts[3], 1);
      auto user = std::make_unique<char[]>(48);
      device->ReadUserData(user.get(), 48, value & 0xFF);
      device->WriteUserData(args, length, value & 0xFF);
      device->SetTilt(subunit, value);
      device->ClearActiveAlarms(subunit);
      std::memcpy(&dd, args, sizeof dd < sizeof args ? sizeof dd : sizeof args);
      device->SetDeviceData(subunit, args, dd);
      break;
    }
    case kTmaObject: {
      const int type = in.Flag() ? 0x10 : 0x02;
      auto device = std::make_unique<TMADevice>(type, generation, address, args, length % 20);
      device->Refresh();
      TMAMode mode = kTMAModeNormal;
      device->GetMode(subunit, mode, 1);
      int gain = 0;
      device->GetGain(subunit, gain, 1);
      SupportedFunction functions;
      std::memset(&functions, 0, sizeof functions);
      device->GetSupportedFunctions(subunit, functions, 1);
      auto gains = std::make_unique<char[]>(70);
      int count = 0;
      device->GetNonLinearGains(subunit, gains.get(), count, 1);
      if (count < 0 || count > 69) std::abort();
      DeviceData dd;
      std::memset(&dd, 0, sizeof dd);
      device->GetDeviceData(subunit, dd, 1);
      auto alarms = std::make_unique<unsigned char[]>(256);
      device->GetAlarmStatus(subunit, alarms.get(), 1);
      device->SelfTest();
      device->AlarmSubscribe();
      device->PollDevice(0);
      device->SwitchAISGVersion(1);
      device->ResetSoftware();
      device->SetMode(subunit, (value & 1) != 0 ? kTMAModeBypass : kTMAModeNormal);
      device->SetGain(subunit, value & 0xFF);
      device->ClearActiveAlarms(subunit);
      std::memcpy(&dd, args, sizeof dd < sizeof args ? sizeof dd : sizeof args);
      device->SetDeviceData(subunit, args, dd);
      break;
    }
    case kLink: {
      Ret ep;
      ep.OpenConnection();
      ep.SetSNRM(address);
      ep.GetHdlcParams(address, &p);
      ep.SetDISC(address);
      break;
    }
  }
  fuzz::CheckRecord(p);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietStdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  ald::ScopedVirtualClock clock;
  const int generation = in.Flag() ? 2 : 1;
  const int address = in.Byte();
  const int procedures = 1 + static_cast<int>(in.Pick(kMaxProcedures));
  fuzz::FuzzLine line(data, size, in, kMaxExchanges);
  for (int i = 0; i < procedures && !in.Empty(); ++i) Run(in, generation, address);
  return 0;
}
