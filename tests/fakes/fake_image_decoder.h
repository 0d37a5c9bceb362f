// An image decoder that understands one made-up format instead of PNG, so that map tests on the
// host can say which tile holds which picture: the bytes "FAKEPNG <width> <height> <argb hex>"
// decode to a solid image of that size and premultiplied colour. EncodePng wraps the same text in
// the chunk structure of a real PNG (signature, IHDR, the text as IDAT, IEND, with checksums), for
// code that checks a file's PNG structure before it decodes; it decodes the same. Anything else
// fails to decode. It counts its calls; safe to call from several threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lookup/tile_cache.h"
#include "platform/image_decoding.h"

namespace tolvane {

class FakeImageDecoder final : public ImageDecoder {
 public:
  static std::string Encode(int width, int height, uint32_t argb) {
    char text[64];
    std::snprintf(text, sizeof text, "FAKEPNG %d %d %08X", width, height, static_cast<unsigned>(argb));
    return text;
  }

  static std::string EncodePng(int width, int height, uint32_t argb) {
    std::string ihdr;
    PutBigEndian(ihdr, static_cast<uint32_t>(width));
    PutBigEndian(ihdr, static_cast<uint32_t>(height));
    ihdr += std::string("\x08\x06\x00\x00\x00", 5);
    std::string png = kPngSignature;
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", Encode(width, height, argb));
    PutChunk(png, "IEND", "");
    return png;
  }

  bool DecodePng(const std::string& bytes, int& width, int& height, std::vector<uint32_t>& pixels) override {
    calls.fetch_add(1);
    width = 0;
    height = 0;
    pixels.clear();
    int w = 0, h = 0;
    unsigned argb = 0;
    const char* text = bytes.c_str();
    if (bytes.rfind(kPngSignature, 0) == 0 && bytes.size() > 41) text += 41;  // the IDAT data of EncodePng
    if (std::sscanf(text, "FAKEPNG %d %d %8X", &w, &h, &argb) != 3 || w <= 0 || h <= 0 || w > 4096 || h > 4096) {
      return false;
    }
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), argb);
    return true;
  }

  std::atomic<int> calls{0};

 private:
  static constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

  static void PutBigEndian(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
  }
  static void PutChunk(std::string& png, const std::string& type, const std::string& data) {
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    const std::string body = type + data;
    png += body;
    PutBigEndian(png, Crc32(body));
  }
};

}  // namespace tolvane
