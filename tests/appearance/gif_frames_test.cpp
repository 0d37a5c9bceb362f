// The GIF block walk: how many frames an animation has and their raw delays, from files whole and
// damaged.
#include "appearance/gif_frames.h"

#include <gtest/gtest.h>

#include "appearance/made_files.h"

namespace tolvane {
namespace {

TEST(GifFrames, CountsTheImagesWithTheDelaysBeforeThem) {
  const std::string three = made::AnimatedGif(3, 2, {{0xFF0000, 7}, {0x0000FF, 150}, {0x00FF00, 0}});
  const std::string one = made::AnimatedGif(3, 2, {{0xFF0000, 5}});
  const size_t header = 6 + 7 + 12 + 19;  // signature, screen, colour table, loop extension
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<uint32_t> want;
  };
  const Case cases[] = {
      {"three frames", three, {7, 150, 0}},
      {"no trailer", three.substr(0, three.size() - 1), {7, 150, 0}},
      {"cut inside the second frame", three.substr(0, (three.size() + header) / 2 + 4), {7}},
      {"an unknown block ends the walk", one.substr(0, one.size() - 1) + "\x99" + one.substr(header), {5}},
      {"not a GIF", "\x89PNG\r\n\x1A\n" + three.substr(8), {}},
      {"too short for its header", three.substr(0, 12), {}},
  };
  for (const Case& c : cases) EXPECT_EQ(GifFrameDelays(c.bytes), c.want) << c.what;
}

}  // namespace
}  // namespace tolvane
