// Building, ordering and copying the call list; see call_list.h.
#include "capture/call_list.h"

#include <algorithm>
#include <bit>

#include "clipboard/copy_feedback.h"
#include "clipboard/copy_template.h"
#include "monitor/address.h"

namespace tolvane {
namespace {

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool IsCandidate(const ConnectionRow& row, bool webCalls) {
  if (row.category == L"discord") return true;
  return webCalls && row.category == L"browser" && row.protocol == L"UDP4" &&
         row.packets >= CallList::kWebCallMinPackets;
}

// The age is taken as unsigned so that -1 ("no packet seen") and any other negative value count
// as old rather than fresh.
bool IsLiveRow(const ConnectionRow& row) {
  return StartsWith(row.protocol, L"UDP") && row.packets > 0 &&
         static_cast<uint32_t>(row.ageMs) <= CallList::kLiveAgeMs;
}

std::wstring ExpandFor(const Settings& settings, const CallEndpoint& entry) {
  return ExpandIpTemplate(settings, entry.address, entry.remotePort, entry.processName,
                          static_cast<uint32_t>(entry.pid), entry.protocol);
}

}  // namespace

int PacketClass(uint64_t packets) { return packets < 2 ? 0 : static_cast<int>(std::bit_width(packets)) - 1; }

CallList::CallList(const Settings& settings, const CallPrefixList& prefixes, Clock& clock)
    : settings_(settings), prefixes_(prefixes), clock_(clock) {}

void CallList::RebuildCallList(const RowList& rows) {
  const bool webCalls = settings_.webCalls;
  std::vector<CallEndpoint> list;
  std::map<std::wstring, size_t> indexOf;
  for (const ConnectionRow& row : rows) {
    if (!IsCandidate(row, webCalls)) continue;
    if (row.protocol.empty() || row.protocol.back() != L'4') continue;
    if (row.remoteAddress.empty() || IsLocalAddress(row.remoteAddress)) continue;
    if (!prefixes_.MatchesCallPrefix(row.remoteAddress)) continue;
    const bool live = IsLiveRow(row);
    const auto found = indexOf.find(row.remoteAddress);
    if (found != indexOf.end()) {
      CallEndpoint& entry = list[found->second];
      entry.packets += row.packets;
      if (live && !entry.live) {
        entry.live = true;
        entry.protocol = row.protocol;
        entry.remotePort = row.remotePort;
        entry.processName = row.processName;
        entry.pid = static_cast<int32_t>(row.pid);
        entry.ageMs = row.ageMs;
      }
      continue;
    }
    indexOf.emplace(row.remoteAddress, list.size());
    list.push_back(CallEndpoint{row.remoteAddress, row.remotePort, row.protocol, row.processName,
                                static_cast<int32_t>(row.pid), row.packets, row.ageMs, live});
  }

  const uint64_t now = clock_.TickMs();
  std::map<std::wstring, uint64_t> firstSeen;
  for (const CallEndpoint& entry : list) {
    const auto old = firstSeen_.find(entry.address);
    firstSeen.emplace(entry.address, old != firstSeen_.end() ? old->second : now);
  }
  firstSeen_.swap(firstSeen);

  std::sort(list.begin(), list.end(), [this](const CallEndpoint& a, const CallEndpoint& b) {
    if (a.live != b.live) return a.live;
    const int classA = PacketClass(a.packets);
    const int classB = PacketClass(b.packets);
    if (classA != classB) return classA > classB;
    const uint64_t seenA = firstSeen_.at(a.address);
    const uint64_t seenB = firstSeen_.at(b.address);
    if (seenA != seenB) return seenA < seenB;
    return a.address < b.address;
  });

  if (list != entries_) ++revision_;
  entries_.swap(list);

  if (entries_.empty() || !entries_.front().live) {
    lastAutoCopied_.clear();
  } else if (settings_.autoCopyCall && entries_.front().address != lastAutoCopied_) {
    pendingAutoCopy_ = entries_.front().address;
    lastAutoCopied_ = entries_.front().address;
  }
}

uint64_t CallList::FirstSeen(const std::wstring& address) const {
  const auto found = firstSeen_.find(address);
  return found == firstSeen_.end() ? 0 : found->second;
}

bool CallList::RunPendingAutoCopy(CopyFeedback& feedback, uintptr_t window) {
  if (pendingAutoCopy_.empty()) return false;
  // The values come from the entry of the pending address itself: a rebuild since the decision
  // may have put another address first, whose port and process would not belong to it.
  CallEndpoint values;
  values.address = pendingAutoCopy_;
  for (const CallEndpoint& entry : entries_) {
    if (entry.address == pendingAutoCopy_) {
      values = entry;
      break;
    }
  }
  feedback.CopyWithFeedback(window, ExpandFor(settings_, values), L"Call IP (auto)");
  pendingAutoCopy_.clear();
  return true;
}

bool CallList::CopyAllCallIps(CopyFeedback& feedback, uintptr_t window) {
  if (entries_.empty()) return false;
  std::wstring text;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (i > 0) text += L"\r\n";
    text += ExpandFor(settings_, entries_[i]);
  }
  if (!feedback.SetClipboardText(window, text)) return false;
  feedback.RecordCopied(text);
  std::wstring message = L"Copied " + std::to_wstring(entries_.size()) + L" call IP";
  if (entries_.size() > 1) message += L's';
  feedback.ShowToast(std::move(message));
  return true;
}

CallCounts CallList::CallStats() const {
  CallCounts counts;
  counts.count = entries_.size();
  counts.live = static_cast<size_t>(
      std::count_if(entries_.begin(), entries_.end(), [](const CallEndpoint& e) { return e.live; }));
  return counts;
}

}  // namespace tolvane
