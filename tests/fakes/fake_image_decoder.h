// An image decoder that understands one made-up format instead of PNG, so that map tests on the
// host can say which tile holds which picture: the bytes "FAKEPNG <width> <height> <argb hex>"
// decode to a solid image of that size and premultiplied colour. Anything else fails to decode.
// It counts its calls; safe to call from several threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/image_decoding.h"

namespace tolvane {

class FakeImageDecoder final : public ImageDecoder {
 public:
  static std::string Encode(int width, int height, uint32_t argb) {
    char text[64];
    std::snprintf(text, sizeof text, "FAKEPNG %d %d %08X", width, height, static_cast<unsigned>(argb));
    return text;
  }

  bool DecodePng(const std::string& bytes, int& width, int& height, std::vector<uint32_t>& pixels) override {
    calls.fetch_add(1);
    width = 0;
    height = 0;
    pixels.clear();
    int w = 0, h = 0;
    unsigned argb = 0;
    if (std::sscanf(bytes.c_str(), "FAKEPNG %d %d %8X", &w, &h, &argb) != 3 || w <= 0 || h <= 0 || w > 4096 ||
        h > 4096) {
      return false;
    }
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), argb);
    return true;
  }

  std::atomic<int> calls{0};
};

}  // namespace tolvane
