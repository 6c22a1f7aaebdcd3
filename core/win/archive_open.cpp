#include "core/win/archive_open.h"

#include <algorithm>
#include <string>

#include "core/settings_block.h"
#include "core/win/fatal_error.h"
#include "lib/version.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

ArchiveOpenOutcome Failed(ArchiveOpenFailure failure, int code = 0, DWORD error = 0) {
  ArchiveOpenOutcome o;
  o.failure = failure;
  o.corrupt_code = code;
  o.system_error = error;
  return o;
}

bool OpenOwnFile(SetupArchive& a, DWORD* error) {
  a.path = ModuleFileName(nullptr);
  // Others may read, and even replace, the running program meanwhile.
  const HANDLE h = ::CreateFileW(W(a.path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER size{};
  if (h == INVALID_HANDLE_VALUE) {
    *error = ::GetLastError();
    return false;
  }
  a.file = OwnedHandle(h);
  if (!::GetFileSizeEx(h, &size)) {
    *error = ::GetLastError();
    return false;
  }
  a.file_size = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

// The section's bytes in the loaded image; they must lie inside the image.
bool MapSection(SetupArchive& a) {
  const auto* base = reinterpret_cast<const std::uint8_t*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const std::uint64_t end = std::uint64_t{a.section.virtual_address} + a.section.MappedSize();
  if (end > nt->OptionalHeader.SizeOfImage) return false;
  a.mapped = base + a.section.virtual_address;
  a.mapped_size = a.section.MappedSize();
  return true;
}

}  // namespace

bool ReadFileAt(HANDLE file, std::uint64_t pos, std::uint8_t* out, std::size_t n) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(pos);
  if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
  while (n > 0) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 24));
    DWORD got = 0;
    if (!::ReadFile(file, out, want, &got, nullptr) || got == 0) return false;
    out += got;
    n -= got;
  }
  return true;
}

ArchiveOpenOutcome ReadOwnArchive(SetupArchive& a) {
  DWORD error = 0;
  if (!OpenOwnFile(a, &error)) return Failed(ArchiveOpenFailure::kCannotOpen, 0, error);
  Bytes headers(static_cast<std::size_t>(std::min<std::uint64_t>(a.file_size, kPeHeadersMaxSize)));
  if (!ReadFileAt(a.file.get(), 0, headers.data(), headers.size()))
    return Failed(ArchiveOpenFailure::kCorrupt, kCorruptPeOffset);
  const SectionLookupResult found = FindSetupSection(headers.data(), headers.size(), a.file_size);
  if (found.outcome == SectionLookup::kNoSection) return Failed(ArchiveOpenFailure::kNoSection);
  if (found.outcome == SectionLookup::kCorrupt)
    return Failed(ArchiveOpenFailure::kCorrupt, found.corrupt_code);
  a.section = found.section;
  LARGE_INTEGER at;
  at.QuadPart = a.section.raw_offset;
  if (!::SetFilePointerEx(a.file.get(), at, nullptr, FILE_BEGIN) || !MapSection(a))
    return Failed(ArchiveOpenFailure::kCorrupt, kCorruptCannotPosition);

  HeaderResult parsed = ParseArchiveHeader(a.mapped, a.mapped_size);
  a.header = std::move(parsed.header);
  if (parsed.outcome == HeaderOutcome::kVersionMismatch) return Failed(ArchiveOpenFailure::kVersionMismatch);
  if (parsed.outcome == HeaderOutcome::kCorrupt)
    return Failed(ArchiveOpenFailure::kCorrupt, parsed.corrupt_code);
  SettingsBlockResult block = DecodeSettingsBlock(a.header, a.mapped, a.mapped_size);
  if (block.corrupt_code) return Failed(ArchiveOpenFailure::kCorrupt, block.corrupt_code);
  a.settings_stream = std::move(block.stream);
  return {};
}

NString CannotOpenSelfText(const WString& path, DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  WString message = n ? FromW(buffer, n) : WString();
  if (buffer) ::LocalFree(buffer);
  return "Error code 1: The installer could not open itself.\r\nFilename: " + WideToCp1252(path) +
         "\r\nError #" + std::to_string(error) + ": " + WideToCp1252(message);
}

NString VersionMismatchText(const std::string& archive_version) {
  const std::string caption = kInstallerCaption;
  return "The installer version (" + std::string(kEngineVersion) + ") does not match the version of " +
         caption + " (" + archive_version + ").  Close all applications and reinstall " + caption + ".";
}

void OpenSetupArchive(SetupArchive& a, const Reports& reports) {
  const ArchiveOpenOutcome o = ReadOwnArchive(a);
  switch (o.failure) {
    case ArchiveOpenFailure::kNone:
      return;
    case ArchiveOpenFailure::kCannotOpen:
      FatalError(CannotOpenSelfText(a.path, o.system_error));
    case ArchiveOpenFailure::kNoSection:
      FatalError(
          "This program performs installations and uninstallations.\r\n"
          "There is no installation data present.\r\n"
          "No uninstallation parameters were specified.\r\n\r\n"
          "You should not delete this program or execute it directly.");
    case ArchiveOpenFailure::kVersionMismatch:
      FatalError(VersionMismatchText(a.header.version));
    case ArchiveOpenFailure::kCorrupt:
      reports.Corrupt(o.corrupt_code);
  }
}

int ReadFileData(const SetupArchive& a, bool outside, FileDataBlock* block, std::uint64_t* read_pos) {
  if (!outside) {
    std::size_t offset = 0, size = 0;
    if (const int code = LocateInSectionFileData(a.header, a.mapped_size, &offset, &size)) return code;
    block->data = a.mapped + offset;
    block->size = size;
    return CheckFileData(a.header, block->data, block->size);
  }
  // Outside: from behind the archive to the end of the file. The size is
  // compared before anything is mapped, so a hostile Q reserves nothing.
  const std::uint64_t pos = std::uint64_t{a.section.raw_offset} + a.header.data_start;
  *read_pos = pos;
  if (pos > a.file_size || a.file_size - pos != static_cast<std::uint64_t>(a.header.file_data_size))
    return kCorruptFileDataMismatch;
  if (a.header.file_data_size == 0) {
    block->data = a.mapped;  // nothing to read; any pointer will do
    block->size = 0;
    return CheckFileData(a.header, block->data, 0);
  }
  // A view starts at a multiple of the allocation granularity.
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  const std::uint64_t start = pos / info.dwAllocationGranularity * info.dwAllocationGranularity;
  const std::uint64_t length = a.file_size - start;
  if (length > static_cast<std::uint64_t>(SIZE_MAX)) return -1;
  block->mapping = OwnedHandle(::CreateFileMappingW(a.file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!block->mapping) return -1;
  block->view = OwnedView(::MapViewOfFile(block->mapping.get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                          static_cast<DWORD>(start), static_cast<SIZE_T>(length)));
  if (!block->view) return -1;
  block->data = static_cast<const std::uint8_t*>(block->view.get()) + (pos - start);
  block->size = static_cast<std::size_t>(a.header.file_data_size);
  return CheckFileData(a.header, block->data, block->size);
}

FileDataBlock LocateFileData(const SetupArchive& a, bool outside, const Reports& reports) {
  FileDataBlock block;
  std::uint64_t pos = 0;
  const int code = ReadFileData(a, outside, &block, &pos);
  if (code == -1) {
    FatalError("Error code 2: failed to read archive data\r\nsize=" + std::to_string(a.header.file_data_size) +
               " pos=" + std::to_string(pos));
  }
  if (code != 0) reports.Corrupt(code);
  return block;
}

}  // namespace ks
