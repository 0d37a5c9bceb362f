// The server named by a service root or tile base URL, for what the window shows and what goes to
// disk. User information ("user:secret@") in such a URL is a credential: it is never shown and
// never becomes part of a file or folder name.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// The host name of a URL such as "http://ip-api.com" or "http://user:pw@127.0.0.1:8080/api": no
// scheme, user information, port or path; an IPv6 literal loses its brackets.
std::wstring ServiceHostName(std::wstring_view url);

// url without its user information (and the "@" after it); url itself when it has none.
std::wstring UrlWithoutUserInfo(std::wstring_view url);

}  // namespace tolvane
