// AppState: the main thread's user-interface state of the window, plain data.
//
// Some of the window's state already has an owner elsewhere and is not repeated here:
// - the search text, the protocol and category filters, the sort, selectedRow, scrollRow and
//   animateUntil are the ViewInputs the connection view is rebuilt from (Application::viewInputs);
// - viewDirty and refreshNow are the RefreshControl shared with the refresh thread
//   (Application::refreshControl);
// - focusedField and editedCustomTheme are kept by the settings editor;
// - the lookup panel's open flag is CurrentLookup::panelOpen (atomic, read by the ping thread).
// windowVisible is read by the video thread, so it is atomic; everything else is main thread only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "monitor/refresh.h"
#include "ui/hit_rects.h"

namespace tolvane {

inline constexpr int32_t kSettingsToggleSlots = 16;

struct AppState {
  uintptr_t window = 0;  // the main window's handle, stored at creation
  float uiScale = 1.0f;  // LOGPIXELSY / 96, at least 1

  bool splashActive = true;  // the loading screen shows; cleared at creation
  int64_t splashStart = 0;   // monotonic ns
  bool settingsOpen = false;
  int32_t selectedTab = 0;  // settings tab 0-4, kept while the panel is closed
  bool searchFocused = false;
  bool historyOpen = false;   // the call-server history; the lookup panel may be open over it
  int32_t historyScroll = 0;  // first line of the history's list shown; the painter clamps it
  // The rows the history panel drew at its last paint: row k's "Copy IP" (Slot::HistoryCopyIp + k)
  // and "Info" act on historyRowAddress[k] with historyRowPort[k].
  std::array<std::wstring, kHistoryRowSlots> historyRowAddress;
  std::array<int32_t, kHistoryRowSlots> historyRowPort{};

  int32_t pageRows = 10;  // table rows that fit, written by the table painter
  // The edges of the remote-address column, recorded by the table painter: a click from
  // remoteColumnLeft - 6 up to (not including) remoteColumnEnd is on the remote address.
  int32_t remoteColumnLeft = 574;
  int32_t remoteColumnEnd = 0;

  int32_t mouseX = -1, mouseY = -1;  // logical; -1 when the mouse left the window
  int32_t hoverRegion = Slot::None;  // slot under the mouse at the last move
  int32_t hoverRow = -2;             // -1 none; -2 before the first move and after leaving

  bool capturePaused = false;   // "Pause": snapshots are no longer applied to the view
  ViewPickup pickup;            // seenSnapshotCount, seenPingCount
  int32_t caretPhase = -1;      // (ms since boot / 500) mod 2 at the last UI tick
  int64_t lastSecond = 0;       // ms since boot / 1000 at the last UI tick
  bool copyFlashOn = false;     // a "Copied ✓" label is showing
  bool rowFadeTimerOn = false;  // TIMER_ROWFADE runs
  std::wstring splashMessage;   // the loading sound's error, shown when the loading screen ends
  bool swallowChar = false;     // the key just handled was a shortcut: drop the character it types
  int32_t iconTheme = -1;       // theme and ThemeRevision the window icons were made for
  int64_t iconThemeRevision = -1;
  bool fullRepaint = true;                // the next paint redraws everything
  std::atomic<bool> windowVisible{true};  // not minimized

  // The switches the settings panel drew at its last paint: switch i has the slot
  // Slot::SettingsToggle + i and flips the field settingsToggleFields[i].
  std::array<Relaxed<bool> Settings::*, kSettingsToggleSlots> settingsToggleFields{};
  int32_t settingsToggleCount = 0;

  HitRectTable hits;
};

}  // namespace tolvane
