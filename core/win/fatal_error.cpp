#include "core/win/fatal_error.h"

#include <windows.h>

#include <utility>

#include "core/command_line.h"
#include "lib/win/message_boxes.h"
#include "lib/win/system_library.h"
#include "lib/win/terminate.h"

namespace ks {

namespace {

// The fatal path's own state; process-wide because the hook is.
bool g_window_creation_disallowed = false;
NString g_recorded_fatal_text;
FatalErrorRecorder g_recorder;

void StopBox(const WString& text, const WString& title) {
  // Without an owner the box still blocks the thread's other windows.
  const UINT modality = MessageBoxOwner() ? MB_APPLMODAL : MB_TASKMODAL;
  ShowMessageBox(text, title, MB_OK | MB_ICONSTOP | MB_SETFOREGROUND | modality);
}

}  // namespace

void FatalError(NStringView text) {
  // Taken out first: a fatal error inside the recorder must not record again.
  if (FatalErrorRecorder recorder = std::exchange(g_recorder, nullptr)) recorder(Cp1252ToWide(text));
  if (g_window_creation_disallowed) {
    g_recorded_fatal_text += "fatal + window_creation_disallowed\r\n";
    g_recorded_fatal_text += text;
  } else {
    StopBox(Cp1252ToWide(text), u"FATAL ERROR - " + Widen(kInstallerCaption));
  }
  StopProcess(-1);
}

void SetFatalErrorRecorder(FatalErrorRecorder recorder) { g_recorder = std::move(recorder); }

void ShowUsage(WStringView prefix) {
  const UINT modality = MessageBoxOwner() ? MB_APPLMODAL : MB_TASKMODAL;
  ShowMessageBox(BuildUsageText(prefix, FileNameOf(ModuleFileName(nullptr))), u"Error",
                 MB_OK | MB_ICONSTOP | MB_SETFOREGROUND | modality);
}

void SetWindowCreationDisallowed(bool disallowed) { g_window_creation_disallowed = disallowed; }

const NString& RecordedFatalText() { return g_recorded_fatal_text; }

}  // namespace ks
