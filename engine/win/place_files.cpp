#include "engine/win/place_files.h"

#include "engine/file_removal_rules.h"
#include "engine/path_variables.h"
#include "engine/pending_cleanup.h"
#include "engine/special_folders.h"
#include "engine/win/file_removal.h"
#include "engine/win/pending_cleanup.h"
#include "engine/win/reboot_replacement.h"
#include "lib/crc32.h"
#include "lib/marked_text.h"
#include "lib/win/file.h"
#include "lib/win/file_version.h"
#include "lib/win/owned.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"
#include "records/win/install_log_file.h"

namespace ks {
namespace {

constexpr int kAttempts = 3;
constexpr DWORD kRetryDelayMs = 50;
constexpr DWORD kAppliedAttributes = 0x1127;  // read-only, hidden, system, archive, temporary, offline
constexpr DWORD kClearedOnRetry = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool WriteAll(const WString& path, const std::uint8_t* data, std::size_t size) {
  File file;
  const FileResult opened = file.Open(path, kFileWrite);
  if (opened != kFileSuccess && opened != kFileAlreadyOpen) return false;
  if (file.Write(data, size) != kFileSuccess) return false;
  return file.Close() == kFileSuccess;
}

// Reads a file back in pieces, handing each to `take`. False when it cannot
// be read or has another size.
template <typename Take>
bool ReadBack(const WString& path, std::size_t size, Take take) {
  constexpr std::size_t kPiece = 64 * 1024;
  File file;
  std::uint64_t actual = 0;
  if (file.Open(path, kFileRead) != kFileSuccess || file.Size(actual) != kFileSuccess || actual != size) return false;
  Bytes piece(std::min(kPiece, size));
  for (std::size_t at = 0; at < size;) {
    const std::size_t n = std::min(kPiece, size - at);
    if (file.Read(piece.data(), n) != kFileSuccess || !take(piece.data(), at, n)) return false;
    at += n;
  }
  return true;
}

bool SameContents(const WString& path, const std::uint8_t* data, std::size_t size) {
  return ReadBack(path, size, [data](const std::uint8_t* p, std::size_t at, std::size_t n) {
    return std::memcmp(p, data + at, n) == 0;
  });
}

bool SameCheckValue(const WString& path, std::size_t size, std::uint32_t check) {
  std::uint32_t back = 0;
  return ReadBack(path, size,
                  [&back](const std::uint8_t* p, std::size_t, std::size_t n) {
                    back = Crc32(p, n, back);
                    return true;
                  }) &&
         back == check;
}

bool ToFileTime(const RecordDate& d, FILETIME* out) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(d.year);
  st.wMonth = static_cast<WORD>(d.month);
  st.wDay = static_cast<WORD>(d.day);
  st.wHour = static_cast<WORD>(d.hour);
  st.wMinute = static_cast<WORD>(d.minute);
  st.wSecond = static_cast<WORD>(d.second);
  return SystemTimeToFileTime(&st, out) != 0;
}

void SetDates(const WString& path, const RecordDate& date) {
  FILETIME ft;
  if (!date.is_real() || !ToFileTime(date, &ft)) return;
  HANDLE raw = CreateFileW(FsPath(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return;
  OwnedHandle file(raw);
  SetFileTime(file.get(), &ft, nullptr, &ft);
}

// The file's bytes go to a file beside the destination first, which takes the
// destination's place only once it is whole: a full disk or a killed process
// leaves the old file or nothing, never a part of the new one that a later
// installation would take for complete (its date says it is new). A
// destination in use refuses the rename as it would refuse a write.
enum class Written { kPlaced, kWhole, kMismatch, kFailed, kDataGone, kCorrupt };

bool MoveIntoPlace(const WString& pending, const PlaceFileRequest& r) {
  SetDates(pending, r.date);
  return MoveFileExW(FsPath(pending), FsPath(r.destination), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void DeleteKeepingError(const WString& path) {
  const DWORD error = GetLastError();
  DeleteFileW(FsPath(path));
  SetLastError(error);
}

Written WriteBeside(const PlaceFileRequest& r, bool verify) {
  const WString pending = PendingWritePath(r.destination);
  if (WriteAll(pending, r.data, r.size)) {
    // A file that reads back wrong stays for the next attempt, which writes
    // to the same place again; the last attempt removes it.
    if (verify && !SameContents(pending, r.data, r.size)) return Written::kMismatch;
    if (MoveIntoPlace(pending, r)) return Written::kPlaced;
  }
  DeleteKeepingError(pending);
  return Written::kFailed;
}

// Writes streamed data to the file beside the destination: kWhole once it is
// written (and read back right when asked); kFailed when the file cannot be
// created (nothing was read yet); kDataGone when writing failed after data
// was read; kCorrupt when the data is damaged (*corrupt says how).
Written WriteStreamedBeside(const PlaceFileRequest& r, const WString& pending, bool verify, int* corrupt) {
  File file;
  const FileResult opened = file.Open(pending, kFileWrite);
  if (opened != kFileSuccess && opened != kFileAlreadyOpen) return Written::kFailed;
  bool written = true;
  DWORD error = 0;
  std::uint32_t check = 0;
  while (true) {
    const std::uint8_t* piece = nullptr;
    std::size_t n = 0;
    *corrupt = r.source->Read(&piece, &n);
    if (*corrupt != 0) {
      file.Close();
      DeleteFileW(FsPath(pending));
      return Written::kCorrupt;
    }
    if (n == 0) break;
    // After a failed write the data is still read to its end, so that the
    // stream passes this record and its check value is compared.
    if (written && file.Write(piece, n) != kFileSuccess) {
      written = false;
      error = GetLastError();
    }
    check = Crc32(piece, n, check);
  }
  if (written && file.Close() != kFileSuccess) {
    written = false;
    error = GetLastError();
  }
  if (!written) {
    file.Close();
    DeleteFileW(FsPath(pending));
    SetLastError(error);
    return Written::kDataGone;
  }
  if (verify && !SameCheckValue(pending, r.size, check)) return Written::kMismatch;
  return Written::kWhole;
}

void ApplyAttributes(const WString& path, std::int32_t attributes) {
  if (attributes == -1) return;
  const DWORD now = GetFileAttributesW(FsPath(path));
  if (now == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(FsPath(path), (now & ~kAppliedAttributes) | (static_cast<DWORD>(attributes) & kAppliedAttributes));
}

// A drive letter whose drive has no root folder: the medium is gone.
bool DriveMissing(const WString& path, char16_t* letter) {
  if (path.size() < 2 || path[1] != u':') return false;
  *letter = AsciiLower(path[0]) >= u'a' && AsciiLower(path[0]) <= u'z'
                ? static_cast<char16_t>(AsciiLower(path[0]) - u'a' + u'A')
                : path[0];
  const WString root = WString(1, *letter) + u":\\";
  return GetDriveTypeW(W(root)) == DRIVE_NO_ROOT_DIR;
}

// The new bytes in a temporary file beside the destination: written from
// memory, or the whole pending file of streamed data moved there.
bool FillTemporary(const PlaceFileRequest& r, const WString* whole_pending, const WString& temp) {
  if (whole_pending)
    return MoveFileExW(FsPath(*whole_pending), FsPath(temp), MOVEFILE_REPLACE_EXISTING) != 0;
  if (r.source) {
    SetLastError(ERROR_READ_FAULT);  // streamed data that was read once is gone
    return false;
  }
  return WriteAll(temp, r.data, r.size);
}

// The reboot-time replacement of a file that could not be written.
void RegisterReplacement(const PlaceFileRequest& r, const WString* whole_pending, ProductFlags& flags,
                         bool* reboot_needed, WString& text) {
  const WString temp = MakeTempName(FolderOfFile(r.destination), WString());
  if (temp.empty() || !FillTemporary(r, whole_pending, temp)) {
    const DWORD error = GetLastError();
    if (!temp.empty()) DeleteFileW(FsPath(temp));  // a part of the data, on a full disk
    text += FormatWide(u"Failed to register '%s' for replacement because no temporary file could be created.\r\n"
                       u"%s\r\n\r\n",
                       r.destination.c_str(), SystemErrorText(error).c_str());
    return;
  }
  SetDates(temp, r.date);
  if (!ScheduleReplacement(r.destination, temp)) {
    const DWORD error = GetLastError();
    text += FormatWide(u"Failed to register '%s' for replacement with temporary file '%s'\r\n%s\r\n\r\n",
                       r.destination.c_str(), temp.c_str(), SystemErrorText(error).c_str());
    DeleteFileW(FsPath(temp));
    return;
  }
  flags |= product_flag::kRebootRequired;
  text += FormatWide(u"\"%s\" was successfully registered for replacement.\r\nTemporary file is \"%s\"\r\n"
                     u"Reboot will be required.\r\n\r\n",
                     r.destination.c_str(), temp.c_str());
  if (reboot_needed) *reboot_needed = true;
  SetLastError(ERROR_BUSY);
}

void ReportWriteFailure(const PlaceFileRequest& r, const WString* whole_pending, DWORD error, ProductFlags& flags,
                        bool* reboot_needed) {
  WString text = u"\r\n" + r.write_failed_label + u" " + r.destination + u"\r\n";
  char16_t letter = 0;
  if (DriveMissing(r.destination, &letter)) {
    text += FormatWide(u"Drive %c: is not present.\r\n", static_cast<int>(letter));
  } else {
    text += SystemErrorText(error) + u"\r\n";
    const bool allowed = (r.existed || HasFlag(flags, placement_flag::kReplaceAnyLockedFile)) &&
                         error != ERROR_INVALID_NAME;
    if (allowed) RegisterReplacement(r, whole_pending, flags, reboot_needed, text);
  }
  r.log->AddFailure(text);
}

// After the first failed attempt: the folder may be missing, or the old
// file's attributes may refuse the new one.
void PrepareRetry(const PlaceFileRequest& r, ProductFlags flags, DWORD error) {
  if (error == ERROR_PATH_NOT_FOUND) CreateFolderTree(FolderOfFile(r.destination));
  if (HasFlag(flags, placement_flag::kClearAttributesOnRetry)) {
    const DWORD a = GetFileAttributesW(FsPath(r.destination));
    if (a != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(FsPath(r.destination), a & ~kClearedOnRetry);
  }
}

void ReportMismatch(const PlaceFileRequest& r) {
  DeleteFileW(FsPath(PendingWritePath(r.destination)));
  SetLastError(0);
  RecordFailure(*r.log, WStringView(r.destination));
}

// PlaceFile for data that can be read only once.
bool PlaceStreamed(const PlaceFileRequest& r, ProductFlags& flags, bool* reboot_needed) {
  const bool verify = HasFlag(flags, placement_flag::kVerifyWrites);
  const WString pending = PendingWritePath(r.destination);
  bool whole = false;
  DWORD error = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) Sleep(kRetryDelayMs);
    if (!whole) {
      int corrupt = 0;
      const Written written = WriteStreamedBeside(r, pending, verify, &corrupt);
      if (written == Written::kCorrupt) return false;
      // Data read back wrong cannot be written again: it was read once.
      if (written == Written::kMismatch) {
        ReportMismatch(r);
        return false;
      }
      if (written == Written::kDataGone) {
        error = GetLastError();
        break;
      }
      whole = written == Written::kWhole;
    }
    if (whole && MoveIntoPlace(pending, r)) {
      ApplyAttributes(r.destination, r.attributes);
      return true;
    }
    error = GetLastError();
    if (attempt == 0) PrepareRetry(r, flags, error);
  }
  ReportWriteFailure(r, whole ? &pending : nullptr, error, flags, reboot_needed);
  if (whole) DeleteFileW(FsPath(pending));  // still there unless it became the replacement
  return false;
}

}  // namespace

bool PlaceFile(const PlaceFileRequest& r, ProductFlags& flags, bool* reboot_needed) {
  if (r.source) return PlaceStreamed(r, flags, reboot_needed);
  DWORD error = 0;
  bool mismatch = false;
  const bool verify = HasFlag(flags, placement_flag::kVerifyWrites);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) Sleep(kRetryDelayMs);
    const Written written = WriteBeside(r, verify);
    mismatch = written == Written::kMismatch;
    if (written == Written::kPlaced) {
      ApplyAttributes(r.destination, r.attributes);
      return true;
    }
    if (mismatch) continue;
    error = GetLastError();
    if (attempt == 0) PrepareRetry(r, flags, error);
  }
  if (mismatch) {
    ReportMismatch(r);
    return false;
  }
  ReportWriteFailure(r, nullptr, error, flags, reboot_needed);
  return false;
}

namespace {

bool ReadModified(const WString& path, ExistingFile& e) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(FsPath(path), GetFileExInfoStandard, &info)) return false;
  e.exists = true;
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&info.ftLastWriteTime, &st)) return true;
  RecordDate d;
  d.year = st.wYear, d.month = st.wMonth, d.day = st.wDay;
  d.hour = st.wHour, d.minute = st.wMinute, d.second = st.wSecond;
  e.modified = d;
  return true;
}

