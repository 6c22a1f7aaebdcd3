#include "engine/search_path.h"

#include <vector>

#include "engine/special_folders.h"

namespace ks {
namespace {

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t'; }

// An entry as it names a folder: blanks, one pair of quotes and one trailing
// backslash do not change the folder ("C:\" keeps its backslash).
WStringView Normalized(WStringView entry) {
  while (!entry.empty() && IsBlankChar(entry.front())) entry.remove_prefix(1);
  while (!entry.empty() && IsBlankChar(entry.back())) entry.remove_suffix(1);
  if (entry.size() >= 2 && entry.front() == u'"' && entry.back() == u'"') entry = entry.substr(1, entry.size() - 2);
  if (entry.size() > 3 && entry.back() == u'\\') entry.remove_suffix(1);
  return entry;
}

// Path letters beyond ASCII: Windows compares file names with its own upper
// case table; for the Latin-1 letters that table agrees with this.
char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  return c;
}

bool SameFolder(WStringView entry, WStringView folder) {
  const WStringView a = Normalized(entry);
  const WStringView b = Normalized(folder);
  if (a.empty() || a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

std::vector<WStringView> SplitEntries(WStringView value) {
  std::vector<WStringView> entries;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = value.find(u';', start);
    if (end == WStringView::npos) {
      entries.push_back(value.substr(start));
      return entries;
    }
    entries.push_back(value.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

WString SearchPathFolder(const WString& install_dir, const WString& subfolder) {
  if (subfolder.empty()) return install_dir;
  std::size_t start = 0;
  while (start < subfolder.size() && IsBlankChar(subfolder[start])) ++start;
  if (subfolder.compare(start, 2, u"\\\\") == 0) return subfolder.substr(start);
  return JoinPath(install_dir, subfolder);
}

bool SearchPathHasEntry(WStringView value, WStringView folder) {
  for (WStringView entry : SplitEntries(value))
    if (SameFolder(entry, folder)) return true;
  return false;
}

bool AddSearchPathEntry(WString& value, WStringView folder) {
  if (Normalized(folder).empty() || SearchPathHasEntry(value, folder)) return false;
  if (!value.empty() && value.back() != u';') value += u';';
  value.append(folder);
  return true;
}

bool RemoveSearchPathEntry(WString& value, WStringView folder) {
  const std::vector<WStringView> entries = SplitEntries(value);
  WString kept;
  bool removed = false;
  bool first = true;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (SameFolder(entries[i], folder)) {
      removed = true;
      continue;
    }
    // The empty piece after a final ";" is kept only when something stays in
    // front of it: "A;B;" without B is "A;", "B;" without B is "".
    if (i + 1 == entries.size() && entries[i].empty() && kept.empty() && removed) break;
    if (!first) kept += u';';
    kept.append(entries[i]);
    first = false;
  }
  if (!removed) return false;
  value = std::move(kept);
  return true;
}

}  // namespace ks
