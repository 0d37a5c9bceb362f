// The compositor on recording surfaces: the first paint composes the background and copies the
// whole frame once; a partial paint clips and culls to the dirty rectangle and copies only it; an
// open panel is drawn over the reused underlay; a size or theme change redraws what it must.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "ui/paint_window.h"
#include "view_fixture.h"

namespace tolvane {
namespace {

constexpr uintptr_t kDevice = 0x5150;

class PaintWindowTest : public ViewFixture {
 public:
  PaintWindowTest() {
    state.splashActive = false;
    panels.settingsPanel = [this](DrawContext& dc, AppState&, int32_t W, int32_t H) {
      ++settingsPaints;
      FillRect(dc, Brush::Solid(0xFF123456u),
               RectF{100, 100, static_cast<float>(W - 200), static_cast<float>(H - 200)});
    };
    panels.lookupPanel = [this](DrawContext&, AppState&, int32_t, int32_t) { ++lookupPaints; };
    panels.loadingScreen = [this](DrawContext&, AppState&, int32_t, int32_t) { ++splashPaints; };
  }

  void PaintOnce(const DeviceRect* rect, int32_t w = 1360, int32_t h = 880) {
    const MainViewSources src = Sources();
    PaintInputs in{graphics, fonts, widths, state, src, w, h, -1, nullptr, nullptr};
    in.panels = &panels;
    PaintWindow(paint, in, kDevice, rect);
  }
  RecordingSurface& Frame() { return *dynamic_cast<RecordingSurface*>(paint.frame()); }
  RecordingSurface& Background() { return *dynamic_cast<RecordingSurface*>(paint.background()); }
  RecordingSurface& Chrome() { return *dynamic_cast<RecordingSurface*>(paint.chrome()); }
  RecordingSurface& Rows(int32_t k) { return *dynamic_cast<RecordingSurface*>(paint.rows(k)); }
  // The texts drawn on either row layer by the last paint that drew there.
  bool RowsDrew(std::wstring_view text) {
    return Rows(0).canvas().FindText(text) != nullptr || Rows(1).canvas().FindText(text) != nullptr;
  }
  RecordingSurface& Underlay() { return *dynamic_cast<RecordingSurface*>(paint.underlay()); }
  // The copies to the window made so far.
  std::vector<RecordingSurface::Copy> DeviceCopies() {
    std::vector<RecordingSurface::Copy> out;
    for (const auto& c : Frame().copies())
      if (c.target == nullptr) out.push_back(c);
    return out;
  }
  bool FrameCanvasDrew(std::wstring_view text) { return Frame().canvas().FindText(text) != nullptr; }

  WindowPaint paint;
  PanelPainters panels;
  int settingsPaints = 0, lookupPaints = 0, splashPaints = 0;
};

TEST_F(PaintWindowTest, FirstPaintComposesBackgroundAndCopiesTheWholeFrameOnce) {
  PaintOnce(nullptr);
  EXPECT_EQ(graphics.surfacesMade, 5);  // the underlay waits for a panel
  ASSERT_NE(paint.frame(), nullptr);
  EXPECT_EQ(paint.frame()->Width(), 1360);
  EXPECT_TRUE(paint.lastPaint().full);
  EXPECT_TRUE(paint.lastPaint().backgroundComposed);
  EXPECT_FALSE(state.fullRepaint);
  EXPECT_TRUE(paint.lastPaint().chromeDrawn);
  EXPECT_NE(Chrome().canvas().FindText(L"DISCORD CALL IPs"), nullptr);
  EXPECT_EQ(Frame().canvas().FindText(L"DISCORD CALL IPs"), nullptr);  // the frame takes the chrome's copy
  const auto copies = DeviceCopies();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].device, kDevice);
  EXPECT_EQ(copies[0].w, 1360);
  EXPECT_EQ(copies[0].h, 880);
  EXPECT_TRUE(FrameCanvasDrew(L"Paste"));
  // The background: the palette's gradient over the whole client area plus one unit.
  const auto bg = Background().canvas().OfKind(CallKind::FillRect);
  ASSERT_FALSE(bg.empty());
  EXPECT_FLOAT_EQ(bg[0]->rect.w, 1361);
  EXPECT_EQ(bg[0]->brush.gradient, palette().gradient.size() >= 2);
}

