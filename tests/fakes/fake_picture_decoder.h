// A picture decoder for tests: "files" are registered by their bytes (DecodePicture) or by their
// path (DecodePictureFile) with a size, a frame count and the raw frame-delay values. Frame i's
// pixels are all FramePixel(i), so a test can tell which frame is on screen. It counts the live
// pictures and every frame selection. Single-threaded.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/image_decoding.h"

namespace tolvane {

struct FakePictureSpec {
  int32_t width = 16;
  int32_t height = 16;
  uint32_t frames = 1;           // on the time dimension
  std::vector<uint32_t> delays;  // raw hundredths of a second
  bool failPixels = false;
  bool failSelect = false;
};

class FakePictureDecoder final : public PictureDecoder {
 public:
  static uint32_t FramePixel(uint32_t frame) { return 0xFF102030u + frame; }

  std::unique_ptr<DecodedPicture> DecodePicture(const std::string& bytes) override {
    ++decodeCalls;
    auto it = byBytes.find(bytes);
    if (it == byBytes.end()) return nullptr;
    return std::make_unique<Picture>(*this, it->second);
  }
  std::unique_ptr<DecodedPicture> DecodePictureFile(const std::wstring& path) override {
    ++decodeFileCalls;
    auto it = byPath.find(path);
    if (it == byPath.end()) return nullptr;
    return std::make_unique<Picture>(*this, it->second);
  }

  std::map<std::string, FakePictureSpec> byBytes;
  std::map<std::wstring, FakePictureSpec> byPath;
  int decodeCalls = 0;
  int decodeFileCalls = 0;
  int live = 0;
  std::vector<uint32_t> selections;

 private:
  class Picture final : public DecodedPicture {
   public:
    Picture(FakePictureDecoder& owner, FakePictureSpec spec) : owner_(owner), spec_(std::move(spec)) { ++owner_.live; }
    ~Picture() override { --owner_.live; }
    int32_t Width() const override { return spec_.width; }
    int32_t Height() const override { return spec_.height; }
    uint32_t TimeFrameCount() override { return spec_.frames; }
    std::vector<uint32_t> FrameDelays() override { return spec_.delays; }
    bool SelectFrame(uint32_t index) override {
      owner_.selections.push_back(index);
      if (spec_.failSelect || index >= spec_.frames) return false;
      active_ = index;
      return true;
    }
    bool Pixels(std::vector<uint32_t>& pixels) override {
      pixels.clear();
      if (spec_.failPixels) return false;
      pixels.assign(static_cast<size_t>(spec_.width) * static_cast<size_t>(spec_.height), FramePixel(active_));
      return true;
    }

   private:
    FakePictureDecoder& owner_;
    FakePictureSpec spec_;
    uint32_t active_ = 0;
  };
};

}  // namespace tolvane
