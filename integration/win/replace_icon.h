#pragma once
// Replacing a program file's icon with the images of an .ico file through the
// system's resource update calls.

#include "core/bytes.h"
#include "lib/text.h"

namespace ks {

enum class IconReplaceResult {
  kReplaced,
  kCannotOpen,  // the program could not be opened for resource update
  kFailed,      // an update call failed, or the .ico is malformed
};

// Each image becomes RT_ICON i (language 1033) and the group RT_GROUP_ICON 1;
// the program's other resources stay. The update calls are looked up in
// kernel32 at first use; when they are missing the result is kCannotOpen with
// system error 1154.
IconReplaceResult ReplaceIcon(const WString& program_path, const Bytes& ico);

}  // namespace ks
