// The Linux host never draws: its factory makes no surfaces, fonts or images. Painters are tested
// on the recording canvas of tests/fakes/ instead.
#include "platform/canvas.h"

namespace tolvane {
namespace {

class NullGraphics final : public GraphicsFactory {
 public:
  std::unique_ptr<Surface> CreateSurface(int32_t, int32_t) override { return nullptr; }
  std::unique_ptr<CanvasFont> CreateFont(const std::vector<std::wstring>&, float, bool, bool) override {
    return nullptr;
  }
  std::unique_ptr<CanvasImage> CreateImage(int32_t, int32_t, const std::vector<uint32_t>&) override { return nullptr; }
};

}  // namespace

GraphicsFactory& SystemGraphics() {
  static NullGraphics graphics;
  return graphics;
}

}  // namespace tolvane
