#include "records/uninstall_data.h"

#include <cstdio>
#include <string>

#include "lib/csv_record.h"
#include "lib/file_result.h"
#include "lib/marked_text.h"

namespace ks {
namespace {

constexpr const char* kCrLf = "\r\n";

const char* const kHeaders[] = {"[Strings]", "[AutoClose]", "[Associations]", "[Firewall]",
                                "[INF]",     "[MSI]",       "[Registry2]",    "[ConditionalDelete]"};
enum Section { kItems = -1, kStrings, kAutoClose, kAssociations, kFirewall, kInf, kMsi, kRegistry2, kConditionalDelete };

const char* ItemPrefix(int kind) {
  switch (kind) {
    case kUninstallFolder: return "~";
    case kUninstallRegistryValue: return "!";
    case kUninstallRegistryKey: return "^";
    case kUninstallRegistryKey64: return "*";
    default: return "";
  }
}

// Folders compare without regard to case; beyond ASCII the Latin-1 capitals
// are folded too, which covers the accented letters of Western paths.
WString FoldCase(WString text) {
  for (char16_t& c : text) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c = static_cast<char16_t>(c + 0x20);
  }
  return text;
}

bool HasLineBreak(NStringView text) { return text.find_first_of("\r\n") != NStringView::npos; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

NStringView Trim(NStringView s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

NString Section(const char* header, NStringView body) {
  NString text = "\r\n\r\n";
  text += header;
  text += kCrLf;
  text += body;
  return text;
}

// Leading optional sign and digits; anything else ends the number. Saturates
// instead of overflowing.
std::int64_t LeadingNumber(NStringView s) {
  s = Trim(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    if (value < 100000000000LL) value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

// A line of the file: its text without the line end, and where the next begins.
struct Line {
  std::size_t begin, end, next;
};

// CR, LF, CR LF and LF CR all end a line; the last line may lack an end.
std::vector<Line> SplitLines(NStringView bytes) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", begin);
    if (end == NStringView::npos) {
      lines.push_back({begin, bytes.size(), bytes.size()});
      break;
    }
    std::size_t next = end + 1;
    if (next < bytes.size() && (bytes[next] == '\r' || bytes[next] == '\n') && bytes[next] != bytes[end]) ++next;
    lines.push_back({begin, end, next});
    begin = next;
  }
  return lines;
}

int HeaderIndex(NStringView trimmed) {
  for (int i = 0; i < 8; ++i) {
    if (trimmed == kHeaders[i]) return i;
  }
  return kItems;
}

// A line that ends a "[Strings]" text: one that begins with "~" or with one
// of the other sections' headers.
bool EndsText(NStringView trimmed) {
  if (!trimmed.empty() && trimmed.front() == '~') return true;
  for (int i = kAutoClose; i <= kConditionalDelete; ++i) {
    if (trimmed.substr(0, std::char_traits<char>::length(kHeaders[i])) == kHeaders[i]) return true;
  }
  return false;
}

struct Parser {
  NStringView bytes;
  std::vector<Line> lines;
  UninstallDataContent out;

  NStringView Trimmed(std::size_t i) const {
    return Trim(bytes.substr(lines[i].begin, lines[i].end - lines[i].begin));
  }

  // A "~N" line and the raw lines after it; returns the index of the line that ended the text.
  std::size_t ReadText(std::size_t i) {
    const NStringView head = Trimmed(i);
    NStringView digits = head.substr(1);
    std::size_t count = 0;
    while (count < digits.size() && digits[count] >= '0' && digits[count] <= '9') ++count;
    const std::int64_t number = count ? LeadingNumber(digits.substr(0, count)) : 0;
    std::size_t j = i + 1;
    while (j < lines.size() && !EndsText(Trimmed(j))) ++j;
    if (number < 1 || number > 1000) return j;
    NStringView text;
    if (j > i + 1) text = bytes.substr(lines[i + 1].begin, lines[j - 1].next - lines[i + 1].begin);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    WString wide = Utf8ToWide(text);
    if (number == kPageHeaderTitleNumber) {
      out.has_page_header_title = true;
      out.page_header_title = std::move(wide);
    } else {
      out.texts.emplace_back(static_cast<int>(number), std::move(wide));
    }
    return j;
  }

  void ReadAssociation(NStringView line) {
    AssociationRecord r;
    NString* fields[] = {&r.extension, &r.prog_id, &r.verb};
    for (NString* field : fields) {
      const std::size_t at = line.find("~!~");
      *field = NString(line.substr(0, at));
      line = at == NStringView::npos ? NStringView() : line.substr(at + 3);
    }
    r.icon = NString(line);
    if (!r.extension.empty() && !r.prog_id.empty() && !r.verb.empty()) out.associations.push_back(std::move(r));
  }

  void ReadAutoClose(NStringView line) {
    const std::vector<NString> f = ParseCsvRecord(line);
    if (f.size() != 4) return;
    AutoCloseRule rule;
    rule.class_pattern = Utf8ToWide(f[0]);
    rule.title_pattern = Utf8ToWide(f[1]);
    rule.display_name = f[2];
    rule.action = static_cast<std::int32_t>(LeadingNumber(f[3]));
    rule.pass_mask = rule.action == 2 ? 4 : 2;
    out.auto_close.push_back(std::move(rule));
  }

  void ReadDeletion(NStringView line) {
    std::vector<NString> f = ParseCsvRecord(line);
    if (f.size() != 4) return;
    ConditionalDeletion d;
    d.path = std::move(f[0]);
    d.condition = static_cast<std::uint8_t>(LeadingNumber(f[1]));
    d.condition_value = std::move(f[2]);
    d.flags = static_cast<std::uint8_t>(LeadingNumber(f[3]));
    out.deletions.push_back(std::move(d));
  }

  void ReadLine(int section, NStringView line) {
    switch (section) {
      case kItems: out.items.emplace_back(line); break;
      case kAssociations: ReadAssociation(line); break;
      case kAutoClose: ReadAutoClose(line); break;
      case kFirewall: out.firewall.emplace_back(line); break;
      case kInf: out.inf.emplace_back(line); break;
      case kMsi: out.msi.emplace_back(line); break;
      case kRegistry2: out.registry.append(line).append(kCrLf); break;
      case kConditionalDelete: ReadDeletion(line); break;
      default: break;  // "[Strings]" lines that start no text
    }
  }

  void Run() {
    lines = SplitLines(bytes);
    int section = kItems;
    for (std::size_t i = 0; i < lines.size();) {
      const NStringView line = Trimmed(i);
      if (line.empty()) {
        ++i;
      } else if (const int header = HeaderIndex(line); header != kItems) {
        section = header;
        ++i;
      } else if (section == kStrings && line.front() == '~') {
        i = ReadText(i);
      } else {
        ReadLine(section, line);
        ++i;
      }
    }
  }
};

}  // namespace

bool AutoCloseRule::operator==(const AutoCloseRule& o) const {
  return class_pattern == o.class_pattern && title_pattern == o.title_pattern && display_name == o.display_name &&
         action == o.action && pass_mask == o.pass_mask;
}
bool AutoClosePatternMatches(WStringView pattern, WStringView text) {
  if (pattern.empty()) return true;
  if (pattern.front() == u'*') return text.find(pattern.substr(1)) != WStringView::npos;
  return EqualsIgnoreCase(pattern, text);
}

bool AssociationRecord::operator==(const AssociationRecord& o) const {
  return extension == o.extension && prog_id == o.prog_id && verb == o.verb && icon == o.icon;
}
bool ConditionalDeletion::operator==(const ConditionalDeletion& o) const {
  return path == o.path && condition == o.condition && condition_value == o.condition_value && flags == o.flags;
}

bool UninstallData::RecordItem(NStringView text, int kind) {
  // A line end inside the text would split the item and could forge a section header.
  if (text.size() < 4 || HasLineBreak(text)) return false;
  if (kind == kUninstallFolder && !folders_.insert(FoldCase(DecodeMarkedText(text))).second) return false;
  items_ += ItemPrefix(kind);
  items_ += text;
  items_ += kCrLf;
  return true;
}

bool UninstallData::RecordItem(WStringView text, int kind) {
  return RecordItem(kind == kUninstallRegistryValue ? WideToUtf8(text) : EncodeMarkedText(text), kind);
}

void UninstallData::Clear() {
  items_.clear();
  folders_.clear();
}

bool UninstallData::AddAssociation(NStringView extension, NStringView prog_id, NStringView verb, WStringView icon) {
  const NString marked_icon = EncodeMarkedText(icon);
  if (HasLineBreak(extension) || HasLineBreak(prog_id) || HasLineBreak(verb) || HasLineBreak(marked_icon)) {
    return false;
  }
  associations_.append(extension).append("~!~").append(prog_id).append("~!~").append(verb).append("~!~");
  associations_.append(marked_icon).append(kCrLf);
  return true;
}

bool UninstallData::AddFirewallLine(NStringView line) {
  if (HasLineBreak(line)) return false;
  firewall_.append(line).append(kCrLf);
  return true;
}

bool UninstallData::AddInfLine(WStringView inf_path) {
  const NString marked = EncodeMarkedText(inf_path);
  if (HasLineBreak(marked)) return false;
  inf_.append(marked).append(kCrLf);
  return true;
}

bool UninstallData::AddMsiPackage(WStringView package_path, std::int32_t ui_level) {
  const NString marked = EncodeMarkedText(package_path);
  if (HasLineBreak(marked)) return false;
  msi_.append("\"").append(marked).append("\",").append(std::to_string(ui_level)).append(kCrLf);
  return true;
}

NString BuildUninstallDataFile(const UninstallData& data, const UninstallTexts& texts) {
  NString file = data.items();
  NString strings;
  for (int n : kUninstallTextNumbers) {
    strings += "~" + std::to_string(n) + kCrLf + WideToUtf8(texts.text ? texts.text(n) : WString()) + kCrLf;
  }
  strings += "~999\r\n" + WideToUtf8(texts.page_header_title) + kCrLf;
  file += Section("[Strings]", strings);
  if (!data.auto_close().empty()) {
    NString body;
    for (const AutoCloseRule& r : data.auto_close()) {
      body += CsvRecord({WideToUtf8(r.class_pattern), WideToUtf8(r.title_pattern), r.display_name,
                         std::to_string(r.action)}) + kCrLf;
    }
    file += Section("[AutoClose]", body);
  }
  if (!data.associations().empty()) file += Section("[Associations]", data.associations());
  if (!data.firewall().empty()) file += Section("[Firewall]", data.firewall());
  if (!data.inf().empty()) file += Section("[INF]", data.inf());
  if (!data.msi().empty()) file += Section("[MSI]", data.msi());
  if (!data.registry().empty()) file += Section("[Registry2]", WideToUtf8(data.registry()));
  NString deletions;
  for (const ConditionalDeletion& d : data.deletions()) {
    if (!(d.flags & kDeleteAtUninstall)) continue;
    deletions += CsvRecord({d.path, std::to_string(d.condition), d.condition_value, std::to_string(d.flags)}) + kCrLf;
  }
  if (!deletions.empty()) file += Section("[ConditionalDelete]", deletions);
  return file;
}

UninstallDataContent ParseUninstallDataFile(NStringView bytes) {
  Parser parser{bytes, {}, {}};
  parser.Run();
  return std::move(parser.out);
}

bool ParseMsiLine(NStringView line, NString& package_path, std::int32_t& ui_level) {
  const std::vector<NString> f = ParseCsvRecord(line);
  if (f.size() != 2) return false;
  const NStringView level = Trim(f[1]);
  if (level.empty() || level.find_first_not_of("-0123456789") != NStringView::npos) return false;
  package_path = f[0];
  ui_level = static_cast<std::int32_t>(LeadingNumber(level));
  return true;
}

bool ParseFirewallLine(NStringView line, std::vector<NString>& fields) {
  fields.clear();
  std::size_t pos = 0;
  while (true) {
    const std::size_t at = line.find(';', pos);
    fields.emplace_back(line.substr(pos, at == NStringView::npos ? NStringView::npos : at - pos));
    if (at == NStringView::npos) break;
    pos = at + 1;
  }
  if (fields.size() == 4) return true;
  fields.clear();
  return false;
}

WString UninstallDataLoadError(WStringView product, WStringView path, std::int32_t code) {
  WString text = u"The uninstall information for " + WString(product) + u" could not be loaded.\r\n\r\nFilepath: ";
  text += path;
  text += u"\r\nCode " + Widen(std::to_string(code)) + u": " + FileResultMessageW(code);
  return text;
}

}  // namespace ks
