// Entry point of the Linux program: command line, single instance, GTK, the main window and its
// main loop, and the benchmark mode. The order follows the Windows entry point: the start tick is
// taken first, so the benchmark's "window-ready" time covers the whole start.
//
// A second ordinary start hands over to the running instance (asks it over its Unix socket to
// raise its window) and exits with code 0; demo and benchmark starts always open their own window.
// No display, or a window that cannot be made, exits with code 1. SIGINT and SIGTERM close the
// window as its close button does, so the settings are saved.
//
// "--export=FILE" makes it the console export instead (app/console_export.h): no GTK, no display,
// no single-instance lock; messages on standard error, exit code 0 or 2.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/application.h"
#include "app/console_export.h"
#include "app/linux/instance_socket.h"
#include "app/linux/main_window_gtk.h"
#include "app/startup.h"
#include "app/window_frame.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/icmp.h"
#include "platform/image_decoding.h"
#include "platform/linux/single_instance.h"
#include "platform/process_list.h"
#include "platform/raw_capture.h"
#include "platform/socket_tables.h"
#include "platform/utf8.h"

namespace {

constexpr int kRaiseAnswerMs = 2000;

// The command line as Windows hands it over: the arguments after the program's name, joined by
// single spaces.
std::wstring JoinedArguments(int argc, char** argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  return tolvane::Utf8ToWide(joined);
}

void ErrorLine(const std::wstring& message) {
  std::fprintf(stderr, "tolvane: %s\n", tolvane::WideToUtf8(message).c_str());
}

tolvane::PlatformServices SystemServices() {
  return tolvane::PlatformServices{
      tolvane::SystemClock(),       tolvane::SystemFileSystem(),   tolvane::SystemSocketTables(),
      tolvane::SystemProcessList(), tolvane::SystemRawCapture(),   tolvane::SystemIcmp(),
      tolvane::SystemHttpClient(),  tolvane::SystemImageDecoder(), tolvane::SystemClipboard()};
}

int ConsoleExport(const std::vector<std::wstring>& args) {
  tolvane::ExportCommand command;
  std::wstring error;
  if (!tolvane::ParseExportArguments(args, command, error)) {
    ErrorLine(error + L" (" + tolvane::ExportUsage(L"tolvane") + L")");
    return tolvane::kExportFailed;
  }
  return tolvane::RunConsoleExport(command, SystemServices(), ErrorLine);
}

// raiseSocket: where this, the first instance, answers a second start; empty when it does not.
int RunMainWindow(const tolvane::CommandLineState& commandLine, const std::string& raiseSocket, uint64_t startTick) {
  tolvane::Application app(commandLine, SystemServices());
  tolvane::MainWindowState state(app);
  if (!tolvane::CreateMainWindow(state)) return 1;

  tolvane::RaiseServer raiseServer;
  if (!raiseSocket.empty()) raiseServer.Start(raiseSocket, [&state] { tolvane::RaiseMainWindow(state); });
  const auto close = [](gpointer data) -> gboolean {
    tolvane::CloseMainWindow(*static_cast<tolvane::MainWindowState*>(data));
    return G_SOURCE_CONTINUE;
  };
  const guint sigint = g_unix_signal_add(SIGINT, close, &state);
  const guint sigterm = g_unix_signal_add(SIGTERM, close, &state);

  tolvane::ShowMainWindow(state);
  if (commandLine.benchMode) {
    // The window is shown and drawn once before it is measured.
    const gint64 end = g_get_monotonic_time() + 5'000'000;
    while (!state.drawnOnce && !state.quit && g_get_monotonic_time() < end) g_main_context_iteration(nullptr, TRUE);
    if (!state.quit) tolvane::RunBench(state, startTick);
    tolvane::CloseMainWindow(state);
  }
  while (!state.quit) g_main_context_iteration(nullptr, TRUE);
  g_source_remove(sigint);
  g_source_remove(sigterm);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t startTick = tolvane::SystemClock().TickMs();
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(tolvane::Utf8ToWide(argv[i]));
  if (tolvane::WantsExport(args)) return ConsoleExport(args);
  const tolvane::CommandLineState commandLine = tolvane::ParseCommandLine(JoinedArguments(argc, argv));

  // The lock is held until the process ends; the raise socket sits beside it.
  const tolvane::SingleInstanceLock lock;
  using Result = tolvane::SingleInstanceLock::Result;
  const std::string socket = lock.Folder().empty() ? std::string() : lock.Folder() + "/tolvane.sock";
  if (tolvane::SingleInstanceDecision(lock.result() != Result::Unavailable, lock.result() == Result::AlreadyRunning,
                                      commandLine) == tolvane::InstanceAction::ActivateExisting) {
    tolvane::AskToRaise(socket, kRaiseAnswerMs);  // no answer: the first is starting or closing
    return 0;
  }
  // No D-Bus, no application id: the lock above is the single-instance rule. The program name is
  // the window's class (WM_CLASS "tolvane", as the desktop entry says).
  g_set_prgname("tolvane");
  if (!gtk_init_check()) {
    const char* display = std::getenv("DISPLAY");
    ErrorLine(L"cannot open the display " + tolvane::Utf8ToWide(display != nullptr ? display : "(DISPLAY is not set)"));
    return 1;
  }
  return RunMainWindow(commandLine, lock.result() == Result::Acquired ? socket : std::string(), startTick);
}
