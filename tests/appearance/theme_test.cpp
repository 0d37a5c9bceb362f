// The theme engine: colour parsing and blending, the built-in palettes, derivation of custom
// palettes (expected colours worked out by hand from the derivation rules), and the custom-theme
// edits with their refusals, derivations and saves.
#include <gtest/gtest.h>

#include <vector>

#include "appearance/theme.h"
#include "fakes/fake_clock.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

TEST(Theme, ParseHexColor) {
  struct Case {
    const wchar_t* text;
    bool found;
    uint32_t rgb;
  };
  const Case cases[] = {
      {L"#0af", true, 0x00AAFF},
      {L"0A F0 7B", true, 0x0AF07B},
      {L"ff00AA", true, 0xFF00AA},
      {L"#FF#00#AA#", true, 0xFF00AA},
      {L"  abc  ", true, 0xAABBCC},
      {L"12345", false, 0},
      {L"12345G", false, 0},
      {L"1234567", false, 0},
      {L"", false, 0},
      {L"#", false, 0},
      {L"ab", false, 0},
      {L"0a\tf07b", false, 0},
      {L"\uFF10\uFF10\uFF10", false, 0},
  };
  for (const Case& c : cases) {
    uint8_t r = 1, g = 2, b = 3;
    EXPECT_EQ(ParseHexColor(c.text, r, g, b), c.found) << c.text;
    if (c.found) {
      EXPECT_EQ((uint32_t{r} << 16) | (uint32_t{g} << 8) | b, c.rgb) << c.text;
    } else {
      EXPECT_EQ(r, 1);
      EXPECT_EQ(g, 2);
      EXPECT_EQ(b, 3);
    }
  }
}

// Colour texts reach the theme from the settings file as UTF-8: only the ASCII space and "#" are
// dropped, so a no-break space keeps a text from parsing, and a formatted colour is plain ASCII.
TEST(Theme, ColourTextsInFileForm) {
  uint8_t r, g, b;
  EXPECT_FALSE(ParseHexColor(Utf8ToWide("\xC2\xA0"
                                        "0af"),
                             r, g, b));
  EXPECT_TRUE(ParseHexColor(Utf8ToWide("# 0af"), r, g, b));
  EXPECT_EQ(WideToUtf8(FormatHexColor(0xB5, 0x17, 0xFF)), "B517FF");
}

TEST(Theme, FormatBlendLuminanceSaturation) {
  EXPECT_EQ(FormatHexColor(0x0a, 0xb0, 0xff), L"0AB0FF");
  EXPECT_EQ(FormatHexColor(0, 0, 0), L"000000");
  struct Blend {
    uint32_t a, b;
    double t;
    uint32_t expected;
  };
  const Blend blends[] = {
      {0x10203040, 0xFFFFFFFF, 0.0, 0xFF203040},  // t = 0 makes a opaque
      {0x10203040, 0x00506070, 1.0, 0xFF506070},  // t = 1 gives b, opaque
      {0xFF007AFF, 0xFFFFFFFF, 0.3, 0xFF4CA1FF},  // 76.5 -> 76, 161.9 -> 161
      {0xFFFFFF80, 0xFF000000, 0.45, 0xFF8C8C46}, {0xFF000000, 0xFFFFFFFF, 2.0, 0xFFFFFFFF},  // clamped
      {0xFFFFFFFF, 0xFF000000, 2.0, 0xFF000000},
  };
  for (const Blend& c : blends) EXPECT_EQ(BlendColor(c.a, c.b, c.t), c.expected) << std::hex << c.a;
  EXPECT_DOUBLE_EQ(Luminance(0xFFFFFFFF), 1.0);
  EXPECT_DOUBLE_EQ(Luminance(0x00000000), 0.0);
  EXPECT_NEAR(Luminance(0xFF808080), 128.0 / 255.0, 1e-12);  // no gamma step
  EXPECT_NEAR(Luminance(0xFF00FF00), 0.7152, 1e-12);
  EXPECT_DOUBLE_EQ(Saturation(0xFF000000), 0.0);
  EXPECT_NEAR(Saturation(0xFFFF2D3D), 210.0 / 255.0, 1e-12);
}

