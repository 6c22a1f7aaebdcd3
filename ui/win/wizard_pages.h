#pragma once
// The wizard's pages: language, greeting, password, licence and readme,
// folder (with its checks), Start-menu folder, summary, and the uninstaller's
// support offer. Each shows its texts by number and returns what the user
// chose; a cancelled page returns false (or nullopt), and the caller ends
// the run. The progress page is ui/win/progress_page.h.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "core/localized_texts.h"
#include "ui/folder_validation.h"
#include "ui/win/wizard_page.h"
#include "ui/wizard_rules.h"

namespace ks {

// What every page of a run shares.
struct WizardContext {
  const PageLook* look = nullptr;
  const LocalizedTexts* texts = nullptr;
  HWND owner = nullptr;   // the background window, or none
  WString header_text;    // the header band's bold line: the wizard caption
  // Text n, or the engine's English text when the table lacks it.
  WString Text(int n) const { return texts->TextOrEnglish(n); }
  // The frame of `page` in `style` with its page title.
  PageFrame Frame(PageKind page, std::uint32_t style, int title_text) const;
};

// The language page: the selection becomes the current language of `texts`
// at once (then `applied` runs: the background and the caption follow). The
// header band's line is text 114, or `caption` when that is empty.
bool RunLanguagePage(const WizardContext& ctx, LocalizedTexts& texts, std::uint32_t style,
                     const WString& user_language, const WString& caption, const std::function<void()>& applied);

// The user's language as the system names it in that language, such as
// "Deutsch (Deutschland)".
WString UserLanguageName();

// The greeting page (style 0: a message box). `link` is the information
// link; `link_opened` runs when the user opened it.
bool RunGreetingPage(const WizardContext& ctx, std::uint32_t style, const WString& link,
                     const std::function<void()>& link_opened);

// The password page: ends only with the exact password, or cancelled.
bool RunPasswordPage(const WizardContext& ctx, const WString& password);

// A licence (or readme) page with one document; with `scroll_to_end` the
// first button waits until the document was scrolled to its end.
bool RunDocumentPage(const WizardContext& ctx, PageKind page, std::uint32_t style, const PageDocument& document,
                     bool scroll_to_end);

struct FolderPageInput {
  std::uint32_t style = 0;
  WString folder;                // the current installation folder
  bool start_menu_page_follows = false;
  bool file_system_only = false; // the browser offers file-system folders only
  bool show_space = false;
  std::uint64_t space_needed = 0;
  FolderRules rules;
  FolderFacts facts;
};
// The folder page and the checks of the chosen folder, until a folder passes
// them; nullopt when cancelled.
std::optional<WString> ChooseInstallFolder(const WizardContext& ctx, const FolderPageInput& in);

// The system's answers for the folder checks.
FolderFacts SystemFolderFacts();

// The Start-menu page; `name` is changed only when the page goes on.
bool RunStartMenuPage(const WizardContext& ctx, std::uint32_t style, WString& name, bool all_users);

// The summary page with the boxes of `shown`; returns those ticked.
SummaryBoxes RunSummaryPage(const WizardContext& ctx, std::uint32_t style, const SummaryBoxes& shown);

// The uninstaller's support offer; true when the user chose to visit it.
bool RunSupportOffer(const WizardContext& ctx);

}  // namespace ks
