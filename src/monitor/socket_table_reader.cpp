// The Windows tables' size query and the bounded retry loop around the raw call.
#include "monitor/socket_table_reader.h"

#include <algorithm>

namespace tolvane {

bool ReadSocketTableBuffer(SocketTableQuery& tables, SocketTableKind kind, std::vector<std::byte>& buffer) {
  uint32_t size = 0;
  if (!buffer.empty()) {
    std::fill(buffer.begin(), buffer.end(), std::byte{0});
    const uint32_t result = tables.Query(kind, buffer, size);
    if (result == 0) return true;
    if (result != kErrorInsufficientBuffer) size = 0;
  } else {
    // The size query's own result is irrelevant: only the reported size matters.
    tables.Query(kind, buffer, size);
  }
  for (int attempt = 0; attempt < kSocketTableAttempts; ++attempt) {
    if (size <= 4 || size > kSocketTableMaxBytes) break;
    buffer.assign(static_cast<size_t>(size) + kSocketTableSlackBytes, std::byte{0});
    const uint32_t result = tables.Query(kind, buffer, size);
    if (result == 0) return true;
    if (result != kErrorInsufficientBuffer) break;
  }
  buffer.clear();
  return false;
}

std::vector<TcpEntry> ReadTcpTable(SocketTableQuery& tables, SocketTableKind kind, std::vector<std::byte>& kept) {
  if (!ReadSocketTableBuffer(tables, kind, kept)) return {};
  return tables.DecodeTcp(kind, kept);
}

std::vector<UdpEntry> ReadUdpTable(SocketTableQuery& tables, SocketTableKind kind, std::vector<std::byte>& kept) {
  if (!ReadSocketTableBuffer(tables, kind, kept)) return {};
  return tables.DecodeUdp(kind, kept);
}

std::vector<TcpEntry> ReadTcpTable(SocketTableQuery& tables, SocketTableKind kind) {
  std::vector<std::byte> buffer;
  return ReadTcpTable(tables, kind, buffer);
}

std::vector<UdpEntry> ReadUdpTable(SocketTableQuery& tables, SocketTableKind kind) {
  std::vector<std::byte> buffer;
  return ReadUdpTable(tables, kind, buffer);
}

}  // namespace tolvane
