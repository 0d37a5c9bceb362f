// PerformLookup with the real pieces under Wine: the query goes through WinHTTP to a loopback
// geolocation server in this process, and a success builds its map from tiles that the same server
// serves as real PNG bytes, decoded by GDI+. The answer logic itself (every message, zoom choice,
// field reading) is covered on the host with a fake client; these tests are about what crosses the
// wire: the request line with the fields query, the headers, real status lines, a chunked UTF-8
// body, a closed port and a silent server. Only 127.0.0.1 is ever contacted.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "loopback_http_server.h"
#include "lookup/lookup_service.h"
#include "lookup/map_tiles.h"
#include "lookup/rate_limit.h"
#include "platform/http.h"
#include "platform/image_decoding.h"

namespace tolvane {
namespace {

using loopback::CannedResponse;
using loopback::LoopbackHttpServer;

// Raw UTF-8 (u8"" would be char8_t in C++20) next to JSON escapes, as a real service may mix them.
const std::string kAnswer =
    "{\"status\":\"success\",\"continent\":\"Europe\",\"country\":\"Switzerland\",\"countryCode\":\"CH\","
    "\"regionName\":\"Z\xC3\xBCrich\",\"city\":\"Z\\u00fcrich\",\"district\":\"Altstadt\",\"zip\":\"8001\","
    "\"lat\":47.3769,\"lon\":8.5417,\"timezone\":\"Europe/Zurich\",\"offset\":3600,\"currency\":\"CHF\","
    "\"isp\":\"Example \\\"Quoted\\\" ISP\",\"org\":\"Example Org\",\"as\":\"AS64496 Example\","
    "\"asname\":\"EXAMPLE-AS\",\"reverse\":\"host.example.net\",\"mobile\":true,\"proxy\":false,"
    "\"hosting\":true,\"query\":\"203.0.113.7\"}";

const std::string kFieldsQuery =
    "?fields=status,message,continent,country,countryCode,region,regionName,city,district,zip,lat,lon,"
    "timezone,offset,currency,isp,org,as,asname,reverse,mobile,proxy,hosting,query";

// The body in chunks of at most 100 bytes, so WinHTTP has to join them before the JSON reader sees it.
CannedResponse Chunked(const std::string& body) {
  std::string r =
      "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nTransfer-Encoding: chunked\r\n"
      "Connection: close\r\n\r\n";
  for (size_t at = 0; at < body.size(); at += 100) {
    const std::string piece = body.substr(at, 100);
    char size[16];
    const std::to_chars_result hex = std::to_chars(size, size + sizeof size, piece.size(), 16);
    r.append(size, hex.ptr);
    r += "\r\n" + piece + "\r\n";
  }
  r += "0\r\n\r\n";
  return {std::move(r), false};
}

CannedResponse TileOrNotFound(const std::string& path) {
  int zoom = 0, x = 0, y = 0;
  if (std::sscanf(path.c_str(), "/tiles/%d/%d/%d.png", &zoom, &x, &y) == 3) {
    return LoopbackHttpServer::Reply(200, "OK", loopback::MakeSolidPng(256, 256, 0x30, 0x60, 0x90, 0xFF), "image/png");
  }
  return LoopbackHttpServer::Reply(404, "Not Found", "no such page", "text/plain");
}

std::vector<std::string> PathsStartingWith(const std::vector<std::string>& heads, const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& head : heads) {
    const std::string path = LoopbackHttpServer::PathOf(head);
    if (path.rfind(prefix, 0) == 0) out.push_back(path);
  }
  return out;
}

struct LookupOverHttp : ::testing::Test {
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
  }
  void TearDown() override {
    if (token) Gdiplus::GdiplusShutdown(token);
  }

  // PerformLookup against apiBase with the real client and the real map builder, tiles from tileBase.
  LookupResult Lookup(const std::wstring& address, const std::wstring& apiBase, const std::wstring& tileBase,
                      std::vector<LookupResult>& published) {
    MapSources sources{*http, SystemImageDecoder(), tileBase};
    const MapBuilder buildMap = [&sources](double lat, double lon, int zoom, float& markerX, float& markerY) {
      return BuildMap(sources, lat, lon, zoom, markerX, markerY);
    };
    return PerformLookup(address, apiBase, *http, buildMap,
                         [&published](const LookupResult& r) { published.push_back(r); });
  }

  ULONG_PTR token = 0;
  std::unique_ptr<HttpClient> http = CreateSystemHttpClient(500);
};

