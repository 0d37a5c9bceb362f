// Socket tables held in memory, read through the Windows tables' sizing rules (SizedSocketTables),
// so that every snapshot on the fake exercises them. A table "needs" 4 bytes of count plus one slot
// per entry, as the system's do; Query writes the entry count into the head of a large enough buffer and DecodeTcp /
// DecodeUdp read it back, so an unfilled buffer decodes to nothing. A test can script the results
// and sizes of successive calls, and onQuery runs inside every call, so a test can act (request a
// refresh, stop the program, move the clock) while a snapshot is in progress.
#pragma once

#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

#include "monitor/socket_table_reader.h"
#include "platform/socket_tables.h"

namespace tolvane {

class FakeSocketTables final : public SocketTables, public SocketTableQuery {
 public:
  std::vector<TcpEntry> ReadTcp(SocketTableKind kind) override { return ReadTcpTable(*this, kind); }
  std::vector<UdpEntry> ReadUdp(SocketTableKind kind) override { return ReadUdpTable(*this, kind); }

  struct Response {
    uint32_t result = 0;
    uint32_t size = 0;
  };

  std::vector<TcpEntry> tcp4, tcp6;
  std::vector<UdpEntry> udp4, udp6;
  std::array<std::deque<Response>, 4> script;          // consumed first, one per call
  std::array<std::vector<size_t>, 4> offeredSizes;     // buffer size of every call, size queries included
  std::array<std::vector<bool>, 4> offeredZeroFilled;  // whether each offered buffer was all zero
  std::function<void(SocketTableKind)> onQuery;
  bool checkZeroFill = true;  // benchmarks turn the byte-by-byte check off

  static constexpr uint32_t kSlotBytes = 32;

  uint32_t Query(SocketTableKind kind, std::vector<std::byte>& buffer, uint32_t& size) override {
    const size_t k = Index(kind);
    offeredSizes[k].push_back(buffer.size());
    bool zero = true;
    if (checkZeroFill)
      for (std::byte b : buffer) zero = zero && b == std::byte{0};
    offeredZeroFilled[k].push_back(zero);
    if (onQuery) onQuery(kind);
    const uint32_t count = static_cast<uint32_t>(Count(kind));
    const uint32_t needed = 4 + count * kSlotBytes;
    if (!script[k].empty()) {
      const Response r = script[k].front();
      script[k].pop_front();
      size = r.size;
      if (r.result == 0) WriteCount(buffer, count);
      return r.result;
    }
    size = needed;
    if (buffer.size() < needed) return kErrorInsufficientBuffer;
    WriteCount(buffer, count);
    return 0;
  }

  std::vector<TcpEntry> DecodeTcp(SocketTableKind kind, const std::vector<std::byte>& buffer) override {
    const std::vector<TcpEntry>& all = kind == SocketTableKind::Tcp4 ? tcp4 : tcp6;
    return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(ReadCount(buffer, all.size()))};
  }
  std::vector<UdpEntry> DecodeUdp(SocketTableKind kind, const std::vector<std::byte>& buffer) override {
    const std::vector<UdpEntry>& all = kind == SocketTableKind::Udp4 ? udp4 : udp6;
    return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(ReadCount(buffer, all.size()))};
  }

  size_t Calls(SocketTableKind kind) const { return offeredSizes[Index(kind)].size(); }

  static size_t Index(SocketTableKind kind) { return static_cast<size_t>(kind); }

 private:
  size_t Count(SocketTableKind kind) const {
    switch (kind) {
      case SocketTableKind::Tcp4:
        return tcp4.size();
      case SocketTableKind::Tcp6:
        return tcp6.size();
      case SocketTableKind::Udp4:
        return udp4.size();
      case SocketTableKind::Udp6:
        return udp6.size();
    }
    return 0;
  }
  static void WriteCount(std::vector<std::byte>& buffer, uint32_t count) {
    if (buffer.size() >= 4) std::memcpy(buffer.data(), &count, 4);
  }
  static size_t ReadCount(const std::vector<std::byte>& buffer, size_t available) {
    if (buffer.size() < 4) return 0;
    uint32_t count = 0;
    std::memcpy(&count, buffer.data(), 4);
    return count < available ? count : available;
  }
};

// Entry builders for tests: addresses as four dotted octets or sixteen bytes, ports in host order.
inline std::array<uint8_t, 16> V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return {a, b, c, d}; }

inline TcpEntry Tcp(uint32_t pid, std::array<uint8_t, 16> local, uint16_t localPort, std::array<uint8_t, 16> remote,
                    uint16_t remotePort, uint32_t state = kTcpStateEstablished) {
  TcpEntry e;
  e.state = state;
  e.localAddress = local;
  e.localPort = localPort;
  e.remoteAddress = remote;
  e.remotePort = remotePort;
  e.pid = pid;
  return e;
}

inline UdpEntry Udp(uint32_t pid, std::array<uint8_t, 16> local, uint16_t localPort) {
  UdpEntry e;
  e.localAddress = local;
  e.localPort = localPort;
  e.pid = pid;
  return e;
}

}  // namespace tolvane
