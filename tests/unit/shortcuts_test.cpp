#include "integration/shortcuts.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "captured_log.h"

namespace ks {
namespace {

namespace pf = product_flag;

// The system as plain data: what was saved, written and asked.
class FakeSystem : public ShortcutSystem {
 public:
  WString Folder(SpecialFolder folder) override {
    switch (folder) {
      case SpecialFolder::kDesktop: return u"C:\\U\\Desktop";
      case SpecialFolder::kCommonDesktop: return u"C:\\All\\Desktop";
      case SpecialFolder::kPrograms: return programs;
      case SpecialFolder::kCommonPrograms: return u"C:\\All\\Programs";
      case SpecialFolder::kStartup: return u"C:\\U\\Startup";
      case SpecialFolder::kCommonStartup: return u"C:\\All\\Startup";
      case SpecialFolder::kAppData: return u"C:\\U\\AppData";
      default: return u"C:\\Other";
    }
  }
  bool FolderExists(const WString& path) override { return existing.count(path) != 0; }
  std::uint32_t CreateFolder(const WString& path) override {
    made_folders.push_back(path);
    return folder_error;
  }
  std::uint32_t WriteFile(const WString& path, const Bytes& bytes) override {
    if (write_error) return write_error;
    files[path] = bytes;
    return 0;
  }
  SystemOutcome CreateLink(const LinkRequest& request) override {
    links.push_back(request);
    const auto failure = failing.find(request.path);
    if (failure != failing.end()) return failure->second;
    return SystemOutcome{true, 0, false};
  }
  void WriteFolderIcon(const WString& folder, const WString& icon) override { folder_icons[folder] = icon; }
  SystemOutcome PinToTaskbar(const WString& link) override {
    pinned.push_back(link);
    return pin_outcome;
  }
  void RemoveFile(const WString& path) override { removed.push_back(path); }
  WString TemporaryFolder() override { return u"C:\\Temp"; }
  WString ErrorText(std::uint32_t error) override { return u"error text " + Widen(std::to_string(error)); }

  WString programs = u"C:\\U\\Programs";
  std::set<WString> existing;
  std::uint32_t folder_error = 0, write_error = 0;
  std::map<WString, SystemOutcome> failing;
  SystemOutcome pin_outcome{true, 0, false};
  std::vector<LinkRequest> links;
  std::map<WString, Bytes> files;
  std::map<WString, WString> folder_icons;
  std::vector<WString> made_folders, pinned, removed;
};

WString TextOf(int n) {
  switch (n) {
    case 31: return u"Failed:";
    case 33: return u"Uninstall Prod";
    case 38: return u"Open %s";
    case 78: return u"Writing registry entries...";
    case 86: return u"Installation Log";
    default: return u"";
  }
}

class ShortcutStepTest : public ::testing::Test {
 protected:
  ShortcutStepTest() {
    log.set_sink(&sink);
    log.set_detailed(true);
    log.set_failure_label(u"Failed:");
    in.install_dir = u"C:\\Prod";
    in.uninstall_dir = u"C:\\Prod\\Data";
    in.start_menu_name = u"Prod Menu";
    in.product_name = u"Prod";
    in.uninstaller_path = u"C:\\Prod\\Data\\uninstall.exe";
    in.uninstall_arguments = u"/u:\"Prod\"";
    in.install_log_path = u"C:\\Prod\\Data\\Install.log";
    in.text = TextOf;
    in.replace_placeholders = [](WStringView text) {
      WString out(text);
      const std::size_t at = out.find(u"<product>");
      if (at != WString::npos) out.replace(at, 9, u"Prod");
      return out;
    };
    in.expand = test::InstallDirExpansion(u"C:\\Prod");
    in.set_status = [this](const WString& text) { statuses.push_back(text); };
    in.log = &log;
    in.uninstall = &data;
  }

  static ShortcutRecord Record(const char16_t* target, const char16_t* name) {
    ShortcutRecord r;
    r.target = target;
    r.name = name;
    r.from_archive = true;
    return r;
  }
  void Run() { CreateShortcuts(in, system); }
  std::vector<WString> LinkPaths() const {
    std::vector<WString> paths;
    for (const LinkRequest& l : system.links) paths.push_back(l.path);
    return paths;
  }

