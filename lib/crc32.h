#pragma once
// CRC-32 as zlib computes it (reflected polynomial 0xEDB88320, initial value 0,
// final complement): the check value of archive headers, data chunks and files.

#include <cstddef>
#include <cstdint>

namespace ks {

// Continues `crc` over `size` bytes; pass 0 to start a new value.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace ks
