// Tile math and map composition with a fake HTTP client and a fake decoder: which tiles are asked
// for (poles, date line), where each one lands in the image, and what a missing, empty, refused or
// undecodable tile leaves behind. Reference tile numbers were computed independently with the
// inverse-hyperbolic form of the Mercator formula.
#include "lookup/map_tiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fakes/fake_http.h"
#include "fakes/fake_image_decoder.h"

namespace tolvane {
namespace {

const std::wstring kBase = L"http://127.0.0.1:9/tiles";

std::vector<std::pair<int64_t, int64_t>> Block(const TileMath& m) {
  std::vector<std::pair<int64_t, int64_t>> tiles;
  for (int i = 0; i < 9; ++i) {
    int64_t x = 0, y = 0;
    tiles.emplace_back(BlockTile(m, i, x, y) ? std::make_pair(x, y) : std::make_pair(int64_t{-1}, int64_t{-1}));
  }
  return tiles;
}

TEST(TileMath, CentreTileMarkerAndBlock) {
  struct Case {
    double lat, lon;
    int zoom;
    int64_t tx, ty;
    float markerX, markerY;
  };
  const Case cases[] = {
      {0, 0, 6, 32, 32, 256.0f, 256.0f},
      {50.1109, 8.68213, 10, 536, 346, 434.134f, 458.990f},
      {-33.8688, 151.2093, 6, 58, 38, 481.703f, 359.911f},
      {89, 10, 6, 33, 0, -1, -1},  // clamped to the Mercator limit: top row of the world
      {85.0511, 10, 10, 540, 0, -1, -1},
      {-89, 10, 6, 33, 63, -1, -1},  // bottom row
      {0, 179.9, 6, 63, 32, -1, 256.0f},
  };
  for (const Case& c : cases) {
    const TileMath m = ComputeTiles(c.lat, c.lon, c.zoom);
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.n, int64_t{1} << c.zoom);
    EXPECT_EQ(m.tx, c.tx) << c.lat << "," << c.lon;
    EXPECT_EQ(m.ty, c.ty) << c.lat << "," << c.lon;
    if (c.markerX >= 0) {
      EXPECT_NEAR(m.markerX, c.markerX, 0.01f);
    }
    if (c.markerY >= 0) {
      EXPECT_NEAR(m.markerY, c.markerY, 0.01f);
    }
    // The marker always lies inside the centre square.
    EXPECT_GE(m.markerX, 256.0f);
    EXPECT_LT(m.markerX, 512.0f);
    EXPECT_GE(m.markerY, 256.0f);
    EXPECT_LT(m.markerY, 512.0f);
  }
}

TEST(TileMath, BlockWrapsColumnsAndSkipsRowsBeyondThePoles) {
  using P = std::pair<int64_t, int64_t>;
  const P skip{-1, -1};
  struct Case {
    double lat, lon;
    int zoom;
    std::vector<P> block;
  };
  const Case cases[] = {
      {0, 0, 6, {{31, 31}, {32, 31}, {33, 31}, {31, 32}, {32, 32}, {33, 32}, {31, 33}, {32, 33}, {33, 33}}},
      {0, 179.9, 6, {{62, 31}, {63, 31}, {0, 31}, {62, 32}, {63, 32}, {0, 32}, {62, 33}, {63, 33}, {0, 33}}},
      {0, -179.9, 6, {{63, 31}, {0, 31}, {1, 31}, {63, 32}, {0, 32}, {1, 32}, {63, 33}, {0, 33}, {1, 33}}},
      {89, 0, 6, {skip, skip, skip, {31, 0}, {32, 0}, {33, 0}, {31, 1}, {32, 1}, {33, 1}}},
      {-89, 0, 6, {{31, 62}, {32, 62}, {33, 62}, {31, 63}, {32, 63}, {33, 63}, skip, skip, skip}},
      {0, 0, 0, {skip, skip, skip, {0, 0}, {0, 0}, {0, 0}, skip, skip, skip}},
      // Out-of-range longitudes wrap to the same tiles as their in-range twins.
      {0, 180, 6, {{63, 31}, {0, 31}, {1, 31}, {63, 32}, {0, 32}, {1, 32}, {63, 33}, {0, 33}, {1, 33}}},
      {0, 540, 6, {{63, 31}, {0, 31}, {1, 31}, {63, 32}, {0, 32}, {1, 32}, {63, 33}, {0, 33}, {1, 33}}},
      {0, -360, 6, {{31, 31}, {32, 31}, {33, 31}, {31, 32}, {32, 32}, {33, 32}, {31, 33}, {32, 33}, {33, 33}}},
  };
  for (const Case& c : cases) EXPECT_EQ(Block(ComputeTiles(c.lat, c.lon, c.zoom)), c.block) << c.lat << "," << c.lon;
}

TEST(TileMath, UnusableLocationOrZoomGivesNoTiles) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double lat, lon;
    int zoom;
  };
  const Case cases[] = {{nan, 0, 6}, {0, nan, 6}, {inf, 0, 6}, {0, -inf, 6}, {0, 0, -1}, {0, 0, 31}, {0, 0, 1000}};
  for (const Case& c : cases) {
    const TileMath m = ComputeTiles(c.lat, c.lon, c.zoom);
    EXPECT_FALSE(m.valid);
    int64_t x = 7, y = 7;
    EXPECT_FALSE(BlockTile(m, 4, x, y));
  }
  EXPECT_TRUE(ComputeTiles(0, 0, kMaxMapZoom).valid);
}