TEST_F(PaintWindowTest, PartialPaintClipsCullsAndCopiesOnlyTheDirtyRectangle) {
  PaintOnce(nullptr);
  const DeviceRect rect{300, 400, 1400, 430};  // reaches past the right edge
  PaintOnce(&rect);
  EXPECT_FALSE(paint.lastPaint().full);
  EXPECT_FALSE(paint.lastPaint().backgroundComposed);
  EXPECT_FALSE(paint.lastPaint().chromeDrawn);
  const DeviceRect dirty{300, 400, 1360, 430};
  EXPECT_EQ(paint.lastPaint().copied, dirty);
  const auto copies = DeviceCopies();
  ASSERT_EQ(copies.size(), 2u);  // one per paint
  EXPECT_EQ(copies[1].x, 300);
  EXPECT_EQ(copies[1].w, 1060);
  EXPECT_EQ(copies[1].h, 30);
  // The chrome layer copied into the frame for the dirty part only.
  const auto& bgCopies = Chrome().copies();
  ASSERT_FALSE(bgCopies.empty());
  EXPECT_EQ(bgCopies.back().y, 400);
  EXPECT_EQ(bgCopies.back().h, 30);

  const RecordingCanvas& c = Frame().canvas();
  ASSERT_FALSE(c.calls().empty());
  const CanvasCall& clip = c.calls().front().kind == CallKind::WorldScale ? c.calls()[1] : c.calls().front();
  ASSERT_EQ(clip.kind, CallKind::PushClip);
  EXPECT_FLOAT_EQ(clip.rect.y, 400);
  EXPECT_FLOAT_EQ(clip.rect.w, 1060);
  EXPECT_EQ(c.ClipDepth(), 0);
  // Nothing drawn lies outside the dirty rectangle grown by 3 (texts at a point: a 2000 x 40 box).
  for (const CanvasCall& call : c.calls()) {
    if (call.kind == CallKind::PushClip || call.kind == CallKind::PopClip || call.kind == CallKind::WorldScale)
      continue;
    RectF r = call.rect;
    if (call.kind == CallKind::TextAt) r = RectF{call.a.x, call.a.y, 2000, 40};
    const bool meets = r.x <= 1363 && r.Right() >= 297 && r.y <= 433 && r.Bottom() >= 397;
    EXPECT_TRUE(meets) << static_cast<int>(call.kind) << " at " << r.x << "," << r.y << " "
                       << std::string(call.text.begin(), call.text.end());
  }
  EXPECT_FALSE(c.Texts().empty());
  EXPECT_FALSE(paint.partialOn());  // culling is off again after the paint
}

TEST_F(PaintWindowTest, FarApartPartsOfTheUpdateRegionArePaintedEachOnItsOwn) {
  PaintOnce(nullptr);
  auto paintParts = [this](const DeviceRect& box, const std::vector<DeviceRect>& parts) {
    const MainViewSources src = Sources();
    const PaintInputs in{graphics, fonts, widths, state, src, 1360, 880, -1, nullptr, &panels};
    PaintWindow(paint, in, kDevice, &box, parts);
  };
  // The stat cards and the status line, invalidated together once a second.
  const std::vector<DeviceRect> parts = {{0, 225, 1360, 293}, {0, 857, 1360, 880}};
  size_t before = DeviceCopies().size();
  paintParts(DeviceRect{0, 225, 1360, 880}, parts);
  auto copies = DeviceCopies();
  ASSERT_EQ(copies.size(), before + 2);
  EXPECT_EQ(copies[before].y, 225);
  EXPECT_EQ(copies[before].h, 68);
  EXPECT_EQ(copies[before + 1].y, 857);
  EXPECT_FALSE(FrameCanvasDrew(L"Paste"));  // the toolbar between the parts is not painted

  // Parts that fill most of their box: one paint of the box.
  before = DeviceCopies().size();
  paintParts(DeviceRect{0, 225, 1360, 400}, {{0, 225, 1360, 300}, {0, 300, 1360, 400}});
  copies = DeviceCopies();
  ASSERT_EQ(copies.size(), before + 1);
  EXPECT_EQ(copies[before].h, 175);

  // A full repaint pending: the first part's paint covers everything, the second is not painted.
  state.fullRepaint = true;
  before = DeviceCopies().size();
  paintParts(DeviceRect{0, 225, 1360, 880}, parts);
  ASSERT_EQ(DeviceCopies().size(), before + 1);
  EXPECT_TRUE(paint.lastPaint().full);
}

