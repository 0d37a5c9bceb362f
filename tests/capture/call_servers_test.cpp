// Call servers: one text-only locate request per new call address and none for known ones, none
// while locateCalls is off or in demo mode; the history saved at most every 10 s; the move rule.
#include "capture/call_servers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_http.h"

namespace tolvane {
namespace {

constexpr wchar_t kBase[] = L"http://127.0.0.1:9";
constexpr int64_t kDay = 24LL * 3600 * 1000;

ConnectionRow Voice(std::wstring address, uint64_t packets, int32_t ageMs = 100) {
  ConnectionRow row;
  row.category = L"discord";
  row.protocol = L"UDP4";
  row.processName = L"Discord.exe";
  row.remoteAddress = std::move(address);
  row.remotePort = 50004;
  row.packets = packets;
  row.ageMs = ageMs;
  return row;
}

std::string Answer(const char* city, const char* code) {
  return std::string("{\"status\":\"success\",\"city\":\"") + city + "\",\"countryCode\":\"" + code +
         "\",\"isp\":\"Voice ISP\",\"as\":\"AS64501 Voice\",\"lat\":50.1,\"lon\":8.7}";
}

struct CallServersTest : testing::Test {
  void Start(bool demo = false) {
    servers = std::make_unique<CallServers>(settings, calls, cache, book, fs, clock, toast, demo, [this] { ++sounds; });
    servers->Load();
  }
  // One refresh a second later: the list, a tick, every queued request answered, another tick.
  void Step(const RowList& rows) {
    clock.Advance(1000);
    calls.RebuildCallList(rows);
    servers->Tick();
    while (worker.RunOnce()) {
    }
    servers->Tick();
  }

