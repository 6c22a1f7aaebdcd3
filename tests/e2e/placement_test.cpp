// File placement by a real installer under Wine: an installer made for the
// test with the builder (settings and a file-data block of several chunks)
// installs silently into a prepared folder; the files, Install.log's
// sentences, the failure summary and the pending renames are checked.

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <thread>

#include "core/archive_builder.h"
#include "core/install_settings.h"
#include "engine/file_data_block.h"
#include "harness/driver.h"
#include "harness/key_values.h"
#include "harness/wait.h"
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

constexpr ProductFlags kVerifyWrites = 0x40000;
constexpr ProductFlags kClearAttributesOnRetry = 0x80000;

// Every localized text N is "T<N>", so that the texts the engine places in
// its files can be told apart; the corrupt report (text 13) names its code.
LocalizedTexts NumberedTexts() {
  std::vector<std::vector<WString>> rows;
  for (int n = 0; n <= 120; ++n) rows.push_back({u"T" + Widen(std::to_string(n)) + (n == 13 ? u" code %d" : u"")});
  return LocalizedTexts({u"English"}, rows);
}

constexpr ProductFlags kRegisterUninstaller = 0x4;  // and write Uninstall.DAT

// Each installation registers its own product, so that none of them finds
// another's earlier installation.
struct Product {
  std::string name = UniqueName("Placed");
  ProductFlags flags = kCompressed | kAlwaysWriteLog | kDetailed | kRegisterUninstaller;
  WString version;
  std::vector<FileDeletion> deletions;
  std::function<void(Bytes& block)> change_block;  // applied to the built file-data block
};

