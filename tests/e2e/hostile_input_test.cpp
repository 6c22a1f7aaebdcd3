// Input an author or an attacker got wrong, under Wine: a program planted
// beside the installer under a system program's name, an author's text with
// printf directives where the engine fills in a path, and an extra Uninstall
// value of a type the engine cannot write, which must end the run before
// anything on the machine has changed.

#include <gtest/gtest.h>

#include <chrono>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "engine/file_data_block.h"
#include "engine/file_records.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

using namespace std::chrono_literals;

constexpr ProductFlags kRegisterUninstaller = 0x4;
constexpr ProductFlags kCompressed = 0x20;
constexpr ProductFlags kAlwaysWriteLog = 0x40;


// An installer of one file, "app.exe", into `dir`, with Install.log and
// Uninstall.DAT in "Data".
InstallerSpec OneFileProduct(const std::string& product, const std::string& dir) {
  InstallerSpec plan;
  InstallSettings& s = plan.settings;
  s.product_name = Utf8ToWide(product);
  s.display_version = u"1.0";
  s.install_path = Utf8ToWide(dir);
  s.uninstall_subdir = u"Data";
  s.product_flags = kCompressed | kRegisterUninstaller | kAlwaysWriteLog;
  FileRecord record;
  record.name = "app.exe";
  record.date.year = 2024, record.date.month = 1, record.date.day = 2;
  const std::string data = "the app";
  plan.archive.per_file_values.push_back(static_cast<std::int32_t>(data.size()));
  ChunkCoding coding;
  coding.compressed = true;
  const bool built = BuildFileDataBlock({EncodeFileRecord(record, Bytes(data.begin(), data.end()))}, 4096, coding,
                                        &plan.archive.file_data);
  EXPECT_TRUE(built);
  return plan;
}

class HostileInput : public WineTest {};

// regedit is the system's: a "regedit.exe" beside setup.exe (ksrecord, which
// notes how it was started) is never run, and the merge still happens.
TEST_F(HostileInput, APlantedRegeditIsNeverStarted) {
  const std::string scratch = ScratchFolder();
  const std::string downloads = scratch + "\\Downloads";
  const std::string product = UniqueName("KsRegedit");
  const std::string merged_key = "HKCU\\Software\\" + product;
  InstallerSpec plan = OneFileProduct(product, scratch + "\\App");
  const std::string reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER" + merged_key.substr(4) + "]\r\n\"Merged\"=\"yes\"\r\n";
  plan.settings.registry_merge = Bytes(reg.begin(), reg.end());
  const std::string built = MakeInstaller(plan);
  ASSERT_FALSE(built.empty());
  const std::string setup = CopyIntoPrefix(LinuxPath(built), downloads, "setup.exe");
  const std::string planted = CopyIntoPrefix(BuildProgramLinuxPath("ksrecord.exe"), downloads, "regedit.exe");
  ASSERT_FALSE(setup.empty());
  ASSERT_FALSE(planted.empty());

  DriverOptions options;
  options.timeout_seconds = 120;
  options.cwd = downloads;
  options.wait_for_descendants = true;  // regedit, whichever, has ended
  const DriverRun run = RunProgram(setup, {"/silent"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_FALSE(PrefixFileExists(planted + ".cmdline")) << ReadPrefixFile(planted + ".cmdline").value_or("");
  EXPECT_EQ(RegQuery(merged_key, "Merged", RegView::k64), std::string("yes"));
  RunWine({"reg", "delete", merged_key, "/f"}, 60);
}

// Text 40 asks whether to view the log of a failed run; the log's path goes
// into it. Directives of the author's own ("%n" writes through a pointer)
// are shown or dropped, never carried out.
TEST_F(HostileInput, PrintfDirectivesInTheLogQuestionAreNotCarriedOut) {
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  InstallerSpec plan = OneFileProduct(UniqueName("KsText40"), dir);
  std::vector<std::vector<WString>> rows;
  for (int n = 0; n <= 120; ++n) rows.push_back({u"T" + Widen(std::to_string(n))});
  rows[40] = {u"%s%s%s%s%n%n"};
  plan.texts = LocalizedTexts({u"English"}, rows);
  // A folder where the file should be: the run fails.
  ASSERT_TRUE(WritePrefixFile(dir + "\\app.exe\\inside.txt", "a folder, not a file"));
  const std::string setup = MakeInstaller(plan);
  ASSERT_FALSE(setup.empty());

  DriverOptions options;
  options.timeout_seconds = 120;
  options.presses = {"T80"};  // No: do not open the log
  const DriverRun run = RunProgram(setup, {}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  bool asked = false;
  for (const ShownWindow& w : run.windows) asked = asked || (w.title == "T41" && w.pressed == "T80");
  EXPECT_TRUE(asked) << run.output;
  EXPECT_NE(static_cast<unsigned>(run.exit_code), 0xC0000005u) << run.output;
  const std::string log = ReadPrefixFile(dir + "\\Data\\Install.log").value_or("");
  EXPECT_NE(log.find(dir + "\\app.exe"), std::string::npos) << log;
}

// The registration writes the extra values last; one of a type it cannot
// write is known when the settings are read, before a file is placed.
TEST_F(HostileInput, AnUnwritableExtraUninstallValueEndsTheRunBeforeAnyChange) {
  const std::string dir = ScratchFolder() + "\\App";
  const std::string product = UniqueName("KsExtra");
  InstallerSpec plan = OneFileProduct(product, dir);
  plan.settings.extra_uninstall_values = {{"HelpLink", 1, u"https://example.invalid/"}, {"Odd", 3, u"x"}};
  const std::string setup = MakeInstaller(plan);
  ASSERT_FALSE(setup.empty());

  const DriverRun run = RunProgram(setup, {"/silent"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 2) << run.output;
  EXPECT_FALSE(PrefixFileExists(dir)) << "the installation folder was made";
  EXPECT_FALSE(RegQuery(kUninstallKey + product, "DisplayName", RegView::k32).has_value());
}

}  // namespace
}  // namespace ks::e2e
