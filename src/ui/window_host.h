// What the portable window state machine asks of the real window. The Win32 side implements it
// in app/win32/ with the named calls; tests use tests/fakes/fake_window_host.h, which records every
// request. Coordinates here are device pixels unless said otherwise. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// A device rectangle: left and top inclusive, right and bottom exclusive (a Win32 RECT).
struct DeviceRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const DeviceRect&) const = default;
};

enum class CursorShape { Arrow, Hand, IBeam };
enum class WindowShow { Minimize, Maximize, Restore };
enum class FileDialogKind { Images, AudioFiles, PicturesAndVideos };
enum class SaveFileType { Csv, Json };

// Timer ids and periods of the main window.
inline constexpr uint32_t TIMER_UI = 2;
inline constexpr uint32_t TIMER_SPLASH = 3;
inline constexpr uint32_t TIMER_MEDIA = 4;
inline constexpr uint32_t TIMER_ROWFADE = 5;
inline constexpr uint32_t kTimerUiMs = 100;
inline constexpr uint32_t kTimerSplashMs = 16;
inline constexpr uint32_t kTimerMediaMs = 33;
inline constexpr uint32_t kTimerRowFadeMs = 33;

class WindowHost {
 public:
  virtual ~WindowHost() = default;

  // InvalidateRect without erase: the device rectangle, or the whole client area.
  virtual void Invalidate(const DeviceRect& r) = 0;
  virtual void InvalidateAll() = 0;
  // SetTimer / KillTimer on the window (starting a running timer resets it).
  virtual void SetTimer(uint32_t id, uint32_t periodMs) = 0;
  virtual void KillTimer(uint32_t id) = 0;
  virtual void SetCursor(CursorShape shape) = 0;
  // TrackMouseEvent with TME_LEAVE.
  virtual void TrackMouseLeave() = 0;
  // Client size in device pixels.
  virtual int32_t ClientWidth() = 0;
  virtual int32_t ClientHeight() = 0;
  // The two window icons from 32 × 32 and 16 × 16 ARGB pixels (row-major, top row first); the
  // previous icons are destroyed. Empty pixel lists destroy the icons without making new ones.
  virtual void SetWindowIcons(const std::vector<uint32_t>& big32, const std::vector<uint32_t>& small16) = 0;
  // SetWindowPos with HWND_TOPMOST or HWND_NOTOPMOST, no move, no size, no activation.
  virtual void ApplyTopmost(bool on) = 0;
  virtual void PostDeferredStart() = 0;
  virtual void SetFocus() = 0;
  virtual void DestroyWindow() = 0;
  virtual void ShowWindow(WindowShow show) = 0;
  virtual bool IsZoomed() = 0;
  // ReleaseCapture and WM_NCLBUTTONDOWN with HTCAPTION: the system drags the window.
  virtual void BeginDrag() = 0;
  // The system's colour picker starting from rgb (0x00RRGGBB); false on Cancel.
  virtual bool ChooseColour(uint32_t startRgb, uint32_t& chosenRgb) = 0;
  // The system's open-file dialog; false on Cancel.
  virtual bool ChooseFile(FileDialogKind kind, std::wstring& path) = 0;
  // The system's save dialog with the types CSV and JSON, offering suggestedName (no extension) and
  // asking before it overwrites; path is the chosen file (the dialog may or may not have added the
  // type's extension), type the type chosen. False on Cancel.
  virtual bool ChooseSaveFile(const std::wstring& suggestedName, std::wstring& path, SaveFileType& type) = 0;
  // ShellExecuteW "open" on a link.
  virtual void OpenLink(const std::wstring& link) = 0;
};

}  // namespace tolvane
