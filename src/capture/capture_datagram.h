// Datagram handling of packet capture: which raw IPv4 packets count as a UDP or TCP flow of this
// machine, in which direction, and counting them into the CaptureTable (TCP into its TCP table).
//
// The input is whatever a raw socket delivered, so every length and field is untrusted: the
// parser reads only inside the n bytes it is given and rejects rather than guesses. The local
// address list is the one the capture sockets were opened for. Addresses here are 32-bit values
// with the first octet in the top byte (a.b.c.d = a << 24 | b << 16 | c << 8 | d), the form the
// CaptureTable takes. HandleDatagram runs once per captured packet, so it neither allocates nor
// formats text for a known flow; its cost is the header checks, a short scan of the local
// addresses (a machine has a handful), one clock read and one table update under the capture lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "monitor/capture_table.h"
#include "platform/clock.h"

namespace tolvane {

// The machine's usable IPv4 addresses: no duplicates, ascending.
class LocalAddressList {
 public:
  LocalAddressList() = default;
  // Sorts and de-duplicates.
  explicit LocalAddressList(std::vector<uint32_t> addresses);

  bool Contains(uint32_t address) const;
  const std::vector<uint32_t>& values() const { return values_; }
  bool empty() const { return values_.empty(); }
  size_t size() const { return values_.size(); }
  bool operator==(const LocalAddressList& other) const = default;

 private:
  std::vector<uint32_t> values_;
};

// What became of one datagram. The first group are reasons to ignore it.
enum class DatagramResult {
  TooShort,         // fewer than 28 bytes
  NotIpv4,          // version field is not 4
  BadHeaderLength,  // IHL below 5
  UdpHeaderCut,     // the UDP header does not fit in what was received
  OtherProtocol,    // protocol is neither 17 (UDP) nor 6 (TCP)
  TcpHeaderCut,     // the 20-byte TCP header does not fit in what was received
  LaterFragment,    // fragment offset not 0: no UDP or TCP header here
  NoLocalEnd,       // neither address is local
  BothLocal,        // between two local addresses
  ReservedRemote,   // remote is 0.x, 127.x, or 224.x and above
  Accepted,         // ParseDatagram only: to be counted
  TableFull,        // a new flow while its table holds more than 6000 fresh flows
  Updated,          // counted into an existing flow
  Inserted,         // counted into a new flow
};

// The flow a datagram belongs to, seen from this machine.
struct DatagramFlow {
  uint16_t localPort = 0;
  uint32_t remote = 0;
  uint16_t remotePort = 0;
  uint32_t totalLength = 0;  // the IP total-length field, as sent
  bool tcp = false;
  FlowDirection direction = FlowDirection::Received;
};

// Applies the acceptance and direction rules to buffer[0, n). Fills flow and returns Accepted when
// the datagram is to be counted; otherwise returns the reason it is ignored (flow unspecified).
DatagramResult ParseDatagram(const uint8_t* buffer, size_t n, const LocalAddressList& local, DatagramFlow& flow);

// ParseDatagram, then counts an accepted datagram into table (a TCP one into table.Tcp()) at
// clock.TickMs().
DatagramResult HandleDatagram(const uint8_t* buffer, size_t n, const LocalAddressList& local, CaptureTable& table,
                              Clock& clock);

}  // namespace tolvane
