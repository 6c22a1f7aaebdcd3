#pragma once
// The uninstaller's firewall exceptions: those recorded in "[Firewall]" are
// removed through the system firewall's settings; when they cannot be had,
// the step is skipped without a message.

#include <vector>

#include "engine/win/path_variables.h"
#include "integration/firewall.h"
#include "lib/text.h"

namespace ks {

void RemoveRecordedFirewallExceptions(const std::vector<NString>& lines, const WString& install_dir,
                                      const PathVariables& vars, FirewallSettings& firewall);

}  // namespace ks
