// The socket snapshot over fake tables, process list and clock: which sockets become rows (the
// admission rules of every setting), the texts of a row, de-duplication, the ages of captured
// flows, the sort order and the demonstration rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_process_list.h"
#include "fakes/fake_socket_tables.h"
#include "monitor/snapshot.h"

namespace tolvane {
namespace {

constexpr uint32_t kDiscord = 100, kChrome = 200, kSvchost = 300, kSteam = 400, kNoName = 999, kTelegram = 500,
                   kSvchostUpper = 301, kCode = 600;

class SnapshotTest : public testing::Test {
 protected:
  SnapshotTest() {
    processes.processes = {{kDiscord, L"Discord.exe"}, {kChrome, L"chrome.exe"},
                           {kSvchost, L"svchost.exe"}, {kSvchostUpper, L"SVCHOST.EXE"},
                           {kSteam, L"steam.exe"},     {kTelegram, L"Telegram.exe"},
                           {kCode, L"Code.exe"}};
  }

  RowList Take(bool demo = false) { return TakeWith(capture, demo); }
  RowList TakeWith(CaptureTable& table, bool demo = false) {
    Snapshotter snapshotter(settings, table, tables, processes, clock, demo);
    RowList rows;
    snapshotter.TakeSnapshot(rows);
    return rows;
  }

  // Counts one datagram of a flow whose last packet is ageMs old at the fake clock's present.
  void Flow(uint16_t localPort, uint32_t remote, uint16_t remotePort, uint64_t ageMs, int datagrams = 1) {
    FlowIn(capture, localPort, remote, remotePort, ageMs, datagrams);
  }
  void FlowIn(CaptureTable& table, uint16_t localPort, uint32_t remote, uint16_t remotePort, uint64_t ageMs,
              int datagrams) {
    for (int i = 0; i < datagrams; ++i) table.Count(localPort, remote, remotePort, 100, clock.TickMs() - ageMs);
  }

  static std::vector<std::wstring> Keys(const RowList& rows) {
    std::vector<std::wstring> keys;
    for (const ConnectionRow& r : rows) keys.push_back(RowKey(r));
    return keys;
  }

  Settings settings;
  CaptureTable capture;
  FakeSocketTables tables;
  FakeProcessList processes;
  FakeClock clock;
};

constexpr uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return (uint32_t{a} << 24) | (uint32_t{b} << 16) | (uint32_t{c} << 8) | d;
}

TEST(AddressText, Ipv4AndIpv6) {
  const uint8_t bytes[4] = {35, 214, 40, 77};
  uint32_t networkOrder;
  std::memcpy(&networkOrder, bytes, 4);
  EXPECT_EQ(Ipv4Text(networkOrder), L"35.214.40.77");
  EXPECT_EQ(Ipv4Text(networkOrder), InetNtop4({35, 214, 40, 77}));  // the platform's own text, widened
  EXPECT_EQ(Ipv4Text(0), L"0.0.0.0");
  // The snapshot formats IPv4 itself; it must agree with the platform's conversion everywhere.
  uint32_t lcg = 12345;
  for (int i = 0; i < 20000; ++i) {
    Ipv4Bytes b;
    if (i < 256) {
      b = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 10),
           static_cast<uint8_t>(i % 10)};
    } else {
      lcg = lcg * 1664525u + 1013904223u;
      std::memcpy(b.data(), &lcg, 4);
    }
    uint32_t value;
    std::memcpy(&value, b.data(), 4);
    ASSERT_EQ(Ipv4Text(value), InetNtop4(b)) << i;
  }
  Ipv6Bytes v6{};
  EXPECT_EQ(Ipv6Text(v6), L"::");
  v6[15] = 1;
  EXPECT_EQ(Ipv6Text(v6), L"::1");
  v6 = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12};
  EXPECT_EQ(Ipv6Text(v6), L"fe80::12");
  EXPECT_EQ(Ipv6Text(v6), InetNtop6(v6));
}

TEST_F(SnapshotTest, OnlyEstablishedTcpWithAPeerBecomesARow) {
  tables.tcp4 = {
      Tcp(kChrome, V4(192, 168, 1, 5), 50100, V4(142, 250, 80, 46), 443),
      Tcp(kChrome, V4(192, 168, 1, 5), 50101, V4(142, 250, 80, 47), 443, 2),   // listening
      Tcp(kChrome, V4(192, 168, 1, 5), 50102, V4(142, 250, 80, 48), 443, 11),  // time-wait
      Tcp(kChrome, V4(192, 168, 1, 5), 50103, V4(142, 250, 80, 49), 443, 8),   // closing
      Tcp(kChrome, V4(192, 168, 1, 5), 0, V4(142, 250, 80, 50), 443),
      Tcp(kChrome, V4(192, 168, 1, 5), 50105, V4(142, 250, 80, 51), 0),
      Tcp(kChrome, V4(192, 168, 1, 5), 50106, V4(0, 0, 0, 0), 443),
  };
  const RowList rows = Take();
  ASSERT_EQ(rows.size(), 1u);
  const ConnectionRow& r = rows[0];
  EXPECT_EQ(r.processName, L"chrome.exe");
  EXPECT_EQ(r.pid, kChrome);
  EXPECT_EQ(r.protocol, L"TCP4");
  EXPECT_EQ(r.localEndpoint, L"192.168.1.5:50100");
  EXPECT_EQ(r.remoteEndpoint, L"142.250.80.46:443");
  EXPECT_EQ(r.remoteAddress, L"142.250.80.46");
  EXPECT_EQ(r.localPort, 50100);
  EXPECT_EQ(r.remotePort, 443);
  EXPECT_EQ(r.state, L"ACTIVE");
  EXPECT_EQ(r.category, L"browser");
  EXPECT_EQ(r.role, L"Browser HTTPS");
  EXPECT_EQ(r.packets, 0u);
  EXPECT_EQ(r.ageMs, -1);
}

