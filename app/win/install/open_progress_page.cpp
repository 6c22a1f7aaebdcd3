#include "app/win/install/install_steps.h"

#include "lib/end_of_process.h"

namespace ks {

// The run goes on without the page when it cannot be made.
RunEnd OpenProgressPage(InstallRun& run) {
  const InstallSettings& settings = run.settings;
  if (!ShowsProgressPage(settings.product_flags, run.options.silent)) return kGoOn;
  ProgressPageInput in;
  in.frame = run.wizard.Frame(PageKind::kProgress, run.PageStyle(WizardPage::kProgress), 54);
  in.page_text = run.wizard.Text(39);
  in.cancel_text = run.wizard.Text(49);
  in.cancel_enabled = !HasFlag(settings.product_flags, product_flag::kProgressCancelDisabled);
  in.stage_time_ms = run.reports.automatic() ? 0 : settings.stage_display_time;
  in.cancel_question = run.wizard.Text(28);
  in.cancel_caption = run.wizard.Text(20);
  if (run.progress.Open(run.wizard, std::move(in))) {
    SetTerminateStep(TerminateStep::kProgressWindow, [&run] { run.progress.Close(); });
  }
  return kGoOn;
}

}  // namespace ks
