// The recording canvas, surface and factory; see recording_canvas.h.
#include "fakes/recording_canvas.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tolvane {

RectF PathBounds(const Path& path) {
  float left = std::numeric_limits<float>::max(), top = left;
  float right = std::numeric_limits<float>::lowest(), bottom = right;
  auto take = [&](float x, float y) {
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x);
    bottom = std::max(bottom, y);
  };
  for (const Path::Segment& s : path.segments()) {
    if (s.op == Path::Op::Line) {
      take(s.a.x, s.a.y);
      take(s.b.x, s.b.y);
    } else if (s.op == Path::Op::Arc) {
      take(s.box.x, s.box.y);
      take(s.box.Right(), s.box.Bottom());
    }
  }
  if (left > right) return RectF{};
  return RectF{left, top, right - left, bottom - top};
}

float RecordingCanvas::CharWidth(const CanvasFont& font) {
  const auto* f = dynamic_cast<const RecordingFont*>(&font);
  return f ? f->SizePx() / 2 : 5;
}

CanvasCall& RecordingCanvas::Add(CallKind kind) {
  calls_.emplace_back();
  calls_.back().kind = kind;
  calls_.back().scale = scale_;
  return calls_.back();
}

void RecordingCanvas::SetFont(CanvasCall& call, const CanvasFont& font) {
  call.fontId = font.Identity();
  call.fontFamily = font.Family();
  if (const auto* f = dynamic_cast<const RecordingFont*>(&font)) {
    call.fontSize = f->SizePx();
    call.fontBold = f->Bold();
  }
}

void RecordingCanvas::FillRectangle(const Brush& brush, const RectF& r) {
  CanvasCall& c = Add(CallKind::FillRect);
  c.brush = brush;
  c.argb = brush.argb;
  c.rect = r;
}

void RecordingCanvas::FillEllipse(const Brush& brush, const RectF& r) {
  CanvasCall& c = Add(CallKind::FillEllipse);
  c.brush = brush;
  c.argb = brush.argb;
  c.rect = r;
}

void RecordingCanvas::StrokeEllipse(const Pen& pen, const RectF& r) {
  CanvasCall& c = Add(CallKind::StrokeEllipse);
  c.pen = pen;
  c.argb = pen.argb;
  c.rect = r;
}

void RecordingCanvas::FillPath(const Brush& brush, const Path& path) {
  CanvasCall& c = Add(CallKind::FillPath);
  c.brush = brush;
  c.argb = brush.argb;
  c.path = path;
  c.rect = PathBounds(path);
}

void RecordingCanvas::StrokePath(const Pen& pen, const Path& path) {
  CanvasCall& c = Add(CallKind::StrokePath);
  c.pen = pen;
  c.argb = pen.argb;
  c.path = path;
  c.rect = PathBounds(path);
}

void RecordingCanvas::DrawLine(const Pen& pen, PointF a, PointF b) {
  CanvasCall& c = Add(CallKind::Line);
  c.pen = pen;
  c.argb = pen.argb;
  c.a = a;
  c.b = b;
  c.rect = RectF{std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y)};
}

void RecordingCanvas::DrawTextAt(std::wstring_view text, const CanvasFont& font, PointF at, uint32_t argb) {
  CanvasCall& c = Add(CallKind::TextAt);
  c.text = text;
  c.argb = argb;
  c.a = at;
  c.rect = RectF{at.x, at.y, 0, 0};
  SetFont(c, font);
}

void RecordingCanvas::DrawTextInRect(std::wstring_view text, const CanvasFont& font, const RectF& box, uint32_t argb,
                                     TextAlign horizontal, TextAlign vertical) {
  CanvasCall& c = Add(CallKind::TextInRect);
  c.text = text;
  c.argb = argb;
  c.rect = box;
  c.horizontal = horizontal;
  c.vertical = vertical;
  SetFont(c, font);
}

float RecordingCanvas::MeasureTextWidth(std::wstring_view text, const CanvasFont& font) {
  ++measureCalls_;
  return static_cast<float>(text.size()) * CharWidth(font);
}

void RecordingCanvas::DrawImage(const CanvasImage& image, const RectF& dest) {
  CanvasCall& c = Add(CallKind::Image);
  c.image = &image;
  c.rect = dest;
  c.source = RectF{0, 0, static_cast<float>(image.Width()), static_cast<float>(image.Height())};
}

void RecordingCanvas::DrawImageRect(const CanvasImage& image, const RectF& dest, const RectF& source) {
  CanvasCall& c = Add(CallKind::ImageRect);
  c.image = &image;
  c.rect = dest;
  c.source = source;
}

void RecordingCanvas::PushClip(const RectF& r) {
  Add(CallKind::PushClip).rect = r;
  ++clipDepth_;
}

