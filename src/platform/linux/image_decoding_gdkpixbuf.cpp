// Pictures, GIF animations and map tiles through GdkPixbuf.
//
// GdkPixbuf gives straight-alpha RGBA bytes; the canvas takes premultiplied 0xAARRGGBB words, so
// every decode ends in one conversion pass. Map tiles come from the network: they are read only by
// the PNG loader, never by whatever loader the bytes would pick.
//
// Animations: GdkPixbuf steps through a GIF by time and cannot say how many frames it has, so the
// frame list and the raw delays come from the file's blocks (appearance/gif_frames.h), and frame i
// is the picture GdkPixbuf shows at the sum of its own delays of the frames before it. Stepping
// forward reuses one iterator (each step composites one frame); going back to the start makes a
// new one. Main thread only, except DecodePng, which any thread may call.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <memory>
#include <string>
#include <vector>

#include "appearance/gif_frames.h"
#include "platform/image_decoding.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr int32_t kMaxSide = 16384;

struct Unref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref>;

// The pixbuf's pixels as premultiplied ARGB; false for a format GdkPixbuf does not normally make.
bool PremultipliedPixels(const GdkPixbuf* pixbuf, std::vector<uint32_t>& out) {
  out.clear();
  const int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 ||
      channels != (alpha ? 4 : 3)) {
    return false;
  }
  const guint8* base = gdk_pixbuf_read_pixels(pixbuf);
  out.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    const guint8* p = base + static_cast<ptrdiff_t>(y) * stride;
    uint32_t* row = out.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
    for (int x = 0; x < w; ++x, p += channels) {
      const uint32_t a = alpha ? p[3] : 255;
      const auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
      row[x] = (a << 24) | (mul(p[0]) << 16) | (mul(p[1]) << 8) | mul(p[2]);
    }
  }
  return true;
}

// The animation in the bytes, read by the named loader or by whichever fits (type null).
GPtr<GdkPixbufAnimation> LoadAnimation(const std::string& bytes, const char* type) {
  GPtr<GdkPixbufLoader> loader(type ? gdk_pixbuf_loader_new_with_type(type, nullptr) : gdk_pixbuf_loader_new());
  if (!loader) return nullptr;
  const bool written =
      gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader.get(), nullptr);  // always, also after a failed write
  if (!written || !closed) return nullptr;
  GdkPixbufAnimation* animation = gdk_pixbuf_loader_get_animation(loader.get());
  if (!animation) return nullptr;
  return GPtr<GdkPixbufAnimation>(GDK_PIXBUF_ANIMATION(g_object_ref(animation)));
}

class SystemDecoder final : public ImageDecoder {
 public:
  bool DecodePng(const std::string& bytes, int& width, int& height, std::vector<uint32_t>& pixels) override {
    width = height = 0;
    pixels.clear();
    GPtr<GdkPixbufAnimation> animation = LoadAnimation(bytes, "png");
    GdkPixbuf* still = animation ? gdk_pixbuf_animation_get_static_image(animation.get()) : nullptr;
    if (!still || !PremultipliedPixels(still, pixels)) return false;
    width = gdk_pixbuf_get_width(still);
    height = gdk_pixbuf_get_height(still);
    return true;
  }
};

class PixbufPicture final : public DecodedPicture {
 public:
  PixbufPicture(GPtr<GdkPixbufAnimation> animation, std::vector<uint32_t> rawDelays)
      : animation_(std::move(animation)), rawDelays_(std::move(rawDelays)) {
    if (rawDelays_.size() >= 2 && !gdk_pixbuf_animation_is_static_image(animation_.get())) {
      // GdkPixbuf's own (clamped) delays, to find each frame on its time line.
      Restart();
      starts_.push_back(0);
      for (size_t i = 1; i < rawDelays_.size(); ++i) {
        const int delay = gdk_pixbuf_animation_iter_get_delay_time(iter_.get());
        if (delay <= 0) break;  // GdkPixbuf sees fewer frames than the blocks list
        starts_.push_back(starts_.back() + delay);
        Advance(starts_.back());
      }
      if (starts_.size() != rawDelays_.size()) starts_.clear();
      Restart();
    }
  }

  int32_t Width() const override { return gdk_pixbuf_animation_get_width(animation_.get()); }
  int32_t Height() const override { return gdk_pixbuf_animation_get_height(animation_.get()); }
  uint32_t TimeFrameCount() override { return starts_.empty() ? 1 : static_cast<uint32_t>(starts_.size()); }
  std::vector<uint32_t> FrameDelays() override { return starts_.empty() ? std::vector<uint32_t>{} : rawDelays_; }

  bool SelectFrame(uint32_t index) override {
    if (starts_.empty()) return index == 0;
    if (index >= starts_.size()) return false;
    if (index < frame_) Restart();
    Advance(starts_[index]);
    frame_ = index;
    return true;
  }

  bool Pixels(std::vector<uint32_t>& pixels) override {
    GdkPixbuf* pixbuf = iter_ ? gdk_pixbuf_animation_iter_get_pixbuf(iter_.get())
                              : gdk_pixbuf_animation_get_static_image(animation_.get());
    return pixbuf && PremultipliedPixels(pixbuf, pixels);
  }

 private:
  // GdkPixbuf's iterator API takes wall-clock times; a fixed origin makes them offsets.
  static constexpr gint64 kOriginUs = 1'000'000'000'000;

  void Restart() {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    const GTimeVal start{static_cast<glong>(kOriginUs / 1'000'000), 0};
    iter_.reset(gdk_pixbuf_animation_get_iter(animation_.get(), &start));
    G_GNUC_END_IGNORE_DEPRECATIONS
    frame_ = 0;
  }
  void Advance(int64_t offsetMs) {
    const gint64 us = kOriginUs + offsetMs * 1000;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    const GTimeVal at{static_cast<glong>(us / 1'000'000), static_cast<glong>(us % 1'000'000)};
    gdk_pixbuf_animation_iter_advance(iter_.get(), &at);
    G_GNUC_END_IGNORE_DEPRECATIONS
  }

  GPtr<GdkPixbufAnimation> animation_;
  GPtr<GdkPixbufAnimationIter> iter_;
  std::vector<uint32_t> rawDelays_;
  std::vector<int64_t> starts_;  // ms from the start at which each frame shows; empty for a still
  uint32_t frame_ = 0;
};

class SystemPictures final : public PictureDecoder {
 public:
  std::unique_ptr<DecodedPicture> DecodePicture(const std::string& fileBytes) override {
    GPtr<GdkPixbufAnimation> animation = LoadAnimation(fileBytes, nullptr);
    if (!animation || gdk_pixbuf_animation_get_width(animation.get()) < 1) return nullptr;
    return std::make_unique<PixbufPicture>(std::move(animation), GifFrameDelays(fileBytes));
  }

  std::unique_ptr<DecodedPicture> DecodePictureFile(const std::wstring& path) override {
    const std::string name = WideToUtf8(path);
    gchar* contents = nullptr;
    gsize length = 0;
    if (name.empty() || !g_file_get_contents(name.c_str(), &contents, &length, nullptr)) return nullptr;
    const std::string bytes(contents, length);
    g_free(contents);
    return DecodePicture(bytes);
  }
};

}  // namespace

ImageDecoder& SystemImageDecoder() {
  static SystemDecoder decoder;
  return decoder;
}

PictureDecoder& SystemPictureDecoder() {
  static SystemPictures decoder;
  return decoder;
}

}  // namespace tolvane
