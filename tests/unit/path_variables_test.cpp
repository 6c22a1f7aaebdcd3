#include "engine/path_variables.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace ks {
namespace {

using PV = PathVariable;

// Environment expansion as the system does it, over a small table: known
// names are replaced, unknown ones stay with their percent signs.
std::optional<WString> FakeEnvironment(const WString& text) {
  static const std::map<WString, WString> env = {{u"path", u"C:\\bin"}, {u"user", u"ann"}};
  WString out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find(u'%', at);
    const std::size_t close = open == WString::npos ? WString::npos : text.find(u'%', open + 1);
    if (close == WString::npos) break;
    WString name = text.substr(open + 1, close - open - 1);
    for (auto& c : name) c = AsciiLower(c);
    const auto it = env.find(name);
    out += text.substr(at, open - at);
    if (it != env.end()) {
      out += it->second;
      at = close + 1;
    } else {
      out += u'%';
      at = open + 1;
    }
  }
  out += text.substr(std::min(at, text.size()));
  return out;
}

std::optional<WString> FailingEnvironment(const WString&) { return std::nullopt; }

using Values = std::map<PV, WString>;

WString Expand(WString text, const Values& values,
               const EnvironmentExpandFn& env = FakeEnvironment) {
  ExpandPathVariablesWith(
      text,
      [&](PV v) {
        const auto it = values.find(v);
        return it == values.end() ? WString() : it->second;
      },
      env);
  return text;
}

TEST(PathVariablesTest, FiftySixNamesInOrder) {
  const char* expected[] = {
      "%AppDataAllDir%", "%AppDataDir%", "%Automatic%", "%Bits%", "%BootDrive%", "%CommonDir%",
      "%CommonDir32%", "%CommonDir64%", "%DesktopAllDir%", "%DesktopDir%", "%DesktopShortcuts%",
      "%DeviceDir%", "%DocumentAllDir%", "%DocumentDir%", "%Existing%", "%FavoritesAllDir%",
      "%FavoritesDir%", "%FontDir%", "%Inetpub%", "%InstallDir%", "%InstallDrive%", "%InstallerDir%",
      "%InstallerDrive%", "%InstallerFilename%", "%InstallerFilepath%", "%Language%", "%MediaDir%",
      "%NetworkInstall%", "%OldVersion%", "%OldVersionMajor%", "%OldVersionMinor%", "%Portable%",
      "%ProductName%", "%CompanyName%", "%ProgramsDir%", "%ProgramsDir32%", "%ProgramsDir64%",
      "%SharedDir%", "%SMProgramsAllDir%", "%SMProgramsDir%", "%StartMenuAllDir%", "%StartMenuChosen%",
      "%StartMenuDir%", "%StartupAllDir%", "%StartupDir%", "%SystemDir%", "%Temp%", "%UninstallDir%",
      "%Version%", "%WinDir%", "%OS%", "%OSMajor%", "%OSMinor%", "%OSName%", "%OSDescription%",
      "%OSServer%"};
  static_assert(sizeof(expected) / sizeof(expected[0]) == kPathVariableCount);
  for (int i = 0; i < kPathVariableCount; ++i) {
    EXPECT_EQ(WideToUtf8(PathVariableName(static_cast<PV>(i))), expected[i]) << i;
  }
}

struct ExpandCase {
  const char* name;
  const char16_t* text;
  Values values;
  const char16_t* expected;
};

