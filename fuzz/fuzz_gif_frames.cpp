// Fuzz target for the GIF block walk: any bytes give a list without a crash or a hang, never more
// frames than the bytes could describe (an image takes at least 12 bytes), and a file cut short
// lists a prefix of the frames of the whole file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "appearance/gif_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<uint32_t> whole = tolvane::GifFrameDelays(bytes);
  if (whole.size() * 12 > size) std::abort();
  const std::vector<uint32_t> cut = tolvane::GifFrameDelays(bytes.substr(0, size / 2));
  if (cut.size() > whole.size()) std::abort();
  for (size_t i = 0; i < cut.size(); ++i) {
    if (cut[i] != whole[i]) std::abort();
  }
  for (uint32_t d : whole) {
    if (d > 0xFFFF) std::abort();
  }
  return 0;
}
