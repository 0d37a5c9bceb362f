// Raw capture on Linux: getifaddrs for the adapter list, libpcap for the packet stream.
//
// A source opened for a local address is a libpcap handle on the "any" device (all interfaces, both
// directions) in immediate mode, with a kernel filter that passes only the IPv4 traffic of that
// address, so two addresses never see one datagram twice and the thread wakes only for what it
// counts. Packets are cut after kSnapBytes: the counting reads headers only (the IP total length
// still tells the size), and short copies keep the kernel's ring and this process's copies small.
//
// Receive hands out one datagram at a time, but reads the kernel's ring in batches (pcap_dispatch
// into a queue of this source): one call drains what is there, and WaitReadable reports a source
// with queued datagrams as readable at once. Waiting on the descriptor alone would miss datagrams
// that libpcap already took off the ring into its own buffer.
//
// Opening needs CAP_NET_RAW (or root). Its failure is recorded, so the call panel can say how to
// grant the right (CaptureErrorHint); the error code is then EPERM, never WSAEACCES, since the
// Windows advice ("run as administrator") would be wrong here.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/linux_parse.h"
#include "platform/linux/linux_paths.h"
#include "platform/raw_capture.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr int kSnapBytes = 256;              // link header + IP header (60) + TCP header (60), with room
constexpr int kKernelBufferBytes = 4 << 20;  // the kernel's ring for one source
constexpr int kBatch = 512;                  // datagrams taken off the ring per read
constexpr uint32_t kLoopbackType = 24;       // IANA ifType softwareLoopback
constexpr uint32_t kEthernetType = 6;        // IANA ifType ethernetCsmacd, for every other interface
constexpr int32_t kCaptureError = EIO;

struct Source {
  pcap_t* pcap = nullptr;
  int linkType = 0;
  int fd = -1;
  std::vector<uint8_t> bytes;                        // queued datagrams, back to back
  std::vector<std::pair<size_t, size_t>> datagrams;  // offset and length in bytes
  size_t next = 0;                                   // the next queued datagram to hand out
  bool Queued() const { return next < datagrams.size(); }
};

void Enqueue(u_char* user, const pcap_pkthdr* header, const u_char* frame) {
  Source& source = *reinterpret_cast<Source*>(user);
  const int32_t offset = Ipv4OffsetInFrame(source.linkType, frame, header->caplen);
  if (offset < 0) return;
  const size_t length = header->caplen - static_cast<size_t>(offset);
  source.datagrams.emplace_back(source.bytes.size(), length);
  source.bytes.insert(source.bytes.end(), frame + offset, frame + header->caplen);
}

class PcapCapture final : public RawCapture {
 public:
  ~PcapCapture() override {
    for (auto& [handle, source] : sources_) pcap_close(source->pcap);
  }

