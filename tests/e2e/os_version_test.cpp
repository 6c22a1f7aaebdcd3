// The operating-system identification under Wine, with the Windows version
// that Wine reports set per program (HKCU\Software\Wine\AppDefaults\<exe>
// "Version"): the record, the OS code with the compatibility-layer bit, the
// OS number and the names.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "harness/wine.h"

namespace ks::e2e {
namespace {

constexpr unsigned kCompatibilityLayerBit = 0x40000;

struct Case {
  const char* setting;       // Wine's name of the version to report
  unsigned major, minor;
  const char* version_name;  // what follows "Windows " in the full name
  const char* plain_name;    // the same without the edition
  unsigned family_bit;       // the one OS-code bit of the system family
  int os_number;
  const char* short_name;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.setting; }

std::map<std::string, std::string> ParseKeyValues(const std::string& text) {
  std::map<std::string, std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

class OsVersion : public WineTestWithParam<Case> {};

TEST_P(OsVersion, ReportedVersionIsIdentified) {
  const Case& c = GetParam();
  // A file name of its own per case: the setting is per program name, and
  // cases may run at the same time.
  const std::string exe_name = std::string("ksosinfo_") + c.setting + ".exe";
  const std::string exe =
      CopyIntoPrefix(BuildProgramLinuxPath("ksosinfo.exe"), ScratchFolder(), exe_name);
  ASSERT_FALSE(exe.empty()) << "cannot copy ksosinfo.exe of " << env().win_bin;
  const std::string app_key = "HKCU\\Software\\Wine\\AppDefaults\\" + exe_name;
  ASSERT_TRUE(RegAddString(app_key, "Version", c.setting, RegView::k64));
  ASSERT_EQ(RegQuery(app_key, "Version", RegView::k64), std::optional<std::string>(c.setting));

  const WineResult r = RunWine({exe}, 60);
  ASSERT_TRUE(r.started && !r.timed_out && r.status == 0) << r.out;
  auto info = ParseKeyValues(r.out);
  for (const char* key : {"major", "minor", "compatibility_layer", "full_name", "flags3_name",
                          "short_name", "os_code", "os_number"})
    ASSERT_EQ(info.count(key), 1u) << "ksosinfo printed no " << key << ":\n" << r.out;

  EXPECT_EQ(info.at("major"), std::to_string(c.major)) << r.out;
  EXPECT_EQ(info.at("minor"), std::to_string(c.minor)) << r.out;
  EXPECT_EQ(info.at("compatibility_layer"), env().wine_version);
  const std::string prefix = "WINE " + env().wine_version + " reporting as Windows ";
  const std::string full = info.at("full_name");
  EXPECT_EQ(full.substr(0, prefix.size()), prefix) << full;
  const std::string version_name = c.version_name;
  const std::string rest = full.substr(std::min(prefix.size(), full.size()));
  // The name, then the end or a blank before edition, "x64" or service pack.
  EXPECT_EQ(rest.substr(0, version_name.size()), version_name) << full;
  EXPECT_TRUE(rest.size() == version_name.size() || rest[version_name.size()] == ' ') << full;
  EXPECT_EQ(info.at("flags3_name"), prefix + c.plain_name);
  EXPECT_EQ(info.at("short_name"), c.short_name);
  EXPECT_EQ(std::stoul(info.at("os_code")), kCompatibilityLayerBit | c.family_bit) << r.out;
  EXPECT_EQ(std::stoi(info.at("os_number")), c.os_number) << r.out;
}

// Wine 8.0 reports "win7" as a server (product type 3) and "win2008r2" as a
// workstation, the reverse of their names; the rows follow what it reports.
INSTANTIATE_TEST_SUITE_P(
    Wine, OsVersion,
    ::testing::Values(Case{"win10", 10, 0, "10", "10", 32768, 48, "10"},
                      Case{"win81", 6, 3, "8.1", "8.1", 8192, 44, "8"},
                      Case{"win2008r2", 6, 1, "7", "7", 4096, 36, "7"},
                      Case{"win7", 6, 1, "Server 2008 R2", "Server 2008 R2", 2048, 34, "2008"},
                      Case{"winxp64", 5, 2, "XP Professional", "XP", 256, 24, "XP"}),
    CaseName);

}  // namespace
}  // namespace ks::e2e
