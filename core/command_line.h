#pragma once
// The command line: splitting it into atoms, reading the atoms into
// StartOptions, and the usage text shown when it is wrong.

#include <optional>
#include <vector>

#include "core/start_options.h"
#include "lib/text.h"

namespace ks {

// Atoms after the program path that are looked at; the rest of the line is ignored.
inline constexpr std::size_t kMaxAtoms = 19;

// Splits the process's whole command line into atoms. The first atom (the
// program's own path) is dropped. Blanks are space, CR, LF and TAB. A quoted
// part keeps its enclosing quotes in the atom; "" inside it stands for one ".
// Stops at the end of the line, at the first empty atom or after kMaxAtoms.
std::vector<WString> SplitCommandLine(WStringView line);

// A wrong atom: the usage text must be shown with this prefix and the process
// ends with exit code 15. A box may be shown only when no "/silent" came before.
struct UsageRequest {
  WString prefix;
  bool may_show_box = true;
};

struct ParsedCommandLine {
  StartOptions options;  // as set by the atoms read before any wrong one
  std::optional<UsageRequest> usage;
};

// Reads the atoms left to right; a later atom overrides an earlier one of the
// same kind, and the first wrong atom stops the reading.
ParsedCommandLine ParseCommandLine(WStringView line);

// The usage message for `prefix`, naming the executable by its file name.
WString BuildUsageText(WStringView prefix, WStringView exe_file_name);

// The last component of a path ("C:\dir\setup.exe" -> "setup.exe").
WString FileNameOf(WStringView path);

}  // namespace ks
