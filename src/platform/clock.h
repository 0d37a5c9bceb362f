// Time and sleep, injected everywhere so that a test can move time by hand.
//
// TickMs is the millisecond count since system start (GetTickCount64 on Windows); every age,
// time-out and wait in the core is measured with it. SystemNs is the wall clock in nanoseconds
// (toasts, the export's time stamp), MonotonicNs a monotonic nanosecond clock (the loading
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
};

// The process's real clock. Safe to use from any thread.
Clock& SystemClock();

// Minutes east of UTC of the system's local time zone at the moment utcMs (ms since 1970 UTC),
// summer time included: 120 in Berlin in July, -300 in New York in January. 0 when unknown.
int32_t LocalUtcOffsetMinutes(int64_t utcMs);

}  // namespace tolvane
