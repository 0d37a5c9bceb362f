// The Linux host has no image codec: the host never shows a map, and tests use the fake decoder.
// Decoding therefore always fails here, which the map treats as a grey tile.
#include "platform/image_decoding.h"

namespace tolvane {
namespace {

class NoImageDecoder final : public ImageDecoder {
 public:
  bool DecodePng(const std::string&, int& width, int& height, std::vector<uint32_t>& premultipliedArgb) override {
    width = 0;
    height = 0;
    premultipliedArgb.clear();
    return false;
  }
};

}  // namespace

ImageDecoder& SystemImageDecoder() {
  static NoImageDecoder decoder;
  return decoder;
}

}  // namespace tolvane
