// Parsers of the kernel's socket and process texts, sock_diag datagrams, captured frames and ICMP
// answers. Records are copied out with memcpy, never read in place: a datagram gives no alignment
// guarantee to the fuzzer, and the kernel's own promise is not worth a special case.
#include "platform/linux/linux_parse.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>

#include <cstring>
#include <iterator>

namespace tolvane {
namespace {

// libpcap link types (pcap/dlt.h), spelled out so that this file needs no capture headers.
constexpr int kLinkEthernet = 1;
constexpr int kLinkRaw = 12;
constexpr int kLinkRawAlt = 14;  // DLT_RAW on some systems
constexpr int kLinkRawLinktype = 101;
constexpr int kLinkLinuxCooked = 113;
constexpr int kLinkIpv4 = 228;
constexpr int kLinkLinuxCooked2 = 276;

constexpr uint16_t kEtherIpv4 = 0x0800;
constexpr uint16_t kEtherVlan = 0x8100;

constexpr uint8_t kIcmpEchoReply = 0;
constexpr uint8_t kIcmpUnreachable = 3;
constexpr uint8_t kIcmpEchoRequest = 8;
constexpr uint8_t kIcmpTimeExceeded = 11;

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Exactly digits hex characters (at most 16).
bool ParseHex(std::string_view text, size_t digits, uint64_t& value) {
  if (text.size() != digits) return false;
  value = 0;
  for (char c : text) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    value = value << 4 | static_cast<uint64_t>(d);
  }
  return true;
}

bool ParseDecimal(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// The next blank-separated word of text at pos; empty at the end.
std::string_view NextWord(std::string_view text, size_t& pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n')) ++pos;
  const size_t start = pos;
  while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t' && text[pos] != '\n') ++pos;
  return text.substr(start, pos - start);
}

// "ADDRESS:PORT" as /proc/net prints it: the address as 32-bit words in hex, each the value of the
// network-order word read in host order, so copying each word's host value back restores the bytes.
bool ParseEndpoint(std::string_view text, bool ipv6, std::array<uint8_t, 16>& address, uint16_t& port) {
  const size_t words = ipv6 ? 4 : 1;
  const size_t colon = text.find(':');
  if (colon != words * 8) return false;
  address = {};
  for (size_t i = 0; i < words; ++i) {
    uint64_t word = 0;
    if (!ParseHex(text.substr(i * 8, 8), 8, word)) return false;
    const uint32_t w = static_cast<uint32_t>(word);
    std::memcpy(address.data() + i * 4, &w, 4);
  }
  uint64_t p = 0;
  if (!ParseHex(text.substr(colon + 1), 4, p)) return false;
  port = static_cast<uint16_t>(p);
  return true;
}

}  // namespace

bool ParseProcNetLine(std::string_view line, bool ipv6, KernelSocket& out) {
  size_t pos = 0;
  const std::string_view slot = NextWord(line, pos);
  if (slot.size() < 2 || slot.back() != ':') return false;  // the header line starts with "sl"
  KernelSocket s;
  if (!ParseEndpoint(NextWord(line, pos), ipv6, s.localAddress, s.localPort)) return false;
  if (!ParseEndpoint(NextWord(line, pos), ipv6, s.remoteAddress, s.remotePort)) return false;
  uint64_t state = 0;
  if (!ParseHex(NextWord(line, pos), 2, state)) return false;
  s.state = static_cast<uint8_t>(state);
  for (int skipped = 0; skipped < 5; ++skipped) {  // queues, timer, retransmits, uid, time-out
    if (NextWord(line, pos).empty()) return false;
  }
  if (!ParseDecimal(NextWord(line, pos), s.inode)) return false;
  out = s;
  return true;
}

DiagPart ParseDiagDatagram(const uint8_t* data, size_t size, std::vector<KernelSocket>& out) {
  size_t at = 0;
  while (size - at >= sizeof(nlmsghdr)) {
    nlmsghdr header;
    std::memcpy(&header, data + at, sizeof header);
    if (header.nlmsg_len < sizeof header || header.nlmsg_len > size - at) return DiagPart::Failed;
    if (header.nlmsg_type == NLMSG_DONE) return DiagPart::Done;
    if (header.nlmsg_type == NLMSG_ERROR) return DiagPart::Failed;
    if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY && header.nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
      inet_diag_msg m;
      std::memcpy(&m, data + at + NLMSG_HDRLEN, sizeof m);
      if (m.idiag_family == AF_INET || m.idiag_family == AF_INET6) {
        const size_t bytes = m.idiag_family == AF_INET ? 4 : 16;
        KernelSocket s;
        std::memcpy(s.localAddress.data(), m.id.idiag_src, bytes);
        std::memcpy(s.remoteAddress.data(), m.id.idiag_dst, bytes);
        s.localPort = ntohs(m.id.idiag_sport);
        s.remotePort = ntohs(m.id.idiag_dport);
        s.state = m.idiag_state;
        s.inode = m.idiag_inode;
        out.push_back(s);
      }
    }
    const size_t step = NLMSG_ALIGN(header.nlmsg_len);
    if (step >= size - at) break;
    at += step;
  }
  return DiagPart::More;
}