TEST_F(PaintWindowTest, PartialClipIsInLogicalPixels) {
  state.uiScale = 1.5f;
  PaintOnce(nullptr, 2040, 1320);
  const DeviceRect rect{300, 600, 900, 645};
  PaintOnce(&rect, 2040, 1320);
  EXPECT_FLOAT_EQ(paint.partialClip().x, 200);
  EXPECT_FLOAT_EQ(paint.partialClip().y, 400);
  EXPECT_FLOAT_EQ(paint.partialClip().w, 400);
  EXPECT_FLOAT_EQ(paint.partialClip().h, 30);
  EXPECT_FLOAT_EQ(Frame().canvas().WorldScale(), 1.5f);
}

TEST_F(PaintWindowTest, FullRepaintWhenAskedOrWhenTheRectangleCoversEverything) {
  PaintOnce(nullptr);
  state.fullRepaint = true;
  const DeviceRect small{10, 10, 20, 20};
  PaintOnce(&small);
  EXPECT_TRUE(paint.lastPaint().full);
  EXPECT_EQ(paint.lastPaint().copied, (DeviceRect{0, 0, 1360, 880}));
  const DeviceRect everything{-5, -5, 5000, 5000};
  PaintOnce(&everything);
  EXPECT_TRUE(paint.lastPaint().full);
  const DeviceRect outside{2000, 10, 2100, 20};
  const size_t before = DeviceCopies().size();
  PaintOnce(&outside);
  EXPECT_FALSE(paint.lastPaint().painted);
  EXPECT_EQ(DeviceCopies().size(), before);
}

TEST_F(PaintWindowTest, OpenPanelIsDrawnOverTheReusedUnderlay) {
  PaintOnce(nullptr);
  state.settingsOpen = true;
  const DeviceRect rect{10, 10, 20, 20};
  PaintOnce(&rect);  // a panel paint is always whole
  EXPECT_TRUE(paint.lastPaint().overlay);
  EXPECT_TRUE(paint.lastPaint().underlayDrawn);
  EXPECT_EQ(settingsPaints, 1);
  EXPECT_EQ(paint.lastPaint().copied, (DeviceRect{0, 0, 1360, 880}));

  // Moving the mouse over the panel: the main view is not drawn again.
  state.mouseX = 700;
  PaintOnce(nullptr);
  EXPECT_FALSE(paint.lastPaint().underlayDrawn);
  EXPECT_EQ(settingsPaints, 2);
  EXPECT_FALSE(FrameCanvasDrew(L"Paste"));
  ASSERT_FALSE(Underlay().copies().empty());
  EXPECT_EQ(Underlay().copies().back().target, paint.frame());

  // A toast shows above the panel.
  feedback.ShowToast(L"Settings reset");
  PaintOnce(nullptr);
  EXPECT_TRUE(FrameCanvasDrew(L"Settings reset"));

  // The lookup panel instead, over the same underlay.
  state.settingsOpen = false;
  lookupOpen = true;
  PaintOnce(nullptr);
  EXPECT_EQ(lookupPaints, 1);
  EXPECT_FALSE(paint.lastPaint().underlayDrawn);

  // Closing: the next paint is full even with a small rectangle, and the underlay is dropped.
  lookupOpen = false;
  PaintOnce(&rect);
  EXPECT_TRUE(paint.lastPaint().full);
  EXPECT_TRUE(FrameCanvasDrew(L"Paste"));
  EXPECT_EQ(paint.underlay(), nullptr);  // its pixels are not kept at rest
  state.settingsOpen = true;
  PaintOnce(nullptr);
  EXPECT_TRUE(paint.lastPaint().underlayDrawn);
}

