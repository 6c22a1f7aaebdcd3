#pragma once
// The decisions of file placement as functions of plain data: where a record
// goes, whether an existing file is replaced (with the log sentence that says
// why), and what is recorded for later steps. The Win32 step
// (engine/win/place_files.h) gathers the facts and carries the decisions out.

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/file_records.h"
#include "lib/version_compare.h"
#include "lib/text.h"

namespace ks {

struct PlacementFolders {
  WString install;         // the installation folder
  WString shared;          // kind 1
  WString fonts;           // kind 4
  WString system;          // kinds 6 to 8
  WString uninstall_data;  // flags 0x40
  bool portable = false;
  WString portable_shared_subfolder;  // the portable installation's shared sub-folder; may be empty
  // Expands path variables in an override; null leaves it unchanged.
  std::function<WString(const WString&)> expand;
};

struct Destination {
  int corrupt_code = 0;     // 0 or 110
  WString relative;         // the record's name (or the override that replaced it)
  WString path;             // the full destination
  bool in_install_tree = false;  // folder creation applies
  WString log_prefix;       // "<file name> >>> <path>"
};

Destination ComputeDestination(const FileRecord& record, const PlacementFolders& folders);

// Kinds whose files, and folders, the uninstaller removes.
bool IsKindRecorded(std::int32_t kind, bool portable);

// The font-list entry of a kind-4 record: its title and name (engine/font_list.h).
NString FontListEntry(const FileRecord& record);

// The markers that follow a shared file's path in its list entry: the file is
// kept at uninstallation (or is a system file), a self-registering COM
// server, a type library, or (no marker) a plain file of the shared folder.
inline constexpr char kSharedKeepMarker = ' ';
inline constexpr char kSharedComServerMarker = '^';
inline constexpr char kSharedTypeLibraryMarker = '\xA9';
// The shared-file list entry (destination's 8-bit copy and its marker), or
// nothing when the kind has none.
std::optional<NString> SharedFileEntry(const FileRecord& record, const WString& destination, bool portable);

// Facts about an existing destination, gathered before the decision.
struct ExistingFile {
  bool exists = false;
  std::optional<RecordDate> modified;  // UTC, when it could be read
  NString version;                     // from its version resource; commas read as dots
};

// The outcome for one record.
struct PlacementDecision {
  bool place = false;
  bool record_removal = false;   // record the (existing) file for removal although it is skipped
  bool existed = false;          // remembered for the write (replacement is allowed)
  WString log_line;              // complete with "\r\n"; may be empty
};

PlacementDecision DecidePlacement(const FileRecord& record, const WString& log_prefix, const ExistingFile& existing,
                                  bool portable);

// The failure-summary entry for a folder that could not be created:
// "<label> <folder>\r\n<reason>\r\n\r\nNot installed: <destination>\r\n\r\n".
WString FolderFailureText(const WString& label, const WString& folder, const WString& reason,
                          const WString& destination);
inline constexpr const char16_t* kFolderIsFileReason = u"Cannot create folder because there is a file with the same name.";

// True for empty text or text of only blanks, tabs and line breaks.
bool IsBlankText(NStringView text);

}  // namespace ks
