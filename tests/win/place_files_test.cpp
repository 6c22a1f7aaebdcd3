#include "engine/win/place_files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <optional>

#include "engine/path_variables.h"
#include "engine/win/reboot_replacement.h"
#include "records/install_log.h"
#include "lib/win/file.h"
#include "lib/win/wide.h"
#include "tests/win/scratch_folder.h"
#include "engine/pending_cleanup.h"
#include "records/uninstall_data.h"
#include "engine/win/pending_cleanup.h"

namespace ks {
namespace {

// Where the placement's failures go; each test starts it empty.
InstallLog g_log;

// A fresh folder in %TEMP% per test, removed with everything below it.
class Scratch : public test::ScratchFolder {
 public:
  Scratch() : ScratchFolder(u"ks_place_") {}
};

void Put(const WString& path, NStringView bytes) {
  File f;
  ASSERT_EQ(f.Open(path, kFileWrite), kFileSuccess);
  ASSERT_EQ(f.Write(bytes.data(), bytes.size()), kFileSuccess);
}

NString Get(const WString& path) {
  File f;
  Bytes b;
  if (f.Open(path, kFileRead) != kFileSuccess || f.Load(b) != kFileSuccess) return "<missing>";
  return NString(b.begin(), b.end());
}

RecordDate Date(int y, int mo, int d, int h, int mi, int s) {
  RecordDate r;
  r.year = y, r.month = mo, r.day = d, r.hour = h, r.minute = mi, r.second = s;
  return r;
}

RecordDate ModifiedUtc(const WString& path) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  GetFileAttributesExW(W(path), GetFileExInfoStandard, &info);
  SYSTEMTIME st{};
  FileTimeToSystemTime(&info.ftLastWriteTime, &st);
  return Date(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

PlaceFileRequest Request(const WString& path, const NString& data) {
  PlaceFileRequest r;
  r.destination = path;
  r.data = reinterpret_cast<const std::uint8_t*>(data.data());
  r.size = data.size();
  r.write_failed_label = u"Could not write:";
  r.log = &g_log;
  return r;
}

class PlaceFileTest : public ::testing::Test {
 protected:
  void SetUp() override { g_log.ReplaceFailures(WString()); }
  Scratch dir;
};

TEST_F(PlaceFileTest, WritesDataDateAndAttributesAndMakesMissingFolders) {
  const NString data = "hello";
  PlaceFileRequest r = Request(dir / u"a\\b\\c.txt", data);
  r.date = Date(2021, 7, 8, 9, 10, 12);
  r.attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY;  // the directory bit is not applied
  ProductFlags flags = placement_flag::kVerifyWrites;
  bool reboot = false;
  ASSERT_TRUE(PlaceFile(r, flags, &reboot));
  EXPECT_EQ(Get(r.destination), "hello");
  EXPECT_EQ(ModifiedUtc(r.destination), r.date);
  const DWORD a = GetFileAttributesW(W(r.destination));
  EXPECT_TRUE(a & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(a & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(reboot);
  EXPECT_EQ(g_log.failures(), u"");
}

// Wine run by root writes over read-only files (Unix permissions do not stop
// root), so the refusal is probed before it is relied on.
bool SystemRefusesReadOnly(const WString& probe) {
  Put(probe, "x");
  SetFileAttributesW(W(probe), FILE_ATTRIBUTE_READONLY);
  File f;
  const bool refused = f.Open(probe, kFileWrite) != kFileSuccess;
  f.Close();
  SetFileAttributesW(W(probe), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(W(probe));
  return refused;
}

TEST_F(PlaceFileTest, ReadOnlyDestinationNeedsTheClearFlag) {
  if (!SystemRefusesReadOnly(dir / u"probe.txt")) GTEST_SKIP() << "read-only files are writable here";
  struct Case {
    ProductFlags flags;
    bool placed;
  };
  const Case cases[] = {{0, false}, {placement_flag::kClearAttributesOnRetry, true}};
  for (const Case& c : cases) {
    g_log.ReplaceFailures(WString());
    const WString path = dir / u"ro.txt";
    SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
    Put(path, "old");
    SetFileAttributesW(W(path), FILE_ATTRIBUTE_READONLY);
    ProductFlags flags = c.flags;
    bool reboot = false;
    EXPECT_EQ(PlaceFile(Request(path, "new"), flags, &reboot), c.placed);
    EXPECT_EQ(Get(path), c.placed ? "new" : "old");
    EXPECT_FALSE(reboot);
  }
}

TEST_F(PlaceFileTest, UnwritableNewDestinationReportsOnlyTheWriteFailure) {
  // A folder in the destination's place cannot be opened as a file anywhere.
  const WString path = dir / u"folder.txt";
  CreateDirectoryW(W(path), nullptr);
  ProductFlags flags = 0;
  bool reboot = false;
  EXPECT_FALSE(PlaceFile(Request(path, "new"), flags, &reboot));
  EXPECT_FALSE(reboot);
  const WString& summary = g_log.failures();
  EXPECT_EQ(summary.rfind(u"\r\nCould not write: " + path + u"\r\n", 0), 0u) << WideToUtf8(summary);
  EXPECT_EQ(summary.find(u"replacement"), WString::npos) << WideToUtf8(summary);
  EXPECT_GT(summary.size(), (u"\r\nCould not write: " + path + u"\r\n").size());  // the system's message follows
}

// Holds a file open without sharing, as a running program holds its module.
class Locked {
 public:
  explicit Locked(const WString& path)
      : h_(CreateFileW(W(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Locked() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// The REG_MULTI_SZ list, its NULs kept as they are.
WString PendingRenames() {
  DWORD bytes = 0;
  const wchar_t* key = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  const wchar_t* value = L"PendingFileRenameOperations";
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
    return WString();
  WString out(bytes / 2, u'\0');
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_MULTI_SZ, nullptr, W(out), &bytes) != ERROR_SUCCESS)
    return WString();
  return out;
}

TEST_F(PlaceFileTest, LockedExistingFileIsRegisteredForReplacement) {
  const WString path = dir / u"busy.dll";
  Put(path, "old");
  Locked lock(path);
  ASSERT_TRUE(lock.ok());
  PlaceFileRequest r = Request(path, "new contents");
  r.existed = true;
  ProductFlags flags = 0;
  bool reboot = false;
  EXPECT_FALSE(PlaceFile(r, flags, &reboot));
  EXPECT_TRUE(reboot);
  EXPECT_TRUE(HasFlag(flags, product_flag::kRebootRequired));
  const WString& summary = g_log.failures();
  const std::size_t at = summary.find(u"\"" + path + u"\" was successfully registered for replacement.\r\n"
                                      u"Temporary file is \"");
  ASSERT_NE(at, WString::npos) << WideToUtf8(summary);
  const std::size_t temp_start = summary.find(u"Temporary file is \"", at) + 19;
  const WString temp = summary.substr(temp_start, summary.find(u'"', temp_start) - temp_start);
  EXPECT_EQ(FileNameOf(temp).rfind(u"LKT", 0), 0u) << WideToUtf8(temp);
  EXPECT_EQ(FolderOfFile(temp), dir.path());
  EXPECT_EQ(Get(temp), "new contents");
  EXPECT_NE(summary.find(u"\r\nReboot will be required.\r\n\r\n"), WString::npos);
  // The system keeps the move in the Session Manager's list.
  const NString pending = WideToUtf8(PendingRenames());
  EXPECT_NE(pending.find(WideToUtf8(FileNameOf(temp))), NString::npos) << pending;
}

TEST_F(PlaceFileTest, LockedNewFileIsNotReplacedWithoutTheFlag) {
  const WString path = dir / u"busy.dll";
  Put(path, "old");
  Locked lock(path);
  ProductFlags flags = 0;
  bool reboot = false;
  EXPECT_FALSE(PlaceFile(Request(path, "new"), flags, &reboot));
  EXPECT_FALSE(reboot);
  EXPECT_EQ(g_log.failures().find(u"replacement"), WString::npos) << WideToUtf8(g_log.failures());
}

TEST(RebootReplacement, WininitLinesGoDirectlyUnderRename) {
  Scratch windows;
  Put(windows / u"wininit.ini", "[boot]\r\nx=1\r\n");
  ASSERT_TRUE(AddWininitRenameLine(windows.path(), "C:\\A.EXE", "C:\\LKT1.TMP"));
  ASSERT_TRUE(AddWininitRenameLine(windows.path(), "NUL", "C:\\OLD.TXT"));
  EXPECT_EQ(Get(windows / u"wininit.ini"), "[boot]\r\nx=1\r\n[rename]\r\nNUL=C:\\OLD.TXT\r\nC:\\A.EXE=C:\\LKT1.TMP");
  Scratch fresh;
  ASSERT_TRUE(AddWininitRenameLine(fresh.path(), "C:\\B.EXE", "C:\\LKT2.TMP"));
  EXPECT_EQ(Get(fresh / u"wininit.ini"), "[rename]\r\nC:\\B.EXE=C:\\LKT2.TMP");
}

TEST(RebootReplacement, ScheduleChecksItsArgumentsAndLeavesBusy) {
  Scratch dir;
  SetLastError(0);
  EXPECT_FALSE(ScheduleReplacement(u"  ", dir / u"x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(ScheduleReplacement(dir / u"a.txt", dir / u"missing.tmp"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  Put(dir / u"same.txt", "x");
  EXPECT_TRUE(ScheduleReplacement(dir / u"same.txt", dir / u"same.txt"));
  const WString temp = MakeTempName(dir.path(), u"");
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(FileNameOf(temp).rfind(u"LKT", 0), 0u);
  EXPECT_TRUE(ScheduleReplacement(dir / u"target.txt", temp));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
}

TEST(RebootReplacement, DeletionIsListedWithoutATarget) {
  Scratch dir;
  const WString path = dir / u"stale.txt";
  Put(path, "x");
  ASSERT_TRUE(ScheduleDeletion(path));
  const WString pending = PendingRenames();
  const std::size_t at = pending.find(FileNameOf(path));
  ASSERT_NE(at, WString::npos) << WideToUtf8(pending);
  // The entry's target, after the source's terminating NUL, is empty.
  const std::size_t end = pending.find(u'\0', at);
  ASSERT_LT(end + 1, pending.size());
  EXPECT_EQ(pending[end + 1], u'\0');
}

TEST(CreateFolderTree, NamesTheFileThatBlocksIt) {
  Scratch dir;
  Put(dir / u"plain", "x");
  WString blocking;
  EXPECT_NE(CreateFolderTree(dir / u"plain\\sub\\deeper", &blocking), 0u);
  EXPECT_EQ(blocking, dir / u"plain");
  EXPECT_EQ(CreateFolderTree(dir / u"a\\b\\c"), 0u);
  EXPECT_EQ(GetFileAttributesW(W(dir / u"a\\b\\c")) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

// ---- the whole step over a block made by the builder ----

struct Item {
  FileRecord record;
  NString data;
};

FilePlacementInput InputFor(const std::vector<Item>& items, const Scratch& dir, Bytes& block, std::size_t chunk) {
  std::vector<Bytes> encoded;
  FilePlacementInput in;
  for (const Item& i : items) {
    encoded.push_back(EncodeFileRecord(i.record, Bytes(i.data.begin(), i.data.end())));
    in.sizes.push_back(static_cast<std::int32_t>(i.data.size()));
  }
  in.coding.compressed = true;
  EXPECT_TRUE(BuildFileDataBlock(encoded, chunk, in.coding, &block));
  in.block = block.data();
  in.block_size = block.size();
  in.folders.install = dir / u"App";
  in.folders.shared = dir / u"Shared";
  in.folders.fonts = dir / u"Fonts";
  in.folders.system = dir / u"System";
  in.folders.uninstall_data = dir / u"App\\Data";
  in.folder_failed_label = u"Cannot create:";
  in.write_failed_label = u"Could not write:";
  in.log = &g_log;
  return in;
}

Item Rec(const char* name, std::int32_t kind, std::int32_t flags, const char* data, const char* title = "") {
  Item i;
  i.record.name = name;
  i.record.kind = kind;
  i.record.flags = flags;
  i.record.title = title;
  i.record.date = Date(2022, 1, 2, 3, 4, 6);
  i.data = data;
  return i;
}

TEST(PlaceAllFiles, NestedFoldersRulesAndHandOver) {
  Scratch dir;
  CreateDirectoryW(W(dir / u"App"), nullptr);
  Put(dir / u"App\\keep.txt", "existing");
  Put(dir / u"App\\blocker", "a file where a folder should be");
  std::vector<Item> items = {
      Rec("bin\\deep\\app.exe", 0, kRecordDesktopShortcut, "app", "App"),
      Rec("keep.txt", 0, 12, "replaced?"),              // only when missing: exists
      Rec("only-if-there.txt", 0, 8, "x"),              // only when present: missing
      Rec("never.txt", 0, 4, "x"),
      Rec("blocker\\inside.txt", 0, 0, "x"),            // folder exists as a file
      Rec("lib.dll", 9, 0, NString(5000, 'L').c_str(), "1.0"),  // spans chunks
      Rec("shared.dll", 1, 0, "s"),
      Rec("startup.exe", 5, 0, "s", "Start"),
  };
  Bytes block;
  const FilePlacementInput in = InputFor(items, dir, block, 1024);
  UninstallData uninstall;
  FilePlacementInput with_data = in;
  with_data.uninstall = &uninstall;
  g_log.ReplaceFailures(WString());
  ProductFlags flags = 0;
  FilePlacementOutputs out;
  ASSERT_EQ(PlaceAllFiles(with_data, flags, out), 0);

  EXPECT_EQ(Get(dir / u"App\\bin\\deep\\app.exe"), "app");
  EXPECT_EQ(Get(dir / u"App\\keep.txt"), "existing");
  EXPECT_EQ(Get(dir / u"App\\only-if-there.txt"), "<missing>");
  EXPECT_EQ(Get(dir / u"App\\never.txt"), "<missing>");
  EXPECT_EQ(Get(dir / u"App\\lib.dll"), NString(5000, 'L'));
  EXPECT_EQ(Get(dir / u"Shared\\shared.dll"), "s");
  EXPECT_EQ(g_log.failures(), u"Cannot create: " + (dir / u"App\\blocker") +
                                  u"\r\nCannot create folder because there is a file with the same name.\r\n\r\n"
                                  u"Not installed: " + (dir / u"App\\blocker\\inside.txt") + u"\r\n\r\n");
  ASSERT_EQ(out.shortcuts.size(), 2u);
  EXPECT_EQ(out.shortcuts[0].target, dir / u"App\\bin\\deep\\app.exe");
  EXPECT_EQ(out.shortcuts[0].on_desktop, 1);
  EXPECT_EQ(out.shortcuts[1].in_startup, 1);
  ASSERT_EQ(out.shared_files.size(), 1u);
  EXPECT_EQ(out.shared_files[0], WideToUtf8(dir / u"Shared\\shared.dll"));
  EXPECT_EQ(out.placed.size(), 4u);
  // Recorded for removal: the existing keep.txt (rule 12), the app's folders
  // and files; never the shared file outside a portable installation.
  const NString& items_text = uninstall.items();
  EXPECT_NE(items_text.find(WideToUtf8(dir / u"App\\keep.txt")), NString::npos) << items_text;
  EXPECT_NE(items_text.find("~" + WideToUtf8(dir / u"App\\bin\\deep")), NString::npos) << items_text;
  EXPECT_EQ(items_text.find("shared.dll"), NString::npos) << items_text;
}

TEST(PlaceAllFiles, CorruptRecordsStopTheStep) {
  Scratch dir;
  std::vector<Item> items = {Rec("a.txt", 0, 0, "a"), Rec("bad.txt", 3, 0, "b")};
  Bytes block;
  const FilePlacementInput in = InputFor(items, dir, block, 4096);
  ProductFlags flags = 0;
  FilePlacementOutputs out;
  EXPECT_EQ(PlaceAllFiles(in, flags, out), kCorruptRecordKind);
  EXPECT_EQ(Get(dir / u"App\\a.txt"), "a");  // files already placed stay
}

// The installation's conditional deletions run before the files (an empty
// file of this installation survives "delete empty *.tmp"), and afterwards a
// pending deletion of a placed file is dropped while the replacement that
// this step registered for a locked file stays.
TEST(PlaceAllFiles, DeletionsBeforePlacingAndPendingCleanupAfter) {
  Scratch dir;
  CreateDirectoryW(W(dir / u"App"), nullptr);
  Put(dir / u"App\\old.tmp", "");
  Put(dir / u"App\\a.txt", "prior");
  Put(dir / u"App\\busy.dll", "old");
  ASSERT_TRUE(ScheduleDeletion(dir / u"App\\a.txt"));
  Bytes block;
  FilePlacementInput in = InputFor({Rec("a.txt", 0, 0, "a"), Rec("fresh.tmp", 0, 0, ""), Rec("busy.dll", 0, 0, "new")},
                                   dir, block, 4096);
  in.deletions = {{"*.tmp", 4, "0", 4 | 8}, {"*.log", 0, "", 4}};
  UninstallData uninstall;
  in.uninstall = &uninstall;
  g_log.ReplaceFailures(WString());
  ProductFlags flags = 0;
  FilePlacementOutputs out;
  {
    Locked lock(dir / u"App\\busy.dll");
    ASSERT_TRUE(lock.ok());
    ASSERT_EQ(PlaceAllFiles(in, flags, out), 0);
  }
  EXPECT_EQ(Get(dir / u"App\\old.tmp"), "<missing>");
  EXPECT_EQ(Get(dir / u"App\\fresh.tmp"), "");
  EXPECT_EQ(Get(dir / u"App\\a.txt"), "a");
  EXPECT_TRUE(HasFlag(flags, product_flag::kRebootRequired));
  // Only the record of the uninstallation pass goes to Uninstall.DAT.
  ASSERT_EQ(uninstall.deletions().size(), 1u);
  EXPECT_EQ(uninstall.deletions()[0].path, "*.tmp");
  NString pending = WideToUtf8(PendingRenames());
  for (char& c : pending) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  NString app = WideToUtf8(dir / u"App\\");
  for (char& c : app) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  EXPECT_EQ(pending.find(app + "a.txt"), NString::npos) << pending;
  EXPECT_NE(pending.find(app + "busy.dll"), NString::npos) << pending;
  CleanPendingOperations({PendingPathKey(WStringView(dir / u"App\\busy.dll"))}, nullptr);
}

TEST(PlaceAllFiles, ImpossibleDeletionDateIsCorruptBeforeAnythingHappens) {
  Scratch dir;
  CreateDirectoryW(W(dir / u"App"), nullptr);
  Put(dir / u"App\\old.tmp", "");
  Bytes block;
  FilePlacementInput in = InputFor({Rec("a.txt", 0, 0, "a")}, dir, block, 4096);
  in.deletions = {{"*.tmp", 0, "", 4}, {"*.txt", 2, "2023/02/29", 8}};
  ProductFlags flags = 0;
  FilePlacementOutputs out;
  EXPECT_EQ(PlaceAllFiles(in, flags, out), 65);
  EXPECT_EQ(Get(dir / u"App\\old.tmp"), "");
  EXPECT_EQ(Get(dir / u"App\\a.txt"), "<missing>");
}

// Data handed out a few bytes at a time, readable once, ending with `end_code`
// (a damaged check value gives 100 after the last piece).
class Pieces : public RecordDataSource {
 public:
  Pieces(NString data, int end_code) : data_(std::move(data)), end_code_(end_code) {}
  int Read(const std::uint8_t** piece, std::size_t* n) override {
    *n = std::min<std::size_t>(3, data_.size() - at_);
    *piece = reinterpret_cast<const std::uint8_t*>(data_.data()) + at_;
    at_ += *n;
    return *n == 0 ? end_code_ : 0;
  }
  bool all_read() const { return at_ == data_.size(); }

 private:
  NString data_;
  int end_code_;
  std::size_t at_ = 0;
};

// Streamed data is written once to the file beside the destination; what
// fails after that retries only the move, and a locked file is replaced at
// restart from that very file. Damaged data leaves nothing and no failure text.
TEST_F(PlaceFileTest, StreamedDataIsWrittenOnceAndPlacedOnlyWhole) {
  struct Case {
    const char* what;
    int end_code;
    bool locked;
    bool placed;
    bool reboot;
    const char* summary_part;  // "" when nothing is reported
  };
  const Case cases[] = {
      {"whole", 0, false, true, false, ""},
      {"damaged", 100, false, false, false, ""},
      {"locked", 0, true, false, true, "was successfully registered for replacement."},
  };
  for (const Case& c : cases) {
    g_log.ReplaceFailures(WString());
    const WString path = dir.path() + u"\\" + Widen(c.what) + u".bin";
    Put(path, "old");
    std::optional<Locked> lock;
    if (c.locked) lock.emplace(path);
    const NString data = "streamed contents, piece by piece";
    Pieces source(data, c.end_code);
    PlaceFileRequest r = Request(path, NString());
    r.data = nullptr;
    r.size = data.size();
    r.source = &source;
    r.existed = true;
    r.date = Date(2022, 1, 2, 3, 4, 6);
    ProductFlags flags = placement_flag::kVerifyWrites;
    bool reboot = false;
    EXPECT_EQ(PlaceFile(r, flags, &reboot), c.placed) << c.what;
    EXPECT_TRUE(source.all_read()) << c.what;
    EXPECT_EQ(reboot, c.reboot) << c.what;
    lock.reset();
    EXPECT_EQ(Get(path), c.placed ? data : "old") << c.what;
    if (c.placed) {
      EXPECT_EQ(ModifiedUtc(path), r.date) << c.what;
    }
    EXPECT_EQ(GetFileAttributesW(W(PendingWritePath(path))), INVALID_FILE_ATTRIBUTES) << c.what;
    const WString& summary = g_log.failures();
    if (*c.summary_part == '\0') {
      EXPECT_EQ(summary, u"") << c.what;
    } else {
      EXPECT_NE(summary.find(Widen(c.summary_part)), WString::npos) << c.what << WideToUtf8(summary);
    }
    if (c.reboot) {
      const std::size_t start = summary.find(u"Temporary file is \"") + 19;
      EXPECT_EQ(Get(summary.substr(start, summary.find(u'"', start) - start)), data) << c.what;
    }
  }
}

}  // namespace
}  // namespace ks
