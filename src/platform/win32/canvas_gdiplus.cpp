// The canvas on GDI+: the only drawing code that sees an HDC or a Gdiplus::Graphics.
//
// A surface is a 32-bit top-down DIB section selected into a memory DC, with a GDI+ bitmap
// (premultiplied ARGB) over the same memory; the canvas draws into the bitmap and the DC serves the
// block copies. So ReadPixels is a plain copy, and GDI+ draws into its own pixel format instead of
// going through an HDC (which Wine's GDI+ emulates with a temporary bitmap per call).
//
// Failures: every GDI+ call's status is checked; a failing one is remembered in LastStatus and
// the paint goes on. Fonts fall back along their family list, then to the families Linux and Wine
// installations carry, then to GDI+'s generic sans-serif or monospace family.
//
// Cost: Wine fills a shape pixel by pixel before clipping it, so a rectangle fill is first cut to
// the current clip's bounds; the brush's geometry does not depend on the filled rectangle, so the
// result is the same, and a full-window gradient under a small partial-repaint clip stays cheap.
#include "platform/win32/canvas_gdiplus.h"

#include "platform/win32/gdiplus_headers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"

namespace tolvane {
namespace {

using Gdiplus::Status;

struct MemoryDcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;
using GdiBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

constexpr int32_t kMaxSurfaceSide = 16384;

Gdiplus::Color ToColor(uint32_t argb) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb)); }
Gdiplus::RectF ToRect(const RectF& r) { return Gdiplus::RectF(r.x, r.y, r.w, r.h); }
Gdiplus::PointF ToPoint(PointF p) { return Gdiplus::PointF(p.x, p.y); }

// ---------------------------------------------------------------------------------------------
// String formats: nine, made on first use and kept until ReleaseGdiplusCanvasCaches.

class StringFormats {
 public:
  const Gdiplus::StringFormat* Get(TextAlign horizontal, TextAlign vertical) {
    const auto h = static_cast<size_t>(std::clamp(static_cast<int32_t>(horizontal), 0, 2));
    const auto v = static_cast<size_t>(std::clamp(static_cast<int32_t>(vertical), 0, 2));
    std::unique_ptr<Gdiplus::StringFormat>& f = formats_[h * 3 + v];
    if (!f) {
      f = std::make_unique<Gdiplus::StringFormat>(Gdiplus::StringFormatFlagsNoWrap);
      f->SetAlignment(Align(h));
      f->SetLineAlignment(Align(v));
      f->SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
    }
    return f.get();
  }
  void Release() {
    for (auto& f : formats_) f.reset();
  }

 private:
  static Gdiplus::StringAlignment Align(size_t a) {
    return a == 0 ? Gdiplus::StringAlignmentNear
                  : (a == 1 ? Gdiplus::StringAlignmentCenter : Gdiplus::StringAlignmentFar);
  }
  std::array<std::unique_ptr<Gdiplus::StringFormat>, 9> formats_;
};

StringFormats& Formats() {
  static StringFormats formats;
  return formats;
}

// ---------------------------------------------------------------------------------------------
// Fonts and images

class GdiplusFont final : public CanvasFont {
 public:
  GdiplusFont(std::unique_ptr<Gdiplus::Font> font, std::wstring family)
      : font_(std::move(font)), family_(std::move(family)), identity_(++lastIdentity_) {}
  uint64_t Identity() const override { return identity_; }
  std::wstring Family() const override { return family_; }
  const Gdiplus::Font* Get() const { return font_.get(); }

 private:
  static inline uint64_t lastIdentity_ = 0;  // main thread only; identities are never reused
  std::unique_ptr<Gdiplus::Font> font_;
  std::wstring family_;
  uint64_t identity_;
};

class GdiplusImage final : public CanvasImage {
 public:
  explicit GdiplusImage(std::unique_ptr<Gdiplus::Bitmap> bitmap) : bitmap_(std::move(bitmap)) {}
  int32_t Width() const override { return static_cast<int32_t>(bitmap_->GetWidth()); }
  int32_t Height() const override { return static_cast<int32_t>(bitmap_->GetHeight()); }
  Gdiplus::Bitmap* Get() const { return bitmap_.get(); }

 private:
  std::unique_ptr<Gdiplus::Bitmap> bitmap_;
};

