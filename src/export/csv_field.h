// One CSV field, the way every CSV file of the program writes it: the export's files and the call
// history (calls.csv), so both are read back alike by a spreadsheet, a script or the program.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Appends text as one RFC 4180 field in UTF-8. It is put in double quotes, its double quotes
// doubled, when it holds a comma, a double quote, a CR or an LF, or begins or ends with a space
// (which some readers would otherwise trim); otherwise it is written as it is.
void AppendCsvField(std::string& out, std::wstring_view text);

}  // namespace tolvane
