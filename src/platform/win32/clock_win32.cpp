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
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

// The local time of that moment in the active time zone (with its summer-time rule for that date),
// less the moment itself.
int32_t LocalUtcOffsetMinutes(int64_t utcMs) {
  constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;
  if (utcMs < 0) return 0;
  ULARGE_INTEGER v;
  v.QuadPart = static_cast<uint64_t>(utcMs * 10000 + kUnixEpochInFileTime);
  const FILETIME utcFile{v.LowPart, v.HighPart};
  SYSTEMTIME utc, local;
  FILETIME localFile;
  if (!FileTimeToSystemTime(&utcFile, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
      !SystemTimeToFileTime(&local, &localFile))
    return 0;
  ULARGE_INTEGER l;
  l.LowPart = localFile.dwLowDateTime;
  l.HighPart = localFile.dwHighDateTime;
  return static_cast<int32_t>((static_cast<int64_t>(l.QuadPart) - static_cast<int64_t>(v.QuadPart)) / 600000000LL);
}

}  // namespace tolvane
