// A canvas that draws nothing and remembers everything: every call is kept, in order, with its
// rectangle (or path), brush, pen, text, font and alignments, so painter tests can assert what a
// user would see (positions, colours, texts, what is present and what is not).
//
// Text metrics are deterministic: every character is half the font's pixel size wide
// (RecordingCanvas::CharWidth), so layout that depends on MeasureText is exact in tests. Fonts come
// from a RecordingGraphics factory, which pretends a configurable set of families is installed and
// falls back like the real factory does (first installed family of the list, else a generic one).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/canvas.h"

namespace tolvane {

class RecordingFont final : public CanvasFont {
 public:
  RecordingFont(uint64_t identity, std::wstring family, float sizePx, bool bold, bool monospace)
      : identity_(identity), family_(std::move(family)), sizePx_(sizePx), bold_(bold), monospace_(monospace) {}
  uint64_t Identity() const override { return identity_; }
  std::wstring Family() const override { return family_; }
  float SizePx() const { return sizePx_; }
  bool Bold() const { return bold_; }
  bool Monospace() const { return monospace_; }

 private:
  uint64_t identity_;
  std::wstring family_;
  float sizePx_;
  bool bold_;
  bool monospace_;
};

class RecordingImage final : public CanvasImage {
 public:
  RecordingImage(int32_t width, int32_t height, std::vector<uint32_t> pixels)
      : width_(width), height_(height), pixels_(std::move(pixels)) {}
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  const std::vector<uint32_t>& Pixels() const { return pixels_; }

 private:
  int32_t width_;
  int32_t height_;
  std::vector<uint32_t> pixels_;
};

enum class CallKind {
  FillRect,
  FillEllipse,
  StrokeEllipse,
  FillPath,
  StrokePath,
  Line,
  TextAt,
  TextInRect,
  Image,
  ImageRect,
  PushClip,
  PushClipPath,
  PopClip,
  WorldScale,
};

struct CanvasCall {
  CallKind kind = CallKind::FillRect;
  // The shape's rectangle, the ellipse's box, the text box (TextInRect), the image destination,
  // the clip rectangle; for paths the bounds of the path's lines and arc boxes; for a line the box
  // spanned by its ends; for TextAt the point with zero size.
  RectF rect;
  Brush brush;  // fills
  Pen pen;      // strokes and lines
  Path path;    // FillPath, StrokePath, PushClipPath
  PointF a, b;  // line ends; a is the TextAt point
  std::wstring text;
  uint32_t argb = 0;  // text colour; the solid colour of a fill; the pen colour of a stroke
  uint64_t fontId = 0;
  std::wstring fontFamily;
  float fontSize = 0;
  bool fontBold = false;
  TextAlign horizontal = TextAlign::Near;
  TextAlign vertical = TextAlign::Near;
  const CanvasImage* image = nullptr;
  RectF source;  // ImageRect
  float scale = 0;

  bool IsFill() const {
    return kind == CallKind::FillRect || kind == CallKind::FillEllipse || kind == CallKind::FillPath;
  }
  bool IsStroke() const {
    return kind == CallKind::StrokeEllipse || kind == CallKind::StrokePath || kind == CallKind::Line;
  }
  bool IsText() const { return kind == CallKind::TextAt || kind == CallKind::TextInRect; }
};

// The bounds of a path's line ends and arc boxes (exact for rectangles and rounded rectangles).
RectF PathBounds(const Path& path);

class RecordingCanvas final : public Canvas {
 public:
  // Every character of a text in this font is this wide.
  static float CharWidth(const CanvasFont& font);

  void FillRectangle(const Brush& brush, const RectF& r) override;
  void FillEllipse(const Brush& brush, const RectF& r) override;
  void StrokeEllipse(const Pen& pen, const RectF& r) override;
  void FillPath(const Brush& brush, const Path& path) override;
  void StrokePath(const Pen& pen, const Path& path) override;
  void DrawLine(const Pen& pen, PointF a, PointF b) override;
  void DrawTextAt(std::wstring_view text, const CanvasFont& font, PointF at, uint32_t argb) override;
  void DrawTextInRect(std::wstring_view text, const CanvasFont& font, const RectF& box, uint32_t argb,
                      TextAlign horizontal, TextAlign vertical) override;
  float MeasureTextWidth(std::wstring_view text, const CanvasFont& font) override;
  void DrawImage(const CanvasImage& image, const RectF& dest) override;
  void DrawImageRect(const CanvasImage& image, const RectF& dest, const RectF& source) override;
  void PushClip(const RectF& r) override;
  void PushClipPath(const Path& path) override;
  void PopClip() override;
  void SetWorldScale(float scale) override;
  int32_t LastStatus() const override { return status; }

