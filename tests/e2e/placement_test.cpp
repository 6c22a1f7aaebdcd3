// File placement by a real installer under Wine: an installer made for the
// test with the builder (settings and a file-data block of several chunks)
// installs silently into a prepared folder; the files, Install.log's
// sentences, the failure summary and the pending renames are checked.

#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "engine/file_data_block.h"
#include "harness/driver.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

struct Item {
  FileRecord record;
  std::string data;
};

Item Rec(const char* name, std::int32_t kind, std::int32_t flags, std::string data, const char* title = "") {
  Item i;
  i.record.name = name;
  i.record.kind = kind;
  i.record.flags = flags;
  i.record.title = title;
  i.record.date.year = 2024, i.record.date.month = 3, i.record.date.day = 4;
  i.record.date.hour = 5, i.record.date.minute = 6, i.record.date.second = 8;
  i.data = std::move(data);
  return i;
}

std::string ReadLinuxFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr ProductFlags kCompressed = 0x20;
constexpr ProductFlags kAlwaysWriteLog = 0x40;
constexpr ProductFlags kDetailed = 0x100000;

std::string MakeInstaller(const std::string& install_dir, const std::vector<Item>& items, std::size_t chunk) {
  InstallSettings s;
  s.product_name = u"Placed";
  s.install_path = Utf8ToWide(install_dir);
  s.uninstall_subdir = u"Data";
  s.product_flags = kCompressed | kAlwaysWriteLog | kDetailed;
  SettingsWriter writer;
  if (!WriteInstallSettings(s, LocalizedTexts({u"English"}, {{u"title"}}), 0, writer)) return {};
  ArchiveSpec plan;
  plan.settings = writer.Take();
  std::vector<Bytes> encoded;
  for (const Item& i : items) {
    encoded.push_back(EncodeFileRecord(i.record, Bytes(i.data.begin(), i.data.end())));
    plan.per_file_values.push_back(static_cast<std::int32_t>(i.data.size()));
  }
  ChunkCoding coding;
  coding.compressed = true;
  if (!BuildFileDataBlock(encoded, chunk, coding, &plan.file_data)) return {};
  const std::string engine = ReadLinuxFile(EngineLinuxPath());
  Bytes out;
  std::string error;
  if (!BuildSetupExecutable(Bytes(engine.begin(), engine.end()), plan, &out, &error)) {
    ADD_FAILURE() << error;
    return {};
  }
  const std::string path = ScratchFolder() + "\\" + UniqueName("setup") + ".exe";
  if (!WritePrefixFile(path, std::string(out.begin(), out.end()))) return {};
  return path;
}

void SetLinuxTime(const std::string& windows_path, std::time_t when) {
  const utimbuf times{when, when};
  ASSERT_EQ(utime(LinuxPath(windows_path).c_str(), &times), 0);
}

class Placement : public WineTest {};

TEST_F(Placement, RulesKindsChunksAndLockedFilesInOneInstallation) {
  const std::string dir = ScratchFolder() + "\\App";
  const std::string big(3000, 'L');
  ASSERT_TRUE(WritePrefixFile(dir + "\\keep.txt", "existing"));
  ASSERT_TRUE(WritePrefixFile(dir + "\\newer.txt", "newer"));
  SetLinuxTime(dir + "\\newer.txt", 1893456000);  // 2030
  ASSERT_TRUE(WritePrefixFile(dir + "\\blocker", "a file where a folder should be"));
  ASSERT_TRUE(WritePrefixFile(dir + "\\busy.dll", "old"));
  const std::string shared = UniqueName("shared") + ".dll";
  const std::vector<Item> items = {
      Rec("bin\\deep\\app.exe", 0, 0, "app"),
      Rec("docs\\readme.txt", 0, 0, "read me"),
      Rec("keep.txt", 0, 12, "replaced?"),
      Rec("only.txt", 0, 8, "x"),
      Rec("newer.txt", 0, 16, "older data"),
      Rec("never.txt", 0, 4, "x"),
      Rec("lib.dll", 9, 0, big, "1.0"),  // spans chunks of 700 bytes
      Rec(shared.c_str(), 1, 0, "shared"),
      Rec("startup.exe", 5, 0, "s", "Start"),
      Rec("blocker\\inside.txt", 0, 0, "x"),
      Rec("busy.dll", 0, 0, "new busy"),
  };
  const std::string installer = MakeInstaller(dir, items, 700);
  ASSERT_FALSE(installer.empty());

  const std::string hold = CopyIntoPrefix(BuildProgramLinuxPath("kshold.exe"), ScratchFolder());
  std::thread holder([&] { RunWine({hold, dir + "\\busy.dll", "20"}, 60); });
  for (int i = 0; i < 300 && !PrefixFileExists(dir + "\\busy.dll.held"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(PrefixFileExists(dir + "\\busy.dll.held"));
  DriverOptions options;
  options.timeout_seconds = 90;
  const DriverRun run = RunProgram(installer, {"/silent"}, options);
  holder.join();
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0);

  EXPECT_EQ(ReadPrefixFile(dir + "\\bin\\deep\\app.exe"), "app");
  EXPECT_EQ(ReadPrefixFile(dir + "\\docs\\readme.txt"), "read me");
  EXPECT_EQ(ReadPrefixFile(dir + "\\keep.txt"), "existing");
  EXPECT_FALSE(PrefixFileExists(dir + "\\only.txt"));
  EXPECT_EQ(ReadPrefixFile(dir + "\\newer.txt"), "newer");
  EXPECT_FALSE(PrefixFileExists(dir + "\\never.txt"));
  EXPECT_EQ(ReadPrefixFile(dir + "\\lib.dll"), big);
  EXPECT_EQ(ReadPrefixFile(dir + "\\startup.exe"), "s");
  EXPECT_EQ(ReadPrefixFile(dir + "\\busy.dll"), "old");  // until the restart
  EXPECT_TRUE(PrefixFileExists(dir + "\\Data\\Uninstall.DAT"));

  const std::optional<std::string> log = ReadPrefixFile(dir + "\\Data\\Install.log");
  ASSERT_TRUE(log);
  const std::string at = " >>> " + dir + "\\";
  for (const std::string& line : {"keep.txt" + at + "keep.txt was not installed because it already exists.\r\n",
                                  "only.txt" + at + "only.txt was not installed because it does not already exist.\r\n",
                                  "newer.txt" + at + "newer.txt was not installed because the existing file is newer.\r\n",
                                  "app.exe" + at + "bin\\deep\\app.exe\r\n",
                                  "Cannot create folder because there is a file with the same name.\r\n\r\n"
                                  "Not installed: " + dir + "\\blocker\\inside.txt\r\n",
                                  "\"" + dir + "\\busy.dll\" was successfully registered for replacement.\r\n"
                                  "Temporary file is \"" + dir + "\\LKT"}) {
    EXPECT_NE(log->find(line), std::string::npos) << line << "\n---\n" << *log;
  }
  EXPECT_EQ(log->find("never.txt"), std::string::npos);
  const auto pending = RegQuery("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                                "PendingFileRenameOperations", RegView::k64);
  ASSERT_TRUE(pending);
  EXPECT_NE(pending->find("busy.dll"), std::string::npos) << *pending;
}

}  // namespace
}  // namespace ks::e2e
