// The theme engine: ten palettes (five built-in, five derived from the user's custom gradients),
// the colour helpers every painter uses, the quick-gradient presets and the custom-theme edits.
//
// Colours are 32-bit ARGB (alpha in the top byte). A derived palette depends only on its
// CustomTheme record, so derivation is cheap and runs after every edit; ThemeRevision lets caches
// of drawn layers notice. An unparsable colour text never fails: it becomes grey in the palette.
// Main thread only: painters read palettes while the settings panel edits them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "clipboard/toast.h"
#include "settings/settings.h"

namespace tolvane {

struct ThemePalette {
  std::wstring name;
  bool dark = true;
  uint32_t bgFrom = 0;
  uint32_t bgTo = 0;
  uint32_t card = 0;
  uint32_t surface = 0;
  uint32_t border = 0;
  uint32_t accent = 0;
  uint32_t accent2 = 0;
  uint32_t text = 0;
  uint32_t textDim = 0;
  uint32_t textMuted = 0;
  uint32_t good = 0;
  uint32_t warn = 0;
  uint32_t bad = 0;
  uint32_t highlight = 0;
  uint32_t accentSoft = 0;
  std::vector<uint32_t> gradient;  // 2 to 8 colours in order
  int32_t direction = 1;           // 0 horizontal, 1 diagonal, 2 vertical
};

struct QuickGradient {
  const wchar_t* name;
  std::vector<uint32_t> colours;  // opaque ARGB
  int32_t direction;
};

constexpr int kPaletteCount = 10;
constexpr int kBuiltInCount = 5;
constexpr int kCustomCount = 5;

// Drops every "#" and space; three remaining characters are doubled (RGB -> RRGGBB); six
// hexadecimal digits of either case are found. Anything else is not found and leaves r, g, b alone.
bool ParseHexColor(std::wstring_view text, uint8_t& r, uint8_t& g, uint8_t& b);
// Six upper-case hexadecimal digits, no "#".
std::wstring FormatHexColor(uint8_t r, uint8_t g, uint8_t b);
// Per channel a + (b - a) * t in floating point, clamped to 0..255 and truncated; alpha FF.
uint32_t BlendColor(uint32_t a, uint32_t b, double t);
// (0.2126 R + 0.7152 G + 0.0722 B) / 255 on the raw bytes, no gamma step.
double Luminance(uint32_t colour);
// (max - min) / max of the channels; 0 for black.
double Saturation(uint32_t colour);

// The built-in palette of slot 0 to 4 (gradient [bgFrom, bgTo], direction 1).
ThemePalette BuiltInPalette(int slot);
// The eight presets in display order.
const std::vector<QuickGradient>& QuickGradients();
// The colour text offered for a newly added colour slot (0-based index 0 to 7).
std::wstring OfferedColour(int index);

class ThemeEngine {
 public:
  explicit ThemeEngine(const Settings& settings);

  // The palette of settings.theme; a value outside 0..9 selects slot 0.
  const ThemePalette& ActivePalette() const;
  // The palette at index 0..9 (anything else gives slot 0).
  const ThemePalette& Palette(int index) const;
  // At start, after loading, and after a reset: built-in slots restored, all custom slots derived.
  void InitPalettes();
  // Recomputes the palette of custom slot 0..4 (palette index slot + 5); other slots are ignored.
  void DerivePalette(int slot);
  // Grows with every derivation.
  uint64_t ThemeRevision() const { return revision_; }

 private:
  const Settings& settings_;
  std::array<ThemePalette, kPaletteCount> palettes_;
  uint64_t revision_ = 0;
};

// The edits the settings panel makes to a custom theme (slot 0..4; other slots are ignored).
// Each one ends with DerivePalette of that slot and a save, except SelectSlot, which only saves.
//
// select makes a theme (0..9) the active one. Its owner passes the one function that does so for
// the whole program (the settings editor's, which also makes a custom theme the edited one); it
// defaults to setting theme alone.
class CustomThemeEditor {
 public:
  CustomThemeEditor(Settings& settings, ThemeEngine& themes, Toast& toast, std::function<void()> save,
                    std::function<void(int)> select = {})
      : settings_(settings), themes_(themes), toast_(toast), save_(std::move(save)), select_(std::move(select)) {}

  // Makes index 0..9 (built-in 0-4, custom 5-9) the active theme and saves.
  void SelectSlot(int index);
  // Copies preset colours, direction; clears accent and text mode, then selects the custom slot.
  void ApplyQuickGradient(int slot, int preset);
  // Colour k (0..7) becomes the colour's text, or the typed text (cut to 7, controls removed).
  void SetColour(int slot, int k, uint8_t r, uint8_t g, uint8_t b);
  void SetColourText(int slot, int k, const std::wstring& text);
  // The accent; an empty text means automatic.
  void SetAccent(int slot, uint8_t r, uint8_t g, uint8_t b);
  void SetAccentText(int slot, const std::wstring& text);
  // 0, 1 or 2; other values are ignored.
  void SetDirection(int slot, int direction);
  void CycleTextMode(int slot);
  // Refused with a toast above 7 colours; an unparsable new slot gets the offered colour.
  void AddColour(int slot);
  // Refused with a toast below 3 colours; the colour text stays in its slot.
  void RemoveColour(int slot);

 private:
  void Finish(int slot);
  void Select(int index);

  Settings& settings_;
  ThemeEngine& themes_;
  Toast& toast_;
  std::function<void()> save_;
  std::function<void(int)> select_;
};

}  // namespace tolvane
