// PingService: see ping_service.h.
//
// Waits go through Clock in 50 ms steps so that shutdown and a queued request are noticed within one
// step, and so that tests can drive the loop with a fake clock. A worker thread that cannot be
// started (the system is out of threads) is simply left out; the remaining workers cover its targets,
// and the next cycle tries to start it again.
#include "latency/ping_service.h"

#include <algorithm>
#include <system_error>
#include <unordered_set>

#include "monitor/address.h"

namespace tolvane {

int32_t DemoSample(std::wstring_view address, uint32_t k) {
  uint32_t hash = 0;
  for (wchar_t unit : address) hash = hash * 31u + static_cast<uint32_t>(unit);
  if (k % 17u == 5u) return -1;
  const uint32_t value = (k * 7919u) % 23u + hash % 50u + ((k / 3u) % 4u) * 6u + 24u;
  return static_cast<int32_t>(value);
}

int32_t PingOnce(Icmp& icmp, IcmpHandle handle, std::wstring_view address, uint32_t timeoutMs, bool demoMode,
                 std::atomic<uint32_t>& demoCounter) {
  // Only ASCII is ever an address. Checking it here (rather than narrowing each unit to a byte)
  // keeps a text such as "1.2.3.4" followed by a NUL and garbage, or one with a non-ASCII unit whose
  // low byte is a digit, from being pinged as if it were an address.
  if (address.empty()) return -1;
  for (wchar_t unit : address) {
    if (unit <= 0 || unit > 127) return -1;
  }
  const std::optional<Ipv4Bytes> parsed = InetPton4(address);
  if (!parsed) return -1;
  if (demoMode) return DemoSample(address, demoCounter.fetch_add(1, std::memory_order_relaxed));
  const int32_t rtt = icmp.SendEcho(handle, *parsed, timeoutMs);
  if (rtt < 0) return -1;
  return rtt == 0 ? 1 : rtt;
}

PingService::PingService(const Settings& settings, PublishedRows& rows, const CallPrefixList& prefixes,
                         LatencyBook& book, Icmp& icmp, Clock& clock, const std::atomic<bool>& appRunning,
                         const std::atomic<bool>& panelOpen, bool demoMode)
    : settings_(settings),
      rows_(rows),
      prefixes_(prefixes),
      book_(book),
      icmp_(icmp),
      clock_(clock),
      appRunning_(appRunning),
      panelOpen_(panelOpen),
      demoMode_(demoMode) {}

PingService::~PingService() {
  Join();
  StopWorkers();
}

void PingService::Start() {
  if (thread_.joinable()) return;
  try {
    thread_ = std::thread([this] { PingLoop(); });
  } catch (const std::system_error&) {
    // The system could not start a thread: the program goes on without this service.
  }
}

void PingService::Join() {
  if (thread_.joinable()) thread_.join();
}

void PingService::RequestPing(const std::wstring& address) {
  std::lock_guard<std::mutex> guard(requestLock_);
  requests_.push_back(address);
}

void PingService::SetPingFocus(const std::wstring& address) {
  std::lock_guard<std::mutex> guard(focusLock_);
  focus_ = address;
}

std::wstring PingService::PingFocus() const {
  std::lock_guard<std::mutex> guard(focusLock_);
  return focus_;
}

bool PingService::RequestPending() const {
  std::lock_guard<std::mutex> guard(requestLock_);
  return !requests_.empty();
}

std::vector<std::wstring> PingService::TakeRequests() {
  std::vector<std::wstring> taken;
  std::lock_guard<std::mutex> guard(requestLock_);
  taken.swap(requests_);
  return taken;
}

int32_t PingService::PingOnce(IcmpHandle handle, std::wstring_view address, uint32_t timeoutMs) {
  return tolvane::PingOnce(icmp_, handle, address, timeoutMs, demoMode_, demoCounter_);
}

void PingService::Wait(int steps, bool untilRequest) {
  for (int i = 0; i < steps && Running(); ++i) {
    if (untilRequest && RequestPending()) return;
    clock_.SleepMs(kWaitStepMs);
  }
}

std::vector<std::wstring> PingService::BuildTargets() {
  std::vector<std::wstring> targets;
  std::unordered_set<std::wstring> seen;
  auto add = [&](const std::wstring& address) {
    if (targets.size() < kMaxTargets && seen.insert(address).second) targets.push_back(address);
  };
  if (panelOpen_.load(std::memory_order_acquire)) {
    const std::wstring focus = PingFocus();  // focus lock released here, before the rows lock
    if (focus.find(L':') == std::wstring::npos && !IsLocalAddress(focus)) add(focus);
  }
  auto pingable = [](const ConnectionRow& row) {
    return !row.remoteAddress.empty() && row.remoteAddress != L"*" && !IsLocalAddress(row.remoteAddress);
  };
  std::lock_guard<std::mutex> guard(rows_.lock);
  for (const ConnectionRow& row : rows_.rows) {
    if (targets.size() >= kMaxTargets) break;
    if (pingable(row) && row.category == L"discord" && prefixes_.MatchesCallPrefix(row.remoteAddress)) {
      add(row.remoteAddress);
    }
  }
  for (const ConnectionRow& row : rows_.rows) {
    if (targets.size() >= kMaxTargets) break;
    if (pingable(row)) add(row.remoteAddress);
  }
  return targets;
}

void PingService::WorkerBody(IcmpHandle handle, const std::vector<std::wstring>& targets, std::atomic<size_t>& next) {
  if (handle == kNoIcmpHandle) return;
  while (Running()) {
    const size_t index = next.fetch_add(1, std::memory_order_relaxed);
    if (index >= targets.size()) break;
    if (RequestPending()) break;
    book_.RecordSample(targets[index], PingOnce(handle, targets[index], kTargetTimeoutMs));
  }
}

void PingService::WorkerThread(size_t index) {
  IcmpHandle handle = icmp_.Open();
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(poolLock_);
  for (;;) {
    poolWake_.wait(lock, [&] { return stopping_ || (cycle_ != seen && index < taking_); });
    if (stopping_) break;
    seen = cycle_;
    const std::vector<std::wstring>& targets = *targets_;
    std::atomic<size_t>& next = *next_;
    lock.unlock();
    if (handle == kNoIcmpHandle) handle = icmp_.Open();  // refused before: try once per cycle
    WorkerBody(handle, targets, next);
    lock.lock();
    if (--busy_ == 0) poolDone_.notify_one();
  }
  lock.unlock();
  icmp_.Close(handle);
}

void PingService::PingTargets(const std::vector<std::wstring>& targets) {
  if (targets.empty()) return;
  const size_t helpers = (targets.size() < kMaxWorkers ? targets.size() : kMaxWorkers) - 1;
  std::atomic<size_t> next{0};
  {
    std::lock_guard<std::mutex> guard(poolLock_);
    while (workers_.size() < helpers) {
      try {
        workers_.emplace_back([this, index = workers_.size()] { WorkerThread(index); });
      } catch (const std::system_error&) {
        break;
      }
    }
    ++cycle_;
    taking_ = std::min(helpers, workers_.size());
    busy_ = taking_;
    targets_ = &targets;
    next_ = &next;
  }
  poolWake_.notify_all();
  if (ownHandle_ == kNoIcmpHandle) ownHandle_ = icmp_.Open();
  WorkerBody(ownHandle_, targets, next);
  std::unique_lock<std::mutex> lock(poolLock_);
  poolDone_.wait(lock, [this] { return busy_ == 0; });
  targets_ = nullptr;
  next_ = nullptr;
}

void PingService::StopWorkers() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> guard(poolLock_);
    stopping_ = true;
    workers.swap(workers_);
  }
  poolWake_.notify_all();
  for (std::thread& t : workers) t.join();
  {
    std::lock_guard<std::mutex> guard(poolLock_);
    stopping_ = false;
  }
  icmp_.Close(ownHandle_);
  ownHandle_ = kNoIcmpHandle;
}

void PingService::PingLoop() {
  // One handle serves the requests and this thread's share of each cycle: they never overlap.
  while (Running()) {
    if (!settings_.enablePing.load()) {
      Wait(6, false);
      continue;
    }
    if (ownHandle_ == kNoIcmpHandle) ownHandle_ = icmp_.Open();
    if (ownHandle_ == kNoIcmpHandle) {
      Wait(20, false);
      continue;
    }
    for (const std::wstring& address : TakeRequests()) {
      if (!Running()) break;
      book_.RecordSample(address, PingOnce(ownHandle_, address, kRequestTimeoutMs));
    }
    if (!Running()) break;
    const std::vector<std::wstring> targets = BuildTargets();
    if (targets.empty()) {
      Wait(8, false);
      continue;
    }
    PingTargets(targets);
    Wait(8, true);
  }
  StopWorkers();
}

}  // namespace tolvane
