#include "lib/win/reg_key.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "lib/win/wide.h"

namespace ks {
namespace {

using Data = std::vector<std::uint8_t>;

// A key of its own below HKEY_CURRENT_USER\Software per test, deleted after.
class TestKey : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = u"Software\\KsRegKeyTest_" + Widen(std::to_string(GetCurrentProcessId())) + u"_" +
            Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
    DeleteKeyTree(HKEY_CURRENT_USER, path_, 0);
  }
  void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, path_, 0); }
  const WString& path() const { return path_; }

  Data Raw(const RegName& name, DWORD* type) {
    RegKey key;
    Data bytes;
    if (key.Open(HKEY_CURRENT_USER, path_, kRegOpenOnly, KEY_READ) == kRegFailed) return {0xEE};
    if (!key.GetValue(name, type, &bytes)) return {0xEE};
    return bytes;
  }

 private:
  WString path_;
};

TEST_F(TestKey, OpenResultsAndErrors) {
  RegKey key;
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, path(), kRegOpenOnly, KEY_READ), kRegFailed);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(key.is_open());

  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, path(), 0, kRegAccess32), kRegCreated);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(key.name(), u"HKEY_CURRENT_USER\\" + path());
  key.Close();
  EXPECT_FALSE(key.is_open());
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, path(), 0, kRegAccess32), kRegOpened);
  key.Close();

  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, path(), kRegFailIfExists, kRegAccess32), kRegFailed);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, path() + u"\\New", kRegFailIfExists, kRegAccess32), kRegCreated);
  key.Close();

  EXPECT_EQ(key.Open(nullptr, path(), 0, kRegAccess32), kRegFailed);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(key.OpenPath(u"HKCU\\" + path(), 0, kRegAccess32), kRegFailed);
  EXPECT_EQ(GetLastError(), kErrorBadPathName);
  EXPECT_EQ(key.OpenPath(u"\\HKEY_CURRENT_USERX\\" + path(), 0, kRegAccess32), kRegFailed);
  EXPECT_EQ(GetLastError(), kErrorBadPathName);
  EXPECT_FALSE(key.is_open());
}

TEST_F(TestKey, ShortLowerCaseAndLongPrefixOpenTheSameKey) {
  RegKey a;
  ASSERT_EQ(a.OpenPath(u"\\hkcu\\" + path(), 0, kRegAccess32), kRegCreated);
  ASSERT_TRUE(a.SetDword("Probe", 7));
  RegKey b;
  ASSERT_EQ(b.OpenPath(u"\\HKEY_CURRENT_USER\\" + path(), kRegOpenOnly, KEY_READ), kRegOpened);
  DWORD value = 0;
  EXPECT_TRUE(b.GetDword("Probe", &value));
  EXPECT_EQ(value, 7u);
}

TEST_F(TestKey, StackReturnsToTheOuterKey) {
  RegKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, path(), 0, kRegAccess32), kRegCreated);
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, path() + u"\\Inner", 0, kRegAccess32), kRegCreated);
  EXPECT_EQ(key.name(), u"HKEY_CURRENT_USER\\" + path() + u"\\Inner");
  ASSERT_TRUE(key.SetDword("Where", 2));
  // A failed open leaves the current key as it was.
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, path() + u"\\Missing", kRegOpenOnly, KEY_READ), kRegFailed);
  EXPECT_EQ(key.name(), u"HKEY_CURRENT_USER\\" + path() + u"\\Inner");
  key.Close();
  EXPECT_EQ(key.name(), u"HKEY_CURRENT_USER\\" + path());
  ASSERT_TRUE(key.SetDword("Where", 1));
  // Without the push the outer key is replaced: one Close ends it all.
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, path() + u"\\Inner", kRegNoPush, kRegAccess32), kRegOpened);
  key.Close();
  EXPECT_FALSE(key.is_open());

  RegKey check;
  DWORD outer = 0, inner = 0;
  ASSERT_NE(check.Open(HKEY_CURRENT_USER, path(), kRegOpenOnly, KEY_READ), kRegFailed);
  EXPECT_TRUE(check.GetDword("Where", &outer));
  ASSERT_NE(check.Open(HKEY_CURRENT_USER, path() + u"\\Inner", kRegOpenOnly, KEY_READ), kRegFailed);
  EXPECT_TRUE(check.GetDword("Where", &inner));
  EXPECT_EQ(outer, 1u);
  EXPECT_EQ(inner, 2u);
}

