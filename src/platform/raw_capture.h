// Raw capture: the adapters' IPv4 addresses and, per local address, a source of the raw IPv4
// datagrams that cross it, header included.
//
// On Windows this is GetAdaptersAddresses and Winsock raw sockets with SIO_RCVALL; opening one
// needs administrator rights (WSAEACCES, 10013, otherwise) and Wine refuses raw sockets outright
// (WSAEPROTONOSUPPORT, 10043). Winsock must already be started (WSAStartup) by the caller. On Linux
// a source is a libpcap handle on all interfaces with a kernel filter for the address's IPv4
// traffic; it needs CAP_NET_RAW (or root), and without it the open fails with EPERM, not
// kErrorAccessDenied (the rights to ask for are not administrator rights), and Receive hands out
// at least the first 236 bytes of each datagram, its headers (the IP total length tells its size).
// Error codes are the system's own numbers. Every operation reports failure through its result;
// none throws. Sockets are owned by whoever opened them and must be closed through Close. An instance
// may be used from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/inet.h"

namespace tolvane {

// One adapter as the system reports it, unfiltered.
struct CaptureAdapter {
  bool operUp = false;                 // operational status is "up"
  uint32_t interfaceType = 0;          // IANA ifType; 24 is software loopback
  std::vector<Ipv4Bytes> ipv4Unicast;  // the adapter's AF_INET unicast addresses, in system order
};

using RawSocketHandle = uint64_t;

struct RawOpenResult {
  bool ok = false;
  RawSocketHandle socket = 0;  // valid only when ok
  int32_t error = 0;           // the system's error code of the failed step when !ok
};

class RawCapture {
 public:
  static constexpr int32_t kErrorAccessDenied = 10013;       // WSAEACCES
  static constexpr int32_t kErrorProtoNotSupported = 10043;  // WSAEPROTONOSUPPORT

  virtual ~RawCapture() = default;

  // The IPv4 adapters; empty when the system cannot list them.
  virtual std::vector<CaptureAdapter> Adapters() = 0;
  // A raw IPv4 socket bound to address (port 0) with receive-all switched on. On failure of any
  // step the socket is already closed and error holds the failing step's error code.
  virtual RawOpenResult Open(const Ipv4Bytes& address) = 0;
  // Waits at most timeoutMs until one of sockets can be read. readable is resized to the number of
  // sockets and tells which ones. Returns how many are readable, 0 on time-out, -1 on failure.
  virtual int32_t WaitReadable(const std::vector<RawSocketHandle>& sockets, uint32_t timeoutMs,
                               std::vector<bool>& readable) = 0;
  // One receive into buffer; the number of bytes received, or -1 on failure.
  virtual int32_t Receive(RawSocketHandle socket, uint8_t* buffer, size_t capacity) = 0;
  virtual void Close(RawSocketHandle socket) = 0;
};

// The process's real raw capture (Windows and Linux; the host build has no implementation).
RawCapture& SystemRawCapture();

// The advice shown under the Error status, when no source could be opened for another reason than
// missing administrator rights: on Windows a word on security tools blocking raw sockets, on Linux
// how to grant the right to capture (or what the capture library said, when rights were not it).
std::wstring CaptureErrorHint();

}  // namespace tolvane
