#include "app/win/install/install_steps.h"

#include "lib/win/notification_worker.h"

namespace ks {

// Declining the greeting ends the run without the cancellation box.
RunEnd ShowGreetingPage(InstallRun& run) {
  const InstallSettings& settings = run.settings;
  if (!ShowsGreetingPage(run.reports.automatic(), settings.product_flags)) return kGoOn;
  const auto link_opened = [&settings] { SendNotification(settings.greeting_url, false); };
  if (!RunGreetingPage(run.wizard, run.PageStyle(WizardPage::kGreeting), settings.information_link, link_opened))
    return run.reports.CancelledQuietly();
  return kGoOn;
}

}  // namespace ks
