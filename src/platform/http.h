// One blocking HTTP or HTTPS GET through the platform's HTTP stack (WinHTTP on Windows).
//
// Get fetches one absolute URL and hands back the raw body bytes and the status code. It is made
// only on worker threads (the lookup worker and the map's tile threads) and may be called from any
// number of them at once: each call opens its own session and closes it before returning, so no
// connection is reused. The pair (result, status) tells the outcomes apart:
//   (true, 200)      success;
//   (false, n != 0)  the server answered with status n, and body holds what it sent;
//   (false, 0)       no answer at all (bad URL, name resolution, connection, TLS or time-out).
// body is cleared and status set to 0 at the start of every call. A body is never longer than
// kHttpBodyLimit: the download stops at the first chunk that would pass it, and a 200 answer cut
// there still counts as a success. Every byte of body comes from the network and is untrusted.
//
// The four-argument form also hands back the few response headers the program acts on (caching of
// map tiles, the geolocation service's rate limit); they are cleared at the start like body, and
// hold a header's value only when the server sent one. Their text is untrusted as well.
//
// Cancel is for the program's end: it answers every later call (false, 0) without touching the
// network, and reaches the calls in flight where the platform's stack allows it. The caller must
// still not wait for those: a stack that cannot cancel lets them run to their time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tolvane {

inline constexpr size_t kHttpBodyLimit = 4194304;
inline constexpr int32_t kHttpTimeoutMs = 9000;
inline constexpr wchar_t kHttpUserAgent[] = L"Tolvane/1.1 (desktop IP inspector)";

// Response headers as the server sent them, without the name and the colon; a header sent several
// times has its values joined with ", " in the order received. Empty when absent.
struct HttpHeaders {
  std::wstring cacheControl;  // Cache-Control
  std::wstring expires;       // Expires
  std::wstring rateLeft;      // X-Rl: requests left in the service's current window
  std::wstring rateReset;     // X-Ttl: seconds until that window resets
};

// A single header value longer than this is dropped as if absent (no sane server sends one).
inline constexpr size_t kHttpHeaderLimit = 8192;

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual bool HttpGet(const std::wstring& url, std::string& body, int32_t& status, HttpHeaders& headers) = 0;
  // Ends the client's work for good; any thread, any number of times. A client that cannot cancel
  // keeps this default and lets its calls end by their time-outs.
  virtual void Cancel() {}
  // The same request for a caller that needs no headers.
  bool HttpGet(const std::wstring& url, std::string& body, int32_t& status) {
    HttpHeaders ignored;
    return HttpGet(url, body, status, ignored);
  }
};

// The process's client with the normal time-outs (kHttpTimeoutMs for each of resolve, connect,
// send and receive, and for the response headers as a whole). Safe to use from any thread. On the Linux host, which
// never runs the program, it answers every request with (false, 0) and touches no network.
HttpClient& SystemHttpClient();

// A client of the real HTTP stack, the same as the process's but with another time-out, for tests:
// a short one makes a silent server cost half a second, not nine. Null on the Linux host.
std::unique_ptr<HttpClient> CreateSystemHttpClient(int32_t timeoutMs);

}  // namespace tolvane