TEST(PathVariablesTest, Expansion) {
  const ExpandCase cases[] = {
      {"case ignored", u"%PROGRAMSDIR%\\App|%programsdir%", {{PV::kProgramsDir, u"C:\\PF"}},
       u"C:\\PF\\App|C:\\PF"},
      {"every occurrence", u"%WinDir%;%WinDir%", {{PV::kWinDir, u"C:\\W"}}, u"C:\\W;C:\\W"},
      {"an earlier value is searched by later passes", u"%InstallDir%\\%Temp%",
       {{PV::kInstallDir, u"D:\\%Temp%\\x"}, {PV::kTemp, u"T:\\tmp"}}, u"D:\\T:\\tmp\\x\\T:\\tmp"},
      {"a later value is not searched by earlier passes", u"%Temp%",
       {{PV::kTemp, u"%InstallDir%"}, {PV::kInstallDir, u"D:\\App"}}, u"%InstallDir%"},
      {"a value is not searched for its own name", u"%Language%",
       {{PV::kLanguage, u"%Language%!"}}, u"%Language%!"},
      {"old version pieces match exact case only", u"%OldVersionMajor%.%oldversionmajor%.%OLDVERSIONMINOR%",
       {{PV::kOldVersionMajor, u"2"}, {PV::kOldVersionMinor, u"5"}},
       u"2.%oldversionmajor%.%OLDVERSIONMINOR%"},
      {"names closed by their percent sign", u"%OldVersion%|%OldVersionMajor%|%ProgramsDir32%|%OS%|%OSName%",
       {{PV::kOldVersion, u"2.5"}, {PV::kOldVersionMajor, u"2"}, {PV::kProgramsDir32, u"P32"},
        {PV::kOS, u"48"}, {PV::kOSName, u"10"}},
       u"2.5|2|P32|48|10"},
      {"environment after the variables", u"%PATH%;%InstallDir%", {{PV::kInstallDir, u"%USER%"}},
       u"C:\\bin;ann"},
      {"unknown names stay", u"%NoSuchName%\\%", {}, u"%NoSuchName%\\%"},
      {"an empty value removes the name", u"[%SharedDir%]", {}, u"[]"},
      {"values are inserted verbatim", u"\"%ProductName%\"", {{PV::kProductName, u"My App 2"}},
       u"\"My App 2\""},
  };
  for (const ExpandCase& c : cases) {
    EXPECT_EQ(WideToUtf8(Expand(c.text, c.values)), WideToUtf8(c.expected)) << c.name;
  }
}

TEST(PathVariablesTest, FailedEnvironmentExpansionKeepsTheFirstStep) {
  EXPECT_EQ(Expand(u"%WinDir%\\%PATH%", {{PV::kWinDir, u"C:\\W"}}, FailingEnvironment), u"C:\\W\\%PATH%");
  EXPECT_EQ(Expand(u"abc", {}, [](const WString&) { return std::optional<WString>(WString()); }), u"");
}

TEST(PathVariablesTest, LongResultIsCutAtTheBuffer) {
  const WString value(40000, u'x');
  const WString out = Expand(u"%InstallDir%", {{PV::kInstallDir, value}});
  EXPECT_EQ(out.size(), kExpansionRoom - 1);
  const WString fits(kExpansionRoom - 1, u'y');
  EXPECT_EQ(Expand(u"%InstallDir%", {{PV::kInstallDir, fits}}), fits);
}

// ---- the values ----------------------------------------------------------------

class FakeSystem : public PathVariableSystem {
 public:
  WString installer = u"D:\\dl\\setup.exe";
  std::map<char16_t, bool> remote;
  SystemVersion version;

  WString Folder(SpecialFolder f) override {
    switch (f) {
      case SpecialFolder::kCommonDesktop: return u"C:\\Users\\Public\\Desktop";
      case SpecialFolder::kDesktop: return u"C:\\Users\\ann\\Desktop";
      case SpecialFolder::kCommonPrograms: return u"C:\\PD\\Programs";
      case SpecialFolder::kPrograms: return u"C:\\ann\\Programs";
      case SpecialFolder::kTemp: return u"C:\\Temp";
      default: return u"<folder " + Widen(std::to_string(static_cast<int>(f))) + u">";
    }
  }
  WString ProgramFiles(int mode) override { return mode == kFolderMode64 ? u"C:\\PF" : u"C:\\PF (x86)"; }
  WString CommonFiles(int mode) override { return mode == kFolderMode64 ? u"C:\\CF" : u"C:\\CF (x86)"; }
  char16_t BootDrive() override { return u'E'; }
  WString InstallerPath() override { return installer; }
  bool IsRemoteDrive(char16_t letter) override { return remote[letter]; }
  const SystemVersion& Version() override { return version; }
};

