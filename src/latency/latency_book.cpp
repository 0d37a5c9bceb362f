// LatencyBook: see latency_book.h. The wipe past 600 addresses is a blunt cap on memory: without
// it a machine that talks to many short-lived peers would grow the book for the whole run.
#include "latency/latency_book.h"

namespace tolvane {

void LatencyBook::RecordSample(const std::wstring& address, int32_t sample) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (latest_.size() > kMaxAddresses) {
      latest_.clear();
      history_.clear();
    }
    latest_[address] = sample;
    std::deque<int32_t>& history = history_[address];
    history.push_back(sample);
    while (history.size() > kHistoryLength) history.pop_front();
  }
  sampleCounter_.fetch_add(1, std::memory_order_acq_rel);
}

std::optional<int32_t> LatencyBook::Latest(const std::wstring& address) const {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = latest_.find(address);
  if (it == latest_.end()) return std::nullopt;
  return it->second;
}

std::vector<int32_t> LatencyBook::LatencyHistory(const std::wstring& address) const {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = history_.find(address);
  if (it == history_.end()) return {};
  return std::vector<int32_t>(it->second.begin(), it->second.end());
}

size_t LatencyBook::AddressCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return latest_.size();
}

}  // namespace tolvane
