#include "ui/wizard_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace ks {
namespace {

Bytes Utf16(const char16_t* text, bool bom = false) {
  Bytes b;
  if (bom) b = {0xFF, 0xFE};
  for (const char16_t* p = text; *p; ++p) {
    b.push_back(static_cast<std::uint8_t>(*p & 0xFF));
    b.push_back(static_cast<std::uint8_t>(*p >> 8));
  }
  return b;
}

TEST(WizardRulesTest, TemplateNamesByStyle) {
  const struct {
    PageKind page;
    std::uint32_t style;
    const char16_t* name;
  } cases[] = {
      {PageKind::kLicence, 0, u"LicenseDlg2"},   {PageKind::kLicence, 1, u"LicenseDlg"},
      {PageKind::kLicence, 2, u"LicenseDlg3"},   {PageKind::kLicence, 3, u"LicenseDlg4"},
      {PageKind::kLicence, 7, u"LicenseDlg3"},   {PageKind::kFolder, 0xFFFFFFFF, u"ChooseDirDlg3"},
      {PageKind::kGreeting, 0, u""},             {PageKind::kGreeting, 1, u"GreetingDlg"},
      {PageKind::kGreeting, 2, u"GreetingDlg3"}, {PageKind::kGreeting, 3, u"GreetingDlg4"},
      {PageKind::kLanguage, 0, u"LanguageDlg2"}, {PageKind::kReadme, 1, u"ReadmeDlg"},
      {PageKind::kStartMenu, 3, u"StartMenuDlg4"}, {PageKind::kProgress, 2, u"ProgressDlg3"},
      {PageKind::kSummary, 0, u"SummaryDlg2"},
  };
  for (const auto& c : cases) EXPECT_EQ(PageTemplateName(c.page, c.style), c.name) << c.style;
}

TEST(WizardRulesTest, PageSequenceConditions) {
  EXPECT_FALSE(ShowsLanguagePage(1, false));
  EXPECT_TRUE(ShowsLanguagePage(2, false));
  EXPECT_FALSE(ShowsLanguagePage(2, true));

  EXPECT_TRUE(ShowsGreetingPage(false, 0));
  EXPECT_FALSE(ShowsGreetingPage(true, 0));
  EXPECT_FALSE(ShowsGreetingPage(false, product_flag::kNoGreetingPage));

  EXPECT_FALSE(ShowsPasswordPage(u""));
  EXPECT_TRUE(ShowsPasswordPage(u" "));

  EXPECT_TRUE(ShowsFolderPage(false, product_flag::kFolderPage, true));
  EXPECT_FALSE(ShowsFolderPage(false, product_flag::kFolderPage, false));
  EXPECT_FALSE(ShowsFolderPage(true, product_flag::kFolderPage, true));
  EXPECT_FALSE(ShowsFolderPage(false, 0, true));

  EXPECT_TRUE(ShowsProgressPage(product_flag::kProgressPage, false));
  EXPECT_FALSE(ShowsProgressPage(product_flag::kProgressPage, true));
  EXPECT_FALSE(ShowsProgressPage(0, false));
}

TEST(WizardRulesTest, StartMenuPageConditions) {
  StartMenuPageInput in;
  in.flags = product_flag::kStartMenuPage;
  EXPECT_TRUE(ShowsStartMenuPage(in));
  const struct {
    const char* name;
    void (*change)(StartMenuPageInput&);
    bool shown;
  } cases[] = {
      {"automatic", [](StartMenuPageInput& i) { i.automatic = true; }, false},
      {"silent", [](StartMenuPageInput& i) { i.silent = true; }, false},
      {"no flag", [](StartMenuPageInput& i) { i.flags = 0; }, false},
      {"earlier folder", [](StartMenuPageInput& i) { i.earlier_folder_exists = true; }, false},
      {"removable drive alone", [](StartMenuPageInput& i) { i.portable_drive = true; }, true},
      {"removable drive and 0x800",
       [](StartMenuPageInput& i) {
         i.portable_drive = true;
         i.archive_flags = archive_flag::kNoStartMenuPageOnRemovable;
       },
       false},
      {"0x800 on a fixed drive", [](StartMenuPageInput& i) { i.archive_flags = 0x800; }, true},
  };
  for (const auto& c : cases) {
    StartMenuPageInput changed = in;
    c.change(changed);
    EXPECT_EQ(ShowsStartMenuPage(changed), c.shown) << c.name;
  }
}

TEST(WizardRulesTest, DocumentsOfThePages) {
  LocalizedTexts texts;
  texts.SetPlaceholders(u"Notes", u"the notes", u"Windows 10");
  const std::vector<Bytes> docs = {Utf16(u"For <product> on <os>.", true), {}, Utf16(u"{\\rtf1 x}"),
                                   Bytes{'{', '\\', 'r', 't', 'f', '1', '}'}, Utf16(u"")};
  const std::vector<PageDocument> expected = {{false, u"Summary", {}},
                                              {false, u"For Notes on Windows 10.", {}},
                                              {true, u"", "{\\rtf1 x}"},
                                              {true, u"", "{\\rtf1}"}};
  EXPECT_EQ(PageDocuments(u"Summary", docs, texts), expected);
  EXPECT_TRUE(PageDocuments(u"", {{}, Bytes{0xFF, 0xFE}}, texts).empty());
  // The language's text is taken as the table gave it (its placeholders are filled already).
  EXPECT_EQ(PageDocuments(u"<product>", {}, texts)[0].text, u"<product>");
}

TEST(WizardRulesTest, GreetingTexts) {
  EXPECT_EQ(GreetingLinkText(u"<a>More</a> here", u"https://x.invalid/a"),
            u"<a href=\"https://x.invalid/a\">More</a> here");
  EXPECT_EQ(GreetingLinkText(u"<a>A</a> and <a>B</a>", u"u"), u"<a href=\"u\">A</a> and <a href=\"u\">B</a>");
  EXPECT_EQ(GreetingLinkText(u"", u"https://x.invalid"), u"");
  EXPECT_EQ(GreetingLinkText(u"<a>More</a>", u""), u"");
  EXPECT_EQ(GreetingMessage(u"Hello", PageLayout::kHeaderBand), u"\r\n\r\nHello");
  EXPECT_EQ(GreetingMessage(u"Hello", PageLayout::kSidePicture), u"Hello");
}

TEST(WizardRulesTest, SizeTexts) {
  const std::pair<std::uint64_t, const char16_t*> cases[] = {
      {0, u"0 bytes"},
      {1023, u"1023 bytes"},
      {1024, u"1.00 KB"},
      {1536, u"1.50 KB"},
      {1024 * 1000 - 1, u"999 KB"},
      {1024 * 1000, u"0.97 MB"},
      {12'900'000, u"12.3 MB"},
      {std::uint64_t{5} << 30, u"5.00 GB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(SizeText(bytes), text) << bytes;
  EXPECT_EQ(SpaceNeeded({100, -5, 0, 2'000'000'000, 2'000'000'000}), 4'000'000'100u);
}

TEST(WizardRulesTest, LanguagePreselection) {
  const std::vector<WString> names = {u"Deutsch", u"English (United States)", u"Fran\u00e7ais"};
  const struct {
    const char16_t* user;
    int index;
  } cases[] = {
      {u"Fran\u00e7ais (France)", 2},
      {u"  Deutsch (Deutschland)", 0},
      {u"deutsch", 0},
      {u"Italiano (Italia)", 1},
      {u"", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(PreselectedLanguage(names, c.user), c.index) << c.index;
  EXPECT_EQ(PreselectedLanguage({u"Deutsch", u"Italiano"}, u"Suomi"), 0);
  EXPECT_EQ(PreselectedLanguage({}, u"Suomi"), -1);
}

TEST(WizardRulesTest, StartMenuEntries) {
  for (const char16_t* good : {u"Notes", u"Maker\\Notes", u"", u"A b-c_d (e)"}) {
    EXPECT_TRUE(StartMenuEntryValid(good)) << WideToUtf8(good);
  }
  for (const char16_t* bad : {u"a/b", u"a\"b", u"a<b", u"a>b", u"a|b", u"a*b", u"a?b", u"a:b", u"a;b", u"\\Notes",
                              u"Maker\\\\Notes"}) {
    EXPECT_FALSE(StartMenuEntryValid(bad)) << WideToUtf8(bad);
  }
}

TEST(WizardRulesTest, SummaryBoxesFollowTheirSettings) {
  const SummaryBoxes none = SummaryBoxesShown(false, u"", u"", u"");
  EXPECT_FALSE(none.any());
  const SummaryBoxes all = SummaryBoxesShown(true, u"doc.txt", u"%InstallDir%", u"notes.exe");
  EXPECT_TRUE(all.view_log && all.document && all.open && all.launch);
  const SummaryBoxes launch = SummaryBoxesShown(false, u"", u"", u"notes.exe");
  EXPECT_TRUE(launch.launch && !launch.open && !launch.document && !launch.view_log);
}

TEST(WizardRulesTest, ProgramsToClose) {
  const std::vector<CloseProgramEntry> entries = {
      {u"NotesMain", u"", "Notes", 2, kCloseAtUninstallation},            // not for the installation
      {u"notesmain", u"*Draft", "Notes draft", 0, kCloseAtInstallation},  // class any case, title contains
      {u"", u"Viewer", "Viewer", 3, kCloseAtInstallation | kCloseAtUninstallation},
  };
  EXPECT_EQ(FirstMatchingCloseEntry(entries, u"NotesMain", u"My Draft 2"), 1);
  EXPECT_EQ(FirstMatchingCloseEntry(entries, u"NotesMain", u"Notes"), -1);
  EXPECT_EQ(FirstMatchingCloseEntry(entries, u"Anything", u"viewer"), 2);
  EXPECT_EQ(FirstMatchingCloseEntry(entries, u"Anything", u"Viewer 2"), -1);
}

}  // namespace
}  // namespace ks
