// The export from a console: "tolvane-cli --export=FILE [--seconds=N] [--demo]" on Windows and
// "tolvane --export=FILE ..." on Linux. The same core as the window: the settings are read (never
// written), the refresh, ping and capture threads run for N seconds, and then the connection view
// with the default filters and sort and the call list are written to FILE as CSV or JSON by its
// extension, exactly as the window's export writes them. No window, no single-instance lock: it runs
// beside a running Tolvane.
//
// Exit codes: 0 when the file was written (also without packet capture, which a warning line on
// standard error then tells), 2 for a bad option or a failed write (one line on standard error).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/application.h"

namespace tolvane {

struct ExportCommand {
  std::wstring file;
  uint32_t seconds = 3;
  bool demo = false;
};

inline constexpr uint32_t kExportMinSeconds = 1;
inline constexpr uint32_t kExportMaxSeconds = 600;
inline constexpr int kExportFailed = 2;

// True when an argument starts with "--export": the program runs as the console export.
bool WantsExport(const std::vector<std::wstring>& args);

// args are the arguments after the program's name, each whole (so a path may hold spaces). False
// with a one-line error for an unknown option, a missing or empty --export=, a FILE that does not
// end in .csv or .json, or --seconds= that is not a whole number from 1 to 600.
bool ParseExportArguments(const std::vector<std::wstring>& args, ExportCommand& command, std::wstring& error);

// The usage line the errors end with, for the program name given.
std::wstring ExportUsage(const std::wstring& program);

// Runs the export; errorLine receives each line for standard error (without the program's name).
// Returns the exit code.
int RunConsoleExport(const ExportCommand& command, const PlatformServices& services,
                     const std::function<void(const std::wstring&)>& errorLine);

}  // namespace tolvane
