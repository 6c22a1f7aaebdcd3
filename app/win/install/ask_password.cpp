#include "app/win/install/install_steps.h"

namespace ks {

// Asked in automatic mode too. A silent run cannot ask: without the
// password it does not install.
RunEnd AskPassword(InstallRun& run) {
  if (!ShowsPasswordPage(run.settings.password)) return kGoOn;
  if (run.options.silent || !RunPasswordPage(run.wizard, run.settings.password)) return run.reports.Cancelled(12);
  return kGoOn;
}

}  // namespace ks
