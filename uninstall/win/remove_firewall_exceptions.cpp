#include "uninstall/win/remove_firewall_exceptions.h"

namespace ks {

void RemoveRecordedFirewallExceptions(const std::vector<NString>& lines, const WString& install_dir,
                                      const PathVariables& vars, FirewallSettings& firewall) {
  RemoveFirewallExceptions(lines, install_dir, [&vars](const WString& text) { return vars.Expanded(text); },
                           firewall);
}

}  // namespace ks
