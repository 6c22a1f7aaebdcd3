#include "crash/win/process_facts.h"

#include <dbghelp.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <vector>

#include "lib/fatal.h"
#include "lib/win/os_version_query.h"
#include "lib/win/owned.h"
#include "lib/win/reg_key.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "records/install_log.h"

namespace ks {
namespace {

std::uint64_t Ticks(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

void ReadTimes(ProcessFacts& f) {
  FILETIME created{}, ended{}, kernel{}, user{}, now{};
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user)) return;
  ::GetSystemTimeAsFileTime(&now);
  f.running_time = Ticks(now) > Ticks(created) ? Ticks(now) - Ticks(created) : 0;
  f.kernel_time = Ticks(kernel);
  f.user_time = Ticks(user);
}

WString ReadString(const wchar_t* key, const char16_t* value) {
  RegKey k;
  WString text;
  if (k.Open(HKEY_LOCAL_MACHINE, FromW(key), kRegOpenOnly, KEY_READ | kRegOwnView) == kRegFailed) return {};
  k.GetString(value, &text);
  return text;
}

void ReadBrowserAndOffice(ProcessFacts& f) {
  WString ie = ReadString(L"Software\\Microsoft\\Internet Explorer", u"svcVersion");
  if (ie.empty()) ie = ReadString(L"Software\\Microsoft\\Internet Explorer", u"Version");
  f.ie = WideToCp1252(ie);
  // The newest Office that names its installation folder.
  for (const wchar_t* version : {L"16.0", L"15.0", L"14.0", L"12.0", L"11.0", L"10.0", L"9.0"}) {
    const std::wstring key = std::wstring(L"Software\\Microsoft\\Office\\") + version + L"\\Common\\InstallRoot";
    const WString path = ReadString(key.c_str(), u"Path");
    if (path.empty()) continue;
    f.office = WideToCp1252(FromW(version));
    f.office_details = WideToCp1252(path);
    return;
  }
}

void ReadLanguage(ProcessFacts& f) {
  wchar_t name[128] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SENGLANGUAGE, name, 128) > 0) f.language = WideToCp1252(FromW(name));
  f.code_page = ::GetACP();
  f.locale = ::GetUserDefaultLCID();
}

// Through the process-module functions first, the snapshot otherwise.
std::optional<std::vector<CrashModule>> ListModules() {
  const HANDLE process = ::GetCurrentProcess();
  std::vector<HMODULE> handles(256);
  DWORD needed = 0;
  if (::EnumProcessModules(process, handles.data(), static_cast<DWORD>(handles.size() * sizeof(HMODULE)), &needed)) {
    if (needed > handles.size() * sizeof(HMODULE)) {
      handles.resize(needed / sizeof(HMODULE));
      if (!::EnumProcessModules(process, handles.data(), static_cast<DWORD>(handles.size() * sizeof(HMODULE)), &needed))
        needed = 0;
    }
    handles.resize(needed / sizeof(HMODULE));
    std::vector<CrashModule> modules;
    for (const HMODULE h : handles) {
      MODULEINFO info{};
      if (!::GetModuleInformation(process, h, &info, sizeof info)) continue;
      modules.push_back({reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll), info.SizeOfImage,
                         WideToCp1252(ModuleFileName(h))});
    }
    if (!modules.empty()) return modules;
  }
  const OwnedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
  if (!snapshot) return std::nullopt;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::vector<CrashModule> modules;
  for (BOOL more = ::Module32FirstW(snapshot.get(), &entry); more; more = ::Module32NextW(snapshot.get(), &entry)) {
    modules.push_back({reinterpret_cast<std::uintptr_t>(entry.modBaseAddr), entry.modBaseSize,
                       WideToCp1252(FromW(entry.szExePath))});
  }
  if (modules.empty()) return std::nullopt;
  return modules;
}

// ---- the call stack ----------------------------------------------------------

using SymInitializeFn = BOOL(WINAPI*)(HANDLE, PCSTR, BOOL);
using SymCleanupFn = BOOL(WINAPI*)(HANDLE);
using StackWalk64Fn = BOOL(WINAPI*)(DWORD, HANDLE, HANDLE, LPSTACKFRAME64, PVOID, PREAD_PROCESS_MEMORY_ROUTINE64,
                                    PFUNCTION_TABLE_ACCESS_ROUTINE64, PGET_MODULE_BASE_ROUTINE64,
                                    PTRANSLATE_ADDRESS_ROUTINE64);
using SymFromAddrFn = BOOL(WINAPI*)(HANDLE, DWORD64, PDWORD64, PSYMBOL_INFO);

