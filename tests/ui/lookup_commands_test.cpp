// The lookup panel's clicks, keys and typing through the window state machine with fakes. The
// panel is painted on the recording canvas first, so every click lands on a slot the painter
// recorded, as it would in the running window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_name_resolution.h"
#include "fakes/recording_poster.h"
#include "ui/commands.h"
#include "ui/lookup_panel.h"
#include "ui/main_view.h"
#include "ui/window_fixture.h"

namespace tolvane {
namespace {

constexpr int32_t X = 250, Y = 106;  // the panel's corner in the fixture's 1360 x 880 window
constexpr int32_t kBox = 19;

class LookupCommandsTest : public WindowFixture {
 protected:
  LookupCommandsTest() {
    app.AttachLookupPoster(resolver, poster);
    window.fonts().CreateUiFonts(graphics);
  }

  void Paint() {
    canvas.Clear();
    const MainViewSources sources = MainViewSourcesOf(app);
    DrawContext dc = MakeDrawContext(canvas, window.fonts(), window.widths(), window.state(), sources);
    PaintLookupPanel(dc, window, 1360, 880);
  }
  void Click(int32_t x, int32_t y) { window.OnLButtonDown(x, y); }
  void ClickSlot(int32_t slot) {
    const HitRect& r = window.state().hits[slot];
    ASSERT_TRUE(r.present) << slot;
    Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  void Key(uint32_t key, bool ctrl = false) { window.OnKeyDown(key, ctrl); }
  void Type(std::wstring_view text) {
    for (wchar_t c : text) window.OnChar(c);
  }
  bool Open() { return app.currentLookup().panelOpen.load(); }
  int32_t Focus() { return window.editor().focusedField; }
  std::wstring& BoxText() { return window.editor().lookupText; }
  std::wstring Toast() { return app.copyFeedback().toast().text(); }
  LookupResult Current() { return SnapshotCurrentLookup(app.lookupCache(), app.currentLookup()); }

  // Opens the lookup of r.address with the context and lets the "worker" publish r.
  void OpenWith(const LookupResult& r, const LookupContext& context = {}) {
    app.lookupCache().RequestLookup(r.address, true);  // a record of its own even when one exists
    app.lookupCommands()->OpenLookup(r.address, context);
    std::wstring address;
    std::shared_ptr<LookupResult> record;
    while (app.lookupCache().TakeNext(address, record))
      if (record && address == r.address) app.lookupCache().PublishResult(*record, r);
  }

  static LookupResult Done(double lat, double lon) {
    LookupResult r;
    r.address = L"5.6.7.8";
    r.state = LookupState::Done;
    r.country = L"Australia";
    r.countryCode = L"AU";
    r.city = L"Sydney";
    r.isp = L"Example Telecom";
    r.lat = lat;
    r.lon = lon;
    r.mapState = MapState::Failed;
    return r;
  }

  std::shared_ptr<FakeNameResolver> resolver = std::make_shared<FakeNameResolver>();
  std::shared_ptr<RecordingPoster> poster = std::make_shared<RecordingPoster>();
  RecordingCanvas canvas;
};

TEST_F(LookupCommandsTest, EscapeFirstUnfocusesAFilledBoxThenCloses) {
  struct Case {
    const wchar_t* typed;
    bool unfocusFirst;  // Ctrl+L, type, then a click on nothing before Escape
    bool openAfterFirst;
  } cases[] = {
      {L"1.2", false, true},  // focused, text: only the focus goes
      {L"", false, false},    // focused, empty: closes at once
      {L"1.2", true, false},  // text but not focused: closes at once
  };
  for (const Case& c : cases) {
    BoxText().clear();
    Key(Key::L, true);
    ASSERT_TRUE(Open());
    ASSERT_EQ(Focus(), kBox);
    Type(c.typed);
    EXPECT_EQ(BoxText(), c.typed);
    if (c.unfocusFirst) {
      Paint();
      Click(X + 850, Y + 300);  // inside the card, on no slot
      ASSERT_TRUE(Open());
      ASSERT_EQ(Focus(), -1);
    }
    Key(Key::Escape);
    EXPECT_EQ(Open(), c.openAfterFirst) << c.typed << c.unfocusFirst;
    EXPECT_EQ(Focus(), -1);
    Key(Key::Escape);
    EXPECT_FALSE(Open());
    EXPECT_EQ(BoxText(), c.typed);  // Escape never clears the box
  }
}

TEST_F(LookupCommandsTest, ClicksCloseFocusSubmitAndPickRecentEntries) {
  struct Case {
    const char* what;
    int32_t x, y;
    bool open;
    int32_t focus;
  } cases[] = {
      {"close box", X + 829, Y + 29, false, -1},       {"outside the card", X - 20, Y + 300, false, -1},
      {"below the card", X + 400, Y + 669, false, -1}, {"inside, on nothing", X + 850, Y + 300, true, -1},
      {"lookup box", X + 500, Y + 20, true, kBox},
  };
  for (const Case& c : cases) {
    Key(Key::L, true);
    window.editor().focusedField = c.focus == kBox ? -1 : kBox;
    Paint();
    host.ClearPaints();
    Click(c.x, c.y);
    EXPECT_EQ(Open(), c.open) << c.what;
    EXPECT_EQ(Focus(), c.focus) << c.what;
    EXPECT_EQ(host.fullRepaints, 1) << c.what;
  }

  // "Look up" submits the box: the canonical address opens and is remembered.
  Key(Key::L, true);
  Type(L"8.8.8.8:53");
  Paint();
  ClickSlot(Slot::LookupGo);
  EXPECT_EQ(app.currentLookup().address, L"8.8.8.8");
  EXPECT_EQ(app.settings().lookupHist, L"8.8.8.8");
  EXPECT_EQ(BoxText(), L"8.8.8.8:53");  // the box itself is not changed

  // A recent chip puts its entry into the box and submits it.
  app.settings().lookupHist = L"1.1.1.1,9.9.9.9,example.org";
  Paint();
  ClickSlot(Slot::RecentLookup + 1);
  EXPECT_EQ(BoxText(), L"9.9.9.9");
  EXPECT_EQ(app.currentLookup().address, L"9.9.9.9");
  EXPECT_EQ(app.settings().lookupHist, L"9.9.9.9,1.1.1.1,example.org");
  // A website entry is sent to name resolution; the current lookup stays until the answer.
  Paint();
  ClickSlot(Slot::RecentLookup + 2);
  EXPECT_EQ(BoxText(), L"example.org");
  EXPECT_EQ(Toast(), L"Finding example.org...");
  EXPECT_EQ(app.currentLookup().address, L"9.9.9.9");
}

TEST_F(LookupCommandsTest, OpenInGoogleMapsOnlyForADoneResultWithTheExactLink) {
  struct Case {
    LookupState state;
    double lat, lon;
    const wchar_t* link;  // null: no button, nothing opened
  } cases[] = {
      {LookupState::Done, -33.86882, 151.20929, L"https://www.google.com/maps?q=-33.868820,151.209290"},
      {LookupState::Done, 52.520008, 13.404954, L"https://www.google.com/maps?q=52.520008,13.404954"},
      {LookupState::Failed, 52.5, 13.4, nullptr},
      {LookupState::Pending, 52.5, 13.4, nullptr},
  };
  for (const Case& c : cases) {
    host.links.clear();
    LookupResult r = Done(c.lat, c.lon);
    r.state = c.state;
    OpenWith(r);
    Paint();
    EXPECT_EQ(window.state().hits[Slot::LookupOpenMap].present, c.link != nullptr);
    if (c.link) {
      ClickSlot(Slot::LookupOpenMap);
      EXPECT_EQ(host.links, std::vector<std::wstring>{c.link});
      EXPECT_TRUE(Open());
    } else {
      // A slot left over from an earlier paint does not open a map for a result that is not Done.
      window.state().hits[Slot::LookupOpenMap].Set(X + 290, Y + 616, X + 480, Y + 648);
      window.state().hits[Slot::LookupRefresh] = HitRect{};
      Click(X + 385, Y + 630);
      EXPECT_TRUE(host.links.empty());
    }
  }
  // Done when painted, refreshed (Pending) before the click: nothing opens.
  OpenWith(Done(1, 2));
  Paint();
  app.lookupCache().RequestLookup(L"5.6.7.8", true);
  host.links.clear();
  ClickSlot(Slot::LookupOpenMap);
  EXPECT_TRUE(host.links.empty());
}

TEST_F(LookupCommandsTest, CopyAllInfoPutsTheReportOnTheClipboardWithItsToast) {
  OpenWith(Done(-33.86882, 151.20929));
  Paint();
  ClickSlot(Slot::LookupCopyAll);
  EXPECT_EQ(fakes.clipboard.content, BuildCopyAllText(Current()));
  EXPECT_NE(fakes.clipboard.content.find(L"IP: 5.6.7.8\r\n"), std::wstring::npos);
  EXPECT_NE(fakes.clipboard.content.find(L"City: Sydney\r\n"), std::wstring::npos);
  EXPECT_NE(fakes.clipboard.content.find(L"ISP: Example Telecom\r\n"), std::wstring::npos);
  EXPECT_EQ(Toast(), L"Copied all info for 5.6.7.8");
  EXPECT_EQ(Focus(), -1);
  EXPECT_TRUE(Open());

  // A clipboard that stays busy: no copied toast.
  app.copyFeedback().ShowToast(L"before");
  fakes.clipboard.content.clear();
  fakes.clipboard.busyOpens = 1000;
  ClickSlot(Slot::LookupCopyAll);
  EXPECT_EQ(fakes.clipboard.content, L"");
  EXPECT_EQ(Toast(), L"before");
}

TEST_F(LookupCommandsTest, CopyIpUsesTheTemplateWithTheRowContextAndRefreshStartsOver) {
  app.settings().tplIp = L"{ip} ({app} {proto} {pid} {port})";
  LookupResult r = Done(1, 2);
  r.state = LookupState::Failed;
  r.message = L"Lookup server error (HTTP 503).";
  OpenWith(r, LookupContext{L"game.exe", L"UDP4", 4242, 0});
  Paint();
  EXPECT_TRUE(canvas.FindText(L"game.exe  \u00b7  UDP4  \u00b7  PID 4242") != nullptr);
  ClickSlot(Slot::LookupCopyIp);
  EXPECT_EQ(fakes.clipboard.content, L"5.6.7.8 (game.exe UDP4 4242 )");  // no port: {port} is empty
  Paint();
  EXPECT_TRUE(canvas.FindText(L"Copied \u2713") != nullptr);

  EXPECT_EQ(app.lookupCache().QueueSize(), 0u);
  ClickSlot(Slot::LookupRefresh);  // drawn for Failed
  EXPECT_EQ(Current().state, LookupState::Pending);
  EXPECT_EQ(app.lookupCache().QueueSize(), 1u);
}

TEST_F(LookupCommandsTest, KeysPasteCopyClearAndFocusTheBox) {
  Key(Key::L, true);
  OpenWith(Done(1, 2));
  struct Case {
    const char* what;
    uint32_t key;
    bool ctrl;
    int32_t focusBefore;
    std::wstring clipboard;
    std::wstring boxAfter;
    int32_t focusAfter;
  } cases[] = {
      {"Ctrl+V replaces and focuses", Key::V, true, -1, L" 1.2.3.4 ", L"1.2.3.4", kBox},
      {"Ctrl+V with an empty clipboard", Key::V, true, -1, L"", L"typed", -1},
      {"Delete while focused", Key::Delete, false, kBox, L"", L"", kBox},
      {"Delete while not focused", Key::Delete, false, -1, L"", L"typed", -1},
      {"Ctrl+L", Key::L, true, -1, L"", L"typed", kBox},
      {"V without Ctrl", Key::V, false, -1, L"x", L"typed", -1},
  };
  for (const Case& c : cases) {
    BoxText() = L"typed";
    window.editor().focusedField = c.focusBefore;
    fakes.clipboard.content = c.clipboard;
    host.ClearPaints();
    Key(c.key, c.ctrl);
    EXPECT_EQ(BoxText(), c.boxAfter) << c.what;
    EXPECT_EQ(Focus(), c.focusAfter) << c.what;
    EXPECT_EQ(host.fullRepaints, 1) << c.what;
    EXPECT_TRUE(Open()) << c.what;
  }
  fakes.clipboard.content.clear();
  Key(Key::C, true);
  EXPECT_EQ(fakes.clipboard.content, L"5.6.7.8");
  EXPECT_EQ(Toast(), L"IP copied: 5.6.7.8");

  app.currentLookup().address.clear();  // no lookup yet: Ctrl+C copies nothing
  const int replaces = fakes.clipboard.replaceCalls;
  Key(Key::C, true);
  EXPECT_EQ(fakes.clipboard.replaceCalls, replaces);
}

TEST_F(LookupCommandsTest, TypingEditsTheFocusedBoxAndEnterSubmits) {
  Key(Key::L, true);
  struct Case {
    wchar_t c;
    bool focused;
    std::wstring after;
    int32_t repaints;
  } cases[] = {
      {L'a', true, L"1.2a", 1}, {L'\b', true, L"1.", 1},  {L' ', true, L"1.2", 1},  // blanks never enter
      {0x01, true, L"1.2", 1},  {L'\t', true, L"1.2", 1}, {L'a', false, L"1.2", 0}, {L'\b', false, L"1.2", 0},
  };
  for (const Case& c : cases) {
    BoxText() = L"1.2";
    window.editor().focusedField = c.focused ? kBox : -1;
    host.ClearPaints();
    window.OnChar(c.c);
    EXPECT_EQ(BoxText(), c.after) << static_cast<int>(c.c) << c.focused;
    EXPECT_EQ(host.fullRepaints, c.repaints) << static_cast<int>(c.c) << c.focused;
  }
  BoxText() = L"  http://user@9.9.9.9:80/path ";
  window.editor().focusedField = -1;
  window.OnChar(L'\r');  // not focused: Enter does nothing
  EXPECT_EQ(app.currentLookup().address, L"");
  window.editor().focusedField = kBox;
  window.OnChar(L'\r');
  EXPECT_EQ(app.currentLookup().address, L"9.9.9.9");
  EXPECT_EQ(Current().state, LookupState::Pending);
  EXPECT_EQ(Focus(), kBox);
}

TEST_F(LookupCommandsTest, UiTimerRepaintsThePanelWhileTheResultOrItsMapIsPending) {
  struct Case {
    LookupState state;
    MapState map;
    bool repaint;
  } cases[] = {
      {LookupState::Pending, MapState::Loading, true}, {LookupState::Done, MapState::Loading, true},
      {LookupState::Done, MapState::Ready, false},     {LookupState::Done, MapState::Failed, false},
      {LookupState::Failed, MapState::None, false},
  };
  for (const Case& c : cases) {
    LookupResult r = Done(1, 2);
    r.state = c.state;
    r.mapState = c.map;
    OpenWith(r);
    window.OnTimer(TIMER_UI);
    clock.Advance(1);  // same caret phase and second on the next tick
    host.ClearPaints();
    window.OnTimer(TIMER_UI);
    EXPECT_EQ(host.fullRepaints > 0, c.repaint) << static_cast<int>(c.state) << static_cast<int>(c.map);
  }
}

}  // namespace
}  // namespace tolvane
