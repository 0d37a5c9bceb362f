// The Windows resolver's walk over a GetAddrInfoW answer, apart so that it can be tested on lists
// built by hand (the test machine's resolver only knows "localhost").
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

namespace tolvane {

// Dotted text of the first IPv4 entry of list; IPv6 and malformed entries are passed over, and a
// list without a usable IPv4 entry (or none at all) gives an empty text.
std::wstring FirstIpv4Text(const ADDRINFOW* list);

}  // namespace tolvane
