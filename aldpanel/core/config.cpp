#include "aldpanel/core/config.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "aldpanel/core/linereader.h"

namespace aldpanel {
namespace {

bool IsSeparator(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == '=';
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

// Shared body of the two get routines.
int GetValue(const std::string& file, const char* key, std::string* value, bool strict) {
  if (key == nullptr || *key == '\0') return kConfigNoKey;
  if (value == nullptr) return kConfigNoOutput;
  LineReader reader(file.c_str(), kLineLimit);
  if (!reader.ok()) return kConfigCannotOpen;
  bool found = false;
  std::string found_value;
  while (reader.Next()) {
    ConfigLine line = SplitConfigLine(reader.head());
    if (!line.hasKey || !SameText(line.key, key)) continue;
    found = true;
    found_value = line.value;
  }
  // A file that opens but cannot be read (a folder, an I/O error) counts as
  // one that cannot be opened, and the output stays as it was.
  if (reader.failed()) return kConfigCannotOpen;
  if (found) *value = found_value;
  if (!found && strict) return kConfigKeyAbsent;
  return kConfigOk;
}

std::string ErrnoText(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
      return "Permission denied";
    case ENOENT:
      return "No such file or directory";
    case EXDEV:
      return "Not same device";
    default:
      return std::strerror(err);
  }
}

// Copies the whole file `from` over `to`; used when the temporary file lies
// on another file system than the target.
bool CopyOver(const std::string& from, const std::string& to) {
  FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  FILE* out = std::fopen(to.c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    return false;
  }
  char buffer[4096];
  bool ok = true;
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, n, out) != n) {
      ok = false;
      break;
    }
  }
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

// Rewrites `file` through a temporary file: matching lines become
// "key=value" (or are dropped when `value` is null). *matched tells whether
// any line had the key.
int Rewrite(const std::string& file, const char* key, const char* value, const std::string& tempDir,
            std::string* failure, bool* matched) {
  *matched = false;
  std::string dir = tempDir.empty() ? std::string("./tmp") : tempDir;
  std::string temp_path = dir + "/mirelk.XXXXXX";
  if (temp_path.size() >= PATH_MAX) return kConfigNoTempName;
  std::vector<char> name(temp_path.begin(), temp_path.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return kConfigCannotCreate;
  temp_path = name.data();
  FILE* out = fdopen(fd, "wb");
  if (out == nullptr) {
    close(fd);
    std::remove(temp_path.c_str());
    return kConfigCannotCreate;
  }

  LineReader reader(file.c_str(), kLineLimit);
  if (!reader.ok()) {
    // A missing target is created empty; one that exists but cannot be
    // read is left alone.
    if (errno == ENOENT) {
      int created = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      if (created >= 0) close(created);
      reader = LineReader(file.c_str(), kLineLimit);
    }
    if (!reader.ok()) {
      std::fclose(out);
      std::remove(temp_path.c_str());
      return kConfigCannotOpen;
    }
  }

  bool write_ok = true;
  bool ends_with_newline = true;
  auto put = [&](std::string_view text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
      write_ok = false;
    }
  };
  while (reader.Next()) {
    const std::string& head = reader.head();
    ConfigLine line;
    if (head.empty() || head[0] != '#') line = SplitConfigLine(head);
    if (line.hasKey && SameText(line.key, key)) {
      *matched = true;
      if (value != nullptr) {
        put(key);
        put("=");
        put(value);
        put("\n");
        ends_with_newline = true;
      }
      continue;
    }
    put(reader.whole());
    ends_with_newline = !reader.whole().empty() && reader.whole().back() == '\n';
  }
  if (reader.failed()) {
    std::fclose(out);
    std::remove(temp_path.c_str());
    return kConfigCannotOpen;
  }
  if (!*matched && value != nullptr) {
    if (!ends_with_newline) put("\n");
    put(key);
    put("=");
    put(value);
    put("\n");
  }
  reader.Close();
  if (std::fclose(out) != 0) write_ok = false;
  if (!write_ok) {
    // Whatever made the copy incomplete, the target keeps what it had.
    std::remove(temp_path.c_str());
    return kConfigCannotCreate;
  }

  // The rename replaces the target in one step, so no crash or power loss
  // can leave the file half-written or gone. The file system library's
  // rename replaces an existing target on every platform (the C library's
  // does not on Windows, where every rewrite of the file would fail).
  std::error_code renamed;
  std::filesystem::rename(temp_path, file, renamed);
  if (renamed) {
    if (renamed == std::errc::cross_device_link && CopyOver(temp_path, file)) {
      std::remove(temp_path.c_str());
      return kConfigOk;
    }
    if (failure != nullptr) {
      *failure = "rename failed. (" + temp_path + " => " + file + ").\n" +
                 ErrnoText(renamed.default_error_condition().value());
    }
    std::remove(temp_path.c_str());
    return kConfigCannotReplace;
  }
  return kConfigOk;
}

