// Packet capture on the real kernel: how many datagrams per second a local sender may send before
// the capture thread (libpcap on all interfaces, the filter, the flow table) starts to lose some.
// Run inside the test network: tests/linux/testnet.sh build/linux/bench/linux/bench_kernel_capture
//
// Each run sends one second of 64-byte datagrams from 198.18.0.1 to the test host's discard port at
// a paced rate (the last run as fast as the sender can), waits a second for the capture to settle and reads
// the flow's count. Counters: sent_per_s (what the sender reached), captured_per_s, lost (datagrams
// sent but never counted). The highest rate with nothing lost is the figure to state.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include "capture/packet_capture.h"
#include "platform/clock.h"

namespace tolvane {
namespace {

using Steady = std::chrono::steady_clock;

struct Capture {
  Settings settings = MakeDefaultSettings();
  CaptureTable table;
  std::atomic<bool> running{true};
  PacketCapture thread{settings, table, SystemRawCapture(), SystemClock(), running};
  Capture() {
    thread.Start();
    for (int i = 0; i < 100 && thread.status() != CaptureStatus::Capturing; ++i) SystemClock().SleepMs(20);
  }
  ~Capture() {
    running = false;
    thread.Join();
  }
};

void KernelCapture(benchmark::State& state) {
  const char* net = std::getenv("TOLVANE_TESTNET");
  std::string near, host;
  if (net == nullptr || !(std::istringstream(net) >> near >> host)) {
    state.SkipWithError("run inside tests/linux/testnet.sh");
    return;
  }
  static Capture capture;
  if (capture.thread.status() != CaptureStatus::Capturing) {
    state.SkipWithError("capture does not run (no CAP_NET_RAW?)");
    return;
  }
  const int64_t rate = state.range(0);  // 0: as fast as the sender can
  for (auto _ : state) {
    sockaddr_in from{AF_INET, 0, {}, {}}, to{AF_INET, htons(9), {}, {}};
    inet_pton(AF_INET, near.c_str(), &from.sin_addr);
    inet_pton(AF_INET, host.c_str(), &to.sin_addr);
    const char payload[64] = {};
    // One datagram from another socket first, so the test host's link address is known: datagrams
    // queued while it is being asked for may be dropped before any capture could see them.
    const int warm = socket(AF_INET, SOCK_DGRAM, 0);
    sendto(warm, payload, sizeof payload, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(warm);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from);
    connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    socklen_t size = sizeof from;
    getsockname(s, reinterpret_cast<sockaddr*>(&from), &size);
    // Batches of datagrams per system call (sendmmsg), so that the sender outruns the capture.
    constexpr unsigned kBatch = 32;
    iovec data{const_cast<char*>(payload), sizeof payload};
    mmsghdr batch[kBatch] = {};
    for (mmsghdr& m : batch) {
      m.msg_hdr.msg_iov = &data;
      m.msg_hdr.msg_iovlen = 1;
    }
    uint64_t sent = 0;
    const auto start = Steady::now();
    for (auto now = start; now - start < std::chrono::seconds(1); now = Steady::now()) {
      const uint64_t due = rate == 0 ? sent + kBatch : static_cast<uint64_t>((now - start).count() * rate / 1000000000);
      while (sent < due) {
        const int n = sendmmsg(s, batch, static_cast<unsigned>(std::min<uint64_t>(kBatch, due - sent)), 0);
        if (n <= 0) break;
        sent += static_cast<uint64_t>(n);
      }
    }
    const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
    close(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const std::string key = CaptureTable::FlowKeyText(ntohs(from.sin_port), ntohl(to.sin_addr.s_addr), 9);
    uint64_t captured = 0;
    for (const CaptureFlow& f : capture.table.Copy()) {
      if (f.key == key) captured = f.packets;
    }
    state.counters["sent_per_s"] = static_cast<double>(sent) / seconds;
    state.counters["captured_per_s"] = static_cast<double>(captured) / seconds;
    state.counters["lost"] = static_cast<double>(sent - captured);
  }
}
BENCHMARK(KernelCapture)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Arg(400000)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
