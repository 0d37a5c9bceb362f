// The socket snapshot. Cost is dominated by the rows themselves (a dozen short wide strings each),
// so the per-row path avoids further allocations: the category and hidden flag are computed once per
// process id, endpoints are appended into reserved strings, and the de-duplication key is built in
// a scratch string that is only copied into the seen set when the row is admitted.
#include "monitor/snapshot.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "monitor/address.h"
#include "monitor/classification.h"
#include "monitor/socket_table_reader.h"

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
  while (n > 0) out.push_back(digits[--n]);
}

void AppendSigned(std::wstring& out, int64_t value) {
  if (value < 0) {
    out.push_back(L'-');
    AppendDecimal(out, static_cast<uint64_t>(-(value + 1)) + 1);
  } else {
    AppendDecimal(out, static_cast<uint64_t>(value));
  }
}

// address:port, or [address]:port for IPv6.
std::wstring Endpoint(std::wstring_view address, int32_t port, bool ipv6) {
  std::wstring out;
  out.reserve(address.size() + 9);
  if (ipv6) out.push_back(L'[');
  out.append(address);
  if (ipv6) out.push_back(L']');
  out.push_back(L':');
  AppendSigned(out, port);
  return out;
}

bool IsZero(const std::array<uint8_t, 16>& bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

uint32_t FirstFour(const std::array<uint8_t, 16>& bytes) {
  uint32_t value;
  std::memcpy(&value, bytes.data(), 4);
  return value;
}

wchar_t Fold(wchar_t c) {
  if (c < 128) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
  return static_cast<wchar_t>(std::towlower(c));
}

}  // namespace

