#include "crash/crash_report.h"

#include "crash/exception_texts.h"
#include "lib/fatal.h"

namespace ks {
namespace {

NString Trim(NStringView text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == NStringView::npos) return {};
  return NString(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

const char* AccessText(MemoryAccess access) {
  switch (access) {
    case MemoryAccess::kWrite: return "write";
    case MemoryAccess::kExecute: return "execute";
    default: return "read";
  }
}

// The crash is itself the out-of-memory error, not a later one.
bool IsOutOfMemoryError(const CrashRecord& r) {
  const NString prefix = OutOfMemoryText(0).substr(0, OutOfMemoryText(0).find("\r\n"));
  return r.IsFatalError() && r.fatal_message.compare(0, prefix.size(), prefix) == 0;
}

void AppendRegisters(NString& out, const ProcessorContext& c) {
  const int digits = c.wide ? 16 : 8;
  const char lead = c.wide ? 'R' : 'E';
  out += "\r\nCPU Registers:\r\nFlags: " + HexDigits(c.flags, 8);
  const struct {
    const char* name;
    std::uint64_t value;
  } general[] = {{"AX", c.ax}, {"BX", c.bx}, {"CX", c.cx}, {"DX", c.dx}, {"DI", c.di},
                 {"SI", c.si}, {"IP", c.ip}, {"BP", c.bp}, {"SP", c.sp}};
  for (const auto& g : general) out += NString("\r\n  ") + lead + g.name + ": " + HexDigits(g.value, digits);
  if (c.wide) {
    for (int i = 0; i < 8; ++i) {
      const NString name = "R" + std::to_string(8 + i);
      out += "\r\n" + NString(5 - name.size(), ' ') + name + ": " + HexDigits(c.r8_to_r15[i], digits);
    }
  }
  const struct {
    const char* name;
    std::uint32_t value;
  } segments[] = {{"CS", c.cs}, {"DS", c.ds}, {"ES", c.es}, {"FS", c.fs}, {"GS", c.gs}, {"SS", c.ss}};
  for (const auto& s : segments) out += NString("\r\n   ") + s.name + ": " + HexDigits(s.value, 8);
}

}  // namespace

NString HexDigits(std::uint64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  NString out(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0 && value != 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = kHex[value & 15];
  return out;
}

NString SecondsText(std::uint64_t hundred_ns) {
  const std::uint64_t ms = hundred_ns / 10000;
  const NString fraction = std::to_string(1000 + ms % 1000).substr(1);
  return std::to_string(ms / 1000) + "." + fraction;
}

NString ModuleNameAt(const std::vector<CrashModule>& modules, std::uint64_t address) {
  for (const CrashModule& m : modules) {
    if (address >= m.base && address - m.base < m.size) {
      const std::size_t slash = m.path.find_last_of("\\/");
      return slash == NString::npos ? m.path : m.path.substr(slash + 1);
    }
  }
  return {};
}

NString BuildCrashReport(const CrashRecord& r, const ProcessFacts& f) {
  const int a = f.address_digits;
  NString out = r.IsFatalError() ? "Fatal error: " + r.fatal_message : NString("Exception: ") + ExceptionText(r.code);
  out += "\r\n";
  out += "\r\nProduct: " + NString(kProductLine) + " " + f.version + " " + kEditionText + "\r\n";
  if (!r.IsFatalError()) {
    out += "Exception code: " + HexDigits(r.code, 8) + "\r\nAddress: " + HexDigits(r.address, a) + "\r\n";
    if (f.modules) out += "Module: " + ModuleNameAt(*f.modules, r.address) + "\r\n";
    if (r.code == kAccessViolationCode) {
      out += NString("Read/write: ") + AccessText(r.access) + "\r\nMemory address: " + HexDigits(r.memory_address, a) +
             "\r\n";
    }
  }
  out += "Thread ID: " + std::to_string(f.thread_id) + "  Main Thread: " + std::to_string(f.main_thread_id) + "\r\n";
  out += "Process/kernel/user time: " + SecondsText(f.running_time) + " / " + SecondsText(f.kernel_time) + " / " +
         SecondsText(f.user_time) + "\r\n";
  out += "OS: " + f.os + "\r\n";
  out += "IE: " + f.ie + "\r\n";
  if (!f.office.empty()) out += "Office: " + f.office + " (" + f.office_details + ")\r\n";
  out += "Language: " + f.language + "  Codepage: " + std::to_string(f.code_page) + "\r\n";
  out += "Locale: 0x" + HexDigits(f.locale, 8) + "\r\n";
  if (f.earlier_out_of_memory && !IsOutOfMemoryError(r)) out += kEarlierOutOfMemoryLine;
  const NString command_line = Trim(f.command_line);
  if (!command_line.empty()) out += "Command line: " + command_line + "\r\n";
  if (!r.IsFatalError() && r.context) AppendRegisters(out, *r.context);
  if (f.modules) {
    out += "\r\n\r\nModules:\r\n";
    for (const CrashModule& m : *f.modules) {
      out += HexDigits(m.base, a) + " " + HexDigits(m.base + m.size - (m.size ? 1 : 0), a) + " " + m.path + "\r\n";
    }
  }
  out += "\r\nCall Stack:\r\n";
  for (std::size_t i = 0; i < f.stack.size() && i < kMaxStackFrames; ++i) {
    const StackFrame& s = f.stack[i];
    out += HexDigits(s.program_counter, a) + " " + HexDigits(s.frame, a) + " " + s.symbol.substr(0, kMaxSymbolLength) +
           "\r\n";
  }
  return out;
}

}  // namespace ks
