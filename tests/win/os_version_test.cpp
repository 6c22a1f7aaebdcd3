#include "lib/win/os_version_query.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <bitset>

namespace ks {
namespace {

const char* WineVersion() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto fn = reinterpret_cast<const char*(__cdecl*)()>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  return fn ? fn() : nullptr;
}

TEST(OsVersionQueryTest, RecordIsFilledOnceAndMatchesTheSystem) {
  const SystemVersion& v = GetSystemVersion();
  EXPECT_EQ(&v, &GetSystemVersion());
  EXPECT_EQ(v.platform, kPlatformNt);
  EXPECT_GE(v.major, 5u);
  EXPECT_NE(v.build, 0u);
  EXPECT_GE(v.product_type, kProductWorkstation);
  EXPECT_LE(v.product_type, kProductServer);
  EXPECT_LE(v.service_pack.size(), 128u);
  EXPECT_LE(v.release_id.size(), 64u);

  SYSTEM_INFO si = {};
  GetNativeSystemInfo(&si);
  EXPECT_EQ(v.is_64bit, si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                            si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64);
#ifdef _WIN64
  EXPECT_TRUE(v.is_64bit);
#endif
  if (v.major >= 6) {
    DWORD type = 0;
    GetProductInfo(v.major, v.minor, 0, 0, &type);
    EXPECT_EQ(v.product_info_type, type);
  }
}

TEST(OsVersionQueryTest, WineIsNamedAndFlagged) {
  const char* wine = WineVersion();
  if (!wine) GTEST_SKIP() << "not running under Wine";
  const SystemVersion& v = GetSystemVersion();
  ASSERT_TRUE(v.compatibility_layer.has_value());
  EXPECT_EQ(*v.compatibility_layer, wine);

  const NString prefix = "WINE " + NString(wine) + " reporting as Windows ";
  const NString full = GetOsName(0);
  EXPECT_EQ(full.rfind(prefix, 0), 0u) << full;
  EXPECT_GT(full.size(), prefix.size()) << full;
  EXPECT_EQ(GetOsNameW(), AnsiToWide(full));
  const NString short_name = GetOsName(kOsNameShort);
  EXPECT_EQ(short_name.find("WINE"), NString::npos) << short_name;
  EXPECT_EQ(short_name.find("Windows"), NString::npos) << short_name;

  const std::uint32_t code = GetOsCode();
  EXPECT_EQ(code & 262144u, 262144u);
  EXPECT_EQ(std::bitset<32>(code & ~262144u).count(), 1u) << code;
}

TEST(OsVersionQueryTest, FreshQueryAgreesWithTheRecord) {
  const SystemVersion fresh = QuerySystemVersion();
  const SystemVersion& v = GetSystemVersion();
  EXPECT_EQ(OsName(fresh, 0), OsName(v, 0));
  EXPECT_EQ(OsCode(fresh), OsCode(v));
  EXPECT_EQ(OsNumber(fresh), GetOsNumber());
}

}  // namespace
}  // namespace ks
