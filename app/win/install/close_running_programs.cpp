#include "app/win/install/install_steps.h"

#include "lib/win/process_start.h"
#include "ui/win/program_closing.h"

namespace ks {

namespace {
// Time for the programs asked to close to do so.
constexpr DWORD kClosingTime = 333;
}  // namespace

RunEnd CloseRunningPrograms(InstallRun& run) {
  const std::vector<CloseProgramEntry>& entries = run.settings.close_programs;
  if (entries.empty()) return kGoOn;
  if (!CloseProgramsForInstallation(entries, run.texts, run.options.silent)) return run.reports.Cancelled(12);
  ServeWindowMessagesFor(kClosingTime);
  run.background.BringToFront();
  return kGoOn;
}

}  // namespace ks
