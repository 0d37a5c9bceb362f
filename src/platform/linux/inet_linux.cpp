// Address text conversions on Linux (and the host build) through POSIX inet_ntop / inet_pton. A text
// holding a character outside ASCII is never an address, so narrowing code units to bytes is safe.
#include <arpa/inet.h>

#include <cstring>

#include "platform/inet.h"

namespace tolvane {
namespace {

bool NarrowAscii(std::wstring_view text, std::string& out) {
  out.clear();
  for (wchar_t c : text) {
    if (c <= 0 || c > 127) return false;
    out.push_back(static_cast<char>(c));
  }
  return true;
}

}  // namespace

std::wstring InetNtop4(const Ipv4Bytes& address) {
  char buffer[INET_ADDRSTRLEN] = {};
  if (!inet_ntop(AF_INET, address.data(), buffer, sizeof buffer)) return {};
  return std::wstring(buffer, buffer + std::strlen(buffer));
}

std::wstring InetNtop6(const Ipv6Bytes& address) {
  char buffer[INET6_ADDRSTRLEN] = {};
  if (!inet_ntop(AF_INET6, address.data(), buffer, sizeof buffer)) return {};
  return std::wstring(buffer, buffer + std::strlen(buffer));
}

std::optional<Ipv4Bytes> InetPton4(std::wstring_view text) {
  std::string s;
  Ipv4Bytes out;
  if (!NarrowAscii(text, s) || inet_pton(AF_INET, s.c_str(), out.data()) != 1) return std::nullopt;
  return out;
}

std::optional<Ipv6Bytes> InetPton6(std::wstring_view text) {
  std::string s;
  Ipv6Bytes out;
  if (!NarrowAscii(text, s) || inet_pton(AF_INET6, s.c_str(), out.data()) != 1) return std::nullopt;
  return out;
}

}  // namespace tolvane
