// The PNG structure check and its CRC-32; see png_check.h. One pass over the bytes, no allocation.
#include "lookup/png_check.h"

#include <array>

namespace tolvane {
namespace {

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";

uint32_t BigEndian32(std::string_view bytes, size_t at) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3]));
}

bool IsChunkLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

uint32_t Crc32(std::string_view bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (const char ch : bytes) c = table[(c ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

bool IsIntactPng(std::string_view bytes) {
  if (bytes.substr(0, kPngSignature.size()) != kPngSignature) return false;
  size_t at = kPngSignature.size();
  bool first = true;
  bool sawData = false;
  while (bytes.size() - at >= 12) {
    const uint32_t length = BigEndian32(bytes, at);
    if (length > bytes.size() - at - 12) return false;  // the chunk runs past the end
    const std::string_view type = bytes.substr(at + 4, 4);
    for (const char c : type) {
      if (!IsChunkLetter(c)) return false;
    }
    if (Crc32(bytes.substr(at + 4, 4 + length)) != BigEndian32(bytes, at + 8 + length)) return false;
    if (first && (type != "IHDR" || length != 13)) return false;
    first = false;
    if (type == "IDAT") sawData = true;
    at += 12 + length;
    if (type == "IEND") return length == 0 && sawData && at == bytes.size();
  }
  return false;  // cut short before IEND
}

}  // namespace tolvane
