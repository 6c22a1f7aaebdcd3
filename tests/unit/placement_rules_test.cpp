#include "engine/placement_rules.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

PlacementFolders Folders() {
  PlacementFolders f;
  f.install = u"C:\\Prog\\App";
  f.shared = u"C:\\Common\\Shared";
  f.fonts = u"C:\\Win\\Fonts";
  f.system = u"C:\\Win\\System32";
  f.uninstall_data = u"C:\\Prog\\App\\Uninstall";
  f.expand = [](const WString& t) {
    WString out = t;
    const WString var = u"%InstallDir%";
    const std::size_t at = out.find(var);
    if (at != WString::npos) out.replace(at, var.size(), u"C:\\Prog\\App");
    return out;
  };
  return f;
}

FileRecord Rec(const char* name, std::int32_t kind, std::int32_t flags = 0, const char16_t* dest = u"") {
  FileRecord r;
  r.name = name;
  r.kind = kind;
  r.flags = flags;
  r.destination = dest;
  return r;
}

TEST(ComputeDestination, OverridesFlagsAndKinds) {
  struct Case {
    FileRecord record;
    bool portable;
    const char16_t* path;
    bool in_tree;
    const char16_t* prefix_name;
  };
  const Case cases[] = {
      {Rec("bin\\app.exe", 0), false, u"C:\\Prog\\App\\bin\\app.exe", true, u"app.exe"},
      {Rec("bin\\app.exe", 0, 0, u"Tools\\"), false, u"C:\\Prog\\App\\Tools\\app.exe", true, u"app.exe"},
      {Rec("bin\\app.exe", 0, 0, u"new.exe"), false, u"C:\\Prog\\App\\new.exe", true, u"new.exe"},
      {Rec("a.dll", 0, 0, u"%InstallDir%\\x\\\\\\"), false, u"C:\\Prog\\App\\x\\a.dll", true, u"a.dll"},
      {Rec("a.dll", 0, 0, u"D:\\Other\\b.dll"), false, u"D:\\Other\\b.dll", true, u"a.dll"},
      {Rec("a.dll", 1, 0, u"sub\\"), false, u"C:\\Common\\Shared\\sub\\a.dll", true, u"a.dll"},
      {Rec("a.dll", 1), false, u"C:\\Common\\Shared\\a.dll", false, u"a.dll"},
      {Rec("f.ttf", 4), false, u"C:\\Win\\Fonts\\f.ttf", false, u"f.ttf"},
      {Rec("s.dll", 6), false, u"C:\\Win\\System32\\s.dll", false, u"s.dll"},
      {Rec("c.dll", 7), false, u"C:\\Win\\System32\\c.dll", false, u"c.dll"},
      {Rec("t.tlb", 8), false, u"C:\\Win\\System32\\t.tlb", false, u"t.tlb"},
      {Rec("d.inf", 10), false, u"C:\\Prog\\App\\d.inf", true, u"d.inf"},
      {Rec("u.ico", 0, kRecordInUninstallFolder), false, u"C:\\Prog\\App\\Uninstall\\u.ico", false, u"u.ico"},
      {Rec("s.dll", 6, kRecordInUninstallFolder), false, u"C:\\Prog\\App\\Uninstall\\s.dll", false, u"s.dll"},
      {Rec("x\xC3\xA9.txt", 0), false, u"C:\\Prog\\App\\x\xC3\xA9.txt", true, u"x\xC3\xA9.txt"},
      {Rec("|x\xC3\xA9.txt", 0), false, u"C:\\Prog\\App\\x\u00E9.txt", true, u"x\u00E9.txt"},
  };
  for (const Case& c : cases) {
    const Destination d = ComputeDestination(c.record, Folders());
    EXPECT_EQ(d.corrupt_code, 0);
    EXPECT_EQ(d.path, c.path) << c.record.name;
    EXPECT_EQ(d.in_install_tree, c.in_tree) << c.record.name;
    EXPECT_EQ(d.log_prefix, WString(c.prefix_name) + u" >>> " + c.path);
  }
}

TEST(ComputeDestination, PortableSharedSubfolderKeepsOnlyRelativeFolders) {
  PlacementFolders f = Folders();
  f.portable = true;
  f.portable_shared_subfolder = u"E:\\Portable\\Shared";
  struct Case {
    const char16_t* dest;
    const char16_t* path;
  };
  const Case cases[] = {
      {u"lib\\", u"E:\\Portable\\Shared\\lib\\a.dll"},
      {u"\\\\server\\x\\", u"C:\\Common\\Shared\\a.dll"},   // UNC: dropped
      {u"  \\\\server\\x\\", u"C:\\Common\\Shared\\a.dll"},
      {u"%SystemDir%\\", u"C:\\Common\\Shared\\a.dll"},      // variable: dropped
      {u"b.dll", u"C:\\Common\\Shared\\b.dll"},              // no backslash: renames only
  };
  for (const Case& c : cases)
    EXPECT_EQ(ComputeDestination(Rec("a.dll", 1, 0, c.dest), f).path, c.path) << WideToUtf8(c.dest);
}

