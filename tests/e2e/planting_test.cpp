// DLLs planted beside the installer, under Wine. An installer is run from a
// folder others can write to (Downloads); a copy of ksplanted.dll is put
// there under the name of every system DLL the engine or the system code it
// calls might look for, and Wine is told to prefer such "native" DLLs, so
// that a DLL found in the program's folder is taken, as Windows' search
// order would take it. A taken DLL leaves a marker.
//
// The engine imports only the system's known DLLs, which Windows always takes
// from the system folder. Wine's own copies of some of them import further
// DLLs by name (its user32 imports version.dll), which its loader then finds
// in the program's folder before any code of the program runs; Windows does
// not. A control program with the engine's imports shows that set; a silent
// install, an interactive run and an uninstallation may take nothing more.
// The same control, loading a DLL by name, shows that the planting works.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "engine/file_data_block.h"
#include "engine/file_records.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/pe_imports.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

namespace fs = std::filesystem;

constexpr ProductFlags kRegisterUninstaller = 0x4;
constexpr ProductFlags kCompressed = 0x20;

// DLLs that are no known DLLs of Windows (those always come from the system
// folder): the engine's run-time loads, what the window, sound, network and
// version code loads in turn, and the usual planting targets.
const char* const kPlanted[] = {
    "version",  "wininet", "winmm",   "comctl32", "uxtheme", "dwmapi",  "cryptbase", "msi",
    "sfc_os",   "riched20", "msimg32", "wintrust", "crypt32", "bcrypt",  "srclient",  "dbghelp",
    "userenv",  "winhttp", "urlmon",  "iertutil", "secur32", "sspicli", "propsys",   "mpr",
    "netapi32", "oleacc",  "msacm32", "midimap",  "wdmaud",  "dsound",  "mmdevapi",  "profapi"};

std::string Overrides() {
  std::string list;
  for (const char* name : kPlanted) list += std::string(list.empty() ? "" : ",") + name;
  // Keeps the fixture's own overrides.
  return "WINEDLLOVERRIDES=" + list + "=n,b;mscoree,mshtml=;winemenubuilder.exe=d";
}

// A copy of ksplanted.dll under every planted name in `folder`.
void Plant(const std::string& folder) {
  for (const char* name : kPlanted) {
    ASSERT_FALSE(CopyIntoPrefix(BuildProgramLinuxPath("ksplanted.dll"), folder, std::string(name) + ".dll").empty())
        << name;
  }
}

