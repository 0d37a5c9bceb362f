// Reading one socket table through the platform service with the sizing rules the system needs.
//
// The system reports the size a table needs, but the table may grow between the size query and the
// read. So: ask for the size with no buffer, then up to three attempts, each with a zero-filled
// buffer of the reported size plus 512 bytes of slack; ERROR_INSUFFICIENT_BUFFER (122) retries with
// the newly reported size, any other failure gives up. A reported size of 4 bytes or less holds no
// rows (just the entry count). A table that cannot be read simply contributes no entries.
//
// Each call computes the whole table (under Wine, with a scan of every process's open files to find
// the owners), so a reader that keeps its buffer offers it again, zero-filled, instead of the size
// query: a table that did not outgrow it is read in one call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/socket_tables.h"

namespace tolvane {

inline constexpr uint32_t kSocketTableSlackBytes = 512;
inline constexpr int kSocketTableAttempts = 3;
// A reported size beyond this is treated as a failed read rather than allocated: even a machine
// with a million sockets needs well under this, and an absurd size must not end the refresh thread.
inline constexpr uint32_t kSocketTableMaxBytes = 64u * 1024u * 1024u;

// Fills buffer with one table. A buffer that holds an earlier read of the table is offered first, in
// place of the size query. False (buffer empty) when the table cannot be read or holds no rows.
bool ReadSocketTableBuffer(SocketTables& tables, SocketTableKind kind, std::vector<std::byte>& buffer);

// The entries of one table; empty when it cannot be read. kept: the buffer of the last read of this
// table, offered again.
std::vector<TcpEntry> ReadTcpTable(SocketTables& tables, SocketTableKind kind);
std::vector<UdpEntry> ReadUdpTable(SocketTables& tables, SocketTableKind kind);
std::vector<TcpEntry> ReadTcpTable(SocketTables& tables, SocketTableKind kind, std::vector<std::byte>& kept);
std::vector<UdpEntry> ReadUdpTable(SocketTables& tables, SocketTableKind kind, std::vector<std::byte>& kept);

}  // namespace tolvane
