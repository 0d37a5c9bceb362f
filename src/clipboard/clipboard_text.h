// Setting and getting clipboard text with a short retry, and cleaning pasted text.
//
// Another program (typically a clipboard manager) may hold the clipboard for a moment. Each call
// makes up to 8 attempts to open it, 15 ms apart (about 120 ms in all, slept through the injected
// Clock, so the main thread blocks for that long in the worst case). A failed Replace is not
// retried: the clipboard was ours then, and trying again would not change the outcome.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clipboard.h"
#include "platform/clock.h"

namespace tolvane {

inline constexpr int kClipboardOpenAttempts = 8;
inline constexpr uint32_t kClipboardRetryMs = 15;

// False for an empty text, a clipboard that stayed busy, or a refused Replace.
bool SetClipboardText(ClipboardService& clipboard, Clock& clock, uintptr_t window, std::wstring_view text);

// The clipboard's Unicode text, cleaned; empty when busy or holding no text.
std::wstring GetClipboardText(ClipboardService& clipboard, Clock& clock, uintptr_t window);

// Tab, line feed and carriage return become spaces; every other character below 32 is dropped.
std::wstring CleanPastedText(std::wstring_view text);

}  // namespace tolvane
