// The socket snapshot. Cost is dominated by the rows themselves (eight short wide strings each), so
// each socket first becomes a small Candidate whose texts go into one reused pool; the candidates
// are sorted through packed keys and de-duplicated (duplicates end up adjacent), and only then are
// the surviving ones written, in final order, over the strings of the recycled row list. The
// category and hidden flag are computed once per process id, IPv4 texts are formatted without the
// platform, and every working vector is kept for the next snapshot, so a steady machine's snapshot
// allocates next to nothing.
#include "monitor/snapshot.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "monitor/address.h"
#include "monitor/classification.h"
#include "monitor/traffic.h"

namespace tolvane {
namespace {

constexpr std::wstring_view kUnknownName = L"Unknown";

bool StartsWith(std::wstring_view s, std::wstring_view prefix) { return s.substr(0, prefix.size()) == prefix; }

void AppendDecimal(std::wstring& out, uint64_t value) {
  wchar_t digits[24];
  size_t n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::reverse(digits, digits + n);
  out.append(digits, n);
}

void AppendSigned(std::wstring& out, int64_t value) {
  if (value < 0) {
    out.push_back(L'-');
    AppendDecimal(out, static_cast<uint64_t>(-(value + 1)) + 1);
  } else {
    AppendDecimal(out, static_cast<uint64_t>(value));
  }
}

// Appends address:port, or [address]:port for IPv6.
void AppendEndpoint(std::wstring& out, std::wstring_view address, int32_t port, bool ipv6) {
  if (ipv6) out.push_back(L'[');
  out.append(address);
  if (ipv6) out.push_back(L']');
  out.push_back(L':');
  AppendSigned(out, port);
}

// Decimal texts of the 256 octet values, built once; formatting an address is then four copies.
struct OctetTexts {
  wchar_t digits[256][3];
  uint8_t length[256];
  constexpr OctetTexts() : digits(), length() {
    for (unsigned v = 0; v < 256; ++v) {
      uint8_t n = 0;
      if (v >= 100) digits[v][n++] = static_cast<wchar_t>(L'0' + v / 100);
      if (v >= 10) digits[v][n++] = static_cast<wchar_t>(L'0' + v / 10 % 10);
      digits[v][n++] = static_cast<wchar_t>(L'0' + v % 10);
      length[v] = n;
    }
  }
};
constexpr OctetTexts kOctetTexts;

// Dotted text of the first four bytes into a caller's buffer of 16. Each octet copies all three
// digit slots and advances by its length; the last copy ends at index 14 at most.
std::wstring_view FormatIpv4(const std::array<uint8_t, 16>& bytes, wchar_t (&text)[16]) {
  size_t n = 0;
  for (int i = 0; i < 4; ++i) {
    const uint8_t v = bytes[i];
    std::memcpy(text + n, kOctetTexts.digits[v], sizeof kOctetTexts.digits[v]);
    n += kOctetTexts.length[v];
    text[n] = L'.';
    n += i < 3 ? 1 : 0;
  }
  return std::wstring_view(text, n);
}

bool IsZero(const std::array<uint8_t, 16>& bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

uint32_t Ipv4Of(const std::array<uint8_t, 16>& bytes) {
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

RowTraffic Metered(bool counting, uint64_t received, uint64_t sent) {
  RowTraffic t;
  t.metered = counting;
  if (counting) {
    t.counterReceived = received;
    t.counterSent = sent;
  }
  return t;
}

wchar_t Fold(wchar_t c) {
  if (c < 128) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
  return static_cast<wchar_t>(std::towlower(c));
}

}  // namespace

// Dotted decimal is the one text every inet_ntop gives an IPv4 address, and it cannot fail, so it is
// formatted here: the platform's conversion goes through printf machinery and took most of a large
// snapshot's time. A test holds this to the platform's InetNtop4 over a sweep of addresses.
std::wstring Ipv4Text(uint32_t networkOrderAddress) {
  std::array<uint8_t, 16> bytes{};
  std::memcpy(bytes.data(), &networkOrderAddress, 4);
  wchar_t text[16];
  return std::wstring(FormatIpv4(bytes, text));
}

std::wstring Ipv6Text(const Ipv6Bytes& address) {
  std::wstring text = InetNtop6(address);
  if (text.empty()) return L"::";
  return text;
}

const std::array<std::wstring_view, 18>& HiddenProcessNames() {
  static constexpr std::array<std::wstring_view, 18> kNames = {L"System Idle",       L"System",
                                                               L"Registry",          L"smss.exe",
                                                               L"csrss.exe",         L"wininit.exe",
                                                               L"winlogon.exe",      L"services.exe",
                                                               L"lsass.exe",         L"fontdrvhost.exe",
                                                               L"dwm.exe",           L"spoolsv.exe",
                                                               L"searchindexer.exe", L"SecurityHealthService.exe",
                                                               L"conhost.exe",       L"svchost.exe",
                                                               L"MsMpEng.exe",       L"Unknown"};
  return kNames;
}

int CompareNoCase(std::wstring_view a, std::wstring_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const wchar_t x = Fold(a[i]);
    const wchar_t y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool IsHiddenProcessName(std::wstring_view name) {
  for (std::wstring_view hidden : HiddenProcessNames())
    if (hidden.size() == name.size() && CompareNoCase(hidden, name) == 0) return true;
  return false;
}

const std::array<DemoProcess, 3>& DemoProcesses() {
  static constexpr std::array<DemoProcess, 3> kProcesses = {
      {{4242, L"Discord.exe (demo)"}, {5151, L"chrome.exe (demo)"}, {6262, L"steam.exe (demo)"}}};
  return kProcesses;
}

const std::array<DemoRow, 8>& DemoRows() {
  static constexpr std::array<DemoRow, 8> kRows = {{
      {4242, L"UDP4", L"ACTIVE", 56012, L"35.214.40.77", 50031, 18234, 90},
      {4242, L"UDP4", L"ACTIVE", 56013, L"104.18.12.201", 50004, 640, 300},
      {4242, L"UDP4", L"RECENT", 56014, L"66.22.199.5", 50040, 22, 9000},
      {4242, L"TCP4", L"ACTIVE", 51022, L"162.159.135.234", 443, 0, -1},
      {4242, L"TCP4", L"ACTIVE", 51023, L"104.18.32.47", 443, 0, -1},
      {5151, L"TCP4", L"ACTIVE", 51500, L"142.250.80.46", 443, 0, -1},
      {5151, L"UDP4", L"ACTIVE", 51501, L"142.250.80.46", 443, 500, 100},
      {6262, L"TCP4", L"ACTIVE", 51700, L"23.45.67.89", 27015, 0, -1},
  }};
  return kRows;
}

Snapshotter::Snapshotter(Settings& settings, CaptureTable& captureTable, SocketTables& socketTables,
                         ProcessList& processList, Clock& clock, bool demoMode)
    : settings_(settings),
      captureTable_(captureTable),
      socketTables_(socketTables),
      processList_(processList),
      clock_(clock),
      demoMode_(demoMode) {}

Snapshotter::Switches Snapshotter::ReadSwitches() const {
  Switches s;
  s.showSystem = settings_.showSystem;
  s.showLan = settings_.showLan;
  s.enableIpv6 = settings_.enableIpv6;
  s.enableUdp = settings_.enableUdp;
  return s;
}

void Snapshotter::UpdateProcessNames() {
  if (!processList_.Snapshot(processEntries_)) processEntries_.clear();
  const uint64_t list = ++processLists_;
  const auto fixedName = [this](uint32_t pid) -> std::wstring_view {
    if (pid == 0) return L"System Idle";
    if (pid == 4) return L"System";
    if (demoMode_)
      for (const DemoProcess& d : DemoProcesses())
        if (d.pid == pid) return d.name;
    return {};
  };
  const auto keep = [&](uint32_t pid, std::wstring_view name, uint64_t creationTime) {
    const auto [stamp, added] = processStamps_.try_emplace(pid, ProcessStamp{creationTime, list});
    std::wstring& known = processNames_[pid];
    if (added || stamp->second.creationTime != creationTime || known != name) {
      infoCache_.erase(pid);  // its name view is about to change
      known.assign(name);
      stamp->second.creationTime = creationTime;
    }
    stamp->second.listed = list;
  };
  for (const ProcessEntry& p : processEntries_) {
    if (fixedName(p.pid).empty()) keep(p.pid, p.exeName, p.creationTime);
  }
  keep(0, fixedName(0), 0);
  keep(4, fixedName(4), 0);
  if (demoMode_)
    for (const DemoProcess& d : DemoProcesses()) keep(d.pid, d.name, 0);
  std::erase_if(processStamps_, [&](const auto& entry) {
    if (entry.second.listed == list) return false;
    infoCache_.erase(entry.first);
    processNames_.erase(entry.first);
    return true;
  });
  // "Unknown" entries of ids that own sockets but were not listed are asked again each snapshot.
  std::erase_if(infoCache_, [this](const auto& entry) { return !processNames_.contains(entry.first); });
}

const Snapshotter::ProcessInfo& Snapshotter::InfoOf(uint32_t pid) {
  auto cached = infoCache_.find(pid);
  if (cached != infoCache_.end()) return cached->second;
  ProcessInfo info;
  auto named = processNames_.find(pid);
  info.name = named == processNames_.end() ? kUnknownName : std::wstring_view(named->second);
  info.category = ClassifyProcess(info.name);
  info.hidden = IsHiddenProcessName(info.name);
  return infoCache_.emplace(pid, info).first->second;
}

void Snapshotter::AddRow(RowList& rows, SeenKeys& seenKeys, uint32_t pid, std::wstring_view protocol,
                         std::wstring_view state, std::wstring_view localAddress, int32_t localPort,
                         std::wstring_view remoteAddress, int32_t remotePort, uint64_t packets, int32_t ageMs) {
  const size_t poolSize = textPool_.size();
  Candidate c;
  ConnectionRow row;
  const bool admitted = MakeCandidate(ReadSwitches(), c, pid, protocol, state, localAddress, localPort, remoteAddress,
                                      remotePort, packets, ageMs);
  if (admitted) Materialise(c, row);
  textPool_.resize(poolSize);
  if (!admitted || !seenKeys.insert(RowKey(row)).second) return;
  rows.push_back(std::move(row));
}

bool Snapshotter::MakeCandidate(const Switches& s, Candidate& c, uint32_t pid, std::wstring_view protocol,
                                std::wstring_view state, std::wstring_view localAddress, int32_t localPort,
                                std::wstring_view remoteAddress, int32_t remotePort, uint64_t packets, int32_t ageMs) {
  const ProcessInfo& info = InfoOf(pid);
  if (!s.showSystem && info.hidden) return false;
  const bool isUdp = StartsWith(protocol, L"UDP");
  const bool voiceCandidate = remotePort == 0 && isUdp && IsVoiceCapableCategory(info.category) && localPort > 1023;
  const bool ipv6 = localAddress.find(L':') != std::wstring_view::npos;

  const bool remoteIsLocal = IsLocalAddress(remoteAddress);
  if (remoteIsLocal || !localAddress.empty()) {
    const bool show = remoteIsLocal ? voiceCandidate : true;
    if (!localAddress.empty() && ipv6 && !s.enableIpv6) return false;
    if (isUdp && !s.enableUdp) return false;
    if (!show && !s.showLan) return false;
  } else if (isUdp && !s.enableUdp) {
    // A public peer with no local address text skips the other checks, but UDP still needs enableUdp.
    return false;
  }

  c.info = &info;
  c.pid = pid;
  c.protocol = protocol;
  c.state = state;
  c.localPort = localPort;
  c.remotePort = remotePort;
  c.packets = packets;
  c.ageMs = ageMs;
  const auto text = [this](TextSpan& span, auto&& write) {
    span.at = static_cast<uint32_t>(textPool_.size());
    write();
    span.length = static_cast<uint32_t>(textPool_.size() - span.at);
  };
  text(c.local, [&] { AppendEndpoint(textPool_, localAddress, localPort, ipv6); });
  text(c.remote, [&] {
    if (remotePort > 0) {
      AppendEndpoint(textPool_, remoteAddress, remotePort, ipv6);
    } else if (voiceCandidate) {
      textPool_.append(L"Voice UDP :");
      AppendSigned(textPool_, localPort);
    } else {
      textPool_.push_back(L'*');
    }
  });
  text(c.address, [&] { textPool_.append(remoteAddress); });
  return true;
}

void Snapshotter::Materialise(const Candidate& c, ConnectionRow& row) const {
  // Every field is assigned, never constructed, so a recycled row keeps its strings' capacity.
  row.processName.assign(c.info->name);
  row.pid = c.pid;
  row.protocol.assign(c.protocol);
  row.localEndpoint.assign(Text(c.local));
  row.remoteEndpoint.assign(Text(c.remote));
  row.remoteAddress.assign(Text(c.address));
  row.localPort = c.localPort;
  row.remotePort = c.remotePort;
  row.state.assign(c.state);
  row.category.assign(c.info->category);
  row.role.assign(RoleLabel(c.info->category, c.protocol, row.remoteAddress, c.remotePort));
  row.packets = c.packets;
  row.ageMs = c.ageMs;
  row.traffic = c.traffic;
}

void Snapshotter::TakeSnapshot(RowList& rows) {
  UpdateProcessNames();
  const Switches s = ReadSwitches();
  const uint64_t snapshotStart = clock_.TickMs();

  candidates_.clear();
  textPool_.clear();
  const auto add = [&](uint32_t pid, std::wstring_view protocol, std::wstring_view state,
                       std::wstring_view localAddress, int32_t localPort, std::wstring_view remoteAddress,
                       int32_t remotePort, uint64_t packets, int32_t ageMs, const RowTraffic& traffic = {}) {
    Candidate c;
    if (MakeCandidate(s, c, pid, protocol, state, localAddress, localPort, remoteAddress, remotePort, packets, ageMs)) {
      c.traffic = traffic;
      candidates_.push_back(c);
    }
  };

  // The TCP flows' counters, looked up by flow id below. Counters only move while capture counts.
  const bool counting = captureTable_.Counting();
  captureTable_.Tcp().AgeAndCollectCounters(clock_.TickMs(), kFlowEraseMs, tcpCounters_);
  const auto tcpTraffic = [&](const TcpEntry& e) {
    const uint64_t id = FlowTable::FlowId(static_cast<uint16_t>(e.localPort), Ipv4Of(e.remoteAddress),
                                          static_cast<uint16_t>(e.remotePort));
    const auto it = std::lower_bound(tcpCounters_.begin(), tcpCounters_.end(), id,
                                     [](const FlowCounters& f, uint64_t v) { return f.id < v; });
    if (it == tcpCounters_.end() || it->id != id) return Metered(counting, 0, 0);
    return Metered(counting, it->bytesReceived, it->bytesSent);
  };

  wchar_t localText[16], remoteText[16];
  for (const TcpEntry& e : socketTables_.ReadTcp(SocketTableKind::Tcp4)) {
    if (e.state != kTcpStateEstablished || e.localPort == 0 || e.remotePort == 0 || IsZero(e.remoteAddress, 4))
      continue;
    add(e.pid, L"TCP4", L"ACTIVE", FormatIpv4(e.localAddress, localText), e.localPort,
        FormatIpv4(e.remoteAddress, remoteText), e.remotePort, 0, -1, tcpTraffic(e));
  }

  if (s.enableIpv6) {
    for (const TcpEntry& e : socketTables_.ReadTcp(SocketTableKind::Tcp6)) {
      if (e.state != kTcpStateEstablished || e.localPort == 0 || e.remotePort == 0) continue;
      const std::wstring local = Ipv6Text(e.localAddress);
      const std::wstring remote = Ipv6Text(e.remoteAddress);
      if (local == L"::" || remote == L"::") continue;
      add(e.pid, L"TCP6", L"ACTIVE", local, e.localPort, remote, e.remotePort, 0, -1);
    }
  }

  if (s.enableUdp) {
    // The one locked pass over the shared capture table; the rest works on the copies, looked up
    // by local port through a sorted vector instead of scanning the flows for every socket.
    captureTable_.AgeAndCollect(clock_.TickMs(), kFlowEraseMs, kFlowKeepMs, flows_);
    flowOrder_.resize(flows_.size());
    for (size_t i = 0; i < flows_.size(); ++i) flowOrder_[i] = &flows_[i];
    std::sort(flowOrder_.begin(), flowOrder_.end(),
              [](const CaptureFlow* a, const CaptureFlow* b) { return a->localPort < b->localPort; });
    const auto byPort = [](const CaptureFlow* f, int32_t port) { return f->localPort < port; };

    for (const UdpEntry& e : socketTables_.ReadUdp(SocketTableKind::Udp4)) {
      if (e.localPort == 0) continue;
      const std::wstring_view local = FormatIpv4(e.localAddress, localText);
      const int32_t port = e.localPort;
      auto it = std::lower_bound(flowOrder_.begin(), flowOrder_.end(), port, byPort);
      if (it != flowOrder_.end() && (*it)->localPort == port) {
        for (; it != flowOrder_.end() && (*it)->localPort == port; ++it) {
          const CaptureFlow& f = **it;
          const uint64_t age = snapshotStart > f.lastSeen ? snapshotStart - f.lastSeen : 0;
          const int32_t ageMs = static_cast<int32_t>(std::min<uint64_t>(age, INT32_MAX));
          add(e.pid, L"UDP4", ageMs <= kFlowActiveMs ? L"ACTIVE" : L"RECENT", local, port, f.remoteAddress,
              f.remotePort, f.packets, ageMs, Metered(counting, f.bytesReceived, f.bytesSent));
        }
      } else if (!IsLocalAddress(local) || local == L"0.0.0.0" || s.showLan) {
        add(e.pid, L"UDP4", L"OPEN", local, port, L"*", 0, 0, -1, Metered(counting, 0, 0));
      }
    }

    if (s.enableIpv6) {
      for (const UdpEntry& e : socketTables_.ReadUdp(SocketTableKind::Udp6)) {
        if (e.localPort == 0) continue;
        const std::wstring local = Ipv6Text(e.localAddress);
        if (local == L"::") continue;
        add(e.pid, L"UDP6", L"OPEN", local, e.localPort, L"*", 0, 0, -1);
      }
    }
  }

  if (demoMode_) {
    // Demo traffic starts as if the rows had been busy for ten minutes, so their totals look lived in.
    const uint64_t now = clock_.TickMs();
    if (demoStart_ == 0) demoStart_ = now > 0 ? now : 1;
    const double seconds = 600.0 + static_cast<double>(now - std::min(now, demoStart_)) / 1000.0;
    for (size_t i = 0; i < DemoRows().size(); ++i) {
      const DemoRow& d = DemoRows()[i];
      add(d.pid, d.protocol, d.state, kDemoLocalAddress, d.localPort, d.remoteAddress, d.remotePort, d.packets, d.ageMs,
          DemoTrafficAt(i, seconds));
    }
  }

  SortAndDeduplicate(rows);
}

void Snapshotter::SortAndDeduplicate(RowList& rows) {
  // Rows share a few hundred names, so the case-insensitive comparison is done once per distinct
  // name (a rank per process id) and the row sort compares integers, then endpoints.
  std::vector<ProcessInfo*>& infos = infoOrder_;
  infos.clear();
  for (auto& entry : infoCache_) infos.push_back(&entry.second);
  std::sort(infos.begin(), infos.end(),
            [](const ProcessInfo* a, const ProcessInfo* b) { return CompareNoCase(a->name, b->name) < 0; });
  uint32_t rank = 0;
  for (size_t i = 0; i < infos.size(); ++i) {
    if (i > 0 && CompareNoCase(infos[i - 1]->name, infos[i]->name) != 0) ++rank;
    infos[i]->rank = rank;
  }

  // Each candidate's sort key: the name rank and the remote endpoint packed one code unit per byte
  // into three integers, which orders and tells apart endpoints exactly when both texts are at most
  // 24 code units between 1 and 255 (every IPv4 endpoint, "*" and the voice texts). Longer texts
  // and other code units are compared as texts.
  // The keys are placed in name order at once (a counting sort by rank), so the comparison sort
  // only orders each name's rows.
  rankEnds_.assign(static_cast<size_t>(rank) + 2, 0);
  for (const Candidate& c : candidates_) ++rankEnds_[c.info->rank + 1];
  for (size_t r = 1; r < rankEnds_.size(); ++r) rankEnds_[r] += rankEnds_[r - 1];
  keys_.resize(candidates_.size());
  for (size_t i = 0; i < candidates_.size(); ++i) {
    const std::wstring_view endpoint = Text(candidates_[i].remote);
    SortKey& k = keys_[rankEnds_[candidates_[i].info->rank]++];
    k.index = static_cast<uint32_t>(i);
    k.pid = candidates_[i].pid;
    k.packed = endpoint.size() <= 8 * std::size(k.words);
    k.words = {};
    for (size_t j = 0; j < endpoint.size() && j < 8 * std::size(k.words); ++j) {
      const uint32_t c = static_cast<uint32_t>(endpoint[j]);
      if (c == 0 || c > 0xFF) k.packed = false;
      k.words[j / 8] |= static_cast<uint64_t>(c & 0xFF) << (56 - 8 * (j % 8));
    }
  }
  const auto sameEndpoint = [this](const SortKey& a, const SortKey& b) {
    if (a.packed && b.packed) return a.words[0] == b.words[0] && a.words[1] == b.words[1] && a.words[2] == b.words[2];
    return Text(candidates_[a.index].remote) == Text(candidates_[b.index].remote);
  };
  // Beyond name and remote endpoint (the visible order) the rest of the row key and the order of
  // addition break ties, so that duplicates end up adjacent with the first one added in front.
  const auto less = [&](const SortKey& a, const SortKey& b) {
    if (a.packed && b.packed) {
      for (size_t w = 0; w < std::size(a.words); ++w)
        if (a.words[w] != b.words[w]) return a.words[w] < b.words[w];
    } else if (const int c = Text(candidates_[a.index].remote).compare(Text(candidates_[b.index].remote)); c != 0) {
      return c < 0;
    }
    if (a.pid != b.pid) return a.pid < b.pid;
    const Candidate& x = candidates_[a.index];
    const Candidate& y = candidates_[b.index];
    if (const int c = x.protocol.compare(y.protocol); c != 0) return c < 0;
    if (const int c = Text(x.local).compare(Text(y.local)); c != 0) return c < 0;
    return a.index < b.index;
  };
  // After placing, rankEnds_[r] is where rank r's keys end and rank r + 1's begin.
  for (size_t r = 0; r + 1 < rankEnds_.size(); ++r)
    std::sort(keys_.begin() + (r == 0 ? 0 : rankEnds_[r - 1]), keys_.begin() + rankEnds_[r], less);

  // Only the surviving candidates become rows, written in final order over the recycled list.
  size_t used = 0;
  const SortKey* previous = nullptr;
  rows.reserve(keys_.size());
  for (const SortKey& k : keys_) {
    const Candidate& c = candidates_[k.index];
    if (previous != nullptr) {
      const Candidate& p = candidates_[previous->index];
      if (p.pid == c.pid && sameEndpoint(*previous, k) && p.protocol == c.protocol && Text(p.local) == Text(c.local))
        continue;
    }
    previous = &k;
    if (used == rows.size()) rows.emplace_back();
    Materialise(c, rows[used++]);
  }
  rows.resize(used);
}

}  // namespace tolvane
