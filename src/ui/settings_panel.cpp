// The settings panel; see settings_panel.h.
//
// Section index: helpers; sources; ToggleSwitchGrid; frame; the five tabs; DrawSettingsPanel;
// clicks (with the colour and file dialogs); keys and typed characters.
#include "ui/settings_panel.h"

#include <algorithm>
#include <array>
#include <cwctype>

#include "clipboard/copy_template.h"
#include "ui/commands.h"
#include "ui/main_window.h"

namespace tolvane {
namespace {

constexpr uint32_t kScrim = 0xAA04060Eu;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kGreyRgb = 0x808080u;  // a colour slot whose text is not a colour
constexpr size_t kPathLimit = 400;

constexpr std::wstring_view kTabLabels[kSettingsTabCount] = {L"General", L"Discord & Copy", L"Themes", L"Background",
                                                             L"Loading screen"};
constexpr int32_t kRefreshValues[5] = {250, 500, 1000, 2000, 4000};
constexpr std::wstring_view kScrollLabels[3] = {L"Slow", L"Normal", L"Fast"};
constexpr int32_t kScrollValues[3] = {2, 3, 5};
constexpr std::wstring_view kDirectionLabels[3] = {L"Horiz.", L"Diag.", L"Vert."};
constexpr std::wstring_view kTextModeLabels[3] = {L"Text: auto", L"Text: for dark", L"Text: for light"};
constexpr int32_t kDimValues[6] = {0, 20, 35, 50, 65, 80};
constexpr int32_t kVolumeValues[5] = {10, 25, 50, 75, 100};
constexpr std::wstring_view kDelayLabels[8] = {L"0.5 s", L"1 s", L"2 s", L"3 s", L"5 s", L"10 s", L"30 s", L"Hold"};
constexpr int32_t kDelayValues[8] = {500, 1000, 2000, 3000, 5000, 10000, 30000, 0};

// The sample the template previews show while the call list is empty.
constexpr std::wstring_view kSampleAddress = L"35.214.40.77";
constexpr int32_t kSamplePort = 50031;
constexpr std::wstring_view kSampleApp = L"Discord.exe";
constexpr uint32_t kSamplePid = 4242;
constexpr std::wstring_view kSampleProtocol = L"UDP4";

const ToggleItem kGeneralToggles[8] = {
    {L"Show LAN / private IPs", &Settings::showLan}, {L"Show system processes", &Settings::showSystem},
    {L"Ping measurement", &Settings::enablePing},    {L"Show IPv6 sockets", &Settings::enableIpv6},
    {L"Show UDP sockets", &Settings::enableUdp},     {L"Auto refresh", &Settings::autoRefresh},
    {L"Always on top", &Settings::alwaysOnTop},      {L"Discord focus (table)", &Settings::discordFocus},
};
const ToggleItem kCallServerToggles[2] = {
    {L"Locate call servers", &Settings::locateCalls},
    {L"Sound when the call server moves", &Settings::callMoveSound},
};
const ToggleItem kDiscordToggles[4] = {
    {L"Discord: only show call IPs", &Settings::callOnly},
    {L"Auto-copy new call IP", &Settings::autoCopyCall},
    {L"Packet capture (needs admin)", &Settings::packetCapture},
    {L"Detect Discord web calls (browser)", &Settings::webCalls},
};
const ToggleItem kWordsToggle[1] = {{L"Treat the plain words IP and port as placeholders", &Settings::tplWords}};
const ToggleItem kMotionToggle[1] = {
    {L"Play animated GIFs and videos (turn off to freeze on one frame)", &Settings::bgMotion}};
const ToggleItem kMuteToggle[1] = {{L"Mute", &Settings::bgMute}};
const ToggleItem kSplashToggles[3] = {
    {L"Show loading screen at startup", &Settings::splash},
    {L"Show progress bar", &Settings::splashBar},
    {L"Stop sound when loading ends", &Settings::splashStopSound},
};

float F(int32_t v) { return static_cast<float>(v); }

int32_t ClampedCount(const CustomTheme& t) { return std::clamp(t.count, 2, 8); }

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
}

// The colour of a colour text as 0x00RRGGBB, or fallback when it is not one.
uint32_t ParsedRgb(const std::wstring& text, uint32_t fallback) {
  uint8_t r = 0, g = 0, b = 0;
  return ParseHexColor(text, r, g, b) ? Rgb(r, g, b) : fallback;
}

// The edges of a box at (x, y) of w x h, relative to the panel's origin o.
struct Box {
  int32_t l, t, r, b;
};
Box At(const PanelOrigin& o, int32_t x, int32_t y, int32_t w, int32_t h) {
  return Box{o.x + x, o.y + y, o.x + x + w, o.y + y + h};
}
Box Edges(const PanelOrigin& o, int32_t l, int32_t t, int32_t r, int32_t b) {
  return Box{o.x + l, o.y + t, o.x + r, o.y + b};
}

void Caption(DrawContext& dc, const PanelOrigin& o, std::wstring_view text, int32_t x, int32_t y) {
  TextAt(dc, text, FontTiny, F(o.x + x), F(o.y + y), dc.palette.textMuted);
}

void Note(DrawContext& dc, const PanelOrigin& o, std::wstring_view text, int32_t x, int32_t y) {
  TextAt(dc, text, FontTiny, F(o.x + x), F(o.y + y), dc.palette.textDim);
}

void OptionButton(DrawContext& dc, AppState& state, int32_t slot, const Box& box, std::wstring_view label,
                  bool selected) {
  Chip(dc, state.hits[slot], box.l, box.t, box.r, box.b, label, selected);
}

void PushButton(DrawContext& dc, AppState& state, int32_t slot, const Box& box, std::wstring_view label,
                bool primary = false) {
  Button(dc, state.hits[slot], box.l, box.t, box.r, box.b, label, primary);
}

void Field(DrawContext& dc, const PanelOrigin& o, TextFieldId id, int32_t x, int32_t y, int32_t width,
           std::wstring_view text, std::wstring_view placeholder, bool mono = true) {
  TextField(dc, static_cast<int32_t>(id), F(o.x + x), F(o.y + y), F(width), text, placeholder, mono);
}

// A rounded box filled with a gradient in the direction (0 horizontal, 1 diagonal, 2 vertical).
void GradientBox(DrawContext& dc, const std::vector<uint32_t>& colours, int32_t direction, const RectF& r,
                 float radius) {
  if (colours.size() < 2) {
    FillRoundRect(dc, r, radius, colours.empty() ? 0xFF14141Eu : colours.front());
    return;
  }
  PointF end{r.Right(), r.Bottom()};
  if (direction == 0) end.y = r.y;
  if (direction == 2) end.x = r.x;
  std::vector<float> positions(colours.size());
  const float last = static_cast<float>(colours.size() - 1);
  for (size_t i = 0; i < positions.size(); ++i) positions[i] = static_cast<float>(i) / last;
  dc.canvas.FillPath(Brush::Linear(PointF{r.x, r.y}, end, colours, std::move(positions)), RoundRectPath(r, radius));
}

// A swatch: the rectangle recorded in its slot, filled with one colour (0x00RRGGBB).
void Swatch(DrawContext& dc, AppState& state, int32_t slot, const Box& box, uint32_t rgb) {
  HitRect& hit = state.hits[slot];
  hit.Set(box.l, box.t, box.r, box.b);
  const RectF r{F(box.l), F(box.t), F(box.r - box.l), F(box.b - box.t)};
  FillRoundRect(dc, r, 6, 0xFF000000u | rgb);
  StrokeRoundRect(dc, r, 6, dc.Hovered(hit) ? dc.palette.text : dc.palette.border, dc.Hovered(hit) ? 2.0f : 1.0f);
}

std::wstring Number(int32_t v) { return std::to_wstring(v); }

}  // namespace

