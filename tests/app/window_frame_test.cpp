// Start-up and frame decisions of the main window: single-instance hand-over, track sizes on
// monitors with offsets, gradient geometry and the benchmark's replayed frames.
#include "app/window_frame.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_clock.h"

namespace tolvane {
namespace {

TEST(SingleInstanceDecision, OnlyAnOrdinaryStartBesideARunningInstanceHandsOver) {
  struct Case {
    bool created, exists, demo, bench;
    InstanceAction want;
  } cases[] = {
      {true, false, false, false, InstanceAction::Start},
      {true, true, false, false, InstanceAction::ActivateExisting},
      {true, true, true, false, InstanceAction::Start},
      {true, true, false, true, InstanceAction::Start},
      {true, true, true, true, InstanceAction::Start},
      // the mutex could not be created at all: start rather than refuse
      {false, false, false, false, InstanceAction::Start},
      {false, true, false, false, InstanceAction::Start},
  };
  for (const Case& c : cases) {
    CommandLineState cl;
    cl.demoMode = c.demo;
    cl.benchMode = c.bench;
    EXPECT_EQ(SingleInstanceDecision(c.created, c.exists, cl), c.want) << c.created << c.exists << c.demo << c.bench;
  }
}

TEST(AwaitRunningInstance, RaisesAVisibleWindowAtOnceAndWaitsUpToFiveSecondsForAClosingInstance) {
  constexpr uint64_t kNever = 1u << 30;
  struct Case {
    uint64_t windowAt, mutexFreeAt, waited;  // ms after the start
    InstanceAction want;
  } cases[] = {{0, kNever, 0, InstanceAction::ActivateExisting},         // running
               {kNever, 2950, 2950, InstanceAction::Start},              // closing, ends after 2.95 s
               {kNever, 5200, 5000, InstanceAction::ActivateExisting}};  // stuck: give up
  for (const Case& c : cases) {
    FakeClock clock;
    const uint64_t t0 = clock.TickMs();
    const auto at = [&] { return clock.TickMs() - t0; };
    EXPECT_EQ(AwaitRunningInstance(
                  clock, [&] { return at() >= c.windowAt; },
                  [&](uint32_t ms) {  // the mutex is ours when the other instance ends
                    clock.Advance(std::min<uint64_t>(ms, c.mutexFreeAt - at()));
                    return at() >= c.mutexFreeAt;
                  }),
              c.want);
    EXPECT_EQ(at(), c.waited) << c.mutexFreeAt;
  }
}

TEST(FrameTrackSizes, MinimumScalesAndMaximumIsTheWorkAreaRelativeToTheMonitor) {
  struct Case {
    float scale;
    bool known;
    ScreenRect monitor, work;
    TrackSizes want;
  } cases[] = {
      {1.0f, true, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, {1240, 700, true, 1920, 1040, 0, 0}},
      // 125 %: 1550 x 875, truncated
      {1.25f, true, {0, 0, 2560, 1440}, {0, 0, 2560, 1400}, {1550, 875, true, 2560, 1400, 0, 0}},
      {1.5f, true, {0, 0, 2880, 1620}, {0, 40, 2880, 1620}, {1860, 1050, true, 2880, 1580, 0, 40}},
      // a monitor left of the primary with its taskbar on the left: the position stays monitor-relative
      {1.0f, true, {-1920, 0, 0, 1080}, {-1860, 0, 0, 1080}, {1240, 700, true, 1860, 1080, 60, 0}},
      {1.0f, false, {}, {}, {1240, 700, false, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const TrackSizes t = FrameTrackSizes(c.scale, c.known, c.monitor, c.work);
    EXPECT_EQ(t.minWidth, c.want.minWidth) << c.scale;
    EXPECT_EQ(t.minHeight, c.want.minHeight) << c.scale;
    EXPECT_EQ(t.hasMax, c.want.hasMax);
    EXPECT_EQ(t.maxWidth, c.want.maxWidth);
    EXPECT_EQ(t.maxHeight, c.want.maxHeight);
    EXPECT_EQ(t.maxX, c.want.maxX);
    EXPECT_EQ(t.maxY, c.want.maxY);
  }
}

TEST(BenchFrames, MouseWalksAndClipCyclesThroughFiveRows) {
  EXPECT_EQ(BenchMouse(0).x, 100);
  EXPECT_EQ(BenchMouse(0).y, 300);
  EXPECT_EQ(BenchMouse(99).x, 991);
  EXPECT_EQ(BenchMouse(99).y, 399);
  struct Case {
    int32_t frame, top, bottom;
  } cases[] = {{0, 400, 430}, {1, 428, 458}, {4, 512, 542}, {5, 400, 430}, {99, 512, 542}};
  for (const Case& c : cases) {
    const ScreenRect r = BenchClip(c.frame);
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.right, 1400);
    EXPECT_EQ(r.top, c.top) << c.frame;
    EXPECT_EQ(r.bottom, c.bottom) << c.frame;
  }
}

}  // namespace
}  // namespace tolvane
