// The Linux host has no image codec: the host never shows a map or a picture, and tests use the
// fake decoders. Decoding therefore always fails here, which the map treats as a grey tile.
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

namespace {

class NoPictureDecoder final : public PictureDecoder {
 public:
  std::unique_ptr<DecodedPicture> DecodePicture(const std::string&) override { return nullptr; }
  std::unique_ptr<DecodedPicture> DecodePictureFile(const std::wstring&) override { return nullptr; }
};

}  // namespace

PictureDecoder& SystemPictureDecoder() {
  static NoPictureDecoder decoder;
  return decoder;
}

}  // namespace tolvane
