#include "integration/win/uninstall_registration.h"

#include <windows.h>

#include <vector>

#include "engine/path_variables.h"
#include "engine/win/place_files.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/special_folders.h"
#include "integration/uninstall_values.h"
#include "integration/win/replace_icon.h"
#include "lib/session.h"
#include "lib/win/file.h"
#include "lib/win/reg_key.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace ks {
namespace {

constexpr REGSAM kOtherKeyAccess = kRegAccessOwnView;

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

bool FileExists(const WString& path) { return ::GetFileAttributesW(FsPath(path)) != INVALID_FILE_ATTRIBUTES; }

void LogUninstallerWritten(InstallLog& log, const WString& path) {
  log.ConcatW(u"Uninstaller >>> ", path.c_str(), u"\r\n", nullptr);
}

void GiveUninstallerIcon(InstallLog& log, const WString& path, const Bytes& icon) {
  switch (ReplaceIcon(path, icon)) {
    case IconReplaceResult::kReplaced: break;
    case IconReplaceResult::kCannotOpen: log.Text("Failed to open uninstaller for icon replacement.\r\n"); break;
    case IconReplaceResult::kFailed: log.Text("Failed to replace uninstaller icon.\r\n"); break;
  }
}

// The engine without its archive, written like a product file: a program in
// use gets its replacement at the next restart.
bool WriteCompactUninstaller(const RegistrationInput& in, const WString& path) {
  const SetupArchive& archive = *in.archive;
  InstallSettings& settings = *in.settings;
  PlaceFileRequest request;
  request.destination = path;
  request.data = archive.engine_image.data();
  request.size = archive.engine_image.size();
  request.date = BuildDateOf(settings.build_date);
  request.existed = FileExists(path);
  request.write_failed_label = in.log->failure_label();
  request.log = in.log;
  bool reboot_needed = false;
  if (!PlaceFile(request, settings.product_flags, &reboot_needed)) return false;
  LogUninstallerWritten(*in.log, path);
  if (!settings.uninstaller_icon.empty()) GiveUninstallerIcon(*in.log, path, settings.uninstaller_icon);
  return true;
}

void NoTemporaryFile(InstallLog& log, const WString& path) {
  log.AddFailure(FormatWide(u"Failed to register '%s' for replacement because no temporary file could be created.\r\n"
                            u"%s\r\n\r\n",
                            path.c_str(), SystemErrorText(::GetLastError()).c_str()));
}

// The uninstaller of an earlier installation may still run: the copy waits
// in a temporary file for the next restart.
bool ReplaceUninstallerAtRestart(InstallLog& log, const WString& program, const WString& path, ProductFlags& flags) {
  const WString temporary = MakeTempName(FolderOfFile(path), u"");
  if (temporary.empty()) {
    NoTemporaryFile(log, path);
    return false;
  }
  if (!::CopyFileW(FsPath(program), FsPath(temporary), FALSE)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(FsPath(temporary));
    ::SetLastError(error);
    NoTemporaryFile(log, path);
    return false;
  }
  if (!ScheduleReplacement(path, temporary)) {
    const DWORD error = ::GetLastError();
    log.AddFailure(FormatWide(u"Failed to register '%s' for replacement with temporary file '%s'\r\n%s\r\n\r\n",
                              path.c_str(), temporary.c_str(), SystemErrorText(error).c_str()));
    ::DeleteFileW(FsPath(temporary));
    return false;
  }
  flags |= product_flag::kRebootRequired;
  log.WideF(u"\"%s\" was successfully registered for replacement.\r\nTemporary file is \"%s\"\r\n"
            u"Reboot will be required.\r\n\r\n",
            path.c_str(), temporary.c_str());
  return false;
}

bool CopyWholeProgram(const RegistrationInput& in, const WString& path) {
  if (::CopyFileW(FsPath(in.archive->path), FsPath(path), FALSE)) {
    LogUninstallerWritten(*in.log, path);
    return true;
  }
  return ReplaceUninstallerAtRestart(*in.log, in.archive->path, path, in.settings->product_flags);
}

// "product.ico" for the list of installed programs; its path, or empty.
WString SaveProductIcon(const RegistrationInput& in) {
  const Bytes& icon = in.settings->product_icon;
  if (icon.empty()) return {};
  const WString path = UninstallFolderPath(in.install_dir, in.settings->uninstall_subdir, kProductIconFileName);
  File file;
  if (file.Open(path, kFileWrite) != kFileSuccess || file.Write(icon.data(), icon.size()) != kFileSuccess) return {};
  in.uninstall->RecordItem(WStringView(path), kUninstallFile);
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

UninstallValueInput ValueInput(const RegistrationInput& r, const WString& icon_path) {
  const SetupArchive& archive = *r.archive;
  const InstallSettings& settings = *r.settings;
  UninstallValueInput in;
  in.settings = &settings;
  in.product_flags = settings.product_flags;
  in.archive_flags = archive.header.flags;
  in.uninstaller_path = UninstallerPath(r.install_dir, settings.uninstall_subdir, settings.uninstall_key_name);
  in.installer_path = archive.path;
  in.display_icon_path = icon_path;
  in.start_menu_folder = r.start_menu_name;
  in.shared_folder = r.shared_dir;
  in.font_list = r.font_list;
  in.shared_files = r.shared_files;
  in.session = SessionValue();
  for (const std::int32_t size : archive.header.per_file_values) {
    if (size > 0) in.total_file_bytes += static_cast<std::uint64_t>(size);
  }
  return in;
}

// Extra values; those below a registry path get a record that removes them again.
void WriteExtraValues(const RegistrationInput& in, RegKey& key, const std::vector<ExtraValueWrite>& writes) {
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
        WString records = in.uninstall->registry();
        AppendExtraValueRemoval(records, w.key_path, AnsiToWide(w.value.name));
        in.uninstall->SetRegistryText(std::move(records));
      }
    }
    if (!written) {
      in.log->AddFailure(FormatWide(u"Failed to save data in registry key \"%s\": %s\r\n",
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
bool WriteUninstallKey(const RegistrationInput& in, const KeyContent& content, WString* error_text) {
  const InstallSettings& settings = *in.settings;
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kUninstallKeyRoot + settings.uninstall_key_name, kRegNoSecurity, kRegAccess32) ==
      kRegFailed) {
    *error_text = SystemErrorText(::GetLastError());
    return false;
  }
  const std::vector<UninstallValue> values = BuildUninstallValues(ValueInput(in, content.icon_path));
  for (const UninstallValue& v : values) {
    if (!WriteValue(key, v) && v.name == "UninstallString") *error_text = SystemErrorText(::GetLastError());
  }
  WriteExtraValues(in, key, *content.extras);
  for (const UninstallValue& v : ClosingUninstallValues(in.install_dir, TodayText()))
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

// An earlier installation in a deeper folder left its uninstaller apart;
// this one keeps it in its own folder, so the old one would never go.
void RemoveUninstallerLeftApart(const WString& key_name, const WString& path) {
  const WString uninstallers = UninstallersFolder();
  if (uninstallers.empty()) return;
  const WString own_folder = JoinPath(uninstallers, UninstallerFolderName(key_name));
  const WString apart = JoinPath(own_folder, kUninstallerFileName);
  if (EqualsIgnoreCase(apart, path) || !::DeleteFileW(FsPath(apart))) return;
  ::RemoveDirectoryW(FsPath(own_folder));
  ::RemoveDirectoryW(FsPath(uninstallers));
}

}  // namespace

WString UninstallersFolder() {
  const WString common = CommonFilesFolder(kFolderModeDefault);
  return common.empty() ? WString() : JoinPath(common, kUninstallersFolderName);
}

WString UninstallerPath(const WString& install_dir, const WString& uninstall_subdir, const WString& key_name) {
  const WString apart = UninstallersFolder();
  return ChooseUninstallerPath(UninstallFolderPath(install_dir, uninstall_subdir, kUninstallerFileName),
                               apart.empty() ? WString() : JoinPath(apart, UninstallerFolderName(key_name)));
}

bool WriteUninstaller(const RegistrationInput& in) {
  const WString path = UninstallerPath(in.install_dir, in.settings->uninstall_subdir, in.settings->uninstall_key_name);
  RemoveUninstallerLeftApart(in.settings->uninstall_key_name, path);
  CreateFolderTree(FolderOfFile(path));
  if (in.archive->has_engine_image) return WriteCompactUninstaller(in, path);
  return CopyWholeProgram(in, path);
}

int RegisterUninstaller(const RegistrationInput& in) {
  std::vector<ExtraValueWrite> extras;
  if (const int corrupt = PlanExtraValues(in.settings->extra_uninstall_values, &extras)) return corrupt;

  WriteUninstaller(in);
  KeyContent content;
  content.extras = &extras;
  content.icon_path = SaveProductIcon(in);
  WString error_text;
  if (!WriteUninstallKey(in, content, &error_text)) {
    WString lines;
    if (!error_text.empty()) lines += u"System error: " + error_text + u"\r\n\r\n";
    lines += u"Unable to save the uninstall information to the registry.  Uninstall will not work properly.\r\n\r\n";
    in.log->AddFailure(lines);
  }
  WriteFolderRegistryValue(in.settings->folder_registry_path, in.install_dir);
  return 0;
}

}  // namespace ks
