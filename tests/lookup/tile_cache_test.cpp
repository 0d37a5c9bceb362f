// The tile cache with an in-memory file system, a fake clock and a fake tile server: which tiles
// a map asks the server for when the cache holds them fresh, stale, damaged or not at all, how long
// a tile stays fresh, the fallback to a stale tile when the server fails, the size bound, the
// folder per tile base, and the PNG and header checks that decide what counts as a tile.
#include "lookup/tile_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_http.h"
#include "fakes/fake_image_decoder.h"
#include "lookup/header_values.h"
#include "lookup/lookup_service.h"
#include "lookup/map_tiles.h"

namespace tolvane {
namespace {

constexpr int64_t kHourMs = 3600 * 1000;
constexpr int64_t kDayMs = 24 * kHourMs;
const std::wstring kBase = L"http://127.0.0.1:9/tiles";
const std::wstring kOtherBase = L"http://127.0.0.1:10/tiles";
const std::wstring kLocal = L"C:\\Users\\tester\\AppData\\Local";

// The block around (0, 0) at zoom 6: x and y 31..33.
std::vector<std::wstring> BlockUrls(const std::wstring& base) {
  std::vector<std::wstring> urls;
  for (int y = 31; y <= 33; ++y) {
    for (int x = 31; x <= 33; ++x) urls.push_back(TileUrl(base, 6, x, y));
  }
  return urls;
}

uint32_t CentreOf(const MapImage& image, int column, int row) {
  return image.pixels[static_cast<size_t>(row * 256 + 128) * MapImage::kSize + static_cast<size_t>(column * 256 + 128)];
}

struct TileCacheTest : ::testing::Test {
  FakeFileSystem fs;
  FakeClock clock;
  FakeHttpClient http;
  FakeImageDecoder decoder;
  TileCache cache{fs, clock, kBase};
  MapSources sources{http, decoder, kBase, &cache};

