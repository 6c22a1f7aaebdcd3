#include "engine/win/pending_cleanup.h"

#include <windows.h>

#include "engine/pending_cleanup.h"
#include "engine/win/file_removal.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr const wchar_t* kSessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const wchar_t* kPendingValue = L"PendingFileRenameOperations";


class OpenKey {
 public:
  explicit OpenKey(HKEY key) : key_(key) {}
  ~OpenKey() { if (key_) RegCloseKey(key_); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

// The value's strings in order, empty ones included (an empty destination is
// a deletion). The data ends with the list's own extra NUL, which is dropped.
bool ReadPendingList(HKEY key, std::vector<WString>* out) {
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, kPendingValue, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
  if (type != REG_MULTI_SZ) return false;
  WString data(bytes / sizeof(char16_t) + 1, u'\0');
  if (RegQueryValueExW(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(W(data)), &bytes) !=
      ERROR_SUCCESS)
    return false;
  data.resize(bytes / sizeof(char16_t));
  if (data.size() >= 2 && data[data.size() - 1] == u'\0' && data[data.size() - 2] == u'\0') data.pop_back();
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find(u'\0', start);
    if (end == WString::npos) end = data.size();
    out->push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

bool WritePendingList(HKEY key, const std::vector<WString>& list) {
  WString data;
  for (const WString& s : list) {
    data += s;
    data.push_back(u'\0');
  }
  data.push_back(u'\0');
  const DWORD bytes = static_cast<DWORD>(data.size() * sizeof(char16_t));
  return RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()), bytes) ==
         ERROR_SUCCESS;
}

}  // namespace

void CleanPendingOperations(const std::set<NString>& paths, InstallLog* installation_log) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
    return;
  OpenKey key(raw);
  std::vector<WString> list;
  if (!ReadPendingList(key.get(), &list) || list.empty()) return;
  const PendingCleanupResult result = CleanPendingList(list, paths);
  if (installation_log) {
    installation_log->Wide(u"\r\n");
    for (const WString& line : result.log_lines) installation_log->Wide(line);
  }
  // The waiting copies would otherwise stay behind for good.
  for (const WString& copy : result.waiting_copies) DeleteFileWithOptions(copy, 0);
  if (result.changed) WritePendingList(key.get(), result.list);
}

}  // namespace ks
