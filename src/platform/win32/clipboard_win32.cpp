// The clipboard primitives over the Win32 clipboard (CF_UNICODETEXT).
//
// OpenClipboard fails while another window holds the clipboard; the portable caller retries.
// SetClipboardData hands the memory to the system only on success, so every failure after the
// allocation frees it here. ReadText copies out under GlobalLock and never trusts the block to be
// terminated: it stops at the first zero or at the end of the block, whichever comes first.
#include <windows.h>

#include <cstring>

#include "platform/clipboard.h"

namespace tolvane {
namespace {

class Win32Clipboard final : public ClipboardService {
 public:
  bool Open(uintptr_t window) override { return OpenClipboard(reinterpret_cast<HWND>(window)) != FALSE; }

  void Close() override { CloseClipboard(); }

  bool Replace(std::wstring_view text) override {
    if (!EmptyClipboard()) return false;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr) return false;
    void* locked = GlobalLock(memory);
    if (locked == nullptr) {
      GlobalFree(memory);
      return false;
    }
    std::memcpy(locked, text.data(), text.size() * sizeof(wchar_t));
    static_cast<wchar_t*>(locked)[text.size()] = L'\0';
    GlobalUnlock(memory);
    if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
      GlobalFree(memory);
      return false;
    }
    return true;
  }

  std::wstring ReadText() override {
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data == nullptr) return {};
    const auto* chars = static_cast<const wchar_t*>(GlobalLock(data));
    if (chars == nullptr) return {};
    const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
    size_t length = 0;
    while (length < capacity && chars[length] != L'\0') ++length;
    std::wstring text(chars, length);
    GlobalUnlock(data);
    return text;
  }
};

}  // namespace

ClipboardService& SystemClipboard() {
  static Win32Clipboard clipboard;
  return clipboard;
}

}  // namespace tolvane
