// The window state machine through a fake host and a fake clock: hover and its partial repaints,
// the cursor, the UI tick's repaint decisions and auto-copy, the refresh-while-paused rule, the
// fade, media and splash ticks, the window icons, creation and shutdown.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "settings/settings_file.h"
#include "ui/window_fixture.h"

namespace tolvane {
namespace {

using MainWindowTest = WindowFixture;

// ---- Hover ---------------------------------------------------------------------------------------

TEST_F(MainWindowTest, HoverFromCopyIpToInfoRepaintsExactlyThoseTwoButtonsGrownByThree) {
  window.state().uiScale = 1.5f;
  HitRectTable& h = window.state().hits;
  h[Slot::CallCard].Set(24, 64, 300, 220);
  h[Slot::CallCopyIp].Set(40, 180, 110, 210);
  h[Slot::CallInfo].Set(200, 180, 290, 210);

  window.OnMouseMove(75, 285);  // logical (50, 190): Copy IP
  EXPECT_EQ(window.state().mouseX, 50);
  EXPECT_EQ(window.state().mouseY, 190);
  EXPECT_EQ(window.state().hoverRegion, Slot::CallCopyIp);
  host.ClearPaints();

  window.OnMouseMove(375, 292);  // logical (250, 194): Info
  // floor((40 - 3) * 1.5) = 55, floor(177 * 1.5) = 265, ceil(113 * 1.5) = 170, ceil(213 * 1.5) = 320.
  const std::vector<DeviceRect> want = {{55, 265, 170, 320}, {295, 265, 440, 320}};
  EXPECT_EQ(host.rects, want);
  EXPECT_EQ(host.fullRepaints, 0);
  EXPECT_EQ(window.state().hoverRegion, Slot::CallInfo);

  window.OnMouseMove(225, 150);  // the empty part of the card
  EXPECT_EQ(window.state().hoverRegion, Slot::CallCard);
  host.ClearPaints();
  window.OnMouseMove(240, 165);  // still the empty part: nothing changed, nothing repainted
  window.OnMouseMove(300, 120);
  EXPECT_TRUE(host.rects.empty());
  EXPECT_EQ(host.fullRepaints, 0);
  EXPECT_EQ(host.leaveTracks, 5);  // leaving is tracked on every move
}

TEST_F(MainWindowTest, HoverOverTheTableRepaintsTheTwoRowsConcerned) {
  PublishAndSettle({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443), MakeRow(L"b.exe", L"TCP4", L"2.2.2.2", 443),
                    MakeRow(L"c.exe", L"TCP4", L"3.3.3.3", 443), MakeRow(L"d.exe", L"TCP4", L"4.4.4.4", 443)});
  window.state().hits[Slot::TableArea].Set(24, 400, 1200, 700);
  app.viewInputs().scrollRow = 1;
  window.OnMouseMove(500, 430);  // row (430 - 400) / 28 + 1 = 2
  EXPECT_EQ(window.state().hoverRow, 2);
  host.ClearPaints();
  window.OnMouseMove(500, 460);  // row 3; same slot
  // Row r's strip: y = (r - scrollRow) * 28 + 400, from y - 2 to y + 28, grown by 3.
  const std::vector<DeviceRect> want = {Grown(24, 426, 1200, 456), Grown(24, 454, 1200, 484)};
  EXPECT_EQ(host.rects, want);
  window.OnMouseMove(600, 470);  // same row, same slot
  EXPECT_EQ(host.rects.size(), 2u);
}

TEST_F(MainWindowTest, LeavingTheWindowClearsTheHover) {
  HitRectTable& h = window.state().hits;
  h[Slot::PauseButton].Set(900, 12, 980, 44);
  h[Slot::TableArea].Set(24, 400, 1200, 700);
  window.OnMouseMove(950, 20);
  host.ClearPaints();
  window.OnMouseLeave();
  EXPECT_EQ(host.rects, std::vector<DeviceRect>{Grown(900, 12, 980, 44)});
  EXPECT_EQ(window.state().hoverRegion, Slot::None);
  EXPECT_EQ(window.state().hoverRow, -2);
  EXPECT_EQ(window.state().mouseX, -1);
  EXPECT_EQ(window.state().mouseY, -1);

  window.OnMouseMove(500, 430);  // over table row 1 (no rows yet: still a hover row)
  host.ClearPaints();
  window.OnMouseLeave();
  EXPECT_EQ(host.rects, (std::vector<DeviceRect>{Grown(24, 400, 1200, 700), Grown(24, 426, 1200, 456)}));

  window.state().settingsOpen = true;  // behind a panel the whole window is repainted
  window.OnMouseMove(500, 430);
  host.ClearPaints();
  window.OnMouseLeave();
  EXPECT_TRUE(host.rects.empty());
  EXPECT_EQ(host.fullRepaints, 1);
}

TEST_F(MainWindowTest, SettingsPanelHoverRepaintsOncePerControlChange) {
  HitRectTable& h = window.state().hits;
  h[Slot::OverlayBackdrop].Set(0, 0, 1360, 880);
  h[Slot::SettingsCard].Set(200, 100, 1000, 800);
  h[Slot::SettingsTab].Set(220, 120, 320, 150);
  h[Slot::SettingsTab + 1].Set(330, 120, 430, 150);
  window.state().settingsOpen = true;
  window.OnMouseMove(250, 130);
  window.OnMouseMove(260, 135);  // the same tab
  EXPECT_EQ(host.fullRepaints, 1);
  window.OnMouseMove(350, 130);
  EXPECT_EQ(host.fullRepaints, 2);
  EXPECT_EQ(window.state().hoverRegion, Slot::SettingsTab + 1);
  EXPECT_EQ(window.state().hoverRow, -1);
  EXPECT_TRUE(host.rects.empty());
}

// ---- Cursor --------------------------------------------------------------------------------------

TEST_F(MainWindowTest, CursorFollowsTheFaceAndTheSlotUnderTheMouse) {
  HitRectTable& h = window.state().hits;
  h[Slot::TableArea].Set(24, 400, 1200, 700);
  h[Slot::SearchBox].Set(24, 300, 400, 330);
  h[Slot::OverlayBackdrop].Set(0, 0, 1360, 880);
  h[Slot::SettingsCard].Set(200, 100, 1000, 800);
  h[Slot::TextField + 2].Set(220, 200, 700, 230);
  h[Slot::LookupCard].Set(150, 80, 1200, 820);
  h[kLookupBoxSlot].Set(170, 100, 900, 130);
  struct Case {
    const char* what;
    bool settings, lookup, splash;
    int32_t x, y;
    CursorShape want;
  } cases[] = {
      {"main view, table", false, false, false, 500, 500, CursorShape::Hand},
      {"main view, search box", false, false, false, 100, 310, CursorShape::Hand},
      {"main view, nothing", false, false, false, 1300, 350, CursorShape::Arrow},
      {"settings, text field", true, false, false, 300, 215, CursorShape::IBeam},
      {"settings, card", true, false, false, 800, 500, CursorShape::Hand},
      {"settings, backdrop over the table", true, false, false, 100, 750, CursorShape::Hand},
      {"lookup, lookup box", false, true, false, 300, 110, CursorShape::IBeam},
      {"lookup, over the table but outside the card", false, true, false, 1250, 500, CursorShape::Arrow},
      {"lookup, card over the table", false, true, false, 500, 500, CursorShape::Hand},
      {"loading screen", false, false, true, 500, 500, CursorShape::Arrow},
  };
  for (const Case& c : cases) {
    window.state().settingsOpen = c.settings;
    app.currentLookup().panelOpen = c.lookup;
    window.state().splashActive = c.splash;
    window.state().mouseX = c.x;
    window.state().mouseY = c.y;
    window.OnSetCursor();
    EXPECT_EQ(host.cursor, c.want) << c.what;
  }
  EXPECT_EQ(host.cursorSets, 10);
}

// ---- UI tick -------------------------------------------------------------------------------------

TEST_F(MainWindowTest, UiTickRepaintsByTheRebuildsResultAndTheFace) {
  enum class Change { Rows, CallsOnly, PingOnly };
  enum class Shown { Main, Settings, Lookup, Splash };
  struct Case {
    Shown shown;
    Change change;
    bool full;
    bool callPanel;
  } cases[] = {
      {Shown::Main, Change::Rows, true, false},           {Shown::Main, Change::CallsOnly, false, true},
      {Shown::Main, Change::PingOnly, false, false},      {Shown::Settings, Change::Rows, false, false},
      {Shown::Settings, Change::CallsOnly, false, false}, {Shown::Settings, Change::PingOnly, false, false},
      {Shown::Lookup, Change::Rows, false, false},        {Shown::Lookup, Change::CallsOnly, false, false},
      {Shown::Lookup, Change::PingOnly, true, false},     {Shown::Splash, Change::Rows, false, false},
      {Shown::Splash, Change::CallsOnly, false, false},   {Shown::Splash, Change::PingOnly, false, false},
  };
  uint64_t packets = 10;
  int32_t sample = 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.shown) * 10 + static_cast<int>(c.change));
    window.state().settingsOpen = false;
    app.currentLookup().panelOpen = false;
    window.state().splashActive = false;
    const RowList base = {CallRow(L"104.1.2.3", packets), MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443)};
    PublishAndSettle(base);
    window.state().settingsOpen = c.shown == Shown::Settings;
    app.currentLookup().panelOpen = c.shown == Shown::Lookup;
    window.state().splashActive = c.shown == Shown::Splash;
    switch (c.change) {
      case Change::Rows: {
        RowList more = base;
        more.push_back(MakeRow(L"b.exe", L"TCP4", L"2.2.2.2", 443));
        Publish(more);
        break;
      }
      case Change::CallsOnly:
        Publish({CallRow(L"104.1.2.3", packets += 10), base[1]});  // packets are not a table column
        break;
      case Change::PingOnly:
        app.latencyBook().RecordSample(L"9.9.9.9", ++sample);  // an address the view does not show
        break;
    }
    window.OnTimer(TIMER_UI);
    EXPECT_EQ(host.fullRepaints, c.full ? 1 : 0);
    const std::vector<DeviceRect> callLine = {Grown(52, 166, 412, 180)};  // the one card's packets line
    EXPECT_EQ(host.rects, c.callPanel ? callLine : std::vector<DeviceRect>{});
    // Undo the change of rows so the next case starts from the same view.
    PublishAndSettle(base);
  }
  // A sample for a shown row changes its latency: the rows' meter cells are repainted (and the
  // median), not the rest of the table.
  window.state().splashActive = false;
  window.state().hits[Slot::TableArea].Set(32, 372, 1328, 812);
  app.latencyBook().RecordSample(L"1.1.1.1", ++sample);
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(host.fullRepaints, 0);
  ASSERT_FALSE(host.rects.empty());
  EXPECT_EQ(host.rects.front(), Grown(1360 - 467, 372, 1360 - 144, 812));
}

