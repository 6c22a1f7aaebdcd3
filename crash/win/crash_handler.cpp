#include "crash/win/crash_handler.h"

#include <cstring>
#include <utility>

#include "core/command_line.h"
#include "core/win/fatal_error.h"
#include "crash/crash_report.h"
#include "crash/win/exception_dialog.h"
#include "crash/win/process_facts.h"
#include "crash/win/report_post.h"
#include "lib/fatal.h"
#include "lib/win/message_boxes.h"
#include "lib/win/owned.h"
#include "lib/win/system_library.h"
#include "lib/win/terminate.h"
#include "lib/win/wide.h"
#include "records/install_log.h"

namespace ks {
namespace {

HINSTANCE g_instance = nullptr;
ReportAddresses g_addresses;
DWORD g_main_thread = 0;
CrashRecorder g_recorder;
// The thread handling a crash; 0 until one crashes.
volatile LONG g_crash_thread = 0;

constexpr std::size_t kMaxFatalMessage = 64 * 1024;
constexpr ULONG kStackOverflowReserve = 64 * 1024;

NString ResourceText(HINSTANCE instance, UINT id) {
  // A zero length asks for a pointer to the resource's own (uncounted) text.
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(instance, id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 && text ? WideToCp1252(FromW(text, static_cast<std::size_t>(length))) : NString();
}

// The fatal error's message, read so that a bad pointer in a raised
// exception ends the copy instead of crashing the handler.
NString MessageAt(ULONG_PTR address) {
  NString ansi;
  char chunk[256];
  for (ULONG_PTR at = address; at != 0 && ansi.size() < kMaxFatalMessage; at += sizeof chunk) {
    SIZE_T got = 0;
    // Byte by byte at the end of a readable region.
    if (!::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<const void*>(at), chunk, sizeof chunk, &got)) {
      got = 0;
      while (got < sizeof chunk &&
             ::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<const void*>(at + got), chunk + got, 1, nullptr))
        ++got;
    }
    const std::size_t n = strnlen(chunk, got);
    ansi.append(chunk, n);
    if (n < sizeof chunk) break;
  }
  return WideToCp1252(AnsiToWide(ansi));
}

bool IsPassedOn(DWORD code) {
  return code == 0xC0000025 || code == 0xE06D7363 || code == 0x80000003 || code == 0x80000004;
}

void SendReport(const NString& report, const ReportInput& input) {
  const NString program = WideToCp1252(FileNameOf(ModuleFileName(nullptr)));
  const NString form = ReportForm(g_addresses.support, ReportBody(report, input),
                                  ReportSubject(kInstallerVersion, program), ReportHeaders(input.email));
  // The cursor of work going on in the background while the report travels.
  ::SetCursor(::LoadCursorW(nullptr, IDC_APPSTARTING));
  PostReportForm(Cp1252ToWide(g_addresses.endpoint), form);
  ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
}

struct Crash {
  CrashRecord record;
  CONTEXT context;
  HANDLE thread;
  DWORD thread_id;
};

void HandleCrash(const Crash& crash) {
  const ProcessFacts facts = GatherProcessFacts(crash.context, crash.thread, crash.thread_id, g_main_thread);
  const NString report = BuildCrashReport(crash.record, facts);
  // A fatal error raised while the log is written must not write it again.
  SetFatalErrorRecorder(nullptr);
  if (const CrashRecorder recorder = std::exchange(g_recorder, nullptr)) recorder(Cp1252ToWide(kCrashMarker + report));
  if (MessageBoxesSilent()) return;
  // Owned by the installer's windows only when they belong to this thread.
  const HWND owner = crash.thread_id == g_main_thread ? MessageBoxOwner() : nullptr;
  const std::optional<ReportInput> input = ShowExceptionDialog(g_instance, owner, report, g_addresses.support);
  if (input && !g_addresses.endpoint.empty()) SendReport(report, *input);
}

// The report of a stack overflow, made on a thread with a stack of its own
// from the crashed thread's exception information, which stays in place
// while that thread waits. The crash is this thread's from now on: a crash
// of the report ends the process at once, and an end begun here goes on.
struct Overflow {
  EXCEPTION_POINTERS* info;
  HANDLE thread;
  DWORD thread_id;
};

DWORD WINAPI ReportOverflow(void* parameter) {
  const Overflow& overflow = *static_cast<const Overflow*>(parameter);
  ::InterlockedExchange(&g_crash_thread, static_cast<LONG>(::GetCurrentThreadId()));
  HoldEndWhileCrashReported(::GetCurrentThreadId());
  HandleCrash(Crash{CrashRecordOf(*overflow.info->ExceptionRecord, *overflow.info->ContextRecord),
                    *overflow.info->ContextRecord, overflow.thread, overflow.thread_id});
  return 0;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (IsPassedOn(code)) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD self = ::GetCurrentThreadId();
  const LONG handler = ::InterlockedCompareExchange(&g_crash_thread, static_cast<LONG>(self), 0);
  if (handler != 0) {
    // The handler itself crashed: end at once. Another thread's crash
    // waits for the report in progress, which ends the process.
    if (static_cast<DWORD>(handler) == self) ::TerminateProcess(::GetCurrentProcess(), code);
    WaitForProcessEnd();
  }
  HoldEndWhileCrashReported(self);
  if (code == kStackOverflowCode) {
    // Hardly any stack is left here: the report is made elsewhere, and the
    // process ends as soon as it is done.
    Overflow overflow{info, nullptr, self};
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &overflow.thread, 0,
                      FALSE, DUPLICATE_SAME_ACCESS);
    const HANDLE worker = ::CreateThread(nullptr, 1 << 20, ReportOverflow, &overflow, 0, nullptr);
    if (worker) ::WaitForSingleObject(worker, INFINITE);
    ::TerminateProcess(::GetCurrentProcess(), code);
  }
  HandleCrash(Crash{CrashRecordOf(*info->ExceptionRecord, *info->ContextRecord), *info->ContextRecord,
                    ::GetCurrentThread(), self});
  return EXCEPTION_EXECUTE_HANDLER;
}

