#include "core/pe_resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace ks {
namespace {

using resource_type::kBitmap;
using resource_type::kRcData;
using resource_type::kString;

Resource Make(ResourceKey type, ResourceKey name, std::uint16_t language, std::string data) {
  return Resource{std::move(type), std::move(name), language, 0, Bytes(data.begin(), data.end())};
}
ResourceKey Id(std::uint16_t id) { return ResourceKey::Id(id); }
ResourceKey Name(const char16_t* name) { return ResourceKey::Name(name); }

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// ---------------------------------------------------------------------------
// A small image: headers of 0x400 bytes, sections 0x1000 apart in memory and
// 0x200-aligned in the file, the resource directory pointing at ".rsrc" and
// the relocation directory at ".reloc". A symbol table pointer and bytes
// behind the last section (an overlay) show what must follow a move.

struct Part {
  std::string name;
  std::uint32_t raw_size;  // also the virtual size
  std::uint32_t characteristics = 0x40000040;
};

constexpr std::size_t kPe = 0x80;
constexpr std::uint32_t kDiscardable = 0x02000000;

struct Image {
  Bytes bytes;
  bool pe32plus = false;

  std::size_t Optional() const { return kPe + 24; }
  std::size_t Directories() const { return Optional() + (pe32plus ? 0x70 : 0x60); }
  std::size_t Table() const { return Optional() + (pe32plus ? 0xF0 : 0xE0); }
  std::uint32_t U32(std::size_t at) const {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t{bytes[at + 3]} << 24);
  }
  void Put32(std::size_t at, std::uint32_t v) { StoreLe32(&bytes[at], v); }
  std::uint16_t SectionCount() const { return static_cast<std::uint16_t>(bytes[kPe + 6] | (bytes[kPe + 7] << 8)); }
  std::size_t Entry(const std::string& name) const {
    for (std::size_t i = 0; i < SectionCount(); ++i) {
      const std::size_t e = Table() + i * 40;
      if (std::string(reinterpret_cast<const char*>(&bytes[e]), strnlen(reinterpret_cast<const char*>(&bytes[e]), 8)) == name)
        return e;
    }
    ADD_FAILURE() << "no section " << name;
    return Table();
  }
  std::uint32_t Va(const std::string& s) const { return U32(Entry(s) + 12); }
  std::uint32_t VirtualSize(const std::string& s) const { return U32(Entry(s) + 8); }
  std::uint32_t RawSize(const std::string& s) const { return U32(Entry(s) + 16); }
  std::uint32_t RawOffset(const std::string& s) const { return U32(Entry(s) + 20); }
  std::uint32_t DirectoryRva(int d) const { return U32(Directories() + 8 * d); }
  std::uint32_t DirectorySize(int d) const { return U32(Directories() + 8 * d + 4); }
  std::uint32_t ImageSize() const { return U32(Optional() + 0x38); }
  std::uint32_t Checksum() const { return U32(Optional() + 0x40); }
  std::uint32_t SymbolTable() const { return U32(kPe + 12); }
  std::string Raw(const std::string& s, std::size_t n) const {
    return std::string(bytes.begin() + RawOffset(s), bytes.begin() + RawOffset(s) + n);
  }
};

