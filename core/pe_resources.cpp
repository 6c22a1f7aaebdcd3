#include "core/pe_resources.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

#include "core/pe_image.h"

namespace ks {
namespace {

// ---------------------------------------------------------------------------
// The tree's records (all little-endian, offsets from the section's start):
//   directory   16 bytes: characteristics, time stamp, version (2+2),
//               named entry count (2), numbered entry count (2); then entries
//   entry        8 bytes: name (bit 31: offset of a counted UTF-16 text, else
//               the number), target (bit 31: offset of a directory, else of a
//               data entry)
//   data entry  16 bytes: data RVA, size, code page, reserved
// Three levels: type, name, language.

constexpr std::size_t kDirectorySize = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr int kLevels = 3;

ResourceKey KeyOf(std::uint16_t id) { return ResourceKey::Id(id); }

WString Upper(WStringView text) {
  WString out(text);
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return out;
}

// The tree's order: named keys first, by their upper-case text, then numbers.
bool KeyLess(const ResourceKey& a, const ResourceKey& b) {
  if (a.is_name() != b.is_name()) return a.is_name();
  if (a.is_name()) return Upper(a.name) < Upper(b.name);
  return a.id < b.id;
}

// Where a resource's data lies: a resolver from RVA and size to bytes, and a
// budget that bounds what a malformed tree can make the reader copy or visit
// (a well-formed tree shares no entries and no data, so neither exceeds the
// bytes it was read from).
struct TreeSource {
  const std::uint8_t* section = nullptr;
  std::size_t size = 0;
  std::function<const std::uint8_t*(std::uint32_t rva, std::uint32_t size)> data_at;
  std::size_t entries_left = 0;
  std::size_t data_left = 0;
};

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

bool ReadKey(const TreeSource& src, std::uint32_t field, ResourceKey* key) {
  if (!(field & kHighBit)) {
    if (field > 0xFFFF) return false;
    *key = KeyOf(static_cast<std::uint16_t>(field));
    return true;
  }
  const std::size_t at = field & ~kHighBit;
  if (at > src.size || src.size - at < 2) return false;
  const std::size_t length = LoadLe16(src.section + at);
  if (length == 0 || (src.size - at - 2) / 2 < length) return false;
  WString name(length, u'\0');
  for (std::size_t i = 0; i < length; ++i) name[i] = static_cast<char16_t>(LoadLe16(src.section + at + 2 + 2 * i));
  *key = ResourceKey::Name(std::move(name));
  return true;
}

bool ReadLeaf(TreeSource& src, std::size_t at, Resource* r) {
  if (at > src.size || src.size - at < kDataEntrySize) return false;
  const std::uint8_t* e = src.section + at;
  const std::uint32_t rva = LoadLe32(e), size = LoadLe32(e + 4);
  if (size > src.data_left) return false;
  const std::uint8_t* data = size ? src.data_at(rva, size) : nullptr;
  if (size && !data) return false;
  src.data_left -= size;
  r->code_page = LoadLe32(e + 8);
  r->data.assign(data, data + size);
  return true;
}

// Reads the directory at `at` on `level` (0 types, 1 names, 2 languages).
bool ReadDirectory(TreeSource& src, std::size_t at, int level, Resource& path, ResourceTable* out) {
  if (at > src.size || src.size - at < kDirectorySize) return false;
  const std::size_t count = std::size_t{LoadLe16(src.section + at + 12)} + LoadLe16(src.section + at + 14);
  if (count > src.entries_left || (src.size - at - kDirectorySize) / kEntrySize < count) return false;
  src.entries_left -= count;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = src.section + at + kDirectorySize + i * kEntrySize;
    const std::uint32_t name = LoadLe32(e), target = LoadLe32(e + 4);
    const bool subdirectory = (target & kHighBit) != 0;
    // Every type and name leads to a directory, every language to data.
    if (subdirectory != (level + 1 < kLevels)) return false;
    if (level == 0 || level == 1) {
      if (!ReadKey(src, name, level == 0 ? &path.type : &path.name)) return false;
      if (!ReadDirectory(src, target & ~kHighBit, level + 1, path, out)) return false;
    } else {
      if (name > 0xFFFF) return false;
      Resource r;
      r.type = path.type;
      r.name = path.name;
      r.language = static_cast<std::uint16_t>(name);
      if (!ReadLeaf(src, target, &r)) return false;
      out->push_back(std::move(r));
    }
  }
  return true;
}

bool ReadTree(TreeSource& src, std::size_t data_budget, ResourceTable* out, std::string* error) {
  src.entries_left = src.size / kEntrySize;
  src.data_left = data_budget;
  ResourceTable table;
  Resource path;
  if (!ReadDirectory(src, 0, 0, path, &table)) return Fail(error, "malformed resource tree");
  *out = std::move(table);
  return true;
}

// ---------------------------------------------------------------------------
// The image's headers.

constexpr std::size_t kSectionEntrySize = 40;
// From the start of "PE\0\0".
constexpr std::size_t kSectionCountAt = 6;
constexpr std::size_t kSymbolTableAt = 12;
constexpr std::size_t kOptionalSizeAt = 20;
constexpr std::size_t kOptionalAt = 24;
// From the optional header's start, the same in PE32 and PE32+.
constexpr std::size_t kInitializedDataAt = 0x08;
constexpr std::size_t kSectionAlignmentAt = 0x20;
constexpr std::size_t kFileAlignmentAt = 0x24;
constexpr std::size_t kImageSizeAt = 0x38;
constexpr std::size_t kHeadersSizeAt = 0x3C;
constexpr std::size_t kChecksumAt = 0x40;
// Inside a section table entry.
constexpr std::size_t kVirtualSizeAt = 8;
constexpr std::size_t kVirtualAddressAt = 12;
constexpr std::size_t kRawSizeAt = 16;
constexpr std::size_t kRawOffsetAt = 20;
constexpr std::size_t kCharacteristicsAt = 36;
constexpr std::uint32_t kDiscardable = 0x02000000;

enum Directory : std::size_t { kResourceDirectory = 2, kSecurityDirectory = 4, kRelocationDirectory = 5,
                               kDebugDirectory = 6 };
constexpr std::size_t kDebugEntrySize = 28;
constexpr std::size_t kDebugRvaAt = 20;
constexpr std::size_t kDebugFilePointerAt = 24;

struct Section {
  std::size_t entry = 0;  // file offset of its table entry
  std::uint32_t va = 0, virtual_size = 0, raw_size = 0, raw_offset = 0, characteristics = 0;

