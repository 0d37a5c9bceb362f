// Fuzz target for the ping address check: any wide text (from the socket tables or a typed lookup)
// must give -1 or a time without a crash; an echo is sent only for ASCII dotted IPv4 text, and the
// demonstration value always lies in 24..113 ms or is -1.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "latency/ping_service.h"

namespace {

class CountingIcmp final : public tolvane::Icmp {
 public:
  tolvane::IcmpHandle Open() override { return 1; }
  void Close(tolvane::IcmpHandle) override {}
  int32_t SendEcho(tolvane::IcmpHandle, const tolvane::Ipv4Bytes&, uint32_t) override {
    ++sends;
    return 0;
  }
  int sends = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  CountingIcmp icmp;
  std::atomic<uint32_t> counter{size > 0 ? data[0] * 977u : 0u};
  const int32_t real = tolvane::PingOnce(icmp, 1, text, 500, false, counter);
  if (icmp.sends > 1) std::abort();
  if (icmp.sends == 1) {
    if (real != 1) std::abort();  // the stub answers 0 ms, which is raised to 1
    for (wchar_t c : text) {
      if (c <= 0 || c > 127) std::abort();
    }
  } else if (real != -1) {
    std::abort();
  }
  const int32_t demo = tolvane::PingOnce(icmp, 1, text, 500, true, counter);
  if (icmp.sends > 1) std::abort();
  if (demo != -1 && (demo < 24 || demo > 113)) std::abort();
  if (demo != -1 && icmp.sends != 1) std::abort();  // demo and real agree on what is an address
  return 0;
}
