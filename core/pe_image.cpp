#include "core/pe_image.h"

#include <algorithm>
#include <cstring>

#include "core/archive_header.h"

namespace ks {
namespace {

constexpr std::size_t kEntrySize = 40;
// Offsets from E, the start of "PE\0\0"; the same in PE32 and PE32+.
constexpr std::size_t kSectionCountAt = 6;
constexpr std::size_t kSymbolTableAt = 12;
constexpr std::size_t kOptionalSizeAt = 20;
constexpr std::size_t kOptionalAt = 24;
constexpr std::size_t kInitializedDataAt = 0x20;
constexpr std::size_t kSectionAlignmentAt = 0x38;
constexpr std::size_t kFileAlignmentAt = 0x3C;
constexpr std::uint32_t kPageSize = 4096;
constexpr std::size_t kImageSizeAt = 0x50;
constexpr std::size_t kHeadersSizeAt = 0x54;
constexpr std::size_t kChecksumAt = 0x58;
// The optional header's magic and where its data directories start, by form.
constexpr std::size_t kOptionalMagicAt = kOptionalAt;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kPe32DirectoryCountAt = kOptionalAt + 92;
constexpr std::size_t kPe32PlusDirectoryCountAt = kOptionalAt + 108;
constexpr std::size_t kDirectorySize = 8;
constexpr std::uint32_t kSecurityDirectory = 4;
// Offsets inside a section table entry.
constexpr std::size_t kVirtualSizeAt = 8;
constexpr std::size_t kVirtualAddressAt = 12;
constexpr std::size_t kRawSizeAt = 16;
constexpr std::size_t kRawOffsetAt = 20;
constexpr std::size_t kCharacteristicsAt = 36;
constexpr std::uint32_t kInitializedDataReadable = 0x00000040 | 0x40000000;

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t AlignUp(std::uint64_t v, std::uint32_t alignment) {
  return (v + alignment - 1) / alignment * alignment;
}
bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

SectionLookupResult Corrupt(int code) {
  SectionLookupResult r;
  r.outcome = SectionLookup::kCorrupt;
  r.corrupt_code = code;
  return r;
}

bool IsSetupName(const std::uint8_t* entry) {
  const auto* name = reinterpret_cast<const char*>(entry);
  std::size_t n = 0;
  while (n < 8 && name[n] != '\0') ++n;
  return std::string(name, n) == kSetupSectionName;
}

// The end of the last section in memory, aligned: the image size the loader needs.
std::uint64_t MappedEnd(const std::uint8_t* table, std::size_t count, std::uint32_t alignment) {
  std::uint64_t end = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = table + i * kEntrySize;
    const std::uint32_t vs = Get32(e + kVirtualSizeAt);
    const std::uint64_t size = vs ? vs : Get32(e + kRawSizeAt);
    end = std::max<std::uint64_t>(end, Get32(e + kVirtualAddressAt) + size);
  }
  return AlignUp(end, alignment);
}

// Offset from E of the certificate table's directory entry (a file offset
// and a size), or 0 when the optional header has no such entry.
std::size_t SecurityEntryAt(const std::uint8_t* pe, std::size_t available) {
  if (available < kOptionalAt + 2) return 0;
  const std::uint16_t magic = Get16(pe + kOptionalMagicAt);
  const std::size_t count_at = magic == kPe32Magic       ? kPe32DirectoryCountAt
                               : magic == kPe32PlusMagic ? kPe32PlusDirectoryCountAt
                                                         : 0;
  if (count_at == 0 || available < count_at + 4) return 0;
  const std::size_t entry = count_at + 4 + kSecurityDirectory * kDirectorySize;
  const std::size_t optional_end = kOptionalAt + Get16(pe + kOptionalSizeAt);
  if (Get32(pe + count_at) <= kSecurityDirectory || entry + kDirectorySize > optional_end ||
      entry + kDirectorySize > available)
    return 0;
  return entry;
}

// The PE checksum: 16-bit words summed with their carries folded back, plus
// the file's length. The checksum field must be zero while it is summed.
std::uint32_t PeChecksum(const Bytes& file) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    sum += i + 1 < file.size() ? Get16(file.data() + i) : file[i];
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + file.size());
}

}  // namespace

std::uint32_t SetupSection::MappedSize() const {
  return virtual_size == 0 ? raw_size : std::min(virtual_size, raw_size);
}

