#pragma once
// The product's batch scripts as text: which batch runs when, the
// "SETUPBAT.BAT" file that sets every path variable before the script's own
// lines, the code page it is written in, and the command that runs it.
// Everything here is a function of plain data; engine/win/run_batch.h writes
// the file, starts the command interpreter and waits for it.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/product_flags.h"
#include "engine/path_variables.h"
#include "lib/os_version.h"
#include "lib/text.h"

namespace ks {

inline constexpr const char16_t* kBatchFileName = u"SETUPBAT.BAT";
inline constexpr const char16_t* kCaptureFileName = u"ks_batch.log";

// Bits of the archive flags that choose the batches.
namespace batch_archive_flag {
// The Reinstall Batch runs over an earlier installation only when that is a
// reinstallation (%Existing% 1).
inline constexpr std::uint32_t kReinstallOnlyWhenSame = 0x001;
// Name the batch in the log and capture its output.
inline constexpr std::uint32_t kLogPreInstallation = 0x040;
inline constexpr std::uint32_t kLogPostInstallation = 0x080;
inline constexpr std::uint32_t kLogUpgrade = 0x100;
inline constexpr std::uint32_t kLogReinstall = 0x200;
}  // namespace batch_archive_flag

// Product flags that hide a batch's window (the option bit of each run).
namespace batch_hidden_flag {
inline constexpr ProductFlags kPreInstallation = FlagLow(0x00800000);
inline constexpr ProductFlags kPostInstallation = FlagLow(0x01000000);
inline constexpr ProductFlags kInstallationExit = FlagLow(0x02000000);
inline constexpr ProductFlags kUninstall1 = FlagLow(0x04000000);
inline constexpr ProductFlags kUninstall2 = FlagLow(0x08000000);
inline constexpr ProductFlags kUpgrade = FlagHigh(0x10000000);
inline constexpr ProductFlags kReinstall = FlagHigh(0x20000000);
}  // namespace batch_hidden_flag

// ---- the script -------------------------------------------------------------

// Empty, or only blanks, tabs and line breaks: such a batch is not run.
bool IsBlankScript(WStringView script);

// The script with a command-line addition behind it, on a line of its own:
// "\r\n" goes first unless the script already ends in a line break. An empty
// addition leaves the script as it is.
WString AppendBatchAddition(WString script, WStringView addition);

// A line that holds the word PAUSE alone (any case), after leading blanks,
// tabs and line breaks, one leading "@" with the blanks after it, and
// trailing blanks are set aside.
bool IsPauseLine(WStringView line);
// The script without its PAUSE lines (for automatic installations and hidden
// batches, where nobody could press a key). Every kept line ends in CR LF.
WString RemovePauseLines(WStringView script);

// ---- the batch file ---------------------------------------------------------

// "@echo off" and the SET lines of every path variable a script sees, each
// ending in CR LF, with the values `value_of` gives at the moment of writing.
// The uninstaller (`uninstalling`) writes no "SET Existing" line.
//
// Percent signs inside a value are doubled: cmd reads "%%" in a batch file
// as one "%", while a single one would start a variable reference and the
// value ("100% Tool") would reach the script cut.
WString BatchSetLines(const std::function<WString(PathVariable)>& value_of, bool uninstalling);

// Whether the file is written in UTF-8 (behind "@chcp 65001 >nul"): on NT 6.1
// and later, when the text holds a character above 0x7F. Otherwise code page
// 1252 (behind "@chcp 1252 >nul").
bool BatchUsesUtf8(const SystemVersion& version, WStringView text);

// The file's bytes for `text`: the chcp line, the text in its code page,
// every line break made CR LF, and a final CR LF when the text does not end
// in a line break.
NString EncodeBatchFile(WStringView text, const SystemVersion& version);

struct BatchFileInput {
  std::function<WString(PathVariable)> value_of;
  bool uninstalling = false;
  bool remove_pause = false;  // automatic installation or hidden batch
  WString script;
};
// The whole "SETUPBAT.BAT": SET lines, then the script.
NString BatchFileBytes(const BatchFileInput& in, const SystemVersion& version);

// ---- running it -------------------------------------------------------------

// The command interpreter: the expansion of "%comspec%" when it succeeded,
// is not blank and is not "%comspec%" itself; otherwise "command.com" in the
// Windows folder on Windows 9x, "cmd.exe" in the 32-bit system folder elsewhere.
WString ChooseInterpreter(const std::optional<WString>& expanded_comspec, const SystemVersion& version,
                          const WString& windows_folder, const WString& system32_folder);

// The capture file's name for attempt `number`: "ks_batch.log" for 0, then
// "ks_batch1.log", "ks_batch2.log", ...
WString CaptureFileName(unsigned number);

// What the interpreter runs: the batch path, and " > " with the capture path
// when there is one; enclosed in double quotes when it holds a blank. A path
// that itself holds a blank (no short name exists) is quoted on its own
// first: cmd takes the outer quotes off and then needs the inner ones to
// find the file.
WString BatchCommandLine(WStringView batch_path, WStringView capture_path);
// "\"<interpreter>\" /c <command line>".
WString InterpreterCommand(WStringView interpreter, WStringView command_line);

// The captured output for the log: trailing blanks, tabs and line breaks
// removed, then "\r\n\r\n"; empty when nothing remains.
NString CapturedOutputForLog(NStringView captured);

// Log lines and messages.
WString MissingInterpreterLine(WStringView interpreter);  // "The CLI ... does not exist!\r\n"
WString CreateFailedMessage(WStringView batch_path, WStringView result_text);
WString LaunchFailedMessage(WStringView batch_path, WStringView system_text, WStringView command);
inline constexpr const char* kCaptureFailedText = "Failed to create batch output capture file.  ";
NString RunningLine(NStringView label);  // "\r\nRunning <label>...\r\n"

// ---- which batches run ------------------------------------------------------

struct BatchRun {
  bool hidden = false;
  NString label;   // empty: not named in the log, output not captured
  WString script;  // already decoded (settings in code page 1252, additions in ANSI)
};

struct PreparationBatchInput {
  ProductFlags product_flags = 0;
  std::uint32_t archive_flags = 0;
  int existing = 0;                    // %Existing%
  bool earlier_folder_exists = false;  // the earlier installation's folder is there
  WString pre_installation;            // the setting and "/b1:" joined
  WString upgrade;
  WString reinstall;
};
// The Pre-Installation Batch always; the Upgrade Batch when %Existing% is 2;
// the Reinstall Batch when the earlier folder exists and %Existing% is 1 or
// the archive does not restrict it to reinstallations. In that order; blank
// scripts are kept (RunBatch skips them).
std::vector<BatchRun> PreparationBatches(const PreparationBatchInput& in);

BatchRun PostInstallationBatch(ProductFlags product_flags, std::uint32_t archive_flags, WString script);
BatchRun InstallationExitBatch(ProductFlags product_flags, WString script);
// `number` 1 or 2: UninstallBatch1 or UninstallBatch2.
BatchRun UninstallBatch(int number, ProductFlags product_flags, WString script);

}  // namespace ks
