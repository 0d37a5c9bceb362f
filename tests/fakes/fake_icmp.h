// A scripted ICMP service: answers from a table of address -> reply, counts handles and sends, and
// can run a test's hook inside a send (for example to queue a ping request while a cycle runs).
// Thread-safe: the ping service calls it from several workers at once.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/icmp.h"

namespace tolvane {

class FakeIcmp final : public Icmp {
 public:
  IcmpHandle Open() override {
    std::lock_guard<std::mutex> guard(lock);
    if (failOpen) return kNoIcmpHandle;
    ++opened;
    ++openNow;
    return nextHandle++;
  }

  void Close(IcmpHandle handle) override {
    std::lock_guard<std::mutex> guard(lock);
    if (handle == kNoIcmpHandle) return;
    ++closed;
    --openNow;
  }

  int32_t SendEcho(IcmpHandle handle, const Ipv4Bytes& address, uint32_t timeoutMs) override {
    std::function<void(size_t)> hook;
    size_t index;
    int32_t answer;
    {
      std::lock_guard<std::mutex> guard(lock);
      index = sent.size();
      sent.push_back({handle, address, timeoutMs});
      const auto it = replies.find(address);
      answer = it == replies.end() ? defaultReply : it->second;
      hook = onSend;
    }
    if (hook) hook(index);
    return answer;
  }

  struct Sent {
    IcmpHandle handle;
    Ipv4Bytes address;
    uint32_t timeoutMs;
  };

  std::vector<Sent> Sends() {
    std::lock_guard<std::mutex> guard(lock);
    return sent;
  }

  std::mutex lock;
  bool failOpen = false;                 // guarded by lock
  int32_t defaultReply = 20;             // guarded by lock
  std::map<Ipv4Bytes, int32_t> replies;  // guarded by lock
  std::function<void(size_t)> onSend;    // called outside the lock with the send's index
  std::vector<Sent> sent;                // guarded by lock
  IcmpHandle nextHandle = 100;           // guarded by lock
  int opened = 0, closed = 0, openNow = 0;
};

}  // namespace tolvane
