// IsLocalAddress. The IPv4 reader is strict (four groups of one to three digits, each at most 255)
// and any text it rejects counts as local: a garbled address is never treated as a public peer.
// Dual-stack sockets show IPv4 peers in the IPv6 tables as "::ffff:a.b.c.d"; those are judged by
// the IPv4 address they carry, so a LAN or loopback peer does not pass as public through them.
#include "monitor/address.h"

#include <cstdint>

namespace tolvane {
namespace {

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool StartsWith(std::wstring_view s, std::wstring_view p) { return s.substr(0, p.size()) == p; }

// Exactly four groups of 1-3 decimal digits separated by single dots, each at most 255.
bool ParseDottedIpv4(std::wstring_view t, uint32_t octets[4]) {
  size_t i = 0;
  for (int group = 0; group < 4; ++group) {
    if (group > 0) {
      if (i >= t.size() || t[i] != L'.') return false;
      ++i;
    }
    uint32_t value = 0;
    size_t digits = 0;
    while (i < t.size() && t[i] >= L'0' && t[i] <= L'9') {
      if (++digits > 3) return false;
      value = value * 10 + static_cast<uint32_t>(t[i] - L'0');
      ++i;
    }
    if (digits == 0 || value > 255) return false;
    octets[group] = value;
  }
  return i == t.size();
}

bool IsLocalIpv4(std::wstring_view text) {
  uint32_t o[4];
  if (!ParseDottedIpv4(text, o)) return true;
  if (o[0] == 0 || o[0] == 10 || o[0] == 127) return true;
  if (o[0] == 100 && o[1] >= 64 && o[1] <= 127) return true;
  if (o[0] == 169 && o[1] == 254) return true;
  if (o[0] == 172 && o[1] >= 16 && o[1] <= 31) return true;
  if (o[0] == 192 && o[1] == 168) return true;
  return o[0] >= 224;
}

}  // namespace

bool IsLocalAddress(std::wstring_view text) {
  if (text.empty() || text == L"*") return true;
  if (text.find(L':') != std::wstring_view::npos) {
    std::wstring lower(text);
    for (wchar_t& c : lower) c = Lower(c);
    if (lower == L"::" || lower == L"::1") return true;
    constexpr std::wstring_view kMapped = L"::ffff:";
    if (StartsWith(lower, kMapped) && lower.find(L'.') != std::wstring::npos)
      return IsLocalIpv4(std::wstring_view(lower).substr(kMapped.size()));
    for (const wchar_t* p : {L"fe8", L"fe9", L"fea", L"feb", L"fc", L"fd", L"ff"})
      if (StartsWith(lower, p)) return true;
    return false;
  }
  return IsLocalIpv4(text);
}

}  // namespace tolvane
