// Lookup cache, worker, recent lookups and the copy-all report. See lookup_service.h for the threads
// and the lock; nothing here holds the lock while it talks to the network.
#include "lookup/lookup_service.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <system_error>

#include "lookup/json.h"
#include "monitor/address.h"
#include "platform/inet.h"

namespace tolvane {
namespace {

// settings.lookupHist is cut to this many characters when the settings file is read back.
constexpr size_t kLookupHistLimit = 400;

constexpr wchar_t kFieldsQuery[] =
    L"?fields=status,message,continent,country,countryCode,region,regionName,city,district,zip,lat,lon,"
    L"timezone,offset,currency,isp,org,as,asname,reverse,mobile,proxy,hosting,query";

// IsLocalAddress judges dotted IPv4 texts strictly but lets any text with a colon through as public
// IPv6. A colon text that is no IPv6 address is not routable either; keeping it out of the queue
// also keeps arbitrary text out of the request URL, where the address goes unescaped.
bool IsPublicLookupAddress(const std::wstring& address) {
  if (IsLocalAddress(address)) return false;
  if (address.find(L':') != std::wstring::npos) return InetPton6(address).has_value();
  return true;
}

// "%.5f" without the C library's locale: the report must read the same everywhere.
std::wstring FixedFive(double value) {
  char buffer[400];  // a double's fixed form with 5 decimals is at most 309 + 1 + 5 + sign digits
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 5);
  if (r.ec != std::errc()) return L"0.00000";
  return std::wstring(buffer, r.ptr);
}

// A text field of the service's answer, cut to kLookupFieldLimit characters: a hostile answer
// must not make every paint of the panel lay out megabytes. A surrogate pair is kept or dropped whole.
std::wstring AnswerText(const std::string& body, std::string_view key) {
  std::wstring text = JsonGetString(body, key);
  if (text.size() > kLookupFieldLimit) {
    size_t keep = kLookupFieldLimit;
    if (IsHighSurrogate(text[keep - 1]) && IsLowSurrogate(text[keep])) --keep;
    text.resize(keep);
  }
  return text;
}

void AddLine(std::wstring& out, std::wstring_view label, const std::wstring& value) {
  if (value.empty()) return;
  out.append(label);
  out.append(L": ");
  out.append(value);
  out.append(L"\r\n");
}

}  // namespace

void LookupCache::RequestLookup(const std::wstring& address, bool force) {
  std::lock_guard<std::mutex> guard(lock_);
  revision_.fetch_add(1, std::memory_order_release);
  Entry& entry = table_[address];
  entry.shown = ++requests_;
  if (!force && entry.record) {
    if (entry.mapDropped) {
      entry.mapDropped = false;
      queue_.push_back(Queued{address, true});
    }
    BoundLocked();
    return;
  }
  auto record = std::make_shared<LookupResult>();
  record->address = address;
  entry.mapDropped = false;
  if (!IsPublicLookupAddress(address)) {
    record->state = LookupState::Private;
    record->mapState = MapState::None;
  } else {
    queue_.push_back(Queued{address, false});
  }
  entry.record = std::move(record);
  BoundLocked();
}

void LookupCache::BoundLocked() {
  if (table_.size() <= kMaxMaps) return;
  std::vector<std::pair<uint64_t, const std::wstring*>> order;  // most recently shown first
  order.reserve(table_.size());
  for (const auto& [address, entry] : table_) order.emplace_back(entry.shown, &address);
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (size_t i = kMaxMaps; i < order.size(); ++i) {
    const std::wstring& address = *order[i].second;
    if (i >= kMaxRecords) {
      std::erase_if(queue_, [&](const Queued& q) { return q.address == address; });
      table_.erase(address);  // last: order points at the key
      continue;
    }
    Entry& entry = table_.at(address);
    if (entry.record->map) {
      entry.record->map.reset();
      entry.record->mapState = MapState::Loading;  // until it is shown and composed again
      entry.mapDropped = true;
    }
  }
}

LookupResult LookupCache::Snapshot(const std::wstring& address) const {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = table_.find(address);
  if (it != table_.end()) return *it->second.record;
  LookupResult fresh;
  fresh.address = address;
  return fresh;
}

