#include "engine/win/search_path.h"

#include <gtest/gtest.h>

#include <vector>

#include "records/install_log.h"
#include "memory_sink.h"
#include "scratch_folder.h"

namespace ks {
namespace {

using test::MemorySink;
using test::ScratchFolder;

const WString kKey = u"Software\\KsTest\\SearchPath";

struct RawValue {
  WString text;
  DWORD type = 0;
  LONG status = 0;
};

RawValue ReadValue() {
  RawValue v;
  DWORD size = 0;
  v.status = RegGetValueW(HKEY_CURRENT_USER, W(kKey), L"Path", RRF_RT_ANY | RRF_NOEXPAND, &v.type, nullptr, &size);
  if (v.status != ERROR_SUCCESS) return v;
  std::vector<BYTE> data(size + 2);
  v.status = RegGetValueW(HKEY_CURRENT_USER, W(kKey), L"Path", RRF_RT_ANY | RRF_NOEXPAND, &v.type, data.data(), &size);
  if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) v.text = FromW(reinterpret_cast<const wchar_t*>(data.data()));
  return v;
}

void WriteValue(const WString& text, DWORD type) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(kKey), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), 0);
  RegSetValueExW(key, L"Path", 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * 2));
  RegCloseKey(key);
}

class SearchPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, W(kKey));
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, W(kKey), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    RegCloseKey(key);
    CreateDirectoryW(W(folder / u"bin"), nullptr);
    log.set_sink(&sink);
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, W(kKey)); }
  void Edit(bool add, const WString& subfolder) {
    EditSearchPathIn(HKEY_CURRENT_USER, kKey, add, folder.path(), subfolder, log);
  }
  ScratchFolder folder{u"ks_path_"};
  MemorySink sink;
  InstallLog log;
};

// Far longer than a 4,096-character read: every character must survive.
WString LongPath() {
  WString value;
  for (int i = 0; value.size() < 40000; ++i) value += u"C:\\Tools\\Folder" + Widen(std::to_string(i)) + u";";
  value.pop_back();
  return value;
}

TEST_F(SearchPathTest, AddKeepsALongValueWholeAndItsType) {
  const DWORD types[] = {REG_EXPAND_SZ, REG_SZ};
  for (DWORD type : types) {
    const WString before = LongPath() + u";%SystemRoot%\\system32";
    WriteValue(before, type);
    Edit(true, u"bin");
    const RawValue after = ReadValue();
    EXPECT_EQ(after.type, type);
    EXPECT_EQ(after.text, before + u";" + folder.path() + u"\\bin");
    // Once more: already there, nothing changes.
    Edit(true, u"bin");
    EXPECT_EQ(ReadValue().text, after.text);
    Edit(false, u"bin");
    EXPECT_EQ(ReadValue().text, before);
    EXPECT_EQ(ReadValue().type, type);
  }
  EXPECT_EQ(sink.bytes, "");
}

TEST_F(SearchPathTest, PresentInAnotherCaseOrAtTheEndIsLeftAlone) {
  WString upper = folder.path();
  for (char16_t& c : upper) c = (c >= u'a' && c <= u'z') ? c - 32 : c;
  const WString before = u"C:\\Windows;" + upper;
  WriteValue(before, REG_EXPAND_SZ);
  Edit(true, u"");
  EXPECT_EQ(ReadValue().text, before);
}

TEST_F(SearchPathTest, MissingValueIsCreatedAsExpandableText) {
  Edit(true, u"bin");
  const RawValue after = ReadValue();
  ASSERT_EQ(after.status, ERROR_SUCCESS) << sink.bytes;
  EXPECT_EQ(after.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(after.text, folder / u"bin");
}

// A sub-folder with two leading backslashes is taken as written (leading
// blanks aside). Wine has no network shares; the "\\?\" form of a local
// folder begins the same way.
TEST_F(SearchPathTest, TwoLeadingBackslashesAreTakenAsWritten) {
  WriteValue(u"C:\\Windows", REG_EXPAND_SZ);
  const WString network = u"\\\\?\\" + (folder / u"bin");
  Edit(true, u"  " + network);
  EXPECT_EQ(ReadValue().text, u"C:\\Windows;" + network) << sink.bytes;
  sink.bytes.clear();
  Edit(true, u"\\\\server\\missing");
  EXPECT_EQ(sink.bytes, "Couldn't add \"\\\\server\\missing\" to the PATH because it does not exist.\r\n");
  Edit(false, network);
  EXPECT_EQ(ReadValue().text, u"C:\\Windows");
}

TEST_F(SearchPathTest, MissingFolderIsNotAdded) {
  WriteValue(u"C:\\Windows", REG_EXPAND_SZ);
  Edit(true, u"missing");
  EXPECT_EQ(ReadValue().text, u"C:\\Windows");
  EXPECT_EQ(sink.bytes, "Couldn't add \"" + WideToUtf8(folder / u"missing") +
                            "\" to the PATH because it does not exist.\r\n");
  // Removing does not need the folder.
  WriteValue(u"C:\\Windows;" + (folder / u"missing"), REG_EXPAND_SZ);
  Edit(false, u"missing");
  EXPECT_EQ(ReadValue().text, u"C:\\Windows");
}

TEST_F(SearchPathTest, ValueOfAnotherTypeIsNeverOverwritten) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W(kKey), 0, KEY_SET_VALUE, &key), 0);
  const DWORD number = 7;
  RegSetValueExW(key, L"Path", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
  RegCloseKey(key);
  Edit(true, u"bin");
  EXPECT_EQ(ReadValue().type, static_cast<DWORD>(REG_DWORD));
  EXPECT_NE(sink.bytes.find("Couldn't add \"" + WideToUtf8(folder / u"bin") + "\" to the PATH, code 13: "),
            NString::npos)
      << sink.bytes;
}

}  // namespace
}  // namespace ks
