// The history panel's painter and commands; see history_panel.h.
//
// Every coordinate is relative to the card's corner (X, Y). Like the lookup panel it is only drawn
// on full repaints over the still picture of the main view, so nothing here is culled.
#include "ui/history_panel.h"

#include <algorithm>
#include <array>

#include "app/application.h"
#include "clipboard/copy_actions.h"
#include "ui/commands.h"
#include "ui/main_window.h"

namespace tolvane {
namespace {

constexpr uint32_t kScrim = 0xAA04060Eu;
constexpr int32_t kSmallWindowY = 8;
constexpr int32_t kListTop = 96;  // below the column captions
constexpr std::wstring_view kDot = L"  \u00b7  ";
constexpr std::array<std::wstring_view, 7> kWeekdays = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
constexpr std::array<std::wstring_view, 12> kMonths = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                                       L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};

RectF R(float x, float y, float w, float h) { return RectF{x, y, w, h}; }

int64_t NowMs(Clock& clock) { return clock.SystemNs() / 1000000; }

std::wstring TwoDigits(int32_t v) { return (v < 10 ? L"0" : L"") + std::to_wstring(v); }

std::wstring MonthName(int32_t month) {
  return std::wstring(kMonths[static_cast<size_t>(std::clamp(month, 1, 12) - 1)]);
}

std::wstring DayHeading(int64_t day, int64_t today, const LocalTime& t) {
  if (day == today) return L"Today";
  if (day == today - 1) return L"Yesterday";
  const auto weekday = static_cast<size_t>(((day + 4) % 7 + 7) % 7);
  return std::wstring(kWeekdays[weekday]) + L" " + std::to_wstring(t.day) + L" " + MonthName(t.month) + L" " +
         std::to_wstring(t.year);
}

int32_t LineHeight(const HistoryLine& line) { return line.day ? kHistoryDayHeight : kHistoryRowHeight; }

// The largest first line that still fills the list area from there to the end.
int32_t MaxScroll(const std::vector<HistoryLine>& lines, int32_t areaHeight) {
  int32_t used = 0;
  auto first = static_cast<int32_t>(lines.size());
  while (first > 0 && used + LineHeight(lines[static_cast<size_t>(first - 1)]) <= areaHeight)
    used += LineHeight(lines[static_cast<size_t>(--first)]);
  return first;
}

void DrawHeader(DrawContext& dc, AppState& state, const HistoryPanelSources& src, int32_t X, int32_t Y) {
  const ThemePalette& p = dc.palette;
  const auto fx = static_cast<float>(X), fy = static_cast<float>(Y);
  TextAt(dc, L"Call server history", FontHeader, fx + 24, fy + 14, p.text);
  const size_t n = src.servers.History().size();
  std::wstring sub = std::to_wstring(n) + (n == 1 ? L" server" : L" servers");
  sub += src.demo ? std::wstring(kDot) + L"demo history, not saved"
                  : std::wstring(kDot) + L"the last 90 days, kept in calls.csv beside the settings";
  TextInRect(dc, sub, FontTiny, R(fx + 26, fy + 46, 600, 16), p.textMuted, TextAlign::Near, TextAlign::Center);

  HitRect& close = state.hits[Slot::HistoryClose];
  close.Set(X + kHistoryPanelWidth - 46, Y + 14, X + kHistoryPanelWidth - 16, Y + 44);
  const RectF closeBox = R(static_cast<float>(close.left), fy + 14, 30, 30);
  FillRoundRect(dc, closeBox, 8, WithAlpha(p.bad, dc.Hovered(close) ? 0x5A : 0x32));
  TextInRect(dc, L"\u2715", FontSection, closeBox, p.text, TextAlign::Center, TextAlign::Center);

  const float captions = fy + 74;
  TextAt(dc, L"TIME", FontTiny, fx + 24, captions, p.textMuted);
  TextAt(dc, L"PLACE", FontTiny, fx + 180, captions, p.textMuted);
  TextAt(dc, L"SERVER", FontTiny, fx + 356, captions, p.textMuted);
  TextAt(dc, L"MEDIAN", FontTiny, fx + 512, captions, p.textMuted);
}

void DrawRow(DrawContext& dc, AppState& state, const HistoryPanelSources& src, const CallServerRecord& r, int32_t k,
             int32_t X, int32_t y) {
  const ThemePalette& p = dc.palette;
  const auto fx = static_cast<float>(X), fy = static_cast<float>(y);
  FillRoundRect(dc, R(fx + 16, fy + 2, kHistoryPanelWidth - 32, kHistoryRowHeight - 4), 8, WithAlpha(p.text, 0x10));
  TextInRect(dc, HistorySpanText(r, src.clock), FontSmall, R(fx + 24, fy, 150, kHistoryRowHeight), p.textDim,
             TextAlign::Near, TextAlign::Center);
  const std::wstring place = PlaceText(r.place, r.country);
  TextInRect(dc, place.empty() ? std::wstring_view(L"Unknown place") : std::wstring_view(place), FontSmall,
             R(fx + 180, fy, 170, kHistoryRowHeight), place.empty() ? p.textMuted : p.text, TextAlign::Near,
             TextAlign::Center);
  TextInRect(dc, r.address, FontMono, R(fx + 356, fy, 152, kHistoryRowHeight), p.text, TextAlign::Near,
             TextAlign::Center);
  TextInRect(dc, r.medianMs > 0 ? std::to_wstring(r.medianMs) + L" ms" : std::wstring(L"\u2014"), FontSmall,
             R(fx + 512, fy, 60, kHistoryRowHeight), p.textDim, TextAlign::Near, TextAlign::Center);

  state.historyRowAddress[static_cast<size_t>(k)] = r.address;
  state.historyRowPort[static_cast<size_t>(k)] = r.port;
  const std::wstring copyText = LookupCopyText(src.settings, r.address, L"", L"UDP4", 0, r.port);
  Button(dc, state.hits[Slot::HistoryCopyIp + k], X + 580, y + 7, X + 650, y + 31,
         src.copyFeedback.CopyButtonLabel(L"Copy IP", copyText), true);
  Button(dc, state.hits[Slot::HistoryInfo + k], X + 656, y + 7, X + 700, y + 31, L"Info", false);
}

void DrawList(DrawContext& dc, AppState& state, const HistoryPanelSources& src, int32_t X, int32_t Y, int32_t PH) {
  const ThemePalette& p = dc.palette;
  const std::vector<HistoryLine> lines = HistoryLines(src.servers.History(), src.clock);
  const int32_t top = Y + kListTop, bottom = Y + PH - 16;
  if (lines.empty()) {
    ParagraphInRect(dc,
                    L"No call servers yet. The voice servers of your calls are listed here, with where they are "
                    L"and how fast they answered.",
                    FontBody, R(static_cast<float>(X + 24), static_cast<float>(top + 20), kHistoryPanelWidth - 48, 60),
                    p.textDim, 18);
    return;
  }
  state.historyScroll = std::clamp(state.historyScroll, 0, MaxScroll(lines, bottom - top));
  int32_t y = top, k = 0;
  size_t i = static_cast<size_t>(state.historyScroll);
  for (; i < lines.size() && k < kHistoryRowSlots; ++i) {
    const HistoryLine& line = lines[i];
    if (y + LineHeight(line) > bottom) break;
    if (line.day) {
      TextInRect(dc, line.heading, FontSection, R(static_cast<float>(X + 24), static_cast<float>(y), 400, 30), p.text,
                 TextAlign::Near, TextAlign::Center);
    } else {
      DrawRow(dc, state, src, *line.record, k++, X, y);
    }
    y += LineHeight(line);
  }
  if (state.historyScroll > 0 || i < lines.size()) {  // a scroll bar when the list does not fit
    const float track = static_cast<float>(bottom - top);
    const float n = static_cast<float>(lines.size());
    const float shown = static_cast<float>(i) - static_cast<float>(state.historyScroll);
    const float thumbTop = static_cast<float>(top) + track * static_cast<float>(state.historyScroll) / n;
    FillRoundRect(dc,
                  R(static_cast<float>(X + kHistoryPanelWidth - 10), thumbTop, 4, std::max(12.0f, track * shown / n)),
                  2, WithAlpha(p.text, 0x50));
  }
}

}  // namespace

