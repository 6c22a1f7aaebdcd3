#include "core/win/install_road.h"

#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/existing_installation.h"
#include "core/win/terminate.h"
#include "engine/path_variables.h"
#include "engine/special_folders.h"
#include "engine/win/path_variables.h"
#include "engine/win/place_files.h"
#include "engine/win/prepare_target.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/special_folders.h"
#include "integration/install_log.h"
#include "integration/win/finishing_steps.h"
#include "integration/win/install_log_file.h"
#include "integration/win/registry_step.h"
#include "uninstall/uninstall_data.h"
#include "uninstall/win/uninstall_data_file.h"

namespace ks {
namespace {

// The registry, an earlier installation, "/d:" or the settings decide the
// folder; the folder page (not there yet) would follow when `folder_page`.
WString ChooseInstallFolder(InstallSettings& settings) {
  bool folder_page = false;
  return DecideInstallFolder(settings, &folder_page);
}

void PrepareLogContext(const InstallSettings& settings, const WString& install_dir) {
  TakeInstallLogSettings(settings);
  ProcessInstallLogContext().install_dir = install_dir;
}

PlacementFolders FoldersFor(const WString& install_dir) {
  const PreparedFolders& prepared = ThePreparedFolders();
  PlacementFolders f;
  f.install = install_dir;
  // Without an uninstaller there is no shared folder, yet kind-1 files need one.
  f.shared = prepared.shared_dir.empty() ? CommonFilesFolder(kFolderModeDefault) : prepared.shared_dir;
  f.fonts = SpecialFolderPath(SpecialFolder::kFonts);
  f.system = SpecialFolderPath(SpecialFolder::kSystem);
  f.uninstall_data = prepared.uninstall_dir;
  f.portable = prepared.portable;
  f.expand = [](const WString& text) {
    WString expanded = text;
    ExpandPathVariables(expanded);
    return expanded;
  };
  return f;
}

// Places the product's files; malformed file data ends the process here.
void PlaceProductFiles(SetupArchive& archive, InstallSettings& settings, const WString& install_dir) {
  const FileDataBlock block = LocateFileData(archive, settings.file_data_outside != 0);
  FilePlacementInput in;
  in.block = block.data;
  in.block_size = block.size;
  in.coding.enciphered = archive.header.enciphered();
  in.coding.key = archive.header.cipher_key;
  in.coding.compressed = HasFlag(settings.product_flags, placement_flag::kCompressedFiles);
  in.sizes = archive.header.per_file_values;
  in.folders = FoldersFor(install_dir);
  in.folder_failed_label = LocalizedText(25);
  in.write_failed_label = LocalizedText(31);
  in.status_reading = LocalizedText(29);
  in.status_finishing = LocalizedText(54);
  in.uninstall = &ProcessUninstallData();
  in.deletions = DeletionsFromSettings(settings.deletions);
  InstallFiles(in, settings.product_flags, ProcessFilePlacement());
}

}  // namespace

void RunInstallRoad(SetupArchive& archive, InstallSettings& settings) {
  const WString install_dir = ChooseInstallFolder(settings);
  ThePathVariableInputs().install_dir = install_dir;
  PrepareLogContext(settings, install_dir);
  OpenStepLog();
  PrepareTarget(PreparationInputFor(install_dir, settings), settings, archive.header.flags);
  PlaceProductFiles(archive, settings, install_dir);
  WriteRegistryEntries(settings, archive.header.flags, install_dir);
  RunFinishingSteps(archive, settings);
}

}  // namespace ks
