#pragma once
// Blowfish, the published 16-round 64-bit block cipher, in ECB mode. The
// archive enciphers its settings block and data chunks with it; each 8-byte
// block is read as two big-endian 32-bit words.

#include <array>
#include <cstddef>
#include <cstdint>

namespace ks {

class Blowfish {
 public:
  // key_size from 1 to 56 bytes; the archive uses 8.
  Blowfish(const std::uint8_t* key, std::size_t key_size);

  void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const;
  void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const;

  // Transform whole 8-byte blocks in place; a trailing partial block is left alone.
  void EncryptEcb(std::uint8_t* data, std::size_t size) const;
  void DecryptEcb(std::uint8_t* data, std::size_t size) const;

 private:
  std::uint32_t F(std::uint32_t x) const;

  std::array<std::uint32_t, 18> p_{};
  std::array<std::array<std::uint32_t, 256>, 4> s_{};
};

}  // namespace ks
