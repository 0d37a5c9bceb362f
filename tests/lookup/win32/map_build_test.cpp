// The map with the real pieces under Wine: GDI+ decoding hand-built PNG bytes, and BuildMap
// downloading them through WinHTTP from a loopback tile server in this process, with and without
// the tile cache on the real file system (in a folder of its own under the temporary folder).
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"

#include "loopback_http_server.h"
#include "lookup/map_tiles.h"
#include "lookup/tile_cache.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/image_decoding.h"

namespace tolvane {
namespace {

using loopback::CannedResponse;
using loopback::LoopbackHttpServer;
using loopback::MakeSolidPng;

struct GdiplusFixture : ::testing::Test {
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
  }
  void TearDown() override {
    if (token) Gdiplus::GdiplusShutdown(token);
  }
  ULONG_PTR token = 0;
};

bool Near(uint32_t actual, uint32_t expected) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (std::abs(static_cast<int>((actual >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) > 1) {
      return false;
    }
  }
  return true;
}

using DecodePng = GdiplusFixture;

TEST_F(DecodePng, SolidPngsGivePremultipliedPixels) {
  struct Case {
    int width, height;
    uint8_t r, g, b, a;
    uint32_t premultiplied;
  };
  const Case cases[] = {
      {256, 256, 0x12, 0x34, 0x56, 0xFF, 0xFF123456},
      {3, 2, 0x20, 0x40, 0x80, 0x80, 0x80102040},  // half transparent: channels halved
      {1, 1, 0xFF, 0xFF, 0xFF, 0x00, 0x00000000},
  };
  for (const Case& c : cases) {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(
        SystemImageDecoder().DecodePng(MakeSolidPng(c.width, c.height, c.r, c.g, c.b, c.a), width, height, pixels));
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    ASSERT_EQ(pixels.size(), static_cast<size_t>(c.width) * c.height);
    EXPECT_TRUE(Near(pixels.front(), c.premultiplied)) << std::hex << pixels.front();
    EXPECT_TRUE(Near(pixels.back(), c.premultiplied)) << std::hex << pixels.back();
  }
}

TEST_F(DecodePng, BrokenBytesFailWithEmptyOutputs) {
  const std::string good = MakeSolidPng(16, 16, 1, 2, 3, 255);
  const std::string cases[] = {
      // A 1 x 1 BMP: GDI+ would decode it, so a tile server must not get it that far.
      std::string("BM:\0\0\0\0\0\0\0"
                  "6\0\0\0(\0\0\0\1\0\0\0\1\0\0\0\1\0\x18\0\0\0\0\0\4\0\0\0",
                  38) +
          std::string(16, '\0') + std::string("\0\0\xff\0", 4),
      "",
      "not an image at all",
      good.substr(0, 8),   // signature only
      good.substr(0, 40),  // cut inside the image data
      std::string(4096, '\x89'),
  };
  for (const std::string& bytes : cases) {
    int width = 7, height = 7;
    std::vector<uint32_t> pixels(5, 1);
    EXPECT_FALSE(SystemImageDecoder().DecodePng(bytes, width, height, pixels)) << bytes.size() << " bytes";
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    EXPECT_TRUE(pixels.empty());
  }
}

uint32_t Pixel(const MapImage& image, int x, int y) {
  return image.pixels[static_cast<size_t>(y) * MapImage::kSize + static_cast<size_t>(x)];
}

// Tiles of the block around (0, 0) at zoom 6 (x and y 31..33): the three of row 31 are missing
// (404), tile 33/32 is not a PNG, every other tile is a PNG whose colour encodes its x and y.
CannedResponse TileRoute(const std::string& head) {
  const std::string path = LoopbackHttpServer::PathOf(head);
  int zoom = 0, x = 0, y = 0;
  if (std::sscanf(path.c_str(), "/tiles/%d/%d/%d.png", &zoom, &x, &y) != 3 || zoom != 6 || y == 31) {
    return LoopbackHttpServer::Reply(404, "Not Found", "no tile", "text/plain");
  }
  if (x == 33 && y == 32) return LoopbackHttpServer::Reply(200, "OK", "<html>maintenance</html>", "image/png");
  return LoopbackHttpServer::Reply(
      200, "OK", MakeSolidPng(256, 256, static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0x77, 0xFF), "image/png");
}

using BuildMapOverHttp = GdiplusFixture;

TEST_F(BuildMapOverHttp, ComposesDownloadedTilesAndLeavesFailuresGrey) {
  LoopbackHttpServer server(TileRoute);
  ASSERT_TRUE(server.Listening());
  const std::unique_ptr<HttpClient> http = CreateSystemHttpClient(3000);
  MapSources sources{*http, SystemImageDecoder(), server.BaseUrl() + L"/tiles"};
  float markerX = 0, markerY = 0;
  const std::shared_ptr<const MapImage> image = BuildMap(sources, 0, 0, 6, markerX, markerY);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(markerX, 256.0f);
  EXPECT_EQ(markerY, 256.0f);
  EXPECT_EQ(server.RequestHeads().size(), 9u);
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      const int x = 31 + column, y = 31 + row;
      const bool grey = y == 31 || (x == 33 && y == 32);
      const uint32_t expected = grey ? kMapBackground : 0xFF000077u | (static_cast<uint32_t>(x) << 16) | (y << 8);
      for (const auto& [dx, dy] : {std::pair{0, 0}, {255, 255}, {128, 77}}) {
        EXPECT_EQ(Pixel(*image, column * 256 + dx, row * 256 + dy), expected) << "tile " << x << "/" << y;
      }
    }
  }
}

