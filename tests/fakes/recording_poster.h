// A lookup poster that records what resolver threads post, so a test can wait for an answer
// instead of sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "lookup/lookup_target.h"

namespace tolvane {

class RecordingPoster final : public LookupPoster {
 public:
  void PostHostResolved(std::wstring hostBarIp) override { Add(L"resolved:" + hostBarIp); }
  void PostHostNotFound(std::wstring host) override { Add(L"notfound:" + host); }

  std::vector<std::wstring> WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(lock_);
    cv_.wait_for(lock, std::chrono::seconds(30), [&] { return posts_.size() >= count; });
    return posts_;
  }
  std::vector<std::wstring> Posts() {
    std::lock_guard<std::mutex> guard(lock_);
    return posts_;
  }

 private:
  void Add(std::wstring s) {
    std::lock_guard<std::mutex> guard(lock_);
    posts_.push_back(std::move(s));
    cv_.notify_all();
  }
  std::mutex lock_;
  std::condition_variable cv_;
  std::vector<std::wstring> posts_;
};

}  // namespace tolvane
