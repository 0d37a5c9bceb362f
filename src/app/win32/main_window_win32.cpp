// The main window's Win32 side; see main_window_win32.h.
#include "app/win32/main_window_win32.h"

#include <windowsx.h>
#include <winsock2.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/win32/lookup_poster_win32.h"
#include "app/win32/open_link_win32.h"
#include "app/window_frame.h"
#include "appearance/draw.h"
#include "platform/canvas.h"
#include "ui/main_window_paint.h"
#include "ui/paint_window.h"
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

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using GdiBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

float ScreenUiScale() {
  int dpi = 96;
  if (HDC screen = GetDC(nullptr)) {
    dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  return UiScaleFromDpi(dpi);
}

// Rounded corners on Windows 11; the function is looked up at run time, so older systems and Wine
// without it keep square corners. The library stays loaded for the life of the process. It comes
// from the system folder only: the process runs elevated, and a dwmapi.dll planted beside the
// program or in the current folder must never be loaded.
void AskForRoundedCorners(HWND window) {
  HMODULE dwm = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!dwm) return;
  using SetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
  const auto set =
      reinterpret_cast<SetAttribute>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmSetWindowAttribute")));
  if (!set) return;
  const DWORD round = 2;                  // DWMWCP_ROUND
  set(window, 33, &round, sizeof round);  // DWMWA_WINDOW_CORNER_PREFERENCE
}

LRESULT OnMinMaxInfo(HWND window, const MainWindowState& state, MINMAXINFO* info) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  HMONITOR handle = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  const bool known = handle != nullptr && GetMonitorInfoW(handle, &monitor) != FALSE;
  const ScreenRect whole{monitor.rcMonitor.left, monitor.rcMonitor.top, monitor.rcMonitor.right,
                         monitor.rcMonitor.bottom};
  const ScreenRect work{monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
  const TrackSizes t = FrameTrackSizes(state.machine.state().uiScale, known, whole, work);
  info->ptMinTrackSize = POINT{t.minWidth, t.minHeight};
  if (t.hasMax) {
    info->ptMaxSize = POINT{t.maxWidth, t.maxHeight};
    info->ptMaxPosition = POINT{t.maxX, t.maxY};
  }
  return 0;
}

struct IconDeleter {
  void operator()(HICON icon) const {
    if (icon) DestroyIcon(icon);
  }
};

}  // namespace

HICON IconFromPixels(const std::vector<uint32_t>& argb, int32_t size) {
  if (size <= 0 || argb.size() != static_cast<size_t>(size) * static_cast<size_t>(size)) return nullptr;
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = size;
  header.bV5Height = -size;  // top row first
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  GdiBitmap colour(
      CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0));
  if (screen) ReleaseDC(nullptr, screen);
  if (!colour || !bits) return nullptr;
  std::memcpy(bits, argb.data(), argb.size() * sizeof(uint32_t));
  // The mask is ignored where the colour bitmap has alpha, but an icon must have one.
  GdiBitmap mask(CreateBitmap(size, size, 1, 1, nullptr));
  if (!mask) return nullptr;
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = mask.get();
  info.hbmColor = colour.get();
  return CreateIconIndirect(&info);  // copies both bitmaps
}

