// Shared files and component registration under Wine: the engine installs
// products with fonts, COM servers, a type library, a Control Panel
// extension, a Windows Installer package and driver packages (fixtures the
// build makes from tests/fixtures), and its uninstaller removes them. Where
// Wine only stubs a system service, the tests check the outcome Wine reports
// (docs/testing.md).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "engine/file_data_block.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/key_values.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr ProductFlags kRegisterUninstaller = 0x4;
constexpr ProductFlags kCompressed = 0x20;
constexpr ProductFlags kAlwaysWriteLog = 0x40;
constexpr std::int32_t kKeep = 0x20;
constexpr std::int32_t kRemovePackage = 0x80;

const std::string kSharedDlls = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string kFontsKey = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const std::string kComServers = "HKLM\\Software\\Kestrelon Tests\\ComServers";
// The fixtures' fixed identities (tests/fixtures).
const std::string kTypeLibKey = "HKLM\\Software\\Classes\\TypeLib\\{6F2C9A4E-3B7D-4E51-9C08-2D4A7E1B5F36}";
const std::string kPackageCode = "{3C5E1A27-9F4B-4D2A-8E61-7B0D4C9A2F15}";
const std::string kAppletClass = "{0B7F3C52-6E1D-4A98-B2C4-5D9E8F7A1C30}";

std::string ReadLinuxFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Fixture(const std::string& name) {
  const std::string bytes = ReadLinuxFile(BuildProgramLinuxPath(name));
  EXPECT_FALSE(bytes.empty()) << "fixture " << name << " is missing from the build";
  return bytes;
}

// One record of a test product.
struct Part {
  Part(std::string name_, std::int32_t kind_, std::string data_, std::int32_t flags_ = 0, std::string title_ = {},
       std::string extra_ = {}, std::int32_t package_option_ = 0)
      : name(std::move(name_)), kind(kind_), data(std::move(data_)), flags(flags_), title(std::move(title_)),
        extra(std::move(extra_)), package_option(package_option_) {}
  std::string name;  // relative to the kind's folder
  std::int32_t kind;
  std::string data;
  std::int32_t flags;
  std::string title;  // font title, applet name
  std::string extra;  // applet class
  std::int32_t package_option;
};

struct Product {
  Product(std::string name_, std::string dir_, std::vector<Part> parts_)
      : name(std::move(name_)), dir(std::move(dir_)), parts(std::move(parts_)) {}
  std::string name;
  std::string dir;  // the installation folder
  std::vector<Part> parts;
  std::uint8_t uninstall_fonts = 2;
  std::uint8_t uninstall_shared = 2;

  std::string Uninstaller() const { return dir + "\\Data\\uninstall.exe"; }
  std::string Log() const { return dir + "\\Data\\Install.log"; }
};

// The installer of `p` in the running test's scratch folder; "" after a failure.
std::string InstallerOf(const Product& p) {
  InstallerSpec plan;
  InstallSettings& s = plan.settings;
  s.display_version = u"1.0";
  s.product_name = Utf8ToWide(p.name);
  s.install_path = Utf8ToWide(p.dir);
  s.uninstall_subdir = u"Data";
  s.uninstall_fonts = p.uninstall_fonts;
  s.uninstall_shared = p.uninstall_shared;
  s.product_flags = kCompressed | kRegisterUninstaller | kAlwaysWriteLog;
  std::vector<Bytes> encoded;
  for (const Part& part : p.parts) {
    FileRecord record;
    record.name = part.name;
    record.kind = part.kind;
    record.flags = part.flags;
    record.title = part.title;
    record.extra_text = part.extra;
    record.package_option = part.package_option;
    record.date.year = 2024, record.date.month = 1, record.date.day = 2;
    encoded.push_back(EncodeFileRecord(record, Bytes(part.data.begin(), part.data.end())));
    plan.archive.per_file_values.push_back(static_cast<std::int32_t>(part.data.size()));
  }
  ChunkCoding coding;
  coding.compressed = true;
  if (!BuildFileDataBlock(encoded, 1 << 16, coding, &plan.archive.file_data)) return {};
  return MakeInstaller(plan);
}

