#include "core/existing_installation.h"

#include <gtest/gtest.h>

#include <string>

#include "core/command_line.h"

namespace ks {
namespace {

using namespace product_flag;

std::string Show(WStringView s) { return WideToUtf8(s); }

TEST(ExistingInstallationTest, BitnessRule) {
  struct Row {
    std::uint8_t bitness;
    bool system_64;
    bool fits;
  } const rows[] = {
      {1, true, true}, {1, false, false},  // needs a 64-bit system
      {2, true, false}, {2, false, true},  // needs a 32-bit system
      {0, true, true}, {0, false, true}, {3, false, true}, {255, true, true},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.fits, BitnessFits(r.bitness, r.system_64)) << int(r.bitness) << " " << r.system_64;
  }
  EXPECT_EQ(64, RequiredBits(1));
  EXPECT_EQ(32, RequiredBits(2));
}

TEST(ExistingInstallationTest, ExcludedSystems) {
  EXPECT_TRUE(SystemExcluded(32768 | 0x40000, 0x40000));  // Wine excluded as such
  EXPECT_TRUE(SystemExcluded(32768, 32768 | 4096));
  EXPECT_FALSE(SystemExcluded(524288, 32768 | 4096));
  EXPECT_FALSE(SystemExcluded(32768, 0));
}

TEST(ExistingInstallationTest, MasterProductVerdicts) {
  struct Row {
    bool installed;
    const char16_t* folder;
    const char16_t* version;
    const char16_t* min_version;
    bool into_master;
    MasterVerdict want;
  } const rows[] = {
      {false, u"C:\\M", u"2.0", u"", false, MasterVerdict::kMissing},
      {true, u"", u"2.0", u"", false, MasterVerdict::kOk},       // folder only matters for "<master>"
      {true, u"", u"2.0", u"", true, MasterVerdict::kMissing},
      {true, u"C:\\M", u"2.0", u"2.0", true, MasterVerdict::kOk},
      {true, u"C:\\M", u"1.9", u"2.0", false, MasterVerdict::kTooOld},
      {true, u"C:\\M", u"2.10", u"2.9", false, MasterVerdict::kOk},  // numbers, not text
      {true, u"C:\\M", u"", u"1.0", false, MasterVerdict::kTooOld},
  };
  for (const Row& r : rows) {
    MasterProduct m{r.installed, r.folder, r.version};
    EXPECT_EQ(r.want, JudgeMasterProduct(m, r.min_version, r.into_master)) << Show(r.version);
  }
  EXPECT_TRUE(IsMasterInstallPath(u"<Master>"));
  EXPECT_FALSE(IsMasterInstallPath(u"C:\\<master>"));
}

TEST(ExistingInstallationTest, DowngradeLimit) {
  EXPECT_TRUE(BelowDowngradeLimit("5.0", "4.9"));
  EXPECT_TRUE(BelowDowngradeLimit("  5.0\t", "4.9"));  // read trimmed
  EXPECT_FALSE(BelowDowngradeLimit("5.0", "5.0"));
  EXPECT_FALSE(BelowDowngradeLimit("5.0", "5.0.1"));
  EXPECT_FALSE(BelowDowngradeLimit("", "0.1"));
  EXPECT_FALSE(BelowDowngradeLimit("   ", "0.1"));
}

TEST(ExistingInstallationTest, UninstallFirstLimit) {
  struct Row {
    ProductFlags flags;
    const char16_t* limit;
    const char16_t* earlier;
    bool applies;
  } const rows[] = {
      {0, u"", u"1.0", false},
      {kUninstallEarlierFirst, u"", u"1.0", true},
      {kUninstallEarlierFirst, u"2.0", u"1.9", true},
      {kUninstallEarlierFirst, u"2.0", u"2.0", false},  // at the limit: not removed first
      {kUninstallEarlierFirst, u"2.0", u"3.1", false},
      {kUninstallEarlierFirst, u" ", u"3.1", true},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.applies, UninstallFirstApplies(r.flags, r.limit, r.earlier)) << Show(r.limit) << "/" << Show(r.earlier);
  }
}

