#pragma once
// The fixed header at the start of the ".setup" section and the corrupt codes
// of the container. Parsing is bounds-checked against the bytes really present:
// every size and count is compared with what the section holds before memory
// is reserved, so a truncated or hostile section ends with a corrupt code.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ks {

inline constexpr std::uint32_t kArchiveMagic = 0xA4F23DE5;
inline constexpr std::int32_t kMaxSettingsSize = 0x3200000;  // exclusive
inline constexpr std::int32_t kMaxPerFileValue = 0x40000000;  // inclusive

// ArchiveFlags bits used by the container itself.
inline constexpr std::uint32_t kArchiveBuildEngineImage = 0x00000020;
inline constexpr std::uint32_t kArchiveEnciphered = 0x00001000;

// Codes shown by the corrupt-installer message (see docs/archive-format.md).
enum CorruptCode : int {
  kCorruptRawOffsetZero = 9,
  kCorruptCannotPosition = 10,
  kCorruptMagic = 20,
  kCorruptSettingsSize = 22,
  kCorruptSettingsCheck = 25,
  kCorruptFileCount = 27,
  kCorruptPerFileValue = 28,
  kCorruptFileDataSize = 29,
  kCorruptReadBeforeSection = 35,
  kCorruptEngineCheck = 40,
  kCorruptReadAfterSection = 42,
  kCorruptPeOffset = 43,
  kCorruptSectionCount = 44,
  kCorruptFileDataEnd = 45,
  kCorruptFileDataMismatch = 46,
  kCorruptSettingsDecode = 47,
  kCorruptFileDataCheck = 55,
  kCorruptSignatureBase = 1000,
};

struct ArchiveHeader {
  std::uint32_t magic = 0;
  std::string version;
  std::uint32_t flags = 0;
  std::int32_t settings_size = 0;        // S
  std::uint32_t settings_check = 0;      // K: CRC of the decoded block, and scrambling key
  std::uint32_t engine_check = 0;        // CRC of the executable's leading part
  std::int32_t file_data_end = 0;        // P
  std::int32_t file_count = 0;           // N
  std::int32_t file_data_size = 0;       // Q
  std::uint32_t file_data_check = 0;
  std::vector<std::int32_t> per_file_values;
  std::array<std::uint8_t, 8> cipher_key{};  // only with kArchiveEnciphered
  std::size_t settings_offset = 0;       // offset of the stored settings block
  std::size_t data_start = 0;            // D: offset of the file-data block

  bool enciphered() const { return (flags & kArchiveEnciphered) != 0; }
};

enum class HeaderOutcome { kOk, kCorrupt, kVersionMismatch };

struct HeaderResult {
  HeaderOutcome outcome = HeaderOutcome::kCorrupt;
  int corrupt_code = 0;  // when kCorrupt
  ArchiveHeader header;  // complete when kOk; version is set for kVersionMismatch
};

HeaderResult ParseArchiveHeader(const std::uint8_t* section, std::size_t size);

// The file-data block inside the section runs from D to P. Returns 0 and the
// block's offset and size, or kCorruptFileDataMismatch when P lies in front of
// D or past the section's end.
int LocateInSectionFileData(const ArchiveHeader& header, std::size_t section_size,
                            std::size_t* offset, std::size_t* size);

// 0 when the block has the header's size Q and check value, else 46 or 55.
int CheckFileData(const ArchiveHeader& header, const std::uint8_t* data, std::size_t size);

}  // namespace ks
