// The uninstaller under Wine: a real installer installs a product with its
// uninstaller, then that uninstaller removes it. The prefix must come back as
// it was (files and the registry keys the product touched), the uninstaller
// and its folders must be gone once "delunins.bat" has run, a file held open
// must stay recorded for a second run, and damaged registrations must end
// with their codes and never remove what they do not name.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "engine/file_data_block.h"
#include "harness/driver.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr ProductFlags kRegisterUninstaller = 0x4;
constexpr ProductFlags kCompressed = 0x20;
constexpr ProductFlags kUninstallSilently = 0x200;


std::string ReadLinuxFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Payload {
  const char* name;
  std::string data;
};

// An installer of `files` into `dir` with the uninstall data in "Data\Sub".
std::string MakeProductInstaller(const std::string& product, const std::string& dir,
                                 const std::vector<Payload>& files, const std::string& scratch,
                                 ProductFlags extra_flags = 0, const char16_t* version = u"1.0") {
  InstallSettings s;
  s.display_version = version;
  s.product_name = Utf8ToWide(product);
  s.install_path = Utf8ToWide(dir);
  s.uninstall_subdir = u"Data\\Sub";
  s.product_registry = u"Ks" + Utf8ToWide(product) + u"\\Product";
  s.product_flags = kCompressed | kRegisterUninstaller | extra_flags;
  SettingsWriter writer;
  if (!WriteInstallSettings(s, LocalizedTexts({u"English"}, {{u"title"}}), 0, writer)) return {};
  ArchiveSpec plan;
  plan.settings = writer.Take();
  std::vector<Bytes> encoded;
  for (const Payload& p : files) {
    FileRecord record;
    record.name = p.name;
    record.date.year = 2024, record.date.month = 1, record.date.day = 2;
    encoded.push_back(EncodeFileRecord(record, Bytes(p.data.begin(), p.data.end())));
    plan.per_file_values.push_back(static_cast<std::int32_t>(p.data.size()));
  }
  ChunkCoding coding;
  coding.compressed = true;
  if (!BuildFileDataBlock(encoded, 4096, coding, &plan.file_data)) return {};
  const std::string engine = ReadLinuxFile(EngineLinuxPath());
  Bytes out;
  std::string error;
  if (!BuildSetupExecutable(Bytes(engine.begin(), engine.end()), plan, &out, &error)) {
    ADD_FAILURE() << error;
    return {};
  }
  const std::string path = scratch + "\\" + UniqueName("setup") + ".exe";
  if (!WritePrefixFile(path, std::string(out.begin(), out.end()))) return {};
  return path;
}

const std::vector<Payload> kFiles = {
    {"app.exe", "app"},
    {"bin\\deep\\tool.dll", "tool"},
    {"docs\\readme.txt", "read me"},
};

std::string TempDelunins() {
  const WineResult r = RunWine({"cmd", "/c", "echo %TEMP%"}, 60);
  std::string temp = r.out;
  while (!temp.empty() && (temp.back() == '\n' || temp.back() == '\r' || temp.back() == ' ')) temp.pop_back();
  return temp + "\\delunins.bat";
}

void DeleteKey(const std::string& key) { RunWine({"reg", "delete", key, "/f", "/reg:32"}, 60); }

// What the product may have touched in the registry, as `reg` shows it.
std::vector<std::optional<std::string>> RegistrySnapshot(const std::string& product) {
  return {RegQuery(kUninstallKey + product, "DisplayName", RegView::k32),
          RegQuery(kUninstallKey + product, "UninstallString", RegView::k32),
          RegQuery("HKLM\\Software\\Ks" + product + "\\Product", "", RegView::k32),
          RegQuery("HKLM\\Software\\Ks" + product, "", RegView::k32)};
}

std::string FindWindowText(const DriverRun& run, const std::string& part) {
  for (const ShownWindow& w : run.windows) {
    if (w.Text().find(part) != std::string::npos) return w.Text();
  }
  return {};
}

class Uninstall : public WineTest {
 protected:
  // Installs silently; the uninstaller path, or "" after a failure.
  std::string Install(const std::string& product, const std::string& dir, const std::string& scratch) {
    const std::string installer = MakeProductInstaller(product, dir, kFiles, scratch);
    if (installer.empty()) return {};
    DriverOptions options;
    options.timeout_seconds = 120;
    const DriverRun run = RunProgram(installer, {"/silent"}, options);
    EXPECT_TRUE(run.ok) << run.error << run.output;
    EXPECT_EQ(run.exit_code, 0) << run.output;
    const std::string uninstaller = dir + "\\Data\\Sub\\uninstall.exe";
    EXPECT_TRUE(PrefixFileExists(uninstaller));
    EXPECT_TRUE(RegQuery(kUninstallKey + product, "UninstallString", RegView::k32).has_value());
    return uninstaller;
  }
};

