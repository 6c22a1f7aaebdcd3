// The uninstall registration and the finishing steps of a real installer
// under Wine: the whole Uninstall key after a silent installation, the
// compact uninstaller (a program without the archive, with the archive's
// icon), an extra value below a registry path, the saved readme and licence
// files, chains of installations that read the key the previous one wrote,
// the run-after program, and a restart that Wine only reports.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "core/pe_image.h"
#include "engine/file_data_block.h"
#include "engine/file_records.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

constexpr ProductFlags kAlwaysWriteLog = 0x40;
constexpr ProductFlags kRegister = 0x4;

// "REG_SZ" and its data as `reg query` shows them.
struct ShownValue {
  std::string type, data;
  bool operator==(const ShownValue& o) const { return type == o.type && data == o.data; }
};
using KeyDump = std::map<std::string, ShownValue>;

std::ostream& operator<<(std::ostream& os, const ShownValue& v) { return os << v.type << " [" << v.data << "]"; }

// Every value of a key; empty when the key is missing.
KeyDump DumpKey(const std::string& key, const std::string& view_switch) {
  KeyDump values;
  const WineResult r = RunWine({"reg", "query", key, view_switch}, 60);
  if (!r.started || r.timed_out || r.status != 0) return values;
  std::istringstream in(r.out);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 4, "    ") != 0) continue;
    const std::size_t type = line.find("    REG_", 4);
    if (type == std::string::npos) continue;
    const std::size_t gap = line.find("    ", type + 4);
    ShownValue v;
    v.type = line.substr(type + 4, gap == std::string::npos ? std::string::npos : gap - type - 4);
    v.data = gap == std::string::npos ? std::string() : line.substr(gap + 4);
    values[line.substr(4, type - 4)] = v;
  }
  return values;
}

ShownValue Sz(const std::string& data) { return {"REG_SZ", data}; }
ShownValue Dword(unsigned value) {
  std::ostringstream s;
  s << "0x" << std::hex << value;
  return {"REG_DWORD", s.str()};
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

// An .ico of two images whose bytes say which image they are.
Bytes TwoImageIcon() {
  Bytes ico = {0, 0, 1, 0, 2, 0};
  const std::uint8_t sizes[2] = {40, 24};
  std::uint32_t offset = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    const std::uint8_t entry[16] = {static_cast<std::uint8_t>(16 << i), static_cast<std::uint8_t>(16 << i), 0, 0, 1, 0, 32,
                                    0, sizes[i], 0, 0, 0, static_cast<std::uint8_t>(offset), 0, 0, 0};
    ico.insert(ico.end(), entry, entry + 16);
    offset += sizes[i];
  }
  for (int i = 0; i < 2; ++i) ico.insert(ico.end(), sizes[i], static_cast<std::uint8_t>(0xA0 + i));
  return ico;
}

Bytes Utf16(const std::string& ascii) {
  Bytes b;
  for (char c : ascii) b.insert(b.end(), {static_cast<std::uint8_t>(c), 0});
  return b;
}
std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

InstallerSpec ProductSpec(const std::string& key_name, const std::string& install_dir, const char16_t* version) {
  InstallerSpec plan;
  InstallSettings& s = plan.settings;
  s.product_name = u"Registered " + Utf8ToWide(key_name);
  s.uninstall_key_name = Utf8ToWide(key_name);
  s.install_path = Utf8ToWide(install_dir);
  s.uninstall_subdir = u"Data";
  s.publisher = u"Maker";
  s.display_version = version;
  s.product_flags = kRegister | kAlwaysWriteLog;
  return plan;
}

std::string Build(const InstallerSpec& plan) {
  const std::string installer = MakeInstaller(plan);
  EXPECT_FALSE(installer.empty());
  return installer;
}

DriverRun RunInstaller(const std::string& installer, const std::vector<std::string>& args) {
  DriverOptions options;
  options.timeout_seconds = 120;
  return RunProgram(installer, args, options);
}

// The last section of Install.log.
std::string LastLogSection(const std::string& log_path) {
  const std::string log = ReadPrefixFile(log_path).value_or("");
  const std::size_t separator = log.rfind("**********************************************\r\n");
  return separator == std::string::npos ? log : log.substr(separator);
}

// A script that leaves `marker` behind when it runs; its path has no blanks,
// so it is a "/r:" program without quoting troubles.
std::string LaunchScript(const std::string& marker) {
  const std::string script = ScratchFolder() + "\\launch.bat";
  EXPECT_TRUE(WritePrefixFile(script, "echo ran> " + marker + "\r\n"));
  return script;
}

