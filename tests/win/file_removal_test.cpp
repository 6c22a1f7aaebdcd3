// File removal, conditional deletions and the pending-list cleanup on a
// scratch folder (and the prefix's own pending list) under Wine.

#include "engine/win/file_removal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "records/install_log.h"
#include "lib/marked_text.h"
#include "lib/win/file.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"
#include "tests/win/scratch_folder.h"
#include "engine/pending_cleanup.h"
#include "engine/win/pending_cleanup.h"

namespace ks {
namespace {

class Scratch : public test::ScratchFolder {
 public:
  Scratch() : ScratchFolder(u"ks_remove_") {}
};

void Put(const WString& path, NStringView bytes) {
  File f;
  ASSERT_EQ(f.Open(path, kFileWrite), kFileSuccess);
  ASSERT_EQ(f.Write(bytes.data(), bytes.size()), kFileSuccess);
}

bool Exists(const WString& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

// Holds a file open without sharing, as a running program does.
class Locked {
 public:
  explicit Locked(const WString& path)
      : handle_(CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  bool ok() const { return handle_.get() != INVALID_HANDLE_VALUE && handle_.get() != nullptr; }

 private:
  OwnedHandle handle_;
};

const wchar_t* kSessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t* kPendingValue = L"PendingFileRenameOperations";

std::vector<WString> PendingList() {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                   &bytes) != ERROR_SUCCESS)
    return {};
  WString data(bytes / 2, u'\0');
  RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr, W(data), &bytes);
  data.resize(bytes / 2);
  if (data.size() >= 2 && data.back() == u'\0' && data[data.size() - 2] == u'\0') data.pop_back();
  std::vector<WString> out;
  std::size_t start = 0;
  while (start < data.size()) {
    const std::size_t end = data.find(u'\0', start);
    out.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

void SetPendingList(const std::vector<WString>& list) {
  WString data;
  for (const WString& s : list) data += s + WString(1, u'\0');
  data.push_back(u'\0');
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size() * 2));
  RegCloseKey(key);
}

bool PendingHolds(const WString& path) {
  const WString key = CleanPendingEntry(path);
  for (const WString& entry : PendingList())
    if (CleanPendingEntry(entry) == key) return true;
  return false;
}

class LogCapture : public StepLogSink {
 public:
  LogCapture() { log.set_sink(this); }
  void Append(NStringView utf8) override { text.append(utf8); }
  NString text;
  InstallLog log;
};

// One pass of the conditional deletions over `dir`, logging into `log`.
ConditionalDeletionPass Pass(int pass, const WString& dir, LogCapture& log) {
  ConditionalDeletionPass p;
  p.pass = pass;
  p.install_dir = dir;
  p.log = &log.log;
  return p;
}

TEST(DeleteFileWithOptions, PlainReadOnlyMissingAndEmpty) {
  Scratch dir;
  const WString ro = dir / u"ro.txt";
  Put(ro, "x");
  SetFileAttributesW(W(ro), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFileWithOptions(ro, 0));
  EXPECT_FALSE(Exists(ro));

  const WString missing = dir / u"missing.txt";
  EXPECT_FALSE(DeleteFileWithOptions(missing, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileWithOptions(dir / u"no\\such.txt", 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(DeleteFileWithOptions(missing, kDeleteMissingIsDeleted));
  EXPECT_TRUE(DeleteFileWithOptions(dir / u"no\\such.txt", kDeleteMissingIsDeleted));
  // Missing files are never put on the restart list.
  EXPECT_FALSE(DeleteFileWithOptions(missing, kDeleteAtRestartOnFailure));

  EXPECT_FALSE(DeleteFileWithOptions(WString(), kDeleteMissingIsDeleted));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(DeleteFileWithOptions, KeepAttributesLeavesAReadOnlyFileAlone) {
  Scratch dir;
  const WString ro = dir / u"ro.txt";
  Put(ro, "x");
  SetFileAttributesW(W(ro), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteFileWithOptions(ro, kDeleteKeepAttributes));
  EXPECT_TRUE(Exists(ro));
  EXPECT_EQ(GetFileAttributesW(W(ro)) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

TEST(DeleteFileWithOptions, RestartRegistrationsSayThatARestartIsNeeded) {
  Scratch dir;
  const WString later = dir / u"later.txt";
  const WString busy = dir / u"busy.txt";
  Put(later, "x");
  Put(busy, "x");
  bool restart = false;
  EXPECT_TRUE(DeleteFileWithOptions(later, kDeleteAtRestart, &restart));
  EXPECT_TRUE(Exists(later));
  EXPECT_TRUE(PendingHolds(later));
  EXPECT_TRUE(restart);
  {
    Locked lock(busy);
    ASSERT_TRUE(lock.ok());
    restart = false;
    EXPECT_FALSE(DeleteFileWithOptions(busy, 0, &restart));
    EXPECT_FALSE(restart);
    EXPECT_TRUE(DeleteFileWithOptions(busy, kDeleteAtRestartOnFailure, &restart));
    EXPECT_TRUE(restart);
  }
  EXPECT_TRUE(PendingHolds(busy));
  // Leave the prefix's list as it was.
  CleanPendingOperations({PendingPathKey(WStringView(later)), PendingPathKey(WStringView(busy))}, nullptr);
  EXPECT_FALSE(PendingHolds(later));
}

TEST(DeleteFileWithOptions, RecycleBinAndMarkedPaths) {
  Scratch dir;
  const WString binned = dir / u"binned.txt";
  Put(binned, "x");
  EXPECT_TRUE(DeleteFileWithOptions(binned, kDeleteToRecycleBin));
  EXPECT_FALSE(Exists(binned));
  const WString accented = dir / u"caf\u00e9.txt";
  Put(accented, "x");
  const NString marked = EncodeMarkedText(accented);
  ASSERT_EQ(marked[0], '|');
  EXPECT_TRUE(DeleteMarkedFile(marked, 0));
  EXPECT_FALSE(Exists(accented));
}

TEST(RemoveFolder, ShellFilesDriveRootsAndMissingFolders) {
  Scratch dir;
  const WString shown = dir / u"shown";
  ASSERT_TRUE(CreateDirectoryW(W(shown), nullptr));
  Put(shown + u"\\thumbs.db", "t");
  Put(shown + u"\\desktop.ini", "[.ShellClassInfo]");
  SetFileAttributesW(W(shown + u"\\desktop.ini"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(RemoveFolder(shown + u"\\"));
  EXPECT_FALSE(Exists(shown));

  const WString full = dir / u"full";
  ASSERT_TRUE(CreateDirectoryW(W(full), nullptr));
  Put(full + u"\\data.txt", "d");
  EXPECT_FALSE(RemoveFolder(full));
  EXPECT_TRUE(Exists(full + u"\\data.txt"));

  EXPECT_FALSE(RemoveFolder(dir / u"gone"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  for (const char16_t* root : {u"C:\\", u"C:", u"C:\\\\"}) {
    EXPECT_FALSE(RemoveFolder(root));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_PATHNAME));
  }
  EXPECT_TRUE(Exists(u"C:\\windows"));
  const WString accented = dir / u"d\u00e9j\u00e0";
  ASSERT_TRUE(CreateDirectoryW(W(accented), nullptr));
  EXPECT_TRUE(RemoveMarkedFolder(EncodeMarkedText(accented)));
}

TEST(DeleteFolderTree, EverythingBelowAndTheFolder) {
  Scratch dir;
  const WString top = dir / u"top";
  ASSERT_TRUE(CreateDirectoryW(W(top), nullptr));
  ASSERT_TRUE(CreateDirectoryW(W(top + u"\\a"), nullptr));
  ASSERT_TRUE(CreateDirectoryW(W(top + u"\\a\\b"), nullptr));
  Put(top + u"\\one.txt", "1");
  Put(top + u"\\a\\b\\deep.txt", "2");
  SetFileAttributesW(W(top + u"\\a\\b\\deep.txt"), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFolderTree(top));
  EXPECT_FALSE(Exists(top));
  EXPECT_TRUE(Exists(dir.path()));
  EXPECT_FALSE(DeleteFolderTree(u"C:\\"));
}

ConditionalDeletion Deletion(const WString& path, std::uint8_t condition, const char* value, std::uint8_t flags) {
  return {EncodeMarkedText(path), condition, value, flags};
}

TEST(RunConditionalDeletions, InstallationPassConditionsAndLogLines) {
  Scratch dir;
  Put(dir / u"empty.tmp", "");
  Put(dir / u"full.tmp", "data");
  Put(dir / u"ro.log", "r");
  SetFileAttributesW(W(dir / u"ro.log"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  Put(dir / u"later.bin", "l");
  Put(dir / u"busy.dat", "b");
  Put(dir / u"busy2.dat", "b");
  Put(dir / u"other.txt", "o");
  std::vector<ConditionalDeletion> records = {
      Deletion(u"*.tmp", 4, "0", 4),                        // only the empty one
      Deletion(u"ro.log", 0, "", 4 | 8),                    // attributes cleared first
      Deletion(u"later.bin", 2, "2000/01/01", 1 | 4),       // only at restart
      Deletion(u"busy.dat", 0, "", 4),                      // locked, no restart allowed
      Deletion(u"busy2.dat", 0, "", 2 | 4),                 // locked, restart allowed
      Deletion(u"other.txt", 0, "", 8),                     // not this pass
      Deletion(u"nothing*.none", 0, "", 4),
  };
  LogCapture log;
  ConditionalDeletionPass pass = Pass(kInstallationPass, dir.path(), log);
  {
    Locked lock1(dir / u"busy.dat");
    Locked lock2(dir / u"busy2.dat");
    EXPECT_EQ(RunConditionalDeletions(records, pass), 0);
  }
  EXPECT_FALSE(Exists(dir / u"empty.tmp"));
  EXPECT_TRUE(Exists(dir / u"full.tmp"));
  EXPECT_FALSE(Exists(dir / u"ro.log"));
  EXPECT_TRUE(Exists(dir / u"later.bin"));
  EXPECT_TRUE(Exists(dir / u"other.txt"));
  EXPECT_TRUE(PendingHolds(dir / u"later.bin"));
  EXPECT_TRUE(pass.restart_needed);
  EXPECT_EQ(records.size(), 7u);  // the installation pass keeps every record
  const NString d = WideToUtf8(dir.path());
  const NString busy_line = "Failed to delete file \"" + d + "\\busy.dat\": ";
  const NString busy2_line = "File \"" + d + "\\busy2.dat\" will be deleted after rebooting: ";
  EXPECT_NE(log.text.find("Deleted file: " + d + "\\empty.tmp\r\n"), NString::npos) << log.text;
  EXPECT_NE(log.text.find("Deleted file: " + d + "\\ro.log\r\n"), NString::npos) << log.text;
  EXPECT_NE(log.text.find("File \"" + d + "\\later.bin\" will be deleted after rebooting.\r\n"), NString::npos)
      << log.text;
  EXPECT_NE(log.text.find(busy_line), NString::npos) << log.text;
  EXPECT_NE(log.text.find(busy2_line), NString::npos) << log.text;
  EXPECT_EQ(log.text.find("full.tmp"), NString::npos);
  EXPECT_EQ(log.text.find("other.txt"), NString::npos);
  EXPECT_EQ(log.text.substr(log.text.size() - 4), "\r\n\r\n");
  EXPECT_EQ(log.log.failures(), u"");
  CleanPendingOperations({PendingPathKey(WStringView(dir / u"later.bin")),
                          PendingPathKey(WStringView(dir / u"busy2.dat"))}, nullptr);
}

TEST(RunConditionalDeletions, UninstallationPassLogsNothingAndKeepsOnlyFailures) {
  Scratch dir;
  Put(dir / u"a.txt", "a");
  Put(dir / u"restart.txt", "r");
  Put(dir / u"busy.txt", "b");
  std::vector<ConditionalDeletion> records = {
      Deletion(u"a.txt", 0, "", 8),
      Deletion(dir / u"restart.txt", 0, "", 1 | 8),  // absolute path
      Deletion(u"busy.txt", 0, "", 8),
      Deletion(u"a.txt", 0, "", 4),  // installation only
  };
  LogCapture log;
  ConditionalDeletionPass pass = Pass(kUninstallationPass, dir.path(), log);
  {
    Locked lock(dir / u"busy.txt");
    EXPECT_EQ(RunConditionalDeletions(records, pass), 0);
  }
  EXPECT_FALSE(Exists(dir / u"a.txt"));
  EXPECT_TRUE(PendingHolds(dir / u"restart.txt"));
  EXPECT_TRUE(pass.restart_needed);
  EXPECT_EQ(log.text, "");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].path, "busy.txt");
  CleanPendingOperations({PendingPathKey(WStringView(dir / u"restart.txt"))}, nullptr);
}

TEST(RunConditionalDeletions, AnImpossibleDateIsFoundBeforeAnythingIsDeleted) {
  Scratch dir;
  Put(dir / u"a.txt", "a");
  std::vector<ConditionalDeletion> records = {
      Deletion(u"a.txt", 0, "", 4),
      Deletion(u"b.txt", 2, "2000/13/45", 4),
  };
  LogCapture log;
  ConditionalDeletionPass pass = Pass(kInstallationPass, dir.path(), log);
  EXPECT_EQ(RunConditionalDeletions(records, pass), 65);
  EXPECT_TRUE(Exists(dir / u"a.txt"));
  EXPECT_EQ(log.text, "");
}

// The system's search also matches 8.3 short names: "*.tmp" finds
// "data.tmpl" as "DATA~1.TMP". Only the long name counts.
TEST(RunConditionalDeletions, APatternMatchesLongNamesOnly) {
  Scratch dir;
  Put(dir / u"old.tmp", "x");
  Put(dir / u"data.tmpl", "kept");
  Put(dir / u"notes.tmp.txt", "kept");
  std::vector<ConditionalDeletion> records = {Deletion(u"*.tmp", 0, "", 4)};
  LogCapture log;
  ConditionalDeletionPass pass = Pass(kInstallationPass, dir.path(), log);
  EXPECT_EQ(RunConditionalDeletions(records, pass), 0);
  EXPECT_FALSE(Exists(dir / u"old.tmp"));
  EXPECT_TRUE(Exists(dir / u"data.tmpl"));
  EXPECT_TRUE(Exists(dir / u"notes.tmp.txt"));
}

// A damaged record in Uninstall.DAT must not keep the rest from going, in this
// run or any later one.
TEST(RunConditionalDeletions, UninstallationPassDropsADamagedRecordAndRunsTheRest) {
  Scratch dir;
  Put(dir / u"a.txt", "a");
  Put(dir / u"b.txt", "b");
  std::vector<ConditionalDeletion> records = {
      Deletion(u"a.txt", 2, "2023/02/29", 8),
      Deletion(u"b.txt", 0, "", 8),
  };
  LogCapture log;
  ConditionalDeletionPass pass = Pass(kUninstallationPass, dir.path(), log);
  EXPECT_EQ(RunConditionalDeletions(records, pass), 0);
  EXPECT_TRUE(Exists(dir / u"a.txt"));
  EXPECT_FALSE(Exists(dir / u"b.txt"));
  EXPECT_TRUE(records.empty());
}

TEST(CleanPendingOperations, RemovesPlacedFilesAndTheirWaitingCopies) {
  Scratch dir;
  const WString placed = dir / u"Placed.DLL";
  const WString copy = dir / u"LKT1.tmp";
  Put(copy, "waiting");
  const std::vector<WString> before = PendingList();
  std::vector<WString> list = before;
  const WString other = dir / u"other.txt";
  for (const WString& s : {u"\\??\\" + placed, WString(), u"\\??\\" + copy, u"!\\??\\" + placed,
                           u"\\??\\" + other, WString()})
    list.push_back(s);
  SetPendingList(list);
  LogCapture log;
  CleanPendingOperations({PendingPathKey(WStringView(placed))}, &log.log);
  EXPECT_EQ(PendingList(), [&] {
    std::vector<WString> kept = before;
    kept.push_back(u"\\??\\" + other);
    kept.push_back(WString());
    return kept;
  }());
  EXPECT_FALSE(Exists(copy));
  NString lower = WideToUtf8(placed);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  EXPECT_EQ(log.text, "\r\nFile \"" + lower + "\" was removed from the list of pending deletions.\r\n"
                      "File \"" + lower + "\" was removed from the list of pending moves.\r\n");
  SetPendingList(before);
}

}  // namespace
}  // namespace ks
