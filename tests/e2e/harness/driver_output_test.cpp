// The harness's reading of ksdriver's report lines (no Wine needed).

#include <gtest/gtest.h>

#include "harness/driver.h"

namespace ks::e2e {
namespace {

TEST(DriverOutput, ReadsWindowsPressesAndExitCode) {
  const DriverRun run = ParseDriverOutput(
      "window\tclass=#32770\ttitle=Error\ttext=a\\r\\nb\\tc\\\\d\\x01\ttext=second\t"
      "button=OK\tbutton=&Cancel\n"
      "pressed\tOK\n"
      "window\tclass=Bg\ttitle=\xC3\x84 title\n"
      "exit\t-1\n");
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.exit_code, -1);
  ASSERT_EQ(run.windows.size(), 1u);
  EXPECT_EQ(run.windows[0].cls, "#32770");
  EXPECT_EQ(run.windows[0].title, "Error");
  EXPECT_EQ(run.windows[0].texts, (std::vector<std::string>{"a\r\nb\tc\\d\x01", "second"}));
  EXPECT_EQ(run.windows[0].Text(), "a\r\nb\tc\\d\x01\nsecond");
  EXPECT_EQ(run.windows[0].buttons, (std::vector<std::string>{"OK", "&Cancel"}));
  EXPECT_EQ(run.windows[0].pressed, "OK");
  // Other windows (a background window) are kept apart from the dialogs.
  ASSERT_EQ(run.other_windows.size(), 1u);
  EXPECT_EQ(run.other_windows[0].title, "\xC3\x84 title");
  EXPECT_EQ(run.other_windows[0].pressed, "");
}

TEST(DriverOutput, ReadsControlsAndRefusals) {
  const DriverRun run = ParseDriverOutput(
      "window\tclass=#32770\ttitle=Folder\tshow=normal\tcontrol=1015:Edit::C:\\\\x"
      "\tcontrol=1001:Button:d:&Next\tcontrol=1023:Button:hc:Log\tcontrol=1017:ListBox:s1:a\\nb\n"
      "refused\t1001\n"
      "window\tclass=SEA Window Class\ttitle=Setup\tshow=min\trect=0,0,1024,740\n"
      "exit\t12\n");
  ASSERT_TRUE(run.ok) << run.error;
  ASSERT_EQ(run.windows.size(), 1u);
  const ShownWindow& w = run.windows[0];
  EXPECT_EQ(w.show, "normal");
  EXPECT_EQ(w.ControlText(1015), "C:\\x");
  ASSERT_NE(w.Control(1001), nullptr);
  EXPECT_TRUE(w.Control(1001)->disabled);
  EXPECT_FALSE(w.Control(1001)->hidden);
  EXPECT_TRUE(w.Control(1023)->hidden);
  EXPECT_TRUE(w.Control(1023)->checked);
  EXPECT_EQ(w.Control(1017)->selected, 1);
  EXPECT_EQ(w.ControlText(1017), "a\nb");
  EXPECT_EQ(w.ControlText(999), "<no control 999>");
  EXPECT_EQ(run.refused, std::vector<int>{1001});
  ASSERT_EQ(run.other_windows.size(), 1u);
  EXPECT_EQ(run.other_windows[0].show, "min");
  EXPECT_EQ(run.other_windows[0].right, 1024);
  EXPECT_EQ(run.other_windows[0].bottom, 740);
  EXPECT_EQ(FindWindow(run, "Folder"), &run.windows[0]);
  EXPECT_EQ(FindWindow(run, "Nothing"), nullptr);
}

TEST(DriverOutput, ReadsEditsDisabledButtonsAndTheClipboard) {
  const DriverRun run = ParseDriverOutput(
      "window\tclass=#32770\ttitle=Illegal Operation\ttext=t\tedit=line 1\\r\\nline 2\tedit=\t"
      "button=Inform Us\tbutton=Exit\tdisabled=Inform Us\n"
      "set\t2705\n"
      "pressed\tCopy Report\n"
      "clipboard\tR\\xE9sum\\xE9\\r\\n\n"
      "pressed\tExit\n"
      "exit\t0\n");
  ASSERT_TRUE(run.ok) << run.error;
  ASSERT_EQ(run.windows.size(), 1u);
  EXPECT_EQ(run.windows[0].edits, (std::vector<std::string>{"line 1\r\nline 2", ""}));
  EXPECT_EQ(run.windows[0].buttons, (std::vector<std::string>{"Inform Us", "Exit"}));
  EXPECT_EQ(run.windows[0].disabled, (std::vector<std::string>{"Inform Us"}));
  EXPECT_EQ(run.windows[0].pressed, "Exit");
  EXPECT_EQ(run.clipboard, (std::vector<std::string>{"R\xE9sum\xE9\r\n"}));
}

TEST(DriverOutput, FailuresAreNotOk) {
  struct Case {
    const char* output;
    bool timed_out;
    const char* error_part;
  };
  const Case cases[] = {
      {"window\tclass=#32770\ttitle=T\ntimeout\t5\n", true, "within 5 s"},
      {"error\tCreateProcess failed with system error 2\n", false, "system error 2"},
      {"", false, "no exit code"},
      // The program ended; what it started outlived the time-out.
      {"exit\t0\ntimeout\t5\n", true, "still ran after 5 s"},
  };
  for (const auto& c : cases) {
    const DriverRun run = ParseDriverOutput(c.output);
    EXPECT_FALSE(run.ok) << c.output;
    EXPECT_EQ(run.timed_out, c.timed_out) << c.output;
    EXPECT_NE(run.error.find(c.error_part), std::string::npos) << run.error;
  }
}

TEST(DriverOutput, DescendantsEndedOnlyWhenReported) {
  const DriverRun ended = ParseDriverOutput("exit\t10\ndescendants\tended\n");
  ASSERT_TRUE(ended.ok) << ended.error;
  EXPECT_EQ(ended.exit_code, 10);
  EXPECT_TRUE(ended.descendants_ended);
  const DriverRun plain = ParseDriverOutput("exit\t10\n");
  ASSERT_TRUE(plain.ok) << plain.error;
  EXPECT_FALSE(plain.descendants_ended);
}

TEST(DriverOutput, PeakPrivateMemoryWhenReported) {
  const DriverRun run = ParseDriverOutput("memory\t25165824\nexit\t0\n");
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.peak_private_bytes, 25165824u);
  EXPECT_EQ(ParseDriverOutput("exit\t0\n").peak_private_bytes, 0u);
}

TEST(DriverOutput, FullRangeExitCodes) {
  for (const char* code : {"0", "15", "-1", "2147483647", "-2147483648"}) {
    const DriverRun run = ParseDriverOutput(std::string("exit\t") + code + "\n");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(std::to_string(run.exit_code), code);
  }
}

TEST(DriverOutput, QuotesWindowsArguments) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"two words", "\"two words\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\dir with blank\\", "\"C:\\dir with blank\\\\\""},
      {"C:\\no\\blank\\", "C:\\no\\blank\\"},
  };
  for (const auto& [arg, quoted] : cases) EXPECT_EQ(QuoteWindowsArg(arg), quoted) << arg;
}

}  // namespace
}  // namespace ks::e2e