  // Bytes it covers in memory (a virtual size of 0 means the raw size).
  std::uint64_t MemorySize() const { return virtual_size ? virtual_size : raw_size; }
  bool Holds(std::uint32_t rva) const { return rva >= va && rva - va < MemorySize(); }
};

struct PeLayout {
  std::size_t pe = 0, optional = 0, directories = 0;
  std::uint32_t directory_count = 0;
  std::uint32_t section_alignment = 0, file_alignment = 0;
  std::vector<Section> sections;

  std::uint32_t DirectoryRva(const Bytes& f, std::size_t d) const {
    return d < directory_count ? LoadLe32(f.data() + directories + 8 * d) : 0;
  }
  std::uint32_t DirectorySize(const Bytes& f, std::size_t d) const {
    return d < directory_count ? LoadLe32(f.data() + directories + 8 * d + 4) : 0;
  }
  const Section* SectionOf(std::uint32_t rva) const {
    for (const Section& s : sections) {
      if (s.Holds(rva)) return &s;
    }
    return nullptr;
  }
};

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
std::uint64_t AlignUp(std::uint64_t v, std::uint32_t alignment) { return (v + alignment - 1) / alignment * alignment; }

bool ReadLayout(const Bytes& f, PeLayout* l, std::string* error) {
  if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z') return Fail(error, "not an MZ executable");
  l->pe = LoadLe32(f.data() + 0x3C);
  if (l->pe > f.size() || f.size() - l->pe < kOptionalAt + 2 || std::memcmp(f.data() + l->pe, "PE\0\0", 4) != 0)
    return Fail(error, "no PE header");
  const std::uint8_t* pe = f.data() + l->pe;
  l->optional = l->pe + kOptionalAt;
  const std::size_t optional_size = LoadLe16(pe + kOptionalSizeAt);
  const std::uint16_t magic = LoadLe16(f.data() + l->optional);
  const std::size_t count_at = magic == 0x20B ? 0x6C : magic == 0x10B ? 0x5C : 0;
  if (count_at == 0 || optional_size < count_at + 4 || f.size() - l->optional < optional_size)
    return Fail(error, "malformed optional header");
  l->directories = l->optional + count_at + 4;
  l->directory_count = std::min<std::uint32_t>(LoadLe32(f.data() + l->optional + count_at),
                                               static_cast<std::uint32_t>((optional_size - count_at - 4) / 8));
  l->section_alignment = LoadLe32(f.data() + l->optional + kSectionAlignmentAt);
  l->file_alignment = LoadLe32(f.data() + l->optional + kFileAlignmentAt);
  if (!IsPowerOfTwo(l->section_alignment) || !IsPowerOfTwo(l->file_alignment))
    return Fail(error, "malformed optional header");
  const std::size_t table = l->optional + optional_size;
  const std::size_t count = LoadLe16(pe + kSectionCountAt);
  if ((f.size() - table) / kSectionEntrySize < count) return Fail(error, "section table outside the file");
  for (std::size_t i = 0; i < count; ++i) {
    Section s;
    s.entry = table + i * kSectionEntrySize;
    const std::uint8_t* e = f.data() + s.entry;
    s.virtual_size = LoadLe32(e + kVirtualSizeAt);
    s.va = LoadLe32(e + kVirtualAddressAt);
    s.raw_size = LoadLe32(e + kRawSizeAt);
    s.raw_offset = LoadLe32(e + kRawOffsetAt);
    s.characteristics = LoadLe32(e + kCharacteristicsAt);
    l->sections.push_back(s);
  }
  return true;
}

// The file bytes behind `size` bytes at `rva`, when the file holds all of them.
const std::uint8_t* FileBytesAt(const Bytes& f, const PeLayout& l, std::uint32_t rva, std::uint32_t size) {
  const Section* s = l.SectionOf(rva);
  if (!s) return nullptr;
  const std::uint64_t from = std::uint64_t{s->raw_offset} + (rva - s->va);
  const std::uint64_t raw_end = std::min<std::uint64_t>(std::uint64_t{s->raw_offset} + s->raw_size, f.size());
  if (rva - s->va + std::uint64_t{size} > s->MemorySize() || from + size > raw_end) return nullptr;
  return f.data() + from;
}

// ---------------------------------------------------------------------------
// Writing the tree.

struct NameNode {
  ResourceKey name;
  std::vector<const Resource*> languages;  // by language
};
struct TypeNode {
  ResourceKey type;
  std::vector<NameNode> names;
};

std::vector<TypeNode> Group(const ResourceTable& table) {
  // The last entry of a key counts.
  std::vector<const Resource*> unique;
  for (const Resource& r : table) {
    auto same = std::find_if(unique.begin(), unique.end(), [&r](const Resource* u) {
      return u->type == r.type && u->name == r.name && u->language == r.language;
    });
    if (same != unique.end()) *same = &r;
    else unique.push_back(&r);
  }
  std::stable_sort(unique.begin(), unique.end(), [](const Resource* a, const Resource* b) {
    if (KeyLess(a->type, b->type) || KeyLess(b->type, a->type)) return KeyLess(a->type, b->type);
    if (KeyLess(a->name, b->name) || KeyLess(b->name, a->name)) return KeyLess(a->name, b->name);
    return a->language < b->language;
  });
  std::vector<TypeNode> types;
  for (const Resource* r : unique) {
    if (types.empty() || types.back().type != r->type) types.push_back({r->type, {}});
    std::vector<NameNode>& names = types.back().names;
    if (names.empty() || names.back().name != r->name) names.push_back({r->name, {}});
    names.back().languages.push_back(r);
  }
  return types;
}

std::uint32_t ToU32(std::size_t v) { return static_cast<std::uint32_t>(v); }

class TreeWriter {
 public:
  explicit TreeWriter(std::uint32_t section_rva) : rva_(section_rva) {}

