// The Windows socket tables' sizing rules, kept portable so that they are tested on every build.
//
// Windows hands a table out as one buffer (GetExtendedTcpTable / GetExtendedUdpTable with the
// owner-pid table classes): SocketTableQuery is that one raw call plus the decoding of a filled
// buffer. The system reports the size a table needs, but the table may grow between the size query
// and the read. So: ask for the size with no buffer, then up to three attempts, each with a
// zero-filled buffer of the reported size plus 512 bytes of slack; ERROR_INSUFFICIENT_BUFFER (122)
// retries with the newly reported size, any other failure gives up. A reported size of 4 bytes or
// less holds no rows (just the entry count). A table that cannot be read simply contributes no
// entries. SizedSocketTables puts the rules in front of a query as the plain SocketTables service.
//
// Each call computes the whole table (under Wine, with a scan of every process's open files to find
// the owners), so a reader that keeps its buffer offers it again, zero-filled, instead of the size
// query: a table that did not outgrow it is read in one call. SizedSocketTables keeps one buffer per
// table, so it is read from one thread at a time (the refresh thread).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/socket_tables.h"

namespace tolvane {

inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kSocketTableSlackBytes = 512;
inline constexpr int kSocketTableAttempts = 3;
// A reported size beyond this is treated as a failed read rather than allocated: even a machine
// with a million sockets needs well under this, and an absurd size must not end the refresh thread.
inline constexpr uint32_t kSocketTableMaxBytes = 64u * 1024u * 1024u;

class SocketTableQuery {
 public:
  virtual ~SocketTableQuery() = default;
  // One call of the system's table function. buffer.size() is the size offered (0 = ask for the
  // size only); on return size holds the size the system reports. Returns 0 on success, else the
  // system's error code (kErrorInsufficientBuffer when the buffer is too small).
  virtual uint32_t Query(SocketTableKind kind, std::vector<std::byte>& buffer, uint32_t& size) = 0;
  // The entries of a buffer that Query filled successfully (kind Tcp4 or Tcp6). Decoders never
  // trust the entry count of a buffer beyond the bytes it holds.
  virtual std::vector<TcpEntry> DecodeTcp(SocketTableKind kind, const std::vector<std::byte>& buffer) = 0;
  // The entries of a buffer that Query filled successfully (kind Udp4 or Udp6).
  virtual std::vector<UdpEntry> DecodeUdp(SocketTableKind kind, const std::vector<std::byte>& buffer) = 0;
};

// Fills buffer with one table. A buffer that holds an earlier read of the table is offered first, in
// place of the size query. False (buffer empty) when the table cannot be read or holds no rows.
bool ReadSocketTableBuffer(SocketTableQuery& query, SocketTableKind kind, std::vector<std::byte>& buffer);

// The entries of one table; empty when it cannot be read. kept: the buffer of the last read of this
// table, offered again.
std::vector<TcpEntry> ReadTcpTable(SocketTableQuery& query, SocketTableKind kind);
std::vector<UdpEntry> ReadUdpTable(SocketTableQuery& query, SocketTableKind kind);
std::vector<TcpEntry> ReadTcpTable(SocketTableQuery& query, SocketTableKind kind, std::vector<std::byte>& kept);
std::vector<UdpEntry> ReadUdpTable(SocketTableQuery& query, SocketTableKind kind, std::vector<std::byte>& kept);

class SizedSocketTables final : public SocketTables {
 public:
  explicit SizedSocketTables(SocketTableQuery& query) : query_(query) {}
  std::vector<TcpEntry> ReadTcp(SocketTableKind kind) override { return ReadTcpTable(query_, kind, Kept(kind)); }
  std::vector<UdpEntry> ReadUdp(SocketTableKind kind) override { return ReadUdpTable(query_, kind, Kept(kind)); }

 private:
  std::vector<std::byte>& Kept(SocketTableKind kind) { return kept_[static_cast<size_t>(kind)]; }

  SocketTableQuery& query_;
  std::array<std::vector<std::byte>, 4> kept_;  // one per table, kept at its size
};

}  // namespace tolvane
