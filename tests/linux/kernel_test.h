// Helpers of the kernel tests: the test network of testnet.sh, sockets, environment variables.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

namespace tolvane {

struct TestNet {
  std::string near, host;  // this side's address, the test host's
  uint16_t echoPort = 0;
};

#define NEEDS_TESTNET(net)                                                                    \
  TestNet net;                                                                                \
  const char* net##Text = std::getenv("TOLVANE_TESTNET");                                     \
  if (!net##Text || !(std::istringstream(net##Text) >> net.near >> net.host >> net.echoPort)) \
  GTEST_SKIP() << "no test network: run through tests/linux/testnet.sh, as root"

struct Fd {
  int fd;
  ~Fd() { close(fd); }
};

// A socket bound to address (IPv4 or IPv6 text) and a port the system picks.
inline int BoundSocket(int type, const char* address) {
  sockaddr_in6 at{};
  const bool v6 = std::string(address).find(':') != std::string::npos;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&at);
  at.sin6_family = v6 ? AF_INET6 : AF_INET;
  const int fd = socket(at.sin6_family, type, 0);
  EXPECT_EQ(inet_pton(at.sin6_family, address, v6 ? static_cast<void*>(&at.sin6_addr) : &v4->sin_addr), 1);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&at), v6 ? sizeof at : sizeof *v4), 0) << address;
  return fd;
}

inline uint16_t LocalPort(int fd) {
  sockaddr_in6 at{};  // the port sits at the same place in both families
  socklen_t size = sizeof at;
  getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size);
  return ntohs(at.sin6_port);
}

// Sets (value non-null) or clears an environment variable until the end of the scope.
struct EnvScope {
  EnvScope(const char* name, const char* value) : name(name), had(std::getenv(name) != nullptr) {
    if (had) old = std::getenv(name);
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~EnvScope() { had ? setenv(name, old.c_str(), 1) : unsetenv(name); }
  const char* name;
  bool had;
  std::string old;
};

}  // namespace tolvane
