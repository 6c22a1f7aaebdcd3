#include "integration/finishing_rules.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

Bytes Narrow(const char* text) { return Bytes(text, text + std::char_traits<char>::length(text)); }
Bytes Utf16(const char* ascii) {
  Bytes b;
  for (const char* p = ascii; *p; ++p) {
    b.push_back(static_cast<std::uint8_t>(*p));
    b.push_back(0);
  }
  return b;
}
Bytes WithBom(Bytes b) {
  b.insert(b.begin(), {0xFF, 0xFE});
  return b;
}

TEST(FinishingRulesTest, DocumentNames) {
  const Bytes a = Utf16("first"), b = Utf16("second"), rtf = Narrow("{\\rtf1 x}");
  const struct {
    const char* name;
    std::vector<Bytes> texts;
    std::vector<DocumentFile> files;
  } cases[] = {
      {"one text", {a}, {{u"readme.txt", WithBom(a)}}},
      {"two texts", {a, b}, {{u"readme1.txt", WithBom(a)}, {u"readme2.txt", WithBom(b)}}},
      {"empty texts are skipped and not counted", {{}, a, {}, b}, {{u"readme1.txt", WithBom(a)}, {u"readme2.txt", WithBom(b)}}},
      {"one rtf", {rtf}, {{u"readme.rtf", rtf}}},
      {"rtf among texts", {a, rtf}, {{u"readme1.txt", WithBom(a)}, {u"readme2.rtf", rtf}}},
      {"utf-16 rtf keeps its bytes", {Utf16("{\\rtf1}")}, {{u"readme.rtf", Utf16("{\\rtf1}")}}},
      {"a text with its own mark gets no second one", {WithBom(a)}, {{u"readme.txt", WithBom(a)}}},
      {"only an empty text", {{}}, {}},
      {"no texts", {}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(PlanDocumentFiles(c.texts, u"readme"), c.files) << c.name;
  EXPECT_EQ(PlanDocumentFiles({a, b}, u"eula")[1].name, u"eula2.txt");
}

TEST(FinishingRulesTest, CompletionAddress) {
  const CompletionAddresses a{"new", "again", "up", "down"};
  const struct {
    int type;
    bool found;
    const char* address;
  } cases[] = {
      {0, false, "new"}, {0, true, "again"}, {1, true, "again"}, {1, false, "new"},
      {2, true, "up"},   {2, false, "up"},   {3, true, "down"},  {3, false, "down"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompletionAddress(a, c.type, c.found), c.address) << c.type << c.found;
}

TEST(FinishingRulesTest, RestartChoice) {
  const ProductFlags reboot = product_flag::kRebootRequired;
  const ProductFlags ask = product_flag::kNoRestartWithoutAsking;
  EXPECT_EQ(ChooseRestart(0, true), RestartChoice::kNone);
  EXPECT_EQ(ChooseRestart(ask, false), RestartChoice::kNone);
  EXPECT_EQ(ChooseRestart(reboot, true), RestartChoice::kRestart);
  EXPECT_EQ(ChooseRestart(reboot | ask, true), RestartChoice::kAsk);
  EXPECT_EQ(ChooseRestart(reboot, false), RestartChoice::kAsk);
}

TEST(FinishingRulesTest, EmptyFolder) {
  EXPECT_TRUE(FolderCountsAsEmpty({}));
  EXPECT_TRUE(FolderCountsAsEmpty({u"Thumbs.db", u"DESKTOP.INI"}));
  EXPECT_FALSE(FolderCountsAsEmpty({u"desktop.ini", u"app.exe"}));
  EXPECT_FALSE(FolderCountsAsEmpty({u"thumbs.db.bak"}));
}

TEST(FinalMessageTest, Choice) {
  using product_flag::kAlwaysWriteLog;
  using product_flag::kNoFinalMessage;
  using product_flag::kRebootRequired;
  const struct {
    const char* name;
    bool failed, automatic;
    ProductFlags flags;
    bool actions, offer;
    FinalMessage expected;
    bool offer_after;
  } cases[] = {
      {"failed asks", true, false, 0, false, true, FinalMessage::kAskViewLog, true},
      {"failed automatic is quiet", true, true, 0, true, true, FinalMessage::kNone, true},
      {"success automatic", false, true, kAlwaysWriteLog, true, true, FinalMessage::kNone, true},
      {"no final message", false, false, kNoFinalMessage, true, true, FinalMessage::kNone, true},
      {"no log withdraws the offer", false, false, 0, false, true, FinalMessage::kInformation, false},
      {"no log, actions left", false, false, 0, true, true, FinalMessage::kSummaryPage, false},
      {"log offered", false, false, kAlwaysWriteLog, false, true, FinalMessage::kSummaryPage, true},
      {"reboot informs", false, false, kAlwaysWriteLog | kRebootRequired, true, true, FinalMessage::kInformation,
       true},
      {"nothing to offer", false, false, kAlwaysWriteLog, false, false, FinalMessage::kInformation, false},
  };
  for (const auto& c : cases) {
    FinalMessageInput in;
    in.failed = c.failed;
    in.automatic = c.automatic;
    in.flags = c.flags;
    in.has_launch_or_open = c.actions;
    in.offer_view_log = c.offer;
    EXPECT_EQ(ChooseFinalMessage(in), c.expected) << c.name;
    EXPECT_EQ(in.offer_view_log, c.offer_after) << c.name;
  }
}

TEST(FinalMessageTest, WritesInstallLog) {
  EXPECT_FALSE(WritesInstallLog(false, 0));
  EXPECT_TRUE(WritesInstallLog(true, 0));
  EXPECT_TRUE(WritesInstallLog(false, product_flag::kAlwaysWriteLog));
}

TEST(FinishingRulesTest, CommandParts) {
  const struct {
    const char16_t* command;
    const char16_t* program;
    const char16_t* arguments;
  } cases[] = {
      {u"notes.exe", u"notes.exe", u""},
      {u"  notes.exe  --new  file", u"notes.exe", u"--new  file"},
      {u"\"C:\\Program Files\\Notes\\notes.exe\" /x", u"C:\\Program Files\\Notes\\notes.exe", u"/x"},
      {u"\"C:\\No End", u"C:\\No End", u""},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    const CommandParts parts = SplitCommand(c.command);
    EXPECT_EQ(parts.program, c.program) << WideToUtf8(c.command);
    EXPECT_EQ(parts.arguments, c.arguments) << WideToUtf8(c.command);
  }
}

TEST(FinishingRulesTest, TargetsAgainstTheInstallationFolder) {
  EXPECT_EQ(PathInFolder(u"C:\\Notes", u"docs\\guide.txt"), u"C:\\Notes\\docs\\guide.txt");
  EXPECT_EQ(PathInFolder(u"C:\\Notes\\", u"\\guide.txt"), u"C:\\Notes\\guide.txt");
  EXPECT_EQ(PathInFolder(u"C:\\Notes", u"D:\\other"), u"D:\\other");
  EXPECT_EQ(PathInFolder(u"C:\\Notes", u"\\\\server\\share"), u"\\\\server\\share");
  EXPECT_EQ(PathInFolder(u"", u"guide.txt"), u"guide.txt");
}

}  // namespace
}  // namespace ks
