// Lookup service: cache and queue rules, PerformLookup against a fake HTTP client (network answers
// are untrusted input), the worker loop, recent lookups and the copy-all report.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_http.h"
#include "fakes/fake_image_decoder.h"
#include "lookup/lookup_service.h"
#include "lookup/map_tiles.h"

namespace tolvane {
namespace {

// Answers every GET with one canned outcome and remembers the URLs asked for.
class FakeHttp final : public HttpClient {
 public:
  using HttpClient::HttpGet;
  bool HttpGet(const std::wstring& url, std::string& body, int32_t& status, HttpHeaders& headers) override {
    std::lock_guard<std::mutex> guard(lock);
    urls.push_back(url);
    body = answerBody;
    status = answerStatus;
    headers = answerHeaders;
    cv.notify_all();
    return answerStatus == 200;
  }
  std::mutex lock;
  std::condition_variable cv;
  std::vector<std::wstring> urls;
  std::string answerBody;
  int32_t answerStatus = 0;
  HttpHeaders answerHeaders;
};

const char kFullAnswer[] =
    R"({"status":"success","continent":"Europe","country":"Germany","countryCode":"DE","region":"HE",)"
    R"("regionName":"Hesse","city":"Frankfurt am Main","district":"Innenstadt","zip":"60313","lat":50.1109,)"
    R"("lon":8.68213,"timezone":"Europe/Berlin","offset":3600,"currency":"EUR","isp":"Example ISP",)"
    R"("org":"Example Org","as":"AS64500 Example","asname":"EXAMPLE-AS","reverse":"host.example.net",)"
    R"("mobile":false,"proxy":true,"hosting":true,"query":"203.0.113.7"})";

const char kNoCityAnswer[] =
    R"({"status":"success","country":"Iceland","countryCode":"IS","lat":64.5,"lon":-18.25,"mobile":true})";

// Records every map request and answers with an image or none.
struct MapRecorder {
  std::vector<int> zooms;
  std::vector<std::pair<double, double>> places;
  bool giveImage = true;
  std::shared_ptr<const MapImage> image = std::make_shared<MapImage>();
  MapBuilder Builder() {
    return [this](double lat, double lon, int zoom, float& mx, float& my) -> std::shared_ptr<const MapImage> {
      zooms.push_back(zoom);
      places.emplace_back(lat, lon);
      mx = 400.5f;
      my = 371.25f;
      return giveImage ? image : nullptr;
    };
  }
};

TEST(LookupServiceTest, SamePublicAddressTwiceQueuesOneLookup) {
  LookupCache cache;
  cache.RequestLookup(L"203.0.113.7", false);
  cache.RequestLookup(L"203.0.113.7", false);
  EXPECT_EQ(cache.QueueSize(), 1u);
  const LookupResult r = cache.Snapshot(L"203.0.113.7");
  EXPECT_EQ(r.address, L"203.0.113.7");
  EXPECT_EQ(r.state, LookupState::Pending);
  EXPECT_EQ(r.mapState, MapState::Loading);
  EXPECT_EQ(r.markerX, 384.0f);
  EXPECT_EQ(r.markerY, 384.0f);
}

TEST(LookupServiceTest, LocalAndUnroutableAddressesArePrivateAtOnce) {
  for (const std::wstring address :
       {L"192.168.1.10", L"127.0.0.1", L"10.1.2.3", L"fe80::1", L"::1", L"not-an-address", L"x:/../../admin?"}) {
    LookupCache cache;
    cache.RequestLookup(address, false);
    cache.RequestLookup(address, true);
    EXPECT_EQ(cache.QueueSize(), 0u) << address;
    const LookupResult r = cache.Snapshot(address);
    EXPECT_EQ(r.state, LookupState::Private) << address;
    EXPECT_EQ(r.mapState, MapState::None) << address;
  }
}

TEST(LookupServiceTest, ForceStartsTheRecordOverAndQueuesAgain) {
  LookupCache cache;
  cache.RequestLookup(L"2001:db8::7", false);
  std::wstring address;
  std::shared_ptr<LookupResult> oldRecord;
  ASSERT_TRUE(cache.TakeNext(address, oldRecord));
  ASSERT_TRUE(oldRecord);
  LookupResult done;
  done.address = address;
  done.state = LookupState::Done;
  done.city = L"Somewhere";
  cache.PublishResult(*oldRecord, done);
  EXPECT_EQ(cache.Snapshot(address).state, LookupState::Done);

  cache.RequestLookup(address, false);  // cached: nothing new
  EXPECT_EQ(cache.QueueSize(), 0u);
  cache.RequestLookup(address, true);
  EXPECT_EQ(cache.QueueSize(), 1u);
  EXPECT_EQ(cache.Snapshot(address).state, LookupState::Pending);
  EXPECT_TRUE(cache.Snapshot(address).city.empty());
  // The replaced record stays valid for whoever still holds it, and no longer shows in the table.
  EXPECT_EQ(oldRecord->city, L"Somewhere");
  cache.PublishResult(*oldRecord, done);
  EXPECT_EQ(cache.Snapshot(address).state, LookupState::Pending);
}

TEST(LookupServiceTest, BoundsKeepTheTextsAndMapsOfTheMostRecentlyShown) {
  LookupCache cache;
  FakeHttp http;
  http.answerStatus = 200;
  http.answerBody = kFullAnswer;
  size_t mapsBuilt = 0;
  MapBuilder builder = [&mapsBuilt](double, double, int, float&, float&) {
    ++mapsBuilt;
    return std::make_shared<const MapImage>();
  };
  FakeClock clock;
  std::atomic<bool> running{true};
  LookupWorker worker(cache, http, builder, clock, running, L"http://127.0.0.1:1");
  const auto ip = [](int i) { return L"203.0.113." + std::to_wstring(i); };
  const auto show = [&](int i) {
    cache.RequestLookup(ip(i), false);
    while (worker.RunOnce()) {
    }
  };
  for (int i = 1; i <= 32; ++i) show(i);
  show(1);  // shown again: its map had gone and is composed again, without asking the service
  EXPECT_EQ(http.urls.size(), 32u);
  EXPECT_EQ(mapsBuilt, 33u);
  show(33);  // a 33rd address: the least recently shown (2, not 1) goes
  EXPECT_EQ(cache.Snapshot(ip(2)).state, LookupState::Pending);
  EXPECT_EQ(cache.Snapshot(ip(3)).city, L"Frankfurt am Main");
  std::vector<int> withMap;
  for (int i = 1; i <= 33; ++i)
    if (cache.Snapshot(ip(i)).map) withMap.push_back(i);
  EXPECT_EQ(withMap, (std::vector<int>{1, 30, 31, 32, 33}));
  show(2);  // asked again: looked up again
  EXPECT_EQ(http.urls.size(), 34u);
  EXPECT_EQ(cache.Snapshot(ip(2)).state, LookupState::Done);
}

TEST(LookupServiceTest, SnapshotOfAnUnknownAddressIsANewRecord) {
  LookupCache cache;
  CurrentLookup current;
  current.address = L"198.51.100.1";
  const LookupResult r = SnapshotCurrentLookup(cache, current);
  EXPECT_EQ(r.address, L"198.51.100.1");
  EXPECT_EQ(r.state, LookupState::Pending);
  EXPECT_FALSE(r.map);
  EXPECT_EQ(cache.QueueSize(), 0u);
}

TEST(LookupServiceTest, UrlCarriesTheAddressUnchanged) {
  EXPECT_EQ(LookupUrl(L"http://127.0.0.1:8080", L"2001:db8::1"),
            L"http://127.0.0.1:8080/json/2001:db8::1?fields=status,message,continent,country,countryCode,region,"
            L"regionName,city,district,zip,lat,lon,timezone,offset,currency,isp,org,as,asname,reverse,mobile,"
            L"proxy,hosting,query");
  EXPECT_STREQ(kDefaultApiBase, L"http://ip-api.com");
}

TEST(LookupServiceTest, SuccessPublishesTextThenMap) {
  struct Case {
    const char* body;
    bool giveImage;
    int zoom;
    MapState finalMap;
  };
  const std::vector<Case> cases = {
      {kFullAnswer, true, 10, MapState::Ready},
      {kFullAnswer, false, 10, MapState::Failed},
      {kNoCityAnswer, true, 6, MapState::Ready},
  };
  for (const Case& c : cases) {
    FakeHttp http;
    http.answerStatus = 200;
    http.answerBody = c.body;
    MapRecorder maps;
    maps.giveImage = c.giveImage;
    std::vector<LookupResult> published;
    const LookupResult r = PerformLookup(L"203.0.113.7", L"http://127.0.0.1:1", http, maps.Builder(),
                                         [&](const LookupResult& p) { published.push_back(p); });
    ASSERT_EQ(http.urls.size(), 1u);
    EXPECT_EQ(http.urls[0], LookupUrl(L"http://127.0.0.1:1", L"203.0.113.7"));
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0].state, LookupState::Done);
    EXPECT_EQ(published[0].mapState, MapState::Loading);
    EXPECT_FALSE(published[0].map);
    EXPECT_EQ(published[0].markerX, 384.0f);
    EXPECT_EQ(published[1].state, LookupState::Done);
    EXPECT_EQ(published[1].mapState, c.finalMap);
    EXPECT_EQ(published[1].map != nullptr, c.giveImage);
    EXPECT_EQ(published[1].markerX, 400.5f);
    EXPECT_EQ(published[1].markerY, 371.25f);
    EXPECT_EQ(maps.zooms, std::vector<int>{c.zoom});
    EXPECT_EQ(r.mapState, c.finalMap);
    EXPECT_EQ(r.address, L"203.0.113.7");
  }
}

