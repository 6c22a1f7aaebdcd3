#include "uninstall/self_deletion_text.h"

#include <string>
#include <vector>

namespace ks {
namespace {

WString Quoted(WStringView path) { return u"\"" + WString(path) + u"\""; }

// A drive root keeps its backslash: "rd C:" would name the drive's current folder.
WString WithoutTrailingBackslashes(WStringView path) {
  WString text(path);
  while (text.size() > 3 && text.back() == u'\\') text.pop_back();
  return text;
}

// The elements of a relative sub-folder; empty when it is not one that stays
// inside the installation folder.
std::vector<WString> SubfolderElements(WStringView subdir) {
  std::vector<WString> elements;
  if (subdir.find(u':') != WStringView::npos) return {};  // a drive or a stream
  if (subdir.size() >= 2 && subdir[0] == u'\\' && subdir[1] == u'\\') return {};
  WString element;
  for (std::size_t i = 0; i <= subdir.size(); ++i) {
    if (i < subdir.size() && subdir[i] != u'\\' && subdir[i] != u'/') {
      element += subdir[i];
      continue;
    }
    if (element == u"..") return {};
    if (!element.empty() && element != u".") elements.push_back(element);
    element.clear();
  }
  return elements;
}

}  // namespace

std::vector<WString> SelfDeletionFolders(const WString& install_dir, const WString& uninstall_subdir) {
  std::vector<WString> folders;
  const WString base = WithoutTrailingBackslashes(install_dir);
  std::vector<WString> elements = SubfolderElements(uninstall_subdir);
  for (int line = 0; !elements.empty() && line < kMaxSubfolderRdLines; ++line) {
    WString folder = base;
    for (const WString& element : elements) folder += u"\\" + element;
    folders.push_back(folder);
    elements.pop_back();
  }
  folders.push_back(base);
  return folders;
}

WString ScriptPathName(const WString& path, const WString& short_form) {
  const auto readable = [](const WString& p) {
    if (p.empty() || p.size() > kMaxScriptPathLength) return false;
    for (char16_t c : p)
      if (c > 127) return false;
    return true;
  };
  if (readable(path) || !readable(short_form)) return path;
  return short_form;
}

WString BuildSelfDeletionScript(const WString& executable, const WString& install_dir,
                                const WString& uninstall_subdir, const WString& script_path,
                                const ScriptPathNamer& name_of) {
  return BuildSelfDeletionScript(executable, SelfDeletionFolders(install_dir, uninstall_subdir), script_path, name_of);
}

WString BuildSelfDeletionScript(const WString& executable, const std::vector<WString>& folders,
                                const WString& script_path, const ScriptPathNamer& name_of) {
  const auto quoted = [&](const WString& path) { return Quoted(name_of ? name_of(path) : path); };
  WString text = u":Repeat\r\ndel " + quoted(executable) + u"\r\nif exist " + quoted(executable) +
                 u" goto Repeat\r\n";
  text += u"CHOICE /T 3 /D Y\r\n";
  for (const WString& folder : folders) text += u"rd " + quoted(folder) + u"\r\n";
  text += u"del " + quoted(script_path) + u"\r\n";
  return text;
}

std::optional<NString> EncodeSelfDeletionScript(WStringView script, bool utf8_console) {
  // The script quotes nothing but paths.
  for (std::size_t open = script.find(u'"'); open != WStringView::npos;) {
    const std::size_t close = script.find(u'"', open + 1);
    if (close == WStringView::npos) break;
    if (close - open - 1 > kMaxScriptPathLength) return std::nullopt;
    open = script.find(u'"', close + 1);
  }
  bool beyond_ascii = false;
  for (char16_t c : script) beyond_ascii = beyond_ascii || c > 127;
  if (utf8_console && beyond_ascii) return "@chcp 65001 >nul\r\n" + WideToUtf8(script);
  NString text = WideToCp1252(script);
  // A character the code page lacks would become "?", a wildcard in "del":
  // such a script could delete other files.
  if (Cp1252ToWide(text) != script) return std::nullopt;
  return "@chcp 1252 >nul\r\n" + text;
}

WString SelfDeletionScriptName(unsigned n) {
  return n == 0 ? WString(u"delunins.bat") : u"delunins" + Widen(std::to_string(n)) + u".bat";
}

}  // namespace ks