ExistingFile Inspect(const WString& path, std::int32_t kind, FileVersionReader& versions) {
  ExistingFile e;
  if (!ReadModified(path, e)) return e;
  if (kind >= 6 && kind <= 9) e.version = WideToUtf8(versions.VersionText(path));
  return e;
}

void ShowStage(const FilePlacementInput& in, const WString& text) {
  if (in.set_stage) {
    in.set_stage(text);
  } else if (in.set_status) {
    in.set_status(text);
  }
}

void ReadingChunk(void* context) {
  const auto& in = *static_cast<const FilePlacementInput*>(context);
  ShowStage(in, in.status_reading);
}

// A streamed record's data as PlaceFile reads it; the first corrupt code stays.
class StreamedData : public RecordDataSource {
 public:
  StreamedData(FileDataReader& reader, const FilePlacementInput& in) : reader_(reader), in_(in) {}
  int Read(const std::uint8_t** piece, std::size_t* n) override {
    if (code_ == 0) code_ = reader_.ReadData(piece, n, ReadingChunk, const_cast<FilePlacementInput*>(&in_));
    if (code_ != 0) *n = 0;
    return code_;
  }
  // Reads what PlaceFile left and compares the check value.
  int Finish() {
    if (code_ == 0) code_ = reader_.SkipData(ReadingChunk, const_cast<FilePlacementInput*>(&in_));
    return code_;
  }