struct TracedRun {
  int exit_code = -1;
  bool descendants_ended = false;  // every process the program started has ended too
  std::string trace;               // Wine's messages of the channels asked for
};

// Runs exactly `command_line` under ksdriver with WINEDEBUG=`channels`, until
// the program and every process it started have ended; the program inherits
// the debug channels and the standard error.
TracedRun RunTraced(const WineEnv& e, const std::string& command_line, const std::string& channels) {
  TracedRun run;
  const std::string file = ScratchFolder() + "\\cmdline.txt";
  const std::string out = LinuxPath(ScratchFolder() + "\\driver.txt");
  const std::string trace = LinuxPath(ScratchFolder() + "\\trace.txt");
  if (!WritePrefixFile(file, command_line)) return run;
  const std::string shell = "cd '" + e.prefix + "/drive_c' && env -u http_proxy -u https_proxy WINEPREFIX='" +
                            e.prefix + "' DISPLAY='" + e.Value("DISPLAY") + "' WINESERVER='" + e.Value("WINESERVER") +
                            "' WINEDLLOVERRIDES='" + e.Value("WINEDLLOVERRIDES") + "' WINEDEBUG='" + channels + "' '" +
                            e.wine + "' '" + e.tools_dir + "\\ksdriver.exe' run --timeout 90 --descendants" +
                            " --cmdline-file '" + file + "' >'" + out + "' 2>'" + trace + "'";
  if (std::system(shell.c_str()) != 0) return run;
  std::ifstream out_in(out), trace_in(trace);
  const DriverRun driven = ParseDriverOutput(std::string(std::istreambuf_iterator<char>(out_in), {}));
  run.exit_code = driven.ok ? driven.exit_code : -1;
  run.descendants_ended = driven.descendants_ended;
  run.trace.assign(std::istreambuf_iterator<char>(trace_in), {});
  return run;
}

struct ThreadJoiner {
  std::thread thread;
  ~ThreadJoiner() {
    if (thread.joinable()) thread.join();
  }
};

class Registration : public WineTest {};

