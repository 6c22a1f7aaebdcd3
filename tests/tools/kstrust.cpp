// The system's trust verdict on a program, as the engine's own signature
// check reads it, and the trust of a test root certificate.
//
//   kstrust verify PROGRAM   prints the engine's code for the file's signature:
//                            0 (passes) or 1000 + outcome, then the last error
//   kstrust trust CERT.der   adds the certificate to the machine's root store
//
// Exit status 0, or 2 when the command cannot be carried out.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/win/integrity_check.h"

namespace {

using AddToStoreFn = BOOL(WINAPI*)(LPCWSTR, const BYTE*, DWORD);

int Verify(const wchar_t* path) {
  DWORD last_error = 0;
  const int code = ks::VerifyCodeSignature(reinterpret_cast<const char16_t*>(path), &last_error);
  std::printf("%d 0x%08lX\n", code, static_cast<unsigned long>(last_error));
  return 0;
}

int Trust(const wchar_t* path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<BYTE> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const HMODULE crypt32 = ::LoadLibraryW(L"crypt32.dll");
  const auto add = crypt32 ? reinterpret_cast<AddToStoreFn>(
                                 reinterpret_cast<void*>(::GetProcAddress(crypt32, "CertAddEncodedCertificateToSystemStoreW")))
                           : nullptr;
  if (der.empty() || !add) return 2;
  if (!add(L"Root", der.data(), static_cast<DWORD>(der.size()))) {
    std::printf("failed 0x%08lX\n", static_cast<unsigned long>(::GetLastError()));
    return 2;
  }
  std::puts("trusted");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"verify") return Verify(argv[2]);
  if (argc == 3 && std::wstring(argv[1]) == L"trust") return Trust(argv[2]);
  std::fputs("usage: kstrust verify PROGRAM | kstrust trust CERT.der\n", stderr);
  return 2;
}
