// Entry point of tolvane.exe: command line, single instance, GDI+ and COM, the main window and its
// message loop, and the benchmark mode. The order of the steps matters: the start tick is taken
// first so the benchmark's "window-ready" time covers the whole start, and DPI awareness is set
// before anything measures the screen.
//
// A second ordinary start hands over to the running instance (restores and raises its window) and
// exits with code 0; demo and benchmark starts always open their own window. While the running
// instance has no window (it is starting, or closing) the start waits up to five seconds for its
// mutex and, once it owns it, starts normally. Failures to start GDI+, register the class or create
// the window exit with code 1 and no message.
//
// A close that had to leave the lookup worker in a request the HTTP stack could not cancel ends the
// process right after the window's shutdown saved the settings: nothing else is left to do, and
// the worker must not outlive the objects it uses.
#include <windows.h>
#include "platform/win32/gdiplus_headers.h"
#include <objbase.h>

#include <cstdint>

#include "app/application.h"
#include "app/startup.h"
#include "app/win32/main_window_win32.h"
#include "app/window_frame.h"
#include "platform/win32/canvas_gdiplus.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

constexpr wchar_t kInstanceMutex[] = L"Tolvane.SingleInstance.Mutex";

// A window that is still there but hidden belongs to an instance that is starting or closing: the
// window is hidden first when it is destroyed, and that can take seconds (Wine waits up to two for
// the window manager), so only a visible one counts as running.
bool RunningInstanceWindow() {
  HWND other = FindWindowW(tolvane::kMainWindowClass, nullptr);
  return other != nullptr && IsWindowVisible(other);
}

// WAIT_ABANDONED also makes the mutex ours: the other process ended without releasing it.
bool WaitForInstanceMutex(HANDLE mutex, uint32_t ms) {
  const DWORD r = WaitForSingleObject(mutex, ms);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void ActivateRunningInstance() {
  HWND other = FindWindowW(tolvane::kMainWindowClass, nullptr);
  if (!other) return;  // the first instance is still starting or closing: nothing to raise
  if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
  SetForegroundWindow(other);
}

int RunMainWindow(HINSTANCE instance, const tolvane::CommandLineState& commandLine, int showCommand,
                  uint64_t startTick) {
  if (!tolvane::RegisterMainWindowClass(instance)) return 1;
  // The application object outlives the window and is gone before COM and GDI+ shut down.
  const tolvane::PlatformServices services{
      tolvane::SystemClock(),       tolvane::SystemFileSystem(),   tolvane::SystemSocketTables(),
      tolvane::SystemProcessList(), tolvane::SystemRawCapture(),   tolvane::SystemIcmp(),
      tolvane::SystemHttpClient(),  tolvane::SystemImageDecoder(), tolvane::SystemClipboard()};
  tolvane::Application app(commandLine, services);
  tolvane::MainWindowState state(app);
  HWND window = tolvane::CreateMainWindow(instance, state);
  if (!window) return 1;
  ShowWindow(window, showCommand != 0 ? showCommand : SW_SHOWNORMAL);
  UpdateWindow(window);
  if (commandLine.benchMode) {
    tolvane::RunBench(window, state, startTick);
    DestroyWindow(window);
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (app.WorkerLeftRunning()) TerminateProcess(GetCurrentProcess(), 0);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLineText, int showCommand) {
  const uint64_t startTick = GetTickCount64();
  SetProcessDPIAware();
  const tolvane::CommandLineState commandLine = tolvane::ParseCommandLine(commandLineText ? commandLineText : L"");

  // The handle stays open, and the mutex owned, until the process ends.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kInstanceMutex);
  const bool alreadyExists = mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  if (tolvane::SingleInstanceDecision(mutex != nullptr, alreadyExists, commandLine) ==
          tolvane::InstanceAction::ActivateExisting &&
      tolvane::AwaitRunningInstance(tolvane::SystemClock(), RunningInstanceWindow, [mutex](uint32_t ms) {
        return WaitForInstanceMutex(mutex, ms);
      }) == tolvane::InstanceAction::ActivateExisting) {
    ActivateRunningInstance();
    CloseHandle(mutex);
    return 0;
  }

  Gdiplus::GdiplusStartupInput gdiplusInput;
  ULONG_PTR gdiplusToken = 0;
  if (Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr) != Gdiplus::Ok) {
    if (mutex) CloseHandle(mutex);
    return 1;
  }
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  const int code = RunMainWindow(instance, commandLine, showCommand, startTick);

  if (SUCCEEDED(com)) CoUninitialize();  // only a successful initialisation is balanced
  tolvane::ReleaseGdiplusCanvasCaches();
  Gdiplus::GdiplusShutdown(gdiplusToken);
  if (mutex) CloseHandle(mutex);
  return code;
}