TEST_F(MainWindowTest, AutoCopyHappensOnTheFirstTickEvenWithAPanelOpen) {
  for (int panel = 0; panel < 3; ++panel) {
    SCOPED_TRACE(panel);
    app.settings().autoCopyCall = true;
    fakes.clipboard.content.clear();
    window.state().settingsOpen = panel == 1;
    app.currentLookup().panelOpen = panel == 2;
    const std::wstring address = L"104.1.2." + std::to_wstring(10 + panel);  // a new call each time
    Publish({CallRow(address, 50)});
    host.ClearPaints();
    window.OnTimer(TIMER_UI);
    EXPECT_EQ(fakes.clipboard.content, address);
    EXPECT_EQ(app.copyFeedback().toast().text(), L"Call IP (auto) copied: " + address);
    EXPECT_GE(host.fullRepaints, 1);
    window.OnTimer(TIMER_UI);  // copied once only
    EXPECT_EQ(fakes.clipboard.replaceCalls, panel + 1);
  }
}

TEST_F(MainWindowTest, RefreshWhilePausedShowsTheSnapshotBegunAfterTheRequest) {
  PublishAndSettle({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443)});
  window.state().capturePaused = true;
  Publish({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443), MakeRow(L"b.exe", L"TCP4", L"2.2.2.2", 443)});
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"1.1.1.1"});  // paused: not followed

  // "LAN" flipped while paused: a refresh is asked for. A ping sample and a snapshot begun before
  // the request arrive first; the view is rebuilt from them but keeps waiting.
  window.RequestRefreshNow();
  app.latencyBook().RecordSample(L"1.1.1.1", 12);
  window.OnTimer(TIMER_UI);
  EXPECT_TRUE(app.refreshControl().viewDirty);
  Publish({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443), MakeRow(L"b.exe", L"TCP4", L"2.2.2.2", 443)}, false);
  window.OnTimer(TIMER_UI);
  EXPECT_TRUE(app.refreshControl().viewDirty);

  // The refreshed snapshot shows, once.
  Publish({MakeRow(L"c.exe", L"TCP4", L"10.0.0.9", 445)});
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"10.0.0.9"});
  EXPECT_FALSE(app.refreshControl().viewDirty);
  Publish({MakeRow(L"d.exe", L"TCP4", L"4.4.4.4", 443)});
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(ViewAddresses(), std::vector<std::wstring>{L"10.0.0.9"});
}

