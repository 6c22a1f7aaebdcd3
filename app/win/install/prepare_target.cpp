#include "app/win/install/install_steps.h"

#include "engine/win/prepare_target.h"

namespace ks {

RunEnd PrepareTarget(InstallRun& run) {
  const BatchContext batches = run.Batches();
  PreparationInput input;
  input.log = &run.log;
  input.texts = &run.texts;
  input.restore_point = &run.restore_point;
  input.batches = &batches;
  input.pre_installation_addition = run.options.batch_additions[0];
  input.earlier_folder_exists = run.earlier.earlier.usable();
  input.set_status = [&run](const WString& text) { run.progress.SetStage(text); };
  input.set_progress = [&run](int percent) { run.progress.SetProgress(percent); };
  PrepareTarget(input, run.settings, run.archive_flags, run.choices);
  return kGoOn;
}

}  // namespace ks
