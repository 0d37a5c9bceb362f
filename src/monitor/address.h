// Address texts: which addresses are public internet peers. Used by the snapshot's admission
// rules, the call list, the ping target choice and the lookup, so it is strict and never throws.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// True for anything that is not a public internet peer: empty or "*", IPv6 loopback, unspecified,
// link-local, unique-local and multicast, private / loopback / link-local / CGNAT / multicast
// IPv4, and any text that is not a well-formed dotted IPv4 address. An IPv4-mapped IPv6 text
// ("::ffff:a.b.c.d") is judged by its IPv4 address.
bool IsLocalAddress(std::wstring_view text);

}  // namespace tolvane
