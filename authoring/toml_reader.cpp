#include "authoring/toml_reader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ks::authoring {
namespace {

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string ChoiceList(const std::vector<EnumChoice>& choices) {
  std::string out;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (i) out += i + 1 == choices.size() ? " or " : ", ";
    out += Quote(choices[i].name);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::uint64_t> ParseHex(std::string_view digits, std::size_t max_digits) {
  if (digits.empty() || digits.size() > max_digits) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<std::uint64_t>(d);
  }
  return v;
}

}  // namespace

std::string DescribeNode(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string: return "a text " + Quote(*node.value<std::string>());
    case toml::node_type::integer: return "the integer " + std::to_string(*node.value<std::int64_t>());
    case toml::node_type::floating_point: return "a float";
    case toml::node_type::boolean: return *node.value<bool>() ? "true" : "false";
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    default: return "a date or time";
  }
}

std::filesystem::path ResolveRelative(const std::filesystem::path& base, const std::string& rel) {
  std::string portable = rel;
  std::replace(portable.begin(), portable.end(), '\\', '/');
  return base / std::filesystem::u8path(portable);
}

std::optional<Bytes> ReadWholeFile(const std::filesystem::path& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    error = "read error";
    return std::nullopt;
  }
  const std::string s = buffer.str();
  return Bytes(s.begin(), s.end());
}

std::optional<toml::table> ParseToml(const std::filesystem::path& path, Diagnostics& diags) {
  std::string error;
  const auto bytes = ReadWholeFile(path, error);
  if (!bytes) {
    diags.Add({path.string(), 0, 0, "", "cannot read the file: " + error});
    return std::nullopt;
  }
  const std::string text(bytes->begin(), bytes->end());
  toml::parse_result result = toml::parse(text, path.string());
  if (!result) {
    const toml::parse_error& e = result.error();
    diags.Add({path.string(), static_cast<int>(e.source().begin.line),
               static_cast<int>(e.source().begin.column), "", "TOML syntax error: " + std::string(e.description())});
    return std::nullopt;
  }
  return std::move(result).table();
}

TomlReader::TomlReader(const toml::table& table, std::string path, std::string file,
                       std::filesystem::path base_dir, Diagnostics& diags)
    : table_(table), path_(std::move(path)), file_(std::move(file)), base_dir_(std::move(base_dir)),
      diags_(&diags) {}

std::string TomlReader::KeyPath(std::string_view key) const {
  if (path_.empty()) return std::string(key);
  return path_ + "." + std::string(key);
}

const toml::node* TomlReader::Get(std::string_view key) {
  used_.insert(std::string(key));
  return table_.get(key);
}

Diagnostic TomlReader::Where(std::string_view key) const {
  const toml::node* node = key.empty() ? nullptr : table_.get(key);
  const toml::source_region& where = node ? node->source() : table_.source();
  return {file_, static_cast<int>(where.begin.line), static_cast<int>(where.begin.column),
          key.empty() ? path_ : KeyPath(key), ""};
}

void TomlReader::Error(std::string_view key, std::string message) {
  Diagnostic d = Where(key);
  d.message = std::move(message);
  diags_->Add(std::move(d));
}

void TomlReader::TypeError(std::string_view key, const toml::node& node, std::string_view expected) {
  Error(key, "expected " + std::string(expected) + ", found " + DescribeNode(node));
}

std::optional<bool> TomlReader::Bool(std::string_view key) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  if (auto v = node->value_exact<bool>()) return v;
  TypeError(key, *node, "true or false");
  return std::nullopt;
}

std::optional<std::int64_t> TomlReader::Int(std::string_view key, std::int64_t min, std::int64_t max) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  const auto v = node->value_exact<std::int64_t>();
  const std::string range = "an integer from " + std::to_string(min) + " to " + std::to_string(max);
  if (!v || *v < min || *v > max) {
    TypeError(key, *node, range);
    return std::nullopt;
  }
  return v;
}

std::optional<double> TomlReader::Float(std::string_view key, double min, double max) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  const auto v = node->value<double>();  // integers are accepted as well
  if (!v || !std::isfinite(*v) || *v < min || *v > max) {
    std::ostringstream range;
    range << "a number from " << min << " to " << max;
    TypeError(key, *node, range.str());
    return std::nullopt;
  }
  return v;
}

std::optional<std::string> TomlReader::Text(std::string_view key) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  if (auto v = node->value_exact<std::string>()) return v;
  TypeError(key, *node, "a text in double quotes");
  return std::nullopt;
}

std::optional<std::int64_t> TomlReader::Enum(std::string_view key, const std::vector<EnumChoice>& choices) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  if (const auto v = node->value_exact<std::string>()) {
    for (const EnumChoice& c : choices) {
      if (*v == c.name) return c.value;
    }
  }
  TypeError(key, *node, "one of " + ChoiceList(choices));
  return std::nullopt;
}

std::optional<std::uint32_t> TomlReader::Colour(std::string_view key) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  const auto v = node->value_exact<std::string>();
  const auto rgb = v && v->size() == 7 && (*v)[0] == '#' ? ParseHex(std::string_view(*v).substr(1), 6)
                                                          : std::nullopt;
  if (!rgb) {
    TypeError(key, *node, "a colour \"#RRGGBB\" (six hexadecimal digits)");
    return std::nullopt;
  }
  const auto r = static_cast<std::uint32_t>(*rgb >> 16) & 0xFF;
  const auto g = static_cast<std::uint32_t>(*rgb >> 8) & 0xFF;
  const auto b = static_cast<std::uint32_t>(*rgb) & 0xFF;
  return r | (g << 8) | (b << 16);
}

