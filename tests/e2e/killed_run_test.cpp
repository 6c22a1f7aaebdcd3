// Killed runs: the installer and the uninstaller ended the hard way (killed,
// as the task manager or a crash ends a process) at points spread over their
// work. What a killed run leaves must let the next run finish it: no file of
// the product is ever a part of its data, a second installation of the same
// setup.exe gives the exact product, and the uninstallation after it leaves
// the prefix as it was before the first installation. A killed uninstaller
// leaves its data and its key, so that running it again finishes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/install_settings.h"
#include "core/product_flags.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/payload.h"
#include "harness/wait.h"
#include "harness/wine.h"
#include "harness/wine_process.h"

namespace ks::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;


constexpr ProductFlags kRegisterUninstaller = FlagLow(0x4);
constexpr ProductFlags kAlwaysWriteLog = FlagLow(0x40);
constexpr ProductFlags kDetailedLog = FlagLow(0x100000);
constexpr std::int32_t kNotOverNewer = 16;   // existing-file rule: not over a newer file
constexpr std::int32_t kOnlyWhenMissing = 12;
constexpr std::int32_t kVersionedKind = 9;   // kind checked by version, then by date

struct Product {
  std::string name;
  std::string root;  // the folder the product goes into, empty before
  std::string dir;
  std::string installer;
  std::vector<PayloadFile> files;

  std::string Path(const PayloadFile& f) const { return dir + "\\" + f.name; }
  std::string Data(const char* file) const { return dir + "\\Data\\" + file; }
};

// A product of `count` seeded files, every `big_every`th of `big_bytes`, with
// the existing-file rules that compare dates (rule 16 and kind 9) and
// existence (rule 12) among plain ones; the big files carry rule 16, the one
// a part file with today's date would defeat for good.
Product MakeProduct(int count, int big_every, std::size_t big_bytes, const std::string& uninstall_batch2 = "") {
  Product p;
  p.name = UniqueName("Killed");
  p.root = ScratchFolder();
  p.dir = p.root + "\\App";
  p.files = SeededPayload(14, count, big_every, big_bytes);
  for (std::size_t i = 0; i < p.files.size(); ++i) {
    PayloadFile& f = p.files[i];
    if (f.data.size() == big_bytes || i % 4 == 1) f.flags = kNotOverNewer;
    else if (i % 4 == 2) f.kind = kVersionedKind;
    else if (i % 4 == 3) f.flags = kOnlyWhenMissing;
  }
  InstallerSpec plan;
  plan.settings.product_name = Utf8ToWide(p.name);
  plan.settings.display_version = u"1.0";
  plan.settings.install_path = Utf8ToWide(p.dir);
  plan.settings.uninstall_subdir = u"Data";
  plan.settings.product_flags = kRegisterUninstaller | kAlwaysWriteLog | kDetailedLog;
  plan.settings.uninstall_batch2 = uninstall_batch2;
  if (AddPayload(plan, p.files)) p.installer = MakeInstaller(plan);
  return p;
}

DriverRun RunSilently(const std::string& program, const std::vector<std::string>& args) {
  DriverOptions options;
  options.timeout_seconds = 180;
  return RunProgram(program, args, options);
}

// Starts `program` and kills it once `reached` holds (asked every
// `interval`). False, with a failure, when the program ended first.
bool RunAndKill(const std::string& program, const std::vector<std::string>& args,
                const std::function<bool()>& reached, std::chrono::milliseconds interval = 50ms) {
  std::atomic<bool> ended{false};
  std::thread run([&] {
    RunSilently(program, args);
    ended = true;
  });
  // Joined on every way out, also when a check throws.
  struct Joined {
    std::thread& thread;
    ~Joined() {
      if (thread.joinable()) thread.join();
    }
  } joined{run};
  pid_t pid = 0;
  const bool started = WaitUntil([&] { return ended || (pid = FindWindowsProcess(program)) != 0; }, 60s);
  const bool at_point = started && pid != 0 && WaitUntil([&] { return ended || reached(); }, 120s, interval);
  const bool killed = at_point && !ended && KillProcess(pid);
  run.join();
  EXPECT_TRUE(killed) << program << (ended ? " ended before its kill point" : " was not killed");
  return killed;
}

