// Fuzz target for what the tile cache reads from outside: the PNG check over bytes from the disk
// or the network, and the Cache-Control, Expires and rate-limit header values. None may crash or
// read out of bounds, and every result must lie in its documented range: a max-age or number
// between 0 and the saturation limit, a date not before 1970, a freshness between seven days and
// a year. The bytes go to the PNG check as they are and, one byte per character, to the header
// readers and the tile-base folder name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "lookup/header_values.h"
#include "lookup/tile_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)tolvane::IsIntactPng(bytes);
  const std::wstring text(bytes.begin(), bytes.end());

  const std::optional<int64_t> maxAge = tolvane::CacheControlMaxAge(text);
  if (maxAge && (*maxAge < 0 || *maxAge > tolvane::kHeaderSecondsLimit)) std::abort();
  const std::optional<int64_t> number = tolvane::ParseHeaderNumber(text);
  if (number && (*number < 0 || *number > tolvane::kHeaderSecondsLimit)) std::abort();
  const std::optional<int64_t> date = tolvane::ParseHttpDate(text);
  if (date && *date < 0) std::abort();

  for (const int64_t now : {int64_t{0}, int64_t{1700000000000}}) {
    const int64_t fresh = tolvane::TileFreshnessMs(tolvane::HttpHeaders{text, text, L"", L""}, now);
    if (fresh < tolvane::kTileMinFreshMs || fresh > tolvane::kTileMaxFreshMs) std::abort();
    const int64_t byDate = tolvane::TileFreshnessMs(tolvane::HttpHeaders{L"", text, L"", L""}, now);
    if (byDate < tolvane::kTileMinFreshMs || byDate > tolvane::kTileMaxFreshMs) std::abort();
  }
  const std::wstring folder = tolvane::TileBaseFolderName(text);
  if (folder.size() > 57 || folder.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) std::abort();
  return 0;
}
