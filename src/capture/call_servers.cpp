// Locating, remembering and the move notice of the call servers; see call_servers.h.
#include "capture/call_servers.h"

#include <algorithm>
#include <array>

#include "latency/grading.h"

namespace tolvane {
namespace {

// Past the size where the places map is worth trimming (a run that saw this many call addresses).
constexpr size_t kPlacesKept = 4096;

struct DemoPlace {
  const wchar_t* address;  // null: any other address
  const wchar_t* place;
  const wchar_t* country;
};

// Made-up answers for the demo, so it shows places without sending anything. The AS numbers are
// from the range set aside for documentation.
constexpr std::array<DemoPlace, 5> kDemoPlaces = {{
    {L"35.214.40.77", L"Frankfurt", L"DE"},
    {L"104.18.12.201", L"Amsterdam", L"NL"},
    {L"104.18.32.47", L"Paris", L"FR"},
    {L"66.22.199.5", L"Rotterdam", L"NL"},
    {L"162.159.135.234", L"London", L"GB"},
}};
constexpr std::array<DemoPlace, 4> kDemoOtherPlaces = {{
    {nullptr, L"Stockholm", L"SE"},
    {nullptr, L"Warsaw", L"PL"},
    {nullptr, L"Madrid", L"ES"},
    {nullptr, L"Milan", L"IT"},
}};
constexpr wchar_t kDemoOwner[] = L"Demo Voice Hosting / AS64500 Demo Voice";

DemoPlace DemoPlaceOf(const std::wstring& address) {
  for (const DemoPlace& p : kDemoPlaces)
    if (address == p.address) return p;
  uint32_t hash = 0;
  for (wchar_t c : address) hash = hash * 31u + static_cast<uint32_t>(c);
  return kDemoOtherPlaces[hash % kDemoOtherPlaces.size()];
}

int64_t WallMs(Clock& clock) { return clock.SystemNs() / 1000000; }

}  // namespace

std::wstring PlaceText(const std::wstring& place, const std::wstring& country) {
  if (place.empty()) return country;
  if (country.empty()) return place;
  return place + L", " + country;
}

void PlaceOfLookup(const LookupResult& r, std::wstring& place, std::wstring& country, std::wstring& owner) {
  place = !r.city.empty() ? r.city : !r.regionName.empty() ? r.regionName : r.country;
  country = r.countryCode;
  owner = r.isp;
  if (!r.as.empty()) owner += (owner.empty() ? L"" : L" / ") + r.as;
}

CallServers::CallServers(const Settings& settings, const CallList& calls, LookupCache& lookups,
                         const LatencyBook& latency, FileSystem& files, Clock& clock, Toast& toast, bool demoMode,
                         std::function<void()> playSound)
    : settings_(settings),
      calls_(calls),
      lookups_(lookups),
      latency_(latency),
      files_(files),
      clock_(clock),
      toast_(toast),
      demo_(demoMode),
      playSound_(std::move(playSound)) {}

void CallServers::Load() {
  const int64_t now = WallMs(clock_);
  if (demo_) {
    // Two calls of earlier days, so the demo's history has more than today's servers.
    constexpr int64_t kHour = 3600000;
    history_ = {
        CallServerRecord{L"35.214.41.12", 50012, now - 27 * kHour, now - 25 * kHour, 412300, 31, L"Frankfurt", L"DE",
                         kDemoOwner},
        CallServerRecord{L"104.18.12.77", 50027, now - 75 * kHour, now - 74 * kHour, 98100, 44, L"Amsterdam", L"NL",
                         kDemoOwner},
    };
    ++historyRevision_;
    return;
  }
  CallHistoryLoad load = LoadCallHistory(files_, clock_);
  history_ = std::move(load.records);
  writable_ = load.writable;
  setAsidePath_ = load.setAsidePath;
  if (!setAsidePath_.empty()) {
    const size_t sep = setAsidePath_.find_last_of(L"\\/");
    toast_.Show(L"The call history file could not be read; it was kept as " + setAsidePath_.substr(sep + 1));
  }
  ++historyRevision_;
}

uint32_t CallServers::Tick(bool listCurrent) {
  uint32_t changes = 0;
  for (const LookupResult& r : lookups_.TakeLocated()) {
    Place& p = places_[r.address];
    if (r.state != LookupState::Done) {
      if (p.state == Locating::Pending)
        p.state = p.place.empty() && p.country.empty() ? Locating::Failed : Locating::Known;
      continue;
    }
    PlaceOfLookup(r, p.place, p.country, p.owner);
    p.state = Locating::Known;
    changes |= kPlacesChanged;
    if (CallServerRecord* record = Find(r.address)) {
      record->place = p.place;
      record->country = p.country;
      record->owner = p.owner;
      dirty_ = true;
      changes |= kHistoryChanged;
    }
  }

  const uint64_t now = clock_.TickMs();
  if (calls_.Revision() != seenCallRevision_ || (listCurrent && now - lastFollowMs_ >= kUpdateIntervalMs)) {
    seenCallRevision_ = calls_.Revision();
    lastFollowMs_ = now;
    Follow(changes);
  }
  ShowMoveWhenDue(now);

  if (dirty_ && !demo_ && writable_ && (!saved_ || now - lastSaveMs_ >= kSaveIntervalMs)) Save();
  if (changes & kHistoryChanged) ++historyRevision_;
  return changes;
}

void CallServers::SaveNow() {
  if (dirty_ && !demo_ && writable_) Save();
}

bool CallServers::Save() {
  saved_ = true;
  lastSaveMs_ = clock_.TickMs();
  BoundCallHistory(history_, WallMs(clock_));
  if (!SaveCallHistory(history_, files_, clock_)) return false;  // tried again after the interval
  dirty_ = false;
  return true;
}

std::wstring CallServers::PlaceOf(const std::wstring& address) const {
  const auto it = places_.find(address);
  return it == places_.end() ? std::wstring() : PlaceText(it->second.place, it->second.country);
}

CallServerRecord* CallServers::Find(const std::wstring& address) {
  for (CallServerRecord& r : history_)
    if (r.address == address) return &r;
  return nullptr;
}

void CallServers::Follow(uint32_t& changes) {
  const int64_t wall = WallMs(clock_);
  if (places_.size() > kPlacesKept)
    std::erase_if(places_, [](const auto& p) { return p.second.state != Locating::Pending; });
  for (const CallEndpoint& e : calls_.Entries()) {
    EnsureLocated(e.address, changes);
    if (e.live) Remember(e, wall, changes);
  }
  NoteVoiceServer();
}

void CallServers::EnsureLocated(const std::wstring& address, uint32_t& changes) {
  if (places_.count(address) != 0) return;
  if (demo_) {
    const DemoPlace demo = DemoPlaceOf(address);
    places_[address] = Place{Locating::Known, demo.place, demo.country, kDemoOwner};
    changes |= kPlacesChanged;
    return;
  }
  const CallServerRecord* known = Find(address);
  const bool hasPlace = known && !(known->place.empty() && known->country.empty());
  if (hasPlace) {
    Place& p = places_[address];
    p = Place{Locating::Known, known->place, known->country, known->owner};
    changes |= kPlacesChanged;
    if (WallMs(clock_) - known->firstSeenMs <= kRelocateAfterMs) return;
    p.state = Locating::Pending;  // shown meanwhile; the answer replaces it
  }
  if (!settings_.locateCalls) {
    if (!hasPlace) return;  // asked once the setting is on again
    places_[address].state = Locating::Known;
    return;
  }
  places_[address].state = Locating::Pending;
  lookups_.RequestLocate(address);
}

void CallServers::Remember(const CallEndpoint& e, int64_t wallMs, uint32_t& changes) {
  CallServerRecord* record = Find(e.address);
  if (!record) {
    history_.push_back(CallServerRecord{e.address, e.remotePort, wallMs, wallMs, 0, -1, {}, {}, {}});
    record = &history_.back();
  }
  record->port = e.remotePort;
  record->lastSeenMs = std::max(record->lastSeenMs, wallMs);
  record->firstSeenMs = std::min(record->firstSeenMs, wallMs);
  // Counters of a flow only grow; a smaller count is a new flow, whose packets all are new.
  uint64_t& last = lastPackets_[e.address];
  record->packets += e.packets >= last ? e.packets - last : e.packets;
  last = e.packets;
  const int32_t median = MedianLatency(latency_.LatencyHistory(e.address), true);
  if (median > 0) record->medianMs = median;
  const auto place = places_.find(e.address);
  if (place != places_.end() && place->second.state == Locating::Known) {
    record->place = place->second.place;
    record->country = place->second.country;
    record->owner = place->second.owner;
  }
  dirty_ = true;
  changes |= kHistoryChanged;
}

void CallServers::NoteVoiceServer() {
  const std::vector<CallEndpoint>& entries = calls_.Entries();
  if (entries.empty()) {  // the call is over: the next call's first server is no move
    voiceServer_.clear();
    move_.reset();
    return;
  }
  if (!entries.front().live) return;
  const std::wstring& first = entries.front().address;
  if (!voiceServer_.empty() && first != voiceServer_) move_ = Move{voiceServer_, first, clock_.TickMs()};
  voiceServer_ = first;
}

std::wstring CallServers::MoveName(const std::wstring& address) const {
  const auto it = places_.find(address);
  if (it != places_.end() && !it->second.place.empty()) return it->second.place;
  return address;
}

void CallServers::ShowMoveWhenDue(uint64_t now) {
  if (!move_) return;
  const auto place = places_.find(move_->to);
  const bool placeSettled = place == places_.end() || place->second.state != Locating::Pending;
  const std::optional<int32_t> ms = latency_.Latest(move_->to);
  const bool latencySettled = ms.has_value() || !settings_.enablePing;
  if (!(placeSettled && latencySettled) && now - move_->sinceMs < kMoveWaitMs) return;
  std::wstring text = L"Voice server moved: " + MoveName(move_->from) + L" \u2192 " + MoveName(move_->to);
  if (ms && *ms > 0 && settings_.enablePing) text += L" (" + std::to_wstring(*ms) + L" ms)";
  toast_.Show(std::move(text));
  if (settings_.callMoveSound && playSound_) playSound_();
  move_.reset();
}

}  // namespace tolvane
