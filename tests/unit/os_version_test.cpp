#include "lib/os_version.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

constexpr std::uint8_t kWs = kProductWorkstation;
constexpr std::uint8_t kDc = kProductDomainController;
constexpr std::uint8_t kSrv = kProductServer;

SystemVersion Nt(std::uint32_t major, std::uint32_t minor, std::uint8_t type,
                 std::uint32_t build = 0) {
  SystemVersion v;
  v.platform = kPlatformNt;
  v.major = major;
  v.minor = minor;
  v.product_type = type;
  v.build = build;
  return v;
}

SystemVersion Win9x(std::uint32_t major, std::uint32_t minor, std::uint32_t build = 0) {
  SystemVersion v;
  v.platform = kPlatformWin9x;
  v.major = major;
  v.minor = minor;
  v.build = build;
  return v;
}

template <class F>
SystemVersion With(SystemVersion v, F change) {
  change(v);
  return v;
}

struct CodeCase {
  const char* name;
  SystemVersion v;
  std::uint32_t code;
  std::int32_t number;
};

TEST(OsVersionTest, OsCodeAndNumberForEveryRow) {
  const CodeCase cases[] = {
      {"zeroed record (Win32s)", SystemVersion{}, 2, 0},
      {"95", Win9x(4, 0), 4, 0},
      {"98 lower bound", Win9x(4, 10), 8, 0},
      {"98 upper bound", Win9x(4, 89), 8, 0},
      {"ME", Win9x(4, 90), 16, 0},
      {"9x other major", Win9x(5, 0), 1, 0},
      {"NT 3.51", Nt(3, 51, kWs), 32, 0},
      {"NT 4", Nt(4, 0, kWs), 64, 0},
      {"2000", Nt(5, 0, kWs), 128, 0},
      {"XP", Nt(5, 1, kWs), 256, 20},
      {"XP x64 (5.2 workstation)", With(Nt(5, 2, kWs), [](auto& v) { v.is_64bit = true; }), 256, 24},
      {"5.2 workstation, 32-bit", Nt(5, 2, kWs), 256, 20},
      {"2003", Nt(5, 2, kSrv), 512, 22},
      {"2003 R2", With(Nt(5, 2, kSrv), [](auto& v) { v.server_r2_metric = 1; }), 512, 26},
      {"Home Server",
       With(Nt(5, 2, kSrv), [](auto& v) { v.suite_mask = kSuiteHomeServer; v.server_r2_metric = 1; }),
       512, 28},
      {"NT 5.3", Nt(5, 3, kWs), 1, 0},
      {"Vista", Nt(6, 0, kWs), 1024, 30},
      {"2008", Nt(6, 0, kSrv), 2048, 32},
      {"2008 domain controller", Nt(6, 0, kDc), 2048, 32},
      {"7", Nt(6, 1, kWs), 4096, 36},
      {"2008 R2", Nt(6, 1, kSrv), 2048, 34},
      {"Home Server 2011",
       With(Nt(6, 1, kSrv), [](auto& v) { v.product_info_type = kProductInfoHomeServer2011; }),
       2048, 38},
      {"7 of product-info 34 is still 7",
       With(Nt(6, 1, kWs), [](auto& v) { v.product_info_type = kProductInfoHomeServer2011; }),
       4096, 36},
      {"8", Nt(6, 2, kWs), 8192, 40},
      {"2012", Nt(6, 2, kSrv), 16384, 42},
      {"8.1", Nt(6, 3, kWs), 8192, 44},
      {"2012 R2", Nt(6, 3, kSrv), 16384, 46},
      {"6.4", Nt(6, 4, kWs), 32768, 48},
      {"6.4 server", Nt(6, 4, kSrv), 32768, 48},
      {"6.5", Nt(6, 5, kWs), 1, 0},
      {"10", Nt(10, 0, kWs, 21995), 32768, 48},
      {"11", Nt(10, 0, kWs, 21996), 524288, 56},
      {"2016", Nt(10, 0, kSrv, 17732), 65536, 50},
      {"2019 lower bound", Nt(10, 0, kSrv, 17733), 131072, 52},
      {"2019 upper bound", Nt(10, 0, kSrv, 20297), 131072, 52},
      {"2022", Nt(10, 0, kSrv, 20298), 131072, 60},
      {"10.1", Nt(10, 1, kWs, 30000), 1, 0},
      {"NT 7.0", Nt(7, 0, kWs), 1, 0},
      {"NT 11.0", Nt(11, 0, kWs), 1, 0},
      {"unknown platform", With(Nt(10, 0, kWs), [](auto& v) { v.platform = 3; }), 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OsCode(c.v), c.code) << c.name;
    EXPECT_EQ(OsNumber(c.v), c.number) << c.name;
    SystemVersion wine = c.v;
    wine.compatibility_layer = "8.0";
    EXPECT_EQ(OsCode(wine), c.code | 262144u) << c.name << " under Wine";
    EXPECT_EQ(OsNumber(wine), c.number) << c.name << " under Wine";
  }
}

