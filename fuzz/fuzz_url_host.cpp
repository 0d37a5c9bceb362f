// Fuzz target for the host parser of service and tile URLs: the host is part of the input and
// holds no "@", "/", "?" or "#"; and user information put in front of any URL changes neither the
// host the panel shows nor the tile cache's folder name (so a password never reaches the disk).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lookup/tile_cache.h"
#include "lookup/url_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  if (size < 1) return 0;
  std::wstring rest, user;
  const size_t split = data[0] % 16;  // the first bytes (after this one) become the user information
  for (size_t i = 1; i < size; ++i) {
    const auto c = static_cast<wchar_t>(data[i] < 0x80 ? data[i] : 0x100 + data[i]);
    (i <= split ? user : rest).push_back(c);
  }
  std::wstring credentials;
  for (const wchar_t c : user) {
    if (c != L'/' && c != L'?' && c != L'#') credentials.push_back(c);  // these would end the host part
  }

  const std::wstring host = ServiceHostName(rest);
  if (rest.find(host) == std::wstring::npos || host.find_first_of(L"@/?#") != std::wstring::npos) std::abort();
  const std::wstring plain = L"http://" + rest;
  const std::wstring withUser = L"http://" + credentials + L":" + credentials + L"@" + rest;
  if (ServiceHostName(withUser) != ServiceHostName(plain)) std::abort();
  if (TileBaseFolderName(withUser) != TileBaseFolderName(plain)) std::abort();
  if (UrlWithoutUserInfo(withUser) != UrlWithoutUserInfo(plain)) std::abort();
  return 0;
}
