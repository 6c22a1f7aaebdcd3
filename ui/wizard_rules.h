#pragma once
// The wizard's rules as plain data: which page shows when, which dialog
// template a page uses in each layout variant, the documents of the licence
// and readme pages, the texts the pages build, the language preselection and
// the Start-menu entry check. The Win32 pages (ui/win) apply them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "core/install_settings.h"
#include "core/localized_texts.h"
#include "core/product_flags.h"
#include "lib/text.h"
#include "records/uninstall_data.h"

namespace ks {

// Control ids shared by the pages and the templates (ui/resources/pages.rc).
namespace page_control {
inline constexpr int kFirstButton = 1001;
inline constexpr int kCancel = 1003;
inline constexpr int kDocument = 1005;
inline constexpr int kProgressBar = 1007;
inline constexpr int kPageText = 1009;
inline constexpr int kStageText = 1011;
inline constexpr int kBrowse = 1013;
inline constexpr int kEntry = 1015;
inline constexpr int kLanguageList = 1017;
inline constexpr int kPassword = 1019;
inline constexpr int kSidePicture = 1021;
inline constexpr int kViewLogBox = 1023;
inline constexpr int kDocumentBox = 1025;
inline constexpr int kOpenBox = 1027;
inline constexpr int kLaunchBox = 1029;
inline constexpr int kHeaderBand = 1032;
inline constexpr int kHeaderLine = 1034;
inline constexpr int kHeaderSubLine = 1035;
inline constexpr int kSpaceNeeded = 1036;
inline constexpr int kSpaceFree = 1037;
inline constexpr int kPasswordLabel = 1039;
inline constexpr int kLink = 1040;
inline constexpr int kPanel = 1042;
}  // namespace page_control

// The pages that exist in the four layout variants, in the order of their
// style values in the settings (after the uninstaller's two).
enum class PageKind { kGreeting, kLanguage, kLicence, kReadme, kFolder, kStartMenu, kProgress, kSummary };

// The layout a style value chooses: 0 plain, 1 side picture, 3 side picture
// on a white panel, anything else the header band.
enum class PageLayout { kPlain, kSidePicture, kHeaderBand, kSidePanel };
PageLayout LayoutOf(std::uint32_t style);

// The template of `page` in the layout of `style`: "LicenseDlg2" for style 0,
// "LicenseDlg" for 1, "LicenseDlg3" for 2 and any other, "LicenseDlg4" for 3.
// The greeting has no plain template (a message box stands in): empty.
WString PageTemplateName(PageKind page, std::uint32_t style);
inline constexpr const char16_t* kPasswordTemplate = u"EnterPassword";
inline constexpr const char16_t* kSupportOfferTemplate = u"SupportOffer";
// The uninstaller's progress window.
inline constexpr const char16_t* kUninstallProgressTemplate = u"ProgressDlg3";

// Picture numbers of the engine: the side picture, the header band picture
// and the images of the first and the cancel button. The same number plus
// kLargeBitmapOffset holds the picture drawn for 192 dots per inch.
inline constexpr int kSidePictureBitmap = 2;
inline constexpr int kHeaderBitmap = 3;
inline constexpr int kFirstButtonImage = 4;
inline constexpr int kCancelButtonImage = 5;
inline constexpr int kLargeBitmapOffset = 200;
// From this many dots per inch on the large pictures are used.
inline constexpr int kLargeBitmapDpi = 144;
// The engine's own pictures are not bitmap resources: each is a whole .bmp
// file packed as one .xz stream, kept as RCDATA of its number, and unpacked
// to at most this many bytes. A bitmap resource of the number, which only the
// authoring tool writes (the author's own picture), wins at every resolution.
inline constexpr std::size_t kMaxPackedPicture = std::size_t{4} << 20;

namespace archive_flag {
inline constexpr std::uint32_t kNoStartMenuPageOnRemovable = 0x00000800;
inline constexpr std::uint32_t kAsciiFolderOnly = 0x00010000;
inline constexpr std::uint32_t kShowDiskSpace = 0x00400000;
inline constexpr std::uint32_t kLicenceScrollToEnd = 0x00800000;
}  // namespace archive_flag

// ---- the sequence -------------------------------------------------------------

bool ShowsLanguagePage(std::size_t language_count, bool automatic);
bool ShowsGreetingPage(bool automatic, ProductFlags flags);
bool ShowsPasswordPage(const WString& password);
// `folder_page_allowed`: neither the registry nor an earlier installation fixed the folder.
bool ShowsFolderPage(bool automatic, ProductFlags flags, bool folder_page_allowed);
struct StartMenuPageInput {
  bool automatic = false;
  bool silent = false;
  ProductFlags flags = 0;
  std::uint32_t archive_flags = 0;
  bool earlier_folder_exists = false;
  bool portable_drive = false;  // the installation folder lies on a removable, CD-ROM or RAM drive
};
bool ShowsStartMenuPage(const StartMenuPageInput& in);
bool ShowsProgressPage(ProductFlags flags, bool silent);

// The Start-menu name once the earlier installation is known: its
// "ProductStartMenu" when the page is skipped because that folder exists.
// Empty: the settings' name stays.
WString EarlierStartMenuName(bool earlier_folder_exists, const WString& earlier_start_menu);

// ---- documents ----------------------------------------------------------------

// A licence or readme document as the page shows it.
struct PageDocument {
  bool rich = false;  // RTF, shown by a rich-edit view as it is
  WString text;       // plain text, placeholders replaced
  NString rtf;        // the RTF bytes (a UTF-16 RTF text is narrowed)
  bool operator==(const PageDocument& o) const { return rich == o.rich && text == o.text && rtf == o.rtf; }
};

// The documents of the licence (or readme) pages: the language's own text
// (63, or 64) when not empty, then the settings' documents; empty ones are
// skipped. Plain documents are UTF-16LE (a leading byte-order mark is
// dropped) and get the placeholders of `texts`.
std::vector<PageDocument> PageDocuments(const WString& language_text, const std::vector<Bytes>& documents,
                                        const LocalizedTexts& texts);

// ---- texts --------------------------------------------------------------------

// The greeting's link: text 105 with "<a>" replaced by an opening link tag
// for `link`. Empty when either is empty.
WString GreetingLinkText(const WString& text105, const WString& link);

// The greeting message: text 1, after two line ends in the header-band layout.
WString GreetingMessage(const WString& text1, PageLayout layout);

// A byte count as the folder page shows it: "512 bytes", "1.5 KB", "12.3 MB",
// "2.00 GB" (three significant digits, units of 1024).
WString SizeText(std::uint64_t bytes);

// The sum of the archive's per-file sizes (negative entries count as 0).
std::uint64_t SpaceNeeded(const std::vector<std::int32_t>& per_file_sizes);

// The entry the language page selects first: the first name that begins with
// the user's own language name (cut before its "(" and trimmed), else the
// first beginning with "English", else the first. -1 for no names.
int PreselectedLanguage(const std::vector<WString>& names, const WString& user_language);

// The Start-menu entry may be used: none of / " < > | * ? : ; and neither a
// leading backslash nor two backslashes in a row.
bool StartMenuEntryValid(WStringView entry);

// ---- programs to close ----------------------------------------------------------

// The when-byte of a programs-to-close entry.
inline constexpr std::uint8_t kCloseAtInstallation = 0x1;
inline constexpr std::uint8_t kCloseAtUninstallation = 0x2;

// The first entry for the installation whose two patterns fit the window's
// class and title (the auto-close pattern rules); -1 when none does.
int FirstMatchingCloseEntry(const std::vector<CloseProgramEntry>& entries, WStringView window_class,
                            WStringView title);

// The summary page's check boxes, by the conditions that show them.
struct SummaryBoxes {
  bool view_log = false;  // 1023, text 85
  bool document = false;  // 1025, text 87 (setting 73)
  bool open = false;      // 1027, text 83 (setting 72)
  bool launch = false;    // 1029, text 84 (setting 71)
  bool any() const { return view_log || document || open || launch; }
};
// `offer_view_log`: ProductFlags high 0x02000000, withdrawn when no log is written.
SummaryBoxes SummaryBoxesShown(bool offer_view_log, const WString& document, const WString& open,
                               const WString& launch);

}  // namespace ks
