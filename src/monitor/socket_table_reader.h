// Reading one socket table through the platform service with the sizing rules the system needs.
//
// The system reports the size a table needs, but the table may grow between the size query and the
// read. So: ask for the size with no buffer, then up to three attempts, each with a zero-filled
// buffer of the reported size plus 512 bytes of slack; ERROR_INSUFFICIENT_BUFFER (122) retries with
// the newly reported size, any other failure gives up. A reported size of 4 bytes or less holds no
// rows (just the entry count). A table that cannot be read simply contributes no entries.
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

// Fills buffer with one table. False (buffer empty) when the table cannot be read or holds no rows.
bool ReadSocketTableBuffer(SocketTables& tables, SocketTableKind kind, std::vector<std::byte>& buffer);

// The entries of one table; empty when it cannot be read.
std::vector<TcpEntry> ReadTcpTable(SocketTables& tables, SocketTableKind kind);
std::vector<UdpEntry> ReadUdpTable(SocketTables& tables, SocketTableKind kind);

}  // namespace tolvane
