// An HTTP client that answers from a table of canned responses and records every URL asked for.
//
// Get keeps the real client's contract: body cleared and status 0 first, true exactly for status 200,
// status 0 meaning "no answer". A URL missing from the table gets the fallback answer (by default a
// 404 with a short body). Each answer may carry response headers. Safe to call from several threads at once, as the
// map's tile threads do.
// Hang(true) makes a request without an answer of its own block until Hang(false), or until Cancel()
// when cancelEnds (as on Windows; under Wine it waits on). After Cancel() new requests fail at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http.h"

namespace tolvane {

class FakeHttpClient final : public HttpClient {
 public:
  struct Response {
    int32_t status = 0;  // 0: no answer at all
    std::string body;
    HttpHeaders headers;
  };

  using HttpClient::HttpGet;
  bool HttpGet(const std::wstring& url, std::string& body, int32_t& status, HttpHeaders& headers) override {
    body.clear();
    status = 0;
    headers = HttpHeaders{};
    std::unique_lock<std::mutex> lock(mutex_);
    if (cancelled_) return false;
    requests_.push_back(url);
    changed_.notify_all();
    if (hang_ && responses_.count(url) == 0) changed_.wait(lock, [&] { return !hang_ || (cancelled_ && cancelEnds_); });
    if (cancelled_) return false;
    const auto it = responses_.find(url);
    const Response& r = it != responses_.end() ? it->second : fallback_;
    status = r.status;
    if (r.status != 0) {
      body = r.body;
      headers = r.headers;
    }
    return r.status == 200;
  }

  void Answer(const std::wstring& url, int32_t status, std::string body, HttpHeaders headers = {}) {
    std::lock_guard<std::mutex> lock(mutex_);
    responses_[url] = Response{status, std::move(body), std::move(headers)};
  }
  void Hang(bool on, bool cancelEnds = false) {
    std::lock_guard<std::mutex> lock(mutex_);
    hang_ = on;
    cancelEnds_ = cancelEnds;
    changed_.notify_all();
  }
  void Cancel() override {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
  }
  bool WaitForRequests(size_t n) {  // at most 5 s
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= n; });
  }
  void AnswerOthers(int32_t status, std::string body, HttpHeaders headers = {}) {
    std::lock_guard<std::mutex> lock(mutex_);
    fallback_ = Response{status, std::move(body), std::move(headers)};
  }
  void ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
  }
  std::vector<std::wstring> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  std::mutex mutex_;
  std::map<std::wstring, Response> responses_;
  Response fallback_{404, "Not Found", {}};
  std::vector<std::wstring> requests_;
  std::condition_variable changed_;
  bool hang_ = false, cancelEnds_ = false, cancelled_ = false;
};

}  // namespace tolvane