// A font of the family, in the style, or null.
std::unique_ptr<Gdiplus::Font> MakeFont(const Gdiplus::FontFamily& family, float sizePx, INT style) {
  if (family.GetLastStatus() != Gdiplus::Ok || !family.IsAvailable()) return nullptr;
  auto font = std::make_unique<Gdiplus::Font>(&family, sizePx, style, Gdiplus::UnitPixel);
  if (font->GetLastStatus() != Gdiplus::Ok || !font->IsAvailable()) return nullptr;
  return font;
}

// The name of GDI+'s generic family, or empty. Taken through the flat API: the C++ wrapper caches
// the family in a static that would outlive a GdiplusShutdown.
std::wstring GenericFamilyName(bool monospace) {
  Gdiplus::GpFontFamily* generic = nullptr;
  const Status s = monospace ? Gdiplus::DllExports::GdipGetGenericFontFamilyMonospace(&generic)
                             : Gdiplus::DllExports::GdipGetGenericFontFamilySansSerif(&generic);
  if (s != Gdiplus::Ok || !generic) return {};
  WCHAR name[LF_FACESIZE] = {};
  if (Gdiplus::DllExports::GdipGetFamilyName(generic, name, LANG_NEUTRAL) != Gdiplus::Ok) return {};
  return name;
}

// ---------------------------------------------------------------------------------------------
// Canvas

