// Address text conversions through Winsock's InetNtopW / InetPtonW.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/inet.h"

namespace tolvane {

std::wstring InetNtop4(const Ipv4Bytes& address) {
  IN_ADDR a;
  std::memcpy(&a, address.data(), 4);
  wchar_t buffer[32] = {};
  if (!InetNtopW(AF_INET, &a, buffer, 32)) return {};
  return buffer;
}

std::wstring InetNtop6(const Ipv6Bytes& address) {
  IN6_ADDR a;
  std::memcpy(&a, address.data(), 16);
  wchar_t buffer[65] = {};
  if (!InetNtopW(AF_INET6, &a, buffer, 65)) return {};
  return buffer;
}

// InetPtonW reads a terminated string, so a text with a NUL inside would be judged by its front
// alone ("8.8.8.8\0x" as 8.8.8.8); such a text is no address.
std::optional<Ipv4Bytes> InetPton4(std::wstring_view text) {
  if (text.find(L'\0') != std::wstring_view::npos) return std::nullopt;
  const std::wstring z(text);
  IN_ADDR a;
  if (InetPtonW(AF_INET, z.c_str(), &a) != 1) return std::nullopt;
  Ipv4Bytes out;
  std::memcpy(out.data(), &a, 4);
  return out;
}

std::optional<Ipv6Bytes> InetPton6(std::wstring_view text) {
  if (text.find(L'\0') != std::wstring_view::npos) return std::nullopt;
  const std::wstring z(text);
  IN6_ADDR a;
  if (InetPtonW(AF_INET6, z.c_str(), &a) != 1) return std::nullopt;
  Ipv6Bytes out;
  std::memcpy(out.data(), &a, 16);
  return out;
}

}  // namespace tolvane
