// The commands of the mouse and the keyboard, per face. MainWindow's input methods turn the
// message into logical coordinates, pick the face (loading screen, lookup panel, history panel, settings panel,
// main view, in that precedence) and call one of these; each carries out its command through the
// operations of the subsystems that own the data and asks the window for the repaint it needs.
//
// The lookup panel's clicks, keys and characters are in ui/lookup_commands.cpp. The settings
// panel's own tables are filled in with that panel; until then its handlers below take the input
// and do nothing, so the routing (who gets the input while a panel is open) already holds. Main
// thread only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvane {

class MainWindow;

// Main view. x, y are logical pixels.
void MainViewClick(MainWindow& w, int32_t x, int32_t y);
void MainViewDoubleClick(MainWindow& w, int32_t x, int32_t y);
void MainViewWheel(MainWindow& w, int32_t wheelDelta);
// The main view's key table (after the rules shared by every face); false for a key it ignores.
bool MainViewKey(MainWindow& w, uint32_t key, bool ctrl, bool shift);
void MainViewChar(MainWindow& w, wchar_t c);

// The export (ui/export_commands.cpp). Ctrl+S and the status line's "Export…": the save dialog,
// then the connection view and the call list written as CSV or JSON; a toast tells how it went.
void ExportView(MainWindow& w);
// Ctrl+Shift+C: the view's rows as tab-separated text with a header row on the clipboard.
void CopyViewTable(MainWindow& w);

// The lookup panel (x, y logical). The router repaints after a click and a key; LookupPanelKey
// sees every key but Escape, whose two steps (unfocus a filled box, then close) the router takes.
// LookupPanelChar repaints itself when the lookup box has the focus.
void LookupPanelClick(MainWindow& w, int32_t x, int32_t y);
void LookupPanelKey(MainWindow& w, uint32_t key, bool ctrl);
void LookupPanelChar(MainWindow& w, wchar_t c);

// The history panel (ui/history_panel.cpp). The router repaints after a click; the wheel and the
// keys repaint what they change. Escape and Ctrl+H are the router's.
void HistoryPanelClick(MainWindow& w, int32_t x, int32_t y);
void HistoryPanelWheel(MainWindow& w, int32_t wheelDelta);
void HistoryPanelKey(MainWindow& w, uint32_t key);

// The settings panel (ui/settings_panel.cpp).
void SettingsPanelClick(MainWindow& w, int32_t x, int32_t y);
void SettingsPanelKey(MainWindow& w, uint32_t key, bool ctrl);
void SettingsPanelChar(MainWindow& w, wchar_t c);

// The search text's limit in characters.
inline constexpr size_t kSearchTextLimit = 60;

}  // namespace tolvane
