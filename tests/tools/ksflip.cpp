// ksflip: runs damaged copies of one installer, each with one byte changed, in
// turn from one process, so that a sweep over hundreds of positions does not
// pay Wine's program start-up for every run.
//
//   ksflip INSTALLER LIST FOLDER SECONDS
//
// LIST is a text file with one change a line: "<name> <offset> <xor>"
// (decimal; <name> is a folder name, xor 0 leaves the copy as it is). For each
// line the installer is copied to FOLDER\<name>\setup.exe with the byte at
// <offset> XORed with <xor> and started as
//     setup.exe /silent /d:"FOLDER\<name>\App"
// in a job object of its own. The run ends when the installer and everything
// it started have ended, or after SECONDS, when the job is killed. One line
// is printed per change:
//     <name><TAB>exit<TAB><code><TAB><milliseconds>     (code as signed 32-bit)
//     <name><TAB>timeout<TAB><milliseconds>
//     <name><TAB>error<TAB><what>
// The damaged copy is deleted after its run; what the installer left in the
// folder stays for the caller to check.
// Exit status: 0 when every line was run, 1 on a usage or input error.

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct HandleOwner {
  HANDLE h = nullptr;
  explicit HandleOwner(HANDLE handle = nullptr) : h(handle) {}
  ~HandleOwner() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;
};

void Print(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

bool ReadWholeFile(const std::wstring& path, std::string& out) {
  HandleOwner file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.h, &size) || size.QuadPart > 0x7FFFFFFF) return false;
  out.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  return out.empty() || (ReadFile(file.h, &out[0], static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size());
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HandleOwner file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (file.h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  return WriteFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

struct Change {
  std::string name;
  std::uint64_t offset = 0;
  unsigned xor_value = 0;
};

// Runs the copy in `folder` and prints its line.
void RunOne(const Change& change, const std::wstring& folder, const std::wstring& exe, DWORD timeout_ms) {
  const std::wstring command = L"\"" + exe + L"\" /silent /d:\"" + folder + L"\\App\"";
  HandleOwner job(CreateJobObjectW(nullptr, nullptr));
  if (!job.h) {
    Print(change.name + "\terror\tCreateJobObject " + std::to_string(GetLastError()));
    return;
  }
  // The job announces on this port when its last process has ended.
  HandleOwner port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
  association.CompletionPort = port.h;
  if (!port.h || !SetInformationJobObject(job.h, JobObjectAssociateCompletionPortInformation, &association,
                                          sizeof association)) {
    Print(change.name + "\terror\tcompletion port " + std::to_string(GetLastError()));
    return;
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = command;
  const ULONGLONG start = GetTickCount64();
  // Suspended until it is in the job, so that nothing it starts escapes.
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, folder.c_str(), &si,
                      &pi)) {
    Print(change.name + "\terror\tCreateProcess " + std::to_string(GetLastError()));
    return;
  }
  HandleOwner process(pi.hProcess), thread(pi.hThread);
  if (!AssignProcessToJobObject(job.h, process.h)) {
    Print(change.name + "\terror\tAssignProcessToJobObject " + std::to_string(GetLastError()));
    TerminateProcess(process.h, 1);
    WaitForSingleObject(process.h, 5000);
    return;
  }
  ResumeThread(thread.h);
  const ULONGLONG deadline = start + timeout_ms;
  const auto left = [&]() -> DWORD {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
  };
  // What the installer started may still be writing; it belongs to the run,
  // which ends when the job's last process has.
  bool ended = false;
  DWORD message = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED overlapped = nullptr;
  while (!ended && GetQueuedCompletionStatus(port.h, &message, &key, &overlapped, left())) {
    ended = message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO;
  }
  const ULONGLONG elapsed = GetTickCount64() - start;
  if (!ended) {
    TerminateJobObject(job.h, 1);
    WaitForSingleObject(process.h, 5000);
    Print(change.name + "\ttimeout\t" + std::to_string(elapsed));
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process.h, &code);
    Print(change.name + "\texit\t" + std::to_string(static_cast<long>(static_cast<std::int32_t>(code))) + "\t" +
          std::to_string(elapsed));
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    Print("usage: ksflip INSTALLER LIST FOLDER SECONDS");
    return 1;
  }
  std::string original, list;
  if (!ReadWholeFile(argv[1], original) || !ReadWholeFile(argv[2], list)) {
    Print("error\tcannot read " + Narrow(argv[1]) + " or " + Narrow(argv[2]));
    return 1;
  }
  const std::wstring base = argv[3];
  const DWORD timeout_ms = static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10) * 1000);
  std::vector<Change> changes;
  std::istringstream lines(list);
  Change c;
  while (lines >> c.name >> c.offset >> c.xor_value) {
    if (c.offset >= original.size() || c.xor_value > 0xFF) {
      Print("error\tchange " + c.name + " lies outside the installer");
      return 1;
    }
    changes.push_back(c);
  }
  for (const Change& change : changes) {
    const std::wstring folder = base + L"\\" + std::wstring(change.name.begin(), change.name.end());
    const std::wstring exe = folder + L"\\setup.exe";
    std::string copy = original;
    copy[change.offset] = static_cast<char>(static_cast<unsigned char>(copy[change.offset]) ^ change.xor_value);
    CreateDirectoryW(folder.c_str(), nullptr);
    if (!WriteWholeFile(exe, copy)) {
      Print(change.name + "\terror\tcannot write " + Narrow(exe) + " (" + std::to_string(GetLastError()) + ")");
      continue;
    }
    RunOne(change, folder, exe, timeout_ms);
    DeleteFileW(exe.c_str());
  }
  return 0;
}
