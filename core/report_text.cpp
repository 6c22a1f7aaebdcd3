#include "core/report_text.h"

#include <cstddef>

namespace ks {
namespace {

struct Directive {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  std::size_t width = 0;
  bool has_precision = false;
  std::size_t precision = 0;
  char16_t conversion = 0;
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Widths beyond this are an author's typo, not a wish for megabytes of blanks.
constexpr std::size_t kMaxWidth = 1024;

std::size_t ReadNumber(WStringView f, std::size_t& i) {
  std::size_t n = 0;
  while (i < f.size() && IsDigit(f[i])) {
    if (n < kMaxWidth) n = n * 10 + static_cast<std::size_t>(f[i] - u'0');
    ++i;
  }
  return n < kMaxWidth ? n : kMaxWidth;
}

// Parses the conversion after "%" starting at i; false when it is not one.
bool ParseDirective(WStringView f, std::size_t& i, Directive& s) {
  for (; i < f.size(); ++i) {
    const char16_t c = f[i];
    if (c == u'-') s.left = true;
    else if (c == u'0') s.zero = true;
    else if (c == u'+') s.plus = true;
    else if (c == u' ') s.space = true;
    else if (c != u'#') break;
  }
  s.width = ReadNumber(f, i);
  if (i < f.size() && f[i] == u'.') {
    ++i;
    s.has_precision = true;
    s.precision = ReadNumber(f, i);
  }
  while (i < f.size() && (f[i] == u'h' || f[i] == u'l')) ++i;
  if (f.substr(i, 3) == u"I64") i += 3;
  if (i >= f.size()) return false;
  s.conversion = f[i];
  switch (s.conversion) {
    case u's': case u'S': case u'd': case u'i': case u'u': case u'x': case u'X': case u'c':
      ++i;
      return true;
    default:
      return false;
  }
}

WString Digits(std::uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  WString out;
  do {
    out.insert(out.begin(), static_cast<char16_t>(digits[value % base]));
    value /= base;
  } while (value != 0);
  return out;
}

WString Convert(const Directive& s, const ReportArg& arg) {
  switch (s.conversion) {
    case u's': case u'S': {
      WString text = arg.AsText();
      if (s.has_precision && text.size() > s.precision) text.resize(s.precision);
      return text;
    }
    case u'c':
      return WString(1, static_cast<char16_t>(arg.AsNumber()));
    case u'x': case u'X':
      return Digits(static_cast<std::uint32_t>(arg.AsNumber()), 16, s.conversion == u'X');
    case u'u':
      return Digits(static_cast<std::uint32_t>(arg.AsNumber()), 10, false);
    default: {
      const std::int64_t n = arg.AsNumber();
      const std::uint64_t magnitude = n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
      const WString sign = n < 0 ? u"-" : (s.plus ? u"+" : (s.space ? u" " : u""));
      return sign + Digits(magnitude, 10, false);
    }
  }
}

void Pad(const Directive& s, WString& text) {
  if (text.size() >= s.width) return;
  const std::size_t fill = s.width - text.size();
  const bool numeric = s.conversion != u's' && s.conversion != u'S' && s.conversion != u'c';
  if (s.left) {
    text.append(fill, u' ');
  } else if (s.zero && numeric) {
    const std::size_t sign = (!text.empty() && (text[0] == u'-' || text[0] == u'+' || text[0] == u' ')) ? 1 : 0;
    text.insert(sign, fill, u'0');
  } else {
    text.insert(0, fill, u' ');
  }
}

}  // namespace

WString ReportArg::AsText() const {
  if (!is_number_) return text_;
  const std::uint64_t magnitude =
      number_ < 0 ? 0 - static_cast<std::uint64_t>(number_) : static_cast<std::uint64_t>(number_);
  return (number_ < 0 ? u"-" : u"") + Digits(magnitude, 10, false);
}

std::int64_t ReportArg::AsNumber() const {
  if (is_number_) return number_;
  std::size_t i = 0;
  while (i < text_.size() && (text_[i] == u' ' || text_[i] == u'\t')) ++i;
  const bool negative = i < text_.size() && text_[i] == u'-';
  if (i < text_.size() && (text_[i] == u'-' || text_[i] == u'+')) ++i;
  std::int64_t n = 0;
  for (; i < text_.size() && IsDigit(text_[i]) && n < INT64_MAX / 10 - 9; ++i) n = n * 10 + (text_[i] - u'0');
  return negative ? -n : n;
}

WString FormatReportText(WStringView f, const std::vector<ReportArg>& args) {
  WString out;
  std::size_t next_arg = 0;
  const ReportArg missing(u"");
  for (std::size_t i = 0; i < f.size();) {
    if (f[i] != u'%') {
      out += f[i++];
      continue;
    }
    if (i + 1 < f.size() && f[i + 1] == u'%') {
      out += u'%';
      i += 2;
      continue;
    }
    std::size_t j = i + 1;
    Directive directive;
    if (!ParseDirective(f, j, directive)) {
      out += f[i++];
      continue;
    }
    WString piece = Convert(directive, next_arg < args.size() ? args[next_arg] : missing);
    ++next_arg;
    Pad(directive, piece);
    out += piece;
    i = j;
  }
  return out;
}

WString ReportConversions(WStringView f) {
  WString out;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != u'%') continue;
    if (i + 1 < f.size() && f[i + 1] == u'%') {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    Directive directive;
    if (ParseDirective(f, j, directive)) {
      out += directive.conversion;
      i = j - 1;
    }
  }
  return out;
}

}  // namespace ks
