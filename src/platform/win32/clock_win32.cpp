// The Windows clock: GetTickCount64 for ticks, the system time for the wall clock and the
// performance counter for the monotonic nanosecond clock.
#include "platform/win32/clock_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "platform/clock.h"

namespace tolvane {

int64_t SystemNsFromFileTime(uint64_t fileTime) {
  // FILETIME counts 100 ns from 1601: times 100 it passes INT64_MAX in 1893, so every date the
  // program sees would overflow. Counted from 1970 instead it fits from 1678 to 2262 (a clock set
  // before 1970 gives a negative value, which only differences ever use); beyond that range the
  // value sticks at the nearest end instead of wrapping.
  constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ULL;
  constexpr uint64_t kLimit = static_cast<uint64_t>(INT64_MAX / 100);
  if (fileTime >= kUnixEpochInFileTime) {
    const uint64_t units = std::min(fileTime - kUnixEpochInFileTime, kLimit);
    return static_cast<int64_t>(units) * 100;
  }
  const uint64_t units = std::min(kUnixEpochInFileTime - fileTime, kLimit);
  return -static_cast<int64_t>(units) * 100;
}

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
    return SystemNsFromFileTime(v.QuadPart);
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
  int32_t UtcOffsetMinutes(int64_t unixMs) override {
    // The system's rules for the instant itself, so a time from last winter gets winter's offset.
    constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;
    constexpr int64_t kYear10000 = 253402300800000LL;  // SYSTEMTIME ends with the year 9999
    if (unixMs < 0 || unixMs >= kYear10000) return 0;
    const int64_t units = kUnixEpochInFileTime + unixMs * 10000;
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(units) & 0xFFFFFFFFu);
    utc.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(units) >> 32);
    SYSTEMTIME utcTime, localTime;
    FILETIME local;
    if (!FileTimeToSystemTime(&utc, &utcTime) || !SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &localTime) ||
        !SystemTimeToFileTime(&localTime, &local))
      return 0;
    ULARGE_INTEGER a, b;
    a.LowPart = local.dwLowDateTime;
    a.HighPart = local.dwHighDateTime;
    b.LowPart = utc.dwLowDateTime;
    b.HighPart = utc.dwHighDateTime;
    const int64_t difference = static_cast<int64_t>(a.QuadPart) - static_cast<int64_t>(b.QuadPart);
    return static_cast<int32_t>(difference / (60LL * 10000000LL));
  }
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace tolvane
