// The real ICMP service under Wine: an echo to the loopback address answers. Loopback only.
#include <gtest/gtest.h>

#include <atomic>

#include "latency/ping_service.h"
#include "platform/icmp.h"

namespace tolvane {
namespace {

TEST(IcmpWin32Test, PingOnceToLoopbackAnswers) {
  Icmp& icmp = SystemIcmp();
  const IcmpHandle handle = icmp.Open();
  ASSERT_NE(handle, kNoIcmpHandle);
  std::atomic<uint32_t> counter{0};
  EXPECT_GE(PingOnce(icmp, handle, L"127.0.0.1", 900, false, counter), 1);
  // Not an address: nothing is sent, the answer is a loss.
  EXPECT_EQ(PingOnce(icmp, handle, L"localhost", 900, false, counter), -1);
  icmp.Close(handle);
}

}  // namespace
}  // namespace tolvane
