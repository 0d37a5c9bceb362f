// Readers for the values of the few response headers the program acts on: Cache-Control and
// Expires of map tiles, and the whole numbers the geolocation service sends in X-Rl and X-Ttl.
//
// Every value comes from the network and is untrusted: each reader accepts only what it can read
// whole and answers "no value" (nullopt) for anything else, never a guess. Numbers that would not
// fit saturate instead of wrapping.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tolvane {

// Whole seconds saturate here (about 68 years), as caches are told to do with delta-seconds.
inline constexpr int64_t kHeaderSecondsLimit = 2147483648;

// A value that is a non-negative decimal number and nothing else (blanks around it allowed).
std::optional<int64_t> ParseHeaderNumber(std::wstring_view value);

// The seconds of the first max-age directive of a Cache-Control value (directive names in any
// case, the number bare or quoted); nullopt when there is none or its value is no number.
std::optional<int64_t> CacheControlMaxAge(std::wstring_view cacheControl);

// An HTTP date in any of its three forms ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94
// 08:49:37 GMT", "Sun Nov  6 08:49:37 1994") as milliseconds since 1970-01-01 UTC; nullopt for
// anything else, such as the "0" or "-1" that some servers send to mean "already expired".
std::optional<int64_t> ParseHttpDate(std::wstring_view text);

}  // namespace tolvane
