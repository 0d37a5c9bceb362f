// The main view's bands on the recording canvas: call cards and their widths, the empty call panel
// by capture state, the stat cards, the toolbar's category buttons that fit, the toast, and the
// paused state in the header and the status line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/call_servers.h"
#include "fakes/fake_file_system.h"
#include "latency/grading.h"
#include "ui/main_view.h"
#include "view_fixture.h"

namespace tolvane {
namespace {

class MainViewTest : public ViewFixture {
 public:
  void SetCalls(int32_t n) {
    RowList rows;
    for (int32_t i = 0; i < n; ++i) rows.push_back(CallRow(L"104.16.0." + std::to_wstring(i + 1), 900 - i * 100));
    calls.RebuildCallList(rows);
  }
  void PaintPanel(int32_t W) {
    DrawContext dc = Context();
    PaintCallPanel(dc, state, Sources(), W);
  }
  void PaintStats(int32_t W) {
    DrawContext dc = Context();
    PaintStatCards(dc, state, Sources(), W);
  }
  void PaintBar(int32_t W) {
    DrawContext dc = Context();
    PaintToolbar(dc, state, Sources(), W);
  }
  void PaintToastAt(int32_t W, int32_t H) {
    DrawContext dc = Context();
    PaintToast(dc, feedback.toast(), W, H);
  }
  // Rows into the view through the published snapshot, as the refresh thread hands them over.
  void Publish(const RowList& rows) {
    published.rows = rows;
    published.snapshotCounter.fetch_add(1);
    view.RebuildView(inputs);
  }
};

TEST_F(MainViewTest, CallCardsTakeTheirWidthAndAtMostFourAreDrawn) {
  const struct {
    int32_t entries;
    int32_t W;
    int32_t drawn;
    int32_t width;
  } cases[] = {
      {1, 1360, 1, 380},  // one card never grows beyond 380
      {2, 700, 2, 305},   // (700 - 80 - 10) / 2
      {3, 1000, 3, 300},  // (1000 - 80 - 20) / 3
      {4, 1360, 4, 312},  // (1360 - 110) / 4
      {5, 1360, 4, 312},  // a fifth entry is not shown
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entries);
    SetCalls(c.entries);
    EXPECT_EQ(CallCardWidth(c.W, c.entries), c.width);
    PaintPanel(c.W);
    for (int32_t i = 0; i < 4; ++i) {
      const HitRect& card = state.hits[Slot::CallCard + i];
      const bool shown = i < c.drawn;
      EXPECT_EQ(card.present, shown) << "card " << i;
      EXPECT_EQ(state.hits[Slot::CallCopyIp + i].present, shown);
      EXPECT_EQ(state.hits[Slot::CallCopyEndpoint + i].present, shown);
      EXPECT_EQ(state.hits[Slot::CallInfo + i].present, shown);
      if (!shown) continue;
      EXPECT_EQ(card.left, 40 + i * (c.width + 10));
      EXPECT_EQ(card.right, card.left + c.width);
      EXPECT_EQ(card.top, 108);
      EXPECT_EQ(card.bottom, 208);
      const int32_t hw = (c.width - 84) / 2;
      EXPECT_EQ(state.hits[Slot::CallInfo + i].right, card.left + 72 + 2 * hw);
    }
    EXPECT_EQ(Drew(L"104.16.0.5"), false);
    EXPECT_TRUE(state.hits[Slot::CallCopyAll].present);
    EXPECT_TRUE(Drew(L"Copy all"));
  }
}

TEST_F(MainViewTest, CallCardShowsKindLiveAddressDetailAndPacketLine) {
  RowList rows = {CallRow(L"104.18.12.201", 18234, 90)};
  rows[0].processName = L"Discord.exe (demo) with a long name";
  calls.RebuildCallList(rows);
  book.RecordSample(L"104.18.12.201", 42);
  PaintPanel(1360);
  EXPECT_TRUE(Drew(L"VOICE  \u00b7  UDP"));
  EXPECT_TRUE(Drew(L"LIVE"));
  const CanvasCall* address = canvas.FindText(L"104.18.12.201");
  ASSERT_NE(address, nullptr);
  EXPECT_FLOAT_EQ(address->rect.x, 52);
  EXPECT_TRUE(Drew(L"port 50004  \u00b7  Discord.exe (demo) ...  \u00b7  PID 4242"));
  const CanvasCall* latency = canvas.FindText(L"42 ms  \u00b7  18.2k pkts");
  ASSERT_NE(latency, nullptr);
  EXPECT_EQ(latency->argb, palette().good);

  // A silent entry is signalling: no LIVE mark, the dim kind label.
  calls.RebuildCallList({CallRow(L"104.18.12.201", 3, 9000)});
  PaintPanel(1360);
  EXPECT_TRUE(Drew(L"TCP  \u00b7  SIGNALING"));
  EXPECT_FALSE(Drew(L"LIVE"));
  EXPECT_TRUE(Drew(L"42 ms  \u00b7  3 pkts"));
}

TEST_F(MainViewTest, CallCardDetailLineStartsWithThePlaceAndIsCutToTheCard) {
  LookupCache cache;
  FakeFileSystem files;
  Toast toast{clock};
  CallServers servers{settings, calls, cache, book, files, clock, toast, true, nullptr};  // demo places
  servers.Load();
  calls.RebuildCallList({CallRow(L"35.214.40.77", 900)});
  servers.Tick();
  MainViewSources src = Sources();
  src.servers = &servers;
  const std::wstring start = L"Frankfurt, DE  \u00b7  port 5000";
  for (int32_t width : {380, 200}) {
    DrawContext dc = Context();
    PaintCallCard(dc, state, src, calls.Entries()[0], 0, 40, width);
    const CanvasCall* line = canvas.FindTextContaining(start);
    ASSERT_NE(line, nullptr) << width;
    EXPECT_EQ(line->text.rfind(start, 0), 0u) << width;
    EXPECT_LE(canvas.MeasureTextWidth(line->text, *fonts.Get(FontTiny)), static_cast<float>(width - 22)) << width;
    EXPECT_EQ(line->text.back() == L'\u2026', width == 200) << width;
  }
}

TEST_F(MainViewTest, PacketCountsReadAsPlainThousandsAndMillions) {
  const struct {
    uint64_t n;
    const wchar_t* text;
  } cases[] = {{0, L"0"},           {999, L"999"},      {1000, L"1.0k"},   {18234, L"18.2k"},
               {999999, L"999.9k"}, {1000000, L"1.0M"}, {3456789, L"3.4M"}};
  for (const auto& c : cases) EXPECT_EQ(PacketCountText(c.n), c.text) << c.n;
}

TEST_F(MainViewTest, CopyButtonReadsCopiedAfterItsOwnTextWasCopied) {
  SetCalls(2);
  ASSERT_TRUE(feedback.CopyWithFeedback(1, L"104.16.0.2", L"IP"));
  PaintPanel(1360);
  const int32_t copied = static_cast<int32_t>(calls.Entries()[0].address == L"104.16.0.2" ? 0 : 1);
  const HitRect& r = state.hits[Slot::CallCopyIp + copied];
  const CanvasCall* label = canvas.FindText(L"Copied \u2713");
  ASSERT_NE(label, nullptr);
  EXPECT_FLOAT_EQ(label->rect.x, static_cast<float>(r.left));
  EXPECT_TRUE(Drew(L"Copy IP"));  // the other card's button
  clock.Advance(1600);
  PaintPanel(1360);
  EXPECT_FALSE(Drew(L"Copied \u2713"));
}

TEST_F(MainViewTest, EmptyCallListShowsTheMessageOfTheCaptureStateAndNoCopyAll) {
  const struct {
    CaptureStatus status;
    const wchar_t* pill;
    const wchar_t* heading;
    const wchar_t* hintPart;
  } cases[] = {
      {CaptureStatus::Off, L"Packet capture off", L"Packet capture is turned off.", L"Turn it on in Settings"},
      {CaptureStatus::Capturing, L"Capturing", L"Waiting for a Discord call...", L"Matching IPs (104*  \u00b7  3*)"},
      {CaptureStatus::NeedsAdmin, L"Run as Administrator to capture calls",
       L"Call detection needs Administrator rights.", L"\"Run as administrator\""},
      {CaptureStatus::Error, L"Packet capture error", L"Packet capture could not start on this PC.",
       L"blocking raw sockets"},
      {CaptureStatus::NoAdapter, L"No network adapter", L"No active network adapter was found.",
       L"Connect to a network"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.heading);
    SetCalls(3);  // cards were there before
    PaintPanel(1360);
    ASSERT_TRUE(state.hits[Slot::CallCard].present);
    SetCalls(0);
    status = c.status;
    PaintPanel(1360);
    const CanvasCall* pill = canvas.FindText(c.pill);
    ASSERT_NE(pill, nullptr);
    EXPECT_EQ(pill->argb, CaptureStateColour(c.status, palette()));
    const CanvasCall* heading = canvas.FindText(c.heading);
    ASSERT_NE(heading, nullptr);
    EXPECT_FLOAT_EQ(heading->a.x, 42);
    EXPECT_FLOAT_EQ(heading->a.y, 130);
    const CanvasCall* hint = canvas.FindTextContaining(c.hintPart);
    ASSERT_NE(hint, nullptr);
    EXPECT_FLOAT_EQ(hint->a.y, 154);
    EXPECT_FALSE(Drew(L"Copy all"));
    EXPECT_FALSE(state.hits[Slot::CallCopyAll].present);
    for (int32_t i = 0; i < 4; ++i) {
      EXPECT_FALSE(state.hits[Slot::CallCard + i].present);
      EXPECT_FALSE(state.hits[Slot::CallCopyIp + i].present);
    }
  }
  EXPECT_EQ(CaptureStateColour(CaptureStatus::Error, palette()), palette().bad);
  EXPECT_EQ(CaptureStateColour(CaptureStatus::Off, palette()), palette().textMuted);
}

TEST_F(MainViewTest, PrefixSummaryMovesLeftOfCopyAll) {
  SetCalls(1);
  PaintPanel(1360);
  const CanvasCall* summary = canvas.FindText(L"Showing IPs starting with   104*  \u00b7  3*");
  ASSERT_NE(summary, nullptr);
  EXPECT_FLOAT_EQ(summary->rect.Right(), 1360 - 136);
  EXPECT_EQ(summary->horizontal, TextAlign::Far);
  SetCalls(0);
  PaintPanel(1360);
  summary = canvas.FindText(L"Showing IPs starting with   104*  \u00b7  3*");
  ASSERT_NE(summary, nullptr);
  EXPECT_FLOAT_EQ(summary->rect.Right(), 1360 - 40);
}

TEST_F(MainViewTest, StatsCountRowsAppsAndTakeTheUpperMedian) {
  std::vector<ViewRow> rows = {TableRow(L"a.exe", L"1.1.1.1", 40), TableRow(L"b.exe", L"1.1.1.2", 10),
                               TableRow(L"a.exe", L"1.1.1.3", 30), TableRow(L"c.exe", L"1.1.1.4", 20),
                               TableRow(L"c.exe", L"1.1.1.5", -1)};
  SetCalls(3);
  ViewStats s = ComputeViewStats(rows, calls, true);
  EXPECT_EQ(s.socketCount, 5);
  EXPECT_EQ(s.appCount, 3);
  EXPECT_EQ(s.callIpCount, 3);
  EXPECT_EQ(s.liveNodeCount, 3);
  EXPECT_EQ(s.medianLatency, 30);
  rows = {TableRow(L"a.exe", L"1.1.1.1", -1), TableRow(L"a.exe", L"1.1.1.2", -2)};
  EXPECT_EQ(ComputeViewStats(rows, calls, true).medianLatency, -1);
  EXPECT_EQ(ComputeViewStats({}, calls, true).appCount, 0);
}

TEST_F(MainViewTest, StatCardsShowTheMedianOrADash) {
  settings.callOnly = false;
  RowList rows;
  const int32_t latencies[4] = {10, 20, 30, 40};
  for (int32_t i = 0; i < 4; ++i) {
    ConnectionRow r = TableRow(L"chrome.exe", L"142.250.80." + std::to_wstring(i + 1), 0);
    rows.push_back(r);
    book.RecordSample(r.remoteAddress, latencies[i]);
  }
  Publish(rows);
  ASSERT_EQ(view.ViewRows().size(), 4u);
  const int32_t W = 1360;
  const int32_t cw = (W - 84) / 4;
  PaintStats(W);
  const CanvasCall* median = canvas.FindText(L"30 ms");
  ASSERT_NE(median, nullptr);
  EXPECT_FLOAT_EQ(median->a.x, static_cast<float>(24 + 3 * (cw + 12) + 14));
  EXPECT_FLOAT_EQ(median->a.y, 247);
  EXPECT_TRUE(Drew(L"ICMP echo"));
  EXPECT_TRUE(Drew(L"4 captured"));
  EXPECT_TRUE(Drew(L"0 live voice node(s)"));

  settings.enablePing = false;  // no positive latency: a dash
  PaintStats(W);
  EXPECT_FALSE(Drew(L"30 ms"));
  EXPECT_TRUE(Drew(L"\u2014"));
  EXPECT_TRUE(Drew(L"ping disabled"));
}

TEST_F(MainViewTest, CategoryButtonsThatDoNotFitAreNeitherDrawnNorPresent) {
  // Recording metrics: FontButton characters are 5 wide, so the six toggles take 260 and the
  // category buttons must end 10 before W - 284: All 492-525, Discord 530-583, Browsers 588-646,
  // Social 651-699, Games 704-747, Media 752-795, Dev 800-833.
  const struct {
    int32_t W;
    int32_t fitting;
  } cases[] = {{1360, 7}, {1127, 7}, {1126, 6}, {993, 4}, {992, 3}, {700, 0}};
  const wchar_t* labels[7] = {L"All", L"Discord", L"Browsers", L"Social", L"Games", L"Media", L"Dev"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.W);
    PaintBar(1360);  // all present before
    DrawContext dc = Context();
    PaintToolbar(dc, state, Sources(), c.W);
    for (int32_t i = 0; i < 7; ++i) {
      const bool fits = i < c.fitting;
      EXPECT_EQ(state.hits[Slot::CategoryButton + i].present, fits) << i;
      if (i >= 1) {
        EXPECT_EQ(Drew(labels[i]), fits) << i;
      }
    }
    EXPECT_EQ(state.hits[Slot::CategoryButton + 6].Contains(820, 315), c.fitting == 7);
    if (c.fitting >= 2) {
      EXPECT_EQ(state.hits[Slot::CategoryButton + 1].left, 530);
      EXPECT_EQ(state.hits[Slot::CategoryButton + 1].right, 583);
    }
  }
}

