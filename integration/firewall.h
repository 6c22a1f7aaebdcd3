#pragma once
// Firewall exceptions: open ports (TCP, UDP or both) and programs allowed to
// accept connections. The installation adds those of the settings' firewall
// text and records the ones that do not stay in the uninstall data's
// "[Firewall]" section; the uninstaller removes what is recorded there.
//
// Both sides talk to the system firewall through FirewallSettings: the
// running system's implementation is integration/win/system_firewall.h, tests
// hand one of their own.

#include <cstdint>
#include <functional>
#include <vector>

#include "lib/text.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace ks {

// ArchiveFlags: no firewall exceptions when the folder is on a removable drive.
inline constexpr std::uint32_t kArchiveFlagNoFirewallOnRemovable = 0x80000;
// The firewall text holds a record without four fields.
inline constexpr int kCorruptFirewallRecord = 90;

inline constexpr int kIpProtocolTcp = 6;
inline constexpr int kIpProtocolUdp = 17;

// The system firewall's settings. Every call answers a COM-style result: 0
// for success, negative for a failure.
class FirewallSettings {
 public:
  virtual ~FirewallSettings() = default;
  virtual std::int32_t Connect() = 0;
  // Succeeds without a second entry when the port is open for the protocol already.
  virtual std::int32_t OpenPort(std::int32_t port, int protocol, const WString& name) = 0;
  virtual std::int32_t AuthorizeProgram(const WString& path, const WString& name) = 0;
  virtual std::int32_t ClosePort(std::int32_t port, int protocol) = 0;
  virtual std::int32_t RemoveProgram(const WString& path) = 0;
  virtual void Close() = 0;
};

// One record of the firewall text: target;name;protocols;options.
struct FirewallRecord {
  NString text;    // as read, for the uninstall data
  NString target;  // a decimal port, or a program path (marked text)
  NString name;    // UTF-8; empty: the product name
  std::uint32_t protocols = 0;  // 0x1 TCP, 0x2 UDP
  bool stays = false;           // the options hold "1"
  bool is_port() const;
};

// The firewall text's records; blank lines are skipped. False for a line
// without exactly four fields (the installer is then corrupt, code 90).
bool ParseFirewallText(NStringView text, std::vector<FirewallRecord>& out);
// A target of digits only names a port.
bool IsPortTarget(NStringView target);
// The port number of such a target (digits beyond 32 bits saturate).
std::int32_t PortNumber(NStringView target);

struct FirewallStepInput {
  NString text;          // the settings' firewall text
  WString product_name;  // the name of an exception that has none
  WString install_dir;   // relative programs start here
  bool removable_drive = false;
  std::uint32_t archive_flags = 0;
  std::function<WString(const WString&)> expand;        // path variables
  std::function<bool(const WString&)> file_exists;
  InstallLog* log = nullptr;
};

// The installation's step. Returns 0, or kCorruptFirewallRecord before
// anything is added when a record does not have four fields.
int AddFirewallExceptions(const FirewallStepInput& in, FirewallSettings& firewall, UninstallData& data);

// The uninstaller's step over the "[Firewall]" lines: a target of digits is a
// port, closed for the protocols of field 3; any other is a program, whose
// exception goes. Lines without four fields are skipped; nothing is reported.
void RemoveFirewallExceptions(const std::vector<NString>& lines, const WString& install_dir,
                              const std::function<WString(const WString&)>& expand, FirewallSettings& firewall);

}  // namespace ks
