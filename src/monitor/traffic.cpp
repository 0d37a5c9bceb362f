// The traffic meter, the amount texts and the demo traffic; see traffic.h.
//
// The one-second history: the bytes of one snapshot interval are spread over the seconds it
// covers in proportion to the time in each, so a refresh interval of 250 ms fills one slot in four
// steps and one of 5 s fills five slots with its average, instead of a spike and four zeros.
#include "monitor/traffic.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tolvane {
namespace {

constexpr uint64_t kMsPerSecond = 1000;

uint64_t Delta(uint64_t now, uint64_t before) { return now >= before ? now - before : now; }

uint64_t PerSecond(uint64_t bytes, uint64_t ms) {
  // bytes * 1000 / ms without overflowing for any byte count a 64-bit counter can hold.
  const long double rate = static_cast<long double>(bytes) * kMsPerSecond / static_cast<long double>(ms);
  return rate >= static_cast<long double>(std::numeric_limits<uint64_t>::max()) ? std::numeric_limits<uint64_t>::max()
                                                                                : static_cast<uint64_t>(rate);
}

// An amount of 1000 or more kept to three significant digits, rounded half up: kept × 10^(digits - 3)
// (from 1000 G on, whole units of 10^9 instead: kept × 10^9, digits > 12).
struct Rounded {
  uint64_t digits = 0;
  uint64_t kept = 0;
};

Rounded RoundToThreeDigits(uint64_t v) {
  Rounded r;
  for (uint64_t x = v; x != 0; x /= 10) ++r.digits;
  uint64_t scale = 1000000000;
  if (r.digits <= 12) {
    scale = 1;
    for (uint64_t i = 3; i < r.digits; ++i) scale *= 10;
  }
  r.kept = v / scale + (v % scale >= (scale + 1) / 2 ? 1 : 0);
  if (r.digits <= 12 && r.kept == 1000) {  // 999.5 rounds up into the next digit
    r.kept = 100;
    ++r.digits;
    if (r.digits > 12) r.kept = 1000;  // 999.5 G: 1000 whole G
  }
  return r;
}

std::wstring FormatAmount(uint64_t v, std::wstring_view unit) {
  static constexpr wchar_t kPrefixes[] = {L'k', L'M', L'G'};
  if (v < 1000) return std::to_wstring(v) + L" " + std::wstring(unit);
  const Rounded r = RoundToThreeDigits(v);
  if (r.digits > 12) return std::to_wstring(r.kept) + L" G" + std::wstring(unit);
  const uint64_t prefix = (r.digits - 1) / 3;  // 1 k, 2 M, 3 G
  const uint64_t whole = r.digits - 3 * prefix;
  const std::wstring digits = std::to_wstring(r.kept);
  std::wstring text = digits.substr(0, whole);
  if (whole < 3) text += L'.' + digits.substr(whole);
  text += L' ';
  text += kPrefixes[prefix - 1];
  return text + std::wstring(unit);
}

}  // namespace

std::wstring FormatBytes(uint64_t bytes) { return FormatAmount(bytes, L"B"); }
std::wstring FormatRate(uint64_t bytesPerSecond) { return FormatAmount(bytesPerSecond, L"B/s"); }

uint64_t ShownAmount(uint64_t v) {
  if (v < 1000) return v;
  const Rounded r = RoundToThreeDigits(v);
  const uint64_t digits = std::min<uint64_t>(r.digits, 13);  // whole gigabytes from 1000 GB on
  return digits << 56 | r.kept;                              // at least 2^58, so apart from every value below 1000
}

// ---- the meter

TrafficMeter::TrafficMeter(const CaptureTable& table, bool demoMode) : table_(table), demoMode_(demoMode) {}

uint64_t TrafficMeter::RowId(const ConnectionRow& row) {
  uint64_t h = 14695981039346656037ull;
  const auto add = [&h](uint64_t v) {
    h ^= v;
    h *= 1099511628211ull;
  };
  const auto text = [&add](const std::wstring& s) {
    add(s.size());
    for (wchar_t c : s) add(static_cast<uint64_t>(c));
  };
  add(row.pid);
  text(row.protocol);
  text(row.localEndpoint);
  text(row.remoteEndpoint);
  return h;
}

