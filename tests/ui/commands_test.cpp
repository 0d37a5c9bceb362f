// The main view's mouse and keyboard commands through the state machine with fakes, and the
// routing by face: the loading screen swallows input, a panel takes every key and click.
#include "ui/commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "fakes/fake_name_resolution.h"
#include "fakes/recording_poster.h"
#include "settings/settings_file.h"
#include "ui/window_fixture.h"

namespace tolvane {
namespace {

// U+1F600 as its two UTF-16 units, held in wchar_t on every platform.
const std::wstring kEmoji{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};

class CommandsTest : public WindowFixture {
 protected:
  CommandsTest() {
    app.AttachLookupPoster(std::make_shared<FakeNameResolver>(), std::make_shared<RecordingPoster>());
    HitRectTable& h = window.state().hits;
    h[Slot::CloseButton].Set(16, 16, 40, 40);
    h[Slot::MaximizeButton].Set(80, 16, 104, 40);
    h[Slot::PauseButton].Set(900, 12, 980, 44);
    h[Slot::RefreshButton].Set(990, 12, 1070, 44);
    h[Slot::SettingsButton].Set(1080, 12, 1160, 44);
    h[Slot::LookupButton].Set(1170, 12, 1250, 44);
    h[Slot::HeaderThemeSwatch + 3].Set(700, 20, 716, 36);
    h[Slot::SearchBox].Set(24, 300, 400, 330);
    h[Slot::PasteButton].Set(410, 300, 470, 330);
    for (int32_t i = 0; i < 3; ++i) h[Slot::ProtocolFilter + i].Set(480 + 50 * i, 300, 520 + 50 * i, 330);
    for (int32_t i = 0; i < 7; ++i) h[Slot::CategoryButton + i].Set(640 + 60 * i, 300, 690 + 60 * i, 330);
    for (int32_t i = 0; i < 6; ++i) h[Slot::ToolbarToggle + i].Set(24 + 60 * i, 340, 74 + 60 * i, 360);
    for (int32_t k = 0; k < 5; ++k) h[Slot::SortHeader + k].Set(24 + 200 * k, 372, 200 + 200 * k, 396);
    h[Slot::TableArea].Set(24, 400, 1200, 700);
    h[Slot::DetailsRePing].Set(1210, 400, 1300, 430);
    h[Slot::CallCard].Set(24, 64, 300, 220);
    h[Slot::CallCopyIp].Set(40, 180, 110, 210);
    h[Slot::CallCopyEndpoint].Set(120, 180, 190, 210);
    window.state().remoteColumnLeft = 574;
    window.state().remoteColumnEnd = 810;
  }

  // Three table rows (sorted by application: a, b, c) and one call.
  void ThreeRows() {
    PublishAndSettle({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443), MakeRow(L"b.exe", L"TCP6", L"2606:4700::1", 443),
                      MakeRow(L"c.exe", L"UDP4", L"3.3.3.3", 3478)});
  }
  void Click(int32_t x, int32_t y) { window.OnLButtonDown(x, y); }
  void Key(uint32_t key, bool ctrl = false) { window.OnKeyDown(key, ctrl); }
  std::wstring Toast() { return app.copyFeedback().toast().text(); }
  ViewInputs& In() { return app.viewInputs(); }
};

TEST_F(CommandsTest, WheelScrollsWholeNotchesTimesTheSpeedAndStopsAtTheTop) {
  app.settings().scrollSpeed = 3;
  struct Case {
    int32_t start, delta, want;
  } cases[] = {
      {0, -119, 0},                              // less than a notch: nothing
      {0, -120, 3}, {0, -240, 6}, {0, -359, 6},  // partial notches are dropped
      {5, 120, 2},  {2, 120, 0},  {2, 480, 0},   // never above the first row
      {4, 119, 4},
  };
  for (const Case& c : cases) {
    In().scrollRow = c.start;
    window.OnMouseWheel(c.delta);
    EXPECT_EQ(In().scrollRow, c.want) << c.start << " " << c.delta;
  }
  window.state().settingsOpen = true;  // behind a panel the wheel is dropped
  In().scrollRow = 0;
  window.OnMouseWheel(-240);
  EXPECT_EQ(In().scrollRow, 0);
}

TEST_F(CommandsTest, CategoryButtonTogglesBackToAllAndProtocolFilterSelects) {
  ThreeRows();
  Click(720, 310);  // category 1 "Discord"
  EXPECT_EQ(In().categoryFilter, 1);
  Click(845, 310);  // category 3
  EXPECT_EQ(In().categoryFilter, 3);
  Click(845, 310);  // again: back to "All"
  EXPECT_EQ(In().categoryFilter, 0);
  Click(590, 310);  // protocol "UDP"
  EXPECT_EQ(In().protocolFilter, 2);
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"3.3.3.3"});  // rebuilt at once
}

