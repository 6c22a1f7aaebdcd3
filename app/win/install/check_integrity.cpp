#include "app/win/install/install_steps.h"

#include "core/win/integrity_check.h"

namespace ks {

RunEnd CheckIntegrity(InstallRun& run) {
  CheckIntegrityOrReport(run.archive, run.settings.page_styles.integrity_mode(), run.reports);
  return kGoOn;
}

}  // namespace ks
