// The settings record's defaults and the text filter every stored text passes through.
#include <gtest/gtest.h>

#include "settings/settings.h"

namespace tolvane {
namespace {

TEST(Settings, DefaultCustomThemes) {
  const Settings s = MakeDefaultSettings();
  const CustomTheme& t4 = s.customThemes[3];
  EXPECT_EQ(t4.count, 4);
  EXPECT_EQ(t4.colours[0], L"FF9A3C");
  EXPECT_EQ(t4.colours[1], L"FF4D6D");
  EXPECT_EQ(t4.colours[2], L"B517FF");
  EXPECT_EQ(t4.colours[3], L"2B2BFF");
  for (const CustomTheme& t : s.customThemes) {
    EXPECT_TRUE(t.accent.empty());
    EXPECT_EQ(t.mode, 0);
    EXPECT_EQ(t.angle, 1);
    for (size_t k = 4; k < 8; ++k) EXPECT_TRUE(t.colours[k].empty()) << k;
  }
}

TEST(Settings, SanitizeTextRemovesControlsBeforeCutting) {
  struct Case {
    std::wstring text;
    size_t limit;
    std::wstring expected;
  };
  const Case cases[] = {
      {std::wstring(200, L'a') + L"\t" + std::wstring(200, L'a') + L"b", 400, std::wstring(400, L'a')},
      {L"a\r\nb\x1F"
       L"c\x7F",
       10, L"abc\x7F"},
      {L"\t\t\t", 5, L""},
      {L"abcdef", 0, L""},
      {L"abcdef", 3, L"abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(SanitizeText(c.text, c.limit), c.expected);
}

// A cut through a surrogate pair left its high half, which the settings file then wrote as U+FFFD.
TEST(Settings, SanitizeTextNeverCutsASurrogatePair) {
  const std::wstring emoji{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  struct Case {
    std::wstring text;
    size_t limit;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"ab" + emoji, 3, L"ab"},                 // no room for both halves: neither
      {L"ab" + emoji, 4, L"ab" + emoji},         // room: both
      {L"a\t" + emoji + L"b", 3, L"a" + emoji},  // controls go first, then the cut
      {emoji + emoji, 3, emoji},
  };
  for (const Case& c : cases) EXPECT_EQ(SanitizeText(c.text, c.limit), c.expected) << c.limit;
}

}  // namespace
}  // namespace tolvane