std::string MakeInstaller(const std::string& install_dir, const std::vector<Item>& items, std::size_t chunk,
                          const Product& product = Product()) {
  InstallSettings s;
  s.product_name = Utf8ToWide(product.name);
  s.install_path = Utf8ToWide(install_dir);
  s.uninstall_subdir = u"Data";
  s.wizard_caption = u"Pages of <product>";
  s.product_flags = product.flags;
  s.display_version = product.version;
  s.deletions = product.deletions;
  SettingsWriter writer;
  if (!WriteInstallSettings(s, NumberedTexts(), 0, writer)) return {};
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
  if (product.change_block) product.change_block(plan.file_data);
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

// Compares line by line; a line given as "~regex:" followed by a pattern must
// match it instead.
void ExpectLines(const std::string& what, const std::string& text, const std::vector<std::string>& expected) {
  const std::vector<std::string> got = CrLfLines(text);
  for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
    const std::string g = i < got.size() ? got[i] : "<none>";
    const std::string e = i < expected.size() ? expected[i] : "<none>";
    if (e.rfind("~regex:", 0) == 0) {
      EXPECT_TRUE(std::regex_match(g, std::regex(e.substr(7)))) << what << " line " << i + 1 << ": " << g;
    } else {
      EXPECT_EQ(g, e) << what << " line " << i + 1;
    }
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

DriverRun InstallSilently(const std::string& installer) {
  DriverOptions options;
  options.timeout_seconds = 90;
  return RunProgram(installer, {"/silent"}, options);
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
  ASSERT_TRUE(WaitUntil([&] { return PrefixFileExists(dir + "\\busy.dll.held"); }, std::chrono::seconds(30)));
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


// One installation whose Install.log and Uninstall.DAT are known to the byte:
// a conditional deletion before the files, nested folders, a write that reads
// back wrong under the verify bit (the file the bytes are written to before
// they take the destination's place is the null device, which swallows what
// is written), and a pending deletion of a placed file that the placement
// step removes from the list.
TEST_F(Placement, InstallLogAndUninstallDataLineByLine) {
  const std::string dir = ScratchFolder() + "\\Lines";
  ASSERT_TRUE(WritePrefixFile(dir + "\\a.txt", "old"));
  ASSERT_TRUE(WritePrefixFile(dir + "\\old1.tmp", ""));
  ASSERT_TRUE(WritePrefixFile(dir + "\\old2.tmp", "not empty"));
  ASSERT_EQ(symlink("/dev/null", LinuxPath(dir + "\\verify.bin.ks-new").c_str()), 0);
  const std::string move = CopyIntoPrefix(BuildProgramLinuxPath("ksmove.exe"), ScratchFolder());
  const WineResult moved = RunWine({move, dir + "\\a.txt"}, 60);
  ASSERT_EQ(moved.status, 0) << moved.out;

  Product product;
  product.flags |= kVerifyWrites;
  product.version = u"1.2.3";
  FileDeletion old_temps;
  old_temps.path = "old*.tmp";
  old_temps.condition = 4;  // size equal
  old_temps.condition_value = "0";
  old_temps.flags = 4 | 8;
  FileDeletion uninstall_only{"logs\\*.log", 0, "", 8};
  product.deletions = {old_temps, uninstall_only};
  const std::string installer = MakeInstaller(
      dir, {Rec("a.txt", 0, 0, "a"), Rec("sub\\b.txt", 0, 0, "b"), Rec("verify.bin", 0, 0, "checked")}, 64,
      product);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = InstallSilently(installer);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_FALSE(PrefixFileExists(dir + "\\old1.tmp"));
  EXPECT_TRUE(PrefixFileExists(dir + "\\old2.tmp"));
  EXPECT_EQ(ReadPrefixFile(dir + "\\a.txt"), "a");

  const std::optional<std::string> log = ReadPrefixFile(dir + "\\Data\\Install.log");
  ASSERT_TRUE(log);
  ExpectLines("Install.log", *log,
              {"\xEF\xBB\xBFInstallation log for: " + product.name,
               "~regex:Install date: [0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}",
               "Install type: New",
               "Install location: " + dir,
               "Installer version: 46.0",
               "Product version: 1.2.3",
               "~regex:Operating system: .+",
               "",
               "Deleted file: " + dir + "\\old1.tmp",
               "",
               "a.txt >>> " + dir + "\\a.txt",
               "b.txt >>> " + dir + "\\sub\\b.txt",
               "",
               "File \"" + Lower(dir) + "\\a.txt\" was removed from the list of pending deletions.",
               "Uninstaller >>> " + dir + "\\Data\\uninstall.exe",  // the registration step's own line
               "",
               "*** FAILURE SUMMARY ***",
               "T31 " + dir + "\\verify.bin",
               ""});
  const auto pending = RegQuery("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                                "PendingFileRenameOperations", RegView::k64);
  if (pending) {
    EXPECT_EQ(Lower(*pending).find(Lower(dir) + "\\a.txt"), std::string::npos) << *pending;
  }

  const std::optional<std::string> data = ReadPrefixFile(dir + "\\Data\\Uninstall.DAT");
  ASSERT_TRUE(data);
  std::vector<std::string> expected = {dir + "\\a.txt", "~" + dir + "\\sub", dir + "\\sub\\b.txt",
                                       dir + "\\verify.bin", "", "", "[Strings]"};
  for (int n : {10, 15, 20, 30, 34, 35, 49, 53, 55, 56, 57, 58, 59, 65, 67, 68, 69, 70, 71, 74, 79, 80, 99, 100,
                101, 104, 107, 108, 109, 110, 111, 115}) {
    expected.push_back("~" + std::to_string(n));
    expected.push_back("T" + std::to_string(n));
  }
  // The pages' header title: the wizard caption with its placeholders filled.
  for (const std::string& line : {std::string("~999"), "Pages of " + product.name, std::string(), std::string(),
                                  std::string("[ConditionalDelete]"), std::string("old*.tmp,4,0,12"),
                                  std::string("logs\\*.log,0,,8"), std::string()})
    expected.push_back(line);
  ExpectLines("Uninstall.DAT", *data, expected);
}

// Wine run by root writes over read-only files unless the server lacks
// CAP_DAC_OVERRIDE; the probe tells which system the test has, and each
// branch asserts what the engine reports there.
TEST_F(Placement, ReadOnlyDestinationWithAndWithoutTheAttributeClearFlag) {
  const std::string probe = ScratchFolder() + "\\probe.txt";
  ASSERT_TRUE(WritePrefixFile(probe, "old"));
  ASSERT_EQ(chmod(LinuxPath(probe).c_str(), 0444), 0);
  RunWine({"cmd", "/c", "echo new> " + probe}, 60);
  const bool refuses = ReadPrefixFile(probe) == std::optional<std::string>("old");
  std::printf("read-only files are %s\n", refuses ? "refused here" : "written here (Wine run by root)");

  struct Case {
    const char* name;
    ProductFlags extra;
  };
  for (const Case& c : {Case{"NoClear", 0}, Case{"Clear", kClearAttributesOnRetry}}) {
    SCOPED_TRACE(c.name);
    const std::string dir = ScratchFolder() + "\\ReadOnly" + c.name;
    ASSERT_TRUE(WritePrefixFile(dir + "\\ro.txt", "old"));
    ASSERT_EQ(chmod(LinuxPath(dir + "\\ro.txt").c_str(), 0444), 0);  // Wine's read-only attribute
    Product product;
    product.flags |= c.extra;
    const std::string installer = MakeInstaller(dir, {Rec("ro.txt", 0, 0, "new")}, 4096, product);
    ASSERT_FALSE(installer.empty());
    const DriverRun run = InstallSilently(installer);
    ASSERT_TRUE(run.ok) << run.error << run.output;
    EXPECT_EQ(run.exit_code, 0);
    const std::optional<std::string> log = ReadPrefixFile(dir + "\\Data\\Install.log");
    ASSERT_TRUE(log);
    const bool placed = !refuses || c.extra != 0;
    EXPECT_EQ(ReadPrefixFile(dir + "\\ro.txt"), placed ? "new" : "old") << *log;
    EXPECT_EQ(log->find("*** FAILURE SUMMARY ***") == std::string::npos, placed) << *log;
    EXPECT_EQ(log->find("ro.txt >>> " + dir + "\\ro.txt\r\n") != std::string::npos, placed) << *log;
    if (!placed) {
      // The file existed, so its new contents wait for the restart.
      EXPECT_NE(log->find("\r\nT31 " + dir + "\\ro.txt\r\n"), std::string::npos) << *log;
      EXPECT_NE(log->find("\"" + dir + "\\ro.txt\" was successfully registered for replacement."),
                std::string::npos) << *log;
    }
  }
}

// Bytes that compress about 2:1, as programs do, the same for the same seed.
std::string Compressible(std::size_t n, std::uint32_t seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>((seed >> 16) & (i % 2 ? 0xFF : 0x0F));
  }
  return s;
}

// A file six times the chunk size is written piece by piece as its chunks are
// decoded: it arrives byte for byte, and the engine's process never holds
// memory of its size.
TEST_F(Placement, AFileLargerThanItsChunksInBoundedMemory) {
  const std::string dir = ScratchFolder() + "\\Big";
  constexpr std::size_t kFile = 24u << 20;
  const std::string big = Compressible(kFile, 7);
  const std::vector<Item> items = {Rec("small.txt", 0, 0, "before"), Rec("files\\big.bin", 0, 0, big),
                                   Rec("after.txt", 0, 0, "after")};
  const std::string installer = MakeInstaller(dir, items, 4u << 20);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = InstallSilently(installer);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadPrefixFile(dir + "\\small.txt"), "before");
  // Data is the uninstall folder: the file goes to a folder of another name,
  // as a case-insensitive system would put it into that one.
  EXPECT_TRUE(ReadPrefixFile(dir + "\\files\\big.bin") == big);
  EXPECT_EQ(ReadPrefixFile(dir + "\\after.txt"), "after");
  EXPECT_FALSE(PrefixFileExists(dir + "\\files\\big.bin.ks-new"));
  // Less than the file: what a buffer holding it would need alone.
  EXPECT_GT(run.peak_private_bytes, 0u) << run.output;
  EXPECT_LT(run.peak_private_bytes, kFile) << run.output;
}

// A damaged chunk behind the one being written is found early by the
// decoding, but it is reported only when the records reach it: a run that a
// record before it ends (malformed) ends as it always did.
TEST_F(Placement, ADamagedLaterChunkTellsOnlyWhenReached) {
  struct Case {
    const char* what;
    std::int32_t first_kind;  // of the record in the first chunk
    int code;
  };
  const Case cases[] = {
      {"the first record is fine", 0, 62},
      {"the first record has an invalid kind", 2, 110},
  };
  for (const Case& c : cases) {
    const std::string dir = ScratchFolder() + "\\" + UniqueName("Ahead");
    // Each record fills its own chunk of 4000 stream bytes.
    const std::vector<Item> items = {Rec("one.bin", c.first_kind, 0, Compressible(3900, 1)),
                                     Rec("two.bin", 0, 0, Compressible(3900, 2))};
    // Automatic (no pages) with errors shown, so that the report names its code.
    Product product;
    product.flags |= product_flag::kErrorsInAutomaticMode;
    // A stored byte of the second chunk changes; the block's own check value
    // is made for the changed block, so only the chunk's check finds it.
    product.change_block = [](Bytes& block) { block[8 + LoadLe32(block.data()) + 20] ^= 0x5A; };
    const std::string installer = MakeInstaller(dir, items, 4000, product);
    ASSERT_FALSE(installer.empty());
    DriverOptions options;
    options.timeout_seconds = 90;
    const DriverRun run = RunProgram(installer, {"/a"}, options);
    ASSERT_TRUE(run.ok) << run.error << run.output;
    EXPECT_EQ(run.exit_code, 2) << c.what;
    std::string reports;
    for (const ShownWindow& w : run.windows) reports += w.Text() + "\n";
    EXPECT_NE(reports.find("T13 code " + std::to_string(c.code) + "\n"), std::string::npos) << c.what << "\n"
                                                                                         << run.output;
    EXPECT_FALSE(PrefixFileExists(dir + "\\two.bin")) << c.what;
  }
}

}  // namespace
}  // namespace ks::e2e
