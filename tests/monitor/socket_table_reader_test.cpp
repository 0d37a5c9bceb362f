// Socket table reading: the size query, the three attempts with 512 bytes of slack, the growing
// table, and the failures that leave a table out.
#include <gtest/gtest.h>

#include <vector>

#include "fakes/fake_socket_tables.h"
#include "monitor/socket_table_reader.h"

namespace tolvane {
namespace {

using Response = FakeSocketTables::Response;

TEST(ReadSocketTable, AttemptsAndSizes) {
  struct Case {
    const char* what;
    std::vector<Response> script;  // size query first
    std::vector<size_t> offered;   // buffer size of every call
    bool read;
  };
  const Case cases[] = {
      {"reads at the reported size plus slack", {{122, 100}, {0, 100}}, {0, 612}, true},
      {"a growing table retries with the new size", {{122, 100}, {122, 300}, {0, 300}}, {0, 612, 812}, true},
      {"third attempt still succeeds", {{122, 100}, {122, 200}, {122, 400}, {0, 400}}, {0, 612, 712, 912}, true},
      {"gives up after three attempts", {{122, 100}, {122, 200}, {122, 400}, {122, 800}}, {0, 612, 712, 912}, false},
      {"a size of 4 bytes holds no rows", {{122, 4}}, {0}, false},
      {"a size of 0 holds no rows", {{0, 0}}, {0}, false},
      {"a shrinking size of 4 stops the retries", {{122, 100}, {122, 4}}, {0, 612}, false},
      {"any other error stops at once", {{122, 100}, {87, 100}}, {0, 612}, false},
      {"the size query's own result does not matter", {{0, 100}, {0, 100}}, {0, 612}, true},
      {"an absurd size is not allocated", {{122, 0xFFFFFFF0u}}, {0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSocketTables tables;
    tables.udp4 = {Udp(7, V4(1, 2, 3, 4), 5000), Udp(8, V4(0, 0, 0, 0), 5001)};
    const size_t k = FakeSocketTables::Index(SocketTableKind::Udp4);
    tables.script[k].assign(c.script.begin(), c.script.end());
    const std::vector<UdpEntry> entries = ReadUdpTable(tables, SocketTableKind::Udp4);
    EXPECT_EQ(tables.offeredSizes[k], c.offered);
    EXPECT_EQ(entries.size(), c.read ? 2u : 0u);
    for (bool zero : tables.offeredZeroFilled[k]) EXPECT_TRUE(zero);
    EXPECT_EQ(tables.Calls(SocketTableKind::Tcp4), 0u);
  }
}

TEST(ReadSocketTable, DecodesWhatTheTableHolds) {
  FakeSocketTables tables;
  tables.tcp6 = {Tcp(9, {}, 1, {}, 2), Tcp(10, {}, 3, {}, 4), Tcp(11, {}, 5, {}, 6)};
  const std::vector<TcpEntry> entries = ReadTcpTable(tables, SocketTableKind::Tcp6);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].pid, 11u);
  // Without a script the fake answers like the system: size query, then one read.
  EXPECT_EQ(tables.offeredSizes[FakeSocketTables::Index(SocketTableKind::Tcp6)],
            (std::vector<size_t>{0, 4 + 3 * FakeSocketTables::kSlotBytes + kSocketTableSlackBytes}));
}

TEST(ReadSocketTable, AKeptBufferIsOfferedAgainInPlaceOfTheSizeQuery) {
  FakeSocketTables tables;
  tables.udp4 = {Udp(7, V4(1, 2, 3, 4), 5000)};
  const size_t k = FakeSocketTables::Index(SocketTableKind::Udp4);
  const size_t first = 4 + FakeSocketTables::kSlotBytes + kSocketTableSlackBytes;
  std::vector<std::byte> kept;
  EXPECT_EQ(ReadUdpTable(tables, SocketTableKind::Udp4, kept).size(), 1u);
  EXPECT_EQ(ReadUdpTable(tables, SocketTableKind::Udp4, kept).size(), 1u);  // one call, the kept buffer
  // A table that outgrew the buffer: asked again at the size it reported.
  tables.udp4.resize(40, Udp(8, V4(0, 0, 0, 0), 5001));
  EXPECT_EQ(ReadUdpTable(tables, SocketTableKind::Udp4, kept).size(), 40u);
  EXPECT_EQ(
      tables.offeredSizes[k],
      (std::vector<size_t>{0, first, first, first, 4 + 40 * FakeSocketTables::kSlotBytes + kSocketTableSlackBytes}));
  for (bool zero : tables.offeredZeroFilled[k]) EXPECT_TRUE(zero);
}

TEST(ReadSocketTable, EmptyTableIsNotRead) {
  FakeSocketTables tables;
  EXPECT_TRUE(ReadTcpTable(tables, SocketTableKind::Tcp4).empty());
  EXPECT_EQ(tables.Calls(SocketTableKind::Tcp4), 1u);  // the size query reports 4 bytes
}

}  // namespace
}  // namespace tolvane
