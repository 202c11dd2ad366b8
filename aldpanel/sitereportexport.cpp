#include "aldpanel/sitereportexport.h"

#include <string>
#include <vector>

#include "aldpanel/core/sitereport.h"

namespace aldpanel {

void ExportSiteReport(const GlueExports& exports, PanelHost& host, const GridLookups& lookups) {
  if (exports.getMirelkDataCount == nullptr || exports.getMirelkData == nullptr) return;
  // The table first (the library rebuilds it), then its count, so that the
  // two agree; copied at once, as the library may move it at its next call.
  const MIRELK_DATA* table = exports.getMirelkData();
  int count = exports.getMirelkDataCount();
  if (table == nullptr || count <= 0) return;
  std::vector<MIRELK_DATA> entries(table, table + count);

  std::string path = host.ChooseSaveFile(kReportTitle, kReportFileName, kReportFilter);
  if (path.empty()) return;
  SiteReport report = BuildSiteReport(entries.data(), count, lookups);
  std::string why;
  if (!WriteReportFile(path, report.text, &why)) {
    host.ShowMessage(MessageIcon::kError, kReportTitle,
                     std::string(kReportWriteFailed) + "\n" + why);
  }
}

}  // namespace aldpanel
