// Time and sleep, injected everywhere so that a test can move time by hand.
//
// TickMs is the millisecond count since system start (GetTickCount64 on Windows); every age,
// time-out and wait in the core is measured with it. SystemNs is the wall clock in nanoseconds
// (toasts, the export's time stamp), UtcOffsetMinutes the local time zone's offset from it (the
// call history's and the export's times), MonotonicNs a monotonic nanosecond clock (the loading
// screen). SleepMs blocks the calling thread; a fake returns at once and advances its own time.
#pragma once

#include <cstdint>

namespace tolvane {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint64_t TickMs() = 0;
  virtual int64_t SystemNs() = 0;
  virtual int64_t MonotonicNs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  // Minutes to add to UTC for the local time at the wall-clock instant unixMs (ms since 1970 UTC),
  // daylight saving included: 120 in Berlin in summer, -300 in New York in winter. The default
  // answers 0 (a clock with no time zone).
  virtual int32_t UtcOffsetMinutes(int64_t unixMs) {
    (void)unixMs;
    return 0;
  }
};

// The process's real clock. Safe to use from any thread.
Clock& SystemClock();

}  // namespace tolvane