TEST_F(PaintWindowTest, ThemeChangeRecomposesTheBackgroundAndTheUnderlay) {
  state.settingsOpen = true;
  PaintOnce(nullptr);
  PaintOnce(nullptr);
  EXPECT_FALSE(paint.lastPaint().backgroundComposed);
  settings.theme = 2;
  PaintOnce(nullptr);
  EXPECT_TRUE(paint.lastPaint().backgroundComposed);
  EXPECT_TRUE(paint.lastPaint().chromeDrawn);
  EXPECT_TRUE(paint.lastPaint().underlayDrawn);
  themes.DerivePalette(0);  // a custom palette edited: the revision moves
  PaintOnce(nullptr);
  EXPECT_TRUE(paint.lastPaint().backgroundComposed);
}

TEST_F(PaintWindowTest, CustomThemeGetsTheVeilUnlessAMediumIsShown) {
  settings.theme = 6;
  PaintOnce(nullptr);
  const uint32_t veil = palette().dark ? 0x58000000u : 0x46FFFFFFu;
  auto veils = Background().canvas().FillsWithColour(veil);
  ASSERT_EQ(veils.size(), 1u);
  EXPECT_FLOAT_EQ(veils[0]->rect.h, 881);

  BackgroundMedium medium;
  medium.loaded = true;
  medium.mediaRevision = 1;
  int mediumDraws = 0;
  medium.draw = [&](DrawContext&, int32_t, int32_t) { ++mediumDraws; };
  const MainViewSources src = Sources();
  PaintInputs in{graphics, fonts, widths, state, src, 1360, 880, -1, nullptr, nullptr};
  in.medium = &medium;
  PaintWindow(paint, in, kDevice, nullptr);
  EXPECT_TRUE(paint.lastPaint().backgroundComposed);
  EXPECT_EQ(mediumDraws, 1);
  EXPECT_TRUE(Background().canvas().FillsWithColour(veil).empty());

  // Animation frames join the background key only while the main view shows them.
  medium.animated = true;
  medium.videoFrameCounter = 7;
  PaintWindow(paint, in, kDevice, nullptr);
  EXPECT_EQ(mediumDraws, 2);
  state.settingsOpen = true;
  medium.videoFrameCounter = 8;
  PaintWindow(paint, in, kDevice, nullptr);
  PaintWindow(paint, in, kDevice, nullptr);
  EXPECT_EQ(mediumDraws, 3);  // opening the panel froze the background at frame 0 of the key
  settings.bgMotion = false;
  state.settingsOpen = false;
  medium.videoFrameCounter = 9;
  PaintWindow(paint, in, kDevice, nullptr);
  EXPECT_EQ(mediumDraws, 3);
}