void TrafficMeter::AddToSecond(Entry& e, uint64_t second, double bytes) {
  if (second > e.second) {
    // Close the second being filled and any skipped ones (at most a ring's worth matter).
    const uint64_t closed = std::min<uint64_t>(second - e.second, kRateHistorySeconds);
    for (uint64_t i = 0; i < closed; ++i) {
      const double v = i == 0 ? e.pending : 0.0;
      e.ring[e.head] = v >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(v + 0.5);
      e.head = (e.head + 1) % kRateHistorySeconds;
      e.count = std::min<uint32_t>(e.count + 1, kRateHistorySeconds);
    }
    e.second = second;
    e.pending = 0;
  }
  if (second == e.second) e.pending += bytes;
}

void TrafficMeter::Spread(Entry& e, uint64_t from, uint64_t to, double bytes) {
  // Seconds that fall out of the ring at once are not walked.
  const uint64_t window = (kRateHistorySeconds + 1) * kMsPerSecond;
  const uint64_t start = std::max(from, to > window ? to - window : 0);
  const double span = static_cast<double>(to - from);
  for (uint64_t s = start / kMsPerSecond; s * kMsPerSecond < to; ++s) {
    const uint64_t lo = std::max(from, s * kMsPerSecond);
    const uint64_t hi = std::min(to, (s + 1) * kMsPerSecond);
    if (hi > lo) AddToSecond(e, s, bytes * static_cast<double>(hi - lo) / span);
  }
}

void TrafficMeter::Update(RowList& rows, uint64_t now) {
  const bool advanced = updatedBefore_ && now > lastUpdate_;
  const uint64_t dt = advanced ? now - lastUpdate_ : 0;
  uint64_t sumReceived = 0, sumSent = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const uint64_t generation = ++generation_;
    for (ConnectionRow& row : rows) {
      RowTraffic& t = row.traffic;
      if (!t.metered) continue;
      auto [it, inserted] = entries_.try_emplace(RowId(row));
      Entry& e = it->second;
      if (inserted) {
        e.counterReceived = e.totalReceived = t.counterReceived;
        e.counterSent = e.totalSent = t.counterSent;
        e.second = now / kMsPerSecond;
      } else if (e.generation != generation) {
        const uint64_t dReceived = Delta(t.counterReceived, e.counterReceived);
        const uint64_t dSent = Delta(t.counterSent, e.counterSent);
        e.totalReceived += dReceived;
        e.totalSent += dSent;
        e.counterReceived = t.counterReceived;
        e.counterSent = t.counterSent;
        if (dt > 0) {
          e.rateReceived = PerSecond(dReceived, dt);
          e.rateSent = PerSecond(dSent, dt);
          Spread(e, lastUpdate_, now, static_cast<double>(dReceived) + static_cast<double>(dSent));
        }
        AddToSecond(e, now / kMsPerSecond, 0);  // every history ends at the same second
      }
      e.generation = generation;
      t.rateReceived = e.rateReceived;
      t.rateSent = e.rateSent;
      t.totalReceived = e.totalReceived;
      t.totalSent = e.totalSent;
      sumReceived += t.rateReceived;
      sumSent += t.rateSent;
    }
    std::erase_if(entries_, [generation](const auto& entry) { return entry.second.generation != generation; });
  }

  // The machine: everything the capture tables were given, flows not shown included; in demo mode
  // the rows, so that the made-up traffic adds up.
  TrafficTotals totals = table_.Totals();
  const TrafficTotals tcp = table_.Tcp().Totals();
  totals.received += tcp.received;
  totals.sent += tcp.sent;
  if (demoMode_) {
    machineReceived_.store(sumReceived, std::memory_order_relaxed);
    machineSent_.store(sumSent, std::memory_order_relaxed);
    machineMetered_.store(true, std::memory_order_relaxed);
  } else if (table_.Counting()) {
    if (dt > 0) {
      machineReceived_.store(PerSecond(Delta(totals.received, lastTotals_.received), dt), std::memory_order_relaxed);
      machineSent_.store(PerSecond(Delta(totals.sent, lastTotals_.sent), dt), std::memory_order_relaxed);
    } else if (!machineMetered_.load(std::memory_order_relaxed)) {
      machineReceived_.store(0, std::memory_order_relaxed);
      machineSent_.store(0, std::memory_order_relaxed);
    }
    machineMetered_.store(true, std::memory_order_relaxed);
  } else {
    machineMetered_.store(false, std::memory_order_relaxed);
  }
  lastTotals_ = totals;
  lastUpdate_ = now;
  updatedBefore_ = true;
}

