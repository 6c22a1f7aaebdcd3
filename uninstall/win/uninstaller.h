#pragma once
// The uninstaller: removes the installed product that the command line names.
// The product's Uninstall key and "Uninstall.DAT" drive the removal; what
// fails stays recorded, so that running it again retries only what is left.
// Its steps run in the uninstallation road's order: Open, Confirm, Remove,
// Close and, after a success, Finish.

#include <set>
#include <vector>

#include "core/localized_texts.h"
#include "core/run_end.h"
#include "core/start_options.h"
#include "core/win/reports.h"
#include "integration/shared_files.h"
#include "engine/win/folder_listing.h"
#include "engine/win/path_variables.h"
#include "engine/win/run_batch.h"
#include "integration/firewall.h"
#include "lib/text.h"
#include "lib/win/reg_key.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"
#include "ui/win/background_window.h"
#include "ui/win/program_resources.h"
#include "ui/win/progress_page.h"
#include "ui/win/wizard_page.h"
#include "ui/win/wizard_pages.h"
#include "uninstall/removal_plan.h"
#include "uninstall/uninstall_key.h"

namespace ks {

// The exit codes of the uninstaller.
inline constexpr int kUninstalled = 0;
inline constexpr int kUninstallLeftovers = 3;
inline constexpr int kUninstallDeclined = 12;
inline constexpr int kUninstallNoProduct = 13;
inline constexpr int kUninstallIncomplete = 14;

// What the uninstaller uses of its run.
struct UninstallContext {
  const StartOptions* options = nullptr;  // automatic, silent, "/r:"
  LocalizedTexts* texts = nullptr;  // replaced by the texts the installation left in "[Strings]"
  Reports* reports = nullptr;
  InstallLog* log = nullptr;        // the uninstallation keeps no step log
  FirewallSettings* firewall = nullptr;         // the system firewall's settings
  const ProgramResources* resources = nullptr;  // for its windows
};

class Uninstaller {
 public:
  Uninstaller(WString key_name, UninstallContext context);
  Uninstaller(const Uninstaller&) = delete;
  Uninstaller& operator=(const Uninstaller&) = delete;

  // The Uninstall key (codes 13 and 14) and "Uninstall.DAT" (code 14).
  RunEnd Open();
  // The auto-close rules, the confirmation and the support offer (code 12).
  RunEnd Confirm();
  // Every recorded item, in the removal order.
  void Remove();
  // The data file, the key and the closing questions; the uninstaller's result.
  int Close();
  // After a result of 0: the uninstall notification and the preparation of
  // the uninstaller's removal of itself.
  void Finish();

  const UninstallKeyValues& values() const { return values_; }
  // The path variables as the installation had them (UninstallationInputs).
  const PathVariables& path_variables() const { return vars_; }

 private:
  bool Shows() const { return !silent_ && !automatic_; }
  void Show(const WString& text, const WString& caption, unsigned icon) const;
  void ShowError(const WString& text) const;
  WString Text(int n) const { return context_.texts->TextOrEnglish(n); }
  RunEnd OpenKey();
  void TakeRunState();
  RunEnd LoadData();
  BatchContext Batches() const;
  // Fonts, shared files, packages and driver packages (integration/win).
  void RemoveFonts();
  void ReleaseSharedFiles();
  void ReleaseSharedFile(const SharedFileListing& listing);
  void RemovePackages();
  void RemoveDriverPackages();
  // A question with the "to all" answer; `setting` (UninstallFonts or
  // UninstallShared) becomes 2 after that answer. True: go ahead.
  bool AskToAll(const WString& text, const WString& caption, std::uint32_t& setting) const;
  void RemoveItems();
  void RemoveFile(NStringView line, FolderListing& listing);
  void RemoveRegistryItem(ItemAction action, NStringView text);
  void RemoveFolders();
  void RewriteData();
  void RemoveStartMenuFolder();
  void RemoveProductKeys();
  void RemoveWholeFolder();
  void NotifyDesktop() const;
  // The windows: the background window (before the data file is loaded), the
  // progress window (when the removal begins) and what they show.
  void OpenBackgroundWindow();
  void OpenProgressWindow();
  void Status(int text, int percent);
  void Item(const WString& name);

  UninstallContext context_;
  PathVariables vars_;
  UninstallKeyValues values_;
  RegKey key_;
  bool silent_ = false;
  bool automatic_ = false;
  bool portable_ = false;
  bool restart_needed_ = false;
  UninstallDataContent content_;
  std::vector<NString> kept_folders_;  // the "~" lines
  std::vector<NString> failed_items_;
  std::vector<NString> packages_left_;  // "[MSI]" lines whose removal failed
  std::set<NString> deleted_;
  WString failures_;
  WString own_path_;
  std::vector<WString> guarded_;

  OwnedIcon icon_large_, icon_small_;  // "uninstall.ico", when it is there
  Bytes background_picture_;           // "Installer Background.bmp"
  PageLook look_;
  WizardContext wizard_;
  BackgroundWindow background_;
  ProgressPage progress_;
};

}  // namespace ks
