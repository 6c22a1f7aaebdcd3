#include "uninstall/uninstall_key.h"

#include <gtest/gtest.h>

#include <map>

namespace ks {
namespace {

// An Uninstall key held in maps: text values and number values apart, as the
// registry keeps their types apart.
class FakeKey : public UninstallKeySource {
 public:
  std::map<WString, WString> texts;
  std::map<WString, std::uint64_t> numbers;
  bool ReadText(const WString& name, WString* out) override {
    const auto it = texts.find(name);
    if (it == texts.end()) return false;
    *out = it->second;
    return true;
  }
  bool ReadNumber(const WString& name, std::uint64_t* out) override {
    const auto it = numbers.find(name);
    if (it == numbers.end()) return false;
    *out = it->second;
    return true;
  }
};

TEST(UninstallKeyTest, MissingValuesTakeTheirDefaults) {
  FakeKey key;
  const UninstallKeyValues v = ReadUninstallKeyValues(key, u"Prod");
  EXPECT_EQ(v.key_name, u"Prod");
  EXPECT_EQ(v.display_name, u"Prod");
  EXPECT_TRUE(v.install_location.empty());
  EXPECT_EQ(v.product_flags, 0u);
  EXPECT_EQ(v.product_flags2, 0u);
  EXPECT_EQ(v.bitness, 0u);
  EXPECT_EQ(v.uninstall_fonts, 2u);
  EXPECT_EQ(v.uninstall_shared, 2u);
  EXPECT_EQ(v.shortcut_mode, 0u);
  EXPECT_EQ(v.session, 0u);
  EXPECT_TRUE(v.uninstall_batch1.empty());
  EXPECT_TRUE(v.product_registry.empty());
}

TEST(UninstallKeyTest, PresentValuesAreRead) {
  FakeKey key;
  key.texts = {{u"DisplayName", u"Product \u00e9"}, {u"InstallLocation", u"C:\\Program Files\\P"},
               {u"ProductFlags", u"-9223372036854775807"}, {u"ProductFlags2", u"-1"},
               {u"UninstallSubdir", u"data\\un"}, {u"UninstallBatch1", u"echo \u00e9"},
               {u"ProductRegistry", u"Maker\\P"}, {u"SharedPath", u"C:\\Shared"},
               {u"ProductStartMenu", u"Maker\\P"}, {u"NotifyURL", u"http://x/?v=%version%"},
               {u"DisplayVersion", u"1.2"}, {u"AddToPathSubfolder", u"bin"}};
  key.numbers = {{u"Bitness", 1}, {u"UninstallFonts", 0}, {u"UninstallShared", 1},
                 {u"ShortcutMode", 1}, {u"Session", 0x7123456789ABCDEFull}};
  const UninstallKeyValues v = ReadUninstallKeyValues(key, u"Prod");
  EXPECT_EQ(v.display_name, u"Product \u00e9");
  EXPECT_EQ(v.install_location, u"C:\\Program Files\\P");
  EXPECT_EQ(v.product_flags, 0x8000000000000001ull);
  EXPECT_EQ(v.product_flags2, 0xFFFFFFFFu);
  EXPECT_EQ(v.bitness, 1u);
  EXPECT_EQ(v.uninstall_fonts, 0u);
  EXPECT_EQ(v.uninstall_shared, 1u);
  EXPECT_EQ(v.shortcut_mode, 1u);
  EXPECT_EQ(v.session, 0x7123456789ABCDEFull);
  EXPECT_EQ(v.uninstall_batch1, "echo \xe9");  // the system code page of the portable build: 1252
  EXPECT_EQ(v.display_version, "1.2");
  EXPECT_EQ(v.notify_url, "http://x/?v=%version%");
  EXPECT_EQ(v.product_registry, u"Maker\\P");
  EXPECT_EQ(UninstallDataFolder(v), u"C:\\Program Files\\P\\data\\un");
  EXPECT_EQ(UninstallDataFilePath(v), u"C:\\Program Files\\P\\data\\un\\Uninstall.DAT");
  EXPECT_EQ(InstallLogPath(v), u"C:\\Program Files\\P\\data\\un\\Install.log");
}

TEST(UninstallKeyTest, BlankNamesCountAsMissing) {
  FakeKey key;
  key.texts = {{u"DisplayName", u"  "}, {u"InstallLocation", u" \t"}};
  const UninstallKeyValues v = ReadUninstallKeyValues(key, u"Key");
  EXPECT_EQ(v.display_name, u"Key");
  EXPECT_TRUE(v.install_location.empty());
}

TEST(UninstallKeyTest, SignedDecimalText) {
  const struct {
    WString text;
    std::int64_t value;
  } cases[] = {
      {u"", 0},          {u"abc", 0},     {u"512", 512},  {u" -2", -2},       {u"+7", 7},
      {u"12x4", 12},     {u"-", 0},       {u"4294967296", 4294967296LL},
      {u"-9223372036854775808", INT64_MIN}, {u"9223372036854775807", INT64_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseSignedDecimal(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(UninstallKeyTest, PathsJoinWithOneBackslash) {
  EXPECT_EQ(JoinPath(u"C:\\A", u"b"), u"C:\\A\\b");
  EXPECT_EQ(JoinPath(u"C:\\A\\", u"\\b"), u"C:\\A\\b");
  EXPECT_EQ(JoinPath(u"C:\\A", u""), u"C:\\A");
  EXPECT_EQ(ProductUninstallKeyPath(u"P 1"),
            u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\P 1");
  UninstallKeyValues v;
  v.install_location = u"C:\\P\\";
  EXPECT_EQ(UninstallDataFilePath(v), u"C:\\P\\Uninstall.DAT");
}

TEST(UninstallKeyTest, OpeningMessages) {
  EXPECT_EQ(NoSuchProductMessage(u"X"), u"No product named 'X' is installed.");
  EXPECT_EQ(PermissionDeniedMessage(),
            u"Permission denied.  Please run the uninstaller with administrator rights.");
  EXPECT_EQ(KeyAccessFailedMessage(u"X"),
            u"Unable to access the uninstall information for:\r\nX\r\n\r\nThe uninstallation cannot be performed.");
  EXPECT_EQ(CorruptRegistrationMessage(u"Y"),
            u"The uninstall information for Y is corrupt.\r\n\r\nThe uninstallation cannot be performed.");
}

}  // namespace
}  // namespace ks
