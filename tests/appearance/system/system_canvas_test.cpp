// The system's canvas drawing for real (GDI+ under Wine, Cairo and Pango on Linux): pixels probed on
// surfaces. Wine's GDI+ partly ignores anti-aliasing, so probes sit a few pixels away from edges and
// colours are compared with a tolerance; what is asserted is what a user would see (a corner cut
// off, the middle of a gradient, text that is present in every font).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "appearance/draw.h"
#include "fakes/recording_canvas.h"
#include "appearance/system/system_graphics.h"
#include "platform/canvas.h"

namespace tolvane {
namespace {

int Red(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
int Green(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(uint32_t p) { return static_cast<int>(p & 0xFF); }

::testing::AssertionResult Near(uint32_t got, uint32_t want, int tolerance = 24) {
  if (std::abs(Red(got) - Red(want)) <= tolerance && std::abs(Green(got) - Green(want)) <= tolerance &&
      std::abs(Blue(got) - Blue(want)) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  char text[64];
  std::snprintf(text, sizeof text, "pixel %08X, expected about %08X", got, want);
  return ::testing::AssertionFailure() << text;
}

class SystemCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartSystemGraphics()); }
  void TearDown() override {
    fonts_.DestroyUiFonts();
    surfaces_.clear();
    StopSystemGraphics();
  }

  // A surface painted in background.
  Surface& NewSurface(int32_t w, int32_t h, uint32_t background) {
    surfaces_.push_back(SystemGraphics().CreateSurface(w, h));
    EXPECT_NE(surfaces_.back(), nullptr);
    Canvas& c = surfaces_.back()->NewCanvas();
    c.FillRectangle(Brush::Solid(background), RectF{0, 0, static_cast<float>(w), static_cast<float>(h)});
    return *surfaces_.back();
  }

  static uint32_t At(const std::vector<uint32_t>& pixels, int32_t width, int32_t x, int32_t y) {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }

  UiFonts fonts_;
  std::vector<std::unique_ptr<Surface>> surfaces_;
};

TEST_F(SystemCanvasTest, FilledRoundedRectangleCutsItsCorners) {
  Surface& s = NewSurface(100, 100, 0xFFFFFFFF);
  Canvas& c = s.NewCanvas();
  ThemePalette palette;
  TextWidthCache widths;
  DrawContext dc(c, palette, fonts_, widths);
  FillRoundRect(dc, RectF{10, 10, 80, 60}, 20, 0xFFC00000);
  const std::vector<uint32_t> px = s.ReadPixels();
  struct Probe {
    int x, y;
    uint32_t want;
    const char* what;
  };
  const Probe probes[] = {
      {50, 40, 0xFFC00000, "centre"},
      {13, 40, 0xFFC00000, "middle of the left edge"},
      {50, 67, 0xFFC00000, "middle of the bottom edge"},
      {12, 12, 0xFFFFFFFF, "inside the box, outside the top-left arc"},
      {87, 67, 0xFFFFFFFF, "inside the box, outside the bottom-right arc"},
      {13, 13, 0xFFFFFFFF, "still outside the arc (radius 20 about (30, 30))"},
      {26, 26, 0xFFC00000, "inside the arc"},
      {5, 5, 0xFFFFFFFF, "outside the box"},
  };
  for (const Probe& p : probes) EXPECT_TRUE(Near(At(px, 100, p.x, p.y), p.want)) << p.what;
  EXPECT_EQ(c.LastStatus(), 0);
}

TEST_F(SystemCanvasTest, ThreeColourGradientHasTheMiddleColourInTheMiddle) {
  struct Case {
    int32_t direction;
    int32_t w, h;
    int mx, my;  // the middle
    int fx, fy;  // near the far end
  };
  const Case cases[] = {{0, 201, 20, 100, 10, 198, 10}, {2, 20, 201, 10, 100, 10, 198}};
  for (const Case& k : cases) {
    Surface& s = NewSurface(k.w, k.h, 0xFF000000);
    Canvas& c = s.NewCanvas();
    ThemePalette palette;
    TextWidthCache widths;
    DrawContext dc(c, palette, fonts_, widths);
    GradientRect(dc, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF}, k.direction,
                 RectF{0, 0, static_cast<float>(k.w), static_cast<float>(k.h)});
    const std::vector<uint32_t> px = s.ReadPixels();
    EXPECT_TRUE(Near(At(px, k.w, k.mx, k.my), 0xFF00FF00, 16)) << "middle, direction " << k.direction;
    EXPECT_TRUE(Near(At(px, k.w, 1, 1), 0xFFFF0000, 16)) << "start, direction " << k.direction;
    EXPECT_TRUE(Near(At(px, k.w, k.fx, k.fy), 0xFF0000FF, 16)) << "end, direction " << k.direction;
    EXPECT_EQ(c.LastStatus(), 0);
  }
}

TEST_F(SystemCanvasTest, APenWithAGradientBrushChangesColourAlongTheLine) {
  Surface& s = NewSurface(200, 20, 0xFF000000);
  Canvas& c = s.NewCanvas();
  Pen pen{0xFFFFFFFF, 6, true};
  pen.brush = Brush::Linear(PointF{0, 0}, PointF{200, 0}, {0xFFFF0000, 0xFF0000FF}, {0, 1});
  c.StrokePath(pen, [] {
    Path p;
    p.AddLines({{10, 10}, {100, 10}, {190, 10}});
    return p;
  }());
  const std::vector<uint32_t> px = s.ReadPixels();
  EXPECT_TRUE(Near(At(px, 200, 14, 10), 0xFFF00010, 28)) << "red end";
  EXPECT_TRUE(Near(At(px, 200, 186, 10), 0xFF1000F0, 28)) << "blue end";
  EXPECT_TRUE(Near(At(px, 200, 100, 10), 0xFF800080, 28)) << "middle";
  EXPECT_TRUE(Near(At(px, 200, 100, 2), 0xFF000000, 8)) << "off the line";
  EXPECT_EQ(c.LastStatus(), 0);
}

TEST_F(SystemCanvasTest, AGradientCutToTheClipMatchesTheWholeGradient) {
  // The fill is cut to the clip's bounds for speed; the pixels inside the clip must not change.
  const std::vector<uint32_t> colours = {0xFF102030, 0xFFE0A040, 0xFF30C0F0};
  Surface& whole = NewSurface(200, 120, 0xFF000000);
  Surface& clipped = NewSurface(200, 120, 0xFF000000);
  ThemePalette palette;
  TextWidthCache widths;
  {
    Canvas& c = whole.NewCanvas();
    DrawContext dc(c, palette, fonts_, widths);
    GradientRect(dc, colours, 1, RectF{0, 0, 200, 120});
  }
  {
    Canvas& c = clipped.NewCanvas();
    c.PushClip(RectF{50, 40, 60, 30});
    DrawContext dc(c, palette, fonts_, widths);
    GradientRect(dc, colours, 1, RectF{0, 0, 200, 120});
    c.PopClip();
  }
  const std::vector<uint32_t> a = whole.ReadPixels(), b = clipped.ReadPixels();
  for (int y = 40; y < 70; y += 3) {
    for (int x = 50; x < 110; x += 3) EXPECT_TRUE(Near(At(b, 200, x, y), At(a, 200, x, y), 2)) << x << "," << y;
  }
  EXPECT_TRUE(Near(At(b, 200, 20, 20), 0xFF000000, 0)) << "outside the clip stays untouched";
  EXPECT_TRUE(Near(At(b, 200, 150, 100), 0xFF000000, 0)) << "outside the clip stays untouched";
}

TEST_F(SystemCanvasTest, TextInEveryUiFontPutsPixelsOnTheSurface) {
  ASSERT_TRUE(fonts_.CreateUiFonts(SystemGraphics()));
  for (int32_t i = 0; i < kUiFontCount; ++i) {
    const auto name = static_cast<FontName>(i);
    ASSERT_NE(fonts_.Get(name), nullptr) << i;
    EXPECT_FALSE(fonts_[name].Family().empty()) << i;
    for (int mode = 0; mode < 2; ++mode) {
      Surface& s = NewSurface(320, 60, 0xFF000000);
      Canvas& c = s.NewCanvas();
      ThemePalette palette;
      TextWidthCache widths;
      DrawContext dc(c, palette, fonts_, widths);
      if (mode == 0) {
        TextAt(dc, L"Tolvane 104.3", name, 10, 10, 0xFFFFFFFF);
      } else {
        TextInRect(dc, L"Tolvane 104.3", name, RectF{0, 0, 320, 60}, 0xFFFFFFFF, TextAlign::Center, TextAlign::Center);
      }
      const std::vector<uint32_t> px = s.ReadPixels();
      int lit = 0;
      for (uint32_t p : px) lit += Red(p) + Green(p) + Blue(p) > 300 ? 1 : 0;
      EXPECT_GT(lit, 30) << "font " << i << " ("
                         << std::string(fonts_[name].Family().begin(), fonts_[name].Family().end()) << "), mode "
                         << mode;
      EXPECT_EQ(c.LastStatus(), 0) << i;
    }
  }
}

TEST_F(SystemCanvasTest, MeasureTextGrowsWithTheTextAndTrimsInABox) {
  ASSERT_TRUE(fonts_.CreateUiFonts(SystemGraphics()));
  Surface& s = NewSurface(200, 40, 0xFF000000);
  Canvas& c = s.NewCanvas();
  ThemePalette palette;
  TextWidthCache widths;
  DrawContext dc(c, palette, fonts_, widths);
  const int32_t short_ = MeasureText(dc, L"104", FontBody);
  const int32_t long_ = MeasureText(dc, L"104.3.108.20", FontBody);
  EXPECT_GT(short_, 5);
  EXPECT_GT(long_, 2 * short_);
  EXPECT_GT(MeasureText(dc, L"104", FontHuge), short_);

  // A long line in a narrow box stays inside it (trimmed, not wrapped onto a second line).
  TextInRect(dc, L"a very long line that cannot fit in the box at all", FontBody, RectF{10, 10, 60, 20}, 0xFFFFFFFF,
             TextAlign::Near, TextAlign::Center);
  const std::vector<uint32_t> px = s.ReadPixels();
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (x >= 10 && x < 71 && y >= 10 && y < 31) continue;
      ASSERT_TRUE(Near(At(px, 200, x, y), 0xFF000000, 0)) << x << "," << y;
    }
  }
}

