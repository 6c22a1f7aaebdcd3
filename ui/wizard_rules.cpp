#include "ui/wizard_rules.h"

#include <cstdio>

#include "core/documents.h"

namespace ks {
namespace {

const char16_t* BaseName(PageKind page) {
  switch (page) {
    case PageKind::kGreeting: return u"GreetingDlg";
    case PageKind::kLanguage: return u"LanguageDlg";
    case PageKind::kLicence: return u"LicenseDlg";
    case PageKind::kReadme: return u"ReadmeDlg";
    case PageKind::kFolder: return u"ChooseDirDlg";
    case PageKind::kStartMenu: return u"StartMenuDlg";
    case PageKind::kProgress: return u"ProgressDlg";
    case PageKind::kSummary: return u"SummaryDlg";
  }
  return u"";
}

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t'; }

WString Trimmed(WStringView text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return WString(text);
}

WString ReplaceAll(WString text, WStringView from, WStringView to) {
  for (std::size_t at = text.find(from); at != WString::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

int FirstStartingWith(const std::vector<WString>& names, WStringView prefix) {
  if (prefix.empty()) return -1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (StartsWithIgnoreCase(names[i], prefix)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

PageLayout LayoutOf(std::uint32_t style) {
  switch (style) {
    case 0: return PageLayout::kPlain;
    case 1: return PageLayout::kSidePicture;
    case 3: return PageLayout::kSidePanel;
    default: return PageLayout::kHeaderBand;
  }
}

WString PageTemplateName(PageKind page, std::uint32_t style) {
  const WString base = BaseName(page);
  switch (LayoutOf(style)) {
    case PageLayout::kPlain: return page == PageKind::kGreeting ? WString() : base + u"2";
    case PageLayout::kSidePicture: return base;
    case PageLayout::kHeaderBand: return base + u"3";
    case PageLayout::kSidePanel: return base + u"4";
  }
  return base;
}

bool ShowsLanguagePage(std::size_t language_count, bool automatic) { return language_count > 1 && !automatic; }

bool ShowsGreetingPage(bool automatic, ProductFlags flags) { return !automatic && !HasFlag(flags, product_flag::kNoGreetingPage); }

bool ShowsPasswordPage(const WString& password) { return !password.empty(); }

bool ShowsFolderPage(bool automatic, ProductFlags flags, bool folder_page_allowed) {
  return !automatic && HasFlag(flags, product_flag::kFolderPage) && folder_page_allowed;
}

bool ShowsStartMenuPage(const StartMenuPageInput& in) {
  if (in.automatic || in.silent || !HasFlag(in.flags, product_flag::kStartMenuPage) || in.earlier_folder_exists) return false;
  return !(in.portable_drive && (in.archive_flags & archive_flag::kNoStartMenuPageOnRemovable));
}

bool ShowsProgressPage(ProductFlags flags, bool silent) { return HasFlag(flags, product_flag::kProgressPage) && !silent; }

WString EarlierStartMenuName(bool earlier_folder_exists, const WString& earlier_start_menu) {
  return earlier_folder_exists ? earlier_start_menu : WString();
}

std::vector<PageDocument> PageDocuments(const WString& language_text, const std::vector<Bytes>& documents,
                                        const LocalizedTexts& texts) {
  std::vector<PageDocument> out;
  if (!language_text.empty()) out.push_back({false, language_text, {}});
  for (const Bytes& bytes : documents) {
    if (bytes.empty()) continue;
    PageDocument doc;
    if (IsRtfText(bytes)) {
      doc.rich = true;
      doc.rtf = RtfDocumentText(bytes);
    } else {
      doc.text = texts.ReplacePlaceholders(PlainDocumentText(bytes));
      if (doc.text.empty()) continue;
    }
    out.push_back(std::move(doc));
  }
  return out;
}

WString GreetingLinkText(const WString& text105, const WString& link) {
  if (text105.empty() || link.empty()) return WString();
  return ReplaceAll(text105, u"<a>", u"<a href=\"" + link + u"\">");
}

WString GreetingMessage(const WString& text1, PageLayout layout) {
  return layout == PageLayout::kHeaderBand ? u"\r\n\r\n" + text1 : text1;
}

WString SizeText(std::uint64_t bytes) {
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB"};
  if (bytes < 1024) return Widen(std::to_string(bytes) + " bytes");
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1000 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  // Three significant digits, cut rather than rounded up, so a size never
  // shows more than it is.
  const int decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
  double scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
  const double cut = static_cast<double>(static_cast<std::uint64_t>(value * scale)) / scale;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.*f %s", decimals, cut, kUnits[unit]);
  return Widen(buffer);
}

std::uint64_t SpaceNeeded(const std::vector<std::int32_t>& per_file_sizes) {
  std::uint64_t sum = 0;
  for (const std::int32_t size : per_file_sizes) {
    if (size > 0) sum += static_cast<std::uint64_t>(size);
  }
  return sum;
}

int PreselectedLanguage(const std::vector<WString>& names, const WString& user_language) {
  if (names.empty()) return -1;
  const WString own = Trimmed(WStringView(user_language).substr(0, user_language.find(u'(')));
  if (const int found = FirstStartingWith(names, own); found >= 0) return found;
  if (const int found = FirstStartingWith(names, u"English"); found >= 0) return found;
  return 0;
}

bool StartMenuEntryValid(WStringView entry) {
  if (entry.find_first_of(u"/\"<>|*?:;") != WStringView::npos) return false;
  if (!entry.empty() && entry.front() == u'\\') return false;
  return entry.find(u"\\\\") == WStringView::npos;
}

int FirstMatchingCloseEntry(const std::vector<CloseProgramEntry>& entries, WStringView window_class,
                            WStringView title) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const CloseProgramEntry& e = entries[i];
    if ((e.when & kCloseAtInstallation) == 0) continue;
    if (AutoClosePatternMatches(e.class_pattern, window_class) && AutoClosePatternMatches(e.title_pattern, title))
      return static_cast<int>(i);
  }
  return -1;
}

SummaryBoxes SummaryBoxesShown(bool offer_view_log, const WString& document, const WString& open,
                               const WString& launch) {
  return {offer_view_log, !document.empty(), !open.empty(), !launch.empty()};
}

}  // namespace ks