Win32WindowHost::~Win32WindowHost() {
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

void Win32WindowHost::Invalidate(const DeviceRect& r) {
  const RECT rect{r.left, r.top, r.right, r.bottom};
  InvalidateRect(window_, &rect, FALSE);
}

void Win32WindowHost::InvalidateAll() { InvalidateRect(window_, nullptr, FALSE); }

void Win32WindowHost::SetTimer(uint32_t id, uint32_t periodMs) { ::SetTimer(window_, id, periodMs, nullptr); }

void Win32WindowHost::KillTimer(uint32_t id) { ::KillTimer(window_, id); }

void Win32WindowHost::SetCursor(CursorShape shape) {
  const wchar_t* id = shape == CursorShape::Hand ? IDC_HAND : shape == CursorShape::IBeam ? IDC_IBEAM : IDC_ARROW;
  ::SetCursor(LoadCursorW(nullptr, id));
}

void Win32WindowHost::TrackMouseLeave() {
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = window_;
  TrackMouseEvent(&track);
}

int32_t Win32WindowHost::ClientWidth() {
  RECT r{};
  return GetClientRect(window_, &r) ? r.right - r.left : 0;
}

int32_t Win32WindowHost::ClientHeight() {
  RECT r{};
  return GetClientRect(window_, &r) ? r.bottom - r.top : 0;
}

void Win32WindowHost::SetWindowIcons(const std::vector<uint32_t>& big32, const std::vector<uint32_t>& small16) {
  std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter> big(IconFromPixels(big32, 32));
  std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter> small(IconFromPixels(small16, 16));
  if ((!big32.empty() && !big) || (!small16.empty() && !small)) return;  // keep the icons we have
  if (window_) {
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  }
  // The window no longer refers to the old icons.
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  bigIcon_ = big.release();
  smallIcon_ = small.release();
}

void Win32WindowHost::ApplyTopmost(bool on) {
  SetWindowPos(window_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32WindowHost::PostDeferredStart() { PostMessageW(window_, WM_DEFERRED_START, 0, 0); }

void Win32WindowHost::SetFocus() { ::SetFocus(window_); }

void Win32WindowHost::DestroyWindow() { ::DestroyWindow(window_); }

void Win32WindowHost::ShowWindow(WindowShow show) {
  const int command = show == WindowShow::Minimize   ? SW_MINIMIZE
                      : show == WindowShow::Maximize ? SW_MAXIMIZE
                                                     : SW_RESTORE;
  ::ShowWindow(window_, command);
}

bool Win32WindowHost::IsZoomed() { return ::IsZoomed(window_) != FALSE; }

void Win32WindowHost::BeginDrag() {
  ReleaseCapture();
  SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

bool Win32WindowHost::ChooseColour(uint32_t startRgb, uint32_t& chosenRgb) {
  static COLORREF customColours[16] = {};  // kept between calls, as the dialog expects
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = window_;
  cc.rgbResult = RGB((startRgb >> 16) & 0xFF, (startRgb >> 8) & 0xFF, startRgb & 0xFF);
  cc.lpCustColors = customColours;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&cc)) return false;
  chosenRgb = (static_cast<uint32_t>(GetRValue(cc.rgbResult)) << 16) |
              (static_cast<uint32_t>(GetGValue(cc.rgbResult)) << 8) | GetBValue(cc.rgbResult);
  return true;
}

bool Win32WindowHost::ChooseFile(FileDialogKind kind, std::wstring& path) {
  // Each filter list is pairs of NUL-terminated texts, ending with an extra NUL.
  static constexpr wchar_t kImages[] = L"Images\0*.png;*.jpg;*.jpeg;*.bmp;*.gif\0All files\0*.*\0";
  static constexpr wchar_t kAudio[] = L"Audio files\0*.mp3;*.wav;*.wma;*.m4a;*.aac;*.mid\0All files\0*.*\0";
  static constexpr wchar_t kMedia[] =
      L"Pictures and videos\0*.png;*.jpg;*.jpeg;*.bmp;*.gif;*.mp4;*.m4v;*.mov;*.wmv;*.avi;*.mkv;*.webm\0"
      L"All files\0*.*\0";
  wchar_t buffer[1024] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = window_;
  ofn.lpstrFilter = kind == FileDialogKind::Images ? kImages : kind == FileDialogKind::AudioFiles ? kAudio : kMedia;
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = 1023;
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&ofn)) return false;
  path = buffer;
  return true;
}

bool Win32WindowHost::ChooseSaveFile(const std::wstring& suggestedName, std::wstring& path, SaveFileType& type) {
  static constexpr wchar_t kTypes[] = L"CSV (comma-separated values)\0*.csv\0JSON\0*.json\0";
  wchar_t buffer[1024] = {};
  suggestedName.copy(buffer, 1023);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = window_;
  ofn.lpstrFilter = kTypes;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = 1023;
  ofn.lpstrDefExt = L"csv";  // the dialog then adds the extension of the type chosen
  ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetSaveFileNameW(&ofn)) return false;
  path = buffer;
  type = ofn.nFilterIndex == 2 ? SaveFileType::Json : SaveFileType::Csv;
  return true;
}

void Win32WindowHost::OpenLink(const std::wstring& link) { OpenLinkUnelevated(window_, link); }

MainWindowState::MainWindowState(Application& application)
    : app(application), machine(application, host, SystemGraphics()) {}

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

std::vector<DeviceRect> UpdateRegionParts(HWND window) {
  std::vector<DeviceRect> parts;
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  if (!region) return parts;
  if (GetUpdateRgn(window, region, FALSE) == COMPLEXREGION) {
    const DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<unsigned char> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (size >= sizeof(RGNDATAHEADER) && GetRegionData(region, size, data) == size) {
      const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
      for (DWORD i = 0; i < data->rdh.nCount; ++i) {
        parts.push_back(DeviceRect{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom});
      }
    }
  }
  DeleteObject(region);
  return parts;
}

