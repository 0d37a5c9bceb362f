// The main window's Win32 side: class registration, creation at the start-up geometry, and
// MainWindowProc, a translator that unpacks each message and calls the portable state machine
// (ui/main_window.h), which asks for its effects through Win32WindowHost. Also here: the frameless
// frame's messages, the paint through an off-screen buffer, the drawing benchmark, and the
// website-resolution answers (app/win32/lookup_poster_win32.h), handed to the lookup commands.
//
// Everything the frame decides (hit-test borders, track sizes, gradient ends, benchmark frames) is
// computed by the pure functions of app/startup.h and app/window_frame.h; this layer reads the
// system's inputs and applies the answers. GDI+ must be started before any paint.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/win32/lookup_poster_win32.h"
#include "ui/main_window.h"
#include "ui/paint_window.h"
#include "ui/window_host.h"

namespace tolvane {

inline constexpr wchar_t kMainWindowClass[] = L"TolvaneDesktopApp";
inline constexpr wchar_t kMainWindowTitle[] = L"Tolvane";
inline constexpr UINT_PTR kTimerUi = TIMER_UI;
inline constexpr UINT WM_DEFERRED_START = WM_APP + 3;

// The window host on a real window: the calls named in ui/window_host.h. Attach sets the handle
// (at WM_NCCREATE); before that every request is ignored by the system (null window).
class Win32WindowHost final : public WindowHost {
 public:
  ~Win32WindowHost() override;
  void Attach(HWND window) { window_ = window; }
  HWND window() const { return window_; }

  void Invalidate(const DeviceRect& r) override;
  void InvalidateAll() override;
  void SetTimer(uint32_t id, uint32_t periodMs) override;
  void KillTimer(uint32_t id) override;
  void SetCursor(CursorShape shape) override;
  void TrackMouseLeave() override;
  int32_t ClientWidth() override;
  int32_t ClientHeight() override;
  void SetWindowIcons(const std::vector<uint32_t>& big32, const std::vector<uint32_t>& small16) override;
  void ApplyTopmost(bool on) override;
  void PostDeferredStart() override;
  void SetFocus() override;
  void DestroyWindow() override;
  void ShowWindow(WindowShow show) override;
  bool IsZoomed() override;
  void BeginDrag() override;
  bool ChooseColour(uint32_t startRgb, uint32_t& chosenRgb) override;
  bool ChooseFile(FileDialogKind kind, std::wstring& path) override;
  bool ChooseSaveFile(const std::wstring& suggestedName, std::wstring& path, SaveFileType& type) override;
  void OpenLink(const std::wstring& link) override;

  // The icons now set on the window (null before the first SetWindowIcons, and after the last).
  HICON bigIcon() const { return bigIcon_; }
  HICON smallIcon() const { return smallIcon_; }

 private:
  HWND window_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
};

// Per-window state, owned by the entry point and reached by the window procedure through
// GWLP_USERDATA (set from lpCreateParams during WM_NCCREATE). It must outlive the window. The host
// is declared before the machine, which uses it until its own destruction.
struct MainWindowState {
  explicit MainWindowState(Application& application);
  Application& app;
  Win32WindowHost host;
  MainWindow machine;
  std::shared_ptr<WindowLookupPoster> poster;  // made at WM_CREATE, closed at WM_DESTROY
  WindowPaint paint;                           // the compositor's back buffers, released at WM_DESTROY
};

// Registers the window class; false when the system refuses (the caller exits with code 1).
bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the window at the start-up geometry of the screen's dpi and work area; null on failure.
HWND CreateMainWindow(HINSTANCE instance, MainWindowState& state);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// WM_PAINT's work: PaintWindow over the window's compositor, with the client size, the machine's
// state, fonts and width cache, and the application's parts. With a clip rectangle only that part
// is drawn and copied; pixels of dc outside it are left alone.
// parts: the rectangles of the update region (UpdateRegionParts), when known.
void PaintMainWindow(HWND window, HDC dc, const RECT* clip, const std::vector<DeviceRect>& parts = {});
// The rectangles of the window's update region when it has more than one; empty otherwise. Called
// before BeginPaint, which validates the region.
std::vector<DeviceRect> UpdateRegionParts(HWND window);

// The drawing benchmark: times one first paint, 100 full and 100 clipped paints at moving mouse
// positions, and appends one result line to tolvane_bench.txt in the user's temporary folder
// (an unopenable file is ignored). Blocks the message loop for about two seconds.
void RunBench(HWND window, MainWindowState& state, uint64_t startTick);

// Answers WM_NCHITTEST codes for the resize borders of the frameless window.
LRESULT HitTestCode(FrameHit hit);

// An icon from 32-bit ARGB pixels (row-major, top row first, straight alpha); null on failure or
// when the list does not hold size x size pixels. The caller destroys it.
HICON IconFromPixels(const std::vector<uint32_t>& argb, int32_t size);

}  // namespace tolvane
