// Fuzz target for the tile cache's folder listing: whatever the cache folder holds (any names,
// sizes and times, a path listed twice, stray temporary files, files larger than the cache), then
// finds and stores of tiles. Everything ends; a found tile is a whole PNG; a tile just stored is
// found again with its bytes; the cache is within its bound after every store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_image_decoder.h"
#include "lookup/tile_cache.h"

namespace {

// Lists what the input says instead of what the files are.
class ListingFileSystem final : public tolvane::FakeFileSystem {
 public:
  bool ListFiles(const std::wstring&, std::vector<tolvane::FileEntry>& out) override {
    out = listing;
    return true;
  }
  std::vector<tolvane::FileEntry> listing;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  const std::wstring base = L"http://127.0.0.1:9/tiles";
  const std::string tile = FakeImageDecoder::EncodePng(256, 256, 0xFF102030);
  const uint64_t limit = 3 * tile.size();
  ListingFileSystem fs;
  FakeClock clock;
  TileCache cache(fs, clock, base, limit);
  const std::wstring folder = fs.local + L"\\Tolvane\\tiles\\" + TileBaseFolderName(base) + L"\\6\\1\\";

  // 18-byte records: y of the path (0..7, 8..15 a ".tmp" beside it), 8 bytes size, 8 bytes time,
  // and whether a whole tile, cut bytes or nothing lies at the path.
  size_t at = 0;
  for (; at + 18 <= size && data[at] != 0xFF; at += 18) {
    FileEntry e;
    e.path = folder + std::to_wstring(data[at] % 8) + L".png" + (data[at] & 8 ? L".tmp" : L"");
    std::memcpy(&e.size, data + at + 1, 8);
    std::memcpy(&e.modifiedMs, data + at + 9, 8);
    if (data[at + 17] % 3 == 1) fs.files[e.path] = tile;
    if (data[at + 17] % 3 == 2) fs.files[e.path] = tile.substr(0, data[at + 17] % tile.size());
    fs.listing.push_back(e);
  }
  // Then one byte per step: find or store tile (6, 1, y), or let a day pass.
  for (++at; at < size; ++at) {
    const int64_t y = data[at] % 8;
    TileCache::Tile found;
    if (data[at] & 0x10) {
      clock.Advance(24ull * 3600 * 1000);
    } else if (data[at] & 0x08) {
      if (cache.Find(6, 1, y, found) && !IsIntactPng(found.bytes)) std::abort();
    } else if (cache.Store(6, 1, y, tile, {})) {
      if (cache.SizeBytes() > limit) std::abort();
      if (!cache.Find(6, 1, y, found) || found.bytes != tile || !found.fresh) std::abort();
    }
  }
  return 0;
}