TEST(Theme, BuiltInPalettes) {
  Settings s = MakeDefaultSettings();
  ThemeEngine themes(s);
  themes.InitPalettes();
  const ThemePalette& light = themes.Palette(4);
  EXPECT_EQ(light.name, L"Light");
  EXPECT_FALSE(light.dark);
  EXPECT_EQ(light.border, 0x221E3056u);
  EXPECT_EQ(light.accentSoft, 0x2E3C78FFu);
  EXPECT_EQ(light.gradient, (std::vector<uint32_t>{0xFFE0E9F8, 0xFFEEF2FB}));
  EXPECT_EQ(light.direction, 1);
  const ThemePalette& ocean = themes.Palette(2);
  EXPECT_EQ(ocean.name, L"Ocean");
  EXPECT_EQ(ocean.good, 0xFF2DD4BFu);
  EXPECT_EQ(ocean.textMuted, 0xFF63848Fu);
  EXPECT_EQ(themes.Palette(3).accent2, 0xFFFFB478u);
  EXPECT_EQ(themes.Palette(1).highlight, 0x14C8DCFFu);
  EXPECT_EQ(themes.Palette(0).surface, 0xFF13131Du);
  // A theme outside 0..9 shows slot 0.
  for (int theme : {-1, 10, 12}) {
    s.theme = theme;
    EXPECT_EQ(themes.ActivePalette().name, L"Dark") << theme;
  }
  s.theme = 9;
  EXPECT_EQ(themes.ActivePalette().name, L"Custom 5");
}

struct Derived {
  const char* name;
  std::vector<std::wstring> colours;
  int32_t count;
  int32_t mode;
  std::wstring accent;
  bool dark;
  uint32_t accent1;
  uint32_t accent2;
  uint32_t surface;
};

TEST(Theme, DerivePalette) {
  const Derived cases[] = {
      // Default custom themes. 1: FF2D3D is the most saturated and dark enough to be lightened.
      {"custom 1", {L"FF4D9D", L"FF2D3D"}, 2, 0, L"", true, 0xFFFF6C77, 0xFFFF4D9D, 0xFF33090C},
      // 2: mean luminance 0.5 is dark; nothing saturated, so the default accent lightened by 30 %.
      {"custom 2", {L"000000", L"FFFFFF"}, 2, 0, L"", true, 0xFF4CA1FF, 0xFFA78BFA, 0xFF333333},
      // 3: 00D4C8 is too bright (darkened by 45 %), then lightened for the dark background.
      {"custom 3", {L"00D4C8", L"3C78FF", L"A855F7"}, 3, 0, L"", true, 0xFF4C9D99, 0xFF3C78FF, 0xFF0C1833},
      {"custom 4", {L"FF9A3C", L"FF4D6D", L"B517FF", L"2B2BFF"}, 4, 0, L"", true, 0xFFCB5CFF, 0xFF2B2BFF, 0xFF240433},
      {"custom 5", {L"0F2027", L"2C5364", L"43C6AC"}, 3, 0, L"", true, 0xFF65988E, 0xFF0F2027, 0xFF081014},
      // Pale yellow with grey: yellow is best and bright, darkened by 45 %; the light surface.
      {"pale yellow", {L"FFFF80", L"808080"}, 2, 0, L"", false, 0xFF8C8C46, 0xFFFFFFB2, 0xFFEFEFEF},
      // An explicit accent with the red byte of the best colour: accent2 is the lightened accent.
      {"same red", {L"FF4D9D", L"FF2D3D"}, 2, 0, L"FF0000", true, 0xFFFF0000, 0xFFFF5959, 0xFF33090C},
      {"other red", {L"FF4D9D", L"FF2D3D"}, 2, 0, L"00FF00", true, 0xFF00FF00, 0xFFFF2D3D, 0xFF33090C},
      {"accent, nothing saturated", {L"000000", L"FFFFFF"}, 2, 0, L"#123456", true, 0xFF123456, 0xFF647B91, 0xFF333333},
      // Text mode 2 forces light-background text even on black.
      {"mode 2", {L"000000", L"000000"}, 2, 2, L"", false, 0xFF007AFF, 0xFFA78BFA, 0xFFE0E0E0},
      // Text mode 1 on white: dark, the default accent lightened.
      {"mode 1", {L"FFFFFF", L"FFFFFF"}, 2, 1, L"", true, 0xFF4CA1FF, 0xFFA78BFA, 0xFF333333},
      // Unparsable colours are grey; a count of 1 derives from two colours.
      {"grey", {L"zz", L""}, 1, 0, L"nope", true, 0xFF4CA1FF, 0xFFA78BFA, 0xFF191919},
  };
  for (const Derived& c : cases) {
    Settings s = MakeDefaultSettings();
    CustomTheme& t = s.customThemes[2];
    t = CustomTheme{};
    for (size_t k = 0; k < c.colours.size(); ++k) t.colours[k] = c.colours[k];
    t.count = c.count;
    t.mode = c.mode;
    t.accent = c.accent;
    ThemeEngine themes(s);
    themes.DerivePalette(2);
    const ThemePalette& p = themes.Palette(7);
    EXPECT_EQ(p.name, L"Custom 3") << c.name;
    EXPECT_EQ(p.dark, c.dark) << c.name;
    EXPECT_EQ(p.accent, c.accent1) << c.name << std::hex << " got " << p.accent;
    EXPECT_EQ(p.accent2, c.accent2) << c.name << std::hex << " got " << p.accent2;
    EXPECT_EQ(p.surface, c.surface) << c.name << std::hex << " got " << p.surface;
    EXPECT_EQ(p.accentSoft, (c.accent1 & 0xFFFFFFu) | 0x46000000u) << c.name;
    EXPECT_EQ(p.text, c.dark ? 0xFFF6F8FCu : 0xFF121A2Eu) << c.name;
    EXPECT_EQ(p.card, c.dark ? 0x78000000u : 0x96FFFFFFu) << c.name;
    EXPECT_EQ(p.highlight, c.dark ? 0x1AFFFFFFu : 0x18000000u) << c.name;
    EXPECT_EQ(p.bgFrom, p.gradient.front()) << c.name;
    EXPECT_EQ(p.bgTo, p.gradient.back()) << c.name;
    EXPECT_EQ(p.gradient.size(), static_cast<size_t>(std::max(c.count, 2))) << c.name;
  }
}

