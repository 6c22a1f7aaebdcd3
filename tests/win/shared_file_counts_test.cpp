// The shared-file counts against the real SharedDLLs key (32-bit view), with
// paths of the test's own that no file needs to exist for.

#include "integration/win/shared_file_counts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "lib/win/reg_key.h"
#include "memory_sink.h"

namespace ks {
namespace {

class SharedFileCounts : public ::testing::Test {
 protected:
  void SetUp() override {
    stem_ = u"C:\\KsSharedCountsTest_" + Widen(std::to_string(GetCurrentProcessId())) + u"_" +
            Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
    log_.set_sink(&sink_);
  }
  void TearDown() override {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, kRegOpenOnly, kRegAccessOwnView) == kRegFailed) return;
    for (const WString& name : written_) key.DeleteValue(RegName(name));
  }
  WString Path(const char16_t* file) {
    written_.push_back(stem_ + u"\\" + file);
    return written_.back();
  }
  static std::optional<DWORD> Count(const WString& path) {
    RegKey key;
    DWORD count = 0;
    if (key.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, kRegOpenOnly, KEY_READ | kRegOwnView) == kRegFailed ||
        !key.GetDword(RegName(path), &count))
      return std::nullopt;
    return count;
  }
  static void SetCount(const WString& path, DWORD count) {
    RegKey key;
    ASSERT_NE(key.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, kRegAccessOwnView), kRegFailed);
    ASSERT_TRUE(key.SetDword(RegName(path), count));
  }

  WString stem_;
  std::vector<WString> written_;
  test::MemorySink sink_;
  InstallLog log_;
};

TEST_F(SharedFileCounts, EachFileIsCountedOncePerProduct) {
  const WString server = Path(u"server.dll");
  const WString library = Path(u"library.tlb");
  const WString earlier = Path(u"earlier.dll");
  const WString wide = Path(u"\u00E9t\u00E9\u4E2D.dll");
  SetCount(server, 4);
  NString text = "\"" + WideToAnsi(earlier) + "^\"";
  const std::vector<NString> list = {
      WideToAnsi(server) + "^", WideToAnsi(library) + "\xA9", WideToAnsi(server) + "^",  // the same file again
      WideToAnsi(earlier) + "^",                                                       // counted by the earlier installation
      "|" + WideToUtf8(wide) + " ",
  };
  CountSharedFiles(list, text, log_);
  EXPECT_EQ(Count(server), 5u);
  EXPECT_EQ(Count(library), 1u);
  EXPECT_EQ(Count(earlier), std::nullopt);
  EXPECT_EQ(Count(wide), 1u);
  EXPECT_EQ(text, "\"" + WideToAnsi(earlier) + "^\";\"" + WideToAnsi(server) + "^\";\"" + WideToAnsi(library) +
                      "\xA9\";\"|" + WideToUtf8(wide) + " \"");
  EXPECT_EQ(sink_.bytes, "");
  EXPECT_FALSE(log_.failed());
}

TEST_F(SharedFileCounts, ReleasingLowersUntilNobodyCountsTheFile) {
  const WString path = Path(u"released.dll");
  SetCount(path, 2);
  SharedCounts counts;
  ASSERT_TRUE(counts.Open());
  CountRelease r = counts.Release(path);
  EXPECT_FALSE(r.unused);
  EXPECT_EQ(Count(path), 1u);
  r = counts.Release(path);
  EXPECT_TRUE(r.unused);
  EXPECT_EQ(Count(path), std::nullopt);
  r = counts.Release(path);  // no count: nothing to do
  EXPECT_TRUE(r.skip);
  EXPECT_FALSE(r.unused);
}

}  // namespace
}  // namespace ks
