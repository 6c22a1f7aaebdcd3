#include "ui/win/wizard_pages.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "core/report_text.h"
#include "core/win/reports.h"
#include "engine/special_folders.h"
#include "engine/win/special_folders.h"
#include "lib/win/message_boxes.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

namespace pc = page_control;

void ShowControl(HWND page, int id, bool shown) {
  if (const HWND control = ::GetDlgItem(page, id)) ::ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
}

void EnableControl(HWND page, int id, bool enabled) {
  if (const HWND control = ::GetDlgItem(page, id)) ::EnableWindow(control, enabled ? TRUE : FALSE);
}

// The first and cancel buttons' texts.
void SetButtons(const WizardContext& ctx, HWND page, int first, int cancel) {
  SetControlText(page, pc::kFirstButton, ctx.Text(first));
  SetControlText(page, pc::kCancel, ctx.Text(cancel));
}

// ---- language ----------------------------------------------------------------

class LanguagePage : public PageHandler {
 public:
  LanguagePage(const WizardContext& ctx, LocalizedTexts& texts, std::uint32_t style, const WString& user_language,
               const WString& caption, const std::function<void()>& applied)
      : ctx_(ctx), texts_(texts), style_(style), user_language_(user_language), caption_(caption),
        applied_(applied) {}

  void Init(HWND page) override {
    const HWND list = ::GetDlgItem(page, pc::kLanguageList);
    std::vector<WString> names;
    for (std::size_t i = 0; i < texts_.language_count(); ++i) {
      names.push_back(texts_.language_name(i));
      ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(names.back())));
    }
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(PreselectedLanguage(names, user_language_)), 0);
    Apply(page);
  }

  bool Command(HWND page, int id, int code) override {
    if (id != pc::kLanguageList) return false;
    if (code == LBN_SELCHANGE) Apply(page);
    if (code == LBN_DBLCLK) {
      Choose(page);
      ::EndDialog(page, kPageGoOn);
    }
    return true;
  }

  bool FirstButton(HWND page) override {
    Choose(page);
    return true;
  }

  int FocusControl() const override { return pc::kLanguageList; }

 private:
  int Selection(HWND page) const {
    const auto index = ::SendDlgItemMessageW(page, pc::kLanguageList, LB_GETCURSEL, 0, 0);
    return index == LB_ERR ? -1 : static_cast<int>(index);
  }

  void Choose(HWND page) {
    const int index = Selection(page);
    texts_.set_current_language(index < 0 ? 0 : index);
  }

  void Apply(HWND page) {
    if (const int index = Selection(page); index >= 0) texts_.set_current_language(index);
    SetControlText(page, pc::kPageText, ctx_.Text(82));
    SetButtons(ctx_, page, 48, 49);
    if (LayoutOf(style_) == PageLayout::kHeaderBand) {
      const WString own = texts_.Text(114);
      SetControlText(page, pc::kHeaderLine, own.empty() ? caption_ : own);
      SetControlText(page, pc::kHeaderSubLine, ctx_.Text(94));
      ::SetWindowTextW(page, W(ctx_.Text(65)));
    } else {
      ::SetWindowTextW(page, W(ctx_.Text(94)));
    }
    if (applied_) applied_();
  }

  const WizardContext& ctx_;
  LocalizedTexts& texts_;
  std::uint32_t style_;
  const WString& user_language_;
  const WString& caption_;
  const std::function<void()>& applied_;
};

// ---- greeting --------------------------------------------------------------------

class GreetingPage : public PageHandler {
 public:
  GreetingPage(const WizardContext& ctx, std::uint32_t style, const WString& link,
               const std::function<void()>& link_opened)
      : ctx_(ctx), style_(style), link_(link), link_opened_(link_opened) {}

  void Init(HWND page) override {
    SetControlText(page, pc::kPageText, GreetingMessage(ctx_.Text(1), LayoutOf(style_)));
    const WString link_text = GreetingLinkText(ctx_.Text(105), link_);
    SetControlText(page, pc::kLink, link_text);
    ShowControl(page, pc::kLink, !link_text.empty());
    SetButtons(ctx_, page, 48, 49);
  }

