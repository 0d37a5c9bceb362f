// Name resolution: the first IPv4 address of a host name (GetAddrInfoW on Windows).
//
// A call blocks for as long as the system's resolver takes (it may ask DNS servers), so it is made
// only on the short-lived resolver threads of the lookup panel, never on the main thread. Only IPv4
// answers count: a name with nothing but IPv6 addresses resolves to nothing.
#pragma once

#include <memory>
#include <string>

namespace tolvane {

class NameResolver {
 public:
  virtual ~NameResolver() = default;
  // Dotted text of the first IPv4 address the system lists for host; empty when the name does not
  // resolve, has no IPv4 address, or is empty or holds a NUL character. Safe to call from any number
  // of threads at once.
  virtual std::wstring ResolveIpv4(const std::wstring& host) = 0;
};

// The system's resolver. It starts and stops Winsock around each call itself, so a resolver thread
// that outlives the window (they are detached) still works after the window has stopped Winsock.
// Windows build only; the Linux host never resolves names.
std::shared_ptr<NameResolver> CreateSystemNameResolver();

}  // namespace tolvane