TEST(OsVersionTest, Predicates) {
  EXPECT_FALSE(IsServer(Nt(6, 1, kWs)));
  EXPECT_TRUE(IsServer(Nt(6, 1, kDc)));
  EXPECT_TRUE(IsServer(Nt(6, 1, kSrv)));
  EXPECT_FALSE(IsServer(SystemVersion{}));

  EXPECT_TRUE(Is64BitOs(With(Nt(6, 1, kWs), [](auto& v) { v.is_64bit = true; })));
  EXPECT_FALSE(Is64BitOs(Nt(6, 1, kWs)));

  EXPECT_TRUE(IsNt10OrLater(Nt(10, 0, kWs)));
  EXPECT_TRUE(IsNt10OrLater(Nt(11, 0, kSrv)));
  EXPECT_FALSE(IsNt10OrLater(Nt(6, 3, kWs)));
  EXPECT_FALSE(IsNt10OrLater(Win9x(10, 0)));
}

struct NameCase {
  const char* name;
  SystemVersion v;
  const char* full;        // flags 0
  const char* no_edition;  // flags 3
  const char* short_form;  // flags 4
};

TEST(OsVersionTest, VersionNamesForEveryRow) {
  const NameCase cases[] = {
      {"zeroed", SystemVersion{}, "Windows 0.0", "Windows 0.0", "0.0"},
      {"Win32s", With(SystemVersion{}, [](auto& v) { v.major = 3; v.minor = 11; }),
       "Windows 3.11", "Windows 3.11", "3.11"},
      {"95", Win9x(4, 0, 950), "Windows 95", "Windows 95", "95"},
      {"95 OSR2", Win9x(4, 0, 1111), "Windows 95 OSR2", "Windows 95", "95"},
      {"98", Win9x(4, 10, 1998), "Windows 98", "Windows 98", "98"},
      {"98 SE", Win9x(4, 10, 2222), "Windows 98 SE", "Windows 98", "98"},
      {"ME", Win9x(4, 90, 3000), "Windows ME", "Windows ME", "ME"},
      {"9x other", Win9x(5, 1), "Windows 9x 5.1", "Windows 9x 5.1", "9x 5.1"},
      {"NT 4", Nt(4, 0, kWs), "Windows NT 4.0", "Windows NT 4.0", "NT 4.0"},
      {"2000 Professional", Nt(5, 0, kWs), "Windows 2000 Professional", "Windows 2000", "2000"},
      {"2000 Advanced Server",
       With(Nt(5, 0, kSrv), [](auto& v) { v.suite_mask = kSuiteEnterprise | kSuiteDatacenter; }),
       "Windows 2000 Advanced Server", "Windows 2000", "2000"},
      {"2000 Datacenter Server",
       With(Nt(5, 0, kSrv), [](auto& v) { v.suite_mask = kSuiteDatacenter; }),
       "Windows 2000 Datacenter Server", "Windows 2000", "2000"},
      {"2000 Server", Nt(5, 0, kDc), "Windows 2000 Server", "Windows 2000", "2000"},
      {"XP Professional", Nt(5, 1, kWs), "Windows XP Professional", "Windows XP", "XP"},
      {"XP Home", With(Nt(5, 1, kWs), [](auto& v) { v.suite_mask = kSuitePersonal; }),
       "Windows XP Home", "Windows XP", "XP"},
      {"XP everything",
       With(Nt(5, 1, kWs),
            [](auto& v) {
              v.suite_mask = kSuitePersonal | kSuiteEmbedded;
              v.tablet_pc_metric = 1;
              v.media_center_metric = 1;
              v.starter_metric = 1;
            }),
       "Windows XP Home Embedded Media Center Starter Tablet PC", "Windows XP", "XP"},
      {"XP Tablet PC", With(Nt(5, 1, kWs), [](auto& v) { v.tablet_pc_metric = 1; }),
       "Windows XP Professional Tablet PC", "Windows XP", "XP"},
      {"NT 5.3", Nt(5, 3, kWs), "Windows NT 5.3", "Windows NT 5.3", "NT 5.3"},
      {"Home Server",
       With(Nt(5, 2, kSrv), [](auto& v) { v.suite_mask = kSuiteHomeServer | kSuiteEnterprise; }),
       "Windows Home Server", "Windows Home Server", "XP"},
      {"XP x64", With(Nt(5, 2, kWs), [](auto& v) { v.is_64bit = true; }),
       "Windows XP Professional x64", "Windows XP", "XP"},
      {"2003", Nt(5, 2, kSrv), "Windows Server 2003", "Windows Server 2003", "2003"},
      {"2003 R2 all suites",
       With(Nt(5, 2, kSrv),
            [](auto& v) {
              v.server_r2_metric = 1;
              v.suite_mask = kSuiteEnterprise | kSuiteDatacenter | kSuiteBlade | kSuiteComputeServer;
            }),
       "Windows Server 2003 R2 Enterprise Datacenter Web Compute Cluster", "Windows Server 2003 R2",
       "2003"},
      {"Storage Server 2003", With(Nt(5, 2, kSrv), [](auto& v) { v.suite_mask = kSuiteStorageServer; }),
       "Windows Storage Server 2003", "Windows Storage Server 2003", "2003"},
      {"Vista", Nt(6, 0, kWs), "Windows Vista", "Windows Vista", "Vista"},
      {"Vista Home (suite)", With(Nt(6, 0, kWs), [](auto& v) { v.suite_mask = kSuitePersonal; }),
       "Windows Vista Home", "Windows Vista", "Vista"},
      {"Vista Home Premium (product info wins)",
       With(Nt(6, 0, kWs), [](auto& v) { v.suite_mask = kSuitePersonal; v.product_info_type = 3; }),
       "Windows Vista Home Premium", "Windows Vista", "Vista"},
      {"2008 Datacenter Enterprise",
       With(Nt(6, 0, kSrv), [](auto& v) { v.suite_mask = kSuiteDatacenter | kSuiteEnterprise; }),
       "Windows Server 2008 Datacenter Enterprise", "Windows Server 2008", "2008"},
      {"2008 with product info",
       With(Nt(6, 0, kSrv), [](auto& v) { v.suite_mask = kSuiteEnterprise; v.product_info_type = 10; }),
       "Windows Server 2008 Enterprise", "Windows Server 2008", "2008"},
      {"7", Nt(6, 1, kWs), "Windows 7", "Windows 7", "7"},
      {"2008 R2 Enterprise", With(Nt(6, 1, kSrv), [](auto& v) { v.suite_mask = kSuiteEnterprise; }),
       "Windows Server 2008 R2 Enterprise", "Windows Server 2008 R2", "2008"},
      {"Home Server 2011",
       With(Nt(6, 1, kSrv), [](auto& v) { v.product_info_type = kProductInfoHomeServer2011; }),
       "Windows Home Server 2011", "Windows Home Server 2011", "2008"},
      {"8", Nt(6, 2, kWs), "Windows 8", "Windows 8", "8"},
      {"2012", Nt(6, 2, kSrv), "Windows Server 2012", "Windows Server 2012", "2012"},
      {"8.1", Nt(6, 3, kWs), "Windows 8.1", "Windows 8.1", "8"},
      {"2012 R2", Nt(6, 3, kSrv), "Windows Server 2012 R2", "Windows Server 2012 R2", "2012"},
      {"6.4", Nt(6, 4, kWs), "Windows 10 alpha", "Windows 10 alpha", "10"},
      {"6.7", Nt(6, 7, kWs), "Windows NT 6.7", "Windows NT 6.7", "NT6"},
      {"10", Nt(10, 0, kWs, 19045), "Windows 10", "Windows 10", "10"},
      {"11", Nt(10, 0, kWs, 22631), "Windows 11", "Windows 11", "11"},
      {"2016", Nt(10, 0, kSrv, 14393), "Windows Server 2016", "Windows Server 2016", "2016"},
      {"2019 Datacenter",
       With(Nt(10, 0, kSrv, 17763), [](auto& v) { v.product_info_type = 8; }),
       "Windows Server 2019 Datacenter", "Windows Server 2019", "2019"},
      {"2022", Nt(10, 0, kDc, 20348), "Windows Server 2022", "Windows Server 2022", "2022"},
      {"NT 10.1", Nt(10, 1, kWs), "Windows NT 10.1", "Windows NT 10.1", "NT 10.1"},
      {"NT 12.0", Nt(12, 0, kWs), "Windows NT 12.0", "Windows NT 12.0", "NT 12.0"},
      {"7 Professional x64 SP1",
       With(Nt(6, 1, kWs, 7601),
            [](auto& v) {
              v.is_64bit = true;
              v.product_info_type = 48;
              v.service_pack = u"Service Pack 1";
            }),
       "Windows 7 Professional x64 Service Pack 1", "Windows 7", "7"},
      {"XP Home SP3",
       With(Nt(5, 1, kWs), [](auto& v) { v.suite_mask = kSuitePersonal; v.service_pack = u"SP3"; }),
       "Windows XP Home SP3", "Windows XP", "XP"},
      {"unconvertible service pack characters",
       With(Nt(6, 0, kWs), [](auto& v) { v.service_pack = u"SP\u4E00"; }),
       "Windows Vista SP?", "Windows Vista", "Vista"},
      {"edition suffix only above NT 5",
       With(Nt(5, 1, kWs), [](auto& v) { v.product_info_type = 48; }),
       "Windows XP Professional", "Windows XP", "XP"},
      {"10 with ReleaseId",
       With(Nt(10, 0, kWs, 19045), [](auto& v) { v.product_info_type = 48; v.release_id = u"2009"; }),
       "Windows 10 Professional 2009", "Windows 10 2009", "10"},
      {"ReleaseId ignored on servers",
       With(Nt(10, 0, kSrv, 17763), [](auto& v) { v.release_id = u"1809"; }),
       "Windows Server 2019", "Windows Server 2019", "2019"},
      {"Wine",
       With(Nt(10, 0, kWs, 19045),
            [](auto& v) {
              v.compatibility_layer = "8.0";
              v.is_64bit = true;
              v.release_id = u"2009";
            }),
       "WINE 8.0 reporting as Windows 10 x64 2009", "WINE 8.0 reporting as Windows 10 2009", "10"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OsName(c.v, 0), c.full) << c.name;
    EXPECT_EQ(OsName(c.v, kOsNameNoServicePack | kOsNameNoEdition), c.no_edition) << c.name;
    EXPECT_EQ(OsName(c.v, kOsNameShort), c.short_form) << c.name;
    EXPECT_EQ(OsNameW(c.v), Widen(c.full)) << c.name;
  }
}

