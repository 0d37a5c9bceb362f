// The main view's painters; see main_view.h.
//
// Section index: sources and helpers; stats; header; call panel and call cards; stat cards;
// toolbar; status line and toast; PaintMainView.
#include "ui/main_view.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "engine/application.h"
#include "clipboard/copy_actions.h"
#include "latency/grading.h"
#include "lookup/lookup_target.h"
#include "monitor/refresh.h"
#include "ui/table_view.h"

namespace tolvane {
namespace {

constexpr std::wstring_view kDot = L"  \u00b7  ";  // items on one line
constexpr std::wstring_view kEmDash = L"\u2014";

constexpr std::wstring_view kTitle = L"Tolvane";
constexpr uint32_t kCardHoverOverlay = 0x0F;
constexpr std::wstring_view kCallTitle = L"DISCORD CALL IPs";
constexpr std::wstring_view kExportLabel = L"Export\u2026";
constexpr std::wstring_view kStatTitles[4] = {L"ACTIVE SOCKETS", L"DISCORD CALL IPS", L"APPLICATIONS",
                                              L"MEDIAN LATENCY"};

RectF R(float x, float y, float w, float h) { return RectF{x, y, w, h}; }

// Call card i's left edge for cards cw wide; the top of its latency line.
int32_t CallCardLeft(int32_t cw, int32_t i) { return 40 + i * (cw + 10); }
constexpr float kCallLineTop = 166;

}  // namespace

// ---- sources and helpers

MainViewSources MainViewSourcesOf(Application& app) {
  return MainViewSources{
      app.settings(),      app.themes(),      app.connectionView(),         app.viewInputs(),
      app.callList(),      app.latencyBook(), app.copyFeedback(),           app.publishedRows(),
      app.callPrefixes(),  app.clock(),       app.packetCapture().status(), app.currentLookup().panelOpen.load(),
      &app.trafficMeter(), &app.callServers()};
}

DrawContext MakeDrawContext(Canvas& canvas, const UiFonts& fonts, TextWidthCache& widths, AppState& state,
                            const MainViewSources& sources) {
  DrawContext dc(canvas, sources.themes.ActivePalette(), fonts, widths);
  dc.mouseX = state.mouseX;
  dc.mouseY = state.mouseY;
  dc.nowMs = sources.clock.TickMs();
  dc.enablePing = sources.settings.enablePing;
  dc.textFields = state.hits.TextFields();
  return dc;
}

uint32_t LatencyArgb(const ThemePalette& palette, int32_t latencyMs, bool enablePing) {
  return GradeColour(LatencyColour(latencyMs, enablePing), palette.textMuted, palette.good, palette.warn, palette.bad);
}

std::wstring PacketCountText(uint64_t n) {
  if (n < 1000) return std::to_wstring(n);
  if (n < 1000000) return std::to_wstring(n / 1000) + L"." + std::to_wstring((n / 100) % 10) + L"k";
  return std::to_wstring(n / 1000000) + L"." + std::to_wstring((n / 100000) % 10) + L"M";
}

std::wstring CallCardDetail(const std::wstring& place, const CallEndpoint& e) {
  std::wstring detail;
  if (!place.empty()) detail = place + std::wstring(kDot);
  if (e.remotePort >= 1) detail += L"port " + std::to_wstring(e.remotePort) + std::wstring(kDot);
  detail += TruncateWithDots(e.processName, 22);
  detail += std::wstring(kDot) + L"PID " + std::to_wstring(static_cast<uint32_t>(e.pid));
  return detail;
}

int32_t CallCardWidth(int32_t W, int32_t n) {
  if (n <= 0) return 0;
  if (n >= 4) return std::min(380, (W - 110) / 4);
  return std::min(380, (W - 80 - (n - 1) * 10) / n);
}

std::wstring CaptureStateText(CaptureStatus status) {
  switch (status) {
    case CaptureStatus::Capturing:
      return L"Capturing";
    case CaptureStatus::NeedsAdmin:
      return L"Run as Administrator to capture calls";
    case CaptureStatus::Error:
      return L"Packet capture error";
    case CaptureStatus::NoAdapter:
      return L"No network adapter";
    case CaptureStatus::Off:
      break;
  }
  return L"Packet capture off";
}

uint32_t CaptureStateColour(CaptureStatus status, const ThemePalette& palette) {
  switch (status) {
    case CaptureStatus::Capturing:
      return palette.good;
    case CaptureStatus::NeedsAdmin:
    case CaptureStatus::NoAdapter:
      return palette.warn;
    case CaptureStatus::Error:
      return palette.bad;
    case CaptureStatus::Off:
      break;
  }
  return palette.textMuted;
}

std::wstring EmptyCallHeading(CaptureStatus status) {
  switch (status) {
    case CaptureStatus::Capturing:
      return L"Waiting for a Discord call...";
    case CaptureStatus::NeedsAdmin:
      return L"Call detection needs Administrator rights.";
    case CaptureStatus::Error:
      return L"Packet capture could not start on this PC.";
    case CaptureStatus::NoAdapter:
      return L"No active network adapter was found.";
    case CaptureStatus::Off:
      break;
  }
  return L"Packet capture is turned off.";
}

std::wstring EmptyCallHint(CaptureStatus status, const std::wstring& prefixSummary) {
  switch (status) {
    case CaptureStatus::Capturing:
      return L"Join a voice channel or start a call. Matching IPs (" + prefixSummary +
             L") appear here within a second or two.";
    case CaptureStatus::NeedsAdmin:
      return L"Close the app and start it again with \"Run as administrator\" (the installed shortcut already does "
             L"this).";
    case CaptureStatus::Error:
      return CaptureErrorHint();
    case CaptureStatus::NoAdapter:
      return L"Connect to a network and the call IPs will appear automatically.";
    case CaptureStatus::Off:
      break;
  }
  return L"Turn it on in Settings so voice call IPs can be detected.";
}

// ---- stats

ViewStats ComputeViewStats(const std::vector<ViewRow>& rows, const CallList& calls, bool enablePing) {
  ViewStats s;
  s.socketCount = static_cast<int32_t>(rows.size());
  const CallCounts counts = calls.CallStats();
  s.callIpCount = static_cast<int32_t>(counts.count);
  s.liveNodeCount = static_cast<int32_t>(counts.live);
  std::unordered_set<std::wstring_view> names;
  names.reserve(rows.size());
  for (const ViewRow& row : rows) names.insert(row.processName);
  s.appCount = static_cast<int32_t>(names.size());
  s.medianLatency = MedianLatency(rows, enablePing);
  return s;
}

std::wstring MachineRateText(const MachineTraffic& machine) {
  if (!machine.metered) return {};
  return L"\u2193 " + FormatRate(machine.rateReceived) + L" \u2191 " + FormatRate(machine.rateSent);
}

// ---- header

void PaintSwatches(DrawContext& dc, const MainViewSources& sources, int32_t W) {
  const int32_t selected = sources.settings.theme;
  for (int32_t i = 0; i < kPaletteCount; ++i) {
    const ThemePalette& theme = sources.themes.Palette(i);
    const float fx = static_cast<float>(W - 632 + 22 * i);
    if (!Culled(dc, fx + 4, 21, 16, 16)) {
      FillEllipse(dc, Brush::Linear({fx + 4, 21}, {fx + 20, 37}, {theme.accent, theme.accent2}, {0.0f, 1.0f}),
                  R(fx + 4, 21, 16, 16));
    }
    if (i == selected) StrokeEllipse(dc, Pen{dc.palette.text, 2}, R(fx + 1.5f, 18.5f, 21, 21));
  }
}

void PaintHeader(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W, bool chromeDrawn) {
  const ThemePalette& p = dc.palette;
  // The window buttons' slots, always present (the buttons are drawn with the chrome).
  const int32_t buttonSlots[3] = {Slot::CloseButton, Slot::MinimizeButton, Slot::MaximizeButton};
  for (int32_t i = 0; i < 3; ++i) {
    const int32_t x = 24 + 22 * i;
    state.hits[buttonSlots[i]].Set(x - 4, 21, x + 13, 44);
  }

  // LIVE / PAUSED pill right of the title.
  const int32_t px = 134 + MeasureText(dc, kTitle, FontHeader) + 14;
  const float x = static_cast<float>(px);
  FillRoundRect(dc, R(x, 15, 96, 20), 10, WithAlpha(p.good, 0x1E));
  StrokeRoundRect(dc, R(x, 15, 96, 20), 10, WithAlpha(p.good, 0x5A), 1);
  FillEllipse(dc, Brush::Solid(p.good), R(x + 8, 22, 6, 6));
  TextInRect(dc, state.capturePaused ? L"PAUSED" : L"LIVE", FontButton, R(x + 18, 15, 64, 20),
             state.capturePaused ? p.warn : p.good, TextAlign::Near, TextAlign::Center);

  // Theme swatches, the selected one ringed.
  for (int32_t i = 0; i < kPaletteCount; ++i) {
    const int32_t sx = W - 632 + 22 * i;
    state.hits[Slot::HeaderThemeSwatch + i].Set(sx, 20, sx + 18, 38);
  }
  if (!chromeDrawn) PaintSwatches(dc, sources, W);

  // The four header buttons.
  struct HeaderButton {
    int32_t slot;
    int32_t left;
    std::wstring_view label;
    bool gradient;
    bool active;
  };
  const HeaderButton buttons[4] = {
      {Slot::LookupButton, W - 400, L"Lookup", false, sources.lookupOpen},
      {Slot::PauseButton, W - 304, state.capturePaused ? L"Resume" : L"Pause", false, state.capturePaused},
      {Slot::RefreshButton, W - 208, L"Refresh", false, false},
      {Slot::SettingsButton, W - 112, L"Settings", true, false},
  };
  for (const HeaderButton& b : buttons) {
    state.hits[b.slot].Set(b.left, 15, b.left + 88, 47);
    AccentButton(dc, state.hits[b.slot], b.label, b.gradient, b.active);
  }
}

// ---- call panel and call cards

void PaintCallCardFrame(DrawContext& dc, int32_t x, int32_t cw, uint32_t alpha) {
  const RectF box = R(static_cast<float>(x), 108, static_cast<float>(cw), 100);
  FillRoundRect(dc, box, 10, WithAlpha(dc.palette.text, alpha));
  StrokeRoundRect(dc, box, 10, dc.palette.border, 1);
}

void PaintCallCard(DrawContext& dc, AppState& state, const MainViewSources& sources, const CallEndpoint& e, int32_t i,
                   int32_t x, int32_t cw, bool chromeDrawn) {
  const ThemePalette& p = dc.palette;
  HitRect& card = state.hits[Slot::CallCard + i];
  card.Set(x, 108, x + cw, 208);
  const float fx = static_cast<float>(x);
  const float fw = static_cast<float>(cw);
  const bool hovered = dc.Hovered(card);
  if (!chromeDrawn) {
    PaintCallCardFrame(dc, x, cw, hovered ? 0x26 : 0x18);
  } else if (hovered) {
    // The chrome holds the card at alpha 18; this layer brings it to 26 (1 - 217/231 of 255 is
    // 15.5, so the two compose to within half a step of one fill at 26). The outline goes on top again.
    FillRoundRect(dc, R(fx, 108, fw, 100), 10, WithAlpha(p.text, kCardHoverOverlay));
    StrokeRoundRect(dc, R(fx, 108, fw, 100), 10, p.border, 1);
  }

  const uint32_t kind = e.live ? p.good : p.textDim;
  FillRect(dc, Brush::Solid(kind), R(fx, 120, 3, 76));
  TextAt(dc, e.live ? L"VOICE  \u00b7  UDP" : L"TCP  \u00b7  SIGNALING", FontTiny, fx + 12, 114, kind);
  if (e.live && e.ageMs >= 0 && e.ageMs <= 3999) {
    FillEllipse(dc, Brush::Solid(p.good), R(fx + fw - 50, 119, 6, 6));
    TextAt(dc, L"LIVE", FontTiny, fx + fw - 41, 114, p.good);
  }
  TextInRect(dc, e.address, FontMonoLarge, R(fx + 12, 125, fw - 22, 28), p.text, TextAlign::Near, TextAlign::Center);

  const std::wstring place = sources.servers ? sources.servers->PlaceOf(e.address) : std::wstring();
  TextInRect(dc, FitText(dc, CallCardDetail(place, e), FontTiny, fw - 22), FontTiny, R(fx + 12, 153, fw - 22, 14),
             p.textMuted, TextAlign::Near, TextAlign::Center);

  const int32_t v = sources.view.LatencyOf(e.address);
  const uint32_t vc = LatencyArgb(p, v, dc.enablePing);
  std::wstring latency = LatencyText(v, dc.enablePing);
  if (e.packets > 0) latency += std::wstring(kDot) + PacketCountText(e.packets) + L" pkts";
  TextAt(dc, latency, FontTiny, fx + 12, kCallLineTop, vc);
  DrawSignalBars(dc, fx + 18 + static_cast<float>(MeasureText(dc, latency, FontTiny)), kCallLineTop, v, vc);

  const int32_t hw = (cw - 84) / 2;
  const std::wstring ipLabel = sources.copyFeedback.CopyButtonLabel(L"Copy IP", CallIpCopyText(sources.settings, e));
  const std::wstring epLabel =
      sources.copyFeedback.CopyButtonLabel(L"Copy IP:port", CallEndpointCopyText(sources.settings, e));
  Button(dc, state.hits[Slot::CallCopyIp + i], x + 12, 182, x + 12 + hw, 202, ipLabel, true);
  Button(dc, state.hits[Slot::CallCopyEndpoint + i], x + 20 + hw, 182, x + 20 + 2 * hw, 202, epLabel, false);
  Button(dc, state.hits[Slot::CallInfo + i], x + 28 + 2 * hw, 182, x + 72 + 2 * hw, 202, L"Info", false);
}

void PaintCallPanel(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W, bool chromeDrawn) {
  for (int32_t i = 0; i < 4; ++i) {
    state.hits[Slot::CallCard + i].present = false;
    state.hits[Slot::CallCopyIp + i].present = false;
    state.hits[Slot::CallCopyEndpoint + i].present = false;
    state.hits[Slot::CallInfo + i].present = false;
  }
  state.hits[Slot::CallCopyAll].present = false;
  state.hits[Slot::CallHistory].present = false;

  const ThemePalette& p = dc.palette;
  const int32_t t = MeasureText(dc, kCallTitle, FontSection);

  const CaptureStatus status = sources.captureStatus;
  const std::wstring stateText = CaptureStateText(status);
  const uint32_t stateColour = CaptureStateColour(status, p);
  const int32_t stateWidth = MeasureText(dc, stateText, FontButton);
  const float sx = static_cast<float>(t + 48);
  const float pillW = static_cast<float>(stateWidth + 30);
  FillRoundRect(dc, R(sx, 73, pillW, 22), 11, WithAlpha(stateColour, 0x1E));
  StrokeRoundRect(dc, R(sx, 73, pillW, 22), 11, WithAlpha(stateColour, 0x5A), 1);
  FillEllipse(dc, Brush::Solid(stateColour), R(sx + 10, 81, 6, 6));
  TextInRect(dc, stateText, FontButton, R(sx + 20, 73, pillW - 22, 22), stateColour, TextAlign::Near,
             TextAlign::Center);

  const int32_t historyLeft = static_cast<int32_t>(sx + pillW) + 10;
  Button(dc, state.hits[Slot::CallHistory], historyLeft, 73, historyLeft + 72, 95, L"History", false);

  const std::vector<CallEndpoint>& entries = sources.calls.Entries();
  int32_t right = W - 40;
  if (!entries.empty()) {
    Button(dc, state.hits[Slot::CallCopyAll], W - 124, 72, W - 40, 96, L"Copy all", false);
    right = W - 136;
  }
  const std::wstring summary = sources.prefixes.PrefixSummary();
  const int32_t summaryLeft = historyLeft + 84;
  if (right > summaryLeft) {
    TextInRect(dc, L"Showing IPs starting with   " + summary, FontSmall,
               R(static_cast<float>(summaryLeft), 72, static_cast<float>(right - summaryLeft), 24), p.textDim,
               TextAlign::Far, TextAlign::Center);
  }

  const int32_t n = static_cast<int32_t>(std::min<size_t>(4, entries.size()));
  if (n == 0) {
    TextAt(dc, EmptyCallHeading(status), FontBody, 42, 130, p.text);
    TextAt(dc, EmptyCallHint(status, summary), FontSmall, 42, 154, p.textDim);
    return;
  }
  const int32_t cw = CallCardWidth(W, n);
  for (int32_t i = 0; i < n; ++i)
    PaintCallCard(dc, state, sources, entries[static_cast<size_t>(i)], i, CallCardLeft(cw, i), cw, chromeDrawn);
}

RectF CallCardLineBox(int32_t W, int32_t n, int32_t i) {
  const int32_t cw = CallCardWidth(W, n);
  return R(static_cast<float>(CallCardLeft(cw, i) + 12), kCallLineTop, static_cast<float>(cw - 20), 14);
}

// ---- stat cards

ClockedTexts ClockedTextsOf(const MainViewSources& sources, bool capturePaused, bool enablePing) {
  const ViewStats s = ComputeViewStats(sources.view.ShownSockets(), sources.calls, enablePing);
  const std::wstring captured = LastRefreshText(sources.published, sources.clock);
  const std::wstring all = std::to_wstring(static_cast<unsigned long long>(sources.view.AllRows().size()));
  const std::wstring rate = sources.traffic ? MachineRateText(sources.traffic->Machine()) : std::wstring();
  ClockedTexts t;
  t.cardValue = {std::to_wstring(s.socketCount), std::to_wstring(s.callIpCount), std::to_wstring(s.appCount),
                 s.medianLatency < 1 ? std::wstring(kEmDash) : std::to_wstring(s.medianLatency) + L" ms"};
  t.cardSub = {all + L" captured", std::to_wstring(s.liveNodeCount) + L" live voice node(s)",
               sources.settings.byApp ? L"by application \u00b7 click for sockets" : L"captured " + captured,
               sources.settings.enablePing ? L"ICMP echo" : L"ping disabled"};
  t.statusLine = L"Captured " + captured + L"   \u00b7   " + all + L" sockets" +
                 (rate.empty() ? L"" : L"   \u00b7   " + rate) + L"   \u00b7   " +
                 (capturePaused ? L"paused" : L"live") +
                 L"   \u00b7   click an IP for details   \u00b7   Ctrl+L lookup   Ctrl+F search   Ctrl+C copy   "
                 L"Ctrl+S export   F2 settings   F5 refresh";
  return t;
}

RectF StatCardValueBox(int32_t W, int32_t i) {
  const int32_t cw = (W - 84) / 4;
  return R(static_cast<float>(24 + i * (cw + 12) + 14), 245, static_cast<float>(cw - 28), 25);
}

RectF StatCardSubBox(int32_t W, int32_t i) {
  const int32_t cw = (W - 84) / 4;
  return R(static_cast<float>(24 + i * (cw + 12) + 14), 270, static_cast<float>(cw - 28), 19);
}

RectF StatusLineBox(int32_t W, int32_t H) { return R(28, static_cast<float>(H - 16), static_cast<float>(W - 56), 14); }

void PaintStatCards(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W) {
  const ThemePalette& p = dc.palette;
  const int32_t cw = (W - 84) / 4;
  const int32_t appsLeft = 24 + 2 * (cw + 12);
  state.hits[Slot::AppsCard].Set(appsLeft, 228, appsLeft + cw, 290);
  if (Culled(dc, 24, 228, static_cast<float>(W - 48), 62)) return;  // nothing of the band is repainted
  const ClockedTexts t = ClockedTextsOf(sources, false, dc.enablePing);
  const RectF apps = R(static_cast<float>(appsLeft), 228, static_cast<float>(cw), 62);
  if (dc.Hovered(state.hits[Slot::AppsCard])) FillRoundRect(dc, apps, 12, WithAlpha(p.text, kCardHoverOverlay));
  if (sources.settings.byApp) StrokeRoundRect(dc, apps, 12, p.accent, 1.5f);
  for (int32_t i = 0; i < 4; ++i) {
    const RectF value = StatCardValueBox(W, i), sub = StatCardSubBox(W, i);
    const auto k = static_cast<size_t>(i);
    TextAt(dc, t.cardValue[k], FontLarge, value.x, 247, p.text);
    TextAt(dc, t.cardSub[k], FontSmall, sub.x, 271, p.textMuted);
  }
}

// ---- toolbar

namespace {

void PaintSearchBox(DrawContext& dc, AppState& state, const MainViewSources& sources) {
  const ThemePalette& p = dc.palette;
  state.hits[Slot::SearchBox].Set(24, 300, 274, 332);
  const bool focused = state.searchFocused;
  FillRoundRect(dc, R(24, 300, 250, 32), 9, p.card);
  StrokeRoundRect(dc, R(24, 300, 250, 32), 9, focused ? WithAlpha(p.accent, 0xA0) : p.border, 1);
  const uint32_t glass = focused ? p.accent : p.textMuted;
  StrokeEllipse(dc, Pen{glass, 1.6f}, R(31, 306, 11, 11));
  if (!Culled(dc, 40, 315, 10, 10)) dc.canvas.DrawLine(Pen{glass, 1.6f}, {40.5f, 315.5f}, {47, 322});

  const std::wstring& text = sources.inputs.searchText;
  const bool caret = focused && (dc.nowMs / 500) % 2 == 0;
  const RectF box = R(56, 300, 210, 32);
  if (text.empty() && !focused) {
    TextInRect(dc, L"Search app, IP, port...", FontSmall, box, p.textMuted, TextAlign::Near, TextAlign::Center);
  } else {
    TextInRect(dc, caret ? text + L"|" : text, FontSmall, box, p.text, TextAlign::Near, TextAlign::Center);
  }
}

// The toolbar's protocol segments, toggles and category buttons: where they are (a rectangle not
// present for a category button that does not fit) and whether they are on.
enum class ChipKind { Segment, Toggle, Category };
struct ToolbarChip {
  int32_t slot = Slot::None;
  std::wstring_view label;
  HitRect rect;
  bool on = false;
  ChipKind kind = ChipKind::Segment;
};
using ToolbarChips = std::array<ToolbarChip, 16>;

ToolbarChips LayoutToolbar(DrawContext& dc, const MainViewSources& sources, int32_t W) {
  ToolbarChips chips;
  size_t k = 0;
  const std::wstring_view protocols[3] = {L"All", L"TCP", L"UDP"};
  const int32_t protocolWidths[3] = {40, 44, 44};
  int32_t x = 344;
  for (int32_t i = 0; i < 3; ++i) {
    ToolbarChip& c = chips[k++];
    c.slot = Slot::ProtocolFilter + i;
    c.label = protocols[i];
    c.rect.Set(x, 303, x + protocolWidths[i], 329);
    c.on = sources.inputs.protocolFilter == i;
    c.kind = ChipKind::Segment;
    x += protocolWidths[i] + 4;
  }

  // Toggles, right-aligned, laid out from the right: "Call IPs" is the rightmost.
  const Settings& s = sources.settings;
  struct Toggle {
    int32_t index;  // within the ToolbarToggle group
    std::wstring_view label;
    bool on;
  };
  const Toggle toggles[6] = {
      {5, L"Call IPs", s.callOnly}, {3, L"System", s.showSystem}, {4, L"Ping", s.enablePing},
      {2, L"UDP", s.enableUdp},     {1, L"IPv6", s.enableIpv6},   {0, L"LAN", s.showLan},
  };
  int32_t right = W - 24;
  for (const Toggle& t : toggles) {
    const int32_t tw = MeasureText(dc, t.label, FontButton);
    const int32_t left = right - (tw + 20);
    ToolbarChip& c = chips[k++];
    c.slot = Slot::ToolbarToggle + t.index;
    c.label = t.label;
    c.rect.Set(left, 303, left + tw + 16, 329);
    c.on = t.on;
    c.kind = ChipKind::Toggle;
    right = left;
  }
  const int32_t limit = right - 10;  // the leftmost toggle's left edge, less a gap

  // Category buttons, as many as fit before the toggles; the others cannot be clicked.
  const std::wstring_view categories[7] = {L"All", L"Discord", L"Browsers", L"Social", L"Games", L"Media", L"Dev"};
  x = 492;
  for (int32_t i = 0; i < 7; ++i) {
    ToolbarChip& c = chips[k++];
    c.slot = Slot::CategoryButton + i;
    c.label = categories[i];
    c.on = sources.inputs.categoryFilter == i;
    c.kind = ChipKind::Category;
    const int32_t width = MeasureText(dc, categories[i], FontButton) + 18;
    if (x + width <= limit) c.rect.Set(x, 303, x + width, 329);
    x += width + 5;
  }
  return chips;
}

void DrawToolbarChip(DrawContext& dc, const ToolbarChip& c) {
  const ThemePalette& p = dc.palette;
  const HitRect& r = c.rect;
  const RectF box = R(static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right - r.left),
                      static_cast<float>(r.bottom - r.top));
  if (c.kind == ChipKind::Segment) {
    FillRoundRect(dc, box, 8, c.on ? p.accent : WithAlpha(p.text, 0x16));
    TextInRect(dc, c.label, FontButton, box, c.on ? 0xFFFFFFFFu : p.textDim, TextAlign::Center, TextAlign::Center);
    return;
  }
  const bool toggle = c.kind == ChipKind::Toggle;
  const uint32_t onFill = WithAlpha(p.accent, toggle ? 0x2E : 0x34);
  const uint32_t onOutline = WithAlpha(p.accent, toggle ? 0x82 : 0x8C);
  const uint32_t offFill = WithAlpha(p.text, toggle ? 0x10 : 0x12);
  const uint32_t offLabel = toggle ? p.textMuted : p.textDim;
  FillRoundRect(dc, box, 8, c.on ? onFill : offFill);
  StrokeRoundRect(dc, box, 8, c.on ? onOutline : p.border, 1);
  TextInRect(dc, c.label, FontButton, box, c.on ? p.text : offLabel, TextAlign::Center, TextAlign::Center);
}

}  // namespace

