#pragma once
// The crash report: plain 8-bit text (code page 1252) that describes a crash
// for the product's maker. Built from the crash record and the facts the
// Win32 side gathers about the process, both given as data, so that every
// line can be checked without a crash.
//
// Numbers are upper-case hexadecimal without a prefix: 8 digits for codes,
// flags and segment registers, and for addresses as many digits as an
// address has in the running build (8 in the shipped 32-bit engine, 16 in
// the x86-64 build). Thread ids and the code page are decimal.

#include <cstdint>
#include <optional>
#include <vector>

#include "crash/crash_record.h"
#include "lib/text.h"

namespace ks {

inline constexpr char kProductLine[] = "Kestrelon Setup";
inline constexpr char kEditionText[] = "Standard Edition";
inline constexpr char kEarlierOutOfMemoryLine[] = "A previous out-of-memory condition occurred.\r\n";

struct CrashModule {
  std::uint64_t base = 0;
  std::uint64_t size = 0;
  NString path;  // the full path, code page 1252
};

struct StackFrame {
  std::uint64_t program_counter = 0;
  std::uint64_t frame = 0;
  NString symbol;  // empty when none was found; at most kMaxSymbolLength
};
inline constexpr std::size_t kMaxSymbolLength = 2000;
inline constexpr std::size_t kMaxStackFrames = 100;

// What the system says about the process at the crash. Texts are code page
// 1252; the Win32 side converts them.
struct ProcessFacts {
  int address_digits = 8;
  NString version;  // the engine's version text
  std::uint32_t thread_id = 0;
  std::uint32_t main_thread_id = 0;
  // In units of 100 ns, as the system reports them.
  std::uint64_t running_time = 0, kernel_time = 0, user_time = 0;
  NString os;        // the full operating-system name
  NString ie;        // the Internet Explorer version; may be empty
  NString office;    // an Office version, empty when none was found
  NString office_details;
  NString language;  // the user's language, in English
  std::uint32_t code_page = 0;
  std::uint32_t locale = 0;
  bool earlier_out_of_memory = false;
  NString command_line;
  std::optional<std::vector<CrashModule>> modules;  // absent when the system could not list them
  std::vector<StackFrame> stack;                    // empty without the debugging help library
};

NString HexDigits(std::uint64_t value, int digits);

// A duration in units of 100 ns as seconds with milliseconds ("12.345").
NString SecondsText(std::uint64_t hundred_ns);

// The file name (without folder) of the module whose range holds `address`;
// empty when none does.
NString ModuleNameAt(const std::vector<CrashModule>& modules, std::uint64_t address);

NString BuildCrashReport(const CrashRecord& record, const ProcessFacts& facts);

}  // namespace ks
