// The lookup service: geolocation records per address, the worker that fills them from the
// geolocation web service, the recent-lookups list and the "Copy all info" report.
//
// The main thread asks for lookups (LookupCache::RequestLookup) and reads copies of records
// (SnapshotCurrentLookup); one LookupWorker thread performs the queued lookups strictly one at a time,
// in request order. One lock guards the table, the queue and the contents of every record; it is
// held for table and queue operations and whole-record copies only, never during network access.
// Records are shared: a record that a forced request replaces stays alive for the worker still
// filling it, and snapshots share the (read-only) map image instead of copying its pixels.
//
// Memory is bounded by what the lookup panel showed last: records are kept for the 32 addresses shown
// most recently (a dropped one is looked up again when asked), and map pixels (2.4 MB each) only for
// the five most recently shown, the current lookup first. A record whose map went has it composed
// again from the tile cache when it is shown next, without asking the geolocation service.
//
// Caveats: a lookup in progress is finished before the worker ends, so Join can take as long as the
// HTTP time-outs and the map download allow; the program's end uses Stop instead, after cancelling the
// HTTP client, and does not wait for a request the stack cannot cancel. Every byte of the service's
// answer is untrusted.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "lookup/lookup_current.h"
#include "lookup/rate_limit.h"
#include "platform/clock.h"
#include "platform/http.h"
#include "settings/settings.h"

namespace tolvane {

struct MapImage;

// Root of the geolocation service when the command line names none. Plain HTTP: the free tier of
// this service does not offer HTTPS.
inline constexpr wchar_t kDefaultApiBase[] = L"http://ip-api.com";

enum class LookupState : int32_t { Pending = 0, Done = 1, Failed = 2, Private = 3 };
enum class MapState : int32_t { Loading = 0, Ready = 1, Failed = 2, None = 3 };

struct LookupResult {
  static constexpr float kMapCentre = 384.0f;

  std::wstring address;  // the IP text looked up; also the cache key
  LookupState state = LookupState::Pending;
  std::wstring message;  // why the lookup failed (state Failed)
  std::wstring continent;
  std::wstring country;
  std::wstring countryCode;
  std::wstring regionName;
  std::wstring city;
  std::wstring district;
  std::wstring zip;
  std::wstring timezone;
  std::wstring currency;
  std::wstring isp;
  std::wstring org;
  std::wstring as;  // "AS number" text as the service writes it
  std::wstring asname;
  std::wstring reverse;  // reverse DNS name
  double lat = 0.0;
  double lon = 0.0;
  bool mobile = false;
  bool proxy = false;
  bool hosting = false;
  MapState mapState = MapState::Loading;
  std::shared_ptr<const MapImage> map;  // 768 x 768 street map, or none
  float markerX = kMapCentre;           // (lat, lon) inside the map image
  float markerY = kMapCentre;
};

inline constexpr size_t kMaxRecentLookups = 8;

// The failure texts of a lookup, shown in the panel as they are.
inline constexpr wchar_t kLookupNoDataMessage[] = L"The lookup server returned no data";
inline constexpr wchar_t kLookupRateLimitMessage[] = L"Rate limit reached. Wait a minute and press Refresh.";
inline constexpr wchar_t kLookupUnreachableMessage[] =
    L"Could not reach the lookup server. Check your internet connection or firewall.";
// Each text field of an answer (the failure message included) is cut to this many characters.
inline constexpr size_t kLookupFieldLimit = 256;

// The rate-limit text for a pause of pauseMs: kLookupRateLimitMessage up to a minute, beyond it
// "Rate limit reached. Try again in N minutes." with N rounded up (the pause is at most an hour).
std::wstring RateLimitMessage(uint64_t pauseMs);

class LookupCache {
 public:
  static constexpr size_t kMaxRecords = 32;  // addresses whose texts are kept
  static constexpr size_t kMaxMaps = 5;      // addresses whose map pixels are kept

  // Makes sure the table holds a record for address, and counts it as shown now (the lookup panel
  // shows what is asked for). Without force an existing record (finished or still pending) is reused;
  // one whose map was dropped has it composed again. Otherwise a new record replaces it: Private at
  // once for an address that is not a public internet peer (nothing queued), else Pending with the
  // address queued. Then the least recently shown records beyond the bounds lose their map or go.
  void RequestLookup(const std::wstring& address, bool force);

  // A copy of the record of address (map image shared); a new Pending record with that address when
  // the table holds none.
  LookupResult Snapshot(const std::wstring& address) const;

  // Whether the record of address is still being filled: Pending, or Done with its map loading. True
  // when the table holds none (it shows as Pending). For the window's timer, which asks only after
  // Revision changed.
  bool InProgress(const std::wstring& address) const;
  // Grows with every request and every publication: unchanged means every record is as it was.
  uint64_t Revision() const { return revision_.load(std::memory_order_acquire); }

  // Worker side: takes the first queued address and the record the table holds for it now. False
  // when the queue is empty; true with a null record when the table lost it. mapOnly (when given) is
  // set for a record that only needs its map composed again.
  bool TakeNext(std::wstring& address, std::shared_ptr<LookupResult>& record, bool* mapOnly = nullptr);

  // Copies every field of result into target under the lock.
  void PublishResult(LookupResult& target, const LookupResult& result);
  // For a map composed again: target's place and zoom, false unless it is a finished lookup waiting
  // for its map; then its map (or none), marker and map state.
  bool MapInputs(const LookupResult& target, double& lat, double& lon, int& zoom) const;
  void PublishMap(LookupResult& target, std::shared_ptr<const MapImage> map, float markerX, float markerY);

  size_t QueueSize() const;