// Coordinates come from the network: a text that reads as not-a-number or infinity ends in a map
// that failed without one tile asked for, and absurd finite values are held to the map's edge (at
// a pole, so the row beyond it is skipped: six tiles).
TEST(LookupServiceTest, UnusableCoordinatesFromTheServiceFailOnlyTheMap) {
  struct Case {
    const char* lat;
    const char* lon;
    bool tilesAsked;
  };
  const Case cases[] = {
      {"nan", "0", false},    {"0", "NaN", false},       {"1e999", "0", false},
      {"0", "-1e999", false}, {"1e300", "-1e300", true}, {"-91", "540.5", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lat) + "," + c.lon);
    FakeHttpClient http;
    FakeImageDecoder decoder;
    const std::wstring api = L"http://127.0.0.1:1";
    http.Answer(LookupUrl(api, L"203.0.113.7"), 200,
                std::string(R"({"status":"success","city":"X","lat":)") + c.lat + R"(,"lon":)" + c.lon + "}");
    http.AnswerOthers(200, FakeImageDecoder::EncodePng(256, 256, 0xFF00AA00));
    MapSources sources{http, decoder, L"http://127.0.0.1:2"};
    const MapBuilder build = [&](double lat, double lon, int zoom, float& mx, float& my) {
      return BuildMap(sources, lat, lon, zoom, mx, my);
    };
    std::vector<LookupResult> published;
    const LookupResult r =
        PerformLookup(L"203.0.113.7", api, http, build, [&](const LookupResult& p) { published.push_back(p); });
    EXPECT_EQ(published.size(), 2u);
    EXPECT_EQ(r.state, LookupState::Done);
    EXPECT_EQ(r.mapState, c.tilesAsked ? MapState::Ready : MapState::Failed);
    EXPECT_EQ(http.Requests().size(), c.tilesAsked ? 7u : 1u);
  }
}

