// PingService and PingOnce: target choice, the demonstration formula, request handling during a
// cycle and the thread loop's waits, all with a fake ICMP service and a fake clock.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_icmp.h"
#include "latency/ping_service.h"

namespace tolvane {
namespace {

ConnectionRow Row(const std::wstring& address, const std::wstring& category) {
  ConnectionRow r;
  r.processName = category + L".exe";
  r.protocol = L"UDP4";
  r.remoteAddress = address;
  r.category = category;
  return r;
}

Ipv4Bytes Bytes(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return Ipv4Bytes{a, b, c, d}; }
// Bytes of an address text through the platform's own parser (what the fake ICMP is keyed by).
Ipv4Bytes Ip(const wchar_t* text) { return InetPton4(text).value(); }

// A clock that clears the running flag after a given number of sleeps, so a loop that only waits
// can be run to a known point.
class StoppingClock final : public Clock {
 public:
  StoppingClock(std::atomic<bool>& running, uint64_t stopAfter) : running_(running), stopAfter_(stopAfter) {}
  uint64_t TickMs() override { return tick; }
  int64_t SystemNs() override { return 0; }
  int64_t MonotonicNs() override { return 0; }
  void SleepMs(uint32_t ms) override {
    tick += ms;
    if (++sleeps >= stopAfter_) running_.store(false);
  }
  uint64_t tick = 0;
  uint64_t sleeps = 0;