TEST(ExistingInstallationTest, InstallTypeDecision) {
  struct Row {
    ProductFlags flags;
    const char16_t* earlier;
    const char16_t* now;
    InstallType type;
    int text;
  } const rows[] = {
      {0, u"1.0", u"2.0", InstallType::kReinstall, 3},  // versions not compared
      {kCompareVersions, u"", u"2.0", InstallType::kReinstall, 3},
      {kCompareVersions, u"1.0", u" ", InstallType::kReinstall, 3},
      {kCompareVersions, u"1.0", u"1.0", InstallType::kReinstall, 4},
      {kCompareVersions, u"0.9", u"1.0", InstallType::kUpgrade, 5},
      {kCompareVersions, u"1.1", u"1.0", InstallType::kDowngrade, 6},
      {kCompareVersions, u"1.9", u"1.10", InstallType::kUpgrade, 5},
  };
  for (const Row& r : rows) {
    const InstallTypeDecision want{r.type, r.text};
    EXPECT_EQ(want, DecideInstallType(r.flags, r.earlier, r.now)) << Show(r.earlier) << " -> " << Show(r.now);
  }
  EXPECT_EQ(u"Downgrade", WString(InstallTypeName(InstallType::kDowngrade)));
  EXPECT_EQ(u"New", WString(InstallTypeName(InstallType::kNew)));
}

TEST(ExistingInstallationTest, EarlierInstallQuestion) {
  EXPECT_EQ(u"Older:\r\nC:\\App\r\n\r\nGo on?", EarlierInstallQuestion(u"Older:", u"C:\\App", u"Go on?"));
  EXPECT_TRUE(AsksEarlierInstallQuestion(false, false, 0));
  EXPECT_FALSE(AsksEarlierInstallQuestion(true, false, 0));
  EXPECT_FALSE(AsksEarlierInstallQuestion(false, true, 0));
  EXPECT_FALSE(AsksEarlierInstallQuestion(false, false, kNoEarlierInstallQuestion));
}

TEST(ExistingInstallationTest, OldVersionWarning) {
  EXPECT_FALSE(OldVersionWarningApplies(0, u"1.0", ""));
  EXPECT_TRUE(OldVersionWarningApplies(kWarnOldVersion, u"1.0", ""));
  EXPECT_FALSE(OldVersionWarningApplies(kWarnOldVersion, u"", ""));
  EXPECT_TRUE(OldVersionWarningApplies(kWarnOldVersion, u"1.0", "2.0"));
  EXPECT_FALSE(OldVersionWarningApplies(kWarnOldVersion, u"2.0", "2.0"));
}

TEST(ExistingInstallationTest, HandOverCommandLine) {
  EXPECT_EQ(u"\"C:\\A\\unins.exe\" /a /u:\"A\" /r:\"`C:\\dl\\setup.exe` /d:`C:\\x y`\"",
            HandOverCommandLine(u"\"C:\\A\\unins.exe\" /a /u:\"A\"", u"\"C:\\dl\\setup.exe\" /d:\"C:\\x y\"", false));
  EXPECT_EQ(u"u.exe /r:\"setup.exe /silent\" /silent", HandOverCommandLine(u"u.exe", u"setup.exe /silent", true));
}

// The earlier uninstaller reads the line with the same grammar; its "/r:"
// must give back this installer's command line exactly.
TEST(ExistingInstallationTest, HandOverRoundTripsThroughTheCommandLine) {
  const WString own = u"\"C:\\Down loads\\setup.exe\" /n:\"My App\" /d:\"C:\\Program Files\\My App\"";
  for (bool silent : {false, true}) {
    const WString line = HandOverCommandLine(u"\"C:\\My App\\uninst.exe\" /u:\"My App\"", own, silent);
    const ParsedCommandLine parsed = ParseCommandLine(line);
    ASSERT_FALSE(parsed.usage.has_value()) << Show(parsed.usage->prefix);
    EXPECT_EQ(Show(own), Show(parsed.options.run_after));
    EXPECT_EQ(u"My App", parsed.options.uninstall_name);
    EXPECT_EQ(silent, parsed.options.silent);
  }
}

