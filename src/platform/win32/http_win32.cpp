// HTTP GET over WinHTTP, synchronous, one session per call.
//
// Every call opens its own session, connection and request and closes them (innermost first, by
// the handle wrappers' destruction order) before it returns, so calls on many threads share
// nothing and a dead server can hold a thread only for the configured time-out per phase (resolve,
// connect, send, receive). The default proxy configuration is used as the system has it; no extra
// header is set. The body loop stops at kHttpBodyLimit rather than reading a hostile or broken
// server's endless body into memory.
//
// The one request option set is WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, to the same time-out: it
// bounds the wait for the response headers as a whole, which the per-packet receive time-out alone
// does not when headers trickle in. Wine (seen with 8.0) waits for the headers under that option
// alone, starting it at infinite and leaving it untouched by WinHttpSetTimeouts, so without it a
// server that accepts and never answers would hold the lookup worker, and the shutdown that joins
// it, for ever.
//
// Headers are read one name at a time with WinHttpQueryHeaders and its index, so a header the
// server repeats (Cache-Control often is) comes back whole, its values joined with ", ".
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "platform/http.h"

namespace tolvane {
namespace {

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() {
    if (handle_) WinHttpCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

// Every value of one response header, joined with ", "; empty when the header is absent or one of
// its values is longer than kHttpHeaderLimit. name is null for the standard headers that level names.
std::wstring ReadHeader(HINTERNET request, DWORD level, const wchar_t* name) {
  constexpr int kMaxRepeats = 16;
  std::wstring joined;
  DWORD index = 0;
  for (int n = 0; n < kMaxRepeats; ++n) {
    const DWORD asked = index;
    DWORD size = 0;
    if (WinHttpQueryHeaders(request, level, name ? name : WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                            &index) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      break;  // no (further) value of this name
    }
    if (size > (kHttpHeaderLimit + 1) * sizeof(wchar_t)) return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(request, level, name ? name : WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &bytes,
                             &index)) {
      break;
    }
    value.resize(bytes / sizeof(wchar_t));
    if (!joined.empty()) joined += L", ";
    joined += value;
    if (index == asked) break;  // a stack that does not advance the index would repeat the first value
  }
  return joined;
}

class WinHttpClient final : public HttpClient {
 public:
  explicit WinHttpClient(int32_t timeoutMs) : timeoutMs_(timeoutMs) {}

  using HttpClient::HttpGet;
  bool HttpGet(const std::wstring& url, std::string& body, int32_t& status, HttpHeaders& headers) override {
    body.clear();
    status = 0;
    headers = HttpHeaders{};

    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    wchar_t extra[2048] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = 2048;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
    std::wstring requestPath = std::wstring(path) + extra;
    if (requestPath.empty()) requestPath = L"/";
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    const InternetHandle session(WinHttpOpen(kHttpUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                             WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return false;
    WinHttpSetTimeouts(session.get(), timeoutMs_, timeoutMs_, timeoutMs_, timeoutMs_);
    const InternetHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) return false;
    const InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", requestPath.c_str(), nullptr,
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                    secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return false;
    DWORD headerWaitMs = static_cast<DWORD>(timeoutMs_);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerWaitMs, sizeof headerWaitMs);
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
      return false;
    }

    DWORD code = 0;
    DWORD codeSize = sizeof code;
    if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &code, &codeSize, WINHTTP_NO_HEADER_INDEX)) {
      status = static_cast<int32_t>(code);
    }
    headers.cacheControl = ReadHeader(request.get(), WINHTTP_QUERY_CACHE_CONTROL, nullptr);
    headers.expires = ReadHeader(request.get(), WINHTTP_QUERY_EXPIRES, nullptr);
    headers.rateLeft = ReadHeader(request.get(), WINHTTP_QUERY_CUSTOM, L"X-Rl");
    headers.rateReset = ReadHeader(request.get(), WINHTTP_QUERY_CUSTOM, L"X-Ttl");

    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request.get(), &available) || available == 0) break;
      const size_t before = body.size();
      if (available > kHttpBodyLimit - before) break;  // keep what came before the chunk that would pass the limit
      body.resize(before + available);
      DWORD read = 0;
      if (!WinHttpReadData(request.get(), body.data() + before, available, &read)) {
        body.resize(before);
        break;
      }
      body.resize(before + read);
    }
    return status == 200;
  }

 private:
  int32_t timeoutMs_;
};

}  // namespace

HttpClient& SystemHttpClient() {
  static WinHttpClient client(kHttpTimeoutMs);
  return client;
}

std::unique_ptr<HttpClient> CreateSystemHttpClient(int32_t timeoutMs) {
  return std::make_unique<WinHttpClient>(timeoutMs);
}

}  // namespace tolvane
