// Fuzz target for colour texts: ParseHexColor and FormatHexColor agree, and a custom theme made
// of arbitrary colour texts derives a palette of the right size without a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "appearance/theme.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));

  uint8_t r, g, b;
  if (ParseHexColor(text, r, g, b)) {
    uint8_t r2, g2, b2;
    if (!ParseHexColor(FormatHexColor(r, g, b), r2, g2, b2) || r2 != r || g2 != g || b2 != b) std::abort();
  }

  Settings s = MakeDefaultSettings();
  CustomTheme& t = s.customThemes[0];
  // Split the text into the accent and eight colour slots; the first byte chooses count and modes.
  const size_t piece = text.size() / 9 + 1;
  t.accent = text.substr(0, piece);
  for (size_t k = 0; k < 8; ++k) t.colours[k] = text.substr(std::min(text.size(), piece * (k + 1)), piece);
  const int32_t selector = size > 0 ? static_cast<int8_t>(data[0]) : 0;
  t.count = selector;
  t.mode = selector % 4;
  t.angle = selector % 3;
  ThemeEngine themes(s);
  themes.DerivePalette(0);
  const ThemePalette& p = themes.Palette(5);
  const size_t expected = static_cast<size_t>(selector < 2 ? 2 : selector > 8 ? 8 : selector);
  if (p.gradient.size() != expected || (p.accent >> 24) != 0xFF || (p.accentSoft >> 24) != 0x46) std::abort();
  return 0;
}