  Bytes Build(const std::vector<TypeNode>& types) {
    // Layout: every directory (types, then the names of each type, then the
    // languages of each name), the data entries, the names' texts, the data.
    std::size_t at = DirectorySize(types.size());
    std::vector<std::size_t> name_dirs, language_dirs;
    for (const TypeNode& t : types) {
      name_dirs.push_back(at);
      at += DirectorySize(t.names.size());
    }
    for (const TypeNode& t : types) {
      for (const NameNode& n : t.names) {
        language_dirs.push_back(at);
        at += DirectorySize(n.languages.size());
      }
    }
    const std::size_t data_entries = at;
    std::size_t leaves = 0;
    for (const TypeNode& t : types) {
      for (const NameNode& n : t.names) leaves += n.languages.size();
    }
    out_.assign(data_entries + leaves * kDataEntrySize, 0);
    // Texts are placed as their keys are written; the data follows them.
    std::size_t leaf = 0, name_index = 0;
    WriteDirectoryHead(0, types.size(), CountNamed(types, [](const TypeNode& t) { return t.type; }));
    for (std::size_t ti = 0; ti < types.size(); ++ti) {
      const TypeNode& t = types[ti];
      WriteEntry(0, ti, t.type, kHighBit | ToU32(name_dirs[ti]));
      WriteDirectoryHead(name_dirs[ti], t.names.size(),
                         CountNamed(t.names, [](const NameNode& n) { return n.name; }));
      for (std::size_t ni = 0; ni < t.names.size(); ++ni, ++name_index) {
        const NameNode& n = t.names[ni];
        WriteEntry(name_dirs[ti], ni, n.name, kHighBit | ToU32(language_dirs[name_index]));
        WriteDirectoryHead(language_dirs[name_index], n.languages.size(), 0);
        for (std::size_t li = 0; li < n.languages.size(); ++li, ++leaf) {
          WriteEntry(language_dirs[name_index], li, KeyOf(n.languages[li]->language),
                     ToU32(data_entries + leaf * kDataEntrySize));
        }
      }
    }
    Align(8);
    leaf = 0;
    for (const TypeNode& t : types) {
      for (const NameNode& n : t.names) {
        for (const Resource* r : n.languages) {
          const std::size_t entry = data_entries + leaf++ * kDataEntrySize;
          StoreLe32(&out_[entry], rva_ + ToU32(out_.size()));
          StoreLe32(&out_[entry + 4], ToU32(r->data.size()));
          StoreLe32(&out_[entry + 8], r->code_page);
          out_.insert(out_.end(), r->data.begin(), r->data.end());
          Align(8);
        }
      }
    }
    return std::move(out_);
  }