  bool Notify(HWND, const NMHDR& header) override {
    if (header.idFrom != static_cast<UINT_PTR>(pc::kLink)) return false;
    if (header.code != NM_CLICK && header.code != NM_RETURN) return false;
    ::ShellExecuteW(nullptr, L"open", W(link_), nullptr, nullptr, SW_SHOWNORMAL);
    if (link_opened_) link_opened_();
    return true;
  }

 private:
  const WizardContext& ctx_;
  std::uint32_t style_;
  const WString& link_;
  const std::function<void()>& link_opened_;
};

// ---- password ------------------------------------------------------------------

constexpr int kPasswordLimit = 64;
constexpr DWORD kWrongPasswordPause = 500;

class PasswordPage : public PageHandler {
 public:
  PasswordPage(const WizardContext& ctx, const WString& password) : ctx_(ctx), password_(password) {}

  void Init(HWND page) override {
    SetControlText(page, pc::kPageText, ctx_.Text(76));
    SetControlText(page, pc::kPasswordLabel, ctx_.Text(27));
    SetControlText(page, pc::kFirstButton, u"OK");
    SetControlText(page, pc::kCancel, ctx_.Text(49));
    ::SendDlgItemMessageW(page, pc::kPassword, EM_LIMITTEXT, kPasswordLimit, 0);
  }

  int FocusControl() const override { return pc::kPassword; }

  bool FirstButton(HWND page) override {
    if (ControlText(page, pc::kPassword) == password_) return true;
    // The pause makes guessing slow; the number of attempts is not limited.
    ::Sleep(kWrongPasswordPause);
    ShowMessageBox(ctx_.Text(102), ctx_.Text(21), MB_OK | MB_ICONSTOP);
    const HWND entry = ::GetDlgItem(page, pc::kPassword);
    ::SetFocus(entry);
    ::SendMessageW(entry, EM_SETSEL, 0, -1);
    return false;
  }

 private:
  const WizardContext& ctx_;
  const WString& password_;
};

// ---- licence and readme ----------------------------------------------------------

struct RtfSource {
  const NString* text = nullptr;
  std::size_t at = 0;
};

DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) {
  auto* source = reinterpret_cast<RtfSource*>(cookie);
  const std::size_t left = source->text->size() - source->at;
  const std::size_t n = left < static_cast<std::size_t>(wanted) ? left : static_cast<std::size_t>(wanted);
  std::copy_n(source->text->data() + source->at, n, reinterpret_cast<char*>(buffer));
  source->at += n;
  *got = static_cast<LONG>(n);
  return 0;
}

void ShowDocument(HWND view, const PageDocument& doc) {
  if (doc.rich) {
    RtfSource source{&doc.rtf, 0};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = ReadRtf;
    ::SendMessageW(view, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  } else {
    SETTEXTEX how{ST_DEFAULT, 1200};
    ::SendMessageW(view, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(doc.text.c_str()));
  }
}

// The view shows the end of its document (or needs no scrolling at all).
bool ScrolledToEnd(HWND view) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  if (!::GetScrollInfo(view, SB_VERT, &info)) return true;
  if (info.nMax <= info.nMin || static_cast<int>(info.nPage) > info.nMax - info.nMin) return true;
  // The last position is nMax - nPage + 1 for the system's scroll bars and
  // nMax - nPage for some rich-edit versions.
  return info.nPos + static_cast<int>(info.nPage) >= info.nMax;
}

class DocumentPage : public PageHandler {
 public:
  DocumentPage(const WizardContext& ctx, PageKind kind, const PageDocument& doc, bool gate)
      : ctx_(ctx), kind_(kind), doc_(doc), gate_(gate) {}

