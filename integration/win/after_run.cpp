#include "integration/win/after_run.h"

#include <shellapi.h>

#include "engine/path_variables.h"
#include "lib/win/privilege.h"
#include "lib/win/process_start.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr DWORD kRestartReason = SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_APPLICATION |
                                 SHTDN_REASON_MINOR_INSTALLATION;  // 0x80040002

// The program's folder: the command's first word, quoted or not.
WString ProgramFolderOf(const WString& command) {
  WString program;
  if (!command.empty() && command[0] == u'"') {
    const std::size_t close = command.find(u'"', 1);
    program = command.substr(1, close == WString::npos ? WString::npos : close - 1);
  } else {
    program = command.substr(0, command.find(u' '));
  }
  const WString folder = FolderOfFile(program);
  const DWORD attributes = ::GetFileAttributesW(W(folder));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? folder : WString();
}

}  // namespace

DWORD RequestSystemRestart() {
  EnablePrivilegeForProcess(SE_SHUTDOWN_NAME);
  // Wine implements the shutdown call as a no-op that reports its arguments
  // ("fixme:advapi:InitiateSystemShutdownExW").
  if (::InitiateSystemShutdownExW(nullptr, nullptr, 0, FALSE, TRUE, kRestartReason)) return 0;
  if (::ExitWindowsEx(EWX_REBOOT, kRestartReason)) return 0;
  const DWORD error = ::GetLastError();
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

DWORD StartRunAfter(const WString& command, const RunAfterRules& rules) {
  if (command.empty()) return 0;
  ProcessStart start;
  start.command_line = command;
  if (rules.in_program_folder) start.folder = ProgramFolderOf(command);
  const DWORD error = StartProcess(start);
  if (error == 0 || !rules.open_as_document) return error;
  const auto opened = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", W(command), nullptr, nullptr, SW_SHOWNORMAL));
  return opened > 32 ? 0 : error;
}

}  // namespace ks
