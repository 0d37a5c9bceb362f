// What one idle socket snapshot costs on this system: run under Wine (bench/idle_cost.py
// --snapshot) or on Windows. Takes 200 snapshots with the real socket tables and process list, one
// after the other as the refresh thread would with nothing changing, and prints the median wall
// time and the mean CPU time of this thread per snapshot, then the same for the process list and the
// four table reads alone (where the time goes). The CPU clock of the system ticks coarsely (10 ms
// under Wine), so CPU time is the total over all rounds divided by their number.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "monitor/capture_table.h"
#include "monitor/snapshot.h"
#include "monitor/socket_table_reader.h"
#include "platform/win32/socket_tables_win32.h"
#include "settings/settings.h"

namespace tolvane {
namespace {

int kRounds = 200;  // or the first argument

double ThreadCpuMs() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  const auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

void Measure(const char* what, const std::function<void()>& work) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  work();  // warm: first-use costs are not the steady state
  std::vector<double> wall;
  wall.reserve(kRounds);
  const double cpu0 = ThreadCpuMs();
  for (int i = 0; i < kRounds; ++i) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    work();
    QueryPerformanceCounter(&b);
    wall.push_back(static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
  }
  const double cpu = (ThreadCpuMs() - cpu0) / kRounds;
  std::nth_element(wall.begin(), wall.begin() + kRounds / 2, wall.end());
  std::printf("%-14s %7.3f ms wall (median)  %7.3f ms cpu (mean of %d)\n", what, wall[kRounds / 2], cpu, kRounds);
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
  using namespace tolvane;
  if (argc > 1) kRounds = std::max(1, std::atoi(argv[1]));
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  Settings settings;
  CaptureTable capture;
  Snapshotter snapshotter(settings, capture, SystemSocketTables(), SystemProcessList(), SystemClock(), false);
  RowList rows;
  Measure("snapshot", [&] { snapshotter.TakeSnapshot(rows); });
  std::vector<ProcessEntry> processes;
  Measure("process list", [&] { SystemProcessList().Snapshot(processes); });
  for (const auto& [kind, name] : {std::pair{SocketTableKind::Tcp4, "tcp4 table"},
                                   {SocketTableKind::Tcp6, "tcp6 table"},
                                   {SocketTableKind::Udp4, "udp4 table"},
                                   {SocketTableKind::Udp6, "udp6 table"}}) {
    std::vector<std::byte> buffer;
    Measure(name, [&] { ReadSocketTableBuffer(SystemSocketTableQuery(), kind, buffer); });
  }
  std::printf("rows %zu, processes %zu\n", rows.size(), processes.size());
  WSACleanup();
  return 0;
}