// ---- sources

SettingsPanelSources SettingsPanelSourcesOf(MainWindow& w) {
  SettingsPanelSources sources =
      SettingsPanelSourcesOf(w.app().settings(), w.app().themes(), w.app().callList(), w.editor());
  sources.settingsFile = w.app().files().SettingsFileShown();
  return sources;
}

SettingsPanelSources SettingsPanelSourcesOf(const Settings& settings, const ThemeEngine& themes, const CallList& calls,
                                            SettingsEditor& editor) {
  SettingsEffects& effects = editor.effects();
  return SettingsPanelSources{settings,
                              themes,
                              calls,
                              editor.editedCustomTheme,
                              editor.customDelayText,
                              effects.BackgroundStatusLine(),
                              effects.BackgroundSoundPlaying(),
                              effects.LoadingSoundPlaying(),
                              {}};
}

void AddSettingsPanelPainter(MainWindow& w, PanelPainters& panels) {
  panels.settingsPanel = [&w](DrawContext& dc, AppState& state, int32_t W, int32_t H) {
    DrawSettingsPanel(dc, state, SettingsPanelSourcesOf(w), W, H);
  };
}

PanelOrigin SettingsPanelOrigin(int32_t W, int32_t H) {
  const int32_t top = H >= kSettingsPanelHeight + 20 ? (H - kSettingsPanelHeight) / 2 : 10;
  return PanelOrigin{(W - kSettingsPanelWidth) / 2, top};
}

bool IsWarningStatus(std::wstring_view status) {
  std::wstring lower(status);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return lower.find(L"problem") != std::wstring::npos || lower.find(L"not ") != std::wstring::npos;
}

std::wstring IpTemplatePreview(const Settings& settings, const CallList& calls) {
  if (calls.Entries().empty())
    return ExpandIpTemplate(settings, kSampleAddress, kSamplePort, kSampleApp, kSamplePid, kSampleProtocol);
  const CallEndpoint& e = calls.Entries().front();
  return ExpandIpTemplate(settings, e.address, e.remotePort, e.processName, static_cast<uint32_t>(e.pid), e.protocol);
}

