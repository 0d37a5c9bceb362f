// The refresh cycle driven with a clock that only moves when the loop sleeps: the wait interval and
// its floor, refresh requests during a snapshot and during the wait, stopping, publication, the
// status-line text and the window's pick-up rule.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "fakes/fake_process_list.h"
#include "fakes/fake_socket_tables.h"
#include "monitor/refresh.h"

namespace tolvane {
namespace {

// A fake clock whose sleeps can run test code: the n-th sleep (1-based) calls onSleep(n).
class SteppingClock final : public Clock {
 public:
  uint64_t TickMs() override { return tickMs.load(); }
  int64_t SystemNs() override { return 0; }
  int64_t MonotonicNs() override { return 0; }
  void SleepMs(uint32_t ms) override {
    tickMs.fetch_add(ms);
    const uint64_t n = sleeps.fetch_add(1) + 1;
    if (onSleep) onSleep(n);
  }
  std::atomic<uint64_t> tickMs{100000};
  std::atomic<uint64_t> sleeps{0};
  std::function<void(uint64_t)> onSleep;
};

class RefreshTest : public testing::Test {
 protected:
  RefreshTest() {
    processes.processes = {{7, L"chrome.exe"}};
    tables.tcp4 = {Tcp(7, V4(10, 0, 0, 2), 5000, V4(8, 8, 8, 8), 443)};
  }
  Settings settings;
  CaptureTable capture;
  FakeSocketTables tables;
  FakeProcessList processes;
  SteppingClock clock;
  std::atomic<bool> appRunning{true};
  PublishedRows published;
  RefreshControl control;
  Snapshotter snapshotter{settings, capture, tables, processes, clock, false};
  RefreshThread refresh{snapshotter, published, control, settings, clock, appRunning};
};

TEST_F(RefreshTest, WaitsTheIntervalInFiftyMillisecondSteps) {
  struct Case {
    int32_t refreshMs;
    uint64_t sleeps;
  };
  const Case cases[] = {{100, 5}, {0, 5}, {-20, 5}, {250, 5}, {251, 6}, {500, 10}, {5000, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "refreshMs " << c.refreshMs);
    settings.refreshMs = c.refreshMs;
    const uint64_t before = clock.sleeps.load();
    ASSERT_TRUE(refresh.RunCycle());
    EXPECT_EQ(clock.sleeps.load() - before, c.sleeps);
  }
}

TEST_F(RefreshTest, PublishesCountsAndStampsEverySnapshot) {
  EXPECT_EQ(published.snapshotCounter.load(), 0u);
  EXPECT_EQ(published.lastSnapshotTime.load(), 0u);
  const uint64_t start = clock.TickMs();
  ASSERT_TRUE(refresh.RunCycle());
  EXPECT_EQ(published.snapshotCounter.load(), 1u);
  EXPECT_EQ(published.lastSnapshotTime.load(), start);  // stamped before the wait
  ASSERT_EQ(published.CopyRows().size(), 1u);
  EXPECT_EQ(published.CopyRows()[0].remoteEndpoint, L"8.8.8.8:443");

  // An empty snapshot still counts and replaces the previous rows.
  tables.tcp4.clear();
  ASSERT_TRUE(refresh.RunCycle());
  EXPECT_EQ(published.snapshotCounter.load(), 2u);
  EXPECT_EQ(published.lastSnapshotTime.load(), start + 500);
  EXPECT_TRUE(published.CopyRows().empty());
}

TEST_F(RefreshTest, RequestDuringASnapshotGivesExactlyOneMoreAtOnce) {
  settings.refreshMs = 500;
  int snapshotsSeen = 0;
  tables.onQuery = [&](SocketTableKind kind) {
    if (kind != SocketTableKind::Tcp4) return;
    if (++snapshotsSeen == 1) RequestRefreshNow(control);
  };
  ASSERT_TRUE(refresh.RunCycle());
  EXPECT_EQ(clock.sleeps.load(), 0u);  // the wait ended at once
  EXPECT_FALSE(control.refreshNow.load());
  EXPECT_TRUE(control.viewDirty);
  ASSERT_TRUE(refresh.RunCycle());
  EXPECT_EQ(clock.sleeps.load(), 10u);  // the next one waits the whole interval again
  EXPECT_EQ(published.snapshotCounter.load(), 2u);
}

TEST_F(RefreshTest, RequestDuringTheWaitIsNoticedWithinOneStep) {
  settings.refreshMs = 5000;
  clock.onSleep = [&](uint64_t n) {
    if (n == 3) RequestRefreshNow(control);
  };
  ASSERT_TRUE(refresh.RunCycle());
  EXPECT_EQ(clock.sleeps.load(), 3u);
  EXPECT_FALSE(control.refreshNow.load());
}

TEST_F(RefreshTest, StopsWithinOneWaitStep) {
  settings.refreshMs = 5000;
  clock.onSleep = [&](uint64_t n) {
    if (n == 4) appRunning.store(false);
  };
  ASSERT_TRUE(refresh.RunCycle());
  EXPECT_EQ(clock.sleeps.load(), 4u);
  EXPECT_FALSE(refresh.RunCycle());
  EXPECT_EQ(processes.snapshots, 1);  // no snapshot after the flag cleared
  EXPECT_EQ(published.snapshotCounter.load(), 1u);
}

TEST_F(RefreshTest, ClosingDuringASnapshotEndsRightAfterItsPublication) {
  tables.onQuery = [&](SocketTableKind kind) {
    if (kind == SocketTableKind::Tcp4) appRunning.store(false);
  };
  ASSERT_TRUE(refresh.RunCycle());
  EXPECT_EQ(published.snapshotCounter.load(), 1u);
  EXPECT_EQ(clock.sleeps.load(), 0u);
  refresh.Run();  // returns at once
  EXPECT_EQ(processes.snapshots, 1);
}

TEST_F(RefreshTest, ThreadStartsAndJoins) {
  std::mutex m;
  std::condition_variable cv;
  int snapshots = 0;
  tables.onQuery = [&](SocketTableKind kind) {
    // Once per snapshot: the first table's read (its size query, on the first snapshot only, offers no buffer).
    if (kind != SocketTableKind::Tcp4 || tables.offeredSizes[0].back() == 0) return;
    std::lock_guard<std::mutex> guard(m);
    ++snapshots;
    cv.notify_all();
  };
  refresh.Start();
  EXPECT_TRUE(refresh.Running());
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return snapshots >= 3; }));
  }
  appRunning.store(false);
  refresh.Join();
  EXPECT_FALSE(refresh.Running());
  EXPECT_GE(published.snapshotCounter.load(), 3u);
  EXPECT_EQ(published.CopyRows().size(), 1u);
}

