// The call list: the remote IPv4 addresses that are most likely the servers of the voice call in
// progress, with their merged packet counts, live state and auto-copy.
//
// RebuildCallList runs on the main thread from the same copy of the published rows that the
// connection view was built from; the list is replaced whole on each rebuild. A row is a candidate
// when it belongs to Discord (or, with webCalls on, is a busy browser UDP4 socket), talks IPv4 to a
// public address and matches the call prefixes. Rows with the same address merge into one entry:
// packets add up and the first live row defines the entry's port, process and age. The order puts
// the live voice server first: live, then packet class (floor of log2), then first seen, then
// address. Everything here is main-thread only; the prefix list it reads has its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "capture/call_prefix.h"
#include "monitor/connection_row.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace tolvane {

class CopyFeedback;

struct CallEndpoint {
  std::wstring address;  // remote IPv4 address text; unique within the list
  int32_t remotePort = 0;
  std::wstring protocol;  // "UDP4" or "TCP4"
  std::wstring processName;
  int32_t pid = 0;
  uint64_t packets = 0;  // sum over every merged row
  int32_t ageMs = -1;    // ms since the defining row's last packet; -1 when unknown
  bool live = false;     // a UDP row of the entry had packets within the last 5 s

  bool operator==(const CallEndpoint&) const = default;
};

struct CallCounts {
  size_t count = 0;
  size_t live = 0;
};

class CallList {
 public:
  static constexpr uint32_t kLiveAgeMs = 4999;
  static constexpr uint64_t kWebCallMinPackets = 20;

  CallList(const Settings& settings, const CallPrefixList& prefixes, Clock& clock);

  // Rebuilds the list from all published rows, updates the first-seen table and makes the
  // auto-copy decision. Revision() grows when the entries differ from the previous list.
  void RebuildCallList(const RowList& rows);

  const std::vector<CallEndpoint>& Entries() const { return entries_; }
  uint64_t Revision() const { return revision_; }

  // TickMs at which the address entered the list; 0 for an address not in it.
  uint64_t FirstSeen(const std::wstring& address) const;

  const std::wstring& lastAutoCopied() const { return lastAutoCopied_; }
  const std::wstring& pendingAutoCopy() const { return pendingAutoCopy_; }

  // Copies the pending auto-copy address through the IP template with the label
  // "Call IP (auto)". Returns true when something was attempted (the window repaints).
  bool RunPendingAutoCopy(CopyFeedback& feedback, uintptr_t window);

  // "Copy all": every entry through the IP template, lines joined with CR LF. Shows
  // "Copied N call IP(s)" and records the copied marker on success; shows nothing on failure.
  // Returns whether the clipboard took the text (false also for an empty list).
  bool CopyAllCallIps(CopyFeedback& feedback, uintptr_t window);

  CallCounts CallStats() const;

 private:
  const Settings& settings_;
  const CallPrefixList& prefixes_;
  Clock& clock_;
  std::vector<CallEndpoint> entries_;
  std::map<std::wstring, uint64_t> firstSeen_;
  std::wstring lastAutoCopied_;
  std::wstring pendingAutoCopy_;
  uint64_t revision_ = 0;
};

// 0 below 2 packets, otherwise floor(log2(packets)).
int PacketClass(uint64_t packets);

}  // namespace tolvane
