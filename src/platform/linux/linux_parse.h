// Parsers of what the kernel and the network hand the Linux services: the socket lines of
// /proc/net, sock_diag dump datagrams, /proc/<pid>/stat and /proc/<pid>/fd links, captured frames and
// ICMP answers. A process chooses its own command name and anyone on the network chooses the bytes
// of an ICMP packet, so none of these trusts a length, a count or a field: each reads only inside
// the bytes it is given and says no rather than guessing. Pure functions, fuzzed on the host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tolvane {

// One socket as the kernel lists it. Addresses in network byte order (IPv4 in the first 4 bytes),
// ports in host order.
struct KernelSocket {
  std::array<uint8_t, 16> localAddress{};
  std::array<uint8_t, 16> remoteAddress{};
  uint16_t localPort = 0;
  uint16_t remotePort = 0;
  uint8_t state = 0;  // the kernel's TCP state number (1 established ... 10 listen, 12 new SYN received)
  uint64_t inode = 0;
};

// One line of /proc/net/tcp or udp (ipv6 false), tcp6 or udp6 (true). False for the header line and
// anything malformed.
bool ParseProcNetLine(std::string_view line, bool ipv6, KernelSocket& out);

// One datagram of a sock_diag (inet_diag) dump answer: appends the sockets it holds to out.
enum class DiagPart { More, Done, Failed };
DiagPart ParseDiagDatagram(const uint8_t* data, size_t size, std::vector<KernelSocket>& out);

// The MIB_TCP_STATE number of a kernel TCP state (include/net/tcp_states.h); 0 when unknown.
uint32_t MibTcpState(uint8_t kernelState);

// Field 22 of a /proc/<pid>/stat text, the start time in clock ticks after boot; 0 when malformed.
// The command name (field 2) may hold blanks and parentheses, so fields count from the last ')'.
uint64_t StatStartTime(std::string_view stat);

// A /proc folder name that is a process id (decimal digits, at most 2^32 - 1).
bool ParseProcessId(std::string_view name, uint32_t& pid);

// The inode of a /proc/<pid>/fd link target "socket:[N]"; 0 for any other target.
uint64_t SocketInodeOfLink(std::string_view target);

// Where the IPv4 datagram starts in a captured frame of the given libpcap link type (DLT_*), or -1
// when the frame carries none (another protocol, an unknown link type, a cut header).
int32_t Ipv4OffsetInFrame(int linkType, const uint8_t* frame, size_t size);

// The ones' complement sum of RFC 1071 over data, as stored in an ICMP header.
uint16_t InternetChecksum(const uint8_t* data, size_t size);

// What one message read from an ICMP socket says about the echo request (id, sequence) sent to
// target: its reply, an error the network returned for it (unreachable, time exceeded), or nothing
// about it. Raw sockets deliver the IP header first (withIpHeader); from is the sender the socket
// reported. id < 0 accepts any identifier (datagram sockets, where the kernel sorts replies by id).
// Addresses are in network byte order as stored in memory.
enum class EchoAnswer { Reply, Error, Other };
EchoAnswer ClassifyEchoAnswer(const uint8_t* data, size_t size, bool withIpHeader, uint32_t from, uint32_t target,
                              int32_t id, uint16_t sequence);

}  // namespace tolvane
