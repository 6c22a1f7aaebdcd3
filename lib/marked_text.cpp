#include "lib/marked_text.h"

#include <algorithm>

namespace ks {
namespace {

constexpr char kUtf8Mark = '|';

bool AllBelow128(WStringView text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 128; });
}

bool StartsWithMark(WStringView text) { return !text.empty() && text.front() == kUtf8Mark; }

}  // namespace

NString EncodeMarkedText(WStringView text, bool allow_ansi) {
  if (!StartsWithMark(text)) {
    if (AllBelow128(text)) return WideToUtf8(text);  // ASCII: the same bytes in any code page
    if (allow_ansi) {
      NString ansi = WideToAnsi(text);
      if (AnsiToWide(ansi) == text && (ansi.empty() || ansi.front() != kUtf8Mark)) return ansi;
    }
  }
  return kUtf8Mark + WideToUtf8(text);
}

WString DecodeMarkedText(NStringView marked) {
  if (!marked.empty() && marked.front() == kUtf8Mark) return Utf8ToWide(marked.substr(1));
  return AnsiToWide(marked);
}

}  // namespace ks