 private:
  static std::size_t DirectorySize(std::size_t entries) { return kDirectorySize + entries * kEntrySize; }

  template <typename Node, typename KeyFn>
  static std::size_t CountNamed(const std::vector<Node>& nodes, KeyFn key) {
    return static_cast<std::size_t>(
        std::count_if(nodes.begin(), nodes.end(), [&key](const Node& n) { return key(n).is_name(); }));
  }

  void WriteDirectoryHead(std::size_t at, std::size_t count, std::size_t named) {
    StoreLe16(&out_[at + 12], static_cast<std::uint16_t>(named));
    StoreLe16(&out_[at + 14], static_cast<std::uint16_t>(count - named));
  }

  void WriteEntry(std::size_t directory, std::size_t index, const ResourceKey& key, std::uint32_t target) {
    const std::size_t e = directory + kDirectorySize + index * kEntrySize;
    // Placing a name grows the buffer: take the value before the address.
    const std::uint32_t name = key.is_name() ? kHighBit | PlaceName(key.name) : key.id;
    StoreLe32(&out_[e], name);
    StoreLe32(&out_[e + 4], target);
  }

  // Texts go behind the data entries, each a 16-bit length and its units.
  std::uint32_t PlaceName(const WString& name) {
    const std::uint32_t at = ToU32(out_.size());
    out_.resize(out_.size() + 2 + 2 * name.size());
    StoreLe16(&out_[at], static_cast<std::uint16_t>(name.size()));
    for (std::size_t i = 0; i < name.size(); ++i) StoreLe16(&out_[at + 2 + 2 * i], name[i]);
    return at;
  }