TEST_F(MainWindowTest, UiTickThatFindsNothingNewInvalidatesNothingAndTheClockTextsOnlyTheirBoxes) {
  window.state().hits[Slot::SearchBox].Set(24, 300, 400, 330);
  app.publishedRows().lastSnapshotTime.store(clock.tickMs.load());  // "Captured just now"
  PublishAndSettle({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443)});

  // Seconds and caret phases pass (no caret shown), the texts stay: nothing to repaint.
  for (int i = 0; i < 15; ++i) {
    clock.Advance(100);
    window.OnTimer(TIMER_UI);
  }
  EXPECT_TRUE(host.rects.empty());
  EXPECT_EQ(host.fullRepaints, 0);

  // "2s ago": at the next second, the applications card's sub-line and the status line, each alone.
  clock.Advance(1000);
  window.OnTimer(TIMER_UI);
  ASSERT_EQ(host.rects.size(), 2u);
  const int32_t cw = (1360 - 84) / 4, apps = 24 + 2 * (cw + 12);  // the third of four stat cards
  EXPECT_GE(host.rects[0].left, apps);
  EXPECT_LE(host.rects[0].right, apps + cw);
  EXPECT_GE(host.rects[0].top, 260);  // below the card's value
  EXPECT_LE(host.rects[0].bottom, 293);
  EXPECT_GE(host.rects[1].top, 880 - 20);         // the status line (H = 880)
  app.publishedRows().lastSnapshotTime.store(0);  // "never" from now on: the texts stay
  clock.Advance(1000);
  window.OnTimer(TIMER_UI);
  host.ClearPaints();

  // The caret blinks in the focused search box every 500 ms.
  window.state().searchFocused = true;
  host.ClearPaints();
  clock.Advance(500);  // the caret's phase changes
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(host.rects, std::vector<DeviceRect>{Grown(24, 300, 400, 330)});
  host.ClearPaints();
  clock.Advance(100);
  window.OnTimer(TIMER_UI);
  EXPECT_TRUE(host.rects.empty());
  window.state().searchFocused = false;

  // "Copied ✓" labels: a full repaint once the 1.6 s are over, not before.
  app.copyFeedback().CopyWithFeedback(kTestWindow, L"1.2.3.4", L"IP");
  window.OnTimer(TIMER_UI);
  EXPECT_TRUE(window.state().copyFlashOn);
  host.ClearPaints();
  clock.Advance(1500);
  window.OnTimer(TIMER_UI);
  EXPECT_TRUE(window.state().copyFlashOn);
  EXPECT_EQ(host.fullRepaints, 0);
  clock.Advance(100);
  window.OnTimer(TIMER_UI);
  EXPECT_FALSE(window.state().copyFlashOn);
  EXPECT_EQ(host.fullRepaints, 1);
}

