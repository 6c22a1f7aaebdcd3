// Registry entries written by a real installer under Wine: the product key,
// the archive's records of each type and code in the view the product flags
// choose, "\HKAU\" in every user's hive, an illegal record, the merge file
// through regedit, and the App Paths registration found again by a second
// installation. Only the 64-bit engine runs here; `reg query /reg:32` and
// `/reg:64` look at both views.

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

constexpr ProductFlags kRegisterUninstaller = 0x4;
constexpr ProductFlags kAlwaysWriteLog = 0x40;
constexpr ProductFlags kRegistry64 = 0x100000000ull;

bool KeyExists(const std::string& key, RegView view) {
  const WineResult r = RunWine({"reg", "query", key, view == RegView::k64 ? "/reg:64" : "/reg:32"}, 60);
  return r.started && !r.timed_out && r.status == 0;
}

// Wine's `reg query` shows REG_QWORD data as "(null)"; `reg export` writes
// it as hex(b). The export of `key` as UTF-8 text, "" when it failed.
std::string RegExport(const std::string& key, RegView view) {
  const std::string file = ScratchFolder() + "\\export.reg";
  const WineResult r =
      RunWine({"reg", "export", key, file, view == RegView::k64 ? "/reg:64" : "/reg:32", "/y"}, 60);
  const std::optional<std::string> bytes = ReadPrefixFile(file);
  if (!r.started || r.status != 0 || !bytes) return {};
  WString text;
  for (std::size_t i = 0; i + 1 < bytes->size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>((*bytes)[i]) |
                                  (static_cast<unsigned char>((*bytes)[i + 1]) << 8));
  return WideToUtf8(text);
}

// reg.exe now and then fails under a loaded host; the values it prepares
// are only the test's starting point.
bool Prepare(const std::string& key, const std::string& name, RegView view) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (RegAddString(key, name, "x", view)) return true;
  }
  return false;
}

// The loaded user hives as `reg query HKU` lists them, without ".Default"
// and the "_Classes" hives.
std::vector<std::string> UserHives() {
  const WineResult r = RunWine({"reg", "query", "HKU"}, 60);
  std::vector<std::string> hives;
  std::istringstream in(r.out);
  std::string line;
  const std::string lead = "HKEY_USERS\\";
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, lead.size(), lead) != 0) continue;
    const std::string name = line.substr(lead.size());
    const bool classes = name.size() >= 8 && name.compare(name.size() - 8, 8, "_Classes") == 0;
    if (!name.empty() && !classes && name != ".Default" && name != ".DEFAULT") hives.push_back(name);
  }
  return hives;
}

struct Installed {
  DriverRun run;
  std::string dir;
  std::string log;
};

Installed Install(InstallSettings s, const std::string& dir) {
  s.install_path = Utf8ToWide(dir);
  s.uninstall_subdir = u"Data";
  s.product_flags |= kRegisterUninstaller | kAlwaysWriteLog;
  InstallerSpec plan;
  plan.settings = std::move(s);
  Installed out;
  out.dir = dir;
  const std::string installer = MakeInstaller(plan);
  if (installer.empty()) return out;
  DriverOptions options;
  options.timeout_seconds = 120;
  out.run = RunProgram(installer, {"/silent"}, options);
  out.log = ReadPrefixFile(dir + "\\Data\\Install.log").value_or("");
  return out;
}

class RegistryRecords : public WineTestWithParam<bool> {};

