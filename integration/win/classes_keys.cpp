#include "integration/win/classes_keys.h"

#include <shlobj.h>

#include "engine/win/special_folders.h"
#include "lib/win/reg_key.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr REGSAM kReadAccess = KEY_READ | kRegOwnView;

}  // namespace

bool RegistryClassesKeys::Exists(const WString& key) {
  RegKey k;
  return k.Open(root_, Path(key), kRegOpenOnly, kReadAccess) != kRegFailed;
}

bool RegistryClassesKeys::Create(const WString& key) {
  RegKey k;
  return k.Open(root_, Path(key), 0, kRegAccessOwnView) != kRegFailed;
}

std::optional<WString> RegistryClassesKeys::Value(const WString& key, const WString& name) {
  RegKey k;
  WString text;
  if (k.Open(root_, Path(key), kRegOpenOnly, kReadAccess) == kRegFailed || !k.GetString(name, &text)) {
    return std::nullopt;
  }
  return text;
}

bool RegistryClassesKeys::SetValue(const WString& key, const WString& name, const WString& text) {
  RegKey k;
  return k.Open(root_, Path(key), kRegOpenOnly, kRegAccessOwnView) != kRegFailed &&
         k.SetString(name, WStringView(text));
}

void RegistryClassesKeys::DeleteValue(const WString& key, const WString& name) {
  RegKey k;
  if (k.Open(root_, Path(key), kRegOpenOnly, kRegAccessOwnView) != kRegFailed) k.DeleteValue(name);
}

std::vector<WString> RegistryClassesKeys::SubKeys(const WString& key) {
  RegKey k;
  std::vector<WString> names;
  if (k.Open(root_, Path(key), kRegOpenOnly, kReadAccess) != kRegFailed) k.SubKeys(&names);
  return names;
}

std::vector<WString> RegistryClassesKeys::ValueNames(const WString& key) {
  RegKey k;
  std::vector<WString> names;
  if (k.Open(root_, Path(key), kRegOpenOnly, kReadAccess) != kRegFailed) k.ValueNames(&names);
  return names;
}

void RegistryClassesKeys::DeleteTree(const WString& key) {
  // The root itself is never a key of an association.
  if (key.empty()) return;
  DeleteKeyTree(root_, Path(key), kRegOwnView);
}

void NotifyAssociationsChanged() {
  if (const ShellChangeNotifyFn notify = ShellChangeNotify()) notify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

}  // namespace ks
