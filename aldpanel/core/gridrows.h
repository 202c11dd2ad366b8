// The rows of the main window's RET and TMA grids, built from the flat device
// table without any window toolkit, so that the fill, its sort and its number
// formats are tested without a display.
//
// The builder reads each entry's texts only up to the field's size (a field
// without its terminating zero is cut there) and never keeps a pointer into
// the table: the interface library may replace the table at its next
// rebuild.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "aldglue/aldglue.h"

namespace aldpanel {

// Captions and starting widths (pixels) of the grids' columns. The last two
// columns of each grid hold the address and the vendor code and are hidden.
inline constexpr int kRetColumnCount = 13;
inline constexpr const char* kRetCaptions[kRetColumnCount] = {"Sector ID",
                                                              "Bearing",
                                                              "Freq. Band",
                                                              "Vendor",
                                                              "Antenna Model",
                                                              "Antenna Serial No.",
                                                              "RET Serial No.",
                                                              "Elec. Tilt",
                                                              "Mech. Tilt",
                                                              "Total Tilt",
                                                              "Device Status",
                                                              "Address",
                                                              ""};
inline constexpr int kRetWidths[kRetColumnCount] = {52, 40, 56, 52, 115, 112, 112,
                                                    44, 50, 44, 95, 0,   0};
inline constexpr int kTmaColumnCount = 12;
inline constexpr const char* kTmaCaptions[kTmaColumnCount] = {"Sector ID",
                                                              "Freq. Band",
                                                              "Vendor",
                                                              "Antenna Model",
                                                              "Antenna Serial No.",
                                                              "TMA Model",
                                                              "TMA Serial No.",
                                                              "Current Gain",
                                                              "Mode",
                                                              "Device Status",
                                                              "Address",
                                                              ""};
inline constexpr int kTmaWidths[kTmaColumnCount] = {52,  59, 54, 101, 108, 96,
                                                    108, 66, 46, 85,  0,   0};

// Column indexes the windows need by meaning.
inline constexpr int kRetStatusColumn = 10;
inline constexpr int kRetVendorColumn = 3;
inline constexpr int kRetAddressColumn = 11;
inline constexpr int kRetVendorCodeColumn = 12;
inline constexpr int kTmaGainColumn = 7;
inline constexpr int kTmaStatusColumn = 9;
inline constexpr int kTmaVendorColumn = 2;
inline constexpr int kTmaAddressColumn = 10;
inline constexpr int kTmaVendorCodeColumn = 11;

// Grid rows below the header while fewer devices are shown: the grids keep a
// page of empty rows so that they look the same before and after a scan.
inline constexpr int kGridMinimumRows = 23;

// Code-to-text lookups the grid needs; the window binds them to the table
// files. Any lookup left empty gives the code back unchanged (for sector
// control: "not listed"). Band texts come from the band decoder.
struct GridLookups {
  std::function<std::string(const std::string& vendorCode)> vendorShortName;
  std::function<std::string(const std::string& vendorCode)> vendorFullName;
  std::function<std::string(const std::string& modelCode, const std::string& vendorCode)>
      modelFullName;
  // The text of a result or status code; "OK" for a healthy device.
  std::function<std::string(int code)> errorText;
  // 1 when the vendor's Sector IDs are shown one-based, else 0 (or -1 when
  // the list cannot be read).
  std::function<int(const std::string& vendorCode)> sectorControl;
  // The locale's decimal separator, put in place of "." in every number.
  char decimalSeparator = '.';
};

// One grid row: the cells in column order, the entry's subunit (which the
// grids do not show), its index in the device table and the hint of the
// Vendor column (the vendor's full name).
struct GridRow {
  int tableIndex = 0;
  std::string subunit;
  std::vector<std::string> cells;
  std::string vendorHint;
  bool healthy = false;  // the status text reads "OK"
};

struct GridRows {
  std::vector<GridRow> ret;
  std::vector<GridRow> tma;
};

enum class EntryKind { kRet, kTma, kUnknown };

// A field's text, cut at its terminating zero or at the field's size.
std::string FieldText(const MIRELK_DATA& entry, int field);

// RET when the Device Type reads in hexadecimal as 1 or 0x11, TMA when it
// reads as 2 or 0x10, unknown otherwise (an entry the library left empty).
EntryKind KindOf(const MIRELK_DATA& entry);

// The order in which the entries are shown: RET entries first, then TMA
// entries, each group by the Sector ID compared as text, and entries of equal
// Sector ID by their table index as numbers. Entries of unknown kind are left
// out.
std::vector<int> SortedEntryOrder(const MIRELK_DATA* table, int count);

// Builds both grids' rows from `count` entries of `table` (nothing for a null
// table or a count below 1).
GridRows BuildGridRows(const MIRELK_DATA* table, int count, const GridLookups& lookups);

// The Sector ID as shown: one-based (the stored digits plus one) when
// `oneBased` and the text holds decimal digits only, else as stored. Works on
// the digits themselves, so no length overflows.
std::string ShownSectorId(const std::string& stored, bool oneBased);

// The status text of a device: the Device Status Cause holds two hexadecimal
// digits whose value is the key of the error text table. The library leaves
// the cause empty for a device whose status reads 0 (healthy): that is code
// 0. A cause that is not hexadecimal is shown as it stands; a status never
// read stays empty.
std::string StatusTextOf(std::string cause, const std::string& status,
                         const std::function<std::string(int)>& errorText);

// value / 10 as "%2.1f" with the decimal separator; empty when the text is
// not a number (a field the table left empty).
std::string TenthsText(const std::string& stored, char decimalSeparator);

// The lines of the scan result window for a count text "RET devices/RET
// units/TMA devices/TMA units" (a text that does not read so counts nothing).
std::vector<std::string> ScanSummaryLines(const char* countText);

}  // namespace aldpanel