std::vector<HistoryLine> HistoryLines(const std::vector<CallServerRecord>& records, Clock& clock) {
  std::vector<const CallServerRecord*> sorted;
  sorted.reserve(records.size());
  for (const CallServerRecord& r : records) sorted.push_back(&r);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const CallServerRecord* a, const CallServerRecord* b) { return a->lastSeenMs > b->lastSeenMs; });
  const int64_t now = NowMs(clock);
  const int64_t today = LocalDay(now, clock.UtcOffsetMinutes(now));
  std::vector<HistoryLine> lines;
  int64_t shownDay = INT64_MIN;
  for (const CallServerRecord* r : sorted) {
    const int32_t offset = clock.UtcOffsetMinutes(r->lastSeenMs);
    const int64_t day = LocalDay(r->lastSeenMs, offset);
    if (day != shownDay) {
      shownDay = day;
      lines.push_back(HistoryLine{true, DayHeading(day, today, ToLocalTime(r->lastSeenMs, offset)), nullptr});
    }
    lines.push_back(HistoryLine{false, {}, r});
  }
  return lines;
}

std::wstring HistorySpanText(const CallServerRecord& r, Clock& clock) {
  const int32_t firstOffset = clock.UtcOffsetMinutes(r.firstSeenMs);
  const int32_t lastOffset = clock.UtcOffsetMinutes(r.lastSeenMs);
  const LocalTime first = ToLocalTime(r.firstSeenMs, firstOffset);
  const LocalTime last = ToLocalTime(r.lastSeenMs, lastOffset);
  std::wstring text;
  if (LocalDay(r.firstSeenMs, firstOffset) != LocalDay(r.lastSeenMs, lastOffset))
    text = std::to_wstring(first.day) + L" " + MonthName(first.month) + L" ";
  return text + TwoDigits(first.hour) + L":" + TwoDigits(first.minute) + L" \u2013 " + TwoDigits(last.hour) + L":" +
         TwoDigits(last.minute);
}

