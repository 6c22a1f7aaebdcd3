#include "ui/dialog_template.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

void Word(Bytes& b, std::uint16_t w) {
  b.push_back(static_cast<std::uint8_t>(w));
  b.push_back(static_cast<std::uint8_t>(w >> 8));
}
void Dword(Bytes& b, std::uint32_t d) {
  Word(b, static_cast<std::uint16_t>(d));
  Word(b, static_cast<std::uint16_t>(d >> 16));
}
void Text(Bytes& b, const char16_t* t) {
  for (; *t; ++t) Word(b, *t);
  Word(b, 0);
}
void Align(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

// An extended template titled `title` in `face` at `points`, with one
// control whose bytes follow the header at the next 4-byte boundary.
Bytes Template(const char16_t* title, const char16_t* face, std::uint16_t points, std::uint32_t style = 0x48) {
  Bytes b;
  Word(b, 1);
  Word(b, 0xFFFF);
  Dword(b, 0);       // help id
  Dword(b, 0);       // extended style
  Dword(b, style);
  Word(b, 1);        // one control
  for (int i = 0; i < 4; ++i) Word(b, 10);
  Word(b, 0);        // no menu
  Word(b, 0);        // the dialog class
  Text(b, title);
  if (style & 0x40) {
    Word(b, points);
    Word(b, 400);
    b.push_back(0);
    b.push_back(1);
    Text(b, face);
  }
  Align(b);
  // The control: help id, styles, position, id, class ordinal 0x80 (button), title.
  Dword(b, 0);
  Dword(b, 0);
  Dword(b, 0x50010000);
  for (int i = 0; i < 4; ++i) Word(b, 5);
  Dword(b, 1001);
  Word(b, 0xFFFF);
  Word(b, 0x80);
  Text(b, u"OK");
  Word(b, 0);
  return b;
}

TEST(DialogTemplateTest, ReplacesTheFontAndKeepsTheControls) {
  const Bytes original = Template(u"Page", u"MS Shell Dlg 2", 8);
  const auto changed = WithDialogFont(original, {u"Tahoma", 11});
  ASSERT_TRUE(changed.has_value());
  EXPECT_EQ(*changed, Template(u"Page", u"Tahoma", 11));
  // Titles of every length keep the controls on their boundary.
  for (const char16_t* title : {u"", u"A", u"AB", u"ABC"}) {
    EXPECT_EQ(WithDialogFont(Template(title, u"X", 8), {u"Longer Face Name", 9}),
              Template(title, u"Longer Face Name", 9));
  }
}

TEST(DialogTemplateTest, EmptyPartsKeepTheTemplates) {
  const Bytes original = Template(u"Page", u"MS Shell Dlg 2", 8);
  EXPECT_EQ(WithDialogFont(original, {u"", 0}), original);
  EXPECT_EQ(WithDialogFont(original, {u"", 12}), Template(u"Page", u"MS Shell Dlg 2", 12));
  EXPECT_EQ(WithDialogFont(original, {u"Verdana", 0}), Template(u"Page", u"Verdana", 8));
  // A face longer than a font can name is cut to 31 characters.
  const WString longer(40, u'x');
  EXPECT_EQ(WithDialogFont(original, {longer, 8}), Template(u"Page", WString(31, u'x').c_str(), 8));
}

TEST(DialogTemplateTest, RefusesOtherBytes) {
  EXPECT_FALSE(WithDialogFont({}, {u"Tahoma", 8}));
  EXPECT_FALSE(WithDialogFont(Template(u"Page", u"", 8, 0), {u"Tahoma", 8}));  // no font in it
  Bytes old_style = Template(u"Page", u"X", 8);
  old_style[2] = 0;  // not an extended template
  EXPECT_FALSE(WithDialogFont(old_style, {u"Tahoma", 8}));
  Bytes cut = Template(u"A long title", u"X", 8);
  cut.resize(34);
  EXPECT_FALSE(WithDialogFont(cut, {u"Tahoma", 8}));
}

}  // namespace
}  // namespace ks