TEST(TileMath, UrlIsBaseZoomXY) {
  EXPECT_EQ(TileUrl(kBase, 6, 0, 31), L"http://127.0.0.1:9/tiles/6/0/31.png");
  EXPECT_EQ(TileUrl(L"", 10, 536, 346), L"/10/536/346.png");
}

uint32_t Pixel(const MapImage& image, int x, int y) {
  return image.pixels[static_cast<size_t>(y) * MapImage::kSize + static_cast<size_t>(x)];
}

// The colour of square (column, row), after checking that it is uniform at its corners and centre.
uint32_t SquareColour(const MapImage& image, int column, int row) {
  const int x0 = column * 256, y0 = row * 256;
  const uint32_t c = Pixel(image, x0 + 128, y0 + 128);
  for (const auto& [dx, dy] : {std::pair{0, 0}, {255, 0}, {0, 255}, {255, 255}}) {
    EXPECT_EQ(Pixel(image, x0 + dx, y0 + dy), c) << "square " << column << "," << row;
  }
  return c;
}

struct MapFixture : ::testing::Test {
  FakeHttpClient http;
  FakeImageDecoder decoder;
  MapSources sources{http, decoder, kBase};
  float markerX = -1, markerY = -1;
};

TEST_F(MapFixture, EveryTileRefusedGivesNoImageAndCentredMarker) {
  http.AnswerOthers(404, "Not Found");
  const auto image = BuildMap(sources, 0, 0, 6, markerX, markerY);
  EXPECT_EQ(image, nullptr);
  EXPECT_EQ(markerX, 384.0f);
  EXPECT_EQ(markerY, 384.0f);
  std::vector<std::wstring> asked = http.Requests();
  std::sort(asked.begin(), asked.end());
  std::vector<std::wstring> expected;
  for (int y = 31; y <= 33; ++y) {
    for (int x = 31; x <= 33; ++x) expected.push_back(TileUrl(kBase, 6, x, y));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(asked, expected);
  EXPECT_EQ(decoder.calls.load(), 0);
}

TEST_F(MapFixture, FailedTilesStayGreyAndGoodOnesLandInTheirSquares) {
  // Block at (0, 0) zoom 6: columns x 31..33, rows y 31..33.
  http.AnswerOthers(0, "");
  http.Answer(TileUrl(kBase, 6, 31, 31), 200, FakeImageDecoder::EncodePng(256, 256, 0xFF112233));
  http.Answer(TileUrl(kBase, 6, 33, 31), 200, FakeImageDecoder::EncodePng(128, 128, 0xFF445566));  // stretched
  http.Answer(TileUrl(kBase, 6, 32, 32), 200, FakeImageDecoder::EncodePng(512, 300, 0x80402010));  // shrunk
  // Decodable, but no PNG (to a real decoder a BMP or a metafile): the image library never sees it.
  http.Answer(TileUrl(kBase, 6, 31, 32), 200, FakeImageDecoder::Encode(256, 256, 0xFF778899));
  http.Answer(TileUrl(kBase, 6, 33, 32), 200, "");  // empty body: not a tile
  http.Answer(TileUrl(kBase, 6, 31, 33), 503, FakeImageDecoder::EncodePng(256, 256, 0xFFFF0000));  // error page
  http.Answer(TileUrl(kBase, 6, 32, 33), 404, FakeImageDecoder::EncodePng(256, 256, 0xFF00FF00));
  http.Answer(TileUrl(kBase, 6, 33, 33), 200, FakeImageDecoder::EncodePng(1, 1, 0xFFABCDEF));
  const auto image = BuildMap(sources, 0, 0, 6, markerX, markerY);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->pixels.size(), 768u * 768u);
  const uint32_t grey = kMapBackground;
  const uint32_t expected[3][3] = {{0xFF112233, grey, 0xFF445566}, {grey, 0x80402010, grey}, {grey, grey, 0xFFABCDEF}};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      EXPECT_EQ(SquareColour(*image, column, row), expected[row][column]) << "square " << column << "," << row;
    }
  }
  EXPECT_EQ(markerX, 256.0f);
  EXPECT_EQ(markerY, 256.0f);
  EXPECT_EQ(decoder.calls.load(), 4);  // only the four whole PNGs
}

