// Small media files made at test time, byte by byte, so no binary sits in the repository: a solid
// PNG (stored deflate blocks), an animated GIF with one solid frame per colour and its delays (LZW
// codes kept at three bits by a clear code after every two pixels), a silent PCM WAV and an
// uncompressed AVI with solid 24-bit frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lookup/tile_cache.h"

namespace tolvane::made {

inline void PutBig32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}
inline void PutLittle16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void PutLittle32(std::string& out, uint32_t v) {
  PutLittle16(out, v & 0xFFFF);
  PutLittle16(out, v >> 16);
}

inline std::string Png(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter None
    for (int x = 0; x < width; ++x) raw += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
  }
  std::string zlib = "\x78\x01";
  for (size_t at = 0;; at += 65535) {
    const size_t n = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + n >= raw.size();
    zlib.push_back(last ? 1 : 0);
    PutLittle16(zlib, static_cast<uint32_t>(n));
    PutLittle16(zlib, static_cast<uint32_t>(~n & 0xFFFF));
    zlib.append(raw, at, n);
    if (last) break;
  }
  uint32_t s1 = 1, s2 = 0;
  for (char ch : raw) {
    s1 = (s1 + static_cast<uint8_t>(ch)) % 65521;
    s2 = (s2 + s1) % 65521;
  }
  PutBig32(zlib, (s2 << 16) | s1);

  auto chunk = [](std::string& png, const char* type, const std::string& data) {
    PutBig32(png, static_cast<uint32_t>(data.size()));
    const std::string body = type + data;
    png += body;
    PutBig32(png, Crc32(body));
  };
  std::string ihdr;
  PutBig32(ihdr, static_cast<uint32_t>(width));
  PutBig32(ihdr, static_cast<uint32_t>(height));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", zlib);
  chunk(png, "IEND", "");
  return png;
}

struct GifFrame {
  uint32_t rgb;         // 0xRRGGBB
  uint16_t hundredths;  // delay
};

// Up to four frames of width × height, each one solid colour.
inline std::string AnimatedGif(int width, int height, const std::vector<GifFrame>& frames) {
  std::string gif = "GIF89a";
  PutLittle16(gif, static_cast<uint32_t>(width));
  PutLittle16(gif, static_cast<uint32_t>(height));
  gif += {static_cast<char>(0xF1), 0, 0};  // global table of 4 colours
  for (size_t i = 0; i < 4; ++i) {
    const uint32_t c = i < frames.size() ? frames[i].rgb : 0;
    gif += {static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c)};
  }
  gif += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop forever
  for (size_t f = 0; f < frames.size(); ++f) {
    gif += std::string("\x21\xF9\x04\x04", 4);  // graphic control: dispose to background
    PutLittle16(gif, frames[f].hundredths);
    gif += std::string("\x00\x00", 2);
    gif.push_back(0x2C);
    PutLittle16(gif, 0);
    PutLittle16(gif, 0);
    PutLittle16(gif, static_cast<uint32_t>(width));
    PutLittle16(gif, static_cast<uint32_t>(height));
    gif.push_back(0);

    std::string codes;
    uint32_t bits = 0;
    int used = 0;
    auto emit = [&](uint32_t code) {
      bits |= code << used;
      used += 3;
      while (used >= 8) {
        codes.push_back(static_cast<char>(bits & 0xFF));
        bits >>= 8;
        used -= 8;
      }
    };
    emit(4);  // clear
    int sinceClear = 0;
    for (int p = 0; p < width * height; ++p) {
      if (sinceClear == 2) {
        emit(4);
        sinceClear = 0;
      }
      emit(static_cast<uint32_t>(f));
      ++sinceClear;
    }
    emit(5);  // end of information
    if (used > 0) codes.push_back(static_cast<char>(bits & 0xFF));
    gif.push_back(2);  // minimum code size
    for (size_t at = 0; at < codes.size(); at += 255) {
      const size_t n = std::min<size_t>(codes.size() - at, 255);
      gif.push_back(static_cast<char>(n));
      gif.append(codes, at, n);
    }
    gif.push_back(0);
  }
  gif.push_back(0x3B);
  return gif;
}

