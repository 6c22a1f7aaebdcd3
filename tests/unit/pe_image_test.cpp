#include "core/pe_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/archive_builder.h"
#include "core/archive_header.h"
#include "core/settings_block.h"

namespace ks {
namespace {

// A small PE32 image: 0x400 bytes of headers, sections at 0x1000 steps in
// memory and 0x200 steps in the file. A section with raw size 0 has no data.
struct FixtureSection {
  std::string name;
  std::uint32_t raw_size;
};
constexpr std::size_t kPe = 0x80, kTable = kPe + 24 + 0xE0;

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

Bytes MakePe(const std::vector<FixtureSection>& sections, std::uint32_t headers_size = 0x400) {
  Bytes f(headers_size, 0);
  f[0] = 'M';
  f[1] = 'Z';
  Put32(f, 0x3C, kPe);
  std::memcpy(&f[kPe], "PE\0\0", 4);
  Put16(f, kPe + 4, 0x14C);
  Put16(f, kPe + 6, static_cast<std::uint16_t>(sections.size()));
  Put16(f, kPe + 20, 0xE0);
  Put16(f, kPe + 24, 0x10B);
  Put32(f, kPe + 0x38, 0x1000);  // section alignment
  Put32(f, kPe + 0x3C, 0x200);   // file alignment
  Put32(f, kPe + 0x54, headers_size);
  std::uint32_t va = 0x1000, initialized = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::size_t e = kTable + i * 40;
    std::memcpy(&f[e], sections[i].name.data(), std::min<std::size_t>(8, sections[i].name.size()));
    Put32(f, e + 8, 0x100);
    Put32(f, e + 12, va);
    Put32(f, e + 16, sections[i].raw_size);
    if (sections[i].raw_size) {
      Put32(f, e + 20, static_cast<std::uint32_t>(f.size()));
      for (std::uint32_t k = 0; k < sections[i].raw_size; ++k)
        f.push_back(static_cast<std::uint8_t>(i * 16 + k % 13));
      initialized += sections[i].raw_size;
    }
    va += 0x1000;
  }
  Put32(f, kPe + 0x20, initialized);
  Put32(f, kPe + 0x50, va);
  return f;
}

Bytes FourSections() {
  return MakePe({{".text", 0x200}, {".data", 0x200}, {".bss", 0}, {".rdata", 0x200}});
}

SectionLookupResult Find(const Bytes& f) { return FindSetupSection(f.data(), f.size(), f.size()); }

TEST(PeImage, AddedSectionIsFoundAndMapped) {
  const Bytes engine = FourSections();
  Bytes exe;
  std::string error;
  ASSERT_TRUE(AddSetupSection(engine, Bytes(0x1234, 0xAB), {}, &exe, &error)) << error;
  const SectionLookupResult r = Find(exe);
  ASSERT_EQ(r.outcome, SectionLookup::kFound);
  const SetupSection& s = r.section;
  EXPECT_EQ(s.index, 4);
  EXPECT_EQ(s.section_count, 5);
  // Page-aligned, so that the loader can map the archive from the file.
  EXPECT_EQ(s.raw_offset, 0x1000u);
  EXPECT_LT(engine.size(), 0x1000u);
  EXPECT_EQ(s.virtual_address, 0x5000u);
  EXPECT_EQ(s.raw_size, 0x2000u);  // a whole number of pages, as the virtual size
  EXPECT_EQ(s.virtual_size, 0x2000u);
  EXPECT_EQ(s.MappedSize(), 0x2000u);
  EXPECT_EQ(Get32(exe, kTable + 4 * 40 + 36), 0x40000040u);  // initialised data, readable
  EXPECT_EQ(Get32(exe, kPe + 0x50), 0x7000u);               // size of image
  EXPECT_EQ(Get32(exe, kPe + 0x20), 0x600u + 0x2000u);      // size of initialised data
  EXPECT_EQ(exe[s.raw_offset], 0xAB);
  EXPECT_EQ(exe.size(), s.raw_offset + s.raw_size);
}

TEST(PeImage, EngineImageOfTheLastSectionIsTheEngineAgain) {
  Bytes engine = FourSections();
  Put32(engine, kPe + 0x58, 0x0BADF00D);  // the linker's checksum stays as it was
  Bytes exe;
  std::string error;
  ASSERT_TRUE(AddSetupSection(engine, Bytes(100, 1), {}, &exe, &error)) << error;
  const SetupSection s = Find(exe).section;
  Bytes image;
  ASSERT_TRUE(BuildEngineImage(s, Bytes(exe.begin(), exe.begin() + s.raw_offset), nullptr, 0, &image));
  // The engine, followed by the zeros that page-aligned the archive.
  Bytes padded = engine;
  padded.resize(s.raw_offset, 0);
  EXPECT_EQ(image, padded);
}

TEST(PeImage, EngineImageMovesLaterSectionsUp) {
  const Bytes exe = MakePe({{".text", 0x200}, {".setup", 0x400}, {".bss", 0}, {".data", 0x200}});
  const SetupSection s = Find(exe).section;
  ASSERT_EQ(s.index, 1);
  const std::size_t behind = s.raw_offset + s.raw_size;
  Bytes image;
  ASSERT_TRUE(BuildEngineImage(s, Bytes(exe.begin(), exe.begin() + s.raw_offset), exe.data() + behind,
                               exe.size() - behind, &image));
  EXPECT_EQ(image.size(), exe.size() - 0x400);
  EXPECT_EQ(Get32(image, kPe + 4) >> 16, 3u);           // section count
  EXPECT_EQ(Get32(image, kPe + 0x20), 0x400u);          // initialised data: .text + .data
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[kTable + 40])), ".bss");
  EXPECT_EQ(Get32(image, kTable + 40 + 20), 0u);        // no raw data stays none
  const std::uint32_t data_raw = Get32(image, kTable + 80 + 20);
  EXPECT_EQ(data_raw, Get32(exe, kTable + 120 + 20) - 0x400);
  EXPECT_EQ(Bytes(image.begin() + data_raw, image.begin() + data_raw + 0x200),
            Bytes(exe.begin() + behind, exe.begin() + behind + 0x200));
  EXPECT_EQ(Bytes(image.begin() + kTable + 120, image.begin() + kTable + 160), Bytes(40, 0));
  EXPECT_EQ(Get32(image, kPe + 0x50), 0x5000u);         // .data still ends at 0x5000 in memory
}

