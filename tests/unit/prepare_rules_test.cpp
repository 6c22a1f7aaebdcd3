#include "engine/prepare_rules.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(PrepareRules, RestorePointDescription) {
  EXPECT_EQ(RestorePointDescription(u"Product", u"1.2"), u"Product 1.2");
  EXPECT_EQ(RestorePointDescription(u"Product", u""), u"Product");
  const WString long_name(300, u'x');
  EXPECT_EQ(RestorePointDescription(long_name, u"1.0"), WString(255, u'x'));
  // A character outside the basic plane is not cut in half at the limit.
  const WString cut = RestorePointDescription(WString(254, u'x') + u"\U0001F600", u"");
  EXPECT_EQ(cut, WString(254, u'x'));
}

TEST(PrepareRules, SharedFolderBaseChoice) {
  struct Case {
    std::uint8_t choice;
    bool install_64bit;
    SharedFolderBase base;
  };
  const Case cases[] = {
      {1, false, SharedFolderBase::kCommonAppData},      {1, true, SharedFolderBase::kCommonAppData},
      {2, true, SharedFolderBase::kCommonFilesDefault},  {3, false, SharedFolderBase::kCommonFiles64},
      {0, false, SharedFolderBase::kCommonFilesDefault}, {0, true, SharedFolderBase::kCommonFiles64},
      {7, true, SharedFolderBase::kCommonFiles64},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseSharedFolderBase(c.choice, c.install_64bit), c.base) << int(c.choice) << c.install_64bit;
}

TEST(PrepareRules, SharedFolder) {
  struct Case {
    bool creates_uninstaller, portable;
    const char16_t* portable_subfolder;
    const char16_t* name;
    const char16_t* expected;
  };
  const Case cases[] = {
      {true, false, u"", u"Maker", u"C:\\Common Files\\Maker"},
      {true, false, u"shared", u"Maker", u"C:\\Common Files\\Maker"},  // not portable: the sub-folder is unused
      {true, true, u"shared", u"Maker", u"E:\\App\\shared"},
      {true, true, u"", u"Maker", u"C:\\Common Files\\Maker"},
      {true, false, u"", u"D:\\Shared\\Maker", u"D:\\Shared\\Maker"},
      {true, false, u"", u"\\\\server\\share\\Maker", u"\\\\server\\share\\Maker"},
      {false, false, u"", u"Maker", u""},
      {false, true, u"shared", u"Maker", u""},
  };
  for (const Case& c : cases) {
    SharedFolderInput in;
    in.creates_uninstaller = c.creates_uninstaller;
    in.portable = c.portable;
    in.install_dir = c.portable ? u"E:\\App" : u"C:\\Program Files\\App";
    in.portable_subfolder = c.portable_subfolder;
    in.name = c.name;
    in.base = u"C:\\Common Files";
    EXPECT_EQ(SharedFolderFor(in), c.expected) << c.creates_uninstaller << c.portable;
  }
  EXPECT_EQ(SharedFolderName(u"Maker", u""), u"Maker");
  EXPECT_EQ(SharedFolderName(u"Maker", u"Maker\\Shared"), u"Maker\\Shared");
}

TEST(PrepareRules, DriveRootAndPortableDrives) {
  EXPECT_EQ(DriveRootOf(u"E:\\App"), u"E:\\");
  EXPECT_EQ(DriveRootOf(u"e:"), u"e:\\");
  EXPECT_EQ(DriveRootOf(u"\\\\server\\share\\App"), u"\\\\server\\share\\");
  EXPECT_EQ(DriveRootOf(u"\\\\server\\share"), u"\\\\server\\share\\");
  EXPECT_EQ(DriveRootOf(u"\\\\server"), u"");
  EXPECT_EQ(DriveRootOf(u"App"), u"");
  for (unsigned type = 0; type <= 6; ++type)
    EXPECT_EQ(IsPortableDriveType(type), type == 2 || type == 5 || type == 6) << type;
}

TEST(PrepareRules, PortableRuleClearsTheUninstallerOnlyWhenAsked) {
  using namespace product_flag;
  const ProductFlags asked = kRegisterUninstaller | kPortableWithoutUninstaller;
  EXPECT_EQ(FlagsAfterPortableRule(asked, true), kPortableWithoutUninstaller);
  EXPECT_EQ(FlagsAfterPortableRule(asked, false), asked);
  EXPECT_EQ(FlagsAfterPortableRule(kRegisterUninstaller, true), kRegisterUninstaller);
  EXPECT_EQ(kPortableWithoutUninstaller, 0x100000000000000ull);
  EXPECT_EQ(kGrantSharedFolderRights, 0x4000000000000000ull);
  EXPECT_EQ(kGrantFolderRights, 0x4000000000000ull);
}

TEST(PrepareRules, InstallFolderLosesTrailingBackslashes) {
  EXPECT_EQ(WithoutTrailingBackslash(u"C:\\App\\\\"), u"C:\\App");
  EXPECT_EQ(WithoutTrailingBackslash(u"C:\\"), u"C:\\");
  EXPECT_EQ(WithoutTrailingBackslash(u"C:\\App"), u"C:\\App");
  EXPECT_TRUE(IsAbsolutePath(u"c:\\x"));
  EXPECT_FALSE(IsAbsolutePath(u"c:x"));
  EXPECT_FALSE(IsAbsolutePath(u"\\x"));
}

TEST(PrepareRules, RecordSpaceCoversTheWorstCaseOfEveryRecord) {
  RecordSpaceInput in;
  const std::uint64_t base = RecordSpace(in);
  EXPECT_GE(base, 64u * 1024);
  in.uninstaller_bytes = 1'000'000;
  EXPECT_EQ(RecordSpace(in), base + 1'000'000);
  in.file_records = 2000;
  in.install_dir_chars = 40;
  // Every record may name a 260-character path below the folder in UTF-8.
  EXPECT_GE(RecordSpace(in) - base - 1'000'000, 2000u * (40 + 260) * 3);
  in.icon_bytes = 5000;
  in.registry_chars = 100;
  EXPECT_GE(RecordSpace(in), base + 1'000'000 + 2000u * (40 + 260) * 3 + 5000 + 300);
}

}  // namespace
}  // namespace ks
