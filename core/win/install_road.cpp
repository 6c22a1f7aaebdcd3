#include "core/win/install_road.h"

#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/terminate.h"
#include "engine/path_variables.h"
#include "engine/special_folders.h"
#include "engine/win/path_variables.h"
#include "engine/win/place_files.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/special_folders.h"
#include "integration/install_log.h"
#include "integration/win/install_log_file.h"
#include "uninstall/uninstall_data.h"
#include "uninstall/win/uninstall_data_file.h"

namespace ks {
namespace {

// Until the folder page exists, the folder is the settings' one or "/d:".
WString ChooseInstallFolder(const InstallSettings& settings) {
  const WString& given = TheStartOptions().install_folder;
  return given.empty() ? settings.install_path : given;
}

void PrepareLogContext(const InstallSettings& settings, const WString& install_dir) {
  TakeInstallLogSettings(settings);
  ProcessInstallLogContext().install_dir = install_dir;
}

PlacementFolders FoldersFor(const WString& install_dir, const InstallSettings& settings) {
  const PathVariableInputs& vars = ThePathVariableInputs();
  PlacementFolders f;
  f.install = install_dir;
  f.shared = vars.shared_dir.empty() ? CommonFilesFolder(kFolderModeDefault) : vars.shared_dir;
  f.fonts = SpecialFolderPath(SpecialFolder::kFonts);
  f.system = SpecialFolderPath(SpecialFolder::kSystem);
  f.uninstall_data = UninstallFolderPath(install_dir, settings.uninstall_subdir);
  f.portable = vars.portable;
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
  in.folders = FoldersFor(install_dir, settings);
  in.folder_failed_label = LocalizedText(25);
  in.write_failed_label = LocalizedText(31);
  in.status_reading = LocalizedText(29);
  in.status_finishing = LocalizedText(54);
  in.uninstall = &ProcessUninstallData();
  InstallFiles(in, settings.product_flags, ProcessFilePlacement());
}

void WriteUninstallFile() {
  // Without an installation folder the path would be relative to wherever
  // the process happens to run; nothing is written then.
  if (ThePathVariableInputs().install_dir.empty()) return;
  CreateFolderTree(FolderOfFile(UninstallDataPath()));
  UninstallTexts texts;
  texts.text = [](int n) { return LocalizedText(n); };
  if (!WriteUninstallData(UninstallDataPath(), ProcessUninstallData(), texts))
    RecordFailure(WStringView(UninstallDataPath()));
}

}  // namespace

void RunInstallRoad(SetupArchive& archive, InstallSettings& settings) {
  const WString install_dir = ChooseInstallFolder(settings);
  ThePathVariableInputs().install_dir = install_dir;
  PrepareLogContext(settings, install_dir);
  OpenStepLog();
  PlaceProductFiles(archive, settings, install_dir);
  WriteUninstallFile();
  ProcessInstallLogContext().flags = settings.product_flags;  // the reboot bit may have been set
  FinishInstallLog(FailureSummary(), true);
  Terminate(0);
}

}  // namespace ks