TEST_F(CommandsTest, SortHeaderFlipsTheSortedColumnAndSortsANewOneAscending) {
  ThreeRows();
  Click(100, 380);  // APPLICATION, already sorted ascending
  EXPECT_EQ(In().sortKey, 0);
  EXPECT_FALSE(In().sortAscending);
  EXPECT_EQ(ViewAddresses(), (std::vector<std::wstring>{L"3.3.3.3", L"2606:4700::1", L"1.1.1.1"}));
  Click(500, 380);  // another column, "LATENCY": ascending
  EXPECT_EQ(In().sortKey, 2);
  EXPECT_TRUE(In().sortAscending);
  Click(300, 380);
  EXPECT_EQ(In().sortKey, 1);
  EXPECT_TRUE(In().sortAscending);
  Click(900, 380);  // "TRAFFIC": the busiest first
  EXPECT_EQ(In().sortKey, 4);
  EXPECT_FALSE(In().sortAscending);
}

TEST_F(CommandsTest, ArrowKeysMoveTheSelectionWithinTheView) {
  Key(Key::Down);  // an empty table: nothing
  EXPECT_EQ(In().selectedRow, -1);
  ThreeRows();
  Key(Key::Down);  // no selection: the first row
  EXPECT_EQ(In().selectedRow, 0);
  Key(Key::Up);  // on row 0: stays
  EXPECT_EQ(In().selectedRow, 0);
  Key(Key::Down);
  Key(Key::Down);
  Key(Key::Down);  // the last row: stays
  EXPECT_EQ(In().selectedRow, 2);
  Key(Key::Up);
  EXPECT_EQ(In().selectedRow, 1);
  In().selectedRow = -1;
  Key(Key::Up);  // no selection, Up: row 0
  EXPECT_EQ(In().selectedRow, 0);
}

TEST_F(CommandsTest, EscapeClearsTheSearchEvenWhenTheBoxIsNotFocused) {
  ThreeRows();
  In().searchText = L"b.exe";
  window.RebuildView();
  window.state().searchFocused = false;
  Key(Key::Escape);
  EXPECT_TRUE(In().searchText.empty());
  EXPECT_FALSE(window.state().searchFocused);
  EXPECT_EQ(ViewAddresses().size(), 3u);
}

TEST_F(CommandsTest, CtrlVReplacesOrAppendsKeepsSixtyCharactersAndFocuses) {
  ThreeRows();
  struct Case {
    std::wstring before;
    bool focused;
    std::wstring clipboard;
    std::wstring want;
  } cases[] = {
      {L"abc", false, L"chrome", L"chrome"},
      {L"abc", true, L"def", L"abcdef"},
      {std::wstring(50, L'x'), true, std::wstring(20, L'y'), std::wstring(50, L'x') + std::wstring(10, L'y')},
      {L"", false, std::wstring(70, L'z'), std::wstring(60, L'z')},
      {std::wstring(58, L'x'), true, L"y" + kEmoji + L"z", std::wstring(58, L'x') + L"yz"},  // no half emoji
      {L"keep", false, L"", L"keep"},  // an empty clipboard does nothing
  };
  for (const Case& c : cases) {
    In().searchText = c.before;
    window.state().searchFocused = c.focused;
    fakes.clipboard.content = c.clipboard;
    Key(Key::V, true);
    EXPECT_EQ(In().searchText, c.want);
    EXPECT_EQ(window.state().searchFocused, c.focused || !c.clipboard.empty());
  }
  Key(Key::V, false);  // V without Ctrl is no command
  EXPECT_EQ(In().searchText, L"keep");
}