MachineTraffic TrafficMeter::Machine() const {
  MachineTraffic m;
  m.metered = machineMetered_.load(std::memory_order_relaxed);
  m.rateReceived = machineReceived_.load(std::memory_order_relaxed);
  m.rateSent = machineSent_.load(std::memory_order_relaxed);
  return m;
}

void TrafficMeter::AppendHistory(const Entry& e, std::vector<uint64_t>& sum) {
  // Right-aligned: every entry's history ends at the second of the last update.
  if (sum.size() < e.count) sum.insert(sum.begin(), e.count - sum.size(), 0);
  const size_t offset = sum.size() - e.count;
  for (uint32_t i = 0; i < e.count; ++i) {
    const uint32_t slot = (e.head + kRateHistorySeconds - e.count + i) % kRateHistorySeconds;
    sum[offset + i] += e.ring[slot];
  }
}

std::vector<uint64_t> TrafficMeter::RateHistory(const ConnectionRow& row) const {
  return RateHistory(std::vector<const ConnectionRow*>{&row});
}

std::vector<uint64_t> TrafficMeter::RateHistory(const std::vector<const ConnectionRow*>& rows) const {
  std::vector<uint64_t> sum;
  std::lock_guard<std::mutex> guard(lock_);
  for (const ConnectionRow* row : rows) {
    if (!row->traffic.metered) continue;
    const auto it = entries_.find(RowId(*row));
    if (it != entries_.end()) AppendHistory(it->second, sum);
  }
  return sum;
}

// ---- demo traffic

namespace {

// A rate in bytes per second: base + two waves + a burst of the form peak · sin²(π u / length)
// during the first length seconds of every period; never below 0 with the values below.
struct DemoWave {
  double base, a1, w1, p1, a2, w2, p2;
  double peak, length, period;
};

// The bytes of the rate from time 0 to t, in closed form, so no state is needed.
double Integral(const DemoWave& r, double t) {
  double bytes = r.base * t;
  if (r.a1 != 0) bytes += r.a1 / r.w1 * (std::cos(r.p1) - std::cos(r.w1 * t + r.p1));
  if (r.a2 != 0) bytes += r.a2 / r.w2 * (std::cos(r.p2) - std::cos(r.w2 * t + r.p2));
  if (r.peak != 0) {
    const double periods = std::floor(t / r.period);
    const double v = std::min(t - periods * r.period, r.length);
    bytes += periods * r.peak * r.length / 2 +
             r.peak * (v / 2 - r.length / (4 * std::numbers::pi) * std::sin(2 * std::numbers::pi * v / r.length));
  }
  return std::max(bytes, 0.0);
}

struct DemoRowTraffic {
  DemoWave received, sent;
};

// In the order of DemoRows.
constexpr DemoRowTraffic kDemoTraffic[] = {
    // Discord voice: 40-90 kB/s each way.
    {{64000, 18000, 0.9, 0, 6000, 2.3, 0, 0, 1, 1}, {58000, 14000, 0.7, 1, 5000, 1.9, 2, 0, 1, 1}},
    {{3000, 1200, 0.5, 0, 0, 1, 0, 0, 1, 1}, {2200, 800, 0.4, 2, 0, 1, 0, 0, 1, 1}},
    {},                                                                             // a call that ended: idle
    {{700, 500, 0.3, 0, 0, 1, 0, 0, 1, 1}, {300, 200, 0.45, 1, 0, 1, 0, 0, 1, 1}},  // gateway chatter
    {},                                                                             // idle
    // The browser's download, bursting to 3.6 MB/s every 15 s, with its acknowledgements.
    {{40000, 0, 1, 0, 0, 1, 0, 3600000, 9, 15}, {6000, 0, 1, 0, 0, 1, 0, 90000, 9, 15}},
    {{160000, 110000, 0.6, 0, 30000, 1.7, 0, 0, 1, 1}, {14000, 6000, 0.6, 0, 0, 1, 0, 0, 1, 1}},  // QUIC video
    {},                                                                                           // idle game server
};

}  // namespace

RowTraffic DemoTrafficAt(size_t index, double seconds) {
  RowTraffic t;
  t.metered = true;
  if (index >= std::size(kDemoTraffic) || seconds <= 0) return t;
  const DemoRowTraffic& d = kDemoTraffic[index];
  t.counterReceived = static_cast<uint64_t>(Integral(d.received, seconds));
  t.counterSent = static_cast<uint64_t>(Integral(d.sent, seconds));
  return t;
}

}  // namespace tolvane
