#include "crash/exception_texts.h"

namespace ks {
namespace {

struct ExceptionDescription {
  std::uint32_t code;
  const char* text;
};

// Searched in order; the end marker's code is 0xFFFFFFFF.
constexpr ExceptionDescription kExceptionTexts[] = {
    {0xC0000005, "Illegal memory access."},
    {0xC000008C, "Array element is out of bounds."},
    {0x80000003, "Breakpoint encountered."},
    {0x80000002, "Misaligned memory access."},
    {0xC000008D, "One of the operands in a floating-point operation is denormal (too small to represent)."},
    {0xC000008E, "Floating-point division by zero."},
    {0xC000008F, "Floating-point operation cannot be represented exactly as a decimal fraction."},
    {0xC0000090, "Invalid floating point operation."},
    {0xC0000091,
     "The exponent of a floating-point operation is greater than the magnitude allowed by the corresponding type."},
    {0xC0000092, "The stack overflowed or underflowed as the result of a floating-point operation."},
    {0xC0000093,
     "The exponent of a floating-point operation is less than the magnitude allowed by the corresponding type."},
    {0xC000001D, "Invalid instruction executed."},
    {0xC0000006, "Failed to load page into physical memory."},
    {0xC0000094, "Integer divide by zero."},
    {0xC0000095, "Integer overflow."},
    {0xC0000026, "An exception handler returned an invalid disposition."},
    {0xC0000025, "Cannot continue after a noncontinuable exception occurred."},
    {0xC0000096, "Attempt to execute a privileged instruction."},
    {0x80000004, "Single step."},
    {0xC00000FD, "Stack overflow."},
    {0xC000013A, "Ctrl+C pressed."},
    {0x80000001, "Memory Allocated as PAGE_GUARD by VirtualAlloc() was accessed."},
    {0xC0000017,
     "Called by HeapAlloc() if you specify HEAP_GENERATE_EXCEPTIONS and there is no memory or heap corruption."},
    {0xC015000F, "The activation context being deactivated is not the most recently activated one."},
    {0xE06D7363, "Visual C++ structured exception handling."},
    {0x8007000E, "Out of memory."},
    {0xFFFFFFFF, ""},
};

}  // namespace

const char* ExceptionText(std::uint32_t code) {
  for (const ExceptionDescription& d : kExceptionTexts) {
    if (d.code == code || d.code == 0xFFFFFFFF) return d.text;
  }
  return "";
}

}  // namespace ks
