// Toast: the one transient message line of the window, visible for 2.4 s.
//
// A new message replaces the current one at once and starts a new 2.4 s. The stored text is kept
// whole; only the drawn text is cut to 80 characters. The time is the wall clock, which the user
// or a time service may set back: a toast then restarts its 2.4 s from the jump instead of staying
// on screen until the clock catches up. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace tolvane {

class Toast {
 public:
  static constexpr int64_t kVisibleNs = 2'400'000'000;
  static constexpr size_t kDrawnChars = 80;

  explicit Toast(Clock& clock) : clock_(clock) {}

  // ShowToast: text := text, shownAt := now (system clock, ns).
  void Show(std::wstring text);

  const std::wstring& text() const { return text_; }
  int64_t shownAt() const { return shownAt_; }
  // Grows with every Show, so the window notices a new toast even with the same text and time.
  uint64_t serial() const { return serial_; }

  // True while now - shownAt < 2.4 s and the text is not empty. Once that time has passed the
  // text is emptied (the first paint after it asks), so later calls stay false.
  bool Visible();

  // The text as drawn: at most 80 characters, a longer one as its first 77 and "...". The cut
  // never splits a UTF-16 surrogate pair.
  std::wstring DrawnText() const;

 private:
  Clock& clock_;
  std::wstring text_;
  int64_t shownAt_ = 0;
  uint64_t serial_ = 0;
};

}  // namespace tolvane
