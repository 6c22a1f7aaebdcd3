#include "authoring/languages.h"

#include "authoring/english_texts.h"
#include "authoring/toml_reader.h"
#include "core/localized_texts.h"

namespace ks::authoring {
namespace {

// Length of the UTF-8 sequence led by byte b, or 0 when b cannot lead one.
int SequenceLength(unsigned char b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

bool ContinuationsValid(std::string_view s, std::size_t i, int len) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  for (int k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
  }
  if (len < 3) return true;
  const auto b1 = static_cast<unsigned char>(s[i + 1]);
  if (b0 == 0xE0 && b1 < 0xA0) return false;  // overlong
  if (b0 == 0xED && b1 > 0x9F) return false;  // surrogate
  if (b0 == 0xF0 && b1 < 0x90) return false;  // overlong
  if (b0 == 0xF4 && b1 > 0x8F) return false;  // above U+10FFFF
  return true;
}

// Checks one text of the table; a text that fails gets a diagnostic at where.
bool CheckText(const std::string& text, Diagnostic where, Diagnostics& diags) {
  const auto units = Utf16Length(text);
  if (!units) {
    where.message = "the text is not valid UTF-8";
  } else if (text.find('\0') != std::string::npos) {
    where.message = "the text may not contain a NUL character";
  } else if (*units > kMaxTextUnits) {
    where.message = "expected at most " + std::to_string(kMaxTextUnits) + " characters, found " +
                    std::to_string(*units) + " (long documents belong in wizard.licence or wizard.readme)";
  } else {
    return true;
  }
  diags.Add(std::move(where));
  return false;
}

std::size_t RowCount(const std::vector<TextOverride>& english, const std::vector<LanguageSource>& others) {
  std::size_t count = EnglishTexts().size();
  auto grow = [&count](const std::vector<TextOverride>& texts) {
    for (const TextOverride& t : texts) count = std::max(count, static_cast<std::size_t>(t.number) + 1);
  };
  grow(english);
  for (const LanguageSource& l : others) grow(l.texts);
  return count;
}

// Appends one language: the base texts with the language's own over them.
void AddLanguage(TextTable& table, const std::vector<std::string>& base, const LanguageSource& lang,
                 Diagnostics& diags) {
  std::vector<std::string> column = base;
  for (const TextOverride& t : lang.texts) {
    if (CheckText(t.text, t.where, diags)) column[static_cast<std::size_t>(t.number)] = t.text;
  }
  Diagnostic name_where = lang.where;
  if (lang.name.empty()) {
    name_where.message = "the language name may not be empty";
    diags.Add(name_where);
  }
  CheckText(lang.name, name_where, diags);
  table.names.push_back(lang.name);
  for (std::size_t n = 0; n < column.size(); ++n) table.rows[n].push_back(std::move(column[n]));
}

}  // namespace

std::optional<std::size_t> Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const int len = SequenceLength(static_cast<unsigned char>(utf8[i]));
    if (len == 0 || i + static_cast<std::size_t>(len) > utf8.size() || !ContinuationsValid(utf8, i, len)) {
      return std::nullopt;
    }
    units += len == 4 ? 2 : 1;
    i += static_cast<std::size_t>(len);
  }
  return units;
}

std::optional<LanguageSource> LoadLanguageFile(const std::filesystem::path& path, Diagnostics& diags) {
  const auto doc = ParseToml(path, diags);
  if (!doc) return std::nullopt;
  const std::size_t before = diags.size();
  TomlReader root(*doc, "", path.string(), path.parent_path(), diags);
  LanguageSource lang;
  lang.where = {path.string(), 1, 1, "name", ""};
  if (const auto name = root.Text("name")) {
    lang.name = *name;
    const auto& src = doc->get("name")->source();
    lang.where.line = static_cast<int>(src.begin.line);
    lang.where.column = static_cast<int>(src.begin.column);
  } else if (!root.Has("name")) {
    root.Error("", "missing key \"name\": the language's name as the language page lists it");
  }
  if (auto texts = root.Table("texts")) {
    lang.texts = texts->NumberedTexts(kMaxTextNumber);
    texts->Finish();
  }
  root.Finish();
  if (diags.size() != before) return std::nullopt;
  return lang;
}

std::optional<TextTable> BuildTextTable(bool include_english, const std::vector<TextOverride>& english,
                                        const std::vector<LanguageSource>& others, const std::string& manifest_file,
                                        Diagnostics& diags) {
  const std::size_t before = diags.size();
  const std::size_t count = others.size() + (include_english ? 1 : 0);
  if (count == 0 || count > static_cast<std::size_t>(kMaxLanguages)) {
    diags.Add({manifest_file, 0, 0, "languages",
               count == 0 ? "no language: keep English or name at least one language file"
                          : "expected at most " + std::to_string(kMaxLanguages) + " languages"});
    return std::nullopt;
  }
  // The English texts are every language's fallback, even when English itself is not listed.
  std::vector<std::string> base = EnglishTexts();
  base.resize(RowCount(english, others));
  for (const TextOverride& t : english) {
    if (CheckText(t.text, t.where, diags)) base[static_cast<std::size_t>(t.number)] = t.text;
  }
  TextTable table;
  table.rows.assign(base.size(), {});
  if (include_english) AddLanguage(table, base, {kEnglishName, {}, {}}, diags);
  for (const LanguageSource& l : others) AddLanguage(table, base, l, diags);
  if (diags.size() != before) return std::nullopt;
  return table;
}

}  // namespace ks::authoring
