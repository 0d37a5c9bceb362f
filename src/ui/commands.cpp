// Input routing by face and the main view's commands. The order of the tests in each handler is
// the order in which overlapping targets win (the first hit wins), so it is kept exactly.
#include "ui/commands.h"

#include <algorithm>
#include <string>

#include "clipboard/copy_actions.h"
#include "settings/whole_characters.h"
#include "ui/main_window.h"

namespace tolvane {
namespace {

constexpr int32_t kRowHeight = 28;
constexpr int32_t kWheelNotch = 120;

Relaxed<bool> Settings::*const kToolbarToggles[6] = {&Settings::showLan,    &Settings::enableIpv6, &Settings::enableUdp,
                                                     &Settings::showSystem, &Settings::enablePing, &Settings::callOnly};

// The selected view row, or null when the selection is not a row of the view.
const ViewRow* SelectedRow(MainWindow& w) {
  const auto& rows = w.app().connectionView().ViewRows();
  const int32_t i = w.app().viewInputs().selectedRow;
  if (i < 0 || static_cast<size_t>(i) >= rows.size()) return nullptr;
  return &rows[static_cast<size_t>(i)];
}

// The view row under logical y inside the table, or -1.
int32_t TableRowAt(MainWindow& w, int32_t y) {
  const HitRect& table = w.state().hits[Slot::TableArea];
  const int32_t row = (y - table.top) / kRowHeight + w.app().viewInputs().scrollRow;
  const auto count = static_cast<int32_t>(w.app().connectionView().ViewRows().size());
  return row >= 0 && row < count ? row : -1;
}

void ToggleMaximize(MainWindow& w) {
  w.host().ShowWindow(w.host().IsZoomed() ? WindowShow::Restore : WindowShow::Maximize);
}

void LookupRow(MainWindow& w, const ConnectionRow& row) {
  if (LookupCommands* commands = w.app().lookupCommands()) commands->LookupRow(row);
  w.NoteLookupOpened();
}

void RePing(MainWindow& w, const ConnectionRow& row) {
  CopyFeedback& feedback = w.app().copyFeedback();
  if (!w.app().settings().enablePing) {
    feedback.ShowToast(L"Ping measurement is turned off in Settings");
    return;
  }
  const std::wstring& address = row.remoteAddress;
  // IPv6 addresses are not pinged (the ping service speaks IPv4 only).
  if (!address.empty() && address != L"*" && address.find(L':') == std::wstring::npos) {
    w.app().pingService().RequestPing(address);
    feedback.ShowToast(L"Pinging " + address + L"...");
  } else {
    feedback.ShowToast(L"Nothing to ping for this row");
  }
}

// The by-application view on or off (the APPLICATIONS card, Ctrl+G): saved, rebuilt, repainted.
void ToggleByApplication(MainWindow& w) {
  w.editor().ToolbarToggle(&Settings::byApp);
  w.FullRepaint();
}

// An application row's "Show sockets" (also its double click and Enter): back to the sockets,
// searching for the application's name.
void ShowSockets(MainWindow& w, const ViewRow& row) {
  const std::wstring name = row.processName.substr(0, kSearchTextLimit);  // the row goes with the rebuild
  ViewInputs& in = w.app().viewInputs();
  in.searchText = name;
  in.selectedRow = -1;
  w.app().connectionView().SetSelectedRowKey(L"");
  if (w.app().settings().byApp) w.editor().ToolbarToggle(&Settings::byApp);
  w.RebuildView();
  w.FullRepaint();
}

bool CopyApplicationIps(MainWindow& w, const ViewRow& row) {
  Application& app = w.app();
  return CopyAddressList(app.copyFeedback(), w.state().window, app.connectionView().RemoteAddressesOf(row));
}

void ToolbarRow(MainWindow& w, int32_t x, int32_t y) {
  const HitRectTable& h = w.state().hits;
  Application& app = w.app();
  ViewInputs& in = app.viewInputs();
  if (h[Slot::PasteButton].Contains(x, y)) {
    const std::wstring text = app.copyFeedback().GetClipboardText(w.state().window);
    if (!text.empty()) {
      in.searchText.clear();
      AppendWholeCharacters(in.searchText, std::wstring_view(text), kSearchTextLimit);
      w.RebuildView();
      app.copyFeedback().ShowToast(L"Pasted into search");
    }
  } else {
    for (int32_t i = 0; i < 3; ++i)
      if (h[Slot::ProtocolFilter + i].Contains(x, y)) in.protocolFilter = i;
    for (int32_t i = 0; i < 7; ++i)
      if (h[Slot::CategoryButton + i].Contains(x, y)) in.categoryFilter = in.categoryFilter == i ? 0 : i;
    for (int32_t i = 0; i < 6; ++i) {
      if (h[Slot::ToolbarToggle + i].Contains(x, y)) {
        w.editor().ToolbarToggle(kToolbarToggles[i]);  // saves; the first four also refresh
        break;
      }
    }
  }
  w.RebuildView();
  w.FullRepaint();
}

}  // namespace

// ---- Routing by face ---------------------------------------------------------------------------

void MainWindow::OnLButtonDown(int32_t deviceX, int32_t deviceY) {
  const int32_t x = static_cast<int32_t>(static_cast<float>(deviceX) / state_.uiScale);
  const int32_t y = static_cast<int32_t>(static_cast<float>(deviceY) / state_.uiScale);
  state_.mouseX = x;
  state_.mouseY = y;
  host_.SetFocus();
  switch (CurrentFace()) {
    case Face::LoadingScreen:
      EndSplash();
      FullRepaint();
      break;
    case Face::LookupPanel:
      LookupPanelClick(*this, x, y);
      FullRepaint();
      break;
    case Face::SettingsPanel:
      SettingsPanelClick(*this, x, y);
      FullRepaint();
      break;
    case Face::HistoryPanel:
      HistoryPanelClick(*this, x, y);
      FullRepaint();
      break;
    case Face::MainView:
      MainViewClick(*this, x, y);
      break;
  }
}

void MainWindow::OnLButtonDblClk(int32_t deviceX, int32_t deviceY) {
  const int32_t x = static_cast<int32_t>(static_cast<float>(deviceX) / state_.uiScale);
  const int32_t y = static_cast<int32_t>(static_cast<float>(deviceY) / state_.uiScale);
  switch (CurrentFace()) {
    case Face::LoadingScreen:
      EndSplash();
      FullRepaint();
      break;
    case Face::LookupPanel:
    case Face::SettingsPanel:
    case Face::HistoryPanel:
      break;  // a panel takes no double click
    case Face::MainView:
      MainViewDoubleClick(*this, x, y);
      break;
  }
}

void MainWindow::OnMouseWheel(int32_t wheelDelta) {
  const Face face = CurrentFace();
  if (face == Face::HistoryPanel) return HistoryPanelWheel(*this, wheelDelta);
  if (face != Face::MainView) return;  // dropped behind a panel or the loading screen
  MainViewWheel(*this, wheelDelta);
}

void MainWindow::OnKeyDown(uint32_t key, bool ctrl, bool shift) {
  state_.swallowChar = false;  // only the character of the key just pressed is ever dropped
  const Face face = CurrentFace();
  if (face == Face::LoadingScreen) {
    EndSplash();
    FullRepaint();
    return;
  }
  if (ctrl && key == Key::H) {
    state_.swallowChar = true;  // Ctrl+H types a Backspace
    if (face == Face::HistoryPanel) {
      state_.historyOpen = false;
    } else {
      ShowHistoryPanel();
    }
    FullRepaint();
    return;
  }
  if (key == Key::Escape) {
    if (face == Face::HistoryPanel) {
      state_.historyOpen = false;
    } else if (face == Face::LookupPanel) {
      const int32_t box = static_cast<int32_t>(TextFieldId::kLookup);
      if (editor_.focusedField != box || editor_.lookupText.empty()) app_.currentLookup().panelOpen.exchange(false);
      editor_.focusedField = kNoField;
    } else if (face == Face::SettingsPanel) {
      if (editor_.focusedField < 0) state_.settingsOpen = false;
      editor_.focusedField = kNoField;
    } else {
      state_.searchFocused = false;
      app_.viewInputs().searchText.clear();
      RebuildView();
    }
    FullRepaint();
    return;
  }
  if (face == Face::LookupPanel) {
    LookupPanelKey(*this, key, ctrl);
    FullRepaint();
    return;
  }
  if (face == Face::HistoryPanel) {
    HistoryPanelKey(*this, key);
    return;
  }
  if (ctrl && key == Key::V) {
    const std::wstring text = app_.copyFeedback().GetClipboardText(state_.window);
    if (!text.empty()) {
      if (face == Face::SettingsPanel) {
        if (editor_.focusedField >= 0) editor_.FieldInsert(static_cast<TextFieldId>(editor_.focusedField), text);
      } else {
        std::wstring& search = app_.viewInputs().searchText;
        if (!state_.searchFocused) search.clear();
        AppendWholeCharacters(search, std::wstring_view(text), kSearchTextLimit);
        state_.searchFocused = true;
        RebuildView();
      }
    }
    FullRepaint();
    return;
  }
  if (face == Face::SettingsPanel) {
    SettingsPanelKey(*this, key, ctrl);
    FullRepaint();
    return;
  }
  if (MainViewKey(*this, key, ctrl, shift)) FullRepaint();
}

void MainWindow::OnChar(wchar_t c) {
  if (state_.swallowChar) {
    state_.swallowChar = false;
    return;
  }
  switch (CurrentFace()) {
    case Face::LoadingScreen:
    case Face::HistoryPanel:
      break;  // typing only ends the loading screen through its key-down; the history takes none
    case Face::LookupPanel:
      LookupPanelChar(*this, c);
      break;
    case Face::SettingsPanel:
      SettingsPanelChar(*this, c);
      break;
    case Face::MainView:
      MainViewChar(*this, c);
      break;
  }
}

// ---- Main view ---------------------------------------------------------------------------------

void MainViewClick(MainWindow& w, int32_t x, int32_t y) {
  AppState& s = w.state();
  const HitRectTable& h = s.hits;
  Application& app = w.app();
  CopyFeedback& feedback = app.copyFeedback();
  const Settings& settings = app.settings();
  auto hit = [&](int32_t slot) { return h[slot].Contains(x, y); };

  if (hit(Slot::CloseButton)) {
    w.OnClose();
    return w.host().DestroyWindow();
  }
  if (hit(Slot::MinimizeButton)) return w.host().ShowWindow(WindowShow::Minimize);
  if (hit(Slot::MaximizeButton)) return ToggleMaximize(w);
  for (int32_t i = 0; i < 10; ++i) {
    if (hit(Slot::HeaderThemeSwatch + i)) {
      w.editor().SelectTheme(i);
      return w.FullRepaint();
    }
  }
  if (hit(Slot::LookupButton)) {
    w.ShowLookupPanel();
    return w.FullRepaint();
  }
  if (hit(Slot::SettingsButton)) {
    s.settingsOpen = true;
    s.searchFocused = false;
    w.editor().focusedField = kNoField;
    return w.FullRepaint();
  }
  if (hit(Slot::PauseButton)) {
    s.capturePaused = !s.capturePaused;
    feedback.ShowToast(s.capturePaused ? L"Capture paused" : L"Capture resumed");
    return w.FullRepaint();
  }
  if (hit(Slot::RefreshButton)) {
    w.RequestRefreshNow();
    feedback.ShowToast(L"Refreshing...");
    return w.FullRepaint();
  }
  if (hit(Slot::ExportButton)) {
    ExportView(w);
    return w.FullRepaint();
  }
  if (hit(Slot::CallCopyAll)) {
    app.callList().CopyAllCallIps(feedback, s.window);
    return w.FullRepaint();
  }
  if (hit(Slot::CallHistory)) {
    w.ShowHistoryPanel();
    return w.FullRepaint();
  }
  const auto& calls = app.callList().Entries();
  const int32_t cards = static_cast<int32_t>(std::min<size_t>(4, calls.size()));
  for (int32_t i = 0; i < cards; ++i) {
    const CallEndpoint& entry = calls[static_cast<size_t>(i)];
    if (hit(Slot::CallInfo + i)) {
      if (LookupCommands* commands = app.lookupCommands()) commands->LookupCallEndpoint(entry);
      w.NoteLookupOpened();
      return w.FullRepaint();
    }
    if (hit(Slot::CallCopyEndpoint + i)) {
      CopyCallEndpoint(feedback, settings, s.window, entry);
      return w.FullRepaint();
    }
    if (hit(Slot::CallCopyIp + i) || hit(Slot::CallCard + i)) {
      CopyCallIp(feedback, settings, s.window, entry);
      return w.FullRepaint();
    }
  }
  if (hit(Slot::AppsCard)) return ToggleByApplication(w);
  for (int32_t k = 0; k < 5; ++k) {
    if (hit(Slot::SortHeader + k)) {
      ViewInputs& in = app.viewInputs();
      if (in.sortKey == k) {
        in.sortAscending = !in.sortAscending;
      } else {
        in.sortKey = k;
        in.sortAscending = k != 4;  // the busiest connections first
      }
      w.RebuildView();
      return w.FullRepaint();
    }
  }
  if (const ViewRow* row = SelectedRow(w); row != nullptr && row->app.connections > 0) {
    if (hit(Slot::DetailsLookup)) return ShowSockets(w, *row);
    if (hit(Slot::DetailsCopyIp)) {
      CopyApplicationIps(w, *row);
      return;
    }
  } else if (row != nullptr) {
    if (hit(Slot::DetailsLookup)) {
      LookupRow(w, *row);
      return w.FullRepaint();
    }
    if (hit(Slot::DetailsCopyIp)) {
      CopyRowIp(feedback, settings, s.window, *row);
      return;
    }
    if (hit(Slot::DetailsCopyEndpoint)) {
      CopyRowEndpoint(feedback, settings, s.window, *row);
      return;
    }
    if (hit(Slot::DetailsRePing)) {
      RePing(w, *row);
      return w.FullRepaint();
    }
  }
  if (hit(Slot::TableArea)) {
    const int32_t row = TableRowAt(w, y);
    if (row >= 0) {
      w.SelectRow(row);
      // The remote-address column, between the edges the table painter recorded; an application
      // row has no one address there.
      const ViewRow& clicked = app.connectionView().ViewRows()[static_cast<size_t>(row)];
      if (x >= s.remoteColumnLeft - 6 && x < s.remoteColumnEnd && clicked.app.connections == 0) LookupRow(w, clicked);
    }
    s.searchFocused = false;
    return w.FullRepaint();
  }
  if (y < 54 && x > 140) return w.host().BeginDrag();  // the title band outside its controls
  if (hit(Slot::SearchBox)) {
    s.searchFocused = true;
    return w.FullRepaint();
  }
  s.searchFocused = false;
  ToolbarRow(w, x, y);
}

void MainViewDoubleClick(MainWindow& w, int32_t x, int32_t y) {
  const HitRectTable& h = w.state().hits;
  // Only the band's empty parts: on a swatch or a button the first click did all there is to do.
  if (y < 56 && x > 150 && HitTest(h, Face::MainView, x, y) == Slot::None) return ToggleMaximize(w);
  if (!h[Slot::TableArea].Contains(x, y)) return;
  const int32_t row = TableRowAt(w, y);
  if (row < 0) return;
  w.SelectRow(row);
  Application& app = w.app();
  const ViewRow& clicked = app.connectionView().ViewRows()[static_cast<size_t>(row)];
  if (clicked.app.connections > 0) return ShowSockets(w, clicked);
  CopyRowEndpoint(app.copyFeedback(), app.settings(), w.state().window, clicked);
  w.FullRepaint();
}

void MainViewWheel(MainWindow& w, int32_t wheelDelta) {
  const int32_t notches = wheelDelta / kWheelNotch;  // truncated: a partial notch scrolls nothing
  ViewInputs& in = w.app().viewInputs();
  in.scrollRow = std::max(0, in.scrollRow - notches * w.app().settings().scrollSpeed.load());
  w.FullRepaint();  // the table painter applies the upper bound
}

bool MainViewKey(MainWindow& w, uint32_t key, bool ctrl, bool shift) {
  AppState& s = w.state();
  Application& app = w.app();
  const auto rows = static_cast<int32_t>(app.connectionView().ViewRows().size());
  if (ctrl && key == Key::L) {
    w.ShowLookupPanel();
  } else if (ctrl && key == Key::F) {
    s.searchFocused = true;
  } else if (key == Key::F2) {
    s.settingsOpen = true;
    s.searchFocused = false;
    w.editor().focusedField = kNoField;
  } else if (key == Key::F5) {
    w.RequestRefreshNow();
    app.copyFeedback().ShowToast(L"Refreshing...");
  } else if (key == Key::Down) {
    if (rows > 0) w.SelectRow(std::min(app.viewInputs().selectedRow + 1, rows - 1));
  } else if (key == Key::Up) {
    if (rows > 0) w.SelectRow(std::max(app.viewInputs().selectedRow - 1, 0));
  } else if (ctrl && key == Key::G) {
    ToggleByApplication(w);
    s.swallowChar = true;
  } else if (key == Key::Enter) {
    if (const ViewRow* row = SelectedRow(w)) {
      if (row->app.connections > 0) {
        ShowSockets(w, *row);
      } else {
        LookupRow(w, *row);
      }
    }
  } else if (ctrl && key == Key::S) {
    ExportView(w);
  } else if (ctrl && shift && key == Key::C) {
    CopyViewTable(w);
  } else if (ctrl && key == Key::C) {
    if (const ViewRow* row = SelectedRow(w)) {
      if (row->app.connections > 0) {
        CopyApplicationIps(w, *row);
      } else {
        CopyRowEndpoint(app.copyFeedback(), app.settings(), s.window, *row);
      }
    } else if (!app.callList().Entries().empty()) {
      CopyCallIp(app.copyFeedback(), app.settings(), s.window, app.callList().Entries().front());
    }
  } else {
    return false;
  }
  return true;
}

void MainViewChar(MainWindow& w, wchar_t c) {
  // The characters of the Ctrl shortcuts (Ctrl+S types DC3, Ctrl+Shift+C ETX) type nothing.
  if (!w.state().searchFocused || (static_cast<uint32_t>(c) < 32 && c != L'\b')) return;
  std::wstring& search = w.app().viewInputs().searchText;
  if (c == L'\b') {
    EraseLastCharacter(search);
  } else {
    AppendWholeCharacters(search, std::wstring_view(&c, 1), kSearchTextLimit);
  }
  w.RebuildView();
  w.FullRepaint();
}

}  // namespace tolvane
