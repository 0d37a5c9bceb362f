// The loopback test server and the hand-built PNG. Sockets go through loopback_sockets.h, which
// each system's test folder provides (Winsock or POSIX) under the same few names.
#include "loopback_http_server.h"

#include "loopback_sockets.h"

#include <array>

#include "lookup/tile_cache.h"

namespace tolvane::loopback {
namespace {

constexpr long kPollUs = 20000;
constexpr size_t kMaxHead = 65536;

// Waits up to one poll interval for the socket to become readable (or writable); false on timeout.
bool Ready(Socket s, bool forWrite) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{0, kPollUs};
  const int width = SelectWidth(s);
  const int n = forWrite ? select(width, nullptr, &set, nullptr, &tv) : select(width, &set, nullptr, nullptr, &tv);
  return n > 0;
}

void PutBigEndian(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutChunk(std::string& png, std::string_view type, std::string_view data) {
  PutBigEndian(png, static_cast<uint32_t>(data.size()));
  std::string body(type);
  body.append(data);
  png += body;
  PutBigEndian(png, Crc32(body));
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(Handler handler)
    : handler_(std::move(handler)), listener_(static_cast<uintptr_t>(kNoSocket)) {
  winsockStarted_ = StartSockets();
  if (!winsockStarted_) return;
  const Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kNoSocket) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  SocketLength length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 32) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    CloseSocket(s);
    return;
  }
  listener_ = s;
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread(&LoopbackHttpServer::AcceptLoop, this);
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  stopped_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& t : connections_) t.join();  // the acceptor is gone, so the list no longer grows
  if (static_cast<Socket>(listener_) != kNoSocket) CloseSocket(static_cast<Socket>(listener_));
  if (winsockStarted_) StopSockets();
}

std::wstring LoopbackHttpServer::BaseUrl() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }

std::vector<std::string> LoopbackHttpServer::RequestHeads() {
  std::lock_guard<std::mutex> lock(mutex_);
  return heads_;
}

std::vector<std::string> LoopbackHttpServer::Openings() {
  std::lock_guard<std::mutex> lock(mutex_);
  return openings_;
}

CannedResponse LoopbackHttpServer::Reply(int status, std::string_view reason, std::string_view body,
                                         std::string_view contentType) {
  std::string r = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  r += "Content-Type: " + std::string(contentType) + "\r\n";
  r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r += "Connection: close\r\n\r\n";
  r.append(body);
  return {std::move(r), false};
}

std::string LoopbackHttpServer::PathOf(const std::string& requestHead) {
  const size_t first = requestHead.find(' ');
  if (first == std::string::npos) return {};
  const size_t second = requestHead.find(' ', first + 1);
  if (second == std::string::npos) return {};
  return requestHead.substr(first + 1, second - first - 1);
}

void LoopbackHttpServer::AcceptLoop() {
  const Socket listener = static_cast<Socket>(listener_);
  while (!stop_) {
    if (!Ready(listener, false)) continue;
    const Socket client = accept(listener, nullptr, nullptr);
    if (client == kNoSocket) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.emplace_back(&LoopbackHttpServer::Serve, this, static_cast<uintptr_t>(client));
  }
}

void LoopbackHttpServer::Serve(uintptr_t clientHandle) {
  const Socket client = static_cast<Socket>(clientHandle);
  MakeNonBlocking(client);
  std::string head;
  char buffer[4096];
  while (!stop_ && head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHead) {
    if (!Ready(client, false)) continue;
    const int n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    if (head.empty()) {
      std::lock_guard<std::mutex> lock(mutex_);
      openings_.emplace_back(buffer, std::min<size_t>(static_cast<size_t>(n), 8));
    }
    head.append(buffer, static_cast<size_t>(n));
    if (static_cast<unsigned char>(head[0]) == kTlsHandshakeRecord) break;  // no HTTP to answer
  }
  const size_t end = head.find("\r\n\r\n");
  if (end != std::string::npos) {
    head.resize(end + 4);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      heads_.push_back(head);
    }
    const CannedResponse response = handler_(head);
    if (response.neverAnswer) {
      std::unique_lock<std::mutex> lock(mutex_);
      stopped_.wait(lock, [this] { return stop_.load(); });
    } else {
      size_t sent = 0;
      while (!stop_ && sent < response.bytes.size()) {
        if (!Ready(client, true)) continue;
        const size_t chunk = std::min<size_t>(response.bytes.size() - sent, 65536);
        const int n = static_cast<int>(send(client, response.bytes.data() + sent, static_cast<int>(chunk), kSendFlags));
        if (n < 0) {
          if (SendWouldBlock()) continue;
          break;  // the client went away, as a client that stops at its size limit does
        }
        sent += static_cast<size_t>(n);
      }
      ShutdownSend(client);
    }
  }
  CloseSocket(client);
}

uint16_t ClosedLoopbackPort() {
  if (!StartSockets()) return 0;
  uint16_t port = 0;
  const Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s != kNoSocket) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SocketLength length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ntohs(address.sin_port);
    }
    CloseSocket(s);
  }
  StopSockets();
  return port;
}

std::string MakeSolidPng(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (1 + static_cast<size_t>(width) * 4));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter type None
    for (int x = 0; x < width; ++x) {
      raw.push_back(static_cast<char>(r));
      raw.push_back(static_cast<char>(g));
      raw.push_back(static_cast<char>(b));
      raw.push_back(static_cast<char>(a));
    }
  }
  std::string zlib = "\x78\x01";
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t n = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + n >= raw.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<char>(n & 0xFF));
    zlib.push_back(static_cast<char>(n >> 8));
    zlib.push_back(static_cast<char>(~n & 0xFF));
    zlib.push_back(static_cast<char>((~n >> 8) & 0xFF));
    zlib.append(raw, at, n);
    if (last) break;
  }
  uint32_t s1 = 1, s2 = 0;
  for (const char ch : raw) {
    s1 = (s1 + static_cast<uint8_t>(ch)) % 65521;
    s2 = (s2 + s1) % 65521;
  }
  PutBigEndian(zlib, (s2 << 16) | s1);

  std::string ihdr;
  PutBigEndian(ihdr, static_cast<uint32_t>(width));
  PutBigEndian(ihdr, static_cast<uint32_t>(height));
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, adaptive filters, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  PutChunk(png, "IHDR", ihdr);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}

}  // namespace tolvane::loopback