TEST(LookupServiceTest, SuccessReadsEveryField) {
  FakeHttp http;
  http.answerStatus = 200;
  http.answerBody = kFullAnswer;
  MapRecorder maps;
  const LookupResult r = PerformLookup(L"203.0.113.7", L"http://127.0.0.1:1", http, maps.Builder(), nullptr);
  EXPECT_EQ(r.continent, L"Europe");
  EXPECT_EQ(r.country, L"Germany");
  EXPECT_EQ(r.countryCode, L"DE");
  EXPECT_EQ(r.regionName, L"Hesse");
  EXPECT_EQ(r.city, L"Frankfurt am Main");
  EXPECT_EQ(r.district, L"Innenstadt");
  EXPECT_EQ(r.zip, L"60313");
  EXPECT_EQ(r.timezone, L"Europe/Berlin");
  EXPECT_EQ(r.currency, L"EUR");
  EXPECT_EQ(r.isp, L"Example ISP");
  EXPECT_EQ(r.org, L"Example Org");
  EXPECT_EQ(r.as, L"AS64500 Example");
  EXPECT_EQ(r.asname, L"EXAMPLE-AS");
  EXPECT_EQ(r.reverse, L"host.example.net");
  EXPECT_DOUBLE_EQ(r.lat, 50.1109);
  EXPECT_DOUBLE_EQ(r.lon, 8.68213);
  EXPECT_FALSE(r.mobile);
  EXPECT_TRUE(r.proxy);
  EXPECT_TRUE(r.hosting);
  ASSERT_EQ(maps.places.size(), 1u);
  EXPECT_DOUBLE_EQ(maps.places[0].first, 50.1109);
  EXPECT_DOUBLE_EQ(maps.places[0].second, 8.68213);
  // Without a map builder the map simply failed; the text stays.
  const LookupResult noMaps = PerformLookup(L"203.0.113.7", L"http://127.0.0.1:1", http, nullptr, nullptr);
  EXPECT_EQ(noMaps.state, LookupState::Done);
  EXPECT_EQ(noMaps.mapState, MapState::Failed);
}

