#pragma once
// The system search path ("Path" of the machine environment) as text: which
// folder a product adds, and the edit of the value itself. The value may be
// of any length; nothing here truncates it, and everything that is not the
// entry being added or removed is kept byte for byte.

#include "lib/text.h"

namespace ks {

// The folder to add or remove: the installation folder when `subfolder` is
// empty; the sub-folder itself (leading blanks dropped) when it is a network
// path beginning with two backslashes; otherwise the installation folder
// joined with the sub-folder by one backslash.
WString SearchPathFolder(const WString& install_dir, const WString& subfolder);

// Whether an entry of the ";"-separated value names `folder`. Entries are
// compared whole, without regard to case, ignoring surrounding blanks, a pair
// of surrounding double quotes and one trailing backslash; the last entry
// needs no ";" after it.
bool SearchPathHasEntry(WStringView value, WStringView folder);

// Appends `folder` when no entry names it yet, separated by one ";" (none is
// doubled when the value already ends with one). True when the value changed.
bool AddSearchPathEntry(WString& value, WStringView folder);

// Removes every entry that names `folder` together with its separator.
// True when the value changed.
bool RemoveSearchPathEntry(WString& value, WStringView folder);

}  // namespace ks
