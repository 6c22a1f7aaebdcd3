#include "integration/firewall.h"

#include <gtest/gtest.h>

#include <set>

#include "captured_log.h"
#include "recording_firewall.h"

namespace ks {
namespace {

using Calls = std::vector<std::string>;

class FirewallStepTest : public ::testing::Test {
 protected:
  FirewallStepTest() {
    log.set_sink(&sink);
    in.product_name = u"Kestrel";
    in.install_dir = u"C:\\Kes";
    in.expand = test::InstallDirExpansion(u"C:\\Kes");
    in.file_exists = [this](const WString& path) { return files.count(path) != 0; };
    in.log = &log;
  }
  int Add(const char* text) {
    in.text = text;
    return AddFirewallExceptions(in, firewall, data);
  }

  test::CapturedLog sink;
  InstallLog log;
  UninstallData data;
  test::RecordingFirewall firewall;
  std::set<WString> files = {u"C:\\Kes\\server.exe", u"D:\\tools\\\u00e9t\u00e9.exe"};
  FirewallStepInput in;
};

TEST_F(FirewallStepTest, PortsAndProgramsAreAddedAndRecordedUnlessTheyStay) {
  EXPECT_EQ(Add("8080;Web;3;0\r\n"
                "9090;;1;keep=1\r\n"
                "\r\n"
                "bin\\..\\server.exe;Server;0;\n"
                "%InstallDir%\\server.exe;Again;0;\n"
                "|D:\\tools\\\xC3\xA9t\xC3\xA9.exe;Name \xC3\xA9;0;0\n"
                "missing.exe;Gone;0;0\n"
                "7000;None;0;0"),
            0);
  EXPECT_EQ(firewall.calls, (Calls{"connect", "open port 8080 6 Web", "open port 8080 17 Web",
                                   "open port 9090 6 Kestrel", "authorize C:\\Kes\\server.exe Again",
                                   "authorize D:\\tools\\\xC3\xA9t\xC3\xA9.exe Name \xC3\xA9", "close"}))
      << "a path with \"..\" is taken as it stands, and names a file that does not exist here";
  EXPECT_EQ(sink.text,
            "Added firewall exception: TCP port 8080\r\n"
            "Added firewall exception: UDP port 8080\r\n"
            "Added firewall exception: TCP port 9090\r\n"
            "Failed to add firewall exception for \"C:\\Kes\\bin\\..\\server.exe\": file does not exist\r\n"
            "Added firewall exception: C:\\Kes\\server.exe\r\n"
            "Added firewall exception: D:\\tools\\\xC3\xA9t\xC3\xA9.exe\r\n"
            "Failed to add firewall exception for \"C:\\Kes\\missing.exe\": file does not exist\r\n");
  EXPECT_EQ(data.firewall(),
            "8080;Web;3;0\r\n"
            "%InstallDir%\\server.exe;Again;0;\r\n"
            "|D:\\tools\\\xC3\xA9t\xC3\xA9.exe;Name \xC3\xA9;0;0\r\n"
            "7000;None;0;0\r\n");
  EXPECT_EQ(log.failures(), u"") << "nothing here goes to the failure summary";
}

TEST_F(FirewallStepTest, FailuresAndTheLastOpeningDecide) {
  firewall.results = {{"open port 8080 6 A", -2147024891}, {"open port 9090 17 B", -2147024891},
                      {"authorize C:\\Kes\\server.exe C", -2147023174}};
  EXPECT_EQ(Add("8080;A;3;0\n9090;B;3;0\nserver.exe;C;0;0\n"), 0);
  EXPECT_EQ(sink.text,
            "Failed to open firewall port 8080, code -2147024891\r\n"
            "Added firewall exception: UDP port 8080\r\n"
            "Added firewall exception: TCP port 9090\r\n"
            "Failed to open firewall port 9090, code -2147024891\r\n"
            "Failed to add firewall exception for \"C:\\Kes\\server.exe\", code -2147023174\r\n");
  EXPECT_EQ(data.firewall(), "8080;A;3;0\r\n");
}

TEST_F(FirewallStepTest, NoConnectionSkipsEveryRecord) {
  firewall.results = {{"connect", -2147221164}};
  EXPECT_EQ(Add("8080;A;1;0\n"), 0);
  EXPECT_EQ(firewall.calls, (Calls{"connect"}));
  EXPECT_EQ(sink.text, "Failed to connect to the firewall service: code -2147221164\r\n");
  EXPECT_EQ(data.firewall(), "");
}

TEST_F(FirewallStepTest, ARecordWithoutFourFieldsIsCorruptBeforeAnythingIsAdded) {
  for (const char* text : {"8080;A;1;0\n8081;B;1\n", "8080;A;1;0;x", "8080"}) {
    firewall.calls.clear();
    EXPECT_EQ(Add(text), kCorruptFirewallRecord) << text;
    EXPECT_TRUE(firewall.calls.empty()) << text;
  }
  EXPECT_EQ(data.firewall(), "");
}

TEST_F(FirewallStepTest, SkippedSteps) {
  EXPECT_EQ(Add(""), 0);
  in.removable_drive = true;
  in.archive_flags = kArchiveFlagNoFirewallOnRemovable;
  EXPECT_EQ(Add("8080;A;1;0"), 0);
  EXPECT_TRUE(firewall.calls.empty());
  in.archive_flags = 0;
  EXPECT_EQ(Add("8080;A;1;0"), 0);
  EXPECT_EQ(firewall.calls.size(), 3u) << "without the flag a removable drive gets its exceptions";
}

TEST_F(FirewallStepTest, TheUninstallerRemovesWhatWasRecorded) {
  ASSERT_EQ(Add("8080;Web;3;0\n9090;Kept;2;1\n%InstallDir%\\server.exe;Server;0;0\n"), 0);
  const UninstallDataContent content = ParseUninstallDataFile(BuildUninstallDataFile(data, UninstallTexts{}));
  std::vector<NString> lines = content.firewall;
  lines.push_back("0080;digits only;2;0");
  lines.push_back("80a;not a port;1;0");
  lines.push_back("three;fields;0");
  firewall.calls.clear();
  RemoveFirewallExceptions(lines, u"C:\\Kes", in.expand, firewall);
  EXPECT_EQ(firewall.calls, (Calls{"connect", "close port 8080 6", "close port 8080 17", "remove C:\\Kes\\server.exe",
                                   "close port 80 17", "remove C:\\Kes\\80a", "close"}));

  firewall.calls.clear();
  firewall.results = {{"connect", -1}};
  RemoveFirewallExceptions(lines, u"C:\\Kes", in.expand, firewall);
  EXPECT_EQ(firewall.calls, (Calls{"connect"}));
}

TEST(FirewallRulesTest, Records) {
  std::vector<FirewallRecord> records;
  ASSERT_TRUE(ParseFirewallText("12;a;3;01\r\nx.exe;;;\n", records));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[0].is_port());
  EXPECT_EQ(records[0].protocols, 3u);
  EXPECT_TRUE(records[0].stays);
  EXPECT_FALSE(records[1].is_port());
  EXPECT_FALSE(records[1].stays);
  EXPECT_FALSE(IsPortTarget(""));
  EXPECT_FALSE(IsPortTarget("8 0"));
  EXPECT_EQ(PortNumber("99999999999"), 0x7FFFFFFF);
}

}  // namespace
}  // namespace ks