TEST_F(TestKey, WritersStoreTypesAndBytes) {
  RegKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, path(), 0, kRegAccess32), kRegCreated);
  EXPECT_TRUE(key.SetString("Narrow", NStringView("ab")));
  EXPECT_TRUE(key.SetString(u"Wide\u00e9", WStringView(u"\u4e2d"), kRegWideText));
  EXPECT_TRUE(key.SetString("Expand", NStringView("%TEMP%"), kRegExpandText));
  EXPECT_TRUE(key.SetString("Binary", NStringView("\x01\xff", 2), kRegBinaryText));
  EXPECT_TRUE(key.SetDword("Dword", 0xFFFFFFFF));
  EXPECT_TRUE(key.SetQword("Qword", 0x0102030405060708ull));
  EXPECT_TRUE(key.SetDouble("Double", 12.5));
  EXPECT_TRUE(key.SetValue("None", REG_NONE, nullptr, 0));
  const struct {
    RegName name;
    DWORD type;
    Data bytes;
  } cases[] = {
      {"Narrow", REG_SZ, {'a', 0, 'b', 0, 0, 0}},
      {u"Wide\u00e9", REG_SZ, {0x2D, 0x4E, 0, 0}},
      {"Expand", REG_EXPAND_SZ, {'%', 0, 'T', 0, 'E', 0, 'M', 0, 'P', 0, '%', 0, 0, 0}},
      {"Binary", REG_BINARY, {0x01, 0xFF}},
      {"Dword", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"Qword", REG_QWORD, {8, 7, 6, 5, 4, 3, 2, 1}},
      {"Double", REG_SZ, {'1', 0, '2', 0, '.', 0, '5', 0, 0, 0}},
      {"None", REG_NONE, {}},
  };
  for (const auto& c : cases) {
    DWORD type = 0xFFFF;
    EXPECT_EQ(Raw(c.name, &type), c.bytes) << WideToUtf8(c.name.wide());
    EXPECT_EQ(type, c.type) << WideToUtf8(c.name.wide());
  }
  WString text;
  EXPECT_TRUE(key.GetString("Narrow", &text));
  EXPECT_EQ(text, u"ab");
  std::uint64_t q = 0;
  EXPECT_TRUE(key.GetQword("Qword", &q));
  EXPECT_EQ(q, 0x0102030405060708ull);
  EXPECT_FALSE(key.GetString("Dword", &text));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATATYPE));
  DWORD d = 0;
  EXPECT_FALSE(key.GetDword("Missing", &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(TestKey, DeleteWhenEmptyAndKeepExisting) {
  RegKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, path(), 0, kRegAccess32), kRegCreated);
  ASSERT_TRUE(key.SetString("Text", NStringView("old")));
  ASSERT_TRUE(key.SetDword("Number", 5));
  EXPECT_TRUE(key.SetString("Text", NStringView("new"), kRegKeepExisting));
  WString text;
  EXPECT_TRUE(key.GetString("Text", &text));
  EXPECT_EQ(text, u"old");
  EXPECT_TRUE(key.SetString("Fresh", WStringView(u"made"), kRegKeepExisting));
  EXPECT_TRUE(key.ValueExists("Fresh"));

  EXPECT_TRUE(key.SetString("Text", NStringView(""), kRegDeleteIfEmpty));
  EXPECT_FALSE(key.ValueExists("Text"));
  EXPECT_TRUE(key.SetDword("Number", 0, kRegDeleteIfEmpty));
  EXPECT_FALSE(key.ValueExists("Number"));
  // Without the flag the empty text and the zero are written.
  EXPECT_TRUE(key.SetString("Text", NStringView("")));
  EXPECT_TRUE(key.SetDword("Number", 0));
  EXPECT_TRUE(key.ValueExists("Text"));
  EXPECT_TRUE(key.ValueExists("Number"));
  EXPECT_TRUE(key.DeleteValue("Text"));
  EXPECT_FALSE(key.DeleteValue("Text"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(TestKey, MultiStringKeepsEmptyEntries) {
  RegKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, path(), 0, kRegAccess32), kRegCreated);
  const std::vector<WString> pending = {u"\\??\\C:\\a.tmp", u"", u"\\??\\C:\\b.tmp", u"!\\??\\C:\\b"};
  ASSERT_TRUE(key.SetMultiString("Pending", pending));
  std::vector<WString> back;
  ASSERT_TRUE(key.GetMultiString("Pending", &back));
  EXPECT_EQ(back, pending);
  ASSERT_TRUE(key.SetMultiString("Empty", {}));
  ASSERT_TRUE(key.GetMultiString("Empty", &back));
  EXPECT_TRUE(back.empty());
  // A list written without its closing zero still reads.
  const wchar_t raw[] = L"x\0y";
  ASSERT_TRUE(key.SetValue("Raw", REG_MULTI_SZ, raw, 3 * sizeof(wchar_t)));
  ASSERT_TRUE(key.GetMultiString("Raw", &back));
  EXPECT_EQ(back, (std::vector<WString>{u"x", u"y"}));
}

TEST_F(TestKey, DeleteTreeAndEmptyKeys) {
  RegKey key;
  ASSERT_NE(key.Open(HKEY_CURRENT_USER, path() + u"\\A\\B\\C", 0, kRegAccess32), kRegFailed);
  ASSERT_TRUE(key.SetDword("V", 1));
  key.Close();
  EXPECT_FALSE(DeleteKeyIfEmpty(HKEY_CURRENT_USER, path() + u"\\A\\B\\C", 0));
  EXPECT_FALSE(DeleteKeyIfEmpty(HKEY_CURRENT_USER, path() + u"\\A", 0));
  ASSERT_NE(key.Open(HKEY_CURRENT_USER, path() + u"\\A\\B\\C", 0, kRegAccess32), kRegFailed);
  ASSERT_TRUE(key.DeleteValue("V"));
  key.Close();
  EXPECT_TRUE(DeleteKeyIfEmpty(HKEY_CURRENT_USER, path() + u"\\A\\B\\C", 0));

  ASSERT_NE(key.Open(HKEY_CURRENT_USER, path() + u"\\A\\B\\D\\E", 0, kRegAccess32), kRegFailed);
  key.Close();
  EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, path() + u"\\A", 0));
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, path() + u"\\A", kRegOpenOnly, KEY_READ), kRegFailed);
  EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, path() + u"\\A", 0));  // already gone
  EXPECT_FALSE(DeleteKeyTree(HKEY_CURRENT_USER, u"", 0));             // never the root itself
}

