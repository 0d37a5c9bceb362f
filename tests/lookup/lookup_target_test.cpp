// Lookup targets: cleaning of typed text, website-name rules, the commands that open a lookup, and
// the resolver thread with a fake resolver. Typed text is untrusted input.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_name_resolution.h"
#include "fakes/recording_poster.h"
#include "lookup/lookup_target.h"

namespace tolvane {
namespace {

const std::wstring k253 = std::wstring(249, L'a') + L".com";  // 253 characters
const std::wstring k254 = std::wstring(250, L'a') + L".com";

TEST(LookupTargetTest, CleanLookupTextTable) {
  struct Case {
    std::wstring input;
    LookupTextKind kind;
    std::wstring text;
  };
  const std::vector<Case> cases = {
      {L"  \t https://user:pw@Example.COM:8443/path/x?q=1#frag \n", LookupTextKind::Website, L"Example.COM"},
      {L"example.com", LookupTextKind::Website, L"example.com"},
      {L"ftp://host.example", LookupTextKind::Website, L"host.example"},
      {L"host.example?x", LookupTextKind::Website, L"host.example"},
      {L"host.example#top", LookupTextKind::Website, L"host.example"},
      {L"me@host.example", LookupTextKind::Website, L"host.example"},
      {L"8.8.8.8", LookupTextKind::Ipv4, L"8.8.8.8"},
      {L" 1.2.3.4:80 ", LookupTextKind::Ipv4, L"1.2.3.4"},
      {L"http://1.2.3.4:8080/", LookupTextKind::Ipv4, L"1.2.3.4"},
      {L"[2001:DB8::1]:443", LookupTextKind::Ipv6, L"2001:db8::1"},
      {L"[2001:db8::1]", LookupTextKind::Ipv6, L"2001:db8::1"},
      {L"2001:0DB8:0000:0000:0000:0000:0000:0001", LookupTextKind::Ipv6, L"2001:db8::1"},
      {L"FE80:0:0:0:0:0:0:ABCD", LookupTextKind::Ipv6, L"fe80::abcd"},
      {L"1.2.3", LookupTextKind::Website, L"1.2.3"},  // not IPv4 for inet_pton: goes to resolution
      {L"a-.b-", LookupTextKind::Website, L"a-.b-"},  // a trailing "-" passes
      {k253, LookupTextKind::Website, k253},
      {k254, LookupTextKind::Invalid, k254},
      {L"under_score.com", LookupTextKind::Invalid, L"under_score.com"},
      {L"-lead.com", LookupTextKind::Invalid, L"-lead.com"},
      {L".lead.com", LookupTextKind::Invalid, L".lead.com"},
      {L"trail.com.", LookupTextKind::Invalid, L"trail.com."},
      {L"localhost", LookupTextKind::Invalid, L"localhost"},  // no dot: a bare machine name
      {L"*", LookupTextKind::Invalid, L"*"},
      {L"has space.com", LookupTextKind::Invalid, L"has space.com"},
      {L"", LookupTextKind::Empty, L""},
      {L"   \t\r\n ", LookupTextKind::Empty, L""},
      {L"https://", LookupTextKind::Empty, L""},
      {L"/path/only", LookupTextKind::Empty, L""},
      {L"user@", LookupTextKind::Empty, L""},
      {L"[]:80", LookupTextKind::Empty, L""},
      {L":80", LookupTextKind::Empty, L""},
      {L"[unclosed.com", LookupTextKind::Invalid, L"[unclosed.com"},
  };
  for (const Case& c : cases) {
    const CleanedLookupText r = CleanLookupText(c.input);
    EXPECT_EQ(static_cast<int>(r.kind), static_cast<int>(c.kind)) << "input: " << testing::PrintToString(c.input);
    EXPECT_EQ(r.text, c.text) << "input: " << testing::PrintToString(c.input);
  }
}

TEST(LookupTargetTest, TruncateWithDots) {
  struct Case {
    std::wstring text;
    size_t n;
    std::wstring want;
  };
  const std::vector<Case> cases = {
      {L"short", 40, L"short"},
      {std::wstring(40, L'x'), 40, std::wstring(40, L'x')},
      {std::wstring(41, L'x'), 40, std::wstring(37, L'x') + L"..."},
      {L"abcdef", 3, L"..."},
      {L"abcdef", 2, L"ab"},  // too narrow for the dots: never underflows
      {L"abcdef", 0, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(TruncateWithDots(c.text, c.n), c.want) << c.n;
}

// One set of collaborators around LookupCommands, with the hooks recording what they were asked.
struct CommandsRig {
  FakeClock clock;
  Toast toast{clock};
  CurrentLookup current;
  LookupCache cache;
  Settings settings;
  std::shared_ptr<FakeNameResolver> resolver = std::make_shared<FakeNameResolver>();
  std::shared_ptr<RecordingPoster> poster = std::make_shared<RecordingPoster>();
  std::vector<std::wstring> pinged;
  std::vector<std::wstring> focused;
  int saves = 0;
  // No resolver thread was started: a live one holds a third reference to the resolver, and one
  // that already ended has asked it.
  bool NoResolution() const { return resolver.use_count() == 2 && resolver->Asked().empty(); }
  LookupCommands commands{current,
                          cache,
                          settings,
                          toast,
                          resolver,
                          poster,
                          LookupHooks{[this](const std::wstring& a) { pinged.push_back(a); },
                                      [this](const std::wstring& a) { focused.push_back(a); }, [this] { ++saves; }}};
};

TEST(LookupTargetTest, SubmittedAddressesOpenTheCanonicalForm) {
  struct Case {
    std::wstring typed;
    std::wstring address;
    bool pinged;  // public IPv4 only
  };
  const std::vector<Case> cases = {
      {L" 8.8.8.8:53 ", L"8.8.8.8", true},
      {L"[2001:DB8:0:0::1]:443", L"2001:db8::1", false},
      {L"192.168.1.10", L"192.168.1.10", false},
  };
  for (const Case& c : cases) {
    CommandsRig rig;
    rig.current.websiteName = L"stale.example";
    rig.commands.SubmitLookupText(c.typed);
    EXPECT_EQ(rig.current.address, c.address);
    EXPECT_TRUE(rig.current.panelOpen.load());
    EXPECT_TRUE(rig.current.websiteName.empty());
    EXPECT_EQ(rig.settings.lookupHist, c.address);
    EXPECT_EQ(rig.saves, 1);
    EXPECT_EQ(rig.focused, std::vector<std::wstring>{c.address});
    EXPECT_EQ(rig.pinged.size(), c.pinged ? 1u : 0u) << c.address;
    EXPECT_TRUE(rig.NoResolution());
    EXPECT_EQ(rig.cache.Snapshot(c.address).address, c.address);
  }
}

TEST(LookupTargetTest, RejectedTextNeverOpensThePanel) {
  struct Case {
    std::wstring typed;
    std::wstring toast;
  };
  const std::vector<Case> cases = {
      {L"", L"Type an IP address or a website first"},
      {L"  https:// ", L"Type an IP address or a website first"},
      {L"*", L"That is not a valid IP address or website"},
      {L"bad_name.com", L"That is not a valid IP address or website"},
      {L"localhost", L"That is not a valid IP address or website"},
  };
  for (const Case& c : cases) {
    CommandsRig rig;
    rig.commands.SubmitLookupText(c.typed);
    EXPECT_EQ(rig.toast.text(), c.toast) << testing::PrintToString(c.typed);
    EXPECT_FALSE(rig.current.panelOpen.load());
    EXPECT_TRUE(rig.current.address.empty());
    EXPECT_TRUE(rig.settings.lookupHist.empty());
    EXPECT_EQ(rig.cache.QueueSize(), 0u);
    EXPECT_TRUE(rig.NoResolution());
  }
}

TEST(LookupTargetTest, WebsiteGoesToResolutionAndLeavesTheCurrentLookup) {
  CommandsRig rig;
  rig.commands.OpenLookup(L"8.8.4.4", {});
  rig.commands.SubmitLookupText(L"https://Example.COM/x");
  EXPECT_FALSE(rig.NoResolution());  // holds either way, whether the thread has ended or not
  EXPECT_EQ(rig.toast.text(), L"Finding Example.COM...");
  EXPECT_EQ(rig.poster->WaitFor(1), std::vector<std::wstring>{L"notfound:Example.COM"});
  EXPECT_EQ(rig.resolver->Asked(), std::vector<std::wstring>{L"Example.COM"});
  EXPECT_EQ(rig.current.address, L"8.8.4.4");
  EXPECT_TRUE(rig.settings.lookupHist.empty());
}

TEST(LookupTargetTest, ThreeDottedNumbersAreSentToResolution) {
  CommandsRig rig;
  rig.resolver->SetAnswer(L"1.2.3", L"1.2.0.3");
  rig.commands.SubmitLookupText(L"1.2.3");
  EXPECT_EQ(rig.poster->WaitFor(1), std::vector<std::wstring>{L"resolved:1.2.3|1.2.0.3"});
  EXPECT_TRUE(rig.current.address.empty());
}

TEST(LookupTargetTest, ResolvedHostOpensTheAddressAndRemembersTheName) {
  CommandsRig rig;
  rig.resolver->SetAnswer(L"dns.example", L"9.9.9.9");
  StartLookup(rig.resolver, rig.poster, L"dns.example");
  const std::vector<std::wstring> posts = rig.poster->WaitFor(1);
  ASSERT_EQ(posts, std::vector<std::wstring>{L"resolved:dns.example|9.9.9.9"});

  rig.current.panelOpen.store(false);  // closed while the name was being resolved: still opens
  rig.commands.OnHostResolved(posts[0].substr(9));
  EXPECT_EQ(rig.current.address, L"9.9.9.9");
  EXPECT_EQ(rig.current.websiteName, L"dns.example");
  EXPECT_TRUE(rig.current.panelOpen.load());
  EXPECT_EQ(rig.settings.lookupHist, L"dns.example");
  EXPECT_EQ(rig.saves, 1);
  EXPECT_EQ(rig.toast.text(), L"dns.example \u2192 9.9.9.9");
  EXPECT_EQ(rig.pinged, std::vector<std::wstring>{L"9.9.9.9"});
}

TEST(LookupTargetTest, ResolvedMessageWithoutAddressChangesNothing) {
  for (const std::wstring text : {L"", L"host.example", L"host.example|"}) {
    CommandsRig rig;
    rig.commands.OnHostResolved(text);
    EXPECT_TRUE(rig.current.address.empty()) << text;
    EXPECT_FALSE(rig.current.panelOpen.load());
    EXPECT_TRUE(rig.settings.lookupHist.empty());
    EXPECT_TRUE(rig.toast.text().empty());
  }
}

TEST(LookupTargetTest, NotFoundToastCutsLongNames) {
  const std::wstring longName = std::wstring(60, L'n') + L".example";
  CommandsRig rig;
  StartLookup(rig.resolver, rig.poster, longName);  // the fake knows no names: an IPv6-only name looks the same
  ASSERT_EQ(rig.poster->WaitFor(1), std::vector<std::wstring>{L"notfound:" + longName});
  rig.commands.OnHostNotFound(longName);
  EXPECT_EQ(rig.toast.text(), L"Could not find \"" + std::wstring(37, L'n') + L"...\"");
  rig.commands.OnHostNotFound(L"short.example");
  EXPECT_EQ(rig.toast.text(), L"Could not find \"short.example\"");
  EXPECT_FALSE(rig.current.panelOpen.load());
}

TEST(LookupTargetTest, RowsAndCallEndpointsOpenWithTheirContext) {
  CommandsRig rig;
  ConnectionRow row;
  row.processName = L"Discord.exe";
  row.pid = 4242;
  row.protocol = L"UDP4";
  row.remoteAddress = L"104.3.1.2";
  row.remotePort = 50003;
  rig.commands.LookupRow(row);
  EXPECT_EQ(rig.current.address, L"104.3.1.2");
  EXPECT_EQ(rig.current.context.app, L"Discord.exe");
  EXPECT_EQ(rig.current.context.protocol, L"UDP4");
  EXPECT_EQ(rig.current.context.pid, 4242);
  EXPECT_EQ(rig.current.context.port, 50003);
  EXPECT_TRUE(rig.settings.lookupHist.empty());  // rows do not enter the recent list
  EXPECT_EQ(rig.saves, 0);

  CallEndpoint endpoint;
  endpoint.address = L"104.3.9.9";
  endpoint.remotePort = 50010;
  endpoint.protocol = L"UDP4";
  endpoint.processName = L"Discord.exe";
  endpoint.pid = 77;
  rig.commands.LookupCallEndpoint(endpoint);
  EXPECT_EQ(rig.current.address, L"104.3.9.9");
  EXPECT_EQ(rig.current.context.pid, 77);
  EXPECT_EQ(rig.current.context.port, 50010);
  EXPECT_TRUE(rig.settings.lookupHist.empty());
  EXPECT_EQ(rig.cache.QueueSize(), 2u);

  for (const std::wstring remote : {L"", L"*"}) {
    CommandsRig other;
    other.current.address = L"8.8.8.8";
    row.remoteAddress = remote;
    other.commands.LookupRow(row);
    EXPECT_EQ(other.toast.text(), L"This row has no remote IP yet");
    EXPECT_EQ(other.current.address, L"8.8.8.8");
    EXPECT_FALSE(other.current.panelOpen.load());
  }
}

TEST(LookupTargetTest, OpenLookupIgnoresEmptyAndStar) {
  for (const std::wstring address : {L"", L"*"}) {
    CommandsRig rig;
    rig.commands.OpenLookup(address, {});
    EXPECT_FALSE(rig.current.panelOpen.load());
    EXPECT_TRUE(rig.focused.empty());
    EXPECT_EQ(rig.cache.QueueSize(), 0u);
  }
}

}  // namespace
}  // namespace tolvane
