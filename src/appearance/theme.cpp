// Palettes, colour helpers and custom-theme edits. The built-in palettes are tuned by eye and are
// fixed constants; the derivation rules for custom gradients are tuned to keep text readable on
// any gradient, which is why they read luminance on raw bytes rather than linear light.
#include "appearance/theme.h"

#include <algorithm>
#include <cstdio>

namespace tolvane {
namespace {

constexpr uint32_t kGrey = 0xFF808080;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlack = 0xFF000000;

uint8_t Red(uint32_t c) { return static_cast<uint8_t>(c >> 16); }
uint8_t Green(uint32_t c) { return static_cast<uint8_t>(c >> 8); }
uint8_t Blue(uint32_t c) { return static_cast<uint8_t>(c); }
uint32_t Opaque(uint8_t r, uint8_t g, uint8_t b) {
  return 0xFF000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
}

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

struct BuiltIn {
  const wchar_t* name;
  bool dark;
  uint32_t bgFrom, bgTo, card, surface, border, accent, accent2;
  uint32_t text, textDim, textMuted, good, warn, bad, highlight, accentSoft;
};

const BuiltIn kBuiltIns[kBuiltInCount] = {
    {L"Dark", true, 0xFF161621, 0xFF0A0A12, 0x1AFFFFFF, 0xFF13131D, 0x26FFFFFF, 0xFF007AFF, 0xFFA78BFA, 0xFFF4F6FB,
     0xFF9BA3B7, 0xFF6D7688, 0xFF34C759, 0xFFFFCC00, 0xFFFF6B5A, 0x14FFFFFF, 0x32007AFF},
    {L"Midnight", true, 0xFF0D1432, 0xFF060A1A, 0x1AC8D7FF, 0xFF0E1531, 0x28B4C8FF, 0xFF6E8FFF, 0xFFC49BFF, 0xFFEEF2FF,
     0xFF9AA7CC, 0xFF6A769B, 0xFF34C759, 0xFFFFCC00, 0xFFFF6B5A, 0x14C8DCFF, 0x346E8FFF},
    {L"Ocean", true, 0xFF063042, 0xFF021423, 0x1AC8F0FF, 0xFF06202F, 0x28B4DCFF, 0xFF00B4C8, 0xFF78DCF0, 0xFFEEFCFF,
     0xFF96B8C4, 0xFF63848F, 0xFF2DD4BF, 0xFFFFCC00, 0xFFFF6B5A, 0x14C8F0FF, 0x3400B4C8},
    {L"Sunset", true, 0xFF300D28, 0xFF150818, 0x1AFFDCE6, 0xFF250D24, 0x28FFB4C8, 0xFFFF5E78, 0xFFFFB478, 0xFFFFF2F5,
     0xFFCBA7B3, 0xFF94707D, 0xFF4ADE80, 0xFFFFCC00, 0xFFFF6B5A, 0x14FFDCE6, 0x34FF5E78},
    {L"Light", false, 0xFFE0E9F8, 0xFFEEF2FB, 0xD2FFFFFF, 0xFFF8FAFF, 0x221E3056, 0xFF3C78FF, 0xFF8C50F0, 0xFF15203A,
     0xFF59647F, 0xFF7F8AA4, 0xFF16A34A, 0xFFC88A00, 0xFFE14B3C, 0x1C3C78FF, 0x2E3C78FF},
};

const wchar_t* const kOffered[8] = {L"FF4D9D", L"3C78FF", L"00D4C8", L"FFB000",
                                    L"A855F7", L"3BFF6A", L"FF3B3B", L"FFFFFF"};

bool ValidSlot(int slot) { return slot >= 0 && slot < kCustomCount; }

// The colour a text stands for, or grey when it does not parse.
uint32_t ColourOrGrey(const std::wstring& text) {
  uint8_t r, g, b;
  return ParseHexColor(text, r, g, b) ? Opaque(r, g, b) : kGrey;
}

}  // namespace

bool ParseHexColor(std::wstring_view text, uint8_t& r, uint8_t& g, uint8_t& b) {
  std::wstring digits;
  for (wchar_t c : text) {
    if (c == L'#' || c == L' ') continue;
    if (digits.size() >= 6) return false;  // too long whatever follows
    digits.push_back(c);
  }
  if (digits.size() == 3) digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
  if (digits.size() != 6) return false;
  int v[6];
  for (size_t i = 0; i < 6; ++i) {
    v[i] = HexValue(digits[i]);
    if (v[i] < 0) return false;
  }
  r = static_cast<uint8_t>(v[0] * 16 + v[1]);
  g = static_cast<uint8_t>(v[2] * 16 + v[3]);
  b = static_cast<uint8_t>(v[4] * 16 + v[5]);
  return true;
}

std::wstring FormatHexColor(uint8_t r, uint8_t g, uint8_t b) {
  wchar_t out[8];
  std::swprintf(out, 8, L"%02X%02X%02X", r, g, b);
  return out;
}

uint32_t BlendColor(uint32_t a, uint32_t b, double t) {
  auto channel = [t](uint8_t x, uint8_t y) {
    const double v = x + (static_cast<double>(y) - x) * t;
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
  };
  return Opaque(channel(Red(a), Red(b)), channel(Green(a), Green(b)), channel(Blue(a), Blue(b)));
}

double Luminance(uint32_t c) { return (0.2126 * Red(c) + 0.7152 * Green(c) + 0.0722 * Blue(c)) / 255.0; }

double Saturation(uint32_t c) {
  const uint8_t hi = std::max({Red(c), Green(c), Blue(c)});
  const uint8_t lo = std::min({Red(c), Green(c), Blue(c)});
  return hi == 0 ? 0.0 : static_cast<double>(hi - lo) / hi;
}

ThemePalette BuiltInPalette(int slot) {
  const BuiltIn& t = kBuiltIns[slot >= 0 && slot < kBuiltInCount ? slot : 0];
  ThemePalette p;
  p.name = t.name;
  p.dark = t.dark;
  p.bgFrom = t.bgFrom;
  p.bgTo = t.bgTo;
  p.card = t.card;
  p.surface = t.surface;
  p.border = t.border;
  p.accent = t.accent;
  p.accent2 = t.accent2;
  p.text = t.text;
  p.textDim = t.textDim;
  p.textMuted = t.textMuted;
  p.good = t.good;
  p.warn = t.warn;
  p.bad = t.bad;
  p.highlight = t.highlight;
  p.accentSoft = t.accentSoft;
  p.gradient = {t.bgFrom, t.bgTo};
  p.direction = 1;
  return p;
}

const std::vector<QuickGradient>& QuickGradients() {
  static const std::vector<QuickGradient> kPresets = {
      {L"Sunset", {0xFFFF9A3C, 0xFFFF4D6D, 0xFFB517FF}, 1},
      {L"Aurora", {0xFF00F5A0, 0xFF00D9F5, 0xFF7B2FFF}, 1},
      {L"Neon", {0xFFFF00C8, 0xFF7A00FF, 0xFF00E5FF}, 0},
      {L"Ocean", {0xFF0F2027, 0xFF2C5364, 0xFF43C6AC}, 1},
      {L"Lava", {0xFF1A0000, 0xFF8E0E00, 0xFFFF6A00, 0xFFFFD000}, 2},
      {L"Candy", {0xFFFF9ACB, 0xFFFFC4E1, 0xFFB9A7FF, 0xFF8EE4FF}, 1},
      {L"Mono", {0xFF000000, 0xFF3A3A3A, 0xFFFFFFFF}, 1},
      {L"Rainbow", {0xFFFF3B3B, 0xFFFFB000, 0xFF3BFF6A, 0xFF2BC8FF, 0xFFA855F7}, 0},
  };
  return kPresets;
}

std::wstring OfferedColour(int index) { return kOffered[index >= 0 && index < 8 ? index : 0]; }

ThemeEngine::ThemeEngine(const Settings& settings) : settings_(settings) {
  for (int i = 0; i < kBuiltInCount; ++i) palettes_[static_cast<size_t>(i)] = BuiltInPalette(i);
  // Until InitPalettes runs, a custom slot shows the first built-in theme rather than blank colours.
  for (int i = kBuiltInCount; i < kPaletteCount; ++i) palettes_[static_cast<size_t>(i)] = BuiltInPalette(0);
}

const ThemePalette& ThemeEngine::Palette(int index) const {
  return palettes_[static_cast<size_t>(index >= 0 && index < kPaletteCount ? index : 0)];
}

const ThemePalette& ThemeEngine::ActivePalette() const { return Palette(settings_.theme); }

void ThemeEngine::InitPalettes() {
  for (int i = 0; i < kBuiltInCount; ++i) palettes_[static_cast<size_t>(i)] = BuiltInPalette(i);
  for (int slot = 0; slot < kCustomCount; ++slot) DerivePalette(slot);
}

void ThemeEngine::DerivePalette(int slot) {
  if (!ValidSlot(slot)) return;
  const CustomTheme& t = settings_.customThemes[static_cast<size_t>(slot)];
  const int count = std::clamp<int32_t>(t.count, 2, 8);

  std::vector<uint32_t> colours;
  colours.reserve(static_cast<size_t>(count));
  double luminanceSum = 0;
  for (int k = 0; k < count; ++k) {
    colours.push_back(ColourOrGrey(t.colours[static_cast<size_t>(k)]));
    luminanceSum += Luminance(colours.back());
  }
  const bool dark = t.mode == 1 || (t.mode == 0 && luminanceSum / count < 0.55);

  // The most saturated colour and the runner-up; an equal saturation keeps the earlier colour.
  int best = -1, second = -1;
  double bestSat = 0, secondSat = 0;
  for (int k = 0; k < count; ++k) {
    const double s = Saturation(colours[static_cast<size_t>(k)]);
    if (s <= 0.12) continue;
    if (best < 0 || s > bestSat) {
      second = best;
      secondSat = bestSat;
      best = k;
      bestSat = s;
    } else if (second < 0 || s > secondSat) {
      second = k;
      secondSat = s;
    }
  }

  ThemePalette p;
  if (best >= 0) {
    const uint32_t bestColour = colours[static_cast<size_t>(best)];
    p.accent = bestColour;
    p.accent2 = second >= 0 ? colours[static_cast<size_t>(second)] : BlendColor(bestColour, kWhite, 0.4);
    if (Luminance(p.accent) > 0.62) p.accent = BlendColor(p.accent, kBlack, 0.45);
    if (dark && Luminance(p.accent) < 0.5) p.accent = BlendColor(p.accent, kWhite, 0.3);
  } else {
    p.accent2 = second >= 0 ? colours[static_cast<size_t>(second)] : 0xFFA78BFA;
    p.accent = dark ? BlendColor(0xFF007AFF, kWhite, 0.3) : 0xFF007AFF;
  }

  uint8_t r, g, b;
  if (ParseHexColor(t.accent, r, g, b)) {
    p.accent = Opaque(r, g, b);
    const uint32_t lightened = BlendColor(p.accent, kWhite, 0.35);
    if (best < 0) {
      p.accent2 = lightened;
    } else {
      const uint32_t bestColour = colours[static_cast<size_t>(best)];
      p.accent2 = Red(bestColour) == r ? lightened : bestColour;
    }
  }

  static const wchar_t* const kNames[kCustomCount] = {L"Custom 1", L"Custom 2", L"Custom 3", L"Custom 4", L"Custom 5"};
  p.name = kNames[slot];
  p.dark = dark;
  p.gradient = colours;
  p.direction = t.angle;
  p.bgFrom = colours.front();
  p.bgTo = colours.back();
  const uint32_t mid = colours[static_cast<size_t>(count / 2)];
  if (dark) {
    p.text = 0xFFF6F8FC;
    p.textDim = 0xFFDADFEB;
    p.textMuted = 0xFFBEC4D4;
    p.card = 0x78000000;
    p.surface = BlendColor(mid, kBlack, 0.8);
    p.border = 0x2CFFFFFF;
    p.good = 0xFF34C759;
    p.warn = 0xFFFFCC00;
    p.bad = 0xFFFF6B5A;
    p.highlight = 0x1AFFFFFF;
  } else {
    p.text = 0xFF121A2E;
    p.textDim = 0xFF424C64;
    p.textMuted = 0xFF646E86;
    p.card = 0x96FFFFFF;
    p.surface = BlendColor(mid, kWhite, 0.88);
    p.border = 0x2E000000;
    p.good = 0xFF16A34A;
    p.warn = 0xFFC88A00;
    p.bad = 0xFFE14B3C;
    p.highlight = 0x18000000;
  }
  p.accentSoft = (p.accent & 0x00FFFFFFu) | 0x46000000u;
  palettes_[static_cast<size_t>(slot + kBuiltInCount)] = std::move(p);
  ++revision_;
}

void CustomThemeEditor::Finish(int slot) {
  themes_.DerivePalette(slot);
  if (save_) save_();
}

void CustomThemeEditor::Select(int index) {
  if (select_) {
    select_(index);
  } else {
    settings_.theme = index;
  }
}

void CustomThemeEditor::SelectSlot(int index) {
  if (index < 0 || index >= kPaletteCount) return;
  Select(index);
  if (save_) save_();
}

void CustomThemeEditor::ApplyQuickGradient(int slot, int preset) {
  const std::vector<QuickGradient>& presets = QuickGradients();
  if (!ValidSlot(slot) || preset < 0 || preset >= static_cast<int>(presets.size())) return;
  const QuickGradient& q = presets[static_cast<size_t>(preset)];
  CustomTheme& t = settings_.customThemes[static_cast<size_t>(slot)];
  t.count = static_cast<int32_t>(q.colours.size());
  for (size_t k = 0; k < t.colours.size(); ++k) {
    t.colours[k] = k < q.colours.size() ? FormatHexColor(Red(q.colours[k]), Green(q.colours[k]), Blue(q.colours[k]))
                                        : std::wstring();
  }
  t.angle = q.direction;
  t.accent.clear();
  t.mode = 0;
  Select(slot + kBuiltInCount);
  Finish(slot);
}

void CustomThemeEditor::SetColour(int slot, int k, uint8_t r, uint8_t g, uint8_t b) {
  SetColourText(slot, k, FormatHexColor(r, g, b));
}

void CustomThemeEditor::SetColourText(int slot, int k, const std::wstring& text) {
  if (!ValidSlot(slot) || k < 0 || k >= 8) return;
  settings_.customThemes[static_cast<size_t>(slot)].colours[static_cast<size_t>(k)] = SanitizeText(text, 7);
  Finish(slot);
}

void CustomThemeEditor::SetAccent(int slot, uint8_t r, uint8_t g, uint8_t b) {
  SetAccentText(slot, FormatHexColor(r, g, b));
}

void CustomThemeEditor::SetAccentText(int slot, const std::wstring& text) {
  if (!ValidSlot(slot)) return;
  settings_.customThemes[static_cast<size_t>(slot)].accent = SanitizeText(text, 7);
  Finish(slot);
}

void CustomThemeEditor::SetDirection(int slot, int direction) {
  if (!ValidSlot(slot) || direction < 0 || direction > 2) return;
  settings_.customThemes[static_cast<size_t>(slot)].angle = direction;
  Finish(slot);
}

void CustomThemeEditor::CycleTextMode(int slot) {
  if (!ValidSlot(slot)) return;
  CustomTheme& t = settings_.customThemes[static_cast<size_t>(slot)];
  t.mode = ((t.mode % 3) + 4) % 3;  // (mode + 1) mod 3, kept in 0..2 even for a stray negative mode
  Finish(slot);
}

void CustomThemeEditor::AddColour(int slot) {
  if (!ValidSlot(slot)) return;
  CustomTheme& t = settings_.customThemes[static_cast<size_t>(slot)];
  if (t.count > 7) {
    toast_.Show(L"A theme can have at most 8 colors");
    return;
  }
  const int index = std::max<int32_t>(t.count, 2);  // a count below 2 is used as 2
  std::wstring& text = t.colours[static_cast<size_t>(index)];
  uint8_t r, g, b;
  if (!ParseHexColor(text, r, g, b)) text = OfferedColour(index);
  t.count = index + 1;
  Finish(slot);
}

void CustomThemeEditor::RemoveColour(int slot) {
  if (!ValidSlot(slot)) return;
  CustomTheme& t = settings_.customThemes[static_cast<size_t>(slot)];
  if (t.count < 3) {
    toast_.Show(L"A theme needs at least 2 colors");
    return;
  }
  t.count = t.count - 1;
  Finish(slot);
}

}  // namespace tolvane
