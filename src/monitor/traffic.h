// Traffic per connection: rates, totals and the last minute of each socket row, the machine's
// total rate, the texts the window shows them with, and the made-up traffic of demo mode.
//
// The snapshot copies each row's byte counters out of the capture tables (RowTraffic); the
// TrafficMeter, on the refresh thread between the snapshot and its publication, compares them with
// those of the previous snapshot. A counter that went backwards (its flow was purged and counted
// again from nothing) counts from 0, so no rate is ever negative. A row first seen has rate 0 and
// the totals its flow had counted by then: a connection's bytes before the row turned up are
// still its bytes. Rows are told apart across snapshots by their RowKey, hashed.
//
// Threads: Update belongs to the refresh thread; the machine's rate is a handful of relaxed
// atomics and the per-row histories sit under one lock, held for one update or one copy, so the
// main thread reads both while the refresh thread works. The rates and totals the table draws
// travel inside the published rows and need no lock at all.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "monitor/capture_table.h"
#include "monitor/connection_row.h"

namespace tolvane {

inline constexpr size_t kRateHistorySeconds = 60;

// An amount with SI units and at most three significant digits, rounded: "0 B", "999 B",
// "1.00 kB", "12.4 kB", "124 kB", "1.00 MB", "3.40 GB"; unit "B/s" etc. for a rate.
std::wstring FormatBytes(uint64_t bytes);
std::wstring FormatRate(uint64_t bytesPerSecond);
// A number that changes exactly when the text of FormatBytes / FormatRate does.
uint64_t ShownAmount(uint64_t bytes);

// The machine's traffic at the last update; not metered while nothing counts packets.
struct MachineTraffic {
  bool metered = false;
  uint64_t rateReceived = 0;
  uint64_t rateSent = 0;
};

class TrafficMeter {
 public:
  // demoMode: the made-up rows count into the machine's rate (it is then the sum of the rows).
  TrafficMeter(const CaptureTable& table, bool demoMode);
  TrafficMeter(const TrafficMeter&) = delete;
  TrafficMeter& operator=(const TrafficMeter&) = delete;

  // Refresh thread: fills the rates and totals of every metered row of a fresh snapshot taken at
  // now, keeps the one-second history of each, and forgets rows that are gone or not metered.
  void Update(RowList& rows, uint64_t now);

  MachineTraffic Machine() const;
  // The last (up to) 60 one-second rates of a row, received plus sent, oldest first; of several
  // rows, their sum second by second. Empty for rows the meter does not know.
  std::vector<uint64_t> RateHistory(const ConnectionRow& row) const;
  std::vector<uint64_t> RateHistory(const std::vector<const ConnectionRow*>& rows) const;

  // The identity of a row across snapshots: its RowKey, hashed without building the text.
  static uint64_t RowId(const ConnectionRow& row);

 private:
  struct Entry {
    uint64_t counterReceived = 0, counterSent = 0;
    uint64_t rateReceived = 0, rateSent = 0;
    uint64_t totalReceived = 0, totalSent = 0;
    uint64_t generation = 0;
    uint64_t second = 0;                               // the second being filled (TickMs / 1000)
    double pending = 0;                                // bytes spread into that second so far
    std::array<uint32_t, kRateHistorySeconds> ring{};  // completed seconds, saturating
    uint32_t head = 0;                                 // where the next second goes
    uint32_t count = 0;
  };
  static void Spread(Entry& e, uint64_t from, uint64_t to, double bytes);
  static void AddToSecond(Entry& e, uint64_t second, double bytes);
  static void AppendHistory(const Entry& e, std::vector<uint64_t>& sum);

  const CaptureTable& table_;
  const bool demoMode_;
  mutable std::mutex lock_;  // guards entries_ (the histories)
  std::unordered_map<uint64_t, Entry> entries_;
  uint64_t generation_ = 0;
  uint64_t lastUpdate_ = 0;
  bool updatedBefore_ = false;
  TrafficTotals lastTotals_;
  std::atomic<bool> machineMetered_{false};
  std::atomic<uint64_t> machineReceived_{0};
  std::atomic<uint64_t> machineSent_{0};
};

// Demo mode: the byte counters of demonstration row index (the order of DemoRows) seconds after
// demo traffic began: a voice call of 40-90 kB/s each way, a browser download bursting to a few
// MB/s, some chatter, and idle sockets that stay at 0. They only ever grow.
RowTraffic DemoTrafficAt(size_t index, double seconds);

}  // namespace tolvane