TEST(ComputeDestination, InvalidKindsAreCorrupt) {
  for (std::int32_t kind : {2, 3, -1, 13, 1000})
    EXPECT_EQ(ComputeDestination(Rec("a", kind), Folders()).corrupt_code, kCorruptRecordKind) << kind;
}

TEST(HandOverLists, FontAndSharedEntries) {
  FileRecord font = Rec("f.ttf", 4);
  font.title = "My Font";
  EXPECT_EQ(FontListEntry(font), "\"My Font\" \"f.ttf\" ");
  const WString dest = u"C:\\W\\x.dll";
  EXPECT_EQ(SharedFileEntry(Rec("x", 6), dest, false), NString("C:\\W\\x.dll "));
  EXPECT_EQ(SharedFileEntry(Rec("x", 7), dest, false), NString("C:\\W\\x.dll^"));
  EXPECT_EQ(SharedFileEntry(Rec("x", 8), dest, true), NString("C:\\W\\x.dll\xA9"));
  EXPECT_EQ(SharedFileEntry(Rec("x", 7, kRecordKeep), dest, false), NString("C:\\W\\x.dll "));
  EXPECT_EQ(SharedFileEntry(Rec("x", 1), dest, false), NString("C:\\W\\x.dll"));
  EXPECT_FALSE(SharedFileEntry(Rec("x", 1), dest, true));
  EXPECT_FALSE(SharedFileEntry(Rec("x", 7), dest, true));
  EXPECT_FALSE(SharedFileEntry(Rec("x", 0), dest, false));
  EXPECT_EQ(SharedFileEntry(Rec("x", 6), u"C:\\\u00E9.dll", false), NString("|C:\\\xC3\xA9.dll "));
}

TEST(IsKindRecorded, ByKindAndPortable) {
  for (std::int32_t kind : {0, 5, 9, 10, 11, 12}) EXPECT_TRUE(IsKindRecorded(kind, false)) << kind;
  for (std::int32_t kind : {4, 6, 7, 8}) EXPECT_FALSE(IsKindRecorded(kind, true)) << kind;
  EXPECT_FALSE(IsKindRecorded(1, false));
  EXPECT_TRUE(IsKindRecorded(1, true));
}

RecordDate D(int y, int mo, int d, int h = 12) {
  RecordDate r;
  r.year = y, r.month = mo, r.day = d, r.hour = h;
  return r;
}

ExistingFile Existing(std::optional<RecordDate> modified, const char* version = "") {
  ExistingFile e;
  e.exists = true;
  e.modified = modified;
  e.version = version;
  return e;
}

const WString kPrefix = u"app.exe >>> C:\\P\\app.exe";

