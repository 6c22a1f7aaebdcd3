#include "integration/win/replace_icon.h"

#include <windows.h>

#include <vector>

#include "integration/icon_directory.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

using BeginUpdateFn = HANDLE(WINAPI*)(LPCWSTR, BOOL);
using UpdateFn = BOOL(WINAPI*)(HANDLE, LPCWSTR, LPCWSTR, WORD, LPVOID, DWORD);
using EndUpdateFn = BOOL(WINAPI*)(HANDLE, BOOL);

// Systems of the 9x family lack the resource update calls; they are looked
// up once so that the installer still starts there.
struct ResourceUpdateCalls {
  BeginUpdateFn begin = nullptr;
  UpdateFn update = nullptr;
  EndUpdateFn end = nullptr;
  bool present() const { return begin && update && end; }
};

const ResourceUpdateCalls& Calls() {
  static const ResourceUpdateCalls calls = [] {
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    ResourceUpdateCalls c;
    c.begin = ProcAddress<BeginUpdateFn>(kernel, "BeginUpdateResourceW");
    c.update = ProcAddress<UpdateFn>(kernel, "UpdateResourceW");
    c.end = ProcAddress<EndUpdateFn>(kernel, "EndUpdateResourceW");
    return c;
  }();
  return calls;
}

// An open resource update; discarded unless committed.
class ResourceUpdate {
 public:
  ResourceUpdate(const ResourceUpdateCalls& calls, const WString& path)
      : calls_(calls), handle_(calls.begin(W(path), FALSE)) {}
  ~ResourceUpdate() {
    if (handle_) calls_.end(handle_, TRUE);
  }
  ResourceUpdate(const ResourceUpdate&) = delete;
  ResourceUpdate& operator=(const ResourceUpdate&) = delete;

  bool open() const { return handle_ != nullptr; }
  bool Add(LPCWSTR type, WORD id, const std::uint8_t* data, std::size_t size) {
    return calls_.update(handle_, type, MAKEINTRESOURCEW(id), kIconResourceLanguage,
                         const_cast<std::uint8_t*>(data), static_cast<DWORD>(size)) != FALSE;
  }
  bool Commit() {
    const HANDLE h = handle_;
    handle_ = nullptr;
    return calls_.end(h, FALSE) != FALSE;
  }

 private:
  const ResourceUpdateCalls& calls_;
  HANDLE handle_;
};

}  // namespace

IconReplaceResult ReplaceIcon(const WString& program_path, const Bytes& ico) {
  const ResourceUpdateCalls& calls = Calls();
  if (!calls.present()) {
    ::SetLastError(ERROR_INVALID_DLL);
    return IconReplaceResult::kCannotOpen;
  }
  std::vector<IconImage> images;
  if (!ReadIconDirectory(ico, &images) || images.size() > 0xFFFF) {
    ::SetLastError(ERROR_INVALID_DATA);
    return IconReplaceResult::kFailed;
  }
  ResourceUpdate update(calls, program_path);
  if (!update.open()) return IconReplaceResult::kCannotOpen;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const IconImage& image = images[i];
    if (!update.Add(RT_ICON, static_cast<WORD>(i + 1), ico.data() + image.offset, image.size))
      return IconReplaceResult::kFailed;
  }
  const Bytes group = BuildGroupIcon(images);
  if (!update.Add(RT_GROUP_ICON, kGroupIconId, group.data(), group.size())) return IconReplaceResult::kFailed;
  return update.Commit() ? IconReplaceResult::kReplaced : IconReplaceResult::kFailed;
}

}  // namespace ks
