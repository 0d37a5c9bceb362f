// The drawing primitives and widgets every painter is built from: culled shapes, rounded
// rectangles, gradients, text with the width cache, the logo mark, signal bars, pills, and the five
// widgets that record where they were drawn (HitRect) so the window can route clicks and hover.
//
// A paint hands its per-paint inputs to the primitives through one DrawContext: the canvas, the
// active palette, the fonts, the mouse position, the focused text field, the cull rectangle and the
// time. Widgets record their rectangle before they draw, even when culling then skips the drawing,
// so a partial repaint never loses a click target. Main thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "appearance/theme.h"
#include "platform/canvas.h"
#include "settings/settings_editing.h"

namespace tolvane {

// A clickable rectangle in logical pixels; all four bounds inclusive. Not present never matches.
struct HitRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool present = false;

  void Set(int32_t l, int32_t t, int32_t r, int32_t b) {
    left = l;
    top = t;
    right = r;
    bottom = b;
    present = true;
  }
  bool Contains(int32_t x, int32_t y) const { return present && x >= left && x <= right && y >= top && y <= bottom; }
};

// The ten fonts, by their UiFonts index.
enum FontName : int32_t {
  FontHeader = 0,
  FontHuge = 1,
  FontLarge = 2,
  FontMonoLarge = 3,
  FontSection = 4,
  FontBody = 5,
  FontSmall = 6,
  FontTiny = 7,
  FontMono = 8,
  FontButton = 9,
};
inline constexpr int32_t kUiFontCount = 10;

// The families UiFonts asks for, best first: "Segoe UI" or "Consolas", then families that Linux
// and Wine installations commonly carry, so text never silently disappears.
const std::vector<std::wstring>& SansFamilies();
const std::vector<std::wstring>& MonoFamilies();

class UiFonts {
 public:
  // Creates the ten fonts unless the first already exists (a second call does nothing). "Segoe UI"
  // and "Consolas" fall back to an installed sans-serif or monospace family. False when a font
  // could not be made at all.
  bool CreateUiFonts(GraphicsFactory& factory);
  // Deletes every font and empties the ten entries.
  void DestroyUiFonts();
  bool created() const { return fonts_[0] != nullptr; }
  // The font of an entry; only valid between CreateUiFonts and DestroyUiFonts.
  const CanvasFont& operator[](FontName name) const { return *fonts_[static_cast<size_t>(name)]; }
  const CanvasFont* Get(FontName name) const { return fonts_[static_cast<size_t>(name)].get(); }

 private:
  std::array<std::unique_ptr<CanvasFont>, kUiFontCount> fonts_;
};

// MeasureText's cache: key = font identity in decimal, "|", the text; emptied above 4000 entries
// before the new entry is stored. Texts longer than kMaxKeyChars are measured but not kept. Widths
// are held to kMaxWidth. Lives from window creation to shutdown.
class TextWidthCache {
 public:
  static constexpr size_t kMaxEntries = 4000;
  static constexpr size_t kMaxKeyChars = 256;
  static constexpr float kMaxWidth = 1e7f;
  int32_t Measure(Canvas& canvas, std::wstring_view text, const CanvasFont& font);
  size_t size() const { return widths_.size(); }
  void Clear() { widths_.clear(); }

 private:
  std::unordered_map<std::wstring, int32_t> widths_;
  std::wstring key_;  // reused to build keys without an allocation per call
};

// The per-paint inputs of every primitive.
struct DrawContext {
  // The four that every paint has; the rest are set per paint (a brace list of only these four
  // would trip -Wmissing-field-initializers on an aggregate).
  DrawContext(Canvas& canvas_, const ThemePalette& palette_, const UiFonts& fonts_, TextWidthCache& widths_)
      : canvas(canvas_), palette(palette_), fonts(fonts_), widths(widths_) {}

  Canvas& canvas;
  const ThemePalette& palette;
  const UiFonts& fonts;
  TextWidthCache& widths;
  // Culling: only during a partial repaint, with the repaint rectangle in logical pixels.
  bool cullOn = false;
  RectF cull;
  // Last logical mouse position (-1, -1 outside the window).
  int32_t mouseX = -1;
  int32_t mouseY = -1;
  // Milliseconds since system start (caret blink).
  uint64_t nowMs = 0;
  bool enablePing = true;
  // The focused TextFieldId, -1 for none, and the kTextFieldCount records (the TextField slots of
  // the window's hit table) that TextField writes its rectangle into, indexed by id.
  int32_t focusedField = -1;
  HitRect* textFields = nullptr;

