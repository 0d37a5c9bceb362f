// The socket tables on Linux: netlink sock_diag dumps, or /proc/net/{tcp,tcp6,udp,udp6} when the
// kernel answers no dump (a kernel without the udp_diag module, a sandbox without netlink). Neither
// names a socket's owner, only its inode; owners come from the links in /proc/<pid>/fd.
//
// The owner map. Walking every process's fd folder costs thousands of readlink calls, too many for
// every refresh, so the map from inode to process id is kept between reads and rebuilt when a read
// meets an inode it cannot place (a socket opened since, such as a voice socket opened mid-call: it
// gets its owner in that very read), and every kRescanMs in case an owner exited and left the socket
// to a child. At most one rebuild per kMinScanGapMs, so the four reads of one snapshot rebuild once.
// Inodes that a fresh rebuild still could not place (sockets of other users' processes, whose fd
// folders only root may read) are remembered per table, so they do not force a rebuild on every
// read; they are listed with owner 0. When several processes share a socket, the lowest id owns it.
#include "platform/linux/socket_tables_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/clock.h"

namespace tolvane {
namespace {

constexpr uint64_t kRescanMs = 10000;
constexpr uint64_t kMinScanGapMs = 200;
constexpr size_t kDiagBufferBytes = 65536;

bool IsIpv6(SocketTableKind kind) { return kind == SocketTableKind::Tcp6 || kind == SocketTableKind::Udp6; }
bool IsTcp(SocketTableKind kind) { return kind == SocketTableKind::Tcp4 || kind == SocketTableKind::Tcp6; }

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool DiagDump(SocketTableKind kind, std::vector<KernelSocket>& out) {
  const FileDescriptor fd(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (fd.get() < 0) return false;
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  message.request.sdiag_family = IsIpv6(kind) ? AF_INET6 : AF_INET;
  message.request.sdiag_protocol = IsTcp(kind) ? IPPROTO_TCP : IPPROTO_UDP;
  message.request.idiag_states = ~0u;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(fd.get(), &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0) {
    return false;
  }
  std::vector<uint8_t> buffer(kDiagBufferBytes);
  for (;;) {
    const ssize_t n = recv(fd.get(), buffer.data(), buffer.size(), 0);
    if (n <= 0) return false;
    switch (ParseDiagDatagram(buffer.data(), static_cast<size_t>(n), out)) {
      case DiagPart::Done:
        return true;
      case DiagPart::Failed:
        return false;
      case DiagPart::More:
        break;
    }
  }
}

bool ProcNet(SocketTableKind kind, std::vector<KernelSocket>& out) {
  static constexpr const char* kPaths[] = {"/proc/net/tcp", "/proc/net/tcp6", "/proc/net/udp", "/proc/net/udp6"};
  FILE* f = std::fopen(kPaths[static_cast<int>(kind)], "re");
  if (f == nullptr) return false;
  char line[512];
  KernelSocket s;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (ParseProcNetLine(line, IsIpv6(kind), s)) out.push_back(s);
  }
  std::fclose(f);
  return true;
}

// Every socket inode held open by a process whose fd folder this process may read.
std::unordered_map<uint64_t, uint32_t> ScanOwners() {
  std::unordered_map<uint64_t, uint32_t> owners;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return owners;
  while (const dirent* p = readdir(proc)) {
    uint32_t pid = 0;
    if (!ParseProcessId(p->d_name, pid)) continue;
    char path[48];
    std::snprintf(path, sizeof path, "/proc/%u/fd", pid);
    const int folder = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) continue;  // gone, or another user's process
    DIR* fds = fdopendir(folder);
    if (fds == nullptr) {
      close(folder);
      continue;
    }
    while (const dirent* f = readdir(fds)) {
      if (f->d_name[0] == '.') continue;
      char target[64];
      const ssize_t n = readlinkat(folder, f->d_name, target, sizeof target);
      if (n <= 0) continue;
      const uint64_t inode = SocketInodeOfLink(std::string_view(target, static_cast<size_t>(n)));
      if (inode != 0) owners.emplace(inode, pid);  // /proc lists ascending ids: the lowest stays
    }
    closedir(fds);
  }
  closedir(proc);
  return owners;
}

class LinuxSocketTables final : public SocketTables {
 public:
  std::vector<TcpEntry> ReadTcp(SocketTableKind kind) override {
    std::vector<TcpEntry> out;
    if (!IsTcp(kind)) return out;
    const std::vector<KernelSocket> sockets = ReadKernel(kind);
    const std::vector<uint32_t> pids = Owners(kind, sockets);
    out.resize(sockets.size());
    for (size_t i = 0; i < sockets.size(); ++i) {
      TcpEntry& e = out[i];
      e.state = MibTcpState(sockets[i].state);
      e.localAddress = sockets[i].localAddress;
      e.localPort = sockets[i].localPort;
      e.remoteAddress = sockets[i].remoteAddress;
      e.remotePort = sockets[i].remotePort;
      e.pid = pids[i];
    }
    return out;
  }

