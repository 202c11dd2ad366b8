// Procedures of remote electrical tilt units: calibration, configuration
// data upload, electrical tilt, and the per-antenna forms of AISG 2.0
// multi-antenna units together with their device data, alarms and antenna
// count.
//
// Tilt values are signed 16-bit numbers in tenths of a degree. Antenna
// numbers are 1-based; antenna 0 addresses the unit as a whole (no antenna
// byte is sent). Results are those of AISGDEVICEEP.
#pragma once

#include "aldlink/procedures/aisgdeviceep.h"

class RETEP : public AISGDEVICEEP {
 public:
  RETEP() = default;

  // The device answers RR while the actuator moves; the engine keeps
  // polling for up to 300 polls (calibration) or 240 polls (tilt).
  int Calibrate(int address, int generation, AISGDeviceParams* p);
  int SetTilt(int address, int generation, int tilt, AISGDeviceParams* p);
  // Fills retCurrentTilt.
  int GetTilt(int address, int generation, AISGDeviceParams* p);

  // Sends a configuration file in pieces, one exchange each. A name that
  // contains ".hex" marks a text file of hexadecimal digit pairs; any other
  // file is sent as it is. A file that cannot be opened or read, is empty,
  // or (".hex") holds anything but digit pairs gives 84 with a trace line.
  int SendConfigurationData(int address, int generation, int antenna, char* fileName,
                            AISGDeviceParams* p);
  int SendConfigurationData(int address, int generation, char* fileName, AISGDeviceParams* p);
  // Reads the whole configuration file before anything is sent: true when
  // the upload can take it; false after a trace line "Configuration file
  // NAME: ..." naming what is wrong (missing, not a regular file,
  // unreadable, empty, ".hex" not holding digit pairs only).
  static bool CheckConfigurationFile(const char* fileName);

  // AISG 2.0 multi-antenna forms.
  int AntennaCalibrate(int address, int antenna, AISGDeviceParams* p);
  int AntennaSetTilt(int address, int antenna, int tilt, AISGDeviceParams* p);
  int AntennaGetTilt(int address, int antenna, AISGDeviceParams* p);
  int AntennaSetDeviceData(int address, int antenna, char* data, int length, AISGDeviceParams* p);
  int AntennaGetDeviceData(int address, int antenna, char* ids, int count, AISGDeviceParams* p);
  int AntennaClearAlarms(int address, int antenna, AISGDeviceParams* p);
  // Alarm codes stay in devRcuCodes from index 1 on.
  int AntennaGetAlarmStatus(int address, int antenna, AISGDeviceParams* p);
  int AntennaSendConfigurationData(int address, int antenna, char* fileName, AISGDeviceParams* p);
  // Fills devTotalSubUnits.
  int AntennaGetNumOfAntennas(int address, AISGDeviceParams* p);

 private:
  int MultiAntenna(int address, int antenna, char code, char* data, int length,
                   AISGDeviceParams* p);
  int AISG20Procedure(int address, char code, char* data, int length, AISGDeviceParams* p);
};
