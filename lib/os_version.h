#pragma once
// Which Windows the installer runs on: the system-version record, the numeric
// OS code of the archive's exclusion mask, the release number of %OS% and the
// system's name. Everything here is a pure function of the record; the Win32
// side (lib/win/os_version_query.h) fills the process-wide one.

#include <cstdint>
#include <optional>

#include "lib/text.h"

namespace ks {

inline constexpr std::uint32_t kPlatformWin32s = 0;
inline constexpr std::uint32_t kPlatformWin9x = 1;
inline constexpr std::uint32_t kPlatformNt = 2;

inline constexpr std::uint8_t kProductWorkstation = 1;
inline constexpr std::uint8_t kProductDomainController = 2;
inline constexpr std::uint8_t kProductServer = 3;

// Suite flags (VER_SUITE_*).
inline constexpr std::uint16_t kSuiteEnterprise = 0x0002;
inline constexpr std::uint16_t kSuiteEmbedded = 0x0040;
inline constexpr std::uint16_t kSuiteDatacenter = 0x0080;
inline constexpr std::uint16_t kSuitePersonal = 0x0200;
inline constexpr std::uint16_t kSuiteBlade = 0x0400;  // the Web edition
inline constexpr std::uint16_t kSuiteStorageServer = 0x2000;
inline constexpr std::uint16_t kSuiteComputeServer = 0x4000;
inline constexpr std::uint16_t kSuiteHomeServer = 0x8000;

// Product-info type of Windows Home Server 2011 (PRODUCT_HOME_PREMIUM_SERVER).
inline constexpr std::uint32_t kProductInfoHomeServer2011 = 34;

inline constexpr std::uint32_t kOsCodeCompatibilityLayer = 0x40000;

// OS name flags.
inline constexpr unsigned kOsNameNoServicePack = 1;
inline constexpr unsigned kOsNameNoEdition = 2;
inline constexpr unsigned kOsNameShort = 4;

struct SystemVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platform = kPlatformWin32s;
  WString service_pack;  // at most 128 characters
  std::uint16_t suite_mask = 0;
  std::uint8_t product_type = 0;
  std::uint32_t product_info_type = 0;
  bool is_64bit = false;
  // The Wine version, present only when running under Wine.
  std::optional<NString> compatibility_layer;

  // Captured with the record so that the name is a function of data:
  // GetSystemMetrics(SM_TABLETPC 86, SM_MEDIACENTER 87, SM_STARTER 88,
  // SM_SERVERR2 89) and HKLM\...\CurrentVersion "ReleaseId" (at most 64
  // characters, empty when absent).
  int tablet_pc_metric = 0;
  int media_center_metric = 0;
  int starter_metric = 0;
  int server_r2_metric = 0;
  WString release_id;
};

std::uint32_t OsCode(const SystemVersion& v);
std::int32_t OsNumber(const SystemVersion& v);
bool IsServer(const SystemVersion& v);
bool Is64BitOs(const SystemVersion& v);
bool IsNt10OrLater(const SystemVersion& v);

// The system's name in the system ANSI code page; `flags` combine the
// kOsName* bits.
NString OsName(const SystemVersion& v, unsigned flags);
// The full name (flags 0) as wide text.
WString OsNameW(const SystemVersion& v);

// The edition suffix of a product-info type (" Professional" for 48), empty
// for codes without one.
const char* ProductInfoEditionSuffix(std::uint32_t product_info_type);

}  // namespace ks
