// The fonts, the text-width cache, the primitives and the widgets; see draw.h.
//
// Every shape primitive tests its box against the cull rectangle first, so a partial repaint costs
// nothing outside its area; text at a point is tested with a 2000 x 40 box because its extent is
// unknown without a measurement. Widgets write their HitRect before that test. A font that could
// not be made leaves its entry empty; text in it is skipped rather than crashing the paint.
#include "appearance/draw.h"

#include <algorithm>
#include <cmath>

#include "latency/grading.h"
#include "settings/settings.h"

namespace tolvane {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kNoColourFill = 0xFF14141Eu;
constexpr std::wstring_view kEllipsis = L"\u2026";

struct UiFontDef {
  float sizePx;
  bool bold;
  bool mono;
};

// In UiFonts order (FontHeader .. FontButton).
constexpr UiFontDef kUiFontDefs[kUiFontCount] = {
    {16.5f, true, false}, {24, true, false},     {21, true, false},    {20, true, true},  {12.5f, true, false},
    {12, false, false},   {10.5f, false, false}, {9.5f, false, false}, {11, false, true}, {10, true, false},
};

RectF FromEdges(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return RectF{static_cast<float>(left), static_cast<float>(top), static_cast<float>(right - left),
               static_cast<float>(bottom - top)};
}

RectF FromHit(const HitRect& hit) { return FromEdges(hit.left, hit.top, hit.right, hit.bottom); }

uint32_t Channel(uint32_t colour, int shift) { return (colour >> shift) & 0xFFu; }

// accent with n added to each of red, green and blue, capped at 255, opaque.
uint32_t Brighten(uint32_t colour, uint32_t n) {
  const uint32_t r = std::min<uint32_t>(Channel(colour, 16) + n, 255);
  const uint32_t g = std::min<uint32_t>(Channel(colour, 8) + n, 255);
  const uint32_t b = std::min<uint32_t>(Channel(colour, 0) + n, 255);
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

void FillPathCulled(DrawContext& dc, const RectF& r, float radius, const Brush& brush) {
  if (Culled(dc, r.x, r.y, r.w, r.h)) return;
  dc.canvas.FillPath(brush, RoundRectPath(r, radius));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Fonts and text widths

const std::vector<std::wstring>& SansFamilies() {
  static const std::vector<std::wstring> families = {L"Segoe UI", L"DejaVu Sans", L"Liberation Sans", L"Arial"};
  return families;
}

const std::vector<std::wstring>& MonoFamilies() {
  static const std::vector<std::wstring> families = {L"Consolas", L"DejaVu Sans Mono", L"Liberation Mono",
                                                     L"Courier New"};
  return families;
}

bool UiFonts::CreateUiFonts(GraphicsFactory& factory) {
  if (fonts_[0]) return true;
  bool all = true;
  for (size_t i = 0; i < fonts_.size(); ++i) {
    const UiFontDef& def = kUiFontDefs[i];
    fonts_[i] = factory.CreateFont(def.mono ? MonoFamilies() : SansFamilies(), def.sizePx, def.bold, def.mono);
    if (!fonts_[i]) all = false;
  }
  return all;
}

void UiFonts::DestroyUiFonts() {
  for (auto& f : fonts_) f.reset();
}

int32_t TextWidthCache::Measure(Canvas& canvas, std::wstring_view text, const CanvasFont& font) {
  // A long text is measured every time: it is rarely asked again, and keeping it would let one
  // hostile text hold megabytes in keys until the next wipe.
  const bool keep = text.size() <= kMaxKeyChars;
  if (keep) {
    key_ = std::to_wstring(font.Identity());
    key_ += L'|';
    key_.append(text);
    if (auto it = widths_.find(key_); it != widths_.end()) return it->second;
  }
  const float measured = canvas.MeasureTextWidth(text, font);
  // A failed measurement may come back as NaN or absurdly large; neither may reach the cast, and
  // a huge width stays huge (as 0 it would fit every box).
  const int32_t width = measured >= 0 ? static_cast<int32_t>(std::min(measured, kMaxWidth)) : 0;
  if (!keep) return width;
  if (widths_.size() > kMaxEntries) widths_.clear();
  widths_.emplace(key_, width);
  return width;
}

int32_t MeasureText(DrawContext& dc, std::wstring_view text, FontName font) {
  const CanvasFont* f = dc.fonts.Get(font);
  if (!f || text.empty()) return 0;
  return dc.widths.Measure(dc.canvas, text, *f);
}

namespace {

// How wrapping measures: every text it measures is at most about 2 * kMaxLineChars long, whatever
// the length of the input, so a line costs the same for a 4 MiB word as for a short one.
struct LineFitter {
  DrawContext& dc;
  FontName font;
  float width;
  std::wstring probe;  // reused for prefix + suffix

  bool Fits(std::wstring_view text, std::wstring_view suffix = {}) {
    probe.assign(text);
    probe.append(suffix);
    return static_cast<float>(MeasureText(dc, probe, font)) <= width;
  }

  // The longest prefix of text (at most kMaxLineChars) that fits with suffix after it: doubling
  // until a prefix overflows, then bisection between the last two lengths. A surrogate pair is
  // never split.
  size_t FitPrefix(std::wstring_view text, std::wstring_view suffix = {}) {
    const size_t limit = std::min(text.size(), kMaxLineChars);
    size_t good = 0, bad = limit + 1;  // the longest length known to fit, the shortest known not to
    for (size_t n = 1; n <= limit; n = n == limit ? limit + 1 : std::min(2 * n, limit)) {
      if (!Fits(text.substr(0, n), suffix)) {
        bad = n;
        break;
      }
      good = n;
    }
    while (bad - good > 1) {
      const size_t mid = good + (bad - good) / 2;
      (Fits(text.substr(0, mid), suffix) ? good : bad) = mid;
    }
    if (good > 0 && good < text.size() && IsHighSurrogate(text[good - 1]) && IsLowSurrogate(text[good])) --good;
    return good;
  }
};

}  // namespace

std::vector<std::wstring> WrapText(DrawContext& dc, std::wstring_view text, FontName font, float width,
                                   size_t maxLines) {
  std::vector<std::wstring> lines;
  LineFitter fit{dc, font, width, {}};
  size_t at = 0;
  auto skipBlanks = [&] {
    while (at < text.size() && text[at] == L' ') ++at;
  };
  skipBlanks();
  while (at < text.size() && lines.size() < maxLines) {
    std::wstring line;
    while (at < text.size()) {
      // A word longer than a line is cut short here: no search runs through the rest of the text.
      const std::wstring_view ahead = text.substr(at, kMaxLineChars + 1);
      const std::wstring_view word = ahead.substr(0, ahead.find(L' '));
      if (line.empty()) {
        size_t n = fit.FitPrefix(word);
        if (n < word.size()) {
          // A word wider than a whole line is broken where it stops fitting (at least one
          // character, so a box narrower than one character still ends).
          if (n == 0) n = word.size() > 1 && IsHighSurrogate(word[0]) && IsLowSurrogate(word[1]) ? 2 : 1;
          line.assign(word.substr(0, n));
          at += n;
          break;
        }
        line.assign(word);
      } else {
        if (line.size() + 1 + word.size() > kMaxLineChars) break;
        if (!fit.Fits(line + L' ', word)) break;
        line += L' ';
        line.append(word);
      }
      at += word.size();
      skipBlanks();
    }
    lines.push_back(std::move(line));
  }
  if (at < text.size() && !lines.empty()) {
    // The box is full: the last line gives up as many characters as "…" needs.
    std::wstring& last = lines.back();
    last.resize(fit.FitPrefix(last, kEllipsis));
    while (!last.empty() && last.back() == L' ') last.pop_back();
    last += kEllipsis;
  }
  return lines;
}

std::wstring FitText(DrawContext& dc, std::wstring_view text, FontName font, float width) {
  LineFitter fit{dc, font, width, {}};
  if (text.size() <= kMaxLineChars && fit.Fits(text)) return std::wstring(text);
  std::wstring fitted(text.substr(0, fit.FitPrefix(text, kEllipsis)));
  return fitted.append(kEllipsis);
}

void ParagraphInRect(DrawContext& dc, std::wstring_view text, FontName font, const RectF& r, uint32_t argb,
                     float lineHeight) {
  if (text.empty() || !(lineHeight > 0) || Culled(dc, r.x, r.y, r.w, r.h)) return;
  const float rows = r.h / lineHeight;  // not a number for a box without height: one line
  const size_t fit = rows >= 1 ? static_cast<size_t>(std::min(rows, 1000.0f)) : 1;
  const std::vector<std::wstring> lines = WrapText(dc, text, font, r.w, fit);
  for (size_t i = 0; i < lines.size(); ++i) {
    const RectF box{r.x, r.y + lineHeight * static_cast<float>(i), r.w, lineHeight};
    TextInRect(dc, lines[i], font, box, argb, TextAlign::Near, TextAlign::Center);
  }
}

// ---------------------------------------------------------------------------------------------
// Culling and shapes

bool Culled(const DrawContext& dc, float x, float y, float w, float h) {
  if (!dc.cullOn) return false;
  const RectF& c = dc.cull;
  return x > c.x + c.w + 3 || y > c.y + c.h + 3 || x + w < c.x - 3 || y + h < c.y - 3;
}

Path RoundRectPath(const RectF& r, float radius) {
  Path p;
  const float d = std::min({2 * radius, r.w, r.h});
  if (!(d > 0)) {
    p.AddRectangle(r);
    return p;
  }
  p.AddArc(RectF{r.x, r.y, d, d}, 180, 90);
  p.AddArc(RectF{r.Right() - d, r.y, d, d}, 270, 90);
  p.AddArc(RectF{r.Right() - d, r.Bottom() - d, d, d}, 0, 90);
  p.AddArc(RectF{r.x, r.Bottom() - d, d, d}, 90, 90);
  p.CloseFigure();
  return p;
}

void FillRect(DrawContext& dc, const Brush& brush, const RectF& r) {
  if (Culled(dc, r.x, r.y, r.w, r.h)) return;
  dc.canvas.FillRectangle(brush, r);
}

void FillEllipse(DrawContext& dc, const Brush& brush, const RectF& r) {
  if (Culled(dc, r.x, r.y, r.w, r.h)) return;
  dc.canvas.FillEllipse(brush, r);
}

void StrokeEllipse(DrawContext& dc, const Pen& pen, const RectF& r) {
  if (Culled(dc, r.x, r.y, r.w, r.h)) return;
  dc.canvas.StrokeEllipse(pen, r);
}

void FillRoundRect(DrawContext& dc, const RectF& r, float radius, uint32_t argb) {
  FillPathCulled(dc, r, radius, Brush::Solid(argb));
}

void StrokeRoundRect(DrawContext& dc, const RectF& r, float radius, uint32_t argb, float penWidth) {
  if (Culled(dc, r.x, r.y, r.w, r.h)) return;
  dc.canvas.StrokePath(Pen{argb, penWidth, false}, RoundRectPath(r, radius));
}

void TextAt(DrawContext& dc, std::wstring_view text, FontName font, float x, float y, uint32_t argb) {
  const CanvasFont* f = dc.fonts.Get(font);
  if (!f || text.empty() || Culled(dc, x, y, 2000, 40)) return;
  if (dc.cullOn && text.find_first_of(L"\r\n") == std::wstring_view::npos) {
    // Its own box, not the line's: a partial repaint of one card or cell skips the texts beside
    // it. The width is the cached one; the height and the margin hold the font's line with room.
    const float size = kUiFontDefs[static_cast<size_t>(font)].sizePx;
    if (Culled(dc, x, y, static_cast<float>(MeasureText(dc, text, font)) + size / 2, 1.5f * size)) return;
  }
  dc.canvas.DrawTextAt(text, *f, PointF{x, y}, argb);
}

void TextInRect(DrawContext& dc, std::wstring_view text, FontName font, const RectF& r, uint32_t argb,
                TextAlign horizontal, TextAlign vertical) {
  const CanvasFont* f = dc.fonts.Get(font);
  if (!f || text.empty() || Culled(dc, r.x, r.y, r.w, r.h)) return;
  dc.canvas.DrawTextInRect(text, *f, r, argb, horizontal, vertical);
}

void GradientRect(DrawContext& dc, const std::vector<uint32_t>& colours, int32_t direction, const RectF& r) {
  if (!(r.w > 0) || !(r.h > 0) || Culled(dc, r.x, r.y, r.w, r.h)) return;
  if (colours.size() < 2) {
    dc.canvas.FillRectangle(Brush::Solid(colours.empty() ? kNoColourFill : colours.front()), r);
    return;
  }
  PointF end{r.Right(), r.Bottom()};
  if (direction == 0) end.y = r.y;
  if (direction == 2) end.x = r.x;
  std::vector<float> positions(colours.size());
  const float last = static_cast<float>(colours.size() - 1);
  for (size_t i = 0; i < positions.size(); ++i) positions[i] = static_cast<float>(i) / last;
  dc.canvas.FillRectangle(Brush::Linear(PointF{r.x, r.y}, end, colours, std::move(positions)), r);
}

// ---------------------------------------------------------------------------------------------
// Marks, bars and pills

void LogoMark(DrawContext& dc, float x, float y, float s) {
  if (Culled(dc, x, y, s, s)) return;
  const float r = std::max(8 * s / 30, 3.0f);
  const Brush back = Brush::Linear(PointF{x, y}, PointF{x + s, y + s}, {dc.palette.accent, dc.palette.accent2}, {0, 1});
  dc.canvas.FillPath(back, RoundRectPath(RectF{x, y + 0.2f * s, 0.8f * s, 0.8f * s}, r));
  dc.canvas.FillPath(Brush::Solid(0x96FFFFFFu), RoundRectPath(RectF{x + 0.28f * s, y, 0.72f * s, 0.72f * s}, r));
}

void DrawSignalBars(DrawContext& dc, float x, float y, int32_t latencyMs, uint32_t argb) {
  const int32_t lit = SignalBars(latencyMs, dc.enablePing);
  const uint32_t unlit = WithAlpha(dc.palette.textDim, 0x46);
  for (int32_t i = 0; i < 4; ++i) {
    const float h = static_cast<float>(4 + 3 * i);
    FillRect(dc, Brush::Solid(i < lit ? argb : unlit), RectF{x + 5.0f * static_cast<float>(i), y + 14 - h, 3, h});
  }
}

void Pill(DrawContext& dc, float& x, float y, std::wstring_view text, uint32_t argb) {
  const float t = static_cast<float>(MeasureText(dc, text, FontButton));
  const RectF body{x, y, t + 24, 24};
  FillRoundRect(dc, body, 12, WithAlpha(argb, 0x24));
  StrokeRoundRect(dc, body, 12, WithAlpha(argb, 0x96), 1);
  FillEllipse(dc, Brush::Solid(argb), RectF{x + 9, y + 9, 6, 6});
  TextInRect(dc, text, FontButton, RectF{x + 20, y, t + 4, 24}, argb, TextAlign::Near, TextAlign::Center);
  x += t + 32;
}

// ---------------------------------------------------------------------------------------------
// Widgets

void TextField(DrawContext& dc, int32_t id, float x, float y, float width, std::wstring_view text,
               std::wstring_view placeholder, bool mono) {
  if (dc.textFields && id >= 0 && id < kTextFieldCount) {
    const auto left = static_cast<int32_t>(x), top = static_cast<int32_t>(y);
    dc.textFields[id].Set(left, top, static_cast<int32_t>(x + width), top + 32);
  }
  const RectF box{x, y, width, 32};
  if (Culled(dc, box.x, box.y, box.w, box.h)) return;
  const ThemePalette& p = dc.palette;
  const bool focused = id >= 0 && dc.focusedField == id;
  FillRoundRect(dc, box, 9, WithAlpha(p.text, 0x18));
  StrokeRoundRect(dc, box, 9, focused ? p.accent : p.border, focused ? 1.3f : 1.0f);

  std::wstring shown(text);
  uint32_t colour = p.text;
  if (focused) {
    if ((dc.nowMs / 500) % 2 == 0) shown += L'|';
  } else if (text.empty()) {
    shown = placeholder;
    colour = p.textMuted;
  }
  TextInRect(dc, shown, mono ? FontMono : FontSmall, RectF{x + 12, y, width - 24, 32}, colour, TextAlign::Near,
             TextAlign::Center);
}

void Button(DrawContext& dc, HitRect& hit, int32_t left, int32_t top, int32_t right, int32_t bottom,
            std::wstring_view label, bool primary) {
  hit.Set(left, top, right, bottom);
  const bool hovered = dc.Hovered(hit);
  const RectF box = FromEdges(left, top, right, bottom);
  if (Culled(dc, box.x, box.y, box.w, box.h)) return;
  const ThemePalette& p = dc.palette;
  uint32_t fill;
  if (primary) {
    fill = hovered ? Brighten(p.accent, 28) : p.accent;
  } else {
    fill = WithAlpha(p.text, hovered ? 0x3E : 0x22);
  }
  FillRoundRect(dc, box, 7, fill);
  TextInRect(dc, label, FontButton, box, primary ? kWhite : p.text, TextAlign::Center, TextAlign::Center);
}

void Chip(DrawContext& dc, HitRect& hit, int32_t left, int32_t top, int32_t right, int32_t bottom,
          std::wstring_view label, bool selected) {
  hit.Set(left, top, right, bottom);
  const bool hovered = dc.Hovered(hit);
  const RectF box = FromEdges(left, top, right, bottom);
  if (Culled(dc, box.x, box.y, box.w, box.h)) return;
  const ThemePalette& p = dc.palette;
  const uint32_t fill = selected ? WithAlpha(p.accent, 0x50) : WithAlpha(p.text, hovered ? 0x1E : 0x12);
  FillRoundRect(dc, box, 8, fill);
  StrokeRoundRect(dc, box, 8, selected ? p.accent : p.border, 1);
  TextInRect(dc, label, FontButton, box, selected ? p.text : p.textDim, TextAlign::Center, TextAlign::Center);
}

void SmallToggle(DrawContext& dc, const HitRect& hit, std::wstring_view label, bool selected) {
  const bool hovered = dc.Hovered(hit);  // false when hit is not present
  const RectF box = FromHit(hit);
  if (Culled(dc, box.x, box.y, box.w, box.h)) return;
  const ThemePalette& p = dc.palette;
  const uint32_t fill = selected ? p.accent : WithAlpha(p.text, hovered ? 0x36 : 0x1E);
  FillRoundRect(dc, box, 8, fill);
  TextInRect(dc, label, FontButton, box, selected ? kWhite : p.text, TextAlign::Center, TextAlign::Center);
}

void AccentButton(DrawContext& dc, const HitRect& hit, std::wstring_view label, bool gradient, bool active) {
  const bool hovered = dc.Hovered(hit);
  const RectF box = FromHit(hit);
  if (Culled(dc, box.x, box.y, box.w, box.h)) return;
  const ThemePalette& p = dc.palette;
  if (gradient) {
    uint32_t from = p.accent, to = p.accent2;
    if (hovered) {
      from = BlendColor(from, kWhite, 0.14);
      to = BlendColor(to, kWhite, 0.14);
    }
    const Brush brush = Brush::Linear(PointF{box.x, box.y}, PointF{box.Right(), box.Bottom()}, {from, to}, {0, 1});
    FillPathCulled(dc, box, 10, brush);
    TextInRect(dc, label, FontButton, box, kWhite, TextAlign::Center, TextAlign::Center);
    return;
  }
  const uint32_t fillAlpha = active ? 0x60 : (hovered ? 0x4A : 0x28);
  FillRoundRect(dc, box, 10, WithAlpha(p.accent, fillAlpha));
  StrokeRoundRect(dc, box, 10, WithAlpha(p.accent, hovered ? 0xE6 : 0x96), 1);
  TextInRect(dc, label, FontButton, box, p.text, TextAlign::Center, TextAlign::Center);
}

}  // namespace tolvane
