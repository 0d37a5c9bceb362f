// A name resolver with a fixed table of answers; it counts and records every question so a test can
// check what was (and was not) sent to name resolution. Thread-safe: resolver threads call it.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/name_resolution.h"

namespace tolvane {

class FakeNameResolver final : public NameResolver {
 public:
  std::wstring ResolveIpv4(const std::wstring& host) override {
    std::lock_guard<std::mutex> guard(lock_);
    asked_.push_back(host);
    const auto it = answers_.find(host);
    return it != answers_.end() ? it->second : std::wstring();
  }

  void SetAnswer(const std::wstring& host, const std::wstring& ip) {
    std::lock_guard<std::mutex> guard(lock_);
    answers_[host] = ip;
  }

  std::vector<std::wstring> Asked() const {
    std::lock_guard<std::mutex> guard(lock_);
    return asked_;
  }

 private:
  mutable std::mutex lock_;
  std::map<std::wstring, std::wstring> answers_;
  std::vector<std::wstring> asked_;
};

}  // namespace tolvane