TEST_F(MapFixture, TilesBeyondThePoleAreNeverRequested) {
  http.AnswerOthers(200, FakeImageDecoder::EncodePng(256, 256, 0xFF0000FF));
  const auto image = BuildMap(sources, 89, 0, 6, markerX, markerY);
  ASSERT_NE(image, nullptr);
  const std::vector<std::wstring> asked = http.Requests();
  EXPECT_EQ(asked.size(), 6u);
  for (const std::wstring& url : asked) EXPECT_EQ(url.find(L"/-1.png"), std::wstring::npos) << url;
  for (int column = 0; column < 3; ++column) {
    EXPECT_EQ(SquareColour(*image, column, 0), kMapBackground);
    EXPECT_EQ(SquareColour(*image, column, 1), 0xFF0000FFu);
    EXPECT_EQ(SquareColour(*image, column, 2), 0xFF0000FFu);
  }
  EXPECT_GE(markerY, 256.0f);
  EXPECT_LT(markerY, 512.0f);
}

TEST_F(MapFixture, DateLineBlockRequestsWrappedColumn) {
  http.AnswerOthers(404, "");
  http.Answer(TileUrl(kBase, 6, 0, 32), 200, FakeImageDecoder::EncodePng(256, 256, 0xFF00AA00));
  const auto image = BuildMap(sources, 0, 179.9, 6, markerX, markerY);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(SquareColour(*image, 2, 1), 0xFF00AA00u);
  EXPECT_EQ(SquareColour(*image, 1, 1), kMapBackground);
}

TEST_F(MapFixture, UnusableLocationRequestsNothing) {
  http.AnswerOthers(200, FakeImageDecoder::EncodePng(256, 256, 0xFF0000FF));
  const auto image = BuildMap(sources, std::numeric_limits<double>::quiet_NaN(), 0, 6, markerX, markerY);
  EXPECT_EQ(image, nullptr);
  EXPECT_EQ(markerX, 384.0f);
  EXPECT_EQ(markerY, 384.0f);
  EXPECT_TRUE(http.Requests().empty());
}

// A decoder whose reported size does not match the pixels it delivered must not make the map read
// past the pixel buffer; that tile stays grey.
class LyingDecoder final : public ImageDecoder {
 public:
  bool DecodePng(const std::string&, int& width, int& height, std::vector<uint32_t>& pixels) override {
    width = 256;
    height = 256;
    pixels.assign(10, 0xFF000000);
    return true;
  }
};

TEST(BuildMap, DecodedSizeMismatchLeavesTileGrey) {
  FakeHttpClient http;
  LyingDecoder decoder;
  MapSources sources{http, decoder, kBase};
  http.AnswerOthers(200, FakeImageDecoder::EncodePng(256, 256, 0xFF000000));
  float mx = 0, my = 0;
  const auto image = BuildMap(sources, 0, 0, 6, mx, my);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(SquareColour(*image, 1, 1), kMapBackground);
}

}  // namespace
}  // namespace tolvane
