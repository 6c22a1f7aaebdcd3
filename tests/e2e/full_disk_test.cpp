// A full disk: the product installs onto a small file system (a tmpfs mounted
// for the test and given to Wine as a drive letter) that holds the user's
// files and an older copy of some of the product's files, and that has room
// for the space the engine holds back for its records but not for the whole
// payload. The files that do not fit are reported in the failure summary,
// every file that was there before is whole (old or new), the records are
// written, and the uninstallation leaves only the user's files.
//
// Mounting needs the right to (root with CAP_SYS_ADMIN, as on the
// development and CI machines); without it the test is skipped and says why.

#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/archive_header.h"
#include "core/install_settings.h"
#include "core/product_flags.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/payload.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr ProductFlags kRegisterUninstaller = FlagLow(0x4);
constexpr ProductFlags kAlwaysWriteLog = FlagLow(0x40);
constexpr ProductFlags kDetailedLog = FlagLow(0x100000);

// A tmpfs of a given size, reachable in the prefix as a free drive letter.
class SmallDrive {
 public:
  SmallDrive() = default;
  SmallDrive(const SmallDrive&) = delete;
  SmallDrive& operator=(const SmallDrive&) = delete;
  ~SmallDrive() {
    if (!link_.empty()) fs::remove(link_);
    if (mounted_) umount2(mount_point_.c_str(), MNT_DETACH);
    if (!mount_point_.empty()) rmdir(mount_point_.c_str());
  }

  // "" on success, else why the drive could not be made.
  std::string Make(std::size_t bytes) {
    char folder[] = "/tmp/ks-small-drive-XXXXXX";
    if (!mkdtemp(folder)) return std::string("mkdtemp: ") + std::strerror(errno);
    mount_point_ = folder;
    const std::string options = "size=" + std::to_string(bytes);
    if (mount("tmpfs", folder, "tmpfs", 0, options.c_str()) != 0)
      return std::string("mounting a tmpfs needs CAP_SYS_ADMIN: ") + std::strerror(errno);
    mounted_ = true;
    // The first letter no other drive of the prefix uses; symlink() fails on
    // one a parallel test took meanwhile.
    const std::string devices = env_prefix() + "/dosdevices/";
    for (char letter = 'k'; letter <= 'y'; ++letter) {
      const std::string link = devices + letter + ":";
      if (symlink(folder, link.c_str()) == 0) {
        link_ = link;
        drive_ = std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":";
        return {};
      }
    }
    return "no free drive letter in the prefix";
  }

  const std::string& drive() const { return drive_; }  // "K:"
  const std::string& mount_point() const { return mount_point_; }
  // The Linux path of a path on the drive ("K:\a\b").
  std::string Linux(const std::string& windows_path) const {
    std::string rest = windows_path.substr(3);
    for (char& c : rest) c = c == '\\' ? '/' : c;
    return mount_point_ + "/" + rest;
  }

 private:
  static std::string env_prefix() { return LoadWineEnv(nullptr)->prefix; }

  std::string mount_point_, link_, drive_;
  bool mounted_ = false;
};

bool WriteLinuxFile(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

std::optional<std::string> ReadLinuxFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
  std::fclose(f);
  return bytes;
}

class FullDisk : public WineTest {};