class GdiplusCanvas final : public Canvas {
 public:
  explicit GdiplusCanvas(Gdiplus::Bitmap& target) : g_(&target) {
    Check(g_.GetLastStatus());
    Check(g_.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias));
    Check(g_.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit));
    Check(g_.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf));
    Check(g_.SetCompositingQuality(Gdiplus::CompositingQualityHighSpeed));
    Check(g_.SetInterpolationMode(Gdiplus::InterpolationModeBilinear));
  }

  void FillRectangle(const Brush& brush, const RectF& r) override {
    RectF part = r;
    if (!clips_.empty()) {
      // Cut to the clip's bounds, one unit wider so anti-aliased edges come out the same.
      const float left = std::max(r.x, clipBounds_.X - 1), top = std::max(r.y, clipBounds_.Y - 1);
      const float right = std::min(r.Right(), clipBounds_.GetRight() + 1);
      const float bottom = std::min(r.Bottom(), clipBounds_.GetBottom() + 1);
      if (!(right > left) || !(bottom > top)) return;
      part = RectF{left, top, right - left, bottom - top};
    }
    if (auto b = MakeBrush(brush)) Check(g_.FillRectangle(b.get(), ToRect(part)));
  }
  void FillEllipse(const Brush& brush, const RectF& r) override {
    if (auto b = MakeBrush(brush)) Check(g_.FillEllipse(b.get(), ToRect(r)));
  }
  void StrokeEllipse(const Pen& pen, const RectF& r) override {
    const std::unique_ptr<Gdiplus::Pen> p = MakePen(pen);
    Check(g_.DrawEllipse(p.get(), ToRect(r)));
  }
  void FillPath(const Brush& brush, const Path& path) override {
    Gdiplus::GraphicsPath gp;
    if (!Build(path, gp)) return;
    if (auto b = MakeBrush(brush)) Check(g_.FillPath(b.get(), &gp));
  }
  void StrokePath(const Pen& pen, const Path& path) override {
    Gdiplus::GraphicsPath gp;
    if (!Build(path, gp)) return;
    const std::unique_ptr<Gdiplus::Pen> p = MakePen(pen);
    Check(g_.DrawPath(p.get(), &gp));
  }
  void DrawLine(const Pen& pen, PointF a, PointF b) override {
    const std::unique_ptr<Gdiplus::Pen> p = MakePen(pen);
    Check(g_.DrawLine(p.get(), ToPoint(a), ToPoint(b)));
  }

  void DrawTextAt(std::wstring_view text, const CanvasFont& font, PointF at, uint32_t argb) override {
    const Gdiplus::Font* f = FontOf(font);
    if (!f || text.empty()) return;
    Gdiplus::SolidBrush brush(ToColor(argb));
    Check(g_.DrawString(text.data(), Length(text), f, ToPoint(at), &brush));
  }
  void DrawTextInRect(std::wstring_view text, const CanvasFont& font, const RectF& box, uint32_t argb,
                      TextAlign horizontal, TextAlign vertical) override {
    const Gdiplus::Font* f = FontOf(font);
    if (!f || text.empty()) return;
    Gdiplus::SolidBrush brush(ToColor(argb));
    Check(g_.DrawString(text.data(), Length(text), f, ToRect(box), Formats().Get(horizontal, vertical), &brush));
  }
  float MeasureTextWidth(std::wstring_view text, const CanvasFont& font) override {
    const Gdiplus::Font* f = FontOf(font);
    if (!f || text.empty()) return 0;
    Gdiplus::RectF bounds;
    if (!Check(g_.MeasureString(text.data(), Length(text), f, Gdiplus::PointF(0, 0), &bounds))) return 0;
    return bounds.Width;
  }

  void DrawImage(const CanvasImage& image, const RectF& dest) override {
    const auto* img = dynamic_cast<const GdiplusImage*>(&image);
    if (!img) return Fail(Gdiplus::InvalidParameter);
    DrawImageRect(image, dest, RectF{0, 0, static_cast<float>(img->Width()), static_cast<float>(img->Height())});
  }
  void DrawImageRect(const CanvasImage& image, const RectF& dest, const RectF& source) override {
    const auto* img = dynamic_cast<const GdiplusImage*>(&image);
    if (!img) return Fail(Gdiplus::InvalidParameter);
    // Edge pixels repeat outward, so a scaled image has no seam of transparency at its border.
    Gdiplus::ImageAttributes attributes;
    attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    Check(g_.DrawImage(img->Get(), ToRect(dest), source.x, source.y, source.w, source.h, Gdiplus::UnitPixel,
                       &attributes));
  }

  void PushClip(const RectF& r) override {
    SaveClip();
    Check(g_.SetClip(ToRect(r), Gdiplus::CombineModeIntersect));
    UpdateClipBounds();
  }
  void PushClipPath(const Path& path) override {
    SaveClip();
    Gdiplus::GraphicsPath gp;
    if (Build(path, gp)) Check(g_.SetClip(&gp, Gdiplus::CombineModeIntersect));
    UpdateClipBounds();
  }
  void PopClip() override {
    if (clips_.empty()) return;
    Check(g_.SetClip(clips_.back().get(), Gdiplus::CombineModeReplace));
    clips_.pop_back();
    UpdateClipBounds();
  }

  void SetWorldScale(float scale) override {
    Check(g_.ResetTransform());
    Check(g_.ScaleTransform(scale, scale));
    UpdateClipBounds();
  }

  int32_t LastStatus() const override { return status_; }

  void Flush() { g_.Flush(Gdiplus::FlushIntentionSync); }

 private:
  static INT Length(std::wstring_view text) { return static_cast<INT>(std::min<size_t>(text.size(), 0x7FFFFFFF)); }

  bool Check(Status s) {
    if (s != Gdiplus::Ok) status_ = static_cast<int32_t>(s);
    return s == Gdiplus::Ok;
  }
  void Fail(Status s) { status_ = static_cast<int32_t>(s); }

  const Gdiplus::Font* FontOf(const CanvasFont& font) {
    const auto* f = dynamic_cast<const GdiplusFont*>(&font);
    if (!f || !f->Get()) {
      Fail(Gdiplus::InvalidParameter);
      return nullptr;
    }
    return f->Get();
  }

  std::unique_ptr<Gdiplus::Brush> MakeBrush(const Brush& brush) {
    if (!brush.gradient || brush.colours.size() < 2) {
      const uint32_t argb = brush.gradient && !brush.colours.empty() ? brush.colours.front() : brush.argb;
      return std::make_unique<Gdiplus::SolidBrush>(ToColor(argb));
    }
    auto linear = std::make_unique<Gdiplus::LinearGradientBrush>(
        ToPoint(brush.p0), ToPoint(brush.p1), ToColor(brush.colours.front()), ToColor(brush.colours.back()));
    if (!Check(linear->GetLastStatus())) {
      // Coinciding end points make no gradient; the first colour is the nearest sensible paint.
      return std::make_unique<Gdiplus::SolidBrush>(ToColor(brush.colours.front()));
    }
    // Flipped tiling: with a half-pixel offset the outermost pixels sample just past the ends, and
    // plain tiling would paint them in the colour of the other end.
    Check(linear->SetWrapMode(Gdiplus::WrapModeTileFlipXY));
    const bool plainEnds = brush.colours.size() == 2 &&
                           (brush.positions.size() != 2 || (brush.positions[0] == 0 && brush.positions[1] == 1));
    if (!plainEnds && brush.positions.size() == brush.colours.size()) {
      std::vector<Gdiplus::Color> colours;
      colours.reserve(brush.colours.size());
      for (uint32_t c : brush.colours) colours.push_back(ToColor(c));
      Check(linear->SetInterpolationColors(colours.data(), brush.positions.data(), static_cast<INT>(colours.size())));
    }
    return linear;
  }

  // A solid pen of argb, or one painted with the pen's gradient brush (GDI+ copies the brush, so it
  // need not outlive the pen).
  std::unique_ptr<Gdiplus::Pen> MakePen(const Pen& pen) {
    std::unique_ptr<Gdiplus::Pen> p;
    if (pen.brush.gradient && pen.brush.colours.size() >= 2) {
      if (auto b = MakeBrush(pen.brush)) p = std::make_unique<Gdiplus::Pen>(b.get(), pen.width);
    }
    if (!p) p = std::make_unique<Gdiplus::Pen>(ToColor(pen.argb), pen.width);
    if (pen.roundJoins) {
      p->SetLineJoin(Gdiplus::LineJoinRound);
      p->SetStartCap(Gdiplus::LineCapRound);
      p->SetEndCap(Gdiplus::LineCapRound);
    }
    return p;
  }

  bool Build(const Path& path, Gdiplus::GraphicsPath& gp) {
    for (const Path::Segment& s : path.segments()) {
      switch (s.op) {
        case Path::Op::Line:
          Check(gp.AddLine(ToPoint(s.a), ToPoint(s.b)));
          break;
        case Path::Op::Arc:
          Check(gp.AddArc(ToRect(s.box), s.startDeg, s.sweepDeg));
          break;
        case Path::Op::Close:
          Check(gp.CloseFigure());
          break;
      }
    }
    return Check(gp.GetLastStatus()) && !path.empty();
  }

  void SaveClip() {
    auto saved = std::make_unique<Gdiplus::Region>();
    Check(g_.GetClip(saved.get()));
    clips_.push_back(std::move(saved));
  }
  void UpdateClipBounds() {
    if (!clips_.empty()) Check(g_.GetClipBounds(&clipBounds_));
  }

  Gdiplus::Graphics g_;
  std::vector<std::unique_ptr<Gdiplus::Region>> clips_;  // the clip before each push
  Gdiplus::RectF clipBounds_;                            // in user units; valid while clips_ is not empty
  int32_t status_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Surface and factory

