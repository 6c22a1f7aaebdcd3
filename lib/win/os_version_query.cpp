#include "lib/win/os_version_query.h"

#include <memory>
#include <type_traits>

#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr size_t kMaxServicePack = 128;
constexpr size_t kMaxReleaseId = 64;

// Functions that older systems (or other builds of Windows) lack, looked up
// by name so that the engine still starts where they are missing.
using WineGetVersionFn = const char*(__cdecl*)();
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);

template <class Fn>
Fn Lookup(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  if (!handle) return nullptr;
  // Through void* because the declared type of the export is unknown to the compiler.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

bool QueryVersionInfo(OSVERSIONINFOEXW& info) {
  info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  // RtlGetVersion reports the real version, whatever the manifest says.
  if (auto rtl = Lookup<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion")) {
    if (rtl(&info) == 0) return true;
  }
  info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
}

WString BoundedText(const wchar_t* text, size_t capacity, size_t max_chars) {
  size_t n = 0;
  while (n < capacity && n < max_chars && text[n]) ++n;
  return FromW(text, n);
}

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// "ReleaseId" of the current version key, at most 64 characters. On a 64-bit
// system the 32-bit engine reads the native view; a 32-bit system refuses
// KEY_WOW64_64KEY on its oldest versions, so the flag is set only there.
WString ReadReleaseId(bool native_64bit) {
  const REGSAM access = KEY_QUERY_VALUE | (native_64bit ? KEY_WOW64_64KEY : 0);
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    access, &raw) != ERROR_SUCCESS) {
    return WString();
  }
  UniqueKey key(raw);
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key.get(), L"ReleaseId", nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      type != REG_SZ || bytes == 0) {
    return WString();
  }
  WString value(bytes / sizeof(wchar_t) + 1, u'\0');
  DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), L"ReleaseId", nullptr, &type, reinterpret_cast<BYTE*>(W(value)),
                       &size) != ERROR_SUCCESS) {
    return WString();
  }
  return BoundedText(W(value), size / sizeof(wchar_t), kMaxReleaseId);
}

void StoreVersionInfo(const OSVERSIONINFOEXW& info, SystemVersion& v) {
  v.major = info.dwMajorVersion;
  v.minor = info.dwMinorVersion;
  v.platform = info.dwPlatformId;
  // Windows 9x puts major and minor into the high word of the build number.
  v.build = v.platform == kPlatformWin9x ? (info.dwBuildNumber & 0xFFFF) : info.dwBuildNumber;
  v.service_pack = BoundedText(info.szCSDVersion, ARRAYSIZE(info.szCSDVersion), kMaxServicePack);
  v.suite_mask = info.wSuiteMask;
  v.product_type = info.wProductType;
}

void QueryProductInfo(const OSVERSIONINFOEXW& info, SystemVersion& v) {
  auto get_product_info = Lookup<GetProductInfoFn>(L"kernel32.dll", "GetProductInfo");
  DWORD type = 0;
  if (get_product_info && get_product_info(info.dwMajorVersion, info.dwMinorVersion,
                                           info.wServicePackMajor, info.wServicePackMinor, &type)) {
    v.product_info_type = type;
  }
}

void QueryNativeArchitecture(SystemVersion& v) {
  auto native_info = Lookup<GetNativeSystemInfoFn>(L"kernel32.dll", "GetNativeSystemInfo");
  if (!native_info) return;
  SYSTEM_INFO si = {};
  native_info(&si);
  v.is_64bit = si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
               si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

void QueryEnvironment(SystemVersion& v) {
  v.tablet_pc_metric = GetSystemMetrics(86);     // SM_TABLETPC
  v.media_center_metric = GetSystemMetrics(87);  // SM_MEDIACENTER
  v.starter_metric = GetSystemMetrics(88);       // SM_STARTER
  v.server_r2_metric = GetSystemMetrics(89);     // SM_SERVERR2
  if (v.platform == kPlatformNt && v.major == 10 && v.minor == 0) {
    v.release_id = ReadReleaseId(v.is_64bit);
  }
}

}  // namespace

SystemVersion QuerySystemVersion() {
  SystemVersion v;
  if (auto wine = Lookup<WineGetVersionFn>(L"ntdll.dll", "wine_get_version")) {
    if (const char* text = wine()) v.compatibility_layer = NString(text);
  }
  OSVERSIONINFOEXW info;
  if (!QueryVersionInfo(info)) return SystemVersion();
  StoreVersionInfo(info, v);
  if (v.major >= 6) QueryProductInfo(info, v);
  if (v.major >= 5) QueryNativeArchitecture(v);
  QueryEnvironment(v);
  return v;
}

const SystemVersion& GetSystemVersion() {
  static bool filled = false;
  static SystemVersion version;
  if (!filled) {
    version = QuerySystemVersion();
    filled = true;
  }
  return version;
}

}  // namespace ks
