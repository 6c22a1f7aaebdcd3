#include "core/settings_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace ks {
namespace {

Bytes Filled(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return b;
}

SettingsReader ReaderOf(const Bytes& b) { return SettingsReader(ByteReader(b)); }

struct PrefixCase {
  std::uint32_t count;
  Bytes prefix;
};

TEST(SettingsStreamTest, TextCountPrefixForms) {
  const PrefixCase cases[] = {
      {0, {0}},
      {1, {1}},
      {254, {254}},
      {255, {255, 255, 255, 0, 0, 0}},  // a u16 with low byte 255 would be misread
      {256, {255, 0, 1}},
      {0x1FF, {255, 255, 0xFF, 1, 0, 0}},
      {0xFFFE, {255, 0xFE, 0xFF}},
      {0xFFFF, {255, 255, 0xFF, 0xFF, 0, 0}},
      {0x10000, {255, 255, 0, 0, 1, 0}},
      {70000, {255, 255, 0x70, 0x11, 1, 0}},
  };
  for (const PrefixCase& c : cases) {
    SCOPED_TRACE(c.count);
    const Bytes payload = Filled(c.count);
    SettingsWriter w;
    ASSERT_TRUE(w.Text(payload));
    w.U8(0x5A);  // a following field must start right behind the text
    const Bytes& out = w.bytes();
    ASSERT_EQ(out.size(), c.prefix.size() + c.count + 1);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + c.prefix.size()), c.prefix);

    SettingsReader r = ReaderOf(out);
    EXPECT_EQ(r.Text(), payload);
    EXPECT_EQ(r.U8(), 0x5A);
    EXPECT_FALSE(r.failed());
    EXPECT_EQ(r.remaining(), 0u);
  }
}

TEST(SettingsStreamTest, TextCountAboveLimitFailsAndEmptiesTheRest) {
  // 255, 255, u32 0x40000001: one past the limit, followed by plenty of bytes.
  Bytes b = {255, 255, 0x01, 0x00, 0x00, 0x40};
  b.resize(64, 0x11);
  SettingsReader r = ReaderOf(b);
  EXPECT_TRUE(r.Text().empty());
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(r.U32(), 0u);
}

