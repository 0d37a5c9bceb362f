// Process categories and role labels: the name table's order, the substring matching, and the
// Discord port and address rules in their order.
#include <gtest/gtest.h>

#include <string>

#include "monitor/classification.h"

namespace tolvane {
namespace {

TEST(ClassifyProcess, NamesFallIntoTheirCategories) {
  struct Case {
    const wchar_t* name;
    const wchar_t* category;
  };
  const Case cases[] = {
      {L"Discord.exe", L"discord"},
      {L"DiscordPTB.exe", L"discord"},
      {L"Discord.exe (demo)", L"discord"},
      {L"DISCORDCANARY.EXE", L"discord"},
      {L"msedgewebview2.exe", L"browser"},
      {L"chrome.exe", L"browser"},
      {L"firefox.exe", L"browser"},
      {L"Arc.exe", L"browser"},
      {L"arcade.exe", L"other"},  // "arc.exe" must match as a whole substring
      {L"chrome_game.exe", L"browser"},
      {L"Telegram.exe", L"social"},
      {L"ms-teams.exe", L"social"},
      {L"Zoom.exe", L"social"},
      {L"steamwebhelper.exe", L"game"},
      {L"GameBar.exe", L"game"},
      {L"RiotClientServices.exe", L"game"},
      {L"cs2.exe", L"game"},
      {L"Battle.net.exe", L"game"},
      {L"obs64.exe", L"media"},
      {L"Spotify.exe", L"media"},
      {L"AppleMusic.exe", L"media"},
      {L"Code.exe", L"dev"},
      {L"python3.12.exe", L"dev"},
      {L"WindowsTerminal.exe", L"dev"},
      {L"git.exe", L"dev"},
      {L"Unknown", L"other"},
      {L"svchost.exe", L"other"},
      {L"", L"other"},
      // Earlier rows win over later ones: a social word beats a game word, a game word a media word.
      {L"teams_game.exe", L"social"},
      {L"steam_music.exe", L"game"},
      {L"discord_chrome.exe", L"discord"},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyProcess(c.name), c.category) << std::wstring(c.name);
}

TEST(ClassifyProcess, LongNamesAreClassifiedWhole) {
  std::wstring name(300, L'x');
  name += L"Discord";
  EXPECT_EQ(ClassifyProcess(name), L"discord");
  EXPECT_EQ(ClassifyProcess(std::wstring(500, L'a')), L"other");
}

TEST(IsVoiceCapableCategory, OnlyDiscordGameAndSocial) {
  EXPECT_TRUE(IsVoiceCapableCategory(L"discord"));
  EXPECT_TRUE(IsVoiceCapableCategory(L"game"));
  EXPECT_TRUE(IsVoiceCapableCategory(L"social"));
  for (const wchar_t* c : {L"browser", L"media", L"dev", L"other", L""}) EXPECT_FALSE(IsVoiceCapableCategory(c)) << c;
}

TEST(RoleLabel, FollowsCategoryProtocolAndPeer) {
  struct Case {
    const wchar_t* category;
    const wchar_t* protocol;
    const wchar_t* remoteAddress;
    int32_t remotePort;
    const wchar_t* role;
  };
  const Case cases[] = {
      {L"discord", L"TCP4", L"162.159.135.234", 443, L"Gateway / CDN"},
      {L"discord", L"TCP4", L"162.158.1.1", 443, L"Gateway / CDN"},
      {L"discord", L"TCP4", L"104.18.32.47", 443, L"Discord Gateway"},
      {L"discord", L"TCP4", L"35.214.40.77", 443, L"Discord RTC / Voice"},
      {L"discord", L"TCP4", L"66.22.199.5", 443, L"Discord RTC / Voice"},
      {L"discord", L"TCP4", L"104.18.32.47", 50003, L"Discord Voice Call"},
      {L"discord", L"TCP4", L"162.159.135.234", 50000, L"Discord Voice Call"},  // port range checked first
      {L"discord", L"TCP4", L"104.18.32.47", 65535, L"Discord Voice Call"},
      {L"discord", L"TCP4", L"104.18.32.47", 49999, L"Discord Gateway"},
      {L"discord", L"TCP4", L"104.18.32.47", 65536, L"Discord Gateway"},
      {L"discord", L"UDP4", L"104.18.32.47", 443, L"Discord Voice Call"},
      {L"discord", L"UDP6", L"*", 0, L"Discord Voice Call"},
      {L"discord", L"TCP6", L"2606:4700::6810:2f", 443, L"Discord Gateway"},
      {L"discord", L"TCP6", L"2606:4700::6810:2f", 50010, L"Discord Voice Call"},
      {L"discord", L"TCP4", L"1162.159.0.1", 443, L"Discord Gateway"},  // prefix means the beginning
      {L"browser", L"UDP4", L"142.250.80.46", 443, L"Browser HTTP/3 QUIC"},
      {L"browser", L"TCP4", L"142.250.80.46", 443, L"Browser HTTPS"},
      {L"browser", L"TCP6", L"2a00:1450::1", 443, L"Browser HTTPS"},
      {L"social", L"TCP4", L"1.2.3.4", 443, L"Social Media Edge"},
      {L"social", L"UDP4", L"1.2.3.4", 3478, L"Social Voice / Call"},
      {L"game", L"TCP4", L"23.45.67.89", 27015, L"Game Lobby / Auth"},
      {L"game", L"UDP6", L"*", 0, L"Game Server UDP"},
      {L"media", L"UDP4", L"1.2.3.4", 1935, L"Media Stream"},
      {L"media", L"TCP4", L"1.2.3.4", 443, L"Media Stream"},
      {L"dev", L"TCP6", L"::1", 8080, L"Dev / Cloud API"},
      {L"dev", L"UDP4", L"1.2.3.4", 53, L"Dev / Cloud API"},
      {L"other", L"TCP4", L"1.2.3.4", 443, L"TCP Stream"},
      {L"other", L"UDP4", L"*", 0, L"UDP Socket"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RoleLabel(c.category, c.protocol, c.remoteAddress, c.remotePort), c.role)
        << c.category << L" " << c.protocol << L" " << c.remoteAddress << L":" << c.remotePort;
}

}  // namespace
}  // namespace tolvane