  // --- for tests ---
  const std::vector<CanvasCall>& calls() const { return calls_; }
  void Clear() { calls_.clear(); }
  // The first text call (TextAt or TextInRect) whose text is exactly text; null when none.
  const CanvasCall* FindText(std::wstring_view text) const;
  // The first text call whose text contains part; null when none.
  const CanvasCall* FindTextContaining(std::wstring_view part) const;
  // Every text drawn, in order.
  std::vector<std::wstring> Texts() const;
  // Fills (rectangle, ellipse, path) whose solid colour, or any gradient colour, is argb.
  std::vector<const CanvasCall*> FillsWithColour(uint32_t argb) const;
  // Strokes (ellipse, path, line) whose pen colour is argb.
  std::vector<const CanvasCall*> StrokesWithColour(uint32_t argb) const;
  std::vector<const CanvasCall*> OfKind(CallKind kind) const;
  size_t Count(CallKind kind) const;
  // Shapes and texts, not clip or scale calls.
  size_t DrawCount() const;
  // Pushes minus pops (never below zero, as pops without a push do nothing).
  int32_t ClipDepth() const { return clipDepth_; }
  float WorldScale() const { return scale_; }
  int32_t MeasureCalls() const { return measureCalls_; }

  // A test sets this to make LastStatus report a failure.
  int32_t status = 0;

 private:
  CanvasCall& Add(CallKind kind);
  static void SetFont(CanvasCall& call, const CanvasFont& font);

  std::vector<CanvasCall> calls_;
  int32_t clipDepth_ = 0;
  float scale_ = 1;
  int32_t measureCalls_ = 0;
};

class RecordingSurface final : public Surface {
 public:
  RecordingSurface(int32_t width, int32_t height) : width_(width), height_(height) {}
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  Canvas& NewCanvas() override;
  void CopyTo(Surface& target, int32_t x, int32_t y, int32_t w, int32_t h) override;
  void CopyToDevice(uintptr_t deviceContext, int32_t x, int32_t y, int32_t w, int32_t h) override;
  std::vector<uint32_t> ReadPixels() override;

  // --- for tests ---
  struct Copy {
    const Surface* target = nullptr;  // null for a copy to a device
    uintptr_t device = 0;
    int32_t x = 0, y = 0, w = 0, h = 0;
  };
  // The canvas of the last NewCanvas call (made on demand).
  RecordingCanvas& canvas();
  const std::vector<std::unique_ptr<RecordingCanvas>>& canvases() const { return canvases_; }
  const std::vector<Copy>& copies() const { return copies_; }
  // What ReadPixels returns; all zero (transparent) at first.
  std::vector<uint32_t> pixels;

 private:
  int32_t width_;
  int32_t height_;
  std::vector<std::unique_ptr<RecordingCanvas>> canvases_;
  std::vector<Copy> copies_;
};

class RecordingGraphics final : public GraphicsFactory {
 public:
  std::unique_ptr<Surface> CreateSurface(int32_t width, int32_t height) override;
  std::unique_ptr<CanvasFont> CreateFont(const std::vector<std::wstring>& families, float sizePx, bool bold,
                                         bool monospace) override;
  std::unique_ptr<CanvasImage> CreateImage(int32_t width, int32_t height,
                                           const std::vector<uint32_t>& premultipliedArgb) override;

  // --- for tests ---
  // The families that "exist". A font takes the first of its list found here, else the generic
  // family kGenericSans or kGenericMono. Empty set: every family exists.
  std::set<std::wstring> installed;
  static constexpr const wchar_t* kGenericSans = L"Generic Sans Serif";
  static constexpr const wchar_t* kGenericMono = L"Generic Monospace";
  // When set, CreateFont and CreateSurface fail (return null).
  bool failFonts = false;
  bool failSurfaces = false;
  struct FontRequest {
    std::vector<std::wstring> families;
    float sizePx = 0;
    bool bold = false;
    bool monospace = false;
  };
  std::vector<FontRequest> fontRequests;
  int32_t surfacesMade = 0;

 private:
  uint64_t nextIdentity_ = 4'000'000'001ull;  // beyond 32 bits, so a key that truncates shows
};

}  // namespace tolvane