void CrashHook(NStringView text) { RaiseFatalErrorException(text); }

}  // namespace

CrashRecord CrashRecordOf(const EXCEPTION_RECORD& e, const CONTEXT& context) {
  CrashRecord r;
  r.code = e.ExceptionCode;
  r.address = reinterpret_cast<std::uintptr_t>(e.ExceptionAddress);
  r.continuable = (e.ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0;
  r.context = ProcessorContextOf(context);
  if (r.code == kAccessViolationCode && e.NumberParameters >= 2) {
    const ULONG_PTR kind = e.ExceptionInformation[0];
    r.access = kind == 1 ? MemoryAccess::kWrite : kind == 8 ? MemoryAccess::kExecute : MemoryAccess::kRead;
    r.memory_address = e.ExceptionInformation[1];
  }
  if (r.code == kFatalErrorCode && e.NumberParameters >= 1) r.fatal_message = MessageAt(e.ExceptionInformation[0]);
  return r;
}

void InstallCrashHandling(HINSTANCE instance) {
  g_instance = instance;
  g_main_thread = ::GetCurrentThreadId();
  // A stack overflow is raised when the stack reaches its last pages; the
  // system needs room beyond them to deliver it to the filter.
  ULONG guarantee = kStackOverflowReserve;
  ::SetThreadStackGuarantee(&guarantee);
  g_addresses.support = ResourceText(instance, kSupportAddressStringId);
  g_addresses.endpoint = ResourceText(instance, kReportEndpointStringId);
  ::SetUnhandledExceptionFilter(CrashFilter);
  SetCrashHook(CrashHook);
}

void SetCrashRecorder(CrashRecorder recorder) { g_recorder = std::move(recorder); }

const ReportAddresses& CrashReportAddresses() { return g_addresses; }

void RaiseFatalErrorException(NStringView text) {
  // Zero-terminated, and alive while the filter reads it: the filter runs
  // before this frame is left.
  const NString message(text);
  const ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(message.c_str());
  ::RaiseException(kFatalErrorCode, EXCEPTION_NONCONTINUABLE, 1, &argument);
  // Only a debugger that continues gets here.
  ::TerminateProcess(::GetCurrentProcess(), kFatalErrorCode);
  for (;;) ::Sleep(INFINITE);
}

}  // namespace ks
