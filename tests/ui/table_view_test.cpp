// The connection table on the recording canvas: row fade, selection over hover, the signal column
// (words, unlit bars, the sparkline's scale and loss marks), rows that fit, the scroll bar, sort
// headers, the details pane, and what a partial repaint skips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ui/table_view.h"
#include "view_fixture.h"

namespace tolvane {
namespace {

constexpr int32_t kW = 1360;
constexpr int32_t kH = 880;

class TableViewTest : public ViewFixture {
 public:
  void Paint(const std::vector<ViewRow>& rows, int32_t W = kW, int32_t H = kH) {
    DrawContext dc = Context();
    PaintTable(dc, state, inputs, rows, book, W, H);
  }
  void PaintPartial(const std::vector<ViewRow>& rows, const RectF& repaint) {
    DrawContext dc = Context();
    dc.cullOn = true;
    dc.cull = repaint;
    PaintTable(dc, state, inputs, rows, book, kW, kH);
  }
  static RectF RowBox(int32_t screenRow, int32_t W = kW) {
    return RectF{34, static_cast<float>(371 + 28 * screenRow), static_cast<float>(W - 68), 26};
  }
  std::vector<uint32_t> RowBoxFills(int32_t screenRow) const {
    std::vector<uint32_t> out;
    for (const CanvasCall* c : FillsAt(RowBox(screenRow))) out.push_back(c->argb);
    return out;
  }
  // Calls inside the sparkline box of the row at screen position i.
  std::vector<const CanvasCall*> SparklineCalls(int32_t screenRow, int32_t W = kW) const {
    const float top = static_cast<float>(371 + 28 * screenRow + 6);
    std::vector<const CanvasCall*> out;
    for (const CanvasCall& c : canvas.calls()) {
      if (c.IsText() || c.kind == CallKind::PushClip || c.kind == CallKind::PopClip) continue;
      if (c.rect.x >= W - 229 && c.rect.Right() <= W - 145 && c.rect.y >= top - 3 && c.rect.Bottom() <= top + 21)
        out.push_back(&c);
    }
    return out;
  }
  static std::vector<ViewRow> Rows(int32_t n) {
    std::vector<ViewRow> rows;
    for (int32_t i = 0; i < n; ++i)
      rows.push_back(TableRow(L"app" + std::to_wstring(i) + L".exe", L"142.250.80." + std::to_wstring(i + 1), 20));
    return rows;
  }
};

TEST_F(TableViewTest, NewRowFadesFromAccentWithinSevenTenthsOfASecond) {
  const struct {
    uint64_t ageMs;
    int32_t alpha;  // -1: no tint
  } cases[] = {{0, 110}, {350, 55}, {699, 0}, {700, -1}, {5000, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ageMs);
    std::vector<ViewRow> rows = Rows(1);
    rows[0].firstSeen = clock.TickMs() - c.ageMs;
    Paint(rows);
    const std::vector<uint32_t> fills = RowBoxFills(0);
    const bool tinted = std::find(fills.begin(), fills.end(), WithAlpha(palette().accent, 55)) != fills.end();
    if (c.alpha == 55) {
      EXPECT_TRUE(tinted);
    }
    if (c.alpha > 0) {
      ASSERT_EQ(fills.size(), 1u);
      EXPECT_EQ(fills[0], WithAlpha(palette().accent, static_cast<uint32_t>(c.alpha)));
    } else {
      EXPECT_TRUE(fills.empty());
    }
  }
  // A row of the first view (firstSeen 0) is never tinted.
  Paint(Rows(1));
  EXPECT_TRUE(RowBoxFills(0).empty());
}

TEST_F(TableViewTest, SelectionWinsOverHover) {
  inputs.selectedRow = 1;
  state.mouseX = 500;
  state.mouseY = 372 + 28 + 10;  // over the second row
  Paint(Rows(3));
  EXPECT_EQ(RowBoxFills(1), std::vector<uint32_t>{palette().accentSoft});
  EXPECT_TRUE(RowBoxFills(0).empty());

  state.mouseY = 372 + 10;  // over the first row, which is not selected
  Paint(Rows(3));
  EXPECT_EQ(RowBoxFills(0), std::vector<uint32_t>{palette().highlight});
  EXPECT_EQ(RowBoxFills(1), std::vector<uint32_t>{palette().accentSoft});

  state.mouseY = 372 + 28 * 5;  // below the last row: nothing hovered
  Paint(Rows(3));
  EXPECT_TRUE(RowBoxFills(0).empty());
  EXPECT_TRUE(RowBoxFills(2).empty());
}

TEST_F(TableViewTest, RowCellsShowTruncationsPidDashAndCategoryBadge) {
  std::vector<ViewRow> rows = {TableRow(L"a-very-long-process-name-here.exe", L"142.250.80.46", 20, L"social"),
                               TableRow(L"System", L"142.250.80.47", 20, L"weird")};
  rows[1].pid = 0;
  rows[1].state = L"RECENT";
  Paint(rows);
  EXPECT_TRUE(Drew(L"a-very-long-process-n..."));
  EXPECT_TRUE(Drew(L"\u2014"));  // pid 0
  EXPECT_TRUE(Drew(L"5151"));
  const CanvasCall* latency = canvas.FindText(L"20 ms");
  ASSERT_NE(latency, nullptr);
  EXPECT_FLOAT_EQ(latency->rect.x, kW - 360);
  EXPECT_EQ(latency->argb, palette().good);
  EXPECT_FALSE(FillsAt(RectF{45, 371 + 11, 6, 6}).empty());
  EXPECT_EQ(FillsAt(RectF{45, 371 + 11, 6, 6})[0]->argb, 0xFFF472B6u);
  EXPECT_EQ(FillsAt(RectF{45, 399 + 11, 6, 6})[0]->argb, palette().textDim);       // not one of the six words
  EXPECT_EQ(FillsAt(RectF{kW - 140, 371 + 12, 6, 6})[0]->argb, palette().good);    // ACTIVE
  EXPECT_EQ(FillsAt(RectF{kW - 140, 399 + 12, 6, 6})[0]->argb, palette().accent);  // RECENT
}

TEST_F(TableViewTest, RowsWithoutAnIpv4PeerShowAWordAndNoSparkline) {
  std::vector<ViewRow> rows = {TableRow(L"a.exe", L"2606:4700::1111", -3), TableRow(L"b.exe", L"", -2),
                               TableRow(L"c.exe", L"*", -2)};
  book.RecordSample(L"2606:4700::1111", 12);
  book.RecordSample(L"2606:4700::1111", 14);
  Paint(rows);
  const CanvasCall* word = canvas.FindText(L"IPv6");
  ASSERT_NE(word, nullptr);
  EXPECT_FLOAT_EQ(word->rect.x, kW - 230);
  for (int32_t i = 0; i < 3; ++i) {
    for (const CanvasCall* c : SparklineCalls(i)) {
      EXPECT_NE(c->kind, CallKind::FillPath) << i;
      EXPECT_NE(c->kind, CallKind::StrokePath) << i;
      EXPECT_NE(c->kind, CallKind::Line) << i;
    }
  }
  EXPECT_EQ(canvas.Count(CallKind::StrokePath), 0u);
}

TEST_F(TableViewTest, PingOffShowsDashOffAndFourUnlitBars) {
  settings.enablePing = false;
  std::vector<ViewRow> rows = {TableRow(L"a.exe", L"142.250.80.46", 25)};
  book.RecordSample(L"142.250.80.46", 25);
  book.RecordSample(L"142.250.80.46", 30);
  Paint(rows);
  EXPECT_TRUE(Drew(L"\u2014"));
  EXPECT_TRUE(Drew(L"off"));
  EXPECT_FALSE(Drew(L"25 ms"));
  std::vector<uint32_t> bars;
  for (const CanvasCall& c : canvas.calls()) {
    if (c.kind == CallKind::FillRect && c.rect.x >= kW - 256 && c.rect.x < kW - 236 && c.rect.y >= 371) {
      bars.push_back(c.argb);
    }
  }
  ASSERT_EQ(bars.size(), 4u);
  for (uint32_t b : bars) {
    EXPECT_EQ(b & 0x00FFFFFFu, palette().textDim & 0x00FFFFFFu);
    EXPECT_LT(b >> 24, 0x80u);  // dim
  }
  for (const CanvasCall* c : SparklineCalls(0)) {
    EXPECT_NE(c->kind, CallKind::FillPath);
    EXPECT_NE(c->kind, CallKind::StrokePath);
    EXPECT_NE(c->kind, CallKind::Line);
  }
}

TEST_F(TableViewTest, SparklineIsFlatForOneSampleAndScalesSmallValuesTo50) {
  const float top = 371 + 8;
  book.RecordSample(L"142.250.80.1", 30);
  Paint(Rows(1));
  std::vector<const CanvasCall*> lines = canvas.OfKind(CallKind::Line);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_FLOAT_EQ(lines[0]->a.x, kW - 228);
  EXPECT_FLOAT_EQ(lines[0]->b.x, kW - 148);
  EXPECT_FLOAT_EQ(lines[0]->a.y, lines[0]->b.y);
  EXPECT_EQ(lines[0]->argb, WithAlpha(palette().textMuted, 0x46));

  for (int32_t v : {10, 45, 20}) book.RecordSample(L"142.250.80.1", v);  // 30, 10, 45, 20: top 45, scale 50
  Paint(Rows(1));
  const auto strokes = canvas.OfKind(CallKind::StrokePath);
  const CanvasCall* line = nullptr;
  for (const CanvasCall* c : strokes) {
    if (c->argb == palette().accent) line = c;
  }
  ASSERT_NE(line, nullptr);
  EXPECT_TRUE(line->pen.roundJoins);
  EXPECT_NEAR(line->rect.y, top + 14 - 45.0f / 50 * 14, 0.01);  // the highest point
  EXPECT_NEAR(line->rect.Bottom(), top + 14 - 10.0f / 50 * 14, 0.01);
  EXPECT_FLOAT_EQ(line->rect.Right(), kW - 148);                // newest at the right edge
  EXPECT_NEAR(line->rect.x, kW - 228 + 20 * 80.0f / 23, 0.01);  // four samples in the last 4 of 24 slots
  // The area under the line reaches the row's y + 24; the newest point gets a dot in its grade.
  const auto fills = canvas.OfKind(CallKind::FillPath);
  EXPECT_TRUE(std::any_of(fills.begin(), fills.end(), [&](const CanvasCall* c) {
    return c->brush.gradient && std::fabs(c->rect.Bottom() - (371 + 24)) < 0.01f;
  }));
  const auto dots = FillsAt(RectF{kW - 148 - 2.5f, top + 14 - 20.0f / 50 * 14 - 2.5f, 5, 5});
  ASSERT_EQ(dots.size(), 1u);
  EXPECT_EQ(dots[0]->argb, palette().good);
}

TEST_F(TableViewTest, SparklineMarksLossesAndShowsOnlyTheLast24Samples) {
  for (int32_t i = 0; i < 30; ++i) book.RecordSample(L"142.250.80.1", i == 29 ? -1 : (i < 6 ? 900 : 60));
  Paint(Rows(1));
  // The 900 ms samples are older than the last 24: the scale stays at 100.
  const CanvasCall* line = nullptr;
  for (const CanvasCall* c : canvas.OfKind(CallKind::StrokePath)) {
    if (c->argb == palette().accent) line = c;
  }
  ASSERT_NE(line, nullptr);
  EXPECT_NEAR(line->rect.y, 379 + 14 - 60.0f / 100 * 14, 0.01);
  EXPECT_NEAR(line->rect.Right(), kW - 228 + 22 * 80.0f / 23, 0.01);  // the lost newest sample is no point
  const auto losses = canvas.StrokesWithColour(WithAlpha(palette().bad, 0xBE));
  ASSERT_EQ(losses.size(), 1u);
  EXPECT_FLOAT_EQ(losses[0]->a.x, kW - 148);
  // No dot after a lost newest sample.
  for (const CanvasCall* c : canvas.OfKind(CallKind::FillEllipse)) {
    EXPECT_FALSE(c->rect.x > kW - 232 && c->rect.x < kW - 144) << c->rect.x;
  }
}

TEST_F(TableViewTest, PageRowsScrollClampAndATinyWindowStillShowsOneRow) {
  const struct {
    int32_t H;
    int32_t pageRows;
  } cases[] = {{880, 15}, {496, 2}, {495, 1}, {450, 1}};  // rows area H - 440 high
  for (const auto& c : cases) {
    SCOPED_TRACE(c.H);
    inputs.scrollRow = 99;
    Paint(Rows(20), kW, c.H);
    EXPECT_EQ(state.pageRows, c.pageRows);
    EXPECT_EQ(inputs.scrollRow, 20 - c.pageRows);
    EXPECT_TRUE(Drew(L"app" + std::to_wstring(20 - c.pageRows) + L".exe"));
    EXPECT_FALSE(Drew(L"app" + std::to_wstring(19 - c.pageRows) + L".exe"));
    EXPECT_EQ(state.hits[Slot::TableArea].bottom, c.H - 68);
  }
  inputs.scrollRow = -4;
  Paint(Rows(3));
  EXPECT_EQ(inputs.scrollRow, 0);
  EXPECT_EQ(state.remoteColumnLeft, 574);
  EXPECT_EQ(state.remoteColumnEnd, kW - 474);
  EXPECT_EQ(canvas.ClipDepth(), 0);
}

// The clip in force for each call: the rectangle of the innermost PushClip, or none.
std::vector<const RectF*> ClipOfEachCall(const RecordingCanvas& canvas) {
  std::vector<const RectF*> stack, out;
  for (const CanvasCall& c : canvas.calls()) {
    if (c.kind == CallKind::PushClip) stack.push_back(&c.rect);
    if (c.kind == CallKind::PopClip && !stack.empty()) stack.pop_back();
    out.push_back(stack.empty() ? nullptr : stack.back());
  }
  return out;
}

TEST_F(TableViewTest, NothingOfTheRowsCrossesTheRowsArea) {
  const struct {
    int32_t H;
    int32_t hoveredRow;
  } cases[] = {{880, 0}, {880, 1}, {495, 0}, {450, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.H);
    state.mouseX = 500;
    state.mouseY = 372 + 28 * c.hoveredRow + 5;
    inputs.scrollRow = 0;
    Paint(Rows(3), kW, c.H);
    const float top = 372, bottom = static_cast<float>(c.H - 68);
    const std::vector<const RectF*> clips = ClipOfEachCall(canvas);
    for (size_t i = 0; i < canvas.calls().size(); ++i) {
      const CanvasCall& call = canvas.calls()[i];
      if (call.kind == CallKind::PushClip || call.kind == CallKind::PopClip) continue;
      if (call.rect.y < 371 || call.rect.y > 371 + 28 * 3) continue;  // not a row's
      if (call.rect.x >= kW - 34) continue;                           // the scroll bar
      RectF r = call.rect;
      if (const RectF* clip = clips[i]) {
        r.y = std::max(r.y, clip->y);
        r.h = std::min(call.rect.Bottom(), clip->Bottom()) - r.y;
      }
      const bool text = call.IsText();
      // Shapes stay inside; a text box may reach past, its centred line stays inside.
      if (!text) {
        EXPECT_GE(r.y, top) << static_cast<int>(call.kind) << " at " << call.rect.y;
        EXPECT_LE(r.Bottom(), bottom + 0.01f) << static_cast<int>(call.kind) << " at " << call.rect.y;
      }
    }
    EXPECT_EQ(RowBoxFills(c.hoveredRow), std::vector<uint32_t>{palette().highlight});
  }
}

TEST_F(TableViewTest, ScrollBarOnlyWithMoreRowsThanFit) {
  const uint32_t bar = WithAlpha(palette().textDim, 0x5A);
  auto bars = [&] {
    std::vector<const CanvasCall*> out;
    for (const CanvasCall* c : canvas.FillsWithColour(bar))
      if (c->rect.x == kW - 33) out.push_back(c);
    return out;
  };
  Paint(Rows(15));  // exactly fits
  EXPECT_TRUE(bars().empty());
  inputs.scrollRow = 0;
  Paint(Rows(30));
  ASSERT_EQ(bars().size(), 1u);
  const float area = 880 - 68 - 372;
  EXPECT_FLOAT_EQ(bars()[0]->rect.y, 372);
  EXPECT_FLOAT_EQ(bars()[0]->rect.h, std::floor(15 * area / 30));
  inputs.scrollRow = 15;  // at the end: the thumb touches the bottom
  Paint(Rows(30));
  EXPECT_FLOAT_EQ(bars()[0]->rect.Bottom(), 372 + area);
}

TEST_F(TableViewTest, EmptyTableSaysSoAndSortedHeaderCarriesItsArrow) {
  inputs.sortKey = 2;
  inputs.sortAscending = false;
  Paint({});
  EXPECT_TRUE(Drew(L"No sockets match these filters. Open Discord, Browser, or Social Media, or clear search."));
  const CanvasCall* latency = canvas.FindText(L"LATENCY");
  ASSERT_NE(latency, nullptr);
  EXPECT_EQ(latency->argb, palette().accent);
  const CanvasCall* arrow = canvas.FindText(L"\u25bc");
  ASSERT_NE(arrow, nullptr);
  EXPECT_FLOAT_EQ(arrow->a.x, kW - 360 + 33 + 4);  // "LATENCY" measures 33 (7 x 4.75, truncated)
  EXPECT_FALSE(Drew(L"\u25b2"));
  EXPECT_EQ(canvas.FindText(L"APPLICATION")->argb, palette().textMuted);
  EXPECT_EQ(state.hits[Slot::SortHeader + 2].left, kW - 364);
  EXPECT_EQ(state.hits[Slot::SortHeader + 3].right, kW - 60);
}

TEST_F(TableViewTest, DetailsPaneHintWithoutSelectionButtonsWithOne) {
  inputs.selectedRow = 0;
  Paint(Rows(2));
  for (int32_t slot : {Slot::DetailsLookup, Slot::DetailsCopyIp, Slot::DetailsCopyEndpoint, Slot::DetailsRePing})
    EXPECT_TRUE(state.hits[slot].present);
  EXPECT_EQ(state.hits[Slot::DetailsRePing].left, kW - 121);
  EXPECT_EQ(state.hits[Slot::DetailsRePing].top, kH - 57);
  EXPECT_TRUE(Drew(
      L"app0.exe  [Browser HTTPS]  \u00b7  TCP4  \u00b7  192.168.1.20:51500 \u2192 142.250.80.1:443  \u00b7  20 ms"));

  for (int32_t selected : {-1, 2}) {  // none, and a stale index past the rows
    SCOPED_TRACE(selected);
    inputs.selectedRow = selected;
    Paint(Rows(2));
    EXPECT_TRUE(Drew(L"Select a row to inspect the route, or click any category button above to view & copy IPs."));
    for (int32_t slot : {Slot::DetailsLookup, Slot::DetailsCopyIp, Slot::DetailsCopyEndpoint, Slot::DetailsRePing})
      EXPECT_FALSE(state.hits[slot].present);
    EXPECT_FALSE(Drew(L"Re-ping"));
  }
}

TEST_F(TableViewTest, PartialRepaintDrawsOnlyTheRowsItMeets) {
  for (int32_t i = 0; i < 5; ++i) {
    book.RecordSample(L"142.250.80." + std::to_wstring(i + 1), 20);
    book.RecordSample(L"142.250.80." + std::to_wstring(i + 1), 25);
  }
  // The benchmark's clip: the second and third rows.
  PaintPartial(Rows(5), RectF{300, 400, 1060, 30});
  EXPECT_TRUE(Drew(L"142.250.80.2:443"));
  EXPECT_TRUE(Drew(L"142.250.80.3:443"));
  EXPECT_FALSE(Drew(L"142.250.80.1:443"));
  EXPECT_FALSE(Drew(L"142.250.80.4:443"));
  EXPECT_FALSE(Drew(L"app1.exe"));  // left of the clip: culled
  EXPECT_TRUE(SparklineCalls(0).empty());
  EXPECT_FALSE(SparklineCalls(1).empty());
  EXPECT_FALSE(SparklineCalls(2).empty());
  EXPECT_TRUE(SparklineCalls(3).empty());
  EXPECT_TRUE(state.hits[Slot::TableArea].present);  // slots are kept whatever is culled

  // The hover change of the third row, invalidated grown by 3: its neighbours' row boxes reach into
  // the rectangle and are drawn, the rows beyond are not.
  PaintPartial(Rows(5), RectF{29, 423, kW - 58, 36});
  EXPECT_FALSE(Drew(L"app0.exe"));
  EXPECT_TRUE(Drew(L"app1.exe"));
  EXPECT_TRUE(Drew(L"app2.exe"));
  EXPECT_TRUE(Drew(L"app3.exe"));
  EXPECT_FALSE(Drew(L"app4.exe"));

  // A repaint of the latency column only: the sparkline is skipped by its own test.
  PaintPartial(Rows(5), RectF{kW - 360, 372, 60, 140});
  EXPECT_TRUE(Drew(L"20 ms"));
  for (int32_t i = 0; i < 5; ++i) EXPECT_TRUE(SparklineCalls(i).empty()) << i;
}

TEST_F(TableViewTest, TrafficCellsAndTheDetailsPanesTotals) {
  std::vector<ViewRow> rows = Rows(2);
  rows[0].traffic = RowTraffic{true, 0, 0, 1200000, 0, 12400000, 1100000};
  inputs.selectedRow = 0;
  Paint(rows);
  const CanvasCall* down = canvas.FindText(L"\u2193 1.20 MB/s");
  ASSERT_NE(down, nullptr);
  EXPECT_EQ(down->argb, palette().text);
  EXPECT_EQ(down->a.x, kW - 464);
  EXPECT_EQ(canvas.FindText(L"\u2191 0 B/s")->argb, palette().textDim);                     // idle
  EXPECT_EQ(canvas.FindText(L"\u2014")->rect.x, kW - 464);                                  // the second row: no rate
  EXPECT_TRUE(canvas.FindTextContaining(L"20 ms  \u00b7  \u2193 12.4 MB \u2191 1.10 MB"));  // the totals

  rows[1].app = AppFold{3, 2, 1, 20};  // an application row: its own two buttons
  inputs.selectedRow = 1;
  Paint(rows);
  EXPECT_TRUE(Drew(L"Show sockets") && Drew(L"Copy IPs"));
  EXPECT_FALSE(state.hits[Slot::DetailsRePing].present || state.hits[Slot::DetailsCopyEndpoint].present);
}

// A row whose traffic alone changed is drawn again in its traffic cell only, and one whose latency
// alone changed in the latency's cells only: neither cell draws anything near the other.
TEST_F(TableViewTest, TrafficAndLatencyCellsAreRepaintedApart) {
  std::vector<ViewRow> rows = Rows(1);
  rows[0].traffic = RowTraffic{true, 0, 0, 999000000, 999000000, 0, 0};
  book.RecordSample(rows[0].remoteAddress, 999);
  const RowLook a = LookOf(rows[0], book, false, false, 0, true, kW);
  for (const bool traffic : {true, false}) {
    const auto [left, right] = traffic ? std::pair{MeterCellsLeft(kW), LatencyCellsLeft(kW)}
                                       : std::pair{LatencyCellsLeft(kW), MeterCellsRight(kW)};
    PaintPartial(rows, RectF{left, 372, right - left, 28});
    int drawn = 0;
    for (const CanvasCall& c : canvas.calls()) {
      if (c.kind >= CallKind::PushClip || c.rect.w > 500) continue;  // not clips, not the row's background
      ++drawn;
      EXPECT_TRUE(traffic ? c.rect.Right() <= LatencyCellsLeft(kW) - 4 : c.rect.x >= LatencyCellsLeft(kW) + 4)
          << c.rect.x;
    }
    EXPECT_GE(drawn, 2);
    RowLook b = a;
    b.shownSent += traffic ? 1 : 0;
    b.latencyMs += traffic ? 0 : 1;
    EXPECT_EQ(ChangedMeterCells(a, b), std::pair(left, right));
  }
}

}  // namespace
}  // namespace tolvane