void RecordingCanvas::PushClipPath(const Path& path) {
  CanvasCall& c = Add(CallKind::PushClipPath);
  c.path = path;
  c.rect = PathBounds(path);
  ++clipDepth_;
}

void RecordingCanvas::PopClip() {
  Add(CallKind::PopClip);
  if (clipDepth_ > 0) --clipDepth_;
}

void RecordingCanvas::SetWorldScale(float scale) {
  scale_ = scale;
  Add(CallKind::WorldScale).scale = scale;
}

const CanvasCall* RecordingCanvas::FindText(std::wstring_view text) const {
  for (const CanvasCall& c : calls_) {
    if (c.IsText() && c.text == text) return &c;
  }
  return nullptr;
}

const CanvasCall* RecordingCanvas::FindTextContaining(std::wstring_view part) const {
  for (const CanvasCall& c : calls_) {
    if (c.IsText() && c.text.find(part) != std::wstring::npos) return &c;
  }
  return nullptr;
}

std::vector<std::wstring> RecordingCanvas::Texts() const {
  std::vector<std::wstring> out;
  for (const CanvasCall& c : calls_) {
    if (c.IsText()) out.push_back(c.text);
  }
  return out;
}

std::vector<const CanvasCall*> RecordingCanvas::FillsWithColour(uint32_t argb) const {
  std::vector<const CanvasCall*> out;
  for (const CanvasCall& c : calls_) {
    if (!c.IsFill()) continue;
    const bool match = c.brush.gradient
                           ? std::find(c.brush.colours.begin(), c.brush.colours.end(), argb) != c.brush.colours.end()
                           : c.brush.argb == argb;
    if (match) out.push_back(&c);
  }
  return out;
}

std::vector<const CanvasCall*> RecordingCanvas::StrokesWithColour(uint32_t argb) const {
  std::vector<const CanvasCall*> out;
  for (const CanvasCall& c : calls_) {
    if (c.IsStroke() && c.pen.argb == argb) out.push_back(&c);
  }
  return out;
}

std::vector<const CanvasCall*> RecordingCanvas::OfKind(CallKind kind) const {
  std::vector<const CanvasCall*> out;
  for (const CanvasCall& c : calls_) {
    if (c.kind == kind) out.push_back(&c);
  }
  return out;
}

size_t RecordingCanvas::Count(CallKind kind) const {
  return static_cast<size_t>(
      std::count_if(calls_.begin(), calls_.end(), [&](const CanvasCall& c) { return c.kind == kind; }));
}

size_t RecordingCanvas::DrawCount() const {
  return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(), [](const CanvasCall& c) {
    return c.IsFill() || c.IsStroke() || c.IsText() || c.kind == CallKind::Image || c.kind == CallKind::ImageRect;
  }));
}

Canvas& RecordingSurface::NewCanvas() {
  canvases_.push_back(std::make_unique<RecordingCanvas>());
  return *canvases_.back();
}

RecordingCanvas& RecordingSurface::canvas() {
  if (canvases_.empty()) NewCanvas();
  return *canvases_.back();
}

void RecordingSurface::CopyTo(Surface& target, int32_t x, int32_t y, int32_t w, int32_t h) {
  copies_.push_back(Copy{&target, 0, x, y, w, h});
}

void RecordingSurface::CopyToDevice(uintptr_t deviceContext, int32_t x, int32_t y, int32_t w, int32_t h) {
  copies_.push_back(Copy{nullptr, deviceContext, x, y, w, h});
}

std::vector<uint32_t> RecordingSurface::ReadPixels() {
  if (pixels.size() != static_cast<size_t>(width_) * static_cast<size_t>(height_)) {
    pixels.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
  }
  return pixels;
}

std::unique_ptr<Surface> RecordingGraphics::CreateSurface(int32_t width, int32_t height) {
  if (failSurfaces || width < 1 || height < 1) return nullptr;
  ++surfacesMade;
  return std::make_unique<RecordingSurface>(width, height);
}

std::unique_ptr<CanvasFont> RecordingGraphics::CreateFont(const std::vector<std::wstring>& families, float sizePx,
                                                          bool bold, bool monospace) {
  fontRequests.push_back(FontRequest{families, sizePx, bold, monospace});
  if (failFonts) return nullptr;
  std::wstring family = monospace ? kGenericMono : kGenericSans;
  for (const std::wstring& f : families) {
    if (installed.empty() || installed.count(f) != 0) {
      family = f;
      break;
    }
  }
  return std::make_unique<RecordingFont>(nextIdentity_++, family, sizePx, bold, monospace);
}

std::unique_ptr<CanvasImage> RecordingGraphics::CreateImage(int32_t width, int32_t height,
                                                            const std::vector<uint32_t>& premultipliedArgb) {
  if (width < 1 || height < 1 || premultipliedArgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
    return nullptr;
  }
  return std::make_unique<RecordingImage>(width, height, premultipliedArgb);
}

}  // namespace tolvane
