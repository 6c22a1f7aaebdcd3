#include "integration/win/uninstall_registration.h"

#include <windows.h>

#include <vector>

#include "core/existing_installation.h"
#include "core/localized_texts.h"
#include "core/win/report_corrupt.h"
#include "engine/path_variables.h"
#include "engine/win/path_variables.h"
#include "engine/win/place_files.h"
#include "engine/win/reboot_replacement.h"
#include "integration/install_log.h"
#include "integration/uninstall_values.h"
#include "integration/win/install_log_file.h"
#include "integration/win/reg_key.h"
#include "integration/win/replace_icon.h"
#include "lib/session.h"
#include "lib/win/file.h"
#include "lib/win/wide.h"
#include "uninstall/uninstall_data.h"

namespace ks {
namespace {

constexpr REGSAM kOtherKeyAccess = 0x2000f;

RecordDate BuildDateOf(const BuildDateRecord& d) {
  RecordDate date;
  if (d.year == 0) return date;
  date.year = d.year;
  date.month = d.month;
  date.day = d.day;
  date.hour = d.hour;
  date.minute = d.minute;
  date.second = d.second;
  return date;
}

bool FileExists(const WString& path) { return ::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

void LogUninstallerWritten(const WString& path) { LogConcatW(u"Uninstaller >>> ", path.c_str(), u"\r\n", nullptr); }

void GiveUninstallerIcon(const WString& path, const Bytes& icon) {
  switch (ReplaceIcon(path, icon)) {
    case IconReplaceResult::kReplaced: break;
    case IconReplaceResult::kCannotOpen: LogText("Failed to open uninstaller for icon replacement.\r\n"); break;
    case IconReplaceResult::kFailed: LogText("Failed to replace uninstaller icon.\r\n"); break;
  }
}

// The engine without its archive, written like a product file: a program in
// use gets its replacement at the next restart.
bool WriteCompactUninstaller(const SetupArchive& archive, InstallSettings& settings, const WString& path) {
  PlaceFileRequest request;
  request.destination = path;
  request.data = archive.engine_image.data();
  request.size = archive.engine_image.size();
  request.date = BuildDateOf(settings.build_date);
  request.existed = FileExists(path);
  request.write_failed_label = LocalizedText(31);
  bool reboot_needed = false;
  if (!PlaceFile(request, settings.product_flags, &reboot_needed)) return false;
  LogUninstallerWritten(path);
  if (!settings.uninstaller_icon.empty()) GiveUninstallerIcon(path, settings.uninstaller_icon);
  return true;
}

void NoTemporaryFile(const WString& path) {
  AppendFailure(FormatWide(u"Failed to register '%s' for replacement because no temporary file could be created.\r\n"
                           u"%s\r\n\r\n",
                           path.c_str(), SystemErrorText(::GetLastError()).c_str()));
}

// The uninstaller of an earlier installation may still run: the copy waits
// in a temporary file for the next restart.
bool ReplaceUninstallerAtRestart(const WString& program, const WString& path, ProductFlags& flags) {
  const WString temporary = MakeTempName(FolderOfFile(path), u"");
  if (temporary.empty()) {
    NoTemporaryFile(path);
    return false;
  }
  if (!::CopyFileW(W(program), W(temporary), FALSE)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(W(temporary));
    ::SetLastError(error);
    NoTemporaryFile(path);
    return false;
  }
  if (!ScheduleReplacement(path, temporary)) {
    const DWORD error = ::GetLastError();
    AppendFailure(FormatWide(u"Failed to register '%s' for replacement with temporary file '%s'\r\n%s\r\n\r\n",
                             path.c_str(), temporary.c_str(), SystemErrorText(error).c_str()));
    ::DeleteFileW(W(temporary));
    return false;
  }
  flags |= product_flag::kRebootRequired;
  LogWideF(u"\"%s\" was successfully registered for replacement.\r\nTemporary file is \"%s\"\r\n"
           u"Reboot will be required.\r\n\r\n",
           path.c_str(), temporary.c_str());
  return false;
}

bool CopyWholeProgram(const SetupArchive& archive, InstallSettings& settings, const WString& path) {
  if (::CopyFileW(W(archive.path), W(path), FALSE)) {
    LogUninstallerWritten(path);
    return true;
  }
  return ReplaceUninstallerAtRestart(archive.path, path, settings.product_flags);
}

// "product.ico" for the list of installed programs; its path, or empty.
WString SaveProductIcon(const Bytes& icon) {
  if (icon.empty()) return {};
  const WString path = UninstallFolderFile(kProductIconFileName);
  File file;
  if (file.Open(path, kFileWrite) != kFileSuccess || file.Write(icon.data(), icon.size()) != kFileSuccess) return {};
  ProcessUninstallData().RecordItem(WStringView(path), kUninstallFile);
  return path;
}

bool WriteValue(RegKey& key, const UninstallValue& v) {
  const RegName name(v.name);
  // A value that is not there is as deleted as it gets.
  if (v.remove) return key.DeleteValue(name) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
  switch (v.kind) {
    case RegValueKind::kWideString: return key.SetString(name, WStringView(v.wide));
    case RegValueKind::kNarrowString: return key.SetString(name, NStringView(v.narrow));
    case RegValueKind::kExpandString: return key.SetString(name, WStringView(v.wide), kRegExpandText);
    case RegValueKind::kDword: return key.SetDword(name, static_cast<DWORD>(v.number));
    case RegValueKind::kQword: return key.SetQword(name, v.number);
  }
  return false;
}

UninstallValueInput ValueInput(const SetupArchive& archive, const InstallSettings& settings,
                               const WString& icon_path) {
  const PathVariableInputs& vars = ThePathVariableInputs();
  UninstallValueInput in;
  in.settings = &settings;
  in.product_flags = settings.product_flags;
  in.archive_flags = archive.header.flags;
  in.uninstaller_path = UninstallerPath();
  in.installer_path = archive.path;
  in.display_icon_path = icon_path;
  in.start_menu_folder = vars.start_menu_name.empty() ? settings.product_start_menu : vars.start_menu_name;
  in.shared_folder = vars.shared_dir;
  in.font_list = ProcessFilePlacement().font_list;
  // Until the shared files are counted, the list is the earlier installation's.
  in.shared_files = TheExistingInstallation().shared_files;
  in.session = SessionValue();
  for (const std::int32_t size : archive.header.per_file_values) {
    if (size > 0) in.total_file_bytes += static_cast<std::uint64_t>(size);
  }
  return in;
}

// Extra values; those below a registry path get a record that removes them again.
void WriteExtraValues(RegKey& key, const std::vector<ExtraValueWrite>& writes) {
  for (const ExtraValueWrite& w : writes) {
    bool written = false;
    if (w.key_path.empty()) {
      written = WriteValue(key, w.value);
    } else if (key.OpenPath(w.key_path, 0, kOtherKeyAccess) != kRegFailed) {
      written = WriteValue(key, w.value);
      const DWORD error = ::GetLastError();
      key.Close();
      ::SetLastError(error);
      if (written) {
        WString records = ProcessUninstallData().registry();
        AppendExtraValueRemoval(records, w.key_path, AnsiToWide(w.value.name));
        ProcessUninstallData().SetRegistryText(std::move(records));
      }
    }
    if (!written) {
      AppendFailure(FormatWide(u"Failed to save data in registry key \"%s\": %s\r\n",
                               AnsiToWide(w.value.name).c_str(), SystemErrorText(::GetLastError()).c_str()));
    }
  }
}

NString TodayText() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return FormatInstallDate(now.wYear, now.wMonth, now.wDay);
}

// Writes the key's values; true when UninstallString reads back as written.
// `error_text` keeps the system's word on a failed open or UninstallString.
struct KeyContent {
  const std::vector<ExtraValueWrite>* extras = nullptr;
  WString icon_path;
};
bool WriteUninstallKey(const SetupArchive& archive, const InstallSettings& settings, const KeyContent& content,
                       WString* error_text) {
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kUninstallKeyRoot + settings.uninstall_key_name, kRegNoSecurity, kRegAccess32) ==
      kRegFailed) {
    *error_text = SystemErrorText(::GetLastError());
    return false;
  }
  const std::vector<UninstallValue> values = BuildUninstallValues(ValueInput(archive, settings, content.icon_path));
  for (const UninstallValue& v : values) {
    if (!WriteValue(key, v) && v.name == "UninstallString") *error_text = SystemErrorText(::GetLastError());
  }
  WriteExtraValues(key, *content.extras);
  for (const UninstallValue& v : ClosingUninstallValues(ThePathVariableInputs().install_dir, TodayText()))
    WriteValue(key, v);
  WString read_back;
  return key.GetString("UninstallString", &read_back) && read_back == values.front().wide;
}