TEST_F(Registration, SilentInstallWritesTheWholeKeyAndACompactUninstaller) {
  const std::string key = UniqueName("KsReg");
  const std::string dir = ScratchFolder() + "\\App";
  const std::string data = dir + "\\Data";
  const std::string extra_key = "Software\\KsRegExtra\\" + key;
  InstallerSpec plan = ProductSpec(key, dir, u"1.0");
  plan.archive.flags = 0x20;  // the compact uninstaller
  plan.settings.uninstaller_icon = TwoImageIcon();
  plan.settings.product_icon = TwoImageIcon();
  plan.settings.extra_uninstall_values = {
      {"Comment", 1, u"hello"},
      {"Nothing", 1, u""},
      {"NoModify", 4, u"1"},
      {"\\HKLM\\" + extra_key + "\\Level", 4, u"42"},
  };
  plan.settings.folder_registry_path = Utf8ToWide("\\HKLM\\Software\\KsRegFolder\\" + key + "\\Path");
  // Save readme and licence texts, leave the reboot marker, keep the background bitmap.
  plan.settings.product_flags |= FlagHigh(0x4000) | FlagHigh(0x8000) | FlagHigh(0x200000) | FlagLow(0x8000);
  plan.settings.background_bitmap = {'B', 'M', 1, 2, 3};
  plan.settings.readme_documents = {Utf16("Read me")};
  plan.settings.licence_documents = {Utf16("First"), Bytes{'{', '\\', 'r', 't', 'f', '1', '}'}};
  AddFiles(plan, {{"app.txt", std::string(2048, 'a')}});
  const std::string installer = Build(plan);
  ASSERT_FALSE(installer.empty());

  const DriverRun run = RunInstaller(installer, {"/silent"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0);
  // Nothing failed: the value that was not there to delete is no failure either.
  const std::string log = ReadPrefixFile(data + "\\Install.log").value_or("(no log)");
  EXPECT_EQ(log.find("*** FAILURE SUMMARY ***"), std::string::npos) << log;

  const std::string uninstaller = data + "\\uninstall.exe";
  const ProductFlags flags = ApplySilentMode(plan.settings.product_flags);
  KeyDump got = DumpKey(kUninstallKey + key, "/reg:32");
  // Wine's reg shows no QWORD data; the run's random session is checked by type.
  ASSERT_EQ(got.count("Session"), 1u);
  EXPECT_EQ(got["Session"].type, "REG_QWORD");
  got.erase("Session");
  // The shared folder is the preparation step's (the maker's folder below a
  // system folder); without that step the value is deleted as empty.
  if (got.count("SharedPath")) {
    EXPECT_EQ(got["SharedPath"].type, "REG_SZ");
    EXPECT_EQ(got["SharedPath"].data.substr(got["SharedPath"].data.size() - 6), "\\Maker") << got["SharedPath"];
    got.erase("SharedPath");
  }
  const KeyDump expected = {
      {"UninstallString", Sz("\"" + uninstaller + "\" /u:\"" + key + "\"")},
      {"QuietUninstallString", Sz("\"" + uninstaller + "\" /a /u:\"" + key + "\"")},
      {"DisplayName", Sz("Registered " + key)},
      {"InstallSource", Sz(installer)},
      {"Publisher", Sz("Maker")},
      {"Bitness", Dword(0)},
      {"DisplayVersion", Sz("1.0")},
      {"DisplayIcon", Sz(data + "\\product.ico")},
      {"VersionMajor", Dword(1)},
      {"VersionMinor", Dword(0)},
      {"ProductStartMenu", Sz("Registered " + key)},
      {"ProductFlags", Sz(std::to_string(static_cast<std::int64_t>(flags)))},
      {"ProductFlags2", Sz("32")},
      {"UninstallSubdir", Sz("Data")},
      {"UninstallFonts", Dword(0)},
      {"UninstallShared", Dword(0)},
      {"EstimatedSize", Dword(2)},
      {"TaskbarText", Sz("")},
      {"DialogFont", Sz("")},
      {"Comment", Sz("hello")},
      {"NoModify", Dword(1)},
      {"InstallLocation", Sz(dir)},
      {"InstallDate", Sz(Today())},
  };
  EXPECT_EQ(got, expected);

  // The compact uninstaller: a program without the archive, with the archive's icon.
  const std::string image = ReadPrefixFile(uninstaller).value_or("");
  ASSERT_GT(image.size(), 0x400u);
  EXPECT_EQ(image.substr(0, 2), "MZ");
  const Bytes bytes(image.begin(), image.end());
  EXPECT_EQ(FindSetupSection(bytes.data(), bytes.size(), bytes.size()).outcome, SectionLookup::kNoSection);
  const std::string ico = ScratchFolder() + "\\expected.ico";
  ASSERT_TRUE(WritePrefixFile(ico, Str(TwoImageIcon())));
  const std::string probe = CopyIntoPrefix(BuildProgramLinuxPath("ksicon.exe"), ScratchFolder());
  EXPECT_EQ(RunWine({probe, uninstaller, ico}).out, "same\r\n");
  EXPECT_EQ(ReadPrefixFile(data + "\\product.ico"), std::optional<std::string>(Str(TwoImageIcon())));

  // The extra value below a registry path, and its removal record. A write
  // that names no view lands in the 32-bit view on 64-bit Windows: the
  // shipped i686 engine is a 32-bit program, and the x86_64 build names that
  // view itself, so both builds are expected there.
  EXPECT_EQ(RegQuery("HKLM\\" + extra_key, "Level", RegView::k32), std::optional<std::string>("0x2a"));
  const std::string dat = ReadPrefixFile(data + "\\Uninstall.DAT").value_or("");
  EXPECT_NE(dat.find("[Registry2]\r\n\\HKLM\\" + extra_key + ",Level,,,2\r\n"), std::string::npos) << dat;
  EXPECT_NE(dat.find(data + "\\product.ico\r\n"), std::string::npos) << dat;

  // The bitmap the uninstaller shows, and the marker that goes at the next restart.
  EXPECT_EQ(ReadPrefixFile(data + "\\Installer Background.bmp"), std::optional<std::string>("BM\x01\x02\x03"));
  EXPECT_NE(dat.find(data + "\\Installer Background.bmp\r\n"), std::string::npos);
  EXPECT_TRUE(PrefixFileExists(dir + "\\reboot.dat"));
  const auto pending = RegQuery("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                                "PendingFileRenameOperations", RegView::k64);
  ASSERT_TRUE(pending.has_value());
  EXPECT_NE(pending->find(dir + "\\reboot.dat"), std::string::npos) << *pending;

  // The value a later installation can read the folder from.
  EXPECT_EQ(RegQuery("HKLM\\Software\\KsRegFolder\\" + key, "Path", RegView::k32), std::optional<std::string>(dir));

  // The documents: one readme as readme.txt; a text and an RTF licence as eula1.txt and eula2.rtf.
  EXPECT_EQ(ReadPrefixFile(dir + "\\readme.txt"), std::optional<std::string>("\xFF\xFE" + Str(Utf16("Read me"))));
  EXPECT_EQ(ReadPrefixFile(dir + "\\eula1.txt"), std::optional<std::string>("\xFF\xFE" + Str(Utf16("First"))));
  EXPECT_EQ(ReadPrefixFile(dir + "\\eula2.rtf"), std::optional<std::string>("{\\rtf1}"));
  EXPECT_NE(dat.find(dir + "\\eula2.rtf\r\n"), std::string::npos);
}

// The registered command is the product's working uninstaller.
TEST_F(Registration, UninstallStringRemovesTheProduct) {
  const std::string key = UniqueName("KsGone");
  const std::string dir = ScratchFolder() + "\\App";
  InstallerSpec plan = ProductSpec(key, dir, u"2.0");
  plan.archive.flags = 0x20;
  AddFiles(plan, {{"app.txt", "x"}});
  const std::string installer = Build(plan);
  ASSERT_FALSE(installer.empty());
  ASSERT_EQ(RunInstaller(installer, {"/silent"}).exit_code, 0);
  const auto command = RegQuery(kUninstallKey + key, "UninstallString", RegView::k32);
  ASSERT_TRUE(command.has_value());
  ASSERT_TRUE(PrefixFileExists(dir + "\\app.txt"));

  DriverOptions options;
  options.timeout_seconds = 120;
  const DriverRun run = RunCommandLine(*command + " /silent", options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_FALSE(RegQuery(kUninstallKey + key, "DisplayName", RegView::k32).has_value());
  EXPECT_FALSE(PrefixFileExists(dir + "\\app.txt"));
}

TEST_F(Registration, ReadmeNaming) {
  const struct {
    const char* name;
    std::vector<Bytes> texts;
    std::vector<std::string> files;
  } cases[] = {
      {"two texts", {Utf16("one"), Utf16("two")}, {"readme1.txt", "readme2.txt"}},
      {"one rtf", {Bytes{'{', '\\', 'r', 't', 'f', '}'}}, {"readme.rtf"}},
  };
  for (const auto& c : cases) {
    const std::string dir = ScratchFolder() + "\\App";
    InstallerSpec plan = ProductSpec(UniqueName("KsReadme"), dir, u"1.0");
    plan.settings.product_flags |= FlagHigh(0x4000);
    plan.settings.readme_documents = c.texts;
    AddFiles(plan, {{"app.txt", "x"}});
    const std::string installer = Build(plan);
    ASSERT_FALSE(installer.empty());
    const DriverRun run = RunInstaller(installer, {"/silent"});
    ASSERT_TRUE(run.ok) << c.name << run.error;
    for (const std::string& file : c.files) EXPECT_TRUE(PrefixFileExists(dir + "\\" + file)) << c.name << file;
    EXPECT_FALSE(PrefixFileExists(dir + "\\readme.txt")) << c.name;
  }
}

TEST_F(Registration, BusyUninstallerWaitsForARestartThatIsAsked) {
  const std::string key = UniqueName("KsBusy");
  const std::string dir = ScratchFolder() + "\\App";
  const std::string uninstaller = dir + "\\Data\\uninstall.exe";
  const std::string installer = Build(ProductSpec(key, dir, u"1.0"));
  ASSERT_FALSE(installer.empty());
  const DriverRun first = RunInstaller(installer, {"/silent"});
  ASSERT_TRUE(first.ok) << first.error << first.output;
  ASSERT_EQ(first.exit_code, 0);
  ASSERT_TRUE(PrefixFileExists(uninstaller));

  const std::string hold = CopyIntoPrefix(BuildProgramLinuxPath("kshold.exe"), ScratchFolder());
  const ThreadJoiner holder{std::thread([&] { RunWine({hold, uninstaller, "30"}, 60); })};
  ASSERT_TRUE(WaitUntil([&] { return PrefixFileExists(uninstaller + ".held"); }, std::chrono::seconds(30)));

  // The restart that a silent installation chooses by itself: Wine answers
  // the shutdown call without doing anything and names it in its trace.
  const std::string marker = ScratchFolder() + "\\launched.txt";
  const std::string script = LaunchScript(marker);
  const TracedRun run =
      RunTraced(env(), "\"" + installer + "\" /silent /r:\"" + script + "\"", "fixme+advapi");
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_TRUE(run.descendants_ended) << "the installer or what it started did not end";
  EXPECT_NE(run.trace.find("fixme:advapi:InitiateSystemShutdownExW (null) (null) 0 0 1 0x80040002"),
            std::string::npos)
      << run.trace;
  const std::string section = LastLogSection(dir + "\\Data\\Install.log");
  EXPECT_NE(section.find("\"" + uninstaller + "\" was successfully registered for replacement.\r\nTemporary file is \""),
            std::string::npos)
      << section;
  EXPECT_NE(section.find("Launch on exit: " + script + "\r\n"), std::string::npos) << section;
  const auto flags = RegQuery(kUninstallKey + key, "ProductFlags", RegView::k32);
  ASSERT_TRUE(flags.has_value());
  EXPECT_TRUE(std::stoll(*flags) & 0x4000) << *flags;
  // With a restart chosen nothing is launched: had the script been started, it
  // would have written its marker before the installer's processes all ended.
  EXPECT_FALSE(PrefixFileExists(marker));
}

TEST_F(Registration, RunAfterProgramOnlyWithoutFailures) {
  const struct {
    const char* name;
    bool fail;
  } cases[] = {{"success", false}, {"a file that cannot be placed", true}};
  for (const auto& c : cases) {
    const std::string dir = ScratchFolder() + "\\App";
    InstallerSpec plan = ProductSpec(UniqueName("KsRun"), dir, u"1.0");
    AddFiles(plan, {{"blocker\\inside.txt", "x"}});
    if (c.fail) {
      ASSERT_TRUE(WritePrefixFile(dir + "\\blocker", "a file where a folder should be"));
    }
    const std::string installer = Build(plan);
    ASSERT_FALSE(installer.empty());
    const std::string marker = ScratchFolder() + "\\launched.txt";
    DriverOptions options;
    options.timeout_seconds = 120;
    // The script, when launched, has written its marker once all of the
    // installer's processes have ended.
    options.wait_for_descendants = true;
    const DriverRun run =
        RunCommandLine("\"" + installer + "\" /silent /r:\"" + LaunchScript(marker) + "\"", options);
    ASSERT_TRUE(run.ok) << c.name << run.error;
    const std::string log = LastLogSection(dir + "\\Data\\Install.log");
    EXPECT_EQ(log.find("*** FAILURE SUMMARY ***") != std::string::npos, c.fail) << c.name << log;
    EXPECT_EQ(PrefixFileExists(marker), !c.fail) << c.name;
  }
}

// 1.0, 1.0 again, 1.1, 0.9: each installation reads the key the one before
// wrote and says so in its Install.log section.
TEST_F(Registration, ChainOfInstallationsReadsTheKeyThePreviousWrote) {
  const std::string key = UniqueName("KsChain");
  const std::string dir = ScratchFolder() + "\\App";
  const struct {
    const char16_t* version;
    const char* type;
    const char* overwriting;
    unsigned major, minor;
  } steps[] = {
      {u"1.0", "New", nullptr, 1, 0},
      {u"1.0", "Reinstall", "1.0", 1, 0},
      {u"1.1", "Upgrade", "1.0", 1, 1},
      {u"0.9", "Downgrade", "1.1", 0, 9},
  };
  for (const auto& step : steps) {
    InstallerSpec plan = ProductSpec(key, dir, step.version);
    // Automatic rather than silent: silent mode switches the version comparison off.
    plan.settings.product_flags |= FlagHigh(0x10) | FlagLow(0x20000000);
    const std::string installer = Build(plan);
    ASSERT_FALSE(installer.empty());
    const DriverRun run = RunInstaller(installer, {"/a"});
    ASSERT_TRUE(run.ok) << step.type << run.error << run.output;
    EXPECT_EQ(run.exit_code, 0) << step.type;
    const std::string section = LastLogSection(dir + "\\Data\\Install.log");
    EXPECT_NE(section.find(std::string("Install type: ") + step.type + "\r\n"), std::string::npos) << section;
    if (step.overwriting) {
      EXPECT_NE(section.find(std::string("Overwriting version: ") + step.overwriting + "\r\n"), std::string::npos)
          << section;
    }
    const std::string version = WideToUtf8(step.version);
    EXPECT_EQ(RegQuery(kUninstallKey + key, "DisplayVersion", RegView::k32), std::optional<std::string>(version));
    EXPECT_EQ(RegQuery(kUninstallKey + key, "VersionMajor", RegView::k32),
              std::optional<std::string>(Dword(step.major).data));
    EXPECT_EQ(RegQuery(kUninstallKey + key, "VersionMinor", RegView::k32),
              std::optional<std::string>(Dword(step.minor).data));
  }
}

}  // namespace
}  // namespace ks::e2e
