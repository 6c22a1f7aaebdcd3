#include "app/win/install/install_steps.h"

#include "integration/uninstall_values.h"
#include "integration/win/finishing_steps.h"

namespace ks {

RunEnd FinishInstallation(InstallRun& run) {
  run.record_space.Release();
  // The programs to close before the product is removed, for the uninstaller.
  for (const AutoCloseRule& rule : UninstallationCloseRules(run.settings.close_programs))
    run.uninstall.AddAutoCloseRule(rule);
  const BatchContext batches = run.Batches();
  FinishingInput in;
  in.registration = run.Registration();
  in.archive_flags = run.archive_flags;
  in.options = &run.options;
  in.reports = &run.reports;
  in.restore_point = &run.restore_point;
  in.batches = &batches;
  in.log_closing = run.LogClosing();
  in.uninstall_dir = run.choices.uninstall_dir;
  in.install_type = run.choices.install_type;
  in.earlier_folder_exists = run.earlier.earlier.folder_exists;
  in.set_stage = [&run](const WString& text) { run.progress.SetStage(text); };
  in.set_status = [&run](const WString& text) { run.progress.SetItem(text); };
  in.choices = &run.finish;
  in.expand = [&run](const WString& text) { return run.vars.Expanded(text); };
  return RunFinishingSteps(in);
}

}  // namespace ks
