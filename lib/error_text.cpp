#include "lib/error_text.h"

#include <string>

namespace ks {
namespace {

bool IsTrailingSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

NString Hex8(const char* prefix, std::uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  NString text = prefix;
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

}  // namespace

NString ErrorCodeTextNarrow(std::int32_t code) {
  if (code >= 0) return std::to_string(code);
  return Hex8("0x", static_cast<std::uint32_t>(code));
}
WString ErrorCodeText(std::int32_t code) { return Widen(ErrorCodeTextNarrow(code)); }

WString ComposeSystemErrorText(std::uint32_t code, WStringView user_message, WStringView english_message) {
  if (code == 86) return u"Incorrect password.";
  auto trim = [](WStringView s) {
    while (!s.empty() && IsTrailingSpace(s.back())) s.remove_suffix(1);
    return WString(s);
  };
  WString text = trim(user_message);
  const WString english = trim(english_message);
  if (text.empty()) {
    text = Widen(Hex8("Error 0x", code));
  }
  if (!english.empty() && english != text) text += u"\r\n" + english;
  return text;
}

}  // namespace ks
