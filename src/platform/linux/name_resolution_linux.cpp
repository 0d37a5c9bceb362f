// Name resolution on Linux through getaddrinfo, IPv4 only. Names outside ASCII are passed on as
// UTF-8 with AI_IDN, so the C library asks for their punycode form as Windows' resolver does.
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "platform/name_resolution.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

class LinuxNameResolver final : public NameResolver {
 public:
  std::wstring ResolveIpv4(const std::wstring& host) override {
    if (host.empty() || host.find(L'\0') != std::wstring::npos) return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_IDN;
    addrinfo* list = nullptr;
    if (getaddrinfo(WideToUtf8(host).c_str(), nullptr, &hints, &list) != 0) return {};
    std::wstring ip;
    for (const addrinfo* p = list; p != nullptr && ip.empty(); p = p->ai_next) {
      if (p->ai_family != AF_INET || p->ai_addr == nullptr || p->ai_addrlen < sizeof(sockaddr_in)) continue;
      char text[INET_ADDRSTRLEN] = {};
      if (inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr, text, sizeof text)) {
        ip = Utf8ToWide(text);
      }
    }
    freeaddrinfo(list);
    return ip;
  }
};

}  // namespace

std::shared_ptr<NameResolver> CreateSystemNameResolver() { return std::make_shared<LinuxNameResolver>(); }

}  // namespace tolvane