  void Init(HWND page) override {
    const bool licence = kind_ == PageKind::kLicence;
    SetControlText(page, pc::kPageText, ctx_.Text(licence ? 47 : 51));
    SetButtons(ctx_, page, licence ? 45 : 48, licence ? 46 : 49);
    const HWND view = ::GetDlgItem(page, pc::kDocument);
    if (!view) return;
    ::SendMessageW(view, WM_SETFONT, ::SendMessageW(page, WM_GETFONT, 0, 0), FALSE);
    ShowDocument(view, doc_);
    ::SendMessageW(view, EM_SETSEL, 0, 0);
    const ProgramResources& r = *ctx_.look->resources;
    if (r.set_window_subclass) r.set_window_subclass(view, WatchView, 0, reinterpret_cast<DWORD_PTR>(this));
    if (!gate_) return;
    ::SendMessageW(view, EM_SETEVENTMASK, 0, ENM_SCROLL);
    page_ = page;
    Check();
  }

  bool Command(HWND, int id, int code) override {
    if (id == pc::kDocument && code == EN_VSCROLL && gate_) Check();
    return id == pc::kDocument;
  }

  int FocusControl() const override { return pc::kDocument; }

 private:
  // The dialog manager would select the whole document whenever the view
  // gets the focus; and every way of scrolling the view ends in one of the
  // messages after which the gate looks again.
  static LRESULT CALLBACK WatchView(HWND view, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                    DWORD_PTR self) {
    auto* page = reinterpret_cast<DocumentPage*>(self);
    LRESULT result = page->ctx_.look->resources->def_subclass_proc(view, message, wparam, lparam);
    if (message == WM_GETDLGCODE) result &= ~static_cast<LRESULT>(DLGC_HASSETSEL);
    if (message == WM_VSCROLL || message == WM_MOUSEWHEEL || message == WM_KEYUP || message == WM_LBUTTONUP)
      page->Check();
    return result;
  }

  // Once the end was seen, the button stays enabled.
  void Check() {
    if (!page_ || reached_end_) return;
    reached_end_ = ScrolledToEnd(::GetDlgItem(page_, pc::kDocument));
    EnableControl(page_, pc::kFirstButton, reached_end_);
  }

  const WizardContext& ctx_;
  PageKind kind_;
  const PageDocument& doc_;
  bool gate_;
  HWND page_ = nullptr;
  bool reached_end_ = false;
};

// ---- the folder browser ----------------------------------------------------------

struct ItemListCloser {
  void operator()(LPITEMIDLIST list) const { ::CoTaskMemFree(list); }
};
using OwnedItemList = Owned<LPITEMIDLIST, ItemListCloser>;

int CALLBACK BrowserStarts(HWND browser, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED && start) ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, start);
  return 0;
}

// The system's folder browser; empty when the user cancelled it.
WString BrowseForFolder(HWND owner, const WString& title, const WString& start, LPCITEMIDLIST root,
                        bool file_system_only) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = root;
  info.lpszTitle = W(title);
  info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX | (file_system_only ? BIF_RETURNONLYFSDIRS : 0);
  info.lpfn = BrowserStarts;
  info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(W(start));
  const OwnedItemList chosen(::SHBrowseForFolderW(&info));
  if (!chosen) return WString();
  WString path(MAX_PATH, u'\0');
  if (!::SHGetPathFromIDListW(chosen.get(), W(path))) return WString();
  return FromW(W(path));
}

// ---- folder ----------------------------------------------------------------------

constexpr int kFolderLimit = 259;

class FolderPage : public PageHandler {
 public:
  FolderPage(const WizardContext& ctx, const FolderPageInput& in, WString& folder)
      : ctx_(ctx), in_(in), folder_(folder) {}

  void Init(HWND page) override {
    SetControlText(page, pc::kPageText, ctx_.Text(11));
    ::SendDlgItemMessageW(page, pc::kEntry, EM_LIMITTEXT, kFolderLimit, 0);
    SetControlText(page, pc::kEntry, folder_);
    SetControlText(page, pc::kBrowse, ctx_.Text(52));
    SetButtons(ctx_, page, in_.start_menu_page_follows ? 48 : 90, 49);
    ShowControl(page, pc::kSpaceNeeded, in_.show_space);
    ShowControl(page, pc::kSpaceFree, in_.show_space);
    if (in_.show_space) {
      SetControlText(page, pc::kSpaceNeeded, FormatReportText(ctx_.Text(92), {SizeText(in_.space_needed)}));
      ShowFreeSpace(page);
    }
  }

