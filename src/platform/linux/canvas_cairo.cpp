// The canvas on Cairo with Pango text: the only drawing code of the Linux program that sees a
// cairo_t or a PangoLayout.
//
// A surface is a Cairo image surface in ARGB32, which is the canvas's own pixel format (premultiplied
// 0xAARRGGBB in native byte order), so ReadPixels, images and the block copies between surfaces are
// plain row copies. Shapes follow the GDI+ semantics the painters were written for: paths fill with
// the even-odd rule, an arc is the part of the ellipse inscribed in its box swept clockwise, the
// segments of a figure are joined by straight lines, gradients repeat mirrored past their ends.
//
// Text: fonts are Pango descriptions of the family list plus the generic family, so fontconfig
// falls back to an installed face ("Segoe UI" becomes DejaVu Sans on a plain Debian). Shaping a
// line is the costly part of a paint, so laid-out lines are kept in a cache keyed by font, text and
// width (a layout is only ever cut with "…" when it does not fit its box); it is emptied when it
// grows past kLayoutCacheLimit. Hinting of metrics is off, so a layout measured at scale 1 draws
// the same at any world scale.
//
// Failures: cairo's status is read after each call; a failing one is remembered in LastStatus and
// drawing goes on. Main thread only (the layout cache and the Pango context are not shared).
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/canvas.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr int32_t kMaxSurfaceSide = 16384;
constexpr size_t kLayoutCacheLimit = 6000;

void SetSource(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                        ((argb >> 24) & 0xFF) / 255.0);
}

// ---------------------------------------------------------------------------------------------
// Fonts and the layout cache

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectUnref>;

class PangoCanvasFont final : public CanvasFont {
 public:
  PangoCanvasFont(PangoFontDescription* description, std::wstring family)
      : description_(description), family_(std::move(family)), identity_(++lastIdentity_) {}
  ~PangoCanvasFont() override { pango_font_description_free(description_); }
  uint64_t Identity() const override { return identity_; }
  std::wstring Family() const override { return family_; }
  const PangoFontDescription* Description() const { return description_; }

 private:
  static inline uint64_t lastIdentity_ = 0;  // main thread only; identities are never reused
  PangoFontDescription* description_;
  std::wstring family_;
  uint64_t identity_;
};

// One Pango context for the process, and the lines laid out with it.
class TextLayouts {
 public:
  TextLayouts() {
    context_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
  }
  ~TextLayouts() {
    layouts_.clear();
    g_object_unref(context_);
  }

  PangoContext* context() { return context_; }

  // The line of text in the font, unconstrained (widthPango < 0) or cut with "…" to widthPango.
  PangoLayout* Get(std::wstring_view text, const PangoCanvasFont& font, int widthPango) {
    std::string key = std::to_string(font.Identity()) + '|' + std::to_string(widthPango) + '|';
    const std::string utf8 = WideToUtf8(text);
    key += utf8;
    if (auto it = layouts_.find(key); it != layouts_.end()) return it->second.get();
    if (layouts_.size() >= kLayoutCacheLimit) layouts_.clear();
    LayoutPtr layout(pango_layout_new(context_));
    pango_layout_set_font_description(layout.get(), font.Description());
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    if (widthPango >= 0) {
      pango_layout_set_width(layout.get(), widthPango);
      pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    PangoLayout* raw = layout.get();
    layouts_.emplace(std::move(key), std::move(layout));
    return raw;
  }

 private:
  PangoContext* context_ = nullptr;
  std::unordered_map<std::string, LayoutPtr> layouts_;
};

TextLayouts& Layouts() {
  static TextLayouts layouts;
  return layouts;
}

// The logical size of a layout in user units.
void LayoutSize(PangoLayout* layout, double& width, double& height) {
  PangoRectangle logical{};
  pango_layout_get_extents(layout, nullptr, &logical);
  width = static_cast<double>(logical.width) / PANGO_SCALE;
  height = static_cast<double>(logical.height) / PANGO_SCALE;
}

// ---------------------------------------------------------------------------------------------
// Images

class CairoImage final : public CanvasImage {
 public:
  explicit CairoImage(cairo_surface_t* surface) : surface_(surface) {}
  ~CairoImage() override { cairo_surface_destroy(surface_); }
  int32_t Width() const override { return cairo_image_surface_get_width(surface_); }
  int32_t Height() const override { return cairo_image_surface_get_height(surface_); }
  cairo_surface_t* Get() const { return surface_; }

