// ConnectionRow: one socket row of a snapshot, as the table shows it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// The traffic of one socket row. The snapshot fills the counters from the row's captured flow; the
// traffic meter of the refresh thread turns them into the rate and the totals. A row without
// capture (capture off or failing, IPv6) is not metered and has none of them.
struct RowTraffic {
  bool metered = false;
  uint64_t counterReceived = 0, counterSent = 0;  // the flow's byte counters when the snapshot was taken
  uint64_t rateReceived = 0, rateSent = 0;        // bytes per second over the last refresh interval
  uint64_t totalReceived = 0, totalSent = 0;      // bytes since the row appeared
  bool operator==(const RowTraffic&) const = default;
};

struct ConnectionRow {
  std::wstring processName;  // executable name; "Unknown" when the pid has no name
  uint32_t pid = 0;
  std::wstring protocol;        // "TCP4", "TCP6", "UDP4" or "UDP6"
  std::wstring localEndpoint;   // "a.b.c.d:port" or "[v6]:port"
  std::wstring remoteEndpoint;  // same form, "Voice UDP :" + local port, or "*"
  std::wstring remoteAddress;   // address text alone; "*" without a peer
  int32_t localPort = 0;
  int32_t remotePort = 0;  // 0 without a peer
  std::wstring state;      // "ACTIVE", "OPEN" or "RECENT"
  std::wstring category;   // AppCategory word
  std::wstring role;       // role label
  uint64_t packets = 0;    // captured packets of the flow; 0 without call traffic
  int32_t ageMs = -1;      // ms since the flow's last packet; -1 without call traffic
  RowTraffic traffic;
};

using RowList = std::vector<ConnectionRow>;

// pid|protocol|localEndpoint|remoteEndpoint: a row's identity across snapshots.
std::wstring RowKey(const ConnectionRow& row);

}  // namespace tolvane
