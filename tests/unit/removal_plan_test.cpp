#include "uninstall/removal_plan.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(RemovalPlanTest, ItemKindsByFirstCharacter) {
  const struct {
    NString line;
    ItemAction action;
    NString text;
  } cases[] = {
      {"C:\\P\\a.exe", ItemAction::kFile, "C:\\P\\a.exe"},
      {"|C:\\P\\\xc3\xa9.txt", ItemAction::kFile, "|C:\\P\\\xc3\xa9.txt"},
      {"~C:\\P\\sub", ItemAction::kFolder, "C:\\P\\sub"},
      {"!\\HKLM\\\\Software\\P\\V", ItemAction::kRegistryValue, "\\HKLM\\\\Software\\P\\V"},
      {"^\\HKCU\\\\Software\\P", ItemAction::kRegistryKey, "\\HKCU\\\\Software\\P"},
      {"*\\HKLM\\\\Software\\P", ItemAction::kRegistryKey64, "\\HKLM\\\\Software\\P"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyItem(c.line), c.action) << c.line;
    EXPECT_EQ(ItemText(c.line), c.text) << c.line;
  }
}

TEST(RemovalPlanTest, ProgressOfTheItemWalk) {
  const struct {
    std::size_t walked, count;
    int progress;
  } cases[] = {{0, 10, 11}, {5, 10, 51}, {9, 10, 83}, {10, 10, 92}, {1, 3, 38}, {2, 3, 65}, {0, 0, 11}, {7, 3, 92}};
  for (const auto& c : cases) EXPECT_EQ(ItemProgress(c.walked, c.count), c.progress) << c.walked << "/" << c.count;
}

