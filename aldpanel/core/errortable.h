// The texts of data/error_code.tbl, built from the library's own result
// texts and the devices' return code lists, so that the operator program
// and the command-line controller word every number alike. The shipped
// table is this text; a test keeps the two equal, and the program
// aldpanel_error_table writes it anew when the library's tables change.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace aldpanel {

// Every number with a text, ascending: the library's and the interface's
// own results, the device return codes of every generation's list (a number
// that means something else in another list, or to the library, names every
// reading), and the status causes the device objects set themselves. 0 is
// "OK", the text a healthy device's status shows.
std::vector<std::pair<int, std::string>> ErrorTableEntries();

// The whole file: a comment head and one "number=text" line per entry.
std::string ErrorTableText();

}  // namespace aldpanel
