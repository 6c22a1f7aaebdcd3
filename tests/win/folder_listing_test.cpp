// The one-enumeration view of a folder that the uninstaller's item loop asks
// instead of the system: it must never call a name absent that is there.

#include "engine/win/folder_listing.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "lib/win/file.h"
#include "lib/win/wide.h"
#include "tests/win/scratch_folder.h"

namespace ks {
namespace {

void Put(const WString& path) {
  File f;
  ASSERT_EQ(f.Open(path, kFileWrite), kFileSuccess);
  ASSERT_EQ(f.Write("x", 1), kFileSuccess);
}

TEST(FolderListing, TellsPlainFilesFromWhatTheSystemMustBeAskedAbout) {
  test::ScratchFolder folder(u"ks_listing_");
  Put(folder / u"plain.txt");
  Put(folder / u"plain.txt.ks-new");
  Put(folder / u"locked.txt");
  ASSERT_TRUE(SetFileAttributesW(W(folder / u"locked.txt"), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(CreateDirectoryW(W(folder / u"sub"), nullptr));
  FolderListing listing;
  listing.Use(folder.path());
  const struct {
    const char16_t* name;
    ListedAs expected;
  } kCases[] = {
      {u"plain.txt", ListedAs::kPlainFile},        {u"PLAIN.TXT", ListedAs::kPlainFile},
      {u"plain.txt.ks-new", ListedAs::kPlainFile}, {u"locked.txt", ListedAs::kUnknown},
      {u"sub", ListedAs::kUnknown},                {u"absent.txt", ListedAs::kAbsent},
      {u"plain.tx", ListedAs::kAbsent},
  };
  for (const auto& c : kCases) EXPECT_EQ(listing.Find(c.name), c.expected) << WideToUtf8(c.name);
  SetFileAttributesW(W(folder / u"locked.txt"), FILE_ATTRIBUTE_NORMAL);
}

TEST(FolderListing, AFolderThatCannotBeListedLeavesEveryNameToTheSystem) {
  test::ScratchFolder folder(u"ks_listing_");
  Put(folder / u"a.txt");
  FolderListing listing;
  listing.Use(folder / u"missing");
  EXPECT_EQ(listing.Find(u"a.txt"), ListedAs::kUnknown);
  EXPECT_EQ(listing.Find(u"b.txt"), ListedAs::kUnknown);
  // Another folder is read afresh; the same folder again is not.
  listing.Use(folder.path());
  EXPECT_EQ(listing.Find(u"a.txt"), ListedAs::kPlainFile);
  ASSERT_TRUE(DeleteFileW(W(folder / u"a.txt")));
  listing.Use(folder.path());
  EXPECT_EQ(listing.Find(u"a.txt"), ListedAs::kPlainFile);
}

}  // namespace
}  // namespace ks
