// The operating system's socket tables: TCP connections and UDP sockets with their owning process.
//
// ReadTcp and ReadUdp hand back one table's entries; a table that cannot be read gives none, and the
// snapshot is simply shorter. Addresses are raw bytes in network order (IPv4 uses the first 4 of the
// 16); ports are in host order. TCP states use one scale on every system, the MIB_TCP_STATE numbers
// (2 listening, 5 established, 11 time-wait, ...), so the snapshot compares against one constant. The
// owning process id is 0 when the system does not say (on Linux, a socket of another user's process
// when the program runs without rights to look into it).
//
// Windows hands its tables out as one buffer whose size the caller must guess; that sizing lives in
// monitor/socket_table_reader.h, beside the Windows side, not in this interface.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tolvane {

enum class SocketTableKind { Tcp4, Tcp6, Udp4, Udp6 };

inline constexpr uint32_t kTcpStateEstablished = 5;  // MIB_TCP_STATE_ESTAB

struct TcpEntry {
  uint32_t state = 0;
  std::array<uint8_t, 16> localAddress{};
  uint16_t localPort = 0;
  std::array<uint8_t, 16> remoteAddress{};
  uint16_t remotePort = 0;
  uint32_t pid = 0;
};

struct UdpEntry {
  std::array<uint8_t, 16> localAddress{};
  uint16_t localPort = 0;
  uint32_t pid = 0;
};

class SocketTables {
 public:
  virtual ~SocketTables() = default;
  // The entries of one table (kind Tcp4 or Tcp6 / Udp4 or Udp6); empty when it cannot be read.
  virtual std::vector<TcpEntry> ReadTcp(SocketTableKind kind) = 0;
  virtual std::vector<UdpEntry> ReadUdp(SocketTableKind kind) = 0;
};

// The system's socket tables. Only the refresh thread reads them (the Linux tables keep a map of
// socket owners between reads). On the host, which never runs the program, every table is empty.
SocketTables& SystemSocketTables();

}  // namespace tolvane
