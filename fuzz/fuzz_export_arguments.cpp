// Fuzz target for the console export's options: any arguments (UTF-16 units, split at NUL units)
// parse without a crash; an accepted command names a .csv or .json file that is the tail of one of
// the arguments and watches 1 to 600 seconds, and a refused one always says why on one line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/console_export.h"
#include "export/export_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::wstring> args(1);
  for (size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(unit);
    }
  }
  tolvane::ExportCommand command;
  std::wstring error;
  if (tolvane::ParseExportArguments(args, command, error)) {
    if (command.file.empty() || !tolvane::ExportFormatOf(command.file)) std::abort();
    if (command.seconds < tolvane::kExportMinSeconds || command.seconds > tolvane::kExportMaxSeconds) std::abort();
    bool found = false;
    for (const std::wstring& a : args) found = found || a == L"--export=" + command.file;
    if (!found) std::abort();
  } else if (error.empty() || error.find(L'\n') != std::wstring::npos) {
    std::abort();
  }
  return 0;
}
