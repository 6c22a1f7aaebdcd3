#pragma once
// The settings block of the archive: stored scrambled (XOR with its own check
// value) or enciphered (Blowfish), and xz-compressed. Decoding yields the
// settings stream; its CRC-32 is checked by the settings reader once the first
// fields are read, through CheckSettingsCrc.

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/archive_header.h"
#include "core/bytes.h"

namespace ks {

// Largest decoded settings stream accepted. Real streams are a few MiB; the
// bound keeps a hostile block from growing the buffer without end.
inline constexpr std::size_t kMaxDecodedSettings = std::size_t{512} << 20;

// XOR with `key`: whole 4-byte groups with the little-endian word, then the
// remaining 1 to 3 bytes with the key's low bytes in turn. Its own inverse.
void Unscramble(Bytes& block, std::uint32_t key);

// Deciphers whole blocks, then cuts the buffer to the plain length stored in
// its last four bytes. A size that is no multiple of 8 or a plain length out of
// range leaves the buffer empty.
void Decipher(Bytes& block, const std::array<std::uint8_t, 8>& key);
// The inverse: appends padding and the plain length, then enciphers.
Bytes Encipher(const Bytes& plain, const std::array<std::uint8_t, 8>& key);

// Decompresses an .xz container (concatenated streams allowed). Empty input
// gives empty output. False on any decoder error, on a stream that does not
// end, or on output larger than `max_output`.
bool XzDecode(const std::uint8_t* data, std::size_t size, Bytes* out,
              std::size_t max_output = kMaxDecodedSettings);

struct SettingsBlockResult {
  int corrupt_code = 0;  // 0 or kCorruptSettingsDecode
  Bytes stream;          // the decoded settings stream
};

// Copies the stored block out of the section and decodes it. The header must
// come from ParseArchiveHeader over the same section bytes.
SettingsBlockResult DecodeSettingsBlock(const ArchiveHeader& header, const std::uint8_t* section,
                                        std::size_t size);

// True when the decoded stream's CRC-32 equals the header's check value.
bool CheckSettingsCrc(const Bytes& stream, std::uint32_t settings_check);

}  // namespace ks
