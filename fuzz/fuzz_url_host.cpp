// Fuzz target for the host parser of service and tile URLs: the host is part of the input without
// "@", "/", "?" or "#", and user information put in front of any URL changes neither the host the
// panel shows nor the tile cache's folder name (a password never reaches the disk).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lookup/tile_cache.h"
#include "lookup/url_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  std::wstring rest, user;  // the first data[0] % 16 characters are the user information
  for (size_t i = 1; i < size; ++i) {
    const auto c = static_cast<wchar_t>(data[i] < 0x80 ? data[i] : 0x100 + data[i]);
    if (i > data[0] % 16u)
      rest.push_back(c);
    else if (c != L'/' && c != L'?' && c != L'#')
      user.push_back(c);  // these would end the host part
  }
  const std::wstring host = ServiceHostName(rest);
  if (rest.find(host) == std::wstring::npos || host.find_first_of(L"@/?#") != std::wstring::npos) std::abort();
  const std::wstring plain = L"http://" + rest, withUser = L"http://" + user + L":" + user + L"@" + rest;
  if (ServiceHostName(withUser) != ServiceHostName(plain) || TileBaseFolderName(withUser) != TileBaseFolderName(plain))
    std::abort();
  return 0;
}
