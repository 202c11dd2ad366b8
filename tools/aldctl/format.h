// Output of aldctl: the device table as aligned text, CSV or JSON, and the
// meanings of the interface's result numbers.
#pragma once

#include <cstdio>
#include <string>

#include "aldglue/aldglue.h"
#include "aldlink/devices/resulttexts.h"

namespace aldctl {

enum class TableFormat { kText, kCsv, kJson };

// The generation and kind of the device of a table entry (unknown for null).
ald::results::DeviceKind KindOf(const MIRELK_DATA* entry);

// What a result number of the interface means for an operation on the
// device of `entry` (null when there is no device), for error messages.
std::string ResultText(int result, const MIRELK_DATA* entry = nullptr);

// The entry's kind from its "Device Type" field: 'R' for a RET (01, 11),
// 'T' for a TMA (02, 10), 0 otherwise.
char EntryKind(const MIRELK_DATA& entry);

// A table field as a text (never longer than the field, even unterminated).
std::string Field(const MIRELK_DATA& entry, int index);

// Tenths (`scale` 10) or quarters (`scale` 4) as a decimal text: 25 -> "2.5",
// 49 -> "12.25"; empty for an empty or non-numeric field text.
std::string Scaled(const std::string& raw, int scale);

// Writes `count` entries. Text: one aligned row per entry with the columns
// an engineer checks on site. CSV and JSON: every field under its name,
// values as stored in the table.
void WriteTable(FILE* out, const MIRELK_DATA* entries, int count, TableFormat format);

// Quoting for the two script formats. CsvCell also neutralises a text that
// a spreadsheet would run as a formula (first character =, +, -, @, tab or
// carriage return, unless the whole text is a plain number) with a leading
// single quote, and writes bytes outside printable ASCII as \xNN.
std::string CsvQuote(const std::string& value);
std::string CsvCell(const std::string& value);
// "12", "-1.5", "+3": an optional sign, digits, an optional fraction.
bool IsPlainNumber(const std::string& value);
// Bytes outside printable ASCII as \xNN, for the text outputs.
std::string Printable(const std::string& value);
std::string JsonQuote(const std::string& value);

}  // namespace aldctl
