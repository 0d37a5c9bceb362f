// GIF block walk; see gif_frames.h.
#include "appearance/gif_frames.h"

#include <cstddef>

namespace tolvane {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool Byte(uint8_t& out) {
    if (at_ >= bytes_.size()) return false;
    out = static_cast<uint8_t>(bytes_[at_++]);
    return true;
  }
  bool Skip(size_t n) {
    if (bytes_.size() - at_ < n) return false;
    at_ += n;
    return true;
  }
  // A chain of data sub-blocks up to its zero-length terminator; the first block's first bytes are
  // copied to first (at most its size).
  bool SubBlocks(uint8_t* first = nullptr, size_t firstSize = 0) {
    for (bool isFirst = true;; isFirst = false) {
      uint8_t length = 0;
      if (!Byte(length)) return false;
      if (length == 0) return true;
      if (bytes_.size() - at_ < length) return false;  // the block runs past the data
      if (isFirst && first) {
        for (size_t i = 0; i < firstSize && i < length; ++i) first[i] = static_cast<uint8_t>(bytes_[at_ + i]);
      }
      if (!Skip(length)) return false;
    }
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

size_t ColourTableBytes(uint8_t packed) { return (packed & 0x80) ? 3u * (2u << (packed & 0x07)) : 0u; }

}  // namespace

std::vector<uint32_t> GifFrameDelays(std::string_view bytes) {
  std::vector<uint32_t> delays;
  if (bytes.size() < 13 || (bytes.substr(0, 6) != "GIF87a" && bytes.substr(0, 6) != "GIF89a")) return delays;
  Reader r(bytes);
  r.Skip(10);
  uint8_t packed = 0;
  if (!r.Byte(packed) || !r.Skip(2) || !r.Skip(ColourTableBytes(packed))) return delays;
  uint32_t pendingDelay = 0;
  for (;;) {
    uint8_t introducer = 0;
    if (!r.Byte(introducer)) return delays;
    if (introducer == 0x21) {
      uint8_t label = 0;
      uint8_t control[4] = {};
      if (!r.Byte(label) || !r.SubBlocks(control, sizeof control)) return delays;
      if (label == 0xF9) pendingDelay = static_cast<uint32_t>(control[1]) | (static_cast<uint32_t>(control[2]) << 8);
    } else if (introducer == 0x2C) {
      uint8_t descriptor[9] = {};
      for (uint8_t& b : descriptor) {
        if (!r.Byte(b)) return delays;
      }
      if (!r.Skip(ColourTableBytes(descriptor[8])) || !r.Skip(1) || !r.SubBlocks()) return delays;
      delays.push_back(pendingDelay);
      pendingDelay = 0;
    } else {
      return delays;  // the trailer (0x3B) or a block this walk does not know
    }
  }
}

}  // namespace tolvane
