#include "app/win/install/install_steps.h"

namespace ks {

RunEnd OpenArchive(InstallRun& run) {
  // Every failure ends the process with its own message (no data, foreign
  // version, corrupt archive).
  OpenSetupArchive(run.archive, run.reports);
  run.archive_flags = run.archive.header.flags;
  return kGoOn;
}

}  // namespace ks
