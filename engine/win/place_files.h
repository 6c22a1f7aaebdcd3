#pragma once
// The file placement step: every record of the file-data block is decided by
// the rules of engine/placement_rules.h and written by PlaceFile; what later
// steps need (shortcuts, shared files, registrations) is collected as data.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/install_settings.h"
#include "core/product_flags.h"
#include "engine/file_data_block.h"
#include "engine/placement_rules.h"
#include "lib/text.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace ks {

namespace placement_flag {
// The product flags that only file placement reads.
inline constexpr ProductFlags kCompressedFiles = FlagLow(0x00000020);
inline constexpr ProductFlags kReplaceAnyLockedFile = FlagLow(0x00000800);
inline constexpr ProductFlags kVerifyWrites = FlagLow(0x00040000);
inline constexpr ProductFlags kClearAttributesOnRetry = FlagLow(0x00080000);
}  // namespace placement_flag

struct PlaceFileRequest {
  WString destination;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  // Instead of `data`: the `size` bytes come piece by piece from here and can
  // be read only once. The file beside the destination is then written once;
  // later attempts retry only what failed after it was whole. Data that turns
  // out damaged leaves nothing behind and no failure text: the source keeps
  // the corrupt code.
  RecordDataSource* source = nullptr;
  RecordDate date;
  std::int32_t attributes = -1;
  bool existed = false;
  WString write_failed_label;  // localized text 31
  InstallLog* log = nullptr;   // failures go to its summary
};

// Writes one file (three attempts); on a file that cannot be written,
// registers a reboot-time replacement when allowed. Failures go to the failure
// summary. Sets `flags`' reboot bit and *reboot_needed when a replacement was
// registered; the result is still false then.
bool PlaceFile(const PlaceFileRequest& request, ProductFlags& flags, bool* reboot_needed);

// The records handed to later steps.
struct PlacedFont {
  WString path;
  NString title;
};
struct FilePlacementOutputs {
  std::vector<ShortcutRecord> shortcuts;
  std::vector<NString> shared_files;
  std::vector<WString> com_servers, type_libraries, drivers;
  NString font_list;
  std::vector<PlacedFont> fonts;  // placed and registered: the font change is announced
  std::vector<WString> placed;  // for the pending-rename cleanup
  bool reboot_needed = false;
};

struct FilePlacementInput {
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  ChunkCoding coding;
  std::vector<std::int32_t> sizes;  // the per-file value list
  PlacementFolders folders;
  WString folder_failed_label;  // localized text 25
  WString write_failed_label;   // localized text 31
  UninstallData* uninstall = nullptr;  // null: nothing is recorded
  InstallLog* log = nullptr;           // the step log and the failure summary
  // Progress page hooks; null ones are skipped. A stage (reading the data,
  // finishing) goes to set_stage when it is given, an item to set_status.
  std::function<void(int)> set_progress;
  std::function<void(const WString&)> set_status;
  std::function<void(const WString&)> set_stage;
  std::function<void()> pump_messages;
  // Asked after each file: true stops the placement (the user cancelled).
  std::function<bool()> stop;
  WString status_reading;   // localized text 29
  WString status_finishing; // localized text 54
  // The settings' conditional deletions: those of the installation pass run
  // before the files are placed; those of the uninstallation pass are
  // recorded for Uninstall.DAT.
  std::vector<ConditionalDeletion> deletions;
  // Fonts, packages and Control Panel extensions are registered right after
  // their file is placed: called with the record and its destination for
  // kinds 4, 11 and 12. Returns 0, or a corrupt code that ends the
  // installation. Null: nothing is registered.
  std::function<int(const FileRecord&, const WString& destination)> register_placed;
};

std::vector<ConditionalDeletion> DeletionsFromSettings(const std::vector<FileDeletion>& settings_deletions);

// The whole step. Returns 0 or the corrupt code that ends the installation.
// After the files, the pending restart operations that would delete or
// overwrite a placed file are removed (with their log lines).
int PlaceAllFiles(const FilePlacementInput& input, ProductFlags& flags, FilePlacementOutputs& out);

}  // namespace ks
