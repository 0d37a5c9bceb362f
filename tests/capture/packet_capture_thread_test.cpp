// The capture thread's state machine, driven step by step through the scripted raw-capture
// service and a clock whose sleeps advance fake time and call back into the test. Most tests run
// the thread body on the test's own thread and end it by clearing appRunning from inside a fake
// call; one runs it through Start()/Join().
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <vector>

#include "capture/capture_packet_builder.h"
#include "capture/packet_capture.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_raw_capture.h"

namespace tolvane {
namespace {

using Call = FakeRawCapture::Call;

constexpr Ipv4Bytes kLan{192, 168, 1, 23};
constexpr Ipv4Bytes kVpn{10, 0, 0, 5};

// A FakeClock whose SleepMs also calls back into the test.
class SteppedClock final : public Clock {
 public:
  uint64_t TickMs() override { return fake.TickMs(); }
  int64_t SystemNs() override { return fake.SystemNs(); }
  int64_t MonotonicNs() override { return fake.MonotonicNs(); }
  void SleepMs(uint32_t ms) override {
    fake.SleepMs(ms);
    sleepSizes.push_back(ms);
    if (onSleep) onSleep();
  }
  FakeClock fake;
  std::vector<uint32_t> sleepSizes;
  std::function<void()> onSleep;
};

CaptureAdapter Adapter(std::vector<Ipv4Bytes> addresses, bool up = true, uint32_t type = 6) {
  CaptureAdapter a;
  a.operUp = up;
  a.interfaceType = type;
  a.ipv4Unicast = std::move(addresses);
  return a;
}

uint32_t ToU32(const Ipv4Bytes& b) { return Ip(b[0], b[1], b[2], b[3]); }

std::vector<uint8_t> OutgoingFrom(const Ipv4Bytes& local, uint16_t localPort, uint16_t remotePort,
                                  uint8_t protocol = 17) {
  PacketSpec s;
  s.source = ToU32(local);
  s.destination = Ip(35, 214, 40, 77);
  s.sourcePort = localPort;
  s.destinationPort = remotePort;
  s.protocol = protocol;
  return BuildPacket(s);
}

struct Rig {
  Rig() { raw.clock = &clock.fake; }
  Settings settings;
  CaptureTable table;
  FakeRawCapture raw;
  SteppedClock clock;
  std::atomic<bool> running{true};
  PacketCapture capture{settings, table, raw, clock, running};
  void Stop() { running.store(false); }
};

TEST(ListLocalIPv4, FiltersDeduplicatesAndSorts) {
  struct FilterCase {
    const char* name;
    std::vector<CaptureAdapter> adapters;
    std::vector<uint32_t> expected;
  };
  const FilterCase cases[] = {
      {"no adapters", {}, {}},
      {"one ethernet adapter", {Adapter({kLan})}, {Ip(192, 168, 1, 23)}},
      {"wireless adapter (type 71)", {Adapter({kLan}, true, 71)}, {Ip(192, 168, 1, 23)}},
      {"adapter that is down", {Adapter({kLan}, false)}, {}},
      {"software loopback adapter (type 24)", {Adapter({kLan}, true, 24)}, {}},
      {"0.x, 127.x and 169.254.x left out",
       {Adapter({{0, 0, 0, 0}, {127, 0, 0, 1}, {127, 255, 1, 2}, {169, 254, 10, 20}, {0, 1, 2, 3}})},
       {}},
      {"neighbours of the left-out ranges kept",
       {Adapter({{169, 253, 1, 1}, {169, 255, 0, 1}, {126, 255, 255, 255}, {128, 0, 0, 1}, {1, 0, 0, 0}})},
       {Ip(1, 0, 0, 0), Ip(126, 255, 255, 255), Ip(128, 0, 0, 1), Ip(169, 253, 1, 1), Ip(169, 255, 0, 1)}},
      {"duplicates across adapters, sorted",
       {Adapter({kLan, kVpn}), Adapter({kVpn}, true, 53), Adapter({kLan})},
       {Ip(10, 0, 0, 5), Ip(192, 168, 1, 23)}},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LocalIPv4FromAdapters(c.adapters).values(), c.expected);
    FakeRawCapture raw;
    raw.adapters = c.adapters;
    EXPECT_EQ(ListLocalIPv4(raw).values(), c.expected);
    EXPECT_EQ(raw.adapterCalls, 1);
  }
}

TEST(CaptureThread, FailedPassesWaitAndRetry) {
  struct PassCase {
    const char* name;
    std::vector<CaptureAdapter> adapters;
    std::map<Ipv4Bytes, int32_t> openErrors;
    CaptureStatus expected;
    size_t steps;  // 50 ms waits per pass
  };
  const PassCase cases[] = {
      {"no adapters", {}, {}, CaptureStatus::NoAdapter, 30},
      {"only unusable addresses",
       {Adapter({kLan}, true, 24), Adapter({kVpn}, false), Adapter({{127, 0, 0, 1}, {169, 254, 1, 1}})},
       {},
       CaptureStatus::NoAdapter,
       30},
      {"access denied on every socket",
       {Adapter({kLan, kVpn})},
       {{kLan, 10013}, {kVpn, 10013}},
       CaptureStatus::NeedsAdmin,
       50},
      {"raw sockets not supported", {Adapter({kLan, kVpn})}, {{kLan, 10043}, {kVpn, 10043}}, CaptureStatus::Error, 50},
      {"denied first, another error last",
       {Adapter({kLan, kVpn})},
       {{kVpn, 10013}, {kLan, 10049}},
       CaptureStatus::Error,
       50},
      {"another error first, denied last",
       {Adapter({kLan, kVpn})},
       {{kVpn, 10049}, {kLan, 10013}},
       CaptureStatus::NeedsAdmin,
       50},
  };
  for (const PassCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.raw.adapters = c.adapters;
    rig.raw.openErrors = c.openErrors;
    std::vector<size_t> sleepsAtPass;
    std::vector<CaptureStatus> seen;
    rig.raw.onCall = [&](Call call) {
      if (call != Call::Adapters) return;
      sleepsAtPass.push_back(rig.clock.sleepSizes.size());
      if (sleepsAtPass.size() == 3) rig.Stop();
    };
    rig.clock.onSleep = [&] { seen.push_back(rig.capture.status()); };
    rig.capture.CaptureThread();
    EXPECT_EQ(sleepsAtPass, (std::vector<size_t>{0, c.steps, 2 * c.steps}));
    ASSERT_EQ(seen.size(), 2 * c.steps);
    for (CaptureStatus s : seen) EXPECT_EQ(s, c.expected);
    for (uint32_t ms : rig.clock.sleepSizes) EXPECT_EQ(ms, 50u);
    EXPECT_EQ(rig.capture.status(), CaptureStatus::Off);
    EXPECT_TRUE(rig.raw.openSockets.empty());
    EXPECT_EQ(rig.raw.waitCalls, 0);
  }
}

TEST(CaptureThread, PacketCaptureOffWaitsSixStepsAndTouchesNoSocket) {
  Rig rig;
  rig.settings.packetCapture = false;
  rig.raw.adapters = {Adapter({kLan})};
  std::vector<CaptureStatus> seen;
  size_t sleepsAtFirstLook = 0;
  rig.clock.onSleep = [&] {
    seen.push_back(rig.capture.status());
    if (seen.size() == 12) rig.settings.packetCapture = true;
  };
  rig.raw.onCall = [&](Call call) {
    if (call == Call::Adapters) {
      sleepsAtFirstLook = rig.clock.sleepSizes.size();
      rig.Stop();
    }
  };
  rig.capture.CaptureThread();
  // Two passes of 6 waits while off; the switch turned on during the 12th wait is seen right after.
  EXPECT_EQ(sleepsAtFirstLook, 12u);
  ASSERT_EQ(seen.size(), 12u);
  for (CaptureStatus s : seen) EXPECT_EQ(s, CaptureStatus::Off);
  EXPECT_EQ(rig.raw.adapterCalls, 1);
  EXPECT_EQ(rig.capture.status(), CaptureStatus::Off);
}

TEST(CaptureThread, CapturingCountsDatagramsAndClosesOnStop) {
  Rig rig;
  rig.raw.adapters = {Adapter({kLan})};
  auto& queue = rig.raw.datagrams[kLan];
  queue.push_back(OutgoingFrom(kLan, 56012, 50031));
  queue.push_back({});  // a failing recv
  queue.push_back(OutgoingFrom(kLan, 56012, 50031, 6));
  queue.push_back(OutgoingFrom(kLan, 56012, 50031));
  std::vector<CaptureStatus> seen;
  rig.raw.onCall = [&](Call call) {
    if (call != Call::Wait) return;
    seen.push_back(rig.table.Counting() ? rig.capture.status() : CaptureStatus::Error);
    if (rig.raw.QueuedDatagrams() == 0) rig.Stop();
  };
  rig.capture.CaptureThread();
  for (CaptureStatus s : seen) EXPECT_EQ(s, CaptureStatus::Capturing);
  EXPECT_EQ(rig.raw.receiveCalls, 4);
  const auto flows = rig.table.Copy();
  ASSERT_EQ(flows.size(), 1u);
  EXPECT_EQ(flows[0].key, "56012|35.214.40.77|50031");
  EXPECT_EQ(flows[0].packets, 2u);
  EXPECT_EQ(rig.table.Tcp().Size(), 1u);  // the TCP segment, in its own table
  EXPECT_FALSE(rig.table.Counting());
  EXPECT_EQ(rig.raw.closed.size(), 1u);
  EXPECT_TRUE(rig.raw.openSockets.empty());
  EXPECT_EQ(rig.capture.status(), CaptureStatus::Off);
  EXPECT_TRUE(rig.clock.sleepSizes.empty());
}

TEST(CaptureThread, OpensAtMostEightSockets) {
  Rig rig;
  std::vector<Ipv4Bytes> addresses;
  for (uint8_t i = 10; i >= 1; --i) addresses.push_back({10, 0, 0, i});
  rig.raw.adapters = {Adapter(addresses)};
  rig.raw.openErrors = {{Ipv4Bytes{10, 0, 0, 1}, 10043}};
  CaptureStatus seen = CaptureStatus::Off;
  rig.raw.onCall = [&](Call call) {
    if (call != Call::Wait) return;
    seen = rig.capture.status();
    rig.Stop();
  };
  rig.capture.CaptureThread();
  // In ascending order; the failed one does not count towards the eight.
  std::vector<Ipv4Bytes> expectedAttempts;
  for (uint8_t i = 1; i <= 9; ++i) expectedAttempts.push_back({10, 0, 0, i});
  EXPECT_EQ(rig.raw.openAttempts, expectedAttempts);
  EXPECT_EQ(rig.raw.maxWaitSockets, 8u);
  EXPECT_EQ(seen, CaptureStatus::Capturing);
  EXPECT_EQ(rig.raw.closed.size(), 8u);
  EXPECT_TRUE(rig.raw.openSockets.empty());
}

TEST(CaptureThread, AdapterCheckEveryFiveSecondsReopensOnChange) {
  Rig rig;
  rig.raw.adapters = {Adapter({kLan, kVpn})};
  const uint64_t start = rig.clock.TickMs();
  std::vector<uint64_t> checkTimes;
  std::vector<size_t> closedAtCheck;
  rig.raw.onCall = [&](Call call) {
    if (call != Call::Adapters) return;
    checkTimes.push_back(rig.clock.TickMs() - start);
    closedAtCheck.push_back(rig.raw.closed.size());
    switch (checkTimes.size()) {
      case 2:  // the same set, listed differently: no reopen
        rig.raw.adapters = {Adapter({kVpn}), Adapter({kLan, kVpn})};
        break;
      case 3:  // one address gone
        rig.raw.adapters = {Adapter({kLan})};
        break;
      case 4:
        rig.Stop();
        break;
    }
  };
  rig.capture.CaptureThread();
  // Each wait of the fake lasts its 200 ms time-out: the 26th ends past 5000 ms.
  EXPECT_EQ(checkTimes, (std::vector<uint64_t>{0, 5200, 10400, 10400}));
  EXPECT_EQ(closedAtCheck, (std::vector<size_t>{0, 0, 0, 2}));
  EXPECT_EQ(rig.raw.openAttempts, (std::vector<Ipv4Bytes>{kVpn, kLan, kLan}));
  EXPECT_EQ(rig.raw.closed.size(), 3u);
  EXPECT_TRUE(rig.raw.openSockets.empty());
  EXPECT_EQ(rig.raw.waitOnClosedSocket, 0);
}

TEST(CaptureThread, UnpluggingTheOnlyAdapterShowsNoAdapter) {
  Rig rig;
  rig.raw.adapters = {Adapter({kLan})};
  rig.raw.datagrams[kLan].push_back(OutgoingFrom(kLan, 56012, 50031));
  std::vector<CaptureStatus> seen;
  rig.raw.onCall = [&](Call call) {
    if (call == Call::Adapters && rig.raw.adapterCalls == 1) rig.raw.adapters.clear();
  };
  rig.clock.onSleep = [&] {
    seen.push_back(rig.capture.status());
    rig.Stop();
  };
  const uint64_t start = rig.clock.TickMs();
  rig.capture.CaptureThread();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], CaptureStatus::NoAdapter);
  EXPECT_EQ(rig.raw.closed.size(), 1u);
  EXPECT_LE(rig.clock.TickMs() - start, 5200u + 50u);
  // The flow outlives the sockets.
  EXPECT_EQ(rig.table.Size(), 1u);
}

