// The uninstaller: the product's Uninstall key and "Uninstall.DAT" drive the
// removal; what fails stays recorded, so that running it again retries only
// what is left. The decisions are in uninstall/removal_plan.h; this file is
// the order of the steps and the system calls around them.

#include "uninstall/win/uninstaller.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <set>
#include <vector>

#include "core/report_text.h"
#include "core/win/fatal_error.h"
#include "engine/pending_cleanup.h"
#include "engine/win/file_removal.h"
#include "engine/win/folder_listing.h"
#include "engine/win/pending_cleanup.h"
#include "engine/win/search_path.h"
#include "engine/font_list.h"
#include "engine/win/special_folders.h"
#include "integration/component_texts.h"
#include "integration/win/after_run.h"
#include "integration/win/com_registration.h"
#include "integration/win/driver_packages.h"
#include "integration/win/font_registration.h"
#include "integration/win/package_installation.h"
#include "integration/win/shared_file_counts.h"
#include "integration/win/registry_step.h"
#include "lib/marked_text.h"
#include "lib/registry_path.h"
#include "lib/session.h"
#include "lib/end_of_process.h"
#include "lib/win/file.h"
#include "lib/win/fs_redirection.h"
#include "lib/win/message_boxes.h"
#include "lib/win/system_error.h"
#include "lib/win/notification_worker.h"
#include "lib/win/owned.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "records/win/uninstall_data_file.h"
#include "uninstall/removal_plan.h"
#include "uninstall/win/auto_close.h"
#include "uninstall/win/remove_associations.h"
#include "uninstall/win/remove_firewall_exceptions.h"
#include "uninstall/win/self_deletion.h"
#include "uninstall/win/unpin_taskbar.h"

namespace ks {
namespace {

// A status stays on the progress window at least this long.
constexpr unsigned kStatusTime = 700;
// A background picture larger than this is not loaded.
constexpr std::uint64_t kMaxBackgroundPicture = 64u << 20;

constexpr int kMaxStartMenuLevels = 20;
constexpr int kMaxProductKeyLevels = 20;
constexpr std::size_t kSoftwarePrefixLength = 9;  // "Software\"

// The Uninstall key through RegKey.
class RegKeySource : public UninstallKeySource {
 public:
  explicit RegKeySource(RegKey& key) : key_(key) {}
  bool ReadText(const WString& name, WString* out) override { return key_.GetString(RegName(name), out); }
  bool ReadNumber(const WString& name, std::uint64_t* out) override {
    DWORD dword = 0;
    if (key_.GetDword(RegName(name), &dword)) {
      *out = dword;
      return true;
    }
    return key_.GetQword(RegName(name), out);
  }

