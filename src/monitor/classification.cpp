// Application classification tables. The name table is searched in category order, so a name that
// holds words of two categories (chrome_game.exe) takes the earlier one. Lowercasing uses towlower
// code unit by code unit, which folds ASCII and the common Latin letters alike on both platforms.
#include "monitor/classification.h"

#include <array>
#include <cwctype>
#include <initializer_list>

namespace tolvane {
namespace {

struct CategoryWords {
  std::wstring_view category;
  std::initializer_list<std::wstring_view> words;
};

const std::array<CategoryWords, 6>& NameTable() {
  static const std::array<CategoryWords, 6> table = {{
      {kCategoryDiscord, {L"discord"}},
      {kCategoryBrowser, {L"chrome", L"msedge", L"firefox", L"brave", L"opera", L"vivaldi", L"arc.exe"}},
      {kCategorySocial,
       {L"telegram", L"whatsapp", L"instagram", L"twitter", L"tiktok", L"reddit", L"snapchat", L"messenger", L"signal",
        L"skype", L"zoom", L"teams"}},
      {kCategoryGame,
       {L"steam", L"valorant", L"riot", L"epicgames", L"rocketleague", L"minecraft", L"game", L"battle.net", L"cs2",
        L"fortnite"}},
      {kCategoryMedia, {L"spotify", L"obs", L"vlc", L"music", L"twitch"}},
      {kCategoryDev, {L"code.exe", L"node.exe", L"python", L"docker", L"git.exe", L"windowsterminal", L"devenv"}},
  }};
  return table;
}

bool StartsWith(std::wstring_view s, std::wstring_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

std::wstring_view ClassifyProcess(std::wstring_view name) {
  // Executable names are short; a fixed buffer keeps the per-row call free of allocation.
  wchar_t small[128];
  std::wstring large;
  wchar_t* lower = small;
  if (name.size() > std::size(small)) {
    large.resize(name.size());
    lower = large.data();
  }
  for (size_t i = 0; i < name.size(); ++i) lower[i] = static_cast<wchar_t>(std::towlower(name[i]));
  const std::wstring_view lowered(lower, name.size());
  for (const CategoryWords& entry : NameTable())
    for (std::wstring_view word : entry.words)
      if (lowered.find(word) != std::wstring_view::npos) return entry.category;
  return kCategoryOther;
}

bool IsVoiceCapableCategory(std::wstring_view category) {
  return category == kCategoryDiscord || category == kCategoryGame || category == kCategorySocial;
}

std::wstring_view RoleLabel(std::wstring_view category, std::wstring_view protocol, std::wstring_view remoteAddress,
                            int32_t remotePort) {
  const bool udp = StartsWith(protocol, L"UDP");
  if (category == kCategoryDiscord) {
    if (udp || (remotePort >= 50000 && remotePort <= 65535)) return L"Discord Voice Call";
    if (StartsWith(remoteAddress, L"66.22.") || StartsWith(remoteAddress, L"35.214.")) return L"Discord RTC / Voice";
    if (StartsWith(remoteAddress, L"162.159.") || StartsWith(remoteAddress, L"162.158.")) return L"Gateway / CDN";
    return L"Discord Gateway";
  }
  if (category == kCategorySocial) return udp ? L"Social Voice / Call" : L"Social Media Edge";
  if (category == kCategoryBrowser) return udp ? L"Browser HTTP/3 QUIC" : L"Browser HTTPS";
  if (category == kCategoryGame) return udp ? L"Game Server UDP" : L"Game Lobby / Auth";
  if (category == kCategoryMedia) return L"Media Stream";
  if (category == kCategoryDev) return L"Dev / Cloud API";
  return udp ? L"UDP Socket" : L"TCP Stream";
}

}  // namespace tolvane
