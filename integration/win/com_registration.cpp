#include "integration/win/com_registration.h"

#include <windows.h>

#include <oleauto.h>

#include "engine/path_variables.h"
#include "engine/win/foreign_call_guard.h"
#include "lib/win/owned.h"
#include "lib/win/process_start.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// regsvr32 with `arguments`; its exit code, or the system's error when it
// could not be started (then `started` is false).
DWORD RunRegsvr32(const WString& arguments, bool* started) {
  const WString program = SystemProgramPath(L"regsvr32.exe");
  ProcessStart start;
  start.command_line = u"\"" + program + u"\" " + arguments;
  start.folder = FolderOfFile(program);
  start.hidden = true;
  OwnedHandle process;
  const DWORD error = program.empty() ? ERROR_FILE_NOT_FOUND : StartProcess(start, &process);
  *started = error == 0;
  if (error != 0) return error;
  WaitForProcess(process.get(), INFINITE, {});
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.get(), &code)) code = ::GetLastError();
  return code;
}

// The server's own entry point, called inside the installer. Owns nothing
// across the call: a crash abandons these frames.
struct EntryCall {
  const wchar_t* path;
  const char* entry;
  HMODULE module;
  bool reached;
};

void LoadAndCall(void* context) {
  auto* call = static_cast<EntryCall*>(context);
  // The server's own folder first, for the DLLs it needs beside it.
  call->module = ::LoadLibraryExW(call->path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  // Handles below 32 are the old loader's error codes.
  if (reinterpret_cast<ULONG_PTR>(call->module) < 32) return;
  using EntryFn = HRESULT(STDAPICALLTYPE*)();
  const auto fn = reinterpret_cast<EntryFn>(reinterpret_cast<void (*)()>(::GetProcAddress(call->module, call->entry)));
  if (!fn) return;
  call->reached = true;
  fn();
}

void Unload(void* context) { ::FreeLibrary(static_cast<EntryCall*>(context)->module); }

// Runs `entry` of the server; false when it crashed. `reached`: the entry
// point was found and called.
bool CallServerEntry(const WString& path, const char* entry, bool* reached) {
  EntryCall call{W(path), entry, nullptr, false};
  const bool returned = CallGuarded(LoadAndCall, &call);
  *reached = call.reached;
  if (reinterpret_cast<ULONG_PTR>(call.module) >= 32) CallGuarded(Unload, &call);
  return returned;
}

struct TypeLibraryCall {
  const wchar_t* path;
  bool unregister;
  HRESULT result;
};

void RegisterTypeLibraryCall(void* context) {
  auto* call = static_cast<TypeLibraryCall*>(context);
  ITypeLib* library = nullptr;
  call->result = ::LoadTypeLibEx(call->path, REGKIND_NONE, &library);
  if (FAILED(call->result)) return;
  if (!call->unregister) {
    // The system's declaration asks for a writable path; it does not write to it.
    call->result = ::RegisterTypeLib(library, const_cast<wchar_t*>(call->path), nullptr);
  } else {
    TLIBATTR* attributes = nullptr;
    call->result = library->GetLibAttr(&attributes);
    if (SUCCEEDED(call->result)) {
      call->result = ::UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                         attributes->lcid, attributes->syskind);
      library->ReleaseTLibAttr(attributes);
    }
  }
  library->Release();
}

}  // namespace

void RegisterComServers(const std::vector<WString>& paths, const ComponentProgress& progress) {
  InstallLog& log = *progress.log;
  for (const WString& path : paths) {
    log.Wide(ComServerLogStart(path));
    progress.ShowItem(path);
    bool started = false;
    const DWORD exit_code = RunRegsvr32(RegisterServerArguments(path), &started);
    bool registered = started && exit_code == 0;
    if (!registered) {
      bool reached = false;
      if (!CallServerEntry(path, "DllRegisterServer", &reached)) {
        log.Text(kComponentCrashed);
        log.AddFailure(ComServerCrashEntry(FileNameOf(path)));
        continue;
      }
      // Its result is not checked: a server that answers is taken at its word.
      registered = reached;
    }
    log.Wide(registered ? WString(u"OK\r\n") : ComServerFailedLine(static_cast<std::int32_t>(exit_code)));
  }
}

void RegisterTypeLibraries(const std::vector<WString>& paths, const ComponentProgress& progress) {
  InstallLog& log = *progress.log;
  for (const WString& path : paths) {
    log.Wide(TypeLibraryLogStart(path));
    progress.ShowItem(path);
    TypeLibraryCall call{W(path), false, E_FAIL};
    if (!CallGuarded(RegisterTypeLibraryCall, &call)) {
      log.Text(kComponentCrashed);
      log.AddFailure(TypeLibraryCrashEntry(FileNameOf(path)));
      continue;
    }
    // The automation library reports its failures as results, not as the
    // thread's last error: the result's text says what went wrong.
    log.Wide(SUCCEEDED(call.result) ? WString(u"OK\r\n")
                                    : TypeLibraryFailedText(SystemErrorText(static_cast<std::uint32_t>(call.result))));
  }
}

bool UnregisterComServer(const WString& path) {
  bool started = false;
  if (RunRegsvr32(UnregisterServerArguments(path), &started) == 0 && started) return true;
  bool reached = false;
  return CallServerEntry(path, "DllUnregisterServer", &reached) && reached;
}

bool UnregisterTypeLibrary(const WString& path) {
  TypeLibraryCall call{W(path), true, E_FAIL};
  return CallGuarded(RegisterTypeLibraryCall, &call) && SUCCEEDED(call.result);
}

}  // namespace ks
