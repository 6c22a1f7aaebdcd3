#pragma once
// The manifest's record lists: programs to close ([[close_program]]),
// conditional deletions ([[deletion]]) and extra Uninstall values
// ([[uninstall_value]]). Each entry is checked like a table of its own.

#include "authoring/toml_reader.h"
#include "core/install_settings.h"

namespace ks::authoring {

void ReadClosePrograms(TomlReader& root, std::vector<CloseProgramEntry>& out);
void ReadDeletions(TomlReader& root, std::vector<FileDeletion>& out);
void ReadUninstallValues(TomlReader& root, std::vector<ExtraUninstallValue>& out);

}  // namespace ks::authoring
