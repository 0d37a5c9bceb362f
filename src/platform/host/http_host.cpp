// The Linux host never runs the program, only its tests and benchmarks, and those must not reach
// the network: the host's system client therefore answers every request as "no answer" (false, 0).
// Tests that need answers use the fake client; the real client is tested in the Windows build.
#include "platform/http.h"

namespace tolvane {
namespace {

class NoNetworkHttpClient final : public HttpClient {
 public:
  using HttpClient::HttpGet;
  bool HttpGet(const std::wstring&, std::string& body, int32_t& status, HttpHeaders& headers) override {
    body.clear();
    status = 0;
    headers = HttpHeaders{};
    return false;
  }
};

}  // namespace

HttpClient& SystemHttpClient() {
  static NoNetworkHttpClient client;
  return client;
}

std::unique_ptr<HttpClient> CreateSystemHttpClient(int32_t) { return nullptr; }

}  // namespace tolvane
