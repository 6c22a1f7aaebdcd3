#pragma once
// Shared files and their reference counts: the system keeps one count per
// file path under the SharedDLLs key, raised once by every product that
// installs the file and lowered by its uninstaller; the file goes only when
// no product counts it any more. The product keeps the files it counted in
// its "SharedFiles" value: entries in double quotes (a doubled quote standing
// for one) separated by ";", each a marked path followed by its markers
// (engine/placement_rules.h). The rules and texts of both sides live here;
// the registry work is in integration/win/shared_file_counts.h.

#include <cstdint>
#include <optional>
#include <vector>

#include "lib/text.h"

namespace ks {

// Below HKEY_LOCAL_MACHINE.
inline constexpr const char16_t* kSharedDllsKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// A list entry in its quotes, as the SharedFiles text holds it.
NString QuotedSharedEntry(NStringView entry);
// The text names the quoted entry already (ASCII case ignored): an earlier
// installation of the product, or an earlier record of this one, counted it.
bool SharedFilesTextHas(NStringView text, NStringView quoted_entry);
// Appends the quoted entry, after a ";" when the text is not empty.
void AppendSharedEntry(NString& text, NStringView quoted_entry);

// The count's value name: the entry without its markers (one trailing "^",
// then one blank, then one 0xA9 byte, each only when it is last), still
// marked text.
NString SharedCountName(NStringView entry);

// One file of a SharedFiles text, as the uninstaller reads it.
struct SharedFileListing {
  NString path;                 // marked text
  bool type_library = false;    // 0xA9: unregister its type library
  bool keep = false;            // blank: never unregistered or deleted
  bool com_server = false;      // "^": unregister it as a COM server
  bool operator==(const SharedFileListing& o) const {
    return path == o.path && type_library == o.type_library && keep == o.keep && com_server == o.com_server;
  }
};

// The entries in order. Reading stops at the first empty entry and at damage
// (text outside quotes, a quote not closed); what was read before stays.
std::vector<SharedFileListing> ParseSharedFiles(NStringView text);

// What releasing one count does. `count` is the value as stored (signed);
// nullopt: no value, the entry is skipped.
struct CountRelease {
  bool skip = false;            // no count: leave everything alone
  bool remove_value = false;    // the count is used up: delete the value
  std::uint32_t new_count = 0;  // otherwise written back
  bool unused = false;          // no product counts the file any more
};
CountRelease ReleaseCount(std::optional<std::int32_t> count);
// The count one more product holds; a count below 0 counts as 0.
std::uint32_t RaisedCount(std::optional<std::int32_t> count);

// The failure-summary text when the counts cannot be raised: the key,
// the error's code and message, the system's full name.
WString SharedCountsUnavailableText(WStringView code_text, WStringView message, WStringView os_name);
// The step-log line for one count that could not be written.
WString SharedCountWriteFailedLine(WStringView name, WStringView error_text);
// The uninstaller's failure line when the counts cannot be opened.
inline constexpr const char16_t* kSharedCountsNotAdjusted =
    u"REGISTRY ERROR:  Unable to adjust shared file reference counts.\r\n\r\n";

}  // namespace ks
