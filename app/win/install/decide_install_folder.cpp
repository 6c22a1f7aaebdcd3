#include "app/win/install/install_steps.h"

namespace ks {

RunEnd DecideInstallFolder(InstallRun& run) {
  FolderDecisionInput input;
  input.options = &run.options;
  input.reports = &run.reports;
  input.expand = [&run](const WString& text) { return run.vars.Expanded(text); };
  FolderDecision decision;
  if (RunEnd end = DecideInstallFolder(run.settings, run.earlier.earlier, input, &decision)) return end;
  run.choices.install_dir = decision.folder;
  run.choices.install_type = decision.install_type;
  run.folder_page = decision.folder_page;
  return kGoOn;
}

}  // namespace ks
