#include "engine/special_folders.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace ks {
namespace {

using RR = RegistryRoot;
using SF = SpecialFolder;

// Every method answers from a table; anything not set answers empty.
class FakeMethods : public FolderMethods {
 public:
  std::map<int, WString> shell;
  std::map<KnownFolder, WString> known;
  std::map<std::pair<RR, WString>, WString> shell_values;
  std::map<WString, WString> current_version;
  std::map<WString, WString> environment;
  WString windows, system_dir, temp_path, user;
  std::set<WString> existing;
  std::vector<WString> created;
  NString www_root, boot_dir;
  bool is_64bit = false;
  std::uint32_t platform = 2;
  int temp_queries = 0;

  WString ShellFolder(int id) override { return Find(shell, id); }
  WString KnownFolderPath(KnownFolder id) override { return Find(known, id); }
  WString ShellFoldersValue(RR root, const WString& name) override {
    return Find(shell_values, std::make_pair(root, name));
  }
  WString CurrentVersionValue(const WString& name) override { return Find(current_version, name); }
  WString EnvironmentValue(const WString& name) override { return Find(environment, name); }
  WString WindowsFolder() override { return windows; }
  WString SystemDirectory() override { return system_dir; }
  WString SystemTempPath() override {
    ++temp_queries;
    return temp_path;
  }
  bool FolderExists(const WString& path) override { return existing.count(path) != 0; }
  void CreateFolderTree(const WString& path) override {
    created.push_back(path);
    existing.insert(path);
  }
  WString UserName() override { return user; }
  NString WwwRootValue() override { return www_root; }
  NString BootDirValue() override { return boot_dir; }
  WString ExpandEnvironment(const WString& text) override {
    WString out = text;
    const WString name = u"%SystemRoot%";
    const std::size_t at = out.find(name);
    if (at != WString::npos) out.replace(at, name.size(), windows);
    return out;
  }
  bool Is64BitOs() override { return is_64bit; }
  std::uint32_t Platform() override { return platform; }