 private:
  cairo_surface_t* surface_;
};

// Copies rows of premultiplied ARGB pixels into (x, y, w, h) of an image surface.
void CopyRows(cairo_surface_t* from, cairo_surface_t* to, int32_t x, int32_t y, int32_t w, int32_t h) {
  cairo_surface_flush(from);
  cairo_surface_flush(to);
  const int32_t fromStride = cairo_image_surface_get_stride(from), toStride = cairo_image_surface_get_stride(to);
  const unsigned char* src = cairo_image_surface_get_data(from);
  unsigned char* dst = cairo_image_surface_get_data(to);
  for (int32_t row = y; row < y + h; ++row) {
    std::memcpy(dst + static_cast<ptrdiff_t>(row) * toStride + static_cast<ptrdiff_t>(x) * 4,
                src + static_cast<ptrdiff_t>(row) * fromStride + static_cast<ptrdiff_t>(x) * 4,
                static_cast<size_t>(w) * 4);
  }
  cairo_surface_mark_dirty_rectangle(to, x, y, w, h);
}

// ---------------------------------------------------------------------------------------------
// Canvas

class CairoCanvas final : public Canvas {
 public:
  explicit CairoCanvas(cairo_surface_t* target) : cr_(cairo_create(target)) {
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
    Check();
  }
  ~CairoCanvas() override { cairo_destroy(cr_); }

  void FillRectangle(const Brush& brush, const RectF& r) override {
    cairo_rectangle(cr_, r.x, r.y, r.w, r.h);
    Fill(brush);
  }
  void FillEllipse(const Brush& brush, const RectF& r) override {
    EllipsePath(r);
    Fill(brush);
  }
  void StrokeEllipse(const Pen& pen, const RectF& r) override {
    EllipsePath(r);
    Stroke(pen);
  }
  void FillPath(const Brush& brush, const Path& path) override {
    if (!Build(path)) return;
    Fill(brush);
  }
  void StrokePath(const Pen& pen, const Path& path) override {
    if (!Build(path)) return;
    Stroke(pen);
  }
  void DrawLine(const Pen& pen, PointF a, PointF b) override {
    cairo_move_to(cr_, a.x, a.y);
    cairo_line_to(cr_, b.x, b.y);
    Stroke(pen);
  }

  void DrawTextAt(std::wstring_view text, const CanvasFont& font, PointF at, uint32_t argb) override {
    const PangoCanvasFont* f = FontOf(font);
    if (!f || text.empty()) return;
    PangoLayout* layout = Layouts().Get(text, *f, -1);
    cairo_move_to(cr_, at.x, at.y);
    SetSource(cr_, argb);
    pango_cairo_show_layout(cr_, layout);
    Check();
  }
  void DrawTextInRect(std::wstring_view text, const CanvasFont& font, const RectF& box, uint32_t argb,
                      TextAlign horizontal, TextAlign vertical) override {
    const PangoCanvasFont* f = FontOf(font);
    if (!f || text.empty() || !(box.w > 0)) return;
    PangoLayout* layout = Layouts().Get(text, *f, -1);
    double w = 0, h = 0;
    LayoutSize(layout, w, h);
    if (w > box.w) {
      layout = Layouts().Get(text, *f, static_cast<int>(box.w * PANGO_SCALE));
      LayoutSize(layout, w, h);
    }
    const double x = horizontal == TextAlign::Near     ? box.x
                     : horizontal == TextAlign::Center ? box.x + (box.w - w) / 2
                                                       : box.Right() - w;
    const double y = vertical == TextAlign::Near     ? box.y
                     : vertical == TextAlign::Center ? box.y + (box.h - h) / 2
                                                     : box.Bottom() - h;
    cairo_move_to(cr_, x, y);
    SetSource(cr_, argb);
    pango_cairo_show_layout(cr_, layout);
    Check();
  }
  float MeasureTextWidth(std::wstring_view text, const CanvasFont& font) override {
    const PangoCanvasFont* f = FontOf(font);
    if (!f || text.empty()) return 0;
    double w = 0, h = 0;
    LayoutSize(Layouts().Get(text, *f, -1), w, h);
    return static_cast<float>(w);
  }

