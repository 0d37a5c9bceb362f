// The drawing surface every painter draws on: shapes, paths, solid and linear-gradient brushes,
// pens, one-line text, images, a clip stack and a world scale. Coordinates are floats in the
// canvas's user space; the world scale turns them into device pixels (the window draws in logical
// pixels with a scale of uiScale).
//
// The GDI+ implementation (platform/win32/canvas_gdiplus.cpp) is the only drawing code that sees an
// HDC or a Gdiplus::Graphics; tests draw on the recording canvas of tests/fakes/. A failing call
// records its status (LastStatus) and drawing goes on: a paint is never abandoned half-way.
//
// Fonts, images and surfaces are made by a GraphicsFactory and are only valid with canvases of
// the same factory. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

struct PointF {
  float x = 0;
  float y = 0;
};

struct RectF {
  float x = 0;
  float y = 0;
  float w = 0;
  float h = 0;
  float Right() const { return x + w; }
  float Bottom() const { return y + h; }
};

// A solid colour, or a linear gradient from p0 to p1 whose colours sit at the given positions
// (0 at p0, 1 at p1, ascending). A gradient with fewer than two colours paints its first colour.
struct Brush {
  bool gradient = false;
  uint32_t argb = 0;  // the solid colour
  PointF p0, p1;
  std::vector<uint32_t> colours;
  std::vector<float> positions;

  static Brush Solid(uint32_t argb) {
    Brush b;
    b.argb = argb;
    return b;
  }
  static Brush Linear(PointF from, PointF to, std::vector<uint32_t> colours, std::vector<float> positions) {
    Brush b;
    b.gradient = true;
    b.p0 = from;
    b.p1 = to;
    b.argb = colours.empty() ? 0 : colours.front();
    b.colours = std::move(colours);
    b.positions = std::move(positions);
    return b;
  }
};

struct Pen {
  uint32_t argb = 0;
  float width = 1;
  bool roundJoins = false;  // line joins and caps rounded (polylines)
  // A gradient brush here paints the stroke instead of argb (a line whose colour runs along it).
  Brush brush{};
};

// A path of figures built from lines and elliptic arcs (GDI+ semantics: an arc is the part of the
// ellipse inscribed in box from startDeg sweeping sweepDeg clockwise; consecutive segments of a
// figure are joined by a straight line).
class Path {
 public:
  enum class Op { Line, Arc, Close };
  struct Segment {
    Op op = Op::Line;
    RectF box;    // Arc: the ellipse's box
    PointF a, b;  // Line: from a to b
    float startDeg = 0;
    float sweepDeg = 0;
  };

  void AddLine(PointF a, PointF b) { segments_.push_back(Segment{Op::Line, {}, a, b, 0, 0}); }
  void AddArc(RectF box, float startDeg, float sweepDeg) {
    segments_.push_back(Segment{Op::Arc, box, {}, {}, startDeg, sweepDeg});
  }
  void AddRectangle(RectF r) {
    AddLine({r.x, r.y}, {r.Right(), r.y});
    AddLine({r.Right(), r.y}, {r.Right(), r.Bottom()});
    AddLine({r.Right(), r.Bottom()}, {r.x, r.Bottom()});
    CloseFigure();
  }
  // A polyline through the points (an open figure).
  void AddLines(const std::vector<PointF>& points) {
    for (size_t i = 1; i < points.size(); ++i) AddLine(points[i - 1], points[i]);
  }
  void CloseFigure() { segments_.push_back(Segment{Op::Close, {}, {}, {}, 0, 0}); }

  const std::vector<Segment>& segments() const { return segments_; }
  bool empty() const { return segments_.empty(); }

 private:
  std::vector<Segment> segments_;
};

// A font made by the factory. Identity() is unique among live fonts and stable for the font's life
// (the text-width cache keys on it).
class CanvasFont {
 public:
  virtual ~CanvasFont() = default;
  virtual uint64_t Identity() const = 0;
  // The family actually used (after any fall-back), for tests and diagnostics.
  virtual std::wstring Family() const = 0;
};

// Pixels for DrawImage: premultiplied 32-bit ARGB, row-major, top row first.
class CanvasImage {
 public:
  virtual ~CanvasImage() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
};

