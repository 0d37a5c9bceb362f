// The window end of website resolution on Linux: resolver threads hand their answers to the main
// loop (an idle source on the default context, which any thread may add), and the main thread
// passes them to the lookup commands and tells the window.
//
// An answer owns its text until it is handled or dropped; GLib frees a queued one that never runs
// through the destroy notify, so nothing leaks. Once the window closes its poster (at shutdown,
// after the workers are joined) answers are dropped instead of handled, including those already
// queued, and none reaches a window that is gone.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "lookup/lookup_target.h"

namespace tolvane {

class MainLoopLookupPoster final : public LookupPoster {
 public:
  // handle(resolved, text) runs on the main thread for each answer while the poster is open.
  using Handler = std::function<void(bool resolved, const std::wstring& text)>;
  explicit MainLoopLookupPoster(Handler handle);
  void PostHostResolved(std::wstring hostBarIp) override;
  void PostHostNotFound(std::wstring host) override;
  // From now on answers are dropped. Main thread.
  void Close();

 private:
  struct Gate {
    std::mutex lock;
    bool closed = false;
    Handler handle;
  };
  void Post(bool resolved, std::wstring text);
  std::shared_ptr<Gate> gate_;
};

}  // namespace tolvane
