// The call history file: its text round trip, its bounds, a damaged or foreign file kept aside, and
// a save that dies between the temporary file and the move.
#include "capture/call_history.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"

namespace tolvane {
namespace {

constexpr int64_t kDay = 24LL * 3600 * 1000;

struct HistoryFixture : testing::Test {
  const std::wstring folder = L"C:\\Users\\tester\\AppData\\Roaming\\Tolvane\\";
  const std::wstring path = folder + L"calls.csv";
  FakeFileSystem fs;
  FakeClock clock;  // 2023-11-14T22:13:20Z
  int64_t now = clock.SystemNs() / 1000000;
};

CallServerRecord Server(std::wstring address, int64_t lastSeenMs) {
  return CallServerRecord{std::move(address), 50004, lastSeenMs - 60000,   lastSeenMs, 1200, 38,
                          L"Frankfurt",       L"DE", L"Demo ISP / AS64500"};
}

TEST_F(HistoryFixture, RoundTripKeepsEveryFieldAndQuotesWhatCsvNeeds) {
  std::vector<CallServerRecord> records = {
      Server(L"35.214.40.77", now),
      CallServerRecord{L"104.18.12.201", 443, now - 5 * kDay, now - 4 * kDay, 0, -1, L"S\u00e3o Paulo", L"BR",
                       L"Cloudflare, Inc. \"CF\" / AS13335"},
      CallServerRecord{L"2606:4700::1", 3478, now - kDay, now - kDay, 7, 9, L"=HYPERLINK(\"x\")", L"", L"-1+2"},
  };
  clock.utcOffsetMinutes = 120;
  const std::string bytes = FormatCallHistory(records, clock);
  EXPECT_EQ(bytes.substr(0, bytes.find("\r\n", 80) + 2),
            "address,port,firstSeen,lastSeen,packets,medianMs,place,country,owner\r\n"
            "35.214.40.77,50004,2023-11-15T00:12:20+02:00,2023-11-15T00:13:20+02:00,1200,38,Frankfurt,DE,"
            "Demo ISP / AS64500\r\n");
  EXPECT_NE(bytes.find(",\"Cloudflare, Inc. \"\"CF\"\" / AS13335\"\r\n"), std::string::npos);
  EXPECT_NE(bytes.find(",\"'=HYPERLINK(\"\"x\"\")\",,'-1+2\r\n"), std::string::npos);  // no formula
  const ParsedCallHistory parsed = ParseCallHistory(bytes);
  EXPECT_FALSE(parsed.foreign);
  EXPECT_EQ(parsed.badRows, 0u);
  EXPECT_EQ(parsed.records, records);
}

TEST_F(HistoryFixture, KeepsTheLastThousandServersOfNinetyDays) {
  std::vector<CallServerRecord> records;
  for (int i = 0; i < 1100; ++i)
    records.push_back(Server(L"35.0." + std::to_wstring(i / 250) + L"." + std::to_wstring(i % 250), now - i * 60000));
  records.push_back(Server(L"3.3.3.3", now - 91 * kDay));  // too old even with room
  BoundCallHistory(records, now);
  ASSERT_EQ(records.size(), 1000u);
  EXPECT_EQ(records.front().address, L"35.0.0.0");
  EXPECT_EQ(records.back().address, L"35.0.3.249");  // the 1000th newest
}

TEST_F(HistoryFixture, DamagedOrForeignFileIsKeptAsideUnderItsDateAndReadableRowsKept) {
  const std::string good = FormatCallHistory({Server(L"35.214.40.77", now)}, clock);
  struct Case {
    std::string bytes;
    size_t kept;
  } cases[] = {
      {good + "35.214.40.78,50004,yesterday,2023-11-14T22:13:20Z,1,2,a,b,c\r\n", 1},  // a bad time
      {"Name,Size\r\nholiday.jpg,123\r\n", 0},                                        // another program's
  };
  int n = 0;
  for (const Case& c : cases) {
    fs.files.clear();
    fs.files[path] = c.bytes;
    if (n > 0) fs.files[folder + L"calls-2023-11-14.csv"] = "an earlier one";
    const CallHistoryLoad load = LoadCallHistory(fs, clock);
    const std::wstring aside = folder + (n == 0 ? L"calls-2023-11-14.csv" : L"calls-2023-11-14-2.csv");
    EXPECT_EQ(load.setAsidePath, aside) << n;
    EXPECT_EQ(fs.files[aside], c.bytes) << n;
    EXPECT_EQ(fs.files.count(path), 0u) << n;
    EXPECT_EQ(load.records.size(), c.kept) << n;
    EXPECT_TRUE(load.writable) << n;
    ++n;
  }
  fs.files.clear();
  fs.files[path] = good;
  EXPECT_EQ(LoadCallHistory(fs, clock).setAsidePath, L"");  // a good file stays where it is
  EXPECT_EQ(fs.files[path], good);
}

TEST_F(HistoryFixture, ASaveThatDiesBeforeTheMoveLosesNothingOlder) {
  const std::vector<CallServerRecord> older = {Server(L"35.214.40.77", now - kDay)};
  ASSERT_TRUE(SaveCallHistory(older, fs, clock));
  const std::string before = fs.files[path];
  std::vector<CallServerRecord> newer = older;
  newer.push_back(Server(L"104.18.12.201", now));
  for (bool failWrite : {false, true}) {
    fs.failMove = !failWrite;
    fs.failWrite = failWrite;
    EXPECT_FALSE(SaveCallHistory(newer, fs, clock));
    EXPECT_EQ(fs.files[path], before);
    EXPECT_EQ(fs.files.count(path + L".tmp"), 0u);
    fs.failMove = fs.failWrite = false;
    EXPECT_EQ(LoadCallHistory(fs, clock).records, older);
  }
}

}  // namespace
}  // namespace tolvane
