// The map tiles kept on disk, so that a place seen before is drawn without asking the tile server
// again, and still drawn when the server cannot be reached.
//
// Tiles live in the program's cache folder (not roaming), in
// tiles\<one folder per tile base>\<zoom>\<x>\<y>.png, so tiles of two servers never mix.
// A tile is fresh for the longer of the server's own lifetime (Cache-Control max-age, else Expires)
// and kTileMinFreshMs, which is what the public tile server's usage policy asks of its clients.
// Each file's last-write time carries its freshness: it is set to the moment the tile's last
// kTileMinFreshMs of freshness begin (the store time, moved later by however much the server's
// lifetime exceeds kTileMinFreshMs), so the files alone say what is fresh, across restarts and
// without an index file that could disagree with them.
//
// The whole cache, every tile base together, is held under limitBytes (64 MiB): a store that
// passes it then removes the files with the earliest times, never before its own write succeeded.
// Tiles are written to a temporary file beside the target and moved over it, so a crash leaves
// either the old tile or the new one; a file that is not one whole PNG (cut short, overwritten, a
// stray file) counts as missing.
//
// Not thread-safe: the lookup worker, which builds the maps, is its only user. The first call lists
// the cache folder once (a few thousand files at most) and keeps the sizes and times in memory; a
// listed file larger than the limit is removed then, as no store would have kept it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "lookup/png_check.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http.h"

namespace tolvane {

inline constexpr uint64_t kTileCacheLimitBytes = 64ull * 1024 * 1024;
inline constexpr int64_t kTileMinFreshMs = 7ll * 24 * 3600 * 1000;
// A lifetime beyond a year is not believed: a stray header must not pin a tile for ever.
inline constexpr int64_t kTileMaxFreshMs = 365ll * 24 * 3600 * 1000;
// A file dated more than kTileMaxFreshMs and this much ahead of now was not dated by this cache
// (or the clock was set back since): it counts as stale.
inline constexpr int64_t kTileFutureSlackMs = 24ll * 3600 * 1000;

// How long a tile downloaded at nowMs with these headers stays fresh: max-age when the server sent
// one, else Expires minus now, never less than kTileMinFreshMs nor more than kTileMaxFreshMs.
int64_t TileFreshnessMs(const HttpHeaders& headers, int64_t nowMs);

// The folder name of a tile base inside the cache: the base's host name (ServiceHostName; letters,
// digits, dots and dashes kept, anything else "_", at most 48 characters) and "-" with 8 hex digits
// of a hash of the base text without its user information, so that two bases on one host (other
// port, path or scheme) differ while a name and password never reach the disk.
std::wstring TileBaseFolderName(const std::wstring& tileBase);

class TileCache {
 public:
  struct Tile {
    std::string bytes;
    bool fresh = false;
  };

  TileCache(FileSystem& files, Clock& clock, std::wstring tileBase, uint64_t limitBytes = kTileCacheLimitBytes);

  // The cached tile, fresh or stale; false when there is none that is a whole PNG. Without a local
  // application-data folder there is no cache and nothing is ever found.
  bool Find(int zoom, int64_t x, int64_t y, Tile& tile);

  // Keeps a downloaded tile, then makes room. Only whole PNGs no larger than the limit are kept;
  // false when the tile was not stored (the old file, if any, and every other one then stays).
  bool Store(int zoom, int64_t x, int64_t y, const std::string& bytes, const HttpHeaders& headers);

  // Bytes of all the files in the cache, as this cache knows them.
  uint64_t SizeBytes();

  // Where tile (zoom, x, y) of this cache's base lives; empty without a local application-data folder.
  std::wstring TilePath(int zoom, int64_t x, int64_t y);

 private:
  struct Entry {
    uint64_t size = 0;
    int64_t stampMs = 0;  // start of the last kTileMinFreshMs of freshness (the file's last-write time)
  };

  bool Open();  // resolves the folders and lists the cache, once; false when there is no cache
  void Forget(const std::wstring& path);
  void MakeFolders(const std::wstring& path);

  FileSystem& files_;
  Clock& clock_;
  std::wstring tileBase_;
  uint64_t limitBytes_;
  bool opened_ = false;
  wchar_t separator_ = L'\\';
  std::wstring root_;      // ...\Tolvane\tiles
  std::wstring baseRoot_;  // root_ + the folder of this tile base
  std::map<std::wstring, Entry> entries_;
  std::set<std::pair<int64_t, std::wstring>> byAge_;  // (stampMs, path), earliest first
  uint64_t totalBytes_ = 0;
};

}  // namespace tolvane