bool IsPartOf(const std::string& part, const std::string& whole) {
  return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// After a kill: every file of the product is absent or whole, never a part.
// Returns the pending files (".ks-new") the kill left.
std::vector<std::string> ExpectNoPartFiles(const Product& p) {
  std::vector<std::string> pending;
  for (const PayloadFile& f : p.files) {
    const std::optional<std::string> placed = ReadPrefixFile(p.Path(f));
    if (placed) {
      EXPECT_TRUE(*placed == f.data) << f.name << " holds " << placed->size() << " of " << f.data.size() << " bytes";
    }
    if (PrefixFileExists(p.Path(f) + ".ks-new")) pending.push_back(f.name + ".ks-new");
  }
  return pending;
}

// The step logs of runs that installed into `dir` and were never finished.
std::vector<std::string> LeftStepLogs(const std::string& temp, const std::string& dir) {
  std::vector<std::string> left;
  for (const auto& [name, bytes] : TreeWithContents(temp)) {
    if (name.rfind("ksl", 0) == 0 && bytes.find(dir) != std::string::npos) left.push_back(name);
  }
  return left;
}

// The names of a tree, one a line: what was left shows in a failure.
std::string Names(const std::map<std::string, std::string>& tree) {
  std::string names;
  for (const auto& [name, bytes] : tree) names += name + "\n";
  return names;
}

// The finishing runs: the same setup.exe again gives the exact product and
// writes whole records; its uninstallation leaves the product's folder as it
// was before (empty) and removes the registration. `killed_log` and
// `killed_data` are what the killed run left of Install.log and
// Uninstall.DAT: the finished files must extend or replace them whole.
void ExpectSecondRunsFinish(const Product& p, const std::optional<std::string>& killed_log,
                            const std::optional<std::string>& killed_data) {
  const DriverRun again = RunSilently(p.installer, {"/silent"});
  ASSERT_TRUE(again.ok) << again.error << again.output;
  EXPECT_EQ(again.exit_code, 0) << again.output;
  for (const PayloadFile& f : p.files) EXPECT_TRUE(ReadPrefixFile(p.Path(f)) == f.data) << f.name;
  for (const auto& [name, bytes] : TreeWithContents(p.dir)) {
    EXPECT_EQ(name.find(".ks-new"), std::string::npos) << name;
  }
  const std::string log = ReadPrefixFile(p.Data("Install.log")).value_or("");
  EXPECT_EQ(log.find("*** FAILURE SUMMARY ***"), std::string::npos) << log;
  if (killed_log) {
    // A whole section of the killed run, then the separator of the next.
    EXPECT_TRUE(IsPartOf(*killed_log + "\r\n\r\n*****", log)) << *killed_log;
  }
  const std::string data = ReadPrefixFile(p.Data("Uninstall.DAT")).value_or("");
  if (killed_data) {
    const std::size_t strings = killed_data->find("\r\n[Strings]\r\n");
    ASSERT_NE(strings, std::string::npos) << *killed_data;
    EXPECT_EQ(killed_data->substr(strings), data.substr(data.find("\r\n[Strings]\r\n"))) << *killed_data;
  }

  const DriverRun removed = RunSilently(p.Data("uninstall.exe"), {"/u:" + p.name, "/silent"});
  ASSERT_TRUE(removed.ok) << removed.error << removed.output;
  EXPECT_EQ(removed.exit_code, 0) << removed.output;
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(p.dir); }, 60s)) << p.dir;
  EXPECT_EQ(Names(TreeWithContents(p.root)), "");
  EXPECT_FALSE(RegQuery(kUninstallKey + p.name, "UninstallString", RegView::k32).has_value());
}

struct KillPoint {
  const char* name;
  // The moment to kill at, asked of the product's folder.
  std::function<bool(const Product&)> reached;
};