WString Value(PV v, const PathVariableInputs& in, FakeSystem& sys) {
  return PathVariableValue(v, in, sys);
}

TEST(PathVariablesTest, ValuesFromInputs) {
  PathVariableInputs in;
  FakeSystem sys;
  in.install_dir = u"d:\\Apps\\Prod";
  in.all_users = true;
  in.desktop_folder_name = u"Prod Tools";
  in.start_menu_name = u"Prod";
  EXPECT_EQ(Value(PV::kInstallDrive, in, sys), u"D:");
  EXPECT_EQ(Value(PV::kNetworkInstall, in, sys), u"0");
  EXPECT_EQ(Value(PV::kDesktopShortcuts, in, sys), u"C:\\Users\\Public\\Desktop\\Prod Tools");
  EXPECT_EQ(Value(PV::kStartMenuChosen, in, sys), u"C:\\PD\\Programs\\Prod");
  EXPECT_EQ(Value(PV::kProgramsDir, in, sys), u"C:\\PF (x86)");
  EXPECT_EQ(Value(PV::kCommonDir, in, sys), u"C:\\CF (x86)");
  EXPECT_EQ(Value(PV::kBootDrive, in, sys), u"E:");
  in.all_users = false;
  in.install_64bit = true;
  EXPECT_EQ(Value(PV::kDesktopShortcuts, in, sys), u"C:\\Users\\ann\\Desktop\\Prod Tools");
  EXPECT_EQ(Value(PV::kStartMenuChosen, in, sys), u"C:\\ann\\Programs\\Prod");
  EXPECT_EQ(Value(PV::kProgramsDir, in, sys), u"C:\\PF");
  EXPECT_EQ(Value(PV::kCommonDir, in, sys), u"C:\\CF");
  EXPECT_EQ(Value(PV::kProgramsDir32, in, sys), u"C:\\PF (x86)");
  EXPECT_EQ(Value(PV::kCommonDir64, in, sys), u"C:\\CF");
  sys.remote[u'D'] = true;
  EXPECT_EQ(Value(PV::kNetworkInstall, in, sys), u"1");
  in.install_dir = u"\\\\server\\share\\Prod";
  EXPECT_EQ(Value(PV::kNetworkInstall, in, sys), u"1");
  EXPECT_EQ(Value(PV::kInstallDrive, in, sys), u"");
}

TEST(PathVariablesTest, ExistingAndOldVersion) {
  PathVariableInputs in;
  FakeSystem sys;
  EXPECT_EQ(Value(PV::kExisting, in, sys), u"0");
  EXPECT_EQ(Value(PV::kOldVersion, in, sys), u"");
  EXPECT_EQ(Value(PV::kOldVersionMajor, in, sys), u"");
  EXPECT_EQ(Value(PV::kOldVersionMinor, in, sys), u"");
  in.existing = ExistingInstallation::kNewer;
  EXPECT_EQ(Value(PV::kExisting, in, sys), u"0") << "no uninstaller, no existing installation";
  in.creates_uninstaller = true;
  EXPECT_EQ(Value(PV::kExisting, in, sys), u"3");
  const struct {
    const char16_t* version;
    const char16_t* major;
    const char16_t* minor;
  } versions[] = {{u"2..5", u"2", u"5"}, {u"7", u"7", u""}, {u"1.2.3", u"1", u"2"}, {u".9.", u"9", u""}};
  for (const auto& v : versions) {
    in.old_version = v.version;
    EXPECT_EQ(Value(PV::kOldVersionMajor, in, sys), v.major) << WideToUtf8(v.version);
    EXPECT_EQ(Value(PV::kOldVersionMinor, in, sys), v.minor) << WideToUtf8(v.version);
  }
}

