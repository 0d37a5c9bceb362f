// Fuzz target for the tile cache's folder listing: any names, sizes and times (a path listed twice,
// stray temporary files, files larger than the cache), then finds, stores and days passing. All of
// it ends; a found tile is a whole PNG; a stored tile is found again, fresh; the bound holds.
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
struct ListingFileSystem final : tolvane::FakeFileSystem {
  bool ListFiles(const std::wstring&, std::vector<tolvane::FileEntry>& out) override {
    out = listing;
    return true;
  }
  std::vector<tolvane::FileEntry> listing;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  const std::string tile = FakeImageDecoder::EncodePng(256, 256, 0xFF102030);
  ListingFileSystem fs;
  FakeClock clock;
  TileCache cache(fs, clock, L"http://127.0.0.1:9/tiles", 3 * tile.size());
  const std::wstring folder = fs.cacheFolder + L"\\tiles\\" + TileBaseFolderName(L"http://127.0.0.1:9/tiles");
  // Records of 18 bytes until one starts with FF: y (bit 3: a ".tmp"), size, time, and what lies there.
  size_t at = 0;
  for (; at + 18 <= size && data[at] != 0xFF; at += 18) {
    FileEntry e{folder + L"\\6\\1\\" + std::to_wstring(data[at] % 8) + (data[at] & 8 ? L".png.tmp" : L".png")};
    std::memcpy(&e.size, data + at + 1, 8);
    std::memcpy(&e.modifiedMs, data + at + 9, 8);
    if (data[at + 17] % 3 != 0) fs.files[e.path] = tile.substr(0, data[at + 17] % 3 == 1 ? tile.size() : data[at + 17]);
    fs.listing.push_back(e);
  }
  for (++at; at < size; ++at) {  // then one step a byte: a day passes, a find, or a store
    TileCache::Tile found;
    if (data[at] & 0x10) {
      clock.Advance(24ull * 3600 * 1000);
    } else if (data[at] & 0x08) {
      if (cache.Find(6, 1, data[at] % 8, found) && !IsIntactPng(found.bytes)) std::abort();
    } else if (cache.Store(6, 1, data[at] % 8, tile, {})) {
      if (cache.SizeBytes() > 3 * tile.size() || !cache.Find(6, 1, data[at] % 8, found) || found.bytes != tile ||
          !found.fresh)
        std::abort();
    }
  }
  return 0;
}
