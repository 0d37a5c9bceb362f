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

namespace tolvane {
namespace {

TEST(LookupResolutionWin32Test, LocalhostResolvesThroughTheDetachedThread) {
  const std::shared_ptr<NameResolver> resolver = CreateSystemNameResolver();
  const auto poster = std::make_shared<RecordingPoster>();
  StartLookup(resolver, poster, L"localhost");
  EXPECT_EQ(poster->WaitFor(1), std::vector<std::wstring>{L"resolved:localhost|127.0.0.1"});
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
  };
  for (const Case& c : cases) {
    const CleanedLookupText r = CleanLookupText(c.input);
    EXPECT_EQ(static_cast<int>(r.kind), static_cast<int>(c.kind)) << testing::PrintToString(c.input);
    EXPECT_EQ(r.text, c.text) << testing::PrintToString(c.input);
  }
}

}  // namespace
}  // namespace tolvane
