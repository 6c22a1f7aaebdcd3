#pragma once
// Opening the installer's own archive: the ".setup" section of the program's
// file, read through the mapped image, and the file-data block.

#include <windows.h>

#include <cstdint>

#include "core/archive_header.h"
#include "core/bytes.h"
#include "core/pe_image.h"
#include "core/win/reports.h"
#include "lib/text.h"
#include "lib/win/owned.h"

namespace ks {

struct SetupArchive {
  WString path;       // the program's own file
  OwnedHandle file;   // kept open for the integrity check and outside file data
  std::uint64_t file_size = 0;
  SetupSection section;
  const std::uint8_t* mapped = nullptr;  // image base + the section's virtual address
  std::size_t mapped_size = 0;
  ArchiveHeader header;
  Bytes settings_stream;  // decoded; its check value is verified by the settings reader
  bool has_engine_image = false;
  Bytes engine_image;     // the program without its archive (integrity step)
};

enum class ArchiveOpenFailure { kNone, kCannotOpen, kNoSection, kVersionMismatch, kCorrupt };

struct ArchiveOpenOutcome {
  ArchiveOpenFailure failure = ArchiveOpenFailure::kNone;
  int corrupt_code = 0;     // kCorrupt
  DWORD system_error = 0;   // kCannotOpen
};

// Reads the archive of the running program; ends nothing, so tools can report.
ArchiveOpenOutcome ReadOwnArchive(SetupArchive& archive);

// The same for the installer: every failure ends the process with its
// message (a fatal error, or the corrupt-archive report).
void OpenSetupArchive(SetupArchive& archive, const Reports& reports);

NString CannotOpenSelfText(const WString& path, DWORD error);
NString VersionMismatchText(const std::string& archive_version);

// The file-data block: in place inside the section, or a read-only view of
// the file behind the archive when the settings say it lies outside the
// section; either way its pages come from the program's file, not from
// memory of the process's own.
struct FileDataBlock {
  FileDataBlock() = default;
  FileDataBlock(FileDataBlock&&) = default;
  FileDataBlock& operator=(FileDataBlock&&) = default;
  FileDataBlock(const FileDataBlock&) = delete;
  FileDataBlock& operator=(const FileDataBlock&) = delete;

  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  OwnedHandle mapping;  // outside the section: the file mapping and its view
  OwnedView view;
};

// 0, a corrupt code (46, 55), or -1 when mapping the file failed (*read_pos set).
int ReadFileData(const SetupArchive& archive, bool outside, FileDataBlock* block,
                 std::uint64_t* read_pos);

// ReadFileData that ends the process on failure.
FileDataBlock LocateFileData(const SetupArchive& archive, bool outside, const Reports& reports);

// Reads n bytes at pos; false on any failure or short read.
bool ReadFileAt(HANDLE file, std::uint64_t pos, std::uint8_t* out, std::size_t n);

}  // namespace ks
