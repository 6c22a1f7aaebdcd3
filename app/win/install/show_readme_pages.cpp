#include "app/win/install/install_steps.h"

namespace ks {

RunEnd ShowReadmePages(InstallRun& run) {
  if (run.reports.automatic()) return kGoOn;
  for (const PageDocument& document : PageDocuments(run.texts.Text(64), run.settings.readme_documents, run.texts)) {
    if (!RunDocumentPage(run.wizard, PageKind::kReadme, run.PageStyle(WizardPage::kReadme), document, false))
      return run.reports.Cancelled(12);
  }
  return kGoOn;
}

}  // namespace ks
