// The street map of a lookup: a 3 x 3 block of 256-pixel OpenStreetMap raster tiles around a
// location, downloaded in parallel and composed into one 768 x 768 image.
//
// BuildMap runs on the lookup worker only. It starts nine short-lived threads (one HTTP GET each,
// bounded by the HTTP time-outs), joins them all, and decodes what arrived. Tiles beyond the poles
// are never requested; columns wrap around the date line. Each tile fails on its own and stays grey;
// only when no tile arrives at all is there no image. The returned image is read-only and shared
// with whoever shows it. Tile bytes are untrusted: a tile that is not one whole PNG never reaches
// the decoder and is left grey, like one that does not decode.
//
// With a tile cache, a fresh cached tile is used without a request; a stale or missing one is
// downloaded and stored, and when that download fails a stale tile is used all the same, so a map
// seen before is drawn even offline. All cache work happens on the calling thread, before the
// downloads start and after they are joined.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lookup/tile_cache.h"
#include "platform/http.h"
#include "platform/image_decoding.h"

namespace tolvane {

// The tile server used when the command line names none (HTTPS, standard /zoom/x/y.png scheme).
inline constexpr wchar_t kDefaultTileBase[] = L"https://tile.openstreetmap.org";
// Colour of the squares of missing tiles, 0xAARRGGBB (opaque, so premultiplied is the same).
inline constexpr uint32_t kMapBackground = 0xFFE2E2DE;
// Web Mercator stops here; latitudes beyond are drawn as if at the limit.
inline constexpr double kMapMaxLatitude = 85.0511;

struct MapImage {
  static constexpr int kSize = 768;
  static constexpr int kTileSize = 256;
  std::vector<uint32_t> pixels;  // kSize * kSize premultiplied ARGB, row-major, top row first
};

struct MapSources {
  HttpClient& http;
  ImageDecoder& decoder;
  std::wstring tileBase;       // URL prefix without a trailing slash
  TileCache* cache = nullptr;  // tiles kept on disk for this tileBase, or none
};

// Where a location falls in the tile grid of one zoom level.
struct TileMath {
  bool valid = false;  // false for a non-finite location or a zoom outside 0..kMaxMapZoom
  int zoom = 0;
  int64_t n = 1;                       // tiles across (and down) the world: 2^zoom
  double fx = 0, fy = 0;               // fractional tile coordinates of the location
  int64_t tx = 0, ty = 0;              // the tile that holds it, the centre of the block
  float markerX = 384, markerY = 384;  // the location in image pixels; always in the centre square
};

inline constexpr int kMaxMapZoom = 30;

TileMath ComputeTiles(double lat, double lon, int zoom);

// Grid position of block tile i (0..8, column i mod 3, row i div 3). False when the row lies beyond
// the top or bottom of the world; x is wrapped into 0..n-1.
bool BlockTile(const TileMath& math, int i, int64_t& x, int64_t& y);

// tileBase + "/" + zoom + "/" + x + "/" + y + ".png", the numbers in decimal.
std::wstring TileUrl(const std::wstring& tileBase, int zoom, int64_t x, int64_t y);

// Downloads and composes the map. Null when no tile arrived (markers then the image centre, 384).
std::shared_ptr<const MapImage> BuildMap(MapSources& sources, double lat, double lon, int zoom, float& markerX,
                                         float& markerY);

}  // namespace tolvane
