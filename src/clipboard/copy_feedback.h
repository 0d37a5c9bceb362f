// CopyFeedback: the clipboard, the toast and the copied marker that every copy goes through.
//
// The window owns one instance (main thread only). A successful copy records its text and tick as
// the copied marker, which makes the button whose own copy text equals it read "Copied ✓" for
// 1.6 s, and shows a toast "<label> copied: <text>". A failed copy shows a toast that names the
// usual cause; nothing is retried later.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "clipboard/toast.h"
#include "platform/clipboard.h"
#include "platform/clock.h"

namespace tolvane {

inline constexpr std::wstring_view kClipboardBusyToast = L"Could not access the clipboard (another app is using it)";
inline constexpr std::wstring_view kCopiedLabel = L"Copied \u2713";

class CopyFeedback {
 public:
  static constexpr uint64_t kMarkerMs = 1599;

  CopyFeedback(ClipboardService& clipboard, Clock& clock) : clipboard_(clipboard), clock_(clock), toast_(clock) {}

  // Nothing for an empty text. Returns whether the clipboard took the text.
  bool CopyWithFeedback(uintptr_t window, std::wstring_view text, std::wstring_view label);

  // The clipboard primitives with their retry, without feedback.
  bool SetClipboardText(uintptr_t window, std::wstring_view text);
  std::wstring GetClipboardText(uintptr_t window);

  void ShowToast(std::wstring text) { toast_.Show(std::move(text)); }
  Toast& toast() { return toast_; }

  // Marks text as just copied (also used by "Copy all", which shows its own toast).
  void RecordCopied(std::wstring_view text);
  const std::wstring& lastCopiedText() const { return lastCopiedText_; }
  uint64_t lastCopiedAt() const { return lastCopiedAt_; }

  // True while the button whose copy text is copyText should read "Copied ✓".
  bool ShowsCopied(std::wstring_view copyText);
  // True while any button may read "Copied ✓": the window keeps repainting until it turns false.
  bool MarkerActive();
  // normalLabel, or "Copied ✓" while ShowsCopied(copyText).
  std::wstring CopyButtonLabel(std::wstring_view normalLabel, std::wstring_view copyText);

 private:
  ClipboardService& clipboard_;
  Clock& clock_;
  Toast toast_;
  std::wstring lastCopiedText_;
  uint64_t lastCopiedAt_ = 0;
};

}  // namespace tolvane