TEST_F(BuildMapOverHttp, NoReachableTileServerGivesNoMap) {
  const uint16_t closed = loopback::ClosedLoopbackPort();
  ASSERT_NE(closed, 0);
  const std::unique_ptr<HttpClient> http = CreateSystemHttpClient(3000);
  MapSources sources{*http, SystemImageDecoder(), L"http://127.0.0.1:" + std::to_wstring(closed)};
  float markerX = 0, markerY = 0;
  EXPECT_EQ(BuildMap(sources, 48.85, 2.35, 10, markerX, markerY), nullptr);
  EXPECT_EQ(markerX, 384.0f);
  EXPECT_EQ(markerY, 384.0f);
}

// The system's file system with a local application-data folder of the test's own, removed again
// at the end, so the cache's files, folders, listing and file times are the real Win32 ones.
class ScratchLocalFileSystem final : public FileSystem {
 public:
  ScratchLocalFileSystem()
      : local_(SystemFileSystem().TempFolder() + L"tolvane-tile-cache-" + std::to_wstring(GetCurrentProcessId()) +
               L"-" + std::to_wstring(GetTickCount64())) {
    CreateDirectoryW(local_.c_str(), nullptr);
  }
  ~ScratchLocalFileSystem() override {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(local_), ec);
  }
  // The scratch folder stands in for the local application-data folder.
  std::wstring Root() const { return local_; }
  std::wstring CacheFolder() override { return local_ + L"\\Tolvane"; }
  std::wstring SettingsFolder() override { return {}; }
  std::wstring SettingsFileShown() override { return {}; }
  std::wstring TempFolder() override { return sys_.TempFolder(); }
  bool CreateFolder(const std::wstring& path) override { return sys_.CreateFolder(path); }
  bool ReadAll(const std::wstring& path, std::string& bytes) override { return sys_.ReadAll(path, bytes); }
  bool WriteDurable(const std::wstring& path, const std::string& bytes) override {
    return sys_.WriteDurable(path, bytes);
  }
  bool Append(const std::wstring& path, const std::string& bytes) override { return sys_.Append(path, bytes); }
  bool MoveReplacing(const std::wstring& from, const std::wstring& to) override { return sys_.MoveReplacing(from, to); }
  bool Remove(const std::wstring& path) override { return sys_.Remove(path); }
  bool Exists(const std::wstring& path) override { return sys_.Exists(path); }
  bool ListFiles(const std::wstring& folder, std::vector<FileEntry>& files) override {
    return sys_.ListFiles(folder, files);
  }
  bool SetModifiedTime(const std::wstring& path, int64_t modifiedMs) override {
    return sys_.SetModifiedTime(path, modifiedMs);
  }

 private:
  FileSystem& sys_ = SystemFileSystem();
  std::wstring local_;
};

// The two file operations the cache needs beyond whole files: a listing of a folder tree with
// sizes and last-write times, and setting those times (past and future alike).
TEST(Win32Files, ListsNestedFilesWithSizesAndTheTimesSet) {
  ScratchLocalFileSystem files;
  const std::wstring root = files.Root();
  std::vector<FileEntry> listed;
  EXPECT_FALSE(files.ListFiles(root + L"\\missing", listed));
  ASSERT_TRUE(files.CreateFolder(root + L"\\a"));
  ASSERT_TRUE(files.CreateFolder(root + L"\\a\\b"));
  struct Case {
    std::wstring path;
    size_t size;
    int64_t modifiedMs;
  };
  const std::vector<Case> cases = {
      {root + L"\\top.png", 3, 1700000000000},             // 2023
      {root + L"\\a\\b\\deep.png", 70000, 1893456000000},  // 2030: a time in the future
      {root + L"\\a\\middle.png.tmp", 0, 631152000000},    // 1990
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(files.WriteDurable(c.path, std::string(c.size, 'z')));
    ASSERT_TRUE(files.SetModifiedTime(c.path, c.modifiedMs));
  }
  EXPECT_FALSE(files.SetModifiedTime(root + L"\\nothing.png", 1700000000000));
  ASSERT_TRUE(files.ListFiles(root, listed));
  ASSERT_EQ(listed.size(), cases.size());
  for (const Case& c : cases) {
    const auto it = std::find_if(listed.begin(), listed.end(), [&](const FileEntry& e) { return e.path == c.path; });
    ASSERT_NE(it, listed.end());
    EXPECT_EQ(it->size, c.size);
    EXPECT_EQ(it->modifiedMs, c.modifiedMs);
  }
}