TEST_F(SystemCanvasTest, ClipScaleImageAndCopy) {
  Surface& s = NewSurface(60, 60, 0xFF000000);
  Canvas& c = s.NewCanvas();
  c.SetWorldScale(2);
  c.PushClip(RectF{0, 0, 10, 30});  // device 0..20 x 0..60
  c.FillRectangle(Brush::Solid(0xFF00FF00), RectF{0, 0, 30, 30});
  c.PopClip();
  c.PopClip();                                                     // without a push: nothing
  c.FillRectangle(Brush::Solid(0xFF0000FF), RectF{20, 20, 5, 5});  // device 40..50
  auto image = SystemGraphics().CreateImage(2, 1, {0xFFFF0000, 0xFFFF0000});
  ASSERT_NE(image, nullptr);
  c.DrawImage(*image, RectF{0, 25, 10, 5});  // device 0..20 x 50..60
  // Drawn from the caller's premultiplied pixels: half-transparent red over black is dark red.
  const std::vector<uint32_t> half = {0x80800000, 0x80800000};
  auto wrapped = SystemGraphics().WrapPremultipliedArgb(2, 1, half.data());
  ASSERT_NE(wrapped, nullptr);
  c.DrawImage(*wrapped, RectF{10, 25, 10, 5});  // device 20..40 x 50..60
  std::vector<uint32_t> px = s.ReadPixels();
  EXPECT_TRUE(Near(At(px, 60, 30, 55), 0xFF800000)) << "premultiplied image";
  EXPECT_TRUE(Near(At(px, 60, 10, 10), 0xFF00FF00)) << "inside the clip";
  EXPECT_TRUE(Near(At(px, 60, 30, 10), 0xFF000000)) << "outside the clip";
  EXPECT_TRUE(Near(At(px, 60, 45, 45), 0xFF0000FF)) << "scaled by 2 after the pop";
  EXPECT_TRUE(Near(At(px, 60, 10, 55), 0xFFFF0000)) << "image stretched";
  EXPECT_EQ(c.LastStatus(), 0);

  Surface& target = NewSurface(60, 60, 0xFFFFFFFF);
  s.CopyTo(target, 40, 40, 10, 10);
  px = target.ReadPixels();
  EXPECT_TRUE(Near(At(px, 60, 45, 45), 0xFF0000FF)) << "copied";
  EXPECT_TRUE(Near(At(px, 60, 10, 10), 0xFFFFFFFF)) << "not copied";
}

TEST_F(SystemCanvasTest, AFailingCallIsRecordedAndDrawingGoesOn) {
  Surface& s = NewSurface(40, 40, 0xFF000000);
  Canvas& c = s.NewCanvas();
  RecordingFont foreign(7, L"Nothing", 12, false, false);
  c.DrawTextAt(L"x", foreign, PointF{0, 0}, 0xFFFFFFFF);
  EXPECT_NE(c.LastStatus(), 0);
  c.FillRectangle(Brush::Solid(0xFFFFFFFF), RectF{10, 10, 20, 20});
  EXPECT_TRUE(Near(s.ReadPixels()[20 * 40 + 20], 0xFFFFFFFF));
  EXPECT_EQ(s.NewCanvas().LastStatus(), 0) << "a fresh canvas starts clean";
}

TEST_F(SystemCanvasTest, SurfacesOfNoSizeAreRefused) {
  EXPECT_EQ(SystemGraphics().CreateSurface(0, 10), nullptr);
  EXPECT_EQ(SystemGraphics().CreateSurface(10, -1), nullptr);
  EXPECT_EQ(SystemGraphics().CreateImage(2, 2, {1, 2, 3}), nullptr);
}

}  // namespace
}  // namespace tolvane
