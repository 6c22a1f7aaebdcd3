#include "engine/win/search_path.h"

#include <vector>

#include "engine/search_path.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// How long a program that does not answer may hold up the broadcast.
constexpr UINT kSettingChangeTimeoutMs = 5000;

class OwnedKey {
 public:
  OwnedKey() = default;
  ~OwnedKey() {
    if (key_) ::RegCloseKey(key_);
  }
  OwnedKey(const OwnedKey&) = delete;
  OwnedKey& operator=(const OwnedKey&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

struct PathValue {
  WString text;
  DWORD type = REG_EXPAND_SZ;
};

// The whole value, however long: the size is asked again while it grows.
// A missing value is an empty REG_EXPAND_SZ; any other failure is returned.
LONG ReadPath(HKEY key, PathValue& value) {
  std::vector<BYTE> data;
  DWORD size = 0;
  LONG status = ::RegQueryValueExW(key, L"Path", nullptr, &value.type, nullptr, &size);
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    data.resize(size + sizeof(wchar_t));
    DWORD got = size;
    status = ::RegQueryValueExW(key, L"Path", nullptr, &value.type, data.data(), &got);
    if (status == ERROR_SUCCESS) {
      size = got;
      break;
    }
    if (status == ERROR_MORE_DATA) size = got;
  }
  if (status == ERROR_FILE_NOT_FOUND) {
    value = PathValue{};
    return ERROR_SUCCESS;
  }
  if (status != ERROR_SUCCESS) return status;
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  value.text.assign(reinterpret_cast<const char16_t*>(data.data()), size / sizeof(char16_t));
  while (!value.text.empty() && value.text.back() == 0) value.text.pop_back();
  return ERROR_SUCCESS;
}

LONG WritePath(HKEY key, const PathValue& value) {
  const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(char16_t));
  return ::RegSetValueExW(key, L"Path", 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()), bytes);
}

void NotifyEnvironmentChanged() {
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                        SMTO_ABORTIFHUNG, kSettingChangeTimeoutMs, &result);
}

void LogPathFailure(InstallLog& log, const WString& folder, bool add, LONG status) {
  log.WideF(u"Couldn't %s \"%s\" %s the PATH, code %d: %s\r\n", add ? u"add" : u"remove", folder.c_str(),
            add ? u"to" : u"from", static_cast<int>(status), SystemErrorText(static_cast<std::uint32_t>(status)).c_str());
}

}  // namespace

void EditSearchPathIn(HKEY root, const WString& key_path, bool add, const WString& install_dir,
                      const WString& subfolder, InstallLog& log) {
  const WString folder = SearchPathFolder(install_dir, subfolder);
  if (add && ::GetFileAttributesW(W(folder)) == INVALID_FILE_ATTRIBUTES) {
    log.ConcatW(u"Couldn't add \"", folder.c_str(), u"\" to the PATH because it does not exist.\r\n", nullptr);
    return;
  }
  OwnedKey key;
  LONG status = ::RegOpenKeyExW(root, W(key_path), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.out());
  PathValue value;
  if (status == ERROR_SUCCESS) status = ReadPath(key.get(), value);
  if (status != ERROR_SUCCESS) {
    LogPathFailure(log, folder, add, status);
    return;
  }
  const bool changed = add ? AddSearchPathEntry(value.text, folder) : RemoveSearchPathEntry(value.text, folder);
  if (!changed) return;
  status = WritePath(key.get(), value);
  if (status != ERROR_SUCCESS) {
    LogPathFailure(log, folder, add, status);
    return;
  }
  NotifyEnvironmentChanged();
}

void EditSearchPath(bool add, const WString& install_dir, const WString& subfolder, InstallLog& log) {
  EditSearchPathIn(HKEY_LOCAL_MACHINE, kEnvironmentKey, add, install_dir, subfolder, log);
}

}  // namespace ks
