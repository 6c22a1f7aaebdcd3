// Reads the archive of its own file, as the installer does, and reports the
// result as its exit code, so tests can run copies of it carrying archives.
//
//   archive_probe MODE OUTSIDE [IMAGE_PATH]
//   archive_probe --installer MODE OUTSIDE
//
// MODE is the integrity mode, OUTSIDE 1 when the file data follows the section.
// Exit codes: 0 all read and checked; 1 cannot open itself; 2 no section;
// 3 version mismatch; 10000 + corrupt code otherwise. With IMAGE_PATH the
// engine image (archive flag 0x20) is written there. With --installer the
// probe runs silently through the installer's own calls, which end the
// process themselves: 2 for a corrupt archive, -1 for the fatal messages.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "core/settings_block.h"
#include "core/start_options.h"
#include "core/win/archive_open.h"
#include "core/win/integrity_check.h"
#include "core/win/reports.h"
#include "lib/win/message_boxes.h"
#include "records/install_log.h"

namespace {

int Corrupt(int code) { return 10000 + code; }

int Probe(int mode, bool outside, const wchar_t* image_path) {
  ks::SetupArchive archive;
  const ks::ArchiveOpenOutcome open = ks::ReadOwnArchive(archive);
  switch (open.failure) {
    case ks::ArchiveOpenFailure::kNone: break;
    case ks::ArchiveOpenFailure::kCannotOpen: return 1;
    case ks::ArchiveOpenFailure::kNoSection: return 2;
    case ks::ArchiveOpenFailure::kVersionMismatch: return 3;
    case ks::ArchiveOpenFailure::kCorrupt: return Corrupt(open.corrupt_code);
  }
  if (!ks::CheckSettingsCrc(archive.settings_stream, archive.header.settings_check))
    return Corrupt(ks::kCorruptSettingsCheck);
  const ks::IntegrityResult integrity = ks::CheckIntegrity(archive, static_cast<std::uint32_t>(mode));
  if (integrity.corrupt_code) return Corrupt(integrity.corrupt_code);
  ks::FileDataBlock block;
  std::uint64_t pos = 0;
  const int data = ks::ReadFileData(archive, outside, &block, &pos);
  if (data) return data < 0 ? 4 : Corrupt(data);
  if (image_path && archive.has_engine_image) {
    FILE* f = _wfopen(image_path, L"wb");
    if (!f) return 5;
    const bool written = std::fwrite(archive.engine_image.data(), 1, archive.engine_image.size(), f) ==
                         archive.engine_image.size();
    return std::fclose(f) == 0 && written ? 0 : 5;
  }
  return 0;
}

int AsInstaller(int mode, bool outside) {
  ks::SetMessageBoxesSilent(true);
  ks::LocalizedTexts texts;
  ks::InstallLog log;
  const ks::Reports reports(texts, log);
  ks::SetupArchive archive;
  ks::OpenSetupArchive(archive, reports);
  if (!ks::CheckSettingsCrc(archive.settings_stream, archive.header.settings_check))
    reports.Corrupt(ks::kCorruptSettingsCheck);
  ks::CheckIntegrityOrReport(archive, static_cast<std::uint32_t>(mode), reports);
  ks::LocateFileData(archive, outside, reports);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wcscmp(argv[1], L"--installer") == 0)
    return AsInstaller(std::wcstol(argv[2], nullptr, 10), std::wcstol(argv[3], nullptr, 10) != 0);
  if (argc < 3) {
    std::fputs("usage: archive_probe MODE OUTSIDE [IMAGE_PATH]\n", stderr);
    return 100;
  }
  return Probe(std::wcstol(argv[1], nullptr, 10), std::wcstol(argv[2], nullptr, 10) != 0,
               argc > 3 ? argv[3] : nullptr);
}
