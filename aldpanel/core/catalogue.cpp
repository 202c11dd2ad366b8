#include "aldpanel/core/catalogue.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "aldpanel/core/config.h"
#include "aldpanel/core/linereader.h"
#include "aldpanel/core/tables.h"

namespace fs = std::filesystem;

namespace aldpanel {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool SameText(const std::string& a, const std::string& b) {
  return Upper(a) == Upper(b);
}

bool IsOneOf(const std::string& code, std::initializer_list<const char*> codes) {
  std::string upper = Upper(code);
  return std::any_of(codes.begin(), codes.end(), [&](const char* c) { return upper == c; });
}

// The names that Windows keeps for devices, with or without an extension.
bool IsReservedDeviceName(const std::string& name) {
  std::string base = Upper(name.substr(0, name.find('.')));
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* n : kNames) {
    if (base == n) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

std::string FileNameProblem(const std::string& name, int limit, const std::string& what) {
  if (name.empty()) return what + " can not be empty.";
  if (static_cast<int>(name.size()) > limit) {
    return what + " is too long. (maximum: " + std::to_string(limit) + " characters).";
  }
  if (name == "." || name == "..") return what + " can not be \"" + name + "\".";
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::strchr("<>:\"/\\|?*=", c) != nullptr) {
      return what + " can not hold the characters < > : \" / \\ | ? * = or control characters.";
    }
  }
  if (name.front() == '#') return what + " can not begin with #.";
  if (name.back() == '.' || name.back() == ' ' || name.front() == ' ') {
    return what + " can not begin with a blank or end with a blank or a dot.";
  }
  if (IsReservedDeviceName(name)) return what + " can not be a device name (" + name + ").";
  return "";
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string Extension(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : Upper(name.substr(dot + 1));
}

// The modification time in the standard runtime's ctime form, without its
// line break.
std::string CtimeText(time_t when) {
  char text[64] = {};
  struct tm local {};
#ifdef _WIN32
  if (localtime_s(&local, &when) != 0) return "";
#else
  if (localtime_r(&when, &local) == nullptr) return "";
#endif
  // The day comes padded with a blank as ctime has it; "%e" would do that
  // but is unknown to the Windows runtime, which stops the program on it.
  char day[8] = {};
  char rest[32] = {};
  if (std::strftime(text, sizeof text, "%a %b ", &local) == 0) return "";
  if (std::strftime(rest, sizeof rest, " %H:%M:%S %Y", &local) == 0) return "";
  std::snprintf(day, sizeof day, "%2d", local.tm_mday);
  return std::string(text) + day + rest;
}

std::string FirstLine(const std::string& path) {
  LineReader reader(path.c_str(), kVersionLineLimit + 1);
  if (!reader.ok() || !reader.Next()) return "";
  std::string line = reader.head();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

bool StaysInFolder(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string ErrorText(const std::error_code& error) {
  return error.message();
}

}  // namespace

std::string VendorCodeProblem(const std::string& code) {
  return FileNameProblem(code, kVendorCodeLimit, "Vendor Code");
}

std::string AisgModelNameProblem(const std::string& name) {
  if (name.empty()) return "AISG Model Name can not be empty.";
  if (static_cast<int>(name.size()) > kAisgModelNameLimit) {
    return "The antenna model name is too long. (maximum: 15 characters).";
  }
  return FileNameProblem(name, kAisgModelNameLimit, "AISG Model Name");
}

std::string ModelFullNameProblem(const std::string& name) {
  if (static_cast<int>(name.size()) > kModelFullNameLimit) {
    return "Antenna Model Name is too long. (maximum: 40 characters).";
  }
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '=') {
      return "Antenna Model Name can not hold = or control characters.";
    }
  }
  if (!name.empty() && name.front() == ' ') return "Antenna Model Name can not begin with a blank.";
  return "";
}

std::string Catalogue::Path(const std::string& relative) const {
  return Join(workDir_, relative);
}

std::string Catalogue::VendorDir(const std::string& vendorCode) const {
  return Path(std::string(kAcfRetDir) + "/" + vendorCode);
}

