// Latency grading and statistics: see grading.h.
//
// GraphPoints guards the two divisions a caller could make degenerate: a single slot puts the one
// sample at the right edge instead of dividing by zero, and an axis maximum below 1 is taken as 1.
#include "latency/grading.h"

#include <algorithm>
#include <cstdio>

namespace tolvane {
namespace {

constexpr wchar_t kDash[] = L"\u2014";

std::wstring Format(const wchar_t* format, int32_t value) {
  wchar_t buffer[32];
  std::swprintf(buffer, 32, format, value);
  return buffer;
}

}  // namespace

std::wstring LatencyText(int32_t value, bool enablePing) {
  if (!enablePing) return kDash;
  if (value == -3) return L"n/a";
  if (value == -2) return L"...";
  if (value >= 0) return Format(L"%d ms", value);
  return L"timeout";
}

std::wstring SignalWord(int32_t value, bool enablePing) {
  if (!enablePing) return L"off";
  if (value == -3) return L"IPv6";
  if (value == -2) return L"...";
  if (value < 0) return L"No reply";
  if (value <= 35) return L"Excellent";
  if (value <= 80) return L"Good";
  if (value <= 150) return L"Fair";
  return L"Weak";
}

int32_t SignalBars(int32_t value, bool enablePing) {
  if (!enablePing || value < 0) return 0;
  if (value < 36) return 4;
  if (value < 81) return 3;
  if (value < 151) return 2;
  return 1;
}

LatencyGrade LatencyColour(int32_t value, bool enablePing) {
  if (!enablePing || value == -2 || value == -3) return LatencyGrade::Neutral;
  if (value >= 0 && value <= 80) return LatencyGrade::Good;
  if (value >= 81 && value <= 150) return LatencyGrade::Fair;
  return LatencyGrade::Poor;
}

uint32_t GradeColour(LatencyGrade grade, uint32_t neutral, uint32_t good, uint32_t fair, uint32_t poor) {
  switch (grade) {
    case LatencyGrade::Good:
      return good;
    case LatencyGrade::Fair:
      return fair;
    case LatencyGrade::Poor:
      return poor;
    case LatencyGrade::Neutral:
      break;
  }
  return neutral;
}

LatencyStatsRecord LatencyStats(const std::vector<int32_t>& history) {
  LatencyStatsRecord r;
  r.count = static_cast<int32_t>(history.size());
  int64_t sum = 0, jitterSum = 0;
  int64_t jitterCount = 0;
  int32_t previous = -1;
  for (int32_t s : history) {
    if (s < 0) {
      previous = -1;
      continue;
    }
    sum += s;
    r.min = r.replies == 0 ? s : std::min(r.min, s);
    r.max = r.replies == 0 ? s : std::max(r.max, s);
    ++r.replies;
    if (previous >= 0) {
      jitterSum += previous > s ? previous - s : s - previous;
      ++jitterCount;
    }
    previous = s;
  }
  r.avg = r.replies == 0 ? 0 : static_cast<int32_t>(sum / r.replies);
  r.jitter = jitterCount == 0 ? 0 : static_cast<int32_t>(jitterSum / jitterCount);
  r.loss = r.count == 0 ? 0 : static_cast<int32_t>(int64_t{r.count - r.replies} * 100 / r.count);
  r.latest = r.count == 0 ? -2 : history.back();
  return r;
}

std::wstring LatencyStatsText(const LatencyStatsRecord& stats) {
  wchar_t buffer[128];
  if (stats.replies > 0) {
    std::swprintf(buffer, 128, L"min %d   avg %d   max %d   jitter %d   loss %d%%", stats.min, stats.avg, stats.max,
                  stats.jitter, stats.loss);
    return buffer;
  }
  if (stats.count > 0) return Format(L"no replies yet  \u00b7  loss %d%%", stats.loss);
  return L"waiting for the first ping...";
}

std::wstring LatencyCurrentText(const LatencyStatsRecord& stats) {
  if (stats.count == 0) return kDash;
  if (stats.latest < 0) return L"timeout";
  return Format(L"%d ms", stats.latest);
}

int32_t GraphScale(const std::vector<int32_t>& samples) {
  int32_t m = 40;
  for (int32_t s : samples) m = std::max(m, s < 0 ? 0 : s);
  for (int32_t step : {50, 100, 150, 200, 300, 500, 800, 1200}) {
    if (step >= m) return step;
  }
  return 2000;
}

std::array<std::wstring, 4> GraphGridLabels(int32_t axisMax) {
  std::array<std::wstring, 4> labels;
  for (int32_t k = 0; k < 4; ++k) labels[k] = Format(L"%d", axisMax - k * axisMax / 3);
  return labels;
}

std::vector<GraphPoint> GraphPoints(const std::vector<int32_t>& samples, int32_t slots, double left, double top,
                                    double width, double height, int32_t axisMax) {
  std::vector<GraphPoint> points;
  if (slots <= 0 || samples.empty()) return points;
  const double axis = axisMax < 1 ? 1.0 : static_cast<double>(axisMax);
  const size_t shown = std::min(samples.size(), static_cast<size_t>(slots));
  const size_t firstSample = samples.size() - shown;
  const size_t firstSlot = static_cast<size_t>(slots) - shown;
  points.reserve(shown);
  for (size_t i = 0; i < shown; ++i) {
    const size_t slot = firstSlot + i;
    GraphPoint p;
    p.x = slots == 1 ? left + width : left + static_cast<double>(slot) * width / static_cast<double>(slots - 1);
    const int32_t s = samples[firstSample + i];
    if (s < 0) {
      p.loss = true;
    } else {
      p.y = top + height - std::min(static_cast<double>(s), axis) / axis * height;
    }
    points.push_back(p);
  }
  return points;
}

int32_t MedianLatency(const std::vector<int32_t>& latencies, bool enablePing) {
  if (!enablePing) return -1;
  std::vector<int32_t> positive;
  positive.reserve(latencies.size());
  for (int32_t v : latencies) {
    if (v > 0) positive.push_back(v);
  }
  if (positive.empty()) return -1;
  const auto middle = positive.begin() + static_cast<std::ptrdiff_t>(positive.size() / 2);
  std::nth_element(positive.begin(), middle, positive.end());
  return *middle;
}

}  // namespace tolvane