bool LookupCache::InProgress(const std::wstring& address) const {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = table_.find(address);
  if (it == table_.end()) return true;
  const LookupResult& r = *it->second.record;
  return r.state == LookupState::Pending || (r.state == LookupState::Done && r.mapState == MapState::Loading);
}

bool LookupCache::TakeNext(std::wstring& address, std::shared_ptr<LookupResult>& record, bool* mapOnly) {
  std::lock_guard<std::mutex> guard(lock_);
  if (queue_.empty()) return false;
  address = std::move(queue_.front().address);
  if (mapOnly) *mapOnly = queue_.front().mapOnly;
  queue_.pop_front();
  const auto it = table_.find(address);
  record = it != table_.end() ? it->second.record : nullptr;
  return true;
}

void LookupCache::PublishResult(LookupResult& target, const LookupResult& result) {
  std::lock_guard<std::mutex> guard(lock_);
  target = result;
  if (target.map) {
    const auto it = table_.find(target.address);
    if (it != table_.end() && it->second.record.get() == &target) it->second.mapDropped = false;
    BoundLocked();
  }
  revision_.fetch_add(1, std::memory_order_release);
}

bool LookupCache::MapInputs(const LookupResult& target, double& lat, double& lon, int& zoom) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (target.state != LookupState::Done || target.mapState != MapState::Loading) return false;
  lat = target.lat;
  lon = target.lon;
  zoom = MapZoom(target);
  return true;
}

void LookupCache::PublishMap(LookupResult& target, std::shared_ptr<const MapImage> map, float markerX, float markerY) {
  std::lock_guard<std::mutex> guard(lock_);
  target.mapState = map ? MapState::Ready : MapState::Failed;
  target.map = std::move(map);
  target.markerX = markerX;
  target.markerY = markerY;
  BoundLocked();
  revision_.fetch_add(1, std::memory_order_release);
}

size_t LookupCache::QueueSize() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queue_.size();
}

void LookupCache::RequestLocate(const std::wstring& address) {
  std::lock_guard<std::mutex> guard(lock_);
  if (std::find(locateQueue_.begin(), locateQueue_.end(), address) != locateQueue_.end()) return;
  if (!IsPublicLookupAddress(address)) {
    LookupResult record;
    record.address = address;
    record.state = LookupState::Private;
    record.mapState = MapState::None;
    located_.push_back(std::move(record));
    return;
  }
  const auto it = table_.find(address);
  if (it != table_.end() && it->second.record->state == LookupState::Done) {
    LookupResult copy = *it->second.record;
    copy.map.reset();
    copy.mapState = MapState::None;
    located_.push_back(std::move(copy));
    return;
  }
  locateQueue_.push_back(address);
}

std::vector<LookupResult> LookupCache::TakeLocated() {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<LookupResult> out;
  out.swap(located_);
  return out;
}

bool LookupCache::TakeNextLocate(std::wstring& address) {
  std::lock_guard<std::mutex> guard(lock_);
  if (locateQueue_.empty()) return false;
  address = std::move(locateQueue_.front());
  locateQueue_.pop_front();
  return true;
}

void LookupCache::RequeueLocate(const std::wstring& address) {
  std::lock_guard<std::mutex> guard(lock_);
  locateQueue_.push_front(address);
}

void LookupCache::PublishLocated(LookupResult result) {
  std::lock_guard<std::mutex> guard(lock_);
  located_.push_back(std::move(result));
}

LookupResult SnapshotCurrentLookup(const LookupCache& cache, const CurrentLookup& current) {
  return cache.Snapshot(current.address);
}

int MapZoom(const LookupResult& r) { return r.city.empty() ? 6 : 10; }

std::wstring RateLimitMessage(uint64_t pauseMs) {
  constexpr uint64_t kMinuteMs = 60000;
  if (pauseMs <= kMinuteMs) return kLookupRateLimitMessage;
  return L"Rate limit reached. Try again in " + std::to_wstring((pauseMs + kMinuteMs - 1) / kMinuteMs) + L" minutes.";
}

std::wstring LookupUrl(const std::wstring& apiBase, const std::wstring& address) {
  return apiBase + L"/json/" + address + kFieldsQuery;
}

