// CaptureTable: the UDP flows counted by packet capture, shared by the capture thread (which
// inserts, updates and purges) and the refresh thread's snapshot (which ages and reads).
//
// One lock guards the whole table, flow counters included. The capture thread holds it for one
// datagram or one purge, the snapshot for one pass. A flow is identified by local port, remote
// IPv4 address and remote port, packed into one 64-bit value. The flows sit in a dense array and
// an open-addressing index (linear probing, fixed at 16384 slots, so at most 37 % full) maps the
// packed value to its position; counting a datagram of a known flow is one hash, a probe or two
// and three counter writes: no text is formatted and nothing is allocated. The flow's text key
// "%d|%u.%u.%u.%u|%d" and its address text are made once, when the flow is inserted.
//
// Caveats: erasing flows (purge or snapshot ageing) compacts the array and rebuilds the index,
// about 30 us for a full table, which is why the purge is skipped while no flow can be idle long
// enough to go. The table allocates its 256 KiB index when constructed.
#pragma once

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

  CaptureTable();
  CaptureTable(const CaptureTable&) = delete;
  CaptureTable& operator=(const CaptureTable&) = delete;

  // Counts one datagram of the flow (localPort, remote a.b.c.d as the four octets in dotted order
  // packed big-endian into remoteIpv4, remotePort) with the IP total length, at time now.
  CountResult Count(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort, uint32_t totalLength, uint64_t now);

  // The snapshot's pass: erases flows whose lastSeen is more than eraseAgeMs before now and returns
  // copies of those at most keepAgeMs before now (a lastSeen after now counts as age 0).
  std::vector<CaptureFlow> AgeAndCollect(uint64_t now, uint64_t eraseAgeMs, uint64_t keepAgeMs);
  // The same into kept, whose elements are overwritten in place so that their strings' memory is
  // reused.
  void AgeAndCollect(uint64_t now, uint64_t eraseAgeMs, uint64_t keepAgeMs, std::vector<CaptureFlow>& kept);

  size_t Size() const;
  std::vector<CaptureFlow> Copy() const;  // for tests and diagnostics

  static std::string FlowKeyText(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort);

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
};

}  // namespace tolvane