  void DrawImage(const CanvasImage& image, const RectF& dest) override {
    DrawImageRect(image, dest, RectF{0, 0, static_cast<float>(image.Width()), static_cast<float>(image.Height())});
  }
  void DrawImageRect(const CanvasImage& image, const RectF& dest, const RectF& source) override {
    const auto* img = dynamic_cast<const CairoImage*>(&image);
    if (!img || !(source.w > 0) || !(source.h > 0)) return Fail(CAIRO_STATUS_INVALID_SIZE);
    cairo_save(cr_);
    cairo_rectangle(cr_, dest.x, dest.y, dest.w, dest.h);
    cairo_clip(cr_);
    cairo_translate(cr_, dest.x, dest.y);
    cairo_scale(cr_, dest.w / source.w, dest.h / source.h);
    cairo_set_source_surface(cr_, img->Get(), -source.x, -source.y);
    // Edge pixels repeat outward, so a scaled image has no seam of transparency at its border.
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
    cairo_paint(cr_);
    cairo_restore(cr_);
    Check();
  }

  // The clip stack is Cairo's save stack; a restore also brings back the matrix of the push, so
  // the world scale is set again afterwards.
  void PushClip(const RectF& r) override {
    cairo_save(cr_);
    ++depth_;
    cairo_rectangle(cr_, r.x, r.y, r.w, r.h);
    cairo_clip(cr_);
    Check();
  }
  void PushClipPath(const Path& path) override {
    cairo_save(cr_);
    ++depth_;
    if (Build(path)) cairo_clip(cr_);
    Check();
  }
  void PopClip() override {
    if (depth_ == 0) return;
    --depth_;
    cairo_restore(cr_);
    ApplyScale();
  }

  void SetWorldScale(float scale) override {
    scale_ = scale;
    ApplyScale();
  }

  int32_t LastStatus() const override { return status_; }

 private:
  void ApplyScale() {
    cairo_identity_matrix(cr_);
    cairo_scale(cr_, scale_, scale_);
    Check();
  }

  void Check() {
    const cairo_status_t s = cairo_status(cr_);
    if (s != CAIRO_STATUS_SUCCESS) status_ = static_cast<int32_t>(s);
  }
  void Fail(cairo_status_t s) { status_ = static_cast<int32_t>(s); }

  const PangoCanvasFont* FontOf(const CanvasFont& font) {
    const auto* f = dynamic_cast<const PangoCanvasFont*>(&font);
    if (!f) Fail(CAIRO_STATUS_NULL_POINTER);
    return f;
  }

  // Sets the brush as the source: a solid colour, or a linear gradient whose colours sit at their
  // positions (evenly spread when the positions do not match the colours).
  void SetBrush(const Brush& brush) {
    if (!brush.gradient || brush.colours.size() < 2 || (brush.p0.x == brush.p1.x && brush.p0.y == brush.p1.y)) {
      SetSource(cr_, brush.gradient && !brush.colours.empty() ? brush.colours.front() : brush.argb);
      return;
    }
    cairo_pattern_t* pattern = cairo_pattern_create_linear(brush.p0.x, brush.p0.y, brush.p1.x, brush.p1.y);
    const size_t n = brush.colours.size();
    const bool positioned = brush.positions.size() == n;
    for (size_t i = 0; i < n; ++i) {
      const uint32_t c = brush.colours[i];
      const double at = positioned ? brush.positions[i] : static_cast<double>(i) / static_cast<double>(n - 1);
      cairo_pattern_add_color_stop_rgba(pattern, at, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                                        (c & 0xFF) / 255.0, ((c >> 24) & 0xFF) / 255.0);
    }
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REFLECT);
    cairo_set_source(cr_, pattern);
    cairo_pattern_destroy(pattern);
  }

