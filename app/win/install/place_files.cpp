#include "app/win/install/install_steps.h"

#include "engine/special_folders.h"
#include "engine/win/special_folders.h"
#include "integration/win/control_panel_extension.h"
#include "integration/win/font_registration.h"
#include "integration/win/package_installation.h"

namespace ks {
namespace {

PlacementFolders FoldersOf(InstallRun& run) {
  const InstallChoices& choices = run.choices;
  PlacementFolders f;
  f.install = choices.install_dir;
  // Without an uninstaller there is no shared folder, yet kind-1 files need one.
  f.shared = choices.shared_dir.empty() ? CommonFilesFolder(kFolderModeDefault) : choices.shared_dir;
  f.fonts = SpecialFolderPath(SpecialFolder::kFonts);
  f.system = SpecialFolderPath(SpecialFolder::kSystem);
  f.uninstall_data = choices.uninstall_dir;
  f.portable = choices.portable;
  f.expand = [&run](const WString& text) { return run.vars.Expanded(text); };
  return f;
}

// What a placed font, package or Control Panel extension registers.
int RegisterPlaced(InstallRun& run, PackageService& packages, const FileRecord& r, const WString& destination) {
  const ComponentProgress progress = run.Components();
  switch (r.kind) {
    case 4:
      RegisterFont(r.title, r.name, destination, progress);
      return 0;
    case kKindPackage:
      InstallPackage(packages, {destination, r.package_option, (r.flags & kRecordRemovePackage) != 0},
                     run.options.silent, progress, run.uninstall);
      return 0;
    case 12:
      return RegisterControlPanelExtension({destination, r.title, r.extra_text, r.arguments}, progress,
                                           run.uninstall);
    default:
      return 0;
  }
}

}  // namespace

// Malformed file data ends the process here.
RunEnd PlaceFiles(InstallRun& run) {
  const SetupArchive& archive = run.archive;
  const InstallSettings& settings = run.settings;
  const FileDataBlock block = LocateFileData(archive, settings.file_data_outside != 0, run.reports);
  FilePlacementInput in;
  in.block = block.data;
  in.block_size = block.size;
  in.coding.enciphered = archive.header.enciphered();
  in.coding.key = archive.header.cipher_key;
  in.coding.compressed = HasFlag(settings.product_flags, placement_flag::kCompressedFiles);
  in.sizes = archive.header.per_file_values;
  in.folders = FoldersOf(run);
  in.folder_failed_label = run.texts.Text(25);
  in.write_failed_label = run.texts.Text(31);
  in.status_reading = run.texts.Text(29);
  in.status_finishing = run.texts.Text(54);
  in.uninstall = &run.uninstall;
  in.log = &run.log;
  in.deletions = DeletionsFromSettings(settings.deletions);
  PackageService packages;  // the installer service, loaded for the first package
  in.register_placed = [&run, &packages](const FileRecord& r, const WString& destination) {
    return RegisterPlaced(run, packages, r, destination);
  };
  in.set_stage = [&run](const WString& text) { run.progress.SetStage(text); };
  in.set_status = [&run](const WString& text) { run.progress.SetItem(text); };
  in.set_progress = [&run](int percent) { run.progress.SetProgress(percent); };
  in.pump_messages = [&run] { run.progress.Pump(); };
  in.stop = [&run] { return run.progress.cancel_requested(); };
  if (const int code = PlaceAllFiles(in, run.settings.product_flags, run.placed)) run.reports.Corrupt(code);
  return kGoOn;
}

}  // namespace ks