  void Align(std::size_t alignment) { out_.resize(AlignUp(out_.size(), static_cast<std::uint32_t>(alignment)), 0); }

  std::uint32_t rva_;
  Bytes out_;
};

// ---------------------------------------------------------------------------
// Making room for the new section.

struct Room {
  std::int64_t file_shift = 0;      // for every byte behind the old raw data
  std::uint32_t memory_shift = 0;   // for every section behind it in memory
};

std::string SectionName(const Bytes& f, const Section& s) {
  const char* name = reinterpret_cast<const char*>(f.data() + s.entry);
  return std::string(name, static_cast<std::size_t>(std::find(name, name + 8, '\0') - name));
}

// A section nothing addresses by its place: base relocations (found through
// their data directory) or discardable data such as debugging information.
bool Movable(const Bytes& f, const PeLayout& l, const Section& s) {
  if (s.characteristics & kDiscardable) return true;
  return l.DirectoryRva(f, kRelocationDirectory) == s.va;
}

bool MakeRoom(const Bytes& f, const PeLayout& l, const Section& rsrc, std::size_t new_size, Room* room,
              std::string* error) {
  const std::uint64_t new_raw = AlignUp(new_size, l.file_alignment);
  if (new_raw > rsrc.raw_size) room->file_shift = static_cast<std::int64_t>(new_raw - rsrc.raw_size);
  std::uint64_t next_va = UINT64_MAX;
  for (const Section& s : l.sections) {
    if (s.va > rsrc.va) next_va = std::min<std::uint64_t>(next_va, s.va);
  }
  const std::uint64_t new_end = AlignUp(std::uint64_t{rsrc.va} + new_size, l.section_alignment);
  if (next_va != UINT64_MAX && new_end > next_va) {
    room->memory_shift = static_cast<std::uint32_t>(AlignUp(new_end - next_va, l.section_alignment));
    for (const Section& s : l.sections) {
      if (s.va <= rsrc.va) continue;
      if (!Movable(f, l, s)) {
        return Fail(error, "the resources outgrow their section and the section \"" + SectionName(f, s) +
                               "\" behind it cannot move");
      }
    }
    // Nothing else may point into what moves in memory.
    for (std::size_t d = 0; d < l.directory_count; ++d) {
      if (d == kResourceDirectory || d == kRelocationDirectory || d == kSecurityDirectory) continue;
      const std::uint32_t rva = l.DirectoryRva(f, d);
      if (rva > rsrc.va && rva >= next_va) return Fail(error, "a data directory points behind the resources");
    }
  }
  if (std::uint64_t{rsrc.va} + new_size > 0xFFFFFFFFu || f.size() + room->file_shift > 0xFFFFFFFFu)
    return Fail(error, "image too large");
  return true;
}

void Relocate(Bytes& out, const PeLayout& l, const Section& rsrc, std::uint32_t old_raw_end, const Room& room) {
  const auto move_file = [&](std::uint32_t offset) {
    return offset >= old_raw_end && offset != 0 ? static_cast<std::uint32_t>(offset + room.file_shift) : offset;
  };
  for (const Section& s : l.sections) {
    if (s.entry == rsrc.entry) continue;
    std::uint8_t* e = out.data() + s.entry;
    StoreLe32(e + kRawOffsetAt, move_file(s.raw_offset));
    if (s.va > rsrc.va) StoreLe32(e + kVirtualAddressAt, s.va + room.memory_shift);
  }
  std::uint8_t* pe = out.data() + l.pe;
  StoreLe32(pe + kSymbolTableAt, move_file(LoadLe32(pe + kSymbolTableAt)));
  if (kRelocationDirectory < l.directory_count) {
    std::uint8_t* d = out.data() + l.directories + 8 * kRelocationDirectory;
    if (LoadLe32(d) > rsrc.va) StoreLe32(d, LoadLe32(d) + room.memory_shift);
  }
}

// The debug directory's entries name their data by file offset and by RVA.
void RelocateDebugData(Bytes& out, const PeLayout& before, const Section& rsrc, std::uint32_t old_raw_end,
                       const Room& room) {
  const std::uint32_t rva = before.DirectoryRva(out, kDebugDirectory);
  const std::uint32_t size = before.DirectorySize(out, kDebugDirectory);
  if (rva == 0 || (room.file_shift == 0 && room.memory_shift == 0)) return;
  PeLayout after;
  std::string ignored;
  if (!ReadLayout(out, &after, &ignored)) return;
  const std::uint8_t* found = FileBytesAt(out, after, rva, size);
  if (!found) return;
  const std::size_t at = static_cast<std::size_t>(found - out.data());
  for (std::size_t i = 0; i + kDebugEntrySize <= size; i += kDebugEntrySize) {
    std::uint8_t* entry = out.data() + at + i;
    const std::uint32_t data_rva = LoadLe32(entry + kDebugRvaAt), file = LoadLe32(entry + kDebugFilePointerAt);
    if (data_rva > rsrc.va) StoreLe32(entry + kDebugRvaAt, data_rva + room.memory_shift);
    if (file >= old_raw_end) StoreLe32(entry + kDebugFilePointerAt, static_cast<std::uint32_t>(file + room.file_shift));
  }
}

}  // namespace

