// The main window's GTK 4 side: one undecorated, resizable top-level window whose only child is a
// drawing area the program paints entirely, and the translator that turns GTK's signals into calls
// on the portable state machine (ui/main_window.h), which asks for its effects through
// GtkWindowHost. It mirrors app/win32/main_window_win32.* call for call.
//
// Painting: GTK 4 redraws the whole drawing area on every frame and has no partial invalidation.
// The compositor keeps its frame surface between frames, so an invalidation only collects device
// rectangles; the draw handler repaints those into the frame and then copies the whole frame to
// the widget.
//
// Units: GTK hands out coordinates in its own logical pixels; the machine works in device pixels
// (GTK's times the monitor's scale factor), and divides by uiScale (the same factor) itself.
//
// X11 only (on Wayland these are the desktop's to decide): the start position, keep-above and the
// window icons, through the X11 surface (app/linux/x11_window.h).
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/linux/lookup_poster_gtk.h"
#include "app/startup.h"
#include "ui/main_window.h"
#include "ui/paint_window.h"
#include "ui/window_host.h"

namespace tolvane {

inline constexpr char kMainWindowTitle[] = "Tolvane";

struct MainWindowState;

class GtkWindowHost final : public WindowHost {
 public:
  explicit GtkWindowHost(MainWindowState& state) : state_(state) {}
  ~GtkWindowHost() override;

  void Invalidate(const DeviceRect& r) override;
  void InvalidateAll() override;
  void SetTimer(uint32_t id, uint32_t periodMs) override;
  void KillTimer(uint32_t id) override;
  void SetCursor(CursorShape shape) override;
  void TrackMouseLeave() override {}  // the motion controller always reports leaving
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

  // The invalidations collected since the last draw: all, or the rectangles.
  bool TakeDirty(bool& all, std::vector<DeviceRect>& parts);
  void ForgetTimers();
  // The next SetCursor sets the shape even when it is the last one set (a resize cursor was shown).
  void ForgetCursor() { cursorSet_ = false; }

 private:
  struct Timer {
    GtkWindowHost* host = nullptr;
    uint32_t id = 0;
    guint source = 0;
  };
  static gboolean OnTimerSource(gpointer data);
  // Shows the file chooser modally and waits for the answer; path: the chosen file's path.
  bool RunFileDialog(GtkFileChooserNative* dialog, std::wstring& path);

  MainWindowState& state_;
  std::map<uint32_t, std::unique_ptr<Timer>> timers_;
  bool dirtyAll_ = false;
  std::vector<DeviceRect> dirty_;
  CursorShape cursor_ = CursorShape::Arrow;
  bool cursorSet_ = false;
};

// Per-window state, owned by the entry point; it outlives the window. The host is declared before
// the machine, which uses it until its own destruction.
struct MainWindowState {
  explicit MainWindowState(Application& application);
  Application& app;
  GtkWindowHost host;
  MainWindow machine;
  WindowPaint paint;
  std::shared_ptr<MainLoopLookupPoster> poster;
  GtkWidget* window = nullptr;  // the GtkWindow, null once destroyed
  GtkWidget* area = nullptr;    // its drawing area
  GtkIMContext* im = nullptr;
  int32_t scale = 1;  // GTK's scale factor: device pixels per GTK pixel
  bool closing = false;
  bool quit = false;        // the main loop ends
  bool dialogOpen = false;  // a modal dialog runs: the window takes no input
  bool drawnOnce = false;
  bool minimized = false;
  bool borderCursor = false;  // a resize cursor is shown
  // The last button press, for BeginDrag (GTK wants the press's device, button, place and time).
  GdkDevice* pressDevice = nullptr;
  int32_t pressButton = 0;
  double pressX = 0, pressY = 0;
  uint32_t pressTime = 0;
};

// Creates the window at the start-up geometry of the monitor's scale factor and work area,
// realizes it and calls the machine's OnCreate; it is shown by ShowMainWindow. False on failure.
bool CreateMainWindow(MainWindowState& state);
void ShowMainWindow(MainWindowState& state);
// Raises the window (a second start asked): restores it when minimized and presents it.
void RaiseMainWindow(MainWindowState& state);
// Closes the window the way the user does: the machine's shutdown, then the widget, then the loop.
void CloseMainWindow(MainWindowState& state);

// The drawing benchmark: one first paint, 100 full and 100 clipped paints, each followed by the
// copy of the whole frame the draw handler makes; appends the result line to tolvane_bench.txt in
// the temporary folder (an unwritable file is ignored).
void RunBench(MainWindowState& state, uint64_t startTick);

}  // namespace tolvane
