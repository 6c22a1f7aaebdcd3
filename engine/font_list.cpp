#include "engine/font_list.h"

namespace ks {
namespace {

void AppendQuoted(NString& out, NStringView item) {
  out += '"';
  for (char c : item) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The quoted item at `at` (after white space); false when there is none.
bool NextItem(NStringView text, std::size_t& at, NString& item) {
  while (at < text.size() && IsSpace(text[at])) ++at;
  if (at >= text.size() || text[at] != '"') return false;
  item.clear();
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    if (text[i] != '"') {
      item += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      item += '"';
      ++i;
    } else {
      at = i + 1;
      return true;
    }
  }
  return false;
}

}  // namespace

NString FontListEntry(NStringView registered_name, NStringView file_name) {
  NString entry;
  AppendQuoted(entry, registered_name);
  entry += ' ';
  AppendQuoted(entry, file_name);
  entry += ' ';
  return entry;
}

std::vector<FontListItem> ParseFontList(NStringView text) {
  std::vector<FontListItem> items;
  std::size_t at = 0;
  FontListItem item;
  while (NextItem(text, at, item.registered_name) && NextItem(text, at, item.file_name)) items.push_back(item);
  return items;
}

}  // namespace ks
