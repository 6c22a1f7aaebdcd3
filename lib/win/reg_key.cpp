#include "lib/win/reg_key.h"

#include <sddl.h>

#include <memory>

#include "lib/win/message_boxes.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// The registry functions return their error instead of setting it; every
// RegKey operation leaves it as the thread's last error for the callers'
// log lines.
bool Done(LSTATUS status) {
  ::SetLastError(static_cast<DWORD>(status));
  return status == ERROR_SUCCESS;
}

struct LocalFreer {
  void operator()(void* p) const { ::LocalFree(p); }
};

// New keys get SYSTEM and the administrators full control and everyone read
// access, on top of what they inherit from their parent (the descriptor is
// not protected, so a user's hive keeps the user's own rights). Ordinary
// users never receive write access through it: values that an elevated
// program reads must not be writable by them.
PSECURITY_DESCRIPTOR KeySecurityDescriptor() {
  static const std::unique_ptr<void, LocalFreer> descriptor = [] {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)(A;OICI;KR;;;WD)", SDDL_REVISION_1, &sd, nullptr))
      sd = nullptr;
    return std::unique_ptr<void, LocalFreer>(sd);
  }();
  return descriptor.get();
}

void ShowRegistryError(DWORD error) {
  ShowMessageBox(SystemErrorText(error), u"Registry Error", MB_OK | MB_ICONSTOP);
}

LSTATUS CreateKey(HKEY root, const WString& path, REGSAM access, bool secured, HKEY* key, DWORD* disposition) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, FALSE};
  LPSECURITY_ATTRIBUTES attributes = nullptr;
  if (secured) {
    sa.lpSecurityDescriptor = KeySecurityDescriptor();
    if (sa.lpSecurityDescriptor) attributes = &sa;
  }
  return ::RegCreateKeyExW(root, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE, access, attributes, key,
                           disposition);
}

// Opens or creates as Open describes; 0 with the error set on failure.
int OpenHandle(HKEY root, const WString& path, unsigned flags, REGSAM access, HKEY* key) {
  if (!root) {
    Done(ERROR_INVALID_PARAMETER);
    return kRegFailed;
  }
  if (flags & kRegOpenOnly) return Done(::RegOpenKeyExW(root, W(path), 0, access, key)) ? kRegOpened : kRegFailed;
  if (flags & kRegFailIfExists) {
    HKEY probe = nullptr;
    if (::RegOpenKeyExW(root, W(path), 0, KEY_READ | (access & kRegViewBits), &probe) == ERROR_SUCCESS) {
      ::RegCloseKey(probe);
      Done(ERROR_ALREADY_EXISTS);
      return kRegFailed;
    }
  }
  DWORD disposition = 0;
  const bool secured = !(flags & kRegNoSecurity);
  LSTATUS status = CreateKey(root, path, access, secured, key, &disposition);
  if (status != ERROR_SUCCESS && secured) status = CreateKey(root, path, access, false, key, &disposition);
  if (!Done(status)) return kRegFailed;
  return disposition == REG_CREATED_NEW_KEY ? kRegCreated : kRegOpened;
}

WString RootDisplayName(HKEY root, const WString& path) {
  for (const RegRootNames& row : RegRootTable()) {
    if (RootKey(row.root) == root) return RegDisplayName(row.root, path);
  }
  return path;
}

std::vector<std::uint8_t> Utf16Bytes(WStringView text, bool terminated) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

WString WideFromBytes(const std::vector<std::uint8_t>& bytes) {
  WString text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return text;
}

// Lists names by index (sub-keys or values) until the list ends; `longest`
// sizes the first buffer.
template <typename EnumAt>
bool EnumNames(DWORD longest, EnumAt enum_at, std::vector<WString>* out) {
  std::vector<wchar_t> buffer(longest + 2);
  for (DWORD i = 0;; ++i) {
    DWORD size = static_cast<DWORD>(buffer.size());
    const LSTATUS status = enum_at(i, buffer.data(), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_MORE_DATA) {  // a name added while listing
      buffer.resize(buffer.size() * 2);
      --i;
      continue;
    }
    if (!Done(status)) return false;
    out->push_back(FromW(buffer.data(), size));
  }
  return Done(ERROR_SUCCESS);
}

