// The Windows clock: GetTickCount64 for ticks, the system time for the wall clock and the
// performance counter for the monotonic nanosecond clock.
#include <windows.h>

#include "platform/clock.h"

namespace tolvane {
namespace {

class Win32Clock final : public Clock {
 public:
  uint64_t TickMs() override { return GetTickCount64(); }
  int64_t SystemNs() override {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    // 100 ns units since 1601; only differences matter to callers.
    return static_cast<int64_t>(v.QuadPart) * 100;
  }
  int64_t MonotonicNs() override {
    static const LONGLONG frequency = [] {
      LARGE_INTEGER f;
      QueryPerformanceFrequency(&f);
      return f.QuadPart;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const LONGLONG seconds = c.QuadPart / frequency;
    const LONGLONG rest = c.QuadPart % frequency;
    return static_cast<int64_t>(seconds * 1000000000LL + rest * 1000000000LL / frequency);
  }
  void SleepMs(uint32_t ms) override { Sleep(ms); }
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace tolvane