class Components : public WineTest {
 protected:
  // The system folder as the engine under test names it, and where its files are on disk.
  static constexpr const char* kSystem = "C:\\windows\\system32";
  std::string SystemOnDisk() const { return env().arch == "i686" ? "C:\\windows\\syswow64" : kSystem; }
  // The registry view of what the system's own code registers in the engine's process.
  RegView NativeView() const { return env().arch == "i686" ? RegView::k32 : RegView::k64; }

  // Installs `p` silently; false after a failure.
  bool Install(const Product& p) {
    const std::string installer = InstallerOf(p);
    if (installer.empty()) return false;
    DriverOptions options;
    options.timeout_seconds = 180;
    const DriverRun run = RunProgram(installer, {"/silent"}, options);
    EXPECT_TRUE(run.ok) << run.error << run.output;
    EXPECT_EQ(run.exit_code, 0) << run.output;
    return run.ok && run.exit_code == 0;
  }

  // Runs the product's uninstaller (silent unless `presses` are given).
  DriverRun RunUninstaller(const Product& p, const std::vector<std::string>& presses = {}) {
    DriverOptions options;
    options.timeout_seconds = 180;
    options.presses = presses;
    std::vector<std::string> args{"/u:" + p.name};
    if (presses.empty()) args.push_back("/silent");
    const DriverRun run = RunProgram(p.Uninstaller(), args, options);
    EXPECT_TRUE(run.ok) << run.error << run.output;
    return run;
  }
  int Uninstall(const Product& p) {
    const DriverRun run = RunUninstaller(p);
    return run.ok ? run.exit_code : -1;
  }

  std::optional<std::string> SharedCount(const std::string& file) const {
    return RegQuery(kSharedDlls, std::string(kSystem) + "\\" + file, RegView::k32);
  }
  static bool ComRegistered(const std::string& file) { return RegQuery(kComServers, file, RegView::k32).has_value(); }
  bool InSystemFolder(const std::string& file) const { return PrefixFileExists(SystemOnDisk() + "\\" + file); }

  static void SetSharedCount(const std::string& file, int count) {
    RunWine({"reg", "add", kSharedDlls, "/v", std::string(kSystem) + "\\" + file, "/t", "REG_DWORD", "/d",
             std::to_string(count), "/f", "/reg:32"},
            60);
  }
  // What a test leaves behind on purpose goes again at its end.
  void ForgetSharedFile(const std::string& file) const {
    RegDeleteValue(kSharedDlls, std::string(kSystem) + "\\" + file, RegView::k32);
    RegDeleteValue(kComServers, file, RegView::k32);
    std::error_code ec;
    fs::remove(LinuxPath(SystemOnDisk() + "\\" + file), ec);
  }
};

std::string FontListed(const std::string& family) {
  const std::string tool = CopyIntoPrefix(BuildProgramLinuxPath("kscomponents.exe"), "C:\\ks\\components");
  const WineResult r = RunWine({tool, "font", family}, 60);
  return ValueOf(ParseKeyValueLines(r.out), "font");
}

std::string PackageState() {
  const std::string tool = CopyIntoPrefix(BuildProgramLinuxPath("kscomponents.exe"), "C:\\ks\\components");
  const WineResult r = RunWine({tool, "msi", kPackageCode}, 60);
  return ValueOf(ParseKeyValueLines(r.out), "msi");
}

