#include "core/archive_header.h"

#include <cstring>

#include "core/bytes.h"
#include "lib/crc32.h"
#include "lib/version.h"

namespace ks {
namespace {

HeaderResult Corrupt(int code) {
  HeaderResult r;
  r.outcome = HeaderOutcome::kCorrupt;
  r.corrupt_code = code;
  return r;
}

// The version text ends at its zero; a section without one is no archive.
bool ReadVersion(ByteReader& in, std::string* version) {
  const void* zero = std::memchr(in.current(), 0, in.remaining());
  if (!zero) return false;
  const std::size_t n = static_cast<const std::uint8_t*>(zero) - in.current();
  version->assign(reinterpret_cast<const char*>(in.current()), n);
  in.Skip(n + 1);
  return true;
}

// Items 8 to 11: counts first, then the per-file values, each checked.
int ReadFileFields(ByteReader& in, ArchiveHeader& h) {
  h.file_data_end = in.I32();
  if (h.file_data_end < 0) return kCorruptFileDataEnd;
  h.file_count = in.I32();
  if (h.file_count < 0) return kCorruptFileCount;
  h.file_data_size = in.I32();
  if (h.file_data_size < 0) return kCorruptFileDataSize;
  h.file_data_check = in.U32();
  // A count that promises more values than the section holds is out of range.
  if (static_cast<std::size_t>(h.file_count) > in.remaining() / 4) return kCorruptFileCount;
  h.per_file_values.reserve(static_cast<std::size_t>(h.file_count));
  for (std::int32_t i = 0; i < h.file_count; ++i) {
    const std::int32_t v = in.I32();
    if (v < 0 || v > kMaxPerFileValue) return kCorruptPerFileValue;
    h.per_file_values.push_back(v);
  }
  return 0;
}

}  // namespace

HeaderResult ParseArchiveHeader(const std::uint8_t* section, std::size_t size) {
  ByteReader in(section, size);
  HeaderResult r;
  ArchiveHeader& h = r.header;
  h.magic = in.U32();
  if (in.overrun() || h.magic != kArchiveMagic) return Corrupt(kCorruptMagic);
  if (!ReadVersion(in, &h.version)) return Corrupt(kCorruptMagic);
  if (h.version != kEngineVersion) {
    r.outcome = HeaderOutcome::kVersionMismatch;
    return r;
  }
  // Fields cut off by the section's end read as zero, which the range checks
  // below turn into the code of the first field that cannot be right.
  h.flags = in.U32();
  h.settings_size = in.I32();
  if (h.settings_size <= 0 || h.settings_size >= kMaxSettingsSize) return Corrupt(kCorruptSettingsSize);
  h.settings_check = in.U32();
  h.engine_check = in.U32();
  if (const int code = ReadFileFields(in, h)) return Corrupt(code);
  if (h.enciphered()) in.Read(h.cipher_key.data(), h.cipher_key.size());
  h.settings_offset = in.position();
  if (in.overrun() || static_cast<std::size_t>(h.settings_size) > in.remaining())
    return Corrupt(kCorruptSettingsSize);
  h.data_start = h.settings_offset + static_cast<std::size_t>(h.settings_size);
  r.outcome = HeaderOutcome::kOk;
  return r;
}

int LocateInSectionFileData(const ArchiveHeader& h, std::size_t section_size, std::size_t* offset,
                            std::size_t* size) {
  const auto end = static_cast<std::size_t>(h.file_data_end);
  if (end < h.data_start || end > section_size) return kCorruptFileDataMismatch;
  *offset = h.data_start;
  *size = end - h.data_start;
  return 0;
}

int CheckFileData(const ArchiveHeader& h, const std::uint8_t* data, std::size_t size) {
  if (size != static_cast<std::size_t>(h.file_data_size)) return kCorruptFileDataMismatch;
  if (Crc32(data, size) != h.file_data_check) return kCorruptFileDataCheck;
  return 0;
}

}  // namespace ks