std::wstring EndpointTemplatePreview(const Settings& settings, const CallList& calls) {
  if (calls.Entries().empty())
    return ExpandEndpointTemplate(settings, kSampleAddress, kSamplePort, kSampleApp, kSamplePid, kSampleProtocol);
  const CallEndpoint& e = calls.Entries().front();
  return ExpandEndpointTemplate(settings, e.address, e.remotePort, e.processName, static_cast<uint32_t>(e.pid),
                                e.protocol);
}

// ---- ToggleSwitchGrid

void ToggleSwitchGrid(DrawContext& dc, AppState& state, const Settings& settings, std::span<const ToggleItem> items,
                      int32_t x, int32_t y, int32_t columnWidth, int32_t perColumn) {
  const ThemePalette& p = dc.palette;
  perColumn = std::max(perColumn, 1);
  for (size_t n = 0; n < items.size(); ++n) {
    const auto i = static_cast<int32_t>(n);
    const int32_t ix = x + (columnWidth + 12) * (i / perColumn);
    const int32_t iy = y + 32 * (i % perColumn);
    const bool on = settings.*(items[n].field);
    if (state.settingsToggleCount < kSettingsToggleSlots) {
      const int32_t k = state.settingsToggleCount++;
      HitRect& hit = state.hits[Slot::SettingsToggle + k];
      hit.Set(ix, iy, ix + columnWidth, iy + 30);
      state.settingsToggleFields[static_cast<size_t>(k)] = items[n].field;
      if (dc.Hovered(hit)) FillRoundRect(dc, RectF{F(ix), F(iy), F(columnWidth), 30}, 8, WithAlpha(p.accent, 0x1E));
    }
    FillRoundRect(dc, RectF{F(ix + 4), F(iy + 7), 30, 16}, 8, on ? p.accent : WithAlpha(p.text, 0x30));
    FillEllipse(dc, Brush::Solid(kWhite), RectF{F(ix + (on ? 20 : 6)), F(iy + 9), 12, 12});
    TextInRect(dc, items[n].label, FontSmall, RectF{F(ix + 44), F(iy), F(columnWidth - 48), 30}, p.text,
               TextAlign::Near, TextAlign::Center);
  }
}

// ---- the five tabs

