#pragma once
// A checked view of one TOML table: every getter validates the value's type
// and range, records a Diagnostic (file, line, column, key path, what was
// expected) when it does not fit, and marks the key as known, so that
// Finish() can report the keys that no getter asked for (usually typos).

#include <toml++/toml.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "authoring/diagnostic.h"
#include "core/bytes.h"

namespace ks::authoring {

// One numbered text with the position of its key.
struct NumberedText {
  int number = 0;
  std::string text;  // UTF-8
  Diagnostic where;  // file, line, column and key path of the entry; no message
};

struct EnumChoice {
  const char* name;
  std::int64_t value;
};

class TomlReader {
 public:
  // path: dotted key path of the table ("" for the document root).
  TomlReader(const toml::table& table, std::string path, std::string file,
             std::filesystem::path base_dir, Diagnostics& diags);

  bool Has(std::string_view key) const { return table_.contains(key); }
  std::optional<bool> Bool(std::string_view key);
  std::optional<std::int64_t> Int(std::string_view key, std::int64_t min, std::int64_t max);
  std::optional<double> Float(std::string_view key, double min, double max);
  std::optional<std::string> Text(std::string_view key);
  std::optional<std::int64_t> Enum(std::string_view key, const std::vector<EnumChoice>& choices);
  // "#RRGGBB" as the engine's colour value (red in the low byte).
  std::optional<std::uint32_t> Colour(std::string_view key);
  // An unsigned 64-bit word as an integer or a "0x..." text (TOML integers
  // are signed, so the top bit needs the text form).
  std::optional<std::uint64_t> Word(std::string_view key);
  // A path relative to the manifest's folder, read whole.
  std::optional<Bytes> File(std::string_view key);
  std::optional<std::vector<Bytes>> FileList(std::string_view key);
  std::optional<std::vector<std::string>> TextList(std::string_view key);
  // The sub-table, or nothing (with a diagnostic when the key holds another type).
  std::optional<TomlReader> Table(std::string_view key);
  // An array of tables ([[key]] entries), each as a reader "key[i]".
  std::optional<std::vector<TomlReader>> TableArray(std::string_view key);
  // Texts by number: keys "0" to "max", values texts.
  std::vector<NumberedText> NumberedTexts(int max);

  // A diagnostic at this table's position (or at the key's value when given).
  void Error(std::string_view key, std::string message);
  // That position and key path, without a message.
  Diagnostic Where(std::string_view key) const;
  // Reports every key that no getter asked for.
  void Finish();

  const std::string& file() const { return file_; }
  const std::filesystem::path& base_dir() const { return base_dir_; }
  std::string KeyPath(std::string_view key) const;

 private:
  const toml::node* Get(std::string_view key);
  void TypeError(std::string_view key, const toml::node& node, std::string_view expected);
  std::optional<Bytes> ReadRelative(std::string_view key, const toml::node& node, const std::string& rel);

  const toml::table& table_;
  std::string path_;
  std::string file_;
  std::filesystem::path base_dir_;
  Diagnostics* diags_;
  std::set<std::string, std::less<>> used_;
};

// A file named in a manifest, relative to base. "/" and "\\" both separate
// folders, so that one manifest builds on Linux and Windows.
std::filesystem::path ResolveRelative(const std::filesystem::path& base, const std::string& rel);

// Reads a whole file. On failure returns nothing and sets error to the system's reason.
std::optional<Bytes> ReadWholeFile(const std::filesystem::path& path, std::string& error);

// Parses a TOML document; a syntax error becomes a diagnostic with its position.
std::optional<toml::table> ParseToml(const std::filesystem::path& path, Diagnostics& diags);

// "a text", "an integer", ... for messages.
std::string DescribeNode(const toml::node& node);

}  // namespace ks::authoring
