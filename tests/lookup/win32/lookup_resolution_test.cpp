// The system name resolver and the Windows text classification, for real. Only "localhost" is ever
// resolved, so no DNS question leaves the machine; the not-found path is covered with the fake.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "fakes/recording_poster.h"
#include "lookup/lookup_target.h"
#include "platform/name_resolution.h"
#include "platform/win32/name_resolution_win32.h"

namespace tolvane {
namespace {

TEST(LookupResolutionWin32Test, LocalhostResolvesThroughTheDetachedThread) {
  const std::shared_ptr<NameResolver> resolver = CreateSystemNameResolver();
  const auto poster = std::make_shared<RecordingPoster>();
  StartLookup(resolver, poster, L"localhost");
  EXPECT_EQ(poster->WaitFor(1), std::vector<std::wstring>{L"resolved:localhost|127.0.0.1"});
}

// Answer lists built by hand: only an IPv4 entry counts, so a name with nothing but IPv6
// addresses is not found, and entries too short to hold an IPv4 address are passed over.
TEST(LookupResolutionWin32Test, FirstIpv4EntryOfTheAnswerList) {
  sockaddr_in v4a = {}, v4b = {};
  v4a.sin_family = v4b.sin_family = AF_INET;
  v4a.sin_addr.s_addr = htonl(0xCB007109u);  // 203.0.113.9
  v4b.sin_addr.s_addr = htonl(0x08080404u);  // 8.8.4.4
  sockaddr_in6 v6 = {};
  v6.sin6_family = AF_INET6;
  v6.sin6_addr.s6_addr[15] = 1;
  const auto entry = [](int family, void* address, size_t length) {
    ADDRINFOW e = {};
    e.ai_family = family;
    e.ai_addr = static_cast<sockaddr*>(address);
    e.ai_addrlen = length;
    return e;
  };
  struct Case {
    const char* what;
    std::vector<ADDRINFOW> entries;
    std::wstring ip;
  };
  std::vector<Case> cases = {
      {"no list", {}, L""},
      {"IPv6 only", {entry(AF_INET6, &v6, sizeof v6), entry(AF_INET6, &v6, sizeof v6)}, L""},
      {"IPv6 first, then IPv4", {entry(AF_INET6, &v6, sizeof v6), entry(AF_INET, &v4a, sizeof v4a)}, L"203.0.113.9"},
      {"the first of two IPv4", {entry(AF_INET, &v4b, sizeof v4b), entry(AF_INET, &v4a, sizeof v4a)}, L"8.8.4.4"},
      {"short and empty entries passed over",
       {entry(AF_INET, &v4b, sizeof v4b - 4), entry(AF_INET, nullptr, sizeof v4b), entry(AF_INET, &v4a, sizeof v4a)},
       L"203.0.113.9"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (size_t i = 0; i + 1 < c.entries.size(); ++i) c.entries[i].ai_next = &c.entries[i + 1];
    EXPECT_EQ(FirstIpv4Text(c.entries.empty() ? nullptr : c.entries.data()), c.ip);
  }
}

TEST(LookupResolutionWin32Test, EmptyAndNulNamesAreNotAsked) {
  const std::shared_ptr<NameResolver> resolver = CreateSystemNameResolver();
  EXPECT_EQ(resolver->ResolveIpv4(L""), L"");
  EXPECT_EQ(resolver->ResolveIpv4(std::wstring(L"localhost\0.evil", 15)), L"");
}

TEST(LookupResolutionWin32Test, SystemClassificationAndCanonicalForms) {
  struct Case {
    std::wstring input;
    LookupTextKind kind;
    std::wstring text;
  };
  const std::vector<Case> cases = {
      {L"b\u00FCcher.example", LookupTextKind::Website, L"b\u00FCcher.example"},  // non-ASCII letters count
      {L"\u043F\u0440\u0438\u043C\u0435\u0440.\u0440\u0444", LookupTextKind::Website,
       L"\u043F\u0440\u0438\u043C\u0435\u0440.\u0440\u0444"},
      {L"\u3000 example.org \u00A0", LookupTextKind::Website, L"example.org"},  // wide blanks trimmed
      {L"[2001:0DB8:0:0:0:0:0:0001]:443", LookupTextKind::Ipv6, L"2001:db8::1"},
      {L"8.8.8.8:53", LookupTextKind::Ipv4, L"8.8.8.8"},
      {L"1.2.3", LookupTextKind::Website, L"1.2.3"},
      {L"a\u2603.com", LookupTextKind::Invalid, L"a\u2603.com"},  // a symbol is no letter
      {std::wstring(L"8.8.8.8\0x", 9), LookupTextKind::Invalid, std::wstring(L"8.8.8.8\0x", 9)},  // NUL inside
      {std::wstring(L"::1\0", 4), LookupTextKind::Invalid, std::wstring(L"::1\0", 4)},
  };
  for (const Case& c : cases) {
    const CleanedLookupText r = CleanLookupText(c.input);
    EXPECT_EQ(static_cast<int>(r.kind), static_cast<int>(c.kind)) << testing::PrintToString(c.input);
    EXPECT_EQ(r.text, c.text) << testing::PrintToString(c.input);
  }
}

}  // namespace
}  // namespace tolvane