TEST(CaptureThread, SwitchingCaptureOffClosesWithinOneSelect) {
  Rig rig;
  rig.raw.adapters = {Adapter({kLan})};
  rig.raw.datagrams[kLan].push_back(OutgoingFrom(kLan, 56012, 50031));
  std::vector<CaptureStatus> seen;
  size_t closedAtSleep = 0;
  rig.raw.onCall = [&](Call call) {
    if (call == Call::Wait && rig.raw.waitCalls == 2) rig.settings.packetCapture = false;
  };
  rig.clock.onSleep = [&] {
    seen.push_back(rig.capture.status());
    closedAtSleep = rig.raw.closed.size();
    rig.Stop();
  };
  rig.capture.CaptureThread();
  EXPECT_EQ(rig.raw.waitCalls, 3);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], CaptureStatus::Off);
  EXPECT_EQ(closedAtSleep, 1u);
  EXPECT_EQ(rig.table.Size(), 1u);
}

TEST(CaptureThread, ClearingAppRunningEndsTheInnerLoop) {
  Rig rig;
  rig.raw.adapters = {Adapter({kLan, kVpn})};
  rig.raw.onCall = [&](Call call) {
    if (call == Call::Wait && rig.raw.waitCalls == 1) rig.Stop();
  };
  rig.capture.CaptureThread();
  EXPECT_EQ(rig.raw.waitCalls, 2);
  EXPECT_EQ(rig.raw.closed.size(), 2u);
  EXPECT_TRUE(rig.raw.openSockets.empty());
  EXPECT_EQ(rig.raw.adapterCalls, 1);
  EXPECT_TRUE(rig.clock.sleepSizes.empty());
  EXPECT_EQ(rig.capture.status(), CaptureStatus::Off);
}