void PaintToolbar(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W, bool chromeDrawn) {
  PaintSearchBox(dc, state, sources);
  Button(dc, state.hits[Slot::PasteButton], 280, 303, 334, 329, L"Paste", false);
  for (const ToolbarChip& c : LayoutToolbar(dc, sources, W)) {
    state.hits[c.slot] = c.rect;
    if (!chromeDrawn && c.rect.present) DrawToolbarChip(dc, c);
  }
}

// ---- status line and toast

void PaintStatusLine(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W, int32_t H) {
  const ThemePalette& p = dc.palette;
  const RectF box = StatusLineBox(W, H);
  // "Export…" keeps the right end: its slot is recorded before any culling, and the line's text
  // is cut (with "…") 12 units before it.
  const int32_t right = W - 28;
  const int32_t left = right - MeasureText(dc, kExportLabel, FontTiny) - 12;
  HitRect& exportHit = state.hits[Slot::ExportButton];
  exportHit.Set(left, H - 18, right, H - 2);
  if (Culled(dc, box.x, box.y, box.w, box.h)) return;
  const RectF exportBox = R(static_cast<float>(left), static_cast<float>(H - 18), static_cast<float>(right - left), 16);
  if (dc.Hovered(exportHit)) FillRoundRect(dc, exportBox, 6, WithAlpha(p.accent, 0x26));
  TextInRect(dc, kExportLabel, FontTiny, exportBox, p.accent, TextAlign::Center, TextAlign::Center);
  TextInRect(dc, ClockedTextsOf(sources, state.capturePaused, dc.enablePing).statusLine, FontTiny,
             R(box.x, box.y, static_cast<float>(std::max(0, left - 40)), box.h), p.textMuted, TextAlign::Near,
             TextAlign::Center);
}

