#include "monitor/capture_table.h"

#include <cstdio>

namespace tolvane {

std::string CaptureTable::FlowKeyText(uint16_t localPort, uint32_t ip, uint16_t remotePort) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%d|%u.%u.%u.%u|%d", static_cast<int>(localPort), (ip >> 24) & 255u,
                (ip >> 16) & 255u, (ip >> 8) & 255u, ip & 255u, static_cast<int>(remotePort));
  return buffer;
}

CaptureTable::CountResult CaptureTable::Count(uint16_t localPort, uint32_t remoteIpv4, uint16_t remotePort,
                                              uint32_t totalLength, uint64_t now) {
  const uint64_t packed = PackKey(localPort, remoteIpv4, remotePort);
  std::lock_guard<std::mutex> guard(lock_);
  auto it = flows_.find(packed);
  CountResult result = CountResult::Updated;
  if (it == flows_.end()) {
    if (flows_.size() > kMaxFlows) {
      std::erase_if(flows_, [now](const auto& kv) {
        return now > kv.second.lastSeen && now - kv.second.lastSeen > kPurgeIdleMs;
      });
      if (flows_.size() > kMaxFlows) return CountResult::Dropped;
    }
    CaptureFlow flow;
    flow.key = FlowKeyText(localPort, remoteIpv4, remotePort);
    wchar_t text[16];
    std::swprintf(text, 16, L"%u.%u.%u.%u", (remoteIpv4 >> 24) & 255u, (remoteIpv4 >> 16) & 255u,
                  (remoteIpv4 >> 8) & 255u, remoteIpv4 & 255u);
    flow.remoteAddress = text;
    flow.remotePort = remotePort;
    flow.localPort = localPort;
    it = flows_.emplace(packed, std::move(flow)).first;
    result = CountResult::Inserted;
  }
  CaptureFlow& f = it->second;
  f.packets += 1;
  f.bytes += totalLength;
  f.lastSeen = now;
  return result;
}

std::vector<CaptureFlow> CaptureTable::AgeAndCollect(uint64_t now, uint64_t eraseAgeMs, uint64_t keepAgeMs) {
  std::vector<CaptureFlow> kept;
  std::lock_guard<std::mutex> guard(lock_);
  for (auto it = flows_.begin(); it != flows_.end();) {
    const uint64_t age = now > it->second.lastSeen ? now - it->second.lastSeen : 0;
    if (age > eraseAgeMs) {
      it = flows_.erase(it);
      continue;
    }
    if (age <= keepAgeMs) kept.push_back(it->second);
    ++it;
  }
  return kept;
}

size_t CaptureTable::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return flows_.size();
}

std::vector<CaptureFlow> CaptureTable::Copy() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<CaptureFlow> all;
  all.reserve(flows_.size());
  for (const auto& kv : flows_) all.push_back(kv.second);
  return all;
}

}  // namespace tolvane
