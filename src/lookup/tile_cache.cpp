// The on-disk tile cache. See tile_cache.h for the layout and the meaning of a file's time.
//
// Costs: a lookup of a cached tile reads one file (map tiles are a few tens of kilobytes) and walks
// its chunks once to check them; a store writes and flushes a temporary file, moves it, and sets
// its time. The listing made on first use is the only directory walk.
#include "lookup/tile_cache.h"

#include <optional>
#include <vector>

#include "lookup/header_values.h"
#include "lookup/url_host.h"

namespace tolvane {
namespace {

constexpr std::wstring_view kTempSuffix = L".tmp";
constexpr size_t kHostNameLimit = 48;

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

int64_t TileFreshnessMs(const HttpHeaders& headers, int64_t nowMs) {
  std::optional<int64_t> lifetimeMs;
  if (const std::optional<int64_t> maxAge = CacheControlMaxAge(headers.cacheControl)) {
    lifetimeMs = *maxAge * 1000;  // at most kHeaderSecondsLimit seconds: no overflow
  } else if (const std::optional<int64_t> expires = ParseHttpDate(headers.expires)) {
    lifetimeMs = *expires - nowMs;
  }
  if (!lifetimeMs || *lifetimeMs < kTileMinFreshMs) return kTileMinFreshMs;
  return *lifetimeMs > kTileMaxFreshMs ? kTileMaxFreshMs : *lifetimeMs;
}

std::wstring TileBaseFolderName(const std::wstring& tileBase) {
  // Without user information: a name and password in the base must not reach the disk, not even
  // through the hash.
  const std::wstring base = UrlWithoutUserInfo(tileBase);
  const std::wstring host = ServiceHostName(base);
  std::wstring name;
  for (const wchar_t c : host) {
    if (name.size() == kHostNameLimit) break;
    const bool keep = (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.' || c == L'-';
    if (c >= L'A' && c <= L'Z') {
      name.push_back(static_cast<wchar_t>(c - L'A' + L'a'));
    } else {
      name.push_back(keep ? c : L'_');
    }
  }
  if (name.empty()) name = L"tiles";
  uint32_t hash = 2166136261u;  // FNV-1a over the code units of the whole base
  for (const wchar_t c : base) {
    hash ^= static_cast<uint32_t>(c);
    hash *= 16777619u;
  }
  static constexpr wchar_t kHex[] = L"0123456789abcdef";
  name.push_back(L'-');
  for (int shift = 28; shift >= 0; shift -= 4) name.push_back(kHex[(hash >> shift) & 0xF]);
  return name;
}

TileCache::TileCache(FileSystem& files, Clock& clock, std::wstring tileBase, uint64_t limitBytes)
    : files_(files), clock_(clock), tileBase_(std::move(tileBase)), limitBytes_(limitBytes) {}

bool TileCache::Open() {
  if (opened_) return !root_.empty();
  opened_ = true;
  const std::wstring cache = files_.CacheFolder();
  if (cache.empty()) return false;
  separator_ = cache.find(L'\\') == std::wstring::npos && cache.find(L'/') != std::wstring::npos ? L'/' : L'\\';
  root_ = cache + separator_ + L"tiles";
  baseRoot_ = root_ + separator_ + TileBaseFolderName(tileBase_);
  std::vector<FileEntry> listed;
  files_.ListFiles(root_, listed);  // no folder yet: an empty cache
  for (const FileEntry& f : listed) {
    // Left behind by a store that was cut off, or larger than any tile this cache keeps: gone.
    if (EndsWith(f.path, kTempSuffix) || f.size > limitBytes_) {
      files_.Remove(f.path);
      continue;
    }
    if (!entries_.emplace(f.path, Entry{f.size, f.modifiedMs}).second) continue;  // listed twice
    byAge_.emplace(f.modifiedMs, f.path);
    totalBytes_ += f.size;
  }
  return true;
}

std::wstring TileCache::TilePath(int zoom, int64_t x, int64_t y) {
  if (!Open()) return {};
  return baseRoot_ + separator_ + std::to_wstring(zoom) + separator_ + std::to_wstring(x) + separator_ +
         std::to_wstring(y) + L".png";
}

uint64_t TileCache::SizeBytes() {
  Open();
  return totalBytes_;
}

void TileCache::Forget(const std::wstring& path) {
  const auto it = entries_.find(path);
  if (it == entries_.end()) return;
  byAge_.erase({it->second.stampMs, path});
  totalBytes_ -= it->second.size;
  entries_.erase(it);
}

void TileCache::MakeFolders(const std::wstring& path) {
  // Every folder from the cache folder down to the tile's own, at every store: an existing one fails,
  // which is fine, and one deleted or not made before is made now. Start at the separator before
  // the cache folder's own name.
  size_t at = root_.rfind(separator_, root_.rfind(separator_) - 1);
  while ((at = path.find(separator_, at + 1)) != std::wstring::npos) files_.CreateFolder(path.substr(0, at));
}

bool TileCache::Find(int zoom, int64_t x, int64_t y, Tile& tile) {
  tile = Tile{};
  if (!Open()) return false;
  const std::wstring path = TilePath(zoom, x, y);
  const auto it = entries_.find(path);
  if (it == entries_.end()) return false;
  if (files_.ReadLimited(path, limitBytes_, tile.bytes) != FileSystem::ReadResult::Ok || !IsIntactPng(tile.bytes)) {
    tile.bytes.clear();
    return false;
  }
  const int64_t now = clock_.SystemNs() / 1000000;
  const int64_t stamp = it->second.stampMs;  // any value a file system gives: compared, never offset
  // A time further ahead than the longest lifetime and a day comes from a clock that was set back
  // or a file touched by something else: such a tile is used, but only until a download replaces it.
  tile.fresh = stamp > now - kTileMinFreshMs && stamp <= now + kTileMaxFreshMs + kTileFutureSlackMs;
  return true;
}

bool TileCache::Store(int zoom, int64_t x, int64_t y, const std::string& bytes, const HttpHeaders& headers) {
  if (!Open() || bytes.size() > limitBytes_ || !IsIntactPng(bytes)) return false;
  const std::wstring path = TilePath(zoom, x, y);
  MakeFolders(path);
  const std::wstring temp = path + std::wstring(kTempSuffix);
  if (!files_.WriteDurable(temp, bytes) || !files_.MoveReplacing(temp, path)) {
    files_.Remove(temp);
    return false;
  }
  const int64_t now = clock_.SystemNs() / 1000000;
  int64_t stamp = now + TileFreshnessMs(headers, now) - kTileMinFreshMs;
  if (!files_.SetModifiedTime(path, stamp)) stamp = now;  // the write itself left about now
  Forget(path);
  entries_[path] = Entry{bytes.size(), stamp};
  byAge_.emplace(stamp, path);
  totalBytes_ += bytes.size();

  // Room is made only now: a write that fails must not have cost the cache the tiles it evicted.
  while (totalBytes_ > limitBytes_) {
    auto oldest = byAge_.begin();
    if (oldest != byAge_.end() && oldest->second == path) ++oldest;  // the tile just stored stays
    if (oldest == byAge_.end()) break;
    const std::wstring victim = oldest->second;
    files_.Remove(victim);  // a file that cannot be removed is forgotten all the same, or this would not end
    Forget(victim);
  }
  return true;
}

}  // namespace tolvane
