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
#include <unordered_map>

#include "latency/grading.h"
#include "monitor/traffic.h"

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

// Received plus sent per second; rows without a rate below every idle one.
int CompareTraffic(const RowTraffic& a, const RowTraffic& b) {
  if (a.metered != b.metered) return a.metered ? 1 : -1;
  return CompareNumbers(a.rateReceived + a.rateSent, b.rateReceived + b.rateSent);
}

int CompareRows(const ViewRow& a, const ViewRow& b, int32_t sortKey) {
  int c = 0;
  switch (sortKey) {
    case 1:
      // Application rows by their number of addresses ("10 addresses" after "9 addresses").
      c = a.app.connections > 0 && b.app.connections > 0 ? CompareNumbers(a.app.addresses, b.app.addresses)
                                                         : CompareUnits(a.remoteEndpoint, b.remoteEndpoint);
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
    case 4:
      c = CompareTraffic(a.traffic, b.traffic);
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

uint32_t ProtocolBit(std::wstring_view protocol) {
  if (protocol == L"TCP4") return 1;
  if (protocol == L"TCP6") return 2;
  if (protocol == L"UDP4") return 4;
  if (protocol == L"UDP6") return 8;
  return 0;
}

// One protocol by its name; several by their families.
std::wstring_view ProtocolsText(uint32_t mask) {
  static constexpr std::wstring_view kNames[] = {L"TCP4", L"TCP6", L"UDP4", L"UDP6"};
  for (uint32_t i = 0; i < 4; ++i)
    if (mask == 1u << i) return kNames[i];
  const bool tcp = (mask & 3) != 0, udp = (mask & 12) != 0;
  return tcp && udp ? L"TCP/UDP" : (tcp ? L"TCP" : L"UDP");
}

std::wstring CountText(uint32_t n, std::wstring_view one, std::wstring_view many) {
  std::wstring text;
  AppendDecimal(text, n);
  text += L' ';
  text += n == 1 ? one : many;
  return text;
}

bool HasRemoteAddress(const std::wstring& address) { return !address.empty() && address != L"*"; }

// Whether socket a is busier than b: a rate before none, then the rate, then the bytes so far.
bool BusierThan(const ViewRow& a, const ViewRow& b) {
  if (const int c = CompareTraffic(a.traffic, b.traffic); c != 0) return c > 0;
  return a.traffic.totalReceived + a.traffic.totalSent > b.traffic.totalReceived + b.traffic.totalSent;
}

// Adds socket s into its application row a.
void FoldInto(ViewRow& a, const ViewRow& s) {
  a.app.connections += 1;
  a.packets += s.packets;
  if (s.ageMs >= 0 && (a.ageMs < 0 || s.ageMs < a.ageMs)) a.ageMs = s.ageMs;
  if (s.latencyMs >= 0 && (a.latencyMs < 0 || s.latencyMs < a.latencyMs)) a.latencyMs = s.latencyMs;
  if (!s.traffic.metered) return;
  RowTraffic& t = a.traffic;
  t.metered = true;
  t.counterReceived += s.traffic.counterReceived;
  t.counterSent += s.traffic.counterSent;
  t.rateReceived += s.traffic.rateReceived;
  t.rateSent += s.traffic.rateSent;
  t.totalReceived += s.traffic.totalReceived;
  t.totalSent += s.traffic.totalSent;
}

}  // namespace

std::wstring ViewRowKey(const ViewRow& row) {
  if (row.app.connections == 0) return RowKey(row);
  return L"app|" + row.processName;
}

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

void ConnectionView::Fold(const std::vector<ViewRow>& sockets, std::vector<ViewRow>& apps) {
  std::unordered_map<std::wstring_view, uint32_t> index;  // process name -> application row
  index.reserve(64);
  std::vector<uint32_t> appOf(sockets.size());
  std::vector<uint32_t> busiest;  // each application's busiest socket
  std::vector<uint32_t> protocols;
  size_t count = 0;
  for (size_t i = 0; i < sockets.size(); ++i) {
    const ViewRow& s = sockets[i];
    const auto [it, inserted] = index.try_emplace(s.processName, static_cast<uint32_t>(count));
    if (inserted) {
      if (count == apps.size()) apps.emplace_back();
      ViewRow& a = apps[count++];
      static_cast<ConnectionRow&>(a) = s;  // name, pid, category; the rest is replaced below
      a.packets = 0;
      a.ageMs = -1;
      a.traffic = RowTraffic{};
      a.latencyMs = s.latencyMs;
      a.firstSeen = 0;
      a.app = AppFold{};
      busiest.push_back(static_cast<uint32_t>(i));
      protocols.push_back(0);
    }
    const uint32_t k = it->second;
    appOf[i] = k;
    FoldInto(apps[k], s);
    protocols[k] |= ProtocolBit(s.protocol);
    if (BusierThan(s, sockets[busiest[k]])) busiest[k] = static_cast<uint32_t>(i);
  }
  apps.resize(count);

  // Distinct process ids and remote addresses per application: sorted pairs, counted once each.
  const auto countDistinct = [&](auto less, auto same, uint32_t AppFold::*field) {
    std::sort(foldPairs_.begin(), foldPairs_.end(), less);
    for (size_t j = 0; j < foldPairs_.size(); ++j)
      if (j == 0 || foldPairs_[j].first != foldPairs_[j - 1].first || !same(foldPairs_[j], foldPairs_[j - 1]))
        apps[foldPairs_[j].first].app.*field += 1;
  };
  foldPairs_.clear();
  for (size_t i = 0; i < sockets.size(); ++i) foldPairs_.emplace_back(appOf[i], sockets[i].pid);
  countDistinct([](const auto& x, const auto& y) { return x < y; },
                [](const auto& x, const auto& y) { return x.second == y.second; }, &AppFold::processes);
  foldPairs_.clear();
  for (size_t i = 0; i < sockets.size(); ++i)
    if (HasRemoteAddress(sockets[i].remoteAddress)) foldPairs_.emplace_back(appOf[i], static_cast<uint32_t>(i));
  const auto address = [&sockets](const std::pair<uint32_t, uint32_t>& p) -> const std::wstring& {
    return sockets[p.second].remoteAddress;
  };
  countDistinct(
      [&](const auto& x, const auto& y) { return x.first != y.first ? x.first < y.first : address(x) < address(y); },
      [&](const auto& x, const auto& y) { return address(x) == address(y); }, &AppFold::addresses);

  for (size_t k = 0; k < count; ++k) {
    ViewRow& a = apps[k];
    const ViewRow& b = sockets[busiest[k]];
    a.state = b.state;
    a.role = b.role;
    a.remoteAddress = b.remoteAddress;
    a.remotePort = b.remotePort;
    a.localPort = b.localPort;
    a.app.signalMs = b.latencyMs;
    a.protocol = ProtocolsText(protocols[k]);
    a.localEndpoint = CountText(a.app.connections, L"connection", L"connections");
    a.remoteEndpoint = CountText(a.app.addresses, L"address", L"addresses");
  }
}

std::vector<const ViewRow*> ConnectionView::SocketsOf(const ViewRow& row) const {
  std::vector<const ViewRow*> sockets;
  if (row.app.connections == 0) {
    sockets.push_back(&row);
    return sockets;
  }
  for (const ViewRow& s : socketRows_)
    if (s.processName == row.processName) sockets.push_back(&s);
  return sockets;
}

std::vector<std::wstring> ConnectionView::RemoteAddressesOf(const ViewRow& row) const {
  std::vector<std::wstring> addresses;
  for (const ViewRow* s : SocketsOf(row)) {
    if (HasRemoteAddress(s->remoteAddress) &&
        std::find(addresses.begin(), addresses.end(), s->remoteAddress) == addresses.end())
      addresses.push_back(s->remoteAddress);
  }
  return addresses;
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
    v.app = AppFold{};  // the recycled row may have been an application row
  }
  rows.resize(count);

  folded_ = settings_.byApp.load();
  if (folded_) {
    socketRows_.swap(rows);
    Fold(socketRows_, rows);
  } else {
    socketRows_.clear();
  }

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
    std::wstring key = ViewRowKey(row);
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

  // The rows' latencies and traffic are told apart from the rest: new samples and a new second of
  // traffic change nothing else of the table.
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
    // The traffic as the table and the details pane write it, so a rate that shows the same text
    // repaints nothing.
    const RowTraffic& t = row.traffic;
    latencyHash.Add(static_cast<uint64_t>(t.metered));
    latencyHash.Add(ShownAmount(t.rateReceived));
    latencyHash.Add(ShownAmount(t.rateSent));
    latencyHash.Add(ShownAmount(t.totalReceived));
    latencyHash.Add(ShownAmount(t.totalSent));
    rowsHash.Add(static_cast<uint64_t>(row.app.processes) << 32 | row.app.connections);
    rowsHash.Add(static_cast<uint64_t>(static_cast<int64_t>(row.app.signalMs)));
  }
  const uint32_t rowsPrint = rowsHash.Value();
  const uint32_t latencyPrint = latencyHash.Value();
  const CallPrints callPrint = CallFingerprint();
  uint32_t changes = 0;
  if (rowsPrint != rowsFingerprint_) {
    changes |= kRowsChanged;
  } else if (latencyPrint != latencyFingerprint_) {
    changes |= kMetersChanged;
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
