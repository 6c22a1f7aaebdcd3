#pragma once
// SHA-256 (FIPS 180-4), for the checksum that package managers compare with
// the downloaded installer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ks::authoring {

std::array<std::uint8_t, 32> Sha256(const std::uint8_t* data, std::size_t size);

// Upper-case hexadecimal, as the package manifests write it.
std::string Sha256Hex(const std::uint8_t* data, std::size_t size);

}  // namespace ks::authoring
