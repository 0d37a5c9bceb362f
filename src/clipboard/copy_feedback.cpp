// Copy feedback: see copy_feedback.h.
#include "clipboard/copy_feedback.h"

#include "clipboard/clipboard_text.h"

namespace tolvane {

bool CopyFeedback::CopyWithFeedback(uintptr_t window, std::wstring_view text, std::wstring_view label) {
  if (text.empty()) return false;
  if (!SetClipboardText(window, text)) {
    toast_.Show(std::wstring(kClipboardBusyToast));
    return false;
  }
  RecordCopied(text);
  std::wstring message(label);
  message += L" copied: ";
  message += text;
  toast_.Show(std::move(message));
  return true;
}

bool CopyFeedback::SetClipboardText(uintptr_t window, std::wstring_view text) {
  return tolvane::SetClipboardText(clipboard_, clock_, window, text);
}

std::wstring CopyFeedback::GetClipboardText(uintptr_t window) {
  return tolvane::GetClipboardText(clipboard_, clock_, window);
}

void CopyFeedback::RecordCopied(std::wstring_view text) {
  lastCopiedText_.assign(text);
  lastCopiedAt_ = clock_.TickMs();
}

bool CopyFeedback::MarkerActive() {
  if (lastCopiedText_.empty()) return false;
  const uint64_t now = clock_.TickMs();
  return now >= lastCopiedAt_ && now - lastCopiedAt_ <= kMarkerMs;
}

bool CopyFeedback::ShowsCopied(std::wstring_view copyText) {
  return !copyText.empty() && copyText == lastCopiedText_ && MarkerActive();
}

std::wstring CopyFeedback::CopyButtonLabel(std::wstring_view normalLabel, std::wstring_view copyText) {
  return std::wstring(ShowsCopied(copyText) ? kCopiedLabel : normalLabel);
}

}  // namespace tolvane
