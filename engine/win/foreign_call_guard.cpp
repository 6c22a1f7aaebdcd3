#include "engine/win/foreign_call_guard.h"

#include <windows.h>

namespace ks {
namespace {

// The guard in effect: the thread it protects and where to resume. A
// vectored handler sees the fault first, before any frame handler; it sends
// the thread to Landing, which jumps back into CallGuarded. Exceptions that
// code raises on purpose (RPC errors, C++ exceptions) are not faults and pass.
DWORD g_thread = 0;
void* g_resume[5];
volatile DWORD g_fault = 0;

bool IsFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void Landing() { __builtin_longjmp(g_resume, 1); }

LONG CALLBACK FaultHandler(EXCEPTION_POINTERS* info) {
  if (g_thread != ::GetCurrentThreadId() || !IsFault(info->ExceptionRecord->ExceptionCode))
    return EXCEPTION_CONTINUE_SEARCH;
  g_fault = info->ExceptionRecord->ExceptionCode;
  CONTEXT* c = info->ContextRecord;
  // Resume in Landing on the faulting stack, a little below the fault, aligned
  // as right after a call.
#if defined(__x86_64__) || defined(_M_X64)
  c->Rsp = ((c->Rsp - 512) & ~static_cast<DWORD64>(15)) - 8;
  c->Rip = reinterpret_cast<DWORD64>(&Landing);
#elif defined(__i386__) || defined(_M_IX86)
  c->Esp = ((c->Esp - 512) & ~static_cast<DWORD>(15)) - 4;
  c->Eip = reinterpret_cast<DWORD>(&Landing);
#else
#error "CallGuarded needs the stack and instruction registers of this processor"
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

// On 32-bit x86 the frame handlers form a chain of records on the stack,
// headed in the thread block. A fault abandons the foreign frames without
// unwinding them, so the head must be put back to the record that was current
// before the call, or the next exception would walk dead stack.
#if defined(__i386__) || defined(_M_IX86)
// The head is the first word of the thread block, at fs:0.
void* g_handler_chain = nullptr;
void SaveHandlerChain() { __asm__ volatile("movl %%fs:0, %0" : "=r"(g_handler_chain)); }
void RestoreHandlerChain() { __asm__ volatile("movl %0, %%fs:0" : : "r"(g_handler_chain) : "memory"); }
#else
void SaveHandlerChain() {}
void RestoreHandlerChain() {}
#endif

// Kept out of line so that the resume point's frame is this function's own.
__attribute__((noinline)) bool RunWithResumePoint(ForeignCall call, void* context) {
  SaveHandlerChain();
  if (__builtin_setjmp(g_resume) != 0) {
    RestoreHandlerChain();
    return false;
  }
  call(context);
  return true;
}

}  // namespace

bool CallGuarded(ForeignCall call, void* context, std::uint32_t* fault_code) {
  PVOID handler = ::AddVectoredExceptionHandler(1, FaultHandler);
  g_fault = 0;
  g_thread = ::GetCurrentThreadId();
  const bool returned = RunWithResumePoint(call, context);
  g_thread = 0;
  if (handler) ::RemoveVectoredExceptionHandler(handler);
  if (fault_code) *fault_code = returned ? 0 : g_fault;
  return returned;
}

}  // namespace ks
