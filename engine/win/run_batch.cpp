#include "engine/win/run_batch.h"

#include <windows.h>

#include "core/win/reports.h"
#include "engine/special_folders.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/special_folders.h"
#include "lib/file_result.h"
#include "lib/win/file.h"
#include "lib/win/os_version_query.h"
#include "lib/win/owned.h"
#include "lib/win/process_start.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// How often the installer's windows are served while a batch runs.
constexpr DWORD kPumpIntervalMs = 75;
// Enough fresh capture names for any folder a person could fill.
constexpr unsigned kCaptureNameAttempts = 10000;

bool PathExists(const WString& path) { return ::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

bool FolderExists(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The 8.3 form keeps the command free of blanks; the long path when the
// volume has no short names.
WString ShortPathOf(const WString& path) {
  const DWORD needed = ::GetShortPathNameW(W(path), nullptr, 0);
  if (needed == 0) return path;
  WString out(needed, u'\0');
  const DWORD written = ::GetShortPathNameW(W(path), W(out), needed);
  if (written == 0 || written >= needed) return path;
  out.resize(written);
  return out;
}

// Shown unless automatic, always logged.
void ReportBatchFailure(const BatchContext& context, const WString& message) {
  if (!context.automatic && !context.silent) ErrorBox(*context.texts, message);
  context.log->Wide(message + u"\r\n\r\n");
}

// The interpreter must never run half a script.
bool WriteBatchFile(const BatchContext& context, const WString& path, const NString& bytes) {
  const FileResult result = WriteFileAtomically(path, bytes.data(), bytes.size());
  if (result == kFileSuccess) return true;
  ReportBatchFailure(context, CreateFailedMessage(path, FileResultMessageW(result)));
  return false;
}

// A new, empty capture file in `folder` that replaces nothing; empty when
// none could be created (logged; the batch then runs without capture).
WString CreateCaptureFile(InstallLog& log, const WString& folder) {
  FileResult result = kFileExists;
  for (unsigned n = 0; n < kCaptureNameAttempts; ++n) {
    const WString path = JoinPath(folder, CaptureFileName(n));
    if (PathExists(path)) continue;
    const HANDLE file = ::CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      ::CloseHandle(file);
      return path;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS) continue;  // appeared meanwhile
    result = FileResultFromSystemError(error, kFileWriteFailed);
    break;
  }
  log.Narrow(kCaptureFailedText);
  log.Wide(FileResultMessageW(result) + u"\r\n");
  return WString();
}

// Starts the command and waits for it while the installer's windows stay
// responsive; the exit code is not judged. 0 or the system's error.
DWORD RunAndWait(const WString& command, const WString& folder, bool hidden) {
  ProcessStart start;
  start.command_line = command;
  start.folder = folder;
  start.hidden = hidden;
  OwnedHandle process;
  if (const DWORD error = StartProcess(start, &process)) return error;
  WaitForProcess(process.get(), kPumpIntervalMs, ServeWindowMessages);
  return 0;
}

// The capture holds what the interpreter wrote in the code page the batch
// chose; the step log is UTF-8.
void LogCapturedOutput(InstallLog& log, const WString& capture_path, bool utf8) {
  File file;
  std::vector<std::uint8_t> bytes;
  if (file.Open(capture_path, kFileRead) != kFileSuccess || file.Load(bytes) != kFileSuccess) return;
  const NString text = CapturedOutputForLog(NStringView(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (text.empty()) return;
  if (utf8) {
    log.Wide(Utf8ToWide(text));
  } else {
    log.Narrow(text);
  }
}

// No batch file survives its run: what cannot go now goes at the next restart.
void RemoveAfterRun(const WString& path) {
  if (path.empty() || !PathExists(path)) return;
  if (!::DeleteFileW(W(path))) ScheduleDeletion(path);
}

bool IsUtf8Batch(const NString& bytes) { return bytes.rfind("@chcp 65001 ", 0) == 0; }

WString Decoded(const NString& setting, const NString& addition) {
  return AppendBatchAddition(Cp1252ToWide(setting), AnsiToWide(addition));
}

}  // namespace

WString BatchFolder(const PathVariables& vars) {
  const WString install_dir = vars.Inputs().install_dir;
  if (!install_dir.empty() && FolderExists(install_dir)) return install_dir;
  return SpecialFolderPath(SpecialFolder::kTemp);
}

WString BatchInterpreter() {
  return ChooseInterpreter(ExpandEnvironmentText(u"%comspec%"), GetSystemVersion(),
                           SpecialFolderPath(SpecialFolder::kWindows), SpecialFolderPath(SpecialFolder::kSystem32Bit));
}

NString BatchFileFor(const PathVariables& vars, bool uninstalling, const WString& script, bool remove_pause) {
  BatchFileInput in;
  const PathVariableInputs inputs = vars.Inputs();
  in.value_of = [&inputs](PathVariable variable) { return PathVariableValue(variable, inputs, RunningSystem()); };
  in.uninstalling = uninstalling;
  in.remove_pause = remove_pause;
  in.script = script;
  return BatchFileBytes(in, GetSystemVersion());
}

bool RunBatch(const BatchContext& context, const BatchRun& batch) {
  if (IsBlankScript(batch.script)) return true;
  InstallLog& log = *context.log;
  const bool hidden = batch.hidden || context.silent;
  const bool capture = !batch.label.empty();
  if (capture) log.Narrow(RunningLine(batch.label));

  const WString interpreter = BatchInterpreter();
  if (!PathExists(interpreter)) {
    log.Wide(MissingInterpreterLine(interpreter));
    return false;
  }
  const WString folder = BatchFolder(*context.vars);
  const WString batch_path = JoinPath(folder, kBatchFileName);
  const NString bytes =
      BatchFileFor(*context.vars, context.uninstalling, batch.script, context.automatic || hidden);
  if (!WriteBatchFile(context, batch_path, bytes)) return false;

  const WString capture_path = capture ? CreateCaptureFile(log, folder) : WString();
  const WString command = InterpreterCommand(
      interpreter, BatchCommandLine(ShortPathOf(batch_path), capture_path.empty() ? WString() : ShortPathOf(capture_path)));
  const DWORD error = RunAndWait(command, folder, hidden);
  if (error != 0) {
    ReportBatchFailure(context, LaunchFailedMessage(batch_path, SystemErrorText(error), command));
  } else if (!capture_path.empty()) {
    LogCapturedOutput(log, capture_path, IsUtf8Batch(bytes));
  }
  RemoveAfterRun(capture_path);
  RemoveAfterRun(batch_path);
  return error == 0;
}

bool RunBatch(const BatchContext& context, bool hidden, NStringView label, NStringView script) {
  return RunBatch(context, BatchRun{hidden, NString(label), Cp1252ToWide(script)});
}

void RunPreparationBatches(const BatchContext& context, const InstallSettings& settings,
                           std::uint32_t archive_flags, const NString& addition, InstallType install_type,
                           bool earlier_folder_exists) {
  PreparationBatchInput in;
  in.product_flags = settings.product_flags;
  in.archive_flags = archive_flags;
  in.existing = HasFlag(settings.product_flags, product_flag::kRegisterUninstaller) ? static_cast<int>(install_type) : 0;
  in.earlier_folder_exists = earlier_folder_exists;
  in.pre_installation = Decoded(settings.pre_install_batch, addition);
  in.upgrade = Cp1252ToWide(settings.upgrade_batch);
  in.reinstall = Cp1252ToWide(settings.reinstall_batch);
  for (const BatchRun& run : PreparationBatches(in)) RunBatch(context, run);
}

bool RunPostInstallationBatch(const BatchContext& context, const InstallSettings& settings,
                              std::uint32_t archive_flags, const NString& addition) {
  return RunBatch(context, PostInstallationBatch(settings.product_flags, archive_flags,
                                                 Decoded(settings.post_install_batch, addition)));
}

bool RunInstallationExitBatch(const BatchContext& context, const InstallSettings& settings,
                              const NString& addition) {
  return RunBatch(context, InstallationExitBatch(settings.product_flags, Decoded(settings.exit_batch, addition)));
}

bool RunUninstallBatch(const BatchContext& context, int number, ProductFlags product_flags, NStringView script) {
  return RunBatch(context, UninstallBatch(number, product_flags, Cp1252ToWide(script)));
}

}  // namespace ks
