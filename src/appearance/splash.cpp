// The loading screen's state changes and its painter.
#include "appearance/splash.h"

#include <algorithm>
#include <cmath>

namespace tolvane {
namespace {

constexpr float kBarWidth = 260;
constexpr float kBarHeight = 4;
constexpr float kSegmentWidth = 90;

}  // namespace

void LoadingScreen::StartSplash(WindowHost& host) {
  app_.splashActive = true;
  app_.splashStart = clock_.MonotonicNs();
  app_.splashMessage.clear();
  host.SetTimer(TIMER_SPLASH, kTimerSplashMs);
  if (!settings_.splashSound.empty()) app_.splashMessage = sounds_.StartLoadingSound();
}

void LoadingScreen::EndSplash(WindowHost& host) {
  if (!app_.splashActive) return;
  app_.splashActive = false;
  host.KillTimer(TIMER_SPLASH);
  if (settings_.splashStopSound && sounds_.loadingOpen()) sounds_.StopLoadingSound();
  if (!app_.splashMessage.empty()) {
    toast_.Show(app_.splashMessage);
    app_.splashMessage.clear();
  }
}

int64_t LoadingScreen::ElapsedMs() const { return (clock_.MonotonicNs() - app_.splashStart) / 1'000'000; }

void LoadingScreen::SplashTick(WindowHost& host) {
  if (!app_.splashActive) {
    host.KillTimer(TIMER_SPLASH);
    return;
  }
  const int32_t splashMs = settings_.splashMs;
  if (splashMs > 0 && ElapsedMs() >= splashMs) EndSplash(host);
  host.InvalidateAll();
}

void PaintSplash(DrawContext& dc, const Settings& settings, const CanvasImage* picture, int64_t elapsedNs, float W,
                 float H) {
  const float cy = H * 0.5f;
  const ThemePalette& palette = dc.palette;

  if (picture && picture->Width() > 0 && picture->Height() > 0) {
    const float w = static_cast<float>(picture->Width());
    const float h = static_cast<float>(picture->Height());
    const float s = std::min(kSplashPictureBox / w, kSplashPictureBox / h);
    dc.canvas.DrawImage(*picture, RectF{W / 2 - w * s / 2, (cy - 70) - h * s / 2, w * s, h * s});
  } else {
    LogoMark(dc, W / 2 - 44, cy - 130, 88);
  }

  const float top = std::trunc(cy);
  TextInRect(dc, settings.splashTitle, FontHuge, RectF{0, top + 4, W, 40}, palette.text, TextAlign::Center,
             TextAlign::Center);
  TextInRect(dc, settings.splashSub, FontSmall, RectF{0, top + 46, W, 22}, palette.textDim, TextAlign::Center,
             TextAlign::Center);

  const int32_t splashMs = settings.splashMs;
  if (settings.splashBar) {
    const float x0 = W * 0.5f - 130;
    const float yb = cy + 86;
    const double elapsed = static_cast<double>(elapsedNs) / 1e9;
    FillRoundRect(dc, RectF{x0, yb, kBarWidth, kBarHeight}, 2, WithAlpha(palette.accent, 0x3C));
    if (splashMs > 0) {
      const double p = elapsed * 1000 / splashMs;
      const float fill = p >= 1 ? kBarWidth : static_cast<float>(kBarWidth * std::max(p, 0.0));
      if (fill > 0) FillRoundRect(dc, RectF{x0, yb, fill, kBarHeight}, 2, palette.accent);
    } else {
      const double phase = elapsed * 0.7;
      const float t = static_cast<float>(phase - std::floor(phase));
      const float s = x0 - kSegmentWidth + 350 * t;
      const float left = std::max(s, x0);
      const float right = std::min(s + kSegmentWidth, x0 + kBarWidth);
      if (right > left) FillRoundRect(dc, RectF{left, yb, right - left, kBarHeight}, 2, palette.accent);
    }
  }

  TextInRect(dc, splashMs == 0 ? kSplashHintContinue : kSplashHintSkip, FontTiny, RectF{0, H - 34, W, 20},
             palette.textMuted, TextAlign::Center, TextAlign::Center);
}

}  // namespace tolvane
