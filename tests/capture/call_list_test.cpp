// The call list: candidates, merging, the live rule, ordering, first-seen times, auto-copy and
// "Copy all".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/call_list.h"
#include "clipboard/copy_feedback.h"
#include "fakes/fake_clipboard.h"
#include "fakes/fake_clock.h"
#include "settings/settings.h"

namespace tolvane {
namespace {

constexpr uintptr_t kWindow = 99;

ConnectionRow Row(std::wstring category, std::wstring protocol, std::wstring address, uint64_t packets, int32_t ageMs,
                  int32_t port = 50000, uint32_t pid = 100, std::wstring name = L"Discord.exe") {
  ConnectionRow row;
  row.category = std::move(category);
  row.protocol = std::move(protocol);
  row.remoteAddress = std::move(address);
  row.packets = packets;
  row.ageMs = ageMs;
  row.remotePort = port;
  row.pid = pid;
  row.processName = std::move(name);
  return row;
}

ConnectionRow Voice(std::wstring address, uint64_t packets, int32_t ageMs = 100) {
  return Row(L"discord", L"UDP4", std::move(address), packets, ageMs);
}

std::vector<std::wstring> Addresses(const CallList& list) {
  std::vector<std::wstring> out;
  for (const CallEndpoint& e : list.Entries()) out.push_back(e.address);
  return out;
}

class CallListTest : public testing::Test {
 public:
  CallListTest() { prefixes.RebuildPrefixList(settings.prefixes); }
  Settings settings;
  CallPrefixList prefixes;
  FakeClock clock;
  FakeClipboard clipboard;
  CopyFeedback feedback{clipboard, clock};
  CallList list{settings, prefixes, clock};
};

TEST_F(CallListTest, ChoosesCandidates) {
  const struct {
    const char* name;
    std::wstring prefixes;
    bool webCalls;
    ConnectionRow row;
    bool expected;
  } cases[] = {
      {"discord udp", L"104,3", false, Voice(L"104.1.2.3", 10), true},
      {"discord tcp", L"104,3", false, Row(L"discord", L"TCP4", L"104.1.2.3", 0, -1, 443), true},
      {"prefix mismatch", L"104,3", false, Voice(L"66.22.1.1", 10), false},
      {"no filter, public", L"", false, Voice(L"66.22.1.1", 10), true},
      {"no filter, ipv6", L"", false, Row(L"discord", L"UDP6", L"2606:4700::1", 10, 0), false},
      {"ipv4 text on a v6 row", L"", false, Row(L"discord", L"UDP6", L"104.1.2.3", 10, 0), false},
      {"private", L"", false, Voice(L"10.0.0.5", 10), false},
      {"loopback", L"", false, Voice(L"127.0.0.1", 10), false},
      {"cgnat", L"", false, Voice(L"100.64.0.1", 10), false},
      {"no peer", L"", false, Voice(L"*", 10), false},
      {"empty peer", L"", false, Voice(L"", 10), false},
      {"other app", L"", true, Row(L"game", L"UDP4", L"104.1.2.3", 500, 0), false},
      {"browser 20, web calls on", L"104", true, Row(L"browser", L"UDP4", L"104.1.2.3", 20, 0), true},
      {"browser 20, web calls off", L"104", false, Row(L"browser", L"UDP4", L"104.1.2.3", 20, 0), false},
      {"browser 19, web calls on", L"104", true, Row(L"browser", L"UDP4", L"104.1.2.3", 19, 0), false},
      {"browser tcp", L"104", true, Row(L"browser", L"TCP4", L"104.1.2.3", 50, 0), false},
      {"browser udp6", L"", true, Row(L"browser", L"UDP6", L"2606::1", 50, 0), false},
  };
  for (const auto& c : cases) {
    settings.webCalls = c.webCalls;
    prefixes.RebuildPrefixList(c.prefixes);
    list.RebuildCallList({c.row});
    EXPECT_EQ(list.Entries().size(), c.expected ? 1u : 0u) << c.name;
  }
}

TEST_F(CallListTest, LiveRule) {
  const struct {
    const char* name;
    ConnectionRow row;
    bool live;
  } cases[] = {
      {"fresh udp", Voice(L"104.1.2.3", 5, 0), true},
      {"4999 ms", Voice(L"104.1.2.3", 5, 4999), true},
      {"5000 ms", Voice(L"104.1.2.3", 5, 5000), false},
      {"unknown age", Voice(L"104.1.2.3", 5, -1), false},
      {"negative age", Voice(L"104.1.2.3", 5, -4000), false},
      {"no packets", Voice(L"104.1.2.3", 0, 0), false},
      {"tcp with packets", Row(L"discord", L"TCP4", L"104.1.2.3", 5, 0), false},
  };
  for (const auto& c : cases) {
    list.RebuildCallList({c.row});
    ASSERT_EQ(list.Entries().size(), 1u) << c.name;
    EXPECT_EQ(list.Entries()[0].live, c.live) << c.name;
  }
}

TEST_F(CallListTest, MergesRowsOfOneAddress) {
  // A signalling row comes first, then two voice sockets to the same server: one entry, packets
  // summed, defined by the first live row.
  list.RebuildCallList({
      Row(L"discord", L"TCP4", L"104.1.2.3", 7, -1, 443, 10, L"Discord.exe"),
      Row(L"discord", L"UDP4", L"104.1.2.3", 300, 9000, 50001, 11, L"Discord.exe"),
      Row(L"discord", L"UDP4", L"104.1.2.3", 1200, 40, 50002, 12, L"DiscordCanary.exe"),
      Row(L"discord", L"UDP4", L"104.1.2.3", 5, 10, 50003, 13, L"DiscordPTB.exe"),
      Voice(L"3.3.3.3", 2),
  });
  ASSERT_EQ(list.Entries().size(), 2u);
  const CallEndpoint& merged = list.Entries()[0];
  EXPECT_EQ(merged.address, L"104.1.2.3");
  EXPECT_EQ(merged.packets, 7u + 300u + 1200u + 5u);
  EXPECT_TRUE(merged.live);
  EXPECT_EQ(merged.protocol, L"UDP4");
  EXPECT_EQ(merged.remotePort, 50002);
  EXPECT_EQ(merged.pid, 12);
  EXPECT_EQ(merged.processName, L"DiscordCanary.exe");
  EXPECT_EQ(merged.ageMs, 40);

  // Without a live row the first row defines the entry.
  list.RebuildCallList({
      Row(L"discord", L"TCP4", L"104.1.2.3", 0, -1, 443, 10),
      Row(L"discord", L"UDP4", L"104.1.2.3", 30, 9000, 50001, 11),
  });
  ASSERT_EQ(list.Entries().size(), 1u);
  EXPECT_FALSE(list.Entries()[0].live);
  EXPECT_EQ(list.Entries()[0].protocol, L"TCP4");
  EXPECT_EQ(list.Entries()[0].remotePort, 443);
  EXPECT_EQ(list.Entries()[0].packets, 30u);
}

TEST(PacketClass, FloorOfLog2) {
  const struct {
    uint64_t packets;
    int cls;
  } cases[] = {{0, 0},  {1, 0},     {2, 1},     {3, 1},      {4, 2},      {7, 2},          {8, 3},
               {15, 3}, {5000, 12}, {8000, 12}, {40000, 15}, {65536, 16}, {UINT64_MAX, 63}};
  for (const auto& c : cases) EXPECT_EQ(PacketClass(c.packets), c.cls) << c.packets;
}

TEST_F(CallListTest, OrdersByLivePacketClassFirstSeenAndAddress) {
  prefixes.RebuildPrefixList(L"");
  list.RebuildCallList({Voice(L"104.0.0.8", 8000), Voice(L"104.0.0.9", 900000, -1)});
  clock.Advance(1000);
  list.RebuildCallList({Voice(L"104.0.0.8", 8000), Voice(L"104.0.0.9", 900000, -1), Voice(L"104.0.0.5", 5000)});
  clock.Advance(1000);
  list.RebuildCallList({
      Voice(L"104.0.0.9", 900000, -1),              // not live: last despite its class
      Voice(L"104.0.0.5", 5000),                    // class 12, seen after 104.0.0.8
      Voice(L"104.0.0.8", 8000),                    // class 12, seen first
      Voice(L"104.0.0.40", 40000),                  // class 15, seen last
      Voice(L"3.3.3.30", 1),                        // class 0, same first-seen as the next two
      Voice(L"3.3.3.3", 0, 0),                      // not live by itself (no packets)
      Voice(L"3.3.3.31", 1), Voice(L"3.3.3.3", 1),  // merges into 3.3.3.3 and makes it live
  });
  EXPECT_EQ(Addresses(list), (std::vector<std::wstring>{L"104.0.0.40", L"104.0.0.8", L"104.0.0.5", L"3.3.3.3",
                                                        L"3.3.3.30", L"3.3.3.31", L"104.0.0.9"}));
}

TEST_F(CallListTest, FirstSeenDecidesWithinAPacketClass) {
  list.RebuildCallList({Voice(L"104.0.0.8", 8000)});
  clock.Advance(10);
  list.RebuildCallList({Voice(L"104.0.0.8", 8000), Voice(L"104.0.0.5", 5000)});
  EXPECT_EQ(Addresses(list), (std::vector<std::wstring>{L"104.0.0.8", L"104.0.0.5"}));
  clock.Advance(10);
  list.RebuildCallList({Voice(L"104.0.0.8", 8000), Voice(L"104.0.0.5", 5000), Voice(L"104.0.0.4", 40000)});
  EXPECT_EQ(Addresses(list), (std::vector<std::wstring>{L"104.0.0.4", L"104.0.0.8", L"104.0.0.5"}));
}

TEST_F(CallListTest, FirstSeenIsKeptWhilePresentAndForgottenWhenGone) {
  const uint64_t t0 = clock.TickMs();
  list.RebuildCallList({Voice(L"104.1.1.1", 10)});
  clock.Advance(500);
  list.RebuildCallList({Voice(L"104.1.1.1", 10), Voice(L"104.2.2.2", 10)});
  EXPECT_EQ(list.FirstSeen(L"104.1.1.1"), t0);
  EXPECT_EQ(list.FirstSeen(L"104.2.2.2"), t0 + 500);
  clock.Advance(500);
  list.RebuildCallList({Voice(L"104.2.2.2", 10)});
  EXPECT_EQ(list.FirstSeen(L"104.1.1.1"), 0u);
  clock.Advance(500);
  list.RebuildCallList({Voice(L"104.2.2.2", 10), Voice(L"104.1.1.1", 10)});
  EXPECT_EQ(list.FirstSeen(L"104.1.1.1"), t0 + 1500) << "a returning address is new again";
  EXPECT_EQ(Addresses(list), (std::vector<std::wstring>{L"104.2.2.2", L"104.1.1.1"}));
}

TEST_F(CallListTest, AddressOrderIsByCodeUnitsWithPrefixFirst) {
  list.RebuildCallList({Voice(L"104.1.1.10", 3), Voice(L"104.1.1.2", 3), Voice(L"104.1.1.1", 3)});
  EXPECT_EQ(Addresses(list), (std::vector<std::wstring>{L"104.1.1.1", L"104.1.1.10", L"104.1.1.2"}));
}

TEST_F(CallListTest, RevisionGrowsOnlyWhenEntriesChange) {
  list.RebuildCallList({Voice(L"104.1.1.1", 10)});
  const uint64_t r1 = list.Revision();
  list.RebuildCallList({Voice(L"104.1.1.1", 10)});
  EXPECT_EQ(list.Revision(), r1);
  list.RebuildCallList({Voice(L"104.1.1.1", 11)});
  EXPECT_GT(list.Revision(), r1);
}

TEST_F(CallListTest, AutoCopyFiresOncePerAddressAndAgainAfterItWentQuiet) {
  settings.autoCopyCall = true;
  settings.tplIp = L"ping IP ({app}:{port})";
  list.RebuildCallList({Row(L"discord", L"UDP4", L"104.5.5.5", 100, 10, 50123, 1, L"Discord.exe")});
  EXPECT_EQ(list.pendingAutoCopy(), L"104.5.5.5");
  EXPECT_TRUE(list.RunPendingAutoCopy(feedback, kWindow));
  EXPECT_EQ(clipboard.content, L"ping 104.5.5.5 (Discord.exe:50123)");
  EXPECT_EQ(feedback.toast().text(), L"Call IP (auto) copied: ping 104.5.5.5 (Discord.exe:50123)");
  EXPECT_EQ(clipboard.lastWindow, kWindow);
  EXPECT_FALSE(list.RunPendingAutoCopy(feedback, kWindow)) << "nothing pending any more";

  // Same address, still first and live: no second copy.
  for (int i = 0; i < 3; ++i) {
    list.RebuildCallList({Row(L"discord", L"UDP4", L"104.5.5.5", 200 + i, 10, 50123)});
    EXPECT_TRUE(list.pendingAutoCopy().empty());
  }
  EXPECT_EQ(clipboard.successfulOpens, 1);

  // It goes quiet, then live again: copied again.
  list.RebuildCallList({Row(L"discord", L"UDP4", L"104.5.5.5", 300, 6000, 50123)});
  EXPECT_TRUE(list.lastAutoCopied().empty());
  EXPECT_TRUE(list.pendingAutoCopy().empty());
  list.RebuildCallList({Row(L"discord", L"UDP4", L"104.5.5.5", 301, 5, 50123)});
  EXPECT_EQ(list.pendingAutoCopy(), L"104.5.5.5");
  list.RunPendingAutoCopy(feedback, kWindow);
  EXPECT_EQ(clipboard.successfulOpens, 2);

  // A new server takes the lead: copied.
  list.RebuildCallList({Voice(L"104.5.5.5", 301, 5), Row(L"discord", L"UDP4", L"104.6.6.6", 9000, 5, 50200)});
  EXPECT_EQ(list.pendingAutoCopy(), L"104.6.6.6");
}

TEST_F(CallListTest, AutoCopyOffOrNotLiveQueuesNothing) {
  list.RebuildCallList({Voice(L"104.5.5.5", 100)});
  EXPECT_TRUE(list.pendingAutoCopy().empty());
  EXPECT_FALSE(list.RunPendingAutoCopy(feedback, kWindow));
  settings.autoCopyCall = true;
  list.RebuildCallList({Row(L"discord", L"TCP4", L"104.5.5.5", 0, -1, 443)});
  EXPECT_TRUE(list.pendingAutoCopy().empty());
  EXPECT_EQ(clipboard.openCalls, 0);
}

TEST_F(CallListTest, AutoCopyUsesThePendingAddressOwnValues) {
  settings.autoCopyCall = true;
  settings.tplIp = L"{ep}";
  list.RebuildCallList({Row(L"discord", L"UDP4", L"104.5.5.5", 100, 10, 50123)});
  // Before the timer runs, the address goes quiet and another server leads.
  list.RebuildCallList({Row(L"discord", L"UDP4", L"104.5.5.5", 100, 8000, 50123),
                        Row(L"discord", L"TCP4", L"104.7.7.7", 4000, -1, 443)});
  ASSERT_EQ(list.Entries()[0].address, L"104.7.7.7");
  list.RunPendingAutoCopy(feedback, kWindow);
  EXPECT_EQ(clipboard.content, L"104.5.5.5:50123");
}

TEST_F(CallListTest, CopyAll) {
  settings.tplIp = L"IP:port";
  EXPECT_FALSE(list.CopyAllCallIps(feedback, kWindow));
  EXPECT_EQ(clipboard.openCalls, 0);
  EXPECT_TRUE(feedback.toast().text().empty());

  list.RebuildCallList({Row(L"discord", L"UDP4", L"104.1.1.1", 10, 5, 5001)});
  EXPECT_TRUE(list.CopyAllCallIps(feedback, kWindow));
  EXPECT_EQ(clipboard.content, L"104.1.1.1:5001");
  EXPECT_EQ(feedback.toast().text(), L"Copied 1 call IP");
  EXPECT_EQ(feedback.lastCopiedText(), L"104.1.1.1:5001");

  clock.Advance(3);
  list.RebuildCallList({Row(L"discord", L"UDP4", L"104.1.1.1", 10, 5, 5001),
                        Row(L"discord", L"UDP4", L"104.2.2.2", 1000, 5, 5002),
                        Row(L"discord", L"TCP4", L"3.3.3.3", 0, -1, 443)});
  EXPECT_TRUE(list.CopyAllCallIps(feedback, kWindow));
  EXPECT_EQ(clipboard.content, L"104.2.2.2:5002\r\n104.1.1.1:5001\r\n3.3.3.3:443");
  EXPECT_EQ(feedback.toast().text(), L"Copied 3 call IPs");
  EXPECT_EQ(feedback.lastCopiedText(), clipboard.content);
  EXPECT_EQ(feedback.lastCopiedAt(), clock.TickMs());

  clipboard.busyOpens = 8;
  feedback.ShowToast(L"");
  EXPECT_FALSE(list.CopyAllCallIps(feedback, kWindow));
  EXPECT_TRUE(feedback.toast().text().empty()) << "a failed copy-all shows nothing";
}

TEST_F(CallListTest, Stats) {
  EXPECT_EQ(list.CallStats().count, 0u);
  list.RebuildCallList(
      {Voice(L"104.1.1.1", 10), Voice(L"104.2.2.2", 10, -1), Voice(L"3.3.3.3", 10), Voice(L"10.1.1.1", 10)});
  EXPECT_EQ(list.CallStats().count, 3u);
  EXPECT_EQ(list.CallStats().live, 2u);
}

}  // namespace
}  // namespace tolvane