enum class TextAlign : int32_t { Near = 0, Center = 1, Far = 2 };

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void FillRectangle(const Brush& brush, const RectF& r) = 0;
  virtual void FillEllipse(const Brush& brush, const RectF& r) = 0;
  virtual void StrokeEllipse(const Pen& pen, const RectF& r) = 0;
  virtual void FillPath(const Brush& brush, const Path& path) = 0;
  virtual void StrokePath(const Pen& pen, const Path& path) = 0;
  virtual void DrawLine(const Pen& pen, PointF a, PointF b) = 0;

  // Unformatted text from the point, no wrapping, no trimming.
  virtual void DrawTextAt(std::wstring_view text, const CanvasFont& font, PointF at, uint32_t argb) = 0;
  // One line in the box with the alignments, cut with "…" when it does not fit.
  virtual void DrawTextInRect(std::wstring_view text, const CanvasFont& font, const RectF& box, uint32_t argb,
                              TextAlign horizontal, TextAlign vertical) = 0;
  // The width of the text laid out without limits, in user units (not cached here).
  virtual float MeasureTextWidth(std::wstring_view text, const CanvasFont& font) = 0;

  // The whole image into dest, or the source rectangle (image pixels) into dest; bilinear.
  virtual void DrawImage(const CanvasImage& image, const RectF& dest) = 0;
  virtual void DrawImageRect(const CanvasImage& image, const RectF& dest, const RectF& source) = 0;

  // The clip stack: a push intersects the current clip with the rectangle or path; a pop restores
  // the clip of before the matching push. A pop without a push does nothing.
  virtual void PushClip(const RectF& r) = 0;
  virtual void PushClipPath(const Path& path) = 0;
  virtual void PopClip() = 0;

  // World transform: user units times scale are device pixels.
  virtual void SetWorldScale(float scale) = 0;

  // 0 after success; otherwise the status of the last failing call (GDI+ Status on Windows).
  virtual int32_t LastStatus() const = 0;
};

// An off-screen buffer of a device size with a canvas on it. The canvas starts with the paint
// state (anti-aliased shapes, ClearType grid-fit text, half-pixel offset, fast compositing), world
// scale 1 and no clip. Canvas() may be called again; each call gives a fresh canvas in that state.
class Surface {
 public:
  virtual ~Surface() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual Canvas& NewCanvas() = 0;
  // Block copy of the device rectangle (x, y, w, h) of this surface to the same place of target.
  virtual void CopyTo(Surface& target, int32_t x, int32_t y, int32_t w, int32_t h) = 0;
  // Block copy of the device rectangle to the same place of a window device context (an HDC on
  // Windows, passed opaquely).
  virtual void CopyToDevice(uintptr_t deviceContext, int32_t x, int32_t y, int32_t w, int32_t h) = 0;
  // The surface's pixels (ARGB, row-major), for icons and tests.
  virtual std::vector<uint32_t> ReadPixels() = 0;
};

class GraphicsFactory {
 public:
  virtual ~GraphicsFactory() = default;
  // Null when width or height is below 1 or the system refuses.
  virtual std::unique_ptr<Surface> CreateSurface(int32_t width, int32_t height) = 0;
  // A font of the first installed family of the list (then the system's generic sans-serif or
  // monospace family), size in user units (GDI+ UnitPixel). Null only when no family at all works.
  virtual std::unique_ptr<CanvasFont> CreateFont(const std::vector<std::wstring>& families, float sizePx, bool bold,
                                                 bool monospace) = 0;
  virtual std::unique_ptr<CanvasImage> CreateImage(int32_t width, int32_t height,
                                                   const std::vector<uint32_t>& premultipliedArgb) = 0;
  // An image over width × height premultiplied ARGB pixels, as CreateImage takes them, that remain
  // the caller's on the same terms as WrapRgb32's. This default copies them.
  virtual std::unique_ptr<CanvasImage> WrapPremultipliedArgb(int32_t width, int32_t height, const uint32_t* pixels) {
    if (width < 1 || height < 1 || !pixels) return nullptr;
    return CreateImage(
        width, height,
        std::vector<uint32_t>(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height)));
  }
  // An image over width × height pixels of 32-bit RGB (blue, green, red and an ignored fourth
  // byte; rows top to bottom, width * 4 bytes apart) that remain the caller's: they must outlive
  // the image and stay unchanged while it is drawn. GDI+ draws straight from them; this default
  // copies them into an opaque image. Null when the size is not drawable.
  virtual std::unique_ptr<CanvasImage> WrapRgb32(int32_t width, int32_t height, const uint8_t* pixels) {
    if (width < 1 || height < 1 || !pixels) return nullptr;
    std::vector<uint32_t> argb(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (size_t i = 0; i < argb.size(); ++i) {
      const uint8_t* p = pixels + i * 4;
      argb[i] = 0xFF000000u | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
    }
    return CreateImage(width, height, argb);
  }
};

// The process's factory: GDI+ on Windows (GdiplusStartup must have run); on the Linux host, which
// never draws, a factory whose surfaces and fonts are null.
GraphicsFactory& SystemGraphics();

}  // namespace tolvane
