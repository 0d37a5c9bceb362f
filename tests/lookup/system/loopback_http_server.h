// A small HTTP/1.1 server on 127.0.0.1 inside the test process, for testing the real WinHTTP client
// and the map download under Wine without any traffic beyond loopback.
//
// It listens on a port the system picks (port 0), serves each connection on its own thread and
// answers every request with what the handler returns for its request head: raw response bytes, or
// "never answer" (the connection is held open and silent until the server is destroyed, for
// time-out tests). Responses are sent as written, so a test controls status line, headers and body
// byte for byte. Destruction stops and joins every thread; the threads poll a stop flag in short
// select() waits so that a client that stops reading cannot keep the server alive.
//
// MakeSolidPng builds a valid PNG by hand (stored, uncompressed deflate blocks), so the decoder is
// tested against bytes that no GDI+ encoder produced.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tolvane::loopback {

inline constexpr unsigned char kTlsHandshakeRecord = 0x16;

struct CannedResponse {
  std::string bytes;
  bool neverAnswer = false;
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<CannedResponse(const std::string& requestHead)>;

  explicit LoopbackHttpServer(Handler handler);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool Listening() const { return port_ != 0; }
  uint16_t Port() const { return port_; }
  std::wstring BaseUrl() const;  // http://127.0.0.1:<port>, no trailing slash
  std::vector<std::string> RequestHeads();
  // The first bytes (up to 8) each connection sent. A connection that opens with a TLS handshake
  // record (kTlsHandshakeRecord) is closed at once, so a client speaking TLS fails quickly.
  std::vector<std::string> Openings();

  // A complete response with Content-Length and Connection: close.
  static CannedResponse Reply(int status, std::string_view reason, std::string_view body,
                              std::string_view contentType = "application/json");
  // The path of a request head's request line ("GET /a/b?c HTTP/1.1" gives "/a/b?c").
  static std::string PathOf(const std::string& requestHead);

 private:
  void AcceptLoop();
  void Serve(uintptr_t client);

  Handler handler_;
  uintptr_t listener_;
  uint16_t port_ = 0;
  bool winsockStarted_ = false;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable stopped_;
  std::vector<std::string> heads_;
  std::vector<std::string> openings_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

// A port on 127.0.0.1 that nothing listens on (bound once by the system's choice, then closed).
uint16_t ClosedLoopbackPort();

// A width x height PNG, 8-bit RGBA, every pixel the same straight (not premultiplied) colour.
std::string MakeSolidPng(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

}  // namespace tolvane::loopback
