// The system clipboard, as four primitives over Unicode text.
//
// The primitives map one to one onto the operating system's calls, so that the retry policy and
// the cleaning of pasted text stay portable (src/clipboard/clipboard_text.h) and are tested with a
// fake. The window is an opaque handle value (an HWND on Windows; 0 means "no window"). Open must
// succeed before Replace or ReadText, and every successful Open is paired with one Close. Another
// program may hold the clipboard open at any moment; Open then simply fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

class ClipboardService {
 public:
  virtual ~ClipboardService() = default;
  // OpenClipboard(window): false while another window holds the clipboard.
  virtual bool Open(uintptr_t window) = 0;
  virtual void Close() = 0;
  // EmptyClipboard, then the text and a terminating zero as CF_UNICODETEXT. False when the
  // memory cannot be allocated or locked or the system refuses it; the memory is freed then.
  virtual bool Replace(std::wstring_view text) = 0;
  // The CF_UNICODETEXT content up to its terminating zero; empty when there is none.
  virtual std::wstring ReadText() = 0;
};

// The real clipboard. Exists only in the Windows build; main thread only.
ClipboardService& SystemClipboard();

}  // namespace tolvane