TEST(LastRefreshText, Texts) {
  struct Case {
    uint64_t last, now;
    const wchar_t* text;
  };
  const Case cases[] = {
      {0, 0, L"never"},          {0, 999999, L"never"},   {1000, 1000, L"just now"}, {1000, 2999, L"just now"},
      {1000, 3000, L"2s ago"},   {1000, 3999, L"2s ago"}, {1000, 4000, L"3s ago"},   {1000, 62000, L"61s ago"},
      {5000, 4000, L"just now"},  // a stamp newer than the reading clock
  };
  for (const Case& c : cases) EXPECT_EQ(LastRefreshText(c.last, c.now), c.text) << c.last << " " << c.now;

  PublishedRows published;
  SteppingClock clock;
  EXPECT_EQ(LastRefreshText(published, clock), L"never");
  published.lastSnapshotTime = clock.TickMs() - 12345;
  EXPECT_EQ(LastRefreshText(published, clock), L"12s ago");
}

// The window's TIMER_UI ticks in sequence: whether each rebuilds the view, and the bookkeeping.
TEST(ViewPickup, FollowsSnapshotsOnlyWhileUpdatingOrAsked) {
  // fresh: the snapshot published by this tick was begun after every request so far.
  struct Tick {
    const char* what;
    bool autoRefresh, paused, request;
    uint32_t snapshots, pings;
    bool fresh, rebuild, dirtyAfter;
  };
  const Tick ticks[] = {
      {"first tick builds the empty view", true, false, false, 0, 0, true, true, false},
      {"nothing new", true, false, false, 0, 0, true, false, false},
      {"a snapshot", true, false, false, 1, 0, true, true, false},
      {"a ping sample", true, false, false, 1, 1, true, true, false},
      {"paused: snapshots are not followed", true, true, false, 2, 1, true, false, false},
      {"paused: nor ping samples", true, true, false, 3, 2, true, false, false},
      {"paused, refresh asked: follows the fresh snapshot", true, true, true, 4, 2, true, true, false},
      {"paused again: stops following", true, true, false, 5, 2, true, false, false},
      {"autoRefresh off: not followed", false, false, false, 6, 2, true, false, false},
      {"autoRefresh off, asked: follows once", false, false, true, 7, 2, true, true, false},
      {"autoRefresh off: stops again", false, false, false, 8, 3, true, false, false},
      // The fault this guards: a ping sample (or a snapshot begun before the request) arrives
      // first; the view is rebuilt from old rows and must keep following until the fresh one.
      {"paused, asked: a ping sample comes first", true, true, true, 8, 4, false, true, true},
      {"paused: an old snapshot published after the request", true, true, false, 9, 4, false, true, true},
      {"paused: the snapshot begun after the request", true, true, false, 10, 4, true, true, false},
      {"paused: following ends", true, true, false, 11, 5, true, false, false},
      {"resumed: catches up", true, false, false, 11, 5, true, true, false},
  };
  ViewPickup seen;
  RefreshControl control;
  for (const Tick& t : ticks) {
    SCOPED_TRACE(t.what);
    if (t.request) RequestRefreshNow(control);
    if (t.fresh) control.servedRequests.store(control.requests.load());
    const uint32_t served = control.servedRequests.load();
    const bool rebuild = ShouldRebuildView(seen, t.autoRefresh, t.paused, control.viewDirty, t.snapshots, t.pings);
    EXPECT_EQ(rebuild, t.rebuild);
    if (rebuild) {
      NoteViewRebuilt(seen, control, served, t.snapshots, t.pings);
      EXPECT_EQ(seen.seenSnapshotCount, t.snapshots);
      EXPECT_EQ(seen.seenPingCount, t.pings);
    }
    EXPECT_EQ(control.viewDirty, t.dirtyAfter);
  }
}

