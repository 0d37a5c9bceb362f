// Tile math and composition of the lookup map.
//
// The nine downloads run on their own threads because each is a full HTTP round trip (up to the
// HTTP time-outs); run in parallel, a map costs about one tile's wait. Each thread writes only its
// own slot, and the slots are read after every thread is joined, so nothing here needs a lock.
// Decoding happens afterwards on the calling thread: the decoder is then used by one thread at a
// time, whatever its own thread safety.
//
// The location comes from a network answer, so it is checked before any arithmetic that would turn
// into an integer: a non-finite latitude or longitude, or a zoom outside 0..kMaxMapZoom, gives no
// map (and requests nothing) instead of an undefined float-to-integer conversion. A longitude
// outside -180..180 is wrapped into it, which leaves the tile and marker of any in-range value as
// they are.
#include "lookup/map_tiles.h"

#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <utility>
#include <system_error>
#include <thread>

namespace tolvane {
namespace {

struct TileSlot {
  std::string body;
  int32_t status = 0;
  HttpHeaders headers;
  bool ok = false;
};

void TileFetch(HttpClient& http, const std::wstring& url, TileSlot& slot) {
  const bool got = http.HttpGet(url, slot.body, slot.status, slot.headers);
  slot.ok = got && !slot.body.empty();
}

// Nearest-neighbour scaling: tiles are 256 pixels on every standard server, so this is normally a
// straight copy; another size is stretched or shrunk to fill its square.
void DrawTile(MapImage& image, int column, int row, int width, int height, const std::vector<uint32_t>& pixels) {
  const int size = MapImage::kTileSize;
  for (int y = 0; y < size; ++y) {
    const size_t srcRow = static_cast<size_t>(static_cast<int64_t>(y) * height / size) * static_cast<size_t>(width);
    uint32_t* dst = image.pixels.data() + static_cast<size_t>(row * size + y) * MapImage::kSize + column * size;
    for (int x = 0; x < size; ++x) {
      dst[x] = pixels[srcRow + static_cast<size_t>(static_cast<int64_t>(x) * width / size)];
    }
  }
}

}  // namespace

TileMath ComputeTiles(double lat, double lon, int zoom) {
  TileMath math;
  if (!std::isfinite(lat) || !std::isfinite(lon) || zoom < 0 || zoom > kMaxMapZoom) return math;
  math.valid = true;
  math.zoom = zoom;
  math.n = int64_t{1} << zoom;
  const double n = static_cast<double>(math.n);
  if (lat > kMapMaxLatitude) lat = kMapMaxLatitude;
  if (lat < -kMapMaxLatitude) lat = -kMapMaxLatitude;
  if (lon < -180.0 || lon > 180.0) {
    lon = std::fmod(lon + 180.0, 360.0);
    if (lon < 0) lon += 360.0;
    lon -= 180.0;
  }
  const double phi = lat * std::numbers::pi / 180.0;
  math.fx = (lon + 180.0) / 360.0 * n;
  math.fy = (1.0 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / std::numbers::pi) / 2.0 * n;
  math.tx = static_cast<int64_t>(std::floor(math.fx));
  math.ty = static_cast<int64_t>(std::floor(math.fy));
  math.markerX =
      static_cast<float>((math.fx - static_cast<double>(math.tx)) * MapImage::kTileSize + MapImage::kTileSize);
  math.markerY =
      static_cast<float>((math.fy - static_cast<double>(math.ty)) * MapImage::kTileSize + MapImage::kTileSize);
  return math;
}

bool BlockTile(const TileMath& math, int i, int64_t& x, int64_t& y) {
  x = 0;
  y = 0;
  if (!math.valid || i < 0 || i > 8) return false;
  const int64_t row = math.ty + i / 3 - 1;
  if (row < 0 || row >= math.n) return false;
  x = ((math.tx + i % 3 - 1) % math.n + math.n) % math.n;
  y = row;
  return true;
}

std::wstring TileUrl(const std::wstring& tileBase, int zoom, int64_t x, int64_t y) {
  return tileBase + L"/" + std::to_wstring(zoom) + L"/" + std::to_wstring(x) + L"/" + std::to_wstring(y) + L".png";
}

std::shared_ptr<const MapImage> BuildMap(MapSources& sources, double lat, double lon, int zoom, float& markerX,
                                         float& markerY) {
  markerX = MapImage::kSize / 2.0f;
  markerY = MapImage::kSize / 2.0f;
  const TileMath math = ComputeTiles(lat, lon, zoom);
  if (!math.valid) return nullptr;

  std::array<TileSlot, 9> slots;
  std::array<std::wstring, 9> urls;
  std::array<std::thread, 9> threads;
  std::array<std::optional<TileCache::Tile>, 9> stale;
  std::array<std::pair<int64_t, int64_t>, 9> where;
  for (int i = 0; i < 9; ++i) {
    int64_t x = 0, y = 0;
    if (!BlockTile(math, i, x, y)) continue;
    where[i] = {x, y};
    if (sources.cache) {
      TileCache::Tile cached;
      if (sources.cache->Find(zoom, x, y, cached)) {
        if (cached.fresh) {
          slots[i].body = std::move(cached.bytes);
          slots[i].ok = true;
          continue;
        }
        stale[i] = std::move(cached);
      }
    }
    urls[i] = TileUrl(sources.tileBase, zoom, x, y);
    try {
      threads[i] = std::thread(TileFetch, std::ref(sources.http), std::cref(urls[i]), std::ref(slots[i]));
    } catch (const std::system_error&) {
      // Out of threads: this tile counts as missing, like one the server refused.
    }
  }
  for (std::thread& t : threads) {
    if (t.joinable()) t.join();
  }
  if (sources.cache) {
    for (int i = 0; i < 9; ++i) {
      if (urls[i].empty()) continue;  // no download: beyond a pole, or fresh from the cache
      TileSlot& slot = slots[i];
      // Only a whole PNG replaces what the cache holds; an error page sent with 200 does not.
      if (slot.ok && sources.cache->Store(zoom, where[i].first, where[i].second, slot.body, slot.headers)) continue;
      if (stale[i] && !(slot.ok && IsIntactPng(slot.body))) {
        slot.body = std::move(stale[i]->bytes);
        slot.ok = true;
      }
    }
  }

  bool any = false;
  for (const TileSlot& slot : slots) any = any || slot.ok;
  if (!any) return nullptr;

  auto image = std::make_shared<MapImage>();
  image->pixels.assign(static_cast<size_t>(MapImage::kSize) * MapImage::kSize, kMapBackground);
  for (int i = 0; i < 9; ++i) {
    if (!slots[i].ok) continue;
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    // Only one whole PNG reaches the decoder: the image library behind it reads other formats too
    // (metafiles among them), and this process runs elevated.
    if (!IsIntactPng(slots[i].body) || !sources.decoder.DecodePng(slots[i].body, width, height, pixels)) continue;
    // A decoder's word on the size is checked against what it delivered before any pixel is read.
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
      continue;
    }
    DrawTile(*image, i % 3, i / 3, width, height, pixels);
  }
  markerX = math.markerX;
  markerY = math.markerY;
  return image;
}

}  // namespace tolvane