  bool Command(HWND page, int id, int code) override {
    if (id == pc::kEntry && code == EN_CHANGE) {
      if (in_.show_space) ShowFreeSpace(page);
      return true;
    }
    if (id != pc::kBrowse || code != BN_CLICKED) return false;
    const WString chosen =
        BrowseForFolder(page, ctx_.Text(11), ControlText(page, pc::kEntry), nullptr, in_.file_system_only);
    if (!chosen.empty()) SetControlText(page, pc::kEntry, chosen);
    return true;
  }

  bool FirstButton(HWND page) override {
    folder_ = ControlText(page, pc::kEntry);
    return true;
  }

  int FocusControl() const override { return pc::kEntry; }

 private:
  void ShowFreeSpace(HWND page) {
    const WString entry = ControlText(page, pc::kEntry);
    std::optional<std::uint64_t> free;
    if (entry.size() >= 2 && entry[1] == u':' && in_.facts.free_bytes) {
      free = in_.facts.free_bytes(entry.substr(0, 2) + u"\\");
    }
    SetControlText(page, pc::kSpaceFree, free ? FormatReportText(ctx_.Text(93), {SizeText(*free)}) : WString());
  }

  const WizardContext& ctx_;
  const FolderPageInput& in_;
  WString& folder_;
};

WString RefusalText(const WizardContext& ctx, const FolderVerdict& v) {
  WString text = ctx.Text(v.text);
  if (v.text_with_folder) text += u"\r\n\r\n" + v.folder;
  return text;
}

// ---- Start menu ------------------------------------------------------------------

class StartMenuPage : public PageHandler {
 public:
  StartMenuPage(const WizardContext& ctx, WString& name, bool all_users) : ctx_(ctx), name_(name), all_(all_users) {}

  void Init(HWND page) override {
    SetControlText(page, pc::kPageText, ctx_.Text(88));
    SetControlText(page, pc::kEntry, name_);
    SetControlText(page, pc::kBrowse, ctx_.Text(52));
    SetButtons(ctx_, page, 90, 49);
    Validate(page);
  }

  bool Command(HWND page, int id, int code) override {
    if (id == pc::kEntry && code == EN_CHANGE) {
      Validate(page);
      return true;
    }
    if (id != pc::kBrowse || code != BN_CLICKED) return false;
    const WString programs = SpecialFolderPath(all_ ? SpecialFolder::kCommonPrograms : SpecialFolder::kPrograms);
    LPITEMIDLIST root_list = nullptr;
    ::SHGetSpecialFolderLocation(page, all_ ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS, &root_list);
    const OwnedItemList root(root_list);
    const WString start = programs.empty() ? WString() : JoinPath(programs, ControlText(page, pc::kEntry));
    const WString chosen = BrowseForFolder(page, ctx_.Text(88), start, root.get(), true);
    // The entry names a folder below the Programs folder.
    if (!chosen.empty() && !programs.empty() && StartsWithIgnoreCase(chosen, programs + u"\\")) {
      SetControlText(page, pc::kEntry, chosen.substr(programs.size() + 1));
    }
    return true;
  }

  bool FirstButton(HWND page) override {
    name_ = ControlText(page, pc::kEntry);
    return true;
  }

  int FocusControl() const override { return pc::kEntry; }

 private:
  void Validate(HWND page) { EnableControl(page, pc::kFirstButton, StartMenuEntryValid(ControlText(page, pc::kEntry))); }

  const WizardContext& ctx_;
  WString& name_;
  bool all_;
};

// ---- summary ---------------------------------------------------------------------

class SummaryPage : public PageHandler {
 public:
  SummaryPage(const WizardContext& ctx, const SummaryBoxes& shown, SummaryBoxes& ticked)
      : ctx_(ctx), shown_(shown), ticked_(ticked) {}

