// One socket snapshot over a busy machine: 10,000 established TCP connections, 2,000 UDP sockets
// and 6,000 captured flows, owned by a few hundred processes with realistic names. Items are rows
// produced. The tables are fakes, so this measures the snapshot's own work (decoding into rows,
// address texts, classification, admission, de-duplication, sorting), not the system calls.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_process_list.h"
#include "fakes/fake_socket_tables.h"
#include "monitor/snapshot.h"

namespace tolvane {
namespace {

struct Machine {
  Settings settings;
  CaptureTable capture;
  FakeSocketTables tables;
  FakeProcessList processes;
  FakeClock clock;

  Machine(int tcp, int udp, int flows) {
    tables.checkZeroFill = false;
    const wchar_t* names[] = {L"chrome.exe", L"Discord.exe",        L"svchost.exe",  L"steam.exe",
                              L"msedge.exe", L"Spotify.exe",        L"Code.exe",     L"firefox.exe",
                              L"Teams.exe",  L"steamwebhelper.exe", L"OneDrive.exe", L"explorer.exe",
                              L"node.exe",   L"Telegram.exe",       L"obs64.exe",    L"RiotClientServices.exe",
                              L"python.exe", L"SearchHost.exe",     L"lsass.exe",    L"Zoom.exe"};
    constexpr int kProcesses = 300;
    for (int i = 0; i < kProcesses; ++i)
      processes.processes.push_back({static_cast<uint32_t>(1000 + 4 * i), names[i % std::size(names)]});
    const auto pidOf = [](int i) { return static_cast<uint32_t>(1000 + 4 * (i % kProcesses)); };

    for (int i = 0; i < tcp; ++i)
      tables.tcp4.push_back(Tcp(pidOf(i * 7), V4(192, 168, 1, 10), static_cast<uint16_t>(10000 + i),
                                V4(static_cast<uint8_t>(20 + i % 180), static_cast<uint8_t>(i / 180),
                                   static_cast<uint8_t>(i * 13), static_cast<uint8_t>(1 + i % 250)),
                                static_cast<uint16_t>(i % 5 == 0 ? 80 : 443)));
    for (int i = 0; i < udp; ++i)
      tables.udp4.push_back(
          Udp(pidOf(i * 3), i % 4 == 0 ? V4(192, 168, 1, 10) : V4(0, 0, 0, 0), static_cast<uint16_t>(40000 + i)));
    // Flows on the first 1,500 UDP sockets' ports, four per port, at various ages.
    for (int i = 0; i < flows; ++i) {
      const uint16_t localPort = static_cast<uint16_t>(40000 + i % 1500);
      const uint32_t remote = (66u << 24) | (22u << 16) | static_cast<uint32_t>(i);
      capture.Count(localPort, remote, static_cast<uint16_t>(50000 + i % 100), 120, clock.TickMs() - (i % 7000));
    }
  }
};

void BM_TakeSnapshot(benchmark::State& state) {
  Machine m(10000, 2000, 6000);
  Snapshotter snapshotter(m.settings, m.capture, m.tables, m.processes, m.clock, false);
  RowList rows;
  size_t produced = 0;
  for (auto _ : state) {
    snapshotter.TakeSnapshot(rows);
    produced += rows.size();
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(produced));
  state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_TakeSnapshot)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
