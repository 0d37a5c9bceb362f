// Application classification: the category of a process and the role label of a socket row.
//
// Both are pure functions of fixed substring tables and port rules; nothing is learned or read from
// settings. The snapshot calls them for every admitted row, so they avoid allocating beyond the one
// lowercased copy of the name (and the snapshot caches the category per process id).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

// The AppCategory words, as stored in ConnectionRow::category.
inline constexpr std::wstring_view kCategoryDiscord = L"discord";
inline constexpr std::wstring_view kCategoryBrowser = L"browser";
inline constexpr std::wstring_view kCategorySocial = L"social";
inline constexpr std::wstring_view kCategoryGame = L"game";
inline constexpr std::wstring_view kCategoryMedia = L"media";
inline constexpr std::wstring_view kCategoryDev = L"dev";
inline constexpr std::wstring_view kCategoryOther = L"other";

// The AppCategory word of an executable name ("Unknown" included): the first category of the name
// table with a substring occurring anywhere in the lowercased name; "other" without a match.
std::wstring_view ClassifyProcess(std::wstring_view name);

// True for the categories whose UDP sockets may carry a voice call: "discord", "game", "social".
bool IsVoiceCapableCategory(std::wstring_view category);

// The role label of a row. protocol is "TCP4", "TCP6", "UDP4" or "UDP6"; remoteAddress is "*"
// without a peer and remotePort 0. An unknown category is labelled like "other".
std::wstring_view RoleLabel(std::wstring_view category, std::wstring_view protocol, std::wstring_view remoteAddress,
                            int32_t remotePort);

}  // namespace tolvane