TEST_F(LookupOverHttp, SuccessSendsTheFieldsQueryReadsTheChunkedAnswerAndBuildsTheMap) {
  LoopbackHttpServer server([](const std::string& head) {
    const std::string path = LoopbackHttpServer::PathOf(head);
    if (path.rfind("/json/", 0) == 0) return Chunked(kAnswer);
    return TileOrNotFound(path);
  });
  ASSERT_TRUE(server.Listening());
  ASSERT_NE(http, nullptr);
  std::vector<LookupResult> published;
  const LookupResult r = Lookup(L"203.0.113.7", server.BaseUrl(), server.BaseUrl() + L"/tiles", published);

  const std::vector<std::string> heads = server.RequestHeads();
  ASSERT_FALSE(heads.empty());
  const std::string& query = heads.front();  // the map is only asked for after the answer
  EXPECT_EQ(query.rfind("GET /json/203.0.113.7" + kFieldsQuery + " HTTP/1.1\r\n", 0), 0u) << query;
  EXPECT_NE(query.find("\r\nUser-Agent: Tolvane/1.1 (desktop IP inspector)\r\n"), std::string::npos) << query;
  EXPECT_NE(query.find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"), std::string::npos) << query;

  ASSERT_EQ(published.size(), 2u);
  EXPECT_EQ(published[0].state, LookupState::Done);
  EXPECT_EQ(published[0].mapState, MapState::Loading);
  EXPECT_EQ(published[0].map, nullptr);
  EXPECT_EQ(published[0].city, L"Z\u00FCrich");
  EXPECT_EQ(published[1].state, LookupState::Done);
  EXPECT_EQ(published[1].mapState, MapState::Ready);
  ASSERT_NE(published[1].map, nullptr);
  ASSERT_EQ(published[1].map->pixels.size(), static_cast<size_t>(MapImage::kSize) * MapImage::kSize);
  EXPECT_EQ(published[1].map->pixels[0], 0xFF306090u);  // opaque tile: premultiplied equals straight
  EXPECT_EQ(published[1].map->pixels.back(), 0xFF306090u);

  // A city means zoom 10: nine tiles of that zoom, and the marker where the tile math puts Zurich.
  const std::vector<std::string> tiles = PathsStartingWith(heads, "/tiles/");
  EXPECT_EQ(tiles.size(), 9u);
  for (const std::string& tile : tiles) EXPECT_EQ(tile.rfind("/tiles/10/", 0), 0u) << tile;
  const TileMath math = ComputeTiles(47.3769, 8.5417, 10);
  EXPECT_EQ(r.markerX, math.markerX);
  EXPECT_EQ(r.markerY, math.markerY);

  EXPECT_EQ(r.continent, L"Europe");
  EXPECT_EQ(r.country, L"Switzerland");
  EXPECT_EQ(r.countryCode, L"CH");
  EXPECT_EQ(r.regionName, L"Z\u00FCrich");  // raw UTF-8 bytes decoded
  EXPECT_EQ(r.city, L"Z\u00FCrich");        // \u escape decoded
  EXPECT_EQ(r.district, L"Altstadt");
  EXPECT_EQ(r.zip, L"8001");
  EXPECT_EQ(r.timezone, L"Europe/Zurich");
  EXPECT_EQ(r.currency, L"CHF");
  EXPECT_EQ(r.isp, L"Example \"Quoted\" ISP");
  EXPECT_EQ(r.org, L"Example Org");
  EXPECT_EQ(r.as, L"AS64496 Example");
  EXPECT_EQ(r.asname, L"EXAMPLE-AS");
  EXPECT_EQ(r.reverse, L"host.example.net");
  EXPECT_DOUBLE_EQ(r.lat, 47.3769);
  EXPECT_DOUBLE_EQ(r.lon, 8.5417);
  EXPECT_TRUE(r.mobile);
  EXPECT_FALSE(r.proxy);
  EXPECT_TRUE(r.hosting);
}

TEST_F(LookupOverHttp, Ipv6AddressGoesOntoTheWireUnescaped) {
  LoopbackHttpServer server([](const std::string&) {
    return LoopbackHttpServer::Reply(200, "OK", R"({"status":"fail","message":"private range"})");
  });
  ASSERT_TRUE(server.Listening());
  std::vector<LookupResult> published;
  const LookupResult r = Lookup(L"2001:db8::1", server.BaseUrl(), server.BaseUrl() + L"/tiles", published);
  const std::vector<std::string> heads = server.RequestHeads();
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(LoopbackHttpServer::PathOf(heads[0]), "/json/2001:db8::1" + kFieldsQuery);
  EXPECT_EQ(r.state, LookupState::Failed);
  EXPECT_EQ(r.message, L"private range");
}

TEST_F(LookupOverHttp, FailuresOverTheWirePublishOnceWithTheirMessage) {
  enum class Server { Answers, ClosedPort, Silent };
  struct Case {
    const char* name;
    Server server;
    CannedResponse response;
    std::wstring message;
  };
  const std::vector<Case> cases = {
      // The status line decides, even when the body claims success.
      {"429", Server::Answers,
       LoopbackHttpServer::Reply(429, "Too Many Requests", R"({"status":"success","city":"X"})"),
       L"Rate limit reached. Wait a minute and press Refresh."},
      {"503", Server::Answers, LoopbackHttpServer::Reply(503, "Service Unavailable", "maintenance", "text/plain"),
       L"Lookup server error (HTTP 503)."},
      {"404", Server::Answers, LoopbackHttpServer::Reply(404, "Not Found", "", "text/plain"),
       L"Lookup server error (HTTP 404)."},
      {"200 fail", Server::Answers,
       LoopbackHttpServer::Reply(200, "OK", "{\"status\":\"fail\",\"message\":\"invalid query \\u2013 try again\"}"),
       L"invalid query \u2013 try again"},
      {"closed port", Server::ClosedPort, LoopbackHttpServer::Reply(500, "Never Sent", "nothing connects"),
       L"Could not reach the lookup server. Check your internet connection or firewall."},
      {"silent", Server::Silent, CannedResponse{"held back", true},
       L"Could not reach the lookup server. Check your internet connection or firewall."},
  };
  ASSERT_NE(http, nullptr);
  for (const Case& c : cases) {
    LoopbackHttpServer server([&c](const std::string& head) {
      const std::string path = LoopbackHttpServer::PathOf(head);
      return path.rfind("/json/", 0) == 0 ? c.response : TileOrNotFound(path);
    });
    ASSERT_TRUE(server.Listening()) << c.name;
    std::wstring apiBase = server.BaseUrl();
    if (c.server == Server::ClosedPort) {
      const uint16_t closed = loopback::ClosedLoopbackPort();
      ASSERT_NE(closed, 0);
      apiBase = L"http://127.0.0.1:" + std::to_wstring(closed);
    }
    std::vector<LookupResult> published;
    const LookupResult r = Lookup(L"203.0.113.7", apiBase, server.BaseUrl() + L"/tiles", published);
    ASSERT_EQ(published.size(), 1u) << c.name;
    EXPECT_EQ(published[0].state, LookupState::Failed) << c.name;
    EXPECT_EQ(published[0].mapState, MapState::None) << c.name;
    EXPECT_EQ(published[0].message, c.message) << c.name;
    EXPECT_EQ(published[0].map, nullptr) << c.name;
    EXPECT_TRUE(r.city.empty()) << c.name;
    const std::vector<std::string> heads = server.RequestHeads();
    EXPECT_TRUE(PathsStartingWith(heads, "/tiles/").empty()) << c.name << ": no map for a failed lookup";
    EXPECT_EQ(heads.size(), c.server == Server::ClosedPort ? 0u : 1u) << c.name;
  }
}

// The service's "none left, wait 5 s" travels through WinHTTP's headers into the rate limit: the
// next lookup within those 5 s fails at once and never reaches the server.
TEST_F(LookupOverHttp, XRlZeroFromTheServerPausesTheNextLookup) {
  LoopbackHttpServer server([](const std::string&) {
    std::string body = R"({"status":"fail","message":"reserved range"})";
    return CannedResponse{
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nX-Rl: 0\r\nX-Ttl: 5\r\n"
        "Content-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
        false};
  });
  ASSERT_TRUE(server.Listening());
  ASSERT_NE(http, nullptr);
  FakeClock clock;
  LookupRateLimit limit(clock);
  auto lookup = [&] { return PerformLookup(L"203.0.113.7", server.BaseUrl(), *http, nullptr, nullptr, &limit); };
  EXPECT_EQ(lookup().message, L"reserved range");
  EXPECT_EQ(server.RequestHeads().size(), 1u);
  clock.Advance(4999);
  EXPECT_EQ(lookup().message, L"Rate limit reached. Wait a minute and press Refresh.");
  EXPECT_EQ(server.RequestHeads().size(), 1u);
  clock.Advance(1);
  EXPECT_EQ(lookup().message, L"reserved range");
  EXPECT_EQ(server.RequestHeads().size(), 2u);
}

}  // namespace
}  // namespace tolvane
