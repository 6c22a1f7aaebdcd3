// Any bytes as a file-data block must end in records or a corrupt code: no
// crash, no read outside the input, no record data outside the reader's
// buffer. The first bytes choose the coding and the per-file value list, as
// the archive header would give them; every record read is also run through
// the destination and replacement rules.
//
// Two forms of that prefix. Short: byte 0 the coding bits (1 compressed,
// 2 enciphered, 4 portable), bytes 1 and 2 two bytes of the key, byte 3 the
// count (modulo 8) of sizes made from byte 1. Explicit (byte 0 has 8): the
// 8-byte key, a count byte and that many little-endian i32 sizes, so that
// blocks cut out of real installers (tests/fuzz/fuzz_pieces.cpp) are read
// with their own key and per-file values.
#include <algorithm>
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
  std::vector<std::int32_t> sizes;
  std::size_t prefix = kPrefix;
  if (data[0] & 8) {
    if (size < 10) return 0;
    std::copy(data + 1, data + 9, coding.key.begin());
    const std::size_t count = data[9];
    prefix = 10 + 4 * count;
    if (size < prefix) return 0;
    for (std::size_t i = 0; i < count; ++i) {
      std::uint32_t v = 0;
      for (int b = 0; b < 4; ++b) v |= std::uint32_t{data[10 + 4 * i + b]} << (8 * b);
      sizes.push_back(static_cast<std::int32_t>(v));
    }
  } else {
    coding.key = {{data[1], data[2], 3, 4, 5, 6, 7, 8}};
    const std::size_t count = data[3] % 8;
    for (std::size_t i = 0; i < count; ++i) sizes.push_back(static_cast<std::int32_t>(data[1] * (i + 1)) - 8);
  }
  const std::size_t count = sizes.size();
  ks::FileDataReader reader(data + prefix, size - prefix, coding);
  for (std::size_t i = 0; i < count; ++i) {
    ks::FileRecord record;
    if (reader.Next(sizes[i], &record) != 0) return 0;
    if (record.size != static_cast<std::size_t>(sizes[i])) std::abort();
    Exercise(record, portable);
    // A streamed record's data comes in pieces that add up to its size.
    std::size_t streamed = 0;
    while (record.streamed) {
      const std::uint8_t* piece = nullptr;
      std::size_t n = 0;
      if (reader.ReadData(&piece, &n) != 0) return 0;
      if (n == 0) break;
      if (piece == nullptr) std::abort();
      streamed += n;
    }
    if (record.streamed && streamed != record.size) std::abort();
  }
  reader.Finish();
  return 0;
}
