// The frames of a GIF file as its blocks list them: one entry per image, holding the delay of the
// graphic control extension before it in hundredths of a second as the file stores it (0 when the
// image has none). This is what a decoder that steps through an animation by time cannot tell: how
// many frames there are and where one loop ends.
//
// The bytes come from any file the user picks, so the walk trusts no length: it stops at the
// trailer, at the first block it does not know, or where the data ends, and keeps what it read.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tolvane {

// The frame delays of a GIF; empty when bytes are not a GIF.
std::vector<uint32_t> GifFrameDelays(std::string_view bytes);

}  // namespace tolvane
