// The loading screen: shown when the window is created (unless the benchmark runs) and by the
// settings panel's preview, over the background of the current theme and medium. It ends after
// splashMs, or at the first key or click (the only way when splashMs is 0).
//
// LoadingScreen keeps its state in the window's AppState (splashActive, splashStart, splashMessage)
// and asks the window for its 16 ms timer and repaints through the WindowHost. PaintSplash is a
// pure painter: the picture or logo, title, subtitle, progress bar or moving segment, and hint.
// A loading sound that cannot play never holds the screen up: its error is shown as a toast when
// the screen ends. Main thread only.
#pragma once

#include <cstdint>

#include "appearance/draw.h"
#include "appearance/sounds.h"
#include "clipboard/toast.h"
#include "platform/canvas.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "ui/app_state.h"
#include "ui/window_host.h"

namespace tolvane {

inline constexpr const wchar_t* kSplashHintContinue = L"Click or press any key to continue";
inline constexpr const wchar_t* kSplashHintSkip = L"Click or press any key to skip";
// The square the loading screen's picture is fitted into, in logical pixels. The picture is scaled
// to it once when it is loaded (BackgroundMedia::LoadSplashImage), so the 16 ms repaints draw it
// at its own size instead of resampling the whole file each time.
inline constexpr float kSplashPictureBox = 200;

class LoadingScreen {
 public:
  LoadingScreen(AppState& app, const Settings& settings, Sounds& sounds, Toast& toast, Clock& clock)
      : app_(app), settings_(settings), sounds_(sounds), toast_(toast), clock_(clock) {}

  // Shows the screen: starts its time and TIMER_SPLASH and, when splashSound is set, the loading
  // sound (keeping its error for the end).
  void StartSplash(WindowHost& host);
  // Hides the screen (nothing when hidden): kills TIMER_SPLASH, stops the loading sound when
  // splashStopSound is on, shows a kept error as a toast. The caller repaints the whole window.
  void EndSplash(WindowHost& host);
  // The TIMER_SPLASH tick: kills the timer when the screen is hidden; otherwise ends the screen
  // once splashMs (above 0) has passed, and repaints the whole window.
  void SplashTick(WindowHost& host);

  // Milliseconds since the screen started.
  int64_t ElapsedMs() const;

 private:
  AppState& app_;
  const Settings& settings_;
  Sounds& sounds_;
  Toast& toast_;
  Clock& clock_;
};

// Draws the loading screen over the background layer, W × H logical units. picture is the loading
// screen's picture (null: the logo); elapsedNs is the time since the screen started.
void PaintSplash(DrawContext& dc, const Settings& settings, const CanvasImage* picture, int64_t elapsedNs, float W,
                 float H);

}  // namespace tolvane