TEST_F(PaintWindowTest, ChromeIsDrawnAgainOnlyWhenWhatItShowsChanges) {
  PaintOnce(nullptr);
  EXPECT_TRUE(paint.lastPaint().chromeDrawn);
  state.mouseX = 500;
  state.mouseY = 320;
  PaintOnce(nullptr);
  EXPECT_FALSE(paint.lastPaint().chromeDrawn);  // hover, time and rows are drawn over the chrome

  const struct {
    const char* what;
    std::function<void()> change;
  } changes[] = {
      {"a toolbar toggle", [this] { settings.showLan = true; }},
      {"the category filter", [this] { inputs.categoryFilter = 3; }},
      {"the protocol filter", [this] { inputs.protocolFilter = 2; }},
      {"the number of call cards", [this] { calls.RebuildCallList({CallRow(L"104.16.0.1", 50)}); }},
      {"the theme", [this] { settings.theme = 1; }},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    c.change();
    PaintOnce(nullptr);
    EXPECT_TRUE(paint.lastPaint().chromeDrawn);
    PaintOnce(nullptr);
    EXPECT_FALSE(paint.lastPaint().chromeDrawn);
  }
  // The chrome now shows the toggle on and the one card's frame.
  EXPECT_EQ(Chrome().canvas().FindText(L"LAN")->argb, palette().text);
  bool frame = false;
  for (const CanvasCall* c : Chrome().canvas().FillsWithColour(WithAlpha(palette().text, 0x18)))
    frame = frame || (c->rect.x == 40 && c->rect.w == 380 && c->rect.h == 100);
  EXPECT_TRUE(frame);
}

TEST_F(PaintWindowTest, HoveredCallCardIsBrightenedOverTheChrome) {
  calls.RebuildCallList({CallRow(L"104.16.0.1", 50)});
  PaintOnce(nullptr);
  auto overlays = [this] {
    size_t n = 0;
    for (const CanvasCall* c : Frame().canvas().FillsWithColour(WithAlpha(palette().text, 0x0F)))
      n += c->rect.x == 40 && c->rect.w == 380 ? 1 : 0;
    return n;
  };
  EXPECT_EQ(overlays(), 0u);
  state.mouseX = 100;
  state.mouseY = 150;  // inside the card, not on a button
  PaintOnce(nullptr);
  EXPECT_EQ(overlays(), 1u);
  // Alpha 18 under 0F composes to 26 within half a step: 1 - (1 - 24/255)(1 - 15/255) = 37.6 / 255.
  const double composed = 255.0 * (1 - (1 - 0x18 / 255.0) * (1 - 0x0F / 255.0));
  EXPECT_NEAR(composed, 0x26, 0.5);
}