  std::vector<UdpEntry> ReadUdp(SocketTableKind kind) override {
    std::vector<UdpEntry> out;
    if (IsTcp(kind)) return out;
    const std::vector<KernelSocket> sockets = ReadKernel(kind);
    const std::vector<uint32_t> pids = Owners(kind, sockets);
    out.resize(sockets.size());
    for (size_t i = 0; i < sockets.size(); ++i) {
      out[i].localAddress = sockets[i].localAddress;
      out[i].localPort = sockets[i].localPort;
      out[i].pid = pids[i];
    }
    return out;
  }

 private:
  static std::vector<KernelSocket> ReadKernel(SocketTableKind kind) {
    std::vector<KernelSocket> sockets;
    if (ReadKernelSockets(kind, KernelSocketSource::Netlink, sockets)) return sockets;
    sockets.clear();
    ReadKernelSockets(kind, KernelSocketSource::ProcNet, sockets);
    return sockets;
  }

  std::vector<uint32_t> Owners(SocketTableKind kind, const std::vector<KernelSocket>& sockets) {
    std::lock_guard<std::mutex> guard(lock_);
    std::unordered_set<uint64_t>& unplaced = unplaced_[static_cast<size_t>(kind)];
    const uint64_t now = SystemClock().TickMs();
    bool unknown = now - lastScanMs_ >= kRescanMs;
    for (const KernelSocket& s : sockets) {
      if (unknown) break;
      unknown = s.inode != 0 && owners_.count(s.inode) == 0 && unplaced.count(s.inode) == 0;
    }
    const bool scanned = unknown && now - lastScanMs_ >= kMinScanGapMs;
    if (scanned) {
      owners_ = ScanOwners();
      lastScanMs_ = now;
    }
    // An inode counts as unplaceable only once a rebuild has looked for it; one met while rebuilds
    // were held back stays unknown and asks for a rebuild on the next read.
    std::unordered_set<uint64_t> stillUnplaced;
    std::vector<uint32_t> pids(sockets.size(), 0);
    for (size_t i = 0; i < sockets.size(); ++i) {
      const auto owner = owners_.find(sockets[i].inode);
      if (owner != owners_.end()) {
        pids[i] = owner->second;
      } else if (sockets[i].inode != 0 && (scanned || unplaced.count(sockets[i].inode) != 0)) {
        stillUnplaced.insert(sockets[i].inode);
      }
    }
    unplaced = std::move(stillUnplaced);
    return pids;
  }

  std::mutex lock_;
  std::unordered_map<uint64_t, uint32_t> owners_;
  std::unordered_set<uint64_t> unplaced_[4];
  uint64_t lastScanMs_ = 0;
};

}  // namespace

bool ReadKernelSockets(SocketTableKind kind, KernelSocketSource source, std::vector<KernelSocket>& out) {
  return source == KernelSocketSource::Netlink ? DiagDump(kind, out) : ProcNet(kind, out);
}

SocketTables& SystemSocketTables() {
  static LinuxSocketTables tables;
  return tables;
}

}  // namespace tolvane
