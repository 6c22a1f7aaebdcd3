#pragma once
// Adds a product's folder to the system search path, or removes it again.

#include <windows.h>

#include "lib/text.h"
#include "records/install_log.h"

namespace ks {

// The machine environment key that holds "Path".
inline constexpr const char16_t* kEnvironmentKey = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Adds (`add`) or removes the folder of SearchPathFolder(install_dir,
// subfolder) in the "Path" value of the machine environment. Adding a folder
// that does not exist logs "Couldn't add ..." and changes nothing. The whole
// value is read, whatever its length, and written back only when it changed,
// with the registry type it had (REG_EXPAND_SZ when the value was missing);
// a value that cannot be read is never overwritten. After a change the other
// programs are told (WM_SETTINGCHANGE "Environment", bounded wait). Failures
// are logged; nothing is returned.
void EditSearchPath(bool add, const WString& install_dir, const WString& subfolder, InstallLog& log);

// The same on any key, for tests: `root`\`key_path`, value "Path".
void EditSearchPathIn(HKEY root, const WString& key_path, bool add, const WString& install_dir,
                      const WString& subfolder, InstallLog& log);

}  // namespace ks
