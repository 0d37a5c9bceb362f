// What counts as a PNG before any image library sees the bytes: one whole file, checked chunk by
// chunk. Map tiles come from a server that anyone on the network path can answer for, and the
// image library behind the decoder reads many formats besides PNG (metafiles among them); only
// bytes that pass IsIntactPng are handed to it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvane {

// True for bytes that are one whole PNG: the signature, IHDR first, chunks whose lengths fit and
// whose checksums match, at least one IDAT, and IEND ending exactly at the last byte.
bool IsIntactPng(std::string_view bytes);
// The CRC-32 of PNG chunks (and zlib): reflected polynomial EDB88320, initial and final value all ones.
uint32_t Crc32(std::string_view bytes);

}  // namespace tolvane