// Two products count one COM server: the file stays, registered, until the
// second is uninstalled; a reinstallation counts nothing twice.
TEST_F(Components, TwoProductsShareOneServerUntilTheLastGoes) {
  const std::string scratch = ScratchFolder();
  const std::string dll = UniqueName("kscom") + ".dll";
  const Part server{dll, 7, Fixture("kscomserver.dll")};
  const Product first{UniqueName("SharerA"), scratch + "\\A", {server}};
  const Product second{UniqueName("SharerB"), scratch + "\\B", {server}};

  ASSERT_TRUE(Install(first));
  EXPECT_EQ(SharedCount(dll), "0x1");
  EXPECT_TRUE(ComRegistered(dll));
  const auto listed = RegQuery(kUninstallKey + first.name, "SharedFiles", RegView::k32);
  EXPECT_EQ(listed, "\"" + std::string(kSystem) + "\\" + dll + "^\"");
  ASSERT_TRUE(Install(first));  // the same product again
  EXPECT_EQ(SharedCount(dll), "0x1");
  ASSERT_TRUE(Install(second));
  EXPECT_EQ(SharedCount(dll), "0x2");
  const std::string log = ReadPrefixFile(second.Log()).value_or("");
  EXPECT_NE(log.find("Registering COM File \"" + std::string(kSystem) + "\\" + dll + "\"...OK\r\n"),
            std::string::npos)
      << log;

  EXPECT_EQ(Uninstall(first), 0);
  EXPECT_EQ(SharedCount(dll), "0x1");
  EXPECT_TRUE(ComRegistered(dll));
  EXPECT_TRUE(InSystemFolder(dll));

  EXPECT_EQ(Uninstall(second), 0);
  EXPECT_FALSE(SharedCount(dll).has_value());
  EXPECT_FALSE(ComRegistered(dll));
  EXPECT_FALSE(InSystemFolder(dll));
}

// A count another product raised before stays above zero: lowered, nothing
// else. The blank marker (a system file, a server kept at uninstallation)
// keeps a file at zero, registered and in place.
TEST_F(Components, CountsAboveOneAndTheBlankMarkerKeepFiles) {
  const std::string scratch = ScratchFolder();
  const std::string counted = UniqueName("kscounted") + ".dll";
  const std::string system_file = UniqueName("kssystem") + ".dat";
  const std::string kept = UniqueName("kskept") + ".dll";
  SetSharedCount(counted, 2);
  const Product product{UniqueName("Counts"),
                        scratch + "\\App",
                        {{counted, 7, Fixture("kscomserver.dll")},
                         {system_file, 6, "system data"},
                         {kept, 7, Fixture("kscomserver.dll"), kKeep}}};
  ASSERT_TRUE(Install(product));
  EXPECT_EQ(SharedCount(counted), "0x3");
  EXPECT_EQ(SharedCount(system_file), "0x1");
  EXPECT_EQ(SharedCount(kept), "0x1");
  EXPECT_TRUE(ComRegistered(kept));

  EXPECT_EQ(Uninstall(product), 0);
  EXPECT_EQ(SharedCount(counted), "0x2");
  EXPECT_TRUE(ComRegistered(counted));
  EXPECT_TRUE(InSystemFolder(counted));
  for (const std::string& file : {system_file, kept}) {
    EXPECT_FALSE(SharedCount(file).has_value()) << file;
    EXPECT_TRUE(InSystemFolder(file)) << file;
  }
  EXPECT_TRUE(ComRegistered(kept));
  for (const std::string& file : {counted, system_file, kept}) ForgetSharedFile(file);
}

// A server whose DllRegisterServer faults takes neither regsvr32's wait nor
// the installer down: the crash is in the failure summary and the next
// records are placed and registered.
TEST_F(Components, AFaultingServerIsReportedAndTheInstallationGoesOn) {
  const std::string scratch = ScratchFolder();
  const std::string faulty = UniqueName("ksfault") + ".dll";
  const std::string good = UniqueName("ksgood") + ".dll";
  const Product product{UniqueName("Faulting"),
                        scratch + "\\App",
                        {{faulty, 7, Fixture("kscomfault.dll")},
                         {good, 7, Fixture("kscomserver.dll")},
                         {"after.txt", 0, "placed after the fault"}}};
  ASSERT_TRUE(Install(product));
  const std::string log = ReadPrefixFile(product.Log()).value_or("");
  const std::string path = std::string(kSystem) + "\\" + faulty;
  EXPECT_NE(log.find("Registering COM File \"" + path + "\"...CRASHED!\r\n"), std::string::npos) << log;
  const std::size_t summary = log.find("*** FAILURE SUMMARY ***\r\n");
  ASSERT_NE(summary, std::string::npos) << log;
  EXPECT_NE(log.find("Crashed while registering COM file " + faulty + "\r\n", summary), std::string::npos) << log;
  EXPECT_TRUE(ComRegistered(good));
  EXPECT_TRUE(PrefixFileExists(product.dir + "\\after.txt"));
  EXPECT_TRUE(RegQuery(kUninstallKey + product.name, "UninstallString", RegView::k32).has_value());

  // The uninstaller takes both away: the fault is only in registering.
  EXPECT_EQ(Uninstall(product), 0);
  for (const std::string& file : {faulty, good}) {
    EXPECT_FALSE(SharedCount(file).has_value()) << file;
    EXPECT_FALSE(InSystemFolder(file)) << file;
  }
  EXPECT_FALSE(ComRegistered(good));
}

