// Any bytes as a ".setup" section, or as a whole executable, must end in a
// result or a corrupt code: no crash, no hang, no read outside the input and
// no allocation the input does not justify (run with -malloc_limit_mb).
// A header that parses has its settings block decoded and its file-data block
// located as the installer would.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/archive_header.h"
#include "core/pe_image.h"
#include "core/settings_block.h"

namespace {

void AsSection(const std::uint8_t* data, std::size_t size) {
  const ks::HeaderResult r = ks::ParseArchiveHeader(data, size);
  if (r.outcome != ks::HeaderOutcome::kOk) {
    if (r.outcome == ks::HeaderOutcome::kCorrupt && r.corrupt_code == 0) std::abort();
    return;
  }
  const ks::ArchiveHeader& h = r.header;
  if (h.data_start > size || h.per_file_values.size() != static_cast<std::size_t>(h.file_count)) std::abort();
  const ks::SettingsBlockResult block = ks::DecodeSettingsBlock(h, data, size);
  if (block.corrupt_code == 0) ks::CheckSettingsCrc(block.stream, h.settings_check);
  std::size_t offset = 0, length = 0;
  if (ks::LocateInSectionFileData(h, size, &offset, &length) == 0) {
    if (offset + length > size) std::abort();
    ks::CheckFileData(h, data + offset, length);
  }
}

void AsExecutable(const std::uint8_t* data, std::size_t size) {
  const ks::SectionLookupResult found = ks::FindSetupSection(data, size, size);
  if (found.outcome != ks::SectionLookup::kFound) return;
  const ks::SetupSection& s = found.section;
  if (std::uint64_t{s.raw_offset} + s.raw_size > size) std::abort();
  AsSection(data + s.raw_offset, s.MappedSize());
  const std::size_t behind = s.raw_offset + s.raw_size;
  ks::Bytes image;
  ks::BuildEngineImage(s, ks::Bytes(data, data + s.raw_offset), data + behind, size - behind, &image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  AsSection(data, size);
  AsExecutable(data, size);
  return 0;
}
