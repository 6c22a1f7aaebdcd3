#pragma once
// The PE layout around the ".setup" section: finding it in the engine's own
// file, adding it to a copy of the engine, and cutting it out again to get the
// compact uninstaller image. Works on plain bytes so it is testable anywhere.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/bytes.h"

namespace ks {

inline constexpr char kSetupSectionName[] = ".setup";

// Where the file bytes needed to find the section end: the PE header offset is
// at most 0x1000, the optional header at most 0xFFFF bytes, 99 table entries.
inline constexpr std::size_t kPeHeadersMaxSize = 0x1000 + 24 + 0xFFFF + 99 * 40;

struct SetupSection {
  std::uint32_t pe_offset = 0;     // E: offset of "PE\0\0"
  std::uint16_t section_count = 0;
  std::uint32_t table_offset = 0;  // file offset of the first section table entry
  std::uint16_t index = 0;         // the ".setup" entry
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t raw_offset = 0;

  // Bytes of archive data the loader maps at image base + virtual_address:
  // the raw data, cut to the virtual size (0 means "as large as the raw data").
  std::uint32_t MappedSize() const;
};

enum class SectionLookup { kFound, kCorrupt, kNoSection };

struct SectionLookupResult {
  SectionLookup outcome = SectionLookup::kCorrupt;
  int corrupt_code = 0;  // when kCorrupt
  SetupSection section;
};

// `headers` holds the file's first bytes (at least kPeHeadersMaxSize, or the
// whole file when it is shorter); `file_size` is the size of the whole file.
SectionLookupResult FindSetupSection(const std::uint8_t* headers, std::size_t headers_size,
                                     std::uint64_t file_size);

// The engine without its archive. `prefix` is the file's first raw_offset
// bytes, `tail` the bytes behind the section's raw data (may be empty).
// A code signature of the installer covers the archive and cannot hold for
// the image: its certificate table is left out of the tail, the security
// directory entry is cleared, and the checksum the signing tool wrote (when
// not zero) is computed anew, so the image is an unsigned program, not a
// tampered one. An unsigned installer's headers keep the engine's checksum. Returns false when the prefix does not even hold the section table, or
// when the memory for the image is not there.
bool BuildEngineImage(const SetupSection& section, Bytes prefix, const std::uint8_t* tail,
                      std::size_t tail_size, Bytes* out);

// Adds a ".setup" section holding `section_data` as the last section of a copy
// of `engine`. `appended` (may be empty) follows the section data directly in
// the file, outside the mapped section. Returns false with a reason when the
// engine is not a PE image or its header has no room for another entry.
bool AddSetupSection(const Bytes& engine, const Bytes& section_data, const Bytes& appended,
                     Bytes* out, std::string* error);

}  // namespace ks
