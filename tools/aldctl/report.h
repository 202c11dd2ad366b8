// The site report of `aldctl report`: the operator program's report writer,
// named through the operator program's own table files.
#pragma once

#include <string>

#include "aldglue/aldglue.h"

namespace aldctl {

// Writes the report of `count` entries of `table` to `path`. False with *why
// (the file and the reason) when the file could not be written; the old file
// is then left as it was.
bool WriteSiteReport(const MIRELK_DATA* table, int count, const std::string& path,
                     std::string* why);

}  // namespace aldctl