TEST_F(CommandsTest, TypedTextGoesIntoTheFocusedSearchBox) {
  ThreeRows();
  window.OnChar(L'x');  // not focused: dropped
  EXPECT_TRUE(In().searchText.empty());
  Key(Key::F, true);
  EXPECT_TRUE(window.state().searchFocused);
  for (wchar_t c : std::wstring(L"c.ex")) window.OnChar(c);
  window.OnChar(L'\x16');  // the character of Ctrl+V: no text
  EXPECT_EQ(In().searchText, L"c.ex");
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"3.3.3.3"});
  window.OnChar(L'\b');
  window.OnChar(L'\b');
  EXPECT_EQ(In().searchText, L"c.");
  In().searchText = std::wstring(60, L'q');
  window.OnChar(L'r');
  EXPECT_EQ(In().searchText, std::wstring(60, L'q'));
  In().searchText.clear();
  window.OnChar(L'\b');  // empty: stays empty
  EXPECT_TRUE(In().searchText.empty());
  for (const size_t before : {59u, 58u}) {  // an emoji, typed as two units, fits whole or not at all
    In().searchText.assign(before, L'q');
    for (const wchar_t unit : kEmoji) window.OnChar(unit);
    EXPECT_EQ(In().searchText, std::wstring(before, L'q') + (before == 58 ? kEmoji : L""));
  }
  window.OnChar(L'\b');
  EXPECT_EQ(In().searchText, std::wstring(58, L'q'));  // both halves gone
}

TEST_F(CommandsTest, ClickOnTheRemoteAddressSelectsAndLooksUpElsewhereOnlySelects) {
  ThreeRows();
  Click(300, 400 + 28 + 5);  // row 1, application column
  EXPECT_EQ(In().selectedRow, 1);
  EXPECT_FALSE(app.currentLookup().panelOpen.load());
  Click(600, 400 + 56 + 5);  // row 2, on the remote address
  EXPECT_EQ(In().selectedRow, 2);
  EXPECT_TRUE(app.currentLookup().panelOpen.load());
  EXPECT_EQ(app.currentLookup().address, L"3.3.3.3");
  EXPECT_EQ(app.currentLookup().context.app, L"c.exe");
  EXPECT_EQ(app.currentLookup().context.port, 3478);

  app.currentLookup().panelOpen = false;
  app.currentLookup().address.clear();
  struct Edge {
    int32_t x;
    bool lookup;
  } edges[] = {{567, false}, {568, true}, {809, true}, {810, false}};  // [574 - 6, 820 - 10)
  for (const Edge& e : edges) {
    Click(e.x, 405);
    EXPECT_EQ(app.currentLookup().panelOpen.load(), e.lookup) << e.x;
    app.currentLookup().panelOpen = false;
  }
  Click(600, 400 + 28 * 5);  // below the last row: no selection change, no lookup
  EXPECT_EQ(In().selectedRow, 0);
  EXPECT_FALSE(app.currentLookup().panelOpen.load());
}

TEST_F(CommandsTest, TitleBandDragsAndMaximizesOnlyRightOfTheButtons) {
  struct Case {
    int32_t x, y;
    bool drag;
  } clicks[] = {{141, 30, true}, {140, 30, false}, {600, 53, true}, {600, 54, false}, {950, 30, false}};
  for (const Case& c : clicks) {
    host.drags = 0;
    Click(c.x, c.y);
    EXPECT_EQ(host.drags, c.drag ? 1 : 0) << c.x << "," << c.y;
  }
  struct DoubleCase {
    int32_t x, y;
    bool toggles;
  } doubles[] = {{151, 30, true},   {150, 30, false},  {600, 55, true},   {600, 56, false},
                 {950, 30, false},  {1020, 30, false}, {1100, 30, false},  // on Pause, Refresh, Settings
                 {1200, 30, false}, {708, 28, false}};                     // on Lookup, a theme swatch
  for (const DoubleCase& c : doubles) {
    host.shows.clear();
    window.OnLButtonDblClk(c.x, c.y);
    EXPECT_EQ(host.shows.size(), c.toggles ? 1u : 0u) << c.x << "," << c.y;
  }
  window.OnLButtonDblClk(600, 30);
  window.OnLButtonDblClk(600, 30);
  EXPECT_EQ(host.shows, (std::vector<WindowShow>{WindowShow::Maximize, WindowShow::Restore}));
  Click(90, 30);  // the maximize button toggles back
  EXPECT_EQ(host.shows.back(), WindowShow::Maximize);
  Click(20, 20);
  EXPECT_EQ(host.destroyCalls, 1);
}

