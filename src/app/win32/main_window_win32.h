// The main window's Win32 side while the portable window state machine is not wired in: class
// registration, creation at the start-up geometry, the frameless frame's messages, the background
// paint through an off-screen buffer, the drawing benchmark that replays paints against it, and the
// website-resolution answers (app/win32/lookup_poster_win32.h), handed to the lookup commands.
//
// Everything the frame decides (hit-test borders, track sizes, gradient ends, benchmark frames) is
// computed by the pure functions of app/startup.h and app/window_frame.h; this layer reads the
// system's inputs and applies the answers. GDI+ must be started before any paint.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/application.h"

namespace tolvane {

inline constexpr wchar_t kMainWindowClass[] = L"TolvaneDesktopApp";
inline constexpr wchar_t kMainWindowTitle[] = L"Tolvane";
inline constexpr UINT_PTR kTimerUi = 2;

// Per-window state, owned by the entry point and reached by the window procedure through
// GWLP_USERDATA (set from lpCreateParams during WM_NCCREATE). It must outlive the window.
struct MainWindowState {
  explicit MainWindowState(Application& application) : app(application) {}
  Application& app;
  float uiScale = 1.0f;
  int32_t mouseX = -1, mouseY = -1;  // logical pixels; -1 while the mouse is outside
};

// Registers the window class; false when the system refuses (the caller exits with code 1).
bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the window at the start-up geometry of the screen's dpi and work area; null on failure.
HWND CreateMainWindow(HINSTANCE instance, MainWindowState& state);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Paints the window's client area into dc through one off-screen bitmap blitted once. With a clip
// rectangle only that part is drawn and copied; pixels of dc outside it are left alone.
void PaintMainWindow(HWND window, HDC dc, const RECT* clip);

// The drawing benchmark: times one first paint, 100 full and 100 clipped paints at moving mouse
// positions, and appends one result line to tolvane_bench.txt in the user's temporary folder
// (an unopenable file is ignored). Blocks the message loop for about two seconds.
void RunBench(HWND window, MainWindowState& state, uint64_t startTick);

// Answers WM_NCHITTEST codes for the resize borders of the frameless window.
LRESULT HitTestCode(FrameHit hit);

}  // namespace tolvane
