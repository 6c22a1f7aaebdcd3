#include "lib/notification.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(NotificationTest, UrlEscapeEveryByte) {
  const NString reserved = "/%?&\"#<>()[];:@=+\\|~^'*!";
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const bool escaped = b < 33 || b >= 127 || reserved.find(c) != NString::npos;
    char hex[4];
    std::snprintf(hex, sizeof(hex), "%%%02X", b);
    EXPECT_EQ(UrlEscape(NString(1, c)), escaped ? NString(hex) : NString(1, c)) << b;
  }
}

TEST(NotificationTest, UrlEscapeTexts) {
  EXPECT_EQ(UrlEscape("1.0 beta/2"), "1.0%20beta%2F2");
  EXPECT_EQ(UrlEscape("a-b_c.d,e$f`g{h}"), "a-b_c.d,e$f`g{h}");
  EXPECT_EQ(UrlEscape("\xC3\xA9"), "%C3%A9");
  EXPECT_EQ(UrlEscape(NString("\0x", 2)), "%00x");
  EXPECT_EQ(UrlEscape(""), "");
}

NotificationFacts Facts() {
  NotificationFacts f;
  f.version = "2.1 beta/3";
  f.session = 0x7FFFFFFFFFFFFFFFull;
  f.os_number = 48;
  f.os_major = 10;
  f.os_minor = 0;
  f.os_name = "10";
  f.os_description = "WINE 8.0 reporting as Windows 10 (x64)";
  f.server = false;
  return f;
}

TEST(NotificationTest, Placeholders) {
  const struct {
    const char* name;
    const char* address;
    const char* expected;
  } cases[] = {
      {"no placeholders", "http://example.invalid/a?b=c&d=%20", "http://example.invalid/a?b=c&d=%20"},
      {"all of them",
       "http://h/s?v=%version%&s=%Session%&o=%OS%&ma=%OSMajor%&mi=%OSMinor%&n=%OSName%&d=%OSDescription%"
       "&srv=%OSServer%",
       "http://h/s?v=2.1%20beta%2F3&s=9223372036854775807&o=48&ma=10&mi=0&n=10"
       "&d=WINE%208.0%20reporting%20as%20Windows%2010%20%28x64%29&srv=0"},
      {"capitals", "%VERSION%|%session%|%os%|%osmajor%|%OSSERVER%",
       "2.1%20beta%2F3|9223372036854775807|48|10|0"},
      {"every occurrence", "%version%%version%", "2.1%20beta%2F32.1%20beta%2F3"},
      {"prefix names do not match", "%OSNames%|%OSx%|%versions%", "%OSNames%|%OSx%|%versions%"},
      {"unterminated", "x%version", "x%version"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandNotificationAddress(c.address, Facts()), c.expected) << c.name;
}

TEST(NotificationTest, InsertedValuesAreNotExpandedAgain) {
  NotificationFacts f = Facts();
  f.version = "%OS%";
  f.os_name = "%OSServer%";
  EXPECT_EQ(ExpandNotificationAddress("%version%/%OSName%", f), "%25OS%25/%25OSServer%25");
}

TEST(NotificationTest, ServerFlag) {
  NotificationFacts f = Facts();
  f.server = true;
  EXPECT_EQ(ExpandNotificationAddress("s=%OSServer%", f), "s=1");
}

TEST(NotificationTest, BlankAddresses) {
  EXPECT_TRUE(IsBlankAddress(""));
  EXPECT_TRUE(IsBlankAddress(" \t\r\n "));
  EXPECT_FALSE(IsBlankAddress(" x "));
}

}  // namespace
}  // namespace ks
