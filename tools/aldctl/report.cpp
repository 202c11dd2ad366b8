#include "tools/aldctl/report.h"

#include <filesystem>
#include <system_error>

#include "aldpanel/core/platform.h"
#include "aldpanel/core/sitereport.h"
#include "aldpanel/core/startup.h"
#include "aldpanel/core/tables.h"

namespace aldctl {
namespace {

namespace fs = std::filesystem;

// The folder whose "data" holds the name tables: the operator program's
// working directory once it has its tables (the operator's own additions live
// there), else the tree the program ships. Empty when there is neither.
std::string TablesRoot(const aldpanel::StartupPaths& paths) {
  if (aldpanel::platform::IsReadable(paths.workDir + "/data/vendor_short_name.tbl")) {
    return paths.workDir;
  }
  if (!paths.shippedData.empty()) {
    fs::path shipped(paths.shippedData);
    if (shipped.filename() == "data") return shipped.parent_path().string();
  }
  return "";
}

}  // namespace

bool WriteSiteReport(const MIRELK_DATA* table, int count, const std::string& path,
                     std::string* why) {
  std::error_code ec;
  const std::string current = fs::current_path(ec).string();
  const aldpanel::StartupPaths paths = aldpanel::ResolveStartupPaths(
      aldpanel::RunningProgramDir(), ec ? std::string(".") : current, aldpanel::ProcessEnv());
  const std::string root = TablesRoot(paths);
  // Without tables every lookup stays empty, so the codes are written as
  // they are.
  aldpanel::GridLookups lookups;
  if (!root.empty()) {
    const aldpanel::Tables tables(root);
    lookups.vendorShortName = [tables](const std::string& v) { return tables.VendorShortName(v); };
    lookups.vendorFullName = [tables](const std::string& v) { return tables.VendorFullName(v); };
    lookups.modelFullName = [tables](const std::string& m, const std::string& v) {
      return tables.ModelFullName(m, v);
    };
    lookups.errorText = [tables](int code) { return tables.ErrorText(code); };
  }
  const aldpanel::Tables work(paths.workDir);
  const std::string sectorFile = paths.workDir + "/" + aldpanel::kSectorControlFile;
  lookups.sectorControl = [work, sectorFile](const std::string& v) {
    return work.SectorControl(v, sectorFile);
  };
  const aldpanel::SiteReport report = aldpanel::BuildSiteReport(table, count, lookups);
  return aldpanel::WriteReportFile(path, report.text, why);
}

}  // namespace aldctl
