// The call history file at its largest (1000 servers with long texts): writing it, which happens
// at most every 10 s during a call and at exit, and reading it, once at start. Reported as rows per
// second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "capture/call_history.h"
#include "fakes/fake_clock.h"

namespace tolvane {
namespace {

std::vector<CallServerRecord> FullHistory(int64_t nowMs) {
  std::vector<CallServerRecord> records;
  for (int i = 0; i < static_cast<int>(kCallHistoryMaxServers); ++i) {
    records.push_back(CallServerRecord{L"35.214." + std::to_wstring(i / 250) + L"." + std::to_wstring(i % 250),
                                       50000 + i % 40, nowMs - i * 3600000LL, nowMs - i * 3600000LL + 1800000,
                                       180000 + static_cast<uint64_t>(i), 30 + i % 70, L"Frankfurt am Main", L"DE",
                                       L"Google LLC, Cloud Services / AS15169 Google LLC"});
  }
  return records;
}

void BM_FormatCallHistory(benchmark::State& state) {
  FakeClock clock;
  const std::vector<CallServerRecord> records = FullHistory(clock.SystemNs() / 1000000);
  for (auto _ : state) benchmark::DoNotOptimize(FormatCallHistory(records, clock));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(records.size()));
}
BENCHMARK(BM_FormatCallHistory);

void BM_ParseCallHistory(benchmark::State& state) {
  FakeClock clock;
  const std::string bytes = FormatCallHistory(FullHistory(clock.SystemNs() / 1000000), clock);
  for (auto _ : state) benchmark::DoNotOptimize(ParseCallHistory(bytes));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kCallHistoryMaxServers));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_ParseCallHistory);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
