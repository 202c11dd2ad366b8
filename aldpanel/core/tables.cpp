#include "aldpanel/core/tables.h"

#include <cctype>
#include <string_view>

#include "aldpanel/core/config.h"
#include "aldpanel/core/linereader.h"

namespace aldpanel {
namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

// A vendor code names a file of the model pool; one that could reach out of
// the pool folder is not looked up there.
bool SafeFileCode(const std::string& code) {
  if (code.empty()) return false;
  if (code.find('/') != std::string::npos) return false;
  if (code.find("..") != std::string::npos) return false;
  for (char c : code) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

}  // namespace

std::string TableLookup(const std::string& code, const std::string& table,
                        const std::string& workDir) {
  std::string value;
  if (GetConfigValueStrict(Join(workDir, table), code.c_str(), &value) != kConfigOk) return code;
  return value;
}

std::string Tables::VendorShortName(const std::string& vendorCode) const {
  return TableLookup(vendorCode, kVendorShortTable, workDir_);
}

std::string Tables::VendorFullName(const std::string& vendorCode) const {
  return TableLookup(vendorCode, kVendorFullTable, workDir_);
}

std::string Tables::ModelFullName(const std::string& modelCode,
                                  const std::string& vendorCode) const {
  if (SafeFileCode(vendorCode)) {
    std::string pool = "data/model_name_pool/" + vendorCode + "_model_full_name.tbl";
    std::string name = TableLookup(modelCode, pool, workDir_);
    if (name != modelCode) return name;
  }
  if (SameText(vendorCode, "KA")) return TableLookup(modelCode, kKaModelTable, workDir_);
  return TableLookup(modelCode, kModelTable, workDir_);
}

std::string Tables::ErrorText(int code) const {
  return TableLookup(std::to_string(code), kErrorTable, workDir_);
}

int Tables::SectorControl(const std::string& vendorCode, const std::string& sectorFile) const {
  std::string path = sectorFile.empty() ? Join(workDir_, kSectorControlFile) : sectorFile;
  LineReader reader(path.c_str(), kSectorLineLimit);
  if (!reader.ok()) return -1;
  while (reader.Next()) {
    std::string_view line = reader.head();
    size_t end = 0;
    while (end < line.size() && static_cast<unsigned char>(line[end]) >= 0x20) ++end;
    line = line.substr(0, end);
    if (line.empty()) continue;
    if (SameText(line, "ALL") || SameText(line, vendorCode)) return 1;
  }
  return 0;
}

}  // namespace aldpanel