// AddRow's admission rules, one raw row at a time, under each combination of settings that matters.
TEST_F(SnapshotTest, AdmissionRules) {
  struct Case {
    const char* what;
    bool showLan, showSystem, enableIpv6, enableUdp;
    uint32_t pid;
    const wchar_t* protocol;
    const wchar_t* local;
    int32_t localPort;
    const wchar_t* remote;
    int32_t remotePort;
    std::optional<std::wstring> remoteEndpoint;  // nullopt = dropped
    const wchar_t* localEndpoint = nullptr;
  };
  const Case cases[] = {
      {"public TCP peer", false, false, true, true, kChrome, L"TCP4", L"192.168.1.5", 5000, L"8.8.8.8", 443,
       L"8.8.8.8:443", L"192.168.1.5:5000"},
      {"LAN TCP peer hidden", false, false, true, true, kChrome, L"TCP4", L"192.168.1.5", 5000, L"192.168.1.1", 443,
       std::nullopt},
      {"LAN TCP peer with showLan", true, false, true, true, kChrome, L"TCP4", L"192.168.1.5", 5000, L"192.168.1.1",
       443, L"192.168.1.1:443"},
      {"loopback TCP peer with showLan", true, false, true, true, kCode, L"TCP4", L"127.0.0.1", 5000, L"127.0.0.1",
       6000, L"127.0.0.1:6000"},
      {"system process hidden", false, false, true, true, kSvchost, L"TCP4", L"192.168.1.5", 5000, L"8.8.8.8", 443,
       std::nullopt},
      {"hidden names ignore case", false, false, true, true, kSvchostUpper, L"TCP4", L"192.168.1.5", 5000, L"8.8.8.8",
       443, std::nullopt},
      {"system process with showSystem", false, true, true, true, kSvchost, L"TCP4", L"192.168.1.5", 5000, L"8.8.8.8",
       443, L"8.8.8.8:443"},
      {"unnamed process is Unknown and hidden", false, false, true, true, kNoName, L"TCP4", L"192.168.1.5", 5000,
       L"8.8.8.8", 443, std::nullopt},
      {"System (pid 4) hidden", false, false, true, true, 4, L"TCP4", L"192.168.1.5", 5000, L"8.8.8.8", 443,
       std::nullopt},
      {"TCP6 public peer", false, false, true, true, kChrome, L"TCP6", L"2001:db8::5", 5000, L"2606:4700::1", 443,
       L"[2606:4700::1]:443", L"[2001:db8::5]:5000"},
      {"TCP6 with enableIpv6 off", false, false, false, true, kChrome, L"TCP6", L"2001:db8::5", 5000, L"2606:4700::1",
       443, std::nullopt},
      {"UDP public peer with enableUdp off", false, false, true, false, kChrome, L"UDP4", L"192.168.1.5", 5000,
       L"142.250.80.46", 443, std::nullopt},
      {"UDP public peer", false, false, true, true, kChrome, L"UDP4", L"192.168.1.5", 5000, L"142.250.80.46", 443,
       L"142.250.80.46:443"},
      {"Discord voice socket", false, false, true, true, kDiscord, L"UDP4", L"0.0.0.0", 50000, L"*", 0,
       L"Voice UDP :50000", L"0.0.0.0:50000"},
      {"voice socket needs enableUdp", true, false, true, false, kDiscord, L"UDP4", L"0.0.0.0", 50000, L"*", 0,
       std::nullopt},
      {"Discord on port 1000 is no voice socket", false, false, true, true, kDiscord, L"UDP4", L"0.0.0.0", 1000, L"*",
       0, std::nullopt},
      {"Discord on port 1000 with showLan", true, false, true, true, kDiscord, L"UDP4", L"0.0.0.0", 1000, L"*", 0,
       L"*"},
      {"port 1023 is no voice socket", false, false, true, true, kDiscord, L"UDP4", L"0.0.0.0", 1023, L"*", 0,
       std::nullopt},
      {"port 1024 is a voice socket", false, false, true, true, kDiscord, L"UDP4", L"0.0.0.0", 1024, L"*", 0,
       L"Voice UDP :1024"},
      {"game voice socket", false, false, true, true, kSteam, L"UDP4", L"0.0.0.0", 27036, L"*", 0, L"Voice UDP :27036"},
      {"social voice socket", false, false, true, true, kTelegram, L"UDP4", L"0.0.0.0", 40000, L"*", 0,
       L"Voice UDP :40000"},
      {"browser UDP socket is no voice socket", false, false, true, true, kChrome, L"UDP4", L"0.0.0.0", 50000, L"*", 0,
       std::nullopt},
      {"browser UDP socket with showLan", true, false, true, true, kChrome, L"UDP4", L"0.0.0.0", 50000, L"*", 0, L"*"},
      {"TCP without a peer is no voice socket", false, false, true, true, kDiscord, L"TCP4", L"0.0.0.0", 50000, L"*", 0,
       std::nullopt},
      {"Discord flow from a LAN peer", false, false, true, true, kDiscord, L"UDP4", L"192.168.1.5", 50000,
       L"192.168.1.9", 50001, std::nullopt},
      {"Discord flow from a LAN peer with showLan", true, false, true, true, kDiscord, L"UDP4", L"192.168.1.5", 50000,
       L"192.168.1.9", 50001, L"192.168.1.9:50001"},
      {"IPv6 voice socket", false, false, true, true, kSteam, L"UDP6", L"fe80::1", 3000, L"*", 0, L"Voice UDP :3000",
       L"[fe80::1]:3000"},
      {"IPv6 voice socket with enableIpv6 off", false, false, false, true, kSteam, L"UDP6", L"fe80::1", 3000, L"*", 0,
       std::nullopt},
      {"no local text, public TCP peer", false, false, false, false, kChrome, L"TCP4", L"", 5000, L"8.8.8.8", 443,
       L"8.8.8.8:443", L":5000"},
      {"no local text, public UDP peer needs enableUdp", false, false, true, false, kChrome, L"UDP4", L"", 5000,
       L"8.8.8.8", 443, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    settings.showLan = c.showLan;
    settings.showSystem = c.showSystem;
    settings.enableIpv6 = c.enableIpv6;
    settings.enableUdp = c.enableUdp;
    Snapshotter snapshotter(settings, capture, tables, processes, clock, false);
    RowList empty;
    snapshotter.TakeSnapshot(empty);  // loads ProcessNames
    RowList rows;
    SeenKeys seen;
    snapshotter.AddRow(rows, seen, c.pid, c.protocol, L"OPEN", c.local, c.localPort, c.remote, c.remotePort, 0, -1);
    if (!c.remoteEndpoint) {
      EXPECT_TRUE(rows.empty());
      EXPECT_TRUE(seen.empty());
      continue;
    }
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].remoteEndpoint, *c.remoteEndpoint);
    if (c.localEndpoint) {
      EXPECT_EQ(rows[0].localEndpoint, c.localEndpoint);
    }
    EXPECT_EQ(rows[0].remoteAddress, c.remote);
    EXPECT_EQ(seen.count(RowKey(rows[0])), 1u);
  }
}

