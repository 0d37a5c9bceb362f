// Fuzz target for the Linux services' parsers of kernel and network input. Byte 0 picks the parser
// and a variant; the rest is the input, in a heap buffer of exactly its size so that AddressSanitizer
// sees any read past it. Each answer must agree with the input it came from.
#include <linux/inet_diag.h>
#include <linux/netlink.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/linux/linux_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  if (size == 0) return 0;
  const size_t n = size - 1;
  const auto copy = std::make_unique<uint8_t[]>(n + 1);
  std::memcpy(copy.get(), data + 1, n);
  const uint8_t* in = copy.get();
  const std::string_view text(reinterpret_cast<const char*>(in), n);
  KernelSocket s;
  std::vector<KernelSocket> sockets;
  uint32_t pid = 0, target = 0;
  static constexpr int kLinkTypes[] = {1, 12, 101, 113, 228, 276, 0};
  const int32_t offset = Ipv4OffsetInFrame(kLinkTypes[data[0] / 6 % 7], in, n);
  if (n >= 16) std::memcpy(&target, in + 12, 4);  // a raw answer's source, when it has one
  const bool raw = data[0] & 16;
  const EchoAnswer strict = ClassifyEchoAnswer(in, n, raw, target, target, 0x1234, 7);
  switch (data[0] % 6) {
    case 0:  // an IPv4 line leaves the rest of the 16 address bytes zero
      if (ParseProcNetLine(text, false, s)) {
        for (size_t i = 4; i < 16; ++i) {
          if (s.localAddress[i] != 0 || s.remoteAddress[i] != 0) std::abort();
        }
      }
      ParseProcNetLine(text, true, s);
      break;
    case 1:
      ParseDiagDatagram(in, n, sockets);
      if (sockets.size() > n / NLMSG_LENGTH(sizeof(inet_diag_msg))) std::abort();
      break;
    case 2:
      if (StatStartTime(text) != 0 && text.find(')') == std::string_view::npos) std::abort();
      if (SocketInodeOfLink(text) != 0 && text.substr(0, 8) != "socket:[") std::abort();
      if (ParseProcessId(text, pid) && text.find_first_not_of("0123456789") != std::string_view::npos) std::abort();
      break;
    case 3:
      if (offset >= 0 && (static_cast<size_t>(offset) >= n || in[offset] >> 4 != 4)) std::abort();
      break;
    default:  // accepting any identifier never turns an answer about the request into another one
      if (strict != EchoAnswer::Other && (strict != ClassifyEchoAnswer(in, n, raw, target, target, -1, 7) || n < 8))
        std::abort();
      InternetChecksum(in, n);
  }
  return 0;
}
