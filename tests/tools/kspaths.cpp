// Prints what the engine resolves on the running system, one "key=value" line
// each in UTF-8: every special folder ("folder.<name>"), program files and
// common program files in modes 1 to 4 ("programs.<mode>", "common.<mode>"),
// the boot drive, and the expansion of every path variable ("var.<name>"
// without its percent signs, in the order of expansion).
//
// Arguments "<input>=<value>" set the path-variable inputs first: install_dir,
// product_name, company_name, version, language, shared_dir, start_menu_name,
// desktop_folder_name, uninstall_dir, old_version; all_users, install_64bit,
// automatic, creates_uninstaller, portable (0/1); existing (0-3).

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/win/path_variables.h"
#include "engine/win/special_folders.h"
#include "lib/win/code_page.h"
#include "lib/win/wide.h"

namespace {

using ks::SpecialFolder;

void Print(const std::string& key, const ks::WString& value) {
  const std::string line = key + "=" + ks::WideToUtf8(value) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

const std::vector<std::pair<const char*, SpecialFolder>>& Folders() {
  static const std::vector<std::pair<const char*, SpecialFolder>> folders = {
      {"common_app_data", SpecialFolder::kCommonAppData}, {"app_data", SpecialFolder::kAppData},
      {"common_desktop", SpecialFolder::kCommonDesktop}, {"desktop", SpecialFolder::kDesktop},
      {"common_documents", SpecialFolder::kCommonDocuments}, {"documents", SpecialFolder::kDocuments},
      {"common_favorites", SpecialFolder::kCommonFavorites}, {"favorites", SpecialFolder::kFavorites},
      {"fonts", SpecialFolder::kFonts}, {"common_start_menu", SpecialFolder::kCommonStartMenu},
      {"start_menu", SpecialFolder::kStartMenu}, {"common_programs", SpecialFolder::kCommonPrograms},
      {"programs", SpecialFolder::kPrograms}, {"common_startup", SpecialFolder::kCommonStartup},
      {"startup", SpecialFolder::kStartup}, {"system", SpecialFolder::kSystem},
      {"system_32bit", SpecialFolder::kSystem32Bit}, {"windows", SpecialFolder::kWindows},
      {"temp", SpecialFolder::kTemp}, {"device", SpecialFolder::kDevice}, {"media", SpecialFolder::kMedia},
      {"inetpub", SpecialFolder::kInetpubParent}, {"profile", SpecialFolder::kProfile},
  };
  return folders;
}

bool SetInput(ks::PathVariableInputs& in, const std::string& key, const ks::WString& value) {
  const std::pair<const char*, ks::WString*> texts[] = {
      {"install_dir", &in.install_dir}, {"product_name", &in.product_name},
      {"company_name", &in.company_name}, {"version", &in.version}, {"language", &in.language},
      {"shared_dir", &in.shared_dir}, {"start_menu_name", &in.start_menu_name},
      {"desktop_folder_name", &in.desktop_folder_name}, {"uninstall_dir", &in.uninstall_dir},
      {"old_version", &in.old_version}};
  for (const auto& t : texts) {
    if (key == t.first) {
      *t.second = value;
      return true;
    }
  }
  const bool flag = value == u"1";
  const std::pair<const char*, bool*> flags[] = {
      {"all_users", &in.all_users}, {"install_64bit", &in.install_64bit}, {"automatic", &in.automatic},
      {"creates_uninstaller", &in.creates_uninstaller}, {"portable", &in.portable}};
  for (const auto& f : flags) {
    if (key == f.first) {
      *f.second = flag;
      return true;
    }
  }
  if (key == "existing" && value.size() == 1 && value[0] >= u'0' && value[0] <= u'3') {
    in.existing = static_cast<ks::ExistingInstallation>(value[0] - u'0');
    return true;
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ks::UseSystemAnsiCodePage();
  ks::PathVariableInputs inputs;
  for (int i = 1; i < argc; ++i) {
    const ks::WString arg = ks::FromW(argv[i]);
    const std::size_t eq = arg.find(u'=');
    if (eq == ks::WString::npos || !SetInput(inputs, ks::WideToUtf8(arg.substr(0, eq)), arg.substr(eq + 1))) {
      Print("error", u"unknown input: " + arg);
      return 2;
    }
  }
  for (const auto& folder : Folders()) Print(std::string("folder.") + folder.first, ks::SpecialFolderPath(folder.second));
  for (int mode = 1; mode <= 4; ++mode) {
    Print("programs." + std::to_string(mode), ks::ProgramFilesFolder(mode));
    Print("common." + std::to_string(mode), ks::CommonFilesFolder(mode));
  }
  Print("boot_drive", ks::WString(1, ks::SystemSpecialFolders().BootDrive()));
  for (int i = 0; i < ks::kPathVariableCount; ++i) {
    const ks::WString name = ks::PathVariableName(static_cast<ks::PathVariable>(i));
    ks::WString text = name;
    ks::ExpandPathVariables(text, inputs, ks::RunningSystem(), ks::ExpandEnvironmentText);
    Print("var." + ks::WideToUtf8(name.substr(1, name.size() - 2)), text);
  }
  return 0;
}
