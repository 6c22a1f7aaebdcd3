// The engine's own archive under Wine: every inconsistency that a built
// archive can carry ends the run with exit code 2 and the corrupt-installer
// message naming its code; a foreign version ends with the fatal text.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/archive_header.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

constexpr char kCorruptMessage[] =
    "This installation program is corrupt.  This is usually caused by a faulty download, but it "
    "can also be caused by a virus on your computer.  The installation cannot proceed.\r\n\r\n"
    "Delete the corrupted installer (to prevent caching), then re-download it.  If the problem "
    "persists, check your system for viruses.\r\n\r\nError code: ";

std::uint32_t ReadU32(const Bytes& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// Changes one byte of the header area that nothing reads: the padding between
// the section table and the first section's data. The program still runs, but
// the bytes that the engine check value covers are no longer the same.
void ChangePaddingByte(Bytes& exe) {
  const std::uint32_t pe = ReadU32(exe, 0x3C);
  const std::uint16_t sections = static_cast<std::uint16_t>(exe[pe + 6] | (exe[pe + 7] << 8));
  const std::uint16_t optional = static_cast<std::uint16_t>(exe[pe + 20] | (exe[pe + 21] << 8));
  const std::size_t table_end = pe + 24 + optional + 40u * sections;
  const std::uint32_t headers_size = ReadU32(exe, pe + 24 + 60);
  ASSERT_LT(table_end + 8, headers_size) << "no padding behind the section table";
  exe[headers_size - 4] ^= 0x5A;
}

struct CorruptCase {
  const char* name;
  int code;
  std::function<void(InstallerSpec&)> make;
};

std::vector<CorruptCase> Cases() {
  return {
      {"WrongMagic", 20, [](InstallerSpec& s) { s.archive.magic = 0x12345678; }},
      {"SettingsSizeZero", 22, [](InstallerSpec& s) { s.archive.settings_size = 0; }},
      // The check value is also the scrambling key, so a wrong one is seen as a
      // mismatch only for an enciphered block.
      {"SettingsCheckValue", 25,
       [](InstallerSpec& s) {
         s.archive.flags |= kArchiveEnciphered;
         s.archive.settings_check = 0x01020304;
       }},
      {"BrokenStream", 47, [](InstallerSpec& s) { s.archive.break_stream = true; }},
      {"NegativeFileCount", 27, [](InstallerSpec& s) { s.archive.file_count = -1; }},
      {"PerFileValueOutOfRange", 28,
       [](InstallerSpec& s) { s.archive.per_file_values = {0x40000001}; }},
      {"NegativeFileDataSize", 29, [](InstallerSpec& s) { s.archive.file_data_size = -1; }},
      {"NegativeFileDataEnd", 45, [](InstallerSpec& s) { s.archive.file_data_end = -1; }},
      {"StageDisplayTime", 19, [](InstallerSpec& s) { s.settings.stage_display_time = 10000; }},
      {"TooManyLicences", 24, [](InstallerSpec& s) { s.settings.licence_documents.resize(21); }},
      {"TooManyReadmes", 26, [](InstallerSpec& s) { s.settings.readme_documents.resize(21); }},
      {"NoLanguage", 30, [](InstallerSpec& s) { s.texts = LocalizedTexts({}, {}); }},
      {"NoText", 31, [](InstallerSpec& s) { s.texts = LocalizedTexts({u"English"}, {}); }},
      {"StreamCutShort", 32,
       [](InstallerSpec& s) {
         Bytes stream = EncodeSettings(s.settings, s.texts);
         stream.resize(stream.size() - 2);
         s.raw_settings = stream;
       }},
      {"TooManyAssociations", 36, [](InstallerSpec& s) { s.settings.associations.resize(1001); }},
      {"TooManyExtraValues", 37,
       [](InstallerSpec& s) { s.settings.extra_uninstall_values.resize(1001); }},
      {"TooManyDeletions", 38, [](InstallerSpec& s) { s.settings.deletions.resize(1001); }},
      {"BitmapSize", 39, [](InstallerSpec& s) { s.settings.bitmap_size = 101; }},
      {"TooManyProgramsToClose", 41,
       [](InstallerSpec& s) { s.settings.close_programs.resize(1001); }},
      {"TooManyShortcuts", 48, [](InstallerSpec& s) { s.settings.shortcuts.resize(1001); }},
      {"EngineCheckValue", 40,
       [](InstallerSpec& s) {
         s.settings.page_styles.values[10] = 1;
         s.patch = ChangePaddingByte;
       }},
      // Wine's trust verification finds no signature in our unsigned engine.
      {"UnsignedWithSignatureCheck", 1001,
       [](InstallerSpec& s) { s.settings.page_styles.values[10] = 2; }},
  };
}

class CorruptArchive : public WineTestWithParam<CorruptCase> {};

TEST_P(CorruptArchive, EndsWithItsCodeAndTheMessage) {
  InstallerSpec plan;
  plan.settings.product_name = u"Corrupt Case";
  GetParam().make(plan);
  const std::string setup = MakeInstaller(plan, GetParam().name);
  ASSERT_FALSE(setup.empty());

  const DriverRun run = RunProgram(setup, {});
  ASSERT_TRUE(run.ok) << run.error << "\n" << run.output;
  EXPECT_EQ(run.exit_code, 2) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].title, "Error");
  const std::string expected = kCorruptMessage + std::to_string(GetParam().code);
  const std::string text = run.windows[0].Text();
  // Some codes add "\r\nSystem error, code ...: ..." behind the message.
  EXPECT_EQ(text.substr(0, expected.size()), expected) << text;
  EXPECT_TRUE(text.size() == expected.size() || text.compare(expected.size(), 2, "\r\n") == 0)
      << text;
}

