// The connection table's painters; see table_view.h.
#include "ui/table_view.h"

#include <algorithm>
#include <span>
#include <string>

#include "latency/grading.h"
#include "lookup/lookup_target.h"
#include "ui/main_view.h"

namespace tolvane {
namespace {

constexpr std::wstring_view kEmDash = L"\u2014";
constexpr std::wstring_view kDot = L"  \u00b7  ";
constexpr int32_t kSparkWidth = 80;
constexpr int32_t kSparkHeight = 14;
constexpr int32_t kSparkSlots = 24;
constexpr int32_t kRateSparkWidth = 120;
constexpr int32_t kRateSparkHeight = 22;
constexpr int32_t kTrafficColumn = 464;     // the TRAFFIC column's left edge is W - 464
constexpr int32_t kRemoteCellSlack = 1048;  // the remote cell is W - 1048 wide

RectF R(float x, float y, float w, float h) { return RectF{x, y, w, h}; }
float F(int32_t v) { return static_cast<float>(v); }

// During a partial repaint, whether anything of the row whose top is y lies in the repaint
// rectangle. A row's pixels stay within its row box (y to y + 26; the text is centred well inside
// its taller text box), with a pixel of anti-aliasing either side, so rows outside are skipped
// whole: no shape calls, no text, no samples fetched.
bool RowMeetsRepaint(const DrawContext& dc, int32_t y) {
  if (!dc.cullOn) return true;
  return F(y + 27) > dc.cull.y && F(y - 1) < dc.cull.Bottom();
}

bool HasSparklineAddress(const std::wstring& address) {
  return !address.empty() && address != L"*" && address.find(L':') == std::wstring::npos;
}

// The fade-in tint's alpha of a row first seen at firstSeen: 110 falling to 0 over 700 ms.
uint32_t FadeAlpha(uint64_t firstSeen, uint64_t nowMs) {
  if (firstSeen == 0 || nowMs < firstSeen || nowMs - firstSeen >= ConnectionView::kFadeMs) return 0;
  const double age = static_cast<double>(nowMs - firstSeen);
  return static_cast<uint32_t>((1.0 - age / static_cast<double>(ConnectionView::kFadeMs)) * 110.0);
}

// The line through points (two or more) in accent, over a fill that fades from it down to bottom;
// top is where the fade starts.
void FilledLine(DrawContext& dc, const std::vector<PointF>& points, float top, float bottom) {
  const ThemePalette& p = dc.palette;
  Path area;
  area.AddLines(points);
  area.AddLine(points.back(), {points.back().x, bottom});
  area.AddLine({points.back().x, bottom}, {points.front().x, bottom});
  area.CloseFigure();
  const float x = points.front().x;
  dc.canvas.FillPath(
      Brush::Linear({x, top}, {x, bottom}, {WithAlpha(p.accent, 0x50), WithAlpha(p.accent, 0)}, {0.0f, 1.0f}), area);
  Path line;
  line.AddLines(points);
  dc.canvas.StrokePath(Pen{p.accent, 1.5f, true}, line);
}

// The sparkline of fewer than two values: a flat line across the box (x, top, w, h).
void FlatLine(DrawContext& dc, float x, float top, float w, float h) {
  dc.canvas.DrawLine(Pen{WithAlpha(dc.palette.textMuted, 0x46), 1}, {x, top + h / 2}, {x + w, top + h / 2});
}

// The traffic cell of a row whose top is y: "↓ rate" over "↑ rate", or "—" without a rate.
void PaintTrafficCell(DrawContext& dc, const RowTraffic& t, int32_t W, int32_t y) {
  const ThemePalette& p = dc.palette;
  const float x = F(W - kTrafficColumn);
  const float fy = F(y);
  if (!t.metered) {
    TextInRect(dc, kEmDash, FontTiny, R(x, fy + 1, 96, 28), p.textDim, TextAlign::Near, TextAlign::Center);
    return;
  }
  TextAt(dc, L"\u2193 " + FormatRate(t.rateReceived), FontTiny, x, fy + 4, t.rateReceived > 0 ? p.text : p.textDim);
  TextAt(dc, L"\u2191 " + FormatRate(t.rateSent), FontTiny, x, fy + 15, t.rateSent > 0 ? p.textMuted : p.textDim);
}

// The top of the rate sparkline's scale: 1, 2, 5, 10, 20, 50 kB/s and so on, the first at or above
// the largest rate shown.
uint64_t RateScale(uint64_t largest) {
  uint64_t scale = 1000;
  for (int step = 0; scale < largest && scale <= UINT64_MAX / 3; ++step)
    scale = step % 3 == 1 ? scale / 2 * 5 : scale * 2;
  return scale;
}

// The last minute of rates (oldest first) in the box (x, top, 120, 22), drawn like the latency
// sparklines: 60 slots, the newest at the right edge.
void PaintRateSparkline(DrawContext& dc, const std::vector<uint64_t>& rates, float x, float top) {
  const float w = kRateSparkWidth;
  const float h = kRateSparkHeight;
  if (rates.size() < 2) return FlatLine(dc, x, top, w, h);
  const size_t shown = std::min(rates.size(), kRateHistorySeconds);
  const auto first = rates.end() - static_cast<std::ptrdiff_t>(shown);
  const double scale = static_cast<double>(RateScale(*std::max_element(first, rates.end())));
  constexpr size_t kSlots = kRateHistorySeconds;
  std::vector<PointF> points;
  points.reserve(shown);
  for (size_t i = 0; i < shown; ++i) {
    const size_t slot = kSlots - shown + i;
    const double v = std::min(static_cast<double>(first[static_cast<std::ptrdiff_t>(i)]), scale);
    points.push_back({x + w * static_cast<float>(slot) / static_cast<float>(kSlots - 1),
                      top + h - static_cast<float>(v / scale) * h});
  }
  FilledLine(dc, points, top, top + h);
}

// The PID cell: the pid, "—" for 0, or an application row's number of processes when several.
std::wstring PidText(const ViewRow& row) {
  if (row.app.processes > 1) return std::to_wstring(row.app.processes) + L" procs";
  return row.pid == 0 ? std::wstring(kEmDash) : std::to_wstring(row.pid);
}

// The latency the signal column grades: an application row's is that of its most active socket.
int32_t SignalLatency(const ViewRow& row) { return row.app.connections > 0 ? row.app.signalMs : row.latencyMs; }

// boxClip: the rows area, when the row box crosses it and nothing clips the rows as a whole.
void PaintRow(DrawContext& dc, const ViewRow& row, const LatencyBook& book, bool selected, bool hovered, uint32_t fade,
              int32_t W, int32_t y, const RectF* boxClip) {
  const ThemePalette& p = dc.palette;
  const float fy = F(y);
  const RectF rowBox = R(34, fy, F(W - 68), 26);

  const uint32_t state = selected ? p.accentSoft : (hovered ? p.highlight : 0);
  if ((fade > 0 || state != 0) && !Culled(dc, rowBox.x, rowBox.y, rowBox.w, rowBox.h)) {
    if (boxClip) dc.canvas.PushClip(*boxClip);
    if (fade > 0) FillRoundRect(dc, rowBox, 6, WithAlpha(p.accent, fade));
    if (state != 0) FillRoundRect(dc, rowBox, 6, state);  // selection wins over hover
    if (boxClip) dc.canvas.PopClip();
  }

  const CategoryColours cat = CategoryColoursOf(row.category, p);
  FillRoundRect(dc, R(40, fy + 6, 16, 16), 5, cat.badge);
  FillEllipse(dc, Brush::Solid(cat.colour), R(45, fy + 11, 6, 6));
  TextInRect(dc, TruncateWithDots(row.processName, 24), FontBody, R(64, fy + 1, 190, 28), p.text, TextAlign::Near,
             TextAlign::Center);
  TextInRect(dc, PidText(row), FontTiny, R(260, fy + 1, 52, 28), p.textMuted, TextAlign::Near, TextAlign::Center);
  TextInRect(dc, row.protocol, FontButton, R(316, fy + 1, 64, 28), p.accent, TextAlign::Near, TextAlign::Center);
  TextInRect(dc, TruncateWithDots(row.localEndpoint, 25), FontMono, R(384, fy + 1, 182, 28), p.text, TextAlign::Near,
             TextAlign::Center);
  TextInRect(dc, TruncateWithDots(row.remoteEndpoint, 26), FontMono, R(574, fy + 1, F(W - kRemoteCellSlack), 28),
             p.text, TextAlign::Near, TextAlign::Center);
  PaintTrafficCell(dc, row.traffic, W, y);
  TextInRect(dc, LatencyText(row.latencyMs, dc.enablePing), FontSmall, R(F(W - 360), fy + 1, 80, 28),
             LatencyArgb(p, row.latencyMs, dc.enablePing), TextAlign::Near, TextAlign::Center);
  PaintSignalColumn(dc, row, book, W, y);
  const bool open = row.state == L"ACTIVE" || row.state == L"OPEN";
  FillEllipse(dc, Brush::Solid(open ? p.good : p.accent), R(F(W - 140), fy + 12, 6, 6));
  TextInRect(dc, row.state, FontTiny, R(F(W - 128), fy + 1, 88, 28), p.textMuted, TextAlign::Near, TextAlign::Center);
}

void PaintDetailsPane(DrawContext& dc, AppState& state, const ViewInputs& inputs, const std::vector<ViewRow>& rows,
                      int32_t W, int32_t H, const RateHistoryFn& history) {
  const ThemePalette& p = dc.palette;
  const int32_t detailSlots[4] = {Slot::DetailsLookup, Slot::DetailsCopyIp, Slot::DetailsCopyEndpoint,
                                  Slot::DetailsRePing};
  const int32_t sel = inputs.selectedRow;
  if (sel < 0 || static_cast<size_t>(sel) >= rows.size()) {
    for (int32_t slot : detailSlots) state.hits[slot].present = false;
    TextInRect(dc, L"Select a row to inspect the route, or click any category button above to view & copy IPs.",
               FontSmall, R(45, F(H - 64), F(W - 90), 39), p.textDim, TextAlign::Near, TextAlign::Center);
    return;
  }
  const ViewRow& row = rows[static_cast<size_t>(sel)];
  const bool appRow = row.app.connections > 0;
  std::wstring route;
  if (appRow) {
    // The application: its name, what it folds and its totals.
    route = row.processName + std::wstring(kDot) + row.localEndpoint + std::wstring(kDot) + row.remoteEndpoint;
    if (row.app.processes > 1) route += std::wstring(kDot) + std::to_wstring(row.app.processes) + L" processes";
  } else {
    route = row.processName + L"  [" + row.role + L"]  \u00b7  " + row.protocol + L"  \u00b7  " + row.localEndpoint +
            L" \u2192 " + row.remoteEndpoint + L"  \u00b7  " + LatencyText(row.latencyMs, dc.enablePing);
  }
  const RowTraffic& t = row.traffic;
  if (t.metered)
    route += std::wstring(kDot) + L"\u2193 " + FormatBytes(t.totalReceived) + L" \u2191 " + FormatBytes(t.totalSent);
  // The minute of traffic stands right-aligned before the buttons; the line is cut before it.
  const float sparkLeft = F(W - 415 - 10 - kRateSparkWidth);
  const float routeRight = t.metered ? sparkLeft - 10 : F(W - 425);
  TextInRect(dc, route, FontSmall, R(45, F(H - 64), routeRight - 45, 39), p.text, TextAlign::Near, TextAlign::Center);
  const float sparkTop = F(H - 64) + (39 - kRateSparkHeight) / 2.0f;
  if (t.metered && !Culled(dc, sparkLeft, sparkTop, kRateSparkWidth, kRateSparkHeight))
    PaintRateSparkline(dc, history ? history(row) : std::vector<uint64_t>{}, sparkLeft, sparkTop);

  struct DetailsButton {
    int32_t slot;
    int32_t left, right;
    std::wstring_view label;
    bool selected;
  };
  const DetailsButton socketButtons[4] = {
      {Slot::DetailsLookup, W - 415, W - 333, L"Details", false},
      {Slot::DetailsCopyIp, W - 327, W - 239, L"Copy IP", false},
      {Slot::DetailsCopyEndpoint, W - 233, W - 127, L"Copy IP:port", false},
      {Slot::DetailsRePing, W - 121, W - 41, L"Re-ping", true},
  };
  // An application row has its sockets and its addresses, but no one address to look up or ping.
  const DetailsButton appButtons[2] = {
      {Slot::DetailsLookup, W - 415, W - 333, L"Show sockets", false},
      {Slot::DetailsCopyIp, W - 327, W - 239, L"Copy IPs", false},
  };
  for (int32_t slot : detailSlots) state.hits[slot].present = false;
  using Buttons = std::span<const DetailsButton>;
  for (const DetailsButton& b : appRow ? Buttons(appButtons) : Buttons(socketButtons)) {
    state.hits[b.slot].Set(b.left, H - 57, b.right, H - 27);
    SmallToggle(dc, state.hits[b.slot], b.label, b.selected);
  }
}

}  // namespace

int32_t TablePageRows(int32_t areaHeight) { return areaHeight > 55 ? areaHeight / kTableRowPitch : 1; }

CategoryColours CategoryColoursOf(std::wstring_view category, const ThemePalette& palette) {
  struct Entry {
    std::wstring_view word;
    uint32_t colour;
  };
  static constexpr Entry kEntries[] = {
      {L"discord", 0xFF9BA3FFu}, {L"browser", 0xFF79B0FFu}, {L"social", 0xFFF472B6u},
      {L"game", 0xFFFF9AABu},    {L"media", 0xFF5EEAD4u},   {L"dev", 0xFFC9B3FFu},
  };
  for (const Entry& e : kEntries) {
    if (e.word == category) return CategoryColours{e.colour, WithAlpha(e.colour, 0x28)};
  }
  return CategoryColours{palette.textDim, WithAlpha(palette.textDim, 0x28)};
}

void PaintSortHeader(DrawContext& dc, AppState& state, const ViewInputs& inputs, int32_t slot, std::wstring_view label,
                     int32_t x, int32_t width, int32_t key) {
  state.hits[slot].Set(x - 4, 347, x + width, 364);
  const bool sorted = inputs.sortKey == key;
  const ThemePalette& p = dc.palette;
  TextAt(dc, label, FontTiny, F(x), 350, sorted ? p.accent : p.textMuted);
  if (sorted) {
    const float after = F(x + MeasureText(dc, label, FontTiny) + 4);
    TextAt(dc, inputs.sortAscending ? L"\u25b2" : L"\u25bc", FontTiny, after, 350, p.accent);
  }
}

void PaintSparkline(DrawContext& dc, const std::vector<int32_t>& history, float x, float top, float rowBottom) {
  const ThemePalette& p = dc.palette;
  const float w = kSparkWidth;
  const float h = kSparkHeight;
  if (history.size() < 2) return FlatLine(dc, x, top, w, h);
  const size_t shown = std::min<size_t>(history.size(), kSparkSlots);
  const std::vector<int32_t> samples(history.end() - static_cast<std::ptrdiff_t>(shown), history.end());
  const int32_t scale = GraphScale(samples);
  const std::vector<GraphPoint> marks = GraphPoints(samples, kSparkSlots, x, top, w, h, scale);

  std::vector<PointF> points;
  points.reserve(marks.size());
  const Pen lossPen{WithAlpha(p.bad, 0xBE), 1};
  for (const GraphPoint& m : marks) {
    const float mx = static_cast<float>(m.x);
    if (m.loss) {
      dc.canvas.DrawLine(lossPen, {mx, top}, {mx, top + h});
    } else {
      points.push_back({mx, static_cast<float>(m.y)});
    }
  }
  if (points.size() >= 2) FilledLine(dc, points, top, rowBottom);
  const int32_t newest = samples.back();
  if (newest >= 0 && !points.empty()) {
    const PointF last = points.back();
    FillEllipse(dc, Brush::Solid(LatencyArgb(p, newest, dc.enablePing)), R(last.x - 2.5f, last.y - 2.5f, 5, 5));
  }
}

void PaintSignalColumn(DrawContext& dc, const ViewRow& row, const LatencyBook& book, int32_t W, int32_t y) {
  const int32_t latency = SignalLatency(row);
  const uint32_t colour = LatencyArgb(dc.palette, latency, dc.enablePing);
  const float fy = F(y);
  DrawSignalBars(dc, F(W - 256), fy + 7, latency, colour);
  if (!HasSparklineAddress(row.remoteAddress) || !dc.enablePing) {
    TextInRect(dc, SignalWord(latency, dc.enablePing), FontTiny, R(F(W - 230), fy + 1, 70, 28), colour, TextAlign::Near,
               TextAlign::Center);
    return;
  }
  // The sparkline's own skip, before the samples are copied out of the book.
  if (Culled(dc, F(W - 228), fy + 6, kSparkWidth, 18)) return;
  PaintSparkline(dc, book.LatencyHistory(row.remoteAddress), F(W - 228), fy + 8, fy + 24);
}

void PaintTableChrome(DrawContext& dc, int32_t W, int32_t H) {
  const ThemePalette& p = dc.palette;
  FillRoundRect(dc, R(24, 338, F(W - 48), F(H - 18 - 338)), 12, p.card);
  StrokeRoundRect(dc, R(24, 338, F(W - 48), F(H - 18 - 338)), 12, p.border, 1);
  TextAt(dc, L"PID", FontTiny, 260, 350, p.textMuted);
  TextAt(dc, L"PROTO", FontTiny, 316, 350, p.textMuted);
  TextAt(dc, L"LOCAL IP : PORT", FontTiny, 384, 350, p.textMuted);
  TextAt(dc, L"SIGNAL", FontTiny, F(W - 256), 350, p.textMuted);
  FillRoundRect(dc, R(33, F(H - 64), F(W - 66), 39), 8, WithAlpha(p.text, 0x14));
}

RowLook LookOf(const ViewRow& row, const LatencyBook& book, bool selected, bool hovered, uint32_t fade, bool enablePing,
               int32_t W) {
  RowLook look;
  look.processName = row.processName;
  look.protocol = row.protocol;
  look.localEndpoint = row.localEndpoint;
  look.remoteEndpoint = row.remoteEndpoint;
  look.remoteAddress = row.remoteAddress;
  look.state = row.state;
  look.category = row.category;
  look.pid = row.pid;
  look.latencyMs = row.latencyMs;
  look.metered = row.traffic.metered;
  look.shownReceived = ShownAmount(row.traffic.rateReceived);
  look.shownSent = ShownAmount(row.traffic.rateSent);
  look.app = row.app;
  look.selected = selected;
  look.hovered = hovered;
  look.fade = fade;
  look.enablePing = enablePing;
  look.W = W;
  if (enablePing && HasSparklineAddress(row.remoteAddress)) {
    look.samples = book.LatencyHistory(row.remoteAddress);
    if (look.samples.size() > kSparkSlots) look.samples.erase(look.samples.begin(), look.samples.end() - kSparkSlots);
  }
  return look;
}

bool SameButMeters(const RowLook& a, const RowLook& b) {
  RowLook c = a;
  c.latencyMs = b.latencyMs;
  c.app.signalMs = b.app.signalMs;
  c.samples = b.samples;
  c.metered = b.metered;
  c.shownReceived = b.shownReceived;
  c.shownSent = b.shownSent;
  return c == b;
}

std::pair<float, float> ChangedMeterCells(const RowLook& a, const RowLook& b) {
  const bool traffic = a.metered != b.metered || a.shownReceived != b.shownReceived || a.shownSent != b.shownSent;
  const bool latency = a.latencyMs != b.latencyMs || a.app.signalMs != b.app.signalMs || a.samples != b.samples;
  const int32_t W = b.W;
  return {traffic || !latency ? MeterCellsLeft(W) : LatencyCellsLeft(W),
          latency || !traffic ? MeterCellsRight(W) : LatencyCellsLeft(W)};
}

void PaintTable(DrawContext& dc, AppState& state, ViewInputs& inputs, const std::vector<ViewRow>& rows,
                const LatencyBook& book, int32_t W, int32_t H, RowLayer* layer, const RateHistoryFn& history) {
  const ThemePalette& p = dc.palette;
  PaintSortHeader(dc, state, inputs, Slot::SortHeader + 0, L"APPLICATION", 40, 180, 0);
  PaintSortHeader(dc, state, inputs, Slot::SortHeader + 1, L"REMOTE IP : PORT", 574, 180, 1);
  PaintSortHeader(dc, state, inputs, Slot::SortHeader + 2, L"LATENCY", W - 360, 80, 2);
  PaintSortHeader(dc, state, inputs, Slot::SortHeader + 3, L"STATE", W - 140, 80, 3);
  PaintSortHeader(dc, state, inputs, Slot::SortHeader + 4, L"TRAFFIC", W - kTrafficColumn, 80, 4);

  const int32_t areaBottom = H - 68;
  HitRect& area = state.hits[Slot::TableArea];
  area.Set(32, kTableAreaTop, W - 32, areaBottom);
  const int32_t areaHeight = areaBottom - kTableAreaTop;
  state.pageRows = TablePageRows(areaHeight);
  const int32_t count = static_cast<int32_t>(rows.size());
  const int32_t maxScroll = std::max(0, count - state.pageRows);
  inputs.scrollRow = std::max(0, std::min(inputs.scrollRow, maxScroll));
  state.remoteColumnLeft = 574;
  state.remoteColumnEnd = W - kTrafficColumn - 10;

  int32_t hovered = -1;
  if (area.Contains(state.mouseX, state.mouseY)) {
    const int32_t r = (state.mouseY - kTableAreaTop) / kTableRowPitch + inputs.scrollRow;
    if (r < count) hovered = r;
  }

  // The rows are clipped to the rows area. Only two things ever cross it: the first row's box,
  // which starts a unit above it, and the one row of a window too low to hold it. A clip costs a
  // region operation on every shape of a software canvas, so the whole list is clipped only in the
  // second case, and otherwise just the first row's box.
  const RectF rowsArea = R(24, kTableAreaTop, F(W - 48), F(areaHeight));
  const int32_t shown = std::max(0, std::min(state.pageRows, count - inputs.scrollRow));
  const bool clipAll = shown > 0 && 371 + kTableRowPitch * (shown - 1) + 29 > areaBottom;
  if (clipAll) dc.canvas.PushClip(rowsArea);
  for (int32_t i = 0; i < shown; ++i) {
    const int32_t y = 371 + kTableRowPitch * i;
    if (!RowMeetsRepaint(dc, y)) continue;
    const int32_t r = inputs.scrollRow + i;
    const ViewRow& row = rows[static_cast<size_t>(r)];
    const bool selected = r == inputs.selectedRow;
    const bool hover = r == hovered;
    const uint32_t fade = FadeAlpha(row.firstSeen, dc.nowMs);
    const RectF* boxClip = !clipAll && i == 0 ? &rowsArea : nullptr;
    if (layer && !clipAll) {
      layer->PlaceRow(i, y, LookOf(row, book, selected, hover, fade, dc.enablePing, W),
                      [&](DrawContext& rowDc) { PaintRow(rowDc, row, book, selected, hover, fade, W, y, boxClip); });
    } else {
      PaintRow(dc, row, book, selected, hover, fade, W, y, boxClip);
    }
  }
  if (clipAll) dc.canvas.PopClip();

  if (count == 0) {
    TextInRect(dc, L"No sockets match these filters. Open Discord, Browser, or Social Media, or clear search.",
               FontBody, R(44, 396, F(W - 88), 36), p.textDim, TextAlign::Near, TextAlign::Center);
  }
  if (maxScroll > 0) {
    const int32_t th = std::max(28, state.pageRows * areaHeight / count);
    const int32_t top = kTableAreaTop + (areaHeight - th) * inputs.scrollRow / maxScroll;
    FillRoundRect(dc, R(F(W - 33), F(top), 4, F(th)), 2, WithAlpha(p.textDim, 0x5A));
  }
  PaintDetailsPane(dc, state, inputs, rows, W, H, history);
}

}  // namespace tolvane
