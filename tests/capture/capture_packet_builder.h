// Builds raw IPv4 datagrams as a receive-all socket delivers them (IP header first), with every
// header field settable so that tests and the benchmark can craft good and broken packets alike.
// Protocol 6 gets a 20-byte TCP header, anything else an 8-byte UDP header. Addresses use the
// a << 24 | b << 16 | c << 8 | d form.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvane {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { return a << 24 | b << 16 | c << 8 | d; }

struct PacketSpec {
  uint32_t source = 0;
  uint32_t destination = 0;
  uint16_t sourcePort = 0;
  uint16_t destinationPort = 0;
  uint8_t version = 4;
  uint8_t ihl = 5;  // header length in 32-bit words
  uint8_t protocol = 17;
  uint16_t flagsFragment = 0;    // flags (top 3 bits) and fragment offset (low 13 bits)
  int32_t totalLength = -1;      // the header field; -1 = the real length of the packet
  size_t payload = 12;           // bytes after the UDP or TCP header
  int64_t deliveredLength = -1;  // bytes handed over; -1 = the whole packet
};

inline std::vector<uint8_t> BuildPacket(const PacketSpec& s) {
  const size_t header = static_cast<size_t>(s.ihl & 0x0F) * 4;
  const size_t transport = s.protocol == 6 ? 20 : 8;
  std::vector<uint8_t> p(std::max<size_t>(header, 20) + transport + s.payload, 0);
  const size_t total = s.totalLength >= 0 ? static_cast<size_t>(s.totalLength) : p.size();
  auto put16 = [&p](size_t at, uint32_t v) {
    p[at] = static_cast<uint8_t>(v >> 8);
    p[at + 1] = static_cast<uint8_t>(v);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v >> 16);
    put16(at + 2, v & 0xFFFF);
  };
  p[0] = static_cast<uint8_t>((s.version & 0x0F) << 4 | (s.ihl & 0x0F));
  put16(2, static_cast<uint32_t>(total & 0xFFFF));
  put16(4, 0x1234);  // identification
  put16(6, s.flagsFragment);
  p[8] = 64;  // time to live
  p[9] = s.protocol;
  put32(12, s.source);
  put32(16, s.destination);
  const size_t udp = std::max<size_t>(header, 20);
  put16(udp, s.sourcePort);
  put16(udp + 2, s.destinationPort);
  if (transport == 8) {
    put16(udp + 4, static_cast<uint32_t>(8 + s.payload));
  } else {
    p[udp + 12] = 5 << 4;  // data offset: a header without options
  }
  for (size_t i = udp + transport; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 7);
  if (s.deliveredLength >= 0) p.resize(static_cast<size_t>(s.deliveredLength));
  return p;
}

}  // namespace tolvane