SectionLookupResult FindSetupSection(const std::uint8_t* headers, std::size_t headers_size,
                                     std::uint64_t file_size) {
  headers_size = static_cast<std::size_t>(std::min<std::uint64_t>(headers_size, file_size));
  if (headers_size < 0x3E) return Corrupt(kCorruptPeOffset);
  SetupSection s;
  s.pe_offset = Get16(headers + 0x3C);
  if (s.pe_offset < 0x40 || s.pe_offset > 0x1000 || s.pe_offset + kOptionalAt > headers_size)
    return Corrupt(kCorruptPeOffset);
  s.section_count = Get16(headers + s.pe_offset + kSectionCountAt);
  if (s.section_count < 4 || s.section_count > 99) return Corrupt(kCorruptSectionCount);
  s.table_offset = s.pe_offset + kOptionalAt + Get16(headers + s.pe_offset + kOptionalSizeAt);
  // A table running past the file's end promises more sections than exist.
  if (s.table_offset + std::size_t{s.section_count} * kEntrySize > headers_size)
    return Corrupt(kCorruptSectionCount);

  for (std::uint16_t i = 0; i < s.section_count; ++i) {
    const std::uint8_t* e = headers + s.table_offset + i * kEntrySize;
    if (!IsSetupName(e)) continue;
    s.index = i;
    s.virtual_size = Get32(e + kVirtualSizeAt);
    s.virtual_address = Get32(e + kVirtualAddressAt);
    s.raw_size = Get32(e + kRawSizeAt);
    s.raw_offset = Get32(e + kRawOffsetAt);
    if (s.raw_offset == 0) return Corrupt(kCorruptRawOffsetZero);
    // Raw data outside the file cannot be reached from the file either.
    if (std::uint64_t{s.raw_offset} + s.raw_size > file_size) return Corrupt(kCorruptCannotPosition);
    SectionLookupResult r;
    r.outcome = SectionLookup::kFound;
    r.section = s;
    return r;
  }
  SectionLookupResult none;
  none.outcome = SectionLookup::kNoSection;
  return none;
}

bool BuildEngineImage(const SetupSection& s, Bytes prefix, const std::uint8_t* tail,
                      std::size_t tail_size, Bytes* out) {
  const std::size_t table_end = s.table_offset + std::size_t{s.section_count} * kEntrySize;
  if (prefix.size() < table_end || prefix.size() < s.pe_offset + kChecksumAt + 4 ||
      s.index >= s.section_count)
    return false;
  Bytes image = std::move(prefix);
  const std::uint64_t removed_end = std::uint64_t{s.raw_offset} + s.raw_size;
  // A code signature covers the archive, so it cannot hold for the image:
  // the certificate table behind the section goes, and its directory entry
  // is cleared, so that the image reads as unsigned rather than tampered.
  std::size_t cut_from = tail_size, cut_to = tail_size;
  bool was_signed = false;
  if (const std::size_t entry = SecurityEntryAt(image.data() + s.pe_offset, image.size() - s.pe_offset)) {
    std::uint8_t* directory = image.data() + s.pe_offset + entry;
    const std::uint64_t table = Get32(directory), table_size = Get32(directory + 4);
    was_signed = table != 0 || table_size != 0;
    if (table >= removed_end && table - removed_end + table_size <= tail_size) {
      cut_from = static_cast<std::size_t>(table - removed_end);
      cut_to = static_cast<std::size_t>(cut_from + table_size);
    }
    std::memset(directory, 0, kDirectorySize);
  }
  image.insert(image.end(), tail, tail + cut_from);
  image.insert(image.end(), tail + cut_to, tail + tail_size);
  std::uint8_t* pe = image.data() + s.pe_offset;
  std::uint8_t* table = image.data() + s.table_offset;

  Put16(pe + kSectionCountAt, static_cast<std::uint16_t>(s.section_count - 1));
  const std::uint32_t init = Get32(pe + kInitializedDataAt);
  Put32(pe + kInitializedDataAt, init >= s.raw_size ? init - s.raw_size : 0);
  // Later raw data moved forward by the section's raw size. Entries without
  // raw data (offset 0) or in front of the section keep their offsets.
  for (std::size_t i = s.index; i + 1 < s.section_count; ++i) {
    std::uint8_t* e = table + i * kEntrySize;
    std::memcpy(e, e + kEntrySize, kEntrySize);
    const std::uint32_t raw = Get32(e + kRawOffsetAt);
    if (raw >= removed_end) Put32(e + kRawOffsetAt, raw - s.raw_size);
  }
  std::memset(table + (s.section_count - 1) * kEntrySize, 0, kEntrySize);
  const std::uint32_t symbols = Get32(pe + kSymbolTableAt);
  if (symbols >= removed_end) Put32(pe + kSymbolTableAt, symbols - s.raw_size);

  // The image ends where the last remaining section ends in memory.
  const std::uint32_t alignment = Get32(pe + kSectionAlignmentAt);
  const std::uint32_t image_size = Get32(pe + kImageSizeAt);
  std::uint64_t new_size = image_size >= s.raw_size ? image_size - s.raw_size : 0;
  if (IsPowerOfTwo(alignment)) {
    new_size = std::max<std::uint64_t>(MappedEnd(table, s.section_count - 1u, alignment),
                                       AlignUp(Get32(pe + kHeadersSizeAt), alignment));
  }
  Put32(pe + kImageSizeAt, static_cast<std::uint32_t>(new_size));
  // The checksum the signing tool wrote no longer fits the shorter file.
  // (An unsigned installer keeps the engine's own, as the engine had it.)
  if (was_signed && Get32(pe + kChecksumAt) != 0) {
    Put32(pe + kChecksumAt, 0);
    Put32(pe + kChecksumAt, PeChecksum(image));
  }
  *out = std::move(image);
  return true;
}

