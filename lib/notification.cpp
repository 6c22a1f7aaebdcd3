#include "lib/notification.h"

#include <cstring>
#include <string>

namespace ks {
namespace {

bool NeedsEscape(unsigned char c) {
  static const char kReserved[] = "/%?&\"#<>()[];:@=+\\|~^'*!";
  return c < 33 || c >= 127 || std::strchr(kReserved, static_cast<char>(c)) != nullptr;
}

// Every occurrence of `name` (ASCII case ignored) becomes `value`; the scan
// goes on after the inserted value.
void ReplaceAll(NString& text, NStringView name, const NString& value) {
  std::size_t at = 0;
  while ((at = text.find('%', at)) != NString::npos) {
    if (text.size() - at >= name.size() && EqualsIgnoreCase(NStringView(text).substr(at, name.size()), name)) {
      text.replace(at, name.size(), value);
      at += value.size();
    } else {
      ++at;
    }
  }
}

}  // namespace

NString UrlEscape(NStringView text) {
  static const char kHex[] = "0123456789ABCDEF";
  NString out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (!NeedsEscape(c)) {
      out += ch;
      continue;
    }
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
  }
  return out;
}

NString ExpandNotificationAddress(NStringView address_template, const NotificationFacts& facts) {
  NString text(address_template);
  ReplaceAll(text, "%version%", UrlEscape(facts.version));
  ReplaceAll(text, "%Session%", std::to_string(facts.session));
  ReplaceAll(text, "%OS%", std::to_string(facts.os_number));
  ReplaceAll(text, "%OSMajor%", std::to_string(facts.os_major));
  ReplaceAll(text, "%OSMinor%", std::to_string(facts.os_minor));
  ReplaceAll(text, "%OSName%", UrlEscape(facts.os_name));
  ReplaceAll(text, "%OSDescription%", UrlEscape(facts.os_description));
  ReplaceAll(text, "%OSServer%", facts.server ? "1" : "0");
  return text;
}

bool IsBlankAddress(NStringView address_template) {
  for (const char c : address_template) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

}  // namespace ks