TEST(RemovalPlanTest, SafeAbsolutePaths) {
  const struct {
    WString path;
    bool safe;
  } cases[] = {
      {u"C:\\P\\a.txt", true},  {u"c:\\P\\sub\\", true},   {u"\\\\srv\\share\\P\\a", true},
      {u"C:\\", false},          {u"C:", false},             {u"P\\a.txt", false},
      {u"\\P\\a.txt", false},    {u"C:P\\a", false},         {u"C:\\P\\..\\Windows", false},
      {u"C:\\P\\.\\a", false},   {u"C:\\P\\*.*", false},     {u"C:\\P\\a?", false},
      {u"C:\\P\\\\a", false},    {u"\\\\srv\\share", false}, {u"\\\\?\\C:\\P\\a", false},
      {u"C:\\P\\a:stream", false}, {u"C:\\P\\a\nb", false}, {u"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSafeAbsolutePath(c.path), c.safe) << std::string(c.path.begin(), c.path.end());
  }
}

TEST(RemovalPlanTest, ParentFolders) {
  EXPECT_EQ(ParentFolder(u"C:\\P\\a\\b"), u"C:\\P\\a");
  EXPECT_EQ(ParentFolder(u"C:\\P\\a\\"), u"C:\\P");
  EXPECT_EQ(ParentFolder(u"C:\\P"), u"");
  EXPECT_EQ(ParentFolder(u"\\\\srv\\share\\P"), u"");
  EXPECT_EQ(ParentFolder(u"\\\\srv\\share\\P\\q"), u"\\\\srv\\share\\P");
}

TEST(RemovalPlanTest, FoldersSortLongestFirstKeepingOrderOfEqualLengths) {
  std::vector<WString> folders = {u"C:\\P\\a", u"C:\\P\\a\\bb\\c", u"C:\\P\\b", u"C:\\P\\a\\bb"};
  SortFoldersLongestFirst(folders);
  EXPECT_EQ(folders, (std::vector<WString>{u"C:\\P\\a\\bb\\c", u"C:\\P\\a\\bb", u"C:\\P\\a", u"C:\\P\\b"}));
}

TEST(RemovalPlanTest, FolderChains) {
  const std::vector<WString> guarded = {u"C:\\Windows", u"C:\\Program Files"};
  const struct {
    const char* name;
    WString folder, install_dir;
    std::vector<WString> chain;
  } cases[] = {
      {"climbs to the installation folder", u"C:\\Program Files\\P\\a\\b", u"C:\\Program Files\\P",
       {u"C:\\Program Files\\P\\a\\b", u"C:\\Program Files\\P\\a"}},
      {"installation folder itself stays", u"C:\\Program Files\\P\\", u"C:\\Program Files\\P", {}},
      {"letter case and trailing backslash", u"c:\\program files\\p\\A\\", u"C:\\Program Files\\P\\",
       {u"c:\\program files\\p\\A"}},
      {"outside: only the folder itself", u"D:\\Data\\Maker\\P", u"C:\\Program Files\\P", {u"D:\\Data\\Maker\\P"}},
      {"a parent of the installation folder", u"C:\\Program Files", u"C:\\Program Files\\P", {}},
      {"drive root", u"D:\\", u"C:\\P", {}},
      {"the Windows folder", u"C:\\WINDOWS", u"C:\\P", {}},
      {"inside the Windows folder is fine", u"C:\\Windows\\P", u"C:\\P", {u"C:\\Windows\\P"}},
      {"damaged item", u"..\\..", u"C:\\P", {}},
      {"installation folder inside a guarded one", u"C:\\Windows\\P\\x", u"C:\\Windows\\P", {u"C:\\Windows\\P\\x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderRemovalChain(c.folder, c.install_dir, guarded), c.chain) << c.name;
}

TEST(RemovalPlanTest, FolderChainStopsAtFiftyLevels) {
  WString install = u"C:\\P";
  WString folder = install;
  for (int i = 0; i < 60; ++i) folder += u"\\d";
  const std::vector<WString> chain = FolderRemovalChain(folder, install, {});
  ASSERT_EQ(chain.size(), 50u);
  EXPECT_EQ(chain.front(), folder);
  EXPECT_EQ(chain.back().size(), install.size() + 11 * 2);
}

TEST(RemovalPlanTest, RemovableKeys) {
  const struct {
    WString key;
    bool removable;
  } cases[] = {
      {u"Software\\Maker\\P", true},          {u"Software\\Maker", true},
      {u"Software", false},                    {u"Software\\", false},
      {u"", false},                            {u"software\\microsoft", false},
      {u"Software\\Classes\\", false},        {u"Software\\Classes\\.pfile", true},
      {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", false},
      {u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\P", true},
      {u"Software\\\\Microsoft", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsRemovableKeyPath(c.key), c.removable) << std::string(c.key.begin(), c.key.end());
  }
}

TEST(RemovalPlanTest, ValuePathsSplitAtTheLastBackslash) {
  WString key, name;
  ASSERT_TRUE(SplitValuePath(u"\\HKLM\\Software\\P\\Value", key, name));
  EXPECT_EQ(key, u"\\HKLM\\Software\\P");
  EXPECT_EQ(name, u"Value");
  ASSERT_TRUE(SplitValuePath(u"\\HKCU\\Software\\P\\", key, name));
  EXPECT_EQ(name, u"");  // the default value
  EXPECT_FALSE(SplitValuePath(u"NoBackslash", key, name));
}

TEST(RemovalPlanTest, AutoCloseRulesMatchInFileOrderByPass) {
  std::vector<AutoCloseRule> rules(4);
  rules[0] = {u"Notepad", u"", "Editor", 2, 4};
  rules[1] = {u"*Frame", u"", "Frame", 0, 2};
  rules[2] = {u"", u"*Report", "Any report", 3, 2};
  rules[3] = {u"notepad", u"", "Editor again", 1, 2};
  const struct {
    WString window_class, title;
    std::uint8_t pass;
    int rule;
  } cases[] = {
      {u"Notepad", u"a.txt", 4, 0},     {u"NOTEPAD", u"a.txt", 2, 3},  {u"MainFrameX", u"", 2, 1},
      {u"mainframe", u"", 2, -1},       {u"X", u"Year Report", 2, 2},  {u"X", u"report", 2, -1},
      {u"MainFrame", u"Report", 4, -1}, {u"Other", u"Title", 6, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FirstMatchingAutoCloseRule(rules, c.pass, c.window_class, c.title), c.rule)
        << std::string(c.window_class.begin(), c.window_class.end());
  }
}

TEST(RemovalPlanTest, SupportOfferAddresses) {
  EXPECT_TRUE(IsInternetAddress("http://example.org/help"));
  EXPECT_TRUE(IsInternetAddress(" HTTPS://example.org"));
  EXPECT_TRUE(IsInternetAddress("www.example.org"));
  EXPECT_FALSE(IsInternetAddress(""));
  EXPECT_FALSE(IsInternetAddress("C:\\help.html"));
  EXPECT_FALSE(IsInternetAddress("mailto:help@example.org"));
}

TEST(RemovalPlanTest, RewrittenFileKeepsWhatIsLeft) {
  const NString original =
      "C:\\P\\a.txt\r\n~C:\\P\\sub\r\n!\\HKLM\\\\Software\\P\\V\r\n"
      "\r\n\r\n[Strings]\r\n~58\r\nCould not delete\r\n~999\r\nTitle\r\n"
      "\r\n\r\n[AutoClose]\r\nCls,Title,Prog,2\r\n"
      "\r\n\r\n[Associations]\r\n.p~!~P.File~!~open~!~\r\n"
      "\r\n\r\n[Firewall]\r\napp.exe;Name;1;0\r\n"
      "\r\n\r\n[INF]\r\nC:\\W\\inf\\oem1.inf\r\n"
      "\r\n\r\n[MSI]\r\n\"C:\\P\\x.msi\",2\r\n"
      "\r\n\r\n[Registry2]\r\n\\HKLM\\\\Software\\P\r\n"
      "\r\n\r\n[ConditionalDelete]\r\n*.tmp,0,,8\r\nlog\\*.log,4,0,9\r\n";
  const UninstallDataContent content = ParseUninstallDataFile(original);
  ASSERT_EQ(content.deletions.size(), 2u);
  const UninstallData left =
      RemainingUninstallData(content, {"C:\\P\\a.txt", "~C:\\P\\sub"}, content.msi,
                             {content.deletions[1]});
  const NString rewritten = BuildUninstallDataFile(left, ContentTexts(content));
  const NString strings_start = "C:\\P\\a.txt\r\n~C:\\P\\sub\r\n\r\n\r\n[Strings]\r\n";
  EXPECT_EQ(rewritten.substr(0, strings_start.size()), strings_start);
  EXPECT_NE(rewritten.find("~58\r\nCould not delete\r\n"), NString::npos);
  EXPECT_NE(rewritten.find("~999\r\nTitle\r\n"), NString::npos);
  EXPECT_NE(rewritten.find("[AutoClose]\r\nCls,Title,Prog,2\r\n"), NString::npos);
  EXPECT_NE(rewritten.find("[MSI]\r\n\"C:\\P\\x.msi\",2\r\n"), NString::npos);
  EXPECT_NE(rewritten.find("[Registry2]\r\n\\HKLM\\\\Software\\P\r\n"), NString::npos);
  EXPECT_NE(rewritten.find("[ConditionalDelete]\r\nlog\\*.log,4,0,9\r\n"), NString::npos);
  EXPECT_EQ(rewritten.find("*.tmp"), NString::npos);
  EXPECT_EQ(rewritten.find("[Associations]"), NString::npos);
  EXPECT_EQ(rewritten.find("[Firewall]"), NString::npos);
  EXPECT_EQ(rewritten.find("[INF]"), NString::npos);
  EXPECT_EQ(rewritten.find("\\HKLM\\\\Software\\P\\V"), NString::npos);  // registry items are done
  // What is written reads back as the same remainder.
  const UninstallDataContent again = ParseUninstallDataFile(rewritten);
  EXPECT_EQ(again.items, (std::vector<NString>{"C:\\P\\a.txt", "~C:\\P\\sub"}));
  EXPECT_EQ(again.auto_close, content.auto_close);
  EXPECT_EQ(again.registry, content.registry);
}

}  // namespace
}  // namespace ks