ResourceKey ResourceKey::Id(std::uint16_t id) {
  ResourceKey k;
  k.id = id;
  return k;
}

ResourceKey ResourceKey::Name(WString name) {
  ResourceKey k;
  k.name = std::move(name);
  return k;
}

bool operator==(const ResourceKey& a, const ResourceKey& b) {
  if (a.is_name() != b.is_name()) return false;
  return a.is_name() ? Upper(a.name) == Upper(b.name) : a.id == b.id;
}
bool operator!=(const ResourceKey& a, const ResourceKey& b) { return !(a == b); }

bool ReadResourceSection(const std::uint8_t* section, std::size_t size, std::uint32_t section_rva,
                         ResourceTable* out, std::string* error) {
  TreeSource src;
  src.section = section;
  src.size = size;
  src.data_at = [section, size, section_rva](std::uint32_t rva, std::uint32_t n) -> const std::uint8_t* {
    if (rva < section_rva || rva - section_rva > size || size - (rva - section_rva) < n) return nullptr;
    return section + (rva - section_rva);
  };
  return ReadTree(src, size, out, error);
}

bool ReadResources(const Bytes& image, ResourceTable* out, std::string* error) {
  PeLayout l;
  if (!ReadLayout(image, &l, error)) return false;
  const std::uint32_t rva = l.DirectoryRva(image, kResourceDirectory);
  const std::uint32_t size = l.DirectorySize(image, kResourceDirectory);
  if (rva == 0 && size == 0) {
    out->clear();
    return true;
  }
  // The tree may address the rest of its section from where it starts.
  const Section* s = l.SectionOf(rva);
  if (!s) return Fail(error, "the resource directory lies outside every section");
  const std::uint64_t in_file = image.size() > s->raw_offset ? image.size() - s->raw_offset : 0;
  const std::uint64_t stored = std::min({s->MemorySize(), std::uint64_t{s->raw_size}, in_file});
  const std::uint32_t available = rva - s->va < stored ? static_cast<std::uint32_t>(stored - (rva - s->va)) : 0;
  const std::uint8_t* tree = available ? FileBytesAt(image, l, rva, available) : nullptr;
  if (!tree) return Fail(error, "the resource directory lies outside the file");
  TreeSource src;
  src.section = tree;
  src.size = available;
  src.data_at = [&image, &l](std::uint32_t at, std::uint32_t n) { return FileBytesAt(image, l, at, n); };
  return ReadTree(src, image.size(), out, error);
}

