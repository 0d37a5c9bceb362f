// The console export; see console_export.h.
#include "app/console_export.h"

#include "export/export_table.h"
#include "export/export_writer.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

bool StartsWith(const std::wstring& text, std::wstring_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A whole number from 1 to 600, digits only.
bool ReadSeconds(const std::wstring& text, uint32_t& seconds) {
  if (text.empty() || text.size() > 3) return false;
  uint32_t n = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    n = n * 10 + static_cast<uint32_t>(c - L'0');
  }
  if (n < kExportMinSeconds || n > kExportMaxSeconds) return false;
  seconds = n;
  return true;
}

// An argument as an error message shows it: control characters (a line break in a quoted argument)
// become "?", so the message stays one line.
std::wstring Shown(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out)
    if (static_cast<uint32_t>(c) < 32 || c == 0x7F) c = L'?';
  return out;
}

// Why the export has no packet counters, or empty when it has them.
std::wstring CaptureWarning(CaptureStatus status) {
  const std::wstring tail = L": the export has no packet counters";
  switch (status) {
    case CaptureStatus::Capturing:
      return {};
    case CaptureStatus::NeedsAdmin:
      return L"packet capture needs administrator rights" + tail;
    case CaptureStatus::Error:
      return L"packet capture is not available (it needs administrator rights; on Linux the capability "
             L"cap_net_raw)" +
             tail;
    case CaptureStatus::NoAdapter:
      return L"no network adapter to capture on" + tail;
    case CaptureStatus::Off:
      break;
  }
  return L"packet capture is off" + tail;
}

}  // namespace

bool WantsExport(const std::vector<std::wstring>& args) {
  for (const std::wstring& a : args)
    if (StartsWith(a, L"--export")) return true;
  return false;
}

bool ParseExportArguments(const std::vector<std::wstring>& args, ExportCommand& command, std::wstring& error) {
  ExportCommand c;
  bool haveFile = false;
  for (const std::wstring& a : args) {
    if (StartsWith(a, L"--export=")) {
      c.file = a.substr(9);
      haveFile = true;
    } else if (StartsWith(a, L"--seconds=")) {
      if (!ReadSeconds(a.substr(10), c.seconds)) {
        error = L"--seconds= takes a whole number from 1 to 600, not \"" + Shown(a.substr(10)) + L"\"";
        return false;
      }
    } else if (a == L"--demo") {
      c.demo = true;
    } else {
      error = L"unknown option \"" + Shown(a) + L"\"";
      return false;
    }
  }
  if (!haveFile || c.file.empty()) {
    error = L"--export=FILE is missing";
    return false;
  }
  if (!ExportFormatOf(c.file)) {
    error = L"the export file must end in .csv or .json: \"" + Shown(c.file) + L"\"";
    return false;
  }
  command = std::move(c);
  return true;
}

std::wstring ExportUsage(const std::wstring& program) {
  return L"usage: " + program + L" --export=FILE.csv|FILE.json [--seconds=N] [--demo]";
}

int RunConsoleExport(const ExportCommand& command, const PlatformServices& services,
                     const std::function<void(const std::wstring&)>& errorLine) {
  CommandLineState commandLine;
  commandLine.demoMode = command.demo;
  Application app(commandLine, services);
  LoadSettings(app.settings(), services.files, app.callPrefixes());
  app.StartWorkers();
  services.clock.SleepMs(command.seconds * 1000);
  const CaptureStatus capture = app.packetCapture().status();
  app.JoinWorkers();  // the settings are not saved

  ViewInputs inputs;  // the window's defaults: no search, every category and protocol, by application
  app.connectionView().RebuildView(inputs);
  const bool counters = PacketCountersKnown(capture, command.demo);
  if (!counters) errorLine(CaptureWarning(capture));
  const ExportDocument doc = CollectExport(app.connectionView(), app.callList(), counters, services.clock);
  const ExportFormat format = ExportFormatOf(command.file).value_or(ExportFormat::Csv);
  ExportFailure failure;
  if (!WriteExportFiles(services.files, ExportFiles(doc, command.file, format), failure)) {
    errorLine(failure.action + L" " + Shown(failure.path) + (failure.reason.empty() ? L"" : L": " + failure.reason));
    return kExportFailed;
  }
  return 0;
}

}  // namespace tolvane
