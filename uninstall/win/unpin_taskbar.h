#pragma once
// The uninstaller's taskbar pins: the installation recorded each pinned
// shortcut (a path with "\User Pinned\"); the shell is asked to unpin it
// before the item walk deletes the file.

#include <vector>

#include "lib/text.h"

namespace ks {

// The recorded items that name pinned shortcuts.
void UnpinTaskbarItems(const std::vector<NString>& items);

}  // namespace ks