TEST(ExistingInstallationTest, RegistryValuePaths) {
  struct Row {
    const char16_t* path;
    bool ok;
    RegRoot root;
    const char16_t* key;
    const char16_t* value;
  } const rows[] = {
      {u"HKLM\\Software\\Maker\\Path", true, RegRoot::kLocalMachine, u"Software\\Maker", u"Path"},
      {u"hkcu\\Software\\Maker\\Dir", true, RegRoot::kCurrentUser, u"Software\\Maker", u"Dir"},
      {u"\\HKLM\\Software\\Maker\\Path", true, RegRoot::kLocalMachine, u"Software\\Maker", u"Path"},
      {u"HKEY_CURRENT_USER\\Software\\X\\Y", true, RegRoot::kCurrentUser, u"Software\\X", u"Y"},
      {u"HKLM\\Path", false, RegRoot::kLocalMachine, u"", u""},  // no key under the root
      {u"HKLM\\Software\\Maker\\", false, RegRoot::kLocalMachine, u"", u""},
      {u"HKLM\\", false, RegRoot::kLocalMachine, u"", u""},
      {u"HKCR\\Software\\X\\Y", false, RegRoot::kLocalMachine, u"", u""},
      {u"C:\\Program Files\\X", false, RegRoot::kLocalMachine, u"", u""},
  };
  for (const Row& r : rows) {
    RegistryValuePath p;
    ASSERT_EQ(r.ok, ParseRegistryValuePath(r.path, &p)) << Show(r.path);
    if (!r.ok) continue;
    EXPECT_EQ(r.root, p.root) << Show(r.path);
    EXPECT_EQ(Show(r.key), Show(p.key));
    EXPECT_EQ(Show(r.value), Show(p.value));
  }
  EXPECT_TRUE(IsRegistryInstallPath(u"hklm\\Software\\A\\B"));
  EXPECT_TRUE(IsRegistryInstallPath(u"HKCU\\A"));
  EXPECT_FALSE(IsRegistryInstallPath(u"\\HKLM\\A\\B"));
  EXPECT_FALSE(IsRegistryInstallPath(u"HKLMX\\A"));
}

TEST(ExistingInstallationTest, RegistryFolderMessages) {
  EXPECT_EQ(u"Failed to obtain installation path from \"HKLM\\S\\P\"", RegistryFolderMissingText(u"HKLM\\S\\P"));
  EXPECT_EQ(u"Installation path \"C:\\Gone\" obtained from \"HKCU\\S\\P\" does not exist.",
            RegistryFolderAbsentText(u"C:\\Gone", u"HKCU\\S\\P"));
}

TEST(ExistingInstallationTest, Folders) {
  struct Row {
    const char16_t* in;
    const char16_t* want;
  } const rows[] = {
      {u"C:\\App\\", u"C:\\App"},      {u" \"C:\\App Dir\\\" ", u"C:\\App Dir"},
      {u"C:\\", u"C:\\"},              {u"C:", u"C:\\"},
      {u"", u""},                      {u"\\\\srv\\share\\", u"\\\\srv\\share"},
  };
  for (const Row& r : rows) EXPECT_EQ(Show(r.want), Show(NormalizeFolderText(r.in))) << Show(r.in);

  EXPECT_EQ(u"C:\\Given", DefaultInstallFolder(u"C:\\Given", u"C:\\Setting"));
  EXPECT_EQ(u"C:\\Setting", DefaultInstallFolder(u"", u"C:\\Setting\\"));
  EXPECT_EQ(u"C:\\Setting\\", DefaultInstallFolder(u"", u"C:\\Setting\\\\"));  // only one goes
  EXPECT_EQ(u"D:\\", DefaultInstallFolder(u"D:\\", u"C:\\Setting"));
}

TEST(ExistingInstallationTest, UninstallKeyPathAndAnEmptyRecord) {
  EXPECT_FALSE(EarlierInstallation{}.usable());
  EXPECT_EQ(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My App", UninstallKeyPath(u"My App"));
}

}  // namespace
}  // namespace ks
