// The engine's entry point: start-up in its fixed order, then the choice
// between the uninstaller, the usage message and the installation.

#include <windows.h>

#include <ole2.h>

#include "core/command_line.h"
#include "core/installation.h"
#include "core/start_options.h"
#include "core/win/fatal_error.h"
#include "core/win/process_state.h"
#include "core/win/terminate.h"
#include "integration/win/install_log_file.h"
#include "lib/fatal.h"
#include "lib/session.h"
#include "lib/win/code_page.h"
#include "lib/win/owned.h"
#include "lib/win/random_source.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "uninstall/uninstaller.h"

namespace ks {
namespace {

// Taking ownership of files and keys lets the installer replace objects whose
// access lists shut out even administrators. Without the privilege those
// steps fail on their own and are logged there.
void EnableTakeOwnershipPrivilege() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) {
    return;
  }
  const OwnedHandle token(raw);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (::LookupPrivilegeValueW(nullptr, L"SeTakeOwnershipPrivilege",
                              &privileges.Privileges[0].Luid)) {
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  }
}

// The crash handler installs its hook and the process's unhandled-exception
// filter here when it exists; until then the support library's default crash
// hook passes internal errors on to FatalError.
void InstallCrashHandler() {}

void InstallFatalHooks() {
  SetFatalErrorHook(FatalError);
  InstallCrashHandler();
  // A corrupt archive's report becomes the failure summary, with the log's error texts.
  ConnectInstallLog();
}

void ReadScreenMetrics(ProcessState& process) {
  if (const HDC screen = ::GetDC(nullptr)) {
    process.dpi_x = ::GetDeviceCaps(screen, LOGPIXELSX);
    process.dpi_y = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
  }
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &process.work_area, 0)) {
    process.work_area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
}

HICON LoadProgramIcon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                         ::GetSystemMetrics(width_metric),
                                         ::GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

// Loaded by name, not from the system folder: the program's manifest may
// redirect comctl32 to its side-by-side version 6.
void LoadSubclassFunctions(ProcessState& process) {
  process.comctl32 = OwnedModule(::LoadLibraryW(L"comctl32.dll"));
  process.def_subclass_proc =
      ProcAddress<DefSubclassProcFn>(process.comctl32.get(), "DefSubclassProc");
  process.set_window_subclass =
      ProcAddress<SetWindowSubclassFn>(process.comctl32.get(), "SetWindowSubclass");
}

void StartUp(HINSTANCE instance) {
  // The installer caption (kInstallerCaption) is a constant, set before anything runs.
  // Narrow texts go through the system's code page from here on (the /d: copy, the batches).
  UseSystemAnsiCodePage();
  if (SUCCEEDED(::OleInitialize(nullptr))) NoteOleInitialized();
  EnableTakeOwnershipPrivilege();
  InstallFatalHooks();
  ProcessState& process = Process();
  ReadScreenMetrics(process);
  process.instance = instance;
  SetSessionValue(DrawSession(SystemRandom, StartupNoise()));
  process.icon_large = OwnedIcon(LoadProgramIcon(instance, SM_CXICON, SM_CYICON));
  process.icon_small = OwnedIcon(LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON));
  LoadSubclassFunctions(process);
}

[[noreturn]] void Uninstall(const StartOptions& options) {
  if (options.uninstall_name.empty()) ShowUsage(u"/u requires Product Name");
  const int result = RunUninstaller(options.uninstall_name);
  if (result == 0) FinishSuccessfulUninstallation();
  Terminate(result);
}

[[noreturn]] void Run(HINSTANCE instance) {
  StartUp(instance);
  ParsedCommandLine parsed = ParseCommandLine(FromW(::GetCommandLineW()));
  StartOptions& options = TheStartOptions();
  options = std::move(parsed.options);
  if (parsed.usage) ShowUsage(parsed.usage->prefix);
  if (options.uninstall) Uninstall(options);
  Terminate(RunInstallation());
}

}  // namespace
}  // namespace ks

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { ks::Run(instance); }
