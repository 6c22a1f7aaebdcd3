#include "engine/search_path.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

struct FolderCase {
  const char16_t* install_dir;
  const char16_t* subfolder;
  const char16_t* folder;
};

TEST(SearchPathFolder, InstallFolderSubFolderOrNetworkPath) {
  const FolderCase cases[] = {
      {u"C:\\App", u"", u"C:\\App"},
      {u"C:\\App", u"bin", u"C:\\App\\bin"},
      {u"C:\\App\\", u"\\bin", u"C:\\App\\bin"},
      {u"C:\\App", u"\\\\server\\tools", u"\\\\server\\tools"},
      {u"C:\\App", u"  \\\\server\\tools", u"\\\\server\\tools"},
      // One backslash is a relative name, not a network path.
      {u"C:\\App", u"\\tools", u"C:\\App\\tools"},
  };
  for (const FolderCase& c : cases)
    EXPECT_EQ(SearchPathFolder(c.install_dir, c.subfolder), c.folder);
}

struct EditCase {
  const char16_t* before;
  const char16_t* folder;
  const char16_t* after;  // the value after the edit; equal to before when unchanged
};

TEST(SearchPath, AddAppendsOnlyWhenNoEntryNamesTheFolder) {
  const EditCase cases[] = {
      {u"", u"C:\\App", u"C:\\App"},
      {u"C:\\Windows", u"C:\\App", u"C:\\Windows;C:\\App"},
      {u"C:\\Windows;", u"C:\\App", u"C:\\Windows;C:\\App"},
      // Already there, in another case, with or without a ";" after it.
      {u"C:\\Windows;c:\\app;D:\\x", u"C:\\App", u"C:\\Windows;c:\\app;D:\\x"},
      {u"C:\\Windows;C:\\APP", u"C:\\App", u"C:\\Windows;C:\\APP"},
      {u"C:\\APP\\;C:\\Windows", u"C:\\App", u"C:\\APP\\;C:\\Windows"},
      {u"\"C:\\App\";C:\\Windows", u"C:\\App", u"\"C:\\App\";C:\\Windows"},
      {u"C:\\ÄPP", u"C:\\äpp", u"C:\\ÄPP"},
      // A longer entry that merely contains the folder is another folder.
      {u"C:\\App\\bin;D:\\C:\\App2", u"C:\\App", u"C:\\App\\bin;D:\\C:\\App2;C:\\App"},
      {u"%SystemRoot%;C:\\Apps", u"C:\\App", u"%SystemRoot%;C:\\Apps;C:\\App"},
      {u"C:\\Windows", u"\\\\server\\tools", u"C:\\Windows;\\\\server\\tools"},
  };
  for (const EditCase& c : cases) {
    WString value = c.before;
    const bool changed = AddSearchPathEntry(value, c.folder);
    EXPECT_EQ(value, c.after);
    EXPECT_EQ(changed, WString(c.before) != c.after);
  }
}

TEST(SearchPath, RemoveTakesEveryEntryOfTheFolderAndItsSeparator) {
  const EditCase cases[] = {
      {u"C:\\Windows;C:\\App", u"C:\\App", u"C:\\Windows"},
      {u"C:\\App;C:\\Windows", u"c:\\app", u"C:\\Windows"},
      {u"C:\\Windows;C:\\App;D:\\x", u"C:\\App", u"C:\\Windows;D:\\x"},
      {u"C:\\Windows;C:\\App;", u"C:\\App", u"C:\\Windows;"},
      {u"C:\\App", u"C:\\App", u""},
      {u"C:\\App;", u"C:\\App", u""},
      {u"C:\\App;C:\\Windows;C:\\APP\\", u"C:\\App", u"C:\\Windows"},
      {u"C:\\Windows;;D:\\x", u"C:\\App", u"C:\\Windows;;D:\\x"},
      {u"C:\\Windows;C:\\App\\bin", u"C:\\App", u"C:\\Windows;C:\\App\\bin"},
      {u"C:\\Windows;\\\\server\\tools", u"\\\\server\\tools", u"C:\\Windows"},
  };
  for (const EditCase& c : cases) {
    WString value = c.before;
    const bool changed = RemoveSearchPathEntry(value, c.folder);
    EXPECT_EQ(value, c.after);
    EXPECT_EQ(changed, WString(c.before) != c.after);
  }
}

// A value far beyond any fixed read buffer keeps every character.
TEST(SearchPath, LongValueIsKeptWhole) {
  WString value;
  for (int i = 0; i < 3000; ++i) value += u"C:\\Tools\\Folder" + Widen(std::to_string(i)) + u";";
  value.pop_back();
  ASSERT_GT(value.size(), 32767u);
  const WString before = value;
  EXPECT_TRUE(AddSearchPathEntry(value, u"C:\\App"));
  EXPECT_EQ(value, before + u";C:\\App");
  EXPECT_FALSE(AddSearchPathEntry(value, u"c:\\tools\\folder2999"));
  EXPECT_TRUE(RemoveSearchPathEntry(value, u"C:\\App"));
  EXPECT_EQ(value, before);
}

TEST(SearchPath, EmptyFolderIsNeverAddedOrRemoved) {
  WString value = u"C:\\Windows;;D:\\x";
  EXPECT_FALSE(AddSearchPathEntry(value, u""));
  EXPECT_FALSE(RemoveSearchPathEntry(value, u"  "));
  EXPECT_EQ(value, u"C:\\Windows;;D:\\x");
}

}  // namespace
}  // namespace ks