 private:
  FileDataReader& reader_;
  const FilePlacementInput& in_;
  int code_ = 0;
};

struct RecordContext {
  const FilePlacementInput& in;
  ProductFlags& flags;
  FilePlacementOutputs& out;
  FileDataReader& reader;
  FileVersionReader versions;
};

void RecordRemoval(RecordContext& c, const WString& path, int kind) {
  if (c.in.uninstall) c.in.uninstall->RecordItem(WStringView(path), kind);
}

void HandOver(const FileRecord& r, const Destination& d, RecordContext& c) {
  if (r.kind == 4 && (r.flags & kRecordKeep) == 0) c.out.font_list += FontListEntry(r);
  if (r.kind == 7) c.out.com_servers.push_back(d.path);
  if (r.kind == 8) c.out.type_libraries.push_back(d.path);
  if (auto entry = SharedFileEntry(r, d.path, c.in.folders.portable)) c.out.shared_files.push_back(*entry);
}

void AddShortcut(const FileRecord& r, const Destination& d, FilePlacementOutputs& out) {
  const bool shortcut_flags = (r.flags & (kRecordDesktopShortcut | kRecordStartMenuShortcut)) != 0;
  if (!(r.kind == 0 && shortcut_flags) && r.kind != 5) return;
  ShortcutRecord s;
  s.on_desktop = (r.flags & kRecordDesktopShortcut) ? 1 : 0;
  s.in_start_menu = (r.flags & kRecordStartMenuShortcut) ? 1 : 0;
  s.in_startup = r.kind == 5 ? 1 : 0;
  s.keep = (r.flags & kRecordKeep) ? 1 : 0;
  s.target = d.path;
  s.name = Utf8ToWide(r.title);
  s.icon = r.shortcut_icon;
  s.arguments = Cp1252ToWide(r.arguments);
  s.start_in = DecodeMarkedText(r.extra_text);
  out.shortcuts.push_back(std::move(s));
}

