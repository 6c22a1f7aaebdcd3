#include "integration/win/registry_step.h"

#include <windows.h>

#include "engine/path_variables.h"
#include "engine/special_folders.h"
#include "engine/win/reboot_replacement.h"
#include "lib/registry_path.h"
#include "lib/win/file.h"
#include "lib/win/process_start.h"
#include "lib/win/reg_key.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace ks {
namespace {

constexpr const char16_t* kAppPathsKey = u"\\HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr REGSAM kAppPathsAccess = kRegAccessOwnView;

WString LastErrorText() { return SystemErrorText(::GetLastError()); }

// ---------------------------------------------------------------------------
// Product key.

void CreateProductKey(InstallLog& log, const WString& product_registry, REGSAM access) {
  const WString path = u"Software\\" + product_registry;
  DWORD error = ERROR_SUCCESS;
  if (!CreateInAllUserHives(path, access)) error = ::GetLastError();
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, path, 0, access) == kRegFailed && error == ERROR_SUCCESS) error = ::GetLastError();
  key.Close();
  if (error == ERROR_SUCCESS) return;
  // The first failure's code: the machine key's success would otherwise
  // leave code 0 behind for a failed user hive.
  log.AddFailure(FormatWide(u"Error creating registry keys at \\Software\\%s\r\nCode %d: %s\r\n\r\n",
                            product_registry.c_str(), static_cast<int>(error), SystemErrorText(error).c_str()));
}

// ---------------------------------------------------------------------------
// Records.

struct ValueRecord {
  WString key, name, data;
  std::int32_t type = 0, code = 0;
};

void DeleteRecordValue(const ValueRecord& r, REGSAM access) {
  WString rest;
  if (IsAllUsersPath(r.key, &rest)) {
    DeleteValueInAllUserHives(rest, r.name, access);
    return;
  }
  // Open only: deleting a value must not leave a new, empty key behind.
  RegKey key;
  if (key.OpenPath(r.key, kRegOpenOnly, access) != kRegFailed) key.DeleteValue(r.name);
}

void LogValueFailure(InstallLog& log, const WString& name) {
  log.ConcatW(u"Failed to create registry value \"", name.c_str(), u"\": ", LastErrorText().c_str(), u"\r\n",
              nullptr);
}

void SetRecordValue(const ValueRecord& r, REGSAM access, const RegistryStepInput& in) {
  const WString expanded = (r.type == static_cast<std::int32_t>(kRegTypeSz) && in.expand) ? in.expand(r.data) : r.data;
  const std::vector<std::uint8_t> bytes = RecordValueData(static_cast<std::uint32_t>(r.type), r.data, expanded);
  const DWORD type = static_cast<DWORD>(r.type);
  const unsigned flags = CodeKeepsExisting(r.code) ? kRegKeepExisting : 0;
  WString rest;
  if (IsAllUsersPath(r.key, &rest)) {
    if (!SetInAllUserHives(rest, r.name, type, bytes, access, flags)) LogValueFailure(*in.log, r.name);
    return;
  }
  RegKey key;
  if (key.OpenPath(r.key, 0, access) == kRegFailed) {
    in.log->ConcatW(u"Failed to create registry key: ", r.key.c_str(), u"\r\n", LastErrorText().c_str(), u"\r\n",
                    nullptr);
    return;
  }
  if (!key.SetValue(r.name, type, bytes, flags)) LogValueFailure(*in.log, r.name);
}

void CreateRecordKey(const WString& field, REGSAM access) {
  const WString& path = field;  // the record reader trimmed it
  if (path.empty()) return;
  WString rest;
  if (IsAllUsersPath(path, &rest)) {
    CreateInAllUserHives(rest, access);
  } else {
    RegKey key;
    key.OpenPath(path, 0, access);
  }
}

void ApplyRecords(const RegistryStepInput& in, REGSAM access) {
  for (const RegistryRecord& record : ReadRegistryRecords(in.entries)) {
    const std::vector<WString>& f = record.fields;
    if (f.size() == 1) {
      CreateRecordKey(f[0], access);
      continue;
    }
    if (f.size() != 5) {
      in.log->AddFailure(u"Illegal registry entry: " + record.text + u"\r\n");
      continue;
    }
    const ValueRecord r{f[0], f[1], f[3], RecordNumber(f[2]), RecordNumber(f[4])};
    if (CodeDeletesAtInstall(r.code)) DeleteRecordValue(r, access);
    if (CodeSetsValue(r.code)) SetRecordValue(r, access, in);
  }
}

// ---------------------------------------------------------------------------
// Merge file.

bool WriteMergeFile(const WString& path, const Bytes& bytes) {
  File file;
  if (file.Open(path, kFileWrite) != kFileSuccess) return false;
  return file.Write(bytes.data(), bytes.size()) == kFileSuccess;
}

// Not waited for: the merge runs beside the rest of the installation.
bool StartRegedit(const WString& path) {
  const WString regedit = WindowsProgramPath(L"regedit.exe");
  if (regedit.empty()) return false;
  ProcessStart start;
  start.command_line = u"\"" + regedit + u"\" /s \"" + path + u"\"";
  const DWORD error = StartProcess(start);
  ::SetLastError(error);
  return error == 0;
}

void MergeRegistryFile(InstallLog& log, const Bytes& bytes) {
  const WString path = MakeTempName(WString(), u"reg");
  if (path.empty() || !WriteMergeFile(path, bytes)) {
    const DWORD error = ::GetLastError();
    if (!path.empty()) ::DeleteFileW(W(path));
    log.AddFailure(u"Failed to create the registry merge file: " + SystemErrorText(error) + u"\r\n");
    return;
  }
  log.Text("Merging registry file...");
  if (StartRegedit(path)) {
    log.Text(kLogOk);
  } else {
    const WString error = LastErrorText();
    log.ConcatW(u"FAILED!\r\n", error.c_str(), u"\r\n", nullptr);
    log.AddFailure(u"Failed to import the registry merge file: " + error + u"\r\n");
  }
  // regedit may still be reading it; the restart clears it away.
  ScheduleDeletion(path);
}

