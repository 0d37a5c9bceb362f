// The main window's Win32 side; see main_window_win32.h.
//
// Caveat: each paint creates its off-screen surface anew. That costs one allocation per frame
// (cheap next to Wine's software GDI+ gradients) and keeps the buffer the size of the client area
// through any resize; the full view painter may cache it once it owns layers.
#include "app/win32/main_window_win32.h"

#include <windowsx.h>
#include <winsock2.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/win32/lookup_poster_win32.h"
#include "app/window_frame.h"
#include "appearance/draw.h"
#include "platform/canvas.h"
#include "platform/name_resolution.h"

namespace tolvane {
namespace {

MainWindowState* StateOf(HWND window) {
  return reinterpret_cast<MainWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

struct DcReleaser {
  HWND window;
  void operator()(HDC dc) const { ReleaseDC(window, dc); }
};
using WindowDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcReleaser>;

WindowDc GetWindowDc(HWND window) { return WindowDc(GetDC(window), DcReleaser{window}); }

float ScreenUiScale(HWND window) {
  WindowDc dc = GetWindowDc(window);
  return UiScaleFromDpi(dc ? GetDeviceCaps(dc.get(), LOGPIXELSY) : 96);
}

LRESULT OnMinMaxInfo(HWND window, const MainWindowState& state, MINMAXINFO* info) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  HMONITOR handle = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  const bool known = handle != nullptr && GetMonitorInfoW(handle, &monitor) != FALSE;
  const ScreenRect whole{monitor.rcMonitor.left, monitor.rcMonitor.top, monitor.rcMonitor.right,
                         monitor.rcMonitor.bottom};
  const ScreenRect work{monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
  const TrackSizes t = FrameTrackSizes(state.uiScale, known, whole, work);
  info->ptMinTrackSize = POINT{t.minWidth, t.minHeight};
  if (t.hasMax) {
    info->ptMaxSize = POINT{t.maxWidth, t.maxHeight};
    info->ptMaxPosition = POINT{t.maxX, t.maxY};
  }
  return 0;
}

}  // namespace

LRESULT HitTestCode(FrameHit hit) {
  switch (hit) {
    case FrameHit::Left:
      return HTLEFT;
    case FrameHit::Right:
      return HTRIGHT;
    case FrameHit::Top:
      return HTTOP;
    case FrameHit::Bottom:
      return HTBOTTOM;
    case FrameHit::TopLeft:
      return HTTOPLEFT;
    case FrameHit::TopRight:
      return HTTOPRIGHT;
    case FrameHit::BottomLeft:
      return HTBOTTOMLEFT;
    case FrameHit::BottomRight:
      return HTBOTTOMRIGHT;
    case FrameHit::Client:
      break;
  }
  return HTCLIENT;
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;  // every pixel is painted by the program
  wc.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, MainWindowState& state) {
  int dpiX = 96;
  if (HDC screen = GetDC(nullptr)) {
    dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
  }
  RECT work{};
  const bool workKnown = SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) != FALSE;
  const ScreenRect r = InitialWindowRect(dpiX, ScreenRect{work.left, work.top, work.right, work.bottom}, workKnown);
  return CreateWindowExW(WS_EX_APPWINDOW, kMainWindowClass, kMainWindowTitle,
                         WS_POPUP | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, r.left, r.top,
                         r.Width(), r.Height(), nullptr, nullptr, instance, &state);
}

void PaintMainWindow(HWND window, HDC dc, const RECT* clip) {
  MainWindowState* state = StateOf(window);
  RECT client{};
  if (!state || !GetClientRect(window, &client)) return;
  const int32_t width = client.right - client.left, height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;
  RECT area{0, 0, width, height};
  if (clip && !IntersectRect(&area, &area, clip)) return;  // nothing of the clip lies in the window
  std::unique_ptr<Surface> surface = SystemGraphics().CreateSurface(width, height);
  if (!surface) return;
  Canvas& canvas = surface->NewCanvas();
  // The gradient spans the whole client area; under a clip the canvas fills only the clipped part,
  // which is what makes a partial repaint cheap under Wine's software GDI+.
  if (clip) {
    canvas.PushClip(RectF{static_cast<float>(area.left), static_cast<float>(area.top),
                          static_cast<float>(area.right - area.left), static_cast<float>(area.bottom - area.top)});
  }
  const BackgroundGradient bg = state->app.ActiveBackground();
  UiFonts noFonts;  // the gradient draws no text
  TextWidthCache widths;
  DrawContext context(canvas, state->app.themes().ActivePalette(), noFonts, widths);
  GradientRect(context, bg.colours, bg.direction, RectF{0, 0, static_cast<float>(width), static_cast<float>(height)});
  surface->CopyToDevice(reinterpret_cast<uintptr_t>(dc), area.left, area.top, area.right - area.left,
                        area.bottom - area.top);
}

void RunBench(HWND window, MainWindowState& state, uint64_t startTick) {
  BenchTimes t;
  t.startTick = startTick;
  {
    WindowDc dc = GetWindowDc(window);
    t.readyTick = GetTickCount64();
    PaintMainWindow(window, dc.get(), nullptr);
    t.paintTick = GetTickCount64();
  }
  Sleep(1500);
  SendMessageW(window, WM_TIMER, kTimerUi, 0);

  WindowDc dc = GetWindowDc(window);
  LARGE_INTEGER frequency{}, counter{};
  QueryPerformanceFrequency(&frequency);
  t.frequency = frequency.QuadPart;
  QueryPerformanceCounter(&counter);
  t.c0 = counter.QuadPart;
  for (int32_t i = 0; i < kBenchFrames; ++i) {
    const LogicalPoint m = BenchMouse(i);
    state.mouseX = m.x;
    state.mouseY = m.y;
    PaintMainWindow(window, dc.get(), nullptr);
  }
  QueryPerformanceCounter(&counter);
  t.c1 = counter.QuadPart;
  QueryPerformanceCounter(&counter);
  t.c2 = counter.QuadPart;
  for (int32_t i = 0; i < kBenchFrames; ++i) {
    const LogicalPoint m = BenchMouse(i);
    state.mouseX = m.x;
    state.mouseY = m.y;
    const ScreenRect c = BenchClip(i);
    const RECT clip{c.left, c.top, c.right, c.bottom};
    PaintMainWindow(window, dc.get(), &clip);
  }
  QueryPerformanceCounter(&counter);
  t.c3 = counter.QuadPart;

  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length > MAX_PATH) return;  // no usable folder: the result is dropped
  const std::wstring path = std::wstring(temp, length) + L"tolvane_bench.txt";
  if (FILE* f = _wfopen(path.c_str(), L"ab")) {
    const std::string line = FormatBenchLine(t);
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  MainWindowState* state = StateOf(window);
  if (!state) return DefWindowProcW(window, message, wParam, lParam);

  switch (message) {
    case WM_CREATE:
      state->uiScale = ScreenUiScale(window);
      {
        // Capture and the socket helpers need Winsock; its result is not checked, a failure shows
        // later as a capture error state.
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
      }
      state->app.AttachLookupPoster(CreateSystemNameResolver(), std::make_shared<WindowLookupPoster>(window));
      state->app.OnCreate();
      return 0;
    case WM_DESTROY:
      DrainPostedTexts(window);  // later answers fail to post once the handle is gone, and free themselves
      state->app.OnDestroy();
      WSACleanup();
      PostQuitMessage(0);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      if (dc) PaintMainWindow(window, dc, &ps.rcPaint);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_NCCALCSIZE:
      if (wParam != 0) return 0;  // the client area is the whole window
      break;
    case WM_NCHITTEST: {
      RECT r{};
      GetWindowRect(window, &r);
      const FrameHit hit =
          FrameHitTest(IsZoomed(window) != FALSE, state->uiScale, ScreenRect{r.left, r.top, r.right, r.bottom},
                       GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return HitTestCode(hit);
    }
    case WM_GETMINMAXINFO:
      return OnMinMaxInfo(window, *state, reinterpret_cast<MINMAXINFO*>(lParam));
    case WM_MOUSEMOVE:
      state->mouseX = static_cast<int32_t>(GET_X_LPARAM(lParam) / state->uiScale);
      state->mouseY = static_cast<int32_t>(GET_Y_LPARAM(lParam) / state->uiScale);
      return 0;
    case WM_TIMER:
      return 0;  // the view's timers arrive with the window state machine
    case WM_HOST_RESOLVED:
    case WM_HOST_NOT_FOUND: {
      const std::optional<std::wstring> text = TakePostedText(lParam);
      LookupCommands* commands = state->app.lookupCommands();
      if (!text || !commands) return 0;
      if (message == WM_HOST_RESOLVED) {
        commands->OnHostResolved(*text);
      } else {
        commands->OnHostNotFound(*text);
      }
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tolvane
