// Pure start-up and frame decisions; see window_frame.h.
#include "app/window_frame.h"

#include <algorithm>

namespace tolvane {

InstanceAction SingleInstanceDecision(bool mutexCreated, bool alreadyExists, const CommandLineState& commandLine) {
  if (!mutexCreated || !alreadyExists) return InstanceAction::Start;
  if (commandLine.demoMode || commandLine.benchMode) return InstanceAction::Start;
  return InstanceAction::ActivateExisting;
}

InstanceAction AwaitRunningInstance(Clock& clock, const std::function<bool()>& windowExists,
                                    const std::function<bool(uint32_t ms)>& waitForMutex) {
  const uint64_t end = clock.TickMs() + kInstanceWaitMs;
  for (;;) {
    if (windowExists()) return InstanceAction::ActivateExisting;
    const uint64_t now = clock.TickMs();
    if (now >= end) return InstanceAction::ActivateExisting;
    if (waitForMutex(static_cast<uint32_t>(std::min<uint64_t>(kInstanceWaitStepMs, end - now)))) {
      return InstanceAction::Start;
    }
  }
}

TrackSizes FrameTrackSizes(float uiScale, bool monitorKnown, const ScreenRect& monitor, const ScreenRect& workArea) {
  TrackSizes t;
  t.minWidth = static_cast<int32_t>(1240 * uiScale);
  t.minHeight = static_cast<int32_t>(700 * uiScale);
  if (monitorKnown) {
    t.hasMax = true;
    t.maxWidth = workArea.Width();
    t.maxHeight = workArea.Height();
    t.maxX = workArea.left - monitor.left;
    t.maxY = workArea.top - monitor.top;
  }
  return t;
}

LogicalPoint BenchMouse(int32_t frame) { return LogicalPoint{100 + 9 * frame, 300 + frame}; }

ScreenRect BenchClip(int32_t frame) {
  const int32_t row = 28 * (frame % 5);
  return ScreenRect{300, 400 + row, 1400, 430 + row};
}

void TimeBenchFrames(BenchTimes& t, const std::function<int64_t()>& counter,
                     const std::function<void(LogicalPoint mouse, const ScreenRect* clip)>& frame) {
  t.c0 = counter();
  for (int32_t i = 0; i < kBenchFrames; ++i) frame(BenchMouse(i), nullptr);
  t.c1 = counter();
  t.c2 = counter();
  for (int32_t i = 0; i < kBenchFrames; ++i) {
    const ScreenRect clip = BenchClip(i);
    frame(BenchMouse(i), &clip);
  }
  t.c3 = counter();
}

}  // namespace tolvane