// A package the installer service refuses is a failure in the log and the
// summary with the service's code; the installation goes on, and nothing is
// listed for the uninstaller to remove.
TEST_F(Components, ARefusedPackageIsReportedAndNotListedForRemoval) {
  const std::string scratch = ScratchFolder();
  const Product product{UniqueName("BadPackage"),
                        scratch + "\\App",
                        {{"broken.msi", 11, "not a package", kRemovePackage, "", "", 2},
                         {"after.txt", 0, "placed after the package"}}};
  ASSERT_TRUE(Install(product));
  const std::string log = ReadPrefixFile(product.Log()).value_or("");
  const std::string failed = "Installing MSI package \"" + product.dir + "\\broken.msi\"...FAILED code ";
  const std::size_t at = log.find(failed);
  ASSERT_NE(at, std::string::npos) << log;
  const std::size_t end = log.find("\r\n", at);
  const std::string line = log.substr(at, end - at);
  EXPECT_NE(line.substr(failed.size()).find(": "), std::string::npos) << line;  // the code's text follows
  const std::size_t summary = log.find("*** FAILURE SUMMARY ***\r\n");
  ASSERT_NE(summary, std::string::npos) << log;
  EXPECT_NE(log.find(line + "\r\n", summary), std::string::npos) << log;
  EXPECT_TRUE(PrefixFileExists(product.dir + "\\after.txt"));
  const std::string data = ReadPrefixFile(product.dir + "\\Data\\Uninstall.DAT").value_or("");
  ASSERT_NE(data.find("[Strings]\r\n"), std::string::npos) << data;
  EXPECT_EQ(data.find("[MSI]"), std::string::npos) << data;

  EXPECT_EQ(Uninstall(product), 0);
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(product.dir); }, 60s)) << product.dir;
}