TEST_F(SnapshotTest, UnknownAndSystemNamesWithShowSystem) {
  settings.showSystem = true;
  processes.processes.push_back({0, L"[System Process]"});
  processes.processes.push_back({4, L"NotSystem"});
  tables.tcp4 = {Tcp(kNoName, V4(10, 0, 0, 2), 5000, V4(8, 8, 8, 8), 443),
                 Tcp(0, V4(10, 0, 0, 2), 5001, V4(8, 8, 4, 4), 443),
                 Tcp(4, V4(10, 0, 0, 2), 5002, V4(1, 1, 1, 1), 443)};
  const RowList rows = Take();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].processName, L"System");  // pid 4 always wins; "System" < "System Idle" < "Unknown"
  EXPECT_EQ(rows[1].processName, L"System Idle");
  EXPECT_EQ(rows[2].processName, L"Unknown");
  EXPECT_EQ(rows[2].category, L"other");
  EXPECT_EQ(rows[2].role, L"TCP Stream");
}

TEST_F(SnapshotTest, ProcessNamesAreRebuiltEverySnapshot) {
  Snapshotter snapshotter(settings, capture, tables, processes, clock, false);
  RowList rows;
  snapshotter.TakeSnapshot(rows);
  EXPECT_EQ(snapshotter.processNames().at(kChrome), L"chrome.exe");
  processes.processes.erase(processes.processes.begin() + 1);  // chrome exits
  tables.tcp4 = {Tcp(kChrome, V4(10, 0, 0, 2), 5000, V4(8, 8, 8, 8), 443)};
  snapshotter.TakeSnapshot(rows);
  EXPECT_EQ(snapshotter.processNames().count(kChrome), 0u);
  EXPECT_TRUE(rows.empty());  // now "Unknown", hidden

  // The id comes back with another program (a later start): the row follows the new one.
  processes.processes.push_back({kChrome, L"Discord.exe", 7});
  snapshotter.TakeSnapshot(rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].category, L"discord");
  processes.processes.back() = {kChrome, L"steam.exe", 8};
  snapshotter.TakeSnapshot(rows);
  EXPECT_EQ(rows[0].category, L"game");

  processes.available = false;
  snapshotter.TakeSnapshot(rows);
  EXPECT_EQ(snapshotter.processNames().size(), 2u);
  EXPECT_EQ(snapshotter.processNames().at(0), L"System Idle");
  EXPECT_EQ(snapshotter.processNames().at(4), L"System");
}

