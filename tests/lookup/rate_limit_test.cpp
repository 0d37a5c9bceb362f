// The geolocation rate limit on a fake clock: the pause the service's headers ask for, the
// one-minute window of 45 requests, and what a refused lookup looks like through the worker (the
// 429 message, published once, with no request sent).
#include "lookup/rate_limit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_http.h"
#include "lookup/header_values.h"
#include "lookup/lookup_service.h"

namespace tolvane {
namespace {

const std::wstring kApi = L"http://127.0.0.1:1";
const char kAnswer[] = R"({"status":"success","country":"Germany","city":"Frankfurt am Main","lat":50.11,"lon":8.68})";

TEST(LookupRateLimit, PauseFollowsTheServiceHeaders) {
  struct Case {
    int32_t status;
    std::wstring left, reset;
    int64_t pauseS;  // 0: no pause at all
  };
  const std::vector<Case> cases = {
      {200, L"0", L"5", 5},        {200, L" 0 ", L"17", 17}, {200, L"0", L"", 60},  // X-Ttl absent
      {200, L"0", L"soon", 60},                                                     // unreadable
      {200, L"0", L"-5", 60},                                                       // no negative waits
      {200, L"0", L"99999", 3600},                                                  // held to an hour
      {200, L"0", L"0", 0},                                                         // the window resets now
      {429, L"", L"", 60},         {429, L"12", L"7", 7},                           // a 429 pauses whatever X-Rl claims
      {429, L"", L"2.5", 60},      {200, L"1", L"5", 0},     {200, L"", L"", 0},
      {200, L"none", L"5", 0},  // an unreadable X-Rl is no reason to stop
      {503, L"", L"", 0},          {0, L"", L"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + " X-Rl " + std::string(c.left.begin(), c.left.end()) + " X-Ttl " +
                 std::string(c.reset.begin(), c.reset.end()));
    FakeClock clock;
    LookupRateLimit limit(clock);
    ASSERT_TRUE(limit.TryStart());
    limit.Finished(c.status, HttpHeaders{L"", L"", c.left, c.reset});
    if (c.pauseS > 0) {
      EXPECT_FALSE(limit.TryStart());
      clock.Advance(static_cast<uint64_t>(c.pauseS) * 1000 - 1);
      EXPECT_FALSE(limit.TryStart());
      clock.Advance(1);
    }
    EXPECT_TRUE(limit.TryStart());
  }
}

TEST(LookupRateLimit, NeverMoreThan45InAnySixtySeconds) {
  FakeClock clock;
  LookupRateLimit limit(clock);
  const uint64_t start = clock.TickMs();
  // 45 requests spread over the first 44 seconds, whatever the service says is left.
  for (int i = 0; i < 45; ++i) {
    ASSERT_TRUE(limit.TryStart()) << i;
    limit.Finished(200, HttpHeaders{L"", L"", L"40", L"60"});
    if (i < 44) clock.Advance(1000);
  }
  EXPECT_FALSE(limit.TryStart());
  clock.tickMs = start + 59999;  // the first request is still within the last minute
  EXPECT_FALSE(limit.TryStart());
  clock.tickMs = start + 60000;  // now it is not: exactly one slot frees
  EXPECT_TRUE(limit.TryStart());
  EXPECT_FALSE(limit.TryStart());
  clock.tickMs = start + 60000 + 1000;  // the second one leaves the window
  EXPECT_TRUE(limit.TryStart());
  EXPECT_FALSE(limit.TryStart());
}

TEST(HeaderNumbers, WholeNonNegativeNumbersOnly) {
  struct Case {
    std::wstring text;
    std::optional<int64_t> value;
  };
  const std::vector<Case> cases = {
      {L"0", 0},
      {L"45", 45},
      {L" 7\t", 7},
      {L"", std::nullopt},
      {L" ", std::nullopt},
      {L"-1", std::nullopt},
      {L"+5", std::nullopt},
      {L"1.5", std::nullopt},
      {L"5s", std::nullopt},
      {L"1 2", std::nullopt},
      {L"99999999999999999999999", kHeaderSecondsLimit},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseHeaderNumber(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  }
}

struct WorkerFixture : ::testing::Test {
  LookupCache cache;
  FakeHttpClient http;
  FakeClock clock;
  std::atomic<bool> running{true};
  LookupWorker worker{cache, http, nullptr, clock, running, kApi};

  // Queues address (forced) and lets the worker perform it.
  LookupResult Lookup(const std::wstring& address) {
    cache.RequestLookup(address, true);
    EXPECT_TRUE(worker.RunOnce());
    return cache.Snapshot(address);
  }
};

TEST_F(WorkerFixture, AfterXRlZeroLookupsFailAtOnceWithoutARequestUntilXTtlPassed) {
  http.AnswerOthers(200, kAnswer, HttpHeaders{L"", L"", L"0", L"5"});
  EXPECT_EQ(Lookup(L"203.0.113.1").state, LookupState::Done);
  ASSERT_EQ(http.Requests().size(), 1u);

  http.AnswerOthers(200, kAnswer, HttpHeaders{L"", L"", L"44", L"60"});
  for (const uint64_t stepMs : {0, 2000, 2999}) {
    clock.Advance(stepMs);
    const LookupResult blocked = Lookup(L"203.0.113.2");
    EXPECT_EQ(blocked.state, LookupState::Failed);
    EXPECT_EQ(blocked.mapState, MapState::None);
    EXPECT_EQ(blocked.message, L"Rate limit reached. Wait a minute and press Refresh.");
    EXPECT_EQ(http.Requests().size(), 1u) << "no request while paused";
  }
  clock.Advance(1);  // five seconds after the answer
  EXPECT_EQ(Lookup(L"203.0.113.2").state, LookupState::Done);
  EXPECT_EQ(http.Requests().size(), 2u);
  EXPECT_EQ(http.Requests().back(), LookupUrl(kApi, L"203.0.113.2"));
}

TEST_F(WorkerFixture, After429WithoutXTtlTheWorkerWaitsSixtySeconds) {
  http.AnswerOthers(429, R"({"message":"too many"})");
  EXPECT_EQ(Lookup(L"203.0.113.1").message, L"Rate limit reached. Wait a minute and press Refresh.");
  http.AnswerOthers(200, kAnswer);
  clock.Advance(59999);
  EXPECT_EQ(Lookup(L"203.0.113.1").state, LookupState::Failed);
  EXPECT_EQ(http.Requests().size(), 1u);
  clock.Advance(1);
  EXPECT_EQ(Lookup(L"203.0.113.1").state, LookupState::Done);
  EXPECT_EQ(http.Requests().size(), 2u);
}

TEST_F(WorkerFixture, APauseLongerThanAMinuteSaysHowLongInWholeMinutesRoundedUp) {
  http.AnswerOthers(429, "", HttpHeaders{L"", L"", L"", L"690"});
  EXPECT_EQ(Lookup(L"203.0.113.1").message, L"Rate limit reached. Try again in 12 minutes.");
  clock.Advance(600000);  // 90 s left
  EXPECT_EQ(Lookup(L"203.0.113.1").message, L"Rate limit reached. Try again in 2 minutes.");
  clock.Advance(30000);  // a minute left
  EXPECT_EQ(Lookup(L"203.0.113.1").message, L"Rate limit reached. Wait a minute and press Refresh.");
  EXPECT_EQ(http.Requests().size(), 1u);
}

TEST_F(WorkerFixture, FortySixLookupsInAMinuteSendFortyFive) {
  http.AnswerOthers(200, kAnswer);  // a service that never says stop
  std::vector<LookupState> states;
  for (int i = 0; i < 46; ++i) {
    states.push_back(Lookup(L"203.0.113." + std::to_wstring(i + 1)).state);
    clock.Advance(1000);
  }
  EXPECT_EQ(http.Requests().size(), 45u);
  EXPECT_EQ(std::count(states.begin(), states.end(), LookupState::Done), 45);
  EXPECT_EQ(states.back(), LookupState::Failed);
  EXPECT_EQ(cache.Snapshot(L"203.0.113.46").message, L"Rate limit reached. Wait a minute and press Refresh.");
  // A minute after the first request the window has room again.
  clock.Advance(14000);
  EXPECT_EQ(Lookup(L"203.0.113.46").state, LookupState::Done);
  EXPECT_EQ(http.Requests().size(), 46u);
}

}  // namespace
}  // namespace tolvane