  // Locating: a text-only lookup asked for in the background (the call servers), queued behind
  // every lookup of the user. It fetches no map, leaves the table, the recent lookups and the ping
  // focus alone, and its answer is handed back through TakeLocated. An address already waiting is
  // not queued twice; an address the table holds finished is answered from that record at once,
  // and one that is not a public internet peer at once as Private.
  void RequestLocate(const std::wstring& address);
  // The answers (Done, Failed or Private; no map) that came in since the last call, oldest first.
  std::vector<LookupResult> TakeLocated();

  // Worker side of locating: the first waiting address; a refused request goes back to the front.
  bool TakeNextLocate(std::wstring& address);
  void RequeueLocate(const std::wstring& address);
  void PublishLocated(LookupResult result);

 private:
  struct Entry {
    std::shared_ptr<LookupResult> record;
    uint64_t shown = 0;       // when it was last asked for, in requests
    bool mapDropped = false;  // its map went for the bound; composed again when shown
  };
  struct Queued {
    std::wstring address;
    bool mapOnly = false;
  };
  // Drops records beyond kMaxRecords and maps beyond kMaxMaps, least recently shown first.
  void BoundLocked();

  mutable std::mutex lock_;
  std::unordered_map<std::wstring, Entry> table_;
  std::deque<Queued> queue_;  // duplicates allowed (each forced refresh adds one)
  std::deque<std::wstring> locateQueue_;
  std::vector<LookupResult> located_;
  uint64_t requests_ = 0;
  std::atomic<uint64_t> revision_{0};
};

// The record of the current lookup's address, copied under the lookup lock.
LookupResult SnapshotCurrentLookup(const LookupCache& cache, const CurrentLookup& current);

// Builds the street map for a location; the lead binds it to BuildMap with the map sources. Returns
// none when no tile arrived; markerX / markerY receive the location's pixel in the image.
using MapBuilder =
    std::function<std::shared_ptr<const MapImage>(double lat, double lon, int zoom, float& markerX, float& markerY)>;
// Receives the worker's local record each time it is worth showing (once or twice per lookup).
using ResultSink = std::function<void(const LookupResult&)>;

// The map's zoom for a finished lookup: 10 with a city, 6 without.
int MapZoom(const LookupResult& r);

// apiBase + "/json/" + address + the fields query. The address goes into the path unchanged.
std::wstring LookupUrl(const std::wstring& apiBase, const std::wstring& address);

// One lookup, run without the lock: asks the service, fills a local record, and hands it to publish
// once for a failure and twice for a success (text first, then again with the map). An empty
// buildMap counts as a map that could not be built. With a rateLimit, a lookup that it refuses
// fails at once with the rate-limit message and sends nothing, and every answer is reported to it.
// Returns the final record.
LookupResult PerformLookup(const std::wstring& address, const std::wstring& apiBase, HttpClient& http,
                           const MapBuilder& buildMap, const ResultSink& publish, LookupRateLimit* rateLimit = nullptr);

// The permanent worker thread. Start once at window creation; Join after AppRunning was cleared.
// It keeps the service's rate limit (see rate_limit.h) for every lookup it performs.
class LookupWorker {
 public:
  static constexpr uint32_t kIdleSleepMs = 50;  // slept twice per idle turn: one wake-up per 100 ms
  // Locating never uses the last requests of the rate limit's window: they stay the user's.
  static constexpr size_t kLocateReserve = 10;

  LookupWorker(LookupCache& cache, HttpClient& http, MapBuilder buildMap, Clock& clock,
               const std::atomic<bool>& appRunning, std::wstring apiBase);
  ~LookupWorker();  // joins a thread that was started and not joined
  LookupWorker(const LookupWorker&) = delete;
  LookupWorker& operator=(const LookupWorker&) = delete;

  void Start();
  void Join();
  // After appRunning was cleared and the HTTP client cancelled: joins the thread when it is idle or
  // its lookup ends within graceMs (clock time). Otherwise leaves it running and returns false: the
  // caller then ends the process without it, for the request may wait out its whole time-out.
  bool Stop(uint32_t graceMs);
  static constexpr uint32_t kStopStepMs = 10;

  // The thread body: turns until appRunning is false.
  void Run();
  // One turn of the loop: performs the first queued lookup (or composes a dropped map again), or else
  // the first waiting locate when the rate limit has room for it beyond kLocateReserve, and returns
  // true; or sleeps the idle pause (the second half only while the program still runs) and returns
  // false. A locate that the service refused for its rate limit waits at the front of its queue for
  // the pause to end.
  bool RunOnce();

 private:
  LookupCache& cache_;
  HttpClient& http_;
  MapBuilder buildMap_;
  Clock& clock_;
  const std::atomic<bool>& appRunning_;
  std::wstring apiBase_;
  LookupRateLimit rateLimit_;
  // True while a turn may perform a lookup. Set before the turn reads appRunning, so once Stop has
  // cleared appRunning and then seen this false, no lookup can start any more.
  std::atomic<bool> busy_{false};
  std::thread thread_;
};

// The recent lookups stored in settings.lookupHist: split at ",", empty pieces dropped, in order.
std::vector<std::wstring> LoadRecentLookups(const Settings& settings);

// Puts entry first (exact, case-sensitive duplicates removed), keeps at most 8 entries, stores them
// joined with "," in settings.lookupHist and calls saveSettings. Entries are dropped from the end
// until the joined text fits the setting's 400 characters, so the settings file never holds a cut
// entry. An empty entry, one holding "," (which could not be read back) or one longer than the
// setting's 400 characters changes nothing.
void AddRecentLookup(Settings& settings, const std::wstring& entry, const std::function<void()>& saveSettings);

// The plain-text report of the panel's "Copy all info" button; every line ends with CR LF.
std::wstring BuildCopyAllText(const LookupResult& record);

}  // namespace tolvane
