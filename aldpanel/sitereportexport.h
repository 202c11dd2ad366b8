// "Export Site Report" of the main window: asks where to save and writes the
// report of the device table there, or says why it could not.
#pragma once

#include "aldpanel/core/glue.h"
#include "aldpanel/core/gridrows.h"
#include "aldpanel/panelhost.h"

namespace aldpanel {

// Does nothing while the table exports are missing or the table is empty, or
// when the operator cancels the file choice. No message follows a report
// that was written.
void ExportSiteReport(const GlueExports& exports, PanelHost& host, const GridLookups& lookups);

}  // namespace aldpanel
