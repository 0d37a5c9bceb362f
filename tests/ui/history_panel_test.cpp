// The history panel as a face of the window: Ctrl+H and its Backspace character, keys and typing
// that never reach the main view, the wheel, Info over it and back, a click outside.
#include <gtest/gtest.h>

#include "fakes/fake_name_resolution.h"
#include "fakes/recording_poster.h"
#include "ui/commands.h"
#include "ui/history_panel.h"
#include "ui/window_fixture.h"

namespace tolvane {
namespace {

class HistoryPanelTest : public WindowFixture {
 protected:
  HistoryPanelTest() {
    app.AttachLookupPoster(std::make_shared<FakeNameResolver>(), std::make_shared<RecordingPoster>());
    window.fonts().CreateUiFonts(graphics);
  }
  void Paint() {
    canvas.Clear();
    DrawContext dc = MakeDrawContext(canvas, window.fonts(), window.widths(), window.state(), MainViewSourcesOf(app));
    PaintHistoryPanel(dc, window, 1360, 880);
  }
  void ClickSlot(int32_t slot) {
    const HitRect& r = window.state().hits[slot];
    ASSERT_TRUE(r.present) << slot;
    window.OnLButtonDown((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  RecordingCanvas canvas;
};

TEST_F(HistoryPanelTest, CtrlHAndEverythingTypedInTheHistoryNeverReachTheMainView) {
  AppState& s = window.state();
  std::wstring& search = app.viewInputs().searchText;
  search = L"abc";
  s.searchFocused = true;
  window.OnKeyDown(Key::H, true);
  window.OnChar(L'\b');  // what the system makes of Ctrl+H
  EXPECT_TRUE(s.historyOpen);
  EXPECT_EQ(window.CurrentFace(), Face::HistoryPanel);
  s.searchFocused = true;  // even a search box that kept its focus gets nothing
  window.OnChar(L'x');
  window.OnChar(L'\b');
  window.OnKeyDown(Key::V, true);
  window.OnKeyDown(Key::Down, false);
  EXPECT_EQ(search, L"abc");
  EXPECT_EQ(s.historyScroll, 1);
  window.OnMouseWheel(120);
  EXPECT_EQ(s.historyScroll, 0);
  window.OnKeyDown(Key::H, true);
  window.OnChar(L'\b');
  EXPECT_FALSE(s.historyOpen);
  EXPECT_EQ(search, L"abc");
  window.OnChar(L'\b');  // a Backspace of its own still edits the search
  EXPECT_EQ(search, L"ab");
}

TEST_F(HistoryPanelTest, InfoOpensTheLookupOverTheHistoryAndClosingItReturnsThere) {
  PublishAndSettle({CallRow(L"35.214.40.7", 100)});
  clock.Advance(61000);
  PublishAndSettle({CallRow(L"35.214.40.8", 100)});
  window.OnKeyDown(Key::H, true);
  Paint();
  EXPECT_FALSE(window.state().hits[Slot::HistoryInfo + 2].present);  // two servers, two rows
  ClickSlot(Slot::HistoryInfo + 1);
  EXPECT_EQ(app.currentLookup().address, L"35.214.40.7");  // newest first
  EXPECT_EQ(window.CurrentFace(), Face::LookupPanel);
  window.OnKeyDown(Key::Escape, false);
  EXPECT_EQ(window.CurrentFace(), Face::HistoryPanel);
  window.OnLButtonDown(5, 5);  // outside the card
  EXPECT_EQ(window.CurrentFace(), Face::MainView);
}

}  // namespace
}  // namespace tolvane