uint32_t MibTcpState(uint8_t kernelState) {
  // Index: the kernel's state; value: MIB_TCP_STATE (1 closed, 2 listen, 3 SYN sent, 4 SYN received,
  // 5 established, 6 FIN wait 1, 7 FIN wait 2, 8 close wait, 9 closing, 10 last ACK, 11 time wait).
  static constexpr uint32_t kMib[] = {0, 5, 3, 4, 6, 7, 11, 1, 8, 10, 2, 9, 4};
  return kernelState < std::size(kMib) ? kMib[kernelState] : 0;
}

uint64_t StatStartTime(std::string_view stat) {
  const size_t close = stat.rfind(')');
  if (close == std::string_view::npos) return 0;
  size_t pos = close + 1;
  std::string_view word;
  for (int field = 3; field <= 22; ++field) {
    word = NextWord(stat, pos);
    if (word.empty()) return 0;
  }
  uint64_t ticks = 0;
  return ParseDecimal(word, ticks) ? ticks : 0;
}

bool ParseProcessId(std::string_view name, uint32_t& pid) {
  uint64_t value = 0;
  if (name.size() > 10 || !ParseDecimal(name, value) || value > 0xFFFFFFFFu) return false;
  pid = static_cast<uint32_t>(value);
  return true;
}

uint64_t SocketInodeOfLink(std::string_view target) {
  constexpr std::string_view kPrefix = "socket:[";
  if (target.size() < kPrefix.size() + 2 || target.substr(0, kPrefix.size()) != kPrefix || target.back() != ']') {
    return 0;
  }
  uint64_t inode = 0;
  return ParseDecimal(target.substr(kPrefix.size(), target.size() - kPrefix.size() - 1), inode) ? inode : 0;
}

int32_t Ipv4OffsetInFrame(int linkType, const uint8_t* frame, size_t size) {
  size_t offset = 0;
  switch (linkType) {
    case kLinkLinuxCooked:
      if (size < 16 || Be16(frame + 14) != kEtherIpv4) return -1;
      offset = 16;
      break;
    case kLinkLinuxCooked2:
      if (size < 20 || Be16(frame) != kEtherIpv4) return -1;
      offset = 20;
      break;
    case kLinkEthernet:
      if (size < 14) return -1;
      offset = 14;
      if (Be16(frame + 12) == kEtherVlan) {
        if (size < 18 || Be16(frame + 16) != kEtherIpv4) return -1;
        offset = 18;
      } else if (Be16(frame + 12) != kEtherIpv4) {
        return -1;
      }
      break;
    case kLinkRaw:
    case kLinkRawAlt:
    case kLinkRawLinktype:
    case kLinkIpv4:
      break;
    default:
      return -1;
  }
  if (size <= offset || frame[offset] >> 4 != 4) return -1;
  return static_cast<int32_t>(offset);
}

uint16_t InternetChecksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2) sum += Be16(data + i);
  if (size % 2 != 0) sum += static_cast<uint32_t>(data[size - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

EchoAnswer ClassifyEchoAnswer(const uint8_t* data, size_t size, bool withIpHeader, uint32_t from, uint32_t target,
                              int32_t id, uint16_t sequence) {
  size_t at = 0;
  if (withIpHeader) {
    if (size < 20 || data[0] >> 4 != 4 || data[9] != IPPROTO_ICMP) return EchoAnswer::Other;
    at = static_cast<size_t>(data[0] & 0x0F) * 4;
    if (at < 20) return EchoAnswer::Other;
    std::memcpy(&from, data + 12, 4);
  }
  if (size < at + 8) return EchoAnswer::Other;
  const uint8_t* icmp = data + at;
  const auto ours = [&](const uint8_t* echo) {
    return (id < 0 || Be16(echo + 4) == static_cast<uint16_t>(id)) && Be16(echo + 6) == sequence;
  };
  if (icmp[0] == kIcmpEchoReply && icmp[1] == 0) {
    return from == target && ours(icmp) ? EchoAnswer::Reply : EchoAnswer::Other;
  }
  if (icmp[0] != kIcmpUnreachable && icmp[0] != kIcmpTimeExceeded) return EchoAnswer::Other;
  // The error quotes the IP header of our request and the first 8 bytes of its ICMP message.
  const uint8_t* quoted = icmp + 8;
  const size_t left = size - at - 8;
  if (left < 20 || quoted[0] >> 4 != 4 || quoted[9] != IPPROTO_ICMP) return EchoAnswer::Other;
  const size_t quotedHeader = static_cast<size_t>(quoted[0] & 0x0F) * 4;
  if (quotedHeader < 20 || left < quotedHeader + 8) return EchoAnswer::Other;
  uint32_t destination = 0;
  std::memcpy(&destination, quoted + 16, 4);
  const uint8_t* echo = quoted + quotedHeader;
  return destination == target && echo[0] == kIcmpEchoRequest && ours(echo) ? EchoAnswer::Error : EchoAnswer::Other;
}

}  // namespace tolvane
