#include "lib/csv_record.h"

#include <algorithm>

namespace ks {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

NStringView Trim(NStringView s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

NString CsvField(NStringView field) {
  const bool special = field.find_first_of(",\"\t\r\n;|") != NStringView::npos;
  // A trailing space would be lost to the reader's trimming unless quoted.
  const bool edge = !field.empty() && (field.front() == ' ' || field.front() == '\'' || field.front() == '#' ||
                                       field.back() == ' ');
  if (!special && !edge) return NString(field);
  NString quoted = "\"";
  for (char c : field) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  quoted += '"';
  return quoted;
}

NString CsvRecord(const std::vector<NString>& fields) {
  NString line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += CsvField(fields[i]);
  }
  return line;
}

std::vector<NString> ParseCsvRecord(NStringView line) {
  std::vector<NString> fields;
  std::size_t pos = 0;
  while (true) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    std::size_t scan = pos;
    if (scan < line.size() && line[scan] == '"') {
      for (++scan; scan < line.size(); ++scan) {
        if (line[scan] != '"') continue;
        if (scan + 1 < line.size() && line[scan + 1] == '"') {
          ++scan;
        } else {
          break;
        }
      }
    }
    const std::size_t comma = line.find(',', std::min(scan, line.size()));
    NStringView raw = Trim(line.substr(pos, comma == NStringView::npos ? NStringView::npos : comma - pos));
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') raw = raw.substr(1, raw.size() - 2);
    NString value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      value += raw[i];
      if (raw[i] == '"' && i + 1 < raw.size() && raw[i + 1] == '"') ++i;
    }
    fields.push_back(std::move(value));
    if (comma == NStringView::npos) break;
    pos = comma + 1;
  }
  return fields;
}

}  // namespace ks
