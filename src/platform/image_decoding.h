// Decoding of compressed images (PNG map tiles) into 32-bit premultiplied ARGB pixels.
//
// On Windows this is GDI+, which the caller must have started (GdiplusStartup) before the first
// call: the program does it in its entry point, the Windows tests in a fixture. The bytes come from
// the network and are untrusted; a failed decode returns false and leaves the outputs empty (width
// and height 0). Pixels are row-major, top row first, width * height of them, each 0xAARRGGBB with
// the colour channels already multiplied by alpha. Safe to call from several threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

class ImageDecoder {
 public:
  virtual ~ImageDecoder() = default;
  virtual bool DecodePng(const std::string& bytes, int& width, int& height,
                         std::vector<uint32_t>& premultipliedArgb) = 0;
};

// The process's decoder. On the Linux host, which never runs the program, it decodes nothing and
// always returns false.
ImageDecoder& SystemImageDecoder();

}  // namespace tolvane
