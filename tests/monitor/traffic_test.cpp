// Traffic per row: the amount texts at their edges, rates and totals from two snapshots (a counter
// that went backwards included), and the one-second history.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/traffic.h"

namespace tolvane {
namespace {

TEST(Traffic, AmountTexts) {
  const struct {
    uint64_t value;
    const wchar_t* rate;
  } cases[] = {
      {0, L"0 B/s"},           {999, L"999 B/s"},          {1000, L"1.00 kB/s"},          {1005, L"1.01 kB/s"},
      {12345, L"12.3 kB/s"},   {999499, L"999 kB/s"},      {999500, L"1.00 MB/s"},        {1000000, L"1.00 MB/s"},
      {3404999, L"3.40 MB/s"}, {2500000000, L"2.50 GB/s"}, {1234000000000, L"1234 GB/s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatRate(c.value), c.rate) << c.value;
    for (uint64_t other : {c.value + 1, c.value > 0 ? c.value - 1 : 0}) {
      EXPECT_EQ(ShownAmount(other) == ShownAmount(c.value), FormatRate(other) == FormatRate(c.value)) << other;
    }
  }
  EXPECT_EQ(FormatBytes(12400000), L"12.4 MB");
}

ConnectionRow Metered(std::wstring remote, uint64_t received, uint64_t sent) {
  ConnectionRow row;
  row.pid = 5151;
  row.protocol = L"TCP4";
  row.localEndpoint = L"192.168.1.23:51500";
  row.remoteEndpoint = std::move(remote);
  row.traffic.metered = true;
  row.traffic.counterReceived = received;
  row.traffic.counterSent = sent;
  return row;
}

TEST(TrafficMeter, RatesAndTotalsFromCounterDeltas) {
  CaptureTable table;
  TrafficMeter meter(table, false);
  RowList rows = {Metered(L"a:443", 5000000, 1000), Metered(L"b:443", 800, 0), ConnectionRow{}};
  meter.Update(rows, 10000);
  // First sight: no rate yet, and the flow's bytes so far are the row's.
  EXPECT_EQ(rows[0].traffic.rateReceived, 0u);
  EXPECT_EQ(rows[0].traffic.totalReceived, 5000000u);
  EXPECT_FALSE(rows[2].traffic.metered);

  // 500 ms later: a busy download, and a flow purged and counted again from nothing (600 < 800).
  rows = {Metered(L"a:443", 6000000, 1500), Metered(L"b:443", 600, 0)};
  meter.Update(rows, 10500);
  EXPECT_EQ(rows[0].traffic.rateReceived, 2000000u);
  EXPECT_EQ(rows[0].traffic.rateSent, 1000u);
  EXPECT_EQ(rows[0].traffic.totalReceived, 6000000u);
  EXPECT_EQ(rows[1].traffic.rateReceived, 1200u);
  EXPECT_EQ(rows[1].traffic.totalReceived, 1400u);

  // A row that went away starts afresh when it comes back.
  rows = {Metered(L"b:443", 900, 0)};
  meter.Update(rows, 11000);
  rows = {Metered(L"a:443", 7000000, 1500)};
  meter.Update(rows, 11500);
  EXPECT_EQ(rows[0].traffic.rateReceived, 0u);
  EXPECT_EQ(rows[0].traffic.totalReceived, 7000000u);
  EXPECT_TRUE(meter.RateHistory(Metered(L"b:443", 0, 0)).empty());
}

TEST(TrafficMeter, HistoryKeepsOneSecondRatesOfTheLastMinute) {
  CaptureTable table;
  TrafficMeter meter(table, false);
  uint64_t counter = 0;
  // Every 500 ms for 70 s: 2000 B on one row (4000 B/s), 1000 B on another; then 1 s of nothing.
  RowList rows;
  for (uint64_t now = 100000; now <= 171000; now += 500) {
    rows = {Metered(L"a:443", counter, 0), Metered(L"b:443", 0, counter / 2)};
    meter.Update(rows, now);
    if (now < 170000) counter += 2000;
  }
  const std::vector<uint64_t> history = meter.RateHistory(rows[0]);
  ASSERT_EQ(history.size(), kRateHistorySeconds);
  EXPECT_EQ(history[kRateHistorySeconds - 2], 4000u);
  EXPECT_EQ(history.back(), 0u);
  // Two rows sum second by second.
  const std::vector<uint64_t> sum = meter.RateHistory(std::vector<const ConnectionRow*>{&rows[0], &rows[1]});
  ASSERT_EQ(sum.size(), kRateHistorySeconds);
  EXPECT_EQ(sum[kRateHistorySeconds - 2], 6000u);
}

}  // namespace
}  // namespace tolvane
