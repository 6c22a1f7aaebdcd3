#include "records/install_log.h"

#include <gtest/gtest.h>


namespace ks {
namespace {

class MemorySink : public StepLogSink {
 public:
  void Append(NStringView utf8) override { bytes.append(utf8); }
  NString bytes;
};

class StepLogTest : public ::testing::Test {
 protected:
  void SetUp() override { log.set_sink(&sink); }
  MemorySink sink;
  InstallLog log;
};

TEST_F(StepLogTest, WritersConvertToUtf8AndAddNoLineEnd) {
  log.Text("Caf\xE9 ");                       // code page 1252
  log.Narrow(NStringView("\x80 x", 3));       // euro sign
  log.NarrowF("%s=%d;", "n", -5);
  log.Concat("a", "\xFC", "b", nullptr);
  log.Wide(u"\u4E2D");
  log.WideF(u"[%s|%d|%u|%08X|%-4s|%3d|%c|%%|%lld]", u"w\u00E9", -7, 7u, 0xABCu, u"ab", 5, u'Z', 1LL << 40);
  log.ConcatW(u"x", u"\u00E9", nullptr);
  EXPECT_EQ(sink.bytes,
            "Caf\xC3\xA9 \xE2\x82\xAC xn=-5;a\xC3\xBC"
            "b\xE4\xB8\xAD[w\xC3\xA9|-7|7|00000ABC|ab  |  5|Z|%|1099511627776]x\xC3\xA9");
}

TEST_F(StepLogTest, WritesWithoutSinkHaveNoEffect) {
  log.set_sink(nullptr);
  log.Text("lost");
  log.WideF(u"%s", u"lost");
  log.set_sink(&sink);
  log.Text("kept");
  EXPECT_EQ(sink.bytes, "kept");
}

TEST_F(StepLogTest, ResultLinesOnlyWithDetailedLogging) {
  EXPECT_EQ(ResultLine(u"Desktop Shortcut", u"App", u"C:\\Users\\a\\Desktop\\App.lnk"),
            u"Desktop Shortcut(App) >>> C:\\Users\\a\\Desktop\\App.lnk\r\n");
  log.Result(u"File", u"a.dll", u"C:\\a.dll");
  EXPECT_EQ(sink.bytes, "");
  log.set_detailed(true);
  log.Result(u"File", u"\u00E9.dll", u"C:\\x");
  EXPECT_EQ(sink.bytes, "File(\xC3\xA9.dll) >>> C:\\x\r\n");
}

TEST(FormatWideTest, Conversions) {
  const struct {
    WString got, expected;
  } cases[] = {
      {FormatWide(u"plain"), u"plain"},
      {FormatWide(u"%s and %s", u"a", u"b"), u"a and b"},
      {FormatWide(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)"},
      {FormatWide(u"%.2s", u"abcdef"), u"ab"},
      {FormatWide(u"%5s", u"ab"), u"   ab"},
      {FormatWide(u"%x %X", 255u, 255u), u"ff FF"},
      {FormatWide(u"%*d", 4, 3), u"   3"},
      {FormatWide(u"%lu", 4000000000UL), u"4000000000"},
      {FormatWide(u"50%"), u"50%"},
      {FormatWide(u"%q"), u"%q"},
      {FormatWide(u"%40d", 1), WString(39, u' ') + u"1"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(FailureSummaryTest, FailureEntry) {
  EXPECT_EQ(FailureEntry(u"ERROR:", u"Could not copy a.dll", 0, u"ignored"), u"ERROR: Could not copy a.dll\r\n");
  EXPECT_EQ(FailureEntry(u"ERROR:", u"x", 5, u"Access is denied."),
            u"ERROR: x\r\nCode 5: Access is denied.\r\n\r\n");
  EXPECT_EQ(FailureEntry(u"ERROR:", u"x", 0x80070005u, u"Denied."), u"ERROR: x\r\nCode 0x80070005: Denied.\r\n\r\n");
}

TEST(FailureSummaryTest, KeptWithoutAStepLog) {
  InstallLog log;
  EXPECT_FALSE(log.failed());
  log.AddFailure(u"a\r\n");
  log.AddFailure(u"b\r\n\r\n");
  EXPECT_TRUE(log.failed());
  EXPECT_EQ(log.failures(), u"a\r\nb\r\n\r\n");
}

TEST(InstallLogTextTest, UninstallFolderPath) {
  const struct {
    WString dir, sub, name, expected;
  } cases[] = {
      {u"C:\\App", u"", u"Install.log", u"C:\\App\\Install.log"},
      {u"C:\\App\\", u"", u"Install.log", u"C:\\App\\Install.log"},
      {u"C:\\App", u"Uninstall", u"Uninstall.DAT", u"C:\\App\\Uninstall\\Uninstall.DAT"},
      {u"C:\\App\\", u"\\Uninstall\\", u"Install.log", u"C:\\App\\Uninstall\\Install.log"},
      {u"C:\\App", u"Sub", u"", u"C:\\App\\Sub"},
      {u"C:\\", u"", u"", u"C:\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(UninstallFolderPath(c.dir, c.sub, c.name), c.expected);
}

InstallLogHeader FullHeader() {
  InstallLogHeader h;
  h.product_name = u"Caf\u00E9 App";
  h.install_date = {2026, 12, 4, 9, 5, 7};
  h.creates_uninstaller = true;
  h.install_type = 2;
  h.install_dir = u"C:\\Program Files\\App";
  h.build_date = {2026, 3, 1, 23, 59, 59};
  h.product_version = u"2.1";
  h.overwritten_version = u"2.0";
  h.os_name = u"Windows 10 Pro";
  return h;
}

TEST(InstallLogTextTest, HeaderWithEveryLine) {
  EXPECT_EQ(InstallLogHeaderText(FullHeader()),
            u"Installation log for: Caf\u00E9 App\r\n"
            u"Install date: 2026/12/04 09:05:07\r\n"
            u"Install type: Upgrade\r\n"
            u"Install location: C:\\Program Files\\App\r\n"
            u"Installer version: 46.0\r\n"
            u"Installer built: 2026/03/01\r\n"
            u"Product version: 2.1\r\n"
            u"Overwriting version: 2.0\r\n"
            u"Operating system: Windows 10 Pro\r\n\r\n");
}

TEST(InstallLogTextTest, HeaderOptionalLines) {
  InstallLogHeader h = FullHeader();
  h.creates_uninstaller = false;
  h.build_date = {};
  h.product_version.clear();
  h.overwritten_version.clear();
  EXPECT_EQ(InstallLogHeaderText(h),
            u"Installation log for: Caf\u00E9 App\r\n"
            u"Install date: 2026/12/04 09:05:07\r\n"
            u"Install location: C:\\Program Files\\App\r\n"
            u"Installer version: 46.0\r\n"
            u"Operating system: Windows 10 Pro\r\n\r\n");
}

TEST(InstallLogTextTest, InstallTypeWords) {
  const WString words[] = {u"New", u"Reinstall", u"Upgrade", u"Downgrade", u"7"};
  const int types[] = {0, 1, 2, 3, 7};
  for (int i = 0; i < 5; ++i) {
    InstallLogHeader h = FullHeader();
    h.install_type = types[i];
    EXPECT_NE(InstallLogHeaderText(h).find(u"\r\nInstall type: " + words[i] + u"\r\n"), WString::npos) << i;
  }
}

TEST(InstallLogTextTest, SectionLeadAndTail) {
  EXPECT_EQ(SectionLead(true), "\xEF\xBB\xBF");
  EXPECT_EQ(SectionLead(false), "\r\n\r\n" + NString(46, '*') + "\r\n");
  EXPECT_EQ(SectionTail(u"", u"Installation complete."), "\r\nInstallation complete.\r\n");
  EXPECT_EQ(SectionTail(u"ERROR: x\u00E9\r\n\r\n", u"unused"),
            "\r\n*** FAILURE SUMMARY ***\r\nERROR: x\xC3\xA9\r\n\r\n");
}

TEST(InstallLogTextTest, UpgradeOldLog) {
  const struct {
    const char* name;
    NString existing;
    bool changed;
    NString expected;
  } cases[] = {
      {"empty needs nothing", "", false, ""},
      {"utf-8 with mark stays", "\xEF\xBB\xBFok", false, ""},
      {"code page 1252 becomes utf-8", "Caf\xE9 \x80\r\n", true, "\xEF\xBB\xBF" "Caf\xC3\xA9 \xE2\x82\xAC\r\n"},
      {"utf-16 LE mark is not utf-8", "\xFF\xFE" "a", true, "\xEF\xBB\xBF\xC3\xBF\xC3\xBE" "a"},
      {"partial mark", "\xEF\xBB", true, "\xEF\xBB\xBF\xC3\xAF\xC2\xBB"},
  };
  for (const auto& c : cases) {
    NString out = "stale";
    EXPECT_EQ(UpgradeOldLog(c.existing, out), c.changed) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace ks