// "No" to the font question keeps the font's file and entry; ProductFonts
// goes all the same (the run keeps its key here: another file is held open).
TEST_F(Components, AFontKeptByTheAnswerNoLeavesProductFontsAllTheSame) {
  const std::string scratch = ScratchFolder();
  const std::string font_file = UniqueName("ksserif") + ".ttf";
  const std::string title = "Kestrelon Test Serif (TrueType)";
  Product product{UniqueName("FontNo"),
                  scratch + "\\App",
                  {{font_file, 4, Fixture("ksfont-serif.ttf"), 0, title}, {"held.txt", 0, "held open"}}};
  product.uninstall_fonts = 1;
  ASSERT_TRUE(Install(product));
  ASSERT_EQ(RegQuery(kFontsKey, title, RegView::k32), font_file);
  ASSERT_TRUE(RegQuery(kUninstallKey + product.name, "ProductFonts", RegView::k32).has_value());

  const std::string held = product.dir + "\\held.txt";
  const std::string hold = CopyIntoPrefix(BuildProgramLinuxPath("kshold.exe"), scratch);
  std::thread holder([&] { RunWine({hold, held, "25"}, 90); });
  ASSERT_TRUE(WaitUntil([&] { return PrefixFileExists(held + ".held"); }, 30s));
  fs::remove(LinuxPath(held + ".held"));
  const DriverRun run = RunUninstaller(product, {"Yes", "No"});
  holder.join();
  EXPECT_EQ(run.exit_code, 3) << run.output;
  ASSERT_GE(run.windows.size(), 2u) << run.output;
  const ShownWindow& question = run.windows[1];
  EXPECT_EQ(question.title, "Remove font?");
  EXPECT_EQ(question.Text(), "The font \"" + title + "\" was installed with " + product.name +
                                 ". Do you want to remove it?");
  EXPECT_EQ(question.buttons, (std::vector<std::string>{"Yes", "No", "Yes to all"}));
  EXPECT_EQ(question.pressed, "No");

  EXPECT_EQ(RegQuery(kFontsKey, title, RegView::k32), font_file);
  EXPECT_TRUE(PrefixFileExists("C:\\windows\\Fonts\\" + font_file));
  EXPECT_FALSE(RegQuery(kUninstallKey + product.name, "ProductFonts", RegView::k32).has_value());
  EXPECT_TRUE(RegQuery(kUninstallKey + product.name, "UninstallString", RegView::k32).has_value());
  EXPECT_EQ(Uninstall(product), 0);
  // The font is the user's now; the test takes it away.
  RegDeleteValue(kFontsKey, title, RegView::k32);
  std::error_code ec;
  fs::remove(LinuxPath("C:\\windows\\Fonts\\" + font_file), ec);
}