TEST_F(MainWindowTest, ToastIsRepaintedInItsOwnBoxWhenSetAndGoneAfter2400MsBehindAPanel) {
  ASSERT_TRUE(window.fonts().CreateUiFonts(graphics));
  app.themes().InitPalettes();
  window.state().settingsOpen = true;
  window.OnTimer(TIMER_UI);
  host.ClearPaints();
  app.copyFeedback().ShowToast(std::wstring(90, L'W') + L" reset");
  window.OnTimer(TIMER_UI);
  // Where its painter draws it: the box of the first fill.
  RecordingCanvas canvas;
  DrawContext dc{canvas, app.themes().ActivePalette(), window.fonts(), window.widths()};
  PaintToast(dc, app.copyFeedback().toast(), 1360, 880);
  ASSERT_FALSE(canvas.calls().empty());
  const RectF box = canvas.calls()[0].rect;
  const std::vector<DeviceRect> boxOnly = {Grown(static_cast<int32_t>(box.x), static_cast<int32_t>(box.y),
                                                 static_cast<int32_t>(box.Right()),
                                                 static_cast<int32_t>(box.Bottom()))};
  EXPECT_EQ(host.rects, boxOnly);
  host.ClearPaints();
  clock.Advance(2300);
  window.OnTimer(TIMER_UI);
  EXPECT_TRUE(host.rects.empty());
  clock.Advance(100);  // 2.4 s: gone, though nothing else happened
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(host.rects, boxOnly);
  EXPECT_TRUE(app.copyFeedback().toast().text().empty());
}