TEST_F(MainViewTest, TogglesReadLeftToRightAndShowTheirSetting) {
  settings.enablePing = false;
  PaintBar(1360);
  // Slot order LAN, IPv6, UDP, System, Ping, Call IPs; on screen LAN, IPv6, UDP, Ping, System, Call IPs.
  const int32_t screenOrder[6] = {0, 1, 2, 4, 3, 5};
  for (int32_t k = 1; k < 6; ++k) {
    EXPECT_LT(state.hits[Slot::ToolbarToggle + screenOrder[k - 1]].right,
              state.hits[Slot::ToolbarToggle + screenOrder[k]].left);
  }
  EXPECT_EQ(state.hits[Slot::ToolbarToggle + 5].right, 1360 - 24 - 4);  // "Call IPs": 40 + 16 from W - 84
  EXPECT_EQ(canvas.FindText(L"Ping")->argb, palette().textMuted);       // off
  EXPECT_EQ(canvas.FindText(L"Call IPs")->argb, palette().text);        // callOnly is on by default
}

TEST_F(MainViewTest, SearchBoxShowsPlaceholderTextAndBlinkingCaret) {
  PaintBar(1360);
  ASSERT_NE(canvas.FindText(L"Search app, IP, port..."), nullptr);
  EXPECT_EQ(canvas.FindText(L"Search app, IP, port...")->argb, palette().textMuted);

  inputs.searchText = L"discord";
  state.searchFocused = true;
  clock.tickMs = 1000;  // 1000 / 500 even: caret shown
  PaintBar(1360);
  EXPECT_TRUE(Drew(L"discord|"));
  clock.tickMs = 1500;
  PaintBar(1360);
  EXPECT_TRUE(Drew(L"discord"));
  EXPECT_FALSE(Drew(L"discord|"));
}

