// The raise hand-over over a Unix socket; see instance_socket.h.
#include "app/linux/instance_socket.h"

#include <glib-unix.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace tolvane {
namespace {

constexpr char kRequest[] = "raise\n";
constexpr char kAnswer[] = "ok\n";
constexpr int kServeTimeoutMs = 500;

bool AddressOf(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Reads until the buffer holds a whole line or timeoutMs passed; the line without its end, or empty.
std::string ReadLine(int fd, int timeoutMs) {
  std::string line;
  char buffer[32];
  while (line.find('\n') == std::string::npos && line.size() < 64) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return {};
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return {};
    line.append(buffer, static_cast<size_t>(n));
  }
  const size_t end = line.find('\n');
  return end == std::string::npos ? std::string() : line.substr(0, end);
}

bool WriteAll(int fd, const char* text) {
  const size_t length = std::strlen(text);
  return send(fd, text, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
}

}  // namespace

RaiseServer::~RaiseServer() { Stop(); }

bool RaiseServer::Start(const std::string& path, std::function<void()> raise) {
  Stop();
  sockaddr_un address;
  if (!AddressOf(path, address)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  unlink(path.c_str());  // the lock is ours, so a file here was left by an instance that is gone
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return false;
  }
  listener_ = fd;
  path_ = path;
  raise_ = std::move(raise);
  source_ = g_unix_fd_add(fd, G_IO_IN, reinterpret_cast<GUnixFDSourceFunc>(&RaiseServer::OnReadable), this);
  return true;
}

void RaiseServer::Stop() {
  if (source_) g_source_remove(source_);
  source_ = 0;
  if (listener_ >= 0) {
    close(listener_);
    unlink(path_.c_str());
  }
  listener_ = -1;
}

int RaiseServer::OnReadable(int fd, unsigned, void* data) {
  auto* self = static_cast<RaiseServer*>(data);
  const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return G_SOURCE_CONTINUE;
  if (ReadLine(client, kServeTimeoutMs) + "\n" == kRequest) {
    WriteAll(client, kAnswer);
    if (self->raise_) self->raise_();
  }
  close(client);
  return G_SOURCE_CONTINUE;
}

bool AskToRaise(const std::string& path, int timeoutMs) {
  sockaddr_un address;
  if (!AddressOf(path, address)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                  WriteAll(fd, kRequest) && ReadLine(fd, timeoutMs) + "\n" == kAnswer;
  close(fd);
  return ok;
}

}  // namespace tolvane