 private:
  RegKey& key_;
};


bool FileExists(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(FsPath(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ClearFolderAttributes(const WString& folder) {
  const DWORD attributes = ::GetFileAttributesW(FsPath(folder));
  constexpr DWORD kClear = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kClear) != 0) {
    ::SetFileAttributesW(FsPath(folder), attributes & ~kClear);
  }
}

// The system's folders and every folder they lie in: no removal climbs into them.
std::vector<WString> GuardedFolders() {
  const SpecialFolder kFolders[] = {
      SpecialFolder::kWindows,        SpecialFolder::kSystem,        SpecialFolder::kSystem32Bit,
      SpecialFolder::kProfile,        SpecialFolder::kAppData,       SpecialFolder::kCommonAppData,
      SpecialFolder::kDesktop,        SpecialFolder::kCommonDesktop, SpecialFolder::kDocuments,
      SpecialFolder::kCommonDocuments, SpecialFolder::kPrograms,     SpecialFolder::kCommonPrograms,
      SpecialFolder::kStartMenu,      SpecialFolder::kCommonStartMenu, SpecialFolder::kStartup,
      SpecialFolder::kCommonStartup,  SpecialFolder::kFonts,         SpecialFolder::kTemp,
      SpecialFolder::kFavorites,      SpecialFolder::kCommonFavorites};
  std::vector<WString> guarded;
  for (SpecialFolder folder : kFolders) guarded.push_back(SpecialFolderPath(folder));
  for (int mode : {kFolderMode32, kFolderMode64, kFolderModeDefault}) {
    guarded.push_back(ProgramFilesFolder(mode));
    guarded.push_back(CommonFilesFolder(mode));
  }
  return guarded;
}

bool IsGuarded(const WString& folder, const std::vector<WString>& guarded) {
  for (const WString& g : guarded) {
    if (IsSameOrInside(g, folder)) return true;
  }
  return false;
}

OwnedIcon LoadIconFile(const WString& path, int width_metric, int height_metric) {
  return OwnedIcon(static_cast<HICON>(::LoadImageW(nullptr, W(path), IMAGE_ICON, ::GetSystemMetrics(width_metric),
                                                   ::GetSystemMetrics(height_metric), LR_LOADFROMFILE)));
}

Bytes ReadPicture(const WString& path) {
  File file;
  std::uint64_t size = 0;
  if (file.Open(path, kFileRead) != kFileSuccess || file.Size(size) != kFileSuccess || size > kMaxBackgroundPicture)
    return {};
  Bytes bytes;
  if (file.Load(bytes) != kFileSuccess) return {};
  return bytes;
}

PageLook UninstallPageLook(const UninstallKeyValues& v, const ProgramResources& resources) {
  PageLook look;
  look.resources = &resources;
  look.font.face = v.appearance.dialog_font;
  if (HasFlag(v.product_flags, product_flag::kDialogColours) && v.appearance.dialog_colours) {
    look.background = v.appearance.dialog_bg;
    look.text = v.appearance.dialog_fg;
  }
  look.icons = true;
  return look;
}

BackgroundLook UninstallBackgroundLook(const UninstallAppearance& a, const Bytes* picture) {
  BackgroundLook look;
  look.taskbar_text = a.taskbar_text;
  look.title = a.title;
  look.title_points = a.title_size * kTitlePointsPerUnit;
  look.title_colour = a.title_color;
  look.title_shadow = static_cast<int>(a.title_shadow);
  look.title_position = static_cast<std::uint8_t>(a.title_position);
  look.title_font = a.title_font;
  look.top_colour = a.top_color;
  look.bottom_colour = a.bottom_color;
  look.mono = a.mono;
  look.picture = picture;
  look.picture_size = a.bitmap_size;
  look.stretch_mode = a.stretch_mode;
  look.copyright_text = a.copyright_text;
  look.copyright_font = a.copyright_font;
  look.copyright_points = a.copyright_size * kCopyrightPointsPerUnit;
  look.copyright_colour = a.copyright_color;
  look.copyright_position = static_cast<std::uint8_t>(a.copyright_pos);
  return look;
}

}  // namespace

Uninstaller::Uninstaller(WString key_name, UninstallContext context)
    : context_(context),
      vars_([this] { return UninstallationInputs(values_, automatic_, portable_); }) {
  values_.key_name = std::move(key_name);
}

void Uninstaller::Show(const WString& text, const WString& caption, unsigned icon) const {
  if (Shows()) ShowMessageBox(text, caption, MB_OK | icon);
}

void Uninstaller::ShowError(const WString& text) const {
  if (Shows()) ErrorBox(*context_.texts, text);
}

BatchContext Uninstaller::Batches() const {
  BatchContext batches;
  batches.vars = &vars_;
  batches.log = context_.log;
  batches.texts = context_.texts;
  batches.silent = silent_;
  batches.automatic = automatic_;
  batches.uninstalling = true;
  return batches;
}

RunEnd Uninstaller::OpenKey() {
  const WString path = ProductUninstallKeyPath(values_.key_name);
  RegKey probe;
  if (probe.Open(HKEY_LOCAL_MACHINE, path, kRegOpenOnly, KEY_READ | KEY_WOW64_32KEY) == kRegFailed) {
    ShowError(::GetLastError() == ERROR_ACCESS_DENIED ? PermissionDeniedMessage()
                                                      : NoSuchProductMessage(values_.key_name));
    return kUninstallNoProduct;
  }
  if (key_.Open(HKEY_LOCAL_MACHINE, path, kRegOpenOnly, kRegAccess32) == kRegFailed) {
    ShowError(KeyAccessFailedMessage(values_.key_name));
    return kUninstallNoProduct;
  }
  return kGoOn;
}

RunEnd Uninstaller::Open() {
  const StartOptions& options = *context_.options;
  silent_ = options.silent;
  automatic_ = options.automatic;
  if (RunEnd end = OpenKey()) return end;
  RegKeySource source(key_);
  values_ = ReadUninstallKeyValues(source, values_.key_name);
  // A folder that is a drive root or not absolute cannot be the product's:
  // everything relative starts there, and the whole-folder option would empty a drive.
  if (values_.install_location.empty() || !IsSafeAbsolutePath(values_.install_location)) {
    ShowError(CorruptRegistrationMessage(values_.display_name));
    return kUninstallIncomplete;
  }
  TakeRunState();
  OpenBackgroundWindow();
  return LoadData();
}

void Uninstaller::OpenBackgroundWindow() {
  const ProgramResources& resources = *context_.resources;
  const WString folder = UninstallDataFolder(values_);
  icon_large_ = LoadIconFile(JoinPath(folder, u"uninstall.ico"), SM_CXICON, SM_CYICON);
  icon_small_ = LoadIconFile(JoinPath(folder, u"uninstall.ico"), SM_CXSMICON, SM_CYSMICON);
  look_ = UninstallPageLook(values_, resources);
  look_.large_icon = icon_large_.get();
  look_.small_icon = icon_small_.get();
  wizard_.look = &look_;
  wizard_.texts = context_.texts;
  if (automatic_ || HasFlag(values_.product_flags, product_flag::kNoBackgroundWindow)) return;
  if (HasFlag(values_.product_flags, product_flag::kBackgroundBitmap)) {
    background_picture_ = ReadPicture(JoinPath(folder, u"Installer Background.bmp"));
  }
  const auto look = [this] { return UninstallBackgroundLook(values_.appearance, &background_picture_); };
  const bool maximised = HasFlag(values_.product_flags, product_flag::kBackgroundMaximised);
  if (!background_.Create(resources, look, maximised, false)) return;
  background_.SetIcons(icon_large_.get(), icon_small_.get());
  wizard_.owner = background_.window();
  SetMessageBoxOwner(background_.window());
  SetTerminateStep(TerminateStep::kBackgroundWindow, [this] { background_.Destroy(); });
}

void Uninstaller::OpenProgressWindow() {
  if (automatic_ || !HasFlag(values_.product_flags, product_flag::kProgressPage)) return;
  ProgressPageInput in;
  in.frame = MakeFrame(kUninstallProgressTemplate, 2, Text(55), Text(55), content_.page_header_title);
  in.frame.window_title = Text(55);
  in.page_text = Text(71);
  in.cancel_text = Text(49);
  in.cancel_enabled = false;
  in.stage_time_ms = silent_ ? 0 : kStatusTime;
  if (progress_.Open(wizard_, std::move(in))) {
    SetTerminateStep(TerminateStep::kProgressWindow, [this] { progress_.Close(); });
  }
}

void Uninstaller::Status(int text, int percent) {
  progress_.SetStage(Text(text));
  progress_.SetProgress(percent);
}

void Uninstaller::Item(const WString& name) {
  if (!HasFlag(values_.product_flags, product_flag::kNoShortcutProgressText)) progress_.SetItem(name);
}

void Uninstaller::TakeRunState() {
  if (HasFlag(values_.product_flags, product_flag::kUninstallSilently)) silent_ = true;
  // Every box of the process reads the same switch.
  SetMessageBoxesSilent(silent_);
  // A 32-bit uninstaller of a 64-bit product sees the real system folder
  // only with redirection off.
  if (values_.bitness == 1 && !SwitchOffFsRedirection()) FatalError("Wow64DisableWow64FsRedirection() failed");
  const WString root = values_.install_location.substr(0, 3);
  const UINT drive = ::GetDriveTypeW(W(root));
  portable_ = drive == DRIVE_REMOVABLE || drive == DRIVE_CDROM || drive == DRIVE_RAMDISK;
  own_path_ = ModuleFileName(nullptr);
  guarded_ = GuardedFolders();
}

RunEnd Uninstaller::LoadData() {
  const WString path = UninstallDataFilePath(values_);
  const FileResult result = LoadUninstallData(path, content_);
  if (result != kFileSuccess) {
    ShowError(UninstallDataLoadError(values_.display_name, path, result));
    return kUninstallIncomplete;
  }
  // The texts of the language chosen at installation replace the table.
  std::vector<std::vector<WString>> rows(1001);
  for (const auto& [number, text] : content_.texts) rows[static_cast<std::size_t>(number)] = {text};
  *context_.texts = LocalizedTexts({u"Uninstall"}, rows);
  context_.texts->SetPlaceholders(values_.display_name, WString(), WString());
  return kGoOn;
}

RunEnd Uninstaller::Confirm() {
  const Reports& reports = *context_.reports;
  const LocalizedTexts* ask = Shows() ? context_.texts : nullptr;
  if (!RunAutoCloseRules(content_.auto_close, kAutoCloseBeforeConfirmation, ask)) return kUninstallDeclined;
  if (!silent_ && !reports.Ask(Text(53), Text(55), Text(79), Text(80))) return kUninstallDeclined;
  // Offered only to a user who can choose: an automatic run answers every
  // question "yes", which here would mean leaving for the support page.
  if (Shows() && IsInternetAddress(values_.support_offer) && RunSupportOffer(wizard_)) {
    const WString address = AnsiToWide(values_.support_offer);
    ::ShellExecuteW(nullptr, L"open", W(address), nullptr, nullptr, SW_SHOWNORMAL);
    return kUninstallDeclined;
  }
  if (!RunAutoCloseRules(content_.auto_close, kAutoCloseAfterConfirmation, ask)) return kUninstallDeclined;
  return kGoOn;
}

void Uninstaller::Remove() {
  OpenProgressWindow();
  if (!values_.uninstall_batch1.empty()) {
    RunUninstallBatch(Batches(), 1, values_.product_flags, values_.uninstall_batch1);
    key_.DeleteValue("UninstallBatch1");
  }
  Status(70, 1);  // file associations
  RemoveFileAssociations(content_.associations, values_.display_name);
  progress_.WaitOutStage();
  Status(67, 3);  // fonts
  RemoveFonts();
  Status(68, 5);  // shared files
  if (!HasFlag(values_.product_flags, uninstall_flag::kKeepInstallLog)) {
    DeleteFileWithOptions(InstallLogPath(values_), 0);
    RemovePendingWrite(InstallLogPath(values_));
  }
  ReleaseSharedFiles();
  UnpinTaskbarItems(content_.items);
  progress_.WaitOutStage();
  if (!content_.msi.empty()) {
    Status(108, 5);
    RemovePackages();
    progress_.WaitOutStage();
  }
  progress_.SetProgress(10);
  RemoveItems();
  progress_.SetProgress(92);
  CleanPendingOperations(deleted_, nullptr);
  ConditionalDeletionPass pass;
  pass.pass = kUninstallationPass;
  pass.install_dir = values_.install_location;
  pass.expand = [this](const WString& text) { return vars_.Expanded(text); };
  pass.log = context_.log;
  RunConditionalDeletions(content_.deletions, pass);  // damaged records are dropped, never corrupt here
  if (pass.restart_needed) restart_needed_ = true;
  progress_.SetProgress(93);
  RemoveFolders();
  RewriteData();
  RemoveStartMenuFolder();
  Status(69, 95);  // registry entries
  RemoveProductKeys();
  if (!content_.registry.empty()) {
    RemoveRegistryRecords(Utf8ToWide(content_.registry),
                          HasFlag(values_.product_flags, product_flag::kProductRegistryKey));
  }
  progress_.SetProgress(96);
  if (context_.firewall) {
    RemoveRecordedFirewallExceptions(content_.firewall, values_.install_location, vars_, *context_.firewall);
  }
  progress_.SetProgress(97);
  RemoveDriverPackages();
  RemoveWholeFolder();
  progress_.SetProgress(98);
  if (!values_.shared_path.empty() && IsSafeAbsolutePath(values_.shared_path) &&
      !IsGuarded(values_.shared_path, guarded_)) {
    RemoveFolder(values_.shared_path);
  }
}

bool Uninstaller::AskToAll(const WString& text, const WString& caption, std::uint32_t& setting) const {
  if (setting != 1 || silent_ || automatic_) return true;
  switch (AskWithToAll(text, caption, Text(79), Text(80), Text(115))) {
    case ToAllAnswer::kNo:
      return false;
    case ToAllAnswer::kYesToAll:
      setting = 2;
      return true;
    default:
      return true;
  }
}

// UninstallFonts 0 keeps every font; 1 asks for each (unless silent); 2
// removes them. The list goes whatever was kept: a font kept now is the
// user's from here on.
void Uninstaller::RemoveFonts() {
  if (values_.uninstall_fonts == 0) return;
  bool removed = false;
  for (const FontListItem& font : ParseFontList(values_.product_fonts)) {
    const WString name = Utf8ToWide(font.registered_name);
    if (!AskToAll(FormatReportText(Text(56), {name}), Text(57), values_.uninstall_fonts)) continue;
    if (RemoveFont(font.registered_name, font.file_name)) removed = true;
  }
  key_.DeleteValue("ProductFonts");
  if (removed) AnnounceFontChange();
}

void Uninstaller::ReleaseSharedFiles() {
  const std::vector<SharedFileListing> listings = ParseSharedFiles(values_.shared_files);
  if (listings.empty()) return;
  SharedCounts counts;
  if (!counts.Open()) {
    failures_ += kSharedCountsNotAdjusted;
    return;
  }
  for (const SharedFileListing& listing : listings) {
    const WString path = DecodeMarkedText(listing.path);
    // A damaged entry names no file of this product's.
    if (!IsSafeAbsolutePath(path)) continue;
    if (counts.Release(path).unused) ReleaseSharedFile(listing);
  }
  key_.DeleteValue("SharedFiles");
}

// A shared file nobody counts any more: unregistered and removed as its
// markers and UninstallShared say; the blank marker keeps it, registered.
void Uninstaller::ReleaseSharedFile(const SharedFileListing& listing) {
  if (listing.keep) return;
  const WString path = DecodeMarkedText(listing.path);
  if (listing.com_server) UnregisterComServer(path);
  if (listing.type_library) UnregisterTypeLibrary(path);
  if (values_.uninstall_shared == 0) return;
  if (!AskToAll(FormatReportText(Text(59), {path}), Text(35), values_.uninstall_shared)) return;
  if (FileExists(path)) DeleteFileWithOptions(path, 0);
}

// The packages go while their files are still in place. A silent run shows
// no user interface of the installer service either.
void Uninstaller::RemovePackages() {
  if (content_.msi.empty()) return;
  PackageService service;
  for (const NString& line : content_.msi) {
    NString marked;
    std::int32_t level = 0;
    if (!ParseMsiLine(line, marked, level)) continue;
    const WString package = DecodeMarkedText(marked);
    const std::uint32_t result =
        service.Run(package, reinterpret_cast<const wchar_t*>(kPackageRemoveCommand),
                    silent_ ? kPackageSilentUiLevel : level, MessageBoxOwner());
    if (result == 0) continue;
    failures_ += PackageRemovalFailedLine(FileNameOf(package), static_cast<std::int32_t>(result),
                                          SystemErrorText(result));
    packages_left_.push_back(line);
  }
}

void Uninstaller::RemoveDriverPackages() { UninstallDrivers(content_.inf); }

void Uninstaller::RemoveItems() {
  FolderListing listing;  // the items of a folder follow one another
  const std::size_t count = content_.items.size();
  for (std::size_t i = 0; i < count; ++i) {
    const NString& line = content_.items[i];
    const ItemAction action = ClassifyItem(line);
    if (action == ItemAction::kFile) {
      Item(DecodeMarkedText(line));
      progress_.SetProgress(11 + static_cast<int>(81 * i / count));
    }
    if (action == ItemAction::kFolder) {
      kept_folders_.push_back(line);
    } else if (action == ItemAction::kFile) {
      RemoveFile(line, listing);
    } else {
      RemoveRegistryItem(action, ItemText(line));
    }
  }
}

// The folder's listing answers for most files; where it cannot say (a
// read-only file, no listing) the system is asked as for a single file.
void Uninstaller::RemoveFile(NStringView line, FolderListing& listing) {
  const WString path = DecodeMarkedText(line);
  // A line that names no absolute path is damage, not a file of the product.
  if (!IsSafeAbsolutePath(path)) return;
  // The running uninstaller goes with the self-deletion script.
  if (EqualsIgnoreCase(path, own_path_)) return;
  listing.Use(FolderOfFile(path));
  // What an installation killed while writing the file left beside it.
  if (listing.Find(FileNameOf(PendingWritePath(path))) != ListedAs::kAbsent) RemovePendingWrite(path);
  const ListedAs listed = listing.Find(FileNameOf(path));
  if (listed == ListedAs::kAbsent) return;
  if (listed == ListedAs::kPlainFile && ::DeleteFileW(FsPath(path))) {
    deleted_.insert(PendingPathKey(WStringView(path)));
    return;
  }
  if (!FileExists(path)) return;
  if (DeleteFileWithOptions(path, 0, &restart_needed_)) {
    deleted_.insert(PendingPathKey(WStringView(path)));
    return;
  }
  failures_ += Text(58) + u" " + path + u"\r\n";
  failed_items_.emplace_back(line);
}

// The installer writes in the 32-bit view unless told otherwise; a 64-bit
// build of the engine must name that view, which is not its default.
constexpr REGSAM kDefaultView = KEY_WOW64_32KEY;

// Registry items: the results are not checked; none of them is a failure.
void Uninstaller::RemoveRegistryItem(ItemAction action, NStringView text) {
  constexpr REGSAM kValueAccess = KEY_READ | KEY_WRITE | kDefaultView;
  if (action == ItemAction::kRegistryValue) {
    WString key_path, value_name;
    if (!SplitValuePath(Utf8ToWide(text), key_path, value_name)) return;
    WString rest;
    if (IsAllUsersPath(key_path + u"\\", &rest)) {
      DeleteValueInAllUserHives(rest, RegName(value_name), kValueAccess);
      return;
    }
    RegPath path;
    if (!ParseRegistryPath(WStringView(key_path), path) || path.key.empty()) return;
    RegKey key;
    if (key.Open(RootKey(path.root), path.key, kRegOpenOnly, kValueAccess) != kRegFailed) {
      key.DeleteValue(RegName(value_name));
    }
    return;
  }
  const REGSAM view = action == ItemAction::kRegistryKey64 ? KEY_WOW64_64KEY : kDefaultView;
  const WString key_path = AnsiToWide(text);
  WString rest;
  if (IsAllUsersPath(key_path, &rest)) {
    if (!IsRemovableKeyPath(rest)) return;
    ForEachUserHive(view, [&](HKEY hive, const WString&) { return DeleteKeyTree(hive, rest, view); });
    return;
  }
  RegPath path;
  if (!ParseRegistryPath(WStringView(key_path), path) || !IsRemovableKeyPath(path.key)) return;
  DeleteKeyTree(RootKey(path.root), path.key, view);
}

// A folder that is still there after its chain is recorded again: a second
// run, after the failed files are gone, can then remove it too.
void Uninstaller::RemoveFolders() {
  std::vector<WString> folders;
  for (const NString& line : kept_folders_) folders.push_back(DecodeMarkedText(ItemText(line)));
  SortFoldersLongestFirst(folders);
  for (const WString& folder : folders) {
    Item(folder);
    for (const WString& level : FolderRemovalChain(folder, values_.install_location, guarded_)) {
      ClearFolderAttributes(level);
      if (!RemoveFolder(level)) break;
    }
  }
  for (const NString& line : kept_folders_) {
    const WString folder = DecodeMarkedText(ItemText(line));
    const DWORD attributes = ::GetFileAttributesW(FsPath(folder));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      failed_items_.push_back(line);
    }
  }
}

// Only a run with failures keeps the data file; Close deletes it otherwise.
// A data file that cannot be saved keeps its old content (the write is
// atomic), which still lists every item: the run then counts as failed, so
// that the key and the file stay and a second run retries all of it.
void Uninstaller::RewriteData() {
  if (failures_.empty()) return;
  const UninstallData left = RemainingUninstallData(content_, failed_items_, packages_left_, content_.deletions);
  const WString path = UninstallDataFilePath(values_);
  if (!WriteUninstallData(path, left, ContentTexts(content_))) {
    failures_ += u"Could not save " + path + u"\r\n";
  }
}

void Uninstaller::RemoveStartMenuFolder() {
  if (values_.product_start_menu.empty()) return;
  const WString programs = SpecialFolderPath(values_.shortcut_mode == 1 ? SpecialFolder::kCommonPrograms
                                                                       : SpecialFolder::kPrograms);
  if (programs.empty()) return;
  const WString folder = JoinPath(programs, values_.product_start_menu);
  // Climbing stops below the Programs folder, which is not the product's.
  std::vector<WString> chain = FolderRemovalChain(folder, programs, {});
  if (chain.size() > kMaxStartMenuLevels) chain.resize(kMaxStartMenuLevels);
  if (!IsSameOrInside(folder, programs)) chain.clear();
  for (const WString& level : chain) {
    if (!RemoveFolder(level)) break;
  }
}

void Uninstaller::RemoveProductKeys() {
  if (values_.product_registry.empty()) return;
  const WString key = JoinPath(u"Software", values_.product_registry);
  if (!IsRemovableKeyPath(key)) return;
  const REGSAM view =
      HasFlag(values_.product_flags, product_flag::kProductRegistryKey) ? KEY_WOW64_64KEY : kDefaultView;
  WString path = key;
  for (int level = 0; level < kMaxProductKeyLevels && path.size() > kSoftwarePrefixLength; ++level) {
    const bool removed = level == 0 ? DeleteKeyTree(HKEY_LOCAL_MACHINE, path, view)
                                    : DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, path, view);
    if (!removed) break;
    path = path.substr(0, path.rfind(u'\\'));
  }
  ForEachUserHive(view, [&](HKEY hive, const WString&) {
    if (!DeleteKeyTree(hive, key, view)) return false;
    for (WString parent = key.substr(0, key.rfind(u'\\')); parent.size() > kSoftwarePrefixLength;
         parent = parent.substr(0, parent.rfind(u'\\'))) {
      if (!DeleteKeyIfEmpty(hive, parent, view)) break;
    }
    return true;
  });
  key_.DeleteValue("ProductRegistry");
}