TEST(ViewPickup, ARequestBeforeTheFirstSnapshotStaysPending) {
  ViewPickup seen;
  RefreshControl control;
  RequestRefreshNow(control);
  ASSERT_TRUE(ShouldRebuildView(seen, false, false, control.viewDirty, 0, 0));
  NoteViewRebuilt(seen, control, 0, 0, 0);
  EXPECT_TRUE(control.viewDirty);  // no snapshot yet: the view must still follow the first one
  EXPECT_FALSE(ShouldRebuildView(seen, false, false, control.viewDirty, 0, 0));
  ASSERT_TRUE(ShouldRebuildView(seen, false, false, control.viewDirty, 1, 0));
  NoteViewRebuilt(seen, control, 1, 1, 0);
  EXPECT_FALSE(control.viewDirty);
  EXPECT_FALSE(ShouldRebuildView(seen, false, false, control.viewDirty, 2, 0));
}

TEST(RequestRefreshNow, SetsBothFlagsAndNumbersTheRequest) {
  RefreshControl control;
  RequestRefreshNow(control);
  RequestRefreshNow(control);
  EXPECT_TRUE(control.refreshNow.load());
  EXPECT_TRUE(control.viewDirty);
  EXPECT_EQ(control.requests.load(), 2u);
}

TEST_F(RefreshTest, ASnapshotServesOnlyTheRequestsMadeBeforeItBegan) {
  settings.refreshMs = 500;
  int snapshotsSeen = 0;
  tables.onQuery = [&](SocketTableKind kind) {
    if (kind == SocketTableKind::Tcp4 && ++snapshotsSeen == 1) RequestRefreshNow(control);
  };
  ASSERT_TRUE(refresh.RunCycle());  // the request came while this snapshot was being taken
  EXPECT_EQ(control.requests.load(), 1u);
  EXPECT_EQ(control.servedRequests.load(), 0u);
  ASSERT_TRUE(refresh.RunCycle());  // begun after it
  EXPECT_EQ(control.servedRequests.load(), 1u);
}

}  // namespace
}  // namespace tolvane
