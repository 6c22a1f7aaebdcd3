#include "lib/registry_path.h"

#include <cmath>
#include <cstdio>

#include "lib/csv_record.h"

namespace ks {
namespace {

template <typename Char>
std::basic_string<Char> Convert(const char* ascii) {
  std::basic_string<Char> out;
  for (const char* p = ascii; *p; ++p) out += static_cast<Char>(*p);
  return out;
}

template <typename Char>
bool StartsNoCase(std::basic_string_view<Char> text, const std::basic_string<Char>& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

template <typename Char>
bool EqualsNoCase(std::basic_string_view<Char> text, const std::basic_string<Char>& other) {
  return text.size() == other.size() && StartsNoCase(text, other);
}

// The three passes over the table; `rest` is what follows the prefix.
template <typename Char>
bool MatchRoot(std::basic_string_view<Char> path, RegRoot& root, std::basic_string_view<Char>& rest) {
  using Str = std::basic_string<Char>;
  const Str slash = Convert<Char>("\\");
  for (const RegRootNames& row : RegRootTable()) {
    const Str prefix = slash + Convert<Char>(row.short_name_a) + slash;
    if (StartsNoCase(path, prefix)) {
      root = row.root;
      rest = path.substr(prefix.size());
      return true;
    }
  }
  for (const RegRootNames& row : RegRootTable()) {
    if (EqualsNoCase(path, slash + Convert<Char>(row.short_name_a))) {
      root = row.root;
      rest = {};
      return true;
    }
  }
  for (const RegRootNames& row : RegRootTable()) {
    const Str prefix = slash + Convert<Char>(row.long_name_a);
    if (!StartsNoCase(path, prefix)) continue;
    std::basic_string_view<Char> after = path.substr(prefix.size());
    if (!after.empty() && after.front() != Char('\\')) return false;
    root = row.root;
    rest = after.empty() ? after : after.substr(1);
    return true;
  }
  return false;
}

// Optional sign, then digits to the first non-digit, modulo 2^64.
std::uint64_t ParseSigned(WStringView text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) value = value * 10 + (text[i] - u'0');
  return negative ? ~value + 1 : value;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

void AppendUtf16(std::vector<std::uint8_t>& out, WStringView text) {
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
}

template <typename T>
void AppendLittleEndian(std::vector<std::uint8_t>& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

const std::vector<RegRootNames>& RegRootTable() {
  static const std::vector<RegRootNames> table = {
      {RegRoot::kLocalMachine, u"HKLM", u"HKEY_LOCAL_MACHINE", "HKLM", "HKEY_LOCAL_MACHINE", "\\HKLM\\"},
      {RegRoot::kCurrentUser, u"HKCU", u"HKEY_CURRENT_USER", "HKCU", "HKEY_CURRENT_USER", "\\HKCU\\"},
      {RegRoot::kClassesRoot, u"HKCR", u"HKEY_CLASSES_ROOT", "HKCR", "HKEY_CLASSES_ROOT", "\\HKCR\\"},
      {RegRoot::kUsers, u"HKU", u"HKEY_USERS", "HKU", "HKEY_USERS", "\\HKU\\"},
      {RegRoot::kCurrentConfig, u"HKCC", u"HKEY_CURRENT_CONFIG", "HKCC", "HKEY_CURRENT_CONFIG", "\\HKCC\\"},
      {RegRoot::kDynData, u"HKDD", u"HKEY_DYN_DATA", "HKDD", "HKEY_DYN_DATA", "\\HKDD\\"},
  };
  return table;
}

const RegRootNames& NamesOf(RegRoot root) {
  for (const RegRootNames& row : RegRootTable()) {
    if (row.root == root) return row;
  }
  return RegRootTable().front();
}

bool ParseRegistryPath(WStringView path, RegPath& out) {
  RegRoot root;
  WStringView rest;
  if (!MatchRoot(path, root, rest)) return false;
  out.root = root;
  out.key = WString(rest);
  return true;
}

bool ParseRegistryPath(NStringView path, RegPath& out) {
  RegRoot root;
  NStringView rest;
  if (!MatchRoot(path, root, rest)) return false;
  out.root = root;
  out.key = AnsiToWide(rest);
  return true;
}

WString RegDisplayName(RegRoot root, WStringView key) {
  WString name = NamesOf(root).long_name;
  name += u'\\';
  name += key;
  return name;
}

bool IsAllUsersPath(WStringView path, WString* rest) {
  const WStringView prefix = kAllUsersPrefix;
  if (path.substr(0, prefix.size()) != prefix) return false;
  if (rest) *rest = WString(path.substr(prefix.size()));
  return true;
}

bool ParseHexData(WStringView text, std::vector<std::uint8_t>& out) {
  out.clear();
  int high = -1;
  for (char16_t c : text) {
    if (c == u' ') continue;
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  return high < 0;
}

std::uint32_t ParseDwordData(WStringView text) { return static_cast<std::uint32_t>(ParseSigned(text)); }

std::uint64_t ParseQwordData(WStringView text) { return ParseSigned(text); }

std::vector<std::uint8_t> RecordValueData(std::uint32_t type, WStringView data, WStringView expanded) {
  std::vector<std::uint8_t> out;
  switch (type) {
    case kRegTypeSz: AppendUtf16(out, expanded); break;
    case kRegTypeExpandSz: AppendUtf16(out, data); break;
    case kRegTypeBinary: ParseHexData(data, out); break;  // a faulty text keeps its good bytes
    case kRegTypeDword: AppendLittleEndian(out, ParseDwordData(data)); break;
    case kRegTypeQword: AppendLittleEndian(out, ParseQwordData(data)); break;
    default: break;
  }
  return out;
}

NString FormatRegDouble(double value) {
  if (!std::isfinite(value) || value == 0) return "0";
  const int size = std::snprintf(nullptr, 0, "%.6f", value);
  NString text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.6f", value);
  text.resize(static_cast<std::size_t>(size));
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  // -0.0000001 prints as "-0.000000"; it is zero for the reader too.
  if (text == "-0") return "0";
  return text;
}

std::vector<RegistryRecord> ReadRegistryRecords(WStringView text) {
  std::vector<RegistryRecord> records;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == WStringView::npos) end = text.size();
    const WStringView line = text.substr(start, end - start);
    if (line.find_first_not_of(u" \t") != WStringView::npos) {
      RegistryRecord record;
      record.text = WString(line);
      for (const NString& field : ParseCsvRecord(WideToUtf8(line))) record.fields.push_back(Utf8ToWide(field));
      records.push_back(std::move(record));
    }
    start = end + 1;
  }
  return records;
}

std::int32_t RecordNumber(WStringView field) {
  std::size_t i = 0;
  while (i < field.size() && (field[i] == u' ' || field[i] == u'\t')) ++i;
  return static_cast<std::int32_t>(ParseDwordData(field.substr(i)));
}

void AppendRegistryRecord(WString& text, const std::vector<WString>& fields) {
  // The author's text may end without a line break; the new record must not
  // run on into its last line.
  if (!text.empty() && text.back() != u'\n' && text.back() != u'\r') text += u"\r\n";
  std::vector<NString> narrow;
  for (const WString& field : fields) narrow.push_back(WideToUtf8(field));
  const NString line = CsvRecord(narrow);
  // A lone empty field would be an empty line, which the reader skips.
  text += line.empty() ? WString(u"\"\"") : Utf8ToWide(line);
  text += u"\r\n";
}

bool HasTwoBackslashes(WStringView path) {
  const std::size_t first = path.find(u'\\');
  return first != WStringView::npos && path.find(u'\\', first + 1) != WStringView::npos;
}

}  // namespace ks