TEST_F(TestKey, EveryUserHive) {
  const std::vector<WString> hives = UserHives();
  ASSERT_FALSE(hives.empty());
  for (const WString& hive : hives) {
    EXPECT_FALSE(EqualsIgnoreCase(hive, u".DEFAULT"));
    EXPECT_FALSE(hive.size() >= 8 && EqualsIgnoreCase(WStringView(hive).substr(hive.size() - 8), u"_Classes"));
  }
  ASSERT_TRUE(CreateInAllUserHives(path() + u"\\Sub", kRegAccess32));
  const Data bytes = {'x', 0};
  ASSERT_TRUE(SetInAllUserHives(path(), "AllUsers", REG_SZ, bytes, kRegAccess32, 0));
  // The current user's hive is one of them.
  DWORD type = 0;
  EXPECT_EQ(Raw("AllUsers", &type), bytes);
  RegKey key;
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, path() + u"\\Sub", kRegOpenOnly, KEY_READ), kRegOpened);
  key.Close();
  // Keep-existing applies per hive.
  ASSERT_TRUE(SetInAllUserHives(path(), "AllUsers", REG_SZ, {'y', 0}, kRegAccess32, kRegKeepExisting));
  EXPECT_EQ(Raw("AllUsers", &type), bytes);
  ASSERT_TRUE(DeleteValueInAllUserHives(path(), "AllUsers", kRegAccess32));
  EXPECT_EQ(Raw("AllUsers", &type), Data{0xEE});
  for (const WString& hive : hives) DeleteKeyTree(HKEY_USERS, hive + u"\\" + path(), 0);
}

}  // namespace
}  // namespace ks