// ---------------------------------------------------------------------------
// App Paths.

bool IsExistingFile(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The records that remove an App Paths registration: its two values, then
// the key when it is empty.
void AppendAppPathRecords(WString& records, const WString& key_path) {
  AppendRegistryRecord(records, {key_path, u"", u"", u"", u"2"});
  AppendRegistryRecord(records, {key_path, u"Path", u"", u"", u"2"});
  AppendRegistryRecord(records, {key_path});
}

bool RegistrationIsOurs(const WString& key_path, const WString& program) {
  RegKey key;
  WString registered;
  return key.OpenPath(key_path, kRegOpenOnly, KEY_READ | kRegOwnView) != kRegFailed &&
         key.GetString(u"", &registered) && EqualsIgnoreCase(registered, program);
}

void RegisterAppPath(const RegistryStepInput& in, WString& records) {
  InstallLog& log = *in.log;
  log.Text("Registering exe path...");
  const WString path = JoinPath(in.install_dir, in.app_path);
  if (!IsExistingFile(path)) {
    log.ConcatW(u"FAILED, \"", path.c_str(), u"\" does not exist.\r\n", nullptr);
    return;
  }
  const WString key_path = kAppPathsKey + FileNameOf(path);
  RegKey key;
  if (key.OpenPath(key_path, kRegFailIfExists, kAppPathsAccess) != kRegCreated) {
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
      log.Text("a registration already exists\r\n");
      // Ours from an earlier installation of this product (it names this very
      // program): the new uninstall data must remove it as the old one would
      // have, or the uninstaller leaves it behind.
      if (RegistrationIsOurs(key_path, path)) AppendAppPathRecords(records, key_path);
    } else {
      log.ConcatW(u"FAILED to create \"", key_path.c_str(), u"\": ", LastErrorText().c_str(), u"\r\n", nullptr);
    }
    return;
  }
  const bool program = key.SetString(u"", WStringView(path));
  const bool folder = program && key.SetString(u"Path", WStringView(FolderOfFile(path)));
  if (program && folder) {
    log.Text(kLogOk);
    AppendAppPathRecords(records, key_path);
  } else {
    if (program) AppendRegistryRecord(records, {key_path, u"", u"", u"", u"2"});
    log.ConcatW(u"FAILED to create value: ", LastErrorText().c_str(), u"\r\n", nullptr);
  }
}


// ---------------------------------------------------------------------------
// Removal.

void RemoveRecordKey(const WString& field, REGSAM view) {
  const WString& path = field;  // the record reader trimmed it
  if (!HasTwoBackslashes(path)) return;
  WString rest;
  if (IsAllUsersPath(path, &rest)) {
    ForEachUserHive(view, [&](HKEY hive, const WString&) { return DeleteKeyIfEmpty(hive, rest, view); });
    return;
  }
  RegPath parsed;
  if (ParseRegistryPath(path, parsed)) DeleteKeyIfEmpty(RootKey(parsed.root), parsed.key, view);
}

void RemoveRecordValue(const WString& key_path, const WString& name, REGSAM view) {
  const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE | view;
  WString rest;
  if (IsAllUsersPath(key_path, &rest)) {
    DeleteValueInAllUserHives(rest, name, access);
    return;
  }
  RegKey key;
  if (key.OpenPath(key_path, kRegOpenOnly, access) != kRegFailed) key.DeleteValue(name);
}

}  // namespace

void WriteRegistryEntries(const RegistryStepInput& in, UninstallData& data) {
  if (in.skip_on_removable && in.removable_drive) return;
  const REGSAM access = in.view64 ? kRegAccess64 : kRegAccess32;
  if (!in.product_registry.empty()) CreateProductKey(*in.log, in.product_registry, access);
  WString records = in.entries;
  if (!records.empty()) ApplyRecords(in, access);
  if (!in.merge_file.empty()) MergeRegistryFile(*in.log, in.merge_file);
  if (!in.app_path.empty() && !in.removable_drive) RegisterAppPath(in, records);
  // Whatever an earlier step recorded stays in front of this step's text.
  WString text = data.registry();
  if (!text.empty() && !records.empty() && text.back() != u'\n' && text.back() != u'\r') text += u"\r\n";
  data.SetRegistryText(text + records);
}

bool IsOnRemovableDrive(const WString& folder) {
  if (folder.empty()) return false;
  std::vector<wchar_t> root(folder.size() + 2);
  if (!::GetVolumePathNameW(W(folder), root.data(), static_cast<DWORD>(root.size()))) return false;
  return ::GetDriveTypeW(root.data()) == DRIVE_REMOVABLE;
}

void RemoveRegistryRecords(const WString& registry2_text, bool view64) {
  const REGSAM view = view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const std::vector<RegistryRecord> records = ReadRegistryRecords(registry2_text);
  // Values first and then the keys, deepest (latest) first: a key recorded
  // before its own values, or before its sub-keys, is empty by the time its
  // turn comes.
  for (const RegistryRecord& r : records) {
    if (r.fields.size() == 5 && CodeDeletesAtUninstall(RecordNumber(r.fields[4])))
      RemoveRecordValue(r.fields[0], r.fields[1], view);
  }
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->fields.size() == 1) RemoveRecordKey(it->fields[0], view);
  }
}

}  // namespace ks