  void Init(HWND page) override {
    SetControlText(page, pc::kPageText, ctx_.Text(42));
    SetControlText(page, pc::kFirstButton, ctx_.Text(95));
    // Launch, open, document, log from the top; a hidden box leaves no gap.
    const struct {
      int id, text;
      bool shown, ticked;
    } boxes[] = {{pc::kLaunchBox, 84, shown_.launch, true},
                 {pc::kOpenBox, 83, shown_.open, true},
                 {pc::kDocumentBox, 87, shown_.document, true},
                 {pc::kViewLogBox, 85, shown_.view_log, false}};
    std::vector<RECT> slots;
    for (const auto& b : boxes) {
      RECT r{};
      ::GetWindowRect(::GetDlgItem(page, b.id), &r);
      ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
      slots.push_back(r);
    }
    std::size_t next = 0;
    for (const auto& b : boxes) {
      const HWND box = ::GetDlgItem(page, b.id);
      if (!box) continue;
      SetControlText(page, b.id, ctx_.Text(b.text));
      ShowControl(page, b.id, b.shown);
      if (!b.shown) continue;
      ::CheckDlgButton(page, b.id, b.ticked ? BST_CHECKED : BST_UNCHECKED);
      const RECT& slot = slots[next++];
      ::SetWindowPos(box, nullptr, slot.left, slot.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
  }

  bool FirstButton(HWND page) override {
    const auto ticked = [&](int id, bool shown) { return shown && ::IsDlgButtonChecked(page, id) == BST_CHECKED; };
    ticked_.launch = ticked(pc::kLaunchBox, shown_.launch);
    ticked_.open = ticked(pc::kOpenBox, shown_.open);
    ticked_.document = ticked(pc::kDocumentBox, shown_.document);
    ticked_.view_log = ticked(pc::kViewLogBox, shown_.view_log);
    return true;
  }

 private:
  const WizardContext& ctx_;
  const SummaryBoxes& shown_;
  SummaryBoxes& ticked_;
};

// ---- support offer ---------------------------------------------------------------

class SupportOfferPage : public PageHandler {
 public:
  explicit SupportOfferPage(const WizardContext& ctx) : ctx_(ctx) {}
  void Init(HWND page) override {
    SetControlText(page, pc::kPageText, ctx_.Text(109));
    SetButtons(ctx_, page, 110, 104);
  }

 private:
  const WizardContext& ctx_;
};

}  // namespace

PageFrame WizardContext::Frame(PageKind page, std::uint32_t style, int title_text) const {
  return MakeFrame(PageTemplateName(page, style), style, Text(title_text), Text(65), header_text);
}

WString UserLanguageName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH * 2] = {};
  // The display name with the country; systems before it know the language alone.
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SNATIVEDISPLAYNAME, name, static_cast<int>(std::size(name))) ||
      ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SNATIVELANGNAME, name, static_cast<int>(std::size(name)))) {
    return FromW(name);
  }
  return WString();
}

bool RunLanguagePage(const WizardContext& ctx, LocalizedTexts& texts, std::uint32_t style,
                     const WString& user_language, const WString& caption, const std::function<void()>& applied) {
  LanguagePage handler(ctx, texts, style, user_language, caption, applied);
  return RunPage(*ctx.look, ctx.Frame(PageKind::kLanguage, style, 94), handler, ctx.owner) == kPageGoOn;
}

