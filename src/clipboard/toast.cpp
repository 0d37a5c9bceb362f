// Toast timing and the cut of the drawn text; see toast.h.
#include "clipboard/toast.h"

namespace tolvane {

void Toast::Show(std::wstring text) {
  text_ = std::move(text);
  shownAt_ = clock_.SystemNs();
  ++serial_;
}

bool Toast::Visible() {
  if (text_.empty()) return false;
  const int64_t now = clock_.SystemNs();
  if (now < shownAt_) shownAt_ = now;  // wall clock set back
  if (now - shownAt_ < kVisibleNs) return true;
  text_.clear();
  return false;
}

std::wstring Toast::DrawnText() const {
  if (text_.size() <= kDrawnChars) return text_;
  size_t keep = kDrawnChars - 3;
  // A high surrogate as the last kept unit would leave half a character (only possible with
  // 16-bit wchar_t; on 32-bit wchar_t no unit falls in that range for valid text).
  const auto last = static_cast<uint32_t>(text_[keep - 1]);
  if (last >= 0xD800 && last <= 0xDBFF) --keep;
  return text_.substr(0, keep) + L"...";
}

}  // namespace tolvane
