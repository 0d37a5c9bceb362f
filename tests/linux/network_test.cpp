// The Linux services against the test host of testnet.sh (UDP echo on port 7, ICMP echo answered
// 40 ms late): capture counting exact flows, ping, and the application's threads turning a
// "Discord" UDP stream into a call with its latency. Traffic goes only to the test network.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/application.h"
#include "fakes/fake_clipboard.h"
#include "kernel_test.h"
#include "platform/utf8.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

using std::chrono::milliseconds;

uint32_t Ipv4(const std::string& text) {
  in_addr a{};
  inet_pton(AF_INET, text.c_str(), &a);
  return ntohl(a.s_addr);
}

int32_t Median(std::vector<int32_t> samples) {
  std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
  return samples[samples.size() / 2];
}

// Checks done() every 20 ms for up to limit; whether it came true.
template <typename Done>
bool WaitFor(Done done, milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(milliseconds(20));
  return done();
}

TEST(LinuxCapture, CountsAFlowExactlyWithItsDirection) {
  NEEDS_TESTNET(net);
  Settings settings = MakeDefaultSettings();
  CaptureTable table;
  std::atomic<bool> running{true};
  PacketCapture capture(settings, table, SystemRawCapture(), SystemClock(), running);
  capture.Start();
  ASSERT_TRUE(WaitFor([&] { return capture.status() == CaptureStatus::Capturing; }, milliseconds(3000)))
      << WideToUtf8(CaptureErrorHint());
  // To the echo port each datagram comes back, into the same flow; to port 9 none does.
  const uint16_t sizes[] = {0, 1, 100, 1472, 60, 512, 7, 999};
  for (const auto& [port, copies] : {std::pair<uint16_t, uint64_t>{net.echoPort, 2}, {9, 1}}) {
    const Fd s{BoundSocket(SOCK_DGRAM, net.near.c_str())};
    sockaddr_in to{AF_INET, htons(port), {htonl(Ipv4(net.host))}, {}};
    uint64_t bytes = 0;
    for (uint16_t size : sizes) {
      const std::string payload(size, 'x');
      ASSERT_EQ(sendto(s.fd, payload.data(), size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), size);
      bytes += 28u + size;
    }
    const std::string key = CaptureTable::FlowKeyText(LocalPort(s.fd), Ipv4(net.host), port);
    const auto flow = [&] {
      for (const CaptureFlow& f : table.Copy()) {
        if (f.key == key) return f;
      }
      return CaptureFlow{};
    };
    WaitFor([&] { return flow().packets >= std::size(sizes) * copies; }, milliseconds(3000));
    std::this_thread::sleep_for(milliseconds(300));  // time for a duplicate to show
    EXPECT_EQ(flow().packets, std::size(sizes) * copies) << key;
    EXPECT_EQ(flow().bytes, bytes * copies) << key;
    EXPECT_EQ(flow().remoteAddress, Utf8ToWide(net.host));
  }
  running = false;
}

TEST(LinuxIcmp, TestHostAnswersInFortyMsAndAnUnusedAddressTimesOut) {
  NEEDS_TESTNET(net);
  Icmp& icmp = SystemIcmp();
  Ipv4Bytes host, unused{198, 18, 0, 3};
  inet_pton(AF_INET, net.host.c_str(), host.data());
  // Three handles at once, as the ping workers use them: each must get its own replies.
  std::vector<int32_t> samples(9, 0);
  std::vector<std::thread> workers;
  for (size_t w = 0; w < 3; ++w) {
    workers.emplace_back([&, w] {
      const IcmpHandle handle = icmp.Open();
      for (size_t i = 0; i < 3; ++i) samples[w * 3 + i] = icmp.SendEcho(handle, host, 900);
      icmp.Close(handle);
    });
  }
  for (std::thread& t : workers) t.join();
  // Every reply came, none sooner than the host's delay allows; the median (a loaded machine may
  // hold up the host's answer now and then) is the delay.
  for (int32_t ms : samples) EXPECT_GE(ms, 30);
  EXPECT_NEAR(Median(samples), 40, 10);
  std::printf("ping: the test host's 40 ms measured as %d..%d ms, median %d\n",
              *std::min_element(samples.begin(), samples.end()), *std::max_element(samples.begin(), samples.end()),
              Median(samples));
  const IcmpHandle handle = icmp.Open();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(icmp.SendEcho(handle, unused, 500), -1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(450));
  icmp.Close(handle);
}

TEST(LinuxWholeChain, DiscordStreamBecomesACallWithItsPortAndLatency) {
  NEEDS_TESTNET(net);
  char made[] = "/tmp/tolvane-chain-XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const EnvScope config("XDG_CONFIG_HOME", made), cache("XDG_CACHE_HOME", made);
  FileSystem& files = SystemFileSystem();
  ASSERT_TRUE(files.WriteDurable(SettingsFilePath(files), "prefixes=198.18\r\n"));
  const std::string port = std::to_string(net.echoPort);
  const char* argv[] = {TOLVANE_SENDER, net.host.c_str(), port.c_str(), "0", "20", "160", nullptr};
  pid_t sender = 0;
  ASSERT_EQ(posix_spawn(&sender, TOLVANE_SENDER, nullptr, nullptr, const_cast<char**>(argv), environ), 0);

  FakeClipboard clipboard;
  Application app(CommandLineState{},
                  PlatformServices{SystemClock(), files, SystemSocketTables(), SystemProcessList(), SystemRawCapture(),
                                   SystemIcmp(), SystemHttpClient(), SystemImageDecoder(), clipboard});
  app.OnCreate();
  CallEndpoint call;
  std::vector<int32_t> latencies;
  WaitFor(  // the window's 100 ms timer, headless, until the call has three latency samples
      [&] {
        app.connectionView().RebuildView(app.viewInputs());
        for (const CallEndpoint& e : app.callList().Entries()) call = e.address == Utf8ToWide(net.host) ? e : call;
        latencies = app.latencyBook().LatencyHistory(call.address);
        return latencies.size() >= 3 && app.connectionView().LatencyOf(call.address) > 0;
      },
      milliseconds(8000));
  app.OnDestroy();
  kill(sender, SIGTERM);
  waitpid(sender, nullptr, 0);
  std::filesystem::remove_all(made);
  EXPECT_EQ(call.remotePort, net.echoPort);
  EXPECT_EQ(call.processName, L"Discord");
  EXPECT_EQ(call.pid, sender);
  EXPECT_TRUE(call.live);
  ASSERT_FALSE(latencies.empty());
  EXPECT_NEAR(Median(latencies), 40, 10);
}

}  // namespace
}  // namespace tolvane
