// Procedures of tower mounted amplifiers: mode (normal or bypass) and gain
// in both generations, and for AISG 2.0 units with several subunits the
// per-subunit device data, alarms, supported functions, non-linear gain
// values and the subunit count.
//
// Gains are unsigned bytes in quarter decibels. Subunit numbers are 1-based;
// subunit 0 addresses the unit as a whole, and AISG 1.x never carries one.
// Results are those of AISGDEVICEEP.
#pragma once

#include "aldlink/procedures/aisgdeviceep.h"

class TMAEP : public AISGDEVICEEP {
 public:
  TMAEP() = default;

  // Generation 1 or 2; anything else gives 84 without bus traffic.
  int TMASetMode(int address, int generation, int subunit, int mode, AISGDeviceParams* p);
  // Fills tmaCurrentMode.
  int TMAGetMode(int address, int generation, int subunit, AISGDeviceParams* p);
  int TMASetGain(int address, int generation, int subunit, int gain, AISGDeviceParams* p);
  // Fills tmaCurrentGain.
  int TMAGetGain(int address, int generation, int subunit, AISGDeviceParams* p);

  // AISG 2.0 per-subunit forms.
  int TMASetDeviceData(int address, int subunit, char* data, int length, AISGDeviceParams* p);
  int TMAGetDeviceData(int address, int subunit, char* ids, int count, AISGDeviceParams* p);
  int TMAClearAlarms(int address, int subunit, AISGDeviceParams* p);
  // Alarm codes stay in devRcuCodes from index 1 on.
  int TMAGetAlarmStatus(int address, int subunit, AISGDeviceParams* p);
  // Fills devTotalSubUnits.
  int TMAGetNumOfSubunits(int address, AISGDeviceParams* p);
  // Fills tmaFunctionFlag, tmaMinGain, tmaMaxGain and tmaGainResolution.
  int TMAGetSupportedFunctions(int address, int subunit, AISGDeviceParams* p);
  // Fills tmaNumofNonLinearGains (at most 80) and tmaNonLinearGains.
  int TMAGetSupportedNonLinearGainValues(int address, int subunit, AISGDeviceParams* p);

 private:
  int MultiTma(int address, int subunit, char code, char* data, int length, AISGDeviceParams* p);
  int AISG20Procedure(int address, char code, char* data, int length, AISGDeviceParams* p);
};