INSTANTIATE_TEST_SUITE_P(Archive, CorruptArchive, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CorruptCase>& p) { return std::string(p.param.name); });

class ArchiveRun : public WineTest {};

TEST_F(ArchiveRun, SilentCorruptRunShowsNothingAndEndsWithTwo) {
  InstallerSpec plan;
  plan.archive.break_stream = true;
  const std::string setup = MakeInstaller(plan);
  ASSERT_FALSE(setup.empty());
  const DriverRun run = RunProgram(setup, {"/silent"});
  ASSERT_TRUE(run.ok) << run.error << "\n" << run.output;
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_TRUE(run.windows.empty()) << run.output;
}

TEST_F(ArchiveRun, ForeignVersionIsFatalAndNamesIt) {
  InstallerSpec plan;
  plan.archive.version = "45.0";
  const std::string setup = MakeInstaller(plan);
  ASSERT_FALSE(setup.empty());
  const DriverRun run = RunProgram(setup, {});
  ASSERT_TRUE(run.ok) << run.error << "\n" << run.output;
  EXPECT_EQ(run.exit_code, -1);
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].title, "FATAL ERROR - Kestrelon Setup");
  EXPECT_EQ(run.windows[0].Text(),
            "The installer version (46.0) does not match the version of Kestrelon Setup (45.0).  "
            "Close all applications and reinstall Kestrelon Setup.");
}

TEST_F(ArchiveRun, CorruptMessageComesFromTheArchiveWhenItHasText13) {
  // The end value is checked after the text table was read, so text 13 of
  // the archive is known by then.
  InstallerSpec plan;
  std::vector<std::vector<WString>> rows(14, std::vector<WString>{u""});
  rows[13][0] = u"Das Installationsprogramm ist besch\u00e4digt (%d).";
  plan.texts = LocalizedTexts({u"English"}, rows);
  Bytes stream = EncodeSettings(plan.settings, plan.texts);
  stream.back() ^= 0xFF;  // the end value
  plan.raw_settings = stream;
  const std::string setup = MakeInstaller(plan);
  ASSERT_FALSE(setup.empty());
  const DriverRun run = RunProgram(setup, {});
  ASSERT_TRUE(run.ok) << run.error << "\n" << run.output;
  EXPECT_EQ(run.exit_code, 2);
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].Text(), "Das Installationsprogramm ist besch\xc3\xa4" "digt (32).");
}

}  // namespace
}  // namespace ks::e2e