bool Catalogue::ListVendors(std::vector<VendorEntry>* vendors) const {
  vendors->clear();
  std::error_code error;
  // A working directory without a catalogue yet has no vendors; the first
  // one added makes the tree.
  if (!fs::exists(Path(kAcfRetDir), error) && !error) return true;
  fs::directory_iterator it(Path(kAcfRetDir), error);
  if (error) return false;
  Tables tables(workDir_);
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) return false;
    std::error_code kindError;
    if (!it->is_directory(kindError)) continue;
    std::string code = it->path().filename().string();
    if (code == "." || code == "..") continue;
    vendors->push_back({code, tables.VendorFullName(code)});
  }
  if (error) return false;
  std::sort(vendors->begin(), vendors->end(),
            [](const VendorEntry& a, const VendorEntry& b) { return a.code < b.code; });
  return true;
}

std::vector<ModelRow> Catalogue::ListModels(const std::string& vendorCode) const {
  std::vector<ModelRow> rows;
  if (!VendorCodeProblem(vendorCode).empty()) return rows;
  std::error_code error;
  fs::directory_iterator it(VendorDir(vendorCode), error);
  if (error) return rows;
  Tables tables(workDir_);
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    std::error_code kindError;
    if (!it->is_regular_file(kindError)) continue;
    std::string file = it->path().filename().string();
    size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0 || Upper(file.substr(dot + 1)) != "ACF") continue;
    ModelRow row;
    row.aisgName = file.substr(0, dot);
    row.fullName = tables.ModelFullName(row.aisgName, vendorCode);
    std::string ver = Join(VendorDir(vendorCode), row.aisgName + ".ver");
    if (fs::exists(ver, kindError)) row.version = FirstLine(ver);
    fs::file_time_type modified = it->last_write_time(kindError);
    if (!kindError) {
      row.date = CtimeText(
          std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(modified)));
    }
    std::uintmax_t bytes = it->file_size(kindError);
    if (!kindError) row.size = std::to_string(bytes) + " Bytes";
    rows.push_back(std::move(row));
  }
  std::sort(rows.begin(), rows.end(), [](const ModelRow& a, const ModelRow& b) {
    return a.fullName != b.fullName ? a.fullName < b.fullName : a.aisgName < b.aisgName;
  });
  return rows;
}

AddVendorResult Catalogue::AddVendor(const std::string& code, std::string* why) const {
  std::string problem = VendorCodeProblem(code);
  if (!problem.empty()) {
    if (why != nullptr) *why = problem;
    return AddVendorResult::kBadCode;
  }
  std::error_code error;
  fs::create_directories(Path(kAcfRetDir), error);
  if (error) {
    if (why != nullptr) *why = ErrorText(error);
    return AddVendorResult::kFailed;
  }
  // Any entry of that name, folder or not, is taken: compared without
  // regard to case, as the table keys and Windows' file names are.
  std::vector<VendorEntry> vendors;
  ListVendors(&vendors);
  for (const VendorEntry& v : vendors) {
    if (SameText(v.code, code)) return AddVendorResult::kExists;
  }
  if (fs::exists(VendorDir(code), error)) return AddVendorResult::kExists;
  if (!fs::create_directory(VendorDir(code), error)) {
    if (error && why != nullptr) *why = ErrorText(error);
    return error ? AddVendorResult::kFailed : AddVendorResult::kExists;
  }
  return AddVendorResult::kAdded;
}

DeleteVendorResult Catalogue::DeleteVendor(const std::string& code, std::string* why) const {
  std::string problem = VendorCodeProblem(code);
  if (!problem.empty()) {
    if (why != nullptr) *why = problem;
    return DeleteVendorResult::kBadCode;
  }
  std::error_code error;
  if (!fs::is_directory(VendorDir(code), error)) {
    if (why != nullptr) *why = error ? ErrorText(error) : "No such vendor folder";
    return DeleteVendorResult::kFailed;
  }
  // Never more than the empty folder: a vendor's models are only ever
  // removed one by one by the operator.
  if (!fs::is_empty(VendorDir(code), error) && !error) return DeleteVendorResult::kNotEmpty;
  if (!fs::remove(VendorDir(code), error) || error) {
    if (why != nullptr) *why = ErrorText(error);
    return error == std::errc::directory_not_empty ? DeleteVendorResult::kNotEmpty
                                                   : DeleteVendorResult::kFailed;
  }
  return DeleteVendorResult::kDeleted;
}

