#include "engine/win/folder_rights.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "lib/win/system_error.h"
#include "records/install_log.h"
#include "memory_sink.h"
#include "scratch_folder.h"

namespace ks {
namespace {

using test::MemorySink;
using test::ScratchFolder;

class FolderRightsTest : public ::testing::Test {
 protected:
  void SetUp() override { log.set_sink(&sink); }
  MemorySink sink;
  InstallLog log;
  ScratchFolder folder{u"ks_rights_"};
};

TEST_F(FolderRightsTest, EmptyOrMissingFolderFails) {
  struct Case {
    WString path;
    std::uint32_t code;
  };
  const Case cases[] = {{u"", 161}, {folder / u"missing", 3}};
  for (const Case& c : cases) {
    sink.bytes.clear();
    EXPECT_EQ(GrantFolderRights(c.path, log), c.code);
    EXPECT_EQ(sink.bytes, "Granting rights to directory \"" + WideToUtf8(c.path) + "\"...FAILED code " +
                              std::to_string(c.code) + ": " + WideToUtf8(SystemErrorText(c.code)) + "\r\n\r\n");
  }
}

// Wine reports success for a file's new access list but does not keep it, so
// the folder test checks the result, the log and the attributes, and the list
// that would be set is checked as data.
TEST_F(FolderRightsTest, ExistingFolderIsOpenedAndItsAttributesCleared) {
  const WString target = folder / u"data";
  ASSERT_TRUE(CreateDirectoryW(W(target), nullptr));
  SetFileAttributesW(W(target), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(GrantFolderRights(target, log), 0u) << sink.bytes;
  EXPECT_EQ(sink.bytes, "Granting rights to directory \"" + WideToUtf8(target) + "\"...OK\r\n");
  const DWORD attributes = GetFileAttributesW(W(target));
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);
}

// The access list in the system's text form (SDDL).
WString AclText(PACL acl) {
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
  LPWSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(&sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                            nullptr))
    return u"<none>";
  const WString out = FromW(text);
  LocalFree(text);
  return out;
}

TEST(GrantedAccessList, KeepsEveryEntryAndAddsTheThreeGrants) {
  struct Case {
    const wchar_t* existing;  // SDDL of the folder's list; null: none
    const char16_t* expected;
  };
  // BU Users modify (0x1301bf), BA Administrators and SY SYSTEM full control,
  // each inherited by folders and files (OICI).
  const Case cases[] = {
      {L"D:(A;OICI;0x1200a9;;;WD)(A;;FA;;;S-1-5-21-1-2-3-1000)",
       u"D:(A;OICI;0x1200a9;;;WD)(A;;FA;;;S-1-5-21-1-2-3-1000)(A;OICI;0x1301bf;;;BU)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"},
      {nullptr, u"D:(A;OICI;0x1301bf;;;BU)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"},
  };
  for (const Case& c : cases) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL existing = nullptr;
    if (c.existing) {
      ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.existing, SDDL_REVISION_1, &sd, nullptr));
      BOOL present = FALSE, defaulted = FALSE;
      GetSecurityDescriptorDacl(sd, &present, &existing, &defaulted);
    }
    PACL merged = nullptr;
    ASSERT_EQ(GrantedAccessList(existing, &merged), 0u);
    const WString text = AclText(merged);
    LocalFree(merged);
    LocalFree(sd);
    // The order of entries is the system's (explicit denies first, then
    // allows); compare the set of entries.
    for (std::size_t at = 2; at < WString(c.expected).size();) {
      const std::size_t close = WString(c.expected).find(u')', at);
      const WString entry = WString(c.expected).substr(at, close + 1 - at);
      EXPECT_NE(text.find(entry), WString::npos) << WideToUtf8(entry) << " in " << WideToUtf8(text);
      at = close + 1;
    }
    EXPECT_EQ(text.size(), WString(c.expected).size()) << WideToUtf8(text);
  }
}

}  // namespace
}  // namespace ks
