// The window's compositor; see paint_window.h.
#include "ui/paint_window.h"

#include <algorithm>

namespace tolvane {
namespace {

DeviceRect Intersect(const DeviceRect& a, const DeviceRect& b) {
  return DeviceRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                    std::min(a.bottom, b.bottom)};
}

void Copy(Surface& from, Surface& to, const DeviceRect& r) {
  from.CopyTo(to, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

DrawContext ContextOn(Surface& surface, const PaintInputs& in) {
  Canvas& canvas = surface.NewCanvas();
  canvas.SetWorldScale(in.state.uiScale);
  DrawContext dc = MakeDrawContext(canvas, in.fonts, in.widths, in.state, in.sources);
  dc.focusedField = in.focusedField;
  return dc;
}

void Run(const std::function<void(DrawContext&, AppState&, int32_t, int32_t)>& painter, DrawContext& dc,
         AppState& state, int32_t W, int32_t H) {
  if (painter) painter(dc, state, W, H);
}

}  // namespace

void ComposeBackground(DrawContext& dc, int32_t theme, const BackgroundMedium* medium, int32_t W, int32_t H) {
  GradientRect(dc, dc.palette.gradient, dc.palette.direction,
               RectF{0, 0, static_cast<float>(W + 1), static_cast<float>(H + 1)});
  const bool hasMedium = medium != nullptr && medium->loaded;
  if (hasMedium && medium->draw) medium->draw(dc, W, H);
  if (!hasMedium && theme >= kBuiltInCount && theme < kPaletteCount) {
    FillRect(dc, Brush::Solid(dc.palette.dark ? 0x58000000u : 0x46FFFFFFu),
             RectF{0, 0, static_cast<float>(W + 1), static_cast<float>(H + 1)});
  }
}

bool WindowPaint::EnsureSurfaces(GraphicsFactory& factory, int32_t w, int32_t h, AppState& state) {
  if (frame_ && background_ && chrome_ && underlay_ && width_ == w && height_ == h) return true;
  Release();
  frame_ = factory.CreateSurface(w, h);
  background_ = factory.CreateSurface(w, h);
  chrome_ = factory.CreateSurface(w, h);
  underlay_ = factory.CreateSurface(w, h);
  if (!frame_ || !background_ || !chrome_ || !underlay_) {
    Release();
    return false;
  }
  width_ = w;
  height_ = h;
  state.fullRepaint = true;
  return true;
}

void WindowPaint::Release() {
  frame_.reset();
  background_.reset();
  chrome_.reset();
  underlay_.reset();
  width_ = height_ = 0;
  backgroundKey_.reset();
  chromeValid_ = false;
  underlayKey_.reset();
  partialOn_ = false;
}

void WindowPaint::ComposeBackgroundLayer(const PaintInputs& in, const BackgroundKey& key, int32_t W, int32_t H) {
  DrawContext dc = ContextOn(*background_, in);
  ComposeBackground(dc, in.sources.settings.theme, in.medium, W, H);
  backgroundKey_ = key;
  chromeValid_ = false;
  last_.backgroundComposed = true;
}

void WindowPaint::DrawChromeLayer(const PaintInputs& in, int32_t W, int32_t H) {
  Copy(*background_, *chrome_, DeviceRect{0, 0, width_, height_});
  DrawContext dc = ContextOn(*chrome_, in);
  PaintMainViewChrome(dc, W, H);
  chromeValid_ = true;
  last_.chromeDrawn = true;
}

void WindowPaint::Paint(const PaintInputs& in, uintptr_t deviceContext, const DeviceRect* paintRect) {
  last_ = LastPaint{};
  AppState& state = in.state;
  const int32_t w = in.clientWidth;
  const int32_t h = in.clientHeight;
  if (w < 1 || h < 1) return;  // minimized
  if (!EnsureSurfaces(in.factory, w, h, state)) return;

  const float scale = state.uiScale;
  const auto W = static_cast<int32_t>(static_cast<float>(w) / scale + 0.5f);
  const auto H = static_cast<int32_t>(static_cast<float>(h) / scale + 0.5f);
  const bool overlay = !state.splashActive && (state.settingsOpen || in.sources.lookupOpen);

  const BackgroundMedium noMedium;
  const BackgroundMedium& medium = in.medium ? *in.medium : noMedium;
  const Settings& settings = in.sources.settings;
  // An open panel freezes the background behind it: the frame counter joins the key only while
  // the main view shows the animation.
  const bool animating = medium.animated && state.windowVisible.load();
  const bool followFrames = animating && !overlay && settings.bgMotion;
  const BackgroundKey backgroundKey{settings.theme, in.sources.themes.ThemeRevision(), medium.mediaRevision,
                                    followFrames ? medium.videoFrameCounter : 0};
  if (!backgroundKey_ || *backgroundKey_ != backgroundKey) ComposeBackgroundLayer(in, backgroundKey, W, H);
  if (!chromeValid_ && !state.splashActive) DrawChromeLayer(in, W, H);

  const DeviceRect whole{0, 0, w, h};
  DeviceRect dirty = whole;
  bool full = true;
  if (overlay) {
    const UnderlayKey underlayKey{settings.theme, in.sources.themes.ThemeRevision(), medium.mediaRevision};
    if (!underlayKey_ || *underlayKey_ != underlayKey) {
      Copy(*chrome_, *frame_, whole);
      DrawContext dc = ContextOn(*frame_, in);
      PaintMainView(dc, state, in.sources, W, H, true);
      Copy(*frame_, *underlay_, whole);
      underlayKey_ = underlayKey;
      last_.underlayDrawn = true;
    } else {
      Copy(*underlay_, *frame_, whole);
    }
    DrawContext dc = ContextOn(*frame_, in);
    if (in.panels) {
      // The seam of the two panels: each is drawn over the still picture of the main view.
      Run(state.settingsOpen ? in.panels->settingsPanel : in.panels->lookupPanel, dc, state, W, H);
    }
    PaintToast(dc, in.sources.copyFeedback.toast(), W, H);
  } else {
    full = state.fullRepaint || paintRect == nullptr || lastOverlay_ != overlay || state.splashActive;
    if (!full) {
      dirty = Intersect(*paintRect, whole);
      if (dirty.right - dirty.left < 1 || dirty.bottom - dirty.top < 1) return;
      if (dirty == whole) full = true;
    }
    underlayKey_.reset();  // a main-view paint makes the last picture stale
    Copy(state.splashActive ? *background_ : *chrome_, *frame_, dirty);
    DrawContext dc = ContextOn(*frame_, in);
    if (!full) {
      partialClip_ = RectF{static_cast<float>(dirty.left) / scale, static_cast<float>(dirty.top) / scale,
                           static_cast<float>(dirty.right - dirty.left) / scale,
                           static_cast<float>(dirty.bottom - dirty.top) / scale};
      partialOn_ = true;
      dc.canvas.PushClip(partialClip_);
      dc.cullOn = true;
      dc.cull = partialClip_;
    }
    if (state.splashActive) {
      if (in.panels) Run(in.panels->loadingScreen, dc, state, W, H);
    } else {
      PaintMainView(dc, state, in.sources, W, H, true);
      PaintToast(dc, in.sources.copyFeedback.toast(), W, H);
    }
    if (partialOn_) {
      dc.canvas.PopClip();
      partialOn_ = false;
    }
  }

  state.fullRepaint = false;
  lastOverlay_ = overlay;
  frame_->CopyToDevice(deviceContext, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top);
  last_.painted = true;
  last_.full = full;
  last_.overlay = overlay;
  last_.copied = dirty;
}

void PaintWindow(WindowPaint& paint, const PaintInputs& in, uintptr_t deviceContext, const DeviceRect* paintRect) {
  paint.Paint(in, deviceContext, paintRect);
}

}  // namespace tolvane
