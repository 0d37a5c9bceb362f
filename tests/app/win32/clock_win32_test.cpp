// The Windows clock: the wall clock in nanoseconds is the real date (no overflow of the FILETIME
// scaling), moves forward, and its conversion holds at the ends of the representable range.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "platform/clock.h"
#include "platform/win32/clock_win32.h"

namespace tolvane {
namespace {

constexpr uint64_t kEpoch = 116444736000000000ULL;  // 1970-01-01 in FILETIME units

TEST(SystemNsFromFileTime, CountsFrom1970WithoutOverflow) {
  struct Case {
    uint64_t fileTime;
    int64_t want;
  } cases[] = {
      {kEpoch, 0},
      {kEpoch + 1, 100},
      {kEpoch + 17040672000000000ULL, 1704067200LL * 1000000000LL},  // 2024-01-01 00:00 UTC
      {kEpoch - 10000000ULL, -1000000000LL},                         // one second before 1970
      {0, -(INT64_MAX / 100) * 100},                                 // 1601: clamped, not wrapped
      {UINT64_MAX, (INT64_MAX / 100) * 100},                         // far future: clamped
  };
  for (const Case& c : cases) EXPECT_EQ(SystemNsFromFileTime(c.fileTime), c.want) << c.fileTime;
}

TEST(SystemClock, WallClockIsTodayAndMovesForward) {
  Clock& clock = SystemClock();
  const int64_t before = clock.SystemNs();
  const int64_t seconds = static_cast<int64_t>(std::time(nullptr));
  // The old scaling overflowed into a negative number for every date after 1893.
  ASSERT_GT(before, 0);
  EXPECT_LT(std::llabs(before / 1000000000LL - seconds), 5);
  Sleep(30);
  const int64_t after = clock.SystemNs();
  EXPECT_GE(after - before, 20LL * 1000000);
  EXPECT_LT(after - before, 5LL * 1000000000);
}

}  // namespace
}  // namespace tolvane