TEST(PathVariablesTest, InstallerPathPieces) {
  const struct {
    const char16_t* path;
    const char16_t* dir;
    const char16_t* drive;
    const char16_t* file;
  } cases[] = {
      {u"d:\\dl\\setup.exe", u"d:\\dl", u"D:", u"setup.exe"},
      {u"C:\\setup.exe", u"C:\\", u"C:", u"setup.exe"},
      {u"\\\\srv\\share\\setup.exe", u"\\\\srv\\share", u"", u"setup.exe"},
      {u"C:setup.exe", u"C:", u"C:", u"setup.exe"},
      {u"", u"", u"", u""},
  };
  PathVariableInputs in;
  for (const auto& c : cases) {
    FakeSystem sys;
    sys.installer = c.path;
    EXPECT_EQ(Value(PV::kInstallerDir, in, sys), c.dir) << WideToUtf8(c.path);
    EXPECT_EQ(Value(PV::kInstallerDrive, in, sys), c.drive) << WideToUtf8(c.path);
    EXPECT_EQ(Value(PV::kInstallerFilename, in, sys), c.file) << WideToUtf8(c.path);
    EXPECT_EQ(Value(PV::kInstallerFilepath, in, sys), c.path) << WideToUtf8(c.path);
  }
}

TEST(PathVariablesTest, SystemValues) {
  PathVariableInputs in;
  FakeSystem sys;
  sys.version.platform = kPlatformNt;
  sys.version.major = 10;
  sys.version.minor = 0;
  sys.version.build = 22000;
  sys.version.product_type = kProductWorkstation;
  sys.version.is_64bit = true;
  EXPECT_EQ(Value(PV::kOS, in, sys), u"56");
  EXPECT_EQ(Value(PV::kOSMajor, in, sys), u"10");
  EXPECT_EQ(Value(PV::kOSMinor, in, sys), u"0");
  EXPECT_EQ(Value(PV::kOSName, in, sys), u"11");
  EXPECT_EQ(Value(PV::kOSDescription, in, sys), u"Windows 11 x64");
  EXPECT_EQ(Value(PV::kOSServer, in, sys), u"0");
  EXPECT_EQ(Value(PV::kBits, in, sys), u"64");
  sys.version.product_type = kProductDomainController;
  sys.version.is_64bit = false;
  EXPECT_EQ(Value(PV::kOSServer, in, sys), u"1");
  EXPECT_EQ(Value(PV::kBits, in, sys), u"32");
  EXPECT_EQ(Value(PV::kOS, in, sys), u"60");
}

InstallSettings SomeSettings() {
  InstallSettings settings;
  settings.install_path = u"C:\\PF\\Prod";
  settings.product_name = u"Prod";
  settings.publisher = u"Maker";
  settings.display_version = u"2.5";
  settings.desktop_folder = u"Prod Desk";
  settings.product_start_menu = u"Prod Menu";
  settings.automatic = true;
  settings.bitness = 1;
  settings.shortcut_mode = 1;
  settings.product_flags = product_flag::kRegisterUninstaller;
  return settings;
}

TEST(PathVariablesTest, InstallationInputsBeforeAnyChoice) {
  const InstallSettings settings = SomeSettings();
  const PathVariableInputs in = InstallationInputs(settings, u"English", EarlierInstallation{}, InstallChoices{});
  EXPECT_EQ(in.install_dir, u"C:\\PF\\Prod");
  EXPECT_EQ(in.product_name, u"Prod");
  EXPECT_EQ(in.company_name, u"Maker");
  EXPECT_EQ(in.version, u"2.5");
  EXPECT_EQ(in.desktop_folder_name, u"Prod Desk");
  EXPECT_EQ(in.start_menu_name, u"Prod Menu");
  EXPECT_EQ(in.language, u"English");
  EXPECT_TRUE(in.automatic);
  EXPECT_TRUE(in.install_64bit);
  EXPECT_TRUE(in.all_users);
  EXPECT_TRUE(in.creates_uninstaller);
  EXPECT_EQ(in.existing, ExistingInstallation::kNone);
  EXPECT_EQ(in.old_version, u"");
  EXPECT_EQ(in.uninstall_dir, u"");
}