TEST_F(FullDisk, FailuresAreReportedOldFilesStayWholeAndTheUninstallationLeavesNoTrace) {
  const std::uintmax_t engine = fs::file_size(EngineLinuxPath());
  constexpr std::size_t kMiB = 1 << 20;
  const std::size_t volume = engine + 24 * kMiB;
  SmallDrive drive;
  const std::string why = drive.Make(volume);
  if (!why.empty()) GTEST_SKIP() << "no small drive for the test: " << why;

  // The product: small files and big ones, eight megabytes in all; two of
  // its files are there already from an older copy, one near the start of
  // the payload (it fits) and one at its end (it does not).
  std::vector<PayloadFile> files = SeededPayload(112, 40, 8, 1 * kMiB + 512 * 1024);
  files.front().name = "early.txt";
  files.back().name = "late.txt";
  const std::string dir = drive.drive() + "\\App";
  const std::map<std::string, std::string> old_files = {{"early.txt", "old early"}, {"late.txt", "old late"}};
  for (const auto& [name, bytes] : old_files) ASSERT_TRUE(WriteLinuxFile(drive.Linux(dir + "\\" + name), bytes));
  // The user's files fill the drive up to the room the engine holds back
  // for its records (the uninstaller is about the engine's size) and about
  // three megabytes more.
  const std::size_t user_bytes = volume - engine - 4 * kMiB;
  ASSERT_TRUE(WriteLinuxFile(drive.Linux(drive.drive() + "\\Users\\big.bin"), std::string(user_bytes, 'u')));
  ASSERT_TRUE(WriteLinuxFile(drive.Linux(drive.drive() + "\\Users\\note.txt"), "the user's note"));
  const std::map<std::string, std::string> user_tree = TreeWithContents(drive.mount_point() + "/Users");

  InstallerSpec plan;
  const std::string product = UniqueName("Full");
  plan.settings.product_name = Utf8ToWide(product);
  plan.settings.install_path = Utf8ToWide(dir);
  plan.settings.uninstall_subdir = u"Data";
  plan.settings.product_flags = kRegisterUninstaller | kAlwaysWriteLog | kDetailedLog;
  plan.archive.flags = kArchiveBuildEngineImage;  // the uninstaller is the engine alone
  ASSERT_TRUE(AddPayload(plan, files));
  const std::string installer = MakeInstaller(plan);
  ASSERT_FALSE(installer.empty());

  DriverOptions options;
  options.timeout_seconds = 120;
  const DriverRun run = RunProgram(installer, {"/silent"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;

  const std::optional<std::string> log = ReadLinuxFile(drive.Linux(dir + "\\Data\\Install.log"));
  ASSERT_TRUE(log) << "no Install.log";
  const std::size_t summary = log->find("*** FAILURE SUMMARY ***\r\n");
  ASSERT_NE(summary, std::string::npos) << *log;
  int placed = 0, reported = 0;
  for (const PayloadFile& f : files) {
    const std::string path = dir + "\\" + f.name;
    const std::optional<std::string> bytes = ReadLinuxFile(drive.Linux(path));
    const auto old = old_files.find(f.name);
    if (bytes == f.data) {
      ++placed;
      continue;
    }
    // Not placed: reported, and what was there before is there still.
    ++reported;
    EXPECT_NE(log->find(" " + path + "\r\n", summary), std::string::npos) << f.name << "\n" << log->substr(summary);
    if (old != old_files.end()) {
      EXPECT_EQ(bytes, old->second) << f.name;
    } else {
      EXPECT_FALSE(bytes) << f.name << " holds " << bytes->size() << " of " << f.data.size() << " bytes";
    }
  }
  std::printf("%d files placed, %d reported\n", placed, reported);
  EXPECT_GT(placed, 0);
  EXPECT_GT(reported, 0);
  EXPECT_EQ(ReadLinuxFile(drive.Linux(dir + "\\early.txt")), files.front().data);
  EXPECT_EQ(ReadLinuxFile(drive.Linux(dir + "\\late.txt")), std::optional<std::string>("old late"));
  for (const auto& [name, bytes] : TreeWithContents(drive.mount_point())) {
    EXPECT_EQ(name.find(".ks-new"), std::string::npos) << name;
  }
  EXPECT_EQ(TreeWithContents(drive.mount_point() + "/Users"), user_tree);

  // The records were written: the uninstallation removes every file the
  // product placed or would have replaced, and the old copy with them.
  const std::string uninstaller = dir + "\\Data\\uninstall.exe";
  const DriverRun removed = RunProgram(uninstaller, {"/u:" + product, "/silent"}, options);
  ASSERT_TRUE(removed.ok) << removed.error << removed.output;
  EXPECT_EQ(removed.exit_code, 0) << removed.output;
  EXPECT_TRUE(WaitUntil([&] { return !fs::exists(drive.Linux(dir)); }, 60s)) << dir;
  std::map<std::string, std::string> expected;
  for (const auto& [name, bytes] : user_tree) expected["Users/" + name] = bytes;
  expected["Users"] = "<folder>";
  EXPECT_EQ(TreeWithContents(drive.mount_point()), expected);
  EXPECT_FALSE(RegQuery(kUninstallKey + product, "UninstallString", RegView::k32).has_value());
}

}  // namespace
}  // namespace ks::e2e