TEST(Theme, DeriveCountLimitsAndRevision) {
  Settings s = MakeDefaultSettings();
  ThemeEngine themes(s);
  themes.InitPalettes();
  EXPECT_EQ(themes.ThemeRevision(), 5u);
  CustomTheme& t = s.customThemes[0];
  for (size_t k = 0; k < 8; ++k) t.colours[k] = L"112233";
  t.count = 12;
  themes.DerivePalette(0);
  EXPECT_EQ(themes.Palette(5).gradient.size(), 8u);
  t.count = 0;
  themes.DerivePalette(0);
  EXPECT_EQ(themes.Palette(5).gradient.size(), 2u);
  EXPECT_EQ(themes.ThemeRevision(), 7u);
  t.angle = 2;
  themes.DerivePalette(0);
  EXPECT_EQ(themes.Palette(5).direction, 2);
  themes.DerivePalette(5);  // not a custom slot
  themes.DerivePalette(-1);
  EXPECT_EQ(themes.ThemeRevision(), 8u);
}

class ThemeEditing : public ::testing::Test {
 protected:
  ThemeEditing() : themes(settings), toast(clock), editor(settings, themes, toast, [this] { ++saves; }) {
    themes.InitPalettes();
  }
  Settings settings = MakeDefaultSettings();
  ThemeEngine themes;
  FakeClock clock;
  Toast toast;
  int saves = 0;
  CustomThemeEditor editor;
};

