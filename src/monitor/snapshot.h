// The socket snapshot: one pass over the process list, the four socket tables and the captured
// UDP flows that yields the sorted, filtered, de-duplicated list of ConnectionRows.
//
// A Snapshotter belongs to the refresh thread: it owns ProcessNames and a cache of what each process
// id classifies as, and reads the shared CaptureTable only through its one locked pass
// (AgeAndCollect), and the TCP flows' byte counters through one pass of their own. Each TCP4 and
// UDP4 row carries its flow's byte counters while capture counts (RowTraffic), and demo rows carry
// made-up ones. Settings switches are read once at the start of each snapshot, so a switch flipped
// on the main thread mid-snapshot never yields a half-filtered list.
//
// What a snapshot learnt is kept for the next one: a process (its id and start time) keeps its name
// and classification until it ends, and the process list and the working vectors are reused (the
// Windows socket tables keep their buffers themselves), so on a machine where nothing changes a
// snapshot reads the system and allocates next to nothing.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "monitor/capture_table.h"
#include "monitor/connection_row.h"
#include "platform/clock.h"
#include "platform/inet.h"
#include "platform/process_list.h"
#include "platform/socket_tables.h"
#include "settings/settings.h"

namespace tolvane {

using ProcessNames = std::unordered_map<uint32_t, std::wstring>;
using SeenKeys = std::unordered_set<std::wstring>;

// Captured flows count as call traffic while their last packet is at most this old; older ones
// are erased from the capture table by the snapshot.
inline constexpr uint64_t kFlowKeepMs = 8000;
inline constexpr uint64_t kFlowEraseMs = 20000;
inline constexpr int32_t kFlowActiveMs = 3999;  // up to this age a flow's row is "ACTIVE", then "RECENT"

// Dotted text of an IPv4 address given in network byte order (as the socket tables hold it), the
// same text as the platform's inet_ntop (which cannot fail for IPv4).
std::wstring Ipv4Text(uint32_t networkOrderAddress);
// The system's compressed text of an IPv6 address; "::" when the conversion fails.
std::wstring Ipv6Text(const Ipv6Bytes& address);

// The 18 process names hidden while showSystem is off, and the whole-name, case-insensitive test.
const std::array<std::wstring_view, 18>& HiddenProcessNames();
bool IsHiddenProcessName(std::wstring_view name);

// Case-insensitive comparison of process names (towlower per code unit): <0, 0 or >0.
int CompareNoCase(std::wstring_view a, std::wstring_view b);

struct DemoProcess {
  uint32_t pid;
  std::wstring_view name;
};
struct DemoRow {
  uint32_t pid;
  std::wstring_view protocol;
  std::wstring_view state;
  int32_t localPort;
  std::wstring_view remoteAddress;
  int32_t remotePort;
  uint64_t packets;
  int32_t ageMs;
};
inline constexpr std::wstring_view kDemoLocalAddress = L"192.168.1.23";
const std::array<DemoProcess, 3>& DemoProcesses();
const std::array<DemoRow, 8>& DemoRows();

class Snapshotter {
 public:
  Snapshotter(Settings& settings, CaptureTable& captureTable, SocketTables& socketTables, ProcessList& processList,
              Clock& clock, bool demoMode);

  // Replaces rows with the current snapshot, sorted by process name (case-insensitive), then by
  // remote endpoint. Sources that cannot be read contribute no rows. Rows already in the list are
  // overwritten in place, so passing back the previous snapshot's list reuses its memory.
  void TakeSnapshot(RowList& rows);

  // Builds one row from raw values with the admission rules, classification and de-duplication
  // against seenKeys, and appends it when admitted. Names come from the ProcessNames of the latest
  // snapshot; the settings are read at the call.
  void AddRow(RowList& rows, SeenKeys& seenKeys, uint32_t pid, std::wstring_view protocol, std::wstring_view state,
              std::wstring_view localAddress, int32_t localPort, std::wstring_view remoteAddress, int32_t remotePort,
              uint64_t packets, int32_t ageMs);