const Resource* FindResourceEntry(const ResourceTable& table, const ResourceKey& type, const ResourceKey& name,
                                  std::uint16_t language) {
  for (const Resource& r : table) {
    if (r.type == type && r.name == name && r.language == language) return &r;
  }
  return nullptr;
}

void PutResource(ResourceTable& table, Resource resource) {
  for (Resource& r : table) {
    if (r.type == resource.type && r.name == resource.name && r.language == resource.language) {
      r = std::move(resource);
      return;
    }
  }
  table.push_back(std::move(resource));
}

void RemoveResource(ResourceTable& table, const ResourceKey& type, const ResourceKey& name) {
  table.erase(std::remove_if(table.begin(), table.end(),
                             [&](const Resource& r) { return r.type == type && r.name == name; }),
              table.end());
}

Bytes BuildResourceSection(const ResourceTable& table, std::uint32_t section_rva) {
  return TreeWriter(section_rva).Build(Group(table));
}

bool WriteResources(const Bytes& image, const ResourceTable& table, Bytes* out, std::string* error) {
  PeLayout l;
  if (!ReadLayout(image, &l, error)) return false;
  if (l.DirectoryRva(image, kSecurityDirectory) != 0)
    return Fail(error, "the image is signed; edit its resources before signing it");
  const std::uint32_t rva = l.DirectoryRva(image, kResourceDirectory);
  const Section* found = rva ? l.SectionOf(rva) : nullptr;
  if (!found || found->va != rva || found->raw_offset == 0)
    return Fail(error, "the image has no resource section of its own");
  const Section rsrc = *found;
  for (std::size_t d = 0; d < l.directory_count; ++d) {
    if (d != kResourceDirectory && l.DirectoryRva(image, d) != 0 && rsrc.Holds(l.DirectoryRva(image, d)))
      return Fail(error, "the resource section holds other data as well");
  }
  if (std::uint64_t{rsrc.raw_offset} + rsrc.raw_size > image.size())
    return Fail(error, "the resource section lies outside the file");
  // Its bytes are replaced and what follows moves: they must be its own.
  const std::uint64_t table_end = l.sections.empty() ? 0 : l.sections.back().entry + kSectionEntrySize;
  if (rsrc.raw_offset < table_end) return Fail(error, "the resource section overlaps the headers");
  for (const Section& s : l.sections) {
    if (s.entry == rsrc.entry || s.raw_size == 0 || s.raw_offset == 0) continue;
    const bool behind = s.raw_offset >= std::uint64_t{rsrc.raw_offset} + rsrc.raw_size;
    const bool in_front = std::uint64_t{s.raw_offset} + s.raw_size <= rsrc.raw_offset;
    if (!behind && !in_front) return Fail(error, "the resource section overlaps another section");
  }

  const Bytes tree = BuildResourceSection(table, rsrc.va);
  Room room;
  if (!MakeRoom(image, l, rsrc, tree.size(), &room, error)) return false;
  const std::uint32_t old_raw_end = rsrc.raw_offset + rsrc.raw_size;
  const std::uint32_t new_raw = static_cast<std::uint32_t>(rsrc.raw_size + room.file_shift);

  Bytes f(image.begin(), image.begin() + rsrc.raw_offset);
  f.insert(f.end(), tree.begin(), tree.end());
  f.resize(std::size_t{rsrc.raw_offset} + new_raw, 0);
  f.insert(f.end(), image.begin() + old_raw_end, image.end());

  std::uint8_t* e = f.data() + rsrc.entry;
  StoreLe32(e + kVirtualSizeAt, static_cast<std::uint32_t>(tree.size()));
  StoreLe32(e + kRawSizeAt, new_raw);
  Relocate(f, l, rsrc, old_raw_end, room);
  StoreLe32(f.data() + l.directories + 8 * kResourceDirectory + 4, static_cast<std::uint32_t>(tree.size()));

  std::uint8_t* opt = f.data() + l.optional;
  StoreLe32(opt + kInitializedDataAt, static_cast<std::uint32_t>(LoadLe32(opt + kInitializedDataAt) + room.file_shift));
  std::uint64_t image_end = AlignUp(LoadLe32(opt + kHeadersSizeAt), l.section_alignment);
  PeLayout after;
  if (!ReadLayout(f, &after, error)) return false;
  for (const Section& s : after.sections) image_end = std::max(image_end, AlignUp(s.va + s.MemorySize(), l.section_alignment));
  StoreLe32(opt + kImageSizeAt, static_cast<std::uint32_t>(image_end));
  RelocateDebugData(f, l, rsrc, old_raw_end, room);
  // In a damaged image a directory can overlap the headers, so that moving
  // what it names rewrites the section table itself: an edit that cannot be
  // read back is refused, never handed out as done.
  ResourceTable written;
  if (!ReadResources(f, &written, nullptr)) return Fail(error, "the edited image cannot be read back (the image is damaged)");
  // A checksum the linker wrote must still hold; an image without one keeps none.
  if (LoadLe32(opt + kChecksumAt) != 0) StoreLe32(opt + kChecksumAt, PeChecksum(f, l.optional + kChecksumAt));
  *out = std::move(f);
  return true;
}

