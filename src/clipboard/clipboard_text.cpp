// Retry policy over the clipboard primitives; see clipboard_text.h.
#include "clipboard/clipboard_text.h"

namespace tolvane {
namespace {

bool OpenWithRetry(ClipboardService& clipboard, Clock& clock, uintptr_t window) {
  for (int attempt = 0; attempt < kClipboardOpenAttempts; ++attempt) {
    if (clipboard.Open(window)) return true;
    clock.SleepMs(kClipboardRetryMs);
  }
  return false;
}

}  // namespace

bool SetClipboardText(ClipboardService& clipboard, Clock& clock, uintptr_t window, std::wstring_view text) {
  if (text.empty()) return false;
  if (!OpenWithRetry(clipboard, clock, window)) return false;
  const bool ok = clipboard.Replace(text);
  clipboard.Close();
  return ok;
}

std::wstring GetClipboardText(ClipboardService& clipboard, Clock& clock, uintptr_t window) {
  if (!OpenWithRetry(clipboard, clock, window)) return {};
  const std::wstring raw = clipboard.ReadText();
  clipboard.Close();
  return CleanPastedText(raw);
}

std::wstring CleanPastedText(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L'\t' || c == L'\n' || c == L'\r') {
      out.push_back(L' ');
    } else if (static_cast<uint32_t>(c) < 32) {
      continue;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace tolvane
