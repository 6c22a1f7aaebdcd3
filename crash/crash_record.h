#pragma once
// A crash as data: what the exception filter takes from the system's
// exception information and hands to the crash handler, and what the report
// is built from.

#include <array>
#include <cstdint>
#include <optional>

#include "lib/text.h"

namespace ks {

// The support library raises its fatal internal errors (internal errors,
// bounds errors, out of memory) as this exception code, with a pointer to the
// zero-terminated message (system code page) as its one parameter.
inline constexpr std::uint32_t kFatalErrorCode = 0xD1EB17CC;
inline constexpr std::uint32_t kAccessViolationCode = 0xC0000005;
inline constexpr std::uint32_t kStackOverflowCode = 0xC00000FD;

enum class MemoryAccess { kNone, kRead, kWrite, kExecute };

// The processor registers at the crash. The shipped engine is 32-bit: its
// general registers are EAX to ESP and EIP. The x86-64 build records RAX to
// RSP, RIP and R8 to R15 (`wide`).
struct ProcessorContext {
  bool wide = false;
  std::uint32_t flags = 0;
  std::uint64_t ax = 0, bx = 0, cx = 0, dx = 0, di = 0, si = 0, ip = 0, bp = 0, sp = 0;
  std::array<std::uint64_t, 8> r8_to_r15{};  // only when wide
  std::uint32_t cs = 0, ds = 0, es = 0, fs = 0, gs = 0, ss = 0;
};

struct CrashRecord {
  std::uint32_t code = 0;
  std::uint64_t address = 0;  // where the exception happened
  bool continuable = false;
  // For access violations: the kind of access and the address it touched.
  MemoryAccess access = MemoryAccess::kNone;
  std::uint64_t memory_address = 0;
  std::optional<ProcessorContext> context;
  // For kFatalErrorCode: the message, code page 1252.
  NString fatal_message;

  bool IsFatalError() const { return code == kFatalErrorCode; }
};

}  // namespace ks
