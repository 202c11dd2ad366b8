// Key=value text files: the program's configuration file "mirelk.conf" and
// the table files that turn codes into texts.
//
// A line whose first character is '#' is a comment. Any other line is split
// into tokens at tab, newline, carriage return and '=' (runs of them count
// as one, leading ones are skipped); the first token is the key, the second
// the value. Blanks are part of a token, so a value may hold blanks. Keys are
// compared without regard to case. Only the first kLineLimit - 1 characters
// of a line take part in a lookup; the rest of an over-long line is ignored
// (it never counts as a line of its own), and a rewrite copies such a line
// unchanged.
//
// Every routine opens and closes its files within the call. None of them
// shows anything: the rewrite's failure text goes to the caller, which shows
// it (the windows put it in a message box).
#pragma once

#include <string>
#include <string_view>

namespace aldpanel {

// The read limit of one line of a configuration or table file, terminator
// included.
inline constexpr int kLineLimit = 512;

// Return numbers of the configuration routines.
enum ConfigResult : int {
  kConfigOk = 0,
  kConfigCannotOpen = -1,     // the file cannot be opened (read)
  kConfigNoOutput = -2,       // get: no output given; set: no value given
  kConfigNoKey = -3,          // no (or an empty) key given
  kConfigNoTempName = -4,     // no temporary file name could be made
  kConfigCannotCreate = -5,   // the temporary file cannot be created
  kConfigKeyAbsent = -6,      // strict get, find by value: no such line;
                              // remove: a line was removed (see RemoveConfigKey)
  kConfigCannotReplace = -7,  // the rewritten file could not take the old one's place
};

// The key and value of one line, as the tokenizer splits it. `hasKey` is
// false for comments and lines without any token; `hasValue` false for a
// key without a value ("DEFAULT_DEPTH=").
struct ConfigLine {
  bool hasKey = false;
  bool hasValue = false;
  std::string key;
  std::string value;
};
ConfigLine SplitConfigLine(std::string_view line);

// Copies the value of the last line whose key matches into *value (a key
// without a value gives the empty text). Returns kConfigCannotOpen,
// kConfigNoKey (key null or empty), kConfigNoOutput (value null) or
// kConfigOk, also when the key is absent: *value is then left as it was.
int GetConfigValue(const std::string& file, const char* key, std::string* value);

// The same, but kConfigKeyAbsent when no line has the key.
int GetConfigValueStrict(const std::string& file, const char* key, std::string* value);

// The key of the first line whose value matches `value` without regard to
// case: kConfigOk, kConfigKeyAbsent when there is none, kConfigCannotOpen.
int FindConfigKeyByValue(const std::string& file, const char* value, std::string* key);

// Rewrites `file` so that `key` has `value`: every line whose key matches
// (in any case) becomes "key=value" with the key as given here; when none
// does, that line is appended. Comments, other lines and their order stay.
// The new contents are written to a temporary file in `tempDir` ("./tmp"
// when empty), which then replaces the target; a missing target is created.
// Returns kConfigNoKey (also for a key holding '=', a tab, a line break or
// starting with '#'), kConfigNoOutput (value null or holding a line break),
// kConfigNoTempName, kConfigCannotCreate (the temporary directory is
// missing or not writable: the target is left untouched), kConfigCannotOpen
// (also for a file that opens but cannot be read), or kConfigOk. When the
// new file cannot take the old one's place, the key is not stored: the
// result is kConfigCannotReplace and *failure (when given) receives the
// message to show, e.g.
// "rename failed. (tmp/x => mirelk.conf).\nPermission denied".
int SetConfigValue(const std::string& file, const char* key, const char* value,
                   const std::string& tempDir, std::string* failure = nullptr);

// Rewrites `file` without the lines of `key`. Returns kConfigKeyAbsent when it
// removed at least one line and kConfigOk when the key was absent (this
// inverted numbering is what callers of the configuration have always
// relied on); the other results as for SetConfigValue.
int RemoveConfigKey(const std::string& file, const char* key, const std::string& tempDir,
                    std::string* failure = nullptr);

// Writes the configuration file that start-up mode creates: the nine default
// lines, `installPath` on the SYSTEM_ROOT_DIRECTORY line. False when it
// cannot be written.
bool WriteDefaultConfig(const std::string& file, const std::string& installPath);

// Configuration keys.
inline constexpr const char* kKeySettingBar = "DEVICE_SETTING_BAR";
inline constexpr const char* kKeyDebugMode = "DEBUG_MODE";
inline constexpr const char* kKeyDefaultAssign = "DEFAULT_ASSIGN";
inline constexpr const char* kKeyDefaultDepth = "DEFAULT_DEPTH";
inline constexpr const char* kKeySystemRoot = "SYSTEM_ROOT_DIRECTORY";

// What the program reads from the configuration at start.
struct Settings {
  int scanDepth = 4;       // DEFAULT_DEPTH, when present and a number
  int addressAssign = 1;   // DEFAULT_ASSIGN, when present and a number
  std::string debugMode;   // the DEBUG_MODE text as it stands ("" when absent)
  bool settingBar = true;  // true when the file cannot be read, else DEVICE_SETTING_BAR is "ON"
};
Settings ReadSettings(const std::string& configFile);

// The debug mode a DEBUG_MODE text selects: 1, 2 or 3 for exactly "1", "2",
// "3", else 0.
int DebugModeOf(const std::string& text);

}  // namespace aldpanel