// Creates the destination's folder inside the installation tree. False
// (with the failure recorded) when it cannot be made.
bool PrepareFolder(const FileRecord& r, const Destination& d, RecordContext& c) {
  const WString folder = FolderOfFile(d.path);
  if (!d.in_install_tree || EqualsIgnoreCase(folder, c.in.folders.install)) return true;
  WString blocking;
  const DWORD error = CreateFolderTree(folder, &blocking);
  if (error != 0) {
    const WString reason = blocking.empty() ? SystemErrorText(error) : WString(kFolderIsFileReason);
    c.in.log->AddFailure(FolderFailureText(c.in.folder_failed_label, folder, reason, d.path));
    return false;
  }
  const bool keep = (r.flags & kRecordKeep) != 0;
  if (!keep && (IsKindRecorded(r.kind, c.in.folders.portable) || r.kind == 1))
    RecordRemoval(c, folder, kUninstallFolder);
  return true;
}

int AfterPlacing(const FileRecord& r, const Destination& d, RecordContext& c) {
  if (r.kind == 4) c.out.fonts.push_back({d.path, r.title});
  if (r.kind == 10) c.out.drivers.push_back(d.path);
  const bool registered_now = r.kind == 4 || r.kind == kKindPackage || r.kind == 12;
  return registered_now && c.in.register_placed ? c.in.register_placed(r, d.path) : 0;
}

