// Names of the device table's fields as aldctl accepts them, and the device
// data fields that `data set` can write with their value checks.
#pragma once

#include <string>

#include "aldglue/aldglue.h"

namespace aldctl {

// The name shown for table field `index` in CSV headers, JSON keys and
// `data get` output; "Unique ID" for the unnamed unique ID field, empty for
// the unused field.
const char* TableFieldName(int index);
// The same for one row: a TMA's row names its identity fields "TMA Model"
// and "TMA Serial No.".
const char* TableFieldName(int index, bool tma);

// The table field named `name` (the table's own names without regard to
// case, "Elec. Tilt", "Unique ID", or the same names in lower case with
// hyphens such as "site-id"); -1 when there is none.
int FindTableField(const std::string& name);

// Which devices a writable field belongs to.
enum class FieldOwner { kBoth, kRet, kTma };

enum class ValueKind {
  kText,    // printable ASCII up to `maxLength` characters
  kNumber,  // a whole number in [min, max]
  kHex,     // exactly 2 * `bytes` hexadecimal digits
};

struct WritableField {
  int tableIndex;    // the table field that shows the value
  unsigned char id;  // the device data field identifier
  ValueKind kind;
  FieldOwner owner;
  int maxLength;   // kText: longest text (AISG 2.0)
  int maxLength1;  // kText: longest text on an AISG 1.x device
  int min, max;    // kNumber (AISG 2.0 range)
  int min1, max1;  // kNumber on an AISG 1.x device
  int bytes;       // kHex
};

// The writable field shown in table field `tableIndex`, or null when that
// field cannot be written.
const WritableField* FindWritableField(int tableIndex);

// Checks `value` for `field` as far as it can be checked without knowing
// the device (the widest AISG 2.0 limits); an empty result when it is good,
// else what is wrong.
std::string CheckValue(const WritableField& field, const std::string& value);

// Checks `value` against the device's generation and kind (1 or 2; `isRet`)
// and stores it into `data`; an empty result when stored, else what is
// wrong. The band field also writes its two extension words on AISG 2.0
// devices: the identifiers to send are appended to `ids`.
std::string StoreValue(const WritableField& field, const std::string& value, int generation,
                       bool isRet, DeviceData& data, std::string& ids);

// Whole numbers and decimals as typed on the command line. ParseInt takes an
// optional sign and decimal digits only; ParseScaled takes a decimal number
// with at most `decimals` digits after the point and returns it times
// 10^decimals (so "-2.5" with 1 decimal is -25).
bool ParseInt(const std::string& text, long& out);
bool ParseScaled(const std::string& text, int decimals, long& out);

}  // namespace aldctl
