// FlowTable: open-addressing index over a dense flow array. See the header for the layout and
// the cost of each operation.
#include "monitor/capture_table.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace tolvane {
namespace {

// The first time at which a flow last seen at lastSeen counts as idle for the purge.
uint64_t IdleFrom(uint64_t lastSeen) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  return lastSeen > kMax - (FlowTable::kPurgeIdleMs + 1) ? kMax : lastSeen + FlowTable::kPurgeIdleMs + 1;
}

std::wstring DottedText(uint32_t ip) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%u.%u.%u.%u", (ip >> 24) & 255u, (ip >> 16) & 255u, (ip >> 8) & 255u, ip & 255u);
  return text;
}

}  // namespace

FlowTable::FlowTable() : index_(kIndexSlots) {}

std::string FlowTable::FlowKeyText(uint16_t localPort, uint32_t ip, uint16_t remotePort) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%d|%u.%u.%u.%u|%d", static_cast<int>(localPort), (ip >> 24) & 255u,
                (ip >> 16) & 255u, (ip >> 8) & 255u, ip & 255u, static_cast<int>(remotePort));
  return buffer;
}

size_t FlowTable::FindSlot(uint64_t key) const {
  size_t slot = HomeSlot(key);
  // Terminates: the index is never more than half full, so an empty slot is always reached.
  while (index_[slot].flow != kEmptySlot && index_[slot].key != key) slot = (slot + 1) & (kIndexSlots - 1);
  return slot;
}

template <typename Keep>
void FlowTable::RetainIf(Keep keep) {
  size_t kept = 0;
  uint64_t notBefore = std::numeric_limits<uint64_t>::max();
  for (size_t i = 0; i < flows_.size(); ++i) {
    if (!keep(flows_[i])) continue;
    if (kept != i) {
      flows_[kept] = std::move(flows_[i]);
      packedKeys_[kept] = packedKeys_[i];
    }
    notBefore = std::min(notBefore, IdleFrom(flows_[kept].lastSeen));
    ++kept;
  }
  purgeNotBefore_ = notBefore;
  if (kept == flows_.size()) return;
  flows_.resize(kept);
  packedKeys_.resize(kept);
  for (Slot& s : index_) s = Slot{};
  for (size_t i = 0; i < kept; ++i) {
    const size_t slot = FindSlot(packedKeys_[i]);
    index_[slot] = Slot{packedKeys_[i], static_cast<uint32_t>(i)};
  }
}

FlowTable::CountResult FlowTable::Count(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort,
                                        uint32_t totalLength, uint64_t now, FlowDirection direction) {
  const uint64_t packed = PackKey(localPort, remoteIpv4, remotePort);
  // The direction picks its counters through masks, not a branch: the two directions alternate
  // unpredictably, and a mispredicted branch per datagram costs more than the adds.
  const uint64_t sent = direction == FlowDirection::Sent ? 1 : 0;
  const uint64_t sentMask = 0 - sent;
  std::lock_guard<std::mutex> guard(lock_);
  totals_.sent += totalLength & sentMask;
  totals_.received += totalLength & ~sentMask;
  size_t slot = FindSlot(packed);
  CountResult result = CountResult::Updated;
  if (index_[slot].flow == kEmptySlot) {
    if (flows_.size() > kMaxFlows) {
      if (now >= purgeNotBefore_) {
        RetainIf([now](const CaptureFlow& f) { return !(now > f.lastSeen && now - f.lastSeen > kPurgeIdleMs); });
      }
      if (flows_.size() > kMaxFlows) return CountResult::Dropped;
      slot = FindSlot(packed);
    }
    CaptureFlow flow;
    flow.key = FlowKeyText(localPort, remoteIpv4, remotePort);
    flow.remoteAddress = DottedText(remoteIpv4);
    flow.remotePort = remotePort;
    flow.localPort = localPort;
    index_[slot] = Slot{packed, static_cast<uint32_t>(flows_.size())};
    flows_.push_back(std::move(flow));
    packedKeys_.push_back(packed);
    result = CountResult::Inserted;
  }
  CaptureFlow& f = flows_[index_[slot].flow];
  f.packets += 1;
  f.bytes += totalLength;
  f.lastSeen = now;
  f.packetsSent += sent;
  f.packetsReceived += 1 - sent;
  f.bytesSent += totalLength & sentMask;
  f.bytesReceived += totalLength & ~sentMask;
  // A caller's clock may step back; keep the purge bound below every flow's own.
  const uint64_t idleFrom = IdleFrom(now);
  if (idleFrom < purgeNotBefore_) purgeNotBefore_ = idleFrom;
  return result;
}

std::vector<CaptureFlow> FlowTable::AgeAndCollect(uint64_t now, uint64_t eraseAgeMs, uint64_t keepAgeMs) {
  std::vector<CaptureFlow> kept;
  AgeAndCollect(now, eraseAgeMs, keepAgeMs, kept);
  return kept;
}

void FlowTable::AgeAndCollect(uint64_t now, uint64_t eraseAgeMs, uint64_t keepAgeMs, std::vector<CaptureFlow>& kept) {
  size_t count = 0;
  std::lock_guard<std::mutex> guard(lock_);
  RetainIf([&](const CaptureFlow& f) {
    const uint64_t age = now > f.lastSeen ? now - f.lastSeen : 0;
    if (age > eraseAgeMs) return false;
    if (age <= keepAgeMs) {
      if (count < kept.size())
        kept[count] = f;
      else
        kept.push_back(f);
      ++count;
    }
    return true;
  });
  kept.resize(count);
}

void FlowTable::AgeAndCollectCounters(uint64_t now, uint64_t eraseAgeMs, std::vector<FlowCounters>& counters) {
  counters.clear();
  {
    std::lock_guard<std::mutex> guard(lock_);
    RetainIf([&](const CaptureFlow& f) { return (now > f.lastSeen ? now - f.lastSeen : 0) <= eraseAgeMs; });
    counters.reserve(flows_.size());
    for (size_t i = 0; i < flows_.size(); ++i)
      counters.push_back(FlowCounters{packedKeys_[i], flows_[i].bytesReceived, flows_[i].bytesSent});
  }
  std::sort(counters.begin(), counters.end(), [](const FlowCounters& a, const FlowCounters& b) { return a.id < b.id; });
}

size_t FlowTable::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return flows_.size();
}

std::vector<CaptureFlow> FlowTable::Copy() const {
  std::lock_guard<std::mutex> guard(lock_);
  return flows_;
}

TrafficTotals FlowTable::Totals() const {
  std::lock_guard<std::mutex> guard(lock_);
  return totals_;
}

}  // namespace tolvane