int32_t HistoryPanelHeight(int32_t H) { return std::clamp(H - 16, 240, 600); }
int32_t HistoryPanelX(int32_t W) { return (W - kHistoryPanelWidth) / 2; }
int32_t HistoryPanelY(int32_t H) {
  const int32_t PH = HistoryPanelHeight(H);
  return H >= PH + 16 ? (H - PH) / 2 : kSmallWindowY;
}

void DrawHistoryPanel(DrawContext& dc, AppState& state, const HistoryPanelSources& src, int32_t W, int32_t H) {
  for (int32_t slot = kHistoryFirstSlot; slot <= kHistoryLastSlot; ++slot) state.hits[slot] = HitRect{};
  const ThemePalette& p = dc.palette;
  FillRect(dc, Brush::Solid(kScrim), R(0, 0, static_cast<float>(W), static_cast<float>(H)));
  const int32_t X = HistoryPanelX(W), Y = HistoryPanelY(H), PH = HistoryPanelHeight(H);
  state.hits[Slot::HistoryCard].Set(X, Y, X + kHistoryPanelWidth, Y + PH);
  const RectF card = R(static_cast<float>(X), static_cast<float>(Y), kHistoryPanelWidth, static_cast<float>(PH));
  FillRoundRect(dc, card, 16, p.surface);
  StrokeRoundRect(dc, card, 16, p.border, 1);
  DrawHeader(dc, state, src, X, Y);
  DrawList(dc, state, src, X, Y, PH);
}

void PaintHistoryPanel(DrawContext& dc, MainWindow& window, int32_t W, int32_t H) {
  Application& app = window.app();
  const HistoryPanelSources sources{app.callServers(), app.settings(), app.copyFeedback(), app.clock(),
                                    app.commandLine().demoMode};
  DrawHistoryPanel(dc, window.state(), sources, W, H);
}

// ---- commands

void HistoryPanelClick(MainWindow& w, int32_t x, int32_t y) {
  AppState& s = w.state();
  auto hit = [&](int32_t slot) { return s.hits[slot].Contains(x, y); };
  if (hit(Slot::HistoryClose) || !hit(Slot::HistoryCard)) {
    s.historyOpen = false;
    return;
  }
  Application& app = w.app();
  for (int32_t k = 0; k < kHistoryRowSlots; ++k) {
    const std::wstring& address = s.historyRowAddress[static_cast<size_t>(k)];
    const int32_t port = s.historyRowPort[static_cast<size_t>(k)];
    if (hit(Slot::HistoryCopyIp + k)) {
      CopyLookupAddress(app.copyFeedback(), app.settings(), s.window, address, L"", L"UDP4", 0, port);
      return;
    }
    if (hit(Slot::HistoryInfo + k)) {
      // Over the history, which stays open underneath: closing the lookup shows it again.
      if (LookupCommands* commands = app.lookupCommands())
        commands->OpenLookup(address, LookupContext{L"", L"UDP4", 0, port});
      w.NoteLookupOpened();
      return;
    }
  }
}

void HistoryPanelWheel(MainWindow& w, int32_t wheelDelta) {
  int32_t& scroll = w.state().historyScroll;
  scroll = std::max(0, scroll - wheelDelta / 120 * kHistoryWheelLines);  // the painter bounds it below
  w.FullRepaint();
}

void HistoryPanelKey(MainWindow& w, uint32_t key) {
  int32_t& scroll = w.state().historyScroll;
  if (key == Key::Down) {
    ++scroll;
  } else if (key == Key::Up) {
    scroll = std::max(0, scroll - 1);
  } else {
    return;
  }
  w.FullRepaint();
}

}  // namespace tolvane