namespace {

void GeneralTab(DrawContext& dc, AppState& state, const SettingsPanelSources& src, const PanelOrigin& o) {
  const Settings& s = src.settings;
  Caption(dc, o, L"CAPTURE & DISPLAY", 22, 106);
  ToggleSwitchGrid(dc, state, s, kGeneralToggles, o.x + 22, o.y + 124, 362, 4);
  Caption(dc, o, L"REFRESH INTERVAL (ms)  \u00b7  lower = IPs appear faster", 22, 266);
  for (int32_t k = 0; k < 5; ++k) {
    OptionButton(dc, state, Slot::RefreshPreset + k, At(o, 22 + 73 * k, 284, 67, 28), Number(kRefreshValues[k]),
                 s.refreshMs == kRefreshValues[k]);
  }
  Caption(dc, o, L"SCROLL SPEED", 398, 266);
  for (int32_t k = 0; k < 3; ++k) {
    OptionButton(dc, state, Slot::ScrollPreset + k, At(o, 398 + 122 * k, 284, 116, 28), kScrollLabels[k],
                 s.scrollSpeed == kScrollValues[k]);
  }
  Caption(dc, o, L"CALL SERVERS", 22, 332);
  ToggleSwitchGrid(dc, state, s, kCallServerToggles, o.x + 22, o.y + 350, 362, 1);
  Note(dc, o, L"Themes, background, loading screen and copy formats have their own tabs.", 22, 398);
  Note(dc, o, L"Settings are saved automatically to " + src.settingsFile, 22, 420);
}

void DiscordTab(DrawContext& dc, AppState& state, const SettingsPanelSources& src, const PanelOrigin& o) {
  const Settings& s = src.settings;
  const ThemePalette& p = dc.palette;
  Caption(dc, o, L"DISCORD CALL IP PREFIXES", 22, 106);
  Field(dc, o, TextFieldId::kPrefixes, 22, 122, 736, s.prefixes, L"e.g. 104,3   (empty = show every IP)");
  Note(dc, o,
       L"Comma-separated. An IP is shown if it starts with one of these:  104 = 104.x.x.x  \u00b7  3 = 3.x and "
       L"30\u201339.x  \u00b7  3. = only 3.x",
       22, 158);
  ToggleSwitchGrid(dc, state, s, kDiscordToggles, o.x + 22, o.y + 182, 362, 2);
  Caption(dc, o, L"WHEN I PRESS \"COPY IP\", COPY THIS TEXT", 22, 258);
  Field(dc, o, TextFieldId::kTplIp, 22, 274, 736, s.tplIp, L"IP");
  TextInRect(dc, L"Result:  " + IpTemplatePreview(s, src.calls), FontSmall, RectF{F(o.x + 22), F(o.y + 308), 736, 18},
             p.textDim, TextAlign::Near, TextAlign::Center);
  Caption(dc, o, L"WHEN I PRESS \"COPY IP:PORT\", COPY THIS TEXT", 22, 334);
  Field(dc, o, TextFieldId::kTplEp, 22, 350, 736, s.tplEp, L"IP:port");
  TextInRect(dc, L"Result:  " + EndpointTemplatePreview(s, src.calls), FontSmall,
             RectF{F(o.x + 22), F(o.y + 384), 736, 18}, p.textDim, TextAlign::Near, TextAlign::Center);
  ToggleSwitchGrid(dc, state, s, kWordsToggle, o.x + 22, o.y + 410, 736, 1);
  Note(dc, o,
       L"Write your own text and use IP and port (or {ip} {port} {ep} {app} {pid} {proto}).  Example:  ping IP -n 4  "
       L" \u00b7   curl http://IP:port/",
       22, 444);
}

void ThemeCard(DrawContext& dc, AppState& state, const SettingsPanelSources& src, const PanelOrigin& o, int32_t i) {
  const ThemePalette& t = src.themes.Palette(i);
  const Box b = At(o, 22 + 148 * (i % 5), 122 + 62 * (i / 5), 140, 54);
  HitRect& hit = state.hits[Slot::SettingsThemeSwatch + i];
  hit.Set(b.l, b.t, b.r, b.b);
  const RectF r{F(b.l), F(b.t), 140, 54};
  GradientBox(dc, t.gradient, t.direction, r, 10);
  FillRoundRect(dc, RectF{r.x + 12, r.y + 10, 34, 5}, 2.5f, t.accent);
  FillRoundRect(dc, RectF{r.x + 12, r.y + 18, 22, 5}, 2.5f, t.accent2);
  TextInRect(dc, t.name, FontSmall, RectF{r.x + 12, r.y + 26, 120, 22}, t.text, TextAlign::Near, TextAlign::Center);
  const bool active = src.settings.theme == i;
  if (active) {
    StrokeRoundRect(dc, r, 10, dc.palette.accent, 2);
  } else if (dc.Hovered(hit)) {
    StrokeRoundRect(dc, r, 10, dc.palette.text, 2.5f);
  } else {
    StrokeRoundRect(dc, r, 10, dc.palette.border, 1);
  }
}

void ThemesTab(DrawContext& dc, AppState& state, const SettingsPanelSources& src, const PanelOrigin& o) {
  const ThemePalette& p = dc.palette;
  const int32_t edited = std::clamp(src.editedCustomTheme, 0, 4);
  const CustomTheme& t = src.settings.customThemes[static_cast<size_t>(edited)];
  Caption(dc, o, L"THEME", 22, 106);
  for (int32_t i = 0; i < kPaletteCount; ++i) ThemeCard(dc, state, src, o, i);

  Caption(dc, o, L"CUSTOM THEME  \u00b7  your own gradient, 2 to 8 colors  \u00b7  pick a slot to edit it", 22, 250);
  for (int32_t k = 0; k < kCustomCount; ++k) {
    OptionButton(dc, state, Slot::CustomThemeSlot + k, At(o, 22 + 92 * k, 266, 86, 28), L"Custom " + Number(k + 1),
                 k == edited);
  }
  const int32_t n = ClampedCount(t);
  for (int32_t j = 0; j < n; ++j) {
    const int32_t ox = 22 + 250 * (j / 4), oy = 304 + 34 * (j % 4);
    TextAt(dc, L"Color " + Number(j + 1), FontSmall, F(o.x + ox), F(o.y + oy + 8), p.textDim);
    Swatch(dc, state, Slot::ColourSlot + j, Edges(o, ox + 62, oy + 1, ox + 98, oy + 31),
           ParsedRgb(t.colours[static_cast<size_t>(j)], kGreyRgb));
    Field(dc, o, static_cast<TextFieldId>(static_cast<int32_t>(TextFieldId::kColour1) + j), ox + 104, oy, 120,
          t.colours[static_cast<size_t>(j)], L"RRGGBB");
  }

  const ThemePalette& edit = src.themes.Palette(edited + kBuiltInCount);
  GradientBox(dc, edit.gradient, edit.direction, RectF{F(o.x + 534), F(o.y + 304), 224, 56}, 10);
  for (int32_t k = 0; k < 3; ++k) {
    OptionButton(dc, state, Slot::DirectionChoice + k, At(o, 534 + 76 * k, 368, 70, 28), kDirectionLabels[k],
                 t.angle == k);
  }
  PushButton(dc, state, Slot::TextModeButton, Edges(o, 534, 402, 758, 430), kTextModeLabels[std::clamp(t.mode, 0, 2)]);
  PushButton(dc, state, Slot::AddColour, Edges(o, 534, 436, 643, 464), L"Add color");
  PushButton(dc, state, Slot::RemoveColour, Edges(o, 649, 436, 758, 464), L"Remove");

  Caption(dc, o, L"ACCENT COLOR  (empty = auto)", 22, 448);
  Swatch(dc, state, Slot::AccentPick, Edges(o, 22, 464, 58, 496), ParsedRgb(t.accent, p.accent & 0x00FFFFFFu));
  Field(dc, o, TextFieldId::kAccent, 66, 464, 150, t.accent, L"auto");

  Caption(dc, o, L"QUICK GRADIENTS  (apply to the selected custom slot)", 252, 448);
  const std::vector<QuickGradient>& presets = QuickGradients();
  for (int32_t k = 0; k < 8 && static_cast<size_t>(k) < presets.size(); ++k) {
    const QuickGradient& q = presets[static_cast<size_t>(k)];
    const Box b = At(o, 252 + 64 * k, 464, 58, 32);
    HitRect& hit = state.hits[Slot::QuickGradientPreset + k];
    hit.Set(b.l, b.t, b.r, b.b);
    const RectF r{F(b.l), F(b.t), 58, 32};
    GradientBox(dc, q.colours, q.direction, r, 7);
    if (dc.Hovered(hit)) StrokeRoundRect(dc, r, 7, p.text, 2);
    TextInRect(dc, q.name, FontTiny, r, kWhite, TextAlign::Center, TextAlign::Center);
  }
}

void BackgroundTab(DrawContext& dc, AppState& state, const SettingsPanelSources& src, const PanelOrigin& o) {
  const Settings& s = src.settings;
  const ThemePalette& p = dc.palette;
  Caption(dc, o, L"APP BACKGROUND  \u00b7  picture, animated GIF or video  (PNG, JPG, BMP, GIF, MP4, WMV, AVI, MOV)",
          22, 106);
  Field(dc, o, TextFieldId::kBgPath, 22, 122, 576, s.bgPath, L"(none - use the theme gradient)");
  PushButton(dc, state, Slot::BackgroundPick, Edges(o, 608, 124, 682, 152), L"Browse...");
  PushButton(dc, state, Slot::BackgroundClear, Edges(o, 688, 124, 758, 152), L"Clear");
  if (!s.bgPath.empty()) {
    const std::wstring& status = src.backgroundStatus.empty() ? std::wstring(L"Not loaded") : src.backgroundStatus;
    TextInRect(dc, status, FontTiny, RectF{F(o.x + 22), F(o.y + 158), 736, 16},
               IsWarningStatus(status) ? p.warn : p.textDim, TextAlign::Near, TextAlign::Center);
  }
  Caption(dc, o, L"DARKEN THE BACKGROUND  (keeps text readable)", 22, 184);
  for (int32_t k = 0; k < 6; ++k) {
    OptionButton(dc, state, Slot::DimPreset + k, At(o, 22 + 123 * k, 200, 117, 28), Number(kDimValues[k]) + L"%",
                 s.bgDim == kDimValues[k]);
  }
  ToggleSwitchGrid(dc, state, s, kMotionToggle, o.x + 22, o.y + 240, 736, 1);
  Caption(dc, o,
          L"BACKGROUND SOUND  (MP3, WAV, WMA, M4A, AAC)  \u00b7  loops while the app is open  \u00b7  leave empty for "
          L"silence",
          22, 282);
  Field(dc, o, TextFieldId::kBgSound, 22, 298, 486, s.bgSound, L"(no sound)");
  PushButton(dc, state, Slot::BgSoundPick, Edges(o, 518, 300, 592, 328), L"Browse...");
  PushButton(dc, state, Slot::BgSoundPlay, Edges(o, 598, 300, 682, 328),
             src.backgroundSoundPlaying ? L"Stop" : L"Play");
  PushButton(dc, state, Slot::BgSoundClear, Edges(o, 688, 300, 758, 328), L"Clear");
  Caption(dc, o, L"VOLUME", 22, 344);
  for (int32_t k = 0; k < 5; ++k) {
    OptionButton(dc, state, Slot::VolumePreset + k, At(o, 22 + 121 * k, 360, 115, 28), Number(kVolumeValues[k]) + L"%",
                 s.bgVol == kVolumeValues[k]);
  }
  ToggleSwitchGrid(dc, state, s, kMuteToggle, o.x + 648, o.y + 358, 110, 1);
  Note(dc, o, L"Videos play without their own sound. Choose a sound file above if you want music or audio.", 22, 406);
  Note(dc, o, L"For a smooth app, 1080p or smaller videos and moderate GIFs work best.", 22, 428);
}

void LoadingTab(DrawContext& dc, AppState& state, const SettingsPanelSources& src, const PanelOrigin& o) {
  const Settings& s = src.settings;
  ToggleSwitchGrid(dc, state, s, kSplashToggles, o.x + 22, o.y + 106, 362, 2);
  Caption(dc, o, L"HOW LONG THE LOADING SCREEN STAYS", 22, 178);
  for (int32_t k = 0; k < 8; ++k) {
    OptionButton(dc, state, Slot::SplashDelayPreset + k, At(o, 22 + 92 * k, 194, 86, 28), kDelayLabels[k],
                 s.splashMs == kDelayValues[k]);
  }
  Caption(dc, o, L"CUSTOM DELAY IN MILLISECONDS  (0 = hold until you click)", 22, 232);
  Field(dc, o, TextFieldId::kCustomDelay, 22, 248, 180, src.customDelayText, L"1500");
  Note(dc, o, L"Click anywhere or press a key to skip the loading screen.", 218, 257);
  Caption(dc, o, L"TITLE", 22, 288);
  Caption(dc, o, L"SUBTITLE", 396, 288);
  Field(dc, o, TextFieldId::kSplashTitle, 22, 304, 362, s.splashTitle, L"Tolvane", false);
  Field(dc, o, TextFieldId::kSplashSub, 396, 304, 362, s.splashSub, L"Initializing...", false);
  Caption(dc, o, L"LOGO IMAGE  (PNG, JPG, BMP, GIF)", 22, 344);
  Field(dc, o, TextFieldId::kSplashImage, 22, 360, 576, s.splashImage, L"(default logo)");
  PushButton(dc, state, Slot::SplashImagePick, Edges(o, 608, 362, 682, 390), L"Browse...");
  PushButton(dc, state, Slot::SplashImageClear, Edges(o, 688, 362, 758, 390), L"Clear");
  Caption(dc, o, L"LOADING SOUND  (MP3, WAV, WMA, M4A, AAC)", 22, 400);
  Field(dc, o, TextFieldId::kSplashSound, 22, 416, 486, s.splashSound, L"(no sound)");
  PushButton(dc, state, Slot::SplashSoundPick, Edges(o, 518, 418, 592, 446), L"Browse...");
  PushButton(dc, state, Slot::SplashSoundTest, Edges(o, 598, 418, 682, 446),
             src.loadingSoundPlaying ? L"Stop" : L"Play");
  PushButton(dc, state, Slot::SplashSoundClear, Edges(o, 688, 418, 758, 446), L"Clear");
  PushButton(dc, state, Slot::SplashPreview, Edges(o, 22, 458, 242, 490), L"Preview loading screen", true);
}

void Frame(DrawContext& dc, AppState& state, const PanelOrigin& o) {
  const ThemePalette& p = dc.palette;
  state.hits[Slot::SettingsCard].Set(o.x, o.y, o.x + kSettingsPanelWidth, o.y + kSettingsPanelHeight);
  const RectF card{F(o.x), F(o.y), F(kSettingsPanelWidth), F(kSettingsPanelHeight)};
  FillRoundRect(dc, card, 16, p.surface);
  StrokeRoundRect(dc, card, 16, p.border, 1);
  TextAt(dc, L"Settings", FontHeader, F(o.x + 22), F(o.y + 14), p.text);

  HitRect& close = state.hits[Slot::SettingsClose];
  close.Set(o.x + 734, o.y + 16, o.x + 764, o.y + 46);
  const RectF closeBox{F(o.x + 734), F(o.y + 16), 30, 30};
  FillRoundRect(dc, closeBox, 8, WithAlpha(p.bad, dc.Hovered(close) ? 0x5A : 0x32));
  TextInRect(dc, L"\u2715", FontSection, closeBox, p.text, TextAlign::Center, TextAlign::Center);

  int32_t x = o.x + 22;
  for (int32_t i = 0; i < kSettingsTabCount; ++i) {
    const int32_t w = MeasureText(dc, kTabLabels[i], FontButton) + 34;
    Chip(dc, state.hits[Slot::SettingsTab + i], x, o.y + 58, x + w, o.y + 88, kTabLabels[i], i == state.selectedTab);
    x += w + 6;
  }
  PushButton(dc, state, Slot::SettingsReset, Edges(o, 22, 618, 172, 650), L"Reset defaults");
  PushButton(dc, state, Slot::SettingsDone, Edges(o, 662, 618, 758, 650), L"Done", true);
}

}  // namespace

