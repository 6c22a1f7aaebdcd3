#pragma once
// The system firewall's settings through its rules (INetFwPolicy2 and
// INetFwRules). The rules the installer adds carry its own grouping, so that
// the uninstaller removes only those; a port that another rule opens already
// is not opened twice. Every call into the firewall's objects is guarded: a
// crash inside them answers RPC_E_SERVERFAULT and ends the session's use of
// them.

#include <memory>

#include "integration/firewall.h"

namespace ks {

// The grouping of the rules the installer adds.
inline constexpr const char16_t* kFirewallRuleGroup = u"Kestrelon Setup";

std::unique_ptr<FirewallSettings> MakeSystemFirewall();

}  // namespace ks
