// LatencyBook: history cap, the wipe past 600 addresses and the sample counter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "latency/latency_book.h"

namespace tolvane {
namespace {

TEST(LatencyBookTest, HistoryKeepsTheNewestNinetySamples) {
  struct Case {
    int samples;
    size_t expectedLength;
    int32_t expectedOldest;
  };
  const Case cases[] = {{1, 1, 1}, {90, 90, 1}, {91, 90, 2}, {200, 90, 111}};
  for (const Case& c : cases) {
    LatencyBook book;
    for (int i = 1; i <= c.samples; ++i) book.RecordSample(L"8.8.8.8", i);
    const std::vector<int32_t> history = book.LatencyHistory(L"8.8.8.8");
    ASSERT_EQ(history.size(), c.expectedLength) << c.samples;
    EXPECT_EQ(history.front(), c.expectedOldest) << c.samples;
    EXPECT_EQ(history.back(), c.samples) << c.samples;
    EXPECT_EQ(book.Latest(L"8.8.8.8"), c.samples);
    EXPECT_EQ(book.SampleCounter(), static_cast<uint32_t>(c.samples));
  }
}

TEST(LatencyBookTest, UnknownAddressHasNoValueAndNoHistory) {
  LatencyBook book;
  book.RecordSample(L"1.1.1.1", -1);
  EXPECT_EQ(book.Latest(L"1.1.1.1"), -1);
  EXPECT_FALSE(book.Latest(L"1.1.1.2").has_value());
  EXPECT_TRUE(book.LatencyHistory(L"1.1.1.2").empty());
}

TEST(LatencyBookTest, WipesEverythingOnceItHoldsMoreThanSixHundredAddresses) {
  LatencyBook book;
  for (int i = 0; i < 601; ++i)
    book.RecordSample(L"10.0." + std::to_wstring(i / 256) + L"." + std::to_wstring(i % 256), 5);
  // 601 addresses are kept: the check runs before the new address is stored.
  EXPECT_EQ(book.AddressCount(), 601u);
  EXPECT_EQ(book.Latest(L"10.0.0.0"), 5);
  book.RecordSample(L"9.9.9.9", 7);
  EXPECT_EQ(book.AddressCount(), 1u);
  EXPECT_FALSE(book.Latest(L"10.0.0.0").has_value());
  EXPECT_TRUE(book.LatencyHistory(L"10.0.0.0").empty());
  EXPECT_EQ(book.LatencyHistory(L"9.9.9.9"), std::vector<int32_t>{7});
  EXPECT_EQ(book.SampleCounter(), 602u);
}

}  // namespace
}  // namespace tolvane