  FakeClock clock;
  FakeFileSystem fs;
  FakeHttpClient http;
  Settings settings = MakeDefaultSettings();
  CallPrefixList prefixes;
  CallList calls{settings, prefixes, clock};
  LookupCache cache;
  LatencyBook book;
  Toast toast{clock};
  std::atomic<bool> running{true};
  int tiles = 0, sounds = 0;
  LookupWorker worker{cache,
                      http,
                      [this](double, double, int, float&, float&) {
                        ++tiles;
                        return std::shared_ptr<const MapImage>();
                      },
                      clock,
                      running,
                      kBase};
  std::unique_ptr<CallServers> servers;
  int64_t now = clock.SystemNs() / 1000000;
};

TEST_F(CallServersTest, LocatesEachNewAddressOnceTextOnlyAndRemembersItsServers) {
  http.AnswerOthers(200, Answer("Amsterdam", "NL"));
  fs.files[CallHistoryPath(fs)] = FormatCallHistory(
      {CallServerRecord{L"35.214.40.77", 50004, now - 5 * kDay, now - 5 * kDay, 10, 30, L"Paris", L"FR", L""},
       CallServerRecord{L"3.5.5.5", 50004, now - 40 * kDay, now - 2 * kDay, 10, 30, L"Oslo", L"NO", L""}},
      clock);
  Start();
  const RowList rows = {Voice(L"35.214.40.77", 900), Voice(L"104.18.12.201", 400), Voice(L"3.5.5.5", 20)};
  for (int i = 0; i < 5; ++i) Step(rows);
  // The new address and the one located more than 30 days ago: once each, no map, no lookup record.
  EXPECT_EQ(http.Requests(),
            (std::vector<std::wstring>{LookupUrl(kBase, L"104.18.12.201"), LookupUrl(kBase, L"3.5.5.5")}));
  EXPECT_EQ(tiles, 0);
  EXPECT_EQ(cache.QueueSize(), 0u);
  EXPECT_EQ(servers->PlaceOf(L"35.214.40.77"), L"Paris, FR");
  EXPECT_EQ(servers->PlaceOf(L"104.18.12.201"), L"Amsterdam, NL");
  EXPECT_EQ(servers->PlaceOf(L"3.5.5.5"), L"Amsterdam, NL");

  // Written once at the first change, then not again within 10 s; at shutdown the rest.
  EXPECT_EQ(fs.writeCalls, 1);
  servers->SaveNow();
  const std::vector<CallServerRecord> saved = ParseCallHistory(fs.files[CallHistoryPath(fs)]).records;
  ASSERT_EQ(saved.size(), 3u);
  EXPECT_EQ(saved[1].packets, 910u);  // 10 from before, 900 of this call
  EXPECT_EQ(saved[2].owner, L"Voice ISP / AS64501 Voice");
}

TEST_F(CallServersTest, NothingIsSentWhileLocateCallsIsOffNorInDemoMode) {
  settings.locateCalls = false;
  fs.files[CallHistoryPath(fs)] =
      FormatCallHistory({CallServerRecord{L"3.5.5.5", 1, now, now, 1, 1, L"", L"", L""}}, clock);
  Start();
  const RowList rows = {Voice(L"35.214.40.77", 900), Voice(L"104.18.12.201", 400)};
  Step(rows);
  EXPECT_TRUE(http.Requests().empty());
  EXPECT_EQ(servers->PlaceOf(L"104.18.12.201"), L"");

  settings.locateCalls = true;
  Start(true);  // demo: made-up places, the user's file neither read nor written
  for (int i = 0; i < 12; ++i) Step(rows);
  servers->SaveNow();
  EXPECT_TRUE(http.Requests().empty());
  EXPECT_EQ(servers->PlaceOf(L"35.214.40.77"), L"Frankfurt, DE");
  EXPECT_EQ(servers->PlaceOf(L"104.18.12.201"), L"Amsterdam, NL");
  for (const CallServerRecord& r : servers->History()) EXPECT_NE(r.address, L"3.5.5.5");
  EXPECT_EQ(fs.writeCalls, 1);  // the one before demo mode; none since
}

TEST_F(CallServersTest, AMoveOfTheFirstLiveServerIsToldOnceAndNothingElseIs) {
  settings.callMoveSound = true;
  http.Answer(LookupUrl(kBase, L"35.214.40.77"), 200, Answer("Frankfurt", "DE"));
  http.Answer(LookupUrl(kBase, L"104.18.12.201"), 200, Answer("Amsterdam", "NL"));
  book.RecordSample(L"104.18.12.201", 38);
  Start();
  struct Case {
    RowList rows;
    const wchar_t* toast;
  } cases[] = {
      {{Voice(L"35.214.40.77", 900)}, L""},
      {{Voice(L"35.214.40.77", 900, 9000)}, L""},  // silent, still listed
      {{Voice(L"35.214.40.77", 950)}, L""},        // a reconnect to the same server
      {{Voice(L"104.18.12.201", 40000), Voice(L"35.214.40.77", 990)},
       L"Voice server moved: Frankfurt \u2192 Amsterdam (38 ms)"},
      {{}, L""},                                                                    // the call ended
      {{Voice(L"3.9.9.9", 10)}, L""},                                               // a new call somewhere else
      {{Voice(L"3.8.8.8", 90000)}, L"Voice server moved: 3.9.9.9 \u2192 3.8.8.8"},  // told after 4 s
  };
  http.AnswerOthers(0, "");  // the last two cannot be located
  for (int step = 0; step < 7; ++step) {
    toast.Show(L"");
    for (int i = 0; i < (step == 6 ? 5 : 1); ++i) Step(cases[step].rows);
    EXPECT_EQ(toast.text(), cases[step].toast) << step;
  }
  EXPECT_EQ(sounds, 2);
}

TEST_F(CallServersTest, LocatingWaitsBehindTheUsersLookupsAndOutOfTheServicesPause) {
  http.Answer(LookupUrl(kBase, L"3.2.2.2"), 200, Answer("Bergen", "NO"));
  http.AnswerOthers(429, "");  // no X-Ttl: a pause of 60 s
  cache.RequestLocate(L"3.1.1.1");
  cache.RequestLookup(L"3.2.2.2", false);
  while (worker.RunOnce()) {
  }
  // The user's lookup first; the refused locate is kept, not given up, and waits out the pause.
  EXPECT_EQ(http.Requests(), (std::vector<std::wstring>{LookupUrl(kBase, L"3.2.2.2"), LookupUrl(kBase, L"3.1.1.1")}));
  EXPECT_TRUE(cache.TakeLocated().empty());
  http.AnswerOthers(200, Answer("Oslo", "NO"));
  clock.Advance(60000);
  EXPECT_TRUE(worker.RunOnce());
  const std::vector<LookupResult> located = cache.TakeLocated();
  ASSERT_EQ(located.size(), 1u);
  EXPECT_EQ(located[0].city, L"Oslo");
}

}  // namespace
}  // namespace tolvane
