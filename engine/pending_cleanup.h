#pragma once
// The cleaning of the pending file operations list as a pure function, so
// that every rule is tested without a registry.

#include <set>
#include <vector>

#include "lib/text.h"

namespace ks {

// A path as the set holds it: marked text, lower-cased in the ASCII range.
NString PendingPathKey(WStringView path);
NString PendingPathKey(NStringView marked);

// An entry of the list with every leading "\", "?" and "!" removed (the
// system's "\??\" prefix and its "!" variants), lower-cased in the ASCII range.
WString CleanPendingEntry(WStringView entry);

struct PendingCleanupResult {
  std::vector<WString> list;            // the list to write back
  bool changed = false;                 // false: leave the value alone
  std::vector<WString> log_lines;       // the installation's log lines, CR LF ended
  std::vector<WString> waiting_copies;  // cleaned sources of removed moves, to delete
};

// Entries are pairs (source, destination); an odd last entry is dropped. A
// pending deletion whose cleaned source is in `paths` is removed; a pending
// move whose cleaned destination is in `paths` is removed and its source is
// named for deletion. Entries are compared as PendingPathKey of their cleaned
// form.
PendingCleanupResult CleanPendingList(const std::vector<WString>& entries, const std::set<NString>& paths);

}  // namespace ks