class GdiplusSurface final : public Surface {
 public:
  static std::unique_ptr<GdiplusSurface> Create(int32_t width, int32_t height) {
    MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiBitmap dib(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) return nullptr;
    auto bitmap =
        std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bits));
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return std::unique_ptr<GdiplusSurface>(new GdiplusSurface(width, height, std::move(dc), std::move(dib),
                                                              static_cast<uint32_t*>(bits), std::move(bitmap)));
  }

  ~GdiplusSurface() override {
    canvas_.reset();  // the Graphics before the bitmap it draws on
    bitmap_.reset();  // the GDI+ bitmap before the memory it borrows
    SelectObject(dc_.get(), old_);
  }

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }

  Canvas& NewCanvas() override {
    canvas_.reset();
    canvas_ = std::make_unique<GdiplusCanvas>(*bitmap_);
    return *canvas_;
  }

  void CopyTo(Surface& target, int32_t x, int32_t y, int32_t w, int32_t h) override {
    auto* t = dynamic_cast<GdiplusSurface*>(&target);
    if (!t || t == this) return;
    Flush();
    t->Flush();
    BitBlt(t->dc_.get(), x, y, w, h, dc_.get(), x, y, SRCCOPY);
  }

  void CopyToDevice(uintptr_t deviceContext, int32_t x, int32_t y, int32_t w, int32_t h) override {
    if (deviceContext == 0) return;
    Flush();
    BitBlt(reinterpret_cast<HDC>(deviceContext), x, y, w, h, dc_.get(), x, y, SRCCOPY);
  }

  std::vector<uint32_t> ReadPixels() override {
    Flush();
    GdiFlush();
    std::vector<uint32_t> out(static_cast<size_t>(width_) * static_cast<size_t>(height_));
    std::memcpy(out.data(), bits_, out.size() * sizeof(uint32_t));
    return out;
  }

 private:
  GdiplusSurface(int32_t width, int32_t height, MemoryDc dc, GdiBitmap dib, uint32_t* bits,
                 std::unique_ptr<Gdiplus::Bitmap> bitmap)
      : width_(width),
        height_(height),
        dc_(std::move(dc)),
        dib_(std::move(dib)),
        bits_(bits),
        bitmap_(std::move(bitmap)) {
    old_ = SelectObject(dc_.get(), dib_.get());
  }

  void Flush() {
    if (canvas_) canvas_->Flush();
  }

  int32_t width_;
  int32_t height_;
  MemoryDc dc_;
  GdiBitmap dib_;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_;
  std::unique_ptr<Gdiplus::Bitmap> bitmap_;
  std::unique_ptr<GdiplusCanvas> canvas_;
};