TEST_F(MainViewTest, ToastIsCutTo80CharactersAndGoneAfter2400Ms) {
  const std::wstring text(100, L'x');
  feedback.ShowToast(text);
  const int32_t W = 1360, H = 880;
  PaintToastAt(W, H);
  const std::wstring drawn = std::wstring(77, L'x') + L"...";
  const CanvasCall* t = canvas.FindText(drawn);
  ASSERT_NE(t, nullptr);
  const int32_t bw = static_cast<int32_t>(80 * 5.25f) + 36;  // FontSmall characters are 5.25 wide
  EXPECT_FLOAT_EQ(t->rect.x, static_cast<float>(W - bw));
  EXPECT_FLOAT_EQ(t->rect.w, static_cast<float>(bw - 34));
  EXPECT_FALSE(FillsAt(RectF{static_cast<float>(W - bw - 24), H - 74.0f, static_cast<float>(bw), 34}).empty());

  clock.Advance(2399);
  PaintToastAt(W, H);
  EXPECT_TRUE(Drew(drawn));
  clock.Advance(1);
  PaintToastAt(W, H);
  EXPECT_EQ(canvas.DrawCount(), 0u);
  EXPECT_TRUE(feedback.toast().text().empty());
}

TEST_F(MainViewTest, ToastBoxNeverOutgrowsANarrowWindow) {
  feedback.ShowToast(std::wstring(80, L'y'));
  PaintToastAt(400, 700);
  const CanvasCall* t = canvas.FindText(std::wstring(80, L'y'));
  ASSERT_NE(t, nullptr);
  EXPECT_FLOAT_EQ(t->rect.x, 400 - 340);  // bw = W - 60
}

