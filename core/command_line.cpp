#include "core/command_line.h"

namespace ks {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\r' || c == u'\n' || c == u'\t'; }

// Copies a quoted part starting at the opening quote, both quotes included.
// An unclosed quote runs to the end of the line.
void TakeQuotedPart(WStringView line, std::size_t& pos, WString& atom) {
  atom += line[pos++];
  while (pos < line.size()) {
    const char16_t c = line[pos++];
    if (c != u'"') {
      atom += c;
      continue;
    }
    if (pos < line.size() && line[pos] == u'"') {
      atom += u'"';
      ++pos;
      continue;
    }
    atom += u'"';
    return;
  }
}

// Takes the atom at pos (after leading blanks) and consumes the blank that ends it.
WString TakeAtom(WStringView line, std::size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  WString atom;
  while (pos < line.size()) {
    const char16_t c = line[pos];
    if (IsBlank(c)) {
      ++pos;
      break;
    }
    if (c == u'"') {
      TakeQuotedPart(line, pos, atom);
    } else {
      atom += c;
      ++pos;
    }
  }
  return atom;
}

WString StripEnclosingQuotes(WStringView s) {
  if (s.size() >= 2 && s.front() == u'"' && s.back() == u'"') s = s.substr(1, s.size() - 2);
  return WString(s);
}

void ReplaceAll(WString& s, WStringView from, WStringView to) {
  for (std::size_t at = s.find(from); at != WString::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
}

// Text of "/r:" and "/b1:": a backquote stands for a double quote, because a
// quote inside the quoted atom would end it.
WString UnquoteCommand(WStringView rest) {
  WString s(rest);
  if (!s.empty() && s.back() == u'"') s.pop_back();
  ReplaceAll(s, u"`", u"\"");
  return s;
}

void SetInstallFolder(StartOptions& o, WStringView rest) {
  WString folder = StripEnclosingQuotes(rest);
  if (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  o.install_folder_ansi = WideToAnsi(folder);
  o.install_folder = std::move(folder);
}

void SetUninstall(StartOptions& o, WStringView rest) {
  o.uninstall = true;
  if (!rest.empty() && rest.front() == u':') o.uninstall_name = StripEnclosingQuotes(rest.substr(1));
}

// The batch text is finished in UTF-16 before it is narrowed: in a multi-byte
// code page a trail byte may equal "`" or "~" and must not be replaced.
void SetBatchAddition(StartOptions& o, std::size_t index, WStringView rest) {
  WString text = UnquoteCommand(rest);
  ReplaceAll(text, u"~~", u"\r\n");
  o.batch_additions[index] = WideToAnsi(text);
}

std::optional<std::size_t> BatchIndex(WStringView rest) {
  static constexpr WStringView kPrefixes[] = {u"B1:\"", u"B2:\"", u"B3:\""};
  for (std::size_t i = 0; i < 3; ++i) {
    if (StartsWithIgnoreCase(rest, kPrefixes[i])) return i;
  }
  return std::nullopt;
}

// Applies one atom (without its "/" or "-"); false when it is not an option.
bool ApplyOption(StartOptions& o, WStringView rest) {
  if (EqualsIgnoreCase(rest, u"A")) {
    o.automatic = true;
  } else if (StartsWithIgnoreCase(rest, u"D:")) {
    SetInstallFolder(o, rest.substr(2));
  } else if (StartsWithIgnoreCase(rest, u"N:")) {
    o.product_name = StripEnclosingQuotes(rest.substr(2));
  } else if (StartsWithIgnoreCase(rest, u"U")) {
    SetUninstall(o, rest.substr(1));
  } else if (StartsWithIgnoreCase(rest, u"R:\"")) {
    o.run_after = UnquoteCommand(rest.substr(3));
  } else if (auto batch = BatchIndex(rest)) {
    SetBatchAddition(o, *batch, rest.substr(4));
  } else if (EqualsIgnoreCase(rest, u"Silent")) {
    o.silent = true;
    o.automatic = true;
  } else if (EqualsIgnoreCase(rest, u"MIN")) {
    o.minimised_background = true;
  } else if (!rest.empty()) {
    return false;
  }
  return true;
}

UsageRequest WrongAtom(const StartOptions& o, WStringView reason, WStringView atom) {
  WString prefix(reason);
  prefix += atom;
  return UsageRequest{std::move(prefix), !o.silent};
}

}  // namespace

std::vector<WString> SplitCommandLine(WStringView line) {
  // The system hands over a zero-terminated line; nothing after a NUL is part of it.
  line = line.substr(0, line.find(u'\0'));
  std::size_t pos = 0;
  TakeAtom(line, pos);  // the program's own path
  std::vector<WString> atoms;
  while (atoms.size() < kMaxAtoms) {
    WString atom = TakeAtom(line, pos);
    if (atom.empty()) break;
    atoms.push_back(std::move(atom));
  }
  return atoms;
}

ParsedCommandLine ParseCommandLine(WStringView line) {
  ParsedCommandLine result;
  for (const WString& atom : SplitCommandLine(line)) {
    if (atom.front() != u'/' && atom.front() != u'-') {
      result.usage = WrongAtom(result.options, u"Unexpected command line parameter:\r\n", atom);
      break;
    }
    if (!ApplyOption(result.options, WStringView(atom).substr(1))) {
      result.usage = WrongAtom(result.options, u"Illegal command line atom:\r\n", atom);
      break;
    }
  }
  return result;
}

WString BuildUsageText(WStringView prefix, WStringView exe_file_name) {
  WString text(prefix);
  text += u"\r\n\r\nUsage:\r\n";
  text += exe_file_name;
  text +=
      u" [/a] [/b1:\"commands\"] [/b2:\"commands\"] [/b3:\"commands\"] [/d:\"dir\"] [/n:\"name\"] [/u:\"name\"] [/r:\"program\"] [/silent]\r\n"
      u"\r\n"
      u"/a                  \tAutomatic mode.\r\n"
      u"/d:\"dir\"        \tOverride installation path.\r\n"
      u"/b1:\"commands\"\tAdd commands to the end of the Pre-Installation Batch.\r\n"
      u"/b2:\"commands\"\tAdd commands to the end of the Post-Installation Batch.\r\n"
      u"/b3:\"commands\"\tAdd commands to the end of the Installation-Exit Batch.\r\n"
      u"/n:\"name\"\tOverride product name.\r\n"
      u"/u:\"name\"\tUninstall product by name.\r\n"
      u"/r:\"program\"\tRun the specified program after a successful installation.\r\n"
      u"/silent\tDisplay no user interface.";
  return text;
}

WString FileNameOf(WStringView path) {
  const std::size_t slash = path.find_last_of(u"\\/:");
  return WString(slash == WStringView::npos ? path : path.substr(slash + 1));
}

}  // namespace ks