// The value from which a later installation reads its folder when the
// Uninstall key does not say it.
void WriteFolderRegistryValue(const WString& registry_path, const WString& install_dir) {
  const std::size_t slash = registry_path.rfind(u'\\');
  if (slash == WString::npos) return;
  RegKey key;
  if (key.OpenPath(registry_path.substr(0, slash), 0, kOtherKeyAccess) == kRegFailed) return;
  key.SetValue(RegName(WStringView(registry_path).substr(slash + 1)), REG_SZ, install_dir.data(),
               install_dir.size() * sizeof(char16_t));
}

}  // namespace

WString UninstallerPath() { return UninstallFolderFile(kUninstallerFileName); }

bool WriteUninstaller(const SetupArchive& archive, InstallSettings& settings) {
  const WString path = UninstallerPath();
  CreateFolderTree(FolderOfFile(path));
  if (archive.has_engine_image) return WriteCompactUninstaller(archive, settings, path);
  return CopyWholeProgram(archive, settings, path);
}

void RegisterUninstaller(const SetupArchive& archive, InstallSettings& settings) {
  std::vector<ExtraValueWrite> extras;
  const int corrupt = PlanExtraValues(settings.extra_uninstall_values, &extras);
  if (corrupt != 0) ReportCorrupt(corrupt, false);

  WriteUninstaller(archive, settings);
  KeyContent content;
  content.extras = &extras;
  content.icon_path = SaveProductIcon(settings.product_icon);
  WString error_text;
  if (!WriteUninstallKey(archive, settings, content, &error_text)) {
    WString lines;
    if (!error_text.empty()) lines += u"System error: " + error_text + u"\r\n\r\n";
    lines += u"Unable to save the uninstall information to the registry.  Uninstall will not work properly.\r\n\r\n";
    AppendFailure(lines);
  }
  WriteFolderRegistryValue(settings.folder_registry_path, ThePathVariableInputs().install_dir);
}

}  // namespace ks
