// The antenna model catalogue beside the program: one folder per vendor
// under "acf/RET" in the working directory, holding per antenna model its
// configuration file "<AISG model name>.acf" (copied byte for byte from the
// file the operator chose) and optionally "<AISG model name>.ver", whose
// first line is the model's version text. The model full names live in the
// table files of tables.h; the common table for vendors "AN", "CO" and
// "CB", the vendor's own pool table for every other vendor.
//
// Vendor codes and AISG model names become file names, so every name is
// checked before it touches the file system: nothing here creates, replaces
// or deletes anything outside the vendor's folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace aldpanel {

inline constexpr const char* kAcfRetDir = "acf/RET";
inline constexpr int kVendorCodeLimit = 2;
inline constexpr int kAisgModelNameLimit = 15;
inline constexpr int kModelFullNameLimit = 40;
inline constexpr int kModelVersionLimit = 8;
// The longest version text read from a ".ver" file.
inline constexpr int kVersionLineLimit = 511;

// Why a vendor code or AISG model name cannot name a file; "" when it can.
// Refused: the empty name, one longer than the limit, "." and "..", path
// separators, the characters file systems refuse (<>:"|?* and control
// bytes), '=' and a leading '#' (the name is also a table key), a trailing
// dot or blank, and the reserved device names (CON, NUL, COM1...).
std::string VendorCodeProblem(const std::string& code);
std::string AisgModelNameProblem(const std::string& name);
// The same for a model full name, which becomes a table value: line
// breaks, tabs, control bytes and '=' would split or cut its line.
std::string ModelFullNameProblem(const std::string& name);

struct VendorEntry {
  std::string code;      // the folder's name
  std::string fullName;  // its full vendor name, the code when the table lacks it
};

// One row of the model grid.
struct ModelRow {
  std::string fullName;  // model full name, the AISG model name when no table has it
  std::string aisgName;  // the file's base name
  std::string version;   // first line of the ".ver" file, "" when there is none
  std::string date;      // modification time in the ctime form, without the line break
  std::string size;      // "<bytes> Bytes"
};

enum class AddVendorResult { kAdded, kExists, kBadCode, kFailed };
enum class DeleteVendorResult { kDeleted, kNotEmpty, kBadCode, kFailed };
enum class CopyResult { kCopied, kNoSource, kFailed };

class Catalogue {
 public:
  // `tempDir` is where table rewrites put their temporary files.
  Catalogue(std::string workDir, std::string tempDir)
      : workDir_(std::move(workDir)), tempDir_(std::move(tempDir)) {}

  const std::string& workDir() const { return workDir_; }

  // The vendor folders sorted by code. False when "acf/RET" cannot be read;
  // true and none when it is not there yet.
  bool ListVendors(std::vector<VendorEntry>* vendors) const;
  // The models (files ending in ".acf" in any case) of a vendor, sorted by
  // full name, then AISG model name. Empty for a code that is not safe.
  std::vector<ModelRow> ListModels(const std::string& vendorCode) const;

  // Creates the vendor's folder (and "acf/RET" when it is missing). *why
  // receives the system's reason of kFailed, the refusal of kBadCode.
  AddVendorResult AddVendor(const std::string& code, std::string* why = nullptr) const;
  // Removes the vendor's folder, but only while it is empty.
  DeleteVendorResult DeleteVendor(const std::string& code, std::string* why = nullptr) const;

  // The table that keeps the vendor's model full names, relative to the
  // working directory.
  static std::string ModelTableOf(const std::string& vendorCode);
  static bool UsesCommonTable(const std::string& vendorCode);
  // The browse filter and the extension check by vendor.
  static std::string FileFilterOf(const std::string& vendorCode);
  // "" when `path`'s extension suits the vendor, else the message.
  static std::string ExtensionProblem(const std::string& vendorCode, const std::string& path);

  // The AISG model name the vendor's table gives the full name
  // `modelFullName`; else that name when it fits an AISG model name; else "".
  std::string SuggestAisgName(const std::string& vendorCode,
                              const std::string& modelFullName) const;
  // The full name stored for `aisgName` when it differs (without regard to
  // case) from `fullName`: in the vendor's table, and for vendors with a
  // pool table in the common one as well. Nothing when it is free or the
  // same model.
  std::optional<std::string> UsedByOther(const std::string& vendorCode, const std::string& aisgName,
                                         const std::string& fullName) const;
  // The full name stored for `aisgName` in the vendor's table, if any.
  std::optional<std::string> StoredFullName(const std::string& vendorCode,
                                            const std::string& aisgName) const;
  // Writes the table line aisgName=fullName (a config result; *failure
  // receives the rewrite's failure text).
  int WriteModelName(const std::string& vendorCode, const std::string& aisgName,
                     const std::string& fullName, std::string* failure = nullptr) const;

  // The path of a model's ".acf" or ".ver" file.
  std::string AcfPath(const std::string& vendorCode, const std::string& aisgName) const;
  std::string VerPath(const std::string& vendorCode, const std::string& aisgName) const;
  bool ModelExists(const std::string& vendorCode, const std::string& aisgName) const;

  // Copies `source` whole into the model's ".acf" through a temporary file
  // in the vendor's folder that takes the target's place only when complete:
  // a failed copy leaves the old file (or none) as it was.
  CopyResult CopyModelFile(const std::string& source, const std::string& vendorCode,
                           const std::string& aisgName, std::string* why = nullptr) const;
  // Replaces the ".ver" file: removed, and written anew with `version` and a
  // line break when the version is not empty. False when that fails.
  bool WriteVersion(const std::string& vendorCode, const std::string& aisgName,
                    const std::string& version) const;

  // Deletes the model's ".acf" and ".ver" files and then its line of the
  // vendor's pool table. False (and nothing else touched) when the ".acf"
  // file could not be deleted.
  bool DeleteModel(const std::string& vendorCode, const std::string& aisgName,
                   std::string* why = nullptr) const;

 private:
  std::string Path(const std::string& relative) const;
  std::string VendorDir(const std::string& vendorCode) const;

  std::string workDir_;
  std::string tempDir_;
};

}  // namespace aldpanel
