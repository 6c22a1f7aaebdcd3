// Any bytes as a file-data block must end in records or a corrupt code: no
// crash, no read outside the input, no record data outside the reader's
// buffer. The first bytes choose the coding and the per-file value list, as
// the archive header would give them; every record read is also run through
// the destination and replacement rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/file_data_block.h"
#include "engine/placement_rules.h"

namespace {

constexpr std::size_t kPrefix = 4;

ks::PlacementFolders Folders(bool portable) {
  ks::PlacementFolders f;
  f.install = u"C:\\App";
  f.shared = u"C:\\Shared";
  f.fonts = u"C:\\Fonts";
  f.system = u"C:\\System";
  f.uninstall_data = u"C:\\App\\Data";
  f.portable = portable;
  f.portable_shared_subfolder = portable ? u"E:\\Shared" : u"";
  return f;
}

void Exercise(const ks::FileRecord& r, bool portable) {
  const ks::Destination d = ks::ComputeDestination(r, Folders(portable));
  if (d.corrupt_code != 0) return;
  ks::ExistingFile existing;
  existing.exists = (r.flags & 1) != 0;
  existing.modified = r.date;
  existing.version = r.title;
  ks::DecidePlacement(r, d.log_prefix, existing, portable);
  ks::SharedFileEntry(r, d.path, portable);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kPrefix) return 0;
  ks::ChunkCoding coding;
  coding.compressed = (data[0] & 1) != 0;
  coding.enciphered = (data[0] & 2) != 0;
  const bool portable = (data[0] & 4) != 0;
  coding.key = {{data[1], data[2], 3, 4, 5, 6, 7, 8}};
  const std::size_t count = data[3] % 8;
  std::vector<std::int32_t> sizes;
  for (std::size_t i = 0; i < count; ++i) sizes.push_back(static_cast<std::int32_t>(data[1] * (i + 1)) - 8);
  ks::FileDataReader reader(data + kPrefix, size - kPrefix, coding);
  for (std::size_t i = 0; i < count; ++i) {
    ks::FileRecord record;
    if (reader.Next(sizes[i], &record) != 0) return 0;
    if (record.size != static_cast<std::size_t>(sizes[i])) std::abort();
    Exercise(record, portable);
  }
  reader.Finish();
  return 0;
}
