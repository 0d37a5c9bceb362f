// The Linux host decodes no video: video support never starts.
#include "platform/video.h"

namespace tolvane {
namespace {

class NoVideoDecoding final : public VideoDecoding {
 public:
  std::unique_ptr<VideoSession> StartThread() override { return nullptr; }
};

}  // namespace

VideoDecoding& SystemVideoDecoding() {
  static NoVideoDecoding decoding;
  return decoding;
}

}  // namespace tolvane