bool Catalogue::UsesCommonTable(const std::string& vendorCode) {
  return IsOneOf(vendorCode, {"AN", "CO", "CB"});
}

std::string Catalogue::ModelTableOf(const std::string& vendorCode) {
  if (UsesCommonTable(vendorCode)) return kModelTable;
  return "data/model_name_pool/" + vendorCode + "_model_full_name.tbl";
}

std::string Catalogue::FileFilterOf(const std::string& vendorCode) {
  if (IsOneOf(vendorCode, {"AN", "DB", "FO"})) {
    return "dat files (*.dat *.acf *.bin)|*.acf;*.bin;*.dat|All files (*.*)|*.*";
  }
  if (IsOneOf(vendorCode, {"VX", "MA", "CS"})) {
    return "retbin files (*.retbin *.acf *.bin)|*.acf;*.bin;*.retbin|All files (*.*)|*.*";
  }
  return "ACF files (*.acf *.bin)|*.acf;*.bin|All files (*.*)|*.*";
}

std::string Catalogue::ExtensionProblem(const std::string& vendorCode, const std::string& path) {
  std::string ext = Extension(path);
  if (IsOneOf(vendorCode, {"AN", "DB", "FO"})) {
    return ext == "ACF" || ext == "BIN" || ext == "DAT" ? "" : "Only support .bin, .acf and .dat";
  }
  if (IsOneOf(vendorCode, {"VX", "MA", "CS"})) {
    return ext == "ACF" || ext == "BIN" || ext == "RETBIN" ? ""
                                                           : "Only support .bin, .acf and .retbin";
  }
  return ext == "ACF" || ext == "BIN" ? "" : "Only support .bin and .acf file";
}

std::string Catalogue::SuggestAisgName(const std::string& vendorCode,
                                       const std::string& modelFullName) const {
  if (VendorCodeProblem(vendorCode).empty()) {
    std::string key;
    if (FindConfigKeyByValue(Path(ModelTableOf(vendorCode)), modelFullName.c_str(), &key) ==
        kConfigOk) {
      return key;
    }
  }
  return static_cast<int>(modelFullName.size()) <= kAisgModelNameLimit ? modelFullName : "";
}

std::optional<std::string> Catalogue::StoredFullName(const std::string& vendorCode,
                                                     const std::string& aisgName) const {
  std::string value;
  if (GetConfigValueStrict(Path(ModelTableOf(vendorCode)), aisgName.c_str(), &value) == kConfigOk) {
    return value;
  }
  return std::nullopt;
}

std::optional<std::string> Catalogue::UsedByOther(const std::string& vendorCode,
                                                  const std::string& aisgName,
                                                  const std::string& fullName) const {
  std::vector<std::string> tables = {ModelTableOf(vendorCode)};
  if (!UsesCommonTable(vendorCode)) tables.push_back(kModelTable);
  for (const std::string& table : tables) {
    std::string value;
    if (GetConfigValueStrict(Path(table), aisgName.c_str(), &value) == kConfigOk &&
        !SameText(value, fullName)) {
      return value;
    }
  }
  return std::nullopt;
}

int Catalogue::WriteModelName(const std::string& vendorCode, const std::string& aisgName,
                              const std::string& fullName, std::string* failure) const {
  std::string table = Path(ModelTableOf(vendorCode));
  std::error_code error;
  fs::create_directories(fs::path(table).parent_path(), error);
  return SetConfigValue(table, aisgName.c_str(), fullName.c_str(), tempDir_, failure);
}

std::string Catalogue::AcfPath(const std::string& vendorCode, const std::string& aisgName) const {
  return Join(VendorDir(vendorCode), aisgName + ".acf");
}

std::string Catalogue::VerPath(const std::string& vendorCode, const std::string& aisgName) const {
  return Join(VendorDir(vendorCode), aisgName + ".ver");
}

