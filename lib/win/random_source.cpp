#include "lib/win/random_source.h"

#include <windows.h>

#include <climits>

#include "lib/session.h"
#include "lib/win/system_library.h"

namespace ks {

namespace {

// Not declared by older SDK headers; the flag needs Windows 7 or later.
constexpr ULONG kUseSystemPreferredRng = 0x00000002;

bool FromBCrypt(void* out, ULONG size) {
  using GenRandom = LONG(WINAPI*)(void* algorithm, PUCHAR buffer, ULONG size, ULONG flags);
  const OwnedModule bcrypt = LoadSystemLibrary(L"bcrypt.dll");
  const auto gen = ProcAddress<GenRandom>(bcrypt.get(), "BCryptGenRandom");
  return gen && gen(nullptr, static_cast<PUCHAR>(out), size, kUseSystemPreferredRng) >= 0;
}

bool FromRtlGenRandom(void* out, ULONG size) {
  using GenRandom = BOOLEAN(WINAPI*)(PVOID buffer, ULONG size);
  const OwnedModule advapi = LoadSystemLibrary(L"advapi32.dll");
  const auto gen = ProcAddress<GenRandom>(advapi.get(), "SystemFunction036");
  return gen && gen(out, size);
}

}  // namespace

bool SystemRandom(void* out, std::size_t size) {
  if (size > ULONG_MAX) return false;
  const auto n = static_cast<ULONG>(size);
  return FromBCrypt(out, n) || FromRtlGenRandom(out, n);
}

std::uint64_t StartupNoise() {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  std::uint64_t seed = MixSeed(static_cast<std::uint64_t>(counter.QuadPart),
                               (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
  seed = MixSeed(seed, (std::uint64_t{::GetCurrentProcessId()} << 32) | ::GetCurrentThreadId());
  return MixSeed(seed, ::GetTickCount64());
}

}  // namespace ks
