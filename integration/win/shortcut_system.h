#pragma once
// The shortcut step on the running system: shell links through the shell's
// link object, the desktop folder's "Desktop.ini", the taskbar pin verb and
// the special folders. Calls into the shell are guarded, so that a broken
// shell extension becomes a failed shortcut instead of the installer's end.

#include "integration/shortcuts.h"

namespace ks {

// Saves one shell link (`CreateShellShortcut`): the target, its icon (the
// target's own when none is given), the arguments, the show command of the
// flags and the working folder; the link's folder is made first unless
// kLinkNoParentFolder is set. The request's path is used as it stands.
SystemOutcome CreateShellLink(const LinkRequest& request);

class RunningShortcutSystem : public ShortcutSystem {
 public:
  WString Folder(SpecialFolder folder) override;
  bool FolderExists(const WString& path) override;
  std::uint32_t CreateFolder(const WString& path) override;
  std::uint32_t WriteFile(const WString& path, const Bytes& bytes) override;
  SystemOutcome CreateLink(const LinkRequest& request) override { return CreateShellLink(request); }
  void WriteFolderIcon(const WString& folder, const WString& icon) override;
  SystemOutcome PinToTaskbar(const WString& link) override;
  void RemoveFile(const WString& path) override;
  WString TemporaryFolder() override;
  WString ErrorText(std::uint32_t error) override;
};

}  // namespace ks