TEST_F(SnapshotTest, DuplicateSocketsGiveOneRow) {
  tables.tcp4 = {Tcp(kChrome, V4(10, 0, 0, 2), 5000, V4(8, 8, 8, 8), 443),
                 Tcp(kChrome, V4(10, 0, 0, 2), 5000, V4(8, 8, 8, 8), 443),
                 Tcp(kSteam, V4(10, 0, 0, 2), 5000, V4(8, 8, 8, 8), 443)};
  tables.udp4 = {Udp(kDiscord, V4(0, 0, 0, 0), 50000), Udp(kDiscord, V4(0, 0, 0, 0), 50000)};
  const RowList rows = Take();
  EXPECT_EQ(Keys(rows), (std::vector<std::wstring>{L"200|TCP4|10.0.0.2:5000|8.8.8.8:443",
                                                   L"100|UDP4|0.0.0.0:50000|Voice UDP :50000",
                                                   L"400|TCP4|10.0.0.2:5000|8.8.8.8:443"}));
}

// Endpoints that share a long prefix differ only late in their texts; both rows stay, in code unit
// order ("0" sorts before ":").
TEST_F(SnapshotTest, EndpointsDifferingOnlyAtTheEndAreTwoRows) {
  struct Case {
    std::array<uint8_t, 16> first, second;
    uint16_t firstPort, secondPort;
    std::vector<std::wstring> order;
  };
  const Case cases[] = {
      {V4(201, 202, 203, 250),
       V4(201, 202, 203, 250),
       44301,
       44300,
       {L"201.202.203.250:44300", L"201.202.203.250:44301"}},
      {V4(201, 202, 203, 25), V4(201, 202, 203, 250), 4430, 443, {L"201.202.203.250:443", L"201.202.203.25:4430"}},
      {V4(201, 202, 3, 4), V4(201, 202, 3, 5), 80, 80, {L"201.202.3.4:80", L"201.202.3.5:80"}},
      {V4(1, 2, 3, 4), V4(1, 2, 3, 4), 80, 8, {L"1.2.3.4:8", L"1.2.3.4:80"}},
  };
  for (const Case& c : cases) {
    tables.tcp4 = {Tcp(kChrome, V4(10, 0, 0, 2), 5000, c.first, c.firstPort),
                   Tcp(kChrome, V4(10, 0, 0, 2), 5000, c.second, c.secondPort)};
    std::vector<std::wstring> order;
    for (const ConnectionRow& r : Take()) order.push_back(r.remoteEndpoint);
    EXPECT_EQ(order, c.order);
  }
}

TEST_F(SnapshotTest, OfTwoRowsWithOneKeyTheFirstAddedStays) {
  // A real socket of pid 4242 with a live flow collides with a demonstration row (added last).
  processes.processes.push_back({4242, L"Discord.exe"});
  tables.udp4 = {Udp(4242, V4(192, 168, 1, 23), 56014)};
  Flow(56014, Ip(66, 22, 199, 5), 50040, 100, 5);
  const RowList rows = Take(true);
  const auto same = std::count_if(rows.begin(), rows.end(), [](const ConnectionRow& r) {
    return RowKey(r) == L"4242|UDP4|192.168.1.23:56014|66.22.199.5:50040";
  });
  EXPECT_EQ(same, 1);
  const auto row = std::find_if(rows.begin(), rows.end(), [](const ConnectionRow& r) { return r.localPort == 56014; });
  ASSERT_NE(row, rows.end());
  EXPECT_EQ(row->state, L"ACTIVE");
  EXPECT_EQ(row->packets, 5u);
  EXPECT_EQ(rows.size(), 8u);
}

TEST_F(SnapshotTest, ARecycledListGivesTheSameSnapshot) {
  tables.tcp4 = {Tcp(kChrome, V4(10, 0, 0, 2), 5000, V4(8, 8, 8, 8), 443),
                 Tcp(kSteam, V4(10, 0, 0, 2), 5001, V4(23, 45, 67, 89), 27015)};
  tables.udp4 = {Udp(kDiscord, V4(0, 0, 0, 0), 50000)};
  const RowList fresh = Take(true);
  Snapshotter snapshotter(settings, capture, tables, processes, clock, true);
  RowList recycled(40);
  for (ConnectionRow& r : recycled) r.processName = L"a long leftover name that must not survive.exe";
  snapshotter.TakeSnapshot(recycled);
  EXPECT_EQ(Keys(recycled), Keys(fresh));
  snapshotter.TakeSnapshot(recycled);  // again, over its own previous rows
  ASSERT_EQ(recycled.size(), fresh.size());
  for (size_t i = 0; i < fresh.size(); ++i) {
    EXPECT_EQ(recycled[i].processName, fresh[i].processName);
    EXPECT_EQ(recycled[i].state, fresh[i].state);
    EXPECT_EQ(recycled[i].role, fresh[i].role);
    EXPECT_EQ(recycled[i].packets, fresh[i].packets);
    EXPECT_EQ(recycled[i].ageMs, fresh[i].ageMs);
  }
}

