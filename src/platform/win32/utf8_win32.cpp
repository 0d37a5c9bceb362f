// UTF-8 <-> UTF-16 through the system's own converters (CP_UTF8, no flags). Without
// MB_ERR_INVALID_CHARS the system replaces invalid sequences with U+FFFD instead of failing, and
// without WC_ERR_INVALID_CHARS a lone surrogate in wide text becomes U+FFFD as well. The sizes are
// ints on this API, so inputs above INT_MAX units give an empty result rather than a truncated one.
#include <windows.h>

#include <climits>

#include "platform/utf8.h"

namespace tolvane {

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
  if (written <= 0) return {};
  out.resize(static_cast<size_t>(written));
  return out;
}

std::wstring Utf8ToWide(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring out(static_cast<size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, out.data(), needed);
  if (written <= 0) return {};
  out.resize(static_cast<size_t>(written));
  return out;
}

}  // namespace tolvane