void ShowStatus(const FileRecord& r, const Destination& d, RecordContext& c) {
  if (!c.in.set_status) return;
  const bool hidden = HasFlag(c.flags, product_flag::kNoShortcutProgressText) || r.name == "b/0@+";
  c.in.set_status(hidden ? c.in.status_finishing : d.path);
}

int PlaceRecord(const FileRecord& r, RecordContext& c) {
  const Destination d = ComputeDestination(r, c.in.folders);
  if (d.corrupt_code != 0) return d.corrupt_code;
  ShowStatus(r, d, c);
  HandOver(r, d, c);
  const bool portable = c.in.folders.portable;
  const PlacementDecision decision = DecidePlacement(r, d.log_prefix, Inspect(d.path, r.kind, c.versions), portable);
  if (decision.record_removal) {
    // Its folder too, as for a placed file: a run killed before writing its
    // records created the folder, and this run finds it there.
    const WString folder = FolderOfFile(d.path);
    if (d.in_install_tree && !EqualsIgnoreCase(folder, c.in.folders.install)) RecordRemoval(c, folder, kUninstallFolder);
    RecordRemoval(c, d.path, kUninstallFile);
  }
  if (!decision.log_line.empty()) c.in.log->Wide(decision.log_line);
  if (!decision.place) {
    // A pending file that a killed run left beside a file skipped now would
    // stay: only a write of that file takes it, and nothing records it.
    RemovePendingWrite(d.path);
    return 0;
  }
  AddShortcut(r, d, c.out);
  if (!PrepareFolder(r, d, c)) return 0;
  if ((r.flags & kRecordKeep) == 0 && IsKindRecorded(r.kind, portable)) RecordRemoval(c, d.path, kUninstallFile);
  StreamedData streamed(c.reader, c.in);
  PlaceFileRequest request{d.path,     r.data,          r.size,  r.streamed ? &streamed : nullptr, r.date, r.attributes,
                           decision.existed, c.in.write_failed_label, c.in.log};
  bool reboot = false;
  const bool placed = PlaceFile(request, c.flags, &reboot);
  // Damaged data ends the installation before anything else is done with it.
  if (r.streamed) {
    if (const int code = streamed.Finish()) return code;
  }
  if (reboot) c.out.reboot_needed = true;
  if (placed && HasFlag(c.flags, product_flag::kDetailedLog)) c.in.log->Wide(d.log_prefix + u"\r\n");
  if (!placed && !(r.kind == 12 && reboot)) return 0;
  if (const int code = AfterPlacing(r, d, c)) return code;
  // A destination that waits for its replacement at restart is not handed to
  // the pending-list cleanup, which would cancel that very replacement.
  if (placed) c.out.placed.push_back(d.path);
  return 0;
}

}  // namespace

