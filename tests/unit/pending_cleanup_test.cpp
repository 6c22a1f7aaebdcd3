#include "engine/pending_cleanup.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

const std::set<NString> kInstalled = {PendingPathKey(WStringView(u"C:\\App\\Main.exe")),
                                      PendingPathKey(WStringView(u"C:\\App\\Caf\u00e9.dll"))};

TEST(PendingPathKey, MarkedTextLowerCasedInAsciiOnly) {
  EXPECT_EQ(PendingPathKey(WStringView(u"C:\\App\\Main.EXE")), "c:\\app\\main.exe");
  // "É" is not ASCII: it stays as UTF-8 behind the mark.
  EXPECT_EQ(PendingPathKey(WStringView(u"C:\\\u00c9T\u00c9")), "|c:\\\xc3\x89t\xc3\x89");
  EXPECT_EQ(PendingPathKey(NStringView("|C:\\X")), "|c:\\x");
}

TEST(CleanPendingEntry, DropsEveryLeadingPrefixCharacter) {
  EXPECT_EQ(CleanPendingEntry(u"\\??\\C:\\App\\Main.exe"), u"c:\\app\\main.exe");
  EXPECT_EQ(CleanPendingEntry(u"!\\??\\C:\\App\\X"), u"c:\\app\\x");
  EXPECT_EQ(CleanPendingEntry(u"!!?\\C:\\A"), u"c:\\a");
  EXPECT_EQ(CleanPendingEntry(u"\\??\\"), u"");
  EXPECT_EQ(CleanPendingEntry(u""), u"");
}

struct Case {
  const char* name;
  std::vector<WString> list;
  std::vector<WString> expected_list;
  bool changed;
  std::vector<WString> log;
  std::vector<WString> copies;
};

TEST(CleanPendingList, Table) {
  const WString del = u"File \"c:\\app\\main.exe\" was removed from the list of pending deletions.\r\n";
  const WString move = u"File \"c:\\app\\main.exe\" was removed from the list of pending moves.\r\n";
  const std::vector<Case> cases = {
      {"deletion in system form, any case", {u"\\??\\C:\\APP\\MAIN.EXE", u""}, {}, true, {del}, {}},
      {"deletion behind exclamation marks", {u"!\\??\\c:\\app\\Main.exe", u""}, {}, true, {del}, {}},
      {"move over an installed file removes the pair and names the copy",
       {u"\\??\\C:\\App\\LKT1.tmp", u"!\\??\\C:\\App\\Main.exe"}, {}, true, {move}, {u"c:\\app\\lkt1.tmp"}},
      {"move elsewhere is kept and its source untouched",
       {u"\\??\\C:\\App\\LKT1.tmp", u"!\\??\\C:\\Other\\Main.exe"},
       {u"\\??\\C:\\App\\LKT1.tmp", u"!\\??\\C:\\Other\\Main.exe"}, false, {}, {}},
      {"a move whose SOURCE is installed is not a deletion of it",
       {u"\\??\\C:\\App\\Main.exe", u"\\??\\C:\\Else.exe"},
       {u"\\??\\C:\\App\\Main.exe", u"\\??\\C:\\Else.exe"}, false, {}, {}},
      {"unrelated deletion kept, later match removed, order kept",
       {u"\\??\\C:\\Keep.txt", u"", u"\\??\\C:\\App\\Main.exe", u"", u"\\??\\C:\\Keep2.txt", u""},
       {u"\\??\\C:\\Keep.txt", u"", u"\\??\\C:\\Keep2.txt", u""}, true, {del}, {}},
      {"two adjacent matches: the second moves into the freed place",
       {u"\\??\\C:\\App\\Main.exe", u"", u"\\??\\C:\\App\\Caf\u00e9.DLL", u""}, {}, true,
       {del, u"File \"c:\\app\\caf\u00e9.dll\" was removed from the list of pending deletions.\r\n"}, {}},
      {"odd count: the third string goes when the list changed",
       {u"\\??\\C:\\App\\Main.exe", u"", u"\\??\\C:\\Stray"}, {}, true, {del}, {}},
      {"odd count without a match: unchanged, not written",
       {u"\\??\\C:\\Keep.txt", u"", u"\\??\\C:\\Stray"}, {u"\\??\\C:\\Keep.txt", u""}, false, {}, {}},
      {"an entry that is only the prefix matches nothing", {u"\\??\\", u""}, {u"\\??\\", u""}, false, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PendingCleanupResult r = CleanPendingList(c.list, kInstalled);
    EXPECT_EQ(r.changed, c.changed);
    if (c.changed) {
      EXPECT_EQ(r.list, c.expected_list);
    }
    EXPECT_EQ(r.log_lines, c.log);
    EXPECT_EQ(r.waiting_copies, c.copies);
  }
}

}  // namespace
}  // namespace ks
