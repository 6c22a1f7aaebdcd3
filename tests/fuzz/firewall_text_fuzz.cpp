// Any firewall text must either be refused as a whole (a record without four
// fields) or give records whose lines, as recorded for the uninstaller, read
// back with the same fields; adding and removing them never crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "integration/firewall.h"

namespace {

// Answers every call with success, or with failure when the first byte says so.
class QuietFirewall : public ks::FirewallSettings {
 public:
  explicit QuietFirewall(std::int32_t answer) : answer_(answer) {}
  std::int32_t Connect() override { return 0; }
  std::int32_t OpenPort(std::int32_t, int, const ks::WString&) override { return answer_; }
  std::int32_t AuthorizeProgram(const ks::WString&, const ks::WString&) override { return answer_; }
  std::int32_t ClosePort(std::int32_t, int) override { return answer_; }
  std::int32_t RemoveProgram(const ks::WString&) override { return answer_; }
  void Close() override {}

 private:
  std::int32_t answer_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ks::NString text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<ks::FirewallRecord> records;
  const bool parsed = ks::ParseFirewallText(text, records);
  if (!parsed && !records.empty()) std::abort();
  for (const ks::FirewallRecord& r : records) {
    if (r.text.find_first_of("\r\n") != ks::NString::npos) std::abort();
    std::vector<ks::NString> fields;
    if (!ks::ParseFirewallLine(r.text, fields) || fields[0] != r.target || fields[1] != r.name) std::abort();
  }
  ks::InstallLog log;
  ks::UninstallData uninstall;
  QuietFirewall firewall(data[0] & 1 ? -1 : 0);
  ks::FirewallStepInput in;
  in.text = text;
  in.product_name = u"P";
  in.install_dir = u"C:\\P";
  in.file_exists = [&data](const ks::WString& path) { return (path.size() + data[0]) % 2 == 0; };
  in.log = &log;
  const int code = ks::AddFirewallExceptions(in, firewall, uninstall);
  if (code != (parsed ? 0 : ks::kCorruptFirewallRecord)) std::abort();
  const ks::UninstallDataContent content =
      ks::ParseUninstallDataFile(ks::BuildUninstallDataFile(uninstall, ks::UninstallTexts{}));
  if (content.firewall.size() > records.size()) std::abort();
  for (const ks::NString& line : content.firewall) {
    std::vector<ks::NString> fields;
    if (!ks::ParseFirewallLine(line, fields)) std::abort();
  }
  ks::RemoveFirewallExceptions(content.firewall, in.install_dir, nullptr, firewall);
  return 0;
}
