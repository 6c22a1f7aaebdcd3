#include "core/report_text.h"

#include "core/localized_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace ks {
namespace {

std::string Show(WStringView s) { return WideToUtf8(s); }

TEST(ReportTextTest, Formats) {
  struct Row {
    const char16_t* format;
    std::vector<ReportArg> args;
    const char16_t* want;
  } const rows[] = {
      {u"Needs a %d-bit Windows.", {64}, u"Needs a 64-bit Windows."},
      {u"%s version %s or later", {u"Master", u"2.0"}, u"Master version 2.0 or later"},
      {u"100%% sure", {}, u"100% sure"},
      {u"[%5s][%-5s]", {u"ab", u"cd"}, u"[   ab][cd   ]"},
      {u"%05d %x %X %u", {-42, 255, 255, -1}, u"-0042 ff FF 4294967295"},
      {u"%ls %lu %I64d", {u"wide", 7, 8}, u"wide 7 8"},
      {u"%.3s", {u"abcdef"}, u"abc"},
      {u"%c", {65}, u"A"},
      // The author's text names other arguments than the caller gives: no crash, no garbage.
      {u"%s and %s and %d", {u"one"}, u"one and  and 0"},
      {u"%d-bit", {u"64"}, u"64-bit"},
      {u"%s-bit", {32}, u"32-bit"},
      {u"odd %q and %", {1}, u"odd %q and %"},
      {u"%99999999999s|", {u"x"}, nullptr},  // width is capped, checked below
  };
  for (const Row& r : rows) {
    const WString got = FormatReportText(r.format, r.args);
    if (r.want) EXPECT_EQ(Show(r.want), Show(got)) << Show(r.format);
    else EXPECT_LE(got.size(), 1100u);
  }
}

TEST(ReportTextTest, ConversionsAreTheOnesTheFormatterFills) {
  const struct {
    const char16_t* format;
    const char16_t* want;
  } rows[] = {
      {u"", u""},
      {u"100%% sure, %s", u"s"},
      {u"%05d %x %X %u %c", u"dxXuc"},
      {u"%ls %-5s %.3s %I64d", u"sssd"},
      {u"odd %q and % and %", u""},
      {u"%%d", u""},
  };
  for (const auto& r : rows) EXPECT_EQ(Show(ReportConversions(r.format)), Show(r.want)) << Show(r.format);
}

TEST(ReportTextTest, DefaultsCoverTheReports) {
  for (int n : {9, 12, 21, 61, 81, 91, 106, 111, 112}) EXPECT_NE(nullptr, EnglishText(n)) << n;
  EXPECT_EQ(nullptr, EnglishText(5000));
}

}  // namespace
}  // namespace ks