TEST_F(PaintWindowTest, TableRowsAreDrawnAgainOnlyWhenTheyLookDifferent) {
  settings.callOnly = false;
  RowList rows;
  for (int32_t i = 0; i < 4; ++i) {
    rows.push_back(TableRow(L"app" + std::to_wstring(i) + L".exe", L"142.250.80." + std::to_wstring(i + 1), 0));
    book.RecordSample(rows.back().remoteAddress, 20 + i);
    book.RecordSample(rows.back().remoteAddress, 30 + i);
  }
  published.rows = rows;
  published.snapshotCounter.fetch_add(1);
  view.RebuildView(inputs);
  ASSERT_EQ(view.ViewRows().size(), 4u);

  PaintOnce(nullptr);
  EXPECT_EQ(paint.lastPaint().rowsDrawn, 4);
  EXPECT_TRUE(RowsDrew(L"app3.exe"));  // drawn on a row layer
  EXPECT_EQ(Frame().canvas().FindText(L"app3.exe"), nullptr);

  state.mouseX = 600;  // elsewhere: nothing of the rows changes
  state.mouseY = 320;
  PaintOnce(nullptr);
  EXPECT_EQ(paint.lastPaint().rowsDrawn, 0);
  EXPECT_EQ(paint.lastPaint().rowsCopied, 4);

  state.mouseY = 372 + 28 + 5;  // hover enters the second row
  PaintOnce(nullptr);
  EXPECT_EQ(paint.lastPaint().rowsDrawn, 1);
  EXPECT_TRUE(RowsDrew(L"app1.exe"));
  state.mouseY = 372 + 5;  // moves to the first: the second row's plain look is still kept
  PaintOnce(nullptr);
  EXPECT_EQ(paint.lastPaint().rowsDrawn, 1);
  state.mouseY = 372 + 28 + 5;  // and back: both looks are kept
  PaintOnce(nullptr);
  EXPECT_EQ(paint.lastPaint().rowsDrawn, 0);
  EXPECT_EQ(paint.lastPaint().rowsCopied, 4);

  book.RecordSample(L"142.250.80.3", 99);  // a new sample changes the third row's sparkline
  PaintOnce(nullptr);
  EXPECT_EQ(paint.lastPaint().rowsDrawn, 0);
  EXPECT_EQ(paint.lastPaint().cellsDrawn, 1);  // only its latency cells: not its texts
  EXPECT_FALSE(RowsDrew(L"app2.exe"));
  const auto sparkline = [this](int32_t k) {
    const auto& calls = Rows(k).canvas().calls();
    return std::any_of(calls.begin(), calls.end(), [](const CanvasCall& c) { return c.kind == CallKind::StrokePath; });
  };
  EXPECT_TRUE(sparkline(0) || sparkline(1));

  // A partial repaint places only the rows it meets, and copies only within its rectangle.
  book.RecordSample(L"142.250.80.4", 99);
  const DeviceRect rect{300, 400 + 28, 1360, 430 + 28};  // the third and fourth rows
  const size_t before[2] = {Rows(0).copies().size(), Rows(1).copies().size()};
  PaintOnce(&rect);
  EXPECT_EQ(paint.lastPaint().cellsDrawn + paint.lastPaint().rowsCopied, 2);
  EXPECT_EQ(paint.lastPaint().cellsDrawn, 1);
  size_t toFrame = 0;
  for (int32_t k = 0; k < 2; ++k) {
    for (size_t i = before[k]; i < Rows(k).copies().size(); ++i) {
      const auto& c = Rows(k).copies()[i];
      if (c.target != paint.frame()) continue;
      ++toFrame;
      EXPECT_GE(c.x, 300);
      EXPECT_GE(c.y, 428);
      EXPECT_LE(c.y + c.h, 458);
    }
  }
  EXPECT_EQ(toFrame, 2u);

  settings.enableUdp = false;  // a new chrome: every row is drawn over it again
  PaintOnce(nullptr);
  EXPECT_EQ(paint.lastPaint().rowsDrawn, 4);
}

TEST_F(PaintWindowTest, SizeChangeRecreatesTheSurfacesAndPaintsEverything) {
  PaintOnce(nullptr);
  const DeviceRect rect{10, 10, 20, 20};
  PaintOnce(&rect, 1300, 800);
  EXPECT_EQ(graphics.surfacesMade, 10);
  EXPECT_EQ(paint.frame()->Width(), 1300);
  EXPECT_TRUE(paint.lastPaint().full);
  EXPECT_TRUE(paint.lastPaint().backgroundComposed);
  // A minimized window paints nothing and keeps its surfaces.
  PaintOnce(nullptr, 0, 0);
  EXPECT_FALSE(paint.lastPaint().painted);
  EXPECT_EQ(graphics.surfacesMade, 10);
}

TEST_F(PaintWindowTest, LoadingScreenReplacesTheMainViewAndAlwaysPaintsWhole) {
  PaintOnce(nullptr);
  state.splashActive = true;
  state.settingsOpen = true;  // the loading screen wins over a panel
  const DeviceRect rect{10, 10, 20, 20};
  PaintOnce(&rect);
  EXPECT_EQ(splashPaints, 1);
  EXPECT_EQ(settingsPaints, 0);
  EXPECT_TRUE(paint.lastPaint().full);
  EXPECT_FALSE(FrameCanvasDrew(L"Paste"));
  ASSERT_FALSE(Background().copies().empty());  // the bare background under the loading screen
  EXPECT_EQ(Background().copies().back().target, paint.frame());
}

TEST_F(PaintWindowTest, NoSurfacesNoPaint) {
  graphics.failSurfaces = true;
  PaintOnce(nullptr);
  EXPECT_FALSE(paint.lastPaint().painted);
  EXPECT_EQ(paint.frame(), nullptr);
}

}  // namespace
}  // namespace tolvane