bool EnumSubKeys(HKEY key, std::vector<WString>* out) {
  out->clear();
  DWORD count = 0, longest = 0;
  if (!Done(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr)))
    return false;
  return EnumNames(longest, [key](DWORD i, wchar_t* name, DWORD* size) {
    return ::RegEnumKeyExW(key, i, name, size, nullptr, nullptr, nullptr, nullptr);
  }, out);
}

bool EnumValueNames(HKEY key, std::vector<WString>* out) {
  out->clear();
  DWORD count = 0, longest = 0;
  if (!Done(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest,
                               nullptr, nullptr, nullptr)))
    return false;
  return EnumNames(longest, [key](DWORD i, wchar_t* name, DWORD* size) {
    return ::RegEnumValueW(key, i, name, size, nullptr, nullptr, nullptr, nullptr);
  }, out);
}

}  // namespace

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::kCurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::kUsers: return HKEY_USERS;
    case RegRoot::kCurrentConfig: return HKEY_CURRENT_CONFIG;
    case RegRoot::kDynData: return HKEY_DYN_DATA;
  }
  return nullptr;
}

RegKey::~RegKey() { CloseAll(); }

void RegKey::CloseAll() {
  while (handle_) Close();
}

int RegKey::Open(HKEY root, const WString& key_path, unsigned flags, REGSAM access) {
  HKEY key = nullptr;
  const int result = OpenHandle(root, key_path, flags, access, &key);
  if (result == kRegFailed) {
    const DWORD error = ::GetLastError();
    if (flags & kRegShowError) ShowRegistryError(error);
    ::SetLastError(error);
    return kRegFailed;
  }
  if (handle_) {
    if (flags & kRegNoPush) {
      ::RegCloseKey(handle_);
    } else {
      stack_.push_back({handle_, std::move(name_)});
    }
  }
  handle_ = key;
  name_ = RootDisplayName(root, key_path);
  ::SetLastError(ERROR_SUCCESS);
  return result;
}

int RegKey::OpenPath(const WString& path, unsigned flags, REGSAM access) {
  RegPath parsed;
  if (!ParseRegistryPath(path, parsed)) {
    ::SetLastError(kErrorBadPathName);
    if (flags & kRegShowError) ShowRegistryError(kErrorBadPathName);
    ::SetLastError(kErrorBadPathName);
    return kRegFailed;
  }
  return Open(RootKey(parsed.root), parsed.key, flags, access);
}

void RegKey::Close() {
  if (!handle_) return;
  ::RegCloseKey(handle_);
  handle_ = nullptr;
  name_.clear();
  if (!stack_.empty()) {
    handle_ = stack_.back().handle;
    name_ = std::move(stack_.back().name);
    stack_.pop_back();
  }
}

bool RegKey::SetValue(const RegName& name, DWORD type, const void* bytes, std::size_t size, unsigned flags) {
  if (!handle_) return Done(ERROR_INVALID_HANDLE);
  if ((flags & kRegKeepExisting) && ValueExists(name)) return Done(ERROR_SUCCESS);
  if (size > MAXDWORD) return Done(ERROR_INVALID_PARAMETER);
  static const BYTE kNothing = 0;
  const BYTE* data = size ? static_cast<const BYTE*>(bytes) : &kNothing;
  return Done(::RegSetValueExW(handle_, W(name.wide()), 0, type, data, static_cast<DWORD>(size)));
}

bool RegKey::SetValue(const RegName& name, DWORD type, const std::vector<std::uint8_t>& bytes, unsigned flags) {
  return SetValue(name, type, bytes.data(), bytes.size(), flags);
}

bool RegKey::SetString(const RegName& name, NStringView text, unsigned flags) {
  if (flags & kRegBinaryText) {
    if ((flags & kRegDeleteIfEmpty) && text.empty()) return DeleteValue(name);
    return SetValue(name, REG_BINARY, text.data(), text.size(), flags);
  }
  // What the narrow registry call would store: the text in UTF-16.
  return SetString(name, WStringView(AnsiToWide(text)), flags);
}

bool RegKey::SetString(const RegName& name, WStringView text, unsigned flags) {
  if ((flags & kRegDeleteIfEmpty) && text.empty()) return DeleteValue(name);
  if (flags & kRegBinaryText) {
    const std::vector<std::uint8_t> bytes = Utf16Bytes(text, false);
    return SetValue(name, REG_BINARY, bytes, flags);
  }
  const DWORD type = (flags & kRegExpandText) ? REG_EXPAND_SZ : REG_SZ;
  return SetValue(name, type, Utf16Bytes(text, true), flags);
}

