#include "integration/win/registry_step.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "records/install_log.h"
#include "lib/win/reg_key.h"
#include "lib/win/wide.h"
#include "scratch_folder.h"
#include "records/uninstall_data.h"

namespace ks {
namespace {

// The log of the step; a CapturedStepLog keeps its lines while it lives.
InstallLog g_log;

class CapturedStepLog : public StepLogSink {
 public:
  CapturedStepLog() { g_log.set_sink(this); }
  ~CapturedStepLog() override { g_log.set_sink(nullptr); }
  void Append(NStringView utf8) override { text.append(utf8); }
  NString text;
};

RegistryStepInput Input() {
  RegistryStepInput in;
  in.log = &g_log;
  return in;
}

// Records below a key of the test's own in HKEY_CURRENT_USER.
class RegistryStep : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = u"Software\\KsRegistryStepTest_" + Widen(std::to_string(GetCurrentProcessId())) + u"_" +
           Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
    DeleteKeyTree(HKEY_CURRENT_USER, key_, 0);
    g_log.ReplaceFailures(WString());
  }
  void TearDown() override {
    DeleteKeyTree(HKEY_CURRENT_USER, key_, 0);
    g_log.ReplaceFailures(WString());
  }
  WString Path(const char16_t* sub = u"") const { return u"\\HKCU\\" + key_ + sub; }
  bool Exists(const char16_t* sub, const RegName& name) {
    RegKey key;
    return key.Open(HKEY_CURRENT_USER, key_ + sub, kRegOpenOnly, KEY_READ) != kRegFailed && key.ValueExists(name);
  }
  bool KeyExists(const char16_t* sub) {
    RegKey key;
    return key.Open(HKEY_CURRENT_USER, key_ + sub, kRegOpenOnly, KEY_READ) != kRegFailed;
  }
  WString Text(const RegName& name) {
    RegKey key;
    WString text;
    if (key.Open(HKEY_CURRENT_USER, key_, kRegOpenOnly, KEY_READ) == kRegFailed || !key.GetString(name, &text))
      return u"<missing>";
    return text;
  }

  WString key_;
};

TEST_F(RegistryStep, RecordsAtInstallationAndTheirRemoval) {
  {
    RegKey key;
    ASSERT_NE(key.Open(HKEY_CURRENT_USER, key_, 0, kRegAccess64), kRegFailed);
    ASSERT_TRUE(key.SetString("Keep", WStringView(u"old")));
    ASSERT_TRUE(key.SetString("Gone", WStringView(u"x")));
  }
  const WString p = Path();
  RegistryStepInput in = Input();
  in.view64 = true;
  in.expand = [](const WString& text) { return text == u"%X%" ? WString(u"expanded") : text; };
  in.entries = p + u"\\Sub\r\n" +
               p + u",Sz,1,%X%,1\r\n" +
               p + u",Expand,2,%X%,3\r\n" +
               p + u",Keep,1,new,6\r\n" +
               p + u",Made,1,made,7\r\n" +
               p + u",Gone,1,,4\r\n" +
               p + u",Three,1\r\n" +
               u"HKCU\\" + key_ + u",NoRoot,1,x,1\r\n" +
               p + u"\\Sub,Inner,4,-1,3";
  UninstallData data;
  CapturedStepLog log;
  WriteRegistryEntries(in, data);

  EXPECT_EQ(Text("Sz"), u"expanded");
  EXPECT_EQ(Text("Expand"), u"%X%");
  EXPECT_EQ(Text("Keep"), u"old");
  EXPECT_EQ(Text("Made"), u"made");
  EXPECT_FALSE(Exists(u"", "Gone"));
  EXPECT_TRUE(Exists(u"\\Sub", "Inner"));
  EXPECT_EQ(g_log.failures(), u"Illegal registry entry: " + p + u",Three,1\r\n");
  // The path without its leading backslash fails (161) and is logged with
  // the system's text; nothing else is.
  const NString lead = "Failed to create registry key: HKCU\\" + WideToUtf8(key_) + "\r\n";
  EXPECT_EQ(log.text.substr(0, lead.size()), lead);
  EXPECT_GT(log.text.size(), lead.size() + 2);
  EXPECT_EQ(log.text.find("\r\n", lead.size()), log.text.size() - 2) << log.text;
  EXPECT_EQ(data.registry(), in.entries);

  // The uninstaller deletes the values of codes 2, 3, 5 and 7 and then the
  // recorded key, now empty, although it was recorded before its value.
  RemoveRegistryRecords(data.registry(), true);
  EXPECT_TRUE(Exists(u"", "Sz"));
  EXPECT_FALSE(Exists(u"", "Expand"));
  EXPECT_TRUE(Exists(u"", "Keep"));
  EXPECT_FALSE(Exists(u"", "Made"));
  EXPECT_FALSE(KeyExists(u"\\Sub"));
  EXPECT_TRUE(KeyExists(u""));
}

