// The site report: everything the device table holds about the installed
// RETs and TMAs as one comma-separated file for a spreadsheet, a RET section
// and a TMA section, each with a title line, a header line and one row per
// subunit in the order of the main window's grids. The operator program's
// "Export Site Report" and `aldctl report` both write it through this code.
//
// Every value is written as a spreadsheet text formula (="value") so that
// codes with leading zeros and texts that look like numbers or dates stay as
// they are. Device texts (serial numbers, site and sector IDs) are written by
// whoever has access to the antenna line, so a value is always one inert
// string literal: its quotation marks are doubled, a cell whose value holds
// a quotation mark, comma, semicolon or control character is also quoted as
// a whole for the CSV reader, and a value longer than a spreadsheet's string
// literal is split into literals joined with "&". Ordinary values read
// exactly as the classic layout has them.
#pragma once

#include <string>
#include <string_view>

#include "aldglue/aldglue.h"
#include "aldpanel/core/gridrows.h"

namespace aldpanel {

inline constexpr const char* kReportTitle = "Site Report";
inline constexpr const char* kReportFileName = "Report.csv";
inline constexpr const char* kReportFilter = "CSV files (*.csv)|*.csv|All files (*.*)|*.*";
inline constexpr const char* kReportWriteFailed = "Report write failed!";

// The fixed lines of the two sections, newline included.
inline constexpr const char* kRetReportTitleLine =
    "RET Report ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" \n";
inline constexpr const char* kTmaReportTitleLine =
    "TMA Report ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\" ,=\"\",=\"\" \n";
inline constexpr const char* kRetReportSeparatorLine = "  , , , , , , , , , , \n";

inline constexpr int kRetReportColumnCount = 24;
inline constexpr const char* kRetReportCaptions[kRetReportColumnCount] = {
    "Sector ID",         "Address",     "Device Type",  "Site ID",        "Installer ID",
    "Installation Date", "Bearing",     "Mech. Tilt",   "Antenna Model",  "Antenna Serial No.",
    "Freq. Band",        "Beam Width",  "Antenna Gain", "AISG Version",   "Device Status",
    "Vendor Code",       "Vendor Name", "RET Model",    "RET Serial No.", "Hardware Version",
    "Software Version",  "Min Tilt",    "Max Tilt",     "Elec. Tilt"};
inline constexpr int kTmaReportColumnCount = 31;
inline constexpr const char* kTmaReportCaptions[kTmaReportColumnCount] = {
    "Sector ID",         "Address",        "Device Type",  "Site ID",        "Installer ID",
    "Installation Date", "Bearing",        "Mech. Tilt",   "Antenna Model",  "Antenna Serial No.",
    "Freq. Band",        "Beam Width",     "Antenna Gain", "AISG Version",   "Device Status",
    "Vendor Code",       "Vendor Name",    "TMA Model",    "TMA Serial No.", "Hardware Version",
    "Software Version",  "TMA Type",       "Mode",         "Min rxFreqBand", "Max rxFreqBand",
    "Min txFreqBand",    "Max txFreqBand", "Min Gain",     "Max Gain",       "GainResolution",
    "Current Gain"};

// The longest text a spreadsheet takes as one string literal in a formula.
inline constexpr size_t kReportLiteralLimit = 255;

struct SiteReport {
  std::string text;  // the whole file
  int retRows = 0;
  int tmaRows = 0;
};

// One cell for `value`: ="value" for an ordinary text, made safe as the
// header comment says for any other.
std::string ReportCell(std::string_view value);

// The report of `count` entries of `table`, ordered as the grids order them
// and named through `lookups` (its decimal separator is not used: the report
// always writes "."). A section without rows is left out; a table without
// RET and TMA entries gives an empty text.
SiteReport BuildSiteReport(const MIRELK_DATA* table, int count, const GridLookups& lookups);

// Writes `text` to `path` through a temporary file beside it that then takes
// the old file's place, so a failed write leaves any old report as it was.
// False with *why (the file and the system's reason) when it fails.
bool WriteReportFile(const std::string& path, const std::string& text, std::string* why);

}  // namespace aldpanel
