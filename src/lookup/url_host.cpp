// Host and user information of a URL; see url_host.h. Only the authority is looked at: the part
// after "scheme://" up to the first "/", "?" or "#", so an "@" or "://" in a path or query counts
// for nothing.
#include "lookup/url_host.h"

namespace tolvane {
namespace {

struct Authority {
  size_t begin = 0, end = 0;
};

Authority AuthorityOf(std::wstring_view url) {
  Authority a;
  const size_t scheme = url.find(L"://");
  if (scheme != std::wstring_view::npos && url.find_first_of(L"/?#") > scheme) a.begin = scheme + 3;
  a.end = url.find_first_of(L"/?#", a.begin);
  if (a.end == std::wstring_view::npos) a.end = url.size();
  return a;
}

// The position of the "@" that ends the user information inside the authority, or npos. A
// password may itself hold "@" (unescaped, as people type it), so the last one counts.
size_t UserInfoEnd(std::wstring_view url, const Authority& a) {
  const size_t at = url.substr(a.begin, a.end - a.begin).rfind(L'@');
  return at == std::wstring_view::npos ? at : a.begin + at;
}

}  // namespace

std::wstring ServiceHostName(std::wstring_view url) {
  const Authority a = AuthorityOf(url);
  const size_t at = UserInfoEnd(url, a);
  const size_t begin = at == std::wstring_view::npos ? a.begin : at + 1;
  const std::wstring_view host = url.substr(begin, a.end - begin);
  if (!host.empty() && host.front() == L'[') {
    const size_t close = host.find(L']');
    return std::wstring(host.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1));
  }
  return std::wstring(host.substr(0, host.find(L':')));
}

std::wstring UrlWithoutUserInfo(std::wstring_view url) {
  const Authority a = AuthorityOf(url);
  const size_t at = UserInfoEnd(url, a);
  if (at == std::wstring_view::npos) return std::wstring(url);
  return std::wstring(url.substr(0, a.begin)) + std::wstring(url.substr(at + 1));
}

}  // namespace tolvane