// With failures the folder keeps the rewritten "Uninstall.DAT" and the
// uninstaller, so that a second run can finish the work.
void Uninstaller::RemoveWholeFolder() {
  if (!HasFlag(values_.product_flags, product_flag::kUninstallDeletesWholeFolder)) return;
  if (!failures_.empty() || IsGuarded(values_.install_location, guarded_)) return;
  DeleteFolderTree(values_.install_location);
}

void Uninstaller::NotifyDesktop() const {
  const ShellChangeNotifyFn notify = ShellChangeNotify();
  const WString desktop = SpecialFolderPath(values_.shortcut_mode == 1 ? SpecialFolder::kCommonDesktop
                                                                      : SpecialFolder::kDesktop);
  if (notify && !desktop.empty()) notify(SHCNE_UPDATEDIR, SHCNF_PATHW, W(desktop), nullptr);
}

// The data file goes after the key: an uninstaller killed before the key is
// gone (its closing batch may run long) finds the data again when it is run
// a second time, and finishes.
int Uninstaller::Close() {
  if (failures_.empty()) {
    if (HasFlag(values_.product_flags, product_flag::kAddToSearchPath)) {
      EditSearchPath(false, values_.install_location, values_.add_to_path_subfolder, *context_.log);
    }
    if (!values_.uninstall_batch2.empty()) {
      RunUninstallBatch(Batches(), 2, values_.product_flags, values_.uninstall_batch2);
      key_.DeleteValue("UninstallBatch2");
    }
    key_.Close();
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ProductUninstallKeyPath(values_.key_name), KEY_WOW64_32KEY);
    DeleteFileWithOptions(UninstallDataFilePath(values_), 0);
    RemovePendingWrite(UninstallDataFilePath(values_));
  }
  NotifyDesktop();
  progress_.SetProgress(100);
  RestoreFsRedirection();
  progress_.WaitOutStage();
  progress_.Close();
  if (!failures_.empty()) {
    Show(FormatReportText(Text(10), {failures_}), Text(20), MB_ICONWARNING);
    return kUninstallLeftovers;
  }
  if (!silent_ && (values_.product_flags2 & kShowUninstallCompletion) != 0) {
    Show(Text(34), Text(15), MB_ICONINFORMATION);
  }
  if (restart_needed_ && (silent_ || context_.reports->Ask(Text(74), Text(20), Text(79), Text(80)))) {
    RequestSystemRestart();
  }
  RunAfterRules rules;
  rules.open_as_document = true;
  StartRunAfter(context_.options->run_after, rules);
  return kUninstalled;
}

void Uninstaller::Finish() {
  SetNotificationVersion(values_.display_version);
  // The installation's session, so that the author can pair the two notices.
  if (values_.session != 0) SetSessionValue(values_.session);
  SendNotification(values_.notify_url, false);
  PrepareSelfDeletion(values_.install_location, values_.uninstall_subdir);
}

}  // namespace ks