bool Catalogue::ModelExists(const std::string& vendorCode, const std::string& aisgName) const {
  std::error_code error;
  return fs::exists(AcfPath(vendorCode, aisgName), error);
}

CopyResult Catalogue::CopyModelFile(const std::string& source, const std::string& vendorCode,
                                    const std::string& aisgName, std::string* why) const {
  auto fail = [&](CopyResult result, const std::string& reason) {
    if (why != nullptr) *why = reason;
    return result;
  };
  if (!VendorCodeProblem(vendorCode).empty() || !AisgModelNameProblem(aisgName).empty()) {
    return fail(CopyResult::kFailed, "bad name");
  }
  std::error_code kindError;
  if (!fs::is_regular_file(source, kindError)) return fail(CopyResult::kNoSource, "not a file");
  FILE* in = std::fopen(source.c_str(), "rb");
  if (in == nullptr) return fail(CopyResult::kNoSource, std::strerror(errno));
  // The temporary file sits beside the target so that the rename cannot
  // cross file systems; its name ends in ".tmp", never listed as a model.
  std::string target = AcfPath(vendorCode, aisgName);
  std::string temp = Join(VendorDir(vendorCode), "~" + aisgName + ".acf.tmp");
  FILE* out = std::fopen(temp.c_str(), "wb");
  if (out == nullptr) {
    std::string reason = std::strerror(errno);
    std::fclose(in);
    return fail(CopyResult::kFailed, reason);
  }
  char buffer[8192];
  bool ok = true;
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, n, out) != n) {
      ok = false;
      break;
    }
  }
  if (std::ferror(in)) ok = false;
  std::string reason = ok ? "" : std::strerror(errno);
  std::fclose(in);
  if (std::fclose(out) != 0 && ok) {
    ok = false;
    reason = std::strerror(errno);
  }
  std::error_code error;
  if (ok) {
    fs::rename(temp, target, error);
    if (error) {
      ok = false;
      reason = ErrorText(error);
    }
  }
  if (!ok) {
    fs::remove(temp, error);
    return fail(CopyResult::kFailed, reason);
  }
  return CopyResult::kCopied;
}

bool Catalogue::WriteVersion(const std::string& vendorCode, const std::string& aisgName,
                             const std::string& version) const {
  std::string path = VerPath(vendorCode, aisgName);
  std::error_code error;
  fs::remove(path, error);
  if (error) return false;
  if (version.empty()) return true;
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = std::fputs(version.c_str(), out) >= 0 && std::fputc('\n', out) != EOF;
  if (std::fclose(out) != 0) ok = false;
  if (!ok) fs::remove(path, error);
  return ok;
}

bool Catalogue::DeleteModel(const std::string& vendorCode, const std::string& aisgName,
                            std::string* why) const {
  // The name comes from the folder's listing, so any name of a file of its
  // own is fine here; only one that reaches out of the folder is not.
  std::string problem = VendorCodeProblem(vendorCode);
  if (problem.empty() && !StaysInFolder(aisgName)) problem = "bad AISG Model Name";
  if (!problem.empty()) {
    if (why != nullptr) *why = problem;
    return false;
  }
  // The listing takes ".acf" in any case; the delete finds the file it
  // listed.
  std::string acf = AcfPath(vendorCode, aisgName);
  std::error_code error;
  if (!fs::exists(acf, error)) {
    for (fs::directory_iterator it(VendorDir(vendorCode), error), end; !error && it != end;
         it.increment(error)) {
      std::string file = it->path().filename().string();
      if (file.size() == aisgName.size() + 4 && file.compare(0, aisgName.size(), aisgName) == 0 &&
          Upper(file.substr(aisgName.size())) == ".ACF") {
        acf = it->path().string();
      }
    }
  }
  if (!fs::remove(acf, error)) {
    if (why != nullptr) *why = error ? ErrorText(error) : "No such file";
    return false;
  }
  fs::remove(VerPath(vendorCode, aisgName), error);
  // The common table is shared by several vendors; only a pool line goes.
  if (!UsesCommonTable(vendorCode)) {
    RemoveConfigKey(Path(ModelTableOf(vendorCode)), aisgName.c_str(), tempDir_);
  }
  return true;
}

}  // namespace aldpanel
