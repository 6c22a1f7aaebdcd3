#include "lib/text.h"

#include <array>

namespace ks {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// 0x80-0x9F of code page 1252. The five bytes the code page leaves undefined
// map to the C1 control of the same value, as the Windows converter does, so
// that every byte survives a round trip.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one code point at `pos`, advancing it. A malformed sequence yields
// U+FFFD and consumes its maximal valid prefix (at least one byte), the usual
// "one replacement per maximal subpart" rule.
char32_t DecodeUtf8(NStringView s, size_t& pos) {
  const unsigned char lead = static_cast<unsigned char>(s[pos++]);
  if (lead < 0x80) return lead;
  size_t needed;
  char32_t cp;
  unsigned char lower = 0x80, upper = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) lower = 0xA0;  // overlong
    if (lead == 0xED) upper = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) lower = 0x90;  // overlong
    if (lead == 0xF4) upper = 0x8F;  // above U+10FFFF
  } else {
    return kReplacement;
  }
  for (size_t i = 0; i < needed; ++i) {
    if (pos >= s.size()) return kReplacement;
    const unsigned char b = static_cast<unsigned char>(s[pos]);
    if (b < lower || b > upper) return kReplacement;
    lower = 0x80;
    upper = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    ++pos;
  }
  return cp;
}

void AppendUtf16(WString& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
    return;
  }
  cp -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Reads one code point of UTF-16 at `pos`, advancing it; an unpaired
// surrogate reads as U+FFFD.
char32_t DecodeUtf16(WStringView s, size_t& pos) {
  const char16_t c = s[pos++];
  if (IsHighSurrogate(c) && pos < s.size() && IsLowSurrogate(s[pos])) {
    const char16_t low = s[pos++];
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (low - 0xDC00);
  }
  if (IsHighSurrogate(c) || IsLowSurrogate(c)) return kReplacement;
  return c;
}

void AppendUtf8(NString& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

char16_t Cp1252ByteToWide(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

// Returns the code page 1252 byte of `cp`, or -1 when the code page lacks it.
int WideToCp1252Byte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (size_t i = 0; i < kCp1252High.size(); ++i) {
    if (kCp1252High[i] == cp) return static_cast<int>(0x80 + i);
  }
  return -1;
}

AnsiCodePage DefaultAnsiCodePage() { return {&Cp1252ToWide, &WideToCp1252}; }

AnsiCodePage& CurrentAnsiCodePage() {
  static AnsiCodePage current = DefaultAnsiCodePage();
  return current;
}

char AsciiLowerNarrow(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

WString Utf8ToWide(NStringView utf8) {
  WString out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) AppendUtf16(out, DecodeUtf8(utf8, pos));
  return out;
}

NString WideToUtf8(WStringView wide) {
  NString out;
  out.reserve(wide.size());
  size_t pos = 0;
  while (pos < wide.size()) AppendUtf8(out, DecodeUtf16(wide, pos));
  return out;
}

WString Cp1252ToWide(NStringView text) {
  WString out;
  out.reserve(text.size());
  for (char c : text) out.push_back(Cp1252ByteToWide(static_cast<unsigned char>(c)));
  return out;
}

NString WideToCp1252(WStringView text, char fallback) {
  NString out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const int b = WideToCp1252Byte(DecodeUtf16(text, pos));
    out.push_back(b < 0 ? fallback : static_cast<char>(b));
  }
  return out;
}

void SetAnsiCodePage(const AnsiCodePage& converter) {
  // A converter with a missing half would crash later; keep the default instead.
  CurrentAnsiCodePage() =
      (converter.to_wide && converter.from_wide) ? converter : DefaultAnsiCodePage();
}

WString AnsiToWide(NStringView text) { return CurrentAnsiCodePage().to_wide(text); }

NString WideToAnsi(WStringView text, char fallback) {
  return CurrentAnsiCodePage().from_wide(text, fallback);
}

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool EqualsIgnoreCase(WStringView a, WStringView b) {
  return a.size() == b.size() && StartsWithIgnoreCase(a, b);
}

bool StartsWithIgnoreCase(WStringView text, WStringView prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

bool EqualsIgnoreCase(NStringView a, NStringView b) {
  return a.size() == b.size() && StartsWithIgnoreCase(a, b);
}

bool StartsWithIgnoreCase(NStringView text, NStringView prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLowerNarrow(text[i]) != AsciiLowerNarrow(prefix[i])) return false;
  }
  return true;
}

WString Widen(NStringView ascii) { return Cp1252ToWide(ascii); }

}  // namespace ks
