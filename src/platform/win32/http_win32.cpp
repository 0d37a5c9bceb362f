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
//
// Cancel: closing a request handle from another thread makes a call blocked on it return at once
// on Windows (ERROR_WINHTTP_OPERATION_CANCELLED). Wine 8 keeps the closed handle's socket until the
// blocked call lets go of it, so there the call still waits out its time-out; the program's end
// does not wait for it. A handle is closed by Cancel only while its thread is inside one blocking
// call (BlockingCalls), and that thread then leaves it alone; a handle between two calls is closed
// by its own thread, which sees the cancel before its next call. After Cancel no request is opened.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

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
  void Forget() { handle_ = nullptr; }  // someone else closed it

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

// The requests whose thread is blocked in a WinHTTP call, for Cancel.
class BlockingCalls {
 public:
  struct Call {
    HINTERNET request = nullptr;
    bool closed = false;  // by Cancel: the thread must neither use nor close the handle again
  };

  // Before a blocking call on call.request; false (make no call) once cancelled.
  bool Enter(Call& call) {
    std::lock_guard<std::mutex> guard(lock_);
    if (cancelled_) return false;
    calls_.push_back(&call);
    return true;
  }
  // After it; false when Cancel closed the handle meanwhile.
  bool Leave(Call& call) {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.erase(std::find(calls_.begin(), calls_.end(), &call));
    return !call.closed;
  }
  bool Cancelled() {
    std::lock_guard<std::mutex> guard(lock_);
    return cancelled_;
  }
  void CancelAll() {
    std::lock_guard<std::mutex> guard(lock_);
    cancelled_ = true;
    for (Call* call : calls_) {
      if (call->closed) continue;
      call->closed = true;
      WinHttpCloseHandle(call->request);
    }
  }

 private:
  std::mutex lock_;
  bool cancelled_ = false;
  std::vector<Call*> calls_;
};

class WinHttpClient final : public HttpClient {
 public:
  explicit WinHttpClient(int32_t timeoutMs) : timeoutMs_(timeoutMs) {}

  void Cancel() override { blocking_.CancelAll(); }

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

    if (blocking_.Cancelled()) return false;
    const InternetHandle session(WinHttpOpen(kHttpUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                             WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return false;
    WinHttpSetTimeouts(session.get(), timeoutMs_, timeoutMs_, timeoutMs_, timeoutMs_);
    const InternetHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) return false;
    InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", requestPath.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return false;
    DWORD headerWaitMs = static_cast<DWORD>(timeoutMs_);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerWaitMs, sizeof headerWaitMs);
    BlockingCalls::Call call{request.get()};
    const bool ok = Exchange(request.get(), call, body, status, headers);
    if (call.closed) request.Forget();
    return ok;
  }

 private:
  // Sends the request and reads the answer; every call that may wait on the network goes through
  // blocking_, and nothing touches the handle once Cancel closed it.
  bool Exchange(HINTERNET request, BlockingCalls::Call& call, std::string& body, int32_t& status,
                HttpHeaders& headers) {
    bool cancelled = false;
    const auto blocking = [&](auto&& wait) {
      cancelled = !blocking_.Enter(call);
      if (cancelled) return false;
      const bool done = wait();
      cancelled = !blocking_.Leave(call);
      return !cancelled && done;
    };
    if (!blocking([&] {
          return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                 WinHttpReceiveResponse(request, nullptr);
        })) {
      return false;
    }

    DWORD code = 0;
    DWORD codeSize = sizeof code;
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &code, &codeSize, WINHTTP_NO_HEADER_INDEX)) {
      status = static_cast<int32_t>(code);
    }
    headers.cacheControl = ReadHeader(request, WINHTTP_QUERY_CACHE_CONTROL, nullptr);
    headers.expires = ReadHeader(request, WINHTTP_QUERY_EXPIRES, nullptr);
    headers.rateLeft = ReadHeader(request, WINHTTP_QUERY_CUSTOM, L"X-Rl");
    headers.rateReset = ReadHeader(request, WINHTTP_QUERY_CUSTOM, L"X-Ttl");

    for (;;) {
      DWORD available = 0;
      if (!blocking([&] { return WinHttpQueryDataAvailable(request, &available) != FALSE; }) || available == 0) {
        break;
      }
      const size_t before = body.size();
      if (available > kHttpBodyLimit - before) break;  // keep what came before the chunk that would pass the limit
      body.resize(before + available);
      DWORD read = 0;
      if (!blocking([&] { return WinHttpReadData(request, body.data() + before, available, &read) != FALSE; })) {
        body.resize(before);
        break;
      }
      body.resize(before + read);
    }
    if (cancelled) {  // what came is not the whole answer
      body.clear();
      status = 0;
      return false;
    }
    return status == 200;
  }

  int32_t timeoutMs_;
  BlockingCalls blocking_;
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