#if defined(__x86_64__) || defined(_M_X64)
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_AMD64;
void StartFrame(const CONTEXT& c, STACKFRAME64& s) {
  s.AddrPC.Offset = c.Rip;
  s.AddrFrame.Offset = c.Rbp;
  s.AddrStack.Offset = c.Rsp;
}
#elif defined(__i386__) || defined(_M_IX86)
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_I386;
void StartFrame(const CONTEXT& c, STACKFRAME64& s) {
  s.AddrPC.Offset = c.Eip;
  s.AddrFrame.Offset = c.Ebp;
  s.AddrStack.Offset = c.Esp;
}
#else
#error "the call stack needs this processor's registers"
#endif

std::vector<StackFrame> WalkStack(const CONTEXT& crashed, HANDLE thread) {
  const OwnedModule dbghelp = LoadSystemLibrary(L"DBGHELP.DLL");
  const auto initialize = ProcAddress<SymInitializeFn>(dbghelp.get(), "SymInitialize");
  const auto cleanup = ProcAddress<SymCleanupFn>(dbghelp.get(), "SymCleanup");
  const auto walk = ProcAddress<StackWalk64Fn>(dbghelp.get(), "StackWalk64");
  const auto table_access =
      ProcAddress<PFUNCTION_TABLE_ACCESS_ROUTINE64>(dbghelp.get(), "SymFunctionTableAccess64");
  const auto module_base = ProcAddress<PGET_MODULE_BASE_ROUTINE64>(dbghelp.get(), "SymGetModuleBase64");
  const auto from_address = ProcAddress<SymFromAddrFn>(dbghelp.get(), "SymFromAddr");
  std::vector<StackFrame> frames;
  if (!initialize || !cleanup || !walk || !table_access || !module_base || !from_address) return frames;
  const HANDLE process = ::GetCurrentProcess();
  if (!initialize(process, nullptr, TRUE)) return frames;
  CONTEXT context = crashed;  // the walk changes it
  STACKFRAME64 s{};
  StartFrame(context, s);
  s.AddrPC.Mode = s.AddrFrame.Mode = s.AddrStack.Mode = AddrModeFlat;
  std::vector<std::uint8_t> buffer(sizeof(SYMBOL_INFO) + kMaxSymbolLength + 1);
  auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer.data());
  while (frames.size() < kMaxStackFrames &&
         walk(kMachine, process, thread, &s, &context, nullptr, table_access, module_base, nullptr) &&
         s.AddrPC.Offset != 0) {
    StackFrame frame;
    frame.program_counter = s.AddrPC.Offset;
    frame.frame = s.AddrFrame.Offset;
    std::fill(buffer.begin(), buffer.end(), 0);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = kMaxSymbolLength;
    DWORD64 displacement = 0;
    if (from_address(process, s.AddrPC.Offset, &displacement, symbol)) {
      frame.symbol.assign(symbol->Name, strnlen(symbol->Name, kMaxSymbolLength));
    }
    frames.push_back(std::move(frame));
  }
  cleanup(process);
  return frames;
}

}  // namespace

ProcessorContext ProcessorContextOf(const CONTEXT& c) {
  ProcessorContext p;
  p.flags = c.EFlags;
#if defined(__x86_64__) || defined(_M_X64)
  p.wide = true;
  p.ax = c.Rax, p.bx = c.Rbx, p.cx = c.Rcx, p.dx = c.Rdx, p.di = c.Rdi, p.si = c.Rsi;
  p.ip = c.Rip, p.bp = c.Rbp, p.sp = c.Rsp;
  p.r8_to_r15 = {c.R8, c.R9, c.R10, c.R11, c.R12, c.R13, c.R14, c.R15};
#else
  p.ax = c.Eax, p.bx = c.Ebx, p.cx = c.Ecx, p.dx = c.Edx, p.di = c.Edi, p.si = c.Esi;
  p.ip = c.Eip, p.bp = c.Ebp, p.sp = c.Esp;
#endif
  // Segment selectors are 16 bits; the context's wider fields may carry leftovers above them.
  p.cs = c.SegCs & 0xFFFF, p.ds = c.SegDs & 0xFFFF, p.es = c.SegEs & 0xFFFF;
  p.fs = c.SegFs & 0xFFFF, p.gs = c.SegGs & 0xFFFF, p.ss = c.SegSs & 0xFFFF;
  return p;
}

ProcessFacts GatherProcessFacts(const CONTEXT& context, HANDLE thread, DWORD thread_id, DWORD main_thread_id) {
  ProcessFacts f;
  f.address_digits = static_cast<int>(sizeof(void*) * 2);
  f.version = kInstallerVersion;
  f.thread_id = thread_id;
  f.main_thread_id = main_thread_id;
  ReadTimes(f);
  f.os = WideToCp1252(GetOsNameW());
  ReadBrowserAndOffice(f);
  ReadLanguage(f);
  f.earlier_out_of_memory = OutOfMemoryOccurred();
  f.command_line = WideToCp1252(FromW(::GetCommandLineW()));
  f.modules = ListModules();
  f.stack = WalkStack(context, thread);
  return f;
}

}  // namespace ks
