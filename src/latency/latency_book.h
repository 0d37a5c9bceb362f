// LatencyBook: the newest sample and the last 90 samples of every pinged address.
//
// One book lives for the whole process. Ping workers write it, the main thread reads it (the
// connection view, the call panel, the stat cards and the lookup panel's graph); every access holds
// the book's own lock, and only for a single update or copy. sampleCounter grows after every
// recorded sample so the window can notice new values without taking the lock.
//
// A sample is a round-trip time in milliseconds (at least 1) or -1 for no reply. The book is never
// saved and is wiped as a whole once it holds more than 600 addresses; the next ping cycle refills it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tolvane {

class LatencyBook {
 public:
  static constexpr size_t kHistoryLength = 90;
  static constexpr size_t kMaxAddresses = 600;

  // Stores a sample as the address's latest value and appends it to its history.
  void RecordSample(const std::wstring& address, int32_t sample);

  // The newest sample of the address; nullopt when the book has none.
  std::optional<int32_t> Latest(const std::wstring& address) const;

  // Copy of the address's history, oldest first; empty when there is none.
  std::vector<int32_t> LatencyHistory(const std::wstring& address) const;

  // Number of addresses with a latest value.
  size_t AddressCount() const;

  uint32_t SampleCounter() const { return sampleCounter_.load(std::memory_order_acquire); }

 private:
  mutable std::mutex lock_;  // the latency lock
  std::unordered_map<std::wstring, int32_t> latest_;
  std::unordered_map<std::wstring, std::deque<int32_t>> history_;
  std::atomic<uint32_t> sampleCounter_{0};
};

}  // namespace tolvane