  // Builds the map at (0, 0), zoom 6, and returns the tile URLs it asked the server for, sorted.
  std::vector<std::wstring> BuildAndListRequests(std::shared_ptr<const MapImage>* image = nullptr) {
    http.ClearRequests();
    float mx = 0, my = 0;
    const auto built = BuildMap(sources, 0, 0, 6, mx, my);
    if (image) *image = built;
    std::vector<std::wstring> asked = http.Requests();
    std::sort(asked.begin(), asked.end());
    return asked;
  }
  void Serve(uint32_t argb, HttpHeaders headers = {}) {
    http.AnswerOthers(200, FakeImageDecoder::EncodePng(256, 256, argb), std::move(headers));
  }
  int64_t NowMs() { return clock.SystemNs() / 1000000; }
};

TEST_F(TileCacheTest, FreshTilesAreNotRequestedStaleOnesAre) {
  struct Case {
    const char* name;
    HttpHeaders headers;
    int64_t ageMs;
    bool requested;
  };
  const int64_t sevenDays = 7 * kDayMs;
  const std::vector<Case> cases = {
      {"just stored", {}, 0, false},
      {"a minute before seven days", {}, sevenDays - 60000, false},
      {"seven days", {}, sevenDays, true},
      {"max-age of an hour is held to seven days", {L"max-age=3600", L"", L"", L""}, 3 * kDayMs, false},
      {"and ends with them", {L"max-age=3600", L"", L"", L""}, sevenDays + 1, true},
      {"max-age of 30 days, day 29", {L"public, max-age=2592000", L"", L"", L""}, 29 * kDayMs, false},
      {"max-age of 30 days, day 31", {L"public, max-age=2592000", L"", L"", L""}, 31 * kDayMs, true},
      {"Expires in 20 days, day 19", {L"", L"+20d", L"", L""}, 19 * kDayMs, false},
      {"Expires in 20 days, day 21", {L"", L"+20d", L"", L""}, 21 * kDayMs, true},
      {"max-age wins over Expires", {L"max-age=60", L"+20d", L"", L""}, 8 * kDayMs, true},
      {"max-age of ten years is held to one", {L"max-age=315360000", L"", L"", L""}, 366 * kDayMs, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem files;
    FakeClock time;
    FakeHttpClient server;
    TileCache tiles(files, time, kBase);
    MapSources map{server, decoder, kBase, &tiles};
    HttpHeaders headers = c.headers;
    if (headers.expires == L"+20d") {
      // 1.7e12 ms after 1970 is 2023-11-14 22:13:20 UTC; twenty days on:
      ASSERT_EQ(ParseHttpDate(L"Mon, 04 Dec 2023 22:13:20 GMT"), time.SystemNs() / 1000000 + 20 * kDayMs);
      headers.expires = L"Mon, 04 Dec 2023 22:13:20 GMT";
    }
    server.AnswerOthers(200, FakeImageDecoder::EncodePng(256, 256, 0xFF102030), headers);
    float mx = 0, my = 0;
    ASSERT_NE(BuildMap(map, 0, 0, 6, mx, my), nullptr);
    ASSERT_EQ(server.Requests().size(), 9u);
    server.ClearRequests();
    time.Advance(static_cast<uint64_t>(c.ageMs));
    const auto image = BuildMap(map, 0, 0, 6, mx, my);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(server.Requests().size(), c.requested ? 9u : 0u);
    EXPECT_EQ(CentreOf(*image, 1, 1), 0xFF102030u);
  }
}

TEST_F(TileCacheTest, OnlyMissingTilesAreRequested) {
  Serve(0xFF102030);
  ASSERT_EQ(BuildAndListRequests().size(), 9u);
  const std::wstring gone1 = cache.TilePath(6, 31, 31);
  const std::wstring gone2 = cache.TilePath(6, 33, 32);
  ASSERT_EQ(fs.files.erase(gone1), 1u);
  ASSERT_EQ(fs.files.erase(gone2), 1u);
  std::vector<std::wstring> expected = {TileUrl(kBase, 6, 31, 31), TileUrl(kBase, 6, 33, 32)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(BuildAndListRequests(), expected);
  EXPECT_TRUE(fs.Exists(gone1));
  EXPECT_TRUE(fs.Exists(gone2));
  EXPECT_TRUE(BuildAndListRequests().empty());
}

TEST_F(TileCacheTest, StaleTileIsUsedWhenTheDownloadFails) {
  struct Case {
    const char* name;
    int32_t status;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"no answer (offline)", 0, ""},
      {"server error", 503, "busy"},
      {"error page sent as a tile", 200, "<html>maintenance</html>"},
      {"cut-off tile", 200, FakeImageDecoder::EncodePng(256, 256, 0xFF0000FF).substr(0, 40)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem files;
    FakeClock time;
    FakeHttpClient server;
    TileCache tiles(files, time, kBase);
    MapSources map{server, decoder, kBase, &tiles};
    server.AnswerOthers(200, FakeImageDecoder::EncodePng(256, 256, 0xFF445566));
    float mx = 0, my = 0;
    ASSERT_NE(BuildMap(map, 0, 0, 6, mx, my), nullptr);
    const std::string stored = files.files.at(tiles.TilePath(6, 32, 32));

    time.Advance(8 * kDayMs);
    server.ClearRequests();
    server.AnswerOthers(c.status, c.body);
    const auto image = BuildMap(map, 0, 0, 6, mx, my);
    EXPECT_EQ(server.Requests().size(), 9u);  // stale: asked again
    ASSERT_NE(image, nullptr);
    for (int row = 0; row < 3; ++row) {
      for (int column = 0; column < 3; ++column) EXPECT_EQ(CentreOf(*image, column, row), 0xFF445566u);
    }
    EXPECT_EQ(files.files.at(tiles.TilePath(6, 32, 32)), stored);  // not overwritten by the failure
  }
}

TEST_F(TileCacheTest, WithoutAStaleTileAFailedDownloadStaysGrey) {
  http.AnswerOthers(0, "");
  http.Answer(TileUrl(kBase, 6, 32, 32), 200, FakeImageDecoder::EncodePng(256, 256, 0xFF00AA00));
  std::shared_ptr<const MapImage> image;
  EXPECT_EQ(BuildAndListRequests(&image).size(), 9u);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CentreOf(*image, 1, 1), 0xFF00AA00u);
  EXPECT_EQ(CentreOf(*image, 0, 0), kMapBackground);
  // Only the one tile that arrived was kept; the other eight are asked for again.
  EXPECT_EQ(BuildAndListRequests().size(), 8u);
}

TEST_F(TileCacheTest, DamagedCachedFileIsFetchedAgainAndReplaced) {
  Serve(0xFF102030);
  ASSERT_EQ(BuildAndListRequests().size(), 9u);
  const std::string good = FakeImageDecoder::EncodePng(256, 256, 0xFF102030);
  const std::string flipped = [&] {
    std::string s = good;
    s[45] ^= 0x01;  // one bit inside the image data: the checksum no longer matches
    return s;
  }();
  const std::vector<std::string> damages = {
      "", good.substr(0, good.size() - 1), good.substr(0, 20), flipped, "<html>not a tile</html>", good + "x",
  };
  for (const std::string& damage : damages) {
    const std::wstring path = cache.TilePath(6, 32, 31);
    fs.files[path] = damage;
    EXPECT_EQ(BuildAndListRequests(), std::vector<std::wstring>{TileUrl(kBase, 6, 32, 31)}) << damage.size();
    EXPECT_EQ(fs.files[path], good);
  }
}

TEST_F(TileCacheTest, TilesAreWrittenThroughATemporaryFileAndAReplacingMove) {
  Serve(0xFF102030);
  ASSERT_EQ(BuildAndListRequests().size(), 9u);
  EXPECT_EQ(fs.moveCalls, 9);
  EXPECT_EQ(fs.writeCalls, 9);
  for (const auto& [path, bytes] : fs.files) {
    EXPECT_FALSE(path.ends_with(L".tmp")) << path;
    EXPECT_TRUE(IsIntactPng(bytes));
  }
  const std::wstring path = cache.TilePath(6, 31, 33);
  EXPECT_EQ(path, kLocal + L"\\Tolvane\\tiles\\" + TileBaseFolderName(kBase) + L"\\6\\31\\33.png");
  for (const std::wstring& folder : {kLocal + L"\\Tolvane", kLocal + L"\\Tolvane\\tiles",
                                     kLocal + L"\\Tolvane\\tiles\\" + TileBaseFolderName(kBase) + L"\\6\\31"}) {
    EXPECT_EQ(fs.folders.count(folder), 1u) << folder;
  }
}

TEST_F(TileCacheTest, AFailedWriteOrMoveLeavesNoFileBehindAndTheMapIsStillDrawn) {
  for (const bool failMove : {false, true}) {
    FakeFileSystem files;
    FakeClock time;
    TileCache tiles(files, time, kBase);
    MapSources map{http, decoder, kBase, &tiles};
    (failMove ? files.failMove : files.failWrite) = true;
    Serve(0xFF102030);
    float mx = 0, my = 0;
    const auto image = BuildMap(map, 0, 0, 6, mx, my);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CentreOf(*image, 1, 1), 0xFF102030u);
    EXPECT_TRUE(files.files.empty()) << "failMove " << failMove;
    EXPECT_EQ(tiles.SizeBytes(), 0u);
  }
}

TEST_F(TileCacheTest, TheBoundEvictsTheOldestFilesFirst) {
  // The default 64 MiB: four old 16 MiB files of another tile base fill it exactly.
  const std::wstring root = kLocal + L"\\Tolvane\\tiles\\";
  const std::wstring other = root + TileBaseFolderName(kOtherBase) + L"\\";
  const uint64_t quarter = kTileCacheLimitBytes / 4;
  const std::vector<std::pair<std::wstring, int64_t>> old = {
      {other + L"6\\1\\1.png", NowMs() - 3 * kDayMs},
      {other + L"6\\1\\2.png", NowMs() - 5 * kDayMs},  // the oldest
      {other + L"6\\1\\3.png", NowMs() - 1 * kDayMs},
      {other + L"6\\1\\4.png", NowMs() - 4 * kDayMs},
  };
  for (const auto& [path, time] : old) {
    fs.files[path] = std::string(quarter, 'x');
    fs.modified[path] = time;
  }
  fs.files[root + L"stray.png.tmp"] = "left over";
  ASSERT_EQ(cache.SizeBytes(), kTileCacheLimitBytes);
  EXPECT_EQ(fs.files.count(root + L"stray.png.tmp"), 0u);  // removed when the cache was opened

  Serve(0xFF102030);
  ASSERT_EQ(BuildAndListRequests().size(), 9u);
  EXPECT_EQ(fs.files.count(old[1].first), 0u);  // one eviction made room for all nine
  for (const size_t kept : {0, 2, 3}) EXPECT_EQ(fs.files.count(old[kept].first), 1u) << kept;
  EXPECT_LE(cache.SizeBytes(), kTileCacheLimitBytes);
}

TEST_F(TileCacheTest, SmallBoundKeepsTheNewestTiles) {
  const uint64_t tileSize = FakeImageDecoder::EncodePng(256, 256, 0xFF000001).size();
  TileCache small(fs, clock, kBase, 3 * tileSize + tileSize / 2);
  for (int y = 0; y < 5; ++y) {
    clock.Advance(1000);
    ASSERT_TRUE(small.Store(6, 7, y, FakeImageDecoder::EncodePng(256, 256, 0xFF000001 + y), {}));
    EXPECT_LE(small.SizeBytes(), 3 * tileSize + tileSize / 2);
  }
  for (int y = 0; y < 5; ++y) EXPECT_EQ(fs.Exists(small.TilePath(6, 7, y)), y >= 2) << y;
  // Replacing a tile that is already there takes no room from the others.
  clock.Advance(1000);
  ASSERT_TRUE(small.Store(6, 7, 2, FakeImageDecoder::EncodePng(256, 256, 0xFF0000AA), {}));
  for (int y = 2; y < 5; ++y) EXPECT_TRUE(fs.Exists(small.TilePath(6, 7, y))) << y;
  // Nothing larger than the bound is kept, and nothing else is evicted for it.
  EXPECT_FALSE(small.Store(6, 7, 9, std::string(4 * tileSize, 'x'), {}));
  for (int y = 2; y < 5; ++y) EXPECT_TRUE(fs.Exists(small.TilePath(6, 7, y))) << y;
}

TEST_F(TileCacheTest, AFailedStoreEvictsNothingAndAFolderNotMadeIsMadeAtTheNextStore) {
  const uint64_t tileSize = FakeImageDecoder::EncodePng(256, 256, 0xFF000001).size();
  TileCache small(fs, clock, kBase, 2 * tileSize);
  fs.failCreateFolder = true;  // and then the folders are deleted while the program runs
  for (int y = 0; y < 2; ++y) ASSERT_TRUE(small.Store(6, 7, y, FakeImageDecoder::EncodePng(256, 256, 0xFF000001), {}));
  fs.failCreateFolder = false;
  fs.folders.clear();
  fs.failWrite = true;
  EXPECT_FALSE(small.Store(6, 7, 2, FakeImageDecoder::EncodePng(256, 256, 0xFF000002), {}));
  for (int y = 0; y < 2; ++y) EXPECT_TRUE(fs.Exists(small.TilePath(6, 7, y))) << y;
  EXPECT_EQ(fs.folders.count(kLocal + L"\\Tolvane\\tiles\\" + TileBaseFolderName(kBase) + L"\\6\\7"), 1u);
}

TEST_F(TileCacheTest, AFileDatedBeyondAYearAndADayAheadIsStale) {
  const std::wstring path = cache.TilePath(6, 1, 1);
  fs.files[path] = FakeImageDecoder::EncodePng(256, 256, 0xFF102030);
  for (const auto& [aheadMs, fresh] :
       {std::pair{kTileMaxFreshMs + kDayMs, true}, {kTileMaxFreshMs + kDayMs + 1, false}}) {
    fs.modified[path] = NowMs() + aheadMs;
    TileCache restarted(fs, clock, kBase);
    TileCache::Tile tile;
    ASSERT_TRUE(restarted.Find(6, 1, 1, tile));
    EXPECT_EQ(tile.fresh, fresh) << aheadMs;
  }
}

TEST_F(TileCacheTest, TwoTileBasesDoNotShareTiles) {
  Serve(0xFF102030);
  ASSERT_EQ(BuildAndListRequests().size(), 9u);
  TileCache otherCache(fs, clock, kOtherBase);
  MapSources otherSources{http, decoder, kOtherBase, &otherCache};
  http.ClearRequests();
  float mx = 0, my = 0;
  ASSERT_NE(BuildMap(otherSources, 0, 0, 6, mx, my), nullptr);
  std::vector<std::wstring> asked = http.Requests();
  std::sort(asked.begin(), asked.end());
  std::vector<std::wstring> expected = BlockUrls(kOtherBase);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(asked, expected);
  EXPECT_NE(otherCache.TilePath(6, 32, 32), cache.TilePath(6, 32, 32));
  EXPECT_EQ(fs.files.size(), 18u);
}

TEST_F(TileCacheTest, AfterARestartTheFilesAloneSayWhatIsFresh) {
  Serve(0xFF102030, HttpHeaders{L"max-age=2592000", L"", L"", L""});  // 30 days
  ASSERT_EQ(BuildAndListRequests().size(), 9u);
  for (const int64_t days : {20, 31}) {
    FakeClock later;
    later.Advance(static_cast<uint64_t>(days * kDayMs));
    TileCache restarted(fs, later, kBase);
    MapSources map{http, decoder, kBase, &restarted};
    http.ClearRequests();
    float mx = 0, my = 0;
    ASSERT_NE(BuildMap(map, 0, 0, 6, mx, my), nullptr);
    EXPECT_EQ(http.Requests().size(), days == 20 ? 0u : 9u) << days;
  }
}

TEST_F(TileCacheTest, WithoutALocalFolderThereIsNoCache) {
  fs.cacheFolder.clear();
  Serve(0xFF102030);
  EXPECT_EQ(BuildAndListRequests().size(), 9u);
  EXPECT_EQ(BuildAndListRequests().size(), 9u);
  EXPECT_TRUE(fs.files.empty());
}

TEST(TileFreshness, LongerOfTheServersLifetimeAndSevenDays) {
  const int64_t now = 1700000000000;  // 2023-11-14 22:13:20 UTC
  struct Case {
    std::wstring cacheControl, expires;
    int64_t freshMs;
  };
  const std::vector<Case> cases = {
      {L"", L"", 7 * kDayMs},
      {L"max-age=86400, stale-while-revalidate=604800", L"", 7 * kDayMs},
      {L"max-age=864000", L"", 10 * kDayMs},
      {L"no-cache, max-age=0", L"", 7 * kDayMs},
      {L"max-age=99999999999999999999", L"", kTileMaxFreshMs},
      {L"", L"Fri, 24 Nov 2023 22:13:20 GMT", 10 * kDayMs},
      {L"", L"Wed, 15 Nov 2023 22:13:20 GMT", 7 * kDayMs},
      {L"", L"Thu, 01 Jan 1970 00:00:00 GMT", 7 * kDayMs},
      {L"", L"0", 7 * kDayMs},
      {L"max-age=60", L"Fri, 24 Nov 2023 22:13:20 GMT", 7 * kDayMs},     // max-age decides
      {L"max-age=oops", L"Fri, 24 Nov 2023 22:13:20 GMT", 10 * kDayMs},  // unreadable: Expires
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TileFreshnessMs(HttpHeaders{c.cacheControl, c.expires, L"", L""}, now), c.freshMs)
        << std::string(c.cacheControl.begin(), c.cacheControl.end()) << " / "
        << std::string(c.expires.begin(), c.expires.end());
  }
}

TEST(TileBaseFolder, HostAndAHashOfTheWholeBase) {
  const std::wstring osm = TileBaseFolderName(L"https://tile.openstreetmap.org");
  EXPECT_TRUE(osm.starts_with(L"tile.openstreetmap.org-")) << std::string(osm.begin(), osm.end());
  EXPECT_EQ(osm.size(), std::wstring(L"tile.openstreetmap.org-").size() + 8);
  const std::wstring local = TileBaseFolderName(L"http://127.0.0.1:8080/tiles");
  EXPECT_TRUE(local.starts_with(L"127.0.0.1-")) << std::string(local.begin(), local.end());
  // A name and password in the base reach the disk in no form, not even through the hash.
  EXPECT_EQ(TileBaseFolderName(L"http://tiler:s3cr@t@127.0.0.1:8080/tiles"), local);
  EXPECT_TRUE(TileBaseFolderName(L"HTTP://Tiles.Example.ORG/a").starts_with(L"tiles.example.org-"));
  EXPECT_TRUE(TileBaseFolderName(L"").starts_with(L"tiles-"));
  EXPECT_TRUE(TileBaseFolderName(L"http://a\\..\\..\\b:1/x").starts_with(L"a_.._.._b-"));
  // Bases that differ only in scheme, port or path get folders of their own; the same base the same.
  const std::vector<std::wstring> bases = {L"https://tile.openstreetmap.org", L"http://tile.openstreetmap.org",
                                           L"https://tile.openstreetmap.org/hot", L"http://127.0.0.1:8080/tiles",
                                           L"http://127.0.0.1:8081/tiles"};
  std::vector<std::wstring> names;
  for (const std::wstring& b : bases) names.push_back(TileBaseFolderName(b));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  EXPECT_EQ(TileBaseFolderName(L"http://127.0.0.1:8080/tiles"), local);
  EXPECT_LE(TileBaseFolderName(L"http://" + std::wstring(300, L'h')).size(), 48u + 9u);
}

TEST(PngCheck, WholePngsOnly) {
  const std::string good = FakeImageDecoder::EncodePng(256, 256, 0xFF102030);
  ASSERT_TRUE(IsIntactPng(good));
  auto withByte = [&](size_t at, char value) {
    std::string s = good;
    s[at] = value;
    return s;
  };
  // A PNG made of IHDR and IEND only has no image data.
  const std::string noData = good.substr(0, 33) + good.substr(good.size() - 12);
  // The IHDR length field claims more bytes than there are.
  const std::string hugeLength = withByte(8, '\x7F');
  const std::string cases[] = {
      "",
      "\x89PNG\r\n\x1a\n",
      good.substr(0, good.size() - 12),  // no IEND
      good.substr(0, good.size() - 1),
      good + std::string(1, '\0'),
      withByte(0, 'X'),                 // signature
      withByte(12, 'i'),                // IHDR type: checksum no longer matches
      withByte(good.size() - 1, '\0'),  // IEND checksum
      noData,
      hugeLength,
      withByte(37, '\x01'),  // IDAT type byte made no letter
      "<html>Service unavailable</html>",
  };
  for (const std::string& bytes : cases) EXPECT_FALSE(IsIntactPng(bytes)) << bytes.size();
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

// Ten lookups of addresses in Frankfurt, with the coordinates such a service gives for them (the
// city centre for several, district centres for the rest), counted in tile requests without and
// with the cache, and once more after a restart. Printed for the record; asserted as well.
TEST(TileRequestsForTenLookupsInOneCity, NinetyWithoutTheCacheNineWithItNoneAfterARestart) {
  const std::wstring api = L"http://127.0.0.1:1";
  const std::pair<double, double> places[] = {
      {50.1109, 8.68213}, {50.1187, 8.6842}, {50.1155, 8.6842}, {50.1025, 8.6299}, {50.0979, 8.6737},
      {50.1136, 8.6797},  {50.1211, 8.4964}, {50.0951, 8.7052}, {50.1213, 8.6510}, {50.1109, 8.68213},
  };
  FakeFileSystem fs;
  FakeClock clock;
  FakeImageDecoder decoder;
  auto countTileRequests = [&](TileCache* cache) {
    FakeHttpClient http;
    http.AnswerOthers(200, FakeImageDecoder::EncodePng(256, 256, 0xFF808080));
    for (int i = 0; i < 10; ++i) {
      char answer[160];
      std::snprintf(answer, sizeof answer, R"({"status":"success","city":"Frankfurt am Main","lat":%.4f,"lon":%.5f})",
                    places[i].first, places[i].second);
      http.Answer(LookupUrl(api, L"198.51.100." + std::to_wstring(i + 1)), 200, answer);
    }
    MapSources sources{http, decoder, kBase, cache};
    const MapBuilder build = [&](double lat, double lon, int zoom, float& mx, float& my) {
      return BuildMap(sources, lat, lon, zoom, mx, my);
    };
    for (int i = 0; i < 10; ++i) {
      const LookupResult r = PerformLookup(L"198.51.100." + std::to_wstring(i + 1), api, http, build, nullptr);
      EXPECT_EQ(r.mapState, MapState::Ready);
    }
    const std::vector<std::wstring> asked = http.Requests();
    return std::count_if(asked.begin(), asked.end(), [](const std::wstring& u) { return u.starts_with(kBase); });
  };
  const auto before = countTileRequests(nullptr);
  TileCache cache(fs, clock, kBase);
  const auto after = countTileRequests(&cache);
  TileCache restarted(fs, clock, kBase);
  const auto afterRestart = countTileRequests(&restarted);
  std::printf("tile requests for ten lookups in one city: %d without the cache, %d with it, %d after a restart\n",
              static_cast<int>(before), static_cast<int>(after), static_cast<int>(afterRestart));
  EXPECT_EQ(before, 90);
  EXPECT_EQ(after, 9);
  EXPECT_EQ(afterRestart, 0);
}

}  // namespace
}  // namespace tolvane
