#include "core/localized_texts.h"

#include <utility>

namespace ks {

namespace {

const WString kEnglish = u"English";

bool TakeAt(WStringView text, std::size_t at, WStringView what) {
  return text.compare(at, what.size(), what) == 0;
}

}  // namespace

WString NormalizeLineEnds(WStringView text) {
  WString out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
    if ((c == u'\r' && next == u'\n') || (c == u'\n' && next == u'\r')) {
      out += u"\r\n";
      ++i;
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

LocalizedTexts::LocalizedTexts(std::vector<WString> languages,
                               const std::vector<std::vector<WString>>& rows)
    : languages_(std::move(languages)), text_count_(rows.size()) {
  texts_.resize(text_count_ * languages_.size());
  for (std::size_t n = 0; n < rows.size(); ++n) {
    for (std::size_t l = 0; l < languages_.size() && l < rows[n].size(); ++l) {
      texts_[n * languages_.size() + l] = rows[n][l];
    }
  }
  ChooseStartLanguage();
}

void LocalizedTexts::ChooseStartLanguage() {
  current_ = 0;
  // The last name that is exactly "English" wins.
  for (std::size_t l = 0; l < languages_.size(); ++l) {
    if (languages_[l] == kEnglish) current_ = static_cast<int>(l);
  }
}

int LocalizedTexts::Read(SettingsReader& in) {
  languages_.clear();
  texts_.clear();
  text_count_ = 0;
  current_ = 0;
  const std::uint8_t language_count = in.U8();
  if (language_count < 1 || language_count > kMaxLanguages) return 30;
  const std::uint32_t text_count = in.U32();
  if (text_count < 1 || text_count > kMaxTexts) return 31;

  for (std::uint8_t l = 0; l < language_count && !in.failed(); ++l) languages_.push_back(in.ZTextW());
  ChooseStartLanguage();
  // Every text takes at least its two-byte terminator; a table that cannot
  // be there is not reserved for.
  const std::uint64_t cells = static_cast<std::uint64_t>(text_count) * language_count;
  if (in.failed() || cells * 2 > in.remaining()) {
    in.Fail();
    return 0;
  }
  texts_.reserve(static_cast<std::size_t>(cells));
  for (std::uint64_t i = 0; i < cells && !in.failed(); ++i) texts_.push_back(NormalizeLineEnds(in.ZTextW()));
  if (!in.failed()) text_count_ = text_count;
  return 0;
}

bool LocalizedTexts::Write(SettingsWriter& out) const {
  // The reader's range checks are not applied: tests need tables outside them.
  if (languages_.size() > 0xFF) return false;
  out.U8(static_cast<std::uint8_t>(languages_.size()));
  out.U32(static_cast<std::uint32_t>(text_count_));
  bool ok = true;
  for (const WString& name : languages_) ok = out.ZTextW(name) && ok;
  for (const WString& text : texts_) ok = out.ZTextW(text) && ok;
  return ok;
}

WString LocalizedTexts::RawText(int n, int language) const {
  if (n < 0 || language < 0) return {};
  const auto row = static_cast<std::size_t>(n);
  const auto col = static_cast<std::size_t>(language);
  if (row >= text_count_ || col >= languages_.size()) return {};
  const std::size_t index = row * languages_.size() + col;
  return index < texts_.size() ? texts_[index] : WString();
}

WString LocalizedTexts::current_language_name() const {
  if (current_ < 0 || static_cast<std::size_t>(current_) >= languages_.size()) return {};
  return languages_[static_cast<std::size_t>(current_)];
}

WString LocalizedTexts::Text(int n) const { return ReplacePlaceholders(RawText(n, current_)); }

WString LocalizedTexts::TextOrEnglish(int n) const {
  WString text = Text(n);
  if (!text.empty()) return text;
  const char16_t* english = EnglishText(n);
  return english ? ReplacePlaceholders(english) : WString();
}

void LocalizedTexts::SetPlaceholders(WString product, WString description, WString os_name) {
  product_ = std::move(product);
  description_ = std::move(description);
  os_name_ = std::move(os_name);
}

WString LocalizedTexts::ReplacePlaceholders(WStringView text) const {
  // One pass, so that a product name holding "<os>" is not replaced again.
  const std::pair<WStringView, const WString*> kPlaceholders[] = {
      {u"<product>", &product_}, {u"<description>", &description_}, {u"<os>", &os_name_}};
  WString out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    for (const auto& [name, value] : kPlaceholders) {
      if (TakeAt(text, i, name)) {
        out += *value;
        i += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

const char16_t* EnglishText(int n) {
  switch (n) {
    case 2: return u"<product>";
    case 3: return u"<product> is already installed in this folder:";
    case 4: return u"This version of <product> is already installed in this folder:";
    case 5: return u"An older version of <product> is installed in this folder:";
    case 6: return u"A newer version of <product> is installed in this folder:";
    case 7: return u"Do you want to continue?";
    case 9: return u"The installed version of <product> must be uninstalled before this version can be installed.";
    case 10: return u"The following items could not be removed:\r\n\r\n%s";
    case 12: return u"This installation requires %s, which is not installed.";
    case 15: return u"Information";
    case 20: return u"Warning";
    case 21: return u"Error";
    case 31: return u"Failed:";
    case 33: return u"Uninstall <product>";
    case 34: return u"<product> was removed.";
    case 35: return u"Remove shared file?";
    case 37: return u"The installation requires a restart of your computer. Restart now?";
    case 38: return u"%s";
    case 49: return u"Cancel";
    case 53: return u"Do you want to remove <product> and all of its components?";
    case 55: return u"Uninstall";
    case 56: return u"The font \"%s\" was installed with <product>. Do you want to remove it?";
    case 57: return u"Remove font?";
    case 58: return u"Could not delete";
    case 59: return u"The shared file\r\n%s\r\nis no longer used by any program. Do you want to remove it?\r\n\r\n"
                    u"If another program still uses it, that program may stop working.";
    case 61: return u"This product cannot be installed on %s.";
    case 72: return u"An old version of <product> is installed. Do you want to replace it?";
    case 74: return u"Windows must be restarted to complete the removal. Restart now?";
    case 78: return u"Writing registry entries...";
    case 79: return u"Yes";
    case 80: return u"No";
    case 81: return u"This product requires a %d-bit version of Windows.";
    case 86: return u"Installation Log";
    case 90: return u"Continue";
    case 91: return u"Another installation is running. Please wait until it has finished and try again.";
    case 98: return u"Installation";
    case 101: return u"Uninstallation";
    case 104: return u"Uninstall";
    case 106: return u"This version cannot replace the installed version: versions below %s cannot be installed "
                     u"over it.";
    case 107: return u"Please close %s, then choose Retry.";
    case 109: return u"Before you remove <product>, would you like to visit its support page?";
    case 110: return u"Support";
    case 111: return u"The installation was cancelled.";
    case 112: return u"This installation requires %s version %s or later.";
    case 115: return u"Yes to all";
    default: return nullptr;
  }
}

}  // namespace ks
