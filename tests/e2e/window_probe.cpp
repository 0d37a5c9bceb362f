// A small Windows console program the end-to-end checks build and run beside tolvane.exe in the same
// Wine prefix, to see the program's windows as Windows sees them (class name, title, rectangle,
// minimised state), which X11 alone cannot tell: Wine names X windows after the executable.
//
//   window_probe screen    -> "dpi <LOGPIXELSX> work <left> <top> <right> <bottom> <ok 0|1>"
//   window_probe list      -> one line per visible top-level window of class TolvaneDesktopApp:
//                             "window <title> <left> <top> <right> <bottom> iconic <0|1>"
//   window_probe minimize  -> minimises the first such window; exit code 1 when there is none
//   window_probe close     -> asks every such window to close (WM_CLOSE); exit code 1 when none
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) out.push_back(*text < 128 && *text > 32 ? static_cast<char>(*text) : '_');
  return out;
}

BOOL CALLBACK Collect(HWND window, LPARAM param) {
  wchar_t cls[128] = {};
  GetClassNameW(window, cls, 128);
  if (std::wcscmp(cls, L"TolvaneDesktopApp") == 0 && IsWindowVisible(window))
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::vector<HWND> MainWindows() {
  std::vector<HWND> found;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  SetProcessDPIAware();
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "screen") {
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
    if (dc) ReleaseDC(nullptr, dc);
    RECT work{};
    const BOOL ok = SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    std::printf("dpi %d work %ld %ld %ld %ld %d\n", dpi, work.left, work.top, work.right, work.bottom, ok ? 1 : 0);
    return 0;
  }
  if (verb == "list") {
    for (HWND w : MainWindows()) {
      wchar_t title[256] = {};
      GetWindowTextW(w, title, 256);
      RECT r{};
      GetWindowRect(w, &r);
      std::printf("window %s %ld %ld %ld %ld iconic %d\n", Narrow(title).c_str(), r.left, r.top, r.right, r.bottom,
                  IsIconic(w) ? 1 : 0);
    }
    return 0;
  }
  if (verb == "minimize") {
    const std::vector<HWND> windows = MainWindows();
    if (windows.empty()) return 1;
    ShowWindow(windows.front(), SW_MINIMIZE);
    return IsIconic(windows.front()) ? 0 : 1;
  }
  if (verb == "close") {
    const std::vector<HWND> windows = MainWindows();
    for (HWND w : windows) PostMessageW(w, WM_CLOSE, 0, 0);
    return windows.empty() ? 1 : 0;
  }
  std::fprintf(stderr, "usage: window_probe screen|list|minimize|close\n");
  return 2;
}
