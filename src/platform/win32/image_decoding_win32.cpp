// PNG decoding with GDI+ from a memory stream.
//
// The stream is a private copy of the bytes (SHCreateMemStream copies), and GDI+ may read from it
// for as long as the bitmap lives, so the stream is released only after the bitmap. Pixels are
// taken with LockBits in PixelFormat32bppPARGB, which makes GDI+ do the premultiplication. Images
// larger than kMaxSide on a side are refused before their pixels are copied: tiles are 256 pixels,
// and a hostile server must not make the worker copy gigabytes. GDI+ must already be started.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <cstring>
#include <memory>

#include "lookup/png_check.h"
#include "platform/image_decoding.h"

namespace tolvane {
namespace {

constexpr UINT kMaxSide = 4096;

struct StreamRelease {
  void operator()(IStream* s) const { s->Release(); }
};

class GdiplusImageDecoder final : public ImageDecoder {
 public:
  bool DecodePng(const std::string& bytes, int& width, int& height, std::vector<uint32_t>& pixels) override {
    width = 0;
    height = 0;
    pixels.clear();
    // GDI+ picks its decoder from the content, whatever the caller expects: anything but one whole
    // PNG (a BMP, a metafile, a cut-off file) is refused before GDI+ sees a byte.
    if (bytes.size() > 0x7FFFFFFF || !IsIntactPng(bytes)) return false;
    std::unique_ptr<IStream, StreamRelease> stream(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    if (!stream) return false;
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream.get()));
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok) return false;
    const UINT w = bitmap->GetWidth();
    const UINT h = bitmap->GetHeight();
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return false;

    Gdiplus::Rect rect(0, 0, static_cast<INT>(w), static_cast<INT>(h));
    Gdiplus::BitmapData data = {};
    if (bitmap->LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok) return false;
    std::vector<uint32_t> out(static_cast<size_t>(w) * h);
    const auto* base = static_cast<const BYTE*>(data.Scan0);
    for (UINT y = 0; y < h; ++y) {
      const BYTE* row = base + static_cast<ptrdiff_t>(y) * data.Stride;
      std::memcpy(out.data() + static_cast<size_t>(y) * w, row, static_cast<size_t>(w) * 4);
    }
    bitmap->UnlockBits(&data);
    bitmap.reset();  // before the stream it reads from

    width = static_cast<int>(w);
    height = static_cast<int>(h);
    pixels = std::move(out);
    return true;
  }
};

}  // namespace

ImageDecoder& SystemImageDecoder() {
  static GdiplusImageDecoder decoder;
  return decoder;
}

}  // namespace tolvane
