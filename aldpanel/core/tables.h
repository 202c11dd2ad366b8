// Lookups in the plain-text table files under the working directory: vendor
// short and full names, antenna model names, the texts of result and status
// numbers, and the list of vendors whose Sector ID is shown one-based.
//
// A code that a table lacks (or a table that is missing or unreadable)
// comes back as the code itself, so the windows always show something true.
#pragma once

#include <string>

namespace aldpanel {

inline constexpr const char* kVendorShortTable = "data/vendor_short_name.tbl";
inline constexpr const char* kVendorFullTable = "data/vendor_full_name.tbl";
inline constexpr const char* kModelPoolFormat = "data/model_name_pool/%s_model_full_name.tbl";
inline constexpr const char* kKaModelTable = "data/KA_default_model_full_name.tbl";
inline constexpr const char* kModelTable = "data/model_full_name.tbl";
inline constexpr const char* kErrorTable = "data/error_code.tbl";
inline constexpr const char* kSectorControlFile = "sectorControl.conf";
// The read limit of one "sectorControl.conf" line, terminator included.
inline constexpr int kSectorLineLimit = 1024;

// The value of `code` in the table `workDir`/`table` (strict lookup), or
// `code` itself when the file or the key is missing.
std::string TableLookup(const std::string& code, const std::string& table,
                        const std::string& workDir);

class Tables {
 public:
  explicit Tables(std::string workDir) : workDir_(std::move(workDir)) {}

  const std::string& workDir() const { return workDir_; }

  std::string VendorShortName(const std::string& vendorCode) const;
  std::string VendorFullName(const std::string& vendorCode) const;
  // The vendor's model pool first; when that gives the code back, the "KA"
  // default table for vendor "KA" (any case), else the common model table.
  // A vendor code that could leave the pool folder (a '/' or "..") skips
  // the pool.
  std::string ModelFullName(const std::string& modelCode, const std::string& vendorCode) const;
  // The text of a result or status number ("%d"); its decimal number when
  // the table has no line for it.
  std::string ErrorText(int code) const;
  // 1 when `sectorFile` (by default "sectorControl.conf" in the working
  // directory) lists the vendor code or "ALL" (lines cut at their first
  // control character, compared without regard to case), 0 when it does
  // not, -1 when it cannot be opened.
  int SectorControl(const std::string& vendorCode, const std::string& sectorFile = "") const;

 private:
  std::string workDir_;
};

}  // namespace aldpanel
