// MainWindow: the portable state machine behind the main window's procedure.
//
// The Win32 window procedure (app/win32/main_window_win32.cpp) unpacks each message and calls one
// method here; everything the machine wants from the real window (invalidate, timers, cursor,
// icons, z-order, focus, dragging) goes through WindowHost. So creation and shutdown order, the
// four timers, hover with its partial repaints, the cursor and the input commands run on the host
// with a fake host and a fake clock.
//
// Coordinates: mouse messages arrive in device pixels and are turned into logical pixels here
// (divided by uiScale, truncated toward zero); invalidations leave in device pixels.
//
// Threads: main thread only. The workers are owned by the Application; this object starts them at
// creation and joins them at shutdown, and in between only reads what they publish through the
// Application's operations (each takes its own short lock).
//
// The background medium, the two sounds and the loading screen are one WindowMedia member, called
// at creation, deferred start, the media and splash ticks and shutdown, and by the settings effects.
// The painter's back buffers are the compositor's, which releases them itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/application.h"
#include "appearance/draw.h"
#include "platform/canvas.h"
#include "settings/settings_editing.h"
#include "ui/app_state.h"
#include "ui/hit_rects.h"
#include "ui/lookup_panel.h"
#include "ui/main_view.h"
#include "ui/window_host.h"
#include "ui/window_media.h"

namespace tolvane {

// Windows virtual-key numbers of the keys the commands know (WM_KEYDOWN's wParam).
namespace Key {
inline constexpr uint32_t Backspace = 0x08;
inline constexpr uint32_t Enter = 0x0D;
inline constexpr uint32_t Escape = 0x1B;
inline constexpr uint32_t Up = 0x26;
inline constexpr uint32_t Down = 0x28;
inline constexpr uint32_t Delete = 0x2E;
inline constexpr uint32_t C = 0x43;
inline constexpr uint32_t F = 0x46;
inline constexpr uint32_t G = 0x47;
inline constexpr uint32_t H = 0x48;
inline constexpr uint32_t L = 0x4C;
inline constexpr uint32_t S = 0x53;
inline constexpr uint32_t V = 0x56;
inline constexpr uint32_t F2 = 0x71;
inline constexpr uint32_t F5 = 0x74;
}  // namespace Key

// The background medium's per-frame work: the window's WindowMedia by default; tests may replace
// them. Empty functions mean no medium and no sound: nothing loops and no frame is ever due.
struct MediaHooks {
  std::function<void()> keepBackgroundLooping;
  // True when the background layer must be drawn again (a new GIF or video frame).
  std::function<bool()> advanceAnimation;
};

class MainWindow {
 public:
  // platform: the picture decoder, video decoding and MCI of the media (the process's by default).
  MainWindow(Application& app, WindowHost& host, GraphicsFactory& graphics,
             const MediaPlatform& platform = SystemMediaPlatform());
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // --- Lifecycle ---------------------------------------------------------------------------
  // WM_CREATE, after the platform side measured uiScale, asked for rounded corners and started
  // Winsock: settings and palettes, the delay text, fonts, always-on-top, the four workers, the
  // UI and media timers, then WM_DEFERRED_START is posted.
  void OnCreate(uintptr_t window, float uiScale);
  // WM_DEFERRED_START: the first view, the window icons, a full repaint.
  void OnDeferredStart();
  // WM_CLOSE (and the close button): the workers start stopping at once, before the system takes
  // the window down (which can take a while: Wine waits up to two seconds for the window manager).
  void OnClose() { app_.BeginShutdown(); }
  // WM_DESTROY up to the joins and the save; the platform side then drains its message queue,
  // stops Winsock and posts the quit message.
  void OnDestroy();
  // WM_SIZE.
  void OnSize(bool minimized);
  // WM_TIMER.
  void OnTimer(uint32_t id);
  // A resolver answer was handled (WM_HOST_RESOLVED / WM_HOST_NOT_FOUND).
  void OnHostAnswer();

  // --- Mouse and keyboard (device pixels in) -------------------------------------------------
  void OnMouseMove(int32_t deviceX, int32_t deviceY);
  void OnMouseLeave();
  // WM_SETCURSOR over the client area.
  void OnSetCursor();
  void OnLButtonDown(int32_t deviceX, int32_t deviceY);
  void OnLButtonDblClk(int32_t deviceX, int32_t deviceY);
  // wheelDelta: the signed high word of WM_MOUSEWHEEL's wParam.
  void OnMouseWheel(int32_t wheelDelta);
  // key: the virtual-key number; ctrl and shift: whether those keys are held.
  void OnKeyDown(uint32_t key, bool ctrl, bool shift = false);
  void OnChar(wchar_t c);

  // --- Operations for the commands and the painters -------------------------------------------
  Face CurrentFace() const;
  bool LookupOpen() const { return app_.currentLookup().panelOpen.load(); }
  // settingsOpen, historyOpen or the lookup panel open.
  bool Overlay() const { return state_.settingsOpen || state_.historyOpen || LookupOpen(); }
  // Client size in logical pixels.
  int32_t LogicalWidth();
  int32_t LogicalHeight();

