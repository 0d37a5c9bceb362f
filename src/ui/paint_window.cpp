// The window's compositor; see paint_window.h.
#include "ui/paint_window.h"

#include <algorithm>
#include <cmath>

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

// The row layer of one paint: rows are drawn on the rows surface over the chrome and copied into
// the frame, within the dirty rectangle.
class WindowPaint::RowCache final : public RowLayer {
 public:
  RowCache(WindowPaint& paint, const PaintInputs& in, int32_t W, const DeviceRect& dirty)
      : paint_(paint), in_(in), W_(W), dirty_(dirty) {}

  void PlaceRow(int32_t index, int32_t y, const RowLook& look, const std::function<void(DrawContext&)>& draw) override {
    if (index < 0) return;
    const float s = in_.state.uiScale;
    // The row's band: from its top (the first row's box is clipped at the rows area's top) to the
    // next row's top, across the table card. A row draws nothing outside it.
    const auto top = static_cast<int32_t>(std::floor(static_cast<float>(std::max(y, kTableAreaTop)) * s));
    const auto bottom = static_cast<int32_t>(std::floor(static_cast<float>(y + kTableRowPitch) * s));
    const auto left = static_cast<int32_t>(std::floor(24 * s));
    const auto right = static_cast<int32_t>(std::ceil(static_cast<float>(W_ - 24) * s));
    const DeviceRect band{left, top, right, bottom};
    std::vector<KeptRows>& kept = paint_.keptRows_;
    if (kept.size() <= static_cast<size_t>(index)) kept.resize(static_cast<size_t>(index) + 1);
    KeptRows& slots = kept[static_cast<size_t>(index)];
    // Two looks are kept per row, so a row that goes back and forth (the hover moving between two
    // rows, a selection) is copied after the first time; a third look replaces the older one.
    int32_t slot = -1, kin = -1;
    for (int32_t k = 0; k < 2; ++k) {
      if (!slots.look[k]) continue;
      if (*slots.look[k] == look) {
        slot = k;
      } else if (SameButMeters(*slots.look[k], look)) {
        kin = k;
      }
    }
    if (slot < 0 && kin >= 0) {
      // New samples or traffic only: the chrome comes back under the cells that changed (the traffic,
      // the latency's or both), and the row is drawn again clipped to them, which culls its texts
      // elsewhere (text is what costs).
      slot = kin;
      const auto [cellsLeft, cellsRight] = ChangedMeterCells(*slots.look[kin], look);
      const DeviceRect cells =
          Intersect(band, DeviceRect{static_cast<int32_t>(std::floor(cellsLeft * s)), band.top,
                                     static_cast<int32_t>(std::ceil(cellsRight * s)), band.bottom});
      Surface& target = *paint_.rows_[slot];
      Copy(*paint_.chrome_, target, cells);
      DrawContext dc = ContextOn(target, in_);
      const RectF clip{static_cast<float>(cells.left) / s, static_cast<float>(cells.top) / s,
                       static_cast<float>(cells.right - cells.left) / s,
                       static_cast<float>(cells.bottom - cells.top) / s};
      dc.canvas.PushClip(clip);
      dc.cullOn = true;
      dc.cull = clip;
      draw(dc);
      dc.canvas.PopClip();
      slots.look[slot] = look;
      ++paint_.last_.cellsDrawn;
    } else if (slot < 0) {
      slot = slots.newer == 0 ? 1 : 0;
      Surface& target = *paint_.rows_[slot];
      Copy(*paint_.chrome_, target, band);
      DrawContext dc = ContextOn(target, in_);
      draw(dc);
      slots.look[slot] = look;
      ++paint_.last_.rowsDrawn;
    } else {
      ++paint_.last_.rowsCopied;
    }
    slots.newer = slot;
    const DeviceRect part = Intersect(band, dirty_);
    if (part.right > part.left && part.bottom > part.top) Copy(*paint_.rows_[slot], *paint_.frame_, part);
  }

