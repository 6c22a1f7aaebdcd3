#include "engine/win/special_folders.h"

#include <shlobj.h>

#include <vector>

#include "lib/win/os_version_query.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr DWORD kMaxPath = 260;
constexpr std::size_t kMaxFolderValue = 4096;
constexpr std::size_t kMaxNarrowValue = 64;
constexpr DWORD kMaxEnvironmentValue = 65536;
constexpr DWORD kMaxUserName = 255;

// The published known-folder identifiers, spelled out so that nothing depends
// on which of them the toolchain's uuid library carries.
constexpr GUID kProgramFilesId = {0x905e63b6, 0xc1bf, 0x494e, {0xb2, 0x9c, 0x65, 0xb7, 0x32, 0xd3, 0xd2, 0x1a}};
constexpr GUID kProgramFilesX64Id = {0x6d809377, 0x6af0, 0x444b, {0x89, 0x57, 0xa3, 0x77, 0x3f, 0x02, 0x20, 0x0e}};
constexpr GUID kProgramFilesCommonId = {0xf7f1ed05, 0x9f6d, 0x47a2, {0xaa, 0xae, 0x29, 0xd3, 0x17, 0xc6, 0xf0, 0x66}};
constexpr GUID kProgramFilesCommonX64Id = {0x6365d5a7, 0x0f0d, 0x45e5, {0x87, 0xf6, 0x0d, 0xa5, 0x6b, 0x6a, 0x4f, 0x7d}};

using SpecialFolderPathFn = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
using KnownFolderPathFn = HRESULT(WINAPI*)(REFGUID, DWORD, HANDLE, PWSTR*);

// shell32 is bound by name at first use: the known-folder call is missing
// before Vista, and a missing function only skips its method.
struct ShellFunctions {
  OwnedModule module;
  SpecialFolderPathFn special_folder_path = nullptr;
  KnownFolderPathFn known_folder_path = nullptr;
  ShellChangeNotifyFn change_notify = nullptr;
};

const ShellFunctions& Shell() {
  static const ShellFunctions* shell = [] {
    auto* s = new ShellFunctions;
    s->module = LoadSystemLibrary(L"shell32.dll");
    s->special_folder_path = ProcAddress<SpecialFolderPathFn>(s->module.get(), "SHGetSpecialFolderPathW");
    s->known_folder_path = ProcAddress<KnownFolderPathFn>(s->module.get(), "SHGetKnownFolderPath");
    s->change_notify = ProcAddress<ShellChangeNotifyFn>(s->module.get(), "SHChangeNotify");
    return s;
  }();
  return *shell;
}

struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using OwnedKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

OwnedKey OpenKey(HKEY root, const wchar_t* path) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return OwnedKey();
  return OwnedKey(raw);
}

// A string value (REG_SZ or unexpanded REG_EXPAND_SZ) cut to `max_chars`.
WString ReadWideValue(HKEY root, const wchar_t* path, const WString& name, std::size_t max_chars) {
  const OwnedKey key = OpenKey(root, path);
  if (!key) return WString();
  DWORD type = 0, bytes = 0;
  if (::RegQueryValueExW(key.get(), W(name), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return WString();
  }
  std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key.get(), W(name), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &bytes) != ERROR_SUCCESS) {
    return WString();
  }
  std::size_t n = 0;
  while (n < bytes / sizeof(wchar_t) && n < max_chars && data[n]) ++n;
  return FromW(data.data(), n);
}

NString ReadNarrowValue(HKEY root, const char* path, const char* name) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return NString();
  const OwnedKey key(raw);
  DWORD type = 0, bytes = 0;
  if (::RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return NString();
  }
  std::vector<char> data(bytes + 1, '\0');
  bytes = static_cast<DWORD>(data.size());
  if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &bytes) != ERROR_SUCCESS) {
    return NString();
  }
  std::size_t n = 0;
  while (n < bytes && n < kMaxNarrowValue && data[n]) ++n;
  return NString(data.data(), n);
}

// A call that fills a buffer of 260 characters and returns the length, or
// more than the room when the answer does not fit.
template <typename Call>
WString FixedRoomCall(Call call) {
  std::vector<wchar_t> buffer(kMaxPath + 1, L'\0');
  const DWORD n = call(buffer.data(), kMaxPath);
  return (n == 0 || n >= kMaxPath) ? WString() : FromW(buffer.data(), n);
}