// ---------------------------------------------------------------------------

std::uint16_t StringBlockName(std::uint16_t string_id) { return static_cast<std::uint16_t>(string_id / 16 + 1); }

Bytes BuildStringBlock(const StringBlock& strings) {
  ByteWriter w;
  for (const WString& s : strings) {
    w.U16(static_cast<std::uint16_t>(s.size()));
    for (char16_t c : s) w.U16(c);
  }
  return w.Take();
}

bool ReadStringBlock(const Bytes& block, StringBlock* strings) {
  ByteReader r(block);
  for (WString& s : *strings) {
    s.clear();
    const std::size_t length = r.U16();
    if (r.overrun() || r.remaining() / 2 < length) return false;
    for (std::size_t i = 0; i < length; ++i) s.push_back(static_cast<char16_t>(r.U16()));
  }
  return true;
}

void PutResourceString(ResourceTable& table, std::uint16_t id, std::uint16_t language, const WString& text) {
  const ResourceKey type = KeyOf(resource_type::kString), name = KeyOf(StringBlockName(id));
  StringBlock strings;
  if (const Resource* r = FindResourceEntry(table, type, name, language)) ReadStringBlock(r->data, &strings);
  strings[id % 16] = text.substr(0, 0xFFFF);
  const bool empty = std::all_of(strings.begin(), strings.end(), [](const WString& s) { return s.empty(); });
  if (empty) {
    table.erase(std::remove_if(table.begin(), table.end(),
                               [&](const Resource& r) { return r.type == type && r.name == name && r.language == language; }),
                table.end());
    return;
  }
  PutResource(table, Resource{type, name, language, 0, BuildStringBlock(strings)});
}

WString ResourceString(const ResourceTable& table, std::uint16_t id, std::uint16_t language) {
  const Resource* r = FindResourceEntry(table, KeyOf(resource_type::kString), KeyOf(StringBlockName(id)), language);
  StringBlock strings;
  if (r) ReadStringBlock(r->data, &strings);
  return strings[id % 16];
}

}  // namespace ks
