// Address text conversions (the platform's inet_ntop / inet_pton).
//
// Addresses cross this interface as plain bytes in network order. The text forms are the operating
// system's own: dotted decimal for IPv4, the system's compressed lower-case form for IPv6.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

using Ipv4Bytes = std::array<uint8_t, 4>;
using Ipv6Bytes = std::array<uint8_t, 16>;

// Dotted text of an IPv4 address; empty when the conversion fails.
std::wstring InetNtop4(const Ipv4Bytes& address);
// Compressed text of an IPv6 address; empty when the conversion fails.
std::wstring InetNtop6(const Ipv6Bytes& address);
// Parses a text the way the system's inet_pton does; nullopt when it is not such an address.
std::optional<Ipv4Bytes> InetPton4(std::wstring_view text);
std::optional<Ipv6Bytes> InetPton6(std::wstring_view text);

}  // namespace tolvane