TEST_F(MainWindowTest, NewRowsStartTheFadeTimerWhichRepaintsOnlyTheTableUntilDone) {
  PublishAndSettle({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443)});
  window.state().hits[Slot::TableArea].Set(24, 400, 1200, 700);
  Publish({MakeRow(L"a.exe", L"TCP4", L"1.1.1.1", 443), MakeRow(L"b.exe", L"TCP4", L"2.2.2.2", 443)});
  window.OnTimer(TIMER_UI);
  ASSERT_GT(app.viewInputs().animateUntil, clock.TickMs());
  EXPECT_EQ(host.timers.count(TIMER_ROWFADE), 1u);
  EXPECT_EQ(host.timers[TIMER_ROWFADE], 33u);
  window.OnTimer(TIMER_UI);  // already running: not started again
  EXPECT_EQ(std::count(host.timerLog.begin(), host.timerLog.end(), "set 5"), 1);

  host.ClearPaints();
  clock.Advance(33);
  window.OnTimer(TIMER_ROWFADE);
  EXPECT_EQ(host.rects, std::vector<DeviceRect>{Grown(24, 400, 1200, 700)});
  EXPECT_EQ(host.timers.count(TIMER_ROWFADE), 1u);
  clock.Advance(700);
  window.OnTimer(TIMER_ROWFADE);
  EXPECT_EQ(host.timers.count(TIMER_ROWFADE), 0u);
  EXPECT_FALSE(window.state().rowFadeTimerOn);
}

// ---- Media tick and icons ----------------------------------------------------------------------