// Regression: a select failing at once used to make the inner loop spin without pause.
TEST(CaptureThread, FailingSelectWaitsAStepAndKeepsChecking) {
  Rig rig;
  rig.raw.clock = nullptr;  // only the thread's own waits move time
  rig.raw.waitResult = -1;
  rig.raw.adapters = {Adapter({kLan})};
  rig.raw.onCall = [&](Call call) {
    if (call == Call::Wait && rig.raw.waitCalls == 119) rig.Stop();
  };
  rig.capture.CaptureThread();
  EXPECT_EQ(rig.raw.waitCalls, 120);
  EXPECT_EQ(rig.clock.sleepSizes.size(), 120u);
  EXPECT_EQ(rig.raw.receiveCalls, 0);
  // 101 steps of 50 ms pass 5000 ms: the adapter check still runs.
  EXPECT_EQ(rig.raw.adapterCalls, 2);
  EXPECT_EQ(rig.capture.status(), CaptureStatus::Off);
}

TEST(CaptureThread, StartAndJoinOnItsOwnThread) {
  Rig rig;
  rig.raw.adapters = {Adapter({kLan})};
  rig.raw.datagrams[kLan].push_back(OutgoingFrom(kLan, 56012, 50031));
  std::promise<CaptureStatus> drained;
  bool told = false;
  rig.raw.onCall = [&](Call call) {
    if (call == Call::Wait && !told && rig.raw.QueuedDatagrams() == 0) {
      told = true;
      drained.set_value(rig.capture.status());
    }
  };
  EXPECT_EQ(rig.capture.status(), CaptureStatus::Off);
  rig.capture.Start();
  rig.capture.Start();  // a second call does not start a second thread
  auto future = drained.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(future.get(), CaptureStatus::Capturing);
  rig.Stop();
  rig.capture.Join();
  EXPECT_EQ(rig.capture.status(), CaptureStatus::Off);
  EXPECT_EQ(rig.table.Size(), 1u);
  EXPECT_TRUE(rig.raw.openSockets.empty());
}

}  // namespace
}  // namespace tolvane