  bool Hovered(const HitRect& r) const { return r.Contains(mouseX, mouseY); }
};

// True when culling is on and the box (x, y, w, h) lies more than 3 units outside the cull rect.
bool Culled(const DrawContext& dc, float x, float y, float w, float h);

// rgb of colour with the alpha byte a.
constexpr uint32_t WithAlpha(uint32_t colour, uint32_t a) { return (colour & 0x00FFFFFFu) | (a << 24); }

Path RoundRectPath(const RectF& r, float radius);
void FillRect(DrawContext& dc, const Brush& brush, const RectF& r);
void FillEllipse(DrawContext& dc, const Brush& brush, const RectF& r);
void StrokeEllipse(DrawContext& dc, const Pen& pen, const RectF& r);
void FillRoundRect(DrawContext& dc, const RectF& r, float radius, uint32_t argb);
void StrokeRoundRect(DrawContext& dc, const RectF& r, float radius, uint32_t argb, float penWidth);
void TextAt(DrawContext& dc, std::wstring_view text, FontName font, float x, float y, uint32_t argb);
void TextInRect(DrawContext& dc, std::wstring_view text, FontName font, const RectF& r, uint32_t argb,
                TextAlign horizontal, TextAlign vertical);
int32_t MeasureText(DrawContext& dc, std::wstring_view text, FontName font);
// text when it is at most width wide in font; else its longest beginning that fits with "…" after
// it (a surrogate pair is kept or cut whole). Painters cut a line this way when its beginning
// matters more than its end.
std::wstring FitText(DrawContext& dc, std::wstring_view text, FontName font, float width);
// No wrapped line holds more characters than this, however narrow its font's characters claim to be.
inline constexpr size_t kMaxLineChars = 512;
// A paragraph for a box: the words of text (split at spaces) in lines no wider than width in font;
// a word wider than a line is broken where it stops fitting. At most maxLines lines: when text is
// left over, wrapping stops and the last line ends in "…" (still within width). The cost grows
// with the text taken, not with the text left over. TextInRect itself draws one line only.
std::vector<std::wstring> WrapText(DrawContext& dc, std::wstring_view text, FontName font, float width,
                                   size_t maxLines = SIZE_MAX);
// The lines of WrapText from the top of r, lineHeight apart, left-aligned, as many as fit (at least
// one), the last of them ending in "…" when the text goes on.
void ParagraphInRect(DrawContext& dc, std::wstring_view text, FontName font, const RectF& r, uint32_t argb,
                     float lineHeight);
// No colour: solid FF14141E; one: solid; more: a linear gradient, positions i / (n - 1).
// Direction 0 horizontal, 1 diagonal, 2 vertical.
void GradientRect(DrawContext& dc, const std::vector<uint32_t>& colours, int32_t direction, const RectF& r);
void LogoMark(DrawContext& dc, float x, float y, float size);
void DrawSignalBars(DrawContext& dc, float x, float y, int32_t latencyMs, uint32_t argb);
// Draws a pill at (x, y) and advances x by the text width + 32.
void Pill(DrawContext& dc, float& x, float y, std::wstring_view text, uint32_t argb);
// The field's text is passed in (its owner keeps it).
void TextField(DrawContext& dc, int32_t id, float x, float y, float width, std::wstring_view text,
               std::wstring_view placeholder, bool mono);
void Button(DrawContext& dc, HitRect& hit, int32_t left, int32_t top, int32_t right, int32_t bottom,
            std::wstring_view label, bool primary);
void Chip(DrawContext& dc, HitRect& hit, int32_t left, int32_t top, int32_t right, int32_t bottom,
          std::wstring_view label, bool selected);
// These two draw in the rectangle already recorded in hit.
void SmallToggle(DrawContext& dc, const HitRect& hit, std::wstring_view label, bool selected);
void AccentButton(DrawContext& dc, const HitRect& hit, std::wstring_view label, bool gradient, bool active);

}  // namespace tolvane
