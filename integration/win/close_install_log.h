#pragma once
// The closing of the installation's log: the final message, Install.log
// itself, the summary page and the offer to view the log.

#include <functional>

#include "core/localized_texts.h"
#include "core/product_flags.h"
#include "lib/text.h"
#include "records/install_log.h"
#include "records/win/install_log_file.h"

namespace ks {

struct InstallLogClosing {
  InstallLog* log = nullptr;
  StepLogFile* steps = nullptr;
  const LocalizedTexts* texts = nullptr;
  WString log_path;           // Install.log in the uninstall data folder
  InstallLogHeader header;    // the install date is set when the log is written
  ProductFlags flags = 0;
  bool automatic = false;     // the settings' automatic rule; "/a" counts too
  bool finish_page_has_actions = false;  // launch, open or document at the end
  bool offer_view_log = false;           // the finish page's view-the-log offer
  // The wizard's summary page, which offers the finish actions; without it
  // the information box is shown instead.
  std::function<void(bool offer_view_log)> summary_page;
};

// Sends the error notification when something failed, shows the final
// message (unless silent), writes Install.log when it failed or the product
// always wants it, opens the summary page or the log when asked, and closes
// the step log.
void CloseInstallLog(const InstallLogClosing& closing, bool show_final_message);

// Opens Install.log for the user (nothing in silent mode or without a log).
void ViewInstallLog(const WString& log_path);

}  // namespace ks