RectF ToastBox(DrawContext& dc, const Toast& toast, int32_t W, int32_t H) {
  const int32_t tw = MeasureText(dc, toast.DrawnText(), FontSmall);
  const int32_t bw = std::min(tw + 36, W - 60);
  return R(static_cast<float>(W - bw - 24), static_cast<float>(H - 74), static_cast<float>(bw), 34);
}

void PaintToast(DrawContext& dc, Toast& toast, int32_t W, int32_t H) {
  if (!toast.Visible()) return;
  const ThemePalette& p = dc.palette;
  const std::wstring text = toast.DrawnText();
  const RectF box = ToastBox(dc, toast, W, H);
  FillRoundRect(dc, box, 9, p.surface);
  StrokeRoundRect(dc, box, 9, WithAlpha(p.good, 0xA0), 1);
  FillEllipse(dc, Brush::Solid(p.good), R(box.x + 12, static_cast<float>(H - 60), 6, 6));
  TextInRect(dc, text, FontSmall, R(box.x + 24, box.y, box.w - 34, 34), p.text, TextAlign::Near, TextAlign::Center);
}

// ---- the whole view

MainViewChromeKey ChromeKeyOf(const MainViewSources& sources, int32_t W, int32_t H) {
  MainViewChromeKey k;
  k.W = W;
  k.H = H;
  k.theme = sources.settings.theme;
  k.callCards = static_cast<int32_t>(std::min<size_t>(4, sources.calls.Entries().size()));
  k.protocolFilter = sources.inputs.protocolFilter;
  k.categoryFilter = sources.inputs.categoryFilter;
  const Settings& s = sources.settings;
  const bool toggles[6] = {s.showLan, s.enableIpv6, s.enableUdp, s.showSystem, s.enablePing, s.callOnly};
  for (uint32_t i = 0; i < 6; ++i) k.toggles |= (toggles[i] ? 1u : 0u) << i;
  return k;
}

