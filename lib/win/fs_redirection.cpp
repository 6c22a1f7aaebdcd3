#include "lib/win/fs_redirection.h"

#include <windows.h>

#include "lib/win/system_library.h"

namespace ks {
namespace {

struct RedirectionState {
  PVOID old_value = nullptr;
  bool off = false;
};

RedirectionState& State() {
  static RedirectionState state;
  return state;
}

HMODULE Kernel() { return ::GetModuleHandleW(L"kernel32.dll"); }

bool UnderWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto is_wow64 = ProcAddress<IsWow64ProcessFn>(Kernel(), "IsWow64Process");
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

bool SwitchOffFsRedirection() {
  RedirectionState& state = State();
  if (state.off || !UnderWow64()) return true;
  using DisableFn = BOOL(WINAPI*)(PVOID*);
  const auto disable = ProcAddress<DisableFn>(Kernel(), "Wow64DisableWow64FsRedirection");
  if (!disable || !disable(&state.old_value)) return false;
  state.off = true;
  return true;
}

void RestoreFsRedirection() {
  RedirectionState& state = State();
  if (!state.off) return;
  using RevertFn = BOOL(WINAPI*)(PVOID);
  const auto revert = ProcAddress<RevertFn>(Kernel(), "Wow64RevertWow64FsRedirection");
  if (revert) revert(state.old_value);
  state.off = false;
}

}  // namespace ks