TEST_F(Uninstall, SilentUninstallLeavesThePrefixAsItWasAndRemovesItself) {
  const std::string product = UniqueName("Clean");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\Maker App";
  const std::string record = CopyIntoPrefix(BuildProgramLinuxPath("ksrecord.exe"), scratch + "\\rec");
  ASSERT_FALSE(record.empty());
  const std::set<std::string> files_before = PrefixTree(scratch);
  const auto registry_before = RegistrySnapshot(product);

  const std::string uninstaller = Install(product, dir, scratch);
  const std::set<std::string> files_installed = PrefixTree(scratch);
  EXPECT_TRUE(files_installed.count("Maker App/bin/deep/tool.dll")) << files_installed.size();
  // The installer itself lies in the scratch folder too; it is not the product's.
  std::set<std::string> expected_after = files_before;
  for (const std::string& f : files_installed) {
    if (f.rfind("setup", 0) == 0) expected_after.insert(f);
  }
  ASSERT_FALSE(uninstaller.empty());
  ASSERT_TRUE(PrefixFileExists(dir + "\\bin\\deep\\tool.dll"));
  ASSERT_TRUE(PrefixFileExists(dir + "\\Data\\Sub\\Uninstall.DAT"));

  // "/r:" with backquotes for the quotes of the program to start afterwards.
  DriverOptions options;
  options.timeout_seconds = 120;
  const DriverRun run = RunCommandLine("\"" + uninstaller + "\" /u:" + product + " /silent /r:\"`" + record +
                                           "` after-uninstall\"",
                                       options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(run.windows.empty()) << run.output;

  // delunins.bat waits for the uninstaller's process to end, then removes it,
  // the uninstall folders and the installation folder.
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(dir); }, 60s)) << dir;
  const std::string delunins = TempDelunins();
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(delunins); }, 30s)) << delunins;
  EXPECT_TRUE(WaitUntil([&] { return PrefixFileExists(record + ".cmdline"); }, 30s));
  const std::string recorded = ReadPrefixFile(record + ".cmdline").value_or("");
  EXPECT_NE(recorded.find("after-uninstall"), std::string::npos) << recorded;
  RunWine({"cmd", "/c", "del", record + ".cmdline"}, 60);

  EXPECT_EQ(PrefixTree(scratch), expected_after);
  EXPECT_EQ(RegistrySnapshot(product), registry_before);
}

TEST_F(Uninstall, HeldFileEndsWithCodeThreeAndASecondRunFinishes) {
  const std::string product = UniqueName("Held");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  const std::string uninstaller = Install(product, dir, scratch);
  ASSERT_FALSE(uninstaller.empty());

  // Declining the question removes nothing.
  DriverOptions decline;
  decline.presses = {"No"};
  const DriverRun declined = RunProgram(uninstaller, {"/u:" + product}, decline);
  ASSERT_TRUE(declined.ok) << declined.error << declined.output;
  EXPECT_EQ(declined.exit_code, 12) << declined.output;
  EXPECT_TRUE(PrefixFileExists(dir + "\\app.exe"));

  const std::string held = dir + "\\bin\\deep\\tool.dll";
  const std::string hold = CopyIntoPrefix(BuildProgramLinuxPath("kshold.exe"), scratch);
  std::thread holder([&] { RunWine({hold, held, "25"}, 90); });
  ASSERT_TRUE(WaitUntil([&] { return PrefixFileExists(held + ".held"); }, 30s));
  fs::remove(LinuxPath(held + ".held"));  // the marker is not the product's

  const DriverRun first = RunProgram(uninstaller, {"/u:" + product}, DriverOptions{});
  ASSERT_TRUE(first.ok) << first.error << first.output;
  EXPECT_EQ(first.exit_code, 3) << first.output;
  const std::string failure = FindWindowText(first, "tool.dll");
  EXPECT_NE(failure.find("Could not delete " + held), std::string::npos) << first.output;
  EXPECT_TRUE(PrefixFileExists(held));
  EXPECT_FALSE(PrefixFileExists(dir + "\\app.exe"));
  const std::string data = ReadPrefixFile(dir + "\\Data\\Sub\\Uninstall.DAT").value_or("");
  EXPECT_EQ(data.substr(0, held.size() + 2), held + "\r\n") << data;
  EXPECT_NE(data.find("[Strings]"), std::string::npos);
  EXPECT_TRUE(RegQuery(kUninstallKey + product, "UninstallString", RegView::k32).has_value());
  EXPECT_TRUE(PrefixFileExists(uninstaller));

  holder.join();
  const DriverRun second = RunProgram(uninstaller, {"/u:" + product, "/silent"}, DriverOptions{});
  ASSERT_TRUE(second.ok) << second.error << second.output;
  EXPECT_EQ(second.exit_code, 0) << second.output;
  EXPECT_FALSE(RegQuery(kUninstallKey + product, "UninstallString", RegView::k32).has_value());
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(dir); }, 60s)) << dir;
}

