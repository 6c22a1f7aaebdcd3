#pragma once
// "Uninstall.DAT": what the uninstaller must undo. The installer records into
// an UninstallData while it works and writes the file once at the end; the
// uninstaller reads it back. Writer and reader are pure functions of bytes so
// that they can be tested (and fuzzed) without Windows.

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "lib/text.h"

namespace ks {

enum UninstallItemKind : int {
  kUninstallFile = 0,           // no prefix
  kUninstallFolder = 1,         // "~"
  kUninstallRegistryValue = 2,  // "!"
  kUninstallRegistryKey = 3,    // "^"
  kUninstallRegistryKey64 = 4,  // "*"
};

// One program to close before removal.
struct AutoCloseRule {
  WString class_pattern;
  WString title_pattern;
  NString display_name;  // code page 1252
  std::int32_t action = 0;  // 0 close, 1 quit, 2 ask, 3 terminate
  std::uint8_t pass_mask = 2;  // 4 for action 2, else 2 (set by the reader)
  bool operator==(const AutoCloseRule& o) const;
};

// A pattern of an auto-close rule: empty matches anything; "*rest" matches a
// text that contains rest; anything else must equal the text, ASCII case ignored.
bool AutoClosePatternMatches(WStringView pattern, WStringView text);

// One association to undo.
struct AssociationRecord {
  NString extension, prog_id, verb;
  NString icon;  // marked text, may be empty
  bool operator==(const AssociationRecord& o) const;
};

// One deletion under a condition.
struct ConditionalDeletion {
  NString path;  // marked text
  std::uint8_t condition = 0;
  NString condition_value;
  std::uint8_t flags = 0;
  bool operator==(const ConditionalDeletion& o) const;
};
inline constexpr std::uint8_t kDeleteAtUninstall = 0x08;

// The texts of "[Strings]": numbers written in this order, then "~999".
inline constexpr int kUninstallTextNumbers[] = {10, 15, 20, 30, 34, 35, 49, 53, 55, 56, 57,
                                                58, 59, 65, 67, 68, 69, 70, 71, 74, 79, 80,
                                                99, 100, 101, 104, 107, 108, 109, 110, 111, 115};
inline constexpr int kPageHeaderTitleNumber = 999;

class UninstallData {
 public:
  // Records an item. False, recording nothing, when the text is shorter than
  // 4 bytes or a folder was recorded before (compared decoded, ignoring case).
  // A kind outside 1-4 records a file (no prefix).
  bool RecordItem(NStringView text, int kind);
  // Registry values in UTF-8, everything else as marked text.
  bool RecordItem(WStringView text, int kind);
  void Clear();  // the item list and its folder set

  void AddAutoCloseRule(const AutoCloseRule& rule) { auto_close_.push_back(rule); }
  // The sections that are kept as text: each call appends one line (CR LF
  // added). False, adding nothing, when a part holds a line break, which
  // would split the record.
  bool AddAssociation(NStringView extension, NStringView prog_id, NStringView verb, WStringView icon);
  bool AddFirewallLine(NStringView line);
  bool AddInfLine(WStringView inf_path);
  bool AddMsiPackage(WStringView package_path, std::int32_t ui_level);
  // The registry step's whole entries text (wide, CR LF lines).
  void SetRegistryText(WString text) { registry_ = std::move(text); }
  void AppendRegistryText(WStringView text) { registry_.append(text); }
  void AddConditionalDeletion(const ConditionalDeletion& deletion) { deletions_.push_back(deletion); }

  const NString& items() const { return items_; }
  const std::vector<AutoCloseRule>& auto_close() const { return auto_close_; }
  const NString& associations() const { return associations_; }
  const NString& firewall() const { return firewall_; }
  const NString& inf() const { return inf_; }
  const NString& msi() const { return msi_; }
  const WString& registry() const { return registry_; }
  const std::vector<ConditionalDeletion>& deletions() const { return deletions_; }

 private:
  NString items_;
  std::set<WString> folders_;  // lower-cased, decoded
  std::vector<AutoCloseRule> auto_close_;
  NString associations_, firewall_, inf_, msi_;
  WString registry_;
  std::vector<ConditionalDeletion> deletions_;
};

// The texts for "[Strings]": localized text N, and the page header title.
struct UninstallTexts {
  std::function<WString(int)> text;
  WString page_header_title;
};

// The whole file, byte for byte.
NString BuildUninstallDataFile(const UninstallData& data, const UninstallTexts& texts);

// What the uninstaller reads back.
struct UninstallDataContent {
  std::vector<NString> items;
  std::vector<AssociationRecord> associations;
  std::vector<AutoCloseRule> auto_close;
  std::vector<NString> firewall, inf, msi;
  NString registry;  // the "[Registry2]" lines, each ended by CR LF
  std::vector<ConditionalDeletion> deletions;
  std::vector<std::pair<int, WString>> texts;  // "[Strings]", in file order
  bool has_page_header_title = false;
  WString page_header_title;
};

// Never fails on damaged input: lines that do not fit are skipped.
UninstallDataContent ParseUninstallDataFile(NStringView bytes);

// An "[MSI]" line split into the package path and the user-interface level.
// False for a line of other than two fields or a level that is not a number.
bool ParseMsiLine(NStringView line, NString& package_path, std::int32_t& ui_level);
// A "[Firewall]" line; false for other than four fields.
bool ParseFirewallLine(NStringView line, std::vector<NString>& fields);

// The load-failure message of the uninstaller.
WString UninstallDataLoadError(WStringView product, WStringView path, std::int32_t code);

}  // namespace ks