bool RegKey::SetDword(const RegName& name, DWORD value, unsigned flags) {
  if ((flags & kRegDeleteIfEmpty) && value == 0) return DeleteValue(name);
  return SetValue(name, REG_DWORD, &value, sizeof(value), flags);
}

bool RegKey::SetQword(const RegName& name, std::uint64_t value) {
  return SetValue(name, REG_QWORD, &value, sizeof(value));
}

bool RegKey::SetDouble(const RegName& name, double value) {
  return SetString(name, NStringView(FormatRegDouble(value)));
}

bool RegKey::SetMultiString(const RegName& name, const std::vector<WString>& strings) {
  std::vector<std::uint8_t> bytes;
  for (const WString& s : strings) {
    const std::vector<std::uint8_t> part = Utf16Bytes(s, true);
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  bytes.insert(bytes.end(), {0, 0});
  return SetValue(name, REG_MULTI_SZ, bytes);
}

bool RegKey::DeleteValue(const RegName& name) {
  if (!handle_) return Done(ERROR_INVALID_HANDLE);
  return Done(::RegDeleteValueW(handle_, W(name.wide())));
}

bool RegKey::ValueExists(const RegName& name) {
  if (!handle_) return Done(ERROR_INVALID_HANDLE);
  return Done(::RegQueryValueExW(handle_, W(name.wide()), nullptr, nullptr, nullptr, nullptr));
}

bool RegKey::GetValue(const RegName& name, DWORD* type, std::vector<std::uint8_t>* bytes) {
  if (!handle_) return Done(ERROR_INVALID_HANDLE);
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(handle_, W(name.wide()), nullptr, type, nullptr, &size);
  // The value may grow between the two calls; ask again with its new size.
  for (int attempt = 0; status == ERROR_SUCCESS || status == ERROR_MORE_DATA; ++attempt) {
    bytes->assign(size, 0);
    status = ::RegQueryValueExW(handle_, W(name.wide()), nullptr, type, bytes->empty() ? nullptr : bytes->data(),
                                &size);
    if (status == ERROR_SUCCESS) {
      bytes->resize(size);
      break;
    }
    if (attempt == 3) break;
  }
  return Done(status);
}

bool RegKey::GetString(const RegName& name, WString* out) {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;
  if (!GetValue(name, &type, &bytes)) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return Done(ERROR_INVALID_DATATYPE);
  *out = WideFromBytes(bytes);
  while (!out->empty() && out->back() == u'\0') out->pop_back();
  // A value written without its zero may still hold an inner one; the text
  // ends there, as for every other reader of the value.
  const std::size_t zero = out->find(u'\0');
  if (zero != WString::npos) out->resize(zero);
  return true;
}

bool RegKey::GetDword(const RegName& name, DWORD* out) {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;
  if (!GetValue(name, &type, &bytes)) return false;
  if (type != REG_DWORD || bytes.size() != 4) return Done(ERROR_INVALID_DATATYPE);
  *out = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<DWORD>(bytes[3]) << 24);
  return true;
}

bool RegKey::GetQword(const RegName& name, std::uint64_t* out) {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;
  if (!GetValue(name, &type, &bytes)) return false;
  if (type != REG_QWORD || bytes.size() != 8) return Done(ERROR_INVALID_DATATYPE);
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[static_cast<std::size_t>(i)];
  *out = value;
  return true;
}

