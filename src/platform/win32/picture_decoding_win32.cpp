// Pictures with GDI+: decoded from a memory stream that owns a movable memory block, or straight
// from a file, and kept open so the frames of an animated GIF can be selected in turn.
//
// GDI+ may read from the stream for as long as the bitmap lives, so the stream is released only
// after the bitmap. Pixels are taken with LockBits in PixelFormat32bppPARGB (GDI+ premultiplies).
// A picture of more than kMaxPicturePixels pixels is refused when its pixels are asked for (the
// caller says so before asking): a small compressed file can claim a huge size.
#include "platform/win32/gdiplus_headers.h"

#include <cstring>
#include <memory>

#include "platform/image_decoding.h"

namespace tolvane {
namespace {

struct StreamRelease {
  void operator()(IStream* s) const { s->Release(); }
};
using StreamPtr = std::unique_ptr<IStream, StreamRelease>;

class GdiplusPicture final : public DecodedPicture {
 public:
  GdiplusPicture(std::unique_ptr<Gdiplus::Bitmap> bitmap, StreamPtr stream)
      : stream_(std::move(stream)), bitmap_(std::move(bitmap)) {}
  ~GdiplusPicture() override { bitmap_.reset(); }  // before the stream it reads from

  int32_t Width() const override { return static_cast<int32_t>(bitmap_->GetWidth()); }
  int32_t Height() const override { return static_cast<int32_t>(bitmap_->GetHeight()); }

  uint32_t TimeFrameCount() override {
    const UINT dimensions = bitmap_->GetFrameDimensionsCount();
    if (dimensions == 0) return 1;
    std::unique_ptr<GUID[]> list(new GUID[dimensions]);
    if (bitmap_->GetFrameDimensionsList(list.get(), dimensions) != Gdiplus::Ok) return 1;
    if (list[0] != Gdiplus::FrameDimensionTime) return 1;
    const UINT frames = bitmap_->GetFrameCount(&Gdiplus::FrameDimensionTime);
    return frames == 0 ? 1 : frames;
  }

  std::vector<uint32_t> FrameDelays() override {
    std::vector<uint32_t> delays;
    const UINT size = bitmap_->GetPropertyItemSize(PropertyTagFrameDelay);
    if (size < sizeof(Gdiplus::PropertyItem)) return delays;
    std::unique_ptr<uint64_t[]> storage(new uint64_t[(size + 7) / 8]);  // aligned for the item
    auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(storage.get());
    if (bitmap_->GetPropertyItem(PropertyTagFrameDelay, size, item) != Gdiplus::Ok || !item->value) return delays;
    const size_t available = size - (static_cast<const char*>(item->value) - reinterpret_cast<const char*>(item));
    const size_t count = std::min<size_t>(item->length, available) / 4;
    delays.resize(count);
    std::memcpy(delays.data(), item->value, count * 4);
    return delays;
  }

  bool SelectFrame(uint32_t index) override {
    return bitmap_->SelectActiveFrame(&Gdiplus::FrameDimensionTime, index) == Gdiplus::Ok;
  }

  bool Pixels(std::vector<uint32_t>& out) override {
    out.clear();
    const UINT w = bitmap_->GetWidth();
    const UINT h = bitmap_->GetHeight();
    if (w == 0 || h == 0 || static_cast<uint64_t>(w) * h > kMaxPicturePixels) return false;
    Gdiplus::Rect rect(0, 0, static_cast<INT>(w), static_cast<INT>(h));
    Gdiplus::BitmapData data = {};
    if (bitmap_->LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok) {
      return false;
    }
    out.resize(static_cast<size_t>(w) * h);
    const auto* base = static_cast<const BYTE*>(data.Scan0);
    for (UINT y = 0; y < h; ++y) {
      std::memcpy(out.data() + static_cast<size_t>(y) * w, base + static_cast<ptrdiff_t>(y) * data.Stride,
                  static_cast<size_t>(w) * 4);
    }
    bitmap_->UnlockBits(&data);
    return true;
  }

 private:
  StreamPtr stream_;
  std::unique_ptr<Gdiplus::Bitmap> bitmap_;
};

std::unique_ptr<DecodedPicture> Keep(std::unique_ptr<Gdiplus::Bitmap> bitmap, StreamPtr stream) {
  if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok || bitmap->GetWidth() == 0) return nullptr;
  return std::make_unique<GdiplusPicture>(std::move(bitmap), std::move(stream));
}

class GdiplusPictureDecoder final : public PictureDecoder {
 public:
  std::unique_ptr<DecodedPicture> DecodePicture(const std::string& bytes) override {
    if (bytes.empty()) return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return nullptr;
    void* at = GlobalLock(block);
    if (!at) {
      GlobalFree(block);
      return nullptr;
    }
    std::memcpy(at, bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* raw = nullptr;
    if (CreateStreamOnHGlobal(block, TRUE, &raw) != S_OK || !raw) {  // the stream owns the block from here
      GlobalFree(block);
      return nullptr;
    }
    StreamPtr stream(raw);
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream.get()));
    return Keep(std::move(bitmap), std::move(stream));
  }

  std::unique_ptr<DecodedPicture> DecodePictureFile(const std::wstring& path) override {
    if (path.empty()) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromFile(path.c_str()));
    return Keep(std::move(bitmap), nullptr);
  }
};

}  // namespace

PictureDecoder& SystemPictureDecoder() {
  static GdiplusPictureDecoder decoder;
  return decoder;
}

}  // namespace tolvane
