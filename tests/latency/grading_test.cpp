// Latency texts, grades, statistics, graph scale and points, and the median.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "latency/grading.h"

namespace tolvane {
namespace {

TEST(GradingTest, ThresholdsAndSentinels) {
  struct Case {
    int32_t value;
    bool ping;
    const wchar_t* text;
    const wchar_t* word;
    int32_t bars;
    LatencyGrade grade;
  };
  const Case cases[] = {
      {35, true, L"35 ms", L"Excellent", 4, LatencyGrade::Good},
      {36, true, L"36 ms", L"Good", 3, LatencyGrade::Good},
      {80, true, L"80 ms", L"Good", 3, LatencyGrade::Good},
      {81, true, L"81 ms", L"Fair", 2, LatencyGrade::Fair},
      {150, true, L"150 ms", L"Fair", 2, LatencyGrade::Fair},
      {151, true, L"151 ms", L"Weak", 1, LatencyGrade::Poor},
      {0, true, L"0 ms", L"Excellent", 4, LatencyGrade::Good},
      {1, true, L"1 ms", L"Excellent", 4, LatencyGrade::Good},
      {-1, true, L"timeout", L"No reply", 0, LatencyGrade::Poor},
      {-2, true, L"...", L"...", 0, LatencyGrade::Neutral},
      {-3, true, L"n/a", L"IPv6", 0, LatencyGrade::Neutral},
      {20, false, L"\u2014", L"off", 0, LatencyGrade::Neutral},
      {-1, false, L"\u2014", L"off", 0, LatencyGrade::Neutral},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LatencyText(c.value, c.ping), c.text) << c.value << " " << c.ping;
    EXPECT_EQ(SignalWord(c.value, c.ping), c.word) << c.value << " " << c.ping;
    EXPECT_EQ(SignalBars(c.value, c.ping), c.bars) << c.value << " " << c.ping;
    EXPECT_EQ(LatencyColour(c.value, c.ping), c.grade) << c.value << " " << c.ping;
  }
}

TEST(GradingTest, GradeColourPicksThePaletteEntry) {
  EXPECT_EQ(GradeColour(LatencyGrade::Neutral, 1, 2, 3, 4), 1u);
  EXPECT_EQ(GradeColour(LatencyGrade::Good, 1, 2, 3, 4), 2u);
  EXPECT_EQ(GradeColour(LatencyGrade::Fair, 1, 2, 3, 4), 3u);
  EXPECT_EQ(GradeColour(LatencyGrade::Poor, 1, 2, 3, 4), 4u);
}

TEST(GradingTest, StatsAndTheirTexts) {
  struct Case {
    std::vector<int32_t> history;
    LatencyStatsRecord expected;
    const wchar_t* text;
    const wchar_t* current;
  };
  const Case cases[] = {
      // Only the pair 30-40 counts for jitter: the lost sample breaks the 20-30 pair.
      {{20, -1, 30, 40}, {4, 3, 20, 30, 40, 10, 25, 40}, L"min 20   avg 30   max 40   jitter 10   loss 25%", L"40 ms"},
      {{-1, -1, -1}, {3, 0, 0, 0, 0, 0, 100, -1}, L"no replies yet  \u00b7  loss 100%", L"timeout"},
      {{}, {0, 0, 0, 0, 0, 0, 0, -2}, L"waiting for the first ping...", L"\u2014"},
      {{50, 10, 31, -1},
       {4, 3, 10, 30, 50, 30, 25, -1},
       L"min 10   avg 30   max 50   jitter 30   loss 25%",
       L"timeout"},
      {{7}, {1, 1, 7, 7, 7, 0, 0, 7}, L"min 7   avg 7   max 7   jitter 0   loss 0%", L"7 ms"},
  };
  for (const Case& c : cases) {
    const LatencyStatsRecord s = LatencyStats(c.history);
    const LatencyStatsRecord& e = c.expected;
    EXPECT_EQ(s.count, e.count);
    EXPECT_EQ(s.replies, e.replies);
    EXPECT_EQ(s.min, e.min);
    EXPECT_EQ(s.avg, e.avg);
    EXPECT_EQ(s.max, e.max);
    EXPECT_EQ(s.jitter, e.jitter);
    EXPECT_EQ(s.loss, e.loss);
    EXPECT_EQ(s.latest, e.latest);
    EXPECT_EQ(LatencyStatsText(s), c.text);
    EXPECT_EQ(LatencyCurrentText(s), c.current);
  }
}

TEST(GradingTest, GraphScaleSteps) {
  struct Case {
    std::vector<int32_t> samples;
    int32_t axis;
  };
  const Case cases[] = {
      {{}, 50},     {{37}, 50},   {{-1, -1}, 50}, {{50}, 50},    {{51}, 100},    {{12, 150}, 150}, {{151}, 200},
      {{201}, 300}, {{499}, 500}, {{800}, 800},   {{801}, 1200}, {{1200}, 1200}, {{1201}, 2000},   {{90000}, 2000},
  };
  for (const Case& c : cases) EXPECT_EQ(GraphScale(c.samples), c.axis) << c.samples.size();
}

TEST(GradingTest, GridLabels) {
  EXPECT_EQ(GraphGridLabels(50), (std::array<std::wstring, 4>{L"50", L"34", L"17", L"0"}));
  EXPECT_EQ(GraphGridLabels(2000), (std::array<std::wstring, 4>{L"2000", L"1334", L"667", L"0"}));
}

TEST(GradingTest, GraphPointsFillFromTheRight) {
  // One sample sits at the right edge.
  std::vector<GraphPoint> one = GraphPoints({25}, 60, 10, 20, 200, 156, 50);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_DOUBLE_EQ(one[0].x, 210);
  EXPECT_DOUBLE_EQ(one[0].y, 20 + 156 - 0.5 * 156);
  EXPECT_FALSE(one[0].loss);

  // Three samples in five slots: slots 2, 3, 4; a loss marker; a value above the axis is clamped.
  std::vector<GraphPoint> three = GraphPoints({100, -1, 0}, 5, 0, 0, 100, 10, 50);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_DOUBLE_EQ(three[0].x, 50);
  EXPECT_DOUBLE_EQ(three[0].y, 0);
  EXPECT_DOUBLE_EQ(three[1].x, 75);
  EXPECT_TRUE(three[1].loss);
  EXPECT_DOUBLE_EQ(three[2].x, 100);
  EXPECT_DOUBLE_EQ(three[2].y, 10);

  // More samples than slots: only the newest are shown, the oldest of them in slot 0.
  std::vector<int32_t> many;
  for (int i = 1; i <= 30; ++i) many.push_back(i);
  std::vector<GraphPoint> last = GraphPoints(many, 24, 0, 0, 230, 100, 50);
  ASSERT_EQ(last.size(), 24u);
  EXPECT_DOUBLE_EQ(last.front().x, 0);
  EXPECT_DOUBLE_EQ(last.front().y, 100 - 7.0 / 50 * 100);
  EXPECT_DOUBLE_EQ(last.back().x, 230);

  // Degenerate inputs stay finite instead of dividing by zero.
  std::vector<GraphPoint> single = GraphPoints({10}, 1, 5, 0, 50, 10, 0);
  ASSERT_EQ(single.size(), 1u);
  EXPECT_DOUBLE_EQ(single[0].x, 55);
  EXPECT_DOUBLE_EQ(single[0].y, 0);
  EXPECT_TRUE(GraphPoints({10}, 0, 0, 0, 10, 10, 50).empty());
  EXPECT_TRUE(GraphPoints({}, 60, 0, 0, 10, 10, 50).empty());
}

TEST(GradingTest, MedianTakesTheUpperMiddleAndSkipsNonPositive) {
  struct Case {
    std::vector<int32_t> values;
    bool ping;
    int32_t median;
  };
  const Case cases[] = {
      {{40, 10, 30, 20}, true, 30}, {{5, 1, 3}, true, 3},  {{0, -1, -2, -3}, true, -1},       {{}, true, -1},
      {{0, 9, 0}, true, 9},         {{10, 20}, false, -1}, {{15, 15, 15, 100, -1}, true, 15},
  };
  for (const Case& c : cases) EXPECT_EQ(MedianLatency(c.values, c.ping), c.median) << c.values.size();
}

}  // namespace
}  // namespace tolvane
