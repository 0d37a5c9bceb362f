// A scripted raw-capture service. The test sets the adapter list, which addresses fail to open and
// with which error, and the datagrams waiting on each bound address; onCall runs at the start of
// every operation, so a test can look at the capture thread's status, change the script or clear
// appRunning from inside the loop. WaitReadable never blocks: with nothing queued it "times out" by
// advancing the attached FakeClock by the time-out (when one is attached) and returns waitResult.
//
// Not thread-safe: when the capture thread runs on a thread of its own, the test touches the fake
// only after joining it (onCall itself runs on the capture thread).
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "fakes/fake_clock.h"
#include "platform/raw_capture.h"

namespace tolvane {

class FakeRawCapture final : public RawCapture {
 public:
  enum class Call { Adapters, Open, Wait, Receive, Close };

  std::vector<CaptureAdapter> Adapters() override {
    Hook(Call::Adapters);
    ++adapterCalls;
    return adapters;
  }

  RawOpenResult Open(const Ipv4Bytes& address) override {
    Hook(Call::Open);
    openAttempts.push_back(address);
    RawOpenResult r;
    auto failing = openErrors.find(address);
    if (failing != openErrors.end()) {
      r.error = failing->second;
      return r;
    }
    r.ok = true;
    r.socket = nextSocket++;
    openSockets[r.socket] = address;
    return r;
  }

  int32_t WaitReadable(const std::vector<RawSocketHandle>& sockets, uint32_t timeoutMs,
                       std::vector<bool>& readable) override {
    Hook(Call::Wait);
    ++waitCalls;
    maxWaitSockets = std::max(maxWaitSockets, sockets.size());
    readable.assign(sockets.size(), false);
    int32_t count = 0;
    for (size_t i = 0; i < sockets.size(); ++i) {
      auto bound = openSockets.find(sockets[i]);
      if (bound == openSockets.end()) {
        ++waitOnClosedSocket;
        continue;
      }
      auto queue = datagrams.find(bound->second);
      if (queue != datagrams.end() && !queue->second.empty()) {
        readable[i] = true;
        ++count;
      }
    }
    if (count > 0) return count;
    if (clock != nullptr) clock->Advance(timeoutMs);
    return waitResult;
  }

  // An empty queued datagram stands for a failing recv.
  int32_t Receive(RawSocketHandle socket, uint8_t* buffer, size_t capacity) override {
    Hook(Call::Receive);
    ++receiveCalls;
    auto bound = openSockets.find(socket);
    if (bound == openSockets.end()) return -1;
    auto queue = datagrams.find(bound->second);
    if (queue == datagrams.end() || queue->second.empty()) return -1;
    std::vector<uint8_t> d = std::move(queue->second.front());
    queue->second.pop_front();
    if (d.empty()) return -1;
    const size_t n = std::min(d.size(), capacity);
    std::memcpy(buffer, d.data(), n);
    return static_cast<int32_t>(n);
  }

  void Close(RawSocketHandle socket) override {
    Hook(Call::Close);
    closed.push_back(socket);
    openSockets.erase(socket);
  }

  size_t QueuedDatagrams() const {
    size_t n = 0;
    for (const auto& kv : datagrams) n += kv.second.size();
    return n;
  }

  // Script.
  std::vector<CaptureAdapter> adapters;
  std::map<Ipv4Bytes, int32_t> openErrors;
  std::map<Ipv4Bytes, std::deque<std::vector<uint8_t>>> datagrams;
  int32_t waitResult = 0;      // what a wait with nothing queued returns: 0 time-out, -1 failure
  FakeClock* clock = nullptr;  // advanced by the time-out of a wait with nothing queued
  std::function<void(Call)> onCall;

  // What happened.
  int adapterCalls = 0;
  int waitCalls = 0;
  int receiveCalls = 0;
  int waitOnClosedSocket = 0;
  size_t maxWaitSockets = 0;
  std::vector<Ipv4Bytes> openAttempts;
  std::map<RawSocketHandle, Ipv4Bytes> openSockets;  // currently open
  std::vector<RawSocketHandle> closed;

 private:
  void Hook(Call c) {
    if (onCall) onCall(c);
  }
  RawSocketHandle nextSocket = 100;
};

}  // namespace tolvane