TEST_F(CommandsTest, WhilePausedTheViewRebuildsAtOnceAfterAFilterAndOnceAfterF5) {
  ThreeRows();
  Click(940, 20);  // Pause
  EXPECT_TRUE(window.state().capturePaused);
  EXPECT_EQ(Toast(), L"Capture paused");
  Publish({MakeRow(L"d.exe", L"TCP4", L"4.4.4.4", 443)});
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(ViewAddresses().size(), 3u);  // paused
  Click(540, 310);                        // protocol "TCP": the view is rebuilt at once, from the latest snapshot
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"4.4.4.4"});
  Click(490, 310);  // back to "All"

  Key(Key::F5);
  EXPECT_EQ(Toast(), L"Refreshing...");
  EXPECT_TRUE(app.refreshControl().refreshNow.load());
  Publish({MakeRow(L"e.exe", L"TCP4", L"5.5.5.5", 443)});
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"5.5.5.5"});
  Publish({MakeRow(L"f.exe", L"TCP4", L"6.6.6.6", 443)});
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"5.5.5.5"});  // only once
  Click(940, 20);
  EXPECT_EQ(Toast(), L"Capture resumed");
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"6.6.6.6"});
}

TEST_F(CommandsTest, RePingPingsIpv4OnlyAndSaysWhy) {
  ThreeRows();
  struct Case {
    int32_t row;
    bool ping;
    std::wstring toast;
  } cases[] = {
      {0, true, L"Pinging 1.1.1.1..."},
      {1, true, L"Nothing to ping for this row"},  // IPv6
      {0, false, L"Ping measurement is turned off in Settings"},
  };
  for (const Case& c : cases) {
    app.settings().enablePing = c.ping;
    window.SelectRow(c.row);
    Click(1250, 415);
    EXPECT_EQ(Toast(), c.toast);
  }
  In().selectedRow = -1;  // without a selection the details buttons do nothing
  app.copyFeedback().ShowToast(L"");
  Click(1250, 415);
  EXPECT_TRUE(Toast().empty());
}

TEST_F(CommandsTest, CopyCommandsForRowsAndCalls) {
  PublishAndSettle({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443), CallRow(L"104.1.2.3", 40)});
  const std::vector<std::wstring> shown = ViewAddresses();
  ASSERT_EQ(shown.size(), 2u);
  const int32_t plainRow = shown[0] == L"1.1.1.1" ? 0 : 1;
  Key(Key::C, true);  // no selection: the first call IP
  EXPECT_EQ(fakes.clipboard.content, L"104.1.2.3");
  window.SelectRow(plainRow);
  Key(Key::C, true);  // a row: its IP:port
  EXPECT_EQ(fakes.clipboard.content, L"1.1.1.1:443");
  Click(130, 190);  // the call card's "Copy IP:port"
  EXPECT_EQ(fakes.clipboard.content, L"104.1.2.3:50001");
  Click(200, 100);  // the card itself copies the IP
  EXPECT_EQ(fakes.clipboard.content, L"104.1.2.3");
  window.OnLButtonDblClk(300, 400 + 28 * (1 - plainRow) + 3);  // double-click the call's row: select, copy IP:port
  EXPECT_EQ(In().selectedRow, 1 - plainRow);
  EXPECT_EQ(fakes.clipboard.content, L"104.1.2.3:50001");
  EXPECT_EQ(Toast(), L"IP:port copied: 104.1.2.3:50001");
}

TEST_F(CommandsTest, ByApplicationViewAndItsRowsCommands) {
  PublishAndSettle({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443), MakeRow(L"a.exe", L"UDP4", L"1.1.1.2", 3478),
                    MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 8443), MakeRow(L"b.exe", L"TCP4", L"2.2.2.2", 443)});
  window.state().hits[Slot::AppsCard].Set(600, 228, 880, 290);
  Click(700, 250);  // the APPLICATIONS card
  EXPECT_TRUE(app.settings().byApp);
  EXPECT_NE(fakes.files.files[SettingsFilePath(fakes.files)].find("\r\nbyApp=1\r\n"), std::string::npos);
  EXPECT_EQ(ViewAddresses().size(), 2u);
  window.state().searchFocused = true;
  Key(Key::G, true);  // Ctrl+G: back to the sockets, and its character is not typed
  window.OnChar(L'g');
  EXPECT_FALSE(app.settings().byApp);
  EXPECT_TRUE(In().searchText.empty());
  EXPECT_EQ(ViewAddresses().size(), 4u);
  Key(Key::G, true);
  ASSERT_EQ(app.connectionView().ViewRows()[0].processName, L"a.exe");

  Click(600, 405);  // a.exe's row, where a socket row's remote address would open a lookup
  EXPECT_EQ(In().selectedRow, 0);
  EXPECT_FALSE(window.LookupOpen());
  Key(Key::C, true);  // its addresses, once each
  EXPECT_EQ(fakes.clipboard.content, L"1.1.1.1\r\n1.1.1.2");
  EXPECT_EQ(Toast(), L"Copied 2 IPs");
  window.OnLButtonDblClk(300, 405);  // back to the sockets, searching for the application
  EXPECT_FALSE(app.settings().byApp);
  EXPECT_EQ(In().searchText, L"a.exe");
  EXPECT_EQ(ViewAddresses(), (std::vector<std::wstring>{L"1.1.1.1", L"1.1.1.1", L"1.1.1.2"}));
}