 private:
  WindowPaint& paint_;
  const PaintInputs& in_;
  int32_t W_;
  DeviceRect dirty_;
};

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
  if (frame_ && background_ && chrome_ && rows_[0] && rows_[1] && width_ == w && height_ == h) return true;
  Release();
  frame_ = factory.CreateSurface(w, h);
  background_ = factory.CreateSurface(w, h);
  chrome_ = factory.CreateSurface(w, h);
  rows_[0] = factory.CreateSurface(w, h);
  rows_[1] = factory.CreateSurface(w, h);
  if (!frame_ || !background_ || !chrome_ || !rows_[0] || !rows_[1]) {
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
  rows_[0].reset();
  rows_[1].reset();
  keptRows_.clear();
  underlay_.reset();
  width_ = height_ = 0;
  backgroundKey_.reset();
  chromeKey_.reset();
  underlayKey_.reset();
  partialOn_ = false;
}

void WindowPaint::ComposeBackgroundLayer(const PaintInputs& in, const BackgroundKey& key, int32_t W, int32_t H) {
  DrawContext dc = ContextOn(*background_, in);
  ComposeBackground(dc, in.sources.settings.theme, in.medium, W, H);
  backgroundKey_ = key;
  chromeKey_.reset();
  last_.backgroundComposed = true;
}

void WindowPaint::DrawChromeLayer(const PaintInputs& in, const MainViewChromeKey& key, int32_t W, int32_t H) {
  Copy(*background_, *chrome_, DeviceRect{0, 0, width_, height_});
  DrawContext dc = ContextOn(*chrome_, in);
  PaintMainViewChrome(dc, in.sources, W, H);
  chromeKey_ = key;
  keptRows_.clear();  // the rows were drawn over the old chrome
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
  const bool overlay = !state.splashActive && (state.settingsOpen || state.historyOpen || in.sources.lookupOpen);

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
  if (!state.splashActive) {
    const MainViewChromeKey chromeKey = ChromeKeyOf(in.sources, W, H);
    if (!chromeKey_ || *chromeKey_ != chromeKey) DrawChromeLayer(in, chromeKey, W, H);
  }

  const DeviceRect whole{0, 0, w, h};
  DeviceRect dirty = whole;
  bool full = true;
  if (overlay) {
    // The underlay lives only while a panel is open: a whole window's pixels, not kept at rest.
    if (!underlay_) {
      underlay_ = in.factory.CreateSurface(w, h);
      underlayKey_.reset();
    }
    const UnderlayKey underlayKey{settings.theme, in.sources.themes.ThemeRevision(), medium.mediaRevision};
    if (!underlay_ || !underlayKey_ || *underlayKey_ != underlayKey) {
      Copy(*chrome_, *frame_, whole);
      DrawContext dc = ContextOn(*frame_, in);
      RowCache rows(*this, in, W, whole);
      PaintMainView(dc, state, in.sources, W, H, ViewLayers{true, &rows});
      if (underlay_) {
        Copy(*frame_, *underlay_, whole);
        underlayKey_ = underlayKey;
      }
      last_.underlayDrawn = true;
    } else {
      Copy(*underlay_, *frame_, whole);
    }
    DrawContext dc = ContextOn(*frame_, in);
    if (in.panels) {
      // The seam of the panels: each is drawn over the still picture of the main view; the lookup
      // panel over the history when it was opened from there.
      if (state.settingsOpen) {
        Run(in.panels->settingsPanel, dc, state, W, H);
      } else {
        if (state.historyOpen) Run(in.panels->historyPanel, dc, state, W, H);
        if (in.sources.lookupOpen) Run(in.panels->lookupPanel, dc, state, W, H);
      }
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
    underlay_.reset();
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
      RowCache rows(*this, in, W, dirty);
      PaintMainView(dc, state, in.sources, W, H, ViewLayers{true, &rows});
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

void PaintWindow(WindowPaint& paint, const PaintInputs& in, uintptr_t deviceContext, const DeviceRect* paintRect,
                 const std::vector<DeviceRect>& parts) {
  if (paintRect && parts.size() >= 2) {
    auto area = [](const DeviceRect& r) {
      return static_cast<int64_t>(std::max(0, r.right - r.left)) * std::max(0, r.bottom - r.top);
    };
    int64_t covered = 0;
    for (const DeviceRect& r : parts) covered += area(r);
    if (covered * 10 < area(*paintRect) * 9) {
      for (const DeviceRect& r : parts) {
        paint.Paint(in, deviceContext, &r);
        if (paint.lastPaint().full) return;  // a full paint (size change, face change) covered all
      }
      return;
    }
  }
  paint.Paint(in, deviceContext, paintRect);
}

}  // namespace tolvane
