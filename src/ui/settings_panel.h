// The settings panel: a modal card drawn over the still picture of the main view, with five tabs
// ("General", "Discord & Copy", "Themes", "Background", "Loading screen") through which every
// setting is changed, applied and saved at once (there is no Cancel).
//
// Like every painter, DrawSettingsPanel records the rectangles of what it draws in AppState::hits;
// it first marks every settings slot absent, so a control of another tab can never be clicked.
// The toggle switches also record which setting each one flips (AppState::settingsToggleFields).
// The click handler (SettingsPanelClick) tests those slots in a fixed order and carries the
// command out through the settings editor, its effects (media and sounds) and the window host's
// colour and file dialogs. Keys and typed characters edit the focused text field.
//
// Coordinates are logical pixels; the panel is 780 x 668, centred, and pinned to the top (y 10)
// when the client area is too low to centre it. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "appearance/draw.h"
#include "appearance/theme.h"
#include "capture/call_list.h"
#include "clipboard/toast.h"
#include "settings/settings.h"
#include "settings/settings_editing.h"
#include "ui/app_state.h"
#include "ui/paint_window.h"
#include "ui/window_host.h"

namespace tolvane {

class MainWindow;

inline constexpr int32_t kSettingsPanelWidth = 780;
inline constexpr int32_t kSettingsPanelHeight = 668;
inline constexpr int32_t kSettingsTabCount = 5;

// What one paint of the panel reads besides AppState.
struct SettingsPanelSources {
  const Settings& settings;
  const ThemeEngine& themes;
  const CallList& calls;          // the first entry feeds the template previews
  int32_t editedCustomTheme = 0;  // 0..4
  std::wstring_view customDelayText;
  std::wstring backgroundStatus;  // the media's status line; shown only while bgPath is set
  bool backgroundSoundPlaying = false;
  bool loadingSoundPlaying = false;
  std::wstring settingsFile;  // where the settings are saved, as the platform names it
};

// The sources of a running window (the media's state read now through the editor's effects).
SettingsPanelSources SettingsPanelSourcesOf(MainWindow& w);
SettingsPanelSources SettingsPanelSourcesOf(const Settings& settings, const ThemeEngine& themes, const CallList& calls,
                                            SettingsEditor& editor);
// Installs the panel's painter into the compositor's seam; it reads w at every paint.
void AddSettingsPanelPainter(MainWindow& w, PanelPainters& panels);

// The panel's top-left corner for a client area of W x H logical pixels.
struct PanelOrigin {
  int32_t x = 0, y = 0;
};
PanelOrigin SettingsPanelOrigin(int32_t W, int32_t H);

// What the panel's clicks act on: the window's state and host, the settings with their editor
// (whose effects are the media and sounds), the toast, and the loading screen's start for the
// preview. SettingsPanelClick (ui/commands.h) makes one from the window.
struct SettingsPanelTarget {
  AppState& state;
  Settings& settings;
  const ThemeEngine& themes;
  SettingsEditor& editor;
  WindowHost& host;
  Toast& toast;
  std::function<void()> startSplash;
};
// The click of the panel at logical (x, y), tested in this order: close and "Done", "Reset
// defaults", the tabs, the text fields, then the controls of the tab; a click beside the card
// closes the panel. Every click that does not land on a text field drops the text focus.
void SettingsPanelClickOn(SettingsPanelTarget& target, int32_t x, int32_t y);

// One switch of a grid: its label and the setting it flips.
struct ToggleItem {
  std::wstring_view label;
  Relaxed<bool> Settings::*field;
};

// Switch i lies in column i / perColumn and row i % perColumn, at
// (x + (columnWidth + 12) * column, y + 32 * row); each records a slot columnWidth x 30 with its
// setting (up to kSettingsToggleSlots per paint) and draws a track, a knob and its label.
void ToggleSwitchGrid(DrawContext& dc, AppState& state, const Settings& settings, std::span<const ToggleItem> items,
                      int32_t x, int32_t y, int32_t columnWidth, int32_t perColumn);

// The scrim over the window, the card, its frame and the tab state.selectedTab.
void DrawSettingsPanel(DrawContext& dc, AppState& state, const SettingsPanelSources& sources, int32_t W, int32_t H);

// True when a status line is drawn as a warning (it reports a problem or that something is not
// there), in either letter case.
bool IsWarningStatus(std::wstring_view status);

// The preview under a copy template: the first call entry, or a sample while the list is empty.
std::wstring IpTemplatePreview(const Settings& settings, const CallList& calls);
std::wstring EndpointTemplatePreview(const Settings& settings, const CallList& calls);

}  // namespace tolvane