class GdiplusGraphics final : public GraphicsFactory {
 public:
  std::unique_ptr<Surface> CreateSurface(int32_t width, int32_t height) override {
    if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return nullptr;
    return GdiplusSurface::Create(width, height);
  }

  std::unique_ptr<CanvasFont> CreateFont(const std::vector<std::wstring>& families, float sizePx, bool bold,
                                         bool monospace) override {
    std::vector<std::wstring> candidates = families;
    const std::vector<std::wstring> fallbacks =
        monospace ? std::vector<std::wstring>{L"DejaVu Sans Mono", L"Liberation Mono", L"Courier New"}
                  : std::vector<std::wstring>{L"DejaVu Sans", L"Liberation Sans", L"Arial"};
    for (const std::wstring& f : fallbacks) {
      if (std::find(candidates.begin(), candidates.end(), f) == candidates.end()) candidates.push_back(f);
    }
    const INT style = bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular;
    for (const std::wstring& name : candidates) {
      Gdiplus::FontFamily family(name.c_str());
      if (auto font = MakeFont(family, sizePx, style)) return std::make_unique<GdiplusFont>(std::move(font), name);
    }
    // The generic family in the style, else regular: plain text beats no text.
    const std::wstring generic = GenericFamilyName(monospace);
    if (generic.empty()) return nullptr;
    Gdiplus::FontFamily family(generic.c_str());
    for (INT s : {style, static_cast<INT>(Gdiplus::FontStyleRegular)}) {
      if (auto font = MakeFont(family, sizePx, s)) return std::make_unique<GdiplusFont>(std::move(font), generic);
    }
    return nullptr;
  }

  std::unique_ptr<CanvasImage> CreateImage(int32_t width, int32_t height,
                                           const std::vector<uint32_t>& premultipliedArgb) override {
    if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide ||
        premultipliedArgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
      return nullptr;
    }
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    Gdiplus::Rect rect(0, 0, width, height);
    Gdiplus::BitmapData data{};
    if (bitmap->LockBits(&rect, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &data) != Gdiplus::Ok) {
      return nullptr;
    }
    auto* base = static_cast<BYTE*>(data.Scan0);
    for (int32_t y = 0; y < height; ++y) {
      std::memcpy(base + static_cast<ptrdiff_t>(y) * data.Stride,
                  premultipliedArgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width),
                  static_cast<size_t>(width) * 4);
    }
    bitmap->UnlockBits(&data);
    return std::make_unique<GdiplusImage>(std::move(bitmap));
  }

  std::unique_ptr<CanvasImage> WrapPremultipliedArgb(int32_t width, int32_t height, const uint32_t* pixels) override {
    if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide || !pixels) return nullptr;
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppPARGB,
                                                    reinterpret_cast<BYTE*>(const_cast<uint32_t*>(pixels)));
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return std::make_unique<GdiplusImage>(std::move(bitmap));
  }
  std::unique_ptr<CanvasImage> WrapRgb32(int32_t width, int32_t height, const uint8_t* pixels) override {
    if (width < 1 || height < 1 || width > kMaxSurfaceSide || height > kMaxSurfaceSide || !pixels) return nullptr;
    // GDI+ only reads through the pointer of a bitmap it does not lock for writing.
    auto bitmap =
        std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppRGB, const_cast<BYTE*>(pixels));
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return std::make_unique<GdiplusImage>(std::move(bitmap));
  }
};

}  // namespace

void ReleaseGdiplusCanvasCaches() { Formats().Release(); }

GraphicsFactory& SystemGraphics() {
  static GdiplusGraphics graphics;
  return graphics;
}

}  // namespace tolvane