  std::vector<CaptureAdapter> Adapters() override {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {};
    std::map<std::string, CaptureAdapter> byName;
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
      CaptureAdapter& adapter = byName[a->ifa_name];
      adapter.operUp = (a->ifa_flags & IFF_UP) != 0 && (a->ifa_flags & IFF_RUNNING) != 0;
      adapter.interfaceType = (a->ifa_flags & IFF_LOOPBACK) != 0 ? kLoopbackType : kEthernetType;
      if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
      Ipv4Bytes bytes;
      std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, 4);
      adapter.ipv4Unicast.push_back(bytes);
    }
    freeifaddrs(list);
    std::vector<CaptureAdapter> adapters;
    for (auto& [name, adapter] : byName) adapters.push_back(std::move(adapter));
    return adapters;
  }

  RawOpenResult Open(const Ipv4Bytes& address) override {
    RawOpenResult result;
    char error[PCAP_ERRBUF_SIZE] = {};
    auto source = std::make_unique<Source>();
    source->pcap = pcap_create("any", error);
    if (source->pcap == nullptr) return Failed(result, kCaptureError, error);
    pcap_set_snaplen(source->pcap, kSnapBytes);
    pcap_set_immediate_mode(source->pcap, 1);
    pcap_set_buffer_size(source->pcap, kKernelBufferBytes);
    const int activated = pcap_activate(source->pcap);
    if (activated < 0) {
      const bool denied = activated == PCAP_ERROR_PERM_DENIED;
      const std::string text = pcap_geterr(source->pcap);
      pcap_close(source->pcap);
      return Failed(result, denied ? EPERM : kCaptureError, text);
    }
    char filter[64];
    std::snprintf(filter, sizeof filter, "ip and host %u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    bpf_program program{};
    const bool filtered = pcap_compile(source->pcap, &program, filter, 1, PCAP_NETMASK_UNKNOWN) == 0;
    const bool set = filtered && pcap_setfilter(source->pcap, &program) == 0;
    if (filtered) pcap_freecode(&program);
    if (!set || pcap_setnonblock(source->pcap, 1, error) != 0 || pcap_get_selectable_fd(source->pcap) < 0) {
      const std::string text = pcap_geterr(source->pcap);
      pcap_close(source->pcap);
      return Failed(result, kCaptureError, text);
    }
    source->linkType = pcap_datalink(source->pcap);
    source->fd = pcap_get_selectable_fd(source->pcap);
    source->bytes.reserve(static_cast<size_t>(kBatch) * kSnapBytes);
    source->datagrams.reserve(kBatch);
    result.ok = true;
    result.socket = ++lastHandle_;
    sources_.emplace(result.socket, std::move(source));
    return result;
  }

  int32_t WaitReadable(const std::vector<RawSocketHandle>& sockets, uint32_t timeoutMs,
                       std::vector<bool>& readable) override {
    readable.assign(sockets.size(), false);
    std::vector<pollfd> polled(sockets.size());
    int32_t queued = 0;
    for (size_t i = 0; i < sockets.size(); ++i) {
      Source* s = Find(sockets[i]);
      if (s == nullptr) return -1;
      polled[i] = pollfd{s->fd, POLLIN, 0};
      if (s->Queued()) {
        readable[i] = true;
        ++queued;
      }
    }
    if (queued > 0) return queued;
    const int n = poll(polled.data(), polled.size(), static_cast<int>(timeoutMs));
    if (n < 0) return errno == EINTR ? 0 : -1;
    int32_t count = 0;
    for (size_t i = 0; i < polled.size(); ++i) {
      if ((polled[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
        readable[i] = true;
        ++count;
      }
    }
    return count;
  }

  int32_t Receive(RawSocketHandle socket, uint8_t* buffer, size_t capacity) override {
    Source* s = Find(socket);
    if (s == nullptr) return -1;
    if (!s->Queued()) {
      s->bytes.clear();
      s->datagrams.clear();
      s->next = 0;
      if (pcap_dispatch(s->pcap, kBatch, Enqueue, reinterpret_cast<u_char*>(s)) < 0) return -1;
      if (!s->Queued()) return 0;
    }
    const auto [offset, length] = s->datagrams[s->next++];
    const size_t n = std::min(length, capacity);
    std::memcpy(buffer, s->bytes.data() + offset, n);
    return static_cast<int32_t>(n);
  }

  void Close(RawSocketHandle socket) override {
    const auto it = sources_.find(socket);
    if (it == sources_.end()) return;
    pcap_close(it->second->pcap);
    sources_.erase(it);
  }

  std::wstring Hint() {
    std::lock_guard<std::mutex> guard(errorLock_);
    if (lastError_ == EPERM) {
      const std::string path = ExecutablePath();
      return L"Capturing needs the right to capture: run \"sudo setcap cap_net_raw+ep " +
             Utf8ToWide(path.empty() ? "<path of tolvane>" : path) + L"\" once, or run Tolvane as root.";
    }
    return L"TCP connections are still listed below. The capture library said: " + Utf8ToWide(lastErrorText_);
  }

 private:
  RawOpenResult& Failed(RawOpenResult& result, int32_t code, const std::string& text) {
    std::lock_guard<std::mutex> guard(errorLock_);
    lastError_ = code;
    lastErrorText_ = text;
    result.error = code;
    return result;
  }

  Source* Find(RawSocketHandle handle) {
    const auto it = sources_.find(handle);
    return it == sources_.end() ? nullptr : it->second.get();
  }

  std::map<RawSocketHandle, std::unique_ptr<Source>> sources_;
  RawSocketHandle lastHandle_ = 0;
  std::mutex errorLock_;  // the main thread reads the hint while the capture thread opens
  int32_t lastError_ = 0;
  std::string lastErrorText_;
};

PcapCapture& Capture() {
  static PcapCapture capture;
  return capture;
}

}  // namespace

RawCapture& SystemRawCapture() { return Capture(); }

std::wstring CaptureErrorHint() { return Capture().Hint(); }

}  // namespace tolvane
