// The engine's command line under Wine: the usage message and its exit code,
// silent mode, and bad input that must end in the documented result. The
// engine here carries no setup data, so a command line that is accepted ends
// in the "no installation data" fatal error; that is how these tests tell an
// accepted line from a rejected one.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/driver.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

const char kNoDataText[] =
    "This program performs installations and uninstallations.\r\n"
    "There is no installation data present.\r\n"
    "No uninstallation parameters were specified.\r\n\r\n"
    "You should not delete this program or execute it directly.";

std::string UsageText(const std::string& prefix, const std::string& exe_name) {
  return prefix + "\r\n\r\nUsage:\r\n" + exe_name +
         " [/a] [/b1:\"commands\"] [/b2:\"commands\"] [/b3:\"commands\"] [/d:\"dir\"] "
         "[/n:\"name\"] [/u:\"name\"] [/r:\"program\"] [/silent]\r\n\r\n"
         "/a                  \tAutomatic mode.\r\n"
         "/d:\"dir\"        \tOverride installation path.\r\n"
         "/b1:\"commands\"\tAdd commands to the end of the Pre-Installation Batch.\r\n"
         "/b2:\"commands\"\tAdd commands to the end of the Post-Installation Batch.\r\n"
         "/b3:\"commands\"\tAdd commands to the end of the Installation-Exit Batch.\r\n"
         "/n:\"name\"\tOverride product name.\r\n"
         "/u:\"name\"\tUninstall product by name.\r\n"
         "/r:\"program\"\tRun the specified program after a successful installation.\r\n"
         "/silent\tDisplay no user interface.";
}

std::string Repeat(const std::string& atom, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += (i ? " " : "") + atom;
  return out;
}

// What a run must end in: one stop box with this title and text (or, when
// the title is empty, no window at all) and this exit code.
struct Outcome {
  std::string title;
  std::string text;
  int exit_code;
};

struct Case {
  std::string name;
  std::string exe_name;   // the engine's file name in the prefix
  std::string arguments;  // the raw command line after the quoted program path
  Outcome expected;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

Outcome Usage(const std::string& prefix, const std::string& exe = "kestrelon.exe") {
  return {"Error", UsageText(prefix, exe), 15};
}
Outcome Illegal(const std::string& atom, const std::string& exe = "kestrelon.exe") {
  return Usage("Illegal command line atom:\r\n" + atom, exe);
}
Outcome Unexpected(const std::string& word) {
  return Usage("Unexpected command line parameter:\r\n" + word);
}
const Outcome kNoData{"FATAL ERROR - Kestrelon Setup", kNoDataText, -1};
const Outcome kSilentUsage{"", "", 15};
const Outcome kSilentNoData{"", "", -1};

class CommandLine : public WineTestWithParam<Case> {};

TEST_P(CommandLine, EndsAsDocumented) {
  const Case& c = GetParam();
  const std::string engine = CopyEngine(ScratchFolder(), c.exe_name);
  ASSERT_FALSE(engine.empty()) << "cannot copy " << EngineLinuxPath() << " into the prefix";
  const DriverRun run = RunCommandLine(QuoteWindowsArg(engine) + " " + c.arguments);
  SCOPED_TRACE("ksdriver reported:\n" + run.output);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.exit_code, c.expected.exit_code);
  if (c.expected.title.empty()) {
    EXPECT_TRUE(run.windows.empty());
    return;
  }
  ASSERT_EQ(run.windows.size(), 1u);
  const ShownWindow& box = run.windows[0];
  EXPECT_EQ(box.title, c.expected.title);
  EXPECT_EQ(box.Text(), c.expected.text);
  EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
}

const std::string kLongWord(30000, 'w');