class SystemFolderMethods : public FolderMethods {
 public:
  WString ShellFolder(int csidl) override {
    const SpecialFolderPathFn call = Shell().special_folder_path;
    if (!call) return WString();
    // The call writes up to MAX_PATH characters and takes no size.
    std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
    if (!call(nullptr, buffer.data(), csidl, FALSE)) return WString();
    return FromW(buffer.data());
  }

  WString KnownFolderPath(KnownFolder id) override {
    const KnownFolderPathFn call = Shell().known_folder_path;
    if (!call) return WString();
    PWSTR path = nullptr;
    const HRESULT hr = call(KnownFolderGuid(id), 0, nullptr, &path);
    WString result = (SUCCEEDED(hr) && path) ? FromW(path) : WString();
    if (path) ::CoTaskMemFree(path);
    return result;
  }

  WString ShellFoldersValue(RegistryRoot root, const WString& name) override {
    return ReadWideValue(root == RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                         L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                         name, kMaxFolderValue);
  }

  WString CurrentVersionValue(const WString& name) override {
    return ReadWideValue(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", name,
                         kMaxFolderValue);
  }

  WString EnvironmentValue(const WString& name) override {
    const DWORD needed = ::GetEnvironmentVariableW(W(name), nullptr, 0);
    if (needed == 0 || needed > kMaxEnvironmentValue) return WString();
    std::vector<wchar_t> buffer(needed, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(W(name), buffer.data(), needed);
    return (n == 0 || n >= needed) ? WString() : FromW(buffer.data(), n);
  }

  WString WindowsFolder() override {
    return FixedRoomCall([](wchar_t* b, DWORD room) { return ::GetWindowsDirectoryW(b, room); });
  }
  WString SystemDirectory() override {
    return FixedRoomCall([](wchar_t* b, DWORD room) { return ::GetSystemDirectoryW(b, room); });
  }
  WString SystemTempPath() override {
    return FixedRoomCall([](wchar_t* b, DWORD room) { return ::GetTempPathW(room, b); });
  }

  bool FolderExists(const WString& path) override {
    const DWORD attributes = ::GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  // Each missing level in turn; a failure shows later when the folder is used.
  void CreateFolderTree(const WString& path) override {
    for (std::size_t at = path.find(u'\\'); ; at = path.find(u'\\', at + 1)) {
      const WString level = path.substr(0, at);
      if (!level.empty() && level.back() != u':') ::CreateDirectoryW(W(level), nullptr);
      if (at == WString::npos) break;
    }
  }

  WString UserName() override {
    std::vector<wchar_t> buffer(kMaxUserName + 1, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!::GetUserNameW(buffer.data(), &size) || size == 0) return WString();
    return FromW(buffer.data());
  }

  NString WwwRootValue() override {
    return ReadNarrowValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\INetStp", "PathWWWRoot");
  }
  NString BootDirValue() override {
    return ReadNarrowValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup",
                           "BootDir");
  }

  WString ExpandEnvironment(const WString& text) override {
    DWORD room = 1024;
    for (int attempt = 0; attempt < 3; ++attempt) {
      std::vector<wchar_t> buffer(room, L'\0');
      const DWORD n = ::ExpandEnvironmentStringsW(W(text), buffer.data(), room);
      if (n == 0) return WString();
      if (n <= room) return FromW(buffer.data());
      room = n;
    }
    return WString();
  }

  bool Is64BitOs() override { return GetSystemVersion().is_64bit; }
  std::uint32_t Platform() override { return GetSystemVersion().platform; }

 private:
  static const GUID& KnownFolderGuid(KnownFolder id) {
    switch (id) {
      case KnownFolder::kProgramFilesX64: return kProgramFilesX64Id;
      case KnownFolder::kProgramFilesCommon: return kProgramFilesCommonId;
      case KnownFolder::kProgramFilesCommonX64: return kProgramFilesCommonX64Id;
      case KnownFolder::kProgramFiles: break;
    }
    return kProgramFilesId;
  }
};

}  // namespace

std::unique_ptr<FolderMethods> MakeSystemFolderMethods() {
  return std::make_unique<SystemFolderMethods>();
}

SpecialFolders& SystemSpecialFolders() {
  // Never destroyed: the end of the process may still ask for a folder.
  static FolderMethods* methods = MakeSystemFolderMethods().release();
  static SpecialFolders* folders = new SpecialFolders(*methods);
  return *folders;
}

ShellChangeNotifyFn ShellChangeNotify() { return Shell().change_notify; }

}  // namespace ks