  void Fill(const Brush& brush) {
    SetBrush(brush);
    cairo_fill(cr_);
    Check();
  }
  void Stroke(const Pen& pen) {
    if (pen.brush.gradient && pen.brush.colours.size() >= 2) {
      SetBrush(pen.brush);
    } else {
      SetSource(cr_, pen.argb);
    }
    cairo_set_line_width(cr_, pen.width);
    cairo_set_line_join(cr_, pen.roundJoins ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_MITER);
    cairo_set_line_cap(cr_, pen.roundJoins ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
    cairo_stroke(cr_);
    Check();
  }

  void EllipsePath(const RectF& r) {
    cairo_new_path(cr_);
    ArcSegment(r, 0, 360);
    cairo_close_path(cr_);
  }

  // The arc of the ellipse inscribed in box, from startDeg sweeping sweepDeg clockwise (negative:
  // counter-clockwise). Cairo joins it to the current point with a line, as GDI+ does.
  void ArcSegment(const RectF& box, float startDeg, float sweepDeg) {
    if (!(box.w > 0) || !(box.h > 0)) return;
    constexpr double kRad = std::numbers::pi / 180.0;
    cairo_matrix_t saved;
    cairo_get_matrix(cr_, &saved);
    cairo_translate(cr_, box.x + box.w / 2.0, box.y + box.h / 2.0);
    cairo_scale(cr_, box.w / 2.0, box.h / 2.0);
    const double a0 = startDeg * kRad, a1 = (startDeg + sweepDeg) * kRad;
    if (sweepDeg >= 0) {
      cairo_arc(cr_, 0, 0, 1, a0, a1);
    } else {
      cairo_arc_negative(cr_, 0, 0, 1, a0, a1);
    }
    cairo_set_matrix(cr_, &saved);
  }

  bool Build(const Path& path) {
    cairo_new_path(cr_);
    if (path.empty()) return false;
    for (const Path::Segment& s : path.segments()) {
      switch (s.op) {
        case Path::Op::Line:
          if (cairo_has_current_point(cr_)) {
            cairo_line_to(cr_, s.a.x, s.a.y);
          } else {
            cairo_move_to(cr_, s.a.x, s.a.y);
          }
          cairo_line_to(cr_, s.b.x, s.b.y);
          break;
        case Path::Op::Arc:
          ArcSegment(s.box, s.startDeg, s.sweepDeg);
          break;
        case Path::Op::Close:
          cairo_close_path(cr_);
          cairo_new_sub_path(cr_);  // the next segment starts a new figure
          break;
      }
    }
    Check();
    return true;
  }

  cairo_t* cr_;
  float scale_ = 1;
  int32_t depth_ = 0;  // clip pushes not yet popped
  int32_t status_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Surface and factory

class CairoSurface final : public Surface {
 public:
  explicit CairoSurface(cairo_surface_t* surface) : surface_(surface) {}
  ~CairoSurface() override {
    canvas_.reset();  // the cairo_t before the surface it draws on
    cairo_surface_destroy(surface_);
  }

  int32_t Width() const override { return cairo_image_surface_get_width(surface_); }
  int32_t Height() const override { return cairo_image_surface_get_height(surface_); }

  Canvas& NewCanvas() override {
    canvas_.reset();
    canvas_ = std::make_unique<CairoCanvas>(surface_);
    return *canvas_;
  }

  void CopyTo(Surface& target, int32_t x, int32_t y, int32_t w, int32_t h) override {
    auto* t = dynamic_cast<CairoSurface*>(&target);
    if (!t || t == this || !Clamp(x, y, w, h) || !t->Clamp(x, y, w, h)) return;
    CopyRows(surface_, t->surface_, x, y, w, h);
  }

  // deviceContext is a cairo_t (the window's drawing area, or a benchmark's target) in device pixels.
  void CopyToDevice(uintptr_t deviceContext, int32_t x, int32_t y, int32_t w, int32_t h) override {
    if (deviceContext == 0 || !Clamp(x, y, w, h)) return;
    auto* cr = reinterpret_cast<cairo_t*>(deviceContext);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, surface_, 0, 0);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    cairo_restore(cr);
  }

  std::vector<uint32_t> ReadPixels() override {
    cairo_surface_flush(surface_);
    const int32_t w = Width(), h = Height(), stride = cairo_image_surface_get_stride(surface_);
    std::vector<uint32_t> out(static_cast<size_t>(w) * static_cast<size_t>(h));
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    for (int32_t y = 0; y < h; ++y) {
      std::memcpy(out.data() + static_cast<size_t>(y) * static_cast<size_t>(w),
                  data + static_cast<ptrdiff_t>(y) * stride, static_cast<size_t>(w) * 4);
    }
    return out;
  }

 private:
  // Cuts the rectangle to the surface; false when nothing is left.
  bool Clamp(int32_t& x, int32_t& y, int32_t& w, int32_t& h) const {
    const int32_t left = std::max(x, 0), top = std::max(y, 0);
    const int32_t right = std::min(x + w, Width()), bottom = std::min(y + h, Height());
    if (right <= left || bottom <= top) return false;
    x = left;
    y = top;
    w = right - left;
    h = bottom - top;
    return true;
  }

  cairo_surface_t* surface_;
  std::unique_ptr<CairoCanvas> canvas_;
};

class CairoGraphics final : public GraphicsFactory {
 public:
  std::unique_ptr<Surface> CreateSurface(int32_t width, int32_t height) override {
    if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      return nullptr;
    }
    return std::make_unique<CairoSurface>(s);
  }