TEST_F(ThemeEditing, QuickGradientReplacesTheWholeTheme) {
  CustomTheme& t = settings.customThemes[3];
  t.accent = L"123456";
  t.mode = 2;
  const uint64_t revision = themes.ThemeRevision();
  editor.ApplyQuickGradient(3, 4);  // Lava
  EXPECT_EQ(t.count, 4);
  EXPECT_EQ(t.colours[0], L"1A0000");
  EXPECT_EQ(t.colours[3], L"FFD000");
  EXPECT_EQ(t.colours[4], L"");
  EXPECT_EQ(t.angle, 2);
  EXPECT_EQ(t.accent, L"");
  EXPECT_EQ(t.mode, 0);
  EXPECT_EQ(settings.theme, 8);
  EXPECT_EQ(themes.ThemeRevision(), revision + 1);
  EXPECT_EQ(themes.ActivePalette().gradient[2], 0xFFFF6A00u);
  EXPECT_EQ(saves, 1);
  editor.ApplyQuickGradient(0, 2);  // Neon, three colours: slot 4 of Lava's four is emptied
  EXPECT_EQ(settings.customThemes[0].colours[3], L"");
  EXPECT_EQ(settings.customThemes[0].angle, 0);
  ASSERT_EQ(QuickGradients().size(), 8u);
  EXPECT_EQ(QuickGradients()[7].colours.size(), 5u);
}

TEST_F(ThemeEditing, ColourCountLimits) {
  CustomTheme& t = settings.customThemes[0];  // two colours
  editor.RemoveColour(0);
  EXPECT_EQ(toast.text(), L"A theme needs at least 2 colors");
  EXPECT_EQ(t.count, 2);
  EXPECT_EQ(saves, 0);
  t.colours[2] = L"ABCDEF";
  editor.AddColour(0);  // a parsable colour text stays
  EXPECT_EQ(t.count, 3);
  EXPECT_EQ(t.colours[2], L"ABCDEF");
  for (int k = 3; k < 8; ++k) editor.AddColour(0);
  EXPECT_EQ(t.count, 8);
  EXPECT_EQ(t.colours[3], L"FFB000");  // offered colours by index
  EXPECT_EQ(t.colours[7], L"FFFFFF");
  EXPECT_EQ(saves, 6);
  editor.AddColour(0);
  EXPECT_EQ(toast.text(), L"A theme can have at most 8 colors");
  EXPECT_EQ(t.count, 8);
  EXPECT_EQ(saves, 6);
  editor.RemoveColour(0);
  EXPECT_EQ(t.count, 7);
  EXPECT_EQ(t.colours[7], L"FFFFFF");  // the text stays in its slot
  EXPECT_EQ(themes.Palette(5).gradient.size(), 7u);
}

TEST_F(ThemeEditing, SmallEditsDeriveAndSave) {
  const CustomTheme& t = settings.customThemes[1];
  editor.SetColour(1, 0, 0x12, 0xAB, 0x0F);
  EXPECT_EQ(t.colours[0], L"12AB0F");
  EXPECT_EQ(themes.Palette(6).gradient[0], 0xFF12AB0Fu);
  editor.SetColourText(1, 1, L"#abc\t1234");
  EXPECT_EQ(t.colours[1], L"#abc123");
  editor.SetAccent(1, 0xFF, 0, 0);
  EXPECT_EQ(themes.Palette(6).accent, 0xFFFF0000u);
  editor.SetAccentText(1, L"");
  EXPECT_EQ(t.accent, L"");
  editor.SetDirection(1, 0);
  EXPECT_EQ(themes.Palette(6).direction, 0);
  editor.SetDirection(1, 3);  // ignored
  EXPECT_EQ(t.angle, 0);
  EXPECT_EQ(saves, 5);
  for (int expected : {1, 2, 0}) {
    editor.CycleTextMode(1);
    EXPECT_EQ(t.mode, expected);
  }
  EXPECT_EQ(saves, 8);
  const uint64_t revision = themes.ThemeRevision();
  editor.SelectSlot(3);
  EXPECT_EQ(settings.theme, 3);
  EXPECT_EQ(themes.ThemeRevision(), revision);  // selecting derives nothing
  EXPECT_EQ(saves, 9);
}

// Selecting a custom theme here once set the theme without making it the edited one, so the
// panel went on editing another custom theme than the one shown. Both selections go through the
// owner's function.
TEST_F(ThemeEditing, SelectionGoesThroughTheOwnersFunction) {
  std::vector<int> selected;
  CustomThemeEditor owned(
      settings, themes, toast, [this] { ++saves; }, [&](int i) { selected.push_back(i); });
  owned.SelectSlot(7);
  owned.ApplyQuickGradient(1, 0);
  EXPECT_EQ(selected, (std::vector<int>{7, 6}));
}

}  // namespace
}  // namespace tolvane