// UninstallShared for two servers nobody counts any more: kept without a
// question (0), asked for each (1, "No" keeps one), or all removed after
// "Yes to all". Unregistration does not wait for the answer.
TEST_F(Components, SharedFilesNobodyCountsAreKeptAskedOrRemoved) {
  struct Case {
    const char* name;
    std::uint8_t setting;
    std::vector<std::string> answers;  // to the shared-file questions
    std::size_t questions;
    bool first_kept, second_kept;
  };
  const Case cases[] = {
      {"Keep", 0, {}, 0, true, true},
      {"AskNoThenYes", 1, {"No", "Yes"}, 2, true, false},
      {"YesToAll", 1, {"Yes to all"}, 1, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string scratch = ScratchFolder();
    const std::string first = UniqueName("ksaskA") + ".dll";
    const std::string second = UniqueName("ksaskB") + ".dll";
    Product product{UniqueName(std::string("Shared") + c.name),
                    scratch + "\\App",
                    {{first, 7, Fixture("kscomserver.dll")}, {second, 7, Fixture("kscomserver.dll")}}};
    product.uninstall_shared = c.setting;
    ASSERT_TRUE(Install(product));
    ASSERT_TRUE(ComRegistered(first) && ComRegistered(second));

    std::vector<std::string> presses{"Yes"};  // the confirmation
    presses.insert(presses.end(), c.answers.begin(), c.answers.end());
    const DriverRun run = RunUninstaller(product, presses);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    std::vector<const ShownWindow*> questions;
    for (const ShownWindow& w : run.windows)
      if (w.title == "Remove shared file?") questions.push_back(&w);
    ASSERT_EQ(questions.size(), c.questions) << run.output;
    if (!questions.empty()) {
      EXPECT_EQ(questions[0]->Text(), "The shared file\r\n" + std::string(kSystem) + "\\" + first +
                                          "\r\nis no longer used by any program. Do you want to remove it?\r\n\r\n"
                                          "If another program still uses it, that program may stop working.");
      EXPECT_EQ(questions[0]->buttons, (std::vector<std::string>{"Yes", "No", "Yes to all"}));
    }
    for (const auto& [file, kept] : {std::pair{first, c.first_kept}, std::pair{second, c.second_kept}}) {
      EXPECT_FALSE(SharedCount(file).has_value()) << file;
      EXPECT_FALSE(ComRegistered(file)) << file;
      EXPECT_EQ(InSystemFolder(file), kept) << file;
      ForgetSharedFile(file);
    }
  }
}

std::set<std::string> Without(std::set<std::string> entries, const std::set<std::string>& names) {
  for (const std::string& name : names) entries.erase(name);
  return entries;
}

// Where the catalogs of driver packages go (the driver-signing subsystem's folder).
constexpr const char* kCatalogFolder = "{f750e6c3-38ee-11d1-85e5-00c04fc295ee}";

// The whole loop: each kind of component is registered, and the uninstaller
// leaves the folders it touched and the registry as they were.
TEST_F(Components, TheWholeLoopLeavesThePrefixAsItWas) {
  const std::string scratch = ScratchFolder();
  const std::string stem = UniqueName("ksloop");
  const std::string server = stem + ".dll";
  const std::string library = stem + ".tlb";
  const std::string font_file = stem + ".ttf";
  const std::string font_title = "Kestrelon Test Sans (TrueType)";
  const std::string applet_key = "HKLM\\Software\\Classes\\CLSID\\" + kAppletClass;
  const std::string namespace_key =
      "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\" + kAppletClass;
  const Product product{UniqueName("Loop"),
                        scratch + "\\App",
                        {{font_file, 4, Fixture("ksfont-sans.ttf"), 0, font_title},
                         {"drivers\\ksdriver-plain.inf", 10, Fixture("ksdriver-plain.inf")},
                         {"drivers\\ksdriver-catalog.cat", 0, "catalog of the test driver"},
                         {"drivers\\ksdriver-catalog.inf", 10, Fixture("ksdriver-catalog.inf")},
                         {"kspackage.msi", 11, Fixture("kspackage.msi"), kRemovePackage, "", "", 2},
                         {"kspad.exe", 12, "applet", 0, "Kestrelon Pad", kAppletClass},
                         {server, 7, Fixture("kscomserver.dll")},
                         {library, 8, Fixture("kstypelib.tlb")},
                         {stem + ".txt", 1, "shared"}}};
  // Folders only this test changes (the other tests' fonts and servers have names of their own).
  const std::vector<std::string> folders = {"C:\\windows\\inf", "C:\\windows\\system32\\catroot",
                                            "C:\\Program Files\\Kestrelon Test Package",
                                            "C:\\Program Files (x86)\\Kestrelon Test Package",
                                            "C:\\windows\\Installer"};
  // What Wine 8.0's setupapi leaves behind (docs/testing.md): SetupCopyOEMInfW keeps a precompiled
  // INF and the catalog under the source's names, SetupUninstallOEMInfW removes only oemN.inf.
  const std::set<std::string> wine_leftovers = {"ksdriver-plain.pnf", "ksdriver-catalog.pnf", kCatalogFolder,
                                                std::string(kCatalogFolder) + "/ksdriver-catalog.cat"};
  std::vector<std::set<std::string>> before;
  for (const std::string& f : folders) before.push_back(PrefixTree(f));
  ASSERT_EQ(PackageState(), "-1");
  ASSERT_FALSE(RegQuery(kTypeLibKey + "\\1.0", "", NativeView()).has_value());

  ASSERT_TRUE(Install(product));
  const std::string log = ReadPrefixFile(product.Log()).value_or("");
  // The font: its entry, its file, and the system lists its family.
  EXPECT_EQ(RegQuery(kFontsKey, font_title, RegView::k32), font_file);
  EXPECT_TRUE(PrefixFileExists("C:\\windows\\Fonts\\" + font_file));
  EXPECT_EQ(FontListed("Kestrelon Test Sans"), "1");
  EXPECT_EQ(RegQuery(kUninstallKey + product.name, "ProductFonts", RegView::k32),
            "\"" + font_title + "\" \"" + font_file + "\" ");
  // The package: installed by the service, listed for removal.
  EXPECT_NE(log.find("Installing MSI package \"" + product.dir + "\\kspackage.msi\"...OK\r\n"), std::string::npos)
      << log;
  EXPECT_EQ(PackageState(), "5");
  // The Control Panel extension, in the 64-bit view.
  EXPECT_EQ(RegQuery(applet_key, "", RegView::k64), "Kestrelon Pad");
  EXPECT_EQ(RegQuery(applet_key + "\\Shell\\Open\\Command", "", RegView::k64), "\"" + product.dir + "\\kspad.exe\"");
  EXPECT_EQ(RegQuery(namespace_key, "", RegView::k64), "Kestrelon Pad");
  EXPECT_NE(log.find("Registering control panel applet \"Kestrelon Pad\"...OK\r\n"), std::string::npos) << log;
  // The server and the type library.
  EXPECT_TRUE(ComRegistered(server));
  EXPECT_NE(log.find("Registering Type Library \"" + std::string(kSystem) + "\\" + library + "\"...OK\r\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(RegQuery(kTypeLibKey + "\\1.0", "", NativeView()).has_value());
  // Both driver packages in the driver store.
  std::vector<std::string> stored;
  for (std::size_t at = 0; (at = log.find("Final driver location: ", at)) != std::string::npos;) {
    at += 23;
    stored.push_back(log.substr(at, log.find("\r\n", at) - at));
  }
  ASSERT_EQ(stored.size(), 2u) << log;
  for (const std::string& inf : stored) EXPECT_TRUE(PrefixFileExists(inf)) << inf;
  EXPECT_EQ(ReadPrefixFile(stored[0]), Fixture("ksdriver-plain.inf"));
  EXPECT_EQ(ReadPrefixFile(stored[1]), Fixture("ksdriver-catalog.inf"));
  // The plain shared file, listed without a marker.
  const std::string listed = RegQuery(kUninstallKey + product.name, "SharedFiles", RegView::k32).value_or("");
  const std::size_t end = listed.find(stem + ".txt\"");
  ASSERT_NE(end, std::string::npos) << listed;
  const std::size_t begin = listed.rfind('"', end) + 1;
  const std::string shared_file = listed.substr(begin, end + stem.size() + 4 - begin);
  EXPECT_TRUE(PrefixFileExists(shared_file)) << shared_file;
  EXPECT_EQ(RegQuery(kSharedDlls, shared_file, RegView::k32), "0x1");

  EXPECT_EQ(Uninstall(product), 0);
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(product.dir); }, 60s)) << product.dir;
  EXPECT_FALSE(RegQuery(kFontsKey, font_title, RegView::k32).has_value());
  EXPECT_EQ(FontListed("Kestrelon Test Sans"), "0");
  EXPECT_EQ(PackageState(), "-1");
  EXPECT_FALSE(RegQuery(applet_key, "", RegView::k64).has_value());
  EXPECT_FALSE(RegQuery(namespace_key, "", RegView::k64).has_value());
  EXPECT_FALSE(ComRegistered(server));
  EXPECT_FALSE(RegQuery(kTypeLibKey + "\\1.0", "", NativeView()).has_value());
  for (const std::string& file : {server, library}) {
    EXPECT_FALSE(SharedCount(file).has_value()) << file;
    EXPECT_FALSE(InSystemFolder(file)) << file;
  }
  for (const std::string& inf : stored) EXPECT_FALSE(PrefixFileExists(inf)) << inf;
  EXPECT_FALSE(PrefixFileExists(shared_file)) << shared_file;
  EXPECT_FALSE(RegQuery(kSharedDlls, shared_file, RegView::k32).has_value());
  EXPECT_FALSE(RegQuery(kUninstallKey + product.name, "DisplayName", RegView::k32).has_value());
  for (std::size_t i = 0; i < folders.size(); ++i) {
    EXPECT_EQ(Without(PrefixTree(folders[i]), wine_leftovers), Without(before[i], wine_leftovers)) << folders[i];
  }
  std::error_code ec;
  for (const char* leftover : {"C:\\windows\\inf\\ksdriver-plain.pnf", "C:\\windows\\inf\\ksdriver-catalog.pnf"})
    fs::remove(LinuxPath(leftover), ec);
  fs::remove(LinuxPath("C:\\windows\\system32\\catroot\\" + std::string(kCatalogFolder) + "\\ksdriver-catalog.cat"), ec);
}

}  // namespace
}  // namespace ks::e2e
