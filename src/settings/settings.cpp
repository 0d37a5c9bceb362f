// The defaults of the settings record and the text filter that every stored text passes.
// The default custom themes here are also what "Reset defaults" restores, so they must match the
// colours the settings file documents for a fresh installation.
#include "settings/settings.h"

namespace tolvane {

Settings MakeDefaultSettings() {
  Settings s;
  struct Default {
    int32_t count;
    const wchar_t* colours[4];
  };
  static const Default kThemes[5] = {
      {2, {L"FF4D9D", L"FF2D3D"}},
      {2, {L"000000", L"FFFFFF"}},
      {3, {L"00D4C8", L"3C78FF", L"A855F7"}},
      {4, {L"FF9A3C", L"FF4D6D", L"B517FF", L"2B2BFF"}},
      {3, {L"0F2027", L"2C5364", L"43C6AC"}},
  };
  for (size_t i = 0; i < 5; ++i) {
    CustomTheme& t = s.customThemes[i];
    t = CustomTheme{};
    t.count = kThemes[i].count;
    for (int32_t k = 0; k < kThemes[i].count; ++k) t.colours[k] = kThemes[i].colours[k];
  }
  return s;
}

std::wstring SanitizeText(const std::wstring& text, size_t limit) {
  std::wstring out;
  out.reserve(text.size() < limit ? text.size() : limit);
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (static_cast<uint32_t>(c) < 32) continue;
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      if (out.size() + 2 > limit) break;  // the whole character or none of it
      out.push_back(c);
      out.push_back(text[++i]);
      continue;
    }
    if (out.size() >= limit) break;
    out.push_back(c);
  }
  return out;
}

}  // namespace tolvane