namespace {

bool Refuse(std::string* error, const char* reason) {
  *error = reason;
  return false;
}

struct PeLayout {
  std::size_t pe = 0, table = 0;
  std::uint16_t count = 0;
  std::uint32_t file_alignment = 0, section_alignment = 0, headers_size = 0;
};

bool ReadLayout(const Bytes& f, PeLayout* l, std::string* error) {
  if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z') return Refuse(error, "not an MZ executable");
  l->pe = Get32(f.data() + 0x3C);
  if (l->pe > f.size() || f.size() - l->pe < kHeadersSizeAt + 4 ||
      std::memcmp(f.data() + l->pe, "PE\0\0", 4) != 0)
    return Refuse(error, "no PE header");
  const std::uint8_t* pe = f.data() + l->pe;
  l->count = Get16(pe + kSectionCountAt);
  l->table = l->pe + kOptionalAt + Get16(pe + kOptionalSizeAt);
  l->section_alignment = Get32(pe + kSectionAlignmentAt);
  l->file_alignment = Get32(pe + kFileAlignmentAt);
  l->headers_size = Get32(pe + kHeadersSizeAt);
  if (!IsPowerOfTwo(l->section_alignment) || !IsPowerOfTwo(l->file_alignment) ||
      l->table + std::size_t{l->count} * kEntrySize > f.size())
    return Refuse(error, "malformed PE header");
  return true;
}

// The new entry must fit behind the table, inside the headers and in front of
// the first section's raw data.
bool HasRoomForEntry(const Bytes& f, const PeLayout& l, std::string* error) {
  std::uint64_t limit = l.headers_size;
  for (std::size_t i = 0; i < l.count; ++i) {
    const std::uint32_t raw = Get32(f.data() + l.table + i * kEntrySize + kRawOffsetAt);
    if (raw != 0) limit = std::min<std::uint64_t>(limit, raw);
  }
  if (l.count >= 99 || l.table + (std::size_t{l.count} + 1) * kEntrySize > limit)
    return Refuse(error, "no room for another section table entry");
  return true;
}

}  // namespace

bool AddSetupSection(const Bytes& engine, const Bytes& section_data, const Bytes& appended,
                     Bytes* out, std::string* error) {
  PeLayout l;
  if (!ReadLayout(engine, &l, error) || !HasRoomForEntry(engine, l, error)) return false;
  if (section_data.empty()) return Refuse(error, "empty section");
  Bytes f = engine;
  const std::uint64_t va = MappedEnd(f.data() + l.table, l.count, l.section_alignment);
  // Page-aligned raw data lets the loader map the archive from the file
  // instead of reading all of it into private memory at start.
  f.resize(static_cast<std::size_t>(AlignUp(f.size(), std::max(l.file_alignment, kPageSize))), 0);
  const std::size_t raw_offset = f.size();
  f.insert(f.end(), section_data.begin(), section_data.end());
  std::uint64_t virtual_size, raw_size;
  if (appended.empty()) {
    // Virtual and raw size alike, so the loader maps every stored byte.
    raw_size = virtual_size = AlignUp(section_data.size(), l.section_alignment);
    f.resize(raw_offset + static_cast<std::size_t>(raw_size), 0);
  } else {
    // The appended bytes start right behind the archive, so the raw size may
    // only reach into them (or be cut at the file's end), never add padding.
    virtual_size = section_data.size();
    raw_size = std::min<std::uint64_t>(AlignUp(section_data.size(), l.file_alignment),
                                       section_data.size() + appended.size());
    f.insert(f.end(), appended.begin(), appended.end());
  }
  if (va + virtual_size > 0xFFFFFFFFu || f.size() > 0xFFFFFFFFu) return Refuse(error, "image too large");

  std::uint8_t* e = f.data() + l.table + std::size_t{l.count} * kEntrySize;
  std::memset(e, 0, kEntrySize);
  std::memcpy(e, kSetupSectionName, sizeof kSetupSectionName - 1);
  Put32(e + kVirtualSizeAt, static_cast<std::uint32_t>(virtual_size));
  Put32(e + kVirtualAddressAt, static_cast<std::uint32_t>(va));
  Put32(e + kRawSizeAt, static_cast<std::uint32_t>(raw_size));
  Put32(e + kRawOffsetAt, static_cast<std::uint32_t>(raw_offset));
  Put32(e + kCharacteristicsAt, kInitializedDataReadable);
  std::uint8_t* pe = f.data() + l.pe;
  Put16(pe + kSectionCountAt, static_cast<std::uint16_t>(l.count + 1));
  Put32(pe + kImageSizeAt, static_cast<std::uint32_t>(AlignUp(va + virtual_size, l.section_alignment)));
  Put32(pe + kInitializedDataAt, Get32(pe + kInitializedDataAt) + static_cast<std::uint32_t>(raw_size));
  *out = std::move(f);
  return true;
}

}  // namespace ks
