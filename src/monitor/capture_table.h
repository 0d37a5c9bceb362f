// CaptureTable: the UDP flows counted by packet capture, shared by the capture thread (which
// inserts, updates and purges) and the refresh thread's snapshot (which ages and reads).
//
// One lock guards the whole table, flow counters included. The capture thread holds it for one
// datagram or one purge, the snapshot for one pass. A flow is identified by local port, remote
// IPv4 address and remote port; the table looks flows up by those numbers packed into one 64-bit
// value, so counting a datagram of a known flow neither formats text nor allocates. The flow's
// text key "%d|%u.%u.%u.%u|%d" and its address text are made once, when the flow is inserted.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tolvane {

struct CaptureFlow {
  std::string key;             // "%d|%u.%u.%u.%u|%d": local port, remote octets, remote port
  std::wstring remoteAddress;  // dotted remote IPv4 address
  int32_t remotePort = 0;
  int32_t localPort = 0;
  uint64_t packets = 0;
  uint64_t bytes = 0;     // sum of IP total lengths
  uint64_t lastSeen = 0;  // TickMs of the latest datagram
};

class CaptureTable {
 public:
  // More flows than this make an insert purge idle flows first; the table never exceeds kMaxFlows + 1.
  static constexpr size_t kMaxFlows = 6000;
  static constexpr uint64_t kPurgeIdleMs = 10000;

  enum class CountResult { Updated, Inserted, Dropped };

  // Counts one datagram of the flow (localPort, remote a.b.c.d as the four octets in dotted order
  // packed big-endian into remoteIpv4, remotePort) with the IP total length, at time now.
  CountResult Count(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort, uint32_t totalLength, uint64_t now);

  // The snapshot's pass: erases flows whose lastSeen is more than eraseAgeMs before now and returns
  // copies of those at most keepAgeMs before now (a lastSeen after now counts as age 0).
  std::vector<CaptureFlow> AgeAndCollect(uint64_t now, uint64_t eraseAgeMs, uint64_t keepAgeMs);

  size_t Size() const;
  std::vector<CaptureFlow> Copy() const;  // for tests and diagnostics

  static std::string FlowKeyText(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort);

 private:
  static uint64_t PackKey(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort) {
    return (static_cast<uint64_t>(localPort) << 48) | (static_cast<uint64_t>(remoteIpv4) << 16) | remotePort;
  }

  mutable std::mutex lock_;
  std::unordered_map<uint64_t, CaptureFlow> flows_;
};

}  // namespace tolvane