void PaintMainWindow(HWND window, HDC dc, const RECT* clip, const std::vector<DeviceRect>& parts) {
  MainWindowState* state = StateOf(window);
  RECT client{};
  if (!state || !GetClientRect(window, &client)) return;
  const DeviceRect rect = clip ? DeviceRect{clip->left, clip->top, clip->right, clip->bottom} : DeviceRect{};
  PaintMainWindow(state->machine, state->paint, client.right - client.left, client.bottom - client.top,
                  reinterpret_cast<uintptr_t>(dc), clip ? &rect : nullptr, parts);
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
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  t.frequency = frequency.QuadPart;
  const auto counter = [] {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    return static_cast<int64_t>(c.QuadPart);
  };
  TimeBenchFrames(t, counter, [&](LogicalPoint mouse, const ScreenRect* c) {
    state.machine.state().mouseX = mouse.x;
    state.machine.state().mouseY = mouse.y;
    const RECT clip = c ? RECT{c->left, c->top, c->right, c->bottom} : RECT{};
    PaintMainWindow(window, dc.get(), c ? &clip : nullptr);
  });

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
    auto* state = static_cast<MainWindowState*>(create->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    if (state) state->host.Attach(window);
    return DefWindowProcW(window, message, wParam, lParam);
  }
  MainWindowState* state = StateOf(window);
  if (!state) return DefWindowProcW(window, message, wParam, lParam);
  MainWindow& machine = state->machine;

  switch (message) {
    case WM_CREATE: {
      const float uiScale = ScreenUiScale();
      AskForRoundedCorners(window);
      // Capture and the socket helpers need Winsock; its result is not checked, a failure shows
      // later as a capture error state.
      WSADATA wsa;
      WSAStartup(MAKEWORD(2, 2), &wsa);
      state->poster = std::make_shared<WindowLookupPoster>(window);
      state->app.AttachLookupPoster(CreateSystemNameResolver(), state->poster);
      machine.OnCreate(reinterpret_cast<uintptr_t>(window), uiScale);
      return 0;
    }
    case WM_CLOSE:
      machine.OnClose();
      break;  // DefWindowProc destroys the window
    case WM_DESTROY:
      DrainPostedTexts(window);  // answers not yet handled are not handled any more
      machine.OnDestroy();
      state->paint.Release();  // the back buffers
      // Resolver answers that arrived while the workers were joined: close the poster so no more
      // can come, then free what is queued (the system would drop it with the window, unfreed).
      if (state->poster) state->poster->Close();
      DrainPostedTexts(window);
      WSACleanup();
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      machine.OnSize(wParam == SIZE_MINIMIZED);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      const std::vector<DeviceRect> parts = UpdateRegionParts(window);  // BeginPaint empties the region
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      if (dc) PaintMainWindow(window, dc, &ps.rcPaint, parts);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_SETCURSOR:
      if (LOWORD(lParam) != HTCLIENT) break;
      machine.OnSetCursor();
      return TRUE;
    case WM_NCCALCSIZE:
      if (wParam != 0) return 0;  // the client area is the whole window
      break;
    case WM_NCHITTEST: {
      RECT r{};
      GetWindowRect(window, &r);
      const FrameHit hit =
          FrameHitTest(IsZoomed(window) != FALSE, machine.state().uiScale, ScreenRect{r.left, r.top, r.right, r.bottom},
                       GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return HitTestCode(hit);
    }
    case WM_GETMINMAXINFO:
      return OnMinMaxInfo(window, *state, reinterpret_cast<MINMAXINFO*>(lParam));
    case WM_TIMER:
      machine.OnTimer(static_cast<uint32_t>(wParam));
      return 0;
    case WM_MOUSEMOVE:
      machine.OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_MOUSELEAVE:
      machine.OnMouseLeave();
      return 0;
    case WM_LBUTTONDOWN:
      machine.OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONDBLCLK:
      machine.OnLButtonDblClk(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_MOUSEWHEEL:
      machine.OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam));
      return 0;
    case WM_KEYDOWN:
      machine.OnKeyDown(static_cast<uint32_t>(wParam), (GetKeyState(VK_CONTROL) & 0x8000) != 0,
                        (GetKeyState(VK_SHIFT) & 0x8000) != 0);
      return 0;
    case WM_CHAR:
      machine.OnChar(static_cast<wchar_t>(LOWORD(wParam)));
      return 0;
    case WM_DEFERRED_START:
      machine.OnDeferredStart();
      return 0;
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
      machine.OnHostAnswer();
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tolvane
