// The drawing primitives and widgets on the recording canvas: rounded-rectangle geometry, gradient
// stops and directions, culling at the margins, the text-width cache, the widgets' colours, hover
// and hit records, and the fonts with their fall-back. Text metrics are the recording canvas's
// (half the font size per character), so every width below is exact.
#include <gtest/gtest.h>

#include "appearance/draw.h"
#include "fakes/recording_canvas.h"

namespace tolvane {
namespace {

class DrawTest : public ::testing::Test {
 protected:
  DrawTest() {
    palette.accent = 0xFF5865F2;
    palette.accent2 = 0xFF9B59B6;
    palette.text = 0xFFE8E8F0;
    palette.textDim = 0xFFA0A0B0;
    palette.textMuted = 0xFF707080;
    palette.border = 0x30FFFFFF;
    fonts.CreateUiFonts(graphics);
    dc.textFields = fields;
  }

  void CullTo(RectF r) {
    dc.cullOn = true;
    dc.cull = r;
  }

  RecordingGraphics graphics;
  RecordingCanvas canvas;
  ThemePalette palette;
  UiFonts fonts;
  TextWidthCache widths;
  HitRect fields[kTextFieldCount];
  DrawContext dc{canvas, palette, fonts, widths};
};

// Path bounds come from sums of floats; a thousandth of a unit is far below what a user sees.
void ExpectRect(const RectF& got, const RectF& want, const char* what) {
  EXPECT_NEAR(got.x, want.x, 1e-3) << what;
  EXPECT_NEAR(got.y, want.y, 1e-3) << what;
  EXPECT_NEAR(got.w, want.w, 1e-3) << what;
  EXPECT_NEAR(got.h, want.h, 1e-3) << what;
}

TEST(RoundRectPathTest, ArcDiameterAndOrder) {
  struct Case {
    const char* what;
    RectF r;
    float radius;
    float d;  // 0: a plain rectangle
  };
  const Case cases[] = {
      {"capsule: radius beyond half the width", {10, 20, 20, 60}, 15, 20},
      {"radius 0 is sharp", {10, 20, 20, 60}, 0, 0},
      {"negative radius is sharp", {0, 0, 50, 50}, -4, 0},
      {"ordinary corners", {0, 0, 100, 50}, 5, 10},
      {"flat bar limited by its height", {5, 5, 200, 12}, 8, 12},
      {"zero height", {5, 5, 200, 0}, 8, 0},
  };
  for (const Case& c : cases) {
    const Path p = RoundRectPath(c.r, c.radius);
    ExpectRect(PathBounds(p), c.r, c.what);
    const auto& s = p.segments();
    ASSERT_FALSE(s.empty()) << c.what;
    EXPECT_EQ(s.back().op, Path::Op::Close) << c.what;
    if (c.d == 0) {
      EXPECT_EQ(s.size(), 4u) << c.what;
      for (size_t i = 0; i + 1 < s.size(); ++i) EXPECT_EQ(s[i].op, Path::Op::Line) << c.what;
      continue;
    }
    ASSERT_EQ(s.size(), 5u) << c.what;
    const float r = c.r.Right() - c.d, b = c.r.Bottom() - c.d;
    const RectF boxes[4] = {{c.r.x, c.r.y, c.d, c.d}, {r, c.r.y, c.d, c.d}, {r, b, c.d, c.d}, {c.r.x, b, c.d, c.d}};
    const float starts[4] = {180, 270, 0, 90};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(s[i].op, Path::Op::Arc) << c.what;
      ExpectRect(s[i].box, boxes[i], c.what);
      EXPECT_FLOAT_EQ(s[i].startDeg, starts[i]) << c.what;
      EXPECT_FLOAT_EQ(s[i].sweepDeg, 90) << c.what;
    }
  }
}

TEST_F(DrawTest, GradientRectStopsAndDirections) {
  const std::vector<uint32_t> three = {0xFF000000, 0xFF808080, 0xFFFFFFFF};
  struct Case {
    int32_t direction;
    PointF end;
  };
  const RectF r{10, 20, 300, 200};
  const Case cases[] = {{0, {310, 20}}, {1, {310, 220}}, {2, {10, 220}}};
  for (const Case& c : cases) {
    canvas.Clear();
    GradientRect(dc, three, c.direction, r);
    ASSERT_EQ(canvas.calls().size(), 1u);
    const CanvasCall& call = canvas.calls()[0];
    EXPECT_EQ(call.kind, CallKind::FillRect);
    ExpectRect(call.rect, r, "filled area");
    ASSERT_TRUE(call.brush.gradient);
    EXPECT_FLOAT_EQ(call.brush.p0.x, 10);
    EXPECT_FLOAT_EQ(call.brush.p0.y, 20);
    EXPECT_FLOAT_EQ(call.brush.p1.x, c.end.x) << c.direction;
    EXPECT_FLOAT_EQ(call.brush.p1.y, c.end.y) << c.direction;
    EXPECT_EQ(call.brush.colours, three);
    // The middle colour sits exactly in the middle; the last stop is exactly 1.
    EXPECT_EQ(call.brush.positions, (std::vector<float>{0.0f, 0.5f, 1.0f}));
  }

  canvas.Clear();
  GradientRect(dc, {1, 2, 3, 4, 5}, 1, r);
  EXPECT_EQ(canvas.calls()[0].brush.positions, (std::vector<float>{0.0f, 0.25f, 0.5f, 0.75f, 1.0f}));
}

TEST_F(DrawTest, GradientRectSolidAndEmpty) {
  struct Case {
    const char* what;
    std::vector<uint32_t> colours;
    RectF r;
    int calls;
    uint32_t solid;
  };
  const Case cases[] = {
      {"no colour", {}, {0, 0, 10, 10}, 1, 0xFF14141E},
      {"one colour", {0xFF336699}, {0, 0, 10, 10}, 1, 0xFF336699},
      {"zero width", {0xFF336699, 0xFF000000}, {0, 0, 0, 10}, 0, 0},
      {"negative height", {0xFF336699}, {0, 0, 10, -1}, 0, 0},
  };
  for (const Case& c : cases) {
    canvas.Clear();
    GradientRect(dc, c.colours, 1, c.r);
    ASSERT_EQ(canvas.calls().size(), static_cast<size_t>(c.calls)) << c.what;
    if (c.calls == 0) continue;
    EXPECT_FALSE(canvas.calls()[0].brush.gradient) << c.what;
    EXPECT_EQ(canvas.calls()[0].argb, c.solid) << c.what;
  }
}

TEST_F(DrawTest, CullingKeepsShapesWithinThreeUnits) {
  CullTo(RectF{100, 100, 200, 100});  // right edge 300, bottom 200
  struct Case {
    const char* what;
    RectF r;
    bool drawn;
  };
  const Case cases[] = {
      {"inside", {150, 150, 10, 10}, true},
      {"3 right of the right edge", {303, 150, 10, 10}, true},
      {"4 right of the right edge", {304, 150, 10, 10}, false},
      {"3 below the bottom", {150, 203, 10, 10}, true},
      {"4 below the bottom", {150, 204, 10, 10}, false},
      {"ends 3 left of the left edge", {87, 150, 10, 10}, true},
      {"ends 4 left of the left edge", {86, 150, 10, 10}, false},
      {"ends 3 above the top", {150, 87, 10, 10}, true},
      {"ends 4 above the top", {150, 86, 10, 10}, false},
      {"spans the whole area", {0, 0, 1000, 1000}, true},
  };
  for (const Case& c : cases) {
    canvas.Clear();
    FillRect(dc, Brush::Solid(1), c.r);
    FillEllipse(dc, Brush::Solid(1), c.r);
    StrokeEllipse(dc, Pen{1, 1, false}, c.r);
    FillRoundRect(dc, c.r, 4, 1);
    StrokeRoundRect(dc, c.r, 4, 1, 1);
    TextInRect(dc, L"x", FontBody, c.r, 1, TextAlign::Near, TextAlign::Near);
    GradientRect(dc, {1, 2}, 1, c.r);
    EXPECT_EQ(canvas.DrawCount(), c.drawn ? 7u : 0u) << c.what;
  }

  dc.cullOn = false;
  canvas.Clear();
  FillRect(dc, Brush::Solid(1), RectF{5000, 5000, 1, 1});
  EXPECT_EQ(canvas.DrawCount(), 1u) << "no culling during a full repaint";
}

TEST_F(DrawTest, TextAtPointIsCulledByItsOwnMeasuredBox) {
  CullTo(RectF{100, 100, 200, 100});
  // "hello" in FontBody (12 px): its measured width plus half the size, 1.5 sizes tall.
  const float w = static_cast<float>(MeasureText(dc, L"hello", FontBody)) + 6;
  struct Case {
    PointF at;
    bool drawn;
  };
  const Case cases[] = {
      {{97 - w, 150}, true}, {{96 - w, 150}, false},  // the box ends at 97, then at 96
      {{150, 79}, true},     {{150, 78}, false},      // its bottom at 97, then at 96
      {{303, 150}, true},    {{304, 150}, false},    {{150, 203}, true}, {{150, 204}, false},
  };
  for (const Case& c : cases) {
    canvas.Clear();
    TextAt(dc, L"hello", FontBody, c.at.x, c.at.y, 0xFFFFFFFF);
    EXPECT_EQ(canvas.Count(CallKind::TextAt), c.drawn ? 1u : 0u) << c.at.x << "," << c.at.y;
  }
}

TEST_F(DrawTest, EmptyTextDrawsNothing) {
  TextAt(dc, L"", FontBody, 0, 0, 1);
  TextInRect(dc, L"", FontBody, RectF{0, 0, 50, 20}, 1, TextAlign::Center, TextAlign::Center);
  EXPECT_EQ(canvas.calls().size(), 0u);
  EXPECT_EQ(MeasureText(dc, L"", FontBody), 0);
}

TEST_F(DrawTest, TextUsesTheNamedFontAndAlignments) {
  TextInRect(dc, L"Refresh", FontButton, RectF{1, 2, 3, 4}, 0xFF010203, TextAlign::Far, TextAlign::Center);
  TextAt(dc, L"Header", FontHeader, 7, 8, 0xFF040506);
  const CanvasCall* inRect = canvas.FindText(L"Refresh");
  ASSERT_NE(inRect, nullptr);
  EXPECT_EQ(inRect->fontId, fonts[FontButton].Identity());
  EXPECT_EQ(inRect->horizontal, TextAlign::Far);
  EXPECT_EQ(inRect->vertical, TextAlign::Center);
  EXPECT_EQ(inRect->argb, 0xFF010203u);
  const CanvasCall* at = canvas.FindText(L"Header");
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(at->kind, CallKind::TextAt);
  EXPECT_FLOAT_EQ(at->fontSize, 16.5f);
  EXPECT_FLOAT_EQ(at->a.x, 7);
}

TEST_F(DrawTest, MeasureTextTruncatesAndCachesPerFont) {
  // FontSmall is 10.5 px: 5.25 per character, so "abc" is 15.75 wide and measures 15.
  EXPECT_EQ(MeasureText(dc, L"abc", FontSmall), 15);
  EXPECT_EQ(MeasureText(dc, L"abc", FontSmall), 15);
  EXPECT_EQ(canvas.MeasureCalls(), 1) << "the second width comes from the cache";
  // Same text, another font: another key.
  EXPECT_EQ(MeasureText(dc, L"abc", FontHuge), 36);
  EXPECT_EQ(canvas.MeasureCalls(), 2);
  EXPECT_EQ(widths.size(), 2u);
}

TEST_F(DrawTest, MeasureCacheKeySeparatesIdentityFromText) {
  // Identity 1 with text "2x" and identity 12 with text "x" would share a key without the "|".
  RecordingFont one(1, L"A", 10, false, false), twelve(12, L"A", 40, false, false);
  EXPECT_EQ(widths.Measure(canvas, L"2x", one), 10);
  EXPECT_EQ(widths.Measure(canvas, L"x", twelve), 20);
  EXPECT_EQ(widths.Measure(canvas, L"2x", one), 10);
  EXPECT_EQ(canvas.MeasureCalls(), 2);
}

TEST_F(DrawTest, MeasureCacheIsEmptiedPast4000Entries) {
  for (int i = 0; i <= 4000; ++i) MeasureText(dc, std::to_wstring(i), FontBody);
  EXPECT_EQ(widths.size(), 4001u) << "4001 entries are kept";
  MeasureText(dc, L"0", FontBody);
  EXPECT_EQ(widths.size(), 4001u) << "a cached text adds nothing";
  const int before = canvas.MeasureCalls();
  MeasureText(dc, L"new", FontBody);
  EXPECT_EQ(widths.size(), 1u) << "emptied, then the new entry stored";
  MeasureText(dc, L"new", FontBody);
  MeasureText(dc, L"17", FontBody);
  EXPECT_EQ(canvas.MeasureCalls(), before + 2) << "old entries are measured again after the wipe";
}

TEST_F(DrawTest, TextFieldShowsCaretPlaceholderOrText) {
  struct Case {
    const char* what;
    bool focused;
    const wchar_t* text;
    uint64_t nowMs;
    const wchar_t* shown;  // null: no text drawn
    bool muted;
  };
  const Case cases[] = {
      {"focused, empty, caret phase", true, L"", 1000, L"|", false},
      {"focused, empty, caret hidden", true, L"", 1500, nullptr, false},
      {"focused, empty, end of the visible phase", true, L"", 1499, L"|", false},
      {"focused with text, caret", true, L"104,3", 2000, L"104,3|", false},
      {"focused with text, no caret", true, L"104,3", 2500, L"104,3", false},
      {"unfocused, empty: placeholder", false, L"", 1000, L"IP or website", true},
      {"unfocused with text", false, L"8.8.8.8", 1000, L"8.8.8.8", false},
  };
  for (const Case& c : cases) {
    canvas.Clear();
    dc.focusedField = c.focused ? 19 : 3;
    dc.nowMs = c.nowMs;
    TextField(dc, 19, 40, 50, 300, c.text, L"IP or website", true);
    EXPECT_EQ(canvas.FindText(L"IP or website") != nullptr, c.shown && c.muted) << c.what;
    const std::vector<std::wstring> texts = canvas.Texts();
    if (!c.shown) {
      EXPECT_TRUE(texts.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(texts.size(), 1u) << c.what;
    const CanvasCall& t = *canvas.FindText(c.shown);
    EXPECT_EQ(t.argb, c.muted ? palette.textMuted : palette.text) << c.what;
    EXPECT_EQ(t.fontId, fonts[FontMono].Identity()) << c.what;
    ExpectRect(t.rect, RectF{52, 50, 276, 32}, c.what);
    EXPECT_EQ(t.horizontal, TextAlign::Near);
    EXPECT_EQ(t.vertical, TextAlign::Center);
  }
}

TEST_F(DrawTest, TextFieldRecordsItselfAndOutlinesFocus) {
  dc.focusedField = 16;
  TextField(dc, 16, 10, 20, 120, L"", L"auto", false);
  EXPECT_TRUE(fields[16].present);
  EXPECT_EQ(fields[16].left, 10);
  EXPECT_EQ(fields[16].top, 20);
  EXPECT_EQ(fields[16].right, 130);
  EXPECT_EQ(fields[16].bottom, 52);
  ASSERT_EQ(canvas.StrokesWithColour(palette.accent).size(), 1u);
  EXPECT_FLOAT_EQ(canvas.StrokesWithColour(palette.accent)[0]->pen.width, 1.3f);
  ASSERT_EQ(canvas.FillsWithColour(WithAlpha(palette.text, 0x18)).size(), 1u);
  ExpectRect(canvas.FillsWithColour(WithAlpha(palette.text, 0x18))[0]->rect, RectF{10, 20, 120, 32}, "field");

  canvas.Clear();
  dc.focusedField = -1;
  TextField(dc, 17, 10, 60, 120, L"a.gif", L"", false);
  ASSERT_EQ(canvas.StrokesWithColour(palette.border).size(), 1u);
  EXPECT_FLOAT_EQ(canvas.StrokesWithColour(palette.border)[0]->pen.width, 1.0f);
  EXPECT_EQ(canvas.FindText(L"a.gif")->fontId, fonts[FontSmall].Identity());

  // An id outside the table records nothing and does not write past it.
  TextField(dc, kTextFieldCount, 0, 0, 10, L"", L"", false);
  TextField(dc, -1, 0, 0, 10, L"", L"", false);
}

TEST_F(DrawTest, PillsAdvanceByTextWidthPlus32) {
  // FontButton is 10 px: 5 per character.
  float x = 100;
  Pill(dc, x, 40, L"VOICE", 0xFF2ECC71);
  EXPECT_FLOAT_EQ(x, 100 + 25 + 32);
  Pill(dc, x, 40, L"UDP", 0xFF2ECC71);
  EXPECT_FLOAT_EQ(x, 157 + 15 + 32);

  const auto bodies = canvas.FillsWithColour(0x242ECC71);
  ASSERT_EQ(bodies.size(), 2u);
  ExpectRect(bodies[0]->rect, RectF{100, 40, 49, 24}, "first pill");
  ExpectRect(bodies[1]->rect, RectF{157, 40, 39, 24}, "second pill");
  EXPECT_EQ(canvas.StrokesWithColour(0x962ECC71).size(), 2u);
  const auto dots = canvas.OfKind(CallKind::FillEllipse);
  ASSERT_EQ(dots.size(), 2u);
  ExpectRect(dots[1]->rect, RectF{166, 49, 6, 6}, "second dot");
  const CanvasCall* label = canvas.FindText(L"UDP");
  ASSERT_NE(label, nullptr);
  ExpectRect(label->rect, RectF{177, 40, 19, 24}, "second label");
  EXPECT_EQ(label->vertical, TextAlign::Center);
}

TEST_F(DrawTest, SignalBars) {
  const uint32_t lit = 0xFF00FF00, unlit = WithAlpha(palette.textDim, 0x46);
  struct Case {
    bool ping;
    int32_t latency;
    int lit;
  };
  const Case cases[] = {
      {false, 10, 0}, {false, 500, 0}, {false, -1, 0}, {true, 10, 4},  {true, 35, 4},
      {true, 36, 3},  {true, 80, 3},   {true, 81, 2},  {true, 151, 1}, {true, -1, 0},
  };
  for (const Case& c : cases) {
    canvas.Clear();
    dc.enablePing = c.ping;
    DrawSignalBars(dc, 200, 300, c.latency, lit);
    const auto bars = canvas.OfKind(CallKind::FillRect);
    ASSERT_EQ(bars.size(), 4u);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(bars[i]->argb, i < c.lit ? lit : unlit) << c.latency << " bar " << i;
      const float h = 4.0f + 3.0f * static_cast<float>(i);
      ExpectRect(bars[i]->rect, RectF{200.0f + 5.0f * static_cast<float>(i), 314 - h, 3, h}, "bar");
    }
  }
}

TEST_F(DrawTest, ButtonColoursAndHoverEdges) {
  struct Case {
    const char* what;
    uint32_t accent;
    bool primary;
    int32_t mouseX, mouseY;
    uint32_t fill;
    uint32_t label;
  };
  const Case cases[] = {
      {"primary", 0xFF5865F2, true, 0, 0, 0xFF5865F2, 0xFFFFFFFF},
      {"primary hovered, blue capped", 0xFF5865F2, true, 50, 15, 0xFF7481FF, 0xFFFFFFFF},
      {"primary hovered, translucent accent made opaque", 0x80102030, true, 50, 15, 0xFF2C3C4C, 0xFFFFFFFF},
      {"primary hovered at the right-bottom corner", 0xFFF0F0F0, true, 110, 30, 0xFFFFFFFF, 0xFFFFFFFF},
      {"primary at the left-top corner", 0xFF000000, true, 10, 10, 0xFF1C1C1C, 0xFFFFFFFF},
      {"just outside", 0xFF000000, true, 111, 30, 0xFF000000, 0xFFFFFFFF},
      {"secondary", 0xFF5865F2, false, 0, 0, 0x22E8E8F0, 0xFFE8E8F0},
      {"secondary hovered", 0xFF5865F2, false, 50, 15, 0x3EE8E8F0, 0xFFE8E8F0},
  };
  for (const Case& c : cases) {
    canvas.Clear();
    palette.accent = c.accent;
    dc.mouseX = c.mouseX;
    dc.mouseY = c.mouseY;
    HitRect hit;
    Button(dc, hit, 10, 10, 110, 30, L"Copy", c.primary);
    const auto fills = canvas.OfKind(CallKind::FillPath);
    ASSERT_EQ(fills.size(), 1u) << c.what;
    EXPECT_EQ(fills[0]->argb, c.fill) << std::hex << c.what << " " << fills[0]->argb;
    ExpectRect(fills[0]->rect, RectF{10, 10, 100, 20}, c.what);
    const CanvasCall* label = canvas.FindText(L"Copy");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->argb, c.label) << c.what;
    EXPECT_EQ(label->fontId, fonts[FontButton].Identity());
    EXPECT_EQ(label->horizontal, TextAlign::Center);
    EXPECT_EQ(label->vertical, TextAlign::Center);
  }
}

TEST_F(DrawTest, ChipToggleAndAccentButtonColours) {
  const uint32_t a = palette.accent, t = palette.text;
  struct Case {
    const char* what;
    int widget;  // 0 chip, 1 small toggle, 2 outline accent button, 3 gradient accent button
    bool flag;   // selected / active
    bool hovered;
    uint32_t fill;
    uint32_t stroke;  // 0: none
    uint32_t label;
  };
  const Case cases[] = {
      {"chip selected", 0, true, false, WithAlpha(a, 0x50), a, t},
      {"chip hovered", 0, false, true, WithAlpha(t, 0x1E), palette.border, palette.textDim},
      {"chip idle", 0, false, false, WithAlpha(t, 0x12), palette.border, palette.textDim},
      {"toggle selected", 1, true, false, a, 0, 0xFFFFFFFF},
      {"toggle selected hovered", 1, true, true, a, 0, 0xFFFFFFFF},
      {"toggle hovered", 1, false, true, WithAlpha(t, 0x36), 0, t},
      {"toggle idle", 1, false, false, WithAlpha(t, 0x1E), 0, t},
      {"outline active", 2, true, false, WithAlpha(a, 0x60), WithAlpha(a, 0x96), t},
      {"outline active hovered", 2, true, true, WithAlpha(a, 0x60), WithAlpha(a, 0xE6), t},
      {"outline hovered", 2, false, true, WithAlpha(a, 0x4A), WithAlpha(a, 0xE6), t},
      {"outline idle", 2, false, false, WithAlpha(a, 0x28), WithAlpha(a, 0x96), t},
  };
  for (const Case& c : cases) {
    canvas.Clear();
    dc.mouseX = c.hovered ? 20 : 500;
    dc.mouseY = 20;
    HitRect hit;
    hit.Set(10, 10, 90, 36);
    if (c.widget == 0) {
      Chip(dc, hit, 10, 10, 90, 36, L"Label", c.flag);
    } else if (c.widget == 1) {
      SmallToggle(dc, hit, L"Label", c.flag);
    } else {
      AccentButton(dc, hit, L"Label", false, c.flag);
    }
    const auto fills = canvas.OfKind(CallKind::FillPath);
    ASSERT_EQ(fills.size(), 1u) << c.what;
    EXPECT_EQ(fills[0]->argb, c.fill) << c.what;
    ExpectRect(fills[0]->rect, RectF{10, 10, 80, 26}, c.what);
    const auto strokes = canvas.OfKind(CallKind::StrokePath);
    ASSERT_EQ(strokes.size(), c.stroke ? 1u : 0u) << c.what;
    if (c.stroke) {
      EXPECT_EQ(strokes[0]->argb, c.stroke) << c.what;
    }
    ASSERT_NE(canvas.FindText(L"Label"), nullptr) << c.what;
    EXPECT_EQ(canvas.FindText(L"Label")->argb, c.label) << c.what;
  }
}

TEST_F(DrawTest, GradientAccentButtonBlendsTowardWhiteOnHover) {
  HitRect hit;
  hit.Set(10, 10, 90, 36);
  for (bool hovered : {false, true}) {
    canvas.Clear();
    dc.mouseX = hovered ? 90 : 91;
    dc.mouseY = 36;
    AccentButton(dc, hit, L"Look up", true, false);
    const auto fills = canvas.OfKind(CallKind::FillPath);
    ASSERT_EQ(fills.size(), 1u);
    const Brush& b = fills[0]->brush;
    ASSERT_TRUE(b.gradient);
    const std::vector<uint32_t> want = hovered ? std::vector<uint32_t>{BlendColor(palette.accent, 0xFFFFFFFF, 0.14),
                                                                       BlendColor(palette.accent2, 0xFFFFFFFF, 0.14)}
                                               : std::vector<uint32_t>{palette.accent, palette.accent2};
    EXPECT_EQ(b.colours, want) << hovered;
    EXPECT_FLOAT_EQ(b.p0.x, 10);
    EXPECT_FLOAT_EQ(b.p1.x, 90);
    EXPECT_FLOAT_EQ(b.p1.y, 36);
    EXPECT_EQ(canvas.FindText(L"Look up")->argb, 0xFFFFFFFFu);
  }
}

TEST_F(DrawTest, ToggleWithoutARecordIsNeverHovered) {
  HitRect absent;  // all zero, not present
  dc.mouseX = 0;
  dc.mouseY = 0;
  SmallToggle(dc, absent, L"On", false);
  ASSERT_EQ(canvas.OfKind(CallKind::FillPath).size(), 1u);
  EXPECT_EQ(canvas.OfKind(CallKind::FillPath)[0]->argb, WithAlpha(palette.text, 0x1E));
}

TEST_F(DrawTest, WidgetsRecordHitRectanglesEvenWhenCulled) {
  CullTo(RectF{0, 0, 100, 100});
  dc.focusedField = -1;
  HitRect button, chip;
  Button(dc, button, 500, 500, 560, 530, L"Go", true);
  Chip(dc, chip, 600, 500, 660, 530, L"All", false);
  TextField(dc, 19, 700, 500, 200, L"", L"IP", false);
  EXPECT_EQ(canvas.DrawCount(), 0u);
  EXPECT_TRUE(button.present);
  EXPECT_TRUE(button.Contains(560, 530));
  EXPECT_TRUE(chip.present);
  EXPECT_EQ(chip.left, 600);
  EXPECT_TRUE(fields[19].present);
  EXPECT_EQ(fields[19].right, 900);
  EXPECT_EQ(fields[19].bottom, 532);
}

TEST_F(DrawTest, LogoMark) {
  struct Case {
    float s;
    float d;  // arc diameter of the first square
  };
  const Case cases[] = {{30, 16}, {6, 4.8f}, {60, 32}};  // r = max(8s/30, 3); d = min(2r, 0.8s)
  for (const Case& c : cases) {
    canvas.Clear();
    LogoMark(dc, 100, 50, c.s);
    const auto fills = canvas.OfKind(CallKind::FillPath);
    ASSERT_EQ(fills.size(), 2u);
    ExpectRect(fills[0]->rect, RectF{100, 50 + 0.2f * c.s, 0.8f * c.s, 0.8f * c.s}, "back square");
    EXPECT_FLOAT_EQ(fills[0]->path.segments()[0].box.w, c.d) << c.s;
    EXPECT_EQ(fills[0]->brush.colours, (std::vector<uint32_t>{palette.accent, palette.accent2}));
    EXPECT_FLOAT_EQ(fills[0]->brush.p1.x, 100 + c.s);
    ExpectRect(fills[1]->rect, RectF{100 + 0.28f * c.s, 50, 0.72f * c.s, 0.72f * c.s}, "front square");
    EXPECT_EQ(fills[1]->argb, 0x96FFFFFFu);
  }
}

TEST(UiFontsTest, TheTenFontsOnceWithFallback) {
  RecordingGraphics graphics;
  graphics.installed = {L"DejaVu Sans", L"Liberation Mono"};
  UiFonts fonts;
  EXPECT_FALSE(fonts.created());
  ASSERT_TRUE(fonts.CreateUiFonts(graphics));
  ASSERT_EQ(graphics.fontRequests.size(), 10u);
  struct Want {
    FontName name;
    float size;
    bool bold;
    bool mono;
  };
  const Want want[] = {
      {FontHeader, 16.5f, true, false}, {FontHuge, 24, true, false},       {FontLarge, 21, true, false},
      {FontMonoLarge, 20, true, true},  {FontSection, 12.5f, true, false}, {FontBody, 12, false, false},
      {FontSmall, 10.5f, false, false}, {FontTiny, 9.5f, false, false},    {FontMono, 11, false, true},
      {FontButton, 10, true, false},
  };
  for (const Want& w : want) {
    const auto& f = dynamic_cast<const RecordingFont&>(fonts[w.name]);
    EXPECT_FLOAT_EQ(f.SizePx(), w.size) << w.name;
    EXPECT_EQ(f.Bold(), w.bold) << w.name;
    EXPECT_EQ(f.Family(), w.mono ? L"Liberation Mono" : L"DejaVu Sans") << w.name;
    EXPECT_EQ(graphics.fontRequests[static_cast<size_t>(w.name)].families.front(), w.mono ? L"Consolas" : L"Segoe UI");
  }
  EXPECT_TRUE(fonts.CreateUiFonts(graphics));
  EXPECT_EQ(graphics.fontRequests.size(), 10u) << "a second call makes nothing";
  fonts.DestroyUiFonts();
  for (int i = 0; i < kUiFontCount; ++i) EXPECT_EQ(fonts.Get(static_cast<FontName>(i)), nullptr);
  EXPECT_TRUE(fonts.CreateUiFonts(graphics));
  EXPECT_EQ(graphics.fontRequests.size(), 20u) << "made again after destruction";
}

TEST(UiFontsTest, MissingFontsSkipTextWithoutCrashing) {
  RecordingGraphics graphics;
  graphics.failFonts = true;
  UiFonts fonts;
  EXPECT_FALSE(fonts.CreateUiFonts(graphics));
  RecordingCanvas canvas;
  ThemePalette palette;
  TextWidthCache widths;
  DrawContext dc{canvas, palette, fonts, widths};
  TextAt(dc, L"x", FontBody, 0, 0, 1);
  HitRect hit;
  Button(dc, hit, 0, 0, 50, 20, L"Go", true);
  EXPECT_EQ(MeasureText(dc, L"abc", FontBody), 0);
  EXPECT_EQ(canvas.Count(CallKind::TextAt) + canvas.Count(CallKind::TextInRect), 0u);
  EXPECT_EQ(canvas.Count(CallKind::FillPath), 1u) << "the shapes are still drawn";
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

// FontBody is 12 px: 6 px per character on the recording canvas, so a 60 px line holds 10.
TEST_F(DrawTest, WrapTextBreaksAtSpacesAndSplitsWordsLongerThanALine) {
  struct Case {
    const wchar_t* text;
    float width;
    std::vector<std::wstring> lines;
  } cases[] = {
      {L"short", 60, {L"short"}},
      {L"aaaa bbbbb ccc", 60, {L"aaaa bbbbb", L"ccc"}},  // exactly 10 characters fit
      {L"aaaa bbbbbb", 60, {L"aaaa", L"bbbbbb"}},
      {L"  two   blanks  ", 60, {L"two blanks"}},  // runs of blanks become one
      {L"abcdefghijklmnopqrstuvw x", 60, {L"abcdefghij", L"klmnopqrst", L"uvw x"}},
      {L"abc", 3, {L"a", L"b", L"c"}},  // narrower than a character: one per line, and it ends
      {L"", 60, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(WrapText(dc, c.text, FontBody, c.width), c.lines) << c.text;
}

// A failure message of 4 MiB without a space once froze the window: every line re-measured the
// whole remainder, and the width cache kept each remainder as a key.
TEST_F(DrawTest, AHugeWordFillsTheBoxAndStopsWithAnEllipsis) {
  const std::wstring huge(4u << 20, L'x');
  EXPECT_EQ(WrapText(dc, huge, FontBody, 60, 3),
            (std::vector<std::wstring>{L"xxxxxxxxxx", L"xxxxxxxxxx", L"xxxxxxxxx\u2026"}));
  EXPECT_LT(canvas.MeasureCalls(), 60);
  EXPECT_LT(widths.size(), 60u);
  EXPECT_EQ(MeasureText(dc, huge, FontBody), 10000000) << "as wide as can be, never 0";
  EXPECT_LT(widths.size(), 60u) << "a long text is not kept";
}

TEST_F(DrawTest, ParagraphDrawsTheLinesThatFitAndEndsTheLastWithAnEllipsis) {
  struct Case {
    float height;
    std::vector<std::wstring> drawn;
  } cases[] = {
      {60, {L"one two", L"three four", L"five six"}},
      {40, {L"one two", L"three fou\u2026"}},  // the last line gives room to the ellipsis
      {5, {L"one two\u2026"}},                 // at least one line
  };
  for (const Case& c : cases) {
    canvas.Clear();
    ParagraphInRect(dc, L"one two three four five six", FontBody, RectF{10, 100, 60, c.height}, 0xFF112233, 17);
    ASSERT_EQ(canvas.Texts(), c.drawn) << c.height;
    for (size_t i = 0; i < canvas.calls().size(); ++i) {
      const CanvasCall& call = canvas.calls()[i];
      EXPECT_EQ(call.rect.y, 100 + 17.0f * static_cast<float>(i));
      EXPECT_EQ(call.rect.w, 60);
      EXPECT_EQ(call.horizontal, TextAlign::Near);
      EXPECT_EQ(call.argb, 0xFF112233u);
    }
  }
}

}  // namespace
}  // namespace tolvane
