#include "app/win/install/install_steps.h"

#include "engine/special_folders.h"
#include "engine/win/special_folders.h"
#include "lib/win/notification_worker.h"

namespace ks {

// Without a step log the installation goes on; only Install.log lacks its lines.
RunEnd BeginInstallation(InstallRun& run) {
  if (run.step_file.Open(SpecialFolderPath(SpecialFolder::kTemp))) run.log.set_sink(&run.step_file);
  SendNotification(run.settings.begin_url, false);
  return kGoOn;
}

}  // namespace ks
