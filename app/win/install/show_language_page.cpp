#include "app/win/install/install_steps.h"

namespace ks {

RunEnd ShowLanguagePage(InstallRun& run) {
  if (ShowsLanguagePage(run.texts.language_count(), run.reports.automatic())) {
    const bool chosen = RunLanguagePage(run.wizard, run.texts, run.PageStyle(WizardPage::kLanguage),
                                        UserLanguageName(), run.settings.wizard_caption,
                                        [&run] { run.LanguageApplied(); });
    if (!chosen) return run.reports.Cancelled(12);
  }
  // The chosen language's own caption, when it has one, heads the pages.
  const WString own = run.texts.Text(114);
  run.wizard.header_text = own.empty() ? run.settings.wizard_caption : own;
  run.background.Repaint();
  return kGoOn;
}

}  // namespace ks
