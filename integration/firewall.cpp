#include "integration/firewall.h"

#include "integration/relative_path.h"
#include "lib/marked_text.h"

namespace ks {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits up to the first other character (leading blanks skipped); saturates.
std::uint32_t LeadingDecimal(NStringView text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  std::uint64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) break;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
  }
  return static_cast<std::uint32_t>(value);
}

WString ProgramPath(NStringView target, const WString& install_dir,
                    const std::function<WString(const WString&)>& expand) {
  const WString path = DecodeMarkedText(target);
  return AbsoluteAgainst(expand ? expand(path) : path, install_dir);
}

class ExceptionAdder {
 public:
  ExceptionAdder(const FirewallStepInput& in, FirewallSettings& firewall) : in_(in), fw_(firewall), log_(*in.log) {}

  // True when the exception is in place.
  bool Add(const FirewallRecord& r) {
    const WString name = r.name.empty() ? in_.product_name : Utf8ToWide(r.name);
    return r.is_port() ? AddPort(PortNumber(r.target), r.protocols, name) : AddProgram(r.target, name);
  }

 private:
  bool AddPort(std::int32_t port, std::uint32_t protocols, const WString& name) {
    bool added = true;
    if (protocols & 0x1) added = Open(port, kIpProtocolTcp, name, "TCP");
    if (protocols & 0x2) added = Open(port, kIpProtocolUdp, name, "UDP");
    return added;
  }

  bool Open(std::int32_t port, int protocol, const WString& name, const char* protocol_name) {
    const std::int32_t code = fw_.OpenPort(port, protocol, name);
    if (code == 0) {
      log_.NarrowF("Added firewall exception: %s port %d\r\n", protocol_name, static_cast<int>(port));
    } else {
      log_.NarrowF("Failed to open firewall port %d, code %d\r\n", static_cast<int>(port), static_cast<int>(code));
    }
    return code == 0;
  }

  bool AddProgram(NStringView target, const WString& name) {
    const WString path = ProgramPath(target, in_.install_dir, in_.expand);
    if (!in_.file_exists || !in_.file_exists(path)) {
      log_.WideF(u"Failed to add firewall exception for \"%s\": file does not exist\r\n", path.c_str());
      return false;
    }
    const std::int32_t code = fw_.AuthorizeProgram(path, name);
    if (code != 0) {
      log_.WideF(u"Failed to add firewall exception for \"%s\", code %d\r\n", path.c_str(), static_cast<int>(code));
      return false;
    }
    log_.ConcatW(u"Added firewall exception: ", path.c_str(), u"\r\n", nullptr);
    return true;
  }

  const FirewallStepInput& in_;
  FirewallSettings& fw_;
  InstallLog& log_;
};

}  // namespace

bool FirewallRecord::is_port() const { return IsPortTarget(target); }

bool IsPortTarget(NStringView target) {
  if (target.empty()) return false;
  for (char c : target) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

std::int32_t PortNumber(NStringView target) { return static_cast<std::int32_t>(LeadingDecimal(target)); }

bool ParseFirewallText(NStringView text, std::vector<FirewallRecord>& out) {
  out.clear();
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == NStringView::npos) end = text.size();
    const NStringView line = text.substr(begin, end - begin);
    begin = end + 1;
    if (line.find_first_not_of(" \t") == NStringView::npos) continue;
    std::vector<NString> fields;
    if (!ParseFirewallLine(line, fields)) {
      out.clear();
      return false;
    }
    FirewallRecord r;
    r.text = NString(line);
    r.target = fields[0];
    r.name = fields[1];
    r.protocols = LeadingDecimal(fields[2]);
    r.stays = fields[3].find('1') != NString::npos;
    out.push_back(std::move(r));
  }
  return true;
}

int AddFirewallExceptions(const FirewallStepInput& in, FirewallSettings& firewall, UninstallData& data) {
  if (in.text.empty()) return 0;
  if (in.removable_drive && (in.archive_flags & kArchiveFlagNoFirewallOnRemovable)) return 0;
  // Every record is checked before the first exception is made: a corrupt
  // installer ends without exceptions that nothing would ever remove.
  std::vector<FirewallRecord> records;
  if (!ParseFirewallText(in.text, records)) return kCorruptFirewallRecord;
  if (records.empty()) return 0;
  if (const std::int32_t code = firewall.Connect()) {
    in.log->NarrowF("Failed to connect to the firewall service: code %d\r\n", static_cast<int>(code));
    return 0;
  }
  ExceptionAdder adder(in, firewall);
  for (const FirewallRecord& r : records) {
    if (adder.Add(r) && !r.stays) data.AddFirewallLine(r.text);
  }
  firewall.Close();
  return 0;
}

void RemoveFirewallExceptions(const std::vector<NString>& lines, const WString& install_dir,
                              const std::function<WString(const WString&)>& expand, FirewallSettings& firewall) {
  if (lines.empty() || firewall.Connect() != 0) return;
  std::vector<NString> fields;
  for (const NString& line : lines) {
    if (!ParseFirewallLine(line, fields)) continue;
    if (IsPortTarget(fields[0])) {
      const std::int32_t port = PortNumber(fields[0]);
      const std::uint32_t protocols = LeadingDecimal(fields[2]);
      if (protocols & 0x1) firewall.ClosePort(port, kIpProtocolTcp);
      if (protocols & 0x2) firewall.ClosePort(port, kIpProtocolUdp);
    } else {
      firewall.RemoveProgram(ProgramPath(fields[0], install_dir, expand));
    }
  }
  firewall.Close();
}

}  // namespace ks
