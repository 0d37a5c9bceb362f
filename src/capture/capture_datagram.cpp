// Datagram handling of packet capture: header checks, direction and counting. See the header.
#include "capture/capture_datagram.h"

#include <algorithm>

namespace tolvane {
namespace {

constexpr size_t kMinDatagram = 28;  // smallest IPv4 header plus a UDP header
constexpr size_t kUdpHeader = 8;
constexpr size_t kTcpHeader = 20;  // a TCP header without options
constexpr uint8_t kProtocolUdp = 17;
constexpr uint8_t kProtocolTcp = 6;

uint32_t Read16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

bool IsReservedRemote(uint32_t address) {
  const uint32_t first = address >> 24;
  return first == 0 || first == 127 || first >= 224;
}

}  // namespace

LocalAddressList::LocalAddressList(std::vector<uint32_t> addresses) : values_(std::move(addresses)) {
  std::sort(values_.begin(), values_.end());
  values_.erase(std::unique(values_.begin(), values_.end()), values_.end());
}

bool LocalAddressList::Contains(uint32_t address) const {
  // A machine has a handful of addresses; a scan beats a binary search until well past eight.
  if (values_.size() <= 16) {
    for (uint32_t v : values_) {
      if (v == address) return true;
    }
    return false;
  }
  return std::binary_search(values_.begin(), values_.end(), address);
}

DatagramResult ParseDatagram(const uint8_t* buffer, size_t n, const LocalAddressList& local, DatagramFlow& flow) {
  if (buffer == nullptr || n < kMinDatagram) return DatagramResult::TooShort;
  if ((buffer[0] >> 4) != 4) return DatagramResult::NotIpv4;
  const size_t headerLength = static_cast<size_t>(buffer[0] & 0x0F) * 4;
  if (headerLength < 20) return DatagramResult::BadHeaderLength;
  const uint8_t protocol = buffer[9];
  const bool tcp = protocol == kProtocolTcp;
  if (!tcp && protocol != kProtocolUdp) return DatagramResult::OtherProtocol;
  // Only the ports are read, but a segment shorter than a whole TCP header is not one.
  if (n < headerLength + (tcp ? kTcpHeader : kUdpHeader))
    return tcp ? DatagramResult::TcpHeaderCut : DatagramResult::UdpHeaderCut;
  if ((Read16(buffer + 6) & 0x1FFF) != 0) return DatagramResult::LaterFragment;

  const uint32_t source = Read32(buffer + 12);
  const uint32_t destination = Read32(buffer + 16);
  const uint8_t* udp = buffer + headerLength;
  const uint16_t sourcePort = static_cast<uint16_t>(Read16(udp));
  const uint16_t destinationPort = static_cast<uint16_t>(Read16(udp + 2));

  const bool sourceLocal = local.Contains(source);
  const bool destinationLocal = local.Contains(destination);
  if (sourceLocal == destinationLocal) return sourceLocal ? DatagramResult::BothLocal : DatagramResult::NoLocalEnd;
  flow.tcp = tcp;
  flow.direction = sourceLocal ? FlowDirection::Sent : FlowDirection::Received;
  if (sourceLocal) {
    flow.remote = destination;
    flow.remotePort = destinationPort;
    flow.localPort = sourcePort;
  } else {
    flow.remote = source;
    flow.remotePort = sourcePort;
    flow.localPort = destinationPort;
  }
  if (IsReservedRemote(flow.remote)) return DatagramResult::ReservedRemote;
  flow.totalLength = Read16(buffer + 2);
  return DatagramResult::Accepted;
}

DatagramResult HandleDatagram(const uint8_t* buffer, size_t n, const LocalAddressList& local, CaptureTable& table,
                              Clock& clock) {
  DatagramFlow flow;
  const DatagramResult parsed = ParseDatagram(buffer, n, local, flow);
  if (parsed != DatagramResult::Accepted) return parsed;
  FlowTable& flows = flow.tcp ? table.Tcp() : table;
  switch (flows.Count(flow.localPort, flow.remote, flow.remotePort, flow.totalLength, clock.TickMs(), flow.direction)) {
    case CaptureTable::CountResult::Updated:
      return DatagramResult::Updated;
    case CaptureTable::CountResult::Inserted:
      return DatagramResult::Inserted;
    case CaptureTable::CountResult::Dropped:
      return DatagramResult::TableFull;
  }
  return DatagramResult::TableFull;
}

}  // namespace tolvane