std::vector<ConditionalDeletion> DeletionsFromSettings(const std::vector<FileDeletion>& settings_deletions) {
  std::vector<ConditionalDeletion> out;
  for (const FileDeletion& d : settings_deletions) out.push_back({d.path, d.condition, d.condition_value, d.flags});
  return out;
}

namespace {

// A date value that is no date is malformed archive data; it is caught here,
// before anything is deleted or placed, for both passes.
int CheckDeletionDates(const std::vector<ConditionalDeletion>& deletions) {
  for (const ConditionalDeletion& d : deletions) {
    RecordDate date;
    if (IsDateCondition(d.condition) && !ParseDeletionDate(d.condition_value, &date)) return kCorruptDeletionDate;
  }
  return 0;
}

// The installation pass runs before placing, so that it removes what an older
// version left and never what this installation has just written.
void RunInstallationDeletions(const FilePlacementInput& in, ProductFlags& flags) {
  std::vector<ConditionalDeletion> records = in.deletions;
  for (const ConditionalDeletion& d : records)
    if (in.uninstall && (d.flags & kDeleteAtUninstall) != 0) in.uninstall->AddConditionalDeletion(d);
  ConditionalDeletionPass pass;
  pass.pass = kInstallationPass;
  pass.install_dir = in.folders.install;
  pass.expand = in.folders.expand;
  pass.log = in.log;
  RunConditionalDeletions(records, pass);  // the dates were checked before
  if (pass.restart_needed) flags |= product_flag::kRebootRequired;
}

void CleanPendingForPlaced(const std::vector<WString>& placed, InstallLog& log) {
  std::set<NString> keys;
  for (const WString& path : placed) keys.insert(PendingPathKey(WStringView(path)));
  if (!keys.empty()) CleanPendingOperations(keys, &log);
}

}  // namespace

int PlaceAllFiles(const FilePlacementInput& in, ProductFlags& flags, FilePlacementOutputs& out) {
  if (const int code = CheckDeletionDates(in.deletions)) return code;
  RunInstallationDeletions(in, flags);
  FileDataReader reader(in.block, in.block_size, in.coding);
  RecordContext context{in, flags, out, reader, {}};
  const std::size_t count = in.sizes.size();
  for (std::size_t i = 0; i < count; ++i) {
    FileRecord record;
    int code = reader.Next(in.sizes[i], &record, ReadingChunk, const_cast<FilePlacementInput*>(&in));
    if (code != 0) return code;
    if (in.set_progress) in.set_progress(static_cast<int>(28 + (62 * i) / count));
    if (in.pump_messages) in.pump_messages();
    if (in.stop && in.stop()) return 0;
    code = PlaceRecord(record, context);
    // The data of a record that was not written is still read and checked.
    if (code == 0 && record.streamed) code = reader.SkipData(ReadingChunk, const_cast<FilePlacementInput*>(&in));
    if (code != 0) return code;
  }
  const int code = reader.Finish();
  if (code != 0) return code;
  if (in.set_progress) in.set_progress(91);
  ShowStage(in, in.status_finishing);
  if (!out.fonts.empty()) PostMessageW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
  CleanPendingForPlaced(out.placed, *in.log);
  if (in.set_progress) in.set_progress(92);
  return 0;
}

}  // namespace ks
