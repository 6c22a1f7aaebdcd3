#include "lib/os_version.h"

#include <string>

namespace ks {
namespace {

constexpr std::uint32_t kBuildWindows11 = 21996;
constexpr std::uint32_t kBuildServer2019 = 17733;
constexpr std::uint32_t kBuildServer2022 = 20298;

bool IsNt(const SystemVersion& v) { return v.platform == kPlatformNt; }
bool IsWorkstation(const SystemVersion& v) { return v.product_type == kProductWorkstation; }
bool Has(const SystemVersion& v, std::uint16_t suite) { return (v.suite_mask & suite) != 0; }

// Windows Home Server 2011 is an NT 6.1 server that only its product-info
// type (PRODUCT_HOME_PREMIUM_SERVER, 34) tells apart from Server 2008 R2; the
// product-type byte is only ever 1, 2 or 3, so 34 is looked for in the
// product-info type. It is named "Home Server 2011" (short form "2008", its
// base) and numbered 38; its OS code stays that of an NT 6.1 server.
bool IsHomeServer2011(const SystemVersion& v) {
  return IsNt(v) && v.major == 6 && v.minor == 1 && !IsWorkstation(v) &&
         v.product_info_type == kProductInfoHomeServer2011;
}

std::uint32_t Win9xCode(const SystemVersion& v) {
  if (v.major != 4) return 1;
  if (v.minor < 10) return 4;
  return v.minor < 90 ? 8 : 16;
}

std::uint32_t Nt5Code(const SystemVersion& v) {
  switch (v.minor) {
    case 0: return 128;
    case 1: return 256;
    case 2: return IsWorkstation(v) ? 256 : 512;
    default: return 1;
  }
}

std::uint32_t Nt6Code(const SystemVersion& v) {
  const bool ws = IsWorkstation(v);
  switch (v.minor) {
    case 0: return ws ? 1024 : 2048;
    case 1: return ws ? 4096 : 2048;
    case 2:
    case 3: return ws ? 8192 : 16384;
    case 4: return 32768;
    default: return 1;
  }
}

std::uint32_t Nt10Code(const SystemVersion& v) {
  if (v.minor != 0) return 1;
  if (IsWorkstation(v)) return v.build < kBuildWindows11 ? 32768 : 524288;
  return v.build < kBuildServer2019 ? 65536 : 131072;
}

std::uint32_t NtCode(const SystemVersion& v) {
  if (v.major < 4) return 32;
  switch (v.major) {
    case 4: return 64;
    case 5: return Nt5Code(v);
    case 6: return Nt6Code(v);
    case 10: return Nt10Code(v);
    default: return 1;
  }
}

std::uint32_t FamilyCode(const SystemVersion& v) {
  switch (v.platform) {
    case kPlatformWin32s: return 2;
    case kPlatformWin9x: return Win9xCode(v);
    case kPlatformNt: return NtCode(v);
    default: return 1;
  }
}

std::int32_t Nt52Number(const SystemVersion& v) {
  if (Has(v, kSuiteHomeServer)) return 28;
  if (IsWorkstation(v)) return v.is_64bit ? 24 : 20;
  return v.server_r2_metric ? 26 : 22;
}

std::int32_t Nt6Number(const SystemVersion& v) {
  const bool ws = IsWorkstation(v);
  switch (v.minor) {
    case 0: return ws ? 30 : 32;
    case 1: return ws ? 36 : (IsHomeServer2011(v) ? 38 : 34);
    case 2: return ws ? 40 : 42;
    case 3: return ws ? 44 : 46;
    case 4: return 48;
    default: return 0;
  }
}

std::int32_t Nt10Number(const SystemVersion& v) {
  if (v.minor != 0) return 0;
  if (IsWorkstation(v)) return v.build < kBuildWindows11 ? 48 : 56;
  if (v.build < kBuildServer2019) return 50;
  return v.build < kBuildServer2022 ? 52 : 60;
}

// --- the name ---------------------------------------------------------------

struct NameOptions {
  bool editions;
  bool short_form;
};

NString Dotted(const char* prefix, std::uint32_t major, std::uint32_t minor) {
  return prefix + std::to_string(major) + "." + std::to_string(minor);
}

NString Win9xName(const SystemVersion& v, NameOptions o) {
  if (v.major != 4) return Dotted("9x ", v.major, v.minor);
  if (v.minor < 10) return (o.editions && v.build == 1111) ? "95 OSR2" : "95";
  if (v.minor >= 90) return "ME";
  return (o.editions && v.build == 2222) ? "98 SE" : "98";
}

NString Nt50Name(const SystemVersion& v, NameOptions o) {
  NString name = "2000";
  if (!o.editions) return name;
  if (IsWorkstation(v)) return name + " Professional";
  if (Has(v, kSuiteEnterprise)) return name + " Advanced Server";
  if (Has(v, kSuiteDatacenter)) return name + " Datacenter Server";
  return name + " Server";
}

NString Nt51Name(const SystemVersion& v, NameOptions o) {
  NString name = "XP";
  if (!o.editions) return name;
  name += Has(v, kSuitePersonal) ? " Home" : " Professional";
  if (Has(v, kSuiteEmbedded)) name += " Embedded";
  if (v.media_center_metric) name += " Media Center";
  if (v.starter_metric) name += " Starter";
  if (v.tablet_pc_metric) name += " Tablet PC";
  return name;
}

NString Nt52Name(const SystemVersion& v, NameOptions o) {
  if (Has(v, kSuiteHomeServer)) return o.short_form ? "XP" : "Home Server";
  if (IsWorkstation(v) && v.is_64bit) return o.editions ? "XP Professional" : "XP";
  if (o.short_form) return "2003";
  NString name = Has(v, kSuiteStorageServer) ? "Storage Server 2003" : "Server 2003";
  if (v.server_r2_metric) name += " R2";
  if (!o.editions) return name;
  if (Has(v, kSuiteEnterprise)) name += " Enterprise";
  if (Has(v, kSuiteDatacenter)) name += " Datacenter";
  if (Has(v, kSuiteBlade)) name += " Web";
  if (Has(v, kSuiteComputeServer)) name += " Compute Cluster";
  return name;
}

NString Nt5Name(const SystemVersion& v, NameOptions o) {
  switch (v.minor) {
    case 0: return Nt50Name(v, o);
    case 1: return Nt51Name(v, o);
    case 2: return Nt52Name(v, o);
    default: return Dotted("NT ", 5, v.minor);
  }
}

// The suite editions of Server 2008 (R2), named only when the product-info
// call gave nothing better.
NString Server2008Editions(const SystemVersion& v, NameOptions o) {
  NString editions;
  if (!o.editions || v.product_info_type != 0) return editions;
  if (Has(v, kSuiteDatacenter)) editions += " Datacenter";
  if (Has(v, kSuiteEnterprise)) editions += " Enterprise";
  return editions;
}

NString Nt60Name(const SystemVersion& v, NameOptions o) {
  if (IsWorkstation(v)) {
    const bool home = o.editions && v.product_info_type == 0 && Has(v, kSuitePersonal);
    return home ? "Vista Home" : "Vista";
  }
  if (o.short_form) return "2008";
  return "Server 2008" + Server2008Editions(v, o);
}

NString Nt61Name(const SystemVersion& v, NameOptions o) {
  if (IsWorkstation(v)) return "7";
  if (o.short_form) return "2008";  // both below are built on Server 2008 R2
  if (IsHomeServer2011(v)) return "Home Server 2011";
  return "Server 2008 R2" + Server2008Editions(v, o);
}

NString Nt6Name(const SystemVersion& v, NameOptions o) {
  const bool ws = IsWorkstation(v);
  switch (v.minor) {
    case 0: return Nt60Name(v, o);
    case 1: return Nt61Name(v, o);
    case 2: return ws ? "8" : (o.short_form ? "2012" : "Server 2012");
    case 3:
      if (ws) return o.short_form ? "8" : "8.1";
      return o.short_form ? "2012" : "Server 2012 R2";
    case 4: return o.short_form ? "10" : "10 alpha";
    default: return o.short_form ? "NT6" : Dotted("NT ", 6, v.minor);
  }
}

NString Nt10Name(const SystemVersion& v, NameOptions o) {
  if (IsWorkstation(v)) return v.build < kBuildWindows11 ? "10" : "11";
  const char* year = v.build < kBuildServer2019 ? "2016"
                     : v.build < kBuildServer2022 ? "2019"
                                                  : "2022";
  return o.short_form ? NString(year) : "Server " + NString(year);
}

NString NtName(const SystemVersion& v, NameOptions o) {
  if (v.major == 5) return Nt5Name(v, o);
  if (v.major == 6) return Nt6Name(v, o);
  if (v.major == 10 && v.minor == 0) return Nt10Name(v, o);
  return Dotted("NT ", v.major, v.minor);
}

NString VersionName(const SystemVersion& v, NameOptions o) {
  switch (v.platform) {
    case kPlatformWin9x: return Win9xName(v, o);
    case kPlatformNt: return NtName(v, o);
    default: return Dotted("", v.major, v.minor);  // Win32s, and anything unknown
  }
}

void AppendServicePack(const SystemVersion& v, NString& name) {
  if (v.service_pack.empty()) return;
  if (name.empty() || name.back() != ' ') name += ' ';
  name += WideToAnsi(v.service_pack, '?');
}

void AppendReleaseId(const SystemVersion& v, NString& name) {
  if (!IsNt(v) || v.major != 10 || v.minor != 0 || !IsWorkstation(v)) return;
  if (v.release_id.empty()) return;
  name += ' ';
  name += WideToAnsi(v.release_id, '?');
}

}  // namespace

std::uint32_t OsCode(const SystemVersion& v) {
  const std::uint32_t layer = v.compatibility_layer ? kOsCodeCompatibilityLayer : 0;
  return FamilyCode(v) | layer;
}

std::int32_t OsNumber(const SystemVersion& v) {
  if (!IsNt(v)) return 0;
  if (v.major == 5 && v.minor == 1) return 20;
  if (v.major == 5 && v.minor == 2) return Nt52Number(v);
  if (v.major == 6) return Nt6Number(v);
  if (v.major == 10) return Nt10Number(v);
  return 0;
}

bool IsServer(const SystemVersion& v) {
  return v.product_type == kProductDomainController || v.product_type == kProductServer;
}

bool Is64BitOs(const SystemVersion& v) { return v.is_64bit; }

bool IsNt10OrLater(const SystemVersion& v) { return IsNt(v) && v.major >= 10; }

NString OsName(const SystemVersion& v, unsigned flags) {
  const NameOptions o{(flags & (kOsNameNoEdition | kOsNameShort)) == 0, (flags & kOsNameShort) != 0};
  NString name;
  if (!o.short_form) {
    if (v.compatibility_layer) name += "WINE " + *v.compatibility_layer + " reporting as ";
    name += "Windows ";
  }
  name += VersionName(v, o);
  if (o.editions) {
    if (v.major > 5) name += ProductInfoEditionSuffix(v.product_info_type);
    if (v.is_64bit) name += " x64";
  }
  if (o.short_form) return name;
  if (!(flags & kOsNameNoServicePack)) AppendServicePack(v, name);
  AppendReleaseId(v, name);
  return name;
}

WString OsNameW(const SystemVersion& v) { return AnsiToWide(OsName(v, 0)); }

const char* ProductInfoEditionSuffix(std::uint32_t type) {
  switch (type) {
    case 1: return " Ultimate";
    case 2: return " Home Basic";
    case 3: return " Home Premium";
    case 4:
    case 10: return " Enterprise";
    case 5: return " Home Basic N";
    case 6: return " Business";
    case 7: return " Server Standard";
    case 8: return " Datacenter";
    case 9: return " Small Business Server";
    case 11: return " Starter";
    case 12: return " Datacenter (core)";
    case 13: return " Server Standard (core)";
    case 14: return " Enterprise (core)";
    case 15: return " Enterprise for Itanium";
    case 16: return " Business N";
    case 17: return " Web Server";
    case 18: return " Cluster Server";
    case 20: return " Storage Server Express";
    case 21: return " Storage Server Standard";
    case 22: return " Storage Server Workgroup";
    case 23: return " Storage Server Enterprise";
    case 24: return " for Windows Essential Server Solutions";
    case 25: return " Small Business Server Premium";
    case 26: return " Home Premium N";
    case 27: return " Enterprise N";
    case 28: return " Ultimate N";
    case 29: return " Web Server (core)";
    case 30: return " Essential Business Server Management Server";
    case 31: return " Essential Business Server Security Server";
    case 32: return " Essential Business Server Messaging Server";
    case 33: return " Server Foundation";
    case 35: return " for Windows Essential Server Solutions (without Hyper-V)";
    case 36: return " Server Standard (without Hyper-V)";
    case 37: return " Server Datacenter (without Hyper-V)";
    case 38: return " Server Enterprise (without Hyper-V)";
    case 39: return " Server Datacenter (without Hyper-V) (core)";
    case 40: return " Server Standard (without Hyper-V) (core)";
    case 41: return " Server Enterprise (without Hyper-V) (core)";
    case 42: return " Hyper-V Server";
    case 43: return " Storage Server Express (core)";
    case 44: return " Storage Server Standard (core)";
    case 45: return " Storage Server Workgroup (core)";
    case 46: return " Storage Server Enterprise (core)";
    case 47: return " Starter N";
    case 48: return " Professional";
    case 49: return " Professional N";
    case 56: return " MultiPoint Server";
    case 57: return " MultiPoint Server (core)";
    case 63: return " Small Business Server Premium (core)";
    case 64: return " Cluster Server (without Hyper-V)";
    default: return "";
  }
}

}  // namespace ks