bool PlacedOrPending(const Product& p, std::size_t index) {
  const std::string path = p.Path(p.files.at(index));
  return PrefixFileExists(path) || PrefixFileExists(path + ".ks-new");
}

std::function<bool(const Product&)> AtFile(std::size_t index) {
  return [index](const Product& p) { return PlacedOrPending(p, index); };
}

std::function<bool(const Product&)> AtRecord(const char* file) {
  return [file](const Product& p) {
    return PrefixFileExists(p.Data(file)) || PrefixFileExists(p.Data(file) + std::string(".ks-new"));
  };
}

constexpr int kFiles = 240;
constexpr int kBigEvery = 40;
constexpr std::size_t kBigBytes = 6 << 20;

class KilledInstallation : public WineTestWithParam<KillPoint> {};

TEST_P(KilledInstallation, SecondInstallationGivesTheExactProductAndUninstallsClean) {
  const Product p = MakeProduct(kFiles, kBigEvery, kBigBytes);
  ASSERT_FALSE(p.installer.empty());
  const std::string temp = TempFolder();
  ASSERT_FALSE(temp.empty());
  // Asked every 5 ms: the records are written in the last moments of the run.
  ASSERT_TRUE(RunAndKill(p.installer, {"/silent"}, [&] { return GetParam().reached(p); }, 5ms));

  const std::vector<std::string> pending = ExpectNoPartFiles(p);
  std::printf("killed at %s: %zu of %d files placed, pending: %s\n", GetParam().name,
              static_cast<std::size_t>(std::count_if(p.files.begin(), p.files.end(),
                                                     [&](const PayloadFile& f) { return PrefixFileExists(p.Path(f)); })),
              kFiles, pending.empty() ? "none" : pending.front().c_str());
  // The step log goes with the process; the space held for the records too.
  EXPECT_TRUE(LeftStepLogs(temp, p.dir).empty());
  for (const auto& [name, bytes] : TreeWithContents(p.dir + "\\Data")) {
    EXPECT_EQ(name.rfind("ksr", 0), std::string::npos) << name;
  }
  ExpectSecondRunsFinish(p, ReadPrefixFile(p.Data("Install.log")), ReadPrefixFile(p.Data("Uninstall.DAT")));
}

INSTANTIATE_TEST_SUITE_P(
    Points, KilledInstallation,
    ::testing::Values(KillPoint{"HoldingSpace", [](const Product& p) { return PrefixFileExists(p.dir + "\\Data"); }},
                      KillPoint{"FirstFile", AtFile(0)}, KillPoint{"File30", AtFile(30)},
                      KillPoint{"File60", AtFile(60)}, KillPoint{"File90", AtFile(90)},
                      KillPoint{"File120", AtFile(120)}, KillPoint{"File150", AtFile(150)},
                      KillPoint{"File180", AtFile(180)}, KillPoint{"File210", AtFile(210)},
                      KillPoint{"LastFile", AtFile(kFiles - 1)}, KillPoint{"Uninstaller", AtRecord("uninstall.exe")}),
    [](const ::testing::TestParamInfo<KillPoint>& p) { return std::string(p.param.name); });

// Killed while a big file with the rule "not over a newer file" is being
// written, the moment asked every millisecond: the destination must not hold
// a part of the file with today's date, which the next installation would
// skip as newer. A kill that comes only after the write (a busy machine) is
// tried again at the next big file.
class KilledDuringAWrite : public WineTest {};

TEST_F(KilledDuringAWrite, OfAFileThatIsNotPlacedOverANewerOne) {
  const Product p = MakeProduct(kFiles, kBigEvery, kBigBytes);
  ASSERT_FALSE(p.installer.empty());
  bool during_write = false;
  for (std::size_t big = kBigEvery - 1; big < p.files.size() && !during_write; big += kBigEvery) {
    const PayloadFile& f = p.files[big];
    ASSERT_EQ(f.flags, kNotOverNewer);
    ASSERT_TRUE(RunAndKill(p.installer, {"/silent"}, [&] { return PlacedOrPending(p, big); }, 1ms));
    const std::optional<std::string> placed = ReadPrefixFile(p.Path(f));
    during_write = !placed || *placed != f.data;
    std::printf("kill at %s: %s\n", f.name.c_str(), during_write ? "during the write" : "after the write");
    ExpectNoPartFiles(p);
  }
  EXPECT_TRUE(during_write) << "no kill came during a write";
  ExpectSecondRunsFinish(p, ReadPrefixFile(p.Data("Install.log")), ReadPrefixFile(p.Data("Uninstall.DAT")));
}

