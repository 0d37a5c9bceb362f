// One CSV field; see csv_field.h.
#include "export/csv_field.h"

#include "platform/utf8.h"

namespace tolvane {

void AppendCsvField(std::string& out, std::wstring_view text) {
  const std::string bytes = WideToUtf8(text);
  const bool quoted = bytes.find_first_of(",\"\r\n") != std::string::npos ||
                      (!bytes.empty() && (bytes.front() == ' ' || bytes.back() == ' '));
  if (!quoted) {
    out += bytes;
    return;
  }
  out.push_back('"');
  for (char c : bytes) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace tolvane
