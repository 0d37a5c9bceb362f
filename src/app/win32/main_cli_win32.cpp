// Entry point of tolvane-cli.exe, the console program beside tolvane.exe: the export without a
// window (app/console_export.h). Its manifest asks for no elevation, so it runs with the rights of
// the console it was started from: from an elevated console it captures packets too.
//
// The arguments are split as Windows splits a command line (CommandLineToArgvW), so a quoted path
// with spaces is one argument. Messages go to standard error: through WriteConsoleW when that is a
// console (any character shows), as UTF-8 when it is redirected.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/application.h"
#include "app/console_export.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/icmp.h"
#include "platform/image_decoding.h"
#include "platform/process_list.h"
#include "platform/raw_capture.h"
#include "platform/socket_tables.h"
#include "platform/utf8.h"

namespace {

constexpr wchar_t kProgram[] = L"tolvane-cli";

void ErrorLine(const std::wstring& message) {
  const std::wstring line = std::wstring(kProgram) + L": " + message + L"\r\n";
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(err, &mode)) {
    WriteConsoleW(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  } else {
    const std::string bytes = tolvane::WideToUtf8(line);
    WriteFile(err, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

std::vector<std::wstring> Arguments() {
  std::vector<std::wstring> args;
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
  }
  return args;
}

}  // namespace

int wmain() {
  tolvane::ExportCommand command;
  std::wstring error;
  if (!tolvane::ParseExportArguments(Arguments(), command, error)) {
    ErrorLine(error + L" (" + tolvane::ExportUsage(kProgram) + L")");
    return tolvane::kExportFailed;
  }
  WSADATA wsa;
  const bool winsock = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
  const tolvane::PlatformServices services{
      tolvane::SystemClock(),       tolvane::SystemFileSystem(),   tolvane::SystemSocketTables(),
      tolvane::SystemProcessList(), tolvane::SystemRawCapture(),   tolvane::SystemIcmp(),
      tolvane::SystemHttpClient(),  tolvane::SystemImageDecoder(), tolvane::SystemClipboard()};
  const int code = tolvane::RunConsoleExport(command, services, ErrorLine);
  if (winsock) WSACleanup();
  return code;
}
