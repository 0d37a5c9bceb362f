// ICMP echo through the IP Helper library (IcmpCreateFile / IcmpSendEcho / IcmpCloseHandle).
//
// Each request carries the same 32-byte payload, "tolvane-ping" padded with zero bytes, and no IP
// options. The reply buffer is 136 bytes: one ICMP_ECHO_REPLY, the echoed payload and the 8 bytes
// of an ICMP error header that the call may write, with room to spare. A reply that arrives with a
// round-trip time of 0 (the host answered within the timer's resolution) counts as 1 ms, because 0
// is not a value the rest of the program expects from a measured host.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <array>
#include <cstring>

#include "platform/icmp.h"

namespace tolvane {
namespace {

constexpr size_t kPayloadSize = 32;
constexpr size_t kReplySize = 136;

class Win32Icmp final : public Icmp {
 public:
  IcmpHandle Open() override {
    HANDLE h = IcmpCreateFile();
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return kNoIcmpHandle;
    return reinterpret_cast<IcmpHandle>(h);
  }

  void Close(IcmpHandle handle) override {
    if (handle == kNoIcmpHandle) return;
    IcmpCloseHandle(reinterpret_cast<HANDLE>(handle));
  }

  int32_t SendEcho(IcmpHandle handle, const Ipv4Bytes& address, uint32_t timeoutMs) override {
    if (handle == kNoIcmpHandle) return -1;
    std::array<char, kPayloadSize> payload{};
    static constexpr char kText[] = "tolvane-ping";
    std::memcpy(payload.data(), kText, sizeof kText - 1);
    // Aligned so the ICMP_ECHO_REPLY at its start is read at its natural alignment.
    alignas(ICMP_ECHO_REPLY) std::array<unsigned char, kReplySize> reply{};
    IPAddr destination;
    std::memcpy(&destination, address.data(), 4);
    const DWORD count =
        IcmpSendEcho(reinterpret_cast<HANDLE>(handle), destination, payload.data(), static_cast<WORD>(payload.size()),
                     nullptr, reply.data(), static_cast<DWORD>(reply.size()), timeoutMs);
    if (count == 0) return -1;
    ICMP_ECHO_REPLY first;
    std::memcpy(&first, reply.data(), sizeof first);
    if (first.Status != IP_SUCCESS) return -1;
    if (first.RoundTripTime == 0) return 1;
    // A reply can never take longer than the timeout, but the field is a DWORD: keep it in range.
    return first.RoundTripTime > 0x7fffffffUL ? -1 : static_cast<int32_t>(first.RoundTripTime);
  }
};

}  // namespace

Icmp& SystemIcmp() {
  static Win32Icmp instance;
  return instance;
}

}  // namespace tolvane