  void FullRepaint() { host_.InvalidateAll(); }
  // The logical rectangle grown by 3 on every side, scaled outward to whole device pixels.
  void InvalidateLogical(int32_t left, int32_t top, int32_t right, int32_t bottom);
  // InvalidateLogical of the whole pixels that hold r.
  void InvalidateBox(const RectF& r);
  // Nothing for Slot::None or a slot that is not present.
  void InvalidateHitRect(int32_t slot);
  void InvalidateTableRow(int32_t row);
  // Selects view row index (ignored outside the view) and scrolls it into view.
  void SelectRow(int32_t index);
  void ShowLookupPanel();
  // Ctrl+H and the call panel's "History": opens the history panel (closing the settings panel and a
  // lookup panel above it); Ctrl+H in the history panel closes it.
  void ShowHistoryPanel();
  void RequestRefreshNow();
  // RebuildView of the connection view with the window's inputs; returns its change bits.
  uint32_t RebuildView();
  // The lookup panel was opened by a lookup command: the two panels are never open together.
  void NoteLookupOpened();

  // The loading screen: shown until EndSplash (its time, a key, a click).
  void StartSplash();
  void EndSplash();

  // The window icons from the logo mark in the active theme; records the theme they were made for.
  void RebuildWindowIcons();
  // Starts TIMER_MEDIA when it has work (a GIF or video that moves, a background sound to keep
  // looping, window icons made for another theme) and stops it when it has none. Called by
  // whatever may give it work, and by the media tick itself.
  void UpdateMediaTimer();

  AppState& state() { return state_; }
  const AppState& state() const { return state_; }
  Application& app() { return app_; }
  WindowHost& host() { return host_; }
  Clock& clock() { return app_.clock(); }
  SettingsEditor& editor() { return editor_; }
  UiFonts& fonts() { return fonts_; }
  TextWidthCache& widths() { return widths_; }
  GraphicsFactory& graphics() { return graphics_; }
  MediaHooks& media() { return media_; }
  // The lookup panel's map image, made once per map and dropped at shutdown with the fonts.
  MapImageCache& mapImages() { return mapImages_; }
  WindowMedia& windowMedia() { return windowMedia_; }

 private:
  class Effects final : public SettingsEffects {
   public:
    explicit Effects(MainWindow& window) : w_(window) {}
    void SaveSettings() override;
    void RebuildPrefixList() override;
    void RebuildView() override { w_.RebuildView(); }
    void RequestRefreshNow() override { w_.RequestRefreshNow(); }
    void Repaint() override {
      w_.FullRepaint();
      w_.UpdateMediaTimer();  // a theme chosen: the window icons wait for the media tick
    }
    void ApplyAlwaysOnTop(bool on) override { w_.host_.ApplyTopmost(on); }
    void LoadSplashImage() override { w_.windowMedia_.LoadSplashImage(); }
    void LoadBackgroundMedia() override {
      w_.windowMedia_.LoadBackgroundMedia();
      w_.UpdateMediaTimer();
    }
    void MediaPathTyped(TextFieldId id) override { w_.windowMedia_.PathTyped(id); }
    bool BackgroundSoundPlaying() override { return w_.windowMedia_.BackgroundSoundPlaying(); }
    std::wstring StartBackgroundSound() override {
      std::wstring error = w_.windowMedia_.StartBackgroundSound();
      w_.UpdateMediaTimer();
      return error;
    }
    void StopBackgroundSound() override { w_.windowMedia_.StopBackgroundSound(); }
    void ApplyBackgroundVolume() override { w_.windowMedia_.ApplyBackgroundVolume(); }
    bool LoadingSoundPlaying() override { return w_.windowMedia_.LoadingSoundPlaying(); }
    void StopLoadingSound() override { w_.windowMedia_.StopLoadingSound(); }
    void BumpMediaRevision() override {
      w_.windowMedia_.BumpMediaRevision();
      w_.UpdateMediaTimer();  // motion switched on again
    }
    std::wstring StartLoadingSound() override { return w_.windowMedia_.sounds().StartLoadingSound(); }
    bool SplashImageLoaded() override { return w_.windowMedia_.medium().SplashImage() != nullptr; }
    std::wstring BackgroundStatusLine() override { return w_.windowMedia_.medium().MediaStatusLine(); }
    void ClearViewInputs() override;
    void ForceFullRedraw() override;

   private:
    MainWindow& w_;
  };

  void UiTick();
  // The stat cards' and status line's texts that changed since the last look, each in its box.
  void RepaintChangedTexts();
  // Where the toast held now is drawn (logical pixels, measured as its painter measures).
  HitRect ToastBoxNow();
  // The box of the toast last shown; nothing when there is none.
  void InvalidateToast();
  void FadeTick();
  void MediaTick();
  void SplashTick();

  Application& app_;
  WindowHost& host_;
  GraphicsFactory& graphics_;
  AppState state_;
  Effects effects_{*this};
  SettingsEditor editor_;
  UiFonts fonts_;
  TextWidthCache widths_;
  MapImageCache mapImages_;
  MediaHooks media_;
  WindowMedia windowMedia_;  // after state_, which it refers to
  bool created_ = false;
  // What the UI tick last saw, so a tick that finds nothing new does nothing.
  ClockedTexts shownTexts_;
  uint64_t toastSerial_ = 0;
  HitRect toastBox_;                  // the shown toast's box, not present once it was cleared
  std::unique_ptr<Surface> measure_;  // measures a new toast's text; dropped at shutdown
  uint64_t lookupRevision_ = 0;
  bool lookupBusy_ = false;
  bool mediaTimerOn_ = false;
};

}  // namespace tolvane