// The standard image checksum, computed independently of the writer.
std::uint32_t ExpectedChecksum(const Image& image) {
  std::uint64_t sum = 0;
  const std::size_t field = image.Optional() + 0x40;
  for (std::size_t i = 0; i < image.bytes.size(); i += 2) {
    if (i == field || i == field + 2) continue;
    // An odd last byte counts as a word of its own.
    sum += image.bytes[i] | (i + 1 < image.bytes.size() ? image.bytes[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return static_cast<std::uint32_t>(sum + image.bytes.size());
}

Image MakeImage(const std::vector<Part>& parts, const ResourceTable& resources, bool pe32plus = false) {
  Image image;
  image.pe32plus = pe32plus;
  Bytes& f = image.bytes;
  f.assign(0x400, 0);
  f[0] = 'M';
  f[1] = 'Z';
  StoreLe32(&f[0x3C], kPe);
  std::memcpy(&f[kPe], "PE\0\0", 4);
  StoreLe16(&f[kPe + 4], pe32plus ? 0x8664 : 0x14C);
  StoreLe16(&f[kPe + 6], static_cast<std::uint16_t>(parts.size()));
  StoreLe16(&f[kPe + 20], pe32plus ? 0xF0 : 0xE0);
  const std::size_t opt = image.Optional();
  StoreLe16(&f[opt], pe32plus ? 0x20B : 0x10B);
  image.Put32(opt + 0x20, 0x1000);
  image.Put32(opt + 0x24, 0x200);
  image.Put32(opt + 0x3C, 0x400);
  image.Put32(opt + 0x40, 1);  // a checksum to keep up to date
  image.Put32(opt + (pe32plus ? 0x6C : 0x5C), 16);
  std::uint32_t va = 0x1000;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const Part& p = parts[i];
    const std::size_t e = image.Table() + i * 40;
    std::memcpy(&f[e], p.name.data(), std::min<std::size_t>(8, p.name.size()));
    Bytes data;
    if (p.name == ".rsrc") {
      data = BuildResourceSection(resources, va);
      EXPECT_LE(data.size(), p.raw_size);
      image.Put32(image.Directories() + 8 * 2, va);
      image.Put32(image.Directories() + 8 * 2 + 4, static_cast<std::uint32_t>(data.size()));
    } else if (p.name == ".reloc") {
      image.Put32(image.Directories() + 8 * 5, va);
      image.Put32(image.Directories() + 8 * 5 + 4, p.raw_size);
    }
    data.resize(p.raw_size, static_cast<std::uint8_t>(0x11 * (i + 1)));
    image.Put32(e + 8, p.raw_size);
    image.Put32(e + 12, va);
    image.Put32(e + 16, p.raw_size);
    image.Put32(e + 20, static_cast<std::uint32_t>(f.size()));
    image.Put32(e + 36, p.characteristics);
    f.insert(f.end(), data.begin(), data.end());
    va += (p.raw_size + 0xFFF) / 0x1000 * 0x1000;
  }
  image.Put32(opt + 0x38, va);
  // COFF symbols and their string table, then an overlay.
  image.Put32(kPe + 12, static_cast<std::uint32_t>(f.size()));
  for (const char c : std::string("SYMBOLS+OVERLAY")) f.push_back(static_cast<std::uint8_t>(c));
  return image;
}

ResourceTable Icons() {
  return {Make(Id(3), Id(1), kResourceLanguageEnglishUs, "icon image"),
          Make(Id(14), Id(1), kResourceLanguageEnglishUs, "group")};
}

std::vector<Part> Standard(std::uint32_t rsrc_raw = 0x200) {
  return {{".text", 0x400, 0x60000020}, {".rsrc", rsrc_raw}, {".reloc", 0x200, 0x42000040},
          {".debug", 0x200, 0x42000040 | kDiscardable}};
}

ResourceTable ReadBack(const Image& image) {
  ResourceTable table;
  std::string error;
  EXPECT_TRUE(ReadResources(image.bytes, &table, &error)) << error;
  return table;
}

// ---------------------------------------------------------------------------

TEST(PeResources, TreeKeepsEveryResourceInTheLoadersOrder) {
  const ResourceTable table = {
      Make(Id(kRcData), Id(7), 0x0409, "seven"),
      Make(Id(kBitmap), Name(u"Side"), 0x0407, "german side"),
      Make(Name(u"PNG"), Name(u"logo"), 0, "png"),
      Make(Id(kBitmap), Id(101), 0x0409, "english"),
      Make(Id(kBitmap), Name(u"Side"), 0x0409, "english side"),
      Make(Id(kBitmap), Id(101), 0x0407, "german"),
      Make(Id(kBitmap), Name(u"back"), 0x0409, "back"),
  };
  const Bytes section = BuildResourceSection(table, 0x5000);
  ResourceTable read;
  std::string error;
  ASSERT_TRUE(ReadResourceSection(section.data(), section.size(), 0x5000, &read, &error)) << error;
  // Named keys first, by their upper-case text; then numbers; languages ascending.
  const std::vector<std::string> order = {"png", "back", "german side", "english side", "german", "english", "seven"};
  ASSERT_EQ(read.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(Text(read[i].data), order[i]) << i;
  EXPECT_EQ(read[0].type.name, u"PNG");
  EXPECT_EQ(read[0].name.name, u"logo");
  EXPECT_EQ(read[4].name.id, 101);
  EXPECT_EQ(read[4].language, 0x0407);
  // The root counts one named and two numbered types; the bitmap directory
  // two named and one numbered name.
  EXPECT_EQ(section[12] | (section[13] << 8), 1);
  EXPECT_EQ(section[14] | (section[15] << 8), 2);
  // Every data entry names its data by RVA, 8-byte aligned inside the section.
  const Resource* english = FindResourceEntry(read, Id(kBitmap), Id(101), 0x0409);
  ASSERT_NE(english, nullptr);
  EXPECT_EQ(Text(english->data), "english");
}

TEST(PeResources, NamedKeysCompareWithoutCase) {
  ResourceTable table = {Make(Name(u"PNG"), Name(u"LOGO"), 0, "old")};
  PutResource(table, Make(Name(u"png"), Name(u"Logo"), 0, "new"));
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(Text(table[0].data), "new");
  EXPECT_NE(FindResourceEntry(table, Name(u"Png"), Name(u"logo"), 0), nullptr);
  EXPECT_EQ(FindResourceEntry(table, Name(u"Png"), Name(u"logo"), 1), nullptr);
  EXPECT_EQ(FindResourceEntry(table, Id(1), Name(u"logo"), 0), nullptr);
  // A later duplicate wins when the section is built.
  table.push_back(Make(Name(u"PNG"), Name(u"logo"), 0, "latest"));
  const Bytes section = BuildResourceSection(table, 0x1000);
  ResourceTable read;
  ASSERT_TRUE(ReadResourceSection(section.data(), section.size(), 0x1000, &read, nullptr));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(Text(read[0].data), "latest");
}

TEST(PeResources, RemovingTakesTheNameInEveryLanguage) {
  ResourceTable table = {Make(Id(kBitmap), Id(2), 0x0409, "side"), Make(Id(kBitmap), Id(2), 0x0407, "Seite"),
                         Make(Id(kBitmap), Id(202), 0x0409, "large side"), Make(Id(kRcData), Id(2), 0x0409, "data"),
                         Make(Name(u"PNG"), Name(u"LOGO"), 0, "logo")};
  RemoveResource(table, Id(kBitmap), Id(2));
  RemoveResource(table, Name(u"png"), Name(u"Logo"));
  RemoveResource(table, Id(kBitmap), Id(3));  // nothing of that name: nothing changes
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(Text(table[0].data), "large side");
  EXPECT_EQ(Text(table[1].data), "data");

  // An image whose tree lost entries stays whole and holds what is left.
  const Image image = MakeImage(Standard(0x400), Icons());
  ResourceTable icons = ReadBack(image);
  ASSERT_EQ(icons.size(), 2u);
  RemoveResource(icons, Id(3), Id(1));
  Image edited;
  std::string error;
  ASSERT_TRUE(WriteResources(image.bytes, icons, &edited.bytes, &error)) << error;
  EXPECT_EQ(edited.Checksum(), ExpectedChecksum(edited));
  const ResourceTable read = ReadBack(edited);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(FindResourceEntry(read, Id(3), Id(1), kResourceLanguageEnglishUs), nullptr);
}

TEST(PeResources, ReplacingInPlaceKeepsTheLayout) {
  for (const bool pe32plus : {false, true}) {
    SCOPED_TRACE(pe32plus ? "PE32+" : "PE32");
    const Image image = MakeImage(Standard(0x400), Icons(), pe32plus);
    ResourceTable table = ReadBack(image);
    ASSERT_EQ(table.size(), 2u);
    PutResource(table, Make(Id(kRcData), Id(5), 0, "added"));
    Image edited{{}, pe32plus};
    std::string error;
    ASSERT_TRUE(WriteResources(image.bytes, table, &edited.bytes, &error)) << error;
    EXPECT_EQ(edited.bytes.size(), image.bytes.size());
    for (const char* s : {".text", ".reloc", ".debug"}) {
      EXPECT_EQ(edited.Va(s), image.Va(s)) << s;
      EXPECT_EQ(edited.Raw(s, 0x200), image.Raw(s, 0x200)) << s;
    }
    EXPECT_EQ(edited.RawSize(".rsrc"), 0x400u);
    EXPECT_EQ(edited.DirectorySize(2), edited.VirtualSize(".rsrc"));
    EXPECT_EQ(edited.Checksum(), ExpectedChecksum(edited));
    const ResourceTable read = ReadBack(edited);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(Text(FindResourceEntry(read, Id(kRcData), Id(5), 0)->data), "added");
    EXPECT_EQ(Text(FindResourceEntry(read, Id(3), Id(1), kResourceLanguageEnglishUs)->data), "icon image");
  }
}

TEST(PeResources, GrowingMovesWhatFollowsInTheFile) {
  const Image image = MakeImage(Standard(), Icons());
  ResourceTable table = ReadBack(image);
  PutResource(table, Make(Id(kBitmap), Id(1), 0, std::string(0x700, 'b')));  // still within one page
  Image edited;
  std::string error;
  ASSERT_TRUE(WriteResources(image.bytes, table, &edited.bytes, &error)) << error;
  const std::uint32_t shift = edited.RawSize(".rsrc") - image.RawSize(".rsrc");
  EXPECT_EQ(shift, 0x600u);
  for (const char* s : {".reloc", ".debug"}) {
    EXPECT_EQ(edited.Va(s), image.Va(s)) << s;
    EXPECT_EQ(edited.RawOffset(s), image.RawOffset(s) + shift) << s;
    EXPECT_EQ(edited.Raw(s, 0x200), image.Raw(s, 0x200)) << s;
  }
  EXPECT_EQ(edited.RawOffset(".text"), image.RawOffset(".text"));
  EXPECT_EQ(edited.SymbolTable(), image.SymbolTable() + shift);
  EXPECT_EQ(std::string(edited.bytes.end() - 15, edited.bytes.end()), "SYMBOLS+OVERLAY");
  EXPECT_EQ(edited.ImageSize(), image.ImageSize());
  EXPECT_EQ(edited.Checksum(), ExpectedChecksum(edited));
  EXPECT_EQ(Text(FindResourceEntry(ReadBack(edited), Id(kBitmap), Id(1), 0)->data), std::string(0x700, 'b'));
}

TEST(PeResources, GrowingPastThePageMovesRelocationsAndDebugData) {
  const Image image = MakeImage(Standard(), Icons());
  ResourceTable table = ReadBack(image);
  PutResource(table, Make(Id(kBitmap), Id(1), 0, std::string(0x2345, 'b')));
  Image edited;
  std::string error;
  ASSERT_TRUE(WriteResources(image.bytes, table, &edited.bytes, &error)) << error;
  EXPECT_EQ(edited.Va(".rsrc"), image.Va(".rsrc"));
  EXPECT_GE(edited.VirtualSize(".rsrc"), 0x2345u);
  EXPECT_EQ(edited.Va(".reloc"), image.Va(".reloc") + 0x2000);
  EXPECT_EQ(edited.Va(".debug"), image.Va(".debug") + 0x2000);
  EXPECT_EQ(edited.DirectoryRva(5), edited.Va(".reloc"));
  EXPECT_EQ(edited.DirectorySize(5), image.DirectorySize(5));
  EXPECT_EQ(edited.ImageSize(), image.ImageSize() + 0x2000);
  EXPECT_EQ(edited.Raw(".reloc", 0x200), image.Raw(".reloc", 0x200));
  EXPECT_EQ(edited.Checksum(), ExpectedChecksum(edited));
  EXPECT_EQ(ReadBack(edited).size(), 3u);
}

TEST(PeResources, RefusesWhatItCannotEditSafely) {
  struct Case {
    const char* what;
    std::vector<Part> parts;
    std::size_t grow;                     // bytes of new data
    std::function<void(Image&)> damage;   // applied before the edit
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"a data section behind that code may address", {{".text", 0x400}, {".rsrc", 0x200}, {".data", 0x200}}, 0x2000,
       nullptr, "the section \".data\" behind it cannot move"},
      {"a signed image", Standard(), 16, [](Image& i) { i.Put32(i.Directories() + 8 * 4, 0x9000); },
       "signed"},
      {"no resources", Standard(), 16, [](Image& i) { i.Put32(i.Directories() + 8 * 2, 0); }, "no resource section"},
      {"a tree inside another section", Standard(), 16,
       [](Image& i) { i.Put32(i.Directories() + 8 * 2, i.Va(".rsrc") + 0x10); }, "no resource section"},
      {"not a PE image", Standard(), 16, [](Image& i) { i.bytes[0x80] = 'X'; }, "no PE header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image image = MakeImage(c.parts, Icons());
    if (c.damage) c.damage(image);
    ResourceTable table = Icons();
    PutResource(table, Make(Id(kRcData), Id(1), 0, std::string(c.grow, 'x')));
    Bytes out;
    std::string error;
    EXPECT_FALSE(WriteResources(image.bytes, table, &out, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_TRUE(out.empty());
  }
}

TEST(PeResources, MalformedTreesAreRefused) {
  const Bytes good = BuildResourceSection(Icons(), 0x1000);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  };
  const std::vector<Case> cases = {
      {"cut inside the root", [](Bytes& s) { s.resize(12); }},
      {"more entries than bytes", [](Bytes& s) { StoreLe16(&s[14], 0x4000); }},
      {"a type that leads to data", [](Bytes& s) { StoreLe32(&s[16 + 4], LoadLe32(&s[16 + 4]) & 0x7FFFFFFF); }},
      {"a subdirectory outside", [](Bytes& s) { StoreLe32(&s[16 + 4], 0x80000000u | 0xFFFFF0); }},
      {"a name outside", [](Bytes& s) { StoreLe32(&s[16], 0x80000000u | 0xFFFFF0); }},
      {"a number above 16 bits", [](Bytes& s) { StoreLe32(&s[16], 0x10003); }},
      {"data outside the section", [](Bytes& s) {
         // The first data entry follows the three levels of the two resources.
         const std::size_t entry = 16 + 2 * 8 + 2 * (16 + 8) + 2 * (16 + 8);
         StoreLe32(&s[entry], 0x1000 + static_cast<std::uint32_t>(s.size()));
       }},
      {"a tree that points back at its root", [](Bytes& s) {
         // The type directory's entry leads to the root again, level after level.
         StoreLe32(&s[16 + 4], 0x80000000u);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes section = good;
    c.damage(section);
    ResourceTable read = {Make(Id(1), Id(1), 0, "kept")};
    std::string error;
    EXPECT_FALSE(ReadResourceSection(section.data(), section.size(), 0x1000, &read, &error));
    EXPECT_EQ(error, "malformed resource tree");
    EXPECT_EQ(read.size(), 1u);  // untouched
  }
}

TEST(PeResources, AnImageWithoutResourcesHasAnEmptyTable) {
  Image image = MakeImage(Standard(), Icons());
  image.Put32(image.Directories() + 8 * 2, 0);
  image.Put32(image.Directories() + 8 * 2 + 4, 0);
  ResourceTable table = Icons();
  std::string error;
  ASSERT_TRUE(ReadResources(image.bytes, &table, &error)) << error;
  EXPECT_TRUE(table.empty());
}

TEST(PeResources, StringsLiveInBlocksOfSixteen) {
  EXPECT_EQ(StringBlockName(0), 1);
  EXPECT_EQ(StringBlockName(15), 1);
  EXPECT_EQ(StringBlockName(16), 2);
  EXPECT_EQ(StringBlockName(2720), 171);

  ResourceTable table;
  PutResourceString(table, 2720, 0x0409, u"first");
  PutResourceString(table, 2721, 0x0409, u"second");
  PutResourceString(table, 2721, 0x0407, u"zweite");
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(ResourceString(table, 2720, 0x0409), u"first");
  EXPECT_EQ(ResourceString(table, 2721, 0x0409), u"second");
  EXPECT_EQ(ResourceString(table, 2721, 0x0407), u"zweite");
  EXPECT_EQ(ResourceString(table, 2722, 0x0409), u"");
  // The block: 16 counted texts, the first two set.
  const Resource* block = FindResourceEntry(table, Id(kString), Id(171), 0x0409);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->data.size(), 2u + 10 + 2 + 12 + 14 * 2);
  EXPECT_EQ(block->data[0], 5);
  StringBlock strings;
  EXPECT_TRUE(ReadStringBlock(block->data, &strings));
  EXPECT_EQ(strings[1], u"second");
  EXPECT_FALSE(ReadStringBlock(Bytes{5, 0, 'a', 0}, &strings));

  // Emptying a block's last string removes the block.
  PutResourceString(table, 2720, 0x0409, u"");
  EXPECT_EQ(table.size(), 2u);
  PutResourceString(table, 2721, 0x0409, u"");
  EXPECT_EQ(table.size(), 1u);
  EXPECT_EQ(FindResourceEntry(table, Id(kString), Id(171), 0x0409), nullptr);
}

}  // namespace
}  // namespace ks
