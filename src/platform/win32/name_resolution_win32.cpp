// Name resolution through Winsock's GetAddrInfoW, IPv4 only.
#include "platform/win32/name_resolution_win32.h"

#include "platform/name_resolution.h"

namespace tolvane {

std::wstring FirstIpv4Text(const ADDRINFOW* list) {
  for (const ADDRINFOW* p = list; p != nullptr; p = p->ai_next) {
    if (p->ai_family != AF_INET || p->ai_addr == nullptr || p->ai_addrlen < sizeof(sockaddr_in)) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
    wchar_t buffer[32] = {};
    if (InetNtopW(AF_INET, &in->sin_addr, buffer, 32) != nullptr) return buffer;
    return {};
  }
  return {};
}

namespace {

class SystemNameResolver final : public NameResolver {
 public:
  std::wstring ResolveIpv4(const std::wstring& host) override {
    if (host.empty() || host.find(L'\0') != std::wstring::npos) return {};
    // Winsock counts its users, so this pair is cheap when the window already started it, and it
    // keeps the call valid when the window has already stopped it.
    WSADATA data;
    const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    std::wstring ip;
    ADDRINFOW hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* list = nullptr;
    if (GetAddrInfoW(host.c_str(), nullptr, &hints, &list) == 0) {
      ip = FirstIpv4Text(list);
      if (list != nullptr) FreeAddrInfoW(list);
    }
    if (started) WSACleanup();
    return ip;
  }
};

}  // namespace

std::shared_ptr<NameResolver> CreateSystemNameResolver() { return std::make_shared<SystemNameResolver>(); }

}  // namespace tolvane
