#include "engine/pending_cleanup.h"

#include "lib/marked_text.h"

namespace ks {
namespace {

void LowerAscii(NString& text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

bool IsPrefixCharacter(char16_t c) { return c == u'\\' || c == u'?' || c == u'!'; }

}  // namespace

NString PendingPathKey(NStringView marked) {
  NString key(marked);
  LowerAscii(key);
  return key;
}

NString PendingPathKey(WStringView path) { return PendingPathKey(NStringView(EncodeMarkedText(path))); }

WString CleanPendingEntry(WStringView entry) {
  std::size_t start = 0;
  while (start < entry.size() && IsPrefixCharacter(entry[start])) ++start;
  WString cleaned(entry.substr(start));
  for (char16_t& c : cleaned) c = AsciiLower(c);
  return cleaned;
}

PendingCleanupResult CleanPendingList(const std::vector<WString>& entries, const std::set<NString>& paths) {
  PendingCleanupResult out;
  out.list = entries;
  if (out.list.size() % 2 != 0) out.list.pop_back();
  std::size_t i = 0;
  while (i + 1 < out.list.size()) {
    const bool is_move = !out.list[i + 1].empty();
    const WString cleaned = CleanPendingEntry(is_move ? out.list[i + 1] : out.list[i]);
    if (cleaned.empty() || paths.count(PendingPathKey(WStringView(cleaned))) == 0) {
      i += 2;
      continue;
    }
    if (is_move) {
      out.log_lines.push_back(u"File \"" + cleaned + u"\" was removed from the list of pending moves.\r\n");
      out.waiting_copies.push_back(CleanPendingEntry(out.list[i]));
    } else {
      out.log_lines.push_back(u"File \"" + cleaned + u"\" was removed from the list of pending deletions.\r\n");
    }
    out.list.erase(out.list.begin() + static_cast<std::ptrdiff_t>(i), out.list.begin() + static_cast<std::ptrdiff_t>(i + 2));
    out.changed = true;
  }
  return out;
}

}  // namespace ks