TEST(DecidePlacement, ExistingFileRulesAndKindChecks) {
  auto rec = [](std::int32_t kind, std::int32_t flags, const char* title, RecordDate date) {
    FileRecord r = Rec("app.exe", kind, flags);
    r.title = title;
    r.date = date;
    return r;
  };
  const ExistingFile missing;
  struct Case {
    const char* what;
    FileRecord record;
    ExistingFile existing;
    bool portable;
    bool place, record_removal;
    const char16_t* log_tail;  // after the prefix; nullptr for no line
  };
  const Case cases[] = {
      {"rule 4", rec(0, 4, "", D(2024, 1, 1)), missing, false, false, false, nullptr},
      {"rule 20", rec(0, 20, "", D(2024, 1, 1)), Existing(D(2020, 1, 1)), false, false, false, nullptr},
      {"rule 8, missing", rec(0, 8, "", D(2024, 1, 1)), missing, false, false, false,
       u" was not installed because it does not already exist.\r\n"},
      {"rule 8, present", rec(0, 8, "", D(2024, 1, 1)), Existing(D(2020, 1, 1)), false, true, false, nullptr},
      {"rule 12, present", rec(0, 12, "", D(2024, 1, 1)), Existing(D(2020, 1, 1)), false, false, true,
       u" was not installed because it already exists.\r\n"},
      {"rule 12, present, kept", rec(0, 12 | kRecordKeep, "", D(2024, 1, 1)), Existing(D(2020, 1, 1)), false,
       false, false, u" was not installed because it already exists.\r\n"},
      {"rule 12, kind 6 not recorded", rec(6, 12, "", D(2024, 1, 1)), Existing(D(2020, 1, 1)), false, false,
       false, u" was not installed because it already exists.\r\n"},
      {"rule 12, missing", rec(0, 12, "", D(2024, 1, 1)), missing, false, true, false, nullptr},
      {"rule 16, newer", rec(0, 16, "", D(2024, 1, 1)), Existing(D(2025, 1, 1)), false, false, true,
       u" was not installed because the existing file is newer.\r\n"},
      {"rule 16, older", rec(0, 16, "", D(2024, 1, 1)), Existing(D(2023, 1, 1)), false, true, false, nullptr},
      {"rule 16, no record date", rec(0, 16, "", RecordDate()), Existing(D(2025, 1, 1)), false, true, false,
       nullptr},
      {"rule 24 as 0", rec(0, 24, "", D(2024, 1, 1)), Existing(D(2025, 1, 1)), false, true, false, nullptr},
      {"kind 1 up to date", rec(1, 0, "", D(2024, 1, 1)), Existing(D(2024, 1, 1)), false, false, false,
       u" is up to date.\r\n"},
      {"kind 1 up to date, portable", rec(1, 0, "", D(2024, 1, 1)), Existing(D(2024, 1, 1)), true, false, true,
       u" is up to date.\r\n"},
      {"kind 4 out of date", rec(4, 0, "", D(2024, 1, 1)), Existing(D(2023, 1, 1)), false, true, false,
       u" is out of date and will be replaced.\r\n"},
      {"kind 4 no existing time", rec(4, 0, "", D(2024, 1, 1)), Existing(std::nullopt), false, true, false,
       u" is out of date and will be replaced.\r\n"},
      {"kind 9 older version", rec(9, 0, "1.9", D(2024, 1, 1)), Existing(D(2020, 1, 1), "2.0"), false, false,
       true, u" was not installed because its version (1.9) is not newer than 2.0\r\n"},
      {"kind 9 same version kept", rec(9, kRecordKeep, "1.2", D(2024, 1, 1)), Existing(D(2020, 1, 1), "1.2.0"),
       false, false, false, u" was not installed because its version (1.2) is not newer than 1.2.0\r\n"},
      {"kind 6 older version not recorded", rec(6, 0, "1.0", D(2024, 1, 1)), Existing(std::nullopt, "2.0"),
       false, false, false, u" was not installed because its version (1.0) is not newer than 2.0\r\n"},
      {"kind 7 newer version, older date", rec(7, 0, "3.0", D(2024, 1, 1)), Existing(D(2024, 6, 1), "2.0"),
       false, false, false,
       u" was not installed because its date (2024/01/01 12:00:00) is not newer than 2024/06/01 12:00:00.\r\n"},
      {"kind 8 newer version and date", rec(8, 0, "3.0", D(2024, 6, 1)), Existing(D(2024, 1, 1), "2.0"), false,
       true, false,
       u" needs replacement because its version (3.0) is newer than 2.0 and its date (2024/06/01 12:00:00) "
       u"is newer than 2024/01/01 12:00:00\r\n"},
      {"kind 9 blank title, newer date", rec(9, 0, " \t", D(2024, 6, 1)), Existing(D(2024, 1, 1), "2.0"),
       false, true, false,
       u" needs replacement because its date (2024/06/01 12:00:00) is newer than 2024/01/01 12:00:00\r\n"},
      {"kind 9 no version, no time", rec(9, 0, "1.0", D(2024, 6, 1)), Existing(std::nullopt, ""), false, true,
       false, u" is out of date and will be replaced.\r\n"},
      {"kind 0 existing: no check", rec(0, 0, "", D(2024, 1, 1)), Existing(D(2025, 1, 1)), false, true, false,
       nullptr},
      {"kind 9 missing: no check", rec(9, 0, "1.0", D(2024, 1, 1)), missing, false, true, false, nullptr},
  };
  for (const Case& c : cases) {
    const PlacementDecision d = DecidePlacement(c.record, kPrefix, c.existing, c.portable);
    EXPECT_EQ(d.place, c.place) << c.what;
    EXPECT_EQ(d.record_removal, c.record_removal) << c.what;
    EXPECT_EQ(d.existed, c.existing.exists) << c.what;
    EXPECT_EQ(WideToUtf8(d.log_line), c.log_tail ? WideToUtf8(kPrefix + c.log_tail) : "") << c.what;
  }
}

TEST(FolderFailureText, LayoutOfTheSummaryEntry) {
  EXPECT_EQ(FolderFailureText(u"Error:", u"C:\\A\\b", kFolderIsFileReason, u"C:\\A\\b\\c.txt"),
            u"Error: C:\\A\\b\r\nCannot create folder because there is a file with the same name.\r\n\r\n"
            u"Not installed: C:\\A\\b\\c.txt\r\n\r\n");
}

}  // namespace
}  // namespace ks