// Every tile of the block around (0, 0) at zoom 6, in a colour made of its x and y.
CannedResponse EveryTile(const std::string& head) {
  int zoom = 0, x = 0, y = 0;
  if (std::sscanf(LoopbackHttpServer::PathOf(head).c_str(), "/tiles/%d/%d/%d.png", &zoom, &x, &y) != 3) {
    return LoopbackHttpServer::Reply(404, "Not Found", "no tile", "text/plain");
  }
  return LoopbackHttpServer::Reply(
      200, "OK", MakeSolidPng(256, 256, static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0x55, 0xFF), "image/png");
}

void ExpectEveryTileDrawn(const MapImage& image) {
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      const uint32_t expected = 0xFF000055u | (static_cast<uint32_t>(31 + column) << 16) | ((31 + row) << 8);
      EXPECT_EQ(Pixel(image, column * 256 + 100, row * 256 + 100), expected) << "square " << column << "," << row;
    }
  }
}

using CachedMapOverHttp = GdiplusFixture;

TEST_F(CachedMapOverHttp, SecondMapOfTheSamePlaceSendsNoRequest) {
  ScratchLocalFileSystem files;
  FakeClock clock;
  LoopbackHttpServer server(EveryTile);
  ASSERT_TRUE(server.Listening());
  const std::unique_ptr<HttpClient> http = CreateSystemHttpClient(3000);
  const std::wstring base = server.BaseUrl() + L"/tiles";
  TileCache cache(files, clock, base);
  MapSources sources{*http, SystemImageDecoder(), base, &cache};
  float markerX = 0, markerY = 0;
  const auto first = BuildMap(sources, 0, 0, 6, markerX, markerY);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(server.RequestHeads().size(), 9u);
  const std::wstring tile = cache.TilePath(6, 32, 32);
  EXPECT_EQ(tile, files.Root() + L"\\Tolvane\\tiles\\" + TileBaseFolderName(base) + L"\\6\\32\\32.png");
  EXPECT_TRUE(files.Exists(tile));
  EXPECT_FALSE(files.Exists(tile + L".tmp"));

  const auto second = BuildMap(sources, 0, 0, 6, markerX, markerY);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(server.RequestHeads().size(), 9u);
  ExpectEveryTileDrawn(*second);
  EXPECT_EQ(second->pixels, first->pixels);

  // After a restart the cache reads the files and their times back from the disk.
  TileCache restarted(files, clock, base);
  MapSources again{*http, SystemImageDecoder(), base, &restarted};
  ASSERT_NE(BuildMap(again, 0, 0, 6, markerX, markerY), nullptr);
  EXPECT_EQ(server.RequestHeads().size(), 9u);
  EXPECT_EQ(restarted.SizeBytes(), cache.SizeBytes());
}

TEST_F(CachedMapOverHttp, AfterTheServerIsStoppedTheMapIsDrawnFromTheCache) {
  for (const bool stale : {false, true}) {
    SCOPED_TRACE(stale ? "stale tiles" : "fresh tiles");
    ScratchLocalFileSystem files;
    FakeClock clock;
    const std::unique_ptr<HttpClient> http = CreateSystemHttpClient(3000);
    std::wstring base;
    {
      LoopbackHttpServer server(EveryTile);
      ASSERT_TRUE(server.Listening());
      base = server.BaseUrl() + L"/tiles";
      TileCache cache(files, clock, base);
      MapSources sources{*http, SystemImageDecoder(), base, &cache};
      float markerX = 0, markerY = 0;
      ASSERT_NE(BuildMap(sources, 0, 0, 6, markerX, markerY), nullptr);
      ASSERT_EQ(server.RequestHeads().size(), 9u);
    }  // the server is gone: its port refuses connections
    if (stale) clock.Advance(8ull * 24 * 3600 * 1000);
    TileCache cache(files, clock, base);
    MapSources sources{*http, SystemImageDecoder(), base, &cache};
    float markerX = 0, markerY = 0;
    const auto offline = BuildMap(sources, 0, 0, 6, markerX, markerY);
    ASSERT_NE(offline, nullptr);
    ExpectEveryTileDrawn(*offline);
    EXPECT_EQ(markerX, 256.0f);
    EXPECT_EQ(markerY, 256.0f);
  }
}

}  // namespace
}  // namespace tolvane