bool RunGreetingPage(const WizardContext& ctx, std::uint32_t style, const WString& link,
                     const std::function<void()>& link_opened) {
  if (LayoutOf(style) == PageLayout::kPlain) {
    return ShowMessageBox(ctx.Text(1), ctx.Text(65), MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
  }
  GreetingPage handler(ctx, style, link, link_opened);
  const int title = LayoutOf(style) == PageLayout::kHeaderBand ? 103 : 65;
  return RunPage(*ctx.look, ctx.Frame(PageKind::kGreeting, style, title), handler, ctx.owner) == kPageGoOn;
}

bool RunPasswordPage(const WizardContext& ctx, const WString& password) {
  PasswordPage handler(ctx, password);
  const PageFrame frame = MakeFrame(kPasswordTemplate, 0, ctx.Text(75), ctx.Text(65), ctx.header_text);
  return RunPage(*ctx.look, frame, handler, ctx.owner) == kPageGoOn;
}

bool RunDocumentPage(const WizardContext& ctx, PageKind page, std::uint32_t style, const PageDocument& document,
                     bool scroll_to_end) {
  DocumentPage handler(ctx, page, document, scroll_to_end);
  const int title = page == PageKind::kLicence ? 44 : 50;
  return RunPage(*ctx.look, ctx.Frame(page, style, title), handler, ctx.owner) == kPageGoOn;
}

std::optional<WString> ChooseInstallFolder(const WizardContext& ctx, const FolderPageInput& in) {
  WString folder = in.folder;
  const PageFrame frame = ctx.Frame(PageKind::kFolder, in.style, 24);
  for (;;) {
    FolderPage handler(ctx, in, folder);
    if (RunPage(*ctx.look, frame, handler, ctx.owner) != kPageGoOn) return std::nullopt;
    FolderRules rules = in.rules;
    rules.space_needed = in.space_needed;
    const FolderVerdict v = ValidateFolder(folder, rules, in.facts);
    switch (v.kind) {
      case FolderVerdict::kAccept:
        return v.folder;
      case FolderVerdict::kReopen:
        break;
      case FolderVerdict::kRefuse:
        ErrorBox(*ctx.texts, RefusalText(ctx, v));
        break;
      case FolderVerdict::kAskSpace: {
        const WString question = FormatReportText(ctx.Text(19), {static_cast<std::int64_t>(v.needed_kb),
                                                                 static_cast<std::int64_t>(v.free_kb)});
        if (ShowMessageBox(question, ctx.Text(20), MB_YESNO | MB_ICONQUESTION) == IDYES) return v.folder;
        break;
      }
    }
  }
}

FolderFacts SystemFolderFacts() {
  FolderFacts f;
  f.drive_kind = [](const WString& root) {
    switch (::GetDriveTypeW(W(root))) {
      case DRIVE_NO_ROOT_DIR: return DriveKind::kMissing;
      case DRIVE_FIXED: return DriveKind::kFixed;
      case DRIVE_REMOVABLE: return DriveKind::kRemovable;
      case DRIVE_CDROM: return DriveKind::kCdRom;
      case DRIVE_RAMDISK: return DriveKind::kRamDisk;
      case DRIVE_REMOTE: return DriveKind::kNetwork;
      default: return DriveKind::kOther;
    }
  };
  f.read_only = [](const WString& root) {
    DWORD flags = 0;
    return ::GetVolumeInformationW(W(root), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
           (flags & FILE_READ_ONLY_VOLUME) != 0;
  };
  f.free_bytes = [](const WString& root) -> std::optional<std::uint64_t> {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(W(root), &available, nullptr, nullptr)) return std::nullopt;
    return available.QuadPart;
  };
  for (const SpecialFolder folder : {SpecialFolder::kCommonDesktop, SpecialFolder::kDesktop,
                                     SpecialFolder::kCommonStartMenu, SpecialFolder::kStartMenu,
                                     SpecialFolder::kWindows}) {
    f.forbidden.push_back(SpecialFolderPath(folder));
  }
  for (const int mode : {kFolderMode32, kFolderMode64}) f.program_files.push_back(ProgramFilesFolder(mode));
  return f;
}

bool RunStartMenuPage(const WizardContext& ctx, std::uint32_t style, WString& name, bool all_users) {
  WString entry = name;
  StartMenuPage handler(ctx, entry, all_users);
  if (RunPage(*ctx.look, ctx.Frame(PageKind::kStartMenu, style, 89), handler, ctx.owner) != kPageGoOn) return false;
  name = entry;
  return true;
}

SummaryBoxes RunSummaryPage(const WizardContext& ctx, std::uint32_t style, const SummaryBoxes& shown) {
  SummaryBoxes ticked;
  SummaryPage handler(ctx, shown, ticked);
  RunPage(*ctx.look, ctx.Frame(PageKind::kSummary, style, 43), handler, ctx.owner);
  return ticked;
}

bool RunSupportOffer(const WizardContext& ctx) {
  SupportOfferPage handler(ctx);
  const PageFrame frame = MakeFrame(kSupportOfferTemplate, 0, ctx.Text(110), ctx.Text(65), ctx.header_text);
  return RunPage(*ctx.look, frame, handler, ctx.owner) == kPageGoOn;
}

}  // namespace ks