  std::unique_ptr<CanvasFont> CreateFont(const std::vector<std::wstring>& families, float sizePx, bool bold,
                                         bool monospace) override {
    if (!(sizePx > 0)) return nullptr;
    // Pango takes a comma-separated list; fontconfig substitutes for the names it lacks.
    std::string list;
    for (const std::wstring& f : families) {
      const std::string name = WideToUtf8(f);
      if (name.empty() || name.find(',') != std::string::npos) continue;
      list += name + ",";
    }
    list += monospace ? "monospace" : "sans-serif";
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, list.c_str());
    pango_font_description_set_absolute_size(description, sizePx * PANGO_SCALE);
    pango_font_description_set_weight(description, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    PangoFont* loaded = pango_context_load_font(Layouts().context(), description);
    if (!loaded) {
      pango_font_description_free(description);
      return nullptr;
    }
    PangoFontDescription* used = pango_font_describe(loaded);
    const char* usedFamily = pango_font_description_get_family(used);
    std::wstring family = Utf8ToWide(usedFamily ? usedFamily : "");
    pango_font_description_free(used);
    g_object_unref(loaded);
    return std::make_unique<PangoCanvasFont>(description, std::move(family));
  }

  std::unique_ptr<CanvasImage> WrapPremultipliedArgb(int32_t width, int32_t height, const uint32_t* pixels) override {
    if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide || !pixels ||
        cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width) != width * 4) {
      return nullptr;
    }
    // Cairo's ARGB32 is premultiplied 0xAARRGGBB in native order, as the pixels are; it only reads them.
    cairo_surface_t* s = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(pixels)), CAIRO_FORMAT_ARGB32, width, height, width * 4);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      return nullptr;
    }
    return std::make_unique<CairoImage>(s);
  }
  std::unique_ptr<CanvasImage> CreateImage(int32_t width, int32_t height,
                                           const std::vector<uint32_t>& premultipliedArgb) override {
    if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide ||
        premultipliedArgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
      return nullptr;
    }
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      return nullptr;
    }
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int32_t stride = cairo_image_surface_get_stride(s);
    for (int32_t y = 0; y < height; ++y) {
      std::memcpy(data + static_cast<ptrdiff_t>(y) * stride,
                  premultipliedArgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width),
                  static_cast<size_t>(width) * 4);
    }
    cairo_surface_mark_dirty(s);
    return std::make_unique<CairoImage>(s);
  }
};

}  // namespace

GraphicsFactory& SystemGraphics() {
  static CairoGraphics graphics;
  return graphics;
}

}  // namespace tolvane
