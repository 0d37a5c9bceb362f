// Call servers: where each server of the call list is, the history of every voice server seen, and
// the notice when the call's voice server moves.
//
// Each new address of the call list is located once, in the background: a text-only request of the
// lookup service (LookupCache::RequestLocate), queued behind the user's own lookups and inside the
// service's rate limit. An address the history located within the last 30 days is not asked again
// (the history keeps no time of locating, so its first sighting stands for it). While locateCalls
// is off nothing is asked. In demo mode the places are made up here and nothing is sent; the demo's
// history lives in memory only and the user's file is neither read nor written.
//
// Every server of the list that carried voice (was live) is kept in the history with its times,
// packets, median latency and place; the file is written at most every 10 s while that changes, and
// at shutdown (call_history.h).
//
// A move: while a call runs (the list is not empty), the first live voice server becomes another
// address. The toast names both places (else the addresses) and the new server's latency; it waits
// up to kMoveWaitMs for the new server's place and first ping so the toast can say them. A
// reconnect to the same address is not a move, nor is a list that empties.
//
// Main thread only; the lookup cache and the latency book take their own locks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture/call_history.h"
#include "capture/call_list.h"
#include "clipboard/toast.h"
#include "latency/latency_book.h"
#include "lookup/lookup_service.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "settings/settings.h"

namespace tolvane {

// "Frankfurt, DE"; one of the two alone when the other is empty.
std::wstring PlaceText(const std::wstring& place, const std::wstring& country);

// The place fields of a lookup answer: the city, else the region, else the country; the country
// code; the ISP and the AS joined with " / ".
void PlaceOfLookup(const LookupResult& result, std::wstring& place, std::wstring& country, std::wstring& owner);

class CallServers {
 public:
  static constexpr int64_t kRelocateAfterMs = 30LL * 24 * 3600 * 1000;
  static constexpr uint64_t kSaveIntervalMs = 10000;
  static constexpr uint64_t kUpdateIntervalMs = 1000;
  static constexpr uint64_t kMoveWaitMs = 4000;

  // Tick's answer: what changed on screen.
  static constexpr uint32_t kPlacesChanged = 1;   // a call card's place
  static constexpr uint32_t kHistoryChanged = 2;  // the history panel's list

  CallServers(const Settings& settings, const CallList& calls, LookupCache& lookups, const LatencyBook& latency,
              FileSystem& files, Clock& clock, Toast& toast, bool demoMode, std::function<void()> playSound);

  // At start, after the settings were loaded: reads the history file (demo: a made-up history).
  void Load();
  // Once per user-interface tick: takes the located answers, follows the call list (at once when it
  // changed, else once a second while listCurrent: a paused or unrefreshed list shows servers that
  // are not being seen now), shows a due move notice and saves when a save is due.
  uint32_t Tick(bool listCurrent = true);
  // Shutdown: writes the history when it changed since the last save (never in demo mode).
  void SaveNow();

  // "Frankfurt, DE" for a located address; empty while unknown.
  std::wstring PlaceOf(const std::wstring& address) const;
  // Every server remembered, in no particular order; HistoryRevision grows with each change.
  const std::vector<CallServerRecord>& History() const { return history_; }
  uint64_t HistoryRevision() const { return historyRevision_; }
  // Where a damaged or foreign history file was put aside at Load; empty when none was.
  const std::wstring& setAsidePath() const { return setAsidePath_; }

 private:
  enum class Locating { Pending, Known, Failed };
  struct Place {
    Locating state = Locating::Pending;
    std::wstring place, country, owner;
  };
  struct Move {
    std::wstring from, to;
    uint64_t sinceMs = 0;
  };

  void Follow(uint32_t& changes);
  void EnsureLocated(const std::wstring& address, uint32_t& changes);
  void Remember(const CallEndpoint& entry, int64_t wallMs, uint32_t& changes);
  void NoteVoiceServer();
  void ShowMoveWhenDue(uint64_t now);
  CallServerRecord* Find(const std::wstring& address);
  std::wstring MoveName(const std::wstring& address) const;
  bool Save();

  const Settings& settings_;
  const CallList& calls_;
  LookupCache& lookups_;
  const LatencyBook& latency_;
  FileSystem& files_;
  Clock& clock_;
  Toast& toast_;
  bool demo_;
  std::function<void()> playSound_;

  std::unordered_map<std::wstring, Place> places_;
  std::vector<CallServerRecord> history_;
  std::unordered_map<std::wstring, uint64_t> lastPackets_;  // the entry's packet count last counted
  uint64_t historyRevision_ = 0;
  uint64_t seenCallRevision_ = UINT64_MAX;
  uint64_t lastFollowMs_ = 0;
  uint64_t lastSaveMs_ = 0;
  bool saved_ = false;  // a save was tried (the 10 s count starts there)
  bool dirty_ = false;
  bool writable_ = true;
  std::wstring setAsidePath_;
  std::wstring voiceServer_;  // the first live server of the running call
  std::optional<Move> move_;
};

}  // namespace tolvane
