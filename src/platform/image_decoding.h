// Decoding of compressed images into 32-bit premultiplied ARGB pixels: PNG map tiles from bytes,
// and pictures (still or animated, any format the system reads) for the window's background and
// the loading screen.
//
// On Windows this is GDI+, which the caller must have started (GdiplusStartup) before the first
// call: the program does it in its entry point, the Windows tests in a fixture. The bytes come from
// the network and are untrusted; a failed decode returns false and leaves the outputs empty (width
// and height 0). Pixels are row-major, top row first, width * height of them, each 0xAARRGGBB with
// the colour channels already multiplied by alpha. Safe to call from several threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {

class ImageDecoder {
 public:
  virtual ~ImageDecoder() = default;
  // Decodes PNG only: bytes that are not one whole PNG (lookup/png_check.h) fail without reaching
  // the system's image library, which would read other formats from them.
  virtual bool DecodePng(const std::string& bytes, int& width, int& height,
                         std::vector<uint32_t>& premultipliedArgb) = 0;
};

// The process's decoder. On the Linux host, which never runs the program, it decodes nothing and
// always returns false.
ImageDecoder& SystemImageDecoder();

// The most pixels a picture may have: its pixels are copied on the way to the screen, 256 MiB
// at this size.
inline constexpr uint64_t kMaxPicturePixels = 8192ull * 8192ull;

// A decoded picture that stays open (with the memory it was decoded from) so that the frames of an
// animated GIF can be selected one after the other. Main thread only.
class DecodedPicture {
 public:
  virtual ~DecodedPicture() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  // The number of frames when the image's first frame dimension is the time dimension (an
  // animation), otherwise 1.
  virtual uint32_t TimeFrameCount() = 0;
  // The raw values of the frame-delay property (hundredths of a second, one per frame as the file
  // stores them); empty when the image has no such property.
  virtual std::vector<uint32_t> FrameDelays() = 0;
  // Makes frame index (on the time dimension) the active one; false when it cannot.
  virtual bool SelectFrame(uint32_t index) = 0;
  // The active frame's pixels, premultiplied ARGB, Width() * Height() of them, top row first.
  // False (and pixels empty) when they cannot be had or are more than kMaxPicturePixels; throws
  // std::bad_alloc when no memory can be had for them.
  virtual bool Pixels(std::vector<uint32_t>& premultipliedArgb) = 0;
};

class PictureDecoder {
 public:
  virtual ~PictureDecoder() = default;
  // Decodes the whole content of a file; the decoder keeps its own copy of the bytes for as long
  // as the picture lives. Null when the bytes are not a picture or its width is 0.
  virtual std::unique_ptr<DecodedPicture> DecodePicture(const std::string& fileBytes) = 0;
  // Decodes straight from a file; null when it cannot be opened or decoded.
  virtual std::unique_ptr<DecodedPicture> DecodePictureFile(const std::wstring& path) = 0;
};

// The process's picture decoder (GDI+ on Windows, which must have been started); on the Linux host
// nothing decodes.
PictureDecoder& SystemPictureDecoder();

}  // namespace tolvane
