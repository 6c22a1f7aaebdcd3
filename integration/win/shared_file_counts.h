#pragma once
// The shared-file reference counts under HKLM\...\SharedDLLs, in the view a
// 32-bit installer sees on 64-bit Windows (kRegOwnView: the x86_64 build
// counts where the shipped engine does). The rules and texts are in
// integration/shared_files.h.

#include <vector>

#include "integration/shared_files.h"
#include "lib/text.h"
#include "lib/win/reg_key.h"
#include "records/install_log.h"

namespace ks {

// The installation's step: raises the count of every listed file that the
// SharedFiles text does not name yet, once, and appends its entry to the
// text. A key that cannot be opened skips all of it with one entry in the
// failure summary; a count that cannot be written is logged and still listed.
void CountSharedFiles(const std::vector<NString>& list, NString& shared_files, InstallLog& log);

// The counts as the uninstaller lowers them: the key is opened once.
class SharedCounts {
 public:
  // False when the key cannot be opened (it is never created here).
  bool Open();
  // Lowers the count of `path` (the file's full path) as ReleaseCount says.
  CountRelease Release(const WString& path);

 private:
  RegKey key_;
};

}  // namespace ks