TEST(OsVersionTest, FlagBitsActAlone) {
  SystemVersion v = Nt(6, 1, kWs, 7601);
  v.is_64bit = true;
  v.product_info_type = 1;
  v.service_pack = u"Service Pack 1";
  EXPECT_EQ(OsName(v, kOsNameNoServicePack), "Windows 7 Ultimate x64");
  EXPECT_EQ(OsName(v, kOsNameNoEdition), "Windows 7 Service Pack 1");
  EXPECT_EQ(OsName(v, kOsNameShort | kOsNameNoServicePack), "7");
}

TEST(OsVersionTest, EveryEditionSuffix) {
  const struct {
    std::uint32_t type;
    const char* suffix;
  } cases[] = {
      {0, ""}, {1, " Ultimate"}, {2, " Home Basic"}, {3, " Home Premium"}, {4, " Enterprise"},
      {5, " Home Basic N"}, {6, " Business"}, {7, " Server Standard"}, {8, " Datacenter"},
      {9, " Small Business Server"}, {10, " Enterprise"}, {11, " Starter"},
      {12, " Datacenter (core)"}, {13, " Server Standard (core)"}, {14, " Enterprise (core)"},
      {15, " Enterprise for Itanium"}, {16, " Business N"}, {17, " Web Server"},
      {18, " Cluster Server"}, {19, ""}, {20, " Storage Server Express"},
      {21, " Storage Server Standard"}, {22, " Storage Server Workgroup"},
      {23, " Storage Server Enterprise"}, {24, " for Windows Essential Server Solutions"},
      {25, " Small Business Server Premium"}, {26, " Home Premium N"}, {27, " Enterprise N"},
      {28, " Ultimate N"}, {29, " Web Server (core)"},
      {30, " Essential Business Server Management Server"},
      {31, " Essential Business Server Security Server"},
      {32, " Essential Business Server Messaging Server"}, {33, " Server Foundation"}, {34, ""},
      {35, " for Windows Essential Server Solutions (without Hyper-V)"},
      {36, " Server Standard (without Hyper-V)"}, {37, " Server Datacenter (without Hyper-V)"},
      {38, " Server Enterprise (without Hyper-V)"},
      {39, " Server Datacenter (without Hyper-V) (core)"},
      {40, " Server Standard (without Hyper-V) (core)"},
      {41, " Server Enterprise (without Hyper-V) (core)"}, {42, " Hyper-V Server"},
      {43, " Storage Server Express (core)"}, {44, " Storage Server Standard (core)"},
      {45, " Storage Server Workgroup (core)"}, {46, " Storage Server Enterprise (core)"},
      {47, " Starter N"}, {48, " Professional"}, {49, " Professional N"}, {50, ""}, {55, ""},
      {56, " MultiPoint Server"}, {57, " MultiPoint Server (core)"}, {58, ""},
      {63, " Small Business Server Premium (core)"}, {64, " Cluster Server (without Hyper-V)"},
      {65, ""}, {0xABCDABCD, ""},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(ProductInfoEditionSuffix(c.type), c.suffix) << c.type;
    SystemVersion v = Nt(6, 1, kWs);
    v.product_info_type = c.type;
    EXPECT_EQ(OsName(v, 0), NString("Windows 7") + c.suffix) << c.type;
    EXPECT_EQ(OsName(v, kOsNameNoEdition), "Windows 7") << c.type;
  }
}

}  // namespace
}  // namespace ks
