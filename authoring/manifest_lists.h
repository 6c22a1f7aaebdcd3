#pragma once
// The manifest's record lists: programs to close ([[close_program]]),
// conditional deletions ([[deletion]]), extra Uninstall values
// ([[uninstall_value]]), shortcuts ([[shortcut]]), file associations
// ([[association]]) and firewall exceptions ([[firewall]]). Each entry is
// checked like a table of its own.

#include "authoring/toml_reader.h"
#include "core/install_settings.h"

namespace ks::authoring {

void ReadClosePrograms(TomlReader& root, std::vector<CloseProgramEntry>& out);
void ReadDeletions(TomlReader& root, std::vector<FileDeletion>& out);
void ReadUninstallValues(TomlReader& root, std::vector<ExtraUninstallValue>& out);
void ReadShortcuts(TomlReader& root, std::vector<ShortcutRecord>& out);
void ReadAssociations(TomlReader& root, std::vector<FileAssociation>& out);
// The firewall text: one "target;name;protocols;options" line per entry.
NString ReadFirewallExceptions(TomlReader& root);

}  // namespace ks::authoring