TEST(SettingsStreamTest, DeclaredSizesBeyondTheStreamFailWithoutReserving) {
  struct Case {
    const char* name;
    Bytes stream;
    bool (*read)(SettingsReader&);
  };
  const Case cases[] = {
      {"Text at the limit", {255, 255, 0x00, 0x00, 0x00, 0x40, 1, 2},
       [](SettingsReader& r) { return r.Text().empty(); }},
      {"Text16", {0xFF, 0xFF, 1, 2, 3}, [](SettingsReader& r) { return r.Text16().empty(); }},
      {"Text8", {9, 'a', 'b'}, [](SettingsReader& r) { return r.Text8().empty(); }},
      {"Blob", {0xFF, 0xFF, 0xFF, 0x7F, 1}, [](SettingsReader& r) { return r.Blob().empty(); }},
      {"negative Blob", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}, [](SettingsReader& r) { return r.Blob().empty(); }},
      {"raw", {1, 2, 3}, [](SettingsReader& r) { return r.Raw(4).empty(); }},
      {"ZText without terminator", {'a', 'b'}, [](SettingsReader& r) { return r.ZText().empty(); }},
      {"ZTextW without terminator", {'a', 0, 'b'}, [](SettingsReader& r) { return r.ZTextW().empty(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SettingsReader r = ReaderOf(c.stream);
    EXPECT_TRUE(c.read(r));
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.remaining(), 0u);
  }
}

TEST(SettingsStreamTest, IntegersAndColoursRoundTripLittleEndian) {
  SettingsWriter w;
  w.U8(0xAB);
  w.U16(0xBEEF);
  w.U32(0xDEADBEEF);
  w.U64(0x0123456789ABCDEFull);
  w.F64(-1234.5);
  w.Colour(0x00FF8040);
  EXPECT_EQ(w.bytes().size(), 1u + 2 + 4 + 8 + 8 + 4);
  EXPECT_EQ(w.bytes()[1], 0xEF);  // low byte first

  SettingsReader r = ReaderOf(w.bytes());
  EXPECT_EQ(r.U8(), 0xAB);
  EXPECT_EQ(r.U16(), 0xBEEF);
  EXPECT_EQ(r.U32(), 0xDEADBEEFu);
  EXPECT_EQ(r.U64(), 0x0123456789ABCDEFull);
  EXPECT_EQ(r.F64(), -1234.5);
  EXPECT_EQ(r.Colour(), 0x00FF8040u);
  EXPECT_FALSE(r.failed());
  EXPECT_EQ(r.U32(), 0u);  // past the end: zero and failed
  EXPECT_TRUE(r.failed());
}

TEST(SettingsStreamTest, CountedTextsRoundTrip) {
  const WString wide = u"C:\\Program Files\\\u00C9t\u00E9 \u65E5\u672C";
  const NString narrow = "echo \xE9t\xE9";
  const Bytes blob = Filled(300);
  SettingsWriter w;
  ASSERT_TRUE(w.TextW(wide));
  ASSERT_TRUE(w.TextA(narrow));
  ASSERT_TRUE(w.Text16W(wide));
  ASSERT_TRUE(w.Text16A(narrow));
  ASSERT_TRUE(w.Text8(narrow));
  ASSERT_TRUE(w.Blob(blob));
  ASSERT_TRUE(w.BlobW(wide));
  ASSERT_TRUE(w.Blob({}));
  w.Raw({9, 8, 7});

  SettingsReader r = ReaderOf(w.bytes());
  EXPECT_EQ(r.TextW(), wide);
  EXPECT_EQ(r.TextA(), narrow);
  EXPECT_EQ(r.Text16W(), wide);
  EXPECT_EQ(r.Text16A(), narrow);
  EXPECT_EQ(r.Text8(), narrow);
  EXPECT_EQ(r.Blob(), blob);
  EXPECT_EQ(r.BlobW(), wide);
  EXPECT_TRUE(r.Blob().empty());
  EXPECT_EQ(r.Raw(3), (Bytes{9, 8, 7}));
  EXPECT_FALSE(r.failed());
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(SettingsStreamTest, WideTextsAreUtf16LittleEndian) {
  EXPECT_EQ(Utf16LeFromWide(u"A\u20AC"), (Bytes{'A', 0, 0xAC, 0x20}));
  EXPECT_EQ(WideFromUtf16Le(Bytes{'A', 0, 0xAC, 0x20}), u"A\u20AC");
  // An odd byte count leaves the last byte without a character.
  EXPECT_EQ(WideFromUtf16Le(Bytes{'A', 0, 'B'}), u"A");
}

TEST(SettingsStreamTest, CountedWritersRefuseWhatTheirCountCannotHold) {
  SettingsWriter w;
  EXPECT_FALSE(w.Text8(NString(256, 'x')));
  EXPECT_FALSE(w.Text16(Bytes(0x10000, 1)));
  EXPECT_TRUE(w.bytes().empty());
  EXPECT_TRUE(w.Text8(NString(255, 'x')));
  EXPECT_TRUE(w.Text16(Bytes(0xFFFF, 1)));
  SettingsReader r = ReaderOf(w.bytes());
  EXPECT_EQ(r.Text8().size(), 255u);
  EXPECT_EQ(r.Text16().size(), 0xFFFFu);
  EXPECT_FALSE(r.failed());
}

TEST(SettingsStreamTest, ZeroTerminatedTextLimits) {
  const NString longest(kMaxZTextLength, 'n');
  const WString longest_w(kMaxZTextLength, u'\u00FC');
  SettingsWriter w;
  ASSERT_TRUE(w.ZText(longest));
  ASSERT_TRUE(w.ZText(""));
  ASSERT_TRUE(w.ZTextW(longest_w));
  ASSERT_TRUE(w.ZTextW(u""));
  EXPECT_FALSE(w.ZText(longest + "n"));
  EXPECT_FALSE(w.ZTextW(longest_w + u"x"));
  EXPECT_FALSE(w.ZText(NStringView("a\0b", 3)));
  EXPECT_FALSE(w.ZTextW(WStringView(u"a\0b", 3)));

  SettingsReader r = ReaderOf(w.bytes());
  EXPECT_EQ(r.ZText(), longest);
  EXPECT_EQ(r.ZText(), "");
  EXPECT_EQ(r.ZTextW(), longest_w);
  EXPECT_EQ(r.ZTextW(), u"");
  EXPECT_FALSE(r.failed());
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(SettingsStreamTest, ZeroTerminatedTextOverTheLimitFails) {
  Bytes narrow(kMaxZTextLength + 1, 'n');
  narrow.push_back(0);
  SettingsReader r = ReaderOf(narrow);
  EXPECT_TRUE(r.ZText().empty());
  EXPECT_TRUE(r.failed());

  Bytes wide;
  for (std::size_t i = 0; i < kMaxZTextLength + 1; ++i) wide.insert(wide.end(), {'w', 0});
  wide.insert(wide.end(), {0, 0});
  SettingsReader rw = ReaderOf(wide);
  EXPECT_TRUE(rw.ZTextW().empty());
  EXPECT_TRUE(rw.failed());
}

}  // namespace
}  // namespace ks