// ---- DrawSettingsPanel

void DrawSettingsPanel(DrawContext& dc, AppState& state, const SettingsPanelSources& sources, int32_t W, int32_t H) {
  for (int32_t slot = kSettingsFirstSlot; slot <= kSettingsLastSlot; ++slot) state.hits[slot].present = false;
  state.settingsToggleCount = 0;
  state.settingsToggleFields.fill(nullptr);

  FillRect(dc, Brush::Solid(kScrim), RectF{0, 0, F(W + 1), F(H + 1)});
  state.hits[Slot::OverlayBackdrop].Set(0, 0, W, H);  // the hand cursor everywhere outside a field
  const PanelOrigin o = SettingsPanelOrigin(W, H);
  Frame(dc, state, o);
  switch (state.selectedTab) {
    case 0:
      GeneralTab(dc, state, sources, o);
      break;
    case 1:
      DiscordTab(dc, state, sources, o);
      break;
    case 2:
      ThemesTab(dc, state, sources, o);
      break;
    case 3:
      BackgroundTab(dc, state, sources, o);
      break;
    case 4:
      LoadingTab(dc, state, sources, o);
      break;
    default:
      break;
  }
}

// ---- clicks

namespace {

// The colour dialog from start (0x00RRGGBB); false on Cancel.
bool PickColour(SettingsPanelTarget& t, uint32_t start, uint8_t& r, uint8_t& g, uint8_t& b) {
  uint32_t chosen = 0;
  if (!t.host.ChooseColour(start, chosen)) return false;
  r = static_cast<uint8_t>((chosen >> 16) & 0xFF);
  g = static_cast<uint8_t>((chosen >> 8) & 0xFF);
  b = static_cast<uint8_t>(chosen & 0xFF);
  return true;
}

// The file dialog; the chosen path cleaned for the settings file, or false on Cancel.
bool PickFile(SettingsPanelTarget& t, FileDialogKind kind, std::wstring& path) {
  std::wstring chosen;
  if (!t.host.ChooseFile(kind, chosen)) return false;
  path = SanitizeText(chosen, kPathLimit);
  return true;
}

// The controls of the tabs, after the frame and the text fields; true when one was hit.
bool TabControlClick(SettingsPanelTarget& t, int32_t x, int32_t y) {
  AppState& st = t.state;
  const HitRectTable& h = st.hits;
  Settings& s = t.settings;
  SettingsEditor& editor = t.editor;
  SettingsEffects& fx = editor.effects();
  CustomThemeEditor& custom = editor.customThemes();
  Toast& toast = t.toast;
  const int32_t edited = std::clamp(editor.editedCustomTheme, 0, 4);
  CustomTheme& theme = s.customThemes[static_cast<size_t>(edited)];
  auto hit = [&](int32_t slot) { return h[slot].Contains(x, y); };
  auto group = [&](int32_t first, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
      if (hit(first + i)) return i;
    return -1;
  };
  int32_t i = -1;

  if ((i = group(Slot::SettingsThemeSwatch, kPaletteCount)) >= 0) {
    editor.SelectTheme(i);
  } else if ((i = group(Slot::SettingsToggle, std::min(st.settingsToggleCount, kSettingsToggleSlots))) >= 0) {
    if (Relaxed<bool> Settings::*field = st.settingsToggleFields[static_cast<size_t>(i)]) editor.ToggleSetting(field);
  } else if ((i = group(Slot::RefreshPreset, 5)) >= 0) {
    editor.SetRefreshMs(kRefreshValues[i]);
  } else if ((i = group(Slot::ScrollPreset, 3)) >= 0) {
    editor.SetScrollSpeed(kScrollValues[i]);
  } else if ((i = group(Slot::CustomThemeSlot, kCustomCount)) >= 0) {
    editor.SelectTheme(kBuiltInCount + i);
  } else if ((i = group(Slot::QuickGradientPreset, 8)) >= 0) {
    custom.ApplyQuickGradient(edited, i);
  } else if (hit(Slot::AccentPick)) {
    uint8_t r, g, b;
    const uint32_t start = ParsedRgb(theme.accent, t.themes.ActivePalette().accent & 0x00FFFFFFu);
    if (PickColour(t, start, r, g, b)) custom.SetAccent(edited, r, g, b);
  } else if ((i = group(Slot::ColourSlot, ClampedCount(theme))) >= 0) {
    uint8_t r, g, b;
    if (PickColour(t, ParsedRgb(theme.colours[static_cast<size_t>(i)], kGreyRgb), r, g, b))
      custom.SetColour(edited, i, r, g, b);
  } else if ((i = group(Slot::DirectionChoice, 3)) >= 0) {
    custom.SetDirection(edited, i);
  } else if (hit(Slot::TextModeButton)) {
    custom.CycleTextMode(edited);
  } else if (hit(Slot::AddColour)) {
    custom.AddColour(edited);
  } else if (hit(Slot::RemoveColour)) {
    custom.RemoveColour(edited);
  } else if ((i = group(Slot::SplashDelayPreset, 8)) >= 0) {
    editor.SetSplashMs(kDelayValues[i]);
  } else if (hit(Slot::SplashImagePick)) {
    if (PickFile(t, FileDialogKind::Images, s.splashImage)) {
      fx.LoadSplashImage();
      if (!fx.SplashImageLoaded()) toast.Show(L"That image could not be opened");
      fx.SaveSettings();  // the path is kept, even when it could not be opened
    }
  } else if (hit(Slot::SplashSoundPick)) {
    std::wstring path;
    if (PickFile(t, FileDialogKind::AudioFiles, path)) {
      if (fx.LoadingSoundPlaying()) fx.StopLoadingSound();  // the old sound no longer belongs to the path
      s.splashSound = path;
      fx.SaveSettings();
    }
  } else if (hit(Slot::SplashSoundTest)) {
    if (fx.LoadingSoundPlaying()) {
      fx.StopLoadingSound();
    } else {
      const std::wstring error = fx.StartLoadingSound();
      if (!error.empty()) {
        toast.Show(error);
      } else if (s.splashSound.empty()) {
        toast.Show(L"Choose a sound file first");
      }
    }
  } else if (hit(Slot::SplashImageClear)) {
    s.splashImage.clear();
    fx.LoadSplashImage();
    fx.SaveSettings();
  } else if (hit(Slot::SplashSoundClear)) {
    if (fx.LoadingSoundPlaying()) fx.StopLoadingSound();
    s.splashSound.clear();
    fx.SaveSettings();
  } else if (hit(Slot::BackgroundPick)) {
    if (PickFile(t, FileDialogKind::PicturesAndVideos, s.bgPath)) {
      fx.LoadBackgroundMedia();
      fx.SaveSettings();
    }
  } else if (hit(Slot::BackgroundClear)) {
    s.bgPath.clear();
    fx.LoadBackgroundMedia();
    fx.SaveSettings();
  } else if ((i = group(Slot::DimPreset, 6)) >= 0) {
    editor.SetBgDim(kDimValues[i]);  // the background layer is composed again
  } else if ((i = group(Slot::VolumePreset, 5)) >= 0) {
    editor.SetBgVol(kVolumeValues[i]);
  } else if (hit(Slot::BgSoundPick)) {
    if (PickFile(t, FileDialogKind::AudioFiles, s.bgSound)) {
      const std::wstring error = fx.StartBackgroundSound();
      if (!error.empty()) toast.Show(error);
      fx.SaveSettings();
    }
  } else if (hit(Slot::BgSoundPlay)) {
    if (fx.BackgroundSoundPlaying()) {
      fx.StopBackgroundSound();
    } else if (s.bgSound.empty()) {
      toast.Show(L"Choose a sound file first");
    } else {
      // Play means play: the mute is lifted for it, and given back when the sound fails.
      const bool wasMuted = s.bgMute;
      s.bgMute = false;
      const std::wstring error = fx.StartBackgroundSound();
      if (!error.empty()) {
        s.bgMute = wasMuted;
        toast.Show(error);
      }
    }
  } else if (hit(Slot::BgSoundClear)) {
    if (fx.BackgroundSoundPlaying()) fx.StopBackgroundSound();
    s.bgSound.clear();
    fx.SaveSettings();
  } else if (hit(Slot::SplashPreview)) {
    st.settingsOpen = false;
    if (fx.LoadingSoundPlaying()) fx.StopLoadingSound();
    if (t.startSplash) t.startSplash();
  } else {
    return false;
  }
  return true;
}

}  // namespace

