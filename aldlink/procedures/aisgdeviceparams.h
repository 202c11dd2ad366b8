// The working record of the procedures: what one antenna line device told us
// about itself (identity, last answer, antenna and TMA configuration).
//
// A plain structure without constructor: the owner (usually a stack variable
// of one operation, or an element of a scan's vector) clears it with
// AISGDEVICEEP::InitialParams and the procedures fill it piece by piece.
// Members no procedure touched keep their value, so clear before reuse.
// Texts are zero-terminated ASCII in fixed arrays; byte arrays carry their
// count in a separate member where the count varies.
#pragma once

#include <cstdint>
#include <type_traits>

struct AISGDeviceParams {
  // Identity.
  int devAddress;                 // HDLC address
  unsigned devSubUnitNumber;      // subunit the record speaks of
  int devTotalSubUnits;           // antennas of a multi-antenna RET, TMA subunits
  int devType;                    // device type code (RET 1 and 17, TMA 2 and 16)
  int devAisgVersion;             // generation: 1 = AISG 1.x, 2 = AISG 2.0
  int dev3gppVersion;             // 3GPP release reported by the device
  unsigned devExtSubVersion;      // extended sub-version reported by the device
  int devUniqueIDSize;            // valid bytes in devUniqueID
  unsigned char devUniqueID[20];  // raw unique ID, vendor code first
  char devVendorID[8];            // two-letter vendor code
  char devModel[20];              // product number
  char devSerial[20];             // serial number
  char devBitRates[8];            // supported bit rates as reported
  char devHWver[20];              // hardware version
  char devSWver[20];              // software version
  unsigned char devUserData[72];  // the piece of user data read last (no terminator)

  // Response area of the last exchange: return code first, then its data.
  int devRcuCodesSize;
  unsigned char devRcuCodes[128];

  // Antenna configuration (device data).
  char antModel[20];
  char antSerial[20];
  uint16_t antFreqBand;           // band bit map
  uint16_t antFreqBandExt08;      // extended band bit map, first
  uint16_t antFreqBandExt09;      // extended band bit map, second
  unsigned char antBeamwidth[8];  // raw value bytes of the beamwidth field
  unsigned char antGain[4];       // per band, 0.1 dBi
  int antMaxTilt;                 // 0.1 degree
  int antMinTilt;                 // 0.1 degree
  char antInstallDate[8];
  char antInstallID[8];
  char antBaseStationID[36];
  char antSectorID[36];
  int antBearing;         // the user interface shows tenths of a degree
  int antMechanicalTilt;  // 0.1 degree, signed
  int retCurrentTilt;     // 0.1 degree, signed

  // TMA configuration and state.
  char tmaModel[20];
  char tmaSerial[20];
  int tmaType;                        // bit 0 bypass, bit 1 VSWR
  unsigned char tmaRecFreqBand[4];    // lower, upper edge; 16-bit LE each, 100 kHz
  unsigned char tmaTransFreqBand[4];  // same layout
  int tmaFunctionFlag;                // supported-functions byte
  int tmaMaxGain;                     // 0.25 dB
  int tmaMinGain;                     // 0.25 dB
  int tmaGainResolution;              // 0.25 dB
  int tmaCurrentMode;
  int tmaCurrentGain;          // 0.25 dB
  int tmaNumofNonLinearGains;  // valid bytes in tmaNonLinearGains, 0..80
  unsigned char tmaNonLinearGains[80];
};

static_assert(std::is_trivially_copyable_v<AISGDeviceParams>);
static_assert(std::is_standard_layout_v<AISGDeviceParams>);
