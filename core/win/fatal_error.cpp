#include "core/win/fatal_error.h"

#include <windows.h>

#include "core/command_line.h"
#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/process_state.h"
#include "core/win/terminate.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {

namespace {

bool g_window_creation_disallowed = false;
NString g_recorded_fatal_text;

void StopBox(const WString& text, const WString& title) {
  const HWND owner = Process().background_window;
  // Without an owner the box still blocks the thread's other windows.
  const UINT modality = owner ? MB_APPLMODAL : MB_TASKMODAL;
  ::MessageBoxW(owner, W(text), W(title), MB_OK | MB_ICONSTOP | MB_SETFOREGROUND | modality);
}

}  // namespace

void FatalError(NStringView text) {
  if (g_window_creation_disallowed) {
    g_recorded_fatal_text += "fatal + window_creation_disallowed\r\n";
    g_recorded_fatal_text += text;
  } else if (!TheStartOptions().silent) {
    StopBox(Cp1252ToWide(text), u"FATAL ERROR - " + Widen(kInstallerCaption));
  }
  Terminate(-1);
}

void ErrorBox(WStringView text) {
  WString title = LocalizedText(21);
  if (title.empty()) title = u"Error";
  StopBox(WString(text), title);
}

void ShowUsage(WStringView prefix) {
  if (!TheStartOptions().silent) {
    ErrorBox(BuildUsageText(prefix, FileNameOf(ModuleFileName(nullptr))));
  }
  Terminate(15);
}

void SetWindowCreationDisallowed(bool disallowed) { g_window_creation_disallowed = disallowed; }

const NString& RecordedFatalText() { return g_recorded_fatal_text; }

}  // namespace ks