TEST(LookupServiceTest, FailuresPublishOnceWithTheirMessage) {
  struct Case {
    int32_t status;
    std::string body;
    std::wstring message;
  };
  const std::vector<Case> cases = {
      {200, R"({"status":"fail","message":"reserved range","query":"x"})", L"reserved range"},
      {200, R"({"status":"fail"})", L"The lookup server returned no data"},
      {200, "", L"The lookup server returned no data"},
      {200, R"({"status":"Success","message":"case matters"})", L"case matters"},
      {429, R"({"status":"success"})", L"Rate limit reached. Wait a minute and press Refresh."},
      {503, "busy", L"Lookup server error (HTTP 503)."},
      {404, "", L"Lookup server error (HTTP 404)."},
      {0, "", L"Could not reach the lookup server. Check your internet connection or firewall."},
  };
  for (const Case& c : cases) {
    FakeHttp http;
    http.answerStatus = c.status;
    http.answerBody = c.body;
    MapRecorder maps;
    std::vector<LookupResult> published;
    const LookupResult r = PerformLookup(L"203.0.113.7", L"http://127.0.0.1:1", http, maps.Builder(),
                                         [&](const LookupResult& p) { published.push_back(p); });
    ASSERT_EQ(published.size(), 1u) << c.status;
    EXPECT_EQ(published[0].state, LookupState::Failed) << c.status;
    EXPECT_EQ(published[0].mapState, MapState::None) << c.status;
    EXPECT_EQ(published[0].message, c.message) << c.status << " " << c.body;
    EXPECT_EQ(r.message, c.message);
    EXPECT_TRUE(maps.zooms.empty());
  }
}

// A 4 MiB failure message froze the panel; every text field is cut to 256 whole characters.
TEST(LookupServiceTest, AnswerTextsAreCutTo256WholeCharacters) {
  FakeHttp http;
  http.answerStatus = 200;
  http.answerBody = R"({"status":"fail","message":")" + std::string(4u << 20, 'x') + "\"}";
  EXPECT_EQ(PerformLookup(L"203.0.113.7", L"http://127.0.0.1:1", http, nullptr, nullptr).message,
            std::wstring(256, L'x'));
  http.answerBody = R"({"status":"success","city":")" + std::string(300, 'c') + R"(","isp":")" + std::string(255, 'i') +
                    R"(\ud83d\ude00"})";
  const LookupResult r = PerformLookup(L"203.0.113.7", L"http://127.0.0.1:1", http, nullptr, nullptr);
  EXPECT_EQ(r.city, std::wstring(256, L'c'));
  // In UTF-16 the emoji's pair would be the 256th and 257th unit: it goes whole.
  EXPECT_EQ(r.isp, std::wstring(255, L'i') + (sizeof(wchar_t) == 2 ? L"" : L"\U0001F600"));
}

TEST(LookupServiceTest, IdleTurnSleepsTwiceWhileRunning) {
  LookupCache cache;
  FakeHttp http;
  FakeClock clock;
  std::atomic<bool> running{true};
  LookupWorker worker(cache, http, nullptr, clock, running, L"http://127.0.0.1:1");
  EXPECT_FALSE(worker.RunOnce());
  EXPECT_EQ(clock.sleeps.load(), 2u);
  EXPECT_EQ(clock.sleptMs.load(), 100u);
  running = false;
  EXPECT_FALSE(worker.RunOnce());
  EXPECT_EQ(clock.sleeps.load(), 3u);  // the second half is skipped once the program stops
  EXPECT_TRUE(http.urls.empty());
}

