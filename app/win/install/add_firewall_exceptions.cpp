#include "app/win/install/install_steps.h"

#include <windows.h>

#include "integration/win/registry_step.h"
#include "lib/win/wide.h"

namespace ks {

// A firewall record without four fields ends the process as corrupt.
RunEnd AddFirewallExceptions(InstallRun& run) {
  const InstallSettings& settings = run.settings;
  FirewallStepInput in;
  in.text = settings.firewall_text;
  in.product_name = settings.product_name;
  in.install_dir = run.choices.install_dir;
  in.removable_drive = IsOnRemovableDrive(run.choices.install_dir);
  in.archive_flags = run.archive_flags;
  in.expand = [&run](const WString& text) { return run.vars.Expanded(text); };
  in.file_exists = [](const WString& path) {
    const DWORD attributes = ::GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  };
  in.log = &run.log;
  if (const int code = AddFirewallExceptions(in, *run.firewall, run.uninstall)) run.reports.Corrupt(code);
  return kGoOn;
}

}  // namespace ks