// When the shortened data cannot be saved, the old data (which still lists
// every item) and the key stay, and the run reports the failure with code 3.
TEST_F(Uninstall, DataThatCannotBeSavedKeepsTheOldDataAndTheKey) {
  const std::string product = UniqueName("Unsaved");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  const std::string uninstaller = Install(product, dir, scratch);
  ASSERT_FALSE(uninstaller.empty());
  const std::string data_path = dir + "\\Data\\Sub\\Uninstall.DAT";
  const std::string data_before = ReadPrefixFile(data_path).value_or("");
  ASSERT_FALSE(data_before.empty());
  // A folder where the new content would be written first blocks the save.
  fs::create_directory(LinuxPath(data_path + ".ks-new"));

  const std::string held = dir + "\\bin\\deep\\tool.dll";
  const std::string hold = CopyIntoPrefix(BuildProgramLinuxPath("kshold.exe"), scratch);
  std::thread holder([&] { RunWine({hold, held, "25"}, 90); });
  ASSERT_TRUE(WaitUntil([&] { return PrefixFileExists(held + ".held"); }, 30s));
  fs::remove(LinuxPath(held + ".held"));

  const DriverRun run = RunProgram(uninstaller, {"/u:" + product}, DriverOptions{});
  holder.join();
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 3) << run.output;
  EXPECT_NE(FindWindowText(run, "Could not save " + data_path), "") << run.output;
  EXPECT_EQ(ReadPrefixFile(data_path).value_or(""), data_before);
  EXPECT_TRUE(RegQuery(kUninstallKey + product, "UninstallString", RegView::k32).has_value());
  EXPECT_TRUE(PrefixFileExists(uninstaller));
}

// Registrations written by hand, as a damaged or foreign one would look.
struct Opening {
  const char* name;
  bool with_key, with_location, with_data;
  int code;
  const char* message;
};

class UninstallOpening : public WineTestWithParam<Opening> {};

TEST_P(UninstallOpening, EndsWithItsCodeAndMessage) {
  const Opening& c = GetParam();
  const std::string product = UniqueName("Open");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\P";
  const std::string key = kUninstallKey + product;
  ASSERT_TRUE(WritePrefixFile(dir + "\\a.txt", "a"));
  if (c.with_key) {
    ASSERT_TRUE(RegAddString(key, "DisplayName", "Shown " + product, RegView::k32));
  }
  if (c.with_location) {
    ASSERT_TRUE(RegAddString(key, "InstallLocation", dir, RegView::k32));
  }
  if (c.with_data) {
    ASSERT_TRUE(WritePrefixFile(dir + "\\Uninstall.DAT", dir + "\\a.txt\r\n"));
  }
  const std::string engine = CopyEngine(scratch);
  const DriverRun run = RunProgram(engine, {"/u:" + product});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, c.code) << run.output;
  std::string message = c.message;
  const std::size_t at = message.find("%s");
  if (at != std::string::npos) message.replace(at, 2, std::string(c.with_key ? "Shown " : "") + product);
  EXPECT_FALSE(FindWindowText(run, message).empty()) << run.output;
  EXPECT_TRUE(PrefixFileExists(dir + "\\a.txt"));
  if (c.with_key) DeleteKey(key);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, UninstallOpening,
    ::testing::Values(
        Opening{"NoSuchProduct", false, false, false, 13, "No product named '%s' is installed."},
        Opening{"NoInstallLocation", true, false, false, 14, "The uninstall information for %s is corrupt."},
        Opening{"NoDataFile", true, true, false, 14, "could not be loaded."}),
    [](const ::testing::TestParamInfo<Opening>& p) { return std::string(p.param.name); });