 private:
  std::atomic<bool>& running_;
  uint64_t stopAfter_;
};

struct Rig {
  explicit Rig(Clock& c, bool demo = false)
      : clock(c), service(settings, published, prefixes, book, icmp, clock, running, panelOpen, demo) {
    prefixes.RebuildPrefixList(L"104,3");
  }
  Settings settings;
  PublishedRows published;
  CallPrefixList prefixes;
  LatencyBook book;
  FakeIcmp icmp;
  Clock& clock;
  std::atomic<bool> running{true};
  std::atomic<bool> panelOpen{false};
  PingService service;
};

TEST(PingOnceTest, ParsesOnlyAsciiDottedIpv4) {
  struct Case {
    std::wstring address;
    int32_t reply;  // what the fake answers
    int32_t expected;
    bool sends;
  };
  const Case cases[] = {
      {L"8.8.8.8", 17, 17, true},
      {L"8.8.8.8", 0, 1, true},  // a zero round trip is raised to 1
      {L"8.8.8.8", -1, -1, true},
      {L"", 5, -1, false},
      {L"*", 5, -1, false},
      {L"2001:db8::1", 5, -1, false},
      {L"8.8.8", 5, -1, false},
      {L"8.8.8.256", 5, -1, false},
      {L"host.example", 5, -1, false},
      {std::wstring(L"8.8.8.8\0junk", 12), 5, -1, false},
      {L"8.8.8.\u0138", 5, -1, false},  // low byte 0x38 is "8"
  };
  for (const Case& c : cases) {
    FakeIcmp icmp;
    icmp.defaultReply = c.reply;
    std::atomic<uint32_t> counter{0};
    EXPECT_EQ(PingOnce(icmp, 100, c.address, 500, false, counter), c.expected) << c.address.size();
    ASSERT_EQ(icmp.Sends().size(), c.sends ? 1u : 0u) << c.address.size();
    if (c.sends) {
      EXPECT_EQ(icmp.Sends()[0].address, Bytes(8, 8, 8, 8));
      EXPECT_EQ(icmp.Sends()[0].timeoutMs, 500u);
    }
    EXPECT_EQ(counter.load(), 0u);
  }
}

TEST(PingOnceTest, DemonstrationFormula) {
  // Values worked out by hand from the formula.
  EXPECT_EQ(DemoSample(L"1.1.1.1", 0), 58);
  EXPECT_EQ(DemoSample(L"1.1.1.1", 5), -1);
  EXPECT_EQ(DemoSample(L"104.18.12.201", 7), 75);
  EXPECT_EQ(DemoSample(L"8.8.8.8", 40), 70);

  // Over many counter values exactly one in 17 is lost and every other lies in 24..113.
  int lost = 0, low = 1000, high = 0;
  for (uint32_t k = 0; k < 17 * 300; ++k) {
    for (const wchar_t* a : {L"1.1.1.1", L"35.214.40.77", L"255.255.255.255", L"0.0.0.0"}) {
      const int32_t v = DemoSample(a, k);
      if (v == -1) {
        ++lost;
        EXPECT_EQ(k % 17, 5u);
      } else {
        low = std::min(low, v);
        high = std::max(high, v);
      }
    }
  }
  EXPECT_EQ(lost, 300 * 4);
  EXPECT_GE(low, 24);
  EXPECT_LE(high, 113);

  // PingOnce in demonstration mode sends nothing and steps the counter once per IPv4 address.
  FakeIcmp icmp;
  std::atomic<uint32_t> counter{0};
  EXPECT_EQ(PingOnce(icmp, 100, L"1.1.1.1", 500, true, counter), 58);
  EXPECT_EQ(PingOnce(icmp, 100, L"nonsense", 500, true, counter), -1);
  EXPECT_EQ(counter.load(), 1u);
  for (int i = 0; i < 4; ++i) PingOnce(icmp, 100, L"1.1.1.1", 500, true, counter);
  EXPECT_EQ(PingOnce(icmp, 100, L"1.1.1.1", 500, true, counter), -1);  // k = 5
  EXPECT_TRUE(icmp.Sends().empty());
}

TEST(PingServiceTest, TargetChoice) {
  FakeClock clock;
  Rig rig(clock);
  RowList& rows = rig.published.rows;
  for (int i = 1; i <= 40; ++i) rows.push_back(Row(L"20.0.0." + std::to_wstring(i), L"browser"));
  rows.push_back(Row(L"20.0.0.1", L"browser"));    // duplicate
  rows.push_back(Row(L"192.168.1.10", L"other"));  // local
  rows.push_back(Row(L"*", L"discord"));           // no peer
  rows.push_back(Row(L"", L"discord"));
  rows.push_back(Row(L"66.22.199.5", L"discord"));  // Discord, but not a call prefix
  rows.push_back(Row(L"104.18.12.201", L"discord"));
  rows.push_back(Row(L"104.18.12.201", L"discord"));
  rows.push_back(Row(L"35.214.40.77", L"discord"));
  rows.push_back(Row(L"104.1.1.1", L"game"));  // call prefix, but not Discord

  struct Case {
    bool panelOpen;
    std::wstring focus;
    std::vector<std::wstring> head;
  };
  const Case cases[] = {
      {false, L"", {L"104.18.12.201", L"35.214.40.77", L"20.0.0.1", L"20.0.0.2"}},
      {false, L"9.9.9.9", {L"104.18.12.201", L"35.214.40.77", L"20.0.0.1"}},
      {true, L"9.9.9.9", {L"9.9.9.9", L"104.18.12.201", L"35.214.40.77", L"20.0.0.1"}},
      {true, L"20.0.0.40", {L"20.0.0.40", L"104.18.12.201", L"35.214.40.77", L"20.0.0.1"}},
      {true, L"10.1.2.3", {L"104.18.12.201", L"35.214.40.77", L"20.0.0.1"}},
      {true, L"2606:4700::1", {L"104.18.12.201", L"35.214.40.77", L"20.0.0.1"}},
      {true, L"", {L"104.18.12.201", L"35.214.40.77", L"20.0.0.1"}},
  };
  for (const Case& c : cases) {
    rig.panelOpen.store(c.panelOpen);
    rig.service.SetPingFocus(c.focus);
    const std::vector<std::wstring> targets = rig.service.BuildTargets();
    ASSERT_EQ(targets.size(), 32u) << c.focus;
    for (size_t i = 0; i < c.head.size(); ++i) EXPECT_EQ(targets[i], c.head[i]) << c.focus << " at " << i;
    EXPECT_EQ(std::set<std::wstring>(targets.begin(), targets.end()).size(), targets.size()) << "duplicates";
    for (const std::wstring& t : targets) {
      EXPECT_NE(t, L"192.168.1.10");
      EXPECT_NE(t, L"*");
      EXPECT_FALSE(t.empty());
    }
  }

  // With few rows the second pass reaches the rows the first one skipped, without repeating any.
  rows.erase(rows.begin(), rows.begin() + 41);
  rig.panelOpen.store(false);
  EXPECT_EQ(rig.service.BuildTargets(),
            (std::vector<std::wstring>{L"104.18.12.201", L"35.214.40.77", L"66.22.199.5", L"104.1.1.1"}));
}

TEST(PingServiceTest, QueuedRequestStopsWorkersFromTakingNewTargets) {
  FakeClock clock;
  Rig rig(clock);
  std::vector<std::wstring> targets;
  for (int i = 1; i <= 32; ++i) targets.push_back(L"20.0.0." + std::to_wstring(i));
  size_t sentByRequest = 0;
  rig.icmp.onSend = [&](size_t index) {
    if (index != 2) return;
    rig.service.RequestPing(L"9.9.9.9");
    sentByRequest = rig.icmp.Sends().size();
  };
  rig.service.PingTargets(targets);
  // Once the request is queued, each of the five other workers finishes at most the send it had begun.
  const size_t sends = rig.icmp.Sends().size();
  EXPECT_GE(sentByRequest, 3u);
  EXPECT_LE(sends, sentByRequest + 5);
  EXPECT_EQ(rig.book.SampleCounter(), sends);
  EXPECT_TRUE(rig.service.RequestPending());
  // Six workers, six handles, all closed again once the workers are stopped.
  EXPECT_EQ(rig.icmp.opened, 6);
  rig.service.StopWorkers();
  EXPECT_EQ(rig.icmp.openNow, 0);
}

TEST(PingServiceTest, WorkerCountFollowsTheTargets) {
  struct Case {
    size_t targets;
    int handles;
  };
  for (const Case& c : {Case{1, 1}, Case{5, 5}, Case{6, 6}, Case{32, 6}}) {
    FakeClock clock;
    Rig rig(clock);
    std::vector<std::wstring> targets;
    for (size_t i = 1; i <= c.targets; ++i) targets.push_back(L"20.0.1." + std::to_wstring(i));
    rig.service.PingTargets(targets);
    EXPECT_EQ(rig.icmp.opened, c.handles) << c.targets;
    rig.service.StopWorkers();
    EXPECT_EQ(rig.icmp.openNow, 0) << c.targets;
    ASSERT_EQ(rig.icmp.Sends().size(), c.targets);
    std::set<Ipv4Bytes> pinged;
    for (const FakeIcmp::Sent& s : rig.icmp.Sends()) {
      pinged.insert(s.address);
      EXPECT_EQ(s.timeoutMs, 500u);
    }
    EXPECT_EQ(pinged.size(), c.targets);
    EXPECT_EQ(rig.book.AddressCount(), c.targets);
  }
}

TEST(PingServiceTest, RequestDuringACycleIsServedFirstInTheNext) {
  FakeClock clock;
  Rig rig(clock);
  for (int i = 1; i <= 10; ++i) rig.published.rows.push_back(Row(L"20.0.0." + std::to_wstring(i), L"browser"));
  std::atomic<bool> asked{false};
  rig.icmp.replies[Ip(L"9.9.9.9")] = 42;
  std::vector<FakeIcmp::Sent> sends;
  // Stop the loop at the first send that follows the request's own.
  rig.icmp.onSend = [&](size_t index) {
    if (index == 1 && !asked.exchange(true)) rig.service.RequestPing(L"9.9.9.9");
    const std::vector<FakeIcmp::Sent> all = rig.icmp.Sends();
    for (size_t i = 0; i < index; ++i) {
      if (all[i].address == Bytes(9, 9, 9, 9)) rig.running.store(false);
    }
  };
  std::thread loop([&] { rig.service.PingLoop(); });
  loop.join();
  sends = rig.icmp.Sends();
  size_t requestAt = sends.size();
  for (size_t i = 0; i < sends.size(); ++i) {
    if (sends[i].address == Bytes(9, 9, 9, 9)) {
      requestAt = i;
      break;
    }
  }
  ASSERT_LT(requestAt, sends.size());
  EXPECT_EQ(sends[requestAt].timeoutMs, 900u);
  // Requests are pinged on the loop's own handle, before the next cycle's targets.
  EXPECT_EQ(sends[requestAt + 1].timeoutMs, 500u);
  EXPECT_EQ(rig.book.Latest(L"9.9.9.9"), 42);
  // The wait after the first cycle ended at once because a request was queued.
  EXPECT_EQ(clock.sleptMs.load(), 0u);
  // The second cycle woke the first one's workers: no thread or handle was made for it.
  EXPECT_EQ(rig.icmp.opened, 6);
  EXPECT_EQ(rig.icmp.openNow, 0);
  EXPECT_FALSE(rig.service.RequestPending());
}

TEST(PingServiceTest, WorkersLiveAsLongAsTheThreadAndEndWithIt) {
  std::atomic<bool> running{true};
  StoppingClock clock(running, 20);  // each cycle waits 8 steps: the third cycle's wait ends the loop
  Settings settings;
  PublishedRows published;
  for (int i = 1; i <= 10; ++i) published.rows.push_back(Row(L"20.0.0." + std::to_wstring(i), L"browser"));
  CallPrefixList prefixes;
  LatencyBook book;
  FakeIcmp icmp;
  std::atomic<bool> panelOpen{false};
  PingService service(settings, published, prefixes, book, icmp, clock, running, panelOpen, false);
  service.Start();
  service.Join();
  EXPECT_EQ(icmp.Sends().size(), 30u);
  EXPECT_EQ(icmp.opened, 6);
  EXPECT_EQ(icmp.closed, 6);  // every worker closed its handle: they all ended before Join returned
}

TEST(PingServiceTest, LoopWaitsWithoutPinging) {
  struct Case {
    const char* name;
    bool enablePing;
    bool failOpen;
    bool rows;
    uint64_t sleeps;  // the loop is stopped at this sleep
    uint64_t expectedMs;
    int expectedOpened;
  };
  const Case cases[] = {
      {"ping off", false, false, true, 12, 600, 0},
      {"no ICMP handle", true, true, true, 20, 1000, 0},
      {"no targets", true, false, false, 16, 800, 1},
  };
  for (const Case& c : cases) {
    std::atomic<bool> running{true};
    StoppingClock clock(running, c.sleeps);
    Settings settings;
    settings.enablePing = c.enablePing;
    PublishedRows published;
    if (c.rows) published.rows.push_back(Row(L"20.0.0.1", L"browser"));
    CallPrefixList prefixes;
    LatencyBook book;
    FakeIcmp icmp;
    icmp.failOpen = c.failOpen;
    std::atomic<bool> panelOpen{false};
    PingService service(settings, published, prefixes, book, icmp, clock, running, panelOpen, false);
    service.Start();
    service.Join();
    EXPECT_EQ(clock.sleeps, c.sleeps) << c.name;
    EXPECT_EQ(clock.tick, c.expectedMs) << c.name;
    EXPECT_TRUE(icmp.Sends().empty()) << c.name;
    EXPECT_EQ(icmp.opened, c.expectedOpened) << c.name;
    EXPECT_EQ(icmp.openNow, 0) << c.name;
  }
}

}  // namespace
}  // namespace tolvane