// The markers the planted DLLs left in `markers`: each DLL's file name with
// the programs that loaded it (the marker's UTF-16 text, ASCII shown).
std::map<std::string, std::string> Markers(const std::string& markers) {
  std::map<std::string, std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(LinuxPath(markers), ec)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string utf16((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string programs;
    for (size_t i = 0; i < utf16.size(); i += 2) programs += utf16[i];
    found[entry.path().filename().string()] = programs;
  }
  return found;
}

DriverOptions PlantedRun(const std::string& markers) {
  DriverOptions options;
  options.timeout_seconds = 120;
  options.environment = {Overrides(), "KS_PLANTED_MARKERS=" + markers};
  return options;
}

// A tiny PCM wave file, so that the start sound is played (and winmm used).
Bytes Wave() {
  const std::string riff = std::string("RIFF") + std::string("\x2c\x00\x00\x00", 4) + "WAVEfmt " +
                           std::string("\x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x40\x1f\x00\x00"
                                       "\x01\x00\x08\x00", 20) +
                           "data" + std::string("\x08\x00\x00\x00", 4) + std::string(8, '\x80');
  return Bytes(riff.begin(), riff.end());
}

// An installer of two files into `dir`: "app.exe" and "lib.dll", whose kind
// compares versions with a file already there (so version.dll is used). It
// registers its uninstaller, sends a start notification (wininet) to a port
// where nobody listens and plays a start sound (winmm) in interactive runs.
std::string MakeProduct(const std::string& product, const std::string& dir) {
  InstallerSpec plan;
  InstallSettings& s = plan.settings;
  s.product_name = Utf8ToWide(product);
  s.display_version = u"1.0";
  s.install_path = Utf8ToWide(dir);
  s.uninstall_subdir = u"uninstall";
  s.product_flags = kCompressed | kRegisterUninstaller;
  s.start_url = "http://127.0.0.1:9/start";
  s.start_sound = Wave();
  std::vector<Bytes> encoded;
  for (const auto& [name, kind] : {std::pair<const char*, int>{"app.exe", 0}, {"lib.dll", 9}}) {
    FileRecord record;
    record.name = name;
    record.kind = kind;
    record.date.year = 2024, record.date.month = 1, record.date.day = 2;
    const std::string data = std::string("payload of ") + name;
    encoded.push_back(EncodeFileRecord(record, Bytes(data.begin(), data.end())));
    plan.archive.per_file_values.push_back(static_cast<std::int32_t>(data.size()));
  }
  ChunkCoding coding;
  coding.compressed = true;
  if (!BuildFileDataBlock(encoded, 4096, coding, &plan.archive.file_data)) return {};
  return MakeInstaller(plan);
}

// The known DLLs of Windows that the engine may import, and the C runtime.
const std::set<std::string> kKnownDlls = {"kernel32.dll", "user32.dll",  "gdi32.dll",   "shell32.dll",
                                          "shlwapi.dll",  "ole32.dll",   "oleaut32.dll", "advapi32.dll",
                                          "comdlg32.dll", "setupapi.dll", "psapi.dll",   "msvcrt.dll"};

std::set<std::string> Names(const std::map<std::string, std::string>& markers) {
  std::set<std::string> names;
  for (const auto& [name, programs] : markers) names.insert(name);
  return names;
}

class Planting : public WineTest {
 protected:
  // A folder for the markers, holding ".keep" only.
  static std::string MarkerFolder(const std::string& scratch, const std::string& name) {
    const std::string folder = scratch + "\\" + name;
    EXPECT_TRUE(WritePrefixFile(folder + "\\.keep", ""));
    return folder;
  }
};

TEST_F(Planting, TheEngineImportsOnlyKnownDlls) {
  // The build under test: the i686 engine, or the x86_64 one on hosts without 32-bit code.
  const std::optional<std::set<std::string>> imports = ImportedDlls(EngineLinuxPath());
  ASSERT_TRUE(imports.has_value());
  EXPECT_TRUE(imports->count("kernel32.dll"));
  for (const std::string& dll : *imports) EXPECT_TRUE(kKnownDlls.count(dll)) << dll << " is no known DLL";
}

TEST_F(Planting, ACarelessProgramTakesThePlantedDll) {
  const std::string scratch = ScratchFolder();
  const std::string downloads = scratch + "\\Downloads";
  const std::string markers = MarkerFolder(scratch, "markers");
  Plant(downloads);
  const std::string careless = CopyIntoPrefix(BuildProgramLinuxPath("ksloadlib.exe"), downloads);
  ASSERT_FALSE(careless.empty());

  const DriverRun run = RunProgram(careless, {"version.dll"}, PlantedRun(markers));
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(Markers(markers).count("version.dll.loaded"), 1u) << run.output;
}

TEST_F(Planting, NoPlantedDllIsTakenByAnInstallationOrAnUninstallation) {
  const std::string product = UniqueName("Planted");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\Product";
  const std::string downloads = scratch + "\\Downloads";
  const std::string markers = MarkerFolder(scratch, "markers");
  ASSERT_TRUE(WritePrefixFile(dir + "\\lib.dll", "older"));
  const std::string built = MakeProduct(product, dir);
  ASSERT_FALSE(built.empty());
  Plant(downloads);
  const std::string setup = CopyIntoPrefix(LinuxPath(built), downloads, "setup.exe");
  ASSERT_FALSE(setup.empty());

  // What Wine's loader takes for the engine's imports alone.
  const std::string control_linux = BuildProgramLinuxPath("ksloadlib.exe");
  ASSERT_EQ(ImportedDlls(control_linux), ImportedDlls(EngineLinuxPath())) << "the control must import what the engine imports";
  const std::string control = CopyIntoPrefix(control_linux, downloads);
  const std::string baseline = MarkerFolder(scratch, "baseline");
  const DriverRun loader_only = RunProgram(control, {"-"}, PlantedRun(baseline));
  ASSERT_TRUE(loader_only.ok) << loader_only.error << loader_only.output;

  // Silent, then interactive (the same product again: every window answered
  // with its default button).
  const DriverRun silent = RunProgram(setup, {"/silent"}, PlantedRun(markers));
  ASSERT_TRUE(silent.ok) << silent.error << silent.output;
  EXPECT_EQ(silent.exit_code, 0) << silent.output;
  EXPECT_EQ(ReadPrefixFile(dir + "\\app.exe"), std::string("payload of app.exe"));
  const DriverRun interactive = RunProgram(setup, {}, PlantedRun(markers));
  ASSERT_TRUE(interactive.ok) << interactive.error << interactive.output;
  EXPECT_FALSE(interactive.windows.empty()) << interactive.output;

  // The uninstaller with DLLs planted beside it.
  const std::string uninstaller = dir + "\\uninstall\\uninstall.exe";
  ASSERT_TRUE(PrefixFileExists(uninstaller));
  Plant(dir + "\\uninstall");
  const DriverRun removal = RunProgram(uninstaller, {"/u:" + product, "/silent"}, PlantedRun(markers));
  ASSERT_TRUE(removal.ok) << removal.error << removal.output;
  EXPECT_EQ(removal.exit_code, 0) << removal.output;
  EXPECT_FALSE(PrefixFileExists(dir + "\\app.exe"));

  const std::set<std::string> taken_by_the_loader = Names(Markers(baseline));
  for (const auto& [name, programs] : Markers(markers)) {
    EXPECT_TRUE(taken_by_the_loader.count(name)) << name << " was taken by " << programs;
  }
}

}  // namespace
}  // namespace ks::e2e