TEST_F(SnapshotTest, OpenUdpSockets) {
  tables.udp4 = {
      Udp(kDiscord, V4(0, 0, 0, 0), 50000),    // voice candidate on the wildcard
      Udp(kDiscord, V4(0, 0, 0, 0), 1000),     // too low a port
      Udp(kChrome, V4(0, 0, 0, 0), 5353),      // not voice-capable
      Udp(kSteam, V4(192, 168, 1, 5), 27036),  // bound to a LAN address
      Udp(kSteam, V4(0, 0, 0, 0), 0),          // no port
  };
  struct Case {
    bool showLan;
    std::vector<std::wstring> keys;
  };
  const Case cases[] = {
      {false, {L"100|UDP4|0.0.0.0:50000|Voice UDP :50000"}},
      {true,
       {L"100|UDP4|0.0.0.0:1000|*", L"100|UDP4|0.0.0.0:50000|Voice UDP :50000", L"200|UDP4|0.0.0.0:5353|*",
        L"400|UDP4|192.168.1.5:27036|Voice UDP :27036"}},
  };
  for (const Case& c : cases) {
    settings.showLan = c.showLan;
    RowList rows = Take();
    for (const ConnectionRow& r : rows) {
      EXPECT_EQ(r.state, L"OPEN");
      EXPECT_EQ(r.remoteAddress, L"*");
      EXPECT_EQ(r.remotePort, 0);
      EXPECT_EQ(r.packets, 0u);
      EXPECT_EQ(r.ageMs, -1);
    }
    std::vector<std::wstring> keys = Keys(rows);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, c.keys) << "showLan " << c.showLan;
  }
}

TEST_F(SnapshotTest, CapturedFlowAges) {
  struct Case {
    uint64_t ageMs;
    const wchar_t* state;  // nullptr = the flow gives no row and the socket shows as OPEN
    bool stillInTable;
  };
  const Case cases[] = {
      {0, L"ACTIVE", true},    {3999, L"ACTIVE", true}, {4000, L"RECENT", true}, {5000, L"RECENT", true},
      {8000, L"RECENT", true}, {8001, nullptr, true},   {9000, nullptr, true},   {20000, nullptr, true},
      {20001, nullptr, false}, {60000, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "age " << c.ageMs);
    CaptureTable table;
    tables.udp4 = {Udp(kDiscord, V4(0, 0, 0, 0), 50000)};
    FlowIn(table, 50000, Ip(35, 214, 40, 77), 50031, c.ageMs, 3);
    const RowList rows = TakeWith(table);
    ASSERT_EQ(rows.size(), 1u);
    const ConnectionRow& r = rows[0];
    if (c.state) {
      EXPECT_EQ(r.state, c.state);
      EXPECT_EQ(r.ageMs, static_cast<int32_t>(c.ageMs));
      EXPECT_EQ(r.packets, 3u);
      EXPECT_EQ(r.remoteEndpoint, L"35.214.40.77:50031");
      EXPECT_EQ(r.remoteAddress, L"35.214.40.77");
      EXPECT_EQ(r.remotePort, 50031);
      EXPECT_EQ(r.role, L"Discord Voice Call");
    } else {
      EXPECT_EQ(r.state, L"OPEN");
      EXPECT_EQ(r.remoteEndpoint, L"Voice UDP :50000");
    }
    EXPECT_EQ(table.Size(), c.stillInTable ? 1u : 0u);
  }
}

TEST_F(SnapshotTest, FlowAgeIsMeasuredFromTheSnapshotStart) {
  // The process list is read before the clock; the capture pass reads the clock again later. A
  // flow counted while the TCP table was read is younger than the snapshot: its age is 0.
  tables.udp4 = {Udp(kDiscord, V4(0, 0, 0, 0), 50000)};
  tables.onQuery = [this](SocketTableKind kind) {
    if (kind == SocketTableKind::Tcp4 && capture.Size() == 0) {
      clock.Advance(700);
      Flow(50000, Ip(35, 214, 40, 77), 50031, 0);
    }
  };
  const RowList rows = Take();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].ageMs, 0);
  EXPECT_EQ(rows[0].state, L"ACTIVE");
}

TEST_F(SnapshotTest, OneSocketWithTwoFlows) {
  tables.udp4 = {Udp(kDiscord, V4(0, 0, 0, 0), 50000), Udp(kDiscord, V4(0, 0, 0, 0), 50001)};
  Flow(50000, Ip(35, 214, 40, 77), 50031, 100, 5);
  Flow(50000, Ip(66, 22, 199, 5), 50040, 6000, 2);
  Flow(50002, Ip(66, 22, 199, 6), 50041, 10);  // no socket on that port
  const RowList rows = Take();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Keys(rows), (std::vector<std::wstring>{L"100|UDP4|0.0.0.0:50000|35.214.40.77:50031",
                                                   L"100|UDP4|0.0.0.0:50000|66.22.199.5:50040",
                                                   L"100|UDP4|0.0.0.0:50001|Voice UDP :50001"}));
  EXPECT_EQ(rows[0].state, L"ACTIVE");
  EXPECT_EQ(rows[0].packets, 5u);
  EXPECT_EQ(rows[1].state, L"RECENT");
  EXPECT_EQ(rows[1].ageMs, 6000);
  EXPECT_EQ(rows[2].state, L"OPEN");
}