TEST(LookupServiceTest, WorkerPerformsQueuedLookupsInOrder) {
  LookupCache cache;
  FakeHttp http;
  http.answerStatus = 200;
  http.answerBody = kNoCityAnswer;
  FakeClock clock;
  std::atomic<bool> running{true};
  MapRecorder maps;
  LookupWorker worker(cache, http, maps.Builder(), clock, running, L"http://127.0.0.1:1");
  cache.RequestLookup(L"203.0.113.7", false);
  cache.RequestLookup(L"198.51.100.9", false);
  EXPECT_TRUE(worker.RunOnce());
  EXPECT_TRUE(worker.RunOnce());
  EXPECT_EQ(clock.sleeps.load(), 0u);
  ASSERT_EQ(http.urls.size(), 2u);
  EXPECT_EQ(http.urls[0], LookupUrl(L"http://127.0.0.1:1", L"203.0.113.7"));
  EXPECT_EQ(http.urls[1], LookupUrl(L"http://127.0.0.1:1", L"198.51.100.9"));
  const LookupResult r = cache.Snapshot(L"198.51.100.9");
  EXPECT_EQ(r.state, LookupState::Done);
  EXPECT_EQ(r.country, L"Iceland");
  EXPECT_EQ(r.mapState, MapState::Ready);
  EXPECT_EQ(r.map, maps.image);  // shared, not copied
}

// A clock whose sleeps yield instead of passing real time, so the thread test spins gently.
class YieldingClock final : public Clock {
 public:
  uint64_t TickMs() override { return 0; }
  int64_t SystemNs() override { return 0; }
  int64_t MonotonicNs() override { return 0; }
  void SleepMs(uint32_t) override { std::this_thread::yield(); }
};

TEST(LookupServiceTest, WorkerThreadFillsTheRecordAndStops) {
  LookupCache cache;
  FakeHttp http;
  http.answerStatus = 503;
  YieldingClock clock;
  std::atomic<bool> running{true};
  LookupWorker worker(cache, http, nullptr, clock, running, L"http://127.0.0.1:1");
  worker.Start();
  cache.RequestLookup(L"203.0.113.7", false);
  for (int i = 0; i < 20000 && cache.Snapshot(L"203.0.113.7").state == LookupState::Pending; ++i) {
    std::unique_lock<std::mutex> lock(http.lock);
    http.cv.wait_for(lock, std::chrono::milliseconds(1));
  }
  running = false;
  worker.Join();
  const LookupResult r = cache.Snapshot(L"203.0.113.7");
  EXPECT_EQ(r.state, LookupState::Failed);
  EXPECT_EQ(r.message, L"Lookup server error (HTTP 503).");
  EXPECT_EQ(http.urls.size(), 1u);
}

TEST(LookupServiceTest, RecentLookups) {
  struct Case {
    std::wstring before;
    std::wstring entry;
    std::wstring after;
  };
  const std::vector<Case> cases = {
      {L"", L"8.8.8.8", L"8.8.8.8"},
      {L"a.com,b.com,c.com", L"b.com", L"b.com,a.com,c.com"},  // second moves to the front
      {L"a.com,b.com,c.com", L"a.com", L"a.com,b.com,c.com"},
      {L"a.com,B.com", L"b.com", L"b.com,a.com,B.com"},                // case-sensitive
      {L"1,2,3,4,5,6,7,8", L"9", L"9,1,2,3,4,5,6,7"},                  // ninth distinct drops the oldest
      {L"x.com,,y.com,x.com,", L"z.com", L"z.com,x.com,y.com,x.com"},  // empty pieces dropped
  };
  for (const Case& c : cases) {
    Settings settings;
    settings.lookupHist = c.before;
    int saves = 0;
    AddRecentLookup(settings, c.entry, [&] { ++saves; });
    EXPECT_EQ(settings.lookupHist, c.after) << c.before << " + " << c.entry;
    EXPECT_EQ(saves, 1);
  }
  Settings settings;
  settings.lookupHist = L",a.com,,b.com,";
  EXPECT_EQ(LoadRecentLookups(settings), (std::vector<std::wstring>{L"a.com", L"b.com"}));
  settings.lookupHist = L"";
  EXPECT_TRUE(LoadRecentLookups(settings).empty());
}

