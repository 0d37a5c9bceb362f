// The history panel: the call servers remembered (capture/call_servers.h), newest first under a
// heading per day, each with its time span, place, address, median latency, "Copy IP" and "Info".
//
// It is drawn like the lookup panel (scrim, card, header with a close button) and is a face of its
// own: its clicks, wheel and keys are HistoryPanelClick, HistoryPanelWheel and HistoryPanelKey
// (ui/commands.h); typed characters go nowhere. "Info" opens the lookup panel over it; closing
// the lookup panel shows the history again. The painter clears the panel's slots and records only
// the rows it draws, with the address of each (AppState::historyRowAddress). Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "appearance/draw.h"
#include "capture/call_servers.h"
#include "clipboard/copy_feedback.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "ui/app_state.h"

namespace tolvane {

class MainWindow;

inline constexpr int32_t kHistoryPanelWidth = 720;
inline constexpr int32_t kHistoryDayHeight = 30;
inline constexpr int32_t kHistoryRowHeight = 38;
inline constexpr int32_t kHistoryWheelLines = 3;

// One line of the list: a day's heading or a server.
struct HistoryLine {
  bool day = false;
  std::wstring heading;                      // "Today", "Yesterday", "Mon 29 Apr 2024"
  const CallServerRecord* record = nullptr;  // the server (day = false)
};

// The records newest first (by last seen), a heading before each local day's first; the pointers
// refer into records.
std::vector<HistoryLine> HistoryLines(const std::vector<CallServerRecord>& records, Clock& clock);
// "14:03 \u2013 14:41"; with the first day when the span crosses midnight: "28 Apr 23:50 \u2013 00:41".
std::wstring HistorySpanText(const CallServerRecord& record, Clock& clock);

struct HistoryPanelSources {
  const CallServers& servers;
  const Settings& settings;
  CopyFeedback& copyFeedback;  // the copied marker behind "Copied ✓"
  Clock& clock;
  bool demo = false;
};

// The card's height for a client area H logical pixels high, and its corner.
int32_t HistoryPanelHeight(int32_t H);
int32_t HistoryPanelX(int32_t W);
int32_t HistoryPanelY(int32_t H);

// Draws the panel over the whole client area (W x H logical) and records its hit slots; clamps
// state.historyScroll to the list.
void DrawHistoryPanel(DrawContext& dc, AppState& state, const HistoryPanelSources& sources, int32_t W, int32_t H);

// The panel of the running window.
void PaintHistoryPanel(DrawContext& dc, MainWindow& window, int32_t W, int32_t H);

}  // namespace tolvane