TEST_P(RegistryRecords, EachTypeAndCodeLandsInTheChosenView) {
  const bool view64 = GetParam();
  const RegView mine = view64 ? RegView::k64 : RegView::k32;
  const RegView other = view64 ? RegView::k32 : RegView::k64;
  const std::string name = UniqueName("KsRecords");
  const std::string key = "HKLM\\Software\\" + name;
  // Values the records change: code 6 keeps, codes 4 and 5 delete.
  ASSERT_TRUE(Prepare(key, "Keep", mine));
  ASSERT_TRUE(Prepare(key, "Gone4", mine));
  ASSERT_TRUE(Prepare(key, "Gone5", mine));

  const std::string dir = ScratchFolder() + "\\App";
  const std::string r = "\\HKLM\\Software\\" + name;
  InstallSettings s;
  s.product_name = Utf8ToWide(name);
  s.product_registry = Utf8ToWide(name + "\\Product");
  if (view64) s.product_flags = kRegistry64;
  s.registry_entries = Utf8ToWide(
      r + "\\Keys\\Created\r\n"
      "\\hkey_local_machine\\Software\\" + name + ",Sz,1,%InstallDir%\\bin,1\r\n" +
      r + ",Expand,2,%InstallDir%\\bin,1\r\n" +
      r + ",Binary,3,01 AB ff,1\r\n" +
      r + ",Dword,4,-1,1\r\n" +
      r + ",Qword,11,-2,3\r\n" +
      r + ",Keep,1,new,6\r\n" +
      r + ",Made,1,made,7\r\n" +
      r + ",Gone4,0,,4\r\n" +
      r + ",Gone5,0,,5\r\n" +
      r + ",NotSet0,1,x,0\r\n" +
      r + ",NotSet2,1,x,2\r\n"
      "\r\n" +
      r + ",Three,1\r\n" +
      r + ",\"Comma, kept\",1,after the illegal one,1\r\n"
      "\\HKAU\\Software\\" + name + ",AllUsers,1,every user,1\r\n"
      "\\HKAU\\Software\\" + name + "\\AllUsersKey\r\n");
  const Installed in = Install(s, dir);
  ASSERT_TRUE(in.run.ok) << in.run.error << in.run.output;

  const struct {
    const char* value;
    std::optional<std::string> data;
  } expected[] = {
      {"Sz", dir + "\\bin"},
      {"Expand", std::string("%InstallDir%\\bin")},
      {"Binary", std::string("01ABFF")},
      {"Dword", std::string("0xffffffff")},
      {"Keep", std::string("x")},
      {"Made", std::string("made")},
      {"Gone4", std::nullopt},
      {"Gone5", std::nullopt},
      {"NotSet0", std::nullopt},
      {"NotSet2", std::nullopt},
      {"Comma, kept", std::string("after the illegal one")},
  };
  for (const auto& e : expected) EXPECT_EQ(RegQuery(key, e.value, mine), e.data) << e.value;
  const std::string exported = RegExport(key, mine);
  EXPECT_NE(exported.find("\"Qword\"=hex(b):fe,ff,ff,ff,ff,ff,ff,ff\r\n"), std::string::npos) << exported;
  EXPECT_TRUE(KeyExists(key + "\\Keys\\Created", mine));
  EXPECT_FALSE(RegQuery(key, "Made", other)) << "the records belong to one view only";
  EXPECT_FALSE(KeyExists(key + "\\Keys\\Created", other));

  // The product key in the machine's view and in every user's hive.
  EXPECT_TRUE(KeyExists(key + "\\Product", mine));
  const std::vector<std::string> hives = UserHives();
  ASSERT_FALSE(hives.empty());
  for (const std::string& hive : hives) {
    const std::string user_key = "HKU\\" + hive + "\\Software\\" + name;
    EXPECT_TRUE(KeyExists(user_key + "\\Product", mine)) << hive;
    EXPECT_EQ(RegQuery(user_key, "AllUsers", mine), std::string("every user")) << hive;
    EXPECT_TRUE(KeyExists(user_key + "\\AllUsersKey", mine)) << hive;
  }

  EXPECT_NE(in.log.find("*** FAILURE SUMMARY ***"), std::string::npos) << in.log;
  EXPECT_NE(in.log.find("Illegal registry entry: " + r + ",Three,1\r\n"), std::string::npos) << in.log;
  EXPECT_EQ(in.log.find("Failed to create registry"), std::string::npos) << in.log;
}

