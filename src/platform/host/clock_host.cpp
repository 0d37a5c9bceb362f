// The host's clock: std::chrono. The host build never runs the program; benchmarks and threaded
// tests that want real time use this.
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/clock.h"

namespace tolvane {
namespace {

class HostClock final : public Clock {
 public:
  uint64_t TickMs() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  int64_t SystemNs() override {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  }
  int64_t MonotonicNs() override {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  int32_t UtcOffsetMinutes(int64_t unixMs) override {
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return 0;
    return static_cast<int32_t>(local.tm_gmtoff / 60);
  }
};

}  // namespace

Clock& SystemClock() {
  static HostClock clock;
  return clock;
}

}  // namespace tolvane