TEST_F(MainViewTest, PausedShowsInThePillTheButtonAndTheStatusLine) {
  for (const bool paused : {false, true}) {
    SCOPED_TRACE(paused);
    state.capturePaused = paused;
    DrawContext dc = Context();
    PaintMainView(dc, state, Sources(), 1360, 880);
    const CanvasCall* pill = canvas.FindText(paused ? L"PAUSED" : L"LIVE");
    ASSERT_NE(pill, nullptr);
    EXPECT_EQ(pill->argb, paused ? palette().warn : palette().good);
    EXPECT_FLOAT_EQ(pill->rect.x, 134 + 57 + 14 + 18);  // "Tolvane" measures 57 (7 x 8.25, truncated)
    EXPECT_TRUE(Drew(paused ? L"Resume" : L"Pause"));
    const CanvasCall* status = canvas.FindTextContaining(L" sockets   \u00b7   ");
    ASSERT_NE(status, nullptr);
    EXPECT_NE(status->text.find(paused ? L"   \u00b7   paused   \u00b7   " : L"   \u00b7   live   \u00b7   "),
              std::wstring::npos);
    EXPECT_FLOAT_EQ(status->rect.y, 880 - 16);
  }
}

TEST_F(MainViewTest, HeaderSlotsAndTheSelectedSwatchRing) {
  settings.theme = 3;
  DrawContext dc = Context();
  PaintHeader(dc, state, Sources(), 1360);
  EXPECT_EQ(state.hits[Slot::CloseButton].left, 20);
  EXPECT_EQ(state.hits[Slot::MaximizeButton].right, 81);
  EXPECT_EQ(state.hits[Slot::HeaderThemeSwatch + 3].left, 1360 - 632 + 66);
  EXPECT_EQ(state.hits[Slot::SettingsButton].left, 1360 - 112);
  const auto rings = canvas.OfKind(CallKind::StrokeEllipse);
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_FLOAT_EQ(rings[0]->rect.x, 1360 - 632 + 66 + 1.5f);
  EXPECT_EQ(rings[0]->pen.width, 2);
}

TEST_F(MainViewTest, WholeViewDrawsEveryBandOnce) {
  SetCalls(2);
  DrawContext dc = Context();
  PaintMainView(dc, state, Sources(), 1360, 880);
  EXPECT_TRUE(Drew(L"Tolvane"));
  EXPECT_TRUE(Drew(L"DISCORD CALL IPs"));
  EXPECT_TRUE(Drew(L"ACTIVE SOCKETS"));
  EXPECT_TRUE(Drew(L"Paste"));
  EXPECT_TRUE(Drew(L"APPLICATION"));
  EXPECT_TRUE(state.hits[Slot::TableArea].present);
  EXPECT_EQ(canvas.ClipDepth(), 0);
}

}  // namespace
}  // namespace tolvane
