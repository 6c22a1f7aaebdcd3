#include "core/localized_texts.h"

#include <gtest/gtest.h>

#include <vector>

namespace ks {
namespace {

TEST(LocalizedTextsTest, LineEndsBecomeCrLf) {
  const std::pair<WString, WString> cases[] = {
      {u"", u""},
      {u"a\nb", u"a\r\nb"},
      {u"a\r\nb", u"a\r\nb"},
      {u"a\n\rb", u"a\r\nb"},
      {u"a\rb", u"a\rb"},
      {u"\n\n", u"\r\n\r\n"},
      {u"\n\r\n", u"\r\n\r\n"},
      {u"a\r\n\rb", u"a\r\n\rb"},
      {u"end\n", u"end\r\n"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeLineEnds(in), out);
}

TEST(LocalizedTextsTest, StartLanguageIsTheLastEnglish) {
  struct Case {
    std::vector<WString> names;
    int expected;
  };
  const Case cases[] = {
      {{u"English"}, 0},
      {{u"Deutsch", u"English"}, 1},
      {{u"Deutsch", u"Fran\u00E7ais"}, 0},
      {{u"English", u"Deutsch", u"English"}, 2},
      {{u"Deutsch", u"english", u"English (US)"}, 0},
  };
  for (const Case& c : cases) {
    const LocalizedTexts built(c.names, {std::vector<WString>(c.names.size())});
    EXPECT_EQ(built.current_language(), c.expected);
    // A table read from a stream chooses the same way.
    SettingsWriter w;
    ASSERT_TRUE(built.Write(w));
    SettingsReader r{ByteReader(w.bytes())};
    LocalizedTexts read;
    ASSERT_EQ(read.Read(r), 0);
    EXPECT_EQ(read.current_language(), c.expected);
  }
}

LocalizedTexts TwoLanguages() {
  LocalizedTexts t({u"Deutsch", u"English"}, {{u"Titel", u"Title"},
                                              {u"", u"<product> and <product>"},
                                              {u"", u"<description> on <os>"},
                                              {u"", u"<os><product><unknown>"}});
  t.SetPlaceholders(u"Kestrel <os>", u"Tool", u"Windows 11");
  return t;
}

TEST(LocalizedTextsTest, TextNumberInTheCurrentLanguageWithPlaceholders) {
  const LocalizedTexts t = TwoLanguages();
  const std::pair<int, WString> cases[] = {
      {0, u"Title"},
      {1, u"Kestrel <os> and Kestrel <os>"},  // inserted values are not replaced again
      {2, u"Tool on Windows 11"},
      {3, u"Windows 11Kestrel <os><unknown>"},
      {4, u""},  // one past the end
      {-1, u""},
      {100000, u""},
  };
  for (const auto& [n, text] : cases) EXPECT_EQ(t.Text(n), text) << n;
}

TEST(LocalizedTextsTest, LanguageSwitchAndInvalidLanguage) {
  LocalizedTexts t = TwoLanguages();
  EXPECT_EQ(t.current_language_name(), u"English");
  t.set_current_language(0);
  EXPECT_EQ(t.current_language_name(), u"Deutsch");
  EXPECT_EQ(t.Text(0), u"Titel");
  EXPECT_EQ(t.Text(1), u"");
  t.set_current_language(2);
  EXPECT_EQ(t.Text(0), u"");
  EXPECT_EQ(t.current_language_name(), u"");
  t.set_current_language(-1);
  EXPECT_EQ(t.Text(0), u"");
  EXPECT_EQ(LocalizedTexts().Text(0), u"");
}

TEST(LocalizedTextsTest, ReadNormalisesRowsButNotNames) {
  const LocalizedTexts built({u"Eng\nlish", u"English"}, {{u"a\nb", u"c\n\rd"}, {u"x", u"line\n"}});
  SettingsWriter w;
  ASSERT_TRUE(built.Write(w));
  w.U32(0xD3E82B97);
  SettingsReader r{ByteReader(w.bytes())};
  LocalizedTexts t;
  ASSERT_EQ(t.Read(r), 0);
  EXPECT_EQ(r.U32(), 0xD3E82B97u);
  EXPECT_FALSE(r.failed());
  ASSERT_EQ(t.language_count(), 2u);
  ASSERT_EQ(t.text_count(), 2u);
  EXPECT_EQ(t.language_name(0), u"Eng\nlish");
  EXPECT_EQ(t.current_language(), 1);
  EXPECT_EQ(t.RawText(0, 0), u"a\r\nb");
  EXPECT_EQ(t.Text(0), u"c\r\nd");
  EXPECT_EQ(t.Text(1), u"line\r\n");
}

TEST(LocalizedTextsTest, ATableLargerThanTheStreamIsNotReserved) {
  // 200 languages x 10000 texts declared in a handful of bytes.
  SettingsWriter w;
  w.U8(200);
  w.U32(10000);
  for (int i = 0; i < 200; ++i) w.ZTextW(u"L");
  w.U32(0xD3E82B97);
  SettingsReader r{ByteReader(w.bytes())};
  LocalizedTexts t;
  EXPECT_EQ(t.Read(r), 0);
  EXPECT_TRUE(r.failed());  // the end value check that follows fails
  EXPECT_EQ(t.Text(0), u"");
}

TEST(LocalizedTextsTest, TextOrEnglishFillsWhatTheTableLacks) {
  std::vector<std::vector<WString>> rows(22);
  rows[21] = {u"Fehler <product>"};
  LocalizedTexts texts({u"Deutsch"}, rows);
  texts.SetPlaceholders(u"Kestrel", u"", u"");
  EXPECT_EQ(texts.TextOrEnglish(21), u"Fehler Kestrel");
  EXPECT_EQ(texts.Text(3), u"");
  EXPECT_EQ(texts.TextOrEnglish(3), u"Kestrel is already installed in this folder:");
  EXPECT_EQ(texts.TextOrEnglish(5000), u"");
}

}  // namespace
}  // namespace ks
