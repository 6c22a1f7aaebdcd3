#pragma once
// The decisions of the finishing steps as plain data: the names and bytes of
// the saved readme and licence files, which completion address is sent, the
// restart choice, and when a folder counts as empty.

#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "core/product_flags.h"
#include "lib/text.h"

namespace ks {

namespace product_flag {
inline constexpr ProductFlags kNoRestartWithoutAsking = FlagHigh(0x00000200);
inline constexpr ProductFlags kSaveReadme = FlagHigh(0x00004000);
inline constexpr ProductFlags kSaveLicence = FlagHigh(0x00008000);
inline constexpr ProductFlags kRebootMarker = FlagHigh(0x00200000);
inline constexpr ProductFlags kWaitPostInstallBatch = FlagLow(0x01000000);
inline constexpr ProductFlags kWaitExitBatch = FlagLow(0x02000000);
// Write Install.log even when nothing failed.
inline constexpr ProductFlags kAlwaysWriteLog = FlagLow(0x00000040);
// No final message after a successful installation.
inline constexpr ProductFlags kNoFinalMessage = FlagLow(0x00400000);
}  // namespace product_flag

namespace archive_flag {
inline constexpr std::uint32_t kRestorePoint = 0x00000002;
inline constexpr std::uint32_t kNamePostInstallBatch = 0x00000080;
inline constexpr std::uint32_t kLaunchAppDirectly = 0x00100000;
}  // namespace archive_flag

// What the user ticked on the summary page; the finishing steps act on it.
struct FinishChoices {
  bool view_log = false;
  bool document = false;  // setting 73: the document to show at the end
  bool open = false;      // setting 72: the file or folder to open
  bool launch = false;    // setting 71: the application to launch
};

// The launch-on-exit application split into the program and its arguments:
// a leading double-quoted part is the program, else the text up to the
// first blank.
struct CommandParts {
  WString program, arguments;
};
CommandParts SplitCommand(WStringView command);

// A path made absolute against the installation folder: one that begins
// with a drive ("C:") or two backslashes stays; others are joined to it.
WString PathInFolder(const WString& folder, const WString& path);

// One document to save: its file name and its bytes.
struct DocumentFile {
  WString name;
  Bytes content;
  bool operator==(const DocumentFile& o) const { return name == o.name && content == o.content; }
};

// The non-empty texts as "<stem>.txt" (a list of one) or "<stem>1.txt",
// "<stem>2.txt", ... numbered over the non-empty texts. A text beginning with
// "{\rtf" (8-bit or UTF-16) keeps its bytes and gets the extension "rtf";
// any other is UTF-16 behind the byte-order mark FF FE.
std::vector<DocumentFile> PlanDocumentFiles(const std::vector<Bytes>& texts, WStringView stem);

// The completion address by install type (0 new, 1 reinstall, 2 upgrade,
// 3 downgrade): upgrade and downgrade have their own; otherwise the
// reinstallation address when the earlier folder was found, else the
// installation address.
struct CompletionAddresses {
  NString install, reinstall, upgrade, downgrade;
};
const NString& CompletionAddress(const CompletionAddresses& addresses, int install_type, bool earlier_folder_found);

enum class RestartChoice { kNone, kRestart, kAsk };
// Only when a restart is needed: automatic mode without the ask bit restarts
// without asking; otherwise the user is asked (silent mode answers Yes).
RestartChoice ChooseRestart(ProductFlags flags, bool automatic);

// A folder holding nothing but the shell's "thumbs.db" and "desktop.ini"
// (any case) counts as empty. `entries` are the names in it, without "." and
// "..", folders included.
bool FolderCountsAsEmpty(const std::vector<WString>& entries);

// What the closing of the install log shows when asked to show a final message.
enum class FinalMessage {
  kNone,             // nothing (automatic mode, or no final message wanted)
  kAskViewLog,       // failed: Yes/No question, text 40 with the log path
  kInformation,      // succeeded: text 42 in an information box
  kSummaryPage,      // succeeded: the wizard's summary page offers its actions
};
struct FinalMessageInput {
  bool failed = false;
  bool automatic = false;
  ProductFlags flags = 0;
  // What the finish page has to offer besides the log.
  bool has_launch_or_open = false;
  // In and out: the finish page's offer to view the log; withdrawn when no
  // log will be written.
  bool offer_view_log = false;
};
FinalMessage ChooseFinalMessage(FinalMessageInput& input);

// Whether Install.log is written at all.
inline bool WritesInstallLog(bool failed, ProductFlags flags) {
  return failed || HasFlag(flags, product_flag::kAlwaysWriteLog);
}

}  // namespace ks