TEST(PathVariablesTest, InstallationInputsFollowTheChoices) {
  InstallSettings settings = SomeSettings();
  settings.bitness = 2;
  settings.shortcut_mode = 0;
  settings.product_flags = 0;
  InstallChoices choices;
  choices.install_dir = u"D:\\Chosen";
  choices.start_menu_name = u"Menu\\Chosen";
  choices.install_type = InstallType::kUpgrade;
  EarlierInstallation earlier;
  earlier.key_found = true;
  earlier.folder_exists = true;
  earlier.version = u"1.9";
  choices.uninstall_dir = u"D:\\Chosen\\Data";
  choices.shared_dir = u"C:\\CF\\Maker";
  choices.portable = true;
  const PathVariableInputs in = InstallationInputs(settings, u"Deutsch", earlier, choices);
  EXPECT_EQ(in.install_dir, u"D:\\Chosen");
  EXPECT_EQ(in.start_menu_name, u"Menu\\Chosen");
  EXPECT_EQ(in.existing, ExistingInstallation::kOlder);
  EXPECT_EQ(in.old_version, u"1.9");
  EXPECT_EQ(in.uninstall_dir, u"D:\\Chosen\\Data");
  EXPECT_EQ(in.shared_dir, u"C:\\CF\\Maker");
  EXPECT_TRUE(in.portable);
  EXPECT_FALSE(in.install_64bit);
  EXPECT_FALSE(in.all_users);
  EXPECT_FALSE(in.creates_uninstaller);
}

// The install path is expanded while the settings are read; the names,
// the bitness and the version read before it must already count.
TEST(PathVariablesTest, InstallPathSeesTheFieldsReadBeforeIt) {
  struct Case {
    const char* name;
    std::uint8_t bitness;
    const char16_t* expected;
  } const cases[] = {
      {"32-bit product", 0, u"C:\\PF (x86)\\Maker\\Prod 2.5"},
      {"64-bit product", 1, u"C:\\PF\\Maker\\Prod 2.5"},
  };
  for (const Case& c : cases) {
    InstallSettings written;
    written.product_name = u"Prod";
    written.publisher = u"Maker";
    written.display_version = u"2.5";
    written.bitness = c.bitness;
    written.install_path = u"%ProgramsDir%\\%CompanyName%\\%ProductName% %Version%";
    SettingsWriter w;
    ASSERT_TRUE(WriteInstallSettings(written, LocalizedTexts({u"English"}, {{u"title"}}), 0, w));
    const Bytes stream = w.Take();

    InstallSettings settings;
    LocalizedTexts texts;
    FakeSystem sys;
    SettingsInput input;
    input.expand_path_variables = [&](const WString& text) {
      WString expanded = text;
      ExpandPathVariables(expanded, InstallationInputs(settings, WString(), EarlierInstallation{}, InstallChoices{}), sys, FakeEnvironment);
      return expanded;
    };
    ASSERT_EQ(ReadInstallSettings(ByteReader(stream), input, {}, settings, texts), 0) << c.name;
    EXPECT_EQ(settings.install_path, c.expected) << c.name;
  }
}

TEST(PathVariablesTest, WholeExpansionOverInputsAndSystem) {
  PathVariableInputs in;
  FakeSystem sys;
  in.install_dir = u"D:\\%ProductName%";
  in.product_name = u"Prod";
  in.automatic = true;
  WString text = u"%installdir%\\%Temp%|%Automatic%|%Portable%|%PATH%";
  ExpandPathVariables(text, in, sys, FakeEnvironment);
  EXPECT_EQ(text, u"D:\\Prod\\C:\\Temp|1|0|C:\\bin");
}

}  // namespace
}  // namespace ks