  const ProcessNames& processNames() const { return processNames_; }

 private:
  struct Switches {
    bool showSystem = false;
    bool showLan = false;
    bool enableIpv6 = true;
    bool enableUdp = true;
  };
  struct ProcessInfo {
    std::wstring_view name;  // into processNames_ or a literal
    std::wstring_view category;
    bool hidden = false;
    uint32_t rank = 0;  // position of the name in case-insensitive order, set while sorting
  };

  // A range of textPool_.
  struct TextSpan {
    uint32_t at = 0;
    uint32_t length = 0;
  };
  // An admitted row before it becomes a ConnectionRow: numbers and views of fixed texts, with the
  // endpoint and address texts in textPool_. Candidates are sorted and de-duplicated first, so only
  // the surviving ones pay for the row's strings.
  struct Candidate {
    const ProcessInfo* info = nullptr;  // into infoCache_
    uint32_t pid = 0;
    int32_t localPort = 0;
    int32_t remotePort = 0;
    int32_t ageMs = -1;
    uint64_t packets = 0;
    RowTraffic traffic;
    std::wstring_view protocol;  // literals, or the caller's texts for AddRow
    std::wstring_view state;
    TextSpan local, remote, address;  // localEndpoint, remoteEndpoint, remoteAddress
  };
  struct SortKey {
    uint32_t index;
    uint32_t pid;
    std::array<uint64_t, 3> words;  // the remote endpoint, one code unit per byte
    bool packed;                    // words hold the whole endpoint
  };

  // Follows the process list: names of new processes (or of an id now held by another process) are
  // stored, those of ended processes dropped with their classification; the rest is kept as it is.
  void UpdateProcessNames();
  const ProcessInfo& InfoOf(uint32_t pid);
  // Admission and classification of one row into c, its texts appended to textPool_; false (c and
  // the pool untouched) when dropped.
  bool MakeCandidate(const Switches& s, Candidate& c, uint32_t pid, std::wstring_view protocol, std::wstring_view state,
                     std::wstring_view localAddress, int32_t localPort, std::wstring_view remoteAddress,
                     int32_t remotePort, uint64_t packets, int32_t ageMs);
  void Materialise(const Candidate& c, ConnectionRow& row) const;
  std::wstring_view Text(TextSpan span) const { return std::wstring_view(textPool_).substr(span.at, span.length); }
  Switches ReadSwitches() const;
  // The final order, and de-duplication by RowKey keeping the candidate added first, into rows.
  void SortAndDeduplicate(RowList& rows);

  Settings& settings_;
  CaptureTable& captureTable_;
  SocketTables& socketTables_;
  ProcessList& processList_;
  Clock& clock_;
  bool demoMode_;
  ProcessNames processNames_;
  struct ProcessStamp {
    uint64_t creationTime = 0;
    uint64_t listed = 0;  // the last process list that held the id
  };
  std::unordered_map<uint32_t, ProcessStamp> processStamps_;  // the ids of processNames_
  uint64_t processLists_ = 0;
  std::vector<ProcessEntry> processEntries_;
  // Classification per process id; an entry's name points into processNames_, so it goes when that
  // name changes or goes.
  std::unordered_map<uint32_t, ProcessInfo> infoCache_;
  // Working storage of one snapshot, kept so that its memory is reused by the next.
  std::vector<Candidate> candidates_;
  std::wstring textPool_;
  std::vector<SortKey> keys_;
  std::vector<size_t> rankEnds_;
  std::vector<ProcessInfo*> infoOrder_;
  std::vector<CaptureFlow> flows_;
  std::vector<const CaptureFlow*> flowOrder_;
  std::vector<FlowCounters> tcpCounters_;
  uint64_t demoStart_ = 0;  // TickMs of the first demo snapshot; 0 before it
};

}  // namespace tolvane
