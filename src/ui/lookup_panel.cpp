// The lookup panel's painter; see lookup_panel.h.
//
// Section index: map image cache; texts and helpers; frame and header; recent row; pills and body;
// map; latency card; command row and credits; DrawLookupPanel and PaintLookupPanel.
//
// Every coordinate is relative to the panel's corner (X, Y). The panel is only drawn on full
// repaints (the compositor copies the still main view under it), so nothing here is culled.
#include "ui/lookup_panel.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/application.h"
#include "clipboard/copy_actions.h"
#include "latency/grading.h"
#include "lookup/lookup_target.h"
#include "ui/hit_rects.h"
#include "ui/main_view.h"
#include "ui/main_window.h"

namespace tolvane {
namespace {

constexpr uint32_t kScrim = 0xAA04060Eu;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kMapText = 0xFF5A5A5Au;
constexpr uint32_t kPinShadow = 0x3C000000u;
constexpr uint32_t kAttributionStrip = 0x96000000u;

constexpr int32_t kSmallWindowY = 8;
constexpr int32_t kCentredFromHeight = 684;
constexpr size_t kRecentLabelChars = 22;
constexpr int32_t kRecentChipsEnd = 837;  // chips end before X + 837
constexpr float kBodyLineHeight = 17;
constexpr int32_t kGraphSlots = 60;

constexpr std::wstring_view kDot = L"  \u00b7  ";

// The map area and the centre of it where the location lands.
constexpr float kMapLeft = 440, kMapTop = 142, kMapWidth = 396, kMapHeight = 270;

RectF R(float x, float y, float w, float h) { return RectF{x, y, w, h}; }

// A number with a fixed count of decimals, the same whatever the C library's locale.
std::wstring Fixed(double value, int decimals) {
  char buffer[400];  // a double's fixed form: at most 309 digits, the sign, the point and decimals
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return L"0";
  return std::wstring(buffer, r.ptr);
}

struct Row {
  std::wstring_view label;
  std::wstring value;
};

// The label-and-value rows of a Done result, in order; empty values are left out, the coordinates
// are always there.
std::vector<Row> DoneRows(const LookupResult& r) {
  std::wstring country = r.country;
  if (!country.empty() && !r.countryCode.empty()) country += L" (" + r.countryCode + L")";
  std::vector<Row> all = {
      {L"Country", std::move(country)},
      {L"Region", r.regionName},
      {L"City", r.city},
      {L"District", r.district},
      {L"ZIP / postal", r.zip},
      {L"Coordinates", Fixed(r.lat, 5) + L", " + Fixed(r.lon, 5)},
      {L"Timezone", r.timezone},
      {L"ISP", r.isp},
      {L"Organization", r.org},
      {L"AS number", r.as},
      {L"AS name", r.asname},
      {L"Reverse DNS", r.reverse},
      {L"Continent", r.continent},
      {L"Currency", r.currency},
  };
  std::vector<Row> rows;
  for (Row& row : all)
    if (!row.value.empty()) rows.push_back(std::move(row));
  return rows;
}

std::wstring_view MapText(bool hasAddress, const LookupResult& r) {
  if (!hasAddress) return L"The map appears here";
  if (r.state == LookupState::Private) return L"No map for private addresses";
  if (r.state == LookupState::Failed) return L"No map available";
  if (r.mapState == MapState::Loading) return L"Loading map...";
  return L"Map unavailable (tiles could not be downloaded)";
}

// ---- frame and header

void DrawHeader(DrawContext& dc, AppState& state, const LookupPanelSources& src, float X, float Y) {
  const ThemePalette& p = dc.palette;
  const std::wstring& address = src.current.address;
  TextInRect(dc, address.empty() ? std::wstring_view(L"IP / website lookup") : std::wstring_view(address),
             FontMonoLarge, R(X + 24, Y + 12, 386, 32), p.text, TextAlign::Near, TextAlign::Center);
  TextInRect(dc, LookupSubtitle(src.current), FontTiny, R(X + 26, Y + 44, 384, 16), p.textMuted, TextAlign::Near,
             TextAlign::Center);

  const auto x = static_cast<int32_t>(X), y = static_cast<int32_t>(Y);
  state.hits[Slot::LookupClose].Set(x + 814, y + 14, x + 844, y + 44);
  const RectF close = R(X + 814, Y + 14, 30, 30);
  FillRoundRect(dc, close, 8, WithAlpha(p.bad, 0x32));
  TextInRect(dc, L"\u2715", FontSection, close, p.text, TextAlign::Center, TextAlign::Center);

  TextField(dc, static_cast<int32_t>(TextFieldId::kLookup), X + 428, Y + 13, 300, src.lookupText,
            L"type an IP or website...", true);
  Button(dc, state.hits[Slot::LookupGo], x + 736, y + 14, x + 806, y + 44, L"Look up", true);
}

// ---- recent row

void DrawRecentRow(DrawContext& dc, AppState& state, const LookupPanelSources& src, int32_t X, int32_t Y) {
  const ThemePalette& p = dc.palette;
  TextAt(dc, L"Recent", FontTiny, static_cast<float>(X + 24), static_cast<float>(Y + 72), p.textMuted);
  const std::vector<std::wstring> recent = LoadRecentLookups(src.settings);
  if (recent.empty()) {
    TextAt(dc, L"Your recent lookups show up here", FontTiny, static_cast<float>(X + 68), static_cast<float>(Y + 72),
           p.textMuted);
    return;
  }
  int32_t x = X + 68;
  const size_t count = std::min(recent.size(), kMaxRecentLookups);
  for (size_t i = 0; i < count; ++i) {
    const std::wstring label = TruncateWithDots(recent[i], kRecentLabelChars);
    const int32_t width = MeasureText(dc, label, FontButton) + 20;
    if (x + width >= X + kRecentChipsEnd) break;  // this chip and the rest are neither drawn nor clickable
    HitRect& hit = state.hits[Slot::RecentLookup + static_cast<int32_t>(i)];
    hit.Set(x, Y + 68, x + width, Y + 90);
    const bool hovered = dc.Hovered(hit);
    const RectF box = R(static_cast<float>(x), static_cast<float>(Y + 68), static_cast<float>(width), 22);
    FillRoundRect(dc, box, 11, WithAlpha(p.accent, hovered ? 0x50 : 0x28));
    StrokeRoundRect(dc, box, 11, WithAlpha(p.accent, hovered ? 0xDC : 0x78), 1);
    TextInRect(dc, label, FontButton, box, p.text, TextAlign::Center, TextAlign::Center);
    x += width + 6;
  }
}

// ---- pills and body

void DrawPills(DrawContext& dc, const LookupResult& r, float X, float Y) {
  const ThemePalette& p = dc.palette;
  float x = X + 24;
  const float y = Y + 100;
  switch (r.state) {
    case LookupState::Pending:
      Pill(dc, x, y, L"Looking up...", p.accent);
      break;
    case LookupState::Private:
      Pill(dc, x, y, L"PRIVATE / LOCAL ADDRESS", p.textDim);
      break;
    case LookupState::Failed:
      Pill(dc, x, y, L"LOOKUP FAILED", p.bad);
      break;
    case LookupState::Done:
      Pill(dc, x, y, r.hosting ? L"DATA CENTER: YES" : L"DATA CENTER: NO", r.hosting ? p.warn : p.good);
      Pill(dc, x, y, r.proxy ? L"VPN / PROXY: YES" : L"VPN / PROXY: NO", r.proxy ? p.bad : p.good);
      Pill(dc, x, y, r.mobile ? L"MOBILE NETWORK: YES" : L"MOBILE NETWORK: NO", r.mobile ? p.warn : p.textDim);
      break;
  }
}

void DrawBody(DrawContext& dc, bool hasAddress, const LookupResult& r, float X, float Y) {
  const ThemePalette& p = dc.palette;
  const float top = Y + 142;
  if (!hasAddress) {
    ParagraphInRect(dc,
                    L"Type any IP address or website above and press Enter. You get the location, data center / "
                    L"VPN flags, network owner, a map and a live ping graph. This is separate from the IPs in your "
                    L"capture list.",
                    FontBody, R(X + 24, top, 390, 120), p.textDim, kBodyLineHeight);
    return;
  }
  switch (r.state) {
    case LookupState::Pending:
      TextAt(dc, L"Contacting the lookup server...", FontBody, X + 24, top, p.textDim);
      break;
    case LookupState::Failed:
      ParagraphInRect(dc, r.message, FontBody, R(X + 24, top, 390, 60), p.bad, kBodyLineHeight);
      break;
    case LookupState::Private:
      ParagraphInRect(dc,
                      L"This address belongs to your own network or is not routable on the internet, so it has no "
                      L"public location.",
                      FontBody, R(X + 24, top, 390, 60), p.textDim, kBodyLineHeight);
      break;
    case LookupState::Done: {
      const std::vector<Row> rows = DoneRows(r);
      for (size_t k = 0; k < rows.size(); ++k) {
        const float rowTop = top + 26 * static_cast<float>(k);
        if (!(rowTop < Y + 579)) break;
        TextAt(dc, rows[k].label, FontTiny, X + 24, rowTop + 3, p.textMuted);
        TextInRect(dc, rows[k].value, FontSmall, R(X + 128, rowTop, 286, 20), p.text, TextAlign::Near,
                   TextAlign::Center);
      }
      break;
    }
  }
}

// ---- map

void DrawPin(DrawContext& dc, float cx, float cy) {
  const uint32_t accent = dc.palette.accent | 0xFF000000u;
  FillEllipse(dc, Brush::Solid(kPinShadow), R(cx - 9, cy + 4, 18, 8));
  FillEllipse(dc, Brush::Solid(accent), R(cx - 10, cy - 28, 20, 20));
  StrokeEllipse(dc, Pen{kWhite, 2}, R(cx - 10, cy - 28, 20, 20));
  Path tip;
  tip.AddLine({cx - 7, cy - 13}, {cx + 7, cy - 13});
  tip.AddLine({cx + 7, cy - 13}, {cx, cy});
  tip.CloseFigure();
  dc.canvas.FillPath(Brush::Solid(accent), tip);
  FillEllipse(dc, Brush::Solid(kWhite), R(cx - 4, cy - 22, 8, 8));
}

void DrawMap(DrawContext& dc, const LookupPanelSources& src, bool hasAddress, const LookupResult& r, float X, float Y) {
  const RectF area = R(X + kMapLeft, Y + kMapTop, kMapWidth, kMapHeight);
  FillRoundRect(dc, area, 12, kMapBackground);
  const CanvasImage* image = nullptr;
  if (hasAddress && r.mapState == MapState::Ready) image = src.maps.ImageFor(src.factory, r.map);
  if (image) {
    // The location lands in the middle of the area. The marker always lies in the map's centre
    // square, so the crop stays inside the image; a marker that is not a number is put in the middle.
    const float mx = std::isfinite(r.markerX) ? r.markerX : LookupResult::kMapCentre;
    const float my = std::isfinite(r.markerY) ? r.markerY : LookupResult::kMapCentre;
    dc.canvas.PushClipPath(RoundRectPath(area, 12));
    dc.canvas.DrawImageRect(*image, area, R(mx - kMapWidth / 2, my - kMapHeight / 2, kMapWidth, kMapHeight));
    DrawPin(dc, X + kMapLeft + kMapWidth / 2, Y + kMapTop + kMapHeight / 2);
    FillRect(dc, Brush::Solid(kAttributionStrip), R(X + 440, Y + 394, 396, 18));
    TextInRect(dc, L"\u00a9 OpenStreetMap contributors", FontTiny, R(X + 448, Y + 394, 380, 18), kWhite, TextAlign::Far,
               TextAlign::Center);
    dc.canvas.PopClip();
  } else {
    TextInRect(dc, MapText(hasAddress, r), FontBody, area, kMapText, TextAlign::Center, TextAlign::Center);
  }
  StrokeRoundRect(dc, area, 12, dc.palette.border, 1);
}

// ---- latency card

void DrawGraph(DrawContext& dc, const std::vector<int32_t>& history, const LatencyStatsRecord& stats, float X,
               float Y) {
  const ThemePalette& p = dc.palette;
  const float L = X + 590, T = Y + 436, bottom = Y + 592;
  const int32_t axis = GraphScale(history);
  const std::array<std::wstring, 4> labels = GraphGridLabels(axis);
  for (int32_t k = 0; k < 4; ++k) {
    const float y = T + 52 * static_cast<float>(k);
    dc.canvas.DrawLine(Pen{WithAlpha(p.text, 0x22), 1}, {X + 590, y}, {X + 820, y});
    TextAt(dc, labels[static_cast<size_t>(k)], FontTiny, X + 794, y - 13, p.textMuted);
  }
  const std::vector<GraphPoint> marks = GraphPoints(history, kGraphSlots, L, T, 200, 156, axis);
  std::vector<PointF> points;
  dc.canvas.PushClip(R(L - 4, T - 2, 208, 162));
  const Pen lossPen{WithAlpha(p.bad, 0x96), 2};
  for (const GraphPoint& m : marks) {
    const auto x = static_cast<float>(m.x);
    if (m.loss) {
      dc.canvas.DrawLine(lossPen, {x, Y + 584}, {x, bottom});
    } else {
      points.push_back(PointF{x, static_cast<float>(m.y)});
    }
  }
  if (points.size() >= 2) {
    Path area;
    area.AddLines(points);
    area.AddLine(points.back(), {points.back().x, bottom});
    area.AddLine({points.back().x, bottom}, {points.front().x, bottom});
    area.CloseFigure();
    dc.canvas.FillPath(Brush::Linear({L, T}, {L, bottom}, {WithAlpha(p.accent, 0x60), WithAlpha(p.accent2, 0)}, {0, 1}),
                       area);
    Path line;
    line.AddLines(points);
    Pen pen{p.accent, 2.25f, true};
    pen.brush = Brush::Linear({L, T}, {X + 820, T}, {p.accent2, p.accent}, {0, 1});
    dc.canvas.StrokePath(pen, line);
  }
  dc.canvas.PopClip();
  if (points.size() >= 2 && stats.latest >= 0) {
    const PointF last = points.back();
    FillEllipse(dc, Brush::Solid(p.surface), R(last.x - 5, last.y - 5, 10, 10));
    FillEllipse(dc, Brush::Solid(LatencyArgb(p, stats.latest, dc.enablePing)), R(last.x - 3.5f, last.y - 3.5f, 7, 7));
  }
  if (history.size() <= 1)
    TextInRect(dc, L"collecting samples...", FontSmall, R(L, T, 230, 156), p.textMuted, TextAlign::Center,
               TextAlign::Center);
}

void DrawLatencyCard(DrawContext& dc, const LookupPanelSources& src, bool hasAddress, const LookupResult& r, float X,
                     float Y) {
  const ThemePalette& p = dc.palette;
  const RectF card = R(X + 440, Y + 424, 396, 180);
  FillRoundRect(dc, card, 12, WithAlpha(p.text, 0x1A));
  StrokeRoundRect(dc, card, 12, p.border, 1);
  if (!hasAddress || r.state == LookupState::Private) {
    TextInRect(dc, hasAddress ? L"No ping for private addresses" : L"Ping graph", FontSmall, card, p.textMuted,
               TextAlign::Center, TextAlign::Center);
    return;
  }
  const std::wstring& address = src.current.address;
  const std::vector<int32_t> history = src.latency.LatencyHistory(address);
  const LatencyStatsRecord stats = LatencyStats(history);
  TextAt(dc, L"LATENCY", FontTiny, X + 454, Y + 432, p.textMuted);
  const uint32_t current = stats.count > 0 ? LatencyArgb(p, stats.latest, dc.enablePing) : p.textMuted;
  TextAt(dc, LatencyCurrentText(stats), FontMonoLarge, X + 454, Y + 444, current);

  const RectF note = R(X + 590, Y + 424, 232, 180);
  if (!src.settings.enablePing) {
    TextInRect(dc, L"Ping measurement is turned off in Settings", FontSmall, note, p.textDim, TextAlign::Center,
               TextAlign::Center);
    return;
  }
  if (address.find(L':') != std::wstring::npos) {
    TextInRect(dc, L"Ping graph is available for IPv4 addresses", FontSmall, note, p.textDim, TextAlign::Center,
               TextAlign::Center);
    return;
  }
  TextAt(dc, LatencyStatsText(stats), FontTiny, X + 454, Y + 584, p.textDim);
  DrawGraph(dc, history, stats, X, Y);
}

// ---- command row and credits

void DrawCommands(DrawContext& dc, AppState& state, const LookupPanelSources& src, const LookupResult& r, int32_t X,
                  int32_t Y) {
  const CurrentLookup& cur = src.current;
  const std::wstring copyText = LookupCopyText(src.settings, cur.address, cur.context.app, cur.context.protocol,
                                               static_cast<uint32_t>(cur.context.pid), cur.context.port);
  HitRectTable& h = state.hits;
  Button(dc, h[Slot::LookupCopyIp], X + 24, Y + 616, X + 134, Y + 648,
         src.copyFeedback.CopyButtonLabel(L"Copy IP", copyText), true);
  Button(dc, h[Slot::LookupCopyAll], X + 142, Y + 616, X + 282, Y + 648, L"Copy all info", false);
  int32_t x = X + 290;
  if (r.state == LookupState::Done) {
    Button(dc, h[Slot::LookupOpenMap], x, Y + 616, X + 480, Y + 648, L"Open in Google Maps", false);
    x = X + 488;
  }
  if (r.state == LookupState::Done || r.state == LookupState::Failed)
    Button(dc, h[Slot::LookupRefresh], x, Y + 616, x + 90, Y + 648, L"Refresh", false);
}

}  // namespace

// ---- map image cache

const CanvasImage* MapImageCache::ImageFor(GraphicsFactory& factory, const std::shared_ptr<const MapImage>& map) {
  if (!map) return nullptr;
  if (map == source_ && &factory == factory_) return image_.get();
  image_.reset();  // before the pixels it may draw from
  source_ = map;
  factory_ = &factory;
  constexpr size_t kPixels = static_cast<size_t>(MapImage::kSize) * MapImage::kSize;
  if (map->pixels.size() == kPixels) {
    // Drawn from the map's own pixels where the canvas can: no second copy of 2.4 MB.
    image_ = factory.WrapPremultipliedArgb(MapImage::kSize, MapImage::kSize, map->pixels.data());
    ++conversions_;
  }
  return image_.get();
}

void MapImageCache::Release() {
  image_.reset();
  source_.reset();
  factory_ = nullptr;
}

// ---- texts and layout

int32_t LookupPanelX(int32_t W) { return (W - kLookupPanelWidth) / 2; }

int32_t LookupPanelY(int32_t H) { return H >= kCentredFromHeight ? (H - kLookupPanelHeight) / 2 : kSmallWindowY; }

std::wstring WebMapLink(double lat, double lon) {
  if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180) return {};
  return std::wstring(kWebMapRoot) + L"/maps?q=" + Fixed(lat, 6) + L"," + Fixed(lon, 6);
}

