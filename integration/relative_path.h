#pragma once
// Paths of the settings that may be relative to a folder of the installation.

#include "lib/text.h"

namespace ks {

// `path` made absolute against `folder` when it names no drive (no colon)
// and does not begin with a backslash; empty stays empty.
WString AbsoluteAgainst(const WString& path, const WString& folder);

}  // namespace ks
