#include "app/win/install/install_steps.h"

namespace ks {

RunEnd ShowLicencePages(InstallRun& run) {
  if (run.reports.automatic()) return kGoOn;
  const bool scroll_to_end = (run.archive_flags & archive_flag::kLicenceScrollToEnd) != 0;
  for (const PageDocument& document : PageDocuments(run.texts.Text(63), run.settings.licence_documents, run.texts)) {
    if (!RunDocumentPage(run.wizard, PageKind::kLicence, run.PageStyle(WizardPage::kLicence), document,
                         scroll_to_end)) {
      return run.reports.Cancelled(12);
    }
  }
  return kGoOn;
}

}  // namespace ks