std::wstring LookupSubtitle(const CurrentLookup& current) {
  if (!current.address.empty() && !current.websiteName.empty())
    return current.websiteName + L"  \u2192  " + current.address;
  const LookupContext& c = current.context;
  if (!c.app.empty()) {
    std::wstring text = c.app + std::wstring(kDot) + c.protocol;
    if (c.port > 0) text += std::wstring(kDot) + L"port " + std::to_wstring(c.port);
    return text + std::wstring(kDot) + L"PID " + std::to_wstring(c.pid);
  }
  if (!current.address.empty()) return L"Manual lookup";
  return {};
}

// ---- the panel

void DrawLookupPanel(DrawContext& dc, AppState& state, const LookupPanelSources& src, int32_t W, int32_t H) {
  // Only what this paint draws can be hit.
  for (int32_t slot = kLookupFirstSlot; slot <= kLookupLastSlot; ++slot) state.hits[slot] = HitRect{};
  state.hits[kLookupBoxSlot] = HitRect{};

  const ThemePalette& p = dc.palette;
  FillRect(dc, Brush::Solid(kScrim), R(0, 0, static_cast<float>(W), static_cast<float>(H)));
  const int32_t X = LookupPanelX(W), Y = LookupPanelY(H);
  const auto fx = static_cast<float>(X), fy = static_cast<float>(Y);
  state.hits[Slot::LookupCard].Set(X, Y, X + kLookupPanelWidth, Y + kLookupPanelHeight);
  const RectF panel = R(fx, fy, kLookupPanelWidth, kLookupPanelHeight);
  FillRoundRect(dc, panel, 16, p.surface);
  StrokeRoundRect(dc, panel, 16, p.border, 1);

  const bool hasAddress = !src.current.address.empty();
  const LookupResult r = hasAddress ? SnapshotCurrentLookup(src.cache, src.current) : LookupResult{};

  DrawHeader(dc, state, src, fx, fy);
  DrawRecentRow(dc, state, src, X, Y);
  if (hasAddress) DrawPills(dc, r, fx, fy);
  DrawBody(dc, hasAddress, r, fx, fy);
  DrawMap(dc, src, hasAddress, r, fx, fy);
  DrawLatencyCard(dc, src, hasAddress, r, fx, fy);
  if (hasAddress) DrawCommands(dc, state, src, r, X, Y);
  TextInRect(dc,
             L"Lookup by " + src.serviceHost +
                 L"  \u00b7  map \u00a9 OpenStreetMap  \u00b7  the IP is sent to those "
                 L"services",
             FontTiny, R(fx + 24, fy + 650, 812, 14), p.textMuted, TextAlign::Near, TextAlign::Center);
}

void PaintLookupPanel(DrawContext& dc, MainWindow& window, int32_t W, int32_t H) {
  Application& app = window.app();
  const std::wstring& apiBase = app.commandLine().apiBase;
  const LookupPanelSources sources{app.settings(),
                                   app.currentLookup(),
                                   app.lookupCache(),
                                   app.latencyBook(),
                                   app.copyFeedback(),
                                   window.editor().lookupText,
                                   ServiceHostName(apiBase.empty() ? std::wstring_view(kDefaultApiBase) : apiBase),
                                   window.graphics(),
                                   window.mapImages()};
  dc.focusedField = window.editor().focusedField;
  DrawLookupPanel(dc, window.state(), sources, W, H);
}

}  // namespace tolvane