// The uninstaller killed while it removes the files, and while its closing
// batch runs (after the removal, before the registration goes): the data and
// the key stay, and the uninstaller run again finishes the work.
struct UninstallKillPoint {
  const char* name;
  std::function<bool(const Product&, const std::string& control)> reached;
};

class KilledUninstallation : public WineTestWithParam<UninstallKillPoint> {};

TEST_P(KilledUninstallation, RunningItAgainFinishes) {
  const std::string control = ScratchFolder();  // the closing batch's signals
  const std::string started = control + "\\batch-started";
  const std::string go = control + "\\batch-go";
  const Product p =
      MakeProduct(kFiles, 0, 0,
                  "echo started> \"" + started + "\"\r\n:wait\r\nif exist \"" + go +
                      "\" goto end\r\nchoice /T 1 /D Y >nul\r\ngoto wait\r\n:end\r\n");
  ASSERT_FALSE(p.installer.empty());
  const DriverRun installed = RunSilently(p.installer, {"/silent"});
  ASSERT_TRUE(installed.ok) << installed.error << installed.output;
  ASSERT_EQ(installed.exit_code, 0) << installed.output;
  const std::optional<std::string> data = ReadPrefixFile(p.Data("Uninstall.DAT"));
  ASSERT_TRUE(data);

  const bool killed = RunAndKill(p.Data("uninstall.exe"), {"/u:" + p.name, "/silent"},
                                 [&] { return GetParam().reached(p, control); });
  ASSERT_TRUE(WritePrefixFile(go, ""));  // a batch left waiting ends
  ASSERT_TRUE(killed);
  std::printf("killed at %s: %zu of %d files removed\n", GetParam().name,
              static_cast<std::size_t>(std::count_if(p.files.begin(), p.files.end(),
                                                     [&](const PayloadFile& f) { return !PrefixFileExists(p.Path(f)); })),
              kFiles);
  EXPECT_EQ(ReadPrefixFile(p.Data("Uninstall.DAT")), data);
  EXPECT_TRUE(RegQuery(kUninstallKey + p.name, "UninstallString", RegView::k32).has_value());

  const DriverRun again = RunSilently(p.Data("uninstall.exe"), {"/u:" + p.name, "/silent"});
  ASSERT_TRUE(again.ok) << again.error << again.output;
  EXPECT_EQ(again.exit_code, 0) << again.output;
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(p.dir); }, 60s)) << p.dir;
  EXPECT_TRUE(TreeWithContents(p.root).empty());
  EXPECT_FALSE(RegQuery(kUninstallKey + p.name, "UninstallString", RegView::k32).has_value());
}

std::function<bool(const Product&, const std::string&)> Removed(std::size_t index) {
  return [index](const Product& p, const std::string&) { return !PrefixFileExists(p.Path(p.files.at(index))); };
}

INSTANTIATE_TEST_SUITE_P(
    Points, KilledUninstallation,
    ::testing::Values(
        UninstallKillPoint{"LogRemoved",
                           [](const Product& p, const std::string&) { return !PrefixFileExists(p.Data("Install.log")); }},
        UninstallKillPoint{"FirstFileRemoved", Removed(0)}, UninstallKillPoint{"File80Removed", Removed(80)},
        UninstallKillPoint{"File160Removed", Removed(160)},
        UninstallKillPoint{"ClosingBatch",
                           [](const Product&, const std::string& control) {
                             return PrefixFileExists(control + "\\batch-started");
                           }}),
    [](const ::testing::TestParamInfo<UninstallKillPoint>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ks::e2e