TEST_F(MainWindowTest, ThemeChangeRebuildsTheIconsOnTheNextMediaTick) {
  window.OnDeferredStart();
  ASSERT_EQ(host.iconCalls.size(), 1u);
  EXPECT_EQ(host.iconCalls[0].big32.size(), 32u * 32u);
  EXPECT_EQ(host.iconCalls[0].small16.size(), 16u * 16u);
  EXPECT_EQ(graphics.surfacesMade, 2);
  window.OnTimer(TIMER_MEDIA);
  EXPECT_EQ(host.iconCalls.size(), 1u);  // nothing changed

  window.editor().SelectTheme(3);
  window.OnTimer(TIMER_MEDIA);
  EXPECT_EQ(host.iconCalls.size(), 2u);
  EXPECT_EQ(window.state().iconTheme, 3);

  app.themes().DerivePalette(0);  // a custom theme edited: ThemeRevision moves
  window.OnTimer(TIMER_MEDIA);
  EXPECT_EQ(host.iconCalls.size(), 3u);
  EXPECT_EQ(window.state().iconThemeRevision, static_cast<int64_t>(app.themes().ThemeRevision()));
}

TEST_F(MainWindowTest, MinimizedWindowGetsNoMediaRepaintButStillItsIconsAndSoundLoop) {
  int loops = 0, frames = 0;
  window.media().keepBackgroundLooping = [&] { ++loops; };
  window.media().advanceAnimation = [&] {
    ++frames;
    return true;
  };
  window.OnDeferredStart();
  window.OnSize(true);
  EXPECT_FALSE(window.state().windowVisible.load());
  host.ClearPaints();
  window.editor().SelectTheme(1);
  host.ClearPaints();
  window.OnTimer(TIMER_MEDIA);
  EXPECT_EQ(host.fullRepaints, 0);
  EXPECT_EQ(frames, 0);
  EXPECT_EQ(loops, 1);
  EXPECT_EQ(host.iconCalls.size(), 2u);

  window.OnSize(false);
  host.ClearPaints();
  window.OnTimer(TIMER_MEDIA);
  EXPECT_EQ(host.fullRepaints, 1);
  EXPECT_EQ(frames, 1);
}

TEST_F(MainWindowTest, SplashTickEndsTheLoadingScreenAfterItsTime) {
  app.settings().splashMs = 1000;
  window.StartSplash();
  window.state().splashMessage = L"The sound could not be played";
  EXPECT_EQ(host.timers[TIMER_SPLASH], 16u);
  clock.Advance(990);
  window.OnTimer(TIMER_SPLASH);
  EXPECT_TRUE(window.state().splashActive);
  EXPECT_EQ(host.fullRepaints, 1);
  clock.Advance(10);
  window.OnTimer(TIMER_SPLASH);
  EXPECT_FALSE(window.state().splashActive);
  EXPECT_EQ(host.timers.count(TIMER_SPLASH), 0u);
  EXPECT_EQ(app.copyFeedback().toast().text(), L"The sound could not be played");
  EXPECT_TRUE(window.state().splashMessage.empty());

  app.settings().splashMs = 0;  // until a click or a key
  window.StartSplash();
  clock.Advance(60000);
  window.OnTimer(TIMER_SPLASH);
  EXPECT_TRUE(window.state().splashActive);
  window.EndSplash();
  host.timers[TIMER_SPLASH] = 16;  // a tick already queued after the end kills the timer
  window.OnTimer(TIMER_SPLASH);
  EXPECT_EQ(host.timers.count(TIMER_SPLASH), 0u);
}

TEST_F(MainWindowTest, SizeRepaintsEverythingAndTracksVisibility) {
  window.state().fullRepaint = false;
  window.OnSize(false);
  EXPECT_TRUE(window.state().fullRepaint);
  EXPECT_TRUE(window.state().windowVisible.load());
  EXPECT_EQ(host.fullRepaints, 1);
}

// ---- Invalidation helpers ----------------------------------------------------------------------

