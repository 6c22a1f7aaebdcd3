#pragma once
// The Wine environment of the e2e tests: the prefix, display and engine build
// that tests/wine-env.sh set up for this ctest run, and the ways a test
// reaches into it (files, registry, programs).
//
// Windows paths are written "C:\..."; Linux paths are plain.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ks::e2e {

struct WineEnv {
  std::map<std::string, std::string> values;  // the env file, KEY=value
  std::string prefix;        // WINEPREFIX
  std::string wine;          // the loader to run programs with
  std::string arch;          // "i686" or "x86_64": the engine build under test
  bool runs_32bit = false;   // whether this host executes 32-bit x86 code
  std::string win_bin;       // Linux folder of the Windows build under test
  std::string tools_dir;     // C:\ folder with the build's programs in the prefix
  std::string wine_version;  // e.g. "8.0"

  std::string Value(const std::string& key) const;
};

// The environment of this run, or nullptr with `error` telling what is missing.
const WineEnv* LoadWineEnv(std::string* error);

// Base for tests that need Wine: fails the test (with how to run it) when the
// fixture of ctest did not run.
class WineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  const WineEnv& env() const { return *env_; }

 private:
  const WineEnv* env_ = nullptr;
};

template <typename Param>
class WineTestWithParam : public WineTest, public ::testing::WithParamInterface<Param> {};

// The Linux path of a C:\ path in the prefix ("C:\a\b" -> <prefix>/drive_c/a/b).
std::string LinuxPath(const std::string& windows_path);

// Copies a Linux file into the prefix folder `windows_dir` (created when
// missing) under `name` (default: the source's file name). Returns the file's
// C:\ path, or "" when the copy failed.
std::string CopyIntoPrefix(const std::string& linux_source, const std::string& windows_dir,
                           const std::string& name = "");

// Writes bytes to a C:\ path (folders created). False when it fails.
bool WritePrefixFile(const std::string& windows_path, const std::string& bytes);

// The bytes of a file of the prefix; nullopt when it cannot be read.
std::optional<std::string> ReadPrefixFile(const std::string& windows_path);

bool PrefixFileExists(const std::string& windows_path);

// Every file and folder below a C:\ folder, relative to it ("a/b.txt").
std::set<std::string> PrefixTree(const std::string& windows_dir);

// A new, empty folder for the running test, unique within the run
// (C:\ks\t\<suite>.<test>-<n>). Tests keep apart by these folders.
std::string ScratchFolder();

// A name unique within the run, built from the running test's name, for
// products, keys and other things that tests must keep apart.
std::string UniqueName(const std::string& stem);

// The engine of the build under test (Linux path).
std::string EngineLinuxPath();
// Copies the engine into `windows_dir` as `name`; returns its C:\ path.
std::string CopyEngine(const std::string& windows_dir, const std::string& name = "kestrelon.exe");
// The Linux path of a program of the build under test (e.g. "ksosinfo.exe").
std::string BuildProgramLinuxPath(const std::string& exe_name);

// ---- running Windows programs ------------------------------------------------

struct WineResult {
  bool started = false;    // the wine loader could be started
  bool timed_out = false;  // killed at the deadline
  int status = -1;         // the loader's exit status (the program's, modulo 256)
  std::string out;         // the standard output, as bytes
};

// Runs the wine loader with `args` (a C:\ program first) from inside drive_c,
// with this run's environment. Reads the output until the loader ends (not
// until the pipe closes: programs it started may keep it open). `extra_env`
// adds NAME=VALUE entries to the loader's environment; what it starts
// inherits them (Wine reads WINEDLLOVERRIDES there, not in the environment
// a Windows program passes on).
WineResult RunWine(const std::vector<std::string>& args, int timeout_seconds = 120,
                   const std::vector<std::string>& extra_env = {});

// The special folders as the shell reports them (SHGetFolderPathW through
// ksfolders.exe, copied into `scratch`): "<csidl>=<path>" lines, one per
// number asked for. A failed run fails the test.
std::string ShellFolderOutput(const std::string& scratch, const std::vector<std::string>& csidls);

// Simulates a restart of Windows: ends every program of the prefix and the
// wine server; the first program started afterwards carries out the pending
// file renames (PendingFileRenameOperations). Restores the persistent server
// and the desktop holder and returns once a program has started again.
bool SimulateRestart();

enum class RegView { k32, k64 };

// Where installers register their products for Programs and Features; the
// product's key name follows.
inline const std::string kUninstallKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The data of a registry value as `reg query` shows it (REG_SZ text, REG_DWORD
// as 0x..., ...); nullopt when the key or value is missing. An empty `name`
// asks for the key's default value (and RegAddString sets it).
std::optional<std::string> RegQuery(const std::string& key, const std::string& name, RegView view);
bool RegAddString(const std::string& key, const std::string& name, const std::string& data,
                  RegView view);
bool RegDeleteValue(const std::string& key, const std::string& name, RegView view);

}  // namespace ks::e2e