INSTANTIATE_TEST_SUITE_P(
    Usage, CommandLine,
    ::testing::Values(
        Case{"WrongAtom", "kestrelon.exe", "/x", Illegal("/x")},
        Case{"WrongAtomWithDash", "kestrelon.exe", "-x", Illegal("-x")},
        Case{"NamedByItsFileName", "My Setup.exe", "/x", Illegal("/x", "My Setup.exe")},
        Case{"NonAsciiFileName", "Setup \xC3\x84\xE5\x90\x8D.exe", "/x",
             Illegal("/x", "Setup \xC3\x84\xE5\x90\x8D.exe")},
        Case{"WrongAtomBeforeSilent", "kestrelon.exe", "/x /silent", Illegal("/x")},
        Case{"WrongAtomAfterGoodOnes", "kestrelon.exe", "/a -MIN /n:x /bad", Illegal("/bad")},
        Case{"UAlone", "kestrelon.exe", "/u", Usage("/u requires Product Name")},
        Case{"UColon", "kestrelon.exe", "/u:", Usage("/u requires Product Name")},
        Case{"UEmptyQuotes", "kestrelon.exe", "/U:\"\"", Usage("/u requires Product Name")},
        Case{"UninstallWord", "kestrelon.exe", "/uninstall", Usage("/u requires Product Name")},
        Case{"BareWord", "kestrelon.exe", "hello", Unexpected("hello")},
        Case{"UnclosedQuote", "kestrelon.exe", "\"abc def", Unexpected("\"abc def")},
        Case{"QuotedPartStaysInAtom", "kestrelon.exe", "/x\"a b\" c", Illegal("/x\"a b\"")},
        Case{"DoubledQuoteIsOne", "kestrelon.exe", "/x\"a\"\"b c\"", Illegal("/x\"a\"b c\"")},
        Case{"NineteenthAtomCounts", "kestrelon.exe", Repeat("/MIN", 18) + " /x", Illegal("/x")},
        Case{"OverlongWord", "kestrelon.exe", kLongWord, Unexpected(kLongWord)}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Silent, CommandLine,
    ::testing::Values(Case{"WrongAtomAfterSilent", "kestrelon.exe", "/silent /x", kSilentUsage},
                      Case{"UpperCase", "kestrelon.exe", "/SILENT hello", kSilentUsage},
                      Case{"Dash", "kestrelon.exe", "-Silent /u", kSilentUsage},
                      Case{"NoData", "kestrelon.exe", "/silent", kSilentNoData},
                      Case{"NoDataNonAsciiFolder", "kestrelon.exe",
                           "/silent /d:\"C:\\\xC3\x9Cn\xC3\xAF \xE6\x96\x87\\\"", kSilentNoData}),
    CaseName);

// Accepted lines: the engine goes on to look for its data and finds none.
INSTANTIATE_TEST_SUITE_P(
    Accepted, CommandLine,
    ::testing::Values(
        Case{"NoArguments", "kestrelon.exe", "", kNoData},
        Case{"AutomaticStillShowsFatal", "kestrelon.exe", "-A", kNoData},
        Case{"LoneSlashAndDashIgnored", "kestrelon.exe", "/ - /a", kNoData},
        Case{"NonAsciiFolderAndName", "kestrelon.exe",
             "/d:\"C:\\\xC3\x9Cn\xC3\xAF c\xC3\xB6\x64\xC3\xA9 \xE6\x96\x87\xE5\xAD\x97\\\" "
             "/n:\"Pr\xC3\xB6\x64\xC3\xBC\x63t \xE5\x90\x8D\"",
             kNoData},
        Case{"UnclosedFolderQuote", "kestrelon.exe", "/d:\"C:\\Program Files\\x", kNoData},
        Case{"TwentiethAtomIgnored", "kestrelon.exe", Repeat("/MIN", 19) + " " + Repeat("/x", 6),
             kNoData},
        Case{"OverlongFolder", "kestrelon.exe", "/d:\"C:\\" + std::string(32000, 'd') + "\"",
             kNoData},
        Case{"BatchAndRunAfter", "kestrelon.exe",
             "/b1:\"echo a~~echo `b`\" /r:\"C:\\x.exe `q`\"", kNoData}),
    CaseName);

}  // namespace
}  // namespace ks::e2e
