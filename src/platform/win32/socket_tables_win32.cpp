// The socket tables through IP Helper's GetExtendedTcpTable / GetExtendedUdpTable (owner-pid table
// classes, sorted). Only the raw call and the decoding live here; the sizing and retry rules are
// portable (monitor/socket_table_reader), which turns this query into the SocketTables service. The
// entry count at the head of a table is never trusted beyond the bytes of the buffer, and rows are
// copied out with memcpy so alignment does not matter.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstring>

#include "monitor/socket_table_reader.h"
#include "platform/socket_tables.h"
#include "platform/win32/socket_tables_win32.h"

namespace tolvane {
namespace {

ULONG FamilyOf(SocketTableKind kind) {
  return (kind == SocketTableKind::Tcp6 || kind == SocketTableKind::Udp6) ? AF_INET6 : AF_INET;
}

uint16_t PortOf(DWORD field) { return ntohs(static_cast<u_short>(field & 0xFFFF)); }

// Rows of type Row after a DWORD count at offset rowsOffset, clamped to what the buffer holds.
template <typename Row>
size_t RowCount(const std::vector<std::byte>& buffer, size_t rowsOffset) {
  if (buffer.size() < sizeof(DWORD) || buffer.size() < rowsOffset) return 0;
  DWORD count = 0;
  std::memcpy(&count, buffer.data(), sizeof count);
  return std::min<size_t>(count, (buffer.size() - rowsOffset) / sizeof(Row));
}

template <typename Row>
Row RowAt(const std::vector<std::byte>& buffer, size_t rowsOffset, size_t i) {
  Row row;
  std::memcpy(&row, buffer.data() + rowsOffset + i * sizeof(Row), sizeof row);
  return row;
}

class Win32SocketTableQuery final : public SocketTableQuery {
 public:
  uint32_t Query(SocketTableKind kind, std::vector<std::byte>& buffer, uint32_t& size) override {
    DWORD bytes = static_cast<DWORD>(buffer.size());
    void* data = buffer.empty() ? nullptr : buffer.data();
    DWORD result;
    if (kind == SocketTableKind::Tcp4 || kind == SocketTableKind::Tcp6)
      result = GetExtendedTcpTable(data, &bytes, TRUE, FamilyOf(kind), TCP_TABLE_OWNER_PID_ALL, 0);
    else
      result = GetExtendedUdpTable(data, &bytes, TRUE, FamilyOf(kind), UDP_TABLE_OWNER_PID, 0);
    size = bytes;
    return result;
  }

  std::vector<TcpEntry> DecodeTcp(SocketTableKind kind, const std::vector<std::byte>& buffer) override {
    std::vector<TcpEntry> out;
    if (kind == SocketTableKind::Tcp4) {
      const size_t offset = offsetof(MIB_TCPTABLE_OWNER_PID, table);
      const size_t n = RowCount<MIB_TCPROW_OWNER_PID>(buffer, offset);
      out.resize(n);
      for (size_t i = 0; i < n; ++i) {
        const auto r = RowAt<MIB_TCPROW_OWNER_PID>(buffer, offset, i);
        TcpEntry& e = out[i];
        e.state = r.dwState;
        std::memcpy(e.localAddress.data(), &r.dwLocalAddr, 4);
        std::memcpy(e.remoteAddress.data(), &r.dwRemoteAddr, 4);
        e.localPort = PortOf(r.dwLocalPort);
        e.remotePort = PortOf(r.dwRemotePort);
        e.pid = r.dwOwningPid;
      }
    } else if (kind == SocketTableKind::Tcp6) {
      const size_t offset = offsetof(MIB_TCP6TABLE_OWNER_PID, table);
      const size_t n = RowCount<MIB_TCP6ROW_OWNER_PID>(buffer, offset);
      out.resize(n);
      for (size_t i = 0; i < n; ++i) {
        const auto r = RowAt<MIB_TCP6ROW_OWNER_PID>(buffer, offset, i);
        TcpEntry& e = out[i];
        e.state = r.dwState;
        std::memcpy(e.localAddress.data(), r.ucLocalAddr, 16);
        std::memcpy(e.remoteAddress.data(), r.ucRemoteAddr, 16);
        e.localPort = PortOf(r.dwLocalPort);
        e.remotePort = PortOf(r.dwRemotePort);
        e.pid = r.dwOwningPid;
      }
    }
    return out;
  }

  std::vector<UdpEntry> DecodeUdp(SocketTableKind kind, const std::vector<std::byte>& buffer) override {
    std::vector<UdpEntry> out;
    if (kind == SocketTableKind::Udp4) {
      const size_t offset = offsetof(MIB_UDPTABLE_OWNER_PID, table);
      const size_t n = RowCount<MIB_UDPROW_OWNER_PID>(buffer, offset);
      out.resize(n);
      for (size_t i = 0; i < n; ++i) {
        const auto r = RowAt<MIB_UDPROW_OWNER_PID>(buffer, offset, i);
        std::memcpy(out[i].localAddress.data(), &r.dwLocalAddr, 4);
        out[i].localPort = PortOf(r.dwLocalPort);
        out[i].pid = r.dwOwningPid;
      }
    } else if (kind == SocketTableKind::Udp6) {
      const size_t offset = offsetof(MIB_UDP6TABLE_OWNER_PID, table);
      const size_t n = RowCount<MIB_UDP6ROW_OWNER_PID>(buffer, offset);
      out.resize(n);
      for (size_t i = 0; i < n; ++i) {
        const auto r = RowAt<MIB_UDP6ROW_OWNER_PID>(buffer, offset, i);
        std::memcpy(out[i].localAddress.data(), r.ucLocalAddr, 16);
        out[i].localPort = PortOf(r.dwLocalPort);
        out[i].pid = r.dwOwningPid;
      }
    }
    return out;
  }
};

}  // namespace

SocketTableQuery& SystemSocketTableQuery() {
  static Win32SocketTableQuery query;  // stateless
  return query;
}

SocketTables& SystemSocketTables() {
  static SizedSocketTables tables(SystemSocketTableQuery());
  return tables;
}

}  // namespace tolvane
