// HTTP GET through libcurl on Linux, with the Windows client's behaviour: one easy handle per call
// (nothing shared between calls or threads), the system's certificate store for HTTPS, the same user
// agent and no other added header ("Accept" removed), the body as sent (no content decoding),
// redirects followed as WinHTTP does by default (at most 10, never from https to http), and the
// 4 MiB ceiling that keeps what came before the chunk that would pass it.
//
// Time-outs as WinHTTP's: resolve and connect (TLS included) within the time-out, the response
// headers as a whole within the time-out after the request is sent, and no pause longer than the
// time-out between parts of the body. libcurl bounds the first; the other two are kept by driving
// the transfer through a multi handle in short polls, since libcurl's own low-speed limit counts
// whole seconds. URLs are held to WinHTTP's limits (host 255, path 2047, query and fragment 2047
// characters) and to the schemes http and https, so the same URL fails the same way on both.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/http.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

using Steady = std::chrono::steady_clock;

constexpr long kMaxRedirects = 10;
constexpr int kPollMs = 50;

void StartCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct UrlParts {
  CURLU* url = nullptr;
  ~UrlParts() {
    if (url) curl_url_cleanup(url);
  }
  size_t Length(CURLUPart part) const {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) return 0;
    const size_t n = std::strlen(text);
    curl_free(text);
    return n;
  }
};

// The lower-case scheme when url is an http or https URL within WinHTTP's limits; empty otherwise.
std::string CheckedScheme(UrlParts& parts, const std::string& url) {
  parts.url = curl_url();
  if (parts.url == nullptr || curl_url_set(parts.url, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  char* scheme = nullptr;
  if (curl_url_get(parts.url, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK || scheme == nullptr) return {};
  std::string s = scheme;
  curl_free(scheme);
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  const size_t extra = parts.Length(CURLUPART_QUERY) + parts.Length(CURLUPART_FRAGMENT);  // without "?" and "#"
  if ((s != "http" && s != "https") || parts.Length(CURLUPART_HOST) > 255 || parts.Length(CURLUPART_PATH) > 2047 ||
      extra > 2045) {
    return {};
  }
  return s;
}

// One call's state, shared with libcurl's callbacks.
struct Transfer {
  explicit Transfer(std::string& into) : body(into) {}
  std::string& body;
  HttpHeaders headers;
  bool headerTooLong[4] = {};
  bool bodyFull = false;
  bool responseStarted = false;  // a status line of the current request arrived
  bool headersDone = false;      // the final (not 1xx) response's headers are complete
  bool interim = false;          // the headers being read are a 1xx response's
  Steady::time_point requestSent{};
  Steady::time_point lastData{};

  void StartResponse(std::string_view statusLine) {
    headers = HttpHeaders{};
    std::fill(std::begin(headerTooLong), std::end(headerTooLong), false);
    responseStarted = true;
    interim = statusLine.size() > 9 && statusLine[9] == '1';  // "HTTP/1.1 1xx"
  }

  void AddHeader(std::string_view line) {
    static constexpr std::string_view kNames[4] = {"cache-control", "expires", "x-rl", "x-ttl"};
    std::wstring* const fields[4] = {&headers.cacheControl, &headers.expires, &headers.rateLeft, &headers.rateReset};
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = line.substr(0, colon);
    for (size_t i = 0; i < 4; ++i) {
      if (name.size() != kNames[i].size()) continue;
      bool same = true;
      for (size_t k = 0; k < name.size() && same; ++k) {
        const char c = name[k] >= 'A' && name[k] <= 'Z' ? static_cast<char>(name[k] - 'A' + 'a') : name[k];
        same = c == kNames[i][k];
      }
      if (!same) continue;
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
      if (value.size() > kHttpHeaderLimit) headerTooLong[i] = true;
      if (headerTooLong[i]) {
        fields[i]->clear();
        return;
      }
      if (!fields[i]->empty()) *fields[i] += L", ";
      *fields[i] += Utf8ToWide(value);
      return;
    }
  }
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Transfer& t = *static_cast<Transfer*>(user);
  std::string_view line(data, size * count);
  t.lastData = Steady::now();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    t.StartResponse(line);
  } else if (line.empty()) {
    if (t.responseStarted && !t.interim) t.headersDone = true;
  } else {
    t.AddHeader(line);
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Transfer& t = *static_cast<Transfer*>(user);
  const size_t n = size * count;
  t.lastData = Steady::now();
  if (n > kHttpBodyLimit - t.body.size()) {
    t.bodyFull = true;
    return 0;  // ends the transfer; the body so far is kept
  }
  t.body.append(data, n);
  return n;
}

// Called for every request of the call (the first and each redirect's), just before it is sent.
int OnRequest(void* user, char*, char*, int, int) {
  Transfer& t = *static_cast<Transfer*>(user);
  t.requestSent = t.lastData = Steady::now();
  t.responseStarted = t.headersDone = false;
  return CURL_PREREQFUNC_OK;
}

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(int32_t timeoutMs) : timeout_(timeoutMs) { StartCurl(); }

  using HttpClient::HttpGet;
  bool HttpGet(const std::wstring& url, std::string& body, int32_t& status, HttpHeaders& headers) override {
    body.clear();
    status = 0;
    headers = HttpHeaders{};
    UrlParts parts;
    const std::string scheme = CheckedScheme(parts, WideToUtf8(url));
    if (scheme.empty()) return false;

    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* noAccept = curl_slist_append(nullptr, "Accept:");
    Transfer t(body);
    bool answered = false;
    if (easy != nullptr && multi != nullptr && noAccept != nullptr) {
      static const std::string agent = WideToUtf8(kHttpUserAgent);
      curl_easy_setopt(easy, CURLOPT_CURLU, parts.url);
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
      curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, scheme == "https" ? "https" : "http,https");
      curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
      curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
      curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, noAccept);
      curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout_.count()));
      curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
      curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
      curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnRequest);
      curl_easy_setopt(easy, CURLOPT_PREREQDATA, &t);
      curl_multi_add_handle(multi, easy);
      Drive(multi, t);
      long code = 0;
      if (t.headersDone && curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK) {
        status = static_cast<int32_t>(code);
        headers = t.headers;
        answered = true;
      }
      curl_multi_remove_handle(multi, easy);
    }
    curl_slist_free_all(noAccept);
    if (multi != nullptr) curl_multi_cleanup(multi);
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (!answered) body.clear();  // a failure before the answer's headers leaves nothing
    return answered && status == 200;
  }

 private:
  // Runs the transfer until libcurl ends it or one of the two waits that libcurl does not bound
  // passes the time-out.
  void Drive(CURLM* multi, const Transfer& t) {
    int running = 1;
    while (running > 0) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) return;
      if (running == 0) return;
      const Steady::time_point now = Steady::now();
      const bool waitingForHeaders = t.requestSent != Steady::time_point{} && !t.headersDone;
      if (waitingForHeaders && now - t.requestSent > timeout_) return;
      if (t.headersDone && now - t.lastData > timeout_) return;
      curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
  }

  std::chrono::milliseconds timeout_;
};

}  // namespace

HttpClient& SystemHttpClient() {
  static CurlHttpClient client(kHttpTimeoutMs);
  return client;
}

std::unique_ptr<HttpClient> CreateSystemHttpClient(int32_t timeoutMs) {
  return std::make_unique<CurlHttpClient>(timeoutMs);
}

}  // namespace tolvane
