#pragma once
// Writes setup archives: the header, the stored settings block and the
// file-data block, optionally placed into a copy of the engine as its ".setup"
// section. Used by tests and the authoring side; every field can be overridden
// so that tests can write the malformed archives the reader must refuse.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/archive_header.h"
#include "core/bytes.h"

namespace ks {

struct ArchiveSpec {
  std::uint32_t magic = kArchiveMagic;
  std::string version = "46.0";
  std::uint32_t flags = 0;  // kArchiveEnciphered selects Blowfish over scrambling
  Bytes settings;           // the plain settings stream
  std::array<std::uint8_t, 8> cipher_key{{0x4B, 0x65, 0x73, 0x74, 0x72, 0x65, 0x6C, 0x6E}};
  std::vector<std::int32_t> per_file_values;
  Bytes file_data;  // the file-data block as stored
  std::uint32_t engine_check = 0;

  // Malformed variants. Values left empty are computed from the content.
  std::optional<std::int32_t> settings_size, file_data_end, file_count, file_data_size;
  std::optional<std::uint32_t> settings_check, file_data_check;
  bool break_stream = false;     // damage the compressed stream before storing it
  std::size_t cut_short = 0;     // drop this many bytes from the archive's end
  bool file_data_outside = false;  // file data follows the archive, outside the section
};

struct BuiltArchive {
  Bytes archive;          // header and stored settings (and the file data when inside)
  Bytes outside;          // file data to append behind the section, when outside
  std::size_t data_start = 0;                  // D
  std::size_t engine_check_offset = 0;         // where the engine check value lies
};

// xz container of `data` (one stream, CRC-64 check). Test archives are small,
// so a fast preset is the default.
Bytes XzEncode(const Bytes& data, std::uint32_t preset = 1);

BuiltArchive BuildArchive(const ArchiveSpec& plan);

// A runnable copy of `engine` with the archive as its ".setup" section. The
// engine check value is computed over the finished file unless the plan sets it.
bool BuildSetupExecutable(const Bytes& engine, const ArchiveSpec& plan, Bytes* out,
                          std::string* error);

// CRC-32 over everything behind the optional header's checksum field up to
// the section's raw data (the bytes the engine check value covers).
std::uint32_t EngineCheckValue(const std::uint8_t* file, std::uint32_t pe_offset,
                               std::uint32_t raw_offset);

}  // namespace ks
