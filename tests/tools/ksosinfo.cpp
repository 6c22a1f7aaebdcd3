// Prints the system-version record and the OS code, number and names that the
// engine derives from it, one "key=value" line each in UTF-8, so that a test
// can compare them under different reported Windows versions.
//
//   major, minor, build, platform, product_type, product_info_type,
//   suite_mask, is_64bit (0/1), compatibility_layer (empty when absent),
//   os_code, os_number, short_name (flags 4), full_name (flags 0),
//   flags3_name (flags 3)

#include <windows.h>

#include <string>

#include "lib/win/code_page.h"
#include "lib/win/os_version_query.h"

namespace {

void Print(const std::string& key, const std::string& value) {
  const std::string line = key + "=" + value + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
            &written, nullptr);
}

void Print(const std::string& key, unsigned long long value) { Print(key, std::to_string(value)); }

// The names are in the ANSI code page; the output is UTF-8.
std::string Utf8(const ks::NString& ansi) { return ks::WideToUtf8(ks::AnsiToWide(ansi)); }

}  // namespace

int wmain() {
  ks::UseSystemAnsiCodePage();
  const ks::SystemVersion& v = ks::GetSystemVersion();
  Print("major", v.major);
  Print("minor", v.minor);
  Print("build", v.build);
  Print("platform", v.platform);
  Print("product_type", v.product_type);
  Print("product_info_type", v.product_info_type);
  Print("suite_mask", v.suite_mask);
  Print("is_64bit", v.is_64bit ? 1 : 0);
  Print("compatibility_layer", v.compatibility_layer.value_or(""));
  Print("os_code", ks::GetOsCode());
  Print("os_number", std::to_string(ks::GetOsNumber()));
  Print("short_name", Utf8(ks::GetOsName(ks::kOsNameShort)));
  Print("full_name", Utf8(ks::GetOsName(0)));
  Print("flags3_name", Utf8(ks::GetOsName(ks::kOsNameNoServicePack | ks::kOsNameNoEdition)));
  return 0;
}