 private:
  template <class M, class K>
  static WString Find(const M& map, const K& key) {
    const auto it = map.find(key);
    return it == map.end() ? WString() : it->second;
  }
};

// One method of a chain: what it sets up, and the answer the resolver must
// then give when no earlier method answers.
struct Step {
  std::function<void(FakeMethods&)> set;
  WString expected;
};

Step Shell(int id, const char16_t* path) {
  return {[=](FakeMethods& m) { m.shell[id] = path; }, path};
}
// Shell Folders values carry a trailing backslash that the resolver removes.
Step Value(RR root, const char16_t* name, const char16_t* path) {
  return {[=](FakeMethods& m) { m.shell_values[{root, name}] = WString(path) + u"\\"; }, path};
}
Step ShellJoined(int id, const char16_t* path, const char16_t* expected) {
  return {[=](FakeMethods& m) { m.shell[id] = path; }, expected};
}
Step Windows(const char16_t* expected) {
  return {[](FakeMethods& m) { m.windows = u"C:\\Win"; }, expected};
}

struct Chain {
  const char* name;
  SF folder;
  std::vector<Step> steps;
};

std::vector<Chain> Chains() {
  const RR hklm = RR::kLocalMachine, hkcu = RR::kCurrentUser;
  const Step common_files = Shell(csidl::kProgramFilesCommon, u"P:\\Common");
  return {
      {"CommonAppData", SF::kCommonAppData,
       {Shell(35, u"A:\\shell"), Value(hklm, u"Common AppData", u"A:\\value"), common_files}},
      {"AppData", SF::kAppData,
       {Shell(26, u"B:\\shell"), Value(hkcu, u"AppData", u"B:\\value"), common_files}},
      {"CommonDesktop", SF::kCommonDesktop,
       {Shell(25, u"D:\\all"), Value(hklm, u"Common Desktop", u"D:\\allv"), Shell(16, u"D:\\user")}},
      {"Desktop", SF::kDesktop,
       {Shell(16, u"D:\\shell"), Value(hkcu, u"Desktop", u"D:\\value"), Windows(u"C:\\Win\\Desktop")}},
      {"CommonDocuments", SF::kCommonDocuments,
       {Shell(46, u"E:\\all"), Value(hklm, u"Common Documents", u"E:\\allv"), Shell(5, u"E:\\user")}},
      {"Documents", SF::kDocuments,
       {Shell(5, u"E:\\shell"), Value(hkcu, u"Personal", u"E:\\value"), {[](FakeMethods&) {}, u"c:\\My Documents"}}},
      {"CommonFavorites", SF::kCommonFavorites,
       {Shell(31, u"F:\\all"), Value(hklm, u"Common Favorites", u"F:\\allv"), Shell(6, u"F:\\user")}},
      {"Favorites", SF::kFavorites,
       {Shell(6, u"F:\\shell"), Value(hkcu, u"Favorites", u"F:\\value"), Windows(u"C:\\Win\\Favorites")}},
      {"Fonts", SF::kFonts,
       {Shell(20, u"G:\\shell"), Value(hkcu, u"Fonts", u"G:\\value"), Windows(u"C:\\Win\\Fonts")}},
      {"CommonStartMenu", SF::kCommonStartMenu,
       {Shell(22, u"H:\\all"), Value(hklm, u"Common Start Menu", u"H:\\allv"),
        {[](FakeMethods& m) { m.shell_values[{RR::kLocalMachine, u"Common Startup"}] = u"H:\\SM\\Programs\\Startup\\"; },
         u"H:\\SM"},
        Shell(11, u"H:\\user")}},
      {"StartMenu", SF::kStartMenu,
       {Shell(11, u"H:\\shell"), Value(hkcu, u"Start Menu", u"H:\\value"), Windows(u"C:\\Win\\Start Menu")}},
      {"CommonPrograms", SF::kCommonPrograms,
       {Shell(23, u"I:\\all"), Value(hklm, u"Common Programs", u"I:\\allv"),
        {[](FakeMethods& m) { m.shell_values[{RR::kLocalMachine, u"Common Startup"}] = u"I:\\SM\\Progs\\Startup"; },
         u"I:\\SM\\Progs"},
        Shell(2, u"I:\\user")}},
      {"Programs", SF::kPrograms,
       {Shell(2, u"I:\\shell"), Value(hkcu, u"Programs", u"I:\\value"), ShellJoined(11, u"I:\\SM", u"I:\\SM\\Programs"),
        Windows(u"C:\\Win\\Start Menu\\Programs")}},
      {"CommonStartup", SF::kCommonStartup,
       {Shell(24, u"J:\\all"), Value(hklm, u"Common Startup", u"J:\\allv"), Shell(7, u"J:\\user")}},
      {"Startup", SF::kStartup,
       {Shell(7, u"J:\\shell"), Value(hkcu, u"Startup", u"J:\\value"), ShellJoined(2, u"J:\\Progs", u"J:\\Progs\\StartUp"),
        Windows(u"C:\\Win\\Start Menu\\Programs\\StartUp")}},
      {"System", SF::kSystem,
       {{[](FakeMethods& m) { m.system_dir = u"C:\\Sys"; }, u"C:\\Sys"}, Windows(u"C:\\Win\\System32")}},
      {"System32Bit", SF::kSystem32Bit,
       {Shell(41, u"C:\\SysWow"), {[](FakeMethods& m) { m.system_dir = u"C:\\Sys"; }, u"C:\\Sys"}}},
      {"Media", SF::kMedia,
       {{[](FakeMethods& m) { m.current_version[u"MediaPath"] = u"M:\\Media\\"; }, u"M:\\Media"},
        Windows(u"C:\\Win\\Media"), {[](FakeMethods&) {}, u"Media"}}},
      {"Device", SF::kDevice,
       {{[](FakeMethods& m) { m.current_version[u"DevicePath"] = u"N:\\Inf"; }, u"N:\\Inf"},
        Windows(u"C:\\Win\\INF"), {[](FakeMethods&) {}, u"INF"}}},
      {"Profile", SF::kProfile,
       {Shell(40, u"U:\\me"),
        {[](FakeMethods& m) { m.windows = u"C:\\Win"; m.user = u"ann"; }, u"C:\\Win\\Profiles\\ann"}}},
  };
}

// With the methods from `first` on present, the resolver answers with the
// method at `first`: earlier ones win, and a missing one falls through.
TEST(SpecialFoldersTest, EveryChainTriesItsMethodsInOrder) {
  for (const Chain& chain : Chains()) {
    for (std::size_t first = 0; first < chain.steps.size(); ++first) {
      FakeMethods m;
      for (std::size_t i = chain.steps.size(); i-- > first;) chain.steps[i].set(m);
      SpecialFolders folders(m);
      EXPECT_EQ(WideToUtf8(folders.Get(chain.folder)), WideToUtf8(chain.steps[first].expected))
          << chain.name << ", first method present: " << first;
    }
  }
}

TEST(SpecialFoldersTest, EverythingMissingGivesEmptyOrTheFixedText) {
  FakeMethods m;
  SpecialFolders folders(m);
  EXPECT_EQ(folders.Get(SF::kDesktop), u"");
  EXPECT_EQ(folders.Get(SF::kCommonDesktop), u"");
  EXPECT_EQ(folders.Get(SF::kWindows), u"");
  EXPECT_EQ(folders.Get(SF::kProfile), u"");
  EXPECT_EQ(folders.Get(SF::kDocuments), u"c:\\My Documents");
  EXPECT_EQ(folders.Get(SF::kCommonDocuments), u"c:\\My Documents");
  EXPECT_EQ(folders.ProgramFiles(kFolderModeDefault), u"c:\\Program Files");
  EXPECT_EQ(folders.CommonFiles(kFolderModeDefault), u"c:\\Program Files\\Common Files");
  EXPECT_EQ(folders.Get(SF::kAppData), u"c:\\Program Files\\Common Files");
  EXPECT_EQ(folders.Get(SF::kInetpubParent), u"c:\\Inetpub");
  EXPECT_EQ(folders.BootDrive(), u'C');
}

struct ModeCase {
  const char* name;
  bool is_64bit;
  int mode;
  std::function<void(FakeMethods&)> set;
  const char16_t* program_files;
  const char16_t* common_files;
};

void X86Defaults(FakeMethods& m) {
  m.shell[csidl::kProgramFiles] = u"C:\\Program Files (x86)";
  m.shell[csidl::kProgramFilesCommon] = u"C:\\Program Files (x86)\\Common Files";
}

TEST(SpecialFoldersTest, ProgramFilesModes) {
  const auto known64 = [](FakeMethods& m) {
    X86Defaults(m);
    m.known[KnownFolder::kProgramFilesX64] = u"K:\\PF64";
    m.known[KnownFolder::kProgramFilesCommonX64] = u"K:\\CF64";
    m.environment[u"ProgramW6432"] = u"E:\\PF64";
    m.environment[u"CommonProgramW6432"] = u"E:\\CF64";
  };
  const auto env64 = [](FakeMethods& m) {
    X86Defaults(m);
    m.environment[u"ProgramW6432"] = u"E:\\PF64";
    m.environment[u"CommonProgramW6432"] = u"E:\\CF64";
  };
  const auto registry_only = [](FakeMethods& m) {
    m.current_version[u"ProgramFilesDir"] = u"R:\\Prog (x86) (x86)\\";
    m.current_version[u"CommonFilesDir"] = u"R:\\Common (x86)";
  };
  const ModeCase cases[] = {
      {"32-bit Windows, mode 1", false, 1, known64, u"C:\\Program Files (x86)", u"C:\\Program Files (x86)\\Common Files"},
      {"32-bit Windows, mode 2", false, 2, known64, u"C:\\Program Files (x86)", u"C:\\Program Files (x86)\\Common Files"},
      {"32-bit Windows, mode 3", false, 3, known64, u"C:\\Program Files (x86)", u"C:\\Program Files (x86)\\Common Files"},
      {"32-bit Windows, mode 4", false, 4, known64, u"C:\\Program Files (x86)", u"C:\\Program Files (x86)\\Common Files"},
      {"64-bit, mode 1 is the default", true, 1, known64, u"C:\\Program Files (x86)", u"C:\\Program Files (x86)\\Common Files"},
      {"64-bit, mode 3", true, 3, known64, u"C:\\Program Files (x86)", u"C:\\Program Files (x86)\\Common Files"},
      {"64-bit, mode 2, known folder", true, 2, known64, u"K:\\PF64", u"K:\\CF64"},
      {"64-bit, mode 4 is mode 2", true, 4, known64, u"K:\\PF64", u"K:\\CF64"},
      {"64-bit, mode 2, environment", true, 2, env64, u"E:\\PF64", u"E:\\CF64"},
      {"64-bit, mode 2, x86 removed", true, 2, X86Defaults, u"C:\\Program Files", u"C:\\Program Files\\Common Files"},
      {"only the first x86 goes", true, 2, registry_only, u"R:\\Prog (x86)", u"R:\\Common"},
      {"default from the registry", true, 3, registry_only, u"R:\\Prog (x86) (x86)", u"R:\\Common (x86)"},
  };
  for (const ModeCase& c : cases) {
    FakeMethods m;
    m.is_64bit = c.is_64bit;
    c.set(m);
    SpecialFolders folders(m);
    EXPECT_EQ(WideToUtf8(folders.ProgramFiles(c.mode)), WideToUtf8(c.program_files)) << c.name;
    EXPECT_EQ(WideToUtf8(folders.CommonFiles(c.mode)), WideToUtf8(c.common_files)) << c.name;
  }
}

TEST(SpecialFoldersTest, DefaultProgramFilesChainOrder) {
  FakeMethods m;
  m.current_version[u"ProgramFilesDir"] = u"R:\\PF";
  m.current_version[u"CommonFilesDir"] = u"R:\\CF";
  {
    SpecialFolders folders(m);
    EXPECT_EQ(folders.ProgramFiles(3), u"R:\\PF");
    EXPECT_EQ(folders.CommonFiles(3), u"R:\\CF");
  }
  m.known[KnownFolder::kProgramFiles] = u"K:\\PF";
  m.known[KnownFolder::kProgramFilesCommon] = u"K:\\CF";
  {
    SpecialFolders folders(m);
    EXPECT_EQ(folders.ProgramFiles(3), u"K:\\PF");
    EXPECT_EQ(folders.CommonFiles(3), u"K:\\CF");
  }
  m.shell[csidl::kProgramFiles] = u"S:\\PF";
  m.shell[csidl::kProgramFilesCommon] = u"S:\\CF";
  SpecialFolders folders(m);
  EXPECT_EQ(folders.ProgramFiles(3), u"S:\\PF");
  EXPECT_EQ(folders.CommonFiles(3), u"S:\\CF");
  // Without any of its own methods, common files lie under program files.
  m.shell.erase(csidl::kProgramFilesCommon);
  m.known.erase(KnownFolder::kProgramFilesCommon);
  m.current_version.erase(u"CommonFilesDir");
  EXPECT_EQ(folders.CommonFiles(3), u"S:\\PF\\Common Files");
}

TEST(SpecialFoldersTest, SystemFolderFallbackByPlatform) {
  FakeMethods m;
  m.windows = u"C:\\WINDOWS";
  m.platform = 1;
  EXPECT_EQ(SpecialFolders(m).Get(SF::kSystem), u"C:\\WINDOWS\\System");
  m.platform = 2;
  EXPECT_EQ(SpecialFolders(m).Get(SF::kSystem), u"C:\\WINDOWS\\System32");
}

struct TempCase {
  const char* name;
  WString temp_path;
  std::set<WString> existing;
  WString expected;
  bool creates_c_temp;
};

TEST(SpecialFoldersTest, TemporaryFolder) {
  const TempCase cases[] = {
      {"system temp exists", u"C:\\Users\\a\\Temp\\", {u"C:\\Users\\a\\Temp\\"}, u"C:\\Users\\a\\Temp", false},
      {"windows temp", u"X:\\gone\\", {u"C:\\Win\\temp"}, u"C:\\Win\\temp", false},
      {"no system answer", u"", {u"C:\\Win\\temp"}, u"C:\\Win\\temp", false},
      {"c:\\temp created", u"X:\\gone\\", {}, u"c:\\temp", true},
  };
  for (const TempCase& c : cases) {
    FakeMethods m;
    m.windows = u"C:\\Win";
    m.temp_path = c.temp_path;
    m.existing = c.existing;
    SpecialFolders folders(m);
    EXPECT_EQ(WideToUtf8(folders.Get(SF::kTemp)), WideToUtf8(c.expected)) << c.name;
    EXPECT_EQ(m.created, c.creates_c_temp ? std::vector<WString>{u"c:\\temp"} : std::vector<WString>{})
        << c.name;
  }
}

TEST(SpecialFoldersTest, TemporaryFolderIsResolvedOnce) {
  FakeMethods m;
  m.temp_path = u"T:\\one\\";
  m.existing = {u"T:\\one\\", u"T:\\two\\"};
  SpecialFolders folders(m);
  EXPECT_EQ(folders.Get(SF::kTemp), u"T:\\one");
  m.temp_path = u"T:\\two\\";
  EXPECT_EQ(folders.Get(SF::kTemp), u"T:\\one");
  EXPECT_EQ(m.temp_queries, 1);
}

TEST(SpecialFoldersTest, DevicePath) {
  const struct {
    const char16_t* value;
    const char16_t* windows;
    const char16_t* expected;
  } cases[] = {
      {u"%SystemRoot%\\inf;D:\\Drivers", u"C:\\WINDOWS", u"C:\\WINDOWS\\inf"},
      {u"D:\\Drivers;%SystemRoot%\\inf", u"C:\\WINDOWS", u"D:\\Drivers"},
      {u"%SystemRoot%\\inf\\%SystemRoot%", u"C:\\W", u"C:\\W\\inf\\%SystemRoot%"},
      {u"E:\\Inf\\", u"C:\\W", u"E:\\Inf"},
      {u";D:\\Drivers", u"C:\\W", u"C:\\W\\INF"},
      {u"", u"", u"INF"},
  };
  for (const auto& c : cases) {
    FakeMethods m;
    m.current_version[u"DevicePath"] = c.value;
    m.windows = c.windows;
    EXPECT_EQ(WideToUtf8(SpecialFolders(m).Get(SF::kDevice)), WideToUtf8(c.expected))
        << WideToUtf8(c.value);
  }
}

TEST(SpecialFoldersTest, InetpubIsTheWebRootsParent) {
  const struct {
    NString value;
    const char16_t* expected;
  } cases[] = {
      {"", u"c:\\Inetpub"},
      {"D:\\Web\\wwwroot", u"D:\\Web"},
      {"D:\\Web\\wwwroot\\", u"D:\\Web"},
      {"%SystemRoot%\\site", u"C:\\W"},
      {"D:\\", u"D:"},
  };
  for (const auto& c : cases) {
    FakeMethods m;
    m.windows = u"C:\\W";
    m.www_root = c.value;
    EXPECT_EQ(WideToUtf8(SpecialFolders(m).Get(SF::kInetpubParent)), WideToUtf8(c.expected)) << c.value;
  }
}

TEST(SpecialFoldersTest, BootDrive) {
  const struct {
    NString value;
    char16_t expected;
  } cases[] = {
      {"D:\\", u'D'}, {"e:", u'E'}, {"z:\\boot", u'Z'}, {"", u'C'}, {"D", u'C'},
      {"1:\\", u'C'}, {"\\\\srv", u'C'}, {"DD:", u'C'},
  };
  for (const auto& c : cases) {
    FakeMethods m;
    m.boot_dir = c.value;
    EXPECT_EQ(SpecialFolders(m).BootDrive(), c.expected) << c.value;
  }
}

TEST(SpecialFoldersTest, PathPieces) {
  EXPECT_EQ(JoinPath(u"C:\\a", u"b"), u"C:\\a\\b");
  EXPECT_EQ(JoinPath(u"C:\\", u"b"), u"C:\\b");
  EXPECT_EQ(JoinPath(u"C:\\a", u"\\b"), u"C:\\a\\b");
  EXPECT_EQ(JoinPath(u"C:\\a", u""), u"C:\\a");
  EXPECT_EQ(JoinPath(u"", u"b"), u"");
  EXPECT_EQ(TrimRegistryFolder(u"C:\\"), u"C:\\");
  EXPECT_EQ(TrimRegistryFolder(u"C:\\a\\"), u"C:\\a");
  EXPECT_EQ(FolderLevelsUp(u"C:\\a\\b\\c", 2), u"C:\\a");
  EXPECT_EQ(FolderLevelsUp(u"Startup", 1), u"");
  EXPECT_EQ(RemoveX86Suffix(u"C:\\Program Files (X86)"), u"C:\\Program Files (X86)");
}

}  // namespace
}  // namespace ks
