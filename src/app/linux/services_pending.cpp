// Stand-ins for the Linux platform services built on another branch; see services_pending.h.
#include "app/linux/services_pending.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/icmp.h"
#include "platform/name_resolution.h"
#include "platform/raw_capture.h"

namespace tolvane {
namespace {

class NoIcmp final : public Icmp {
 public:
  IcmpHandle Open() override { return kNoIcmpHandle; }
  void Close(IcmpHandle) override {}
  int32_t SendEcho(IcmpHandle, const Ipv4Bytes&, uint32_t) override { return -1; }
};

class NoRawCapture final : public RawCapture {
 public:
  std::vector<CaptureAdapter> Adapters() override { return {}; }
  RawOpenResult Open(const Ipv4Bytes&) override { return RawOpenResult{false, 0, kErrorAccessDenied}; }
  int32_t WaitReadable(const std::vector<RawSocketHandle>&, uint32_t, std::vector<bool>& readable) override {
    readable.clear();
    return -1;
  }
  int32_t Receive(RawSocketHandle, uint8_t*, size_t) override { return -1; }
  void Close(RawSocketHandle) override {}
};

class NoResolver final : public NameResolver {
 public:
  std::wstring ResolveIpv4(const std::wstring&) override { return {}; }
};

}  // namespace

Icmp& SystemIcmp() {
  static NoIcmp icmp;
  return icmp;
}

RawCapture& SystemRawCapture() {
  static NoRawCapture capture;
  return capture;
}

std::shared_ptr<NameResolver> CreateSystemNameResolver() { return std::make_shared<NoResolver>(); }

InstanceLockState TakeInstanceLock() {
  InstanceLockState s;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  s.path = runtime && *runtime ? std::string(runtime) + "/tolvane.lock"
                               : "/tmp/tolvane-" + std::to_string(getuid()) + ".lock";
  const int fd = open(s.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return s;
  s.created = true;
  s.alreadyExists = flock(fd, LOCK_EX | LOCK_NB) != 0;  // the descriptor stays open until exit
  return s;
}

}  // namespace tolvane