LookupResult PerformLookup(const std::wstring& address, const std::wstring& apiBase, HttpClient& http,
                           const MapBuilder& buildMap, const ResultSink& publish, LookupRateLimit* rateLimit) {
  LookupResult r;
  r.address = address;
  std::string body;
  int32_t status = 0;
  bool ok = false;
  if (rateLimit && !rateLimit->TryStart()) {
    status = 429;  // refused here, before the service would have to
  } else {
    HttpHeaders headers;
    ok = http.HttpGet(LookupUrl(apiBase, address), body, status, headers);
    if (rateLimit) rateLimit->Finished(status, headers);
  }
  if (ok) {
    if (JsonGetString(body, "status") == L"success") {
      r.continent = AnswerText(body, "continent");
      r.country = AnswerText(body, "country");
      r.countryCode = AnswerText(body, "countryCode");
      r.regionName = AnswerText(body, "regionName");
      r.city = AnswerText(body, "city");
      r.district = AnswerText(body, "district");
      r.zip = AnswerText(body, "zip");
      r.timezone = AnswerText(body, "timezone");
      r.currency = AnswerText(body, "currency");
      r.isp = AnswerText(body, "isp");
      r.org = AnswerText(body, "org");
      r.as = AnswerText(body, "as");
      r.asname = AnswerText(body, "asname");
      r.reverse = AnswerText(body, "reverse");
      r.lat = JsonGetNumber(body, "lat");
      r.lon = JsonGetNumber(body, "lon");
      r.mobile = JsonGetBool(body, "mobile");
      r.proxy = JsonGetBool(body, "proxy");
      r.hosting = JsonGetBool(body, "hosting");
      r.state = LookupState::Done;
      r.mapState = MapState::Loading;
      if (publish) publish(r);

      const int zoom = MapZoom(r);
      float markerX = LookupResult::kMapCentre;
      float markerY = LookupResult::kMapCentre;
      std::shared_ptr<const MapImage> map;
      if (buildMap) map = buildMap(r.lat, r.lon, zoom, markerX, markerY);
      r.mapState = map ? MapState::Ready : MapState::Failed;
      r.map = std::move(map);
      r.markerX = markerX;
      r.markerY = markerY;
      if (publish) publish(r);
      return r;
    }
    r.message = AnswerText(body, "message");
    if (r.message.empty()) r.message = kLookupNoDataMessage;
  } else if (status == 429) {
    r.message = RateLimitMessage(rateLimit ? rateLimit->PauseLeftMs() : 0);
  } else if (status != 0) {
    r.message = L"Lookup server error (HTTP " + std::to_wstring(status) + L").";
  } else {
    r.message = kLookupUnreachableMessage;
  }
  r.state = LookupState::Failed;
  r.mapState = MapState::None;
  if (publish) publish(r);
  return r;
}

LookupWorker::LookupWorker(LookupCache& cache, HttpClient& http, MapBuilder buildMap, Clock& clock,
                           const std::atomic<bool>& appRunning, std::wstring apiBase)
    : cache_(cache),
      http_(http),
      buildMap_(std::move(buildMap)),
      clock_(clock),
      appRunning_(appRunning),
      apiBase_(std::move(apiBase)),
      rateLimit_(clock) {}

LookupWorker::~LookupWorker() { Join(); }

void LookupWorker::Start() {
  if (thread_.joinable()) return;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // The system could not start a thread: the program goes on without this service.
  }
}

void LookupWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

void LookupWorker::Run() {
  while (appRunning_.load()) RunOnce();
}

bool LookupWorker::Stop(uint32_t graceMs) {
  if (!thread_.joinable()) return true;
  const uint64_t deadline = clock_.TickMs() + graceMs;
  while (busy_.load() && clock_.TickMs() < deadline) clock_.SleepMs(kStopStepMs);
  if (busy_.load()) return false;
  thread_.join();
  return true;
}