bool ValidKey(const char* key) {
  for (const char* c = key; *c != '\0'; ++c) {
    if (IsSeparator(*c)) return false;
  }
  return *key != '#';
}

}  // namespace

ConfigLine SplitConfigLine(std::string_view line) {
  ConfigLine result;
  // A zero byte ends the line as far as the tokenizer is concerned.
  size_t nul = line.find('\0');
  if (nul != std::string_view::npos) line = line.substr(0, nul);
  if (!line.empty() && line[0] == '#') return result;
  size_t pos = 0;
  auto next_token = [&](std::string* token) {
    while (pos < line.size() && IsSeparator(line[pos])) ++pos;
    if (pos >= line.size()) return false;
    size_t start = pos;
    while (pos < line.size() && !IsSeparator(line[pos])) ++pos;
    token->assign(line.substr(start, pos - start));
    return true;
  };
  result.hasKey = next_token(&result.key);
  if (result.hasKey) result.hasValue = next_token(&result.value);
  return result;
}

int GetConfigValue(const std::string& file, const char* key, std::string* value) {
  return GetValue(file, key, value, false);
}

int GetConfigValueStrict(const std::string& file, const char* key, std::string* value) {
  return GetValue(file, key, value, true);
}

int FindConfigKeyByValue(const std::string& file, const char* value, std::string* key) {
  if (value == nullptr) return kConfigNoOutput;
  if (key == nullptr) return kConfigNoOutput;
  LineReader reader(file.c_str(), kLineLimit);
  if (!reader.ok()) return kConfigCannotOpen;
  while (reader.Next()) {
    ConfigLine line = SplitConfigLine(reader.head());
    if (line.hasValue && SameText(line.value, value)) {
      *key = line.key;
      return kConfigOk;
    }
  }
  return reader.failed() ? kConfigCannotOpen : kConfigKeyAbsent;
}

int SetConfigValue(const std::string& file, const char* key, const char* value,
                   const std::string& tempDir, std::string* failure) {
  // A key that the tokenizer would split, or a value with a line break,
  // would write something that reads back as other keys.
  if (key == nullptr || *key == '\0' || !ValidKey(key)) return kConfigNoKey;
  if (value == nullptr || std::strpbrk(value, "\r\n") != nullptr) return kConfigNoOutput;
  bool matched = false;
  return Rewrite(file, key, value, tempDir, failure, &matched);
}

int RemoveConfigKey(const std::string& file, const char* key, const std::string& tempDir,
                    std::string* failure) {
  if (key == nullptr || *key == '\0') return kConfigNoKey;
  bool matched = false;
  int result = Rewrite(file, key, nullptr, tempDir, failure, &matched);
  if (result != kConfigOk) return result;
  return matched ? kConfigKeyAbsent : kConfigOk;
}

bool WriteDefaultConfig(const std::string& file, const std::string& installPath) {
  FILE* out = std::fopen(file.c_str(), "w");
  if (out == nullptr) return false;
  std::fprintf(out,
               "DEVICE_SETTING_BAR=OFF\n"
               "DEBUG_MODE=0\n"
               "# 0 => Normal mode. (default value)\n"
               "# 1 => Open debug Console.\n"
               "# 2 => Write debug message to log file.\n"
               "# 3 => Append debug message to log file.\n"
               "DEFAULT_ASSIGN=1\n"
               "DEFAULT_DEPTH=9\n"
               "SYSTEM_ROOT_DIRECTORY=%s\n",
               installPath.c_str());
  return std::fclose(out) == 0;
}

namespace {

// The integer a configuration value holds, when it is one whole number.
bool ParseInt(const std::string& text, int* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  while (end != nullptr && (*end == ' ')) ++end;
  if (errno != 0 || end == text.c_str() || *end != '\0' || v < INT_MIN || v > INT_MAX) {
    return false;
  }
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

Settings ReadSettings(const std::string& configFile) {
  Settings s;
  std::string text;
  if (GetConfigValue(configFile, kKeyDefaultDepth, &text) == kConfigCannotOpen) return s;
  ParseInt(text, &s.scanDepth);
  text.clear();
  GetConfigValue(configFile, kKeyDefaultAssign, &text);
  ParseInt(text, &s.addressAssign);
  GetConfigValue(configFile, kKeyDebugMode, &s.debugMode);
  text.clear();
  GetConfigValue(configFile, kKeySettingBar, &text);
  s.settingBar = SameText(text, "ON");
  return s;
}

int DebugModeOf(const std::string& text) {
  if (text == "1") return 1;
  if (text == "2") return 2;
  if (text == "3") return 3;
  return 0;
}

}  // namespace aldpanel
