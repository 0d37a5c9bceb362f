// The refresh thread and the window's pick-up rule.
#include "monitor/refresh.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace tolvane {

void RequestRefreshNow(RefreshControl& control) {
  control.requests.fetch_add(1);  // before refreshNow, so the snapshot it wakes reads the new number
  control.refreshNow.exchange(true);
  control.viewDirty = true;
}

std::wstring LastRefreshText(uint64_t lastSnapshotTime, uint64_t now) {
  if (lastSnapshotTime == 0) return L"never";
  // A stamp later than now (clock read on another thread just before the stamp) is "just now",
  // not an underflowed age of millions of years.
  const uint64_t d = now > lastSnapshotTime ? now - lastSnapshotTime : 0;
  if (d < 2000) return L"just now";
  return std::to_wstring(d / 1000) + L"s ago";
}

std::wstring LastRefreshText(const PublishedRows& published, Clock& clock) {
  return LastRefreshText(published.lastSnapshotTime.load(), clock.TickMs());
}

bool ShouldRebuildView(const ViewPickup& seen, bool autoRefresh, bool capturePaused, bool viewDirty,
                       uint32_t snapshotCounter, uint32_t pingCounter) {
  const bool following = (autoRefresh && !capturePaused) || viewDirty;
  if (!following) return false;
  return seen.seenSnapshotCount != static_cast<int64_t>(snapshotCounter) ||
         seen.seenPingCount != static_cast<int64_t>(pingCounter);
}

void NoteViewRebuilt(ViewPickup& seen, RefreshControl& control, uint32_t servedBeforeRebuild, uint32_t snapshotCounter,
                     uint32_t pingCounter) {
  seen.seenSnapshotCount = snapshotCounter;
  seen.seenPingCount = pingCounter;
  // Equality, not >=: both counts only grow and wrap together, and served never passes requests.
  if (snapshotCounter != 0 && servedBeforeRebuild == control.requests.load()) control.viewDirty = false;
}

RefreshThread::RefreshThread(Snapshotter& snapshotter, PublishedRows& published, RefreshControl& control,
                             Settings& settings, Clock& clock, const std::atomic<bool>& appRunning, TrafficMeter* meter)
    : snapshotter_(snapshotter),
      published_(published),
      control_(control),
      settings_(settings),
      clock_(clock),
      appRunning_(appRunning),
      meter_(meter) {}

RefreshThread::~RefreshThread() { Join(); }

bool RefreshThread::RunCycle() {
  if (!appRunning_.load()) return false;
  const uint32_t request = control_.requests.load();  // the requests this snapshot answers
  // spare_ holds the rows of the snapshot before the last one; the snapshot overwrites them in
  // place, which spares most of its allocations, and the swap hands it the last one's rows.
  snapshotter_.TakeSnapshot(spare_);
  if (meter_ != nullptr) meter_->Update(spare_, clock_.TickMs());
  {
    std::lock_guard<std::mutex> guard(published_.lock);
    std::swap(spare_, published_.rows);
  }
  control_.servedRequests.store(request);  // after the swap: a reader of this value copies rows this new
  published_.lastSnapshotTime.exchange(clock_.TickMs());
  published_.snapshotCounter.fetch_add(1);

  const int32_t interval = std::max<int32_t>(settings_.refreshMs, kMinRefreshMs);
  int64_t elapsed = 0;
  while (appRunning_.load() && !control_.refreshNow.load()) {
    clock_.SleepMs(kRefreshWaitStepMs);
    elapsed += kRefreshWaitStepMs;
    if (elapsed >= interval) break;
  }
  control_.refreshNow.exchange(false);
  return true;
}

void RefreshThread::Run() {
  while (RunCycle()) {
  }
}

void RefreshThread::Start() {
  if (thread_.joinable()) return;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // The system could not start a thread: the program goes on without this service.
  }
}

void RefreshThread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tolvane
