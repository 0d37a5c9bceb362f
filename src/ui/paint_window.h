// The window's compositor: every frame is composed off-screen from cached layers and copied to the
// window with one block transfer, so the window never shows a half-drawn frame.
//
// Six surfaces of the client size: the frame being composed, the background layer (gradient,
// background medium, custom-theme veil), the chrome layer (the background with the parts of the
// main view that rarely change, PaintMainViewChrome), two row layers (table rows drawn over the
// chrome, each kept with the look it was drawn for, RowLayer: two looks per row, so the hover
// moving back and forth is only copied, and a row that only got new samples or traffic has only its meter
// cells drawn again), and the underlay (the main view as last drawn, reused
// behind an open panel; it exists only while a panel is open). They are created on the first
// paint and again whenever the client size changes, which also invalidates the caches and forces
// a full repaint. Each
// layer follows the one under it: a new background makes a new chrome, a new chrome empties the
// row layer.
//
// Without a panel a paint is full or partial: a partial paint copies only the dirty rectangle of the
// background, clips the canvas to it and turns culling on with it (DrawContext::cullOn), so shapes
// outside cost nothing and the table skips rows outside. With a panel open the main view is not
// drawn again; the underlay is copied and the panel drawn over it.
//
// The panels, the loading screen and the background medium belong to other parts of the window;
// they plug in through PanelPainters and BackgroundMedium. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "appearance/draw.h"
#include "platform/canvas.h"
#include "ui/app_state.h"
#include "ui/main_view.h"
#include "ui/table_view.h"
#include "ui/window_host.h"

namespace tolvane {

// The background medium's part of the background key. Until a medium is loaded everything is 0
// and false; the media code fills it for every paint.
struct BackgroundMedium {
  bool loaded = false;             // a picture, GIF or video is shown (no custom-theme veil then)
  bool animated = false;           // an animated GIF or a video
  uint64_t mediaRevision = 0;      // grows with every change of the background
  uint64_t videoFrameCounter = 0;  // grows with every new animation frame
  // Draws the medium over the gradient, covering (0, 0, W, H), with its dimming.
  std::function<void(DrawContext&, int32_t W, int32_t H)> draw;
};

// Painters of the faces drawn instead of, or over, the main view. An empty function draws nothing.
struct PanelPainters {
  std::function<void(DrawContext&, AppState&, int32_t W, int32_t H)> settingsPanel;
  std::function<void(DrawContext&, AppState&, int32_t W, int32_t H)> lookupPanel;
  std::function<void(DrawContext&, AppState&, int32_t W, int32_t H)> historyPanel;
  std::function<void(DrawContext&, AppState&, int32_t W, int32_t H)> loadingScreen;
};

struct BackgroundKey {
  int32_t theme = -1;
  uint64_t themeRevision = 0;
  uint64_t mediaRevision = 0;
  uint64_t frameCounter = 0;  // only while an animation plays in the main view, else 0
  bool operator==(const BackgroundKey&) const = default;
};

struct UnderlayKey {
  int32_t theme = -1;
  uint64_t themeRevision = 0;
  uint64_t mediaRevision = 0;
  bool operator==(const UnderlayKey&) const = default;
};

// What one paint reads. clientWidth and clientHeight are device pixels.
struct PaintInputs {
  GraphicsFactory& factory;
  const UiFonts& fonts;
  TextWidthCache& widths;
  AppState& state;
  const MainViewSources& sources;
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  int32_t focusedField = -1;  // the focused TextFieldId, for the panels' text fields
  const BackgroundMedium* medium = nullptr;
  const PanelPainters* panels = nullptr;
};

// The compositor's state between paints; one per window, released at window destruction.
class WindowPaint {
 public:
  // What the last paint did, for tests and the benchmark.
  struct LastPaint {
    bool painted = false;
    bool full = false;
    bool overlay = false;
    bool backgroundComposed = false;
    bool chromeDrawn = false;    // the chrome layer was made again
    int32_t rowsDrawn = 0;       // table rows drawn into the row layer
    int32_t cellsDrawn = 0;      // rows of which only the meter cells were drawn again
    int32_t rowsCopied = 0;      // table rows copied from it unchanged
    bool underlayDrawn = false;  // the main view was drawn into the underlay
    DeviceRect copied;           // the rectangle copied to the window
  };

  // Composes a frame and copies it (the dirty part, or all) to deviceContext. paintRect is the
  // device rectangle to repaint, null for everything.
  void Paint(const PaintInputs& in, uintptr_t deviceContext, const DeviceRect* paintRect);

  // Drops the surfaces (window destruction); the next paint makes them again.
  void Release();

  const LastPaint& lastPaint() const { return last_; }
  bool partialOn() const { return partialOn_; }
  const RectF& partialClip() const { return partialClip_; }
  Surface* frame() { return frame_.get(); }
  Surface* background() { return background_.get(); }
  Surface* underlay() { return underlay_.get(); }
  Surface* chrome() { return chrome_.get(); }
  Surface* rows(int32_t k) { return rows_[k].get(); }

 private:
  bool EnsureSurfaces(GraphicsFactory& factory, int32_t w, int32_t h, AppState& state);
  void ComposeBackgroundLayer(const PaintInputs& in, const BackgroundKey& key, int32_t W, int32_t H);

  void DrawChromeLayer(const PaintInputs& in, const MainViewChromeKey& key, int32_t W, int32_t H);

  class RowCache;
  friend class RowCache;

  std::unique_ptr<Surface> frame_, background_, chrome_, underlay_;
  std::unique_ptr<Surface> rows_[2];  // two row layers: each screen row keeps two looks
  struct KeptRows {
    std::optional<RowLook> look[2];  // the look drawn at this row in rows_[k]
    int32_t newer = -1;              // the slot used last
  };
  std::vector<KeptRows> keptRows_;  // by screen row
  int32_t width_ = 0, height_ = 0;
  std::optional<BackgroundKey> backgroundKey_;  // empty while the layer is invalid
  std::optional<MainViewChromeKey> chromeKey_;  // empty while the layer is invalid
  std::optional<UnderlayKey> underlayKey_;
  bool lastOverlay_ = false;
  bool partialOn_ = false;
  RectF partialClip_;
  LastPaint last_;
};

// The gradient of the active palette, the medium when one is loaded, and with no medium on a custom
// theme (slots 5 to 9) a veil that calms the gradient behind the cards.
void ComposeBackground(DrawContext& dc, int32_t theme, const BackgroundMedium* medium, int32_t W, int32_t H);

// The WM_PAINT entry: paint.Paint(in, deviceContext, paintRect). parts: the rectangles of the
// update region when the window knows them (paintRect is their bounding box). Two far-apart
// invalidations, such as the once-a-second stat cards and status line, or new samples' table rows and
// call card lines, make a bounding box with much between them that did not change, and text between
// them would be drawn again for nothing: unless the parts cover nine tenths of it, each is painted on
// its own.
void PaintWindow(WindowPaint& paint, const PaintInputs& in, uintptr_t deviceContext, const DeviceRect* paintRect,
                 const std::vector<DeviceRect>& parts = {});

}  // namespace tolvane