std::optional<std::uint64_t> TomlReader::Word(std::string_view key) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  if (const auto i = node->value_exact<std::int64_t>(); i && *i >= 0) return static_cast<std::uint64_t>(*i);
  if (const auto s = node->value_exact<std::string>(); s && s->size() > 2 && (*s)[0] == '0' &&
                                                         ((*s)[1] == 'x' || (*s)[1] == 'X')) {
    if (const auto v = ParseHex(std::string_view(*s).substr(2), 16)) return v;
  }
  TypeError(key, *node, "a non-negative integer or a text \"0x\" with up to 16 hexadecimal digits");
  return std::nullopt;
}

std::optional<Bytes> TomlReader::ReadRelative(std::string_view key, const toml::node& node,
                                              const std::string& rel) {
  const std::filesystem::path full = ResolveRelative(base_dir_, rel);
  std::string error;
  auto bytes = ReadWholeFile(full, error);
  if (!bytes) {
    const toml::source_region& where = node.source();
    diags_->Add({file_, static_cast<int>(where.begin.line), static_cast<int>(where.begin.column),
                 KeyPath(key), "cannot read file \"" + full.string() + "\": " + error});
  }
  return bytes;
}

std::optional<Bytes> TomlReader::File(std::string_view key) {
  const auto rel = Text(key);
  if (!rel) return std::nullopt;
  return ReadRelative(key, *table_.get(key), *rel);
}

std::optional<std::vector<Bytes>> TomlReader::FileList(std::string_view key) {
  const auto names = TextList(key);
  if (!names) return std::nullopt;
  std::vector<Bytes> files;
  const toml::array& items = *table_.get(key)->as_array();
  for (std::size_t i = 0; i < names->size(); ++i) {
    auto bytes = ReadRelative(std::string(key) + "[" + std::to_string(i) + "]", *items.get(i), (*names)[i]);
    if (!bytes) return std::nullopt;
    files.push_back(std::move(*bytes));
  }
  return files;
}

std::optional<std::vector<std::string>> TomlReader::TextList(std::string_view key) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  const toml::array* items = node->as_array();
  if (!items) {
    TypeError(key, *node, "an array of texts, e.g. [\"a\", \"b\"]");
    return std::nullopt;
  }
  std::vector<std::string> out;
  for (std::size_t i = 0; i < items->size(); ++i) {
    const auto v = items->get(i)->value_exact<std::string>();
    if (!v) {
      const toml::source_region& where = items->get(i)->source();
      diags_->Add({file_, static_cast<int>(where.begin.line), static_cast<int>(where.begin.column),
                   KeyPath(key) + "[" + std::to_string(i) + "]",
                   "expected a text in double quotes, found " + DescribeNode(*items->get(i))});
      return std::nullopt;
    }
    out.push_back(*v);
  }
  return out;
}

std::optional<TomlReader> TomlReader::Table(std::string_view key) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  if (const toml::table* t = node->as_table()) return TomlReader(*t, KeyPath(key), file_, base_dir_, *diags_);
  TypeError(key, *node, "a table ([" + KeyPath(key) + "])");
  return std::nullopt;
}

std::optional<std::vector<TomlReader>> TomlReader::TableArray(std::string_view key) {
  const toml::node* node = Get(key);
  if (!node) return std::nullopt;
  const toml::array* items = node->as_array();
  if (!items || (!items->empty() && !items->is_array_of_tables())) {
    TypeError(key, *node, "tables written as [[" + KeyPath(key) + "]]");
    return std::nullopt;
  }
  std::vector<TomlReader> out;
  for (std::size_t i = 0; i < items->size(); ++i) {
    out.emplace_back(*items->get(i)->as_table(), KeyPath(key) + "[" + std::to_string(i) + "]", file_, base_dir_,
                     *diags_);
  }
  return out;
}

std::vector<NumberedText> TomlReader::NumberedTexts(int max) {
  std::vector<NumberedText> out;
  for (const auto& [k, node] : table_) {
    const std::string key(k.str());
    used_.insert(key);
    const bool digits = !key.empty() && key.size() <= 5 && key.find_first_not_of("0123456789") == std::string::npos;
    const int n = digits ? std::stoi(key) : -1;
    if (n < 0 || n > max) {
      diags_->Add({file_, static_cast<int>(k.source().begin.line), static_cast<int>(k.source().begin.column),
                   KeyPath(key), "expected a text number from 0 to " + std::to_string(max) + " as the key"});
      continue;
    }
    if (const auto v = node.value_exact<std::string>()) {
      out.push_back({n, *v,
                     {file_, static_cast<int>(k.source().begin.line),
                      static_cast<int>(k.source().begin.column), KeyPath(key), ""}});
    } else {
      TypeError(key, node, "a text in double quotes");
    }
  }
  return out;
}

void TomlReader::Finish() {
  // Every getter records its key even when the key is absent, so the keys
  // asked for are exactly the keys this table knows.
  std::string known;
  for (const std::string& k : used_) known += (known.empty() ? "" : ", ") + k;
  for (const auto& [k, node] : table_) {
    if (used_.count(k.str())) continue;
    diags_->Add({file_, static_cast<int>(k.source().begin.line), static_cast<int>(k.source().begin.column),
                 KeyPath(k.str()), known.empty() ? "unknown key" : "unknown key; expected one of: " + known});
  }
}

}  // namespace ks::authoring