TEST_F(RegistryStep, AppPathsRegistrationAndItsRemoval) {
  test::ScratchFolder folder(u"ks_app_paths_");
  const WString program = u"ksstep" + Widen(std::to_string(GetCurrentProcessId())) + u".exe";
  CreateDirectoryW(W(folder.path() + u"\\bin"), nullptr);
  HANDLE file = CreateFileW(W(folder.path() + u"\\bin\\" + program), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  const WString app_key = u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + program;
  DeleteKeyTree(HKEY_LOCAL_MACHINE, app_key, 0);

  RegistryStepInput in = Input();
  in.install_dir = folder.path();
  in.app_path = u"bin\\" + program;
  in.entries = Path() + u",A,1,a,1";  // no line break at its end
  UninstallData data;
  {
    CapturedStepLog log;
    WriteRegistryEntries(in, data);
    EXPECT_EQ(log.text, "Registering exe path...OK\r\n");
  }
  RegKey key;
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, app_key, kRegOpenOnly, KEY_READ), kRegOpened);
  WString value;
  EXPECT_TRUE(key.GetString(u"", &value));
  EXPECT_EQ(value, folder.path() + u"\\bin\\" + program);
  EXPECT_TRUE(key.GetString("Path", &value));
  EXPECT_EQ(value, folder.path() + u"\\bin");
  key.Close();
  const WString k = u"\\HKLM\\" + app_key;
  EXPECT_EQ(data.registry(), in.entries + u"\r\n" + k + u",,,,2\r\n" + k + u",Path,,,2\r\n" + k + u"\r\n");

  {
    // A reinstallation finds its own registration: the new uninstall data
    // removes it all the same.
    UninstallData again;
    CapturedStepLog log;
    WriteRegistryEntries(in, again);
    EXPECT_EQ(log.text, "Registering exe path...a registration already exists\r\n");
    EXPECT_EQ(again.registry(), data.registry());
  }
  {
    // Another product's program of the same name keeps its registration.
    RegKey other;
    ASSERT_NE(other.Open(HKEY_LOCAL_MACHINE, app_key, kRegOpenOnly, kRegAccessOwnView), kRegFailed);
    ASSERT_TRUE(other.SetString(u"", WStringView(u"D:\\Other\\" + program)));
    other.Close();
    UninstallData foreign;
    CapturedStepLog log;
    WriteRegistryEntries(in, foreign);
    EXPECT_EQ(log.text, "Registering exe path...a registration already exists\r\n");
    EXPECT_EQ(foreign.registry(), in.entries);
    ASSERT_NE(other.Open(HKEY_LOCAL_MACHINE, app_key, kRegOpenOnly, kRegAccessOwnView), kRegFailed);
    ASSERT_TRUE(other.SetString(u"", WStringView(folder.path() + u"\\bin\\" + program)));
  }
  {
    RegistryStepInput missing = in;
    missing.app_path = u"nothere.exe";
    UninstallData unused;
    CapturedStepLog log;
    WriteRegistryEntries(missing, unused);
    EXPECT_EQ(log.text, "Registering exe path...FAILED, \"" + WideToUtf8(folder.path()) +
                            "\\nothere.exe\" does not exist.\r\n");
  }
  {
    // Nothing at all on a removable drive when the archive asks so; without
    // the flag only App Paths is left out there.
    RegistryStepInput removable = in;
    removable.removable_drive = true;
    UninstallData unused;
    CapturedStepLog log;
    WriteRegistryEntries(removable, unused);
    EXPECT_EQ(log.text, "");
    EXPECT_EQ(unused.registry(), in.entries);
    removable.skip_on_removable = true;
    UninstallData none;
    WriteRegistryEntries(removable, none);
    EXPECT_EQ(none.registry(), u"");
  }

  // App Paths is written in the engine's own view, the 32-bit one on either
  // build; the uninstaller looks there for a product without the 64-bit flag.
  RemoveRegistryRecords(data.registry(), false);
  EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, app_key, kRegOpenOnly, KEY_READ), kRegFailed);
}

TEST_F(RegistryStep, ProductKeyInEveryHive) {
  RegistryStepInput in = Input();
  in.product_registry = key_.substr(9) + u"\\Product";  // below "Software\"
  UninstallData data;
  WriteRegistryEntries(in, data);
  EXPECT_TRUE(KeyExists(u"\\Product"));
  RegKey key;
  EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, key_ + u"\\Product", kRegOpenOnly, KEY_READ | KEY_WOW64_32KEY), kRegOpened);
  key.Close();
  DeleteKeyTree(HKEY_LOCAL_MACHINE, key_, KEY_WOW64_32KEY);
  for (const WString& hive : UserHives()) DeleteKeyTree(HKEY_USERS, hive + u"\\" + key_, 0);
  EXPECT_EQ(g_log.failures(), u"");
}

}  // namespace
}  // namespace ks