bool LookupWorker::RunOnce() {
  std::wstring address;
  std::shared_ptr<LookupResult> record;
  bool mapOnly = false;
  busy_.store(true);
  if (appRunning_.load() && cache_.TakeNext(address, record, &mapOnly) && record && mapOnly) {
    // The tiles come from the tile cache, unless it lost them meanwhile.
    double lat = 0, lon = 0;
    int zoom = 0;
    if (cache_.MapInputs(*record, lat, lon, zoom)) {
      float markerX = LookupResult::kMapCentre, markerY = LookupResult::kMapCentre;
      std::shared_ptr<const MapImage> map = buildMap_ ? buildMap_(lat, lon, zoom, markerX, markerY) : nullptr;
      cache_.PublishMap(*record, std::move(map), markerX, markerY);
    }
    busy_.store(false);
    return true;
  }
  if (record) {
    // The record stays alive through our reference even if a forced request replaces it meanwhile;
    // the replacement has its own queue entry.
    PerformLookup(
        address, apiBase_, http_, buildMap_,
        [this, &record](const LookupResult& r) { cache_.PublishResult(*record, r); }, &rateLimit_);
    busy_.store(false);
    return true;
  }
  if (appRunning_.load() && rateLimit_.HasRoom(kLocateReserve) && cache_.TakeNextLocate(address)) {
    LookupResult r = PerformLookup(address, apiBase_, http_, MapBuilder{}, ResultSink{}, &rateLimit_);
    // A failure that left the rate limit paused was the service's "too many requests": ask again
    // once the pause is over instead of giving the address up.
    if (r.state == LookupState::Failed && !rateLimit_.HasRoom(0)) {
      cache_.RequeueLocate(address);
    } else {
      r.mapState = MapState::None;
      cache_.PublishLocated(std::move(r));
    }
    busy_.store(false);
    return true;
  }
  busy_.store(false);
  clock_.SleepMs(kIdleSleepMs);
  if (appRunning_.load()) clock_.SleepMs(kIdleSleepMs);
  return false;
}

std::vector<std::wstring> LoadRecentLookups(const Settings& settings) {
  std::vector<std::wstring> out;
  const std::wstring& hist = settings.lookupHist;
  size_t start = 0;
  while (start <= hist.size()) {
    size_t comma = hist.find(L',', start);
    if (comma == std::wstring::npos) comma = hist.size();
    if (comma > start) out.push_back(hist.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

void AddRecentLookup(Settings& settings, const std::wstring& entry, const std::function<void()>& saveSettings) {
  // An entry the setting could not hold would leave an empty list behind: it changes nothing.
  if (entry.empty() || entry.size() > kLookupHistLimit || entry.find(L',') != std::wstring::npos) return;
  std::vector<std::wstring> list = LoadRecentLookups(settings);
  std::erase(list, entry);
  list.insert(list.begin(), entry);
  if (list.size() > kMaxRecentLookups) list.resize(kMaxRecentLookups);

  // Whole entries only: the loader would otherwise cut the last one in the middle.
  std::wstring joined;
  for (const std::wstring& e : list) {
    const size_t needed = joined.size() + (joined.empty() ? 0 : 1) + e.size();
    if (needed > kLookupHistLimit) break;
    if (!joined.empty()) joined.push_back(L',');
    joined += e;
  }
  settings.lookupHist = joined;
  if (saveSettings) saveSettings();
}

std::wstring BuildCopyAllText(const LookupResult& record) {
  std::wstring out = L"IP: " + record.address + L"\r\n";
  if (record.state == LookupState::Private) {
    out += L"Private / local network address\r\n";
    return out;
  }
  if (record.state != LookupState::Done) return out;

  std::wstring country = record.country;
  if (!country.empty() && !record.countryCode.empty()) country += L" (" + record.countryCode + L")";
  AddLine(out, L"Country", country);
  AddLine(out, L"Region", record.regionName);
  AddLine(out, L"City", record.city);
  AddLine(out, L"District", record.district);
  AddLine(out, L"ZIP", record.zip);
  AddLine(out, L"Coordinates", FixedFive(record.lat) + L", " + FixedFive(record.lon));
  AddLine(out, L"Timezone", record.timezone);
  AddLine(out, L"ISP", record.isp);
  AddLine(out, L"Organization", record.org);
  AddLine(out, L"AS", record.as);
  AddLine(out, L"AS name", record.asname);
  AddLine(out, L"Reverse DNS", record.reverse);
  out += std::wstring(L"Data center / hosting: ") + (record.hosting ? L"Yes" : L"No") + L"\r\n";
  out += std::wstring(L"VPN / proxy: ") + (record.proxy ? L"Yes" : L"No") + L"\r\n";
  out += std::wstring(L"Mobile network: ") + (record.mobile ? L"Yes" : L"No") + L"\r\n";
  return out;
}

}  // namespace tolvane