void SettingsPanelClick(MainWindow& w, int32_t x, int32_t y) {
  SettingsPanelTarget target{
      w.state(), w.app().settings(), w.app().themes(), w.editor(), w.host(), w.app().copyFeedback().toast(), [&w] {
        w.StartSplash();
      }};
  SettingsPanelClickOn(target, x, y);
}

void SettingsPanelClickOn(SettingsPanelTarget& t, int32_t x, int32_t y) {
  AppState& st = t.state;
  const HitRectTable& h = st.hits;
  SettingsEditor& editor = t.editor;
  auto hit = [&](int32_t slot) { return h[slot].Contains(x, y); };

  if (hit(Slot::SettingsClose) || hit(Slot::SettingsDone)) {
    st.settingsOpen = false;
    editor.focusedField = kNoField;
    return;
  }
  if (hit(Slot::SettingsReset)) {
    editor.ResetToDefaults();
    return;
  }
  for (int32_t i = 0; i < kSettingsTabCount; ++i) {
    if (hit(Slot::SettingsTab + i)) {
      st.selectedTab = i;
      editor.focusedField = kNoField;
      if (i == 4) editor.SyncCustomDelayText();
      return;
    }
  }
  // The lookup box (19) belongs to the other panel; only the settings' own fields take focus here.
  for (int32_t id = 0; id < static_cast<int32_t>(TextFieldId::kLookup); ++id) {
    if (hit(Slot::TextField + id)) {
      editor.focusedField = id;
      return;
    }
  }
  editor.focusedField = kNoField;
  if (TabControlClick(t, x, y)) return;
  if (!hit(Slot::SettingsCard)) st.settingsOpen = false;  // a click beside the card closes it
}

// ---- keys and typed characters

void SettingsPanelKey(MainWindow& w, uint32_t key, bool /*ctrl*/) {
  SettingsEditor& editor = w.editor();
  if (editor.focusedField < 0) return;
  const auto id = static_cast<TextFieldId>(editor.focusedField);
  if (key == Key::Delete) {
    editor.FieldClear(id);
  } else if (key == Key::Enter && w.windowMedia().LoadTypedPath(id)) {  // a typed media path, now
    w.UpdateMediaTimer();
    if (id == TextFieldId::kSplashImage && !w.app().settings().splashImage.empty() &&
        !w.windowMedia().medium().SplashImage()) {
      w.app().copyFeedback().ShowToast(L"That image could not be opened");
    }
  }
}

void SettingsPanelChar(MainWindow& w, wchar_t c) {
  SettingsEditor& editor = w.editor();
  if (editor.focusedField < 0) return;
  const auto id = static_cast<TextFieldId>(editor.focusedField);
  if (c == L'\b') {
    editor.FieldBackspace(id);
  } else if (static_cast<uint32_t>(c) >= 32) {
    editor.FieldInsert(id, std::wstring_view(&c, 1));
  }
  w.FullRepaint();
}

}  // namespace tolvane