TEST_F(MainWindowTest, SelectRowScrollsTheRowIntoView) {
  RowList rows;
  for (int i = 0; i < 30; ++i) rows.push_back(MakeRow(L"p.exe", L"TCP4", L"1.1.1." + std::to_wstring(i), 443));
  PublishAndSettle(rows);
  window.state().pageRows = 10;
  struct Case {
    int32_t scroll, index, wantSelected, wantScroll;
  } cases[] = {
      {0, 5, 5, 0}, {0, 10, 10, 1}, {0, 29, 29, 20}, {15, 3, 3, 3}, {5, -1, -1, 5}, {5, 30, -1, 5},
  };
  for (const Case& c : cases) {
    app.viewInputs().selectedRow = -1;
    app.viewInputs().scrollRow = c.scroll;
    window.SelectRow(c.index);
    EXPECT_EQ(app.viewInputs().selectedRow, c.wantSelected) << c.index;
    EXPECT_EQ(app.viewInputs().scrollRow, c.wantScroll) << c.index;
  }
  window.SelectRow(7);
  EXPECT_EQ(app.connectionView().SelectedRowKey(), RowKey(app.connectionView().ViewRows()[7]));
}

TEST_F(MainWindowTest, ShowLookupPanelClosesSettingsAndFocusesTheLookupBox) {
  window.state().settingsOpen = true;
  window.state().searchFocused = true;
  window.ShowLookupPanel();
  EXPECT_TRUE(app.currentLookup().panelOpen.load());
  EXPECT_FALSE(window.state().settingsOpen);
  EXPECT_FALSE(window.state().searchFocused);
  EXPECT_EQ(window.editor().focusedField, 19);
  EXPECT_EQ(window.CurrentFace(), Face::LookupPanel);
}

// ---- Creation and shutdown with the real workers ------------------------------------------------

TEST(MainWindowLifecycle, CreatesInOrderAppliesAlwaysOnTopAndShutsDownSavingTheSettings) {
  FakeApplicationServices fakes;  // the real clock: the workers run and are joined
  const std::wstring path = SettingsFilePath(fakes.files);
  fakes.files.files[path] = "alwaysOnTop=1\r\nsplashMs=2500\r\ntheme=2\r\n";
  Application app(CommandLineState{}, fakes.Services());
  FakeWindowHost host;
  RecordingGraphics graphics;
  MainWindow window(app, host, graphics);

  window.OnCreate(kTestWindow, 0.5f);
  EXPECT_EQ(window.state().window, kTestWindow);
  EXPECT_EQ(window.state().uiScale, 1.0f);  // never below 1
  EXPECT_EQ(host.topmost, std::vector<bool>{true});
  EXPECT_EQ(window.editor().customDelayText, L"2500");
  EXPECT_TRUE(window.fonts().created());
  // The loading screen shows (the splash setting is on by default and this is no benchmark).
  EXPECT_EQ(host.timers, (std::map<uint32_t, uint32_t>{{TIMER_UI, 100}, {TIMER_SPLASH, 16}, {TIMER_MEDIA, 33}}));
  EXPECT_TRUE(window.state().splashActive);
  EXPECT_EQ(host.deferredPosts, 1);
  EXPECT_TRUE(app.appRunning().load());

  window.OnDeferredStart();
  EXPECT_EQ(host.iconCalls.size(), 1u);
  EXPECT_EQ(window.state().iconTheme, 2);
  EXPECT_TRUE(window.state().fullRepaint);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (app.publishedRows().snapshotCounter.load() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  window.OnTimer(TIMER_UI);
  EXPECT_GT(window.state().pickup.seenSnapshotCount, 0);

  host.timers[TIMER_ROWFADE] = 33;
  window.OnDestroy();
  EXPECT_FALSE(app.appRunning().load());
  EXPECT_TRUE(host.timers.empty());
  ASSERT_EQ(host.iconCalls.size(), 2u);  // the last call destroys the icons
  EXPECT_TRUE(host.iconCalls.back().big32.empty());
  EXPECT_FALSE(window.fonts().created());
  const std::string saved = fakes.files.files[path];
  EXPECT_NE(saved.find("alwaysOnTop=1\r\n"), std::string::npos);
  EXPECT_NE(saved.find("ver=2\r\n"), std::string::npos);  // written by this shutdown
  window.OnDestroy();                                     // a second destroy does nothing
  EXPECT_EQ(host.iconCalls.size(), 2u);
}

}  // namespace
}  // namespace tolvane
