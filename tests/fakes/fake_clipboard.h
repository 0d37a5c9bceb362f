// A clipboard in memory that can be told to stay busy (held by "another program") for a number
// of Open attempts, or to refuse the next Replace, so the retry and failure paths are testable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clipboard.h"

namespace tolvane {

class FakeClipboard final : public ClipboardService {
 public:
  bool Open(uintptr_t window) override {
    ++openCalls;
    lastWindow = window;
    if (busyOpens > 0) {
      --busyOpens;
      return false;
    }
    if (isOpen) return false;  // a second Open without Close is a caller bug; the OS refuses too
    isOpen = true;
    ++successfulOpens;
    return true;
  }
  void Close() override {
    ++closeCalls;
    isOpen = false;
  }
  bool Replace(std::wstring_view text) override {
    ++replaceCalls;
    if (!isOpen) return false;
    content.clear();  // EmptyClipboard happens before the allocation that may fail
    if (failReplace) return false;
    content.assign(text);
    return true;
  }
  std::wstring ReadText() override {
    ++readCalls;
    if (!isOpen) return {};
    return content;
  }

  std::wstring content;
  int busyOpens = 0;  // this many Open calls fail before one succeeds
  bool failReplace = false;
  bool isOpen = false;
  uintptr_t lastWindow = 0;
  int openCalls = 0;
  int successfulOpens = 0;
  int closeCalls = 0;
  int replaceCalls = 0;
  int readCalls = 0;
};

}  // namespace tolvane