// What a signing tool does to a finished installer: pad the file to 8 bytes,
// append a certificate table, point the security directory at it and write
// the checksum.
constexpr std::size_t kDirectoryCountAt = kPe + 24 + 92, kSecurityEntryAt = kPe + 24 + 96 + 4 * 8;
constexpr std::size_t kChecksumAt = kPe + 0x58;

void SignLikeATool(Bytes& f, std::size_t table_size) {
  Put32(f, kDirectoryCountAt, 16);
  f.resize((f.size() + 7) / 8 * 8, 0);
  Put32(f, kSecurityEntryAt, static_cast<std::uint32_t>(f.size()));
  Put32(f, kSecurityEntryAt + 4, static_cast<std::uint32_t>(table_size));
  for (std::size_t i = 0; i < table_size; ++i) f.push_back(static_cast<std::uint8_t>(0xC0 + i % 7));
  Put32(f, kChecksumAt, 0x12345678);
}

// The checksum a loader or a signature check recomputes, written out here
// from its definition: 16-bit words with folded carries, plus the length,
// the checksum field counted as zero.
std::uint32_t RecomputedChecksum(Bytes f) {
  Put32(f, kChecksumAt, 0);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < f.size(); i += 2) {
    sum += f[i] | (i + 1 < f.size() ? f[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return static_cast<std::uint32_t>((sum & 0xFFFF) + (sum >> 16) + f.size());
}

TEST(PeImage, EngineImageOfASignedInstallerCarriesNoSignature) {
  // Inside: the archive ends the file; outside: file data follows it, then the table.
  for (const bool outside : {false, true}) {
    SCOPED_TRACE(outside ? "file data outside" : "file data inside");
    Bytes exe;
    std::string error;
    ASSERT_TRUE(AddSetupSection(FourSections(), Bytes(100, 1), outside ? Bytes(0x300, 0xEE) : Bytes{}, &exe, &error));
    Put32(exe, kDirectoryCountAt, 16);
    const SetupSection s = Find(exe).section;
    const std::size_t behind = s.raw_offset + s.raw_size;
    Bytes unsigned_image;
    ASSERT_TRUE(BuildEngineImage(s, Bytes(exe.begin(), exe.begin() + s.raw_offset), exe.data() + behind,
                                 exe.size() - behind, &unsigned_image));
    Bytes signed_exe = exe;
    SignLikeATool(signed_exe, 0x58);
    Bytes image;
    ASSERT_TRUE(BuildEngineImage(s, Bytes(signed_exe.begin(), signed_exe.begin() + s.raw_offset),
                                 signed_exe.data() + behind, signed_exe.size() - behind, &image));
    EXPECT_EQ(Get32(image, kSecurityEntryAt), 0u);
    EXPECT_EQ(Get32(image, kSecurityEntryAt + 4), 0u);
    EXPECT_EQ(Get32(image, kChecksumAt), RecomputedChecksum(image));
    // Apart from the checksum and the signer's padding, the unsigned installer's image.
    Bytes expected = unsigned_image;
    expected.resize(image.size(), 0);
    Put32(expected, kChecksumAt, Get32(image, kChecksumAt));
    EXPECT_EQ(image, expected);
    EXPECT_LT(image.size() - unsigned_image.size(), 8u);
  }
}

TEST(PeImage, EngineImageClearsADirectoryThatPointsNowhere) {
  // A table that does not lie behind the section is not cut out of anything,
  // but the entry still goes; a zero checksum stays zero.
  Bytes exe;
  std::string error;
  ASSERT_TRUE(AddSetupSection(FourSections(), Bytes(100, 1), {}, &exe, &error));
  Put32(exe, kDirectoryCountAt, 16);
  Put32(exe, kSecurityEntryAt, 0x10);
  Put32(exe, kSecurityEntryAt + 4, 0x20);
  const SetupSection s = Find(exe).section;
  Bytes image;
  ASSERT_TRUE(BuildEngineImage(s, Bytes(exe.begin(), exe.begin() + s.raw_offset), nullptr, 0, &image));
  EXPECT_EQ(image.size(), s.raw_offset);
  EXPECT_EQ(Get32(image, kSecurityEntryAt), 0u);
  EXPECT_EQ(Get32(image, kSecurityEntryAt + 4), 0u);
  EXPECT_EQ(Get32(image, kChecksumAt), 0u);
}

struct FinderCase {
  const char* what;
  std::function<void(Bytes&)> change;
  SectionLookup outcome;
  int code;
};

TEST(PeImage, FinderChecks) {
  const FinderCase cases[] = {
      {"PE offset below 0x40", [](Bytes& f) { Put16(f, 0x3C, 0x3F); }, SectionLookup::kCorrupt, 43},
      {"PE offset above 0x1000", [](Bytes& f) { Put16(f, 0x3C, 0x1001); }, SectionLookup::kCorrupt, 43},
      {"file too short", [](Bytes& f) { f.resize(0x3D); }, SectionLookup::kCorrupt, 43},
      {"3 sections", [](Bytes& f) { Put16(f, kPe + 6, 3); }, SectionLookup::kCorrupt, 44},
      {"100 sections", [](Bytes& f) { Put16(f, kPe + 6, 100); }, SectionLookup::kCorrupt, 44},
      {"table past the end", [](Bytes& f) { Put16(f, kPe + 20, 0xFFF0); }, SectionLookup::kCorrupt, 44},
      {"raw offset 0", [](Bytes& f) { Put32(f, kTable + 40 + 20, 0); }, SectionLookup::kCorrupt, 9},
      {"raw data past the end", [](Bytes& f) { Put32(f, kTable + 40 + 16, 0x10000); },
       SectionLookup::kCorrupt, 10},
      {"no such name", [](Bytes& f) { f[kTable + 40 + 1] = 'S'; }, SectionLookup::kNoSection, 0},
      {"longer name", [](Bytes& f) { f[kTable + 40 + 6] = 'x'; }, SectionLookup::kNoSection, 0},
      {"first match wins", [](Bytes& f) { std::memcpy(&f[kTable + 120], ".setup", 6); },
       SectionLookup::kFound, 0},
  };
  for (const FinderCase& c : cases) {
    Bytes f = MakePe({{".text", 0x200}, {".setup", 0x200}, {".bss", 0}, {".data", 0x200}});
    c.change(f);
    const SectionLookupResult r = Find(f);
    EXPECT_EQ(r.outcome, c.outcome) << c.what;
    EXPECT_EQ(r.corrupt_code, c.code) << c.what;
    if (r.outcome == SectionLookup::kFound) {
      EXPECT_EQ(r.section.index, 1) << c.what;
    }
  }
}

TEST(PeImage, AddRefusesWhatItCannotExtend) {
  Bytes out;
  std::string error;
  EXPECT_FALSE(AddSetupSection(Bytes(0x100, 0), Bytes(1, 1), {}, &out, &error));
  EXPECT_FALSE(error.empty());
  // Headers that end right behind the table leave no room for a fifth entry.
  const Bytes full = MakePe({{".a", 0x200}, {".b", 0x200}, {".c", 0}, {".d", 0x200}}, kTable + 4 * 40);
  error.clear();
  EXPECT_FALSE(AddSetupSection(full, Bytes(1, 1), {}, &out, &error));
  EXPECT_FALSE(error.empty());
}

// The whole road: the builder writes an executable, the reader finds the
// section, parses the header through the mapped bytes, decodes the settings
// and checks the file data and the engine check value.
TEST(PeImage, BuiltExecutableReadsBack) {
  for (bool outside : {false, true}) {
    for (std::uint32_t flags : {0u, kArchiveEnciphered}) {
      ArchiveSpec plan;
      plan.flags = flags;
      plan.settings = Bytes(301, 0x33);
      plan.file_data = Bytes(777, 0x44);
      plan.per_file_values = {777};
      plan.file_data_outside = outside;
      Bytes exe;
      std::string error;
      ASSERT_TRUE(BuildSetupExecutable(FourSections(), plan, &exe, &error)) << error;
      const SectionLookupResult found = Find(exe);
      ASSERT_EQ(found.outcome, SectionLookup::kFound);
      const SetupSection& s = found.section;
      const std::uint8_t* mapped = exe.data() + s.raw_offset;
      const HeaderResult h = ParseArchiveHeader(mapped, s.MappedSize());
      ASSERT_EQ(h.outcome, HeaderOutcome::kOk);
      const SettingsBlockResult block = DecodeSettingsBlock(h.header, mapped, s.MappedSize());
      EXPECT_EQ(block.stream, plan.settings);
      EXPECT_EQ(h.header.engine_check, EngineCheckValue(exe.data(), s.pe_offset, s.raw_offset));

      std::size_t offset = s.raw_offset + h.header.data_start, size = exe.size() - offset;
      if (!outside) {
        ASSERT_EQ(LocateInSectionFileData(h.header, s.MappedSize(), &offset, &size), 0);
        offset += s.raw_offset;
      }
      EXPECT_EQ(CheckFileData(h.header, exe.data() + offset, size), 0) << outside << flags;
    }
  }
}

}  // namespace
}  // namespace ks
