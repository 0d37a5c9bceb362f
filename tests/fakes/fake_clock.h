// A clock that moves only when a test says so. SleepMs advances it and counts the sleeps, so a
// thread body that waits in steps can be driven without real time passing.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace tolvane {

class FakeClock final : public Clock {
 public:
  uint64_t TickMs() override { return tickMs.load(); }
  int64_t SystemNs() override { return systemNs.load(); }
  int64_t MonotonicNs() override { return monotonicNs.load(); }
  void SleepMs(uint32_t ms) override {
    sleeps.fetch_add(1);
    sleptMs.fetch_add(ms);
    Advance(ms);
  }
  int32_t UtcOffsetMinutes(int64_t) override { return utcOffsetMinutes.load(); }
  void Advance(uint64_t ms) {
    tickMs.fetch_add(ms);
    systemNs.fetch_add(static_cast<int64_t>(ms) * 1000000);
    monotonicNs.fetch_add(static_cast<int64_t>(ms) * 1000000);
  }

  std::atomic<uint64_t> tickMs{1000000};
  std::atomic<int64_t> systemNs{1'700'000'000'000'000'000};
  std::atomic<int64_t> monotonicNs{5'000'000'000};
  std::atomic<int32_t> utcOffsetMinutes{0};
  std::atomic<uint64_t> sleeps{0};
  std::atomic<uint64_t> sleptMs{0};
};

}  // namespace tolvane