INSTANTIATE_TEST_SUITE_P(Views, RegistryRecords, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? std::string("View64") : std::string("View32");
                         });

class RegistryAppPaths : public WineTest {};

TEST_F(RegistryAppPaths, MergeFileAndAppPathsThenARegistrationAlreadyExists) {
  const std::string program = UniqueName("ksapp") + ".exe";
  const std::string merged_key = "HKCU\\Software\\" + UniqueName("KsMerged");
  const std::string app_key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + program;

  const std::string dir = ScratchFolder() + "\\First";
  ASSERT_TRUE(WritePrefixFile(dir + "\\bin\\" + program, "MZ"));
  InstallSettings s;
  s.product_name = Widen(UniqueName("KsAppPaths"));
  s.app_path_text = Utf8ToWide("bin\\" + program);
  const std::string reg = "REGEDIT4\r\n\r\n[" + std::string("HKEY_CURRENT_USER") + merged_key.substr(4) +
                          "]\r\n\"Merged\"=\"by regedit\"\r\n";
  s.registry_merge = Bytes(reg.begin(), reg.end());
  const Installed first = Install(s, dir);
  ASSERT_TRUE(first.run.ok) << first.run.error << first.run.output;

  // The engine's own view (64-bit here), as the key is opened without view bits.
  EXPECT_EQ(RegQuery(app_key, "", RegView::k64), dir + "\\bin\\" + program);
  EXPECT_EQ(RegQuery(app_key, "Path", RegView::k64), dir + "\\bin");
  EXPECT_NE(first.log.find("Registering exe path...OK\r\n"), std::string::npos) << first.log;
  EXPECT_NE(first.log.find("Merging registry file...OK\r\n"), std::string::npos) << first.log;

  // regedit runs beside the installation; its value may come a moment later.
  std::optional<std::string> merged;
  WaitUntil([&] { return (merged = RegQuery(merged_key, "Merged", RegView::k64)).has_value(); },
            std::chrono::seconds(15));
  EXPECT_EQ(merged, std::string("by regedit"));

  // The uninstaller finds the App Paths records after the author's (none here).
  const std::optional<std::string> data = ReadPrefixFile(dir + "\\Data\\Uninstall.DAT");
  ASSERT_TRUE(data);
  const std::string records = "\r\n\r\n[Registry2]\r\n"
                              "\\HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + program + ",,,,2\r\n"
                              "\\HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + program + ",Path,,,2\r\n"
                              "\\HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + program + "\r\n";
  EXPECT_NE(data->find(records), std::string::npos) << *data;

  // A second product with the same program name finds the registration.
  const std::string second_dir = ScratchFolder() + "\\Second";
  ASSERT_TRUE(WritePrefixFile(second_dir + "\\bin\\" + program, "MZ"));
  InstallSettings again;
  again.product_name = Widen(UniqueName("KsAppPathsAgain"));
  again.app_path_text = Utf8ToWide("bin\\" + program);
  const Installed second = Install(again, second_dir);
  ASSERT_TRUE(second.run.ok) << second.run.error << second.run.output;
  EXPECT_NE(second.log.find("Registering exe path...a registration already exists\r\n"), std::string::npos)
      << second.log;
  EXPECT_EQ(RegQuery(app_key, "", RegView::k64), dir + "\\bin\\" + program);

  // A missing program is reported and registers nothing.
  const std::string third_dir = ScratchFolder() + "\\Third";
  InstallSettings missing;
  missing.product_name = Widen(UniqueName("KsAppPathsMissing"));
  missing.app_path_text = u"nothere.exe";
  const Installed third = Install(missing, third_dir);
  ASSERT_TRUE(third.run.ok) << third.run.error << third.run.output;
  EXPECT_NE(third.log.find("Registering exe path...FAILED, \"" + third_dir + "\\nothere.exe\" does not exist.\r\n"),
            std::string::npos)
      << third.log;
}

}  // namespace
}  // namespace ks::e2e
