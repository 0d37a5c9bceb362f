// Raw capture on Windows: GetAdaptersAddresses for the adapter list, Winsock raw IPv4 sockets with
// SIO_RCVALL for the packet stream.
//
// Caveats: a raw socket needs administrator rights; SIO_RCVALL delivers whole IPv4 datagrams, header
// included, of every protocol crossing the bound adapter. The adapter list can grow between the size
// query and the real call (an adapter arriving); the call is then repeated with the new size a few
// times, so a transient change does not look like "no adapters" and close every capture socket.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <mstcpip.h>
#include <windows.h>

#include <climits>
#include <cstring>

#include "platform/raw_capture.h"

namespace tolvane {
namespace {

SOCKET ToSocket(RawSocketHandle h) { return static_cast<SOCKET>(h); }

class Win32RawCapture final : public RawCapture {
 public:
  std::vector<CaptureAdapter> Adapters() override {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 0;
    GetAdaptersAddresses(AF_INET, flags, nullptr, nullptr, &size);
    // uint64_t elements keep the records 8-byte aligned, as IP_ADAPTER_ADDRESSES needs.
    std::vector<uint64_t> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
      if (size == 0) return {};
      buffer.assign((size + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
      result =
          GetAdaptersAddresses(AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) return {};
    std::vector<CaptureAdapter> adapters;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr; a = a->Next) {
      CaptureAdapter adapter;
      adapter.operUp = a->OperStatus == IfOperStatusUp;
      adapter.interfaceType = a->IfType;
      for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
        const SOCKADDR* sa = u->Address.lpSockaddr;
        if (sa == nullptr || sa->sa_family != AF_INET ||
            u->Address.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in))) {
          continue;
        }
        Ipv4Bytes bytes;
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, 4);
        adapter.ipv4Unicast.push_back(bytes);
      }
      adapters.push_back(std::move(adapter));
    }
    return adapters;
  }

  RawOpenResult Open(const Ipv4Bytes& address) override {
    RawOpenResult r;
    SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_IP);
    if (s == INVALID_SOCKET) {
      r.error = WSAGetLastError();
      return r;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    std::memcpy(&local.sin_addr, address.data(), 4);
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
      r.error = WSAGetLastError();
      closesocket(s);
      return r;
    }
    DWORD on = RCVALL_ON;
    DWORD returned = 0;
    if (WSAIoctl(s, SIO_RCVALL, &on, sizeof on, nullptr, 0, &returned, nullptr, nullptr) == SOCKET_ERROR) {
      r.error = WSAGetLastError();
      closesocket(s);
      return r;
    }
    r.ok = true;
    r.socket = static_cast<RawSocketHandle>(s);
    return r;
  }

  int32_t WaitReadable(const std::vector<RawSocketHandle>& sockets, uint32_t timeoutMs,
                       std::vector<bool>& readable) override {
    readable.assign(sockets.size(), false);
    // Winsock's fd_set holds FD_SETSIZE (64) sockets; the capture thread opens at most 8.
    if (sockets.empty() || sockets.size() > FD_SETSIZE) return -1;
    fd_set set;
    FD_ZERO(&set);
    for (RawSocketHandle h : sockets) FD_SET(ToSocket(h), &set);
    timeval tv;
    tv.tv_sec = static_cast<long>(timeoutMs / 1000);
    tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
    const int n = select(0, &set, nullptr, nullptr, &tv);
    if (n == SOCKET_ERROR) return -1;
    int32_t count = 0;
    for (size_t i = 0; i < sockets.size(); ++i) {
      if (FD_ISSET(ToSocket(sockets[i]), &set)) {
        readable[i] = true;
        ++count;
      }
    }
    return count;
  }

  int32_t Receive(RawSocketHandle socket, uint8_t* buffer, size_t capacity) override {
    const int length = capacity > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
    const int n = recv(ToSocket(socket), reinterpret_cast<char*>(buffer), length, 0);
    return n == SOCKET_ERROR ? -1 : n;
  }

  void Close(RawSocketHandle socket) override { closesocket(ToSocket(socket)); }
};

}  // namespace

RawCapture& SystemRawCapture() {
  static Win32RawCapture capture;
  return capture;
}

std::wstring CaptureErrorHint() {
  return L"TCP connections are still listed below. Check that no security tool is blocking raw sockets.";
}

}  // namespace tolvane