bool RegKey::GetMultiString(const RegName& name, std::vector<WString>* out) {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;
  if (!GetValue(name, &type, &bytes)) return false;
  if (type != REG_MULTI_SZ) return Done(ERROR_INVALID_DATATYPE);
  WString all = WideFromBytes(bytes);
  if (!all.empty() && all.back() == u'\0') all.pop_back();  // the list's closing zero
  out->clear();
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find(u'\0', start);
    if (end == WString::npos) end = all.size();  // a last string without its zero
    out->push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

bool RegKey::SubKeys(std::vector<WString>* out) {
  if (!handle_) return Done(ERROR_INVALID_HANDLE);
  return EnumSubKeys(handle_, out);
}

bool RegKey::ValueNames(std::vector<WString>* out) {
  if (!handle_) return Done(ERROR_INVALID_HANDLE);
  return EnumValueNames(handle_, out);
}

bool DeleteKeyTree(HKEY root, const WString& path, REGSAM view) {
  if (!root || path.empty()) return Done(ERROR_INVALID_PARAMETER);
  HKEY key = nullptr;
  LSTATUS status = ::RegOpenKeyExW(root, W(path), 0, KEY_READ | DELETE | (view & kRegViewBits), &key);
  if (status == ERROR_FILE_NOT_FOUND) return Done(ERROR_SUCCESS);
  if (!Done(status)) return false;
  std::vector<WString> children;
  const bool listed = EnumSubKeys(key, &children);
  ::RegCloseKey(key);
  if (!listed) return false;
  for (const WString& child : children) {
    if (!DeleteKeyTree(root, path + u"\\" + child, view)) return false;
  }
  status = ::RegDeleteKeyExW(root, W(path), view & kRegViewBits, 0);
  return Done(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status);
}

bool DeleteKeyIfEmpty(HKEY root, const WString& path, REGSAM view) {
  if (!root || path.empty()) return Done(ERROR_INVALID_PARAMETER);
  HKEY key = nullptr;
  if (!Done(::RegOpenKeyExW(root, W(path), 0, KEY_READ | (view & kRegViewBits), &key))) return false;
  DWORD keys = 0, values = 0;
  const bool queried = Done(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values,
                                               nullptr, nullptr, nullptr, nullptr));
  ::RegCloseKey(key);
  if (!queried) return false;
  if (keys || values) return Done(ERROR_DIR_NOT_EMPTY);
  return Done(::RegDeleteKeyExW(root, W(path), view & kRegViewBits, 0));
}

std::vector<WString> UserHives() {
  std::vector<WString> hives;
  RegKey list;
  // The 64-bit view: a 32-bit engine on 64-bit Windows must see the
  // system's own list (the flag is ignored by 32-bit Windows).
  if (list.Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", kRegOpenOnly,
                KEY_READ | KEY_WOW64_64KEY) &&
      list.SubKeys(&hives))
    return hives;
  hives.clear();
  std::vector<WString> all;
  if (list.Open(HKEY_USERS, u"", kRegOpenOnly, KEY_READ) && list.SubKeys(&all)) {
    for (WString& name : all) {
      const bool classes = name.size() >= 8 && EqualsIgnoreCase(WStringView(name).substr(name.size() - 8), u"_Classes");
      if (!classes && !EqualsIgnoreCase(name, u".DEFAULT")) hives.push_back(std::move(name));
    }
  }
  return hives;
}

bool ForEachUserHive(REGSAM access, const std::function<bool(HKEY hive, const WString& profile)>& work) {
  bool all_done = true;
  DWORD first_error = ERROR_SUCCESS;
  for (const WString& profile : UserHives()) {
    RegKey hive;
    bool done = hive.Open(HKEY_USERS, profile, kRegOpenOnly, 0x20009 | (access & kRegViewBits)) != kRegFailed;
    if (done) done = work(hive.handle(), profile);
    if (!done && all_done) {
      all_done = false;
      first_error = ::GetLastError();
    }
  }
  ::SetLastError(first_error);
  return all_done;
}

bool SetInAllUserHives(const WString& key_path, const RegName& name, DWORD type,
                       const std::vector<std::uint8_t>& bytes, REGSAM access, unsigned flags) {
  return ForEachUserHive(access, [&](HKEY hive, const WString&) {
    RegKey key;
    return key.Open(hive, key_path, 0, access) != kRegFailed && key.SetValue(name, type, bytes, flags);
  });
}

bool CreateInAllUserHives(const WString& key_path, REGSAM access) {
  return ForEachUserHive(access, [&](HKEY hive, const WString&) {
    RegKey key;
    return key.Open(hive, key_path, 0, access) != kRegFailed;
  });
}

bool DeleteValueInAllUserHives(const WString& key_path, const RegName& name, REGSAM access) {
  return ForEachUserHive(access, [&](HKEY hive, const WString&) {
    RegKey key;
    return key.Open(hive, key_path, kRegOpenOnly, access) != kRegFailed && key.DeleteValue(name);
  });
}

}  // namespace ks
