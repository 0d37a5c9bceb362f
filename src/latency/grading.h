// Latency grading and statistics: what the user reads for a latency value or a history.
//
// Pure functions, run on the main thread while drawing. A latency value is what LatencyOf returns:
// a time in ms (at least 1 from the ping service), -1 no reply, -2 no value / no address / ping off,
// -3 an IPv6 address that is never measured. enablePing is passed in so the painters decide nothing
// themselves. The thresholds 35, 80 and 150 ms separate "Excellent", "Good", "Fair" and "Weak".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

std::wstring LatencyText(int32_t value, bool enablePing);
std::wstring SignalWord(int32_t value, bool enablePing);
int32_t SignalBars(int32_t value, bool enablePing);  // 0-4 lit bars

// The colour class of a value; GradeColour turns it into one of the palette's colours.
enum class LatencyGrade { Neutral, Good, Fair, Poor };
LatencyGrade LatencyColour(int32_t value, bool enablePing);
// neutral = the palette's textMuted, good = good, fair = warn, poor = bad (32-bit ARGB each).
uint32_t GradeColour(LatencyGrade grade, uint32_t neutral, uint32_t good, uint32_t fair, uint32_t poor);

struct LatencyStatsRecord {
  int32_t count = 0;    // samples in the history
  int32_t replies = 0;  // samples >= 0
  int32_t min = 0, avg = 0, max = 0, jitter = 0;
  int32_t loss = 0;     // percent, integer division
  int32_t latest = -2;  // newest sample; -2 for an empty history
};

// history: the samples of one address, oldest first.
LatencyStatsRecord LatencyStats(const std::vector<int32_t>& history);
// "min %d   avg %d   max %d   jitter %d   loss %d%%", "no replies yet  ·  loss %d%%" or
// "waiting for the first ping...".
std::wstring LatencyStatsText(const LatencyStatsRecord& stats);
// The large current value: "—" with no samples, "timeout" after a lost one, otherwise "%d ms".
std::wstring LatencyCurrentText(const LatencyStatsRecord& stats);

// Axis maximum for a graph of samples: 50, 100, 150, 200, 300, 500, 800, 1200 or 2000.
int32_t GraphScale(const std::vector<int32_t>& samples);
// The four grid labels from top to bottom: axisMax - k * axisMax / 3 for k = 0..3.
std::array<std::wstring, 4> GraphGridLabels(int32_t axisMax);

struct GraphPoint {
  double x = 0;
  double y = 0;       // meaningless for a loss marker
  bool loss = false;  // a lost sample: drawn as a marker at x only
};

// One point or loss marker per shown sample, oldest first; the newest sits in the last slot (at
// left + width). With fewer samples than slots the left slots stay empty; with more, only the newest
// slots samples are shown.
std::vector<GraphPoint> GraphPoints(const std::vector<int32_t>& samples, int32_t slots, double left, double top,
                                    double width, double height, int32_t axisMax);

// Median of the latencies above 0 (the upper middle value for an even count); -1 when there is
// none or ping measurement is off.
int32_t MedianLatency(const std::vector<int32_t>& latencies, bool enablePing);

}  // namespace tolvane
