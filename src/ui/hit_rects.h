// HitRectTable: every clickable rectangle of the window, one fixed array in a fixed order. The
// painters fill their slots while they draw; the window tests points against them (HitTest) and the
// commands test slots by name. The order decides which slot HitTest reports where two overlap,
// except that the container slots (call cards, the settings card, the overlay backdrop, the lookup
// card and the history card) are tested after every other slot of the face, so a button inside a card wins.
//
// The TextField group is the text-field table of the drawing primitives: TextField(id) writes the
// slot Slot::TextField + id. Main thread only.
#pragma once

#include <array>
#include <cstdint>

#include "appearance/draw.h"

namespace tolvane {

// Slot indices. A group of n slots is addressed as its first slot + i.
namespace Slot {
enum : int32_t {
  // Main-view groups.
  CloseButton = 0,
  MinimizeButton,
  MaximizeButton,
  PauseButton,
  RefreshButton,
  SettingsButton,
  LookupButton,
  DetailsCopyIp,
  DetailsCopyEndpoint,
  DetailsRePing,
  DetailsLookup,
  HeaderThemeSwatch,  // 10
  SearchBox = HeaderThemeSwatch + 10,
  PasteButton,
  ProtocolFilter,                       // 3: "All", "TCP", "UDP"
  CategoryButton = ProtocolFilter + 3,  // 7: "All" … "Dev"
  ToolbarToggle = CategoryButton + 7,   // 6: "LAN", "IPv6", "UDP", "System", "Ping", "Call IPs"
  SortHeader = ToolbarToggle + 6,       // 5: APPLICATION, REMOTE, LATENCY, STATE, TRAFFIC
  TableArea = SortHeader + 5,
  CallCard,  // 4 each: card i shows call entry i
  CallCopyIp = CallCard + 4,
  CallCopyEndpoint = CallCopyIp + 4,
  CallInfo = CallCopyEndpoint + 4,
  CallCopyAll = CallInfo + 4,
  AppsCard,      // the APPLICATIONS stat card: the by-application switch
  CallHistory,   // the call panel's "History" button
  ExportButton,  // "Export…" at the right end of the status line
  // Settings groups.
  SettingsCard,
  SettingsClose,
  SettingsDone,
  SettingsReset,
  OverlayBackdrop,
  SettingsTab,                                // 5
  TextField = SettingsTab + 5,                // 20, by TextFieldId; 19 is the lookup box
  SettingsThemeSwatch = TextField + 20,       // 10
  SettingsToggle = SettingsThemeSwatch + 10,  // 16
  RefreshPreset = SettingsToggle + 16,        // 5
  ScrollPreset = RefreshPreset + 5,           // 3
  CustomThemeSlot = ScrollPreset + 3,         // 5
  AddColour = CustomThemeSlot + 5,
  RemoveColour,
  DirectionChoice,  // 3
  TextModeButton = DirectionChoice + 3,
  ColourSlot,                            // 8
  QuickGradientPreset = ColourSlot + 8,  // 8
  AccentPick = QuickGradientPreset + 8,
  SplashDelayPreset,  // 8
  SplashImagePick = SplashDelayPreset + 8,
  SplashSoundPick,
  SplashSoundTest,
  SplashImageClear,
  SplashSoundClear,
  SplashPreview,
  BackgroundPick,
  BackgroundClear,
  BgSoundPick,
  BgSoundPlay,
  BgSoundClear,
  DimPreset,                     // 6
  VolumePreset = DimPreset + 6,  // 5
  // Lookup groups.
  LookupCard = VolumePreset + 5,
  LookupClose,
  LookupCopyIp,
  LookupCopyAll,
  LookupOpenMap,
  LookupRefresh,
  LookupGo,
  RecentLookup,  // 8
  // History groups.
  HistoryCard = RecentLookup + 8,
  HistoryClose,
  HistoryCopyIp,                     // 16: the rows drawn, top to bottom
  HistoryInfo = HistoryCopyIp + 16,  // 16
  Count = HistoryInfo + 16,
  None = -1,
};
}  // namespace Slot

inline constexpr int32_t kMainViewFirstSlot = Slot::CloseButton;
inline constexpr int32_t kMainViewLastSlot = Slot::ExportButton;
inline constexpr int32_t kSettingsFirstSlot = Slot::SettingsCard;
inline constexpr int32_t kSettingsLastSlot = Slot::VolumePreset + 4;
inline constexpr int32_t kLookupFirstSlot = Slot::LookupCard;
inline constexpr int32_t kLookupLastSlot = Slot::RecentLookup + 7;
inline constexpr int32_t kLookupBoxSlot = Slot::TextField + 19;
inline constexpr int32_t kHistoryFirstSlot = Slot::HistoryCard;
inline constexpr int32_t kHistoryLastSlot = Slot::Count - 1;
inline constexpr int32_t kHistoryRowSlots = 16;

struct HitRectTable {
  std::array<HitRect, Slot::Count> slots{};

  HitRect& operator[](int32_t slot) { return slots[static_cast<size_t>(slot)]; }
  const HitRect& operator[](int32_t slot) const { return slots[static_cast<size_t>(slot)]; }
  // The TextField group, for the DrawContext of a paint.
  HitRect* TextFields() { return &slots[Slot::TextField]; }
};

// Which face is shown, for HitTest (the loading screen has no slots and takes no hover).
enum class Face { MainView, SettingsPanel, LookupPanel, LoadingScreen, HistoryPanel };

// True for CallCard 0-3, SettingsCard, OverlayBackdrop, LookupCard and HistoryCard.
bool IsContainerSlot(int32_t slot);

// The first present slot of the face, in table order, that contains (x, y); container slots only
// after every other slot of the scan. Lookup panel: the lookup groups, then the lookup box.
// Settings panel: SettingsCard through VolumePreset. History panel: its own group. Main view:
// CloseButton through ExportButton.
// Slot::None when nothing matches (always for the loading screen).
int32_t HitTest(const HitRectTable& table, Face face, int32_t x, int32_t y);

}  // namespace tolvane
