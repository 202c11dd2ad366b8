// The device database file: loading the registry from it, and writing it.
//
// Layout: two header lines ("dbver = N", "devcount = N"; the reader takes
// two words and a number from each), then per device a class tag line,
// "{", the base field lines, one block per subunit (tag, "{", field lines,
// "}") and "}". A field line is "<number> <key> = <value>", the number
// padded to three characters. Values are decimal, text (rest of the line),
// hex (two lower-case digits a byte) or raw bytes (the unique ID).
//
// The file comes from disk and may be damaged, so the reader works line by
// line with one line of look-ahead: a field line is parsed whole, a block
// that ends early leaves its other members at their new-object values, an
// unknown field or block is skipped, and every value is bounded by the
// member it goes into. A device whose block is cut short (end of file
// before its closing brace) is destroyed instead of registered, so the
// registry never holds an object the file did not describe completely.
#include "aldlink/devices/devicedb.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "aldlink/devices/aisgdevice.h"
#include "aldlink/devices/retdevice.h"
#include "aldlink/devices/tmadevice.h"
#include "support/clock.h"

namespace ald {

std::string DeviceDbRoot() {
  const char* env = std::getenv("ALDLINK_DBDIR");
  std::string root = env != nullptr ? env : "";
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root.empty() ? std::string("/mirelk") : root;
}

std::string DeviceDbWorkingDir() {
  std::string root = DeviceDbRoot();
  if (root == "/") root.clear();
  return root + "/tmp/";
}

std::string DeviceDbMasterDir() {
  std::string root = DeviceDbRoot();
  if (root == "/") root.clear();
  return root + "/data/";
}

}  // namespace ald

