#pragma once
// Move-only owners for Win32 handles.

#include <windows.h>

#include <utility>

namespace ks {

template <typename T, typename Closer>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T value) : value_(value) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, T{}));
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return value_ != T{}; }
  // Gives the value up without closing it (something must outlive the owner).
  T release() { return std::exchange(value_, T{}); }
  void reset(T value = T{}) {
    if (value_ != T{}) Closer{}(value_);
    value_ = value;
  }

 private:
  T value_{};
};

struct CloseHandleCloser {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct FreeLibraryCloser {
  void operator()(HMODULE m) const { ::FreeLibrary(m); }
};
struct DestroyIconCloser {
  void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
struct LocalFreeCloser {
  void operator()(HLOCAL memory) const { ::LocalFree(memory); }
};

struct DeleteObjectCloser {
  void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
struct DestroyWindowCloser {
  void operator()(HWND window) const { ::DestroyWindow(window); }
};
struct UnmapViewCloser {
  void operator()(const void* view) const { ::UnmapViewOfFile(view); }
};

using OwnedHandle = Owned<HANDLE, CloseHandleCloser>;
using OwnedModule = Owned<HMODULE, FreeLibraryCloser>;
using OwnedIcon = Owned<HICON, DestroyIconCloser>;
using OwnedLocal = Owned<HLOCAL, LocalFreeCloser>;
using OwnedBrush = Owned<HBRUSH, DeleteObjectCloser>;
using OwnedFont = Owned<HFONT, DeleteObjectCloser>;
using OwnedBitmap = Owned<HBITMAP, DeleteObjectCloser>;
using OwnedWindow = Owned<HWND, DestroyWindowCloser>;
using OwnedView = Owned<const void*, UnmapViewCloser>;  // a view of a file mapping

}  // namespace ks
