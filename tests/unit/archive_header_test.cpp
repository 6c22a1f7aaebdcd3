#include "core/archive_header.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "core/archive_builder.h"
#include "lib/crc32.h"

namespace ks {
namespace {

ArchiveSpec Valid() {
  ArchiveSpec plan;
  plan.flags = 0x00400020;
  plan.settings = Bytes(77, 0x5A);
  plan.per_file_values = {0, 5, kMaxPerFileValue};
  plan.file_data = Bytes{9, 8, 7, 6, 5};
  plan.engine_check = 0xCAFEF00D;
  return plan;
}

HeaderResult Parse(const Bytes& b) { return ParseArchiveHeader(b.data(), b.size()); }

TEST(ArchiveHeader, ReadsEveryField) {
  for (std::uint32_t cipher : {0u, kArchiveEnciphered}) {
    ArchiveSpec plan = Valid();
    plan.flags |= cipher;
    const BuiltArchive built = BuildArchive(plan);
    const HeaderResult r = Parse(built.archive);
    ASSERT_EQ(r.outcome, HeaderOutcome::kOk);
    const ArchiveHeader& h = r.header;
    EXPECT_EQ(h.version, "46.0");
    EXPECT_EQ(h.flags, plan.flags);
    EXPECT_EQ(h.settings_check, Crc32(plan.settings.data(), plan.settings.size()));
    EXPECT_EQ(h.engine_check, 0xCAFEF00Du);
    EXPECT_EQ(h.file_count, 3);
    EXPECT_EQ(h.per_file_values, plan.per_file_values);
    EXPECT_EQ(h.file_data_size, 5);
    EXPECT_EQ(h.data_start, built.data_start);
    EXPECT_EQ(static_cast<std::size_t>(h.file_data_end), built.data_start + 5);
    EXPECT_EQ(h.data_start, h.settings_offset + static_cast<std::size_t>(h.settings_size));
    if (cipher) {
      EXPECT_EQ(h.cipher_key, plan.cipher_key);
    }

    std::size_t offset = 0, size = 0;
    ASSERT_EQ(LocateInSectionFileData(h, built.archive.size(), &offset, &size), 0);
    EXPECT_EQ(Bytes(built.archive.begin() + offset, built.archive.begin() + offset + size), plan.file_data);
    EXPECT_EQ(CheckFileData(h, built.archive.data() + offset, size), 0);
  }
}

struct Malformed {
  const char* what;
  std::function<void(ArchiveSpec&)> change;
  int code;
};

TEST(ArchiveHeader, MalformedFieldsGiveTheirCodes) {
  const Malformed cases[] = {
      {"wrong magic", [](ArchiveSpec& s) { s.magic = 0xA4F23DE4; }, kCorruptMagic},
      {"settings size 0", [](ArchiveSpec& s) { s.settings_size = 0; }, kCorruptSettingsSize},
      {"settings size negative", [](ArchiveSpec& s) { s.settings_size = -5; }, kCorruptSettingsSize},
      {"settings size at the limit", [](ArchiveSpec& s) { s.settings_size = kMaxSettingsSize; },
       kCorruptSettingsSize},
      {"settings size past the section", [](ArchiveSpec& s) { s.settings_size = 100000; },
       kCorruptSettingsSize},
      {"negative P", [](ArchiveSpec& s) { s.file_data_end = -1; }, kCorruptFileDataEnd},
      {"negative N", [](ArchiveSpec& s) { s.file_count = -1; }, kCorruptFileCount},
      {"N beyond the section", [](ArchiveSpec& s) { s.file_count = 0x7FFFFFFF; }, kCorruptFileCount},
      {"negative Q", [](ArchiveSpec& s) { s.file_data_size = -1; }, kCorruptFileDataSize},
      {"per-file value too large", [](ArchiveSpec& s) { s.per_file_values[1] = kMaxPerFileValue + 1; },
       kCorruptPerFileValue},
      {"per-file value negative", [](ArchiveSpec& s) { s.per_file_values[2] = -1; }, kCorruptPerFileValue},
      {"settings cut short", [](ArchiveSpec& s) {
         s.file_data.clear();
         s.cut_short = 1;
       },
       kCorruptSettingsSize},
  };
  for (const Malformed& m : cases) {
    ArchiveSpec plan = Valid();
    m.change(plan);
    const HeaderResult r = Parse(BuildArchive(plan).archive);
    EXPECT_EQ(r.outcome, HeaderOutcome::kCorrupt) << m.what;
    EXPECT_EQ(r.corrupt_code, m.code) << m.what;
  }
}

TEST(ArchiveHeader, OtherVersionIsAMismatchNamingIt) {
  ArchiveSpec plan = Valid();
  plan.version = "45.0";
  const HeaderResult r = Parse(BuildArchive(plan).archive);
  EXPECT_EQ(r.outcome, HeaderOutcome::kVersionMismatch);
  EXPECT_EQ(r.header.version, "45.0");
}

TEST(ArchiveHeader, EveryTruncationIsCorrupt) {
  ArchiveSpec plan = Valid();
  plan.flags |= kArchiveEnciphered;
  plan.file_data.clear();
  const Bytes full = BuildArchive(plan).archive;
  const std::set<int> allowed = {kCorruptMagic, kCorruptSettingsSize, kCorruptFileCount};
  for (std::size_t n = 0; n < full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + n);
    const HeaderResult r = Parse(cut);
    ASSERT_EQ(r.outcome, HeaderOutcome::kCorrupt) << n;
    EXPECT_TRUE(allowed.count(r.corrupt_code)) << n << ": " << r.corrupt_code;
  }
  EXPECT_EQ(Parse(full).outcome, HeaderOutcome::kOk);
}

TEST(ArchiveHeader, FileDataPlacementAndChecks) {
  const BuiltArchive built = BuildArchive(Valid());
  ArchiveHeader h = Parse(built.archive).header;
  std::size_t offset = 0, size = 0;
  // P past the section's end, or in front of D.
  h.file_data_end = static_cast<std::int32_t>(built.archive.size() + 1);
  EXPECT_EQ(LocateInSectionFileData(h, built.archive.size(), &offset, &size), kCorruptFileDataMismatch);
  h.file_data_end = static_cast<std::int32_t>(h.data_start - 1);
  EXPECT_EQ(LocateInSectionFileData(h, built.archive.size(), &offset, &size), kCorruptFileDataMismatch);

  const Bytes data{9, 8, 7, 6, 5};
  EXPECT_EQ(CheckFileData(h, data.data(), 4), kCorruptFileDataMismatch);
  Bytes changed = data;
  changed[0] ^= 1;
  EXPECT_EQ(CheckFileData(h, changed.data(), changed.size()), kCorruptFileDataCheck);
  EXPECT_EQ(CheckFileData(h, data.data(), data.size()), 0);
}

}  // namespace
}  // namespace ks
