#include "ui/dialog_template.h"

#include <algorithm>

namespace ks {
namespace {

constexpr std::uint32_t kSetFont = 0x40;  // DS_SETFONT (DS_SHELLFONT includes it)
constexpr std::size_t kFixedHeader = 26;  // up to the menu: version .. cy

struct Cursor {
  const Bytes& b;
  std::size_t at = 0;
  bool ok = true;

  std::uint16_t Word() {
    if (at + 2 > b.size()) {
      ok = false;
      return 0;
    }
    const auto w = static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
    at += 2;
    return w;
  }
  // A zero-terminated UTF-16 text.
  void SkipText() {
    while (ok && Word() != 0) {
    }
  }
  // A menu or class: nothing, an ordinal or a text.
  void SkipNameOrOrdinal() {
    const std::uint16_t first = Word();
    if (first == 0xFFFF) {
      Word();
    } else if (first != 0) {
      SkipText();
    }
  }
};

void PutWord(Bytes& out, std::uint16_t w) {
  out.push_back(static_cast<std::uint8_t>(w & 0xFF));
  out.push_back(static_cast<std::uint8_t>(w >> 8));
}

}  // namespace

std::optional<Bytes> WithDialogFont(const Bytes& dialog, const DialogFont& font) {
  if (dialog.size() < kFixedHeader) return std::nullopt;
  Cursor c{dialog};
  const std::uint16_t version = c.Word();
  const std::uint16_t signature = c.Word();
  if (version != 1 || signature != 0xFFFF) return std::nullopt;
  const std::uint32_t style = dialog[12] | (dialog[13] << 8) | (dialog[14] << 16) |
                              (static_cast<std::uint32_t>(dialog[15]) << 24);
  if ((style & kSetFont) == 0) return std::nullopt;
  c.at = kFixedHeader;
  c.SkipNameOrOrdinal();  // menu
  c.SkipNameOrOrdinal();  // class
  c.SkipText();           // title
  const std::size_t font_at = c.at;
  const std::uint16_t points = c.Word();
  c.Word();  // weight
  c.Word();  // italic, character set
  const std::size_t face_at = c.at;
  c.SkipText();
  if (!c.ok) return std::nullopt;
  const std::size_t items_at = (c.at + 3) & ~std::size_t{3};
  if (items_at > dialog.size()) return std::nullopt;

  Bytes out(dialog.begin(), dialog.begin() + static_cast<std::ptrdiff_t>(font_at));
  PutWord(out, font.points > 0 ? static_cast<std::uint16_t>(font.points) : points);
  out.insert(out.end(), dialog.begin() + static_cast<std::ptrdiff_t>(font_at + 2),
             dialog.begin() + static_cast<std::ptrdiff_t>(face_at));
  if (font.face.empty()) {
    out.insert(out.end(), dialog.begin() + static_cast<std::ptrdiff_t>(face_at),
               dialog.begin() + static_cast<std::ptrdiff_t>(c.at));
  } else {
    // A face name holds at most 31 characters (LF_FACESIZE with its zero).
    const WStringView face = WStringView(font.face).substr(0, std::min<std::size_t>(font.face.find(u'\0'), 31));
    for (const char16_t ch : face) PutWord(out, ch);
    PutWord(out, 0);
  }
  while (out.size() % 4 != 0) out.push_back(0);
  out.insert(out.end(), dialog.begin() + static_cast<std::ptrdiff_t>(items_at), dialog.end());
  return out;
}

}  // namespace ks
