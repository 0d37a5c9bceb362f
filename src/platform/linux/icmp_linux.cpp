// ICMP echo on Linux: an unprivileged datagram ICMP socket, or a raw ICMP socket where the kernel's
// ping group range (net.ipv4.ping_group_range) does not include the user's group. The raw socket
// needs CAP_NET_RAW, as capture does; without either, Open fails and the ping thread retries.
//
// Each handle is one socket with its own identifier and sequence numbers; the request carries the
// same 32-byte payload as on Windows ("tolvane-ping" and zero bytes). A raw socket receives every
// ICMP message that reaches the machine, so an answer counts only when it is an echo reply from the
// target with this handle's identifier and the request's sequence number (a late reply to an
// earlier, timed-out request has an older number and is passed over); an unreachable or
// time-exceeded message quoting the request ends the wait at once with -1. A datagram socket gets
// only its own replies: the kernel sets the identifier and sorts replies by it.
//
// The round-trip time runs from just before the send to the moment the kernel received the reply
// (SO_TIMESTAMPNS), not to the moment this thread got to read it, so a busy machine that is slow to
// wake the thread does not add its delay to the address's latency. Both ends are wall-clock times;
// should the wall clock be set in between, the monotonic time to the read counts instead. Whole
// milliseconds, at least 1.
#include <fcntl.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/icmp.h"
#include "platform/linux/linux_parse.h"

namespace tolvane {
namespace {

constexpr size_t kPayloadSize = 32;
constexpr size_t kHeaderSize = 8;
constexpr size_t kAnswerBufferSize = 1500;

struct EchoSocket {
  int fd = -1;
  bool raw = false;
  uint16_t id = 0;
  uint16_t sequence = 0;
};

int64_t Ns(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

int64_t NowNs(clockid_t clock = CLOCK_MONOTONIC) {
  timespec t{};
  clock_gettime(clock, &t);
  return Ns(t);
}

// One message into buffer; kernelNs is when the kernel received it (wall clock), 0 when unknown.
ssize_t Receive(int fd, uint8_t* buffer, size_t size, uint32_t& from, int64_t& kernelNs) {
  sockaddr_in sender{};
  iovec data{buffer, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr m{};
  m.msg_name = &sender;
  m.msg_namelen = sizeof sender;
  m.msg_iov = &data;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  const ssize_t n = recvmsg(fd, &m, MSG_DONTWAIT);
  from = sender.sin_addr.s_addr;
  kernelNs = 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&m); n >= 0 && c != nullptr; c = CMSG_NXTHDR(&m, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      timespec t;
      std::memcpy(&t, CMSG_DATA(c), sizeof t);
      kernelNs = Ns(t);
    }
  }
  return n;
}

uint16_t NextIdentifier() {
  static std::atomic<uint32_t> counter{0};
  return static_cast<uint16_t>(static_cast<uint32_t>(getpid()) * 31u + counter.fetch_add(1));
}

class LinuxIcmp final : public Icmp {
 public:
  IcmpHandle Open() override {
    auto* s = new EchoSocket;
    s->fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s->fd < 0) {
      s->fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
      s->raw = true;
      // Only the messages that can answer an echo request wake this socket.
      icmp_filter filter{};
      filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_TIME_EXCEEDED));
      if (s->fd >= 0) setsockopt(s->fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    if (s->fd < 0) {
      delete s;
      return kNoIcmpHandle;
    }
    const int on = 1;
    setsockopt(s->fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    s->id = NextIdentifier();
    return reinterpret_cast<IcmpHandle>(s);
  }

  void Close(IcmpHandle handle) override {
    if (handle == kNoIcmpHandle) return;
    auto* s = reinterpret_cast<EchoSocket*>(handle);
    close(s->fd);
    delete s;
  }

  int32_t SendEcho(IcmpHandle handle, const Ipv4Bytes& address, uint32_t timeoutMs) override {
    if (handle == kNoIcmpHandle) return -1;
    EchoSocket& s = *reinterpret_cast<EchoSocket*>(handle);
    const uint16_t sequence = ++s.sequence;
    std::array<uint8_t, kHeaderSize + kPayloadSize> request{};
    request[0] = ICMP_ECHO;
    request[4] = static_cast<uint8_t>(s.id >> 8);
    request[5] = static_cast<uint8_t>(s.id);
    request[6] = static_cast<uint8_t>(sequence >> 8);
    request[7] = static_cast<uint8_t>(sequence);
    static constexpr char kText[] = "tolvane-ping";
    std::memcpy(request.data() + kHeaderSize, kText, sizeof kText - 1);
    const uint16_t sum = InternetChecksum(request.data(), request.size());
    request[2] = static_cast<uint8_t>(sum >> 8);
    request[3] = static_cast<uint8_t>(sum);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    std::memcpy(&target.sin_addr, address.data(), 4);
    uint32_t targetAddress = 0;
    std::memcpy(&targetAddress, address.data(), 4);
    const int64_t sentWall = NowNs(CLOCK_REALTIME);
    const int64_t sent = NowNs();
    const int64_t deadline = sent + static_cast<int64_t>(timeoutMs) * 1000000;
    if (sendto(s.fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target) <
        0) {
      return -1;
    }
    std::array<uint8_t, kAnswerBufferSize> answer;
    for (;;) {
      const int64_t left = deadline - NowNs();
      if (left <= 0) return -1;
      pollfd p{s.fd, POLLIN, 0};
      const int ready = poll(&p, 1, static_cast<int>((left + 999999) / 1000000));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return -1;
      uint32_t from = 0;
      int64_t kernelNs = 0;
      const ssize_t n = Receive(s.fd, answer.data(), answer.size(), from, kernelNs);
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) continue;
        return -1;
      }
      const int64_t read = NowNs() - sent;
      switch (ClassifyEchoAnswer(answer.data(), static_cast<size_t>(n), s.raw, from, targetAddress, s.raw ? s.id : -1,
                                 sequence)) {
        case EchoAnswer::Reply: {
          const int64_t kernel = kernelNs - sentWall;
          const int64_t ms = ((kernel >= 0 && kernel <= read ? kernel : read) + 500000) / 1000000;
          return ms < 1 ? 1 : static_cast<int32_t>(ms);
        }
        case EchoAnswer::Error:
          return -1;
        case EchoAnswer::Other:
          break;
      }
    }
  }
};

}  // namespace

Icmp& SystemIcmp() {
  static LinuxIcmp instance;
  return instance;
}

}  // namespace tolvane
