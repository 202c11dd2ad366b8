// The antenna installation data of the RET and TMA detail windows without
// the widgets: reading what the operator typed into the "Antenna Data"
// group, refusing whatever the device's field cannot hold (never cutting
// or wrapping it), the texts those fields show, and the field list plus
// DeviceData record handed to setDeviceData.
//
// A wrong byte here ends up in a device on a mast, so numbers are parsed
// from their text exactly (tenths as integers, no floating point) and every
// refusal names the field and the limit it broke.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "aldlink/devices/devicedata.h"

namespace aldpanel {

// Device data field identifiers written from the detail windows.
enum AntennaFieldId : char {
  kFieldAntennaModel = 0x01,
  kFieldAntennaSerial = 0x02,
  kFieldBand = 0x03,
  kFieldBeamWidth = 0x04,
  kFieldGain = 0x05,
  kFieldBandExt08 = 0x08,
  kFieldBandExt09 = 0x09,
  kFieldInstallDate = 0x21,
  kFieldInstallerId = 0x22,
  kFieldSiteId = 0x23,
  kFieldSectorId = 0x24,
  kFieldBearing = 0x25,
  kFieldMechanicalTilt = 0x26,
};

inline constexpr const char* kDecimalFormatMessage = "The decimal format is not correct.";
inline constexpr const char* kOutOfRangeMessage = "Out of range error!";
inline constexpr const char* kBearingRangeMessage =
    "Out of range error ( Min Bearing: 0  , Max Bearing: 3600 )";
inline constexpr const char* kMechTiltRangeMessage1 =
    "Out of range error ( Min Mechanical Tilt: -12.8  , Max Mechanical Tilt: 12.7 )";
inline constexpr const char* kMechTiltRangeMessage2 =
    "Out of range error ( Min Mechanical Tilt: -90.0  , Max Mechanical Tilt: 90.0 )";

// The decimal format check of tilts: the text passes when it holds no
// `decimalSeparator`, or when some separator in it is followed by at most
// one character ("2." passes, "2.55" does not).
bool DecimalFormatOk(std::string_view text, char decimalSeparator);

// A number with at most one decimal, `decimalSeparator` as the separator,
// in tenths: "-1.5" gives -15, "2." 20, ",5" 5 (comma locale). Blanks around
// it are ignored. Nothing when the text is not such a number or its value
// is beyond a million.
std::optional<long> ParseTenths(std::string_view text, char decimalSeparator);

// Tenths as the windows show them: one decimal, the locale's separator
// (-5 gives "-0.5", 120 gives "12.0").
std::string FormatTenths(long tenths, char decimalSeparator);

// The set tilt check: the current tilt text against the range texts shown
// beside it. A bound that is empty (never read) or not a number is not
// checked: the device decides.
enum class TiltVerdict {
  kNothing,     // the text is empty: nothing to do
  kBadFormat,   // kDecimalFormatMessage
  kNotANumber,  // message names the text
  kOutOfRange,  // kOutOfRangeMessage
  kOk,          // tenths holds the tilt to send
};
struct TiltCheck {
  TiltVerdict verdict = TiltVerdict::kNothing;
  int tenths = 0;
  std::string message;
};
TiltCheck CheckSetTilt(std::string_view current, std::string_view minTilt, std::string_view maxTilt,
                       char decimalSeparator);

// Sector IDs of sector-controlled vendors are kept zero-based by the device
// and shown one-based. Only texts of digits alone are converted; the
// conversion works on the digits, so no length overflows.
std::string SectorForDisplay(const std::string& stored, bool sectorControlled);
// The reverse; nothing for "0" (or "00"...), which has no zero-based value.
std::optional<std::string> SectorForDevice(const std::string& shown, bool sectorControlled);

// How many gains and beam widths the device keeps: 3 on AISG 1.x, 4 on 2.x.
int ValueSlots(int aisgVersion);
// The number of bands of a band text ("2100/1800" gives 2): the "/" plus one.
int BandCount(std::string_view bandText);

// The texts of the Antenna Gain and Beam Width fields of the device table
// for `bandCount` bands (cut to the version's slots): gains in dBi with one
// decimal ("15.8/16.3"), beam widths in degrees ("67/65"). Band i's value
// is the device's i-th, as the device keeps them in ascending band order.
// "" when the field is shorter than its values or not hexadecimal.
std::string GainDisplayText(std::string_view field, int bandCount, int aisgVersion,
                            char decimalSeparator);
std::string BeamWidthDisplayText(std::string_view field, int bandCount, int aisgVersion);

// What the operator ticked in the "Antenna Data" group, as typed. An empty
// optional is a field that is not ticked.
struct AntennaDataInput {
  int aisgVersion = 2;
  char decimalSeparator = '.';
  bool sectorControlled = false;
  // The TMA window's differences: the model is a plain text (no catalogue
  // file), only the first band word is written (no extended maps).
  bool tma = false;
  // The band text the window shows (the new one after a band choice): its
  // band count decides how many gains and beam widths the operator may give.
  std::string bandText;

  std::optional<std::string> sectorId;
  std::optional<std::string> siteId;
  std::optional<std::string> installerId;
  std::optional<std::string> installDate;
  std::optional<std::string> bearing;
  std::optional<std::string> mechanicalTilt;
  std::optional<std::string> antennaSerial;
  std::optional<std::string> gain;       // "17.5/18.0"
  std::optional<std::string> beamWidth;  // "65/63"
  // Frequency Band ticked: the three band words, each low byte first, and
  // whether the extended words 0x08 and 0x09 are to be written as well.
  bool band = false;
  std::array<uint8_t, 6> bandBytes{};
  bool writeExtended1 = false;
  bool writeExtended2 = false;
  // RET: the model code of the chosen name; TMA: the edit's text.
  std::optional<std::string> model;
};

struct AntennaDataRecord {
  std::string fields;  // identifiers in writing order, one byte each
  DeviceData data{};   // the listed members filled, the rest zero
};

struct AntennaDataBuild {
  bool ok = false;
  std::string message;  // why not, naming the field
  AntennaDataRecord record;
};

// Checks every ticked value and builds the record. Order of the fields:
// Sector ID, Site ID, Installer ID, Installation Date, Bearing, Mechanical
// Tilt, Antenna Serial No., Antenna Gain, Beam Width, Frequency Band (and
// its extended words), Antenna Model. The first refused value ends it; an
// AISG version other than 1 or 2 refuses everything.
AntennaDataBuild BuildAntennaData(const AntennaDataInput& input);

// Leaves `id` out of the record's field list (a model whose catalogue file
// could not be uploaded is not written).
void DropField(AntennaDataRecord& record, char id);

}  // namespace aldpanel