inline std::string SilentWav(uint32_t milliseconds) {
  const uint32_t samples = 8000 * milliseconds / 1000;
  std::string wav = "RIFF";
  PutLittle32(wav, 36 + samples);
  wav += "WAVEfmt ";
  PutLittle32(wav, 16);
  PutLittle16(wav, 1);  // PCM
  PutLittle16(wav, 1);  // mono
  PutLittle32(wav, 8000);
  PutLittle32(wav, 8000);
  PutLittle16(wav, 1);
  PutLittle16(wav, 8);
  wav += "data";
  PutLittle32(wav, samples);
  wav.append(samples, static_cast<char>(0x80));
  return wav;
}

// An uncompressed AVI: frameCount solid frames of rgb at 25 frames per second, 24-bit bottom-up
// rows as a DIB stores them; width should be a multiple of 4 (no row padding).
inline std::string UncompressedAvi(int width, int height, int frameCount, uint32_t rgb) {
  const uint32_t frameBytes = static_cast<uint32_t>(width * height * 3);
  std::string frame;
  for (int i = 0; i < width * height; ++i) {
    frame += {static_cast<char>(rgb), static_cast<char>(rgb >> 8), static_cast<char>(rgb >> 16)};
  }
  auto list = [](const char* type, const std::string& body) {
    std::string out = "LIST";
    PutLittle32(out, static_cast<uint32_t>(body.size() + 4));
    return out + type + body;
  };
  auto chunk = [](const char* id, const std::string& body) {
    std::string out = id;
    PutLittle32(out, static_cast<uint32_t>(body.size()));
    out += body;
    if (body.size() % 2) out.push_back(0);
    return out;
  };

  std::string avih;
  PutLittle32(avih, 40000);  // µs per frame
  PutLittle32(avih, frameBytes * 25);
  PutLittle32(avih, 0);
  PutLittle32(avih, 0x10);  // has an index
  PutLittle32(avih, static_cast<uint32_t>(frameCount));
  PutLittle32(avih, 0);
  PutLittle32(avih, 1);
  PutLittle32(avih, frameBytes);
  PutLittle32(avih, static_cast<uint32_t>(width));
  PutLittle32(avih, static_cast<uint32_t>(height));
  avih.append(16, '\0');

  std::string strh = "vidsDIB ";
  PutLittle32(strh, 0);
  PutLittle32(strh, 0);  // priority, language
  PutLittle32(strh, 0);
  PutLittle32(strh, 1);   // scale
  PutLittle32(strh, 25);  // rate
  PutLittle32(strh, 0);
  PutLittle32(strh, static_cast<uint32_t>(frameCount));
  PutLittle32(strh, frameBytes);
  PutLittle32(strh, 0xFFFFFFFFu);
  PutLittle32(strh, 0);
  PutLittle16(strh, 0);
  PutLittle16(strh, 0);
  PutLittle16(strh, static_cast<uint32_t>(width));
  PutLittle16(strh, static_cast<uint32_t>(height));

  std::string strf;
  PutLittle32(strf, 40);
  PutLittle32(strf, static_cast<uint32_t>(width));
  PutLittle32(strf, static_cast<uint32_t>(height));
  PutLittle16(strf, 1);
  PutLittle16(strf, 24);
  PutLittle32(strf, 0);  // BI_RGB
  PutLittle32(strf, frameBytes);
  strf.append(16, '\0');

  const std::string hdrl = list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
  std::string movi;
  std::string idx;
  for (int i = 0; i < frameCount; ++i) {
    idx += "00db";
    PutLittle32(idx, 0x10);  // key frame
    PutLittle32(idx, static_cast<uint32_t>(4 + movi.size()));
    PutLittle32(idx, frameBytes);
    movi += chunk("00db", frame);
  }
  const std::string body = "AVI " + hdrl + list("movi", movi) + chunk("idx1", idx);
  std::string avi = "RIFF";
  PutLittle32(avi, static_cast<uint32_t>(body.size()));
  return avi + body;
}

}  // namespace tolvane::made
