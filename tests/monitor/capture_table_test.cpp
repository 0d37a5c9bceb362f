// CaptureTable: key texts, counting, the snapshot's ageing pass, the index staying correct across
// erasures, the purge bound, and one counting thread racing a snapshot thread.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "monitor/capture_table.h"

namespace tolvane {
namespace {

constexpr uint32_t kServer = 35u << 24 | 214u << 16 | 40u << 8 | 77u;

TEST(CaptureTable, FlowKeyText) {
  struct KeyCase {
    uint16_t localPort;
    uint32_t remote;
    uint16_t remotePort;
    const char* expected;
  };
  const KeyCase cases[] = {
      {56012, kServer, 50031, "56012|35.214.40.77|50031"},
      {0, 0, 0, "0|0.0.0.0|0"},
      {65535, 0xFFFFFFFFu, 65535, "65535|255.255.255.255|65535"},
      {1, 0x01000001u, 443, "1|1.0.0.1|443"},
  };
  for (const KeyCase& c : cases) {
    EXPECT_EQ(CaptureTable::FlowKeyText(c.localPort, c.remote, c.remotePort), c.expected);
  }
}

TEST(CaptureTable, CountInsertsOnceThenUpdates) {
  CaptureTable table;
  EXPECT_EQ(table.Count(56012, kServer, 50031, 100, 1000), CaptureTable::CountResult::Inserted);
  EXPECT_EQ(table.Count(56012, kServer, 50031, 60, 1500), CaptureTable::CountResult::Updated);
  // Same numbers in other fields are other flows.
  EXPECT_EQ(table.Count(50031, kServer, 56012, 1, 1500), CaptureTable::CountResult::Inserted);
  EXPECT_EQ(table.Count(56012, kServer + 1, 50031, 1, 1500), CaptureTable::CountResult::Inserted);
  const auto flows = table.Copy();
  ASSERT_EQ(flows.size(), 3u);
  const CaptureFlow& f = flows[0];
  EXPECT_EQ(f.key, "56012|35.214.40.77|50031");
  EXPECT_EQ(f.remoteAddress, L"35.214.40.77");
  EXPECT_EQ(f.localPort, 56012);
  EXPECT_EQ(f.remotePort, 50031);
  EXPECT_EQ(f.packets, 2u);
  EXPECT_EQ(f.bytes, 160u);
  EXPECT_EQ(f.lastSeen, 1500u);
}

TEST(CaptureTable, AgeAndCollectBoundaries) {
  struct AgeCase {
    uint64_t age;
    bool kept;    // still in the table
    bool copied;  // returned to the snapshot
  };
  const AgeCase cases[] = {
      {0, true, true},      {8000, true, true},    {8001, true, false},
      {20000, true, false}, {20001, false, false}, {1000000, false, false},
  };
  const uint64_t now = 2000000;
  for (const AgeCase& c : cases) {
    SCOPED_TRACE(c.age);
    CaptureTable table;
    table.Count(56012, kServer, 50031, 100, now - c.age);
    const auto copied = table.AgeAndCollect(now, 20000, 8000);
    EXPECT_EQ(copied.size(), c.copied ? 1u : 0u);
    EXPECT_EQ(table.Size(), c.kept ? 1u : 0u);
  }
  // A flow seen "after" now (clocks read in another order) counts as age 0.
  CaptureTable table;
  table.Count(56012, kServer, 50031, 100, now + 50);
  EXPECT_EQ(table.AgeAndCollect(now, 20000, 8000).size(), 1u);
}

// The snapshot collects into its previous list: whatever it held, longer or shorter, is replaced.
TEST(CaptureTable, AgeAndCollectIntoARecycledList) {
  const uint64_t now = 2000000;
  CaptureTable table;
  table.Count(56012, kServer, 50031, 100, now - 10);
  table.Count(56013, kServer, 50032, 100, now - 9000);  // kept in the table, not collected
  table.Count(56014, kServer + 1, 50033, 100, now - 20);
  for (const size_t leftovers : {0u, 1u, 2u, 7u}) {
    SCOPED_TRACE(leftovers);
    std::vector<CaptureFlow> recycled(leftovers);
    for (CaptureFlow& f : recycled) {
      f.key = "a leftover key longer than any flow key";
      f.remoteAddress = L"0.0.0.0";
      f.packets = 99;
    }
    table.AgeAndCollect(now, 20000, 8000, recycled);
    const std::vector<CaptureFlow> fresh = table.AgeAndCollect(now, 20000, 8000);
    ASSERT_EQ(recycled.size(), 2u);
    ASSERT_EQ(fresh.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(recycled[i].key, fresh[i].key);
      EXPECT_EQ(recycled[i].remoteAddress, fresh[i].remoteAddress);
      EXPECT_EQ(recycled[i].localPort, fresh[i].localPort);
      EXPECT_EQ(recycled[i].packets, 1u);
      EXPECT_EQ(recycled[i].lastSeen, fresh[i].lastSeen);
    }
  }
}

// Erasing compacts the flows and rebuilds the index; every survivor must still be found there and
// every erased flow must be new again.
TEST(CaptureTable, IndexStaysCorrectAcrossErasures) {
  CaptureTable table;
  const uint64_t t0 = 1000000;
  for (uint16_t i = 0; i < 3000; ++i) {
    const uint64_t when = (i % 3 == 0) ? t0 : t0 + 15000;  // every third one will be old
    ASSERT_EQ(table.Count(static_cast<uint16_t>(40000 + i % 7), kServer + i, i, 10, when),
              CaptureTable::CountResult::Inserted);
  }
  table.AgeAndCollect(t0 + 20001, 20000, 8000);
  EXPECT_EQ(table.Size(), 2000u);
  for (uint16_t i = 0; i < 3000; ++i) {
    const auto expected = (i % 3 == 0) ? CaptureTable::CountResult::Inserted : CaptureTable::CountResult::Updated;
    ASSERT_EQ(table.Count(static_cast<uint16_t>(40000 + i % 7), kServer + i, i, 10, t0 + 20002), expected) << i;
  }
  EXPECT_EQ(table.Size(), 3000u);
  std::map<std::string, uint64_t> packets;
  for (const CaptureFlow& f : table.Copy()) packets[f.key] = f.packets;
  EXPECT_EQ(packets.size(), 3000u);
  EXPECT_EQ(packets[CaptureTable::FlowKeyText(40000, kServer, 0)], 1u);
  EXPECT_EQ(packets[CaptureTable::FlowKeyText(40001, kServer + 1, 1)], 2u);
}

// The purge is skipped while no flow can be idle long enough; a flow whose clock stepped back
// must still lower that bound, or it would never be purged in time.
TEST(CaptureTable, PurgeBoundFollowsAClockStepBack) {
  CaptureTable table;
  const uint64_t t = 100000;
  for (uint32_t i = 0; i <= CaptureTable::kMaxFlows; ++i) table.Count(40000, kServer + i, 1, 1, t);
  // A purge attempt that finds nothing sets the bound from the fill.
  EXPECT_EQ(table.Count(1, kServer, 1, 1, t + 1), CaptureTable::CountResult::Dropped);
  // One flow recounted with an earlier time: idle for more than 10 s at t + 5001.
  EXPECT_EQ(table.Count(40000, kServer, 1, 1, t - 5000), CaptureTable::CountResult::Updated);
  EXPECT_EQ(table.Count(2, kServer, 2, 1, t + 5001), CaptureTable::CountResult::Inserted);
  EXPECT_EQ(table.Size(), CaptureTable::kMaxFlows + 1);
  EXPECT_EQ(table.Count(3, kServer, 3, 1, t + 5002), CaptureTable::CountResult::Dropped);
  // Once the fill itself is idle, all of it goes.
  EXPECT_EQ(table.Count(4, kServer, 4, 1, t + 10001), CaptureTable::CountResult::Inserted);
  EXPECT_EQ(table.Size(), 2u);
}

TEST(CaptureTable, CountingAndSnapshotsFromTwoThreads) {
  CaptureTable table;
  constexpr int kDatagrams = 200000;
  std::atomic<bool> done{false};
  std::thread counter([&] {
    for (int i = 0; i < kDatagrams; ++i) table.Count(static_cast<uint16_t>(50000 + i % 50), kServer, 1, 2, 1000);
    done.store(true);
  });
  size_t passes = 0;
  while (!done.load() || passes == 0) {
    for (const CaptureFlow& f : table.AgeAndCollect(1000, 20000, 8000)) ASSERT_EQ(f.bytes, 2 * f.packets);
    ++passes;
  }
  counter.join();
  uint64_t total = 0;
  for (const CaptureFlow& f : table.AgeAndCollect(1000, 20000, 8000)) total += f.packets;
  EXPECT_EQ(total, static_cast<uint64_t>(kDatagrams));
  EXPECT_EQ(table.Size(), 50u);
}

}  // namespace
}  // namespace tolvane
