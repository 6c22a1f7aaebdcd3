#pragma once
// Chunks that would not compress: found before the encoder runs, and written
// as .xz streams of LZMA2 uncompressed chunks. The match finder spends about
// as long on random bytes (media, archives) as on text and gains nothing
// there; a stored stream costs a copy, and the engine's decoder reads it like
// any other .xz stream.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/bytes.h"

namespace ks::authoring {

// Below this size a chunk is always compressed: the estimate needs blocks
// enough to be sure, and compressing it costs little.
inline constexpr std::size_t kStoredChunkMin = 64 * 1024;

// What an LZ coder could save on `data`, estimated from every byte at a
// fraction of the cost of compressing: the bits that the byte frequencies of
// each 4 KiB block leave unused, and the blocks of 32 bytes found again
// elsewhere in the data. Random bytes give 0.
std::size_t EstimatedSaving(const std::uint8_t* data, std::size_t size);

// True when `data` is worth storing as it is: large enough to judge and
// estimated to shrink by less than 1/1024 of its size.
bool LooksIncompressible(const std::uint8_t* data, std::size_t size);

// `data` as one .xz stream (CRC-32 check) of one block of LZMA2 uncompressed
// chunks; false with `error` when liblzma refuses.
bool EncodeStoredXz(const Bytes& data, Bytes* out, std::string* error);

}  // namespace ks::authoring
