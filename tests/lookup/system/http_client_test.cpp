// The real HTTP client (WinHTTP on Windows, libcurl on Linux) against a loopback server in this
// process: statuses and bodies, the request it sends, the 4 MiB ceiling, a closed port, unusable URLs
// and a server that accepts and never answers. Only 127.0.0.1 is ever contacted.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_http_server.h"
#include "platform/http.h"

namespace tolvane {
namespace {

using loopback::CannedResponse;
using loopback::LoopbackHttpServer;

const std::string kJson = R"({"status":"success","country":"Germany","lat":50.1109})";

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
  return s;
}

CannedResponse Route(const std::string& head) {
  const std::string path = LoopbackHttpServer::PathOf(head);
  if (path == "/" || path.rfind("/json/", 0) == 0) return LoopbackHttpServer::Reply(200, "OK", kJson);
  if (path == "/missing") return LoopbackHttpServer::Reply(404, "Not Found", "no such thing", "text/plain");
  if (path == "/busy") return LoopbackHttpServer::Reply(429, "Too Many Requests", R"({"message":"slow down"})");
  if (path == "/down") return LoopbackHttpServer::Reply(503, "Service Unavailable", "maintenance", "text/plain");
  if (path == "/empty") return LoopbackHttpServer::Reply(200, "OK", "");
  if (path == "/exact") return LoopbackHttpServer::Reply(200, "OK", Pattern(kHttpBodyLimit), "text/plain");
  if (path == "/over") return LoopbackHttpServer::Reply(200, "OK", Pattern(kHttpBodyLimit + 1), "text/plain");
  if (path == "/huge") return LoopbackHttpServer::Reply(200, "OK", Pattern(5 * 1024 * 1024), "text/plain");
  if (path == "/huge404") return LoopbackHttpServer::Reply(404, "Not Found", Pattern(5 * 1024 * 1024), "text/plain");
  if (path.rfind("/n/", 0) == 0) return LoopbackHttpServer::Reply(200, "OK", "body of " + path, "text/plain");
  return LoopbackHttpServer::Reply(500, "Internal Server Error", "unrouted", "text/plain");
}

struct HttpClientTest : ::testing::Test {
  LoopbackHttpServer server{Route};
  std::unique_ptr<HttpClient> client = CreateSystemHttpClient(3000);
  std::wstring Url(const std::wstring& path) { return server.BaseUrl() + path; }
};

TEST_F(HttpClientTest, StatusAndBodyForEachKindOfAnswer) {
  ASSERT_TRUE(server.Listening());
  ASSERT_NE(client, nullptr);
  struct Case {
    std::wstring path;
    bool result;
    int32_t status;
    std::string body;
  };
  const Case cases[] = {
      {L"/json/203.0.113.7?fields=status,lat", true, 200, kJson},
      {L"/missing", false, 404, "no such thing"},
      {L"/busy", false, 429, R"({"message":"slow down"})"},
      {L"/down", false, 503, "maintenance"},
      {L"/empty", true, 200, ""},
      {L"/exact", true, 200, Pattern(kHttpBodyLimit)},
  };
  for (const Case& c : cases) {
    std::string body = "left over";
    int32_t status = -5;
    EXPECT_EQ(client->HttpGet(Url(c.path), body, status), c.result);
    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(body == c.body) << "body of " << body.size() << " bytes, expected " << c.body.size();
  }
}

// A response with a status line and raw header lines, an empty body.
CannedResponse WithHeaders(const std::string& statusLine, const std::string& headerLines) {
  return {"HTTP/1.1 " + statusLine + "\r\n" + headerLines + "Content-Length: 0\r\nConnection: close\r\n\r\n", false};
}

// The headers the program acts on come back as sent, names in any case, repeated ones joined; a
// header that was not sent is empty, and the next call starts from empty headers.
TEST(HttpClientHeaders, CacheAndRateLimitHeadersAsSent) {
  struct Case {
    std::string statusLine, headerLines;
    HttpHeaders expected;
  };
  const std::vector<Case> cases = {
      {"200 OK",
       "Cache-Control: max-age=86400, stale-while-revalidate=604800\r\nExpires: Sun, 06 Nov 1994 08:49:37 GMT\r\n",
       {L"max-age=86400, stale-while-revalidate=604800", L"Sun, 06 Nov 1994 08:49:37 GMT", L"", L""}},
      {"200 OK", "X-Rl: 44\r\nX-Ttl: 60\r\n", {L"", L"", L"44", L"60"}},
      {"429 Too Many Requests", "x-rl: 0\r\nx-ttl: 17\r\n", {L"", L"", L"0", L"17"}},
      {"200 OK", "Cache-Control: public\r\nCache-Control: max-age=5\r\n", {L"public, max-age=5", L"", L"", L""}},
      {"200 OK", "Content-Type: image/png\r\n", {}},
  };
  for (const Case& c : cases) {
    LoopbackHttpServer server([&c](const std::string&) { return WithHeaders(c.statusLine, c.headerLines); });
    ASSERT_TRUE(server.Listening());
    const std::unique_ptr<HttpClient> client = CreateSystemHttpClient(3000);
    std::string body;
    int32_t status = 0;
    HttpHeaders headers{L"stale", L"stale", L"stale", L"stale"};
    client->HttpGet(server.BaseUrl() + L"/tile.png", body, status, headers);
    EXPECT_EQ(status, c.statusLine[0] == '2' ? 200 : 429) << c.headerLines;
    EXPECT_EQ(headers.cacheControl, c.expected.cacheControl) << c.headerLines;
    EXPECT_EQ(headers.expires, c.expected.expires) << c.headerLines;
    EXPECT_EQ(headers.rateLeft, c.expected.rateLeft) << c.headerLines;
    EXPECT_EQ(headers.rateReset, c.expected.rateReset) << c.headerLines;
  }
  // No answer at all: every header empty.
  const uint16_t closed = loopback::ClosedLoopbackPort();
  ASSERT_NE(closed, 0);
  std::string body;
  int32_t status = 0;
  HttpHeaders headers{L"stale", L"stale", L"stale", L"stale"};
  EXPECT_FALSE(CreateSystemHttpClient(3000)->HttpGet(L"http://127.0.0.1:" + std::to_wstring(closed) + L"/", body,
                                                     status, headers));
  EXPECT_TRUE(headers.cacheControl.empty() && headers.expires.empty() && headers.rateLeft.empty() &&
              headers.rateReset.empty());
}

// The scheme decides the protocol on the wire: an https URL opens with a TLS handshake record
// (the secure flag; the server then hangs up, so the call fails with no answer), an http URL with
// the plain request line.
TEST_F(HttpClientTest, HttpsSpeaksTlsAndHttpPlainText) {
  ASSERT_TRUE(server.Listening());
  const std::wstring port = std::to_wstring(server.Port());
  struct Case {
    std::wstring url;
    bool tls;
  };
  const Case cases[] = {
      {L"https://127.0.0.1:" + port + L"/json/1.2.3.4", true},
      {L"HTTPS://127.0.0.1:" + port + L"/", true},
      {L"http://127.0.0.1:" + port + L"/json/1.2.3.4", false},
  };
  for (const Case& c : cases) {
    const size_t before = server.Openings().size();
    std::string body = "left over";
    int32_t status = -5;
    const bool result = client->HttpGet(c.url, body, status);
    const std::vector<std::string> openings = server.Openings();
    ASSERT_GT(openings.size(), before);
    const std::string& first = openings[before];
    ASSERT_FALSE(first.empty());
    if (c.tls) {
      EXPECT_EQ(static_cast<unsigned char>(first[0]), loopback::kTlsHandshakeRecord);
      EXPECT_FALSE(result);
      EXPECT_EQ(status, 0);
      EXPECT_TRUE(body.empty());
    } else {
      EXPECT_EQ(first.substr(0, 4), "GET ");
      EXPECT_TRUE(result);
      EXPECT_EQ(status, 200);
    }
  }
}

TEST_F(HttpClientTest, SendsPathQueryAndUserAgent) {
  ASSERT_TRUE(server.Listening());
  struct Case {
    std::wstring url;
    std::string requestLine;
  };
  const Case cases[] = {
      {server.BaseUrl(), "GET / HTTP/1.1\r\n"},
      {server.BaseUrl() + L"/", "GET / HTTP/1.1\r\n"},
      {server.BaseUrl() + L"/json/2001:db8::1?fields=status,message", "GET /json/2001:db8::1?fields=status,message "},
  };
  for (const Case& c : cases) {
    std::string body;
    int32_t status = 0;
    EXPECT_TRUE(client->HttpGet(c.url, body, status));
    EXPECT_EQ(body, kJson);
    const std::vector<std::string> heads = server.RequestHeads();
    ASSERT_FALSE(heads.empty());
    EXPECT_EQ(heads.back().rfind(c.requestLine, 0), 0u) << heads.back();
    EXPECT_NE(heads.back().find("\r\nUser-Agent: Tolvane/1.1 (desktop IP inspector)\r\n"), std::string::npos)
        << heads.back();
  }
}

TEST_F(HttpClientTest, BodyStopsBeforeTheChunkThatWouldPassFourMebibytes) {
  ASSERT_TRUE(server.Listening());
  for (const std::wstring path : {L"/over", L"/huge"}) {
    const std::string full = path == L"/over" ? Pattern(kHttpBodyLimit + 1) : Pattern(5 * 1024 * 1024);
    std::string body;
    int32_t status = 0;
    EXPECT_TRUE(client->HttpGet(Url(path), body, status));  // still a success, with the shorter body
    EXPECT_EQ(status, 200);
    EXPECT_LE(body.size(), kHttpBodyLimit);
    EXPECT_LT(body.size(), full.size());
    EXPECT_GT(body.size(), kHttpBodyLimit - 1024 * 1024);  // cut near the ceiling, not at the first chunk
    EXPECT_TRUE(full.compare(0, body.size(), body) == 0) << "body is not the start of what was sent";
  }
  std::string body;
  int32_t status = 0;
  EXPECT_FALSE(client->HttpGet(Url(L"/huge404"), body, status));
  EXPECT_EQ(status, 404);
  EXPECT_LE(body.size(), kHttpBodyLimit);
}

TEST_F(HttpClientTest, NoAnswerGivesStatusZeroAndEmptyBody) {
  ASSERT_TRUE(server.Listening());
  const uint16_t closed = loopback::ClosedLoopbackPort();
  ASSERT_NE(closed, 0);
  const std::wstring cases[] = {
      L"http://127.0.0.1:" + std::to_wstring(closed) + L"/json/1.1.1.1",
      L"not a url",
      L"",
      L"ftp://127.0.0.1/file",
      L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/" + std::wstring(2100, L'a'),  // path too long
  };
  for (const std::wstring& url : cases) {
    std::string body = "left over";
    int32_t status = 99;
    EXPECT_FALSE(client->HttpGet(url, body, status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(body.empty());
  }
}

// One call on its own thread, so that a call that never returns fails the test after a bounded wait
// instead of hanging it. The thread owns everything it touches and is left behind in that case.
struct TimedCall {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  bool result = true;
  int32_t status = -1;
  std::string body = "left over";
  std::chrono::milliseconds elapsed{0};
};

std::shared_ptr<TimedCall> StartTimedCall(std::shared_ptr<HttpClient> client, std::wstring url) {
  auto call = std::make_shared<TimedCall>();
  std::thread([call, client, url] {
    std::string body = "left over";
    int32_t status = -1;
    const auto start = std::chrono::steady_clock::now();
    const bool result = client->HttpGet(url, body, status);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::lock_guard<std::mutex> guard(call->lock);
    call->result = result;
    call->status = status;
    call->body = std::move(body);
    call->elapsed = elapsed;
    call->finished = true;
    call->done.notify_all();
  }).detach();
  return call;
}

TEST(HttpClientTimeoutTest, SilentServerTimesOutWithStatusZeroAfterTheClientsTimeout) {
  LoopbackHttpServer silent([](const std::string&) { return CannedResponse{"", true}; });
  ASSERT_TRUE(silent.Listening());
  for (const int32_t timeoutMs : {500, 1500}) {
    const std::shared_ptr<HttpClient> client = CreateSystemHttpClient(timeoutMs);
    ASSERT_NE(client, nullptr);
    const size_t headsBefore = silent.RequestHeads().size();
    const std::shared_ptr<TimedCall> call = StartTimedCall(client, silent.BaseUrl() + L"/json/203.0.113.7");
    std::unique_lock<std::mutex> lock(call->lock);
    ASSERT_TRUE(call->done.wait_for(lock, std::chrono::seconds(20), [&] { return call->finished; }))
        << "Get with a " << timeoutMs << " ms time-out did not return from a silent server within 20 s";
    EXPECT_FALSE(call->result);
    EXPECT_EQ(call->status, 0);
    EXPECT_TRUE(call->body.empty());
    // The request reached the server, so the call waited for the answer rather than failing early,
    // and it gave up after about its own time-out, well before the program's nine seconds.
    EXPECT_EQ(silent.RequestHeads().size(), headsBefore + 1);
    EXPECT_GE(call->elapsed.count(), timeoutMs * 8 / 10) << timeoutMs;
    EXPECT_LT(call->elapsed.count(), timeoutMs + 3000) << timeoutMs;
  }
}

TEST_F(HttpClientTest, ParallelCallsShareNothing) {
  ASSERT_TRUE(server.Listening());
  constexpr int kCalls = 9;
  std::vector<std::string> bodies(kCalls);
  std::vector<int32_t> statuses(kCalls, 0);
  std::vector<char> results(kCalls, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < kCalls; ++i) {
    threads.emplace_back(
        [&, i] { results[i] = client->HttpGet(Url(L"/n/" + std::to_wstring(i)), bodies[i], statuses[i]) ? 1 : 0; });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kCalls; ++i) {
    EXPECT_EQ(results[i], 1);
    EXPECT_EQ(statuses[i], 200);
    EXPECT_EQ(bodies[i], "body of /n/" + std::to_string(i));
  }
}

}  // namespace
}  // namespace tolvane