TEST_F(CommandsTest, HeaderButtonsOpenThePanelsAndFocusFollows) {
  window.state().searchFocused = true;
  Key(Key::F2);
  EXPECT_TRUE(window.state().settingsOpen);
  EXPECT_FALSE(window.state().searchFocused);
  Key(Key::Escape);  // no field focused: closes
  EXPECT_FALSE(window.state().settingsOpen);
  Key(Key::L, true);
  EXPECT_TRUE(app.currentLookup().panelOpen.load());
  EXPECT_EQ(window.editor().focusedField, 19);
  window.editor().lookupText = L"1.2.3.4";
  Key(Key::Escape);  // text in the focused lookup box: only the focus goes
  EXPECT_TRUE(app.currentLookup().panelOpen.load());
  EXPECT_EQ(window.editor().focusedField, -1);
  Key(Key::Escape);
  EXPECT_FALSE(app.currentLookup().panelOpen.load());
  Click(1100, 30);  // Settings
  EXPECT_TRUE(window.state().settingsOpen);
  Click(1200, 30);  // a panel takes the click: the lookup button behind it does nothing
  EXPECT_FALSE(app.currentLookup().panelOpen.load());
  window.state().settingsOpen = false;
  Click(1200, 30);  // Lookup
  EXPECT_TRUE(app.currentLookup().panelOpen.load());
  Key(Key::Down);  // the lookup panel takes the keys
  EXPECT_EQ(In().selectedRow, -1);
}

TEST_F(CommandsTest, LoadingScreenTakesKeysAndClicksOnlyToEnd) {
  ThreeRows();
  struct Input {
    const char* what;
    std::function<void()> send;
    bool ends;
  } inputs[] = {
      {"key", [&] { Key(Key::Down); }, true},
      {"click", [&] { Click(300, 405); }, true},
      {"double click", [&] { window.OnLButtonDblClk(300, 405); }, true},
      {"character", [&] { window.OnChar(L'a'); }, false},
      {"wheel", [&] { window.OnMouseWheel(-120); }, false},
  };
  window.state().searchFocused = true;
  for (const Input& in : inputs) {
    window.StartSplash();
    host.ClearPaints();
    in.send();
    EXPECT_EQ(window.state().splashActive, !in.ends) << in.what;
    EXPECT_EQ(host.fullRepaints, in.ends ? 1 : 0) << in.what;
    EXPECT_EQ(In().selectedRow, -1) << in.what;  // nothing reached the main view
    EXPECT_EQ(In().scrollRow, 0) << in.what;
    EXPECT_TRUE(In().searchText.empty()) << in.what;
    window.EndSplash();
  }
}

TEST_F(CommandsTest, ToolbarTogglesFlipSaveAndRefresh) {
  struct Case {
    int32_t index;
    Relaxed<bool> Settings::*field;
    bool refreshes;
  } cases[] = {
      {0, &Settings::showLan, true},    {1, &Settings::enableIpv6, true},  {2, &Settings::enableUdp, true},
      {3, &Settings::showSystem, true}, {4, &Settings::enablePing, false}, {5, &Settings::callOnly, false},
  };
  for (const Case& c : cases) {
    const bool before = app.settings().*c.field;
    const uint32_t requests = app.refreshControl().requests.load();
    fakes.files.files.clear();
    Click(30 + 60 * c.index, 350);
    EXPECT_NE(app.settings().*c.field, before) << c.index;
    EXPECT_EQ(fakes.files.files.size(), 1u) << c.index;  // saved
    EXPECT_EQ(app.refreshControl().requests.load() - requests, c.refreshes ? 1u : 0u) << c.index;
  }
  fakes.clipboard.content = L"  discord\r\n";
  Click(440, 310);  // Paste
  EXPECT_EQ(In().searchText, L"  discord  ");
  EXPECT_EQ(Toast(), L"Pasted into search");
}

}  // namespace
}  // namespace tolvane
