#pragma once
// Notification addresses: the web addresses that the installer requests at
// fixed moments so that the product's author learns of them. An address is a
// narrow template with placeholders for a few facts about the run and the
// system; this is the text side, lib/win/notification_worker.h sends them.

#include <cstdint>

#include "lib/text.h"

namespace ks {

struct NotificationFacts {
  NString version;          // the product version text, system code page
  std::uint64_t session = 0;
  std::int32_t os_number = 0;
  std::uint32_t os_major = 0;
  std::uint32_t os_minor = 0;
  NString os_name;          // short form
  NString os_description;   // full form
  bool server = false;
};

// Percent-escapes every byte below 33, from 127 up, and the characters that
// carry meaning in an address: / % ? & " # < > ( ) [ ] ; : @ = + \ | ~ ^ ' * !
NString UrlEscape(NStringView text);

// Fills "%version%", "%Session%", "%OS%", "%OSMajor%", "%OSMinor%",
// "%OSName%", "%OSDescription%" and "%OSServer%" in that order, ignoring
// ASCII case; every occurrence, the texts escaped.
NString ExpandNotificationAddress(NStringView address_template, const NotificationFacts& facts);

// Empty or only blanks (spaces, tabs, line ends): nothing is sent.
bool IsBlankAddress(NStringView address_template);

}  // namespace ks
