// HandleDatagram on crafted raw IPv4 packets: every acceptance rule, the direction rule, byte
// counting by protocol and direction, and the flow limits of the tables behind it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture_datagram.h"
#include "capture/capture_packet_builder.h"
#include "fakes/fake_clock.h"

namespace tolvane {
namespace {

constexpr uint32_t kLocal = Ip(192, 168, 1, 23);
constexpr uint32_t kLocalOther = Ip(10, 0, 0, 5);
constexpr uint32_t kServer = Ip(35, 214, 40, 77);
constexpr uint32_t kOtherPeer = Ip(104, 18, 12, 201);

LocalAddressList Locals() { return LocalAddressList({kLocal, kLocalOther}); }

PacketSpec Outgoing() {
  PacketSpec s;
  s.source = kLocal;
  s.destination = kServer;
  s.sourcePort = 56012;
  s.destinationPort = 50031;
  return s;
}

struct DatagramCase {
  const char* name;
  PacketSpec spec;
  DatagramResult expected;
  const char* key;  // the flow counted, for accepted packets
  uint64_t bytes;   // bytes counted into it
};

std::vector<DatagramCase> Cases() {
  std::vector<DatagramCase> c;
  auto add = [&c](const char* name, auto edit, DatagramResult expected, const char* key = "", uint64_t bytes = 0) {
    PacketSpec s = Outgoing();
    edit(s);
    c.push_back({name, s, expected, key, bytes});
  };
  add(
      "outgoing", [](PacketSpec&) {}, DatagramResult::Inserted, "56012|35.214.40.77|50031", 40);
  add(
      "incoming",
      [](PacketSpec& s) {
        s.source = kServer;
        s.destination = kLocal;
        s.sourcePort = 50031;
        s.destinationPort = 56012;
      },
      DatagramResult::Inserted, "56012|35.214.40.77|50031", 40);
  add(
      "incoming on the second local address",
      [](PacketSpec& s) {
        s.source = kOtherPeer;
        s.destination = kLocalOther;
        s.sourcePort = 50004;
        s.destinationPort = 56013;
      },
      DatagramResult::Inserted, "56013|104.18.12.201|50004", 40);
  add(
      "smallest whole datagram (28 bytes)", [](PacketSpec& s) { s.payload = 0; }, DatagramResult::Inserted,
      "56012|35.214.40.77|50031", 28);
  add(
      "27 bytes", [](PacketSpec& s) { s.deliveredLength = 27; }, DatagramResult::TooShort);
  add(
      "no bytes", [](PacketSpec& s) { s.deliveredLength = 0; }, DatagramResult::TooShort);
  add(
      "IPv6 version nibble", [](PacketSpec& s) { s.version = 6; }, DatagramResult::NotIpv4);
  add(
      "version 0", [](PacketSpec& s) { s.version = 0; }, DatagramResult::NotIpv4);
  add(
      "IHL 4", [](PacketSpec& s) { s.ihl = 4; }, DatagramResult::BadHeaderLength);
  add(
      "IHL 0", [](PacketSpec& s) { s.ihl = 0; }, DatagramResult::BadHeaderLength);
  add(
      "IHL 6 with only 28 bytes delivered",
      [](PacketSpec& s) {
        s.ihl = 6;
        s.deliveredLength = 28;
      },
      DatagramResult::UdpHeaderCut);
  add(
      "IHL 15, UDP header one byte short",
      [](PacketSpec& s) {
        s.ihl = 15;
        s.deliveredLength = 67;
      },
      DatagramResult::UdpHeaderCut);
  add(
      "IHL 15, UDP header exactly complete",
      [](PacketSpec& s) {
        s.ihl = 15;
        s.payload = 0;
      },
      DatagramResult::Inserted, "56012|35.214.40.77|50031", 68);
  add(
      "TCP: 20 + 20 + 12 bytes", [](PacketSpec& s) { s.protocol = 6; }, DatagramResult::Inserted,
      "56012|35.214.40.77|50031", 52);
  add(
      "TCP, header one byte short",
      [](PacketSpec& s) {
        s.protocol = 6;
        s.deliveredLength = 39;
      },
      DatagramResult::TcpHeaderCut);
  add(
      "ICMP", [](PacketSpec& s) { s.protocol = 1; }, DatagramResult::OtherProtocol);
  add(
      "first fragment (more fragments set)",
      [](PacketSpec& s) {
        s.flagsFragment = 0x2000;
        s.payload = 1472;
      },
      DatagramResult::Inserted, "56012|35.214.40.77|50031", 1500);
  add(
      "don't-fragment flag", [](PacketSpec& s) { s.flagsFragment = 0x4000; }, DatagramResult::Inserted,
      "56012|35.214.40.77|50031", 40);
  add(
      "second fragment", [](PacketSpec& s) { s.flagsFragment = 0x2000 | 185; }, DatagramResult::LaterFragment);
  add(
      "last fragment", [](PacketSpec& s) { s.flagsFragment = 1; }, DatagramResult::LaterFragment);
  add(
      "highest fragment offset", [](PacketSpec& s) { s.flagsFragment = 0x1FFF; }, DatagramResult::LaterFragment);
  add(
      "between two local addresses", [](PacketSpec& s) { s.destination = kLocalOther; }, DatagramResult::BothLocal);
  add(
      "local to itself", [](PacketSpec& s) { s.destination = kLocal; }, DatagramResult::BothLocal);
  add(
      "neither end local", [](PacketSpec& s) { s.source = kOtherPeer; }, DatagramResult::NoLocalEnd);
  add(
      "remote 0.x", [](PacketSpec& s) { s.destination = Ip(0, 1, 2, 3); }, DatagramResult::ReservedRemote);
  add(
      "remote 127.x", [](PacketSpec& s) { s.destination = Ip(127, 0, 0, 1); }, DatagramResult::ReservedRemote);
  add(
      "remote multicast 224.0.0.251", [](PacketSpec& s) { s.destination = Ip(224, 0, 0, 251); },
      DatagramResult::ReservedRemote);
  add(
      "remote 239.255.255.250", [](PacketSpec& s) { s.destination = Ip(239, 255, 255, 250); },
      DatagramResult::ReservedRemote);
  add(
      "remote broadcast", [](PacketSpec& s) { s.destination = Ip(255, 255, 255, 255); },
      DatagramResult::ReservedRemote);
  add(
      "incoming from 127.x",
      [](PacketSpec& s) {
        s.source = Ip(127, 0, 0, 1);
        s.destination = kLocal;
      },
      DatagramResult::ReservedRemote);
  add(
      "remote 223.255.255.255", [](PacketSpec& s) { s.destination = Ip(223, 255, 255, 255); }, DatagramResult::Inserted,
      "56012|223.255.255.255|50031", 40);
  add(
      "remote 1.0.0.1", [](PacketSpec& s) { s.destination = Ip(1, 0, 0, 1); }, DatagramResult::Inserted,
      "56012|1.0.0.1|50031", 40);
  add(
      "remote 128.0.0.1", [](PacketSpec& s) { s.destination = Ip(128, 0, 0, 1); }, DatagramResult::Inserted,
      "56012|128.0.0.1|50031", 40);
  add(
      "bytes come from the total-length field, not the received size", [](PacketSpec& s) { s.totalLength = 1200; },
      DatagramResult::Inserted, "56012|35.214.40.77|50031", 1200);
  add(
      "ports 0 and 65535",
      [](PacketSpec& s) {
        s.sourcePort = 65535;
        s.destinationPort = 0;
      },
      DatagramResult::Inserted, "65535|35.214.40.77|0", 40);
  return c;
}

TEST(HandleDatagram, AcceptanceAndDirectionRules) {
  for (const DatagramCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    CaptureTable table;
    FakeClock clock;
    // An exactly sized copy, so a read past the end shows up under a sanitizer.
    const std::vector<uint8_t> bytes = BuildPacket(c.spec);
    const DatagramResult r = HandleDatagram(bytes.data(), bytes.size(), Locals(), table, clock);
    EXPECT_EQ(r, c.expected);
    // A TCP segment counts into the TCP table only, a UDP datagram into the call flows only.
    const bool tcp = c.spec.protocol == 6;
    EXPECT_EQ((tcp ? table : table.Tcp()).Size(), 0u);
    const std::vector<CaptureFlow> flows = tcp ? table.Tcp().Copy() : table.Copy();
    if (c.expected != DatagramResult::Inserted) {
      EXPECT_TRUE(flows.empty());
      continue;
    }
    ASSERT_EQ(flows.size(), 1u);
    EXPECT_EQ(flows[0].key, c.key);
    EXPECT_EQ(flows[0].packets, 1u);
    EXPECT_EQ(flows[0].bytes, c.bytes);
    EXPECT_EQ(flows[0].lastSeen, clock.tickMs.load());
    const bool sent = c.spec.source == kLocal || c.spec.source == kLocalOther;
    EXPECT_EQ(flows[0].bytesSent, sent ? c.bytes : 0u);
    EXPECT_EQ(flows[0].bytesReceived, sent ? 0u : c.bytes);
  }
}

TEST(HandleDatagram, BothDirectionsCountIntoOneFlow) {
  CaptureTable table;
  FakeClock clock;
  PacketSpec out = Outgoing();
  out.totalLength = 100;
  PacketSpec in;
  in.source = kServer;
  in.destination = kLocal;
  in.sourcePort = 50031;
  in.destinationPort = 56012;
  in.totalLength = 1500;
  const auto a = BuildPacket(out);
  const auto b = BuildPacket(in);
  EXPECT_EQ(HandleDatagram(a.data(), a.size(), Locals(), table, clock), DatagramResult::Inserted);
  clock.Advance(20);
  EXPECT_EQ(HandleDatagram(b.data(), b.size(), Locals(), table, clock), DatagramResult::Updated);
  EXPECT_EQ(HandleDatagram(b.data(), b.size(), Locals(), table, clock), DatagramResult::Updated);
  const auto flows = table.Copy();
  ASSERT_EQ(flows.size(), 1u);
  EXPECT_EQ(flows[0].packets, 3u);
  EXPECT_EQ(flows[0].bytes, 100u + 1500u + 1500u);
  EXPECT_EQ(flows[0].packetsSent, 1u);
  EXPECT_EQ(flows[0].bytesReceived, 3000u);
  EXPECT_EQ(table.Totals().sent, 100u);
  EXPECT_EQ(flows[0].lastSeen, clock.tickMs.load());
  EXPECT_EQ(flows[0].remoteAddress, L"35.214.40.77");
  EXPECT_EQ(flows[0].localPort, 56012);
  EXPECT_EQ(flows[0].remotePort, 50031);
}

TEST(HandleDatagram, TcpFlowsNeverPushCallFlowsOut) {
  CaptureTable table;
  FakeClock clock;
  const auto handle = [&](const PacketSpec& s) {
    const auto p = BuildPacket(s);
    return HandleDatagram(p.data(), p.size(), Locals(), table, clock);
  };
  ASSERT_EQ(handle(Outgoing()), DatagramResult::Inserted);  // the call
  PacketSpec tcp = Outgoing();
  tcp.protocol = 6;
  for (uint32_t i = 0; i <= CaptureTable::kMaxFlows + 1; ++i) {  // a scan fills the TCP table, and more come
    tcp.sourcePort = static_cast<uint16_t>(20000 + i);
    ASSERT_EQ(handle(tcp), i <= CaptureTable::kMaxFlows ? DatagramResult::Inserted : DatagramResult::TableFull);
  }
  EXPECT_EQ(handle(Outgoing()), DatagramResult::Updated);  // the call goes on
  PacketSpec second = Outgoing();
  second.sourcePort = 56013;
  EXPECT_EQ(handle(second), DatagramResult::Inserted);  // and a new call flow still finds room
  EXPECT_EQ(table.Size(), 2u);
}

TEST(HandleDatagram, NoLocalAddressesCountsNothing) {
  CaptureTable table;
  FakeClock clock;
  const auto p = BuildPacket(Outgoing());
  EXPECT_EQ(HandleDatagram(p.data(), p.size(), LocalAddressList(), table, clock), DatagramResult::NoLocalEnd);
  EXPECT_EQ(table.Size(), 0u);
}

// Fills the table with distinct fresh flows from the local port 40000 to kServer.
void Fill(CaptureTable& table, FakeClock& clock, size_t flows) {
  for (size_t i = 0; i < flows; ++i) {
    PacketSpec s = Outgoing();
    s.sourcePort = 40000;
    s.destinationPort = static_cast<uint16_t>(i + 1);
    const auto p = BuildPacket(s);
    ASSERT_EQ(HandleDatagram(p.data(), p.size(), Locals(), table, clock), DatagramResult::Inserted);
  }
}

TEST(HandleDatagram, FlowLimit) {
  struct LimitCase {
    const char* name;
    uint64_t idleBeforeNewFlow;  // how long after the fill the new flow arrives
    bool refreshOne;             // one old flow sees a datagram 5 s after the fill
    DatagramResult expected;
    size_t sizeAfter;
  };
  const LimitCase cases[] = {
      {"all fresh: the new flow is dropped", 0, false, DatagramResult::TableFull, 6001},
      {"idle exactly 10000 ms is not stale yet", 10000, false, DatagramResult::TableFull, 6001},
      {"all stale: purged, then inserted", 10001, false, DatagramResult::Inserted, 1},
      {"stale but one refreshed: it stays", 10001, true, DatagramResult::Inserted, 2},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    CaptureTable table;
    FakeClock clock;
    Fill(table, clock, CaptureTable::kMaxFlows + 1);
    ASSERT_EQ(table.Size(), 6001u);
    PacketSpec old = Outgoing();
    old.sourcePort = 40000;
    old.destinationPort = 1;
    const auto oldPacket = BuildPacket(old);
    if (c.refreshOne) {
      clock.Advance(5000);
      ASSERT_EQ(HandleDatagram(oldPacket.data(), oldPacket.size(), Locals(), table, clock), DatagramResult::Updated);
      clock.Advance(c.idleBeforeNewFlow - 5000);
    } else {
      clock.Advance(c.idleBeforeNewFlow);
    }
    const auto fresh = BuildPacket(Outgoing());
    EXPECT_EQ(HandleDatagram(fresh.data(), fresh.size(), Locals(), table, clock), c.expected);
    EXPECT_EQ(table.Size(), c.sizeAfter);
    EXPECT_LE(table.Size(), CaptureTable::kMaxFlows + 1);
  }
}

TEST(HandleDatagram, FullTableStillCountsExistingFlows) {
  CaptureTable table;
  FakeClock clock;
  Fill(table, clock, CaptureTable::kMaxFlows + 1);
  PacketSpec last = Outgoing();
  last.sourcePort = 40000;
  last.destinationPort = 6001;
  const auto p = BuildPacket(last);
  const auto fresh = BuildPacket(Outgoing());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(HandleDatagram(fresh.data(), fresh.size(), Locals(), table, clock), DatagramResult::TableFull);
    EXPECT_EQ(HandleDatagram(p.data(), p.size(), Locals(), table, clock), DatagramResult::Updated);
  }
  for (const CaptureFlow& f : table.Copy()) {
    if (f.key == "40000|35.214.40.77|6001") {
      EXPECT_EQ(f.packets, 4u);
    }
    EXPECT_NE(f.key, "56012|35.214.40.77|50031");
  }
}

TEST(LocalAddressList, SortsDeduplicatesAndFinds) {
  std::vector<uint32_t> many;
  for (uint32_t i = 40; i > 0; --i) many.push_back(Ip(10, 0, 0, i));
  many.push_back(Ip(10, 0, 0, 7));
  struct ListCase {
    const char* name;
    std::vector<uint32_t> input;
    std::vector<uint32_t> sorted;
  };
  const ListCase cases[] = {
      {"empty", {}, {}},
      {"duplicates", {kLocal, kLocalOther, kLocal}, {kLocalOther, kLocal}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    const LocalAddressList list(c.input);
    EXPECT_EQ(list.values(), c.sorted);
    for (uint32_t a : c.input) EXPECT_TRUE(list.Contains(a));
    EXPECT_FALSE(list.Contains(kServer));
  }
  // Past the short scan the lookup is a binary search: every member is still found.
  const LocalAddressList big(many);
  EXPECT_EQ(big.size(), 40u);
  for (uint32_t i = 1; i <= 40; ++i) EXPECT_TRUE(big.Contains(Ip(10, 0, 0, i)));
  EXPECT_FALSE(big.Contains(Ip(10, 0, 0, 41)));
  EXPECT_FALSE(big.Contains(Ip(10, 0, 0, 0)));
}

}  // namespace
}  // namespace tolvane
