// The readers of Cache-Control and HTTP dates: every form a server may send, and the near misses
// that must read as "no value" rather than as some other time.
#include "lookup/header_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST(CacheControl, MaxAgeOfTheFirstDirective) {
  struct Case {
    std::wstring text;
    std::optional<int64_t> seconds;
  };
  const std::vector<Case> cases = {
      {L"max-age=3600", 3600},
      {L"public, max-age=86400, stale-while-revalidate=604800, stale-if-error=604800", 86400},
      {L"MAX-AGE=5", 5},
      {L"max-age=\"7\"", 7},
      {L"max-age = 10", 10},
      {L"no-cache=\"Set-Cookie, max-age=9\", max-age=5", 5},  // a comma inside quotes splits nothing
      {L"max-age=0", 0},
      {L"max-age=99999999999999999999", kHeaderSecondsLimit},
      {L"max-age=12, max-age=99", 12},
      {L"", std::nullopt},
      {L"no-store", std::nullopt},
      {L"s-maxage=100", std::nullopt},
      {L"x-max-age=100", std::nullopt},
      {L"max-age", std::nullopt},
      {L"max-age=", std::nullopt},
      {L"max-age=-1", std::nullopt},
      {L"max-age=1h", std::nullopt},
      {L"max-age=\"7", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(CacheControlMaxAge(c.text), c.seconds) << Narrow(c.text);
}

TEST(HttpDate, TheThreeFormsAndNothingElse) {
  const int64_t nov6 = 784111777000;  // 1994-11-06 08:49:37 UTC
  struct Case {
    std::wstring text;
    std::optional<int64_t> ms;
  };
  const std::vector<Case> cases = {
      {L"Sun, 06 Nov 1994 08:49:37 GMT", nov6},
      {L"Sunday, 06-Nov-94 08:49:37 GMT", nov6},
      {L"Sun Nov  6 08:49:37 1994", nov6},
      {L"sun, 06 nov 1994 08:49:37 gmt", nov6},
      {L"06 Nov 1994 08:49:37 GMT", nov6},  // without the weekday
      {L"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {L"Tue, 29 Feb 2000 12:00:00 GMT", 951825600000},
      {L"Fri, 31 Dec 9999 23:59:59 GMT", 253402300799000},
      {L"Thursday, 01-Jan-70 00:00:01 GMT", 1000},
      {L"Friday, 01-Jan-38 00:00:00 GMT", 2145916800000},  // two-digit years below 70 are 20xx
      {L"Sat, 31 Dec 2016 23:59:60 GMT", 1483228800000},   // a leap second reads as the next second
      {L"", std::nullopt},
      {L"0", std::nullopt},
      {L"-1", std::nullopt},
      {L"Sun, 06 Nov 1994 08:49:37 +0200", std::nullopt},
      {L"Sun, 06 Nov 1994 08:49:37", std::nullopt},
      {L"Sun, 06 Nov 1994 08:49 GMT", std::nullopt},
      {L"Sun, 06 Nov 1994 8:49:37 GMT", std::nullopt},
      {L"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
      {L"Sun, 06 Nov 1994 08:60:00 GMT", std::nullopt},
      {L"Sun, 32 Nov 1994 08:49:37 GMT", std::nullopt},
      {L"Sun, 31 Nov 1994 08:49:37 GMT", std::nullopt},
      {L"Wed, 29 Feb 1995 08:49:37 GMT", std::nullopt},
      {L"Mon, 29 Feb 1900 08:49:37 GMT", std::nullopt},
      {L"Sun, 00 Nov 1994 08:49:37 GMT", std::nullopt},
      {L"Sun, 006 Nov 1994 08:49:37 GMT", std::nullopt},
      {L"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
      {L"Sun, 06 Nov 194 08:49:37 GMT", std::nullopt},
      {L"Sun, 06 Nov 1969 08:49:37 GMT", std::nullopt},
      {L"Sun, 06 Nov 1994 08:49:37 GMT extra", std::nullopt},
      {L"Sun Nov  6 08:49:37 94", std::nullopt},
      {L"Sun Nov  6 08:49:37 1994 GMT", std::nullopt},
      {L"Funday, 06 Nov 1994 08:49:37 GMT", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHttpDate(c.text), c.ms) << Narrow(c.text);
}

}  // namespace
}  // namespace tolvane