  test::CapturedLog sink;
  InstallLog log;
  UninstallData data;
  FakeSystem system;
  ShortcutStepInput in;
  std::vector<WString> statuses;
};

TEST_F(ShortcutStepTest, EachPlaceForAPerUserAndAnAllUsersProduct) {
  const struct {
    bool all_users;
    std::vector<WString> paths;
    unsigned start_menu_flags;
  } cases[] = {
      {false,
       {u"C:\\U\\Desktop\\App.LNK", u"C:\\U\\Programs\\Prod Menu\\App.LNK", u"C:\\U\\Startup\\App.LNK",
        u"C:\\Prod\\More\\App.LNK"},
       0},
      {true,
       {u"C:\\All\\Desktop\\App.LNK", u"C:\\All\\Programs\\Prod Menu\\App.LNK", u"C:\\All\\Startup\\App.LNK",
        u"C:\\Prod\\More\\App.LNK"},
       kLinkAllUsers},
  };
  for (const auto& c : cases) {
    system.links.clear();
    data.Clear();
    sink.text.clear();
    in.all_users = c.all_users;
    ShortcutRecord r = Record(u"%InstallDir%\\app.exe", u"App");
    r.on_desktop = r.in_start_menu = r.in_startup = 1;
    r.other_folder = "%InstallDir%\\More";
    in.records = {r};
    Run();
    EXPECT_EQ(LinkPaths(), c.paths);
    ASSERT_EQ(system.links.size(), 4u);
    for (const LinkRequest& l : system.links) EXPECT_EQ(l.target, u"C:\\Prod\\app.exe");
    EXPECT_EQ(system.links[0].flags, 0u) << "desktop shortcuts take no flags";
    EXPECT_EQ(system.links[1].flags, c.start_menu_flags);
    NString items;
    for (const WString& p : c.paths) items += WideToUtf8(p) + "\r\n";
    EXPECT_EQ(data.items(), items);
    const NString desktop = "Desktop Shortcut(App) >>> " + WideToUtf8(c.paths[0]) + "\r\n";
    EXPECT_EQ(sink.text.substr(0, desktop.size()), desktop);
    EXPECT_NE(sink.text.find("Start Menu Shortcut(App) >>> "), NString::npos);
    EXPECT_NE(sink.text.find("Startup Shortcut(App) >>> "), NString::npos);
    EXPECT_NE(sink.text.find("Shortcut(App) >>> C:\\Prod\\More\\App.LNK\r\n"), NString::npos);
  }
}

TEST_F(ShortcutStepTest, RecordFieldsBecomeTheLink) {
  system.existing = {u"C:\\Work"};
  ShortcutRecord full = Record(u"app.exe", u"Tools\\Deep\\Editor");
  full.in_start_menu = 1;
  full.arguments = u"~\"C:\\Pro\"\"g\\ed.exe\"   --new  ";
  full.icon = u"ed.ico";
  full.start_in = u"  \"C:\\Work\" ";
  full.window_state = 1;
  ShortcutRecord unnamed = Record(u"bin\\viewer.exe", u"");
  unnamed.on_desktop = unnamed.in_start_menu = 1;
  unnamed.start_in = u"C:\\Missing";
  unnamed.window_state = 2;
  ShortcutRecord placed = Record(u"relative.exe", u"Placed.lnk");  // a product file's: the target as placed
  placed.from_archive = false;
  placed.in_start_menu = 1;
  placed.icon = u"D:\\icons\\p.ico";
  in.records = {full, unnamed, placed};
  Run();

  ASSERT_EQ(system.links.size(), 4u);
  const LinkRequest& editor = system.links[0];
  EXPECT_EQ(editor.path, u"C:\\U\\Programs\\Prod Menu\\Tools\\Deep\\Editor.LNK");
  EXPECT_EQ(editor.target, u"C:\\Pro\"g\\ed.exe");
  EXPECT_EQ(editor.arguments, u"--new");
  EXPECT_EQ(editor.icon, u"C:\\Prod\\Data\\ed.ico");
  EXPECT_EQ(editor.start_in, u"C:\\Work");
  EXPECT_EQ(editor.flags, kLinkMinimized);
  // A desktop shortcut opens normally; the same record in the Start menu maximized.
  EXPECT_EQ(system.links[1].path, u"C:\\U\\Desktop\\Open viewer.exe.LNK");
  EXPECT_EQ(system.links[1].target, u"C:\\Prod\\bin\\viewer.exe");
  EXPECT_EQ(system.links[1].flags, 0u);
  EXPECT_EQ(system.links[1].start_in, u"C:\\Missing");
  EXPECT_EQ(system.links[2].flags, kLinkMaximized);
  EXPECT_EQ(system.links[3].path, u"C:\\U\\Programs\\Prod Menu\\Placed.lnk");
  EXPECT_EQ(system.links[3].target, u"relative.exe");
  EXPECT_EQ(system.links[3].start_in, u"C:\\Prod");
  EXPECT_EQ(system.links[3].icon, u"D:\\icons\\p.ico");
  EXPECT_EQ(sink.text.find("Shortcut \"Start In\" folder \"C:\\Work\""), NString::npos);
  EXPECT_NE(sink.text.find("Shortcut \"Start In\" folder \"C:\\Missing\" doesn't exist.\r\n"), NString::npos);
  // Every level the name makes is recorded, so that none is left behind.
  EXPECT_EQ(data.items().substr(0, data.items().find("C:\\U\\Desktop")),
            "C:\\U\\Programs\\Prod Menu\\Tools\\Deep\\Editor.LNK\r\n"
            "~C:\\U\\Programs\\Prod Menu\\Tools\\Deep\r\n"
            "~C:\\U\\Programs\\Prod Menu\\Tools\r\n");
}

TEST_F(ShortcutStepTest, KeptShortcutsAreMadeButNotRecorded) {
  ShortcutRecord r = Record(u"C:\\Prod\\a.exe", u"Sub\\A");
  r.on_desktop = r.in_start_menu = 1;
  r.keep = 1;
  in.records = {r};
  Run();
  EXPECT_EQ(system.links.size(), 2u);
  EXPECT_EQ(data.items(), "");
}

TEST_F(ShortcutStepTest, UninstallerAndLogShortcuts) {
  in.flags = pf::kRegisterUninstaller | pf::kUninstallerShortcutInStartMenu | pf::kUninstallerShortcutOnDesktop |
             pf::kUninstallerShortcutInDataFolder | pf::kInstallLogShortcut;
  in.archive_flags = kArchiveFlagUninstallerShortcutInInstallFolder;
  in.uninstaller_icon = {0, 0, 1, 0};
  Run();
  EXPECT_EQ(system.files.at(u"C:\\Prod\\Data\\uninstall.ico"), in.uninstaller_icon);
  EXPECT_EQ(LinkPaths(), (std::vector<WString>{u"C:\\U\\Programs\\Prod Menu\\Uninstall Prod.LNK",
                                                u"C:\\U\\Desktop\\Uninstall Prod.LNK",
                                                u"C:\\Prod\\Data\\Uninstall Prod.LNK",
                                                u"C:\\Prod\\Uninstall Prod.LNK",
                                                u"C:\\U\\Programs\\Prod Menu\\Installation Log.LNK"}));
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(system.links[i].target, u"C:\\Prod\\Data\\uninstall.exe");
    EXPECT_EQ(system.links[i].arguments, u"/u:\"Prod\"");
    EXPECT_EQ(system.links[i].icon, u"C:\\Prod\\Data\\uninstall.ico");
  }
  EXPECT_EQ(system.links[4].target, u"C:\\Prod\\Data\\Install.log");
  EXPECT_EQ(system.links[4].icon, u"");
  EXPECT_EQ(data.items().substr(0, 32), "C:\\Prod\\Data\\uninstall.ico\r\nC:\\U");

