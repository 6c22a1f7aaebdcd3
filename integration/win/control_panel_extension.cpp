#include "integration/win/control_panel_extension.h"

#include "engine/path_variables.h"
#include "lib/marked_text.h"
#include "lib/win/reg_key.h"
#include "lib/win/system_error.h"

namespace ks {
namespace {

// The keys and values; false at the first failure that ends the record.
bool WriteKeys(const ControlPanelRecord& r, const WString& name, const WString& class_id, UninstallData& uninstall) {
  const WString class_key = ControlPanelClassKey(class_id);
  RegKey key;
  if (key.OpenPath(class_key, 0, kRegAccess64) == kRegFailed) return false;
  uninstall.RecordItem(WStringView(class_key), kUninstallRegistryKey64);
  key.SetString(RegName(u""), WStringView(name));
  // The icon is a nicety: the extension works without it.
  if (key.Open(key.handle(), u"DefaultIcon", 0, kRegAccess64) != kRegFailed) {
    key.SetString(RegName(u""), WStringView(r.path));
    key.Close();
  }
  if (key.Open(key.handle(), u"Shell\\Open\\Command", 0, kRegAccess64) == kRegFailed) return false;
  if (!key.SetString(RegName(u""), WStringView(ControlPanelCommand(r.path, Cp1252ToWide(r.arguments))))) return false;
  key.Close();
  const WString namespace_key = ControlPanelNameSpaceKey(class_id);
  if (key.OpenPath(namespace_key, 0, kRegAccess64) == kRegFailed) return false;
  uninstall.RecordItem(WStringView(namespace_key), kUninstallRegistryKey64);
  return key.SetString(RegName(u""), WStringView(name));
}

}  // namespace

int RegisterControlPanelExtension(const ControlPanelRecord& r, const ComponentProgress& progress,
                                  UninstallData& uninstall) {
  const WString name = r.title.empty() ? FileNameOf(r.path) : Utf8ToWide(r.title);
  if (name.empty()) return kCorruptAppletName;
  const WString class_id = DecodeMarkedText(r.class_id);
  if (class_id.empty()) return kCorruptAppletClass;
  progress.ShowItem(ControlPanelStatusItem(name));
  progress.log->Wide(ControlPanelLogStart(name));
  if (WriteKeys(r, name, class_id, uninstall)) {
    progress.log->Text(kLogOk);
  } else {
    progress.log->Wide(ControlPanelFailedText(SystemErrorText(::GetLastError())));
  }
  return 0;
}

}  // namespace ks
