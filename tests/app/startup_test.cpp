#include "app/startup.h"

#include <gtest/gtest.h>

#include <regex>

namespace tolvane {
namespace {

TEST(OptionValue, ReadsUpToSpaceOrEnd) {
  struct Case {
    const wchar_t* line;
    const wchar_t* prefix;
    const wchar_t* want;
  } cases[] = {
      {L"--api-base= --demo", L"--api-base=", L""},  // empty value keeps the default
      {L"--tile-base=x y", L"--tile-base=", L"x"},
      {L"--tile-base=http://127.0.0.1:8080", L"--tile-base=", L"http://127.0.0.1:8080"},
      {L"", L"--api-base=", L""},
      {L"--demo", L"--api-base=", L""},
      // plain substring search: the prefix counts inside a longer word
      {L"x--api-base=abc", L"--api-base=", L"abc"},
      // the first occurrence wins
      {L"--api-base=a --api-base=b", L"--api-base=", L"a"},
  };
  for (const Case& c : cases) EXPECT_EQ(OptionValue(c.line, c.prefix), c.want) << c.line;
}

TEST(ParseCommandLine, FlagsAreSubstrings) {
  CommandLineState s = ParseCommandLine(L"x--demox --bench --api-base=http://127.0.0.1:9");
  EXPECT_TRUE(s.demoMode);
  EXPECT_TRUE(s.benchMode);
  EXPECT_EQ(s.apiBase, L"http://127.0.0.1:9");
  EXPECT_EQ(s.tileBase, L"");
  CommandLineState none = ParseCommandLine(L"");
  EXPECT_FALSE(none.demoMode);
  EXPECT_FALSE(none.benchMode);
}

TEST(InitialWindowRect, ScalesClampsAndCentres) {
  struct Case {
    int dpi;
    ScreenRect area;
    bool known;
    ScreenRect want;
  } cases[] = {
      // 96 dpi on a full-HD work area: 1360 x 880 centred
      {96, {0, 0, 1920, 1040}, true, {280, 80, 1640, 960}},
      // 144 dpi on a large area: 2040 x 1320
      {144, {0, 0, 3840, 2120}, true, {900, 400, 2940, 1720}},
      // 144 dpi on a smaller area: 40 narrower and lower than the area
      {144, {0, 0, 1920, 1040}, true, {20, 20, 1900, 1020}},
      // 96 dpi on 1366 x 728: 1326 x 688, centred
      {96, {0, 0, 1366, 728}, true, {20, 20, 1346, 708}},
      // below 96 dpi the scale stays 1
      {72, {0, 0, 1920, 1080}, true, {280, 100, 1640, 980}},
      // a work area that does not start at the origin
      {96, {100, 50, 2020, 1090}, true, {380, 130, 1740, 1010}},
      // failed query: 1920 x 1080 at the origin
      {96, {5, 5, 6, 6}, false, {280, 100, 1640, 980}},
  };
  for (const Case& c : cases) {
    ScreenRect r = InitialWindowRect(c.dpi, c.area, c.known);
    EXPECT_EQ(r.left, c.want.left) << c.dpi;
    EXPECT_EQ(r.top, c.want.top) << c.dpi;
    EXPECT_EQ(r.Width(), c.want.Width()) << c.dpi;
    EXPECT_EQ(r.Height(), c.want.Height()) << c.dpi;
  }
}

TEST(FrameHitTest, BordersCornersAndMaximized) {
  const ScreenRect w{100, 100, 500, 400};
  struct Case {
    bool zoomed;
    float scale;
    int x, y;
    FrameHit want;
  } cases[] = {
      {false, 1.0f, 100, 100, FrameHit::TopLeft},    {false, 1.0f, 499, 100, FrameHit::TopRight},
      {false, 1.0f, 100, 399, FrameHit::BottomLeft}, {false, 1.0f, 499, 399, FrameHit::BottomRight},
      {false, 1.0f, 105, 200, FrameHit::Left},       {false, 1.0f, 106, 200, FrameHit::Client},
      {false, 1.0f, 494, 200, FrameHit::Right},      {false, 1.0f, 493, 200, FrameHit::Client},
      {false, 1.0f, 300, 105, FrameHit::Top},        {false, 1.0f, 300, 394, FrameHit::Bottom},
      {false, 1.5f, 108, 200, FrameHit::Left},       {false, 1.5f, 109, 200, FrameHit::Client},
      {true, 1.0f, 100, 100, FrameHit::Client},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameHitTest(c.zoomed, c.scale, w, c.x, c.y), c.want) << c.x << "," << c.y;
}

TEST(UiScaleFromDpi, NeverBelowOne) {
  EXPECT_FLOAT_EQ(UiScaleFromDpi(96), 1.0f);
  EXPECT_FLOAT_EQ(UiScaleFromDpi(144), 1.5f);
  EXPECT_FLOAT_EQ(UiScaleFromDpi(0), 1.0f);
  EXPECT_FLOAT_EQ(UiScaleFromDpi(-5), 1.0f);
}

TEST(FormatBenchLine, MatchesTheResultFormat) {
  BenchTimes t;
  t.frequency = 10000000;  // 100 ns ticks
  t.c0 = 0;
  t.c1 = 125000000;  // 12.5 s for 100 paints
  t.c2 = 200000000;
  t.c3 = 203456000;  // 0.3456 s for 100 paints
  t.startTick = 1000;
  t.readyTick = 1420;
  t.paintTick = 1437;
  const std::string line = FormatBenchLine(t);
  EXPECT_EQ(line, "full 125.00 ms/frame, hover-partial 3.46 ms/frame, window-ready 420 ms, first paint 17 ms\n");
  EXPECT_TRUE(std::regex_match(line, std::regex(R"(full \d+\.\d\d ms/frame, hover-partial \d+\.\d\d ms/frame, )"
                                                R"(window-ready \d+ ms, first paint \d+ ms\n)")));
}

}  // namespace
}  // namespace tolvane
