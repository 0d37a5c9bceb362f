// The map with the real pieces under Wine: GDI+ decoding hand-built PNG bytes, and BuildMap
// downloading them through WinHTTP from a loopback tile server in this process.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "loopback_http_server.h"
#include "lookup/map_tiles.h"
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

}  // namespace
}  // namespace tolvane