// A damaged "Uninstall.DAT" removes what its valid lines name and nothing else.
TEST_F(Uninstall, DamagedDataRemovesOnlyWhatItsValidLinesName) {
  const std::string product = UniqueName("Damaged");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\P";
  const std::string key = kUninstallKey + product;
  ASSERT_TRUE(WritePrefixFile(dir + "\\named.txt", "x"));
  ASSERT_TRUE(WritePrefixFile(dir + "\\sub\\inner.txt", "x"));
  ASSERT_TRUE(WritePrefixFile(scratch + "\\outside.txt", "stays"));
  ASSERT_TRUE(WritePrefixFile(scratch + "\\Empty\\.keep", ""));
  fs::remove(LinuxPath(scratch + "\\Empty\\.keep"));
  const std::string data = std::string("\xff\xfe\x00garbage\x01\r\n", 13) + "outside.txt\r\n" + "C:\\\r\n" +
                           "~C:\\windows\r\n" + "~" + scratch + "\\Empty\\..\r\n" + "~" + scratch + "\r\n" +
                           "~..\\..\r\n" + "^\\HKLM\\Software\r\n" + "^\\HKLM\\Software\\Ks" + product + "\r\n" + "!\\HKLM\\\r\n" + dir + "\\named.txt\r\n" +
                           "~" + dir + "\\sub\r\n" + "\r\n\r\n[Strings]\r\n~58\r\nGone\xc3";
  ASSERT_TRUE(WritePrefixFile(dir + "\\Uninstall.DAT", data));
  ASSERT_TRUE(RegAddString(key, "InstallLocation", dir, RegView::k32));
  ASSERT_TRUE(RegAddString(key, "ProductFlags", std::to_string(kUninstallSilently), RegView::k32));
  const std::string sentinel = "HKLM\\Software\\KsSentinel" + product;
  ASSERT_TRUE(RegAddString(sentinel, "Stays", "1", RegView::k32));
  ASSERT_TRUE(RegAddString("HKLM\\Software\\Ks" + product + "\\Named", "Goes", "1", RegView::k32));
  const std::string engine = CopyEngine(dir, "uninstall.exe");

  const DriverRun run = RunProgram(engine, {"/u:" + product});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(run.windows.empty()) << run.output;
  EXPECT_FALSE(PrefixFileExists(dir + "\\named.txt"));
  EXPECT_TRUE(PrefixFileExists(dir + "\\sub\\inner.txt"));  // a folder that holds files stays
  EXPECT_TRUE(PrefixFileExists(scratch + "\\outside.txt"));
  EXPECT_TRUE(PrefixFileExists(scratch + "\\Empty"));
  EXPECT_TRUE(PrefixFileExists("C:\\windows\\system32"));
  EXPECT_TRUE(RegQuery(sentinel, "Stays", RegView::k32).has_value());  // "^\\HKLM\\Software" was refused
  EXPECT_FALSE(RegQuery("HKLM\\Software\\Ks" + product + "\\Named", "Goes", RegView::k32).has_value());
  DeleteKey(sentinel);
  EXPECT_FALSE(RegQuery(key, "InstallLocation", RegView::k32).has_value());
  // The folder keeps what it holds; the executable goes with delunins.bat.
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(engine); }, 60s));
  EXPECT_TRUE(PrefixFileExists(dir + "\\sub\\inner.txt"));
}

// Uninstall first: the new installer hands over to the earlier version's real
// uninstaller, which removes it and then starts the new installer again
// through "/r:" (its own command line, quotes as backquotes).
TEST_F(Uninstall, UninstallFirstRunsTheUninstallerWhichRestartsTheNewInstaller) {
  constexpr ProductFlags kUninstallEarlierFirst = 0x1;
  constexpr ProductFlags kCompareVersions = 0x1000000000ull;
  const std::string product = UniqueName("First");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  ASSERT_FALSE(Install(product, dir, scratch).empty());
  ASSERT_TRUE(PrefixFileExists(dir + "\\docs\\readme.txt"));

  const std::vector<Payload> second = {{"app.exe", "app 2"}, {"new.txt", "only in 2.0"}};
  const std::string installer = MakeProductInstaller(product, dir, second, scratch,
                                                     kUninstallEarlierFirst | kCompareVersions, u"2.0");
  ASSERT_FALSE(installer.empty());
  DriverOptions options;
  options.timeout_seconds = 120;
  const DriverRun run = RunProgram(installer, {"/silent"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 10) << run.output;  // handed over to the earlier uninstaller

  // The restarted installer leaves version 2.0 registered with its own files.
  EXPECT_TRUE(WaitUntil(
      [&] {
        return RegQuery(kUninstallKey + product, "DisplayVersion", RegView::k32) == std::optional<std::string>("2.0");
      },
      120s));
  EXPECT_TRUE(WaitUntil([&] { return PrefixFileExists(dir + "\\Data\\Sub\\Uninstall.DAT"); }, 60s));
  EXPECT_TRUE(PrefixFileExists(dir + "\\new.txt"));
  EXPECT_EQ(ReadPrefixFile(dir + "\\app.exe").value_or(""), "app 2");
  EXPECT_FALSE(PrefixFileExists(dir + "\\docs\\readme.txt"));  // 1.0's file went with its uninstaller
  EXPECT_FALSE(PrefixFileExists(dir + "\\bin"));
  DeleteKey(kUninstallKey + product);
}

}  // namespace
}  // namespace ks::e2e
