// The engine's entry point: start-up in its fixed order, then the choice
// between the uninstallation road, the usage message and the installation
// road. The road returns the exit code; the entry point alone ends the process.

#include <windows.h>

#include <ole2.h>

#include <cstdlib>

#include "app/win/install_road.h"
#include "app/win/uninstall_road.h"
#include "core/command_line.h"
#include "core/start_options.h"
#include "core/win/fatal_error.h"
#include "crash/win/crash_handler.h"
#include "lib/fatal.h"
#include "lib/session.h"
#include "lib/win/code_page.h"
#include "lib/win/message_boxes.h"
#include "lib/win/privilege.h"
#include "lib/win/random_source.h"
#include "lib/win/system_library.h"
#include "lib/win/terminate.h"
#include "lib/win/wide.h"
#include "ui/win/program_resources.h"

namespace ks {
namespace {

void StartUp(HINSTANCE instance, ProgramResources& resources) {
  // The installer caption (kInstallerCaption) is a constant, set before anything runs.
  // Narrow texts go through the system's code page from here on (the /d: copy, the batches).
  UseSystemAnsiCodePage();
  if (SUCCEEDED(::OleInitialize(nullptr))) NoteOleInitialized();
  // Taking ownership of files and keys lets the installer replace objects
  // whose access lists shut out even administrators. Without the privilege
  // those steps fail on their own and are logged there.
  EnablePrivilegeForProcess(SE_TAKE_OWNERSHIP_NAME);
  SetFatalErrorHook(FatalError);
  // From here on a crash is reported, not silent; before the run does anything.
  InstallCrashHandling(instance);
  SetSessionValue(DrawSession(SystemRandom, StartupNoise()));
  LoadProgramResources(instance, resources);
  SetQuestionButtonImages(resources.button_images.first(), resources.button_images.cancel());
}

}  // namespace
}  // namespace ks

// The C++ library's default terminate handler prints the pending exception's
// name to a console the engine does not have, and brings a 40 KB name
// demangler into the engine for it. The engine throws nothing of its own;
// should the library ever terminate it, ending is all that is left to do.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  using namespace ks;
  RestrictDllSearchToSystemFolder();
  ProgramResources resources;
  StartUp(instance, resources);
  ParsedCommandLine parsed = ParseCommandLine(FromW(::GetCommandLineW()));
  SetMessageBoxesSilent(parsed.options.silent);
  if (parsed.usage) {
    ShowUsage(parsed.usage->prefix);
    Terminate(15);
  }
  // Each run ends the process inside its own scope: the end-of-process steps
  // still use what it holds.
  if (parsed.options.uninstall) {
    if (parsed.options.uninstall_name.empty()) {
      ShowUsage(u"/u requires Product Name");
      Terminate(15);
    }
    UninstallRun run(resources, std::move(parsed.options));
    Terminate(RunUninstallRoad(run));
  }
  InstallRun run(resources, std::move(parsed.options));
  Terminate(RunInstallRoad(run));
}