std::wstring Ipv4Text(uint32_t networkOrderAddress) {
  Ipv4Bytes bytes;
  std::memcpy(bytes.data(), &networkOrderAddress, 4);
  std::wstring text = InetNtop4(bytes);
  if (text.empty()) return L"0.0.0.0";
  return text;
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

void Snapshotter::RebuildProcessNames() {
  std::vector<ProcessEntry> processes;
  if (!processList_.Snapshot(processes)) processes.clear();
  ProcessNames names;
  names.reserve(processes.size() + 8);
  for (ProcessEntry& p : processes) names.insert_or_assign(p.pid, std::move(p.exeName));
  names.insert_or_assign(0u, L"System Idle");
  names.insert_or_assign(4u, L"System");
  if (demoMode_)
    for (const DemoProcess& d : DemoProcesses()) names.insert_or_assign(d.pid, std::wstring(d.name));
  // The cache points into the old table, so it goes first.
  infoCache_.clear();
  processNames_ = std::move(names);
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
  AddRowWith(ReadSwitches(), rows, seenKeys, pid, protocol, state, localAddress, localPort, remoteAddress, remotePort,
             packets, ageMs);
}

void Snapshotter::AddRowWith(const Switches& s, RowList& rows, SeenKeys& seenKeys, uint32_t pid,
                             std::wstring_view protocol, std::wstring_view state, std::wstring_view localAddress,
                             int32_t localPort, std::wstring_view remoteAddress, int32_t remotePort, uint64_t packets,
                             int32_t ageMs) {
  const ProcessInfo& info = InfoOf(pid);
  if (!s.showSystem && info.hidden) return;
  const bool isUdp = StartsWith(protocol, L"UDP");
  const bool voiceCandidate = remotePort == 0 && isUdp && IsVoiceCapableCategory(info.category) && localPort > 1023;
  const bool ipv6 = localAddress.find(L':') != std::wstring_view::npos;

  const bool remoteIsLocal = IsLocalAddress(remoteAddress);
  if (remoteIsLocal || !localAddress.empty()) {
    const bool show = remoteIsLocal ? voiceCandidate : true;
    if (!localAddress.empty() && ipv6 && !s.enableIpv6) return;
    if (isUdp && !s.enableUdp) return;
    if (!show && !s.showLan) return;
  } else if (isUdp && !s.enableUdp) {
    // A public peer with no local address text skips the other checks, but UDP still needs enableUdp.
    return;
  }

  std::wstring localEndpoint = Endpoint(localAddress, localPort, ipv6);
  std::wstring remoteEndpoint;
  if (remotePort > 0) {
    remoteEndpoint = Endpoint(remoteAddress, remotePort, ipv6);
  } else if (voiceCandidate) {
    remoteEndpoint.reserve(17);
    remoteEndpoint = L"Voice UDP :";
    AppendSigned(remoteEndpoint, localPort);
  } else {
    remoteEndpoint = L"*";
  }

  std::wstring& key = keyScratch_;
  key.clear();
  AppendDecimal(key, pid);
  key.push_back(L'|');
  key.append(protocol);
  key.push_back(L'|');
  key.append(localEndpoint);
  key.push_back(L'|');
  key.append(remoteEndpoint);
  if (!seenKeys.insert(key).second) return;

  ConnectionRow& row = rows.emplace_back();
  row.processName = info.name;
  row.pid = pid;
  row.protocol = protocol;
  row.localEndpoint = std::move(localEndpoint);
  row.remoteEndpoint = std::move(remoteEndpoint);
  row.remoteAddress = remoteAddress;
  row.localPort = localPort;
  row.remotePort = remotePort;
  row.state = state;
  row.category = info.category;
  row.role = RoleLabel(info.category, protocol, remoteAddress, remotePort);
  row.packets = packets;
  row.ageMs = ageMs;
}

void Snapshotter::TakeSnapshot(RowList& rows) {
  rows.clear();
  RebuildProcessNames();
  const Switches s = ReadSwitches();
  const uint64_t snapshotStart = clock_.TickMs();
  SeenKeys seenKeys;

  const std::vector<TcpEntry> tcp4 = ReadTcpTable(socketTables_, SocketTableKind::Tcp4);
  rows.reserve(tcp4.size() + 64);
  seenKeys.reserve(tcp4.size() + 64);
  for (const TcpEntry& e : tcp4) {
    if (e.state != kTcpStateEstablished || e.localPort == 0 || e.remotePort == 0 || IsZero(e.remoteAddress, 4))
      continue;
    AddRowWith(s, rows, seenKeys, e.pid, L"TCP4", L"ACTIVE", Ipv4Text(FirstFour(e.localAddress)), e.localPort,
               Ipv4Text(FirstFour(e.remoteAddress)), e.remotePort, 0, -1);
  }

  if (s.enableIpv6) {
    for (const TcpEntry& e : ReadTcpTable(socketTables_, SocketTableKind::Tcp6)) {
      if (e.state != kTcpStateEstablished || e.localPort == 0 || e.remotePort == 0) continue;
      const std::wstring local = Ipv6Text(e.localAddress);
      const std::wstring remote = Ipv6Text(e.remoteAddress);
      if (local == L"::" || remote == L"::") continue;
      AddRowWith(s, rows, seenKeys, e.pid, L"TCP6", L"ACTIVE", local, e.localPort, remote, e.remotePort, 0, -1);
    }
  }

  if (s.enableUdp) {
    // The one locked pass over the shared capture table; the rest works on the copies, looked up
    // by local port through a sorted vector instead of scanning the flows for every socket.
    std::vector<CaptureFlow> flows = captureTable_.AgeAndCollect(clock_.TickMs(), kFlowEraseMs, kFlowKeepMs);
    std::sort(flows.begin(), flows.end(),
              [](const CaptureFlow& a, const CaptureFlow& b) { return a.localPort < b.localPort; });
    const auto byPort = [](const CaptureFlow& f, int32_t port) { return f.localPort < port; };

    const std::vector<UdpEntry> udp4 = ReadUdpTable(socketTables_, SocketTableKind::Udp4);
    rows.reserve(rows.size() + udp4.size() + flows.size());
    seenKeys.reserve(rows.capacity());
    for (const UdpEntry& e : udp4) {
      if (e.localPort == 0) continue;
      const std::wstring local = Ipv4Text(FirstFour(e.localAddress));
      const int32_t port = e.localPort;
      auto it = std::lower_bound(flows.begin(), flows.end(), port, byPort);
      if (it != flows.end() && it->localPort == port) {
        for (; it != flows.end() && it->localPort == port; ++it) {
          const uint64_t age = snapshotStart > it->lastSeen ? snapshotStart - it->lastSeen : 0;
          const int32_t ageMs = static_cast<int32_t>(std::min<uint64_t>(age, INT32_MAX));
          AddRowWith(s, rows, seenKeys, e.pid, L"UDP4", ageMs <= kFlowActiveMs ? L"ACTIVE" : L"RECENT", local, port,
                     it->remoteAddress, it->remotePort, it->packets, ageMs);
        }
      } else if (!IsLocalAddress(local) || local == L"0.0.0.0" || s.showLan) {
        AddRowWith(s, rows, seenKeys, e.pid, L"UDP4", L"OPEN", local, port, L"*", 0, 0, -1);
      }
    }

    if (s.enableIpv6) {
      for (const UdpEntry& e : ReadUdpTable(socketTables_, SocketTableKind::Udp6)) {
        if (e.localPort == 0) continue;
        const std::wstring local = Ipv6Text(e.localAddress);
        if (local == L"::") continue;
        AddRowWith(s, rows, seenKeys, e.pid, L"UDP6", L"OPEN", local, e.localPort, L"*", 0, 0, -1);
      }
    }
  }

  if (demoMode_) {
    for (const DemoRow& d : DemoRows())
      AddRowWith(s, rows, seenKeys, d.pid, d.protocol, d.state, kDemoLocalAddress, d.localPort, d.remoteAddress,
                 d.remotePort, d.packets, d.ageMs);
  }

  std::sort(rows.begin(), rows.end(), [](const ConnectionRow& a, const ConnectionRow& b) {
    const int byName = CompareNoCase(a.processName, b.processName);
    if (byName != 0) return byName < 0;
    return a.remoteEndpoint < b.remoteEndpoint;
  });
}

}  // namespace tolvane
