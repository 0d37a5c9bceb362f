// Call-prefix parsing and matching: stray separators, the "3" / "3." difference, IPv6 and
// non-address texts, and the summary the call panel shows.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "capture/call_prefix.h"

namespace tolvane {
namespace {

TEST(CallPrefixList, ParsesTokens) {
  const struct {
    std::wstring text;
    std::vector<std::string> tokens;
  } cases[] = {
      {L"104,3", {"104", "3"}},
      {L"", {}},
      {L",,104,,3.,", {"104", "3."}},
      {L" 104 ; 3 ", {"104", "3"}},
      {L",,,", {}},
      {L"1a2", {"1", "2"}},
      {L"66.22.", {"66.22."}},
      {L"\u0661\u0662", {}},  // Arabic-Indic digits are not ASCII digits
  };
  CallPrefixList list;
  for (const auto& c : cases) {
    list.RebuildPrefixList(c.text);
    EXPECT_EQ(list.Tokens(), c.tokens) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(CallPrefixList, MatchesStartOfAddress) {
  const struct {
    std::wstring prefixes;
    std::wstring address;
    bool expected;
  } cases[] = {
      {L"3.", L"3.4.5.6", true},
      {L"3.", L"35.214.40.77", false},
      {L"3", L"3.4.5.6", true},
      {L"3", L"35.214.40.77", true},
      {L"104,3", L"104.16.0.1", true},
      {L"104,3", L"10.4.0.1", false},
      {L"104,3", L"66.22.196.1", false},
      {L"", L"66.22.196.1", true},
      {L"", L"2606:4700::1", false},
      {L"2606", L"2606:4700::1", false},
      {L"", L"::ffff:1.2.3.4", false},
      {L"", L"", false},
      {L"", L"*", false},
      {L"", L"localhost", false},
      {L"104", L"", false},
      {L"104.1.2.3.4", L"104.1.2.3", false},  // a token longer than the address
      {L"104.1.2.3", L"104.1.2.3", true},
      {L",,", L"8.8.8.8", true},  // only separators: no filter
  };
  CallPrefixList list;
  for (const auto& c : cases) {
    list.RebuildPrefixList(c.prefixes);
    EXPECT_EQ(list.MatchesCallPrefix(c.address), c.expected)
        << std::string(c.prefixes.begin(), c.prefixes.end()) << " / "
        << std::string(c.address.begin(), c.address.end());
  }
}

TEST(CallPrefixList, ComparesOnlyWithinTheAddressView) {
  // The address is a view into a longer text: a token longer than the view must not be compared
  // with the characters beyond its end.
  CallPrefixList list;
  list.RebuildPrefixList(L"104.1.2.3.4");
  const std::wstring text = L"104.1.2.3.4";
  EXPECT_FALSE(list.MatchesCallPrefix(std::wstring_view(text).substr(0, 9)));
  EXPECT_TRUE(list.MatchesCallPrefix(text));
}

TEST(CallPrefixList, Summary) {
  CallPrefixList list;
  EXPECT_EQ(list.PrefixSummary(), L"all IPs (no filter)");
  list.RebuildPrefixList(L"104,3.");
  EXPECT_EQ(list.PrefixSummary(), L"104*  \u00b7  3.*");
  list.RebuildPrefixList(L"66");
  EXPECT_EQ(list.PrefixSummary(), L"66*");
  list.RebuildPrefixList(L"");
  EXPECT_EQ(list.PrefixSummary(), L"all IPs (no filter)");
}

TEST(CallPrefixList, RebuildWhileAnotherThreadMatches) {
  // The ping thread matches while the main thread edits the field; under ThreadSanitizer this
  // proves the list swap is guarded. Every intermediate list accepts 104.x.
  CallPrefixList list;
  list.RebuildPrefixList(L"104");
  std::thread reader([&list] {
    for (int i = 0; i < 20000; ++i) {
      if (!list.MatchesCallPrefix(L"104.1.2.3")) {
        ADD_FAILURE() << "lost 104 during a rebuild";
        return;
      }
    }
  });
  for (int i = 0; i < 2000; ++i) list.RebuildPrefixList(i % 2 ? L"104,3" : L"3.,104");
  reader.join();
  EXPECT_EQ(list.Tokens(), (std::vector<std::string>{"104", "3"}));
}

}  // namespace
}  // namespace tolvane
