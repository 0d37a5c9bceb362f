// ICMP echo: open a handle, send one echo request and wait for its reply, close the handle.
//
// The Windows implementation wraps IcmpCreateFile / IcmpSendEcho / IcmpCloseHandle; tests use a
// fake. A handle belongs to one thread at a time: the ping service gives every worker its own so
// that several requests are in flight at once. SendEcho blocks for up to timeoutMs, so it is never
// called with a lock held.
#pragma once

#include <cstdint>

#include "platform/inet.h"

namespace tolvane {

// Opaque handle value; kNoIcmpHandle means "none" (an open that failed).
using IcmpHandle = uintptr_t;
inline constexpr IcmpHandle kNoIcmpHandle = 0;

class Icmp {
 public:
  virtual ~Icmp() = default;
  // A new handle, or kNoIcmpHandle when the system refuses one.
  virtual IcmpHandle Open() = 0;
  // Releases a handle from Open; kNoIcmpHandle is ignored.
  virtual void Close(IcmpHandle handle) = 0;
  // One echo request to address (network byte order). The round-trip time in milliseconds, at
  // least 1, when a successful reply arrived within timeoutMs; otherwise -1.
  virtual int32_t SendEcho(IcmpHandle handle, const Ipv4Bytes& address, uint32_t timeoutMs) = 0;
};

// The operating system's ICMP service (Windows build only). Safe to use from any thread.
Icmp& SystemIcmp();

}  // namespace tolvane
