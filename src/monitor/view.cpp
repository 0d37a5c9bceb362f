// The connection view: see view.h.
//
// Cost: a rebuild over 10,000 rows is dominated by memory allocation, so storage is reused across
// rebuilds: the snapshot is copy-assigned into AllRows (each string keeps its buffer when it fits),
// the new view is filled into the spare vector of the rebuild before last, and RowFirstSeen is
// updated in place (entries not found again are erased) instead of being rebuilt node by node.
// The searched text is built and lowercased per row into one reused buffer. Lowercasing takes a fast path
// for ASCII (the bulk of process names, endpoints and labels) and towlower for everything else, so
// the result is the same as towlower applied to every code unit. The fingerprints are 32-bit
// FNV-1a; a text is hashed with its length first so that neighbouring fields cannot trade characters
// without changing the hash.
#include "monitor/view.h"

#include <algorithm>
#include <cwctype>
#include <string_view>

#include "latency/grading.h"

namespace tolvane {
namespace {

inline wchar_t Lower(wchar_t c) {
  if (c < 128) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
  return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

void AppendLower(std::wstring& out, std::wstring_view text) {
  for (wchar_t c : text) out.push_back(Lower(c));
}

// Case-insensitive three-way comparison of two texts, unit by unit after folding.
int CompareFolded(std::wstring_view a, std::wstring_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const wchar_t la = Lower(a[i]), lb = Lower(b[i]);
    if (la != lb) return la < lb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareUnits(std::wstring_view a, std::wstring_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

template <typename T>
int CompareNumbers(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareRows(const ViewRow& a, const ViewRow& b, int32_t sortKey) {
  int c = 0;
  switch (sortKey) {
    case 1:
      c = CompareUnits(a.remoteEndpoint, b.remoteEndpoint);
      break;
    case 2: {
      const int32_t la = a.latencyMs < 0 ? 9999 : a.latencyMs;
      const int32_t lb = b.latencyMs < 0 ? 9999 : b.latencyMs;
      c = (a.latencyMs < 0 && b.latencyMs < 0) ? 0 : CompareNumbers(la, lb);
      break;
    }
    case 3:
      c = CompareUnits(a.state, b.state);
      break;
    default:
      c = CompareFolded(a.processName, b.processName);
      break;
  }
  if (c != 0) return c;
  c = CompareFolded(a.processName, b.processName);
  if (c != 0) return c;
  c = CompareUnits(a.remoteEndpoint, b.remoteEndpoint);
  if (c != 0) return c;
  c = CompareUnits(a.localEndpoint, b.localEndpoint);
  if (c != 0) return c;
  return CompareNumbers(a.pid, b.pid);
}

class Fnv1a {
 public:
  void Add(uint64_t value) {
    for (int i = 0; i < 8; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
  }
  void Add(std::wstring_view text) {
    Add(static_cast<uint64_t>(text.size()));
    // One FNV step per code unit rather than per byte: a quarter of the work on the host, and
    // still a hash that changes when any unit does.
    for (wchar_t c : text) Byte(static_cast<uint32_t>(c));
  }
  uint32_t Value() const { return hash_; }

 private:
  void Byte(uint32_t b) {
    hash_ ^= b;
    hash_ *= 16777619u;
  }
  uint32_t hash_ = 2166136261u;
};

const wchar_t* CategoryWord(int32_t filter) {
  static constexpr const wchar_t* kWords[] = {L"", L"discord", L"browser", L"social", L"game", L"media", L"dev"};
  return (filter >= 1 && filter <= 6) ? kWords[filter] : nullptr;
}

// std::to_wstring goes through swprintf, which showed up in profiles of the search.
void AppendDecimal(std::wstring& out, uint32_t value) {
  wchar_t digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) out.push_back(digits[--n]);
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

int32_t LatencyOf(const LatencyBook& book, const Settings& settings, const std::wstring& address) {
  if (!settings.enablePing.load() || address.empty() || address == L"*") return -2;
  if (address.find(L':') != std::wstring::npos) return -3;
  const std::optional<int32_t> latest = book.Latest(address);
  return latest ? *latest : -2;
}

bool ViewCompare(const ViewRow& a, const ViewRow& b, int32_t sortKey, bool sortAscending) {
  const int c = CompareRows(a, b, sortKey);
  return sortAscending ? c < 0 : c > 0;
}

int32_t MedianLatency(const std::vector<ViewRow>& viewRows, bool enablePing) {
  std::vector<int32_t> latencies;
  latencies.reserve(viewRows.size());
  for (const ViewRow& row : viewRows) latencies.push_back(row.latencyMs);
  return MedianLatency(latencies, enablePing);
}

ConnectionView::ConnectionView(PublishedRows& published, CallList& calls, const LatencyBook& book,
                               const Settings& settings, const CallPrefixList& prefixes, Clock& clock)
    : published_(published), calls_(calls), book_(book), settings_(settings), prefixes_(prefixes), clock_(clock) {}

int32_t ConnectionView::LatencyOf(const std::wstring& address) const {
  return tolvane::LatencyOf(book_, settings_, address);
}

bool ConnectionView::Passes(const ConnectionRow& row, const ViewInputs& inputs, const std::wstring& needle,
                            bool callOnly, bool discordFocus) {
  if (discordFocus && row.category != L"discord") return false;
  if (const wchar_t* word = CategoryWord(inputs.categoryFilter); word && row.category != word) return false;
  if (callOnly && row.category == L"discord") {
    const bool ipv4 = !row.protocol.empty() && row.protocol.back() == L'4';
    if (!(ipv4 && prefixes_.MatchesCallPrefix(row.remoteAddress))) return false;
  }
  if (inputs.protocolFilter == 1 && !StartsWith(row.protocol, L"TCP")) return false;
  if (inputs.protocolFilter == 2 && !StartsWith(row.protocol, L"UDP")) return false;
  if (needle.empty()) return true;
  haystack_.clear();
  AppendLower(haystack_, row.processName);
  haystack_.push_back(L' ');
  AppendLower(haystack_, row.localEndpoint);
  haystack_.push_back(L' ');
  AppendLower(haystack_, row.remoteEndpoint);
  haystack_.push_back(L' ');
  AppendLower(haystack_, row.category);
  haystack_.push_back(L' ');
  AppendLower(haystack_, row.role);
  haystack_.push_back(L' ');
  AppendLower(haystack_, row.protocol);
  haystack_.push_back(L' ');
  AppendDecimal(haystack_, row.pid);
  return haystack_.find(needle) != std::wstring::npos;
}

ConnectionView::CallPrints ConnectionView::CallFingerprint() const {
  Fnv1a h, line;
  const std::vector<CallEndpoint>& entries = calls_.Entries();
  h.Add(static_cast<uint64_t>(entries.size()));
  for (const CallEndpoint& e : entries) {
    h.Add(e.address);
    h.Add(static_cast<uint64_t>(static_cast<int64_t>(e.remotePort)));
    h.Add(static_cast<uint64_t>(e.live));
    h.Add(static_cast<uint64_t>(e.ageMs >= 0 && e.ageMs <= 3999));
    line.Add(e.packets);
    line.Add(static_cast<uint64_t>(static_cast<int64_t>(LatencyOf(e.address))));
  }
  return CallPrints{h.Value(), line.Value()};
}

std::optional<uint64_t> ConnectionView::RowFirstSeen(const std::wstring& key) const {
  const auto it = rowFirstSeen_.find(key);
  if (it == rowFirstSeen_.end()) return std::nullopt;
  return it->second.firstSeen;
}

uint32_t ConnectionView::RebuildView(ViewInputs& inputs) {
  {
    std::lock_guard<std::mutex> guard(published_.lock);
    allRows_ = published_.rows;
  }
  calls_.RebuildCallList(allRows_);

  std::wstring needle;
  AppendLower(needle, inputs.searchText);
  const bool callOnly = settings_.callOnly.load();
  const bool discordFocus = settings_.discordFocus.load();

  std::vector<ViewRow>& rows = spareRows_;
  size_t count = 0;
  for (const ConnectionRow& row : allRows_) {
    if (!Passes(row, inputs, needle, callOnly, discordFocus)) continue;
    if (count == rows.size()) rows.emplace_back();
    ViewRow& v = rows[count++];
    static_cast<ConnectionRow&>(v) = row;
    v.latencyMs = LatencyOf(row.remoteAddress);
    v.firstSeen = 0;
  }
  rows.resize(count);

  const int32_t sortKey = inputs.sortKey;
  const bool ascending = inputs.sortAscending;
  // Sorting indices and then permuting once moves each row (nine strings) O(1) times instead of
  // O(log n) times.
  order_.resize(rows.size());
  for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<uint32_t>(i);
  std::sort(order_.begin(), order_.end(), [&rows, sortKey, ascending](uint32_t a, uint32_t b) {
    return ViewCompare(rows[a], rows[b], sortKey, ascending);
  });
  // Position i must receive rows[order_[i]]: follow each cycle of the permutation with swaps.
  for (size_t i = 0; i < order_.size(); ++i) {
    size_t current = i;
    while (order_[current] != i) {
      const size_t source = order_[current];
      std::swap(rows[current], rows[source]);
      order_[current] = static_cast<uint32_t>(current);
      current = source;
    }
    order_[current] = static_cast<uint32_t>(current);
  }

  // First-seen times come from the previous rebuild's table only: an entry this rebuild adds
  // carries the current generation and is taken as "new" by a later row with the same key.
  const uint64_t now = clock_.TickMs();
  const uint64_t generation = ++generation_;
  int32_t selected = -1;
  for (size_t i = 0; i < rows.size(); ++i) {
    ViewRow& row = rows[i];
    std::wstring key = RowKey(row);
    if (selected < 0 && !selectedRowKey_.empty() && key == selectedRowKey_) selected = static_cast<int32_t>(i);
    auto it = rowFirstSeen_.find(key);
    uint64_t seen;
    if (it != rowFirstSeen_.end()) {
      seen = it->second.firstSeen;
      it->second.generation = generation;
    } else {
      seen = viewShownBefore_ ? now : 0;
      rowFirstSeen_.emplace(std::move(key), Seen{seen, generation});
    }
    row.firstSeen = seen;
    if (seen != 0 && now - seen <= kFadeMs - 1) inputs.animateUntil = std::max(inputs.animateUntil, seen + kFadeMs);
  }
  std::erase_if(rowFirstSeen_, [generation](const auto& entry) { return entry.second.generation != generation; });
  if (!rows.empty()) viewShownBefore_ = true;

  // The rows' latencies are told apart from the rest: new samples change nothing else of the table.
  Fnv1a rowsHash, latencyHash;
  rowsHash.Add(static_cast<uint64_t>(rows.size()));
  for (const ViewRow& row : rows) {
    rowsHash.Add(row.processName);
    rowsHash.Add(row.protocol);
    rowsHash.Add(row.localEndpoint);
    rowsHash.Add(row.remoteEndpoint);
    rowsHash.Add(row.state);
    rowsHash.Add(row.role);
    rowsHash.Add(static_cast<uint64_t>(row.pid));
    latencyHash.Add(static_cast<uint64_t>(static_cast<int64_t>(row.latencyMs)));
  }
  const uint32_t rowsPrint = rowsHash.Value();
  const uint32_t latencyPrint = latencyHash.Value();
  const CallPrints callPrint = CallFingerprint();
  uint32_t changes = 0;
  if (rowsPrint != rowsFingerprint_) {
    changes |= kRowsChanged;
  } else if (latencyPrint != latencyFingerprint_) {
    changes |= kLatenciesChanged;
  }
  if (callPrint.cards != callFingerprint_.cards) {
    changes |= kCallsChanged;
  } else if (callPrint.lines != callFingerprint_.lines) {
    changes |= kCallLinesChanged;
  }
  rowsFingerprint_ = rowsPrint;
  latencyFingerprint_ = latencyPrint;
  callFingerprint_ = callPrint;

  viewRows_.swap(rows);

  inputs.selectedRow = selected;
  const int32_t last = std::max(static_cast<int32_t>(viewRows_.size()) - 1, 0);
  // A negative scroll position (never valid) is also brought back to the top.
  inputs.scrollRow = std::clamp(inputs.scrollRow, 0, last);
  return changes;
}

}  // namespace tolvane
