#pragma once
// The manifest's product files ([[file]] entries): each names a source file,
// a folder (taken whole, sub-folders kept) or a pattern, and how the engine
// treats the files. Reading checks the keys and finds the sources; the build
// reads the bytes and writes the file-data block.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "authoring/toml_reader.h"
#include "core/bytes.h"
#include "engine/file_records.h"

namespace ks::authoring {

struct ManifestFile {
  std::filesystem::path source;
  FileRecord record;          // every field but the data
  bool date_from_source = false;
};

// Default piece of the record stream that becomes one chunk.
inline constexpr std::uint32_t kDefaultChunkSize = 4u << 20;

void ReadFiles(TomlReader& root, std::vector<ManifestFile>& out);

// The file's modification time (UTC) as a record date; no date when unknown.
RecordDate SourceDate(const std::filesystem::path& path);

// The encoded records of every file with its data size, in manifest order.
// False (with `error`) when a source cannot be read or is too large.
bool EncodeFiles(const std::vector<ManifestFile>& files, std::vector<Bytes>* items,
                 std::vector<std::int32_t>* sizes, std::string* error);

// Cuts the record stream of `items` into payloads of `chunk_size` bytes.
std::vector<Bytes> RecordStreamPieces(const std::vector<Bytes>& items, std::size_t chunk_size);

// True when `data` is a PE image (program or library) for x86 or x86-64.
bool IsX86Image(const std::uint8_t* data, std::size_t size);

// For each piece RecordStreamPieces cuts: whether at least half of its bytes
// are the data of x86 images (`sizes` are the items' data sizes).
std::vector<bool> X86CodePieces(const std::vector<Bytes>& items, const std::vector<std::int32_t>& sizes,
                                std::size_t chunk_size);

}  // namespace ks::authoring
