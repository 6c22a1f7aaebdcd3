// The lists the installation keeps for the uninstaller: the product's fonts
// ("ProductFonts") and shared files ("SharedFiles") with the count rules.

#include <gtest/gtest.h>

#include "engine/font_list.h"
#include "engine/placement_rules.h"
#include "integration/shared_files.h"

namespace ks {
namespace {

TEST(FontList, EntriesReadBackInPairs) {
  const NString text = FontListEntry("Kestrelon Sans (TrueType)", "kss.ttf") +
                       FontListEntry("Say \"Hi\"", "|h\xC3\xA9.ttf") + FontListEntry("", "empty-name.ttf");
  EXPECT_EQ(FontListEntry("Say \"Hi\"", "h.ttf"), "\"Say \"\"Hi\"\"\" \"h.ttf\" ");
  const std::vector<FontListItem> expected = {
      {"Kestrelon Sans (TrueType)", "kss.ttf"}, {"Say \"Hi\"", "|h\xC3\xA9.ttf"}, {"", "empty-name.ttf"}};
  EXPECT_EQ(ParseFontList(text), expected);
}

TEST(FontList, DamagedTextKeepsWhatCameBefore) {
  struct Case {
    const char* text;
    std::size_t pairs;
  };
  const Case cases[] = {
      {"", 0},
      {"  \r\n\t ", 0},
      {"\"a\" \"a.ttf\" \"b\"", 1},          // a name without its file
      {"\"a\" \"a.ttf\" \"b\" \"b.ttf", 1},  // a file name not closed
      {"\"a\" \"a.ttf\" junk \"b\" \"b.ttf\"", 1},
      {"\"a\"\t\"a.ttf\"\r\n\"b\"  \"b.ttf\"", 2},  // any white space separates
      {"\"a\"\"a.ttf\"", 0},                  // one item holding a quote, no partner
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFontList(c.text).size(), c.pairs) << c.text;
}

TEST(SharedFiles, CountNameDropsTheMarkersInTheirOrder) {
  struct Case {
    const char* entry;
    const char* name;
  };
  const Case cases[] = {
      {"C:\\W\\a.dll", "C:\\W\\a.dll"},      {"C:\\W\\a.dll^", "C:\\W\\a.dll"},
      {"C:\\W\\a.dll ", "C:\\W\\a.dll"},     {"C:\\W\\a.tlb\xA9", "C:\\W\\a.tlb"},
      {"C:\\W\\a.tlb\xA9 ^", "C:\\W\\a.tlb"}, {"C:\\W\\a.dll^^", "C:\\W\\a.dll^"},
      {"C:\\W\\a.dll^\xA9", "C:\\W\\a.dll^"},  // a marker out of order stays
      {"|C:\\\xC3\xA9.dll ", "|C:\\\xC3\xA9.dll"},
  };
  for (const Case& c : cases) EXPECT_EQ(SharedCountName(c.entry), c.name) << c.entry;
}

TEST(SharedFiles, TextGrowsByQuotedEntriesAndFindsThemIgnoringCase) {
  NString text;
  AppendSharedEntry(text, QuotedSharedEntry("C:\\W\\a.dll^"));
  AppendSharedEntry(text, QuotedSharedEntry("C:\\W\\b.tlb\xA9"));
  EXPECT_EQ(text, "\"C:\\W\\a.dll^\";\"C:\\W\\b.tlb\xA9\"");
  EXPECT_TRUE(SharedFilesTextHas(text, QuotedSharedEntry("c:\\w\\A.DLL^")));
  EXPECT_FALSE(SharedFilesTextHas(text, QuotedSharedEntry("C:\\W\\a.dll")));  // another marker, another entry
  EXPECT_FALSE(SharedFilesTextHas(text, QuotedSharedEntry("C:\\W\\b.tlb")));
  EXPECT_EQ(QuotedSharedEntry("a\"b"), "\"a\"\"b\"");
}

TEST(SharedFiles, ParsesMarkersAndStopsAtTheFirstEmptyEntry) {
  const NString text = QuotedSharedEntry("C:\\W\\com.dll^") + ";" + QuotedSharedEntry("C:\\W\\t.tlb\xA9") + ";" +
                       QuotedSharedEntry("C:\\W\\sys.dll ") + ";" + QuotedSharedEntry("C:\\S\\plain.dll") + ";" +
                       QuotedSharedEntry("C:\\W\\kept.tlb\xA9 ") + ";\"\";" + QuotedSharedEntry("C:\\after.dll");
  const std::vector<SharedFileListing> expected = {
      {"C:\\W\\com.dll", false, false, true}, {"C:\\W\\t.tlb", true, false, false},
      {"C:\\W\\sys.dll", false, true, false}, {"C:\\S\\plain.dll", false, false, false},
      {"C:\\W\\kept.tlb", true, true, false},
  };
  EXPECT_EQ(ParseSharedFiles(text), expected);
}

TEST(SharedFiles, DamagedTextKeepsWhatCameBefore) {
  struct Case {
    const char* text;
    std::size_t entries;
  };
  const Case cases[] = {
      {"", 0},
      {"C:\\a.dll", 0},                         // no quotes
      {"\"C:\\a.dll\";\"C:\\b.dll", 1},         // not closed
      {"\"C:\\a.dll\" junk;\"C:\\b.dll\"", 1},  // text outside the quotes
      {"\"C:\\a\"\"b.dll\";\"C:\\c.dll\"", 2},  // a doubled quote is one quote
      {"\"C:\\a.dll\"\"", 0},                   // ends in a doubled quote, never closed
  };
  for (const Case& c : cases) EXPECT_EQ(ParseSharedFiles(c.text).size(), c.entries) << c.text;
  EXPECT_EQ(ParseSharedFiles("\"C:\\a\"\"b.dll\"")[0].path, "C:\\a\"b.dll");
}

TEST(SharedFiles, CountsRiseFromNothingAndFallToNothing) {
  EXPECT_EQ(RaisedCount(std::nullopt), 1u);
  EXPECT_EQ(RaisedCount(1), 2u);
  EXPECT_EQ(RaisedCount(-5), 1u);  // a broken count starts again

  struct Case {
    std::optional<std::int32_t> count;
    bool skip, remove_value;
    std::uint32_t new_count;
    bool unused;
  };
  const Case cases[] = {
      {std::nullopt, true, false, 0, false},  // not counted: left alone
      {3, false, false, 2, false},
      {2, false, false, 1, false},
      {1, false, true, 0, true},
      {0, false, true, 0, true},   // used up already
      {-1, false, true, 0, true},
  };
  for (const Case& c : cases) {
    const CountRelease r = ReleaseCount(c.count);
    EXPECT_EQ(r.skip, c.skip) << c.count.value_or(-99);
    EXPECT_EQ(r.remove_value, c.remove_value) << c.count.value_or(-99);
    EXPECT_EQ(r.new_count, c.new_count) << c.count.value_or(-99);
    EXPECT_EQ(r.unused, c.unused) << c.count.value_or(-99);
  }
}

TEST(SharedFiles, FailureTexts) {
  EXPECT_EQ(SharedCountsUnavailableText(u"5", u"Access denied.", u"Windows 10 Pro"),
            u"Registry error: unable to increment shared file reference counts.\r\n"
            u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs\r\nCode 5: Access denied.\r\n"
            u"OS: Windows 10 Pro\r\n\r\n");
  EXPECT_EQ(SharedCountWriteFailedLine(u"C:\\W\\a.dll", u"Access denied."),
            u"Failed to increment reference count of shared file \"C:\\W\\a.dll\" : Access denied.\r\n");
}

}  // namespace
}  // namespace ks
