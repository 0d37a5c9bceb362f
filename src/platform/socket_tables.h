// The operating system's socket tables: TCP connections and UDP sockets with their owning process.
//
// The service is split so that the part worth testing stays portable: Query is one raw call of the
// system's table function (GetExtendedTcpTable / GetExtendedUdpTable with the owner-pid table classes,
// sorted) into a byte buffer, and Decode* turns a filled buffer into plain entries. The sizing rules
// (size query, three attempts, 512 bytes of slack, a reported size of 4 bytes or less meaning no
// rows) live in ReadTcpTable / ReadUdpTable in monitor/socket_table_reader.h, which the fake drives.
//
// Addresses are raw bytes in network order (IPv4 uses the first 4 of the 16); ports are already in
// host order. Decoders never trust the entry count of a buffer beyond the bytes it holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvane {

enum class SocketTableKind { Tcp4, Tcp6, Udp4, Udp6 };

inline constexpr uint32_t kTcpStateEstablished = 5;  // MIB_TCP_STATE_ESTAB
inline constexpr uint32_t kErrorInsufficientBuffer = 122;

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
  // One call of the system's table function. buffer.size() is the size offered (0 = ask for the
  // size only); on return size holds the size the system reports. Returns 0 on success, else the
  // system's error code (kErrorInsufficientBuffer when the buffer is too small).
  virtual uint32_t Query(SocketTableKind kind, std::vector<std::byte>& buffer, uint32_t& size) = 0;
  // The entries of a buffer that Query filled successfully (kind Tcp4 or Tcp6).
  virtual std::vector<TcpEntry> DecodeTcp(SocketTableKind kind, const std::vector<std::byte>& buffer) = 0;
  // The entries of a buffer that Query filled successfully (kind Udp4 or Udp6).
  virtual std::vector<UdpEntry> DecodeUdp(SocketTableKind kind, const std::vector<std::byte>& buffer) = 0;
};

// The system's socket tables. On the host, which never runs the program, every query fails.
SocketTables& SystemSocketTables();

}  // namespace tolvane
