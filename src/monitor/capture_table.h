// CaptureTable: the flows counted by packet capture, shared by the capture thread (which inserts,
// updates and purges) and the refresh thread's snapshot (which ages and reads). The table itself
// holds the UDP flows, the ones the voice-call rules work on; the TCP flows, counted only for the
// traffic of each connection, sit in a FlowTable of their own beside it (Tcp()), with the same
// bound and purge, so a busy browser can never push a call's flows out.
//
// One lock per FlowTable guards it, flow counters included. The capture thread holds it for one
// datagram or one purge, the snapshot for one pass. A flow is identified by local port, remote
// IPv4 address and remote port, packed into one 64-bit value. The flows sit in a dense array and
// an open-addressing index (linear probing, fixed at 16384 slots, so at most 37 % full) maps the
// packed value to its position; counting a datagram of a known flow is one hash, a probe or two
// and three counter writes: no text is formatted and nothing is allocated. The flow's text key
// "%d|%u.%u.%u.%u|%d" and its address text are made once, when the flow is inserted. Each table
// also keeps the bytes of every datagram it was given (flows dropped or purged included), the
// machine's total traffic.
//
// Caveats: erasing flows (purge or snapshot ageing) compacts the array and rebuilds the index,
// about 30 us for a full table, which is why the purge is skipped while no flow can be idle long
// enough to go. Each table allocates its 256 KiB index when constructed.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tolvane {

struct CaptureFlow {
  std::string key;             // "%d|%u.%u.%u.%u|%d": local port, remote octets, remote port
  std::wstring remoteAddress;  // dotted remote IPv4 address
  int32_t remotePort = 0;
  int32_t localPort = 0;
  uint64_t packets = 0;        // both directions
  uint64_t bytes = 0;          // sum of IP total lengths, both directions
  uint64_t lastSeen = 0;       // TickMs of the latest datagram
  uint64_t bytesReceived = 0;  // of the datagrams that came from the remote end
  uint64_t bytesSent = 0;      // of those that left this machine
  uint64_t packetsReceived = 0;
  uint64_t packetsSent = 0;
};

enum class FlowDirection : uint8_t { Received, Sent };

// The byte counters of one flow, for looking a flow up by FlowTable::FlowId.
struct FlowCounters {
  uint64_t id = 0;
  uint64_t bytesReceived = 0;
  uint64_t bytesSent = 0;
};

// Bytes of every datagram a table was given, in each direction; they only ever grow.
struct TrafficTotals {
  uint64_t received = 0;
  uint64_t sent = 0;
};

// The flows of one protocol.
class FlowTable {
 public:
  // More flows than this make an insert purge idle flows first; the table never exceeds kMaxFlows + 1.
  static constexpr size_t kMaxFlows = 6000;
  static constexpr uint64_t kPurgeIdleMs = 10000;

  enum class CountResult { Updated, Inserted, Dropped };

  FlowTable();
  FlowTable(const FlowTable&) = delete;
  FlowTable& operator=(const FlowTable&) = delete;

  // Counts one datagram of the flow (localPort, remote a.b.c.d as the four octets in dotted order
  // packed big-endian into remoteIpv4, remotePort) with the IP total length, at time now, as
  // received from the remote end or sent to it.
  CountResult Count(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort, uint32_t totalLength, uint64_t now,
                    FlowDirection direction = FlowDirection::Received);

  // The snapshot's pass: erases flows whose lastSeen is more than eraseAgeMs before now and returns
  // copies of those at most keepAgeMs before now (a lastSeen after now counts as age 0).
  std::vector<CaptureFlow> AgeAndCollect(uint64_t now, uint64_t eraseAgeMs, uint64_t keepAgeMs);
  // The same into kept, whose elements are overwritten in place so that their strings' memory is
  // reused.
  void AgeAndCollect(uint64_t now, uint64_t eraseAgeMs, uint64_t keepAgeMs, std::vector<CaptureFlow>& kept);
  // The same erasure, but only the byte counters of every flow left, sorted by id, into counters
  // (no text is copied).
  void AgeAndCollectCounters(uint64_t now, uint64_t eraseAgeMs, std::vector<FlowCounters>& counters);

  size_t Size() const;
  std::vector<CaptureFlow> Copy() const;  // for tests and diagnostics
  TrafficTotals Totals() const;

  static std::string FlowKeyText(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort);
  // One number per flow, ordered by local port, then remote address, then remote port.
  static uint64_t FlowId(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort) {
    return PackKey(localPort, remoteIpv4, remotePort);
  }

 private:
  static constexpr size_t kIndexBits = 14;
  static constexpr size_t kIndexSlots = size_t{1} << kIndexBits;
  static constexpr uint32_t kEmptySlot = 0xFFFFFFFFu;
  static_assert(kIndexSlots >= 2 * (kMaxFlows + 1), "index must stay at most half full");

  struct Slot {
    uint64_t key = 0;
    uint32_t flow = kEmptySlot;  // position in flows_, or kEmptySlot
  };

  static uint64_t PackKey(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort) {
    return (static_cast<uint64_t>(localPort) << 48) | (static_cast<uint64_t>(remoteIpv4) << 16) | remotePort;
  }
  static size_t HomeSlot(uint64_t key) {
    // Fibonacci hashing: the packed fields are far from uniform (one local port, few servers).
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kIndexBits));
  }
  // The slot holding key, or the empty slot where its probe sequence ends. Caller holds lock_.
  size_t FindSlot(uint64_t key) const;
  // Keeps only flows for which keep(flow) is true, then rebuilds the index. Caller holds lock_.
  template <typename Keep>
  void RetainIf(Keep keep);

  mutable std::mutex lock_;
  std::vector<Slot> index_;
  std::vector<uint64_t> packedKeys_;  // parallel to flows_
  std::vector<CaptureFlow> flows_;
  // No flow can be more than kPurgeIdleMs idle before this time, so a purge before it finds nothing.
  uint64_t purgeNotBefore_ = 0;
  TrafficTotals totals_;
};

// The UDP flows, with the TCP flows beside them.
class CaptureTable : public FlowTable {
 public:
  FlowTable& Tcp() { return tcp_; }
  const FlowTable& Tcp() const { return tcp_; }

  // Set by the capture thread while it has sockets open: only then do the counters move with the
  // traffic, so only then do rows have a rate.
  void SetCounting(bool on) { counting_.store(on, std::memory_order_relaxed); }
  bool Counting() const { return counting_.load(std::memory_order_relaxed); }

 private:
  FlowTable tcp_;
  std::atomic<bool> counting_{false};
};

}  // namespace tolvane
