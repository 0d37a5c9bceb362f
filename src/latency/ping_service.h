// PingService: the permanent ping thread that keeps the LatencyBook filled.
//
// Each cycle first serves the out-of-turn requests ("Re-ping", a lookup being opened), then picks at
// most 32 addresses from the published rows (the open lookup's address first, then Discord call
// servers, then the rest) and pings them from up to six threads at once, each with its own ICMP
// handle. Workers stop taking new targets as soon as a request is queued, so a request waits for at
// most the pings already in flight.
//
// The five helper workers and their handles are made when a cycle first needs them and kept until
// the ping thread ends: each cycle only wakes them (one condition variable), so an idle cycle starts
// no thread and opens no handle. The ping thread pings with its own handle beside them.
//
// Locks: the request lock and the focus lock are the service's own; PublishedRows' lock is held
// while targets are chosen, with the prefix list's lock taken inside it (the only nesting). The focus
// lock is always released before the rows lock is taken. No lock is held during a ping.
//
// In demonstration mode no packet leaves the machine: PingOnce derives a plausible time from the
// address and a counter.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capture/call_prefix.h"
#include "latency/latency_book.h"
#include "monitor/published_rows.h"
#include "platform/clock.h"
#include "platform/icmp.h"
#include "settings/settings.h"

namespace tolvane {

// The demonstration stand-in for one ping of address with counter value k: -1 when k mod 17 is 5,
// otherwise 24 to 113 ms (address hashed as UTF-16 code units).
int32_t DemoSample(std::wstring_view address, uint32_t k);

// One echo request. -1 unless address is dotted IPv4 text (ASCII only). In demoMode no packet is
// sent: the result is DemoSample with the next value of demoCounter.
int32_t PingOnce(Icmp& icmp, IcmpHandle handle, std::wstring_view address, uint32_t timeoutMs, bool demoMode,
                 std::atomic<uint32_t>& demoCounter);

class PingService {
 public:
  static constexpr size_t kMaxTargets = 32;
  static constexpr size_t kMaxWorkers = 6;
  static constexpr uint32_t kRequestTimeoutMs = 900;
  static constexpr uint32_t kTargetTimeoutMs = 500;
  static constexpr uint32_t kWaitStepMs = 50;

  // panelOpen is the lookup panel's open flag: while it is set the ping focus address leads every
  // cycle. All references must outlive the service.
  PingService(const Settings& settings, PublishedRows& rows, const CallPrefixList& prefixes, LatencyBook& book,
              Icmp& icmp, Clock& clock, const std::atomic<bool>& appRunning, const std::atomic<bool>& panelOpen,
              bool demoMode);
  ~PingService();  // joins the thread if the owner forgot to, then stops the workers
  PingService(const PingService&) = delete;
  PingService& operator=(const PingService&) = delete;

  // Starts the ping thread (once). It runs until appRunning is cleared; Join then waits for it.
  void Start();
  void Join();

  // Queues address to be pinged at the start of the next cycle. Any thread.
  void RequestPing(const std::wstring& address);
  // The address of the current lookup. Any thread.
  void SetPingFocus(const std::wstring& address);
  std::wstring PingFocus() const;
  bool RequestPending() const;

  // The thread body; public so a test can run it on its own thread with a fake clock.
  void PingLoop();

  // This cycle's targets: no duplicates, at most kMaxTargets.
  std::vector<std::wstring> BuildTargets();

  // Pings targets from min(6, count) threads (this one, with the service's own handle, and that many
  // kept workers less one) sharing one index, recording each sample; returns when every worker of
  // the cycle has stopped. The thread that calls it must be the only one that does.
  void PingTargets(const std::vector<std::wstring>& targets);
  // Ends and joins the kept workers and closes every handle (the ping thread does it as it ends).
  void StopWorkers();

  int32_t PingOnce(IcmpHandle handle, std::wstring_view address, uint32_t timeoutMs);

 private:
  void WorkerBody(IcmpHandle handle, const std::vector<std::wstring>& targets, std::atomic<size_t>& next);
  // A kept worker: waits for a cycle it takes part in, pings, reports, until StopWorkers.
  void WorkerThread(size_t index);
  std::vector<std::wstring> TakeRequests();
  bool Running() const { return appRunning_.load(std::memory_order_acquire); }
  // Sleeps up to steps x 50 ms; stops early when the app stops or, if untilRequest, a request arrives.
  void Wait(int steps, bool untilRequest);

  const Settings& settings_;
  PublishedRows& rows_;
  const CallPrefixList& prefixes_;
  LatencyBook& book_;
  Icmp& icmp_;
  Clock& clock_;
  const std::atomic<bool>& appRunning_;
  const std::atomic<bool>& panelOpen_;
  const bool demoMode_;

  std::atomic<uint32_t> demoCounter_{0};
  mutable std::mutex requestLock_;  // the ping request lock
  std::vector<std::wstring> requests_;
  mutable std::mutex focusLock_;  // the ping focus lock
  std::wstring focus_;
  std::thread thread_;

  // The kept workers. The cycle fields are written under poolLock_ by the thread in PingTargets and
  // read by the workers once woken; targets_ and next_ stay valid until every worker reported.
  IcmpHandle ownHandle_ = kNoIcmpHandle;  // the pinging thread's handle, owned by that thread
  std::mutex poolLock_;
  std::condition_variable poolWake_;  // a cycle starts, or the workers stop
  std::condition_variable poolDone_;  // a worker finished its part of the cycle
  std::vector<std::thread> workers_;
  uint64_t cycle_ = 0;  // numbers the cycles; a worker takes part once per number
  size_t taking_ = 0;   // workers 0 .. taking_ - 1 take part in the current cycle
  size_t busy_ = 0;     // of those, the ones still pinging
  bool stopping_ = false;
  const std::vector<std::wstring>* targets_ = nullptr;
  std::atomic<size_t>* next_ = nullptr;
};

}  // namespace tolvane
