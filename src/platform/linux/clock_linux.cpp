// The clocks on Linux. TickMs and MonotonicNs read CLOCK_MONOTONIC (milliseconds since boot, never
// set back; it stands still while the machine sleeps, where GetTickCount64 runs on, which only
// makes ages look younger after a resume). SystemNs reads CLOCK_REALTIME, UtcOffsetMinutes the C
// library's time zone rules. SleepMs sleeps the whole time even when a signal interrupts it. The
// host build uses the same clock.
#include <time.h>

#include <cerrno>
#include <ctime>

#include "platform/clock.h"

namespace tolvane {
namespace {

int64_t Now(clockid_t id) {
  timespec t{};
  clock_gettime(id, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

class LinuxClock final : public Clock {
 public:
  uint64_t TickMs() override { return static_cast<uint64_t>(Now(CLOCK_MONOTONIC) / 1000000); }
  int64_t SystemNs() override { return Now(CLOCK_REALTIME); }
  int64_t MonotonicNs() override { return Now(CLOCK_MONOTONIC); }
  void SleepMs(uint32_t ms) override {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
  }
  int32_t UtcOffsetMinutes(int64_t unixMs) override {
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return 0;
    return static_cast<int32_t>(local.tm_gmtoff / 60);
  }
};

}  // namespace

Clock& SystemClock() {
  static LinuxClock clock;
  return clock;
}

}  // namespace tolvane
