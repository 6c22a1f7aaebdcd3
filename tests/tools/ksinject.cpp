// ksinject: crashes a running program from outside, for the crash-report
// tests. It injects a thread into the program (VirtualAllocEx and
// CreateRemoteThread), which crashes there the way the test asks, and waits
// until the program has ended.
//
//   ksinject ANCESTOR write-0x10
//   ksinject ANCESTOR raise CODE [MESSAGE]
//
// ANCESTOR is the executable file name of the program to crash; the nearest
// process of that name among ksinject's ancestors is taken, so that a batch
// file the program runs can name it without knowing its process id (and
// another copy elsewhere is never hit).
//   write-0x10   the thread starts in InitializeSListHead with the address
//                0x10, which the system function writes to
//   raise        the thread calls RaiseException(CODE, noncontinuable, 1,
//                &MESSAGE): one parameter, the address of the zero-terminated
//                message in the program's memory
// Output lines: injected<TAB>THREAD_ID, then ended<TAB>EXIT_CODE (signed), or
// error<TAB>TEXT. Exit status: 0 when the program ended, 1 on errors, 2 when
// it still ran after two minutes.

#include <windows.h>

#include <tlhelp32.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

void Emit(const std::string& line) {
  const std::string bytes = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Fail(const std::string& what) {
  Emit("error\t" + what + " (system error " + std::to_string(GetLastError()) + ")");
  return 1;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
  return s;
}

// The nearest ancestor of this process whose executable is `name`; 0 if none.
DWORD AncestorNamed(const std::wstring& name) {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (snapshot.get() == INVALID_HANDLE_VALUE) return 0;
  std::map<DWORD, std::pair<DWORD, std::wstring>> processes;  // id -> parent, name
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    processes[entry.th32ProcessID] = {entry.th32ParentProcessID, Lower(entry.szExeFile)};
  }
  DWORD id = GetCurrentProcessId();
  for (int depth = 0; depth < 64; ++depth) {
    const auto it = processes.find(id);
    if (it == processes.end()) return 0;
    id = it->second.first;
    const auto parent = processes.find(id);
    if (parent != processes.end() && parent->second.second == Lower(name)) return id;
  }
  return 0;
}

std::wstring BaseName(const std::wstring& path) { return Lower(path.substr(path.find_last_of(L"\\/") + 1)); }

// The address of `function` of kernel32 in process `pid`: the same system
// file is mapped at the same offsets there, whatever module (kernel32 or the
// one it forwards to) implements it.
std::uintptr_t RemoteFunction(DWORD pid, const char* function) {
  const FARPROC local = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), function);
  HMODULE module = nullptr;
  if (!local || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    reinterpret_cast<LPCWSTR>(local), &module))
    return 0;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  const std::wstring wanted = BaseName(path);
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid));
  if (snapshot.get() == INVALID_HANDLE_VALUE) return 0;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry)) {
    if (BaseName(entry.szExePath) == wanted) {
      return reinterpret_cast<std::uintptr_t>(entry.modBaseAddr) +
             (reinterpret_cast<std::uintptr_t>(local) - reinterpret_cast<std::uintptr_t>(module));
    }
  }
  return 0;
}

