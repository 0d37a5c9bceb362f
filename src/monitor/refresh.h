// The refresh cycle: the thread that takes a snapshot over and over and publishes it, the refresh
// request of the main thread, the pick-up rule of the window's UI timer and the status-line text.
//
// The thread's loop body (RunCycle) is public so that a test drives it on its own thread with a
// fake clock; the wait is counted in 50 ms Clock::SleepMs steps, so a real wait may run somewhat
// longer than the interval. Publishing swaps the list under PublishedRows::lock; the previous rows
// stay with the thread, outside the lock, and are overwritten by the next snapshot rather than
// freed, so readers never wait for a deallocation and a steady machine costs few allocations.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "monitor/published_rows.h"
#include "monitor/snapshot.h"
#include "monitor/traffic.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace tolvane {

inline constexpr int32_t kMinRefreshMs = 250;
inline constexpr uint32_t kRefreshWaitStepMs = 50;

// refreshNow crosses to the refresh thread; viewDirty belongs to the main thread (the window's state).
//
// A refresh request is answered only by a snapshot begun after it: a snapshot that was already
// being taken, or was published just before, still shows the old settings. So the main thread
// numbers its requests, the refresh thread reads that number before each snapshot and publishes it
// (servedRequests, stored before the snapshot counter grows), and viewDirty stays set until the
// view was rebuilt from a snapshot that serves the latest request.
struct RefreshControl {
  std::atomic<bool> refreshNow{false};
  std::atomic<uint32_t> requests{0};        // written by the main thread only
  std::atomic<uint32_t> servedRequests{0};  // written by the refresh thread only
  bool viewDirty = false;
};

// Main thread: ask the refresh thread to stop waiting and take a snapshot at once, and have the
// view follow the next snapshot even while automatic updating is off.
void RequestRefreshNow(RefreshControl& control);

// "never" when lastSnapshotTime is 0; "just now" below 2000 ms; else whole seconds + "s ago".
std::wstring LastRefreshText(uint64_t lastSnapshotTime, uint64_t now);
std::wstring LastRefreshText(const PublishedRows& published, Clock& clock);

// The counters seen at the previous view rebuild; -1 before the first.
struct ViewPickup {
  int64_t seenSnapshotCount = -1;
  int64_t seenPingCount = -1;
};

// Whether this UI tick rebuilds the view: automatic updating on (autoRefresh and not paused) or
// viewDirty, and a counter differs from the one seen at the previous rebuild.
bool ShouldRebuildView(const ViewPickup& seen, bool autoRefresh, bool capturePaused, bool viewDirty,
                       uint32_t snapshotCounter, uint32_t pingCounter);
// Bookkeeping after a rebuild: stores both counters. viewDirty is cleared once a snapshot exists
// and the published snapshot served every request made so far. servedBeforeRebuild is
// control.servedRequests read before the counters and before the rebuild copied the rows, so the
// rows the view was built from are at least as new as the snapshot that served it.
void NoteViewRebuilt(ViewPickup& seen, RefreshControl& control, uint32_t servedBeforeRebuild, uint32_t snapshotCounter,
                     uint32_t pingCounter);

class RefreshThread {
 public:
  // meter, when given, fills each snapshot's rates before it is published.
  RefreshThread(Snapshotter& snapshotter, PublishedRows& published, RefreshControl& control, Settings& settings,
                Clock& clock, const std::atomic<bool>& appRunning, TrafficMeter* meter = nullptr);
  // Joins, so the thread never outlives what it references; the owner clears appRunning first
  // (joining a running thread waits for appRunning to clear).
  ~RefreshThread();
  RefreshThread(const RefreshThread&) = delete;
  RefreshThread& operator=(const RefreshThread&) = delete;

  // One cycle: snapshot, publish, wait, clear refreshNow. False, doing nothing, once appRunning is clear.
  bool RunCycle();
  // The thread body: cycles until appRunning clears.
  void Run();

  // Starts the thread (once); Join waits for it to end after appRunning was cleared.
  void Start();
  void Join();
  bool Running() const { return thread_.joinable(); }

 private:
  Snapshotter& snapshotter_;
  PublishedRows& published_;
  RefreshControl& control_;
  Settings& settings_;
  Clock& clock_;
  const std::atomic<bool>& appRunning_;
  TrafficMeter* meter_;
  RowList spare_;  // the previous snapshot's rows, recycled by the next one
  std::thread thread_;
};

}  // namespace tolvane