void PaintMainViewChrome(DrawContext& dc, const MainViewSources& sources, int32_t W, int32_t H) {
  const ThemePalette& p = dc.palette;
  const float fw = static_cast<float>(W);
  const uint32_t buttonColours[3] = {0xFFFF5F57u, 0xFFFEBC2Eu, 0xFF28C840u};
  for (int32_t i = 0; i < 3; ++i) {
    FillEllipse(dc, Brush::Solid(buttonColours[i]), R(static_cast<float>(24 + 22 * i), 26, 13, 13));
  }
  LogoMark(dc, 92, 18, 30);
  TextAt(dc, kTitle, FontHeader, 134, 15, p.text);
  TextAt(dc, L"Socket monitor  \u00b7  Discord calls, Browsers & Social Media IPs", FontSmall, 134, 36, p.textDim);
  PaintSwatches(dc, sources, W);

  FillRoundRect(dc, R(24, 64, fw - 48, 156), 12, p.card);
  StrokeRoundRect(dc, R(24, 64, fw - 48, 156), 12, p.border, 1);
  TextAt(dc, kCallTitle, FontSection, 42, 75, p.text);
  const int32_t n = ChromeKeyOf(sources, W, H).callCards;
  const int32_t callWidth = CallCardWidth(W, n);
  for (int32_t i = 0; i < n; ++i) PaintCallCardFrame(dc, 40 + i * (callWidth + 10), callWidth, 0x18);

  const int32_t cw = (W - 84) / 4;
  for (int32_t i = 0; i < 4; ++i) {
    const float x = static_cast<float>(24 + i * (cw + 12));
    FillRoundRect(dc, R(x, 228, static_cast<float>(cw), 62), 12, p.card);
    StrokeRoundRect(dc, R(x, 228, static_cast<float>(cw), 62), 12, p.border, 1);
    TextAt(dc, kStatTitles[i], FontTiny, x + 14, 236, p.textMuted);
  }
  for (const ToolbarChip& c : LayoutToolbar(dc, sources, W)) {
    if (c.rect.present) DrawToolbarChip(dc, c);
  }
  PaintTableChrome(dc, W, H);
}

void PaintMainView(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W, int32_t H,
                   const ViewLayers& layers) {
  if (!layers.chromeDrawn) PaintMainViewChrome(dc, sources, W, H);
  PaintHeader(dc, state, sources, W, true);
  PaintCallPanel(dc, state, sources, W, true);
  PaintStatCards(dc, state, sources, W);
  PaintToolbar(dc, state, sources, W, true);
  const RateHistoryFn history = [&sources](const ViewRow& row) {
    if (sources.traffic == nullptr) return std::vector<uint64_t>{};
    const std::vector<const ViewRow*> sockets = sources.view.SocketsOf(row);
    return sources.traffic->RateHistory(std::vector<const ConnectionRow*>(sockets.begin(), sockets.end()));
  };
  PaintTable(dc, state, sources.inputs, sources.view.ViewRows(), sources.latency, W, H, layers.rows, history);
  PaintStatusLine(dc, state, sources, W, H);
}

}  // namespace tolvane
