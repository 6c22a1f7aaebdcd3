#pragma once
// The localized text table as the author describes it: the built-in English
// texts with the manifest's overrides, and further languages from one TOML
// file each. A language file gives the language's name and the texts it
// translates; a text it leaves out is taken from English, so that no button
// of a partly translated installer is blank.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "authoring/diagnostic.h"
#include "authoring/toml_reader.h"

namespace ks::authoring {

// Highest text number a table may hold (the engine accepts 10,000 texts).
inline constexpr int kMaxTextNumber = 9999;
// Longest text, in UTF-16 units, that the table's zero-terminated form carries.
inline constexpr std::size_t kMaxTextUnits = 511;

using TextOverride = NumberedText;

struct LanguageSource {
  std::string name;
  std::vector<TextOverride> texts;
  Diagnostic where;  // position of the language's name (file, line, column)
};

struct TextTable {
  std::vector<std::string> names;            // UTF-8, in language page order
  std::vector<std::vector<std::string>> rows;  // rows[text number][language], UTF-8
};

// Reads one language file ("name" and a [texts] table of numbered texts).
std::optional<LanguageSource> LoadLanguageFile(const std::filesystem::path& path, Diagnostics& diags);

// English (with its overrides) first when include_english, then the other
// languages in order. Checks every text against the table's limits.
// manifest_file names the manifest in diagnostics about the language list.
std::optional<TextTable> BuildTextTable(bool include_english, const std::vector<TextOverride>& english,
                                        const std::vector<LanguageSource>& others, const std::string& manifest_file,
                                        Diagnostics& diags);

// Number of UTF-16 units of a UTF-8 text, or nothing when it is not valid UTF-8.
std::optional<std::size_t> Utf16Length(std::string_view utf8);

}  // namespace ks::authoring