// A thread procedure taking a pointer to {RaiseException, code, message
// pointer} and calling RaiseException(code, EXCEPTION_NONCONTINUABLE, 1,
// &message pointer).
#if defined(__x86_64__)
// Arguments in rcx, edx, r8d, r9; a tail jump, so that the system's unwinder
// finds the thread start's frame behind RaiseException, not this stub's.
const unsigned char kRaiseStub[] = {
    0x48, 0x89, 0xC8,                    // mov rax, rcx
    0x8B, 0x48, 0x08,                    // mov ecx, [rax+8]
    0xBA, 0x01, 0x00, 0x00, 0x00,        // mov edx, 1
    0x41, 0xB8, 0x01, 0x00, 0x00, 0x00,  // mov r8d, 1
    0x4C, 0x8D, 0x48, 0x10,              // lea r9, [rax+16]
    0xFF, 0x20,                          // jmp [rax]
};
struct RaiseBlock {
  std::uint64_t function;
  std::uint64_t code;
  std::uint64_t message;
};
#else
const unsigned char kRaiseStub[] = {
    0x8B, 0x44, 0x24, 0x04,  // mov eax, [esp+4]
    0x8D, 0x48, 0x08,        // lea ecx, [eax+8]
    0x51,                    // push ecx
    0x6A, 0x01,              // push 1
    0x6A, 0x01,              // push 1
    0xFF, 0x70, 0x04,        // push dword [eax+4]
    0xFF, 0x10,              // call [eax]
    0xC2, 0x04, 0x00,        // ret 4
};
struct RaiseBlock {
  std::uint32_t function;
  std::uint32_t code;
  std::uint32_t message;
};
#endif

int Main(int argc, wchar_t** argv) {
  if (argc < 3) {
    Emit("error\tusage: ksinject ANCESTOR (write-0x10 | raise CODE [MESSAGE])");
    return 1;
  }
  const std::wstring mode = argv[2];
  const DWORD pid = AncestorNamed(argv[1]);
  if (pid == 0) return Fail("no ancestor process of that name");
  UniqueHandle process(OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                       PROCESS_VM_WRITE | PROCESS_VM_READ | SYNCHRONIZE,
                                   FALSE, pid));
  if (!process) return Fail("OpenProcess");

  std::uintptr_t start = 0, parameter = 0;
  if (mode == L"write-0x10") {
    start = RemoteFunction(pid, "InitializeSListHead");
    parameter = 0x10;
  } else if (mode == L"raise" && argc >= 4) {
    const std::uintptr_t raise = RemoteFunction(pid, "RaiseException");
    if (raise == 0) return Fail("RaiseException not found in the program");
    std::string message;
    for (const wchar_t* p = argc >= 5 ? argv[4] : L""; *p; ++p) message += static_cast<char>(*p);
    // The stub, the block behind it, the message behind that.
    const std::size_t block_at = (sizeof kRaiseStub + 15) & ~std::size_t{15};
    const std::size_t message_at = block_at + sizeof(RaiseBlock);
    std::vector<unsigned char> page(message_at + message.size() + 1, 0);
    void* remote = VirtualAllocEx(process.get(), nullptr, page.size(), MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    if (!remote) return Fail("VirtualAllocEx");
    const auto base = reinterpret_cast<std::uintptr_t>(remote);
    RaiseBlock block{};
    block.function = static_cast<decltype(block.function)>(raise);
    block.code = static_cast<std::uint32_t>(wcstoul(argv[3], nullptr, 16));
    block.message = static_cast<decltype(block.message)>(base + message_at);
    std::memcpy(page.data(), kRaiseStub, sizeof kRaiseStub);
    std::memcpy(page.data() + block_at, &block, sizeof block);
    std::memcpy(page.data() + message_at, message.c_str(), message.size() + 1);
    if (!WriteProcessMemory(process.get(), remote, page.data(), page.size(), nullptr)) return Fail("WriteProcessMemory");
    FlushInstructionCache(process.get(), remote, page.size());
    start = base;
    parameter = base + block_at;
  } else {
    Emit("error\tunknown mode");
    return 1;
  }
  if (start == 0) return Fail("the thread's start was not found in the program");
  DWORD thread_id = 0;
  UniqueHandle thread(CreateRemoteThread(process.get(), nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(start),
                                         reinterpret_cast<void*>(parameter), 0, &thread_id));
  if (!thread) return Fail("CreateRemoteThread");
  Emit("injected\t" + std::to_string(thread_id));
  if (WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0) {
    Emit("error\tthe program still runs");
    return 2;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  Emit("ended\t" + std::to_string(static_cast<long>(static_cast<int>(code))));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) { return Main(argc, argv); }
