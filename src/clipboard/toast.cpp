#include "clipboard/toast.h"

namespace tolvane {

void Toast::Show(std::wstring text) {
  text_ = std::move(text);
  shownAt_ = clock_.SystemNs();
}

bool Toast::Visible() {
  if (text_.empty()) return false;
  if (clock_.SystemNs() - shownAt_ < kVisibleNs) return true;
  text_.clear();
  return false;
}

std::wstring Toast::DrawnText() const {
  if (text_.size() <= kDrawnChars) return text_;
  return text_.substr(0, kDrawnChars - 3) + L"...";
}

}  // namespace tolvane
