#pragma once
// "delunins.bat": the script that removes the uninstaller after it has ended.
// A running program cannot delete its own file, so the script loops until the
// executable is gone, then removes the folders it leaves empty and itself.

#include <functional>
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

// The longest path the command interpreter's "del", "rd" and "if exist" take.
inline constexpr std::size_t kMaxScriptPathLength = 259;

// How the script names `path`, given its short (8.3) form: the path itself
// when it is plain ASCII and short enough for the interpreter, else the short
// form when that one is, else the path itself (the encoding then decides).
// Some interpreters read a script in another code page than the one it was
// written in, and none takes a path of MAX_PATH characters or more.
WString ScriptPathName(const WString& path, const WString& short_form);

// How the script names a path (ScriptPathName with the path's short form).
using ScriptPathNamer = std::function<WString(const WString& path)>;

// The script as wide text (without the code-page line):
//   ":Repeat", "del", "if exist ... goto Repeat" with `executable`;
//   "CHOICE /T 3 /D Y";
//   "rd" for install_dir\subdir, then for each shorter form of subdir;
//   "rd" for install_dir; "del" for `script_path`.
// A sub-folder that could climb out of the installation folder (".." parts,
// a drive or a UNC path) produces no "rd" lines of its own. Each path is
// written as `name_of` names it (as it is when not given).
WString BuildSelfDeletionScript(const WString& executable, const WString& install_dir,
                                const WString& uninstall_subdir, const WString& script_path,
                                const ScriptPathNamer& name_of = nullptr);
// The same script with "rd" lines for `folders`, in their order.
WString BuildSelfDeletionScript(const WString& executable, const std::vector<WString>& folders,
                                const WString& script_path, const ScriptPathNamer& name_of = nullptr);

// The bytes for the command interpreter: UTF-8 behind "@chcp 65001 >nul" when
// `utf8_console` (Windows 7 and later) and the text holds a character above
// 127; otherwise code page 1252 behind "@chcp 1252 >nul". Nothing when the
// text holds a character code page 1252 lacks and the console cannot take
// UTF-8 (a path must never turn into a pattern), or when it quotes a path
// longer than kMaxScriptPathLength (the interpreter would miss it).
std::optional<NString> EncodeSelfDeletionScript(WStringView script, bool utf8_console);

}  // namespace ks
