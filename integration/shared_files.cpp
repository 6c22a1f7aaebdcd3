#include "integration/shared_files.h"

#include <algorithm>

#include "engine/placement_rules.h"

namespace ks {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool DropLast(NString& text, char marker) {
  if (text.empty() || text.back() != marker) return false;
  text.pop_back();
  return true;
}

}  // namespace

NString QuotedSharedEntry(NStringView entry) {
  NString quoted = "\"";
  for (char c : entry) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

bool SharedFilesTextHas(NStringView text, NStringView quoted_entry) {
  const auto same = [](char a, char b) { return LowerAscii(a) == LowerAscii(b); };
  return std::search(text.begin(), text.end(), quoted_entry.begin(), quoted_entry.end(), same) != text.end();
}

void AppendSharedEntry(NString& text, NStringView quoted_entry) {
  if (!text.empty()) text += ';';
  text.append(quoted_entry);
}

NString SharedCountName(NStringView entry) {
  NString name(entry);
  DropLast(name, kSharedComServerMarker);
  DropLast(name, kSharedKeepMarker);
  DropLast(name, kSharedTypeLibraryMarker);
  return name;
}

std::vector<SharedFileListing> ParseSharedFiles(NStringView text) {
  std::vector<SharedFileListing> out;
  std::size_t at = 0;
  while (at < text.size() && text[at] == '"') {
    NString entry;
    std::size_t i = at + 1;
    bool closed = false;
    for (; i < text.size(); ++i) {
      if (text[i] != '"') {
        entry += text[i];
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        entry += '"';
        ++i;
      } else {
        closed = true;
        break;
      }
    }
    if (!closed || entry.empty()) break;
    SharedFileListing listing;
    listing.com_server = DropLast(entry, kSharedComServerMarker);
    listing.keep = DropLast(entry, kSharedKeepMarker);
    listing.type_library = DropLast(entry, kSharedTypeLibraryMarker);
    listing.path = std::move(entry);
    out.push_back(std::move(listing));
    at = i + 1;
    if (at < text.size() && text[at] == ';') ++at;
  }
  return out;
}

CountRelease ReleaseCount(std::optional<std::int32_t> count) {
  CountRelease r;
  if (!count) {
    r.skip = true;
  } else if (*count > 1) {
    r.new_count = static_cast<std::uint32_t>(*count - 1);
  } else {
    // The last count, or one that was used up already: nobody counts the file.
    r.remove_value = true;
    r.unused = true;
  }
  return r;
}

std::uint32_t RaisedCount(std::optional<std::int32_t> count) {
  const std::int32_t now = count && *count > 0 ? *count : 0;
  return static_cast<std::uint32_t>(now) + 1;
}

WString SharedCountsUnavailableText(WStringView code_text, WStringView message, WStringView os_name) {
  WString text = u"Registry error: unable to increment shared file reference counts.\r\nHKLM\\";
  text += kSharedDllsKey;
  text += u"\r\nCode ";
  text.append(code_text);
  text += u": ";
  text.append(message);
  text += u"\r\nOS: ";
  text.append(os_name);
  text += u"\r\n\r\n";
  return text;
}

WString SharedCountWriteFailedLine(WStringView name, WStringView error_text) {
  WString line = u"Failed to increment reference count of shared file \"";
  line.append(name);
  line += u"\" : ";
  line.append(error_text);
  line += u"\r\n";
  return line;
}

}  // namespace ks