// The settings file keeps at most 400 characters of the list; long website names must not leave a
// cut entry behind when it is read back.
TEST(LookupServiceTest, RecentLookupsNeverExceedTheStoredLength) {
  Settings settings;
  for (wchar_t c = L'a'; c <= L'h'; ++c) AddRecentLookup(settings, std::wstring(150, c) + L".com", nullptr);
  EXPECT_LE(settings.lookupHist.size(), 400u);
  const std::vector<std::wstring> list = LoadRecentLookups(settings);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], std::wstring(150, L'h') + L".com");
  EXPECT_EQ(list[1], std::wstring(150, L'g') + L".com");
  // Entries that could not be read back whole are refused and nothing is saved.
  int saves = 0;
  AddRecentLookup(settings, L"a,b", [&] { ++saves; });
  AddRecentLookup(settings, L"", [&] { ++saves; });
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(LoadRecentLookups(settings), list);
}

LookupResult DoneRecord() {
  LookupResult r;
  r.address = L"203.0.113.7";
  r.state = LookupState::Done;
  r.country = L"Germany";
  r.countryCode = L"DE";
  r.regionName = L"Hesse";
  r.city = L"Frankfurt";
  r.zip = L"60313";
  r.lat = 50.11092;
  r.lon = -8.682127;
  r.timezone = L"Europe/Berlin";
  r.isp = L"Example ISP";
  r.org = L"Example Org";
  r.as = L"AS64500 Example";
  r.asname = L"EXAMPLE-AS";
  r.reverse = L"host.example.net";
  r.hosting = true;
  return r;
}

TEST(LookupServiceTest, CopyAllText) {
  LookupResult priv;
  priv.address = L"192.168.1.10";
  priv.state = LookupState::Private;
  LookupResult pending;
  pending.address = L"203.0.113.7";
  LookupResult failed = pending;
  failed.state = LookupState::Failed;
  failed.message = L"reserved range";
  failed.country = L"ignored";
  LookupResult noCountry = DoneRecord();
  noCountry.country.clear();
  noCountry.regionName.clear();
  noCountry.lat = 0;
  noCountry.lon = 0;
  noCountry.mobile = true;
  noCountry.proxy = true;
  noCountry.hosting = false;
  LookupResult noCode = DoneRecord();
  noCode.countryCode.clear();
  noCode.city.clear();
  noCode.zip.clear();
  noCode.district = L"Mitte";

  struct Case {
    const char* name;
    LookupResult record;
    std::wstring text;
  };
  const std::vector<Case> cases = {
      {"private", priv, L"IP: 192.168.1.10\r\nPrivate / local network address\r\n"},
      {"pending", pending, L"IP: 203.0.113.7\r\n"},
      {"failed", failed, L"IP: 203.0.113.7\r\n"},
      {"done", DoneRecord(),
       L"IP: 203.0.113.7\r\nCountry: Germany (DE)\r\nRegion: Hesse\r\nCity: Frankfurt\r\nZIP: 60313\r\n"
       L"Coordinates: 50.11092, -8.68213\r\nTimezone: Europe/Berlin\r\nISP: Example ISP\r\n"
       L"Organization: Example Org\r\nAS: AS64500 Example\r\nAS name: EXAMPLE-AS\r\n"
       L"Reverse DNS: host.example.net\r\nData center / hosting: Yes\r\nVPN / proxy: No\r\n"
       L"Mobile network: No\r\n"},
      {"no country", noCountry,
       L"IP: 203.0.113.7\r\nCity: Frankfurt\r\nZIP: 60313\r\nCoordinates: 0.00000, 0.00000\r\n"
       L"Timezone: Europe/Berlin\r\nISP: Example ISP\r\nOrganization: Example Org\r\nAS: AS64500 Example\r\n"
       L"AS name: EXAMPLE-AS\r\nReverse DNS: host.example.net\r\nData center / hosting: No\r\n"
       L"VPN / proxy: Yes\r\nMobile network: Yes\r\n"},
      {"no country code", noCode,
       L"IP: 203.0.113.7\r\nCountry: Germany\r\nRegion: Hesse\r\nDistrict: Mitte\r\n"
       L"Coordinates: 50.11092, -8.68213\r\nTimezone: Europe/Berlin\r\nISP: Example ISP\r\n"
       L"Organization: Example Org\r\nAS: AS64500 Example\r\nAS name: EXAMPLE-AS\r\n"
       L"Reverse DNS: host.example.net\r\nData center / hosting: Yes\r\nVPN / proxy: No\r\n"
       L"Mobile network: No\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildCopyAllText(c.record), c.text) << c.name;
}

}  // namespace
}  // namespace tolvane