TEST_F(SnapshotTest, UdpOffReadsNoUdpTableAndLeavesTheCaptureTable) {
  settings.enableUdp = false;
  tables.udp4 = {Udp(kDiscord, V4(0, 0, 0, 0), 50000)};
  tables.udp6 = {Udp(kDiscord, {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 50000)};
  Flow(50000, Ip(35, 214, 40, 77), 50031, 30000);
  const RowList rows = Take(true);
  EXPECT_EQ(tables.Calls(SocketTableKind::Udp4), 0u);
  EXPECT_EQ(tables.Calls(SocketTableKind::Udp6), 0u);
  EXPECT_EQ(capture.Size(), 1u);
  for (const ConnectionRow& r : rows) EXPECT_EQ(r.protocol, L"TCP4");
  EXPECT_EQ(rows.size(), 4u);  // the four demonstration TCP rows
}

TEST_F(SnapshotTest, Ipv6Tables) {
  const std::array<uint8_t, 16> any{};
  const std::array<uint8_t, 16> doc1{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const std::array<uint8_t, 16> cf{0x26, 0x06, 0x47, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11};
  const std::array<uint8_t, 16> link{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7};
  tables.tcp6 = {Tcp(kChrome, doc1, 5000, cf, 443), Tcp(kChrome, any, 5001, cf, 443),
                 Tcp(kChrome, doc1, 5002, any, 443), Tcp(kChrome, doc1, 5003, cf, 443, 2)};
  tables.udp6 = {Udp(kSteam, any, 27000), Udp(kSteam, link, 27001), Udp(kSteam, doc1, 0)};
  struct Case {
    bool enableIpv6;
    std::vector<std::wstring> keys;
    size_t queries;
  };
  const Case cases[] = {
      {true, {L"200|TCP6|[2001:db8::1]:5000|[2606:4700::11]:443", L"400|UDP6|[fe80::7]:27001|Voice UDP :27001"}, 2},
      {false, {}, 0},
  };
  for (const Case& c : cases) {
    settings.enableIpv6 = c.enableIpv6;
    tables.offeredSizes = {};
    EXPECT_EQ(Keys(Take()), c.keys);
    EXPECT_EQ(tables.Calls(SocketTableKind::Tcp6), c.queries);
    EXPECT_EQ(tables.Calls(SocketTableKind::Udp6), c.queries);
  }
}

TEST_F(SnapshotTest, AnUnreadableTableLeavesTheOthers) {
  tables.tcp4 = {Tcp(kChrome, V4(10, 0, 0, 2), 5000, V4(8, 8, 8, 8), 443)};
  tables.udp4 = {Udp(kDiscord, V4(0, 0, 0, 0), 50000)};
  tables.script[FakeSocketTables::Index(SocketTableKind::Tcp4)] = {{122, 100}, {31, 100}};
  const RowList rows = Take();
  EXPECT_EQ(Keys(rows), (std::vector<std::wstring>{L"100|UDP4|0.0.0.0:50000|Voice UDP :50000"}));
}

TEST_F(SnapshotTest, SortedByNameWithoutCaseThenByRemoteEndpoint) {
  processes.processes = {{1, L"beta.exe"}, {2, L"Alpha.exe"}, {3, L"alpha.exe"}, {5, L"Gamma.exe"}, {6, L"_x.exe"}};
  tables.tcp4 = {
      Tcp(1, V4(10, 0, 0, 2), 5000, V4(9, 9, 9, 9), 443),  Tcp(5, V4(10, 0, 0, 2), 5001, V4(8, 8, 8, 8), 443),
      Tcp(2, V4(10, 0, 0, 2), 5002, V4(20, 1, 1, 1), 443), Tcp(3, V4(10, 0, 0, 2), 5003, V4(100, 1, 1, 1), 443),
      Tcp(2, V4(10, 0, 0, 2), 5004, V4(3, 1, 1, 1), 80),   Tcp(6, V4(10, 0, 0, 2), 5005, V4(1, 1, 1, 1), 443),
  };
  const RowList rows = Take();
  std::vector<std::wstring> order;
  for (const ConnectionRow& r : rows) order.push_back(r.processName + L" " + r.remoteEndpoint);
  // Names fold to lowercase, so "_" (0x5F) sorts before every letter, though after "Z" (0x5A);
  // endpoints compare code unit by code unit: "100.1…" < "20.1…" < "3.1…".
  EXPECT_EQ(order,
            (std::vector<std::wstring>{L"_x.exe 1.1.1.1:443", L"alpha.exe 100.1.1.1:443", L"Alpha.exe 20.1.1.1:443",
                                       L"Alpha.exe 3.1.1.1:80", L"beta.exe 9.9.9.9:443", L"Gamma.exe 8.8.8.8:443"}));
}

TEST(CompareNoCase, OrdersLikeLowercase) {
  EXPECT_EQ(CompareNoCase(L"ABC", L"abc"), 0);
  EXPECT_LT(CompareNoCase(L"abc", L"ABD"), 0);
  EXPECT_GT(CompareNoCase(L"abcd", L"ABC"), 0);
  EXPECT_LT(CompareNoCase(L"", L"a"), 0);
  EXPECT_LT(CompareNoCase(L"_", L"Z"), 0);  // folded to lowercase, not to uppercase
  EXPECT_TRUE(IsHiddenProcessName(L"msmpeng.EXE"));
  EXPECT_TRUE(IsHiddenProcessName(L"system idle"));
  EXPECT_FALSE(IsHiddenProcessName(L"System32.exe"));
  EXPECT_FALSE(IsHiddenProcessName(L"svchost.exe "));
  EXPECT_EQ(HiddenProcessNames().size(), 18u);
}

TEST_F(SnapshotTest, DemoModeAddsEightRowsUnderFixedNames) {
  processes.processes.push_back({4242, L"notepad.exe"});  // a real process that happens to have id 4242
  tables.tcp4 = {Tcp(4242, V4(192, 168, 1, 23), 40000, V4(1, 1, 1, 1), 443)};
  const RowList rows = Take(true);
  ASSERT_EQ(rows.size(), 9u);
  for (const ConnectionRow& r : rows) {
    const wchar_t* expected = r.pid == 4242   ? L"Discord.exe (demo)"
                              : r.pid == 5151 ? L"chrome.exe (demo)"
                                              : L"steam.exe (demo)";
    EXPECT_EQ(r.processName, expected);
  }
  EXPECT_EQ(Keys(rows), (std::vector<std::wstring>{
                            L"5151|TCP4|192.168.1.23:51500|142.250.80.46:443",
                            L"5151|UDP4|192.168.1.23:51501|142.250.80.46:443",
                            L"4242|TCP4|192.168.1.23:40000|1.1.1.1:443",
                            L"4242|UDP4|192.168.1.23:56013|104.18.12.201:50004",
                            L"4242|TCP4|192.168.1.23:51023|104.18.32.47:443",
                            L"4242|TCP4|192.168.1.23:51022|162.159.135.234:443",
                            L"4242|UDP4|192.168.1.23:56012|35.214.40.77:50031",
                            L"4242|UDP4|192.168.1.23:56014|66.22.199.5:50040",
                            L"6262|TCP4|192.168.1.23:51700|23.45.67.89:27015",
                        }));
  const ConnectionRow& first =
      *std::find_if(rows.begin(), rows.end(), [](const ConnectionRow& r) { return r.localPort == 56012; });
  EXPECT_EQ(first.state, L"ACTIVE");
  EXPECT_EQ(first.packets, 18234u);
  EXPECT_EQ(first.ageMs, 90);
  EXPECT_EQ(first.category, L"discord");
  EXPECT_EQ(first.role, L"Discord Voice Call");
  const ConnectionRow& recent =
      *std::find_if(rows.begin(), rows.end(), [](const ConnectionRow& r) { return r.localPort == 56014; });
  EXPECT_EQ(recent.state, L"RECENT");
  EXPECT_EQ(recent.ageMs, 9000);
  const ConnectionRow& gateway =
      *std::find_if(rows.begin(), rows.end(), [](const ConnectionRow& r) { return r.localPort == 51022; });
  EXPECT_EQ(gateway.role, L"Gateway / CDN");
}

TEST_F(SnapshotTest, WithoutDemoModeNoDemoNames) {
  const RowList rows = Take(false);
  EXPECT_TRUE(rows.empty());
  Snapshotter snapshotter(settings, capture, tables, processes, clock, false);
  RowList r;
  snapshotter.TakeSnapshot(r);
  EXPECT_EQ(snapshotter.processNames().count(4242), 0u);
}

TEST_F(SnapshotTest, TakeSnapshotReplacesWhatTheListHeld) {
  Snapshotter snapshotter(settings, capture, tables, processes, clock, false);
  RowList rows(3);
  snapshotter.TakeSnapshot(rows);
  EXPECT_TRUE(rows.empty());
}

// Many rows with shared names (differing only in case, some beyond ASCII), shared endpoints, IPv6
// endpoints too long for the packed sort key next to short ones, and repeated sockets: the list
// must come out in order and free of duplicates whatever order the tables list their entries in.
TEST_F(SnapshotTest, LargeMixedTablesComeOutSortedAndUniqueInAnyEntryOrder) {
  settings.showLan = true;
  const wchar_t* names[] = {L"a.exe",          L"A.exe",  L"b.exe",       L"\u00c4rger.exe",
                            L"\u00e4rger.exe", L"_x.exe", L"Discord.exe", L"steam.exe"};
  processes.processes.clear();
  for (uint32_t pid = 1; pid <= 40; ++pid) processes.processes.push_back({pid, names[pid % std::size(names)]});
  uint32_t seed = 12345;
  const auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  const auto v6 = [](uint8_t head, uint8_t tail, bool longText) {
    std::array<uint8_t, 16> a{};
    a[0] = 0x20;
    a[1] = head;
    for (size_t i = 2; i < 15 && longText; ++i) a[i] = static_cast<uint8_t>(0x11 * (i % 15) + 1);
    a[15] = tail;
    return a;
  };
  for (int i = 0; i < 3000; ++i)
    tables.tcp4.push_back(Tcp(1 + next(40), V4(10, 0, 0, 2), static_cast<uint16_t>(5000 + next(30)),
                              next(2) ? V4(static_cast<uint8_t>(1 + next(3)), 2, static_cast<uint8_t>(next(4)), 4)
                                      : V4(201, 202, 203, static_cast<uint8_t>(250 + next(3))),
                              static_cast<uint16_t>(next(2) ? 443 : 44300 + next(3))));
  for (int i = 0; i < 400; ++i)
    tables.tcp6.push_back(Tcp(1 + next(40), v6(1, 1, true), static_cast<uint16_t>(6000 + next(10)),
                              v6(static_cast<uint8_t>(next(3)), static_cast<uint8_t>(next(3)), next(2) == 0),
                              static_cast<uint16_t>(443)));
  for (int i = 0; i < 600; ++i)
    tables.udp4.push_back(
        Udp(1 + next(40), next(2) ? V4(0, 0, 0, 0) : V4(192, 168, 1, 10), static_cast<uint16_t>(40000 + next(100))));
  for (int i = 0; i < 300; ++i)
    Flow(static_cast<uint16_t>(40000 + next(100)), Ip(66, 22, 1, static_cast<uint8_t>(next(5))), 50000, next(9000));

  const RowList rows = Take();
  ASSERT_GT(rows.size(), 500u);
  std::vector<std::wstring> keys = Keys(rows);
  for (size_t i = 1; i < rows.size(); ++i) {
    const int byName = CompareNoCase(rows[i - 1].processName, rows[i].processName);
    ASSERT_TRUE(byName < 0 || (byName == 0 && rows[i - 1].remoteEndpoint <= rows[i].remoteEndpoint))
        << "row " << i << " out of order";
  }
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end()) << "a row key appears twice";

  // Reversed and doubled tables: the same rows, in the same visible order.
  const auto visible = [](const RowList& list) {
    std::vector<std::wstring> order;
    for (const ConnectionRow& r : list) order.push_back(r.processName + L" " + r.remoteEndpoint);
    return order;
  };
  for (auto* table : {&tables.tcp4, &tables.tcp6}) {
    std::reverse(table->begin(), table->end());
    table->insert(table->end(), table->begin(), table->end());
  }
  std::reverse(tables.udp4.begin(), tables.udp4.end());
  tables.udp4.insert(tables.udp4.end(), tables.udp4.begin(), tables.udp4.end());
  const RowList again = Take();
  std::vector<std::wstring> keysAgain = Keys(again);
  std::sort(keysAgain.begin(), keysAgain.end());
  EXPECT_EQ(keysAgain, keys);
  EXPECT_EQ(visible(again), visible(rows));
}

TEST_F(SnapshotTest, RowsCarryTheirFlowsByteCountersOnlyWhileCaptureCounts) {
  const Ipv6Bytes cf = {0x26, 0x06, 0x47, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  tables.tcp4 = {Tcp(kChrome, V4(192, 168, 1, 5), 50100, V4(142, 250, 80, 46), 443),
                 Tcp(kChrome, V4(192, 168, 1, 5), 50101, V4(142, 250, 80, 46), 443)};  // no packet yet
  tables.tcp6 = {Tcp(kChrome, cf, 50102, cf, 443)};
  tables.udp4 = {Udp(kDiscord, V4(0, 0, 0, 0), 50000)};
  capture.Tcp().Count(50100, Ip(142, 250, 80, 46), 443, 1500, clock.TickMs(), FlowDirection::Received);
  capture.Tcp().Count(50100, Ip(142, 250, 80, 46), 443, 52, clock.TickMs(), FlowDirection::Sent);
  capture.Count(50000, Ip(35, 214, 40, 77), 50031, 200, clock.TickMs(), FlowDirection::Sent);
  for (const bool counting : {false, true}) {
    SCOPED_TRACE(counting);
    capture.SetCounting(counting);
    std::vector<RowTraffic> got;
    for (const ConnectionRow& r : Take()) got.push_back(r.traffic);
    const RowTraffic none;
    const std::vector<RowTraffic> want = {
        counting ? RowTraffic{true, 1500, 52} : none,  // chrome 142.250.80.46:443 from 50100
        counting ? RowTraffic{true, 0, 0} : none,      // from 50101
        none,                                          // IPv6: never
        counting ? RowTraffic{true, 0, 200} : none,    // Discord's call
    };
    EXPECT_EQ(got, want);
  }
}

}  // namespace
}  // namespace tolvane
