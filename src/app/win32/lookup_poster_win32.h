// The window end of website resolution: resolver threads post their answers to the main window as
// WM_HOST_RESOLVED / WM_HOST_NOT_FOUND with a heap-allocated wide string in lParam, and the window
// procedure takes the string back, hands it to the lookup commands and frees it.
//
// Ownership of the string travels with the message. The poster frees it itself when PostMessageW
// fails (the window is gone, or its queue is full); the receiver frees what it takes; and the window,
// when it is destroyed, closes its poster after joining its workers and then frees whatever is
// still queued for it, since the system drops such messages without a word. Answers that come
// during the (slow) joins are thus freed too, and none can be posted after the last drain.
// OutstandingPostedTexts counts the strings alive between allocation and freeing, so tests can see
// that every path frees.
//
// Caveat: the poster keeps a plain window handle. A resolver thread with a poster that was never
// closed, outliving the window, posts to a dead handle and the post fails; a handle reused by a new window of another
// program in the meantime would receive the message instead, which its window procedure ignores (its message numbers
// above WM_APP are its own) while the string leaks — an accepted, unlikely cost.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "lookup/lookup_target.h"

namespace tolvane {

inline constexpr UINT WM_HOST_RESOLVED = WM_APP + 1;   // lParam: host + "|" + IPv4 text
inline constexpr UINT WM_HOST_NOT_FOUND = WM_APP + 2;  // lParam: the host as submitted

class WindowLookupPoster final : public LookupPoster {
 public:
  explicit WindowLookupPoster(HWND window) : window_(window), gate_(std::make_shared<Gate>()) {}
  void PostHostResolved(std::wstring hostBarIp) override;
  void PostHostNotFound(std::wstring host) override;

  // The window is going away: from now on answers are dropped (their text never reaches the heap)
  // instead of posted, so nothing can arrive after the window's last drain of its queue. Copies of
  // the poster share the closing.
  void Close();

 private:
  struct Gate {
    std::mutex lock;  // held across each post, so Close waits for a post in progress
    bool closed = false;
  };
  HWND window_;
  std::shared_ptr<Gate> gate_;
};

// Posts message to window with a heap copy of text in lParam (wParam 0); false, with the copy
// already freed, when the post fails. Any thread.
bool PostTextMessage(HWND window, UINT message, std::wstring text);

// Takes the string of a posted message and frees its heap copy; nothing for a null lParam.
std::optional<std::wstring> TakePostedText(LPARAM lParam);

// Removes every resolver message still queued for window and frees its string. Call while the
// window is being destroyed, on its own thread.
void DrainPostedTexts(HWND window);

// Strings posted and not yet freed, process-wide.
int64_t OutstandingPostedTexts();

}  // namespace tolvane
