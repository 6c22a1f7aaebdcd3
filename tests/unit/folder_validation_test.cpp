#include "ui/folder_validation.h"

#include <gtest/gtest.h>

#include <map>

#include "ui/wizard_rules.h"

namespace ks {
namespace {

// C: a fixed disk, D: a CD-ROM, E: read-only, N: a network drive, R: removable; others missing.
FolderFacts Facts() {
  FolderFacts f;
  f.drive_kind = [](const WString& root) {
    static const std::map<char16_t, DriveKind> kinds = {{u'C', DriveKind::kFixed},   {u'D', DriveKind::kCdRom},
                                                        {u'E', DriveKind::kFixed},   {u'N', DriveKind::kNetwork},
                                                        {u'R', DriveKind::kRemovable}};
    const auto found = kinds.find(static_cast<char16_t>(AsciiLower(root[0]) - u'a' + u'A'));
    return found == kinds.end() ? DriveKind::kMissing : found->second;
  };
  f.read_only = [](const WString& root) { return root == u"E:\\"; };
  f.free_bytes = [](const WString& root) -> std::optional<std::uint64_t> {
    if (root == u"C:\\") return 10 * 1024 * 1024;
    return std::nullopt;
  };
  f.forbidden = {u"C:\\Users\\Public\\Desktop", u"C:\\users\\me\\Desktop\\", u"C:\\windows"};
  f.program_files = {u"C:\\Program Files", u"C:\\Program Files (x86)"};
  return f;
}

TEST(FolderValidationTest, EachRefusalInOrder) {
  FolderRules rules;
  rules.flags = product_flag::kLocalFoldersOnly | product_flag::kRefuseRemovableDrives;
  rules.archive_flags = archive_flag::kAsciiFolderOnly;
  const struct {
    const char16_t* entry;
    FolderVerdict::Kind kind;
    int text;
  } cases[] = {
      {u"", FolderVerdict::kReopen, 0},
      {u"  \t ", FolderVerdict::kReopen, 0},
      {u"\\", FolderVerdict::kReopen, 0},
      {u"relative\\folder", FolderVerdict::kRefuse, 14},
      {u"C:", FolderVerdict::kRefuse, 17},
      {u"C:folder", FolderVerdict::kRefuse, 14},
      {u"C:\\a|b", FolderVerdict::kRefuse, 14},
      {u"C:\\a\\\\b", FolderVerdict::kRefuse, 14},
      {u"C:\\a\\ \\b", FolderVerdict::kRefuse, 14},
      {u"c:\\users\\public\\desktop", FolderVerdict::kRefuse, 14},
      {u"C:\\Users\\Me\\Desktop\\", FolderVerdict::kRefuse, 14},
      {u"C:\\Windows", FolderVerdict::kRefuse, 14},
      {u"Q:\\Notes", FolderVerdict::kRefuse, 16},
      {u"\\\\server\\share\\Notes", FolderVerdict::kRefuse, 66},
      {u"N:\\Notes", FolderVerdict::kRefuse, 66},
      {u"C:\\", FolderVerdict::kRefuse, 17},
      {u"  C:\\  ", FolderVerdict::kRefuse, 17},
      {u"C:\\Program Files", FolderVerdict::kRefuse, 18},
      {u"c:\\program files (x86)\\", FolderVerdict::kRefuse, 18},
      {u"E:\\Notes", FolderVerdict::kRefuse, 96},
      {u"R:\\Notes", FolderVerdict::kRefuse, 96},
      {u"D:\\Notes", FolderVerdict::kRefuse, 96},
      {u"C:\\Caf\u00e9", FolderVerdict::kRefuse, 30},
      {u"C:\\Program Files\\Notes", FolderVerdict::kAccept, 0},
      {u"C:\\Program Filesystem", FolderVerdict::kAccept, 0},
  };
  for (const auto& c : cases) {
    const FolderVerdict v = ValidateFolder(c.entry, rules, Facts());
    EXPECT_EQ(v.kind, c.kind) << WideToUtf8(c.entry);
    EXPECT_EQ(v.text, c.text) << WideToUtf8(c.entry);
  }
}

TEST(FolderValidationTest, RefusalsThatNeedTheirFlag) {
  const FolderRules plain;
  for (const char16_t* entry : {u"\\\\server\\share\\Notes", u"R:\\Notes", u"C:\\Caf\u00e9"}) {
    EXPECT_EQ(ValidateFolder(entry, plain, Facts()).kind, FolderVerdict::kAccept) << WideToUtf8(entry);
  }
  // A read-only volume is refused whatever the flags say.
  EXPECT_EQ(ValidateFolder(u"E:\\Notes", plain, Facts()).text, 96);
}

TEST(FolderValidationTest, TheFolderAsChosen) {
  const FolderVerdict v = ValidateFolder(u"  C:\\Maker\\Notes\\  ", FolderRules{}, Facts());
  EXPECT_EQ(v.kind, FolderVerdict::kAccept);
  EXPECT_EQ(v.folder, u"C:\\Maker\\Notes");
  const FolderVerdict invalid = ValidateFolder(u"C:\\a?b\\", FolderRules{}, Facts());
  EXPECT_TRUE(invalid.text_with_folder);
  EXPECT_EQ(invalid.folder, u"C:\\a?b");
}

TEST(FolderValidationTest, FreeSpaceQuestion) {
  FolderRules rules;
  rules.space_needed = 20 * 1024 * 1024;
  const FolderVerdict ask = ValidateFolder(u"C:\\Notes", rules, Facts());
  EXPECT_EQ(ask.kind, FolderVerdict::kAskSpace);
  EXPECT_EQ(ask.needed_kb, 20u * 1024);
  EXPECT_EQ(ask.free_kb, 10u * 1024);

  FolderRules enough = rules;
  enough.space_needed = 1024;
  EXPECT_EQ(ValidateFolder(u"C:\\Notes", enough, Facts()).kind, FolderVerdict::kAccept);
  FolderRules replacing = rules;
  replacing.new_installation = false;
  EXPECT_EQ(ValidateFolder(u"C:\\Notes", replacing, Facts()).kind, FolderVerdict::kAccept);
  FolderRules automatic = rules;
  automatic.interactive = false;
  EXPECT_EQ(ValidateFolder(u"C:\\Notes", automatic, Facts()).kind, FolderVerdict::kAccept);
  // Unknown free space and network folders are not asked about.
  EXPECT_EQ(ValidateFolder(u"\\\\server\\share\\Notes", rules, Facts()).kind, FolderVerdict::kAccept);
}

TEST(FolderValidationTest, SameOrAbove) {
  EXPECT_TRUE(IsSameOrAbove(u"C:\\Program Files", u"C:\\program files\\"));
  EXPECT_TRUE(IsSameOrAbove(u"C:\\", u"C:\\Program Files"));
  EXPECT_FALSE(IsSameOrAbove(u"C:\\Program", u"C:\\Program Files"));
  EXPECT_FALSE(IsSameOrAbove(u"C:\\Program Files\\Notes", u"C:\\Program Files"));
  EXPECT_FALSE(IsSameOrAbove(u"", u"C:\\Program Files"));
}

}  // namespace
}  // namespace ks
