#include "records/install_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "lib/error_text.h"

namespace ks {
namespace {

NString Cp1252ToUtf8(NStringView text) { return WideToUtf8(Cp1252ToWide(text)); }

NString VFormatNarrow(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (size <= 0) return {};
  NString out(static_cast<std::size_t>(size) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<std::size_t>(size));
  return out;
}

NString FormatNarrow(const char* format, ...) {
  va_list args;
  va_start(args, format);
  NString text = VFormatNarrow(format, args);
  va_end(args);
  return text;
}

// va_list is an array type on some targets; a struct passes it by reference everywhere.
struct Args {
  va_list ap;
};

// One conversion of the wide formatter: the narrow directive is handed to snprintf
// for numbers; strings and characters are padded here.
struct Directive {
  NString flags;
  int width = -1;
  int precision = -1;
  int longs = 0;  // count of 'l'
  char conversion = 0;
};

const char16_t* ParseDirective(const char16_t* p, Directive& directive, Args& args) {
  while (*p == u'-' || *p == u'0' || *p == u'+' || *p == u' ' || *p == u'#') directive.flags += static_cast<char>(*p++);
  if (*p == u'*') {
    directive.width = va_arg(args.ap, int);
    ++p;
  } else {
    for (; *p >= u'0' && *p <= u'9'; ++p) directive.width = (directive.width < 0 ? 0 : directive.width * 10) + (*p - u'0');
  }
  if (*p == u'.') {
    ++p;
    directive.precision = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) directive.precision = directive.precision * 10 + (*p - u'0');
  }
  for (; *p == u'l' || *p == u'h'; ++p) directive.longs += *p == u'l' ? 1 : 0;
  directive.conversion = *p ? static_cast<char>(*p++) : 0;
  return p;
}

WString Pad(WString text, const Directive& directive) {
  if (directive.width < 0 || text.size() >= static_cast<std::size_t>(directive.width)) return text;
  const WString fill(static_cast<std::size_t>(directive.width) - text.size(), u' ');
  return directive.flags.find('-') != NString::npos ? text + fill : fill + text;
}

WString FormatNumber(const Directive& directive, Args& args) {
  const NString length = directive.longs >= 2 ? "ll" : directive.longs == 1 ? "l" : "";
  NString format = "%" + directive.flags;
  if (directive.width >= 0) format += std::to_string(directive.width);
  if (directive.precision >= 0) format += "." + std::to_string(directive.precision);
  format += length + directive.conversion;
  const bool is_signed = directive.conversion == 'd' || directive.conversion == 'i';
  NString text;
  if (directive.longs >= 2) {
    text = is_signed ? FormatNarrow(format.c_str(), va_arg(args.ap, long long))
                     : FormatNarrow(format.c_str(), va_arg(args.ap, unsigned long long));
  } else if (directive.longs == 1) {
    text = is_signed ? FormatNarrow(format.c_str(), va_arg(args.ap, long))
                     : FormatNarrow(format.c_str(), va_arg(args.ap, unsigned long));
  } else {
    text = is_signed ? FormatNarrow(format.c_str(), va_arg(args.ap, int))
                     : FormatNarrow(format.c_str(), va_arg(args.ap, unsigned int));
  }
  return Widen(text);
}

WString VFormatWide(const char16_t* format, va_list list) {
  WString out;
  if (!format) return out;
  Args args;
  va_copy(args.ap, list);
  for (const char16_t* p = format; *p;) {
    if (*p != u'%') {
      out += *p++;
      continue;
    }
    Directive directive;
    p = ParseDirective(p + 1, directive, args);
    switch (directive.conversion) {
      case 's': {
        const char16_t* s = va_arg(args.ap, const char16_t*);
        WString text = s ? WString(s) : WString(u"(null)");
        if (directive.precision >= 0 && text.size() > static_cast<std::size_t>(directive.precision)) text.resize(directive.precision);
        out += Pad(std::move(text), directive);
        break;
      }
      case 'c':
        out += Pad(WString(1, static_cast<char16_t>(va_arg(args.ap, int))), directive);
        break;
      case 'd': case 'i': case 'u': case 'x': case 'X':
        out += FormatNumber(directive, args);
        break;
      case '%':
        out += u'%';
        break;
      default:  // an unknown conversion stays as written; no argument is taken
        out += u'%';
        if (directive.conversion) out += static_cast<char16_t>(static_cast<unsigned char>(directive.conversion));
        break;
    }
  }
  va_end(args.ap);
  return out;
}

NString DateText(const LogDateTime& t, bool with_time) {
  if (!with_time) return FormatNarrow("%04d/%02d/%02d", t.year, t.month, t.day);
  return FormatNarrow("%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

}  // namespace

void InstallLog::Append(NStringView utf8) {
  if (sink_ && !utf8.empty()) sink_->Append(utf8);
}

void InstallLog::Text(const char* text) {
  if (text) Append(Cp1252ToUtf8(text));
}
void InstallLog::Narrow(NStringView text) { Append(Cp1252ToUtf8(text)); }

void InstallLog::NarrowF(const char* format, ...) {
  if (!sink_ || !format) return;
  va_list args;
  va_start(args, format);
  const NString text = VFormatNarrow(format, args);
  va_end(args);
  Append(Cp1252ToUtf8(text));
}

void InstallLog::Concat(const char* first, ...) {
  NString text;
  va_list args;
  va_start(args, first);
  for (const char* s = first; s; s = va_arg(args, const char*)) text += s;
  va_end(args);
  Append(Cp1252ToUtf8(text));
}

void InstallLog::Wide(WStringView text) { Append(WideToUtf8(text)); }

void InstallLog::WideF(const char16_t* format, ...) {
  if (!sink_) return;
  va_list args;
  va_start(args, format);
  const WString text = VFormatWide(format, args);
  va_end(args);
  Append(WideToUtf8(text));
}

void InstallLog::ConcatW(const char16_t* first, ...) {
  WString text;
  va_list args;
  va_start(args, first);
  for (const char16_t* s = first; s; s = va_arg(args, const char16_t*)) text += s;
  va_end(args);
  Append(WideToUtf8(text));
}

void InstallLog::Result(WStringView kind, WStringView name, WStringView path) {
  if (detailed_) Wide(ResultLine(kind, name, path));
}

WString FormatWide(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  WString text = VFormatWide(format, args);
  va_end(args);
  return text;
}

WString ResultLine(WStringView kind, WStringView name, WStringView path) {
  WString line(kind);
  line += u'(';
  line += name;
  line += u") >>> ";
  line += path;
  line += u"\r\n";
  return line;
}

WString FailureEntry(WStringView label, WStringView text, std::uint32_t code, WStringView system_text) {
  WString entry(label);
  entry += u' ';
  entry += text;
  entry += u"\r\n";
  if (code != 0) {
    entry += u"Code " + ErrorCodeText(static_cast<std::int32_t>(code)) + u": ";
    entry += system_text;
    entry += u"\r\n\r\n";
  }
  return entry;
}

WString UninstallFolderPath(WStringView install_dir, WStringView uninstall_subdir, WStringView file_name) {
  WString path(install_dir);
  auto join = [&path](WStringView part) {
    while (!part.empty() && part.front() == u'\\') part.remove_prefix(1);
    while (!part.empty() && part.back() == u'\\') part.remove_suffix(1);
    if (part.empty()) return;
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    path += part;
  };
  join(uninstall_subdir);
  join(file_name);
  return path;
}

WString InstallLogHeaderText(const InstallLogHeader& h) {
  static const char16_t* const kTypes[] = {u"New", u"Reinstall", u"Upgrade", u"Downgrade"};
  WString text = u"Installation log for: " + h.product_name + u"\r\n";
  text += u"Install date: " + Widen(DateText(h.install_date, true)) + u"\r\n";
  if (h.creates_uninstaller) {
    // A type outside 0-3 cannot come from the type decision; its number beats a wrong word.
    const bool known = h.install_type >= 0 && h.install_type <= 3;
    text += u"Install type: " + (known ? WString(kTypes[h.install_type]) : Widen(std::to_string(h.install_type)));
    text += u"\r\n";
  }
  text += u"Install location: " + h.install_dir + u"\r\n";
  text += u"Installer version: " + Widen(kInstallerVersion) + u"\r\n";
  if (!h.build_date.empty()) text += u"Installer built: " + Widen(DateText(h.build_date, false)) + u"\r\n";
  if (!h.product_version.empty()) text += u"Product version: " + h.product_version + u"\r\n";
  if (!h.overwritten_version.empty()) text += u"Overwriting version: " + h.overwritten_version + u"\r\n";
  text += u"Operating system: " + h.os_name + u"\r\n\r\n";
  return text;
}

NString SectionLead(bool file_empty) { return file_empty ? kUtf8Bom : kLogSeparator; }

bool UpgradeOldLog(NStringView existing, NString& upgraded) {
  upgraded.clear();
  if (existing.empty() || existing.substr(0, 3) == kUtf8Bom) return false;
  upgraded = kUtf8Bom + Cp1252ToUtf8(existing);
  return true;
}

NString SectionTail(WStringView failure_summary, WStringView success_text) {
  NString tail = "\r\n";
  if (failure_summary.empty()) {
    tail += WideToUtf8(success_text) + "\r\n";
  } else {
    tail += "*** FAILURE SUMMARY ***\r\n" + WideToUtf8(failure_summary);
  }
  return tail;
}

}  // namespace ks
