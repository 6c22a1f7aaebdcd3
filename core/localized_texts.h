#pragma once
// The table of localized texts: every text the installer shows, by text
// number and language, with one current language. Text N comes back with the
// product's placeholders filled in, or empty when the table has no such text;
// callers then use their own default.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/settings_stream.h"
#include "lib/text.h"

namespace ks {

inline constexpr int kMaxLanguages = 200;
inline constexpr std::uint32_t kMaxTexts = 10000;

// A lone LF and an LF CR pair become CR LF; CR LF stays as it is.
WString NormalizeLineEnds(WStringView text);

class LocalizedTexts {
 public:
  LocalizedTexts() = default;
  // rows[n][language]; stored as given (no line-end change), the current
  // language chosen as a read table would choose it.
  LocalizedTexts(std::vector<WString> languages, const std::vector<std::vector<WString>>& rows);

  // Reads the language count, the text count, the names and the rows.
  // Returns 0 or the corrupt code (30, 31). A stream cut short inside the
  // table is left to the end value check that follows it.
  int Read(SettingsReader& in);
  // The same four items. False when a text does not fit its encoding.
  bool Write(SettingsWriter& out) const;

  std::size_t language_count() const { return languages_.size(); }
  std::size_t text_count() const { return text_count_; }
  const WString& language_name(std::size_t index) const { return languages_.at(index); }
  int current_language() const { return current_; }
  void set_current_language(int index) { current_ = index; }
  // Empty when the current language is not one of the names.
  WString current_language_name() const;

  // Stored text without placeholders; empty when out of range.
  WString RawText(int n, int language) const;
  // Text n in the current language with the placeholders filled.
  WString Text(int n) const;
  // The same, or the engine's English text when the table has none.
  WString TextOrEnglish(int n) const;

  void SetPlaceholders(WString product, WString description, WString os_name);
  WString ReplacePlaceholders(WStringView text) const;

 private:
  void ChooseStartLanguage();

  std::vector<WString> languages_;
  std::size_t text_count_ = 0;
  std::vector<WString> texts_;  // text n of language l at n * language count + l
  int current_ = 0;
  WString product_, description_, os_name_;
};

// The engine's own English text for text number `n`, for a product whose
// table lacks it (an old or damaged "[Strings]" of the uninstaller too);
// nullptr for numbers without one.
const char16_t* EnglishText(int n);

}  // namespace ks