namespace {

// One line of the file with its line feed and terminator. Longer lines are
// cut by the stream (the rest of the line is skipped).
constexpr int kLineBytes = 512;
constexpr int kKeyBytes = 64;
// Longest text value: what a written line carries after the longest label
// of a text field ("7  productnumber = "), so that it is read back whole. A
// longer text would lose its end anew at every load and write.
constexpr int kMaxText = kLineBytes - 2 - 1 - static_cast<int>(sizeof "7  productnumber = " - 1);

// Field lines each block reads at most (unknown fields not counted).
constexpr int kBaseFields = 12;
constexpr int kRetFields = 17;
constexpr int kTmaFields = 24;
// The field that closes each block.
constexpr int kBaseLast = 19;
constexpr int kRetLast = 23;
constexpr int kTmaLast = 26;
// A RET writes at most this many alarm codes; a TMA this many, which keeps
// its alarm line well within what the reader takes.
constexpr int kRetAlarmsWritten = 17;
constexpr int kTmaAlarmsWritten = 64;

// --- Reading lines -------------------------------------------------------------

// The look-ahead line. The reader is single-threaded like the registry; the
// line belongs to the stream it was read from and is dropped when another
// stream asks.
struct LookAhead {
  const ald::InFileStream* in = nullptr;
  bool has = false;
  char line[kLineBytes] = {};
};
LookAhead lookAhead;

void ResetLookAhead() {
  lookAhead.in = nullptr;
  lookAhead.has = false;
}

// Characters before the line feed (the stream always puts one).
int LineLength(const char* line) {
  const void* lf = std::memchr(line, '\n', kLineBytes);
  return lf == nullptr ? 0 : static_cast<int>(static_cast<const char*>(lf) - line);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

bool BlankLine(const char* line) {
  const int n = LineLength(line);
  for (int i = 0; i < n; ++i) {
    if (!IsBlank(line[i])) return false;
  }
  return true;
}

// The next line; with `skipBlank` empty lines are passed over. False at the
// end of the file.
bool NextLine(ald::InFileStream& in, char* line, bool skipBlank = true) {
  if (lookAhead.has && lookAhead.in == &in) {
    std::memcpy(line, lookAhead.line, kLineBytes);
    lookAhead.has = false;
    return true;
  }
  lookAhead.has = false;
  for (;;) {
    in.gets(line, kLineBytes);
    if (!in) return false;
    if (LineLength(line) >= kLineBytes - 2) {
      std::printf("Line too long, cut to %d characters\n", kLineBytes - 2);
    }
    if (!skipBlank || !BlankLine(line)) return true;
  }
}

void PushBack(ald::InFileStream& in, const char* line) {
  lookAhead.in = &in;
  lookAhead.has = true;
  std::memcpy(lookAhead.line, line, kLineBytes);
}

// The first blank-delimited word of a line (cut to fit).
void FirstWord(const char* line, char* word, int capacity) {
  const int n = LineLength(line);
  int i = 0;
  while (i < n && IsBlank(line[i])) ++i;
  int w = 0;
  while (i < n && !IsBlank(line[i]) && line[i] != 0) {
    if (w < capacity - 1) word[w++] = line[i];
    ++i;
  }
  word[w] = 0;
}

bool IsDeviceTag(const char* word) {
  return std::strcmp(word, "RETDevice") == 0 || std::strcmp(word, "TMADevice") == 0;
}

bool IsSubunitTag(const char* word) {
  return std::strcmp(word, "RETSubunit") == 0 || std::strcmp(word, "TMASubunit") == 0;
}

// One parsed field line.
struct Field {
  int number = 0;
  char key[kKeyBytes] = {};
  // The value: what follows "=" and the one blank after it, up to the line
  // feed (raw bytes may include zero bytes).
  const char* value = nullptr;
  int length = 0;
  // The same with a trailing carriage return, for raw bytes whose last
  // byte may be one.
  int rawLength = 0;
};

enum class LineKind { kField, kOther, kMalformed };

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A field line is a number, a key and "=". A line that does not begin with
// a number is something else (a tag or a brace); one that begins with a
// number but lacks the key or "=" is malformed.
LineKind ParseField(const char* line, Field& f) {
  const int n = LineLength(line);
  int i = 0;
  while (i < n && IsBlank(line[i])) ++i;
  if (i >= n || !IsDigit(line[i])) return LineKind::kOther;
  long long number = 0;
  while (i < n && IsDigit(line[i])) {
    if (number < 1000000) number = number * 10 + (line[i] - '0');
    ++i;
  }
  if (i >= n || !IsBlank(line[i])) return LineKind::kMalformed;
  f.number = static_cast<int>(number);
  while (i < n && IsBlank(line[i])) ++i;
  int k = 0;
  while (i < n && !IsBlank(line[i])) {
    if (k < kKeyBytes - 1) f.key[k++] = line[i];
    ++i;
  }
  f.key[k] = 0;
  if (k == 0) return LineKind::kMalformed;
  while (i < n && IsBlank(line[i])) ++i;
  if (i >= n || line[i] != '=' || (i + 1 < n && !IsBlank(line[i + 1]))) return LineKind::kMalformed;
  ++i;
  // Exactly one character (the blank after "=") is skipped, never the end
  // of the line.
  if (i < n) ++i;
  f.value = line + i;
  f.length = n - i;
  f.rawLength = f.length;
  // A file saved with CRLF line ends: the carriage return belongs to the
  // line end, not to the value (a vendor code "KA\r" matches no device).
  if (f.length > 0 && f.value[f.length - 1] == '\r') --f.length;
  return LineKind::kField;
}

// The line without its line feed, for traces.
void Printable(const char* line, char* out) {
  const int n = LineLength(line);
  std::memcpy(out, line, static_cast<size_t>(n));
  out[n] = 0;
}

void TraceMalformed(const char* line) {
  char text[kLineBytes];
  Printable(line, text);
  std::printf("Bad field line:[%s]\n", text);
}

void TraceUnknown(const Field& f) {
  std::printf("Unknown field name:[%s]\n", f.key);
}

// --- Values --------------------------------------------------------------------

// A decimal whole number within [min, max], blanks around it allowed.
bool ParseDecimal(const Field& f, long long min, long long max, long long& out) {
  int i = 0;
  while (i < f.length && IsBlank(f.value[i])) ++i;
  bool negative = false;
  if (i < f.length && (f.value[i] == '-' || f.value[i] == '+')) negative = f.value[i++] == '-';
  if (i >= f.length || !IsDigit(f.value[i])) return false;
  long long n = 0;
  while (i < f.length && IsDigit(f.value[i])) {
    if (n < 100000000000LL) n = n * 10 + (f.value[i] - '0');
    ++i;
  }
  while (i < f.length && IsBlank(f.value[i])) ++i;
  if (i != f.length) return false;
  if (negative) n = -n;
  if (n < min || n > max) return false;
  out = n;
  return true;
}

void TraceBadValue(const Field& f) {
  std::printf("Bad value of field:[%s]\n", f.key);
}

template <typename T>
void ReadDecimal(const Field& f, T& member, long long min, long long max) {
  long long v = 0;
  if (ParseDecimal(f, min, max, v)) {
    member = static_cast<T>(v);
  } else {
    TraceBadValue(f);
  }
}

void ReadInt(const Field& f, int& member) {
  ReadDecimal(f, member, -2147483647LL - 1, 2147483647LL);
}
void ReadShort(const Field& f, int16_t& member) {
  ReadDecimal(f, member, -32768, 32767);
}
void ReadUShort(const Field& f, uint16_t& member) {
  ReadDecimal(f, member, 0, 65535);
}

// The text value: the rest of the line without its line feed, at most
// kMaxText characters.
void ReadText(const Field& f, ald::HString& member) {
  char text[kLineBytes];
  const int length = std::min(f.length, kMaxText);
  std::memcpy(text, f.value, static_cast<size_t>(length));
  text[length] = 0;
  member = ald::HString(text);
  if (length < f.length) TraceBadValue(f);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digit pairs into at most `max` bytes; stops at the first pair that is not
// two hex digits. `clean` is false when something other than whole digit
// pairs (trailing blanks aside) was in the value.
int ParseHex(const Field& f, unsigned char* out, int max, bool& clean) {
  int end = f.length;
  while (end > 0 && IsBlank(f.value[end - 1])) --end;
  int n = 0;
  int i = 0;
  clean = true;
  while (i + 1 < end && n < max) {
    const int hi = HexDigit(f.value[i]);
    const int lo = HexDigit(f.value[i + 1]);
    if (hi < 0 || lo < 0) {
      clean = false;
      return n;
    }
    out[n++] = static_cast<unsigned char>(hi << 4 | lo);
    i += 2;
  }
  if (i < end && n < max) clean = false;  // an odd last digit
  return n;
}

// A fixed number of bytes; a short or damaged value sets the bytes it has
// and leaves the others.
void ReadHexFixed(const Field& f, unsigned char* member, int size) {
  unsigned char bytes[kLineBytes / 2];
  bool clean = true;
  const int n = ParseHex(f, bytes, size, clean);
  std::memcpy(member, bytes, static_cast<size_t>(n));
  if (n < size || !clean) TraceBadValue(f);
}

// Alarm codes, one per digit pair, as a zero-terminated list.
void ReadAlarms(const Field& f, ald::HString& member) {
  unsigned char bytes[kLineBytes / 2 + 1] = {};
  bool clean = true;
  const int n = ParseHex(f, bytes, kLineBytes / 2, clean);
  bytes[n] = 0;
  if (!clean) TraceBadValue(f);
  member = ald::HString(reinterpret_cast<char*>(bytes));
}

// The count byte, then that many values; the count never exceeds the
// values the member holds or the values the line gives.
void ReadNonLinearGains(const Field& f, unsigned char* member) {
  unsigned char bytes[kLineBytes / 2];
  bool clean = true;
  const int n = ParseHex(f, bytes, kLineBytes / 2, clean);
  if (n == 0) {
    if (!clean) TraceBadValue(f);
    return;
  }
  const int given = n - 1;
  const int count = std::min({static_cast<int>(bytes[0]), given, TMASubunit::kMaxNonLinearGains});
  member[0] = static_cast<unsigned char>(count);
  std::memcpy(member + 1, bytes + 1, static_cast<size_t>(count));
  if (!clean || count != bytes[0]) TraceBadValue(f);
}

// The common subunit fields of RET and TMA subunits; false for any other number.
template <typename S>
bool ReadCommonField(const Field& f, S& s) {
  switch (f.number) {
    case 1:
      ReadShort(f, s.antnumber);
      return true;
    case 2:
      ReadText(f, s.antmodel);
      return true;
    case 3:
      ReadText(f, s.antsn);
      return true;
    case 4:
      ReadHexFixed(f, s.antband, sizeof s.antband);
      return true;
    case 5:
      ReadHexFixed(f, s.antbeam, sizeof s.antbeam);
      return true;
    case 6:
      ReadHexFixed(f, s.antgain, sizeof s.antgain);
      return true;
    case 9:
      ReadText(f, s.insdate);
      return true;
    case 10:
      ReadText(f, s.insid);
      return true;
    case 11:
      ReadText(f, s.baseid);
      return true;
    case 12:
      ReadText(f, s.sectorid);
      return true;
    case 13:
      ReadUShort(f, s.bearing);
      return true;
    case 14:
      ReadShort(f, s.mechtilt);
      return true;
    default:
      return false;
  }
}

bool ReadRetField(const Field& f, RETSubunit& s) {
  if (ReadCommonField(f, s)) return true;
  switch (f.number) {
    case 7:
      ReadShort(f, s.antmaxtilt);
      return true;
    case 8:
      ReadShort(f, s.antmintilt);
      return true;
    case 21:
      ReadInt(f, s.status);
      return true;
    case 22:
      ReadAlarms(f, s.alarm);
      return true;
    case 23:
      ReadInt(f, s.curtilt);
      return true;
    default:
      return false;
  }
}

bool ReadTmaField(const Field& f, TMASubunit& s) {
  if (ReadCommonField(f, s)) return true;
  switch (f.number) {
    case 15:
      ReadUShort(f, s.tmatype);
      return true;
    case 16:
      ReadHexFixed(f, s.rxband, sizeof s.rxband);
      return true;
    case 17:
      ReadHexFixed(f, s.txband, sizeof s.txband);
      return true;
    case 18:
      ReadUShort(f, s.maxgain);
      return true;
    case 19:
      ReadUShort(f, s.mingain);
      return true;
    case 20:
      ReadUShort(f, s.resolution);
      return true;
    case 21:
      ReadNonLinearGains(f, s.nlgain);
      return true;
    case 22:
      ReadInt(f, s.status);
      return true;
    case 23:
      ReadAlarms(f, s.alarm);
      return true;
    case 24:
      ReadUShort(f, s.function);
      return true;
    case 25:
      ReadInt(f, s.mode);
      return true;
    case 26:
      ReadInt(f, s.curgain);
      return true;
    default:
      return false;
  }
}

// Reads field lines with `read` until the closing field, a line that is not
// a field line (left for the caller), the end of the file, or `limit` known
// fields. Unknown and malformed lines are skipped with a trace.
template <typename ReadFn>
void ReadFields(ald::InFileStream& in, int last, int limit, ReadFn read) {
  char line[kLineBytes];
  int known = 0;
  while (known < limit && NextLine(in, line)) {
    Field f;
    const LineKind kind = ParseField(line, f);
    if (kind == LineKind::kOther) {
      PushBack(in, line);
      return;
    }
    if (kind == LineKind::kMalformed) {
      TraceMalformed(line);
      continue;
    }
    if (!read(f)) {
      TraceUnknown(f);
      continue;
    }
    ++known;
    if (f.number == last) return;
  }
}

// The "{" of a block. Its content is not checked, except that a field line
// is left for the field reader (the brace is missing). False at the end of
// the file or at the next device's tag (the block is cut short).
bool ReadOpen(ald::InFileStream& in) {
  char line[kLineBytes];
  if (!NextLine(in, line)) return false;
  char word[kKeyBytes];
  FirstWord(line, word, sizeof word);
  Field f;
  if (std::strcmp(word, "{") == 0) return true;
  std::printf("Field seq error:%s, not {!\n", word);
  if (IsDeviceTag(word)) {
    PushBack(in, line);
    return false;
  }
  if (ParseField(line, f) != LineKind::kOther) PushBack(in, line);
  return true;
}

// The "}" that closes a block. Anything else before it is skipped, nested
// blocks included. For a subunit block the next subunit's tag also ends it
// (the brace is missing). False at the end of the file or at the next
// device's tag: the block is cut short.
bool ReadClose(ald::InFileStream& in, bool subunit) {
  char line[kLineBytes];
  char word[kKeyBytes];
  int depth = 0;
  bool traced = false;
  while (NextLine(in, line)) {
    FirstWord(line, word, sizeof word);
    if (std::strcmp(word, "}") == 0) {
      if (depth == 0) return true;
      --depth;
      continue;
    }
    if (depth == 0 && (IsDeviceTag(word) || (subunit && IsSubunitTag(word)))) {
      std::printf("Field seq error:%s, not }!\n", word);
      PushBack(in, line);
      return !IsDeviceTag(word);
    }
    if (std::strcmp(word, "{") == 0) ++depth;
    if (!traced) {
      std::printf("Field seq error:%s, not }!\n", word);
      traced = true;
    }
  }
  return false;
}

// Reads the subunit blocks of a device; false when the file ends first.
template <typename S, typename ReadFn>
bool ReadSubunits(ald::InFileStream& in, S* subunits, int count, const char* tag, int last,
                  int limit, ReadFn read) {
  char line[kLineBytes];
  char word[kKeyBytes];
  for (int i = 0; i < count; ++i) {
    if (!NextLine(in, line)) return false;
    FirstWord(line, word, sizeof word);
    if (std::strcmp(word, tag) != 0) {
      std::printf("Field seq error:%s, not %s header!\n", word, tag);
      Field f;
      if (std::strcmp(word, "}") == 0 || IsDeviceTag(word)) {
        // The device block ends here: the other subunits stay new.
        PushBack(in, line);
        return true;
      }
      // A missing tag: the line belongs to the block itself.
      if (std::strcmp(word, "{") == 0 || ParseField(line, f) != LineKind::kOther) {
        PushBack(in, line);
      }
    }
    if (!ReadOpen(in)) return false;
    S& s = subunits[i];
    ReadFields(in, last, limit, [&s, &read](const Field& f) { return read(f, s); });
    if (!ReadClose(in, true)) return false;
  }
  return true;
}

// --- Writing -------------------------------------------------------------------

void WriteDecimal(ald::OutFileStream& out, const char* label, int value) {
  out << label << value << '\n';
}

// A text stays on its line: a line feed in it is written as a blank, and
// no more than kMaxText characters are written, so the reader takes the
// line whole.
void WriteText(ald::OutFileStream& out, const char* label, const ald::HString& text) {
  out << label;
  const char* p = text;
  for (int n = 0; *p != 0 && n < kMaxText; ++p, ++n) out << (*p == '\n' ? ' ' : *p);
  out << '\n';
}

void WriteHexDigits(ald::OutFileStream& out, const char* label, const char* digits) {
  out << label << digits << '\n';
}

// `count` bytes as hex digits, at most those of the widest hex field.
void WriteHexBytes(ald::OutFileStream& out, const char* label, const void* bytes, int count) {
  char hex[2 * kLineBytes / 2 + 1];
  count = std::clamp(count, 0, kLineBytes / 2);
  AISGDevice::Char2Hex(static_cast<const char*>(bytes), count, hex);
  hex[2 * count] = 0;
  WriteHexDigits(out, label, hex);
}

// The antenna fields RET and TMA subunits share, in file order: the head
// (fields 1 to 6) and the installation (9 to 14).
template <typename S>
void WriteSubunitHead(ald::OutFileStream& out, const S& s) {
  WriteDecimal(out, "1  antnumber = ", s.antnumber);
  WriteText(out, "2  antmodel = ", s.antmodel);
  WriteText(out, "3  antsn = ", s.antsn);
  WriteHexBytes(out, "4  antband = ", s.antband, sizeof s.antband);
  WriteHexBytes(out, "5  antbeam = ", s.antbeam, sizeof s.antbeam);
  WriteHexBytes(out, "6  antgain = ", s.antgain, sizeof s.antgain);
}

template <typename S>
void WriteSubunitInstallation(ald::OutFileStream& out, const S& s) {
  WriteText(out, "9  insdate = ", s.insdate);
  WriteText(out, "10 insid = ", s.insid);
  WriteText(out, "11 baseid = ", s.baseid);
  WriteText(out, "12 sectorid = ", s.sectorid);
  WriteDecimal(out, "13 bearing = ", s.bearing);
  WriteDecimal(out, "14 mechtilt = ", s.mechtilt);
}

// The subunit blocks and the closing brace of a device block, into fresh
// subunits numbered 1, 2, ... until the file says otherwise. False when the
// block is cut short.
template <typename S, typename ReadFn>
bool ReadSubunitBlocks(ald::InFileStream& in, std::unique_ptr<S[]>& subunits, int count,
                       const char* tag, int last, int limit, ReadFn read) {
  subunits.reset();
  if (count > 0) {
    subunits = std::make_unique<S[]>(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) subunits[i].antnumber = static_cast<int16_t>(i + 1);
  }
  return ReadSubunits(in, subunits.get(), count, tag, last, limit, read) && ReadClose(in, false);
}

}  // namespace

// --- AISGDevice -------------------------------------------------------------------

int AISGDevice::SaveDevices(int reason) {
  // The database changes only by means outside the library; the callers'
  // requests are traced and nothing is written.
  std::printf("AISGDevice::SaveDevices(%d)\n", reason);
  return 0;
}

int AISGDevice::WriteObject(ald::OutFileStream& out) {
  WriteDecimal(out, "1  devtype = ", devtype);
  WriteDecimal(out, "2  aisgver = ", aisgver);
  WriteDecimal(out, "3  address = ", address);
  const int size = std::clamp(uidsize, 0, kUidBytes);
  WriteDecimal(out, "4  uidsize = ", size);
  out << "5  uid = ";
  for (int i = 0; i < size; ++i) out << uid[i];
  out << '\n';
  WriteText(out, "6  vendorid = ", vendorid);
  WriteText(out, "7  productnumber = ", productnumber);
  WriteText(out, "8  sn = ", sn);
  WriteText(out, "9  hwver = ", hwver);
  WriteText(out, "10 swver = ", swver);
  WriteDecimal(out, "11 subunitcount = ", subunitcount);
  WriteDecimal(out, "19 state = ", state);
  return 0;
}

int AISGDevice::ReadObject(ald::InFileStream& in) {
  version3gpp = 0;
  ReadFields(in, kBaseLast, kBaseFields, [this, &in](const Field& f) {
    switch (f.number) {
      case 1:
        ReadInt(f, devtype);
        return true;
      case 2:
        ReadInt(f, aisgver);
        return true;
      case 3:
        ReadInt(f, address);
        return true;
      case 4: {
        int size = uidsize;
        ReadInt(f, size);
        if (size < 0 || size > kUidBytes) {
          TraceBadValue(f);
          size = std::clamp(size, 0, kUidBytes);
        }
        uidsize = size;
        return true;
      }
      case 5: {
        // Raw bytes: a line feed inside the ID splits its line, so a short
        // line is joined with the following ones as long as they cannot be
        // anything else and fit the announced size.
        char bytes[kUidBytes] = {};
        int n = std::min(f.rawLength, uidsize);
        std::memcpy(bytes, f.value, static_cast<size_t>(n));
        char line[kLineBytes];
        while (n < uidsize && NextLine(in, line, false)) {
          Field g;
          char word[kKeyBytes];
          FirstWord(line, word, sizeof word);
          const int length = LineLength(line);
          if (ParseField(line, g) == LineKind::kField || IsDeviceTag(word) || IsSubunitTag(word) ||
              std::strcmp(word, "}") == 0 || n + 1 + length > uidsize) {
            PushBack(in, line);
            break;
          }
          bytes[n++] = '\n';
          std::memcpy(bytes + n, line, static_cast<size_t>(length));
          n += length;
        }
        if (n < uidsize) {
          std::printf("uid shorter than uidsize: %d of %d bytes\n", n, uidsize);
          uidsize = n;
        }
        std::memset(uid, 0, sizeof uid);
        std::memcpy(uid, bytes, static_cast<size_t>(n));
        return true;
      }
      case 6:
        ReadText(f, vendorid);
        return true;
      case 7:
        ReadText(f, productnumber);
        return true;
      case 8:
        ReadText(f, sn);
        return true;
      case 9:
        ReadText(f, hwver);
        return true;
      case 10:
        ReadText(f, swver);
        return true;
      case 11:
        ReadInt(f, subunitcount);
        if (subunitcount >= 17) subunitcount = 16;
        if (subunitcount < 0) subunitcount = 0;
        return true;
      case kBaseLast:
        ReadInt(f, state);
        return true;
      default:
        return false;
    }
  });
  return 0;
}

int AISGDevice::WriteDevices(const char* path) {
  if (path == nullptr) return -1;
  // Only the classes with a block of their own can be written and read back.
  int count = 0;
  for (int i = 0; i < theDeviceCount; ++i) {
    if (dynamic_cast<RETDevice*>(theDevices[i]) != nullptr ||
        dynamic_cast<TMADevice*>(theDevices[i]) != nullptr) {
      ++count;
    }
  }
  // Written beside the file and then put in its place, so that a failed
  // write never leaves a truncated database behind.
  const std::string temporary = std::string(path) + ".new";
  ald::OutFileStream out;
  if (out.open(temporary.c_str(), "w") != 0) return -1;
  out << "dbver = " << theDBVersion << '\n';
  out << "devcount = " << count << '\n';
  for (int i = 0; i < theDeviceCount; ++i) {
    AISGDevice* d = theDevices[i];
    if (dynamic_cast<RETDevice*>(d) != nullptr || dynamic_cast<TMADevice*>(d) != nullptr) {
      d->WriteObject(out);
    }
  }
  std::error_code error;
  if (out.close() != 0) {
    std::filesystem::remove(temporary, error);
    return -1;
  }
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    return -1;
  }
  return 0;
}

int AISGDevice::LoadDevices() {
  std::printf("AISGDevice::LoadDevices()\n");
  const std::time_t start = ald::GetClock().CalendarTime();
  if (theDeviceCount > 0) {
    const int old = theDeviceCount;
    for (int i = 0; i < theDeviceCount; ++i) {
      delete theDevices[i];
      theDevices[i] = nullptr;
    }
    theDeviceCount = 0;
    std::printf("Delete %d old device objects ok!\n", old);
  }

  const std::string workingDir = ald::DeviceDbWorkingDir();
  const std::string working = workingDir + ald::kDeviceDbFileName;
  const std::string master = ald::DeviceDbMasterDir() + ald::kDeviceDbFileName;
  ald::InFileStream in;
  if (in.open(working.c_str(), "r") != 0) {
    std::printf("Can't find %s in tmp dir!\n", ald::kDeviceDbFileName);
    if (in.open(master.c_str(), "r") != 0) {
      std::printf("Open file %s failed\n", master.c_str());
      return -1;
    }
    // The next load finds the working copy; whether the copy worked does
    // not matter for this load, which reads the master copy.
    std::error_code error;
    std::filesystem::copy_file(master, working, std::filesystem::copy_options::overwrite_existing,
                               error);
  }
  ResetLookAhead();

  // Header: two words and a number, twice.
  int numbers[2] = {theDBVersion, 0};
  for (int& number : numbers) {
    char line[kLineBytes];
    if (!NextLine(in, line)) break;
    char w1[kKeyBytes];
    char w2[kKeyBytes];
    char value[kKeyBytes];
    if (std::sscanf(line, "%63s %63s %63s", w1, w2, value) != 3) {
      TraceMalformed(line);
      continue;
    }
    char* end = nullptr;
    const long v = std::strtol(value, &end, 10);
    if (*end != 0 || v < -2147483647L - 1 || v > 2147483647L) {
      TraceMalformed(line);
      continue;
    }
    number = static_cast<int>(v);
  }
  theDBVersion = numbers[0];
  int count = numbers[1];
  std::printf("dbver=%d, devcount=%d\n", theDBVersion, count);
  count = std::clamp(count, 0, kMaxDevices);

  for (int i = 0; i < count; ++i) {
    char line[kLineBytes];
    if (!NextLine(in, line)) {
      std::printf("File ends after %d of %d devices\n", i, count);
      break;
    }
    char word[kKeyBytes];
    FirstWord(line, word, sizeof word);
    std::unique_ptr<AISGDevice> device;
    if (std::strcmp(word, "RETDevice") == 0) {
      std::printf("RETDevice\n");
      device = std::make_unique<RETDevice>();
    } else if (std::strcmp(word, "TMADevice") == 0) {
      std::printf("TMADevice\n");
      device = std::make_unique<TMADevice>();
    } else {
      std::printf("Unknow device type:%s\n", word);
      // The whole unknown block is passed over, so that the devices behind
      // it are still found.
      if (NextLine(in, line)) {
        FirstWord(line, word, sizeof word);
        if (std::strcmp(word, "{") == 0) {
          ReadClose(in, false);
        } else {
          PushBack(in, line);
        }
      }
      continue;
    }
    if (device->ReadObject(in) != 0) {
      std::printf("Device %d cut short, not loaded\n", i + 1);
      continue;
    }
    if (AddDevice(device.get()) == 0) device.release();
  }
  in.close();
  ResetLookAhead();
  std::printf("Time to load devices: %.1f secs\n",
              static_cast<double>(ald::GetClock().CalendarTime() - start));
  return 0;
}

// --- RETDevice ----------------------------------------------------------------------

int RETDevice::WriteObject(ald::OutFileStream& out) {
  out << "RETDevice\n"
      << "{\n";
  AISGDevice::WriteObject(out);
  for (int i = 0; i < subunitcount && subunits != nullptr; ++i) {
    const RETSubunit& s = subunits[i];
    out << "RETSubunit\n"
        << "{\n";
    WriteSubunitHead(out, s);
    WriteDecimal(out, "7  antmaxtilt = ", s.antmaxtilt);
    WriteDecimal(out, "8  antmintilt = ", s.antmintilt);
    WriteSubunitInstallation(out, s);
    WriteDecimal(out, "21 status = ", s.status);
    WriteHexBytes(out, "22 alarm = ", s.alarm,
                  std::min(static_cast<int>(std::strlen(s.alarm)), kRetAlarmsWritten));
    WriteDecimal(out, "23 curtilt = ", s.curtilt);
    out << "}\n";
  }
  out << "}\n";
  return 0;
}

int RETDevice::ReadObject(ald::InFileStream& in) {
  std::printf("RETDevice::ReadObject()\n");
  if (!ReadOpen(in)) return -1;
  AISGDevice::ReadObject(in);
  if (!ReadSubunitBlocks(in, subunits, subunitcount, "RETSubunit", kRetLast, kRetFields,
                         ReadRetField)) {
    return -1;
  }
  UpdateAlarmCount();
  return 0;
}

// --- TMADevice ----------------------------------------------------------------------

int TMADevice::WriteObject(ald::OutFileStream& out) {
  out << "TMADevice\n"
      << "{\n";
  AISGDevice::WriteObject(out);
  for (int i = 0; i < subunitcount && subunits != nullptr; ++i) {
    const TMASubunit& s = subunits[i];
    out << "TMASubunit\n"
        << "{\n";
    WriteSubunitHead(out, s);
    WriteSubunitInstallation(out, s);
    WriteDecimal(out, "15 tmatype = ", s.tmatype);
    WriteHexBytes(out, "16 rxband = ", s.rxband, sizeof s.rxband);
    WriteHexBytes(out, "17 txband = ", s.txband, sizeof s.txband);
    WriteDecimal(out, "18 maxgain = ", s.maxgain);
    WriteDecimal(out, "19 mingain = ", s.mingain);
    WriteDecimal(out, "20 resolution = ", s.resolution);
    // The count never claims more values than the member holds.
    unsigned char gains[1 + TMASubunit::kMaxNonLinearGains];
    const int count = std::min(static_cast<int>(s.nlgain[0]), TMASubunit::kMaxNonLinearGains);
    gains[0] = static_cast<unsigned char>(count);
    std::memcpy(gains + 1, s.nlgain + 1, static_cast<size_t>(count));
    WriteHexBytes(out, "21 nlgain = ", gains, 1 + count);
    WriteDecimal(out, "22 status = ", s.status);
    WriteHexBytes(out, "23 alarm = ", s.alarm,
                  std::min(static_cast<int>(std::strlen(s.alarm)), kTmaAlarmsWritten));
    WriteDecimal(out, "24 function = ", s.function);
    WriteDecimal(out, "25 mode = ", s.mode);
    WriteDecimal(out, "26 curgain = ", s.curgain);
    out << "}\n";
  }
  out << "}\n";
  return 0;
}

int TMADevice::ReadObject(ald::InFileStream& in) {
  std::printf("TMADevice::ReadObject()\n");
  if (!ReadOpen(in)) return -1;
  AISGDevice::ReadObject(in);
  if (!ReadSubunitBlocks(in, subunits, subunitcount, "TMASubunit", kTmaLast, kTmaFields,
                         ReadTmaField)) {
    return -1;
  }
  UpdateAlarmCount();
  return 0;
}
