#include "integration/win/classes_keys.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "lib/win/reg_key.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// Every key below `path` with its values (name, type and bytes), as one map.
using Dump = std::map<std::string, std::string>;

void DumpKey(HKEY root, const WString& path, const WString& name, Dump& out) {
  RegKey key;
  if (key.Open(root, path, kRegOpenOnly, KEY_READ | kRegOwnView) == kRegFailed) return;
  out[WideToUtf8(name)] = "";
  std::vector<WString> values, subkeys;
  key.ValueNames(&values);
  for (const WString& value : values) {
    DWORD type = 0;
    std::vector<std::uint8_t> bytes;
    key.GetValue(value, &type, &bytes);
    out[WideToUtf8(name) + " :" + WideToUtf8(value)] = std::to_string(type) + ":" + std::string(bytes.begin(), bytes.end());
  }
  key.SubKeys(&subkeys);
  for (const WString& sub : subkeys) DumpKey(root, path + u"\\" + sub, name + u"\\" + sub, out);
}

// A classes root of the test's own, below HKEY_CURRENT_USER.
class ClassesKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = u"Software\\KsClassesTest_" + Widen(std::to_string(GetCurrentProcessId())) + u"_" +
            Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
    DeleteKeyTree(HKEY_CURRENT_USER, base_, kRegOwnView);
  }
  void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, base_, kRegOwnView); }
  void Set(const WString& key, const WString& name, const WString& text) {
    RegKey k;
    ASSERT_NE(k.Open(HKEY_CURRENT_USER, base_ + u"\\" + key, 0, kRegAccessOwnView), kRegFailed);
    ASSERT_TRUE(k.SetString(name, WStringView(text)));
  }
  Dump Tree() {
    Dump out;
    DumpKey(HKEY_CURRENT_USER, base_, u"", out);
    return out;
  }

  WString base_;
};

TEST_F(ClassesKeysTest, KeysAndValues) {
  RegistryClassesKeys keys(HKEY_CURRENT_USER, base_);
  EXPECT_FALSE(keys.Exists(u".kst"));
  EXPECT_EQ(keys.Value(u".kst", u""), std::nullopt);
  EXPECT_FALSE(keys.SetValue(u".kst", u"", u"x")) << "values go only into keys that exist";
  ASSERT_TRUE(keys.Create(u"Kst.Doc\\shell\\open"));
  EXPECT_TRUE(keys.Exists(u"Kst.Doc\\shell"));
  EXPECT_TRUE(keys.SetValue(u"Kst.Doc", u"", u"Doc"));
  EXPECT_TRUE(keys.SetValue(u"Kst.Doc", u"Named", u""));
  EXPECT_EQ(keys.Value(u"Kst.Doc", u""), std::optional<WString>(u"Doc"));
  EXPECT_EQ(keys.Value(u"Kst.Doc", u"Named"), std::optional<WString>(u""));
  EXPECT_EQ(keys.ValueNames(u"Kst.Doc").size(), 2u);
  EXPECT_EQ(keys.SubKeys(u"Kst.Doc"), (std::vector<WString>{u"shell"}));
  keys.DeleteValue(u"Kst.Doc", u"");
  EXPECT_EQ(keys.ValueNames(u"Kst.Doc"), (std::vector<WString>{u"Named"}));
  keys.DeleteTree(u"Kst.Doc");
  EXPECT_FALSE(keys.Exists(u"Kst.Doc"));
  EXPECT_TRUE(keys.SubKeys(u"Kst.Doc").empty());
}

TEST_F(ClassesKeysTest, AnOwnedExtensionComesBackWhole) {
  Set(u".kst", u"", u"Other.Doc");
  Set(u".kst", u"Content Type", u"text/x-kst");
  Set(u".kst\\OpenWithProgids", u"Other.Doc", u"");
  Set(u"Other.Doc", u"", u"Other document");
  Set(u"Other.Doc\\shell\\open\\command", u"", u"other.exe \"%1\"");
  const Dump before = Tree();

  RegistryClassesKeys keys(HKEY_CURRENT_USER, base_);
  InstallLog log;
  AssociationStepInput in;
  FileAssociation a;
  a.extension = "kst";
  a.prog_id = "Kst.Doc";
  a.description = "Kestrel";
  a.verbs = "open";
  a.command = u"k.exe \"%1\"";
  a.icon = u"k.exe,2";
  in.records = {a};
  in.display_name = u"Kestrel";
  in.install_dir = u"C:\\Kes";
  in.log = &log;
  UninstallData data;
  AssociateFiles(in, keys, data);
  EXPECT_EQ(keys.Value(u".kst", u""), std::optional<WString>(u"Kst.Doc"));
  EXPECT_EQ(keys.Value(u".kst", u"Kestrel Backup"), std::optional<WString>(u"Other.Doc"));
  EXPECT_EQ(keys.Value(u"Kst.Doc\\DefaultIcon", u""), std::optional<WString>(u"C:\\Kes\\k.exe,2"));
  EXPECT_EQ(keys.Value(u"Kst.Doc\\shell\\open\\command", u""), std::optional<WString>(u"k.exe \"%1\""));
  EXPECT_EQ(log.failures(), u"");

  const UninstallDataContent content = ParseUninstallDataFile(BuildUninstallDataFile(data, UninstallTexts{}));
  RemoveAssociations(content.associations, u"Kestrel", keys);
  EXPECT_EQ(Tree(), before);
}

}  // namespace
}  // namespace ks
