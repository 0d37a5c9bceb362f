// Connection view rebuild cost: 10,000 published rows across 600 pinged addresses, with and
// without a search text. Each iteration is one whole RebuildView (copy, call list, filter, sort,
// first-seen table, fingerprints), as the window runs it after every new snapshot. The export of
// the same view (Ctrl+S, the console program): its tables, then the CSV and JSON texts.
#include <benchmark/benchmark.h>

#include <string>

#include "export/export_writer.h"
#include "fakes/fake_clock.h"
#include "monitor/view.h"

namespace tolvane {
namespace {

struct ViewBench {
  ViewBench() : calls(settings, prefixes, clock), view(published, calls, book, settings, prefixes, clock) {
    prefixes.RebuildPrefixList(L"104,3");
    static const wchar_t* kNames[] = {L"Discord.exe", L"chrome.exe", L"firefox.exe", L"Spotify.exe",
                                      L"steam.exe",   L"Code.exe",   L"svchost.exe", L"Telegram.exe"};
    static const wchar_t* kCategories[] = {L"discord", L"browser", L"browser", L"media",
                                           L"game",    L"dev",     L"other",   L"social"};
    static const wchar_t* kStates[] = {L"ACTIVE", L"OPEN", L"RECENT"};
    for (int i = 0; i < 10000; ++i) {
      ConnectionRow r;
      const int app = i % 8;
      const int address = i % 600;
      r.processName = kNames[app];
      r.pid = static_cast<uint32_t>(1000 + app * 17);
      r.protocol = (i % 3 == 0) ? L"UDP4" : L"TCP4";
      r.localPort = 40000 + i;
      r.localEndpoint = L"192.168.1.23:" + std::to_wstring(r.localPort);
      r.remoteAddress = (address % 5 == 0 ? L"104.18." : L"52.") + std::to_wstring(address / 250) + L"." +
                        std::to_wstring(address % 250);
      r.remotePort = 443 + (i % 7);
      r.remoteEndpoint = r.remoteAddress + L":" + std::to_wstring(r.remotePort);
      r.state = kStates[i % 3];
      r.category = kCategories[app];
      r.role = r.protocol == L"UDP4" ? L"Browser HTTP/3 QUIC" : L"HTTPS";
      r.packets = static_cast<uint64_t>(i % 50);
      r.ageMs = i % 9000;
      published.rows.push_back(std::move(r));
      if (i < 600) book.RecordSample(published.rows.back().remoteAddress, 10 + i % 140);
    }
    settings.callOnly = true;
  }
  Settings settings;
  PublishedRows published;
  CallPrefixList prefixes;
  LatencyBook book;
  FakeClock clock;
  CallList calls;
  ConnectionView view;
};

void RunRebuild(benchmark::State& state, const std::wstring& search, int32_t sortKey) {
  ViewBench b;
  ViewInputs inputs;
  inputs.searchText = search;
  inputs.sortKey = sortKey;
  b.view.RebuildView(inputs);
  for (auto _ : state) {
    b.clock.Advance(100);
    benchmark::DoNotOptimize(b.view.RebuildView(inputs));
  }
  state.counters["shown"] = static_cast<double>(b.view.ViewRows().size());
  state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_RebuildView(benchmark::State& state) { RunRebuild(state, L"chrome", 0); }
void BM_RebuildViewNoSearch(benchmark::State& state) { RunRebuild(state, L"", 2); }
void BM_RebuildViewRareSearch(benchmark::State& state) { RunRebuild(state, L"spotify", 0); }

// Every row shown (callOnly off): 10,000 rows into the tables and both texts.
void BM_ExportView(benchmark::State& state) {
  ViewBench b;
  b.settings.callOnly = false;
  ViewInputs inputs;
  b.view.RebuildView(inputs);
  size_t bytes = 0;
  for (auto _ : state) {
    const ExportDocument doc = CollectExport(b.view, b.calls, true, b.clock);
    const std::string csv = CsvText(doc.tables[0]);
    const std::string json = JsonText(doc);
    bytes = csv.size() + json.size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(b.view.ViewRows().size()));
}

BENCHMARK(BM_RebuildView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildViewNoSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildViewRareSearch)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
