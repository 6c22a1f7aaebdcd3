#pragma once
// "delunins.bat": the script that removes the uninstaller after it has ended.
// A running program cannot delete its own file, so the script loops until the
// executable is gone, then removes the folders it leaves empty and itself.

#include <optional>
#include <vector>

#include "lib/text.h"

namespace ks {

// The script's file name: "delunins.bat", then "delunins1.bat",
// "delunins2.bat", ... for the n-th attempt. An uninstaller takes the first
// name that is free, so that two finishing at once never replace each
// other's script.
WString SelfDeletionScriptName(unsigned n);

// The most "rd" lines the uninstall sub-folder may produce.
inline constexpr int kMaxSubfolderRdLines = 50;

// The folders the script removes when they are empty, in its order: the
// uninstall sub-folder and each shorter form of it (at most 50), then the
// installation folder.
std::vector<WString> SelfDeletionFolders(const WString& install_dir, const WString& uninstall_subdir);

// The script as wide text (without the code-page line):
//   ":Repeat", "del", "if exist ... goto Repeat" with `executable`;
//   "CHOICE /T 3 /D Y";
//   "rd" for install_dir\subdir, then for each shorter form of subdir;
//   "rd" for install_dir; "del" for `script_path`.
// A sub-folder that could climb out of the installation folder (".." parts,
// a drive or a UNC path) produces no "rd" lines of its own.
WString BuildSelfDeletionScript(const WString& executable, const WString& install_dir,
                                const WString& uninstall_subdir, const WString& script_path);

// The bytes for the command interpreter: UTF-8 behind "@chcp 65001 >nul" when
// `utf8_console` (Windows 7 and later) and the text holds a character above
// 127; otherwise code page 1252 behind "@chcp 1252 >nul". Nothing when the
// text holds a character code page 1252 lacks and the console cannot take
// UTF-8: a path must never turn into a pattern.
std::optional<NString> EncodeSelfDeletionScript(WStringView script, bool utf8_console);

}  // namespace ks