  // Without an uninstaller there are none of its shortcuts, and a failed icon leaves them without one.
  system.links.clear();
  system.write_error = 5;
  sink.text.clear();
  Run();
  const NString failed = "Failed to install uninstaller icon to C:\\Prod\\Data\\uninstall.ico\r\nerror text 5\r\n";
  EXPECT_EQ(sink.text.substr(0, failed.size()), failed);
  EXPECT_EQ(system.links[0].icon, u"") << "the uninstaller's own icon then";
  in.flags = pf::kUninstallerShortcutOnDesktop;
  system.links.clear();
  Run();
  EXPECT_TRUE(system.links.empty());
}

TEST_F(ShortcutStepTest, DesktopFolderWithItsIcon) {
  in.desktop_folder_name = u"Prod Tools";
  in.desktop_folder_icon = {0, 0, 1, 0, 7};
  ShortcutRecord a = Record(u"C:\\Prod\\a.exe", u"A");
  a.on_desktop = 1;
  a.window_state = 1;
  ShortcutRecord b = Record(u"C:\\Prod\\b.exe", u"B");
  b.on_desktop = 1;
  in.records = {a, b};
  Run();
  EXPECT_EQ(system.made_folders, (std::vector<WString>{u"C:\\U\\Desktop\\Prod Tools"}));
  EXPECT_EQ(system.files.at(u"C:\\Prod\\Data\\Desktop Icon.ico"), in.desktop_folder_icon);
  EXPECT_EQ(system.folder_icons.at(u"C:\\U\\Desktop\\Prod Tools"), u"C:\\Prod\\Data\\Desktop Icon.ico");
  EXPECT_EQ(LinkPaths(), (std::vector<WString>{u"C:\\U\\Desktop\\Prod Tools\\A.LNK",
                                                u"C:\\U\\Desktop\\Prod Tools\\B.LNK"}));
  EXPECT_EQ(system.links[0].flags, kLinkMinimized) << "in the desktop folder the record's window state holds";
  EXPECT_EQ(data.items(),
            "C:\\U\\Desktop\\Prod Tools\\Desktop.ini\r\n~C:\\U\\Desktop\\Prod Tools\r\n"
            "C:\\Prod\\Data\\Desktop Icon.ico\r\nC:\\U\\Desktop\\Prod Tools\\A.LNK\r\n"
            "C:\\U\\Desktop\\Prod Tools\\B.LNK\r\n");
  EXPECT_NE(sink.text.find("Desktop Folder Shortcut(A) >>> C:\\U\\Desktop\\Prod Tools\\A.LNK\r\n"), NString::npos);

  // A folder that cannot be made is logged, and its shortcuts are tried all the same.
  system = FakeSystem();
  system.folder_error = 5;
  system.write_error = 5;
  sink.text.clear();
  Run();
  EXPECT_EQ(sink.text.substr(0, 71),
            "Failed to create folder C:\\U\\Desktop\\Prod Tools: error text 5\r\n\r\nFailed");
  EXPECT_NE(sink.text.find("Failed to create Desktop shortcut folder icon \"C:\\Prod\\Data\\Desktop Icon.ico\"\r\n"),
            NString::npos);
  EXPECT_TRUE(system.folder_icons.empty());
  EXPECT_EQ(system.links.size(), 2u);
}

TEST_F(ShortcutStepTest, FailuresGoToTheStepLogOrTheSummary) {
  system.failing[u"C:\\U\\Programs\\Prod Menu\\A.LNK"] = SystemOutcome{false, 5, false};
  system.failing[u"C:\\U\\Desktop\\A.LNK"] = SystemOutcome{false, 0, false};
  system.failing[u"C:\\U\\Startup\\A.LNK"] = SystemOutcome{false, 3, false};
  ShortcutRecord r = Record(u"C:\\Prod\\a.exe", u"A");
  r.on_desktop = r.in_start_menu = r.in_startup = 1;
  ShortcutRecord empty = Record(u"", u"Nothing");
  empty.other_folder = "C:\\Elsewhere";
  in.records = {r, empty};
  Run();
  EXPECT_EQ(sink.text,
            "Failed: C:\\U\\Desktop\\A.LNK\r\n"
            "Failed: C:\\U\\Programs\\Prod Menu\\A.LNK\r\nCode 5: error text 5\r\n\r\n"
            "Failed: C:\\Elsewhere\\Nothing.LNK\r\nCode 87: error text 87\r\n\r\n");
  EXPECT_EQ(log.failures(), u"Failed: C:\\U\\Startup\\A.LNK\r\nCode 3: error text 3\r\n\r\n");
  EXPECT_EQ(data.items(), "");
  EXPECT_EQ(system.links.size(), 3u) << "a shortcut without a target is not tried";
}

TEST_F(ShortcutStepTest, ProgressTexts) {
  ShortcutRecord r = Record(u"C:\\Prod\\a.exe", u"A");
  r.on_desktop = 1;
  in.records = {r};
  Run();
  EXPECT_EQ(statuses, (std::vector<WString>{u"C:\\U\\Desktop\\A.LNK", u"Writing registry entries..."}));
  statuses.clear();
  in.flags = pf::kNoShortcutProgressText;
  Run();
  EXPECT_EQ(statuses, (std::vector<WString>{u"Writing registry entries..."}));
}

TEST_F(ShortcutStepTest, RemovableDriveRootShortcut) {
  in.install_dir = u"E:\\Prod";
  in.removable_drive = true;
  in.archive_flags = kArchiveFlagNoShortcutsOnRemovable;
  in.root_command = u"\"%InstallDir%\\start here.exe\"  -portable ";
  in.root_name = u"Start <product>";
  ShortcutRecord r = Record(u"E:\\Prod\\a.exe", u"A");
  r.on_desktop = 1;
  in.records = {r};
  Run();
  ASSERT_EQ(system.links.size(), 1u) << "ordinary shortcuts are suppressed on a removable drive";
  const LinkRequest& root = system.links[0];
  EXPECT_EQ(root.path, u"E:\\Start Prod.lnk");
  EXPECT_EQ(root.target, u"C:\\Prod\\start here.exe");
  EXPECT_EQ(root.arguments, u"-portable");
  EXPECT_EQ(root.start_in, u"E:\\Prod");
  EXPECT_EQ(root.icon, u"");
  EXPECT_EQ(root.flags, 0u);
  EXPECT_EQ(sink.text, "Root Shortcut(Start Prod) >>> E:\\Start Prod.lnk\r\n");
  EXPECT_EQ(data.items(), "E:\\Start Prod.lnk\r\n");

  const struct {
    SystemOutcome outcome;
    const char16_t* summary;
  } failures[] = {
      {{false, 5, false}, u"Failed: E:\\Start Prod.lnk\r\nCode 5: error text 5\r\n\r\n"},
      {{false, 0, true}, u"Crash while installing root shortcut.\r\n"},
  };
  for (const auto& f : failures) {
    system.failing[u"E:\\Start Prod.lnk"] = f.outcome;
    log.ReplaceFailures(WString());
    data.Clear();
    Run();
    EXPECT_EQ(log.failures(), f.summary);
    EXPECT_EQ(data.items(), "");
  }
  // Not on a removable drive: no root shortcut.
  in.removable_drive = false;
  system.links.clear();
  Run();
  EXPECT_EQ(LinkPaths(), (std::vector<WString>{u"C:\\U\\Desktop\\A.LNK"}));
}

TEST_F(ShortcutStepTest, TaskbarPin) {
  in.pin_command = u"\"%InstallDir%\\app.exe\"  --pinned ";
  in.pin_supported = true;
  Run();
  ASSERT_EQ(system.links.size(), 1u);
  EXPECT_EQ(system.links[0].path, u"C:\\Temp\\Prod.lnk");
  EXPECT_EQ(system.links[0].target, u"C:\\Prod\\app.exe");
  EXPECT_EQ(system.links[0].arguments, u"--pinned");
  EXPECT_EQ(system.pinned, (std::vector<WString>{u"C:\\Temp\\Prod.lnk"}));
  EXPECT_EQ(system.removed, system.pinned);
  EXPECT_EQ(sink.text, "Pin to taskbar(C:\\Prod\\app.exe): OK\r\n");
  EXPECT_EQ(data.items(), "C:\\U\\AppData\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\Prod.lnk\r\n");
  EXPECT_EQ(statuses.front(), u"Pin to taskbar");

  // The system's refusal is logged with its text; a name of the settings is used.
  in.pin_name = u"<product> Pinned";
  system.pin_outcome = SystemOutcome{false, 1155, false};
  sink.text.clear();
  Run();
  EXPECT_EQ(system.links.back().path, u"C:\\Temp\\Prod Pinned.lnk");
  EXPECT_EQ(sink.text, "Pin to taskbar(C:\\Prod\\app.exe): FAIL\r\nerror text 1155\r\n");

  system.pin_outcome = SystemOutcome{false, 0, true};
  Run();
  EXPECT_EQ(log.failures(), u"Crash while pinning to taskbar.\r\n");
  log.ReplaceFailures(WString());
  system.failing[u"C:\\Temp\\Prod Pinned.lnk"] = SystemOutcome{false, 5, false};
  Run();
  EXPECT_EQ(log.failures(), u"Failed: C:\\Temp\\Prod Pinned.lnk\r\nCode 5: error text 5\r\n\r\n");

  // Outside Windows 7 to 8.1 nothing is tried and nothing logged.
  in.pin_supported = false;
  system = FakeSystem();
  sink.text.clear();
  Run();
  EXPECT_TRUE(system.links.empty());
  EXPECT_EQ(sink.text, "");
}

TEST_F(ShortcutStepTest, StartMenuCopyForTheUserOnOldWindows) {
  in.all_users = true;
  in.start_menu_copy_for_user = true;
  ShortcutRecord r = Record(u"C:\\Prod\\a.exe", u"Sub\\A");
  r.in_start_menu = 1;
  in.records = {r};
  Run();
  EXPECT_EQ(LinkPaths(), (std::vector<WString>{u"C:\\All\\Programs\\Prod Menu\\Sub\\A.LNK",
                                                u"C:\\U\\Programs\\Prod Menu\\Sub\\A.LNK"}));
  EXPECT_EQ(system.links[1].flags, 0u);
  EXPECT_EQ(data.items(),
            "C:\\All\\Programs\\Prod Menu\\Sub\\A.LNK\r\n~C:\\All\\Programs\\Prod Menu\\Sub\r\n"
            "C:\\U\\Programs\\Prod Menu\\Sub\\A.LNK\r\n~C:\\U\\Programs\\Prod Menu\\Sub\r\n");
  // The same folder for both: one shortcut.
  system = FakeSystem();
  system.programs = u"C:\\All\\Programs";
  Run();
  EXPECT_EQ(system.links.size(), 1u);
}

TEST(ShortcutRulesTest, LinkPathsAndFolders) {
  EXPECT_EQ(LinkFilePath(u"C:\\a\\App"), u"C:\\a\\App.LNK");
  EXPECT_EQ(LinkFilePath(u"C:\\a\\App.Lnk"), u"C:\\a\\App.Lnk");
  EXPECT_EQ(LinkFilePath(u"C:\\x.lnkfolder\\App"), u"C:\\x.lnkfolder\\App");
  EXPECT_EQ(LinkWorkingFolder(u" C: "), u"C:\\");
  EXPECT_EQ(LinkWorkingFolder(u"C:\\Work"), u"C:\\Work");
  EXPECT_EQ(LinkWorkingFolder(u"  "), u"");
  EXPECT_EQ(LinkShowCommand(kLinkMinimized | kLinkMaximized), kLinkShowMinimized);
  EXPECT_EQ(LinkShowCommand(kLinkMaximized | kLinkAllUsers), kLinkShowMaximized);
  EXPECT_EQ(LinkShowCommand(kLinkAllUsers), 0);
  EXPECT_TRUE(FolderIconNeedsUnicode(u"C:\\\u00e9.ico"));
  EXPECT_FALSE(FolderIconNeedsUnicode(u"C:\\e.ico"));
}

TEST(ShortcutRulesTest, CommandLines) {
  WString program, rest;
  EXPECT_FALSE(SplitProgramFromArguments(u"\"x\" y", program, rest));
  ASSERT_TRUE(SplitProgramFromArguments(u"~\"unterminated", program, rest));
  EXPECT_EQ(program, u"unterminated");
  EXPECT_EQ(rest, u"");
  SplitCommandLine(u"  run.exe   -a -b ", program, rest);
  EXPECT_EQ(program, u"run.exe");
  EXPECT_EQ(rest, u"-a -b");
  SplitCommandLine(u"\"C:\\my app\\run.exe\"-x", program, rest);
  EXPECT_EQ(program, u"C:\\my app\\run.exe");
  EXPECT_EQ(rest, u"-x");
  SplitPinCommand(u"C:\\my app\\run.exe -x", program, rest);
  EXPECT_EQ(program, u"C:\\my app\\run.exe -x");
  EXPECT_EQ(rest, u"");
}

TEST(ShortcutRulesTest, SystemsThatTakeThePinAndTheUserCopy) {
  const struct {
    std::uint32_t platform, major, minor;
    bool pin, copy;
  } cases[] = {
      {kPlatformNt, 6, 0, false, false},  {kPlatformNt, 6, 1, true, false},  {kPlatformNt, 6, 3, true, false},
      {kPlatformNt, 10, 0, false, false}, {kPlatformWin9x, 4, 0, false, true}, {kPlatformWin9x, 4, 10, false, true},
      {kPlatformWin9x, 4, 90, false, false},
  };
  for (const auto& c : cases) {
    SystemVersion v;
    v.platform = c.platform;
    v.major = c.major;
    v.minor = c.minor;
    EXPECT_EQ(TakesTaskbarPin(v), c.pin) << c.major << "." << c.minor;
    EXPECT_EQ(CopiesStartMenuForUser(v), c.copy) << c.major << "." << c.minor;
  }
}

}  // namespace
}  // namespace ks
