#include "authoring/manifest_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "authoring/manifest_text.h"
#include "lib/marked_text.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

const std::vector<EnumChoice> kKinds = {
    {"install", 0},   {"shared", 1},     {"font", 4},          {"startup", 5},
    {"system", 6},    {"com-server", 7}, {"type-library", 8},  {"versioned", 9},
    {"driver", 10},   {"package", 11},   {"control-panel", 12},
};
const std::vector<EnumChoice> kExistingRules = {
    {"check", 0}, {"never", 4}, {"only-if-present", 8}, {"only-if-missing", 12}, {"unless-newer", 16},
};
struct AttributeName {
  const char* name;
  std::int32_t bit;
};
const AttributeName kAttributes[] = {
    {"read-only", 0x1}, {"hidden", 0x2}, {"system", 0x4}, {"archive", 0x20}, {"temporary", 0x100}, {"offline", 0x1000},
};

// The user-interface levels of the system's installer service (INSTALLUILEVEL).
const std::vector<EnumChoice> kPackageUiLevels = {
    {"default", 1}, {"none", 2}, {"basic", 3}, {"reduced", 4}, {"full", 5},
};

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

// '*' any run, '?' one character; no other specials.
bool Matches(const char* pattern, const char* text) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') return Matches(pattern + 1, text) || (*text != '\0' && Matches(pattern, text + 1));
  if (*text == '\0') return false;
  return (*pattern == '?' || *pattern == *text) && Matches(pattern + 1, text + 1);
}

// The files a source names, each with its name relative to the entry's folder.
std::vector<std::pair<fs::path, std::string>> FindSources(const fs::path& base, const std::string& source) {
  std::vector<std::pair<fs::path, std::string>> out;
  std::error_code ec;
  const fs::path full = base / fs::u8path(source);
  if (HasWildcard(full.filename().u8string())) {
    const std::string pattern = full.filename().u8string();
    for (const auto& e : fs::directory_iterator(full.parent_path(), ec))
      if (e.is_regular_file(ec) && Matches(pattern.c_str(), e.path().filename().u8string().c_str()))
        out.push_back({e.path(), e.path().filename().u8string()});
  } else if (fs::is_directory(full, ec)) {
    for (const auto& e : fs::recursive_directory_iterator(full, ec))
      if (e.is_regular_file(ec)) out.push_back({e.path(), fs::relative(e.path(), full, ec).u8string()});
  } else if (fs::is_regular_file(full, ec)) {
    out.push_back({full, full.filename().u8string()});
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  return out;
}

std::string Backslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// "YYYY-MM-DD hh:mm:ss" (UTC).
std::optional<RecordDate> ParseDate(const std::string& text) {
  RecordDate d;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &d.year, &d.month, &d.day, &d.hour, &d.minute,
                  &d.second, &tail) != 6)
    return std::nullopt;
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31 || d.hour > 23 || d.minute > 59 || d.second > 59)
    return std::nullopt;
  return d;
}

void ReadDateKey(TomlReader& t, FileRecord& r, bool& from_source) {
  const std::string text = t.Text("date").value_or("source");
  if (text == "source") {
    from_source = true;
  } else if (text != "none") {
    if (auto d = ParseDate(text)) r.date = *d;
    else t.Error("date", "expected \"source\", \"none\" or \"YYYY-MM-DD hh:mm:ss\" (UTC), found \"" + text + "\"");
  }
}

void ReadAttributesKey(TomlReader& t, FileRecord& r) {
  const auto names = t.TextList("attributes");
  if (!names) return;
  r.attributes = 0;
  for (const std::string& n : *names) {
    bool known = false;
    for (const AttributeName& a : kAttributes)
      if (n == a.name) r.attributes |= a.bit, known = true;
    if (!known) t.Error("attributes", "unknown attribute \"" + n + "\"");
  }
}

std::int32_t ReadFlags(TomlReader& t, std::int32_t kind) {
  std::int32_t flags = static_cast<std::int32_t>(t.Enum("existing", kExistingRules).value_or(0));
  if (t.Bool("keep").value_or(false)) flags |= kRecordKeep;
  if (t.Bool("in_uninstall_folder").value_or(false)) flags |= kRecordInUninstallFolder;
  if (t.Bool("desktop_shortcut").value_or(false)) flags |= kRecordDesktopShortcut;
  if (t.Bool("start_menu_shortcut").value_or(false)) flags |= kRecordStartMenuShortcut;
  if (t.Bool("remove_package").value_or(false)) flags |= kRecordRemovePackage;
  if ((flags & (kRecordDesktopShortcut | kRecordStartMenuShortcut)) != 0 && kind != 0)
    t.Error("", "shortcuts belong to files of kind \"install\"");
  return flags;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits.
bool IsClassId(const std::string& text) {
  static const char kForm[] = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (text.size() != sizeof(kForm) - 1) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (kForm[i] != 'x' ? c != kForm[i] : !std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// The keys of the component kinds: a font's registered name, a Control
// Panel extension's class, a package's user-interface level. What the engine
// would take for a corrupt installer is refused here.
void ReadComponentKeys(TomlReader& t, FileRecord& r) {
  constexpr std::int32_t kFont = 4, kControlPanel = 12;
  if (r.kind == kFont && r.title.empty())
    t.Error("title", "files of kind \"font\" need a title: the name the font is registered under, "
                     "e.g. \"Ptarmigan Sans (TrueType)\"");
  const auto class_id = t.Text("class_id");
  if (class_id && r.kind != kControlPanel) t.Error("class_id", "only files of kind \"control-panel\" have a class");
  if (class_id && t.Has("extra")) t.Error("class_id", "give the class as class_id or as extra, not both");
  if (class_id && !IsClassId(*class_id))
    t.Error("class_id", "expected a class identifier \"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}\", found \"" +
                            *class_id + "\"");
  if (class_id) r.extra_text = EncodeMarkedText(Utf8ToWide(*class_id));
  if (r.kind == kControlPanel && r.extra_text.empty())
    t.Error("class_id", "files of kind \"control-panel\" need a class_id");
  const auto level = t.Enum("package_ui", kPackageUiLevels);
  if (level && t.Has("package_option")) t.Error("package_ui", "give package_ui or package_option, not both");
  if (level) r.package_option = static_cast<std::int32_t>(*level);
  for (const char* key : {"package_ui", "package_option", "remove_package"})
    if (t.Has(key) && r.kind != kKindPackage) t.Error(key, "only files of kind \"package\" have this key");
}

// The record fields shared by every file of one entry.
FileRecord ReadTemplate(TomlReader& t, ManifestFile& f) {
  FileRecord r;
  r.kind = static_cast<std::int32_t>(t.Enum("kind", kKinds).value_or(0));
  r.flags = ReadFlags(t, r.kind);
  const auto version = t.Text("version");
  if (version && !(r.kind >= 6 && r.kind <= 9)) t.Error("version", "only files of kinds 6 to 9 carry a version");
  r.title = version ? *version : t.Text("title").value_or("");
  r.shortcut_icon = Utf8ToWide(t.Text("icon").value_or(""));
  r.arguments = WideToCp1252(Utf8ToWide(t.Text("arguments").value_or("")));
  r.destination = Utf8ToWide(t.Text("destination").value_or(""));
  r.extra_text = EncodeMarkedText(Utf8ToWide(t.Text("extra").value_or("")));
  r.package_option = static_cast<std::int32_t>(t.Int("package_option", INT32_MIN, INT32_MAX).value_or(0));
  ReadComponentKeys(t, r);
  ReadAttributesKey(t, r);
  ReadDateKey(t, r, f.date_from_source);
  return r;
}

void ReadFile(TomlReader& t, std::vector<ManifestFile>& out) {
  const auto source = t.Text("source");
  if (!source) {
    if (!t.Has("source")) t.Error("", "missing key \"source\": a file, folder or pattern of the product");
    return;
  }
  ManifestFile proto;
  proto.record = ReadTemplate(t, proto);
  const std::string folder = Backslashes(t.Text("folder").value_or(""));
  const auto found = FindSources(t.base_dir(), *source);
  if (found.empty()) t.Error("source", "no file matches \"" + *source + "\"");
  for (const auto& [path, relative] : found) {
    ManifestFile f = proto;
    f.source = path;
    const std::string name = Backslashes(folder.empty() ? relative : folder + "\\" + relative);
    f.record.name = EncodeMarkedText(Utf8ToWide(name));
    out.push_back(std::move(f));
  }
  t.Finish();
}

// Days from 1970-01-01 to a civil date and back (proleptic Gregorian).
void CivilFromDays(std::int64_t z, std::int32_t* y, std::int32_t* m, std::int32_t* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<std::int32_t>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<std::int32_t>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<std::int32_t>(yoe + era * 400 + (*m <= 2 ? 1 : 0));
}

}  // namespace

void ReadFiles(TomlReader& root, std::vector<ManifestFile>& out) {
  auto entries = root.TableArray("file");
  if (!entries) return;
  for (TomlReader& t : *entries) ReadFile(t, out);
}

RecordDate SourceDate(const fs::path& path) {
  struct stat st {};
  RecordDate d;
  if (::stat(path.string().c_str(), &st) != 0) return d;
  const std::int64_t t = static_cast<std::int64_t>(st.st_mtime);
  const std::int64_t days = (t >= 0 ? t : t - 86399) / 86400;
  const std::int64_t secs = t - days * 86400;
  CivilFromDays(days, &d.year, &d.month, &d.day);
  d.hour = static_cast<std::int32_t>(secs / 3600);
  d.minute = static_cast<std::int32_t>(secs / 60 % 60);
  d.second = static_cast<std::int32_t>(secs % 60);
  return d;
}

bool EncodeFiles(const std::vector<ManifestFile>& files, std::vector<Bytes>* items, std::vector<std::int32_t>* sizes,
                 std::string* error) {
  for (const ManifestFile& f : files) {
    std::ifstream in(f.source, std::ios::binary);
    const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      *error = "cannot read " + f.source.u8string();
      return false;
    }
    if (data.size() > static_cast<std::size_t>(kMaxRecordDataSize)) {
      *error = f.source.u8string() + " is larger than the engine's limit of 1 GiB per file";
      return false;
    }
    FileRecord r = f.record;
    if (f.date_from_source) r.date = SourceDate(f.source);
    items->push_back(EncodeFileRecord(r, data));
    sizes->push_back(static_cast<std::int32_t>(data.size()));
  }
  return true;
}

std::vector<Bytes> RecordStreamPieces(const std::vector<Bytes>& items, std::size_t chunk_size) {
  ByteWriter stream;
  for (const Bytes& item : items) {
    stream.U32(static_cast<std::uint32_t>(item.size()));
    stream.Raw(item);
  }
  const Bytes& all = stream.bytes();
  std::vector<Bytes> pieces;
  for (std::size_t at = 0; at < all.size(); at += chunk_size) {
    const std::size_t take = std::min(chunk_size, all.size() - at);
    pieces.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                        all.begin() + static_cast<std::ptrdiff_t>(at + take));
  }
  return pieces;
}

bool IsX86Image(const std::uint8_t* data, std::size_t size) {
  if (size < 0x40 || data[0] != 'M' || data[1] != 'Z') return false;
  const std::uint32_t pe = LoadLe32(data + 0x3C);
  if (pe > size || size - pe < 6 || std::memcmp(data + pe, "PE\0\0", 4) != 0) return false;
  const std::uint16_t machine = LoadLe16(data + pe + 4);
  return machine == 0x014C || machine == 0x8664;
}

std::vector<bool> X86CodePieces(const std::vector<Bytes>& items, const std::vector<std::int32_t>& sizes,
                                std::size_t chunk_size) {
  std::uint64_t total = 0;
  for (const Bytes& item : items) total += 4 + item.size();
  std::vector<std::uint64_t> code_bytes(static_cast<std::size_t>((total + chunk_size - 1) / chunk_size), 0);
  std::uint64_t at = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const Bytes& item = items[i];
    const auto size = static_cast<std::size_t>(sizes[i]);
    const std::uint64_t data_at = at + 4 + (item.size() - size - 4);
    at += 4 + item.size();
    if (!IsX86Image(item.data() + item.size() - size - 4, size)) continue;
    // Spread the image's bytes over the pieces it falls into.
    for (std::uint64_t p = data_at, end = data_at + size; p < end;) {
      const std::uint64_t piece_end = (p / chunk_size + 1) * chunk_size;
      const std::uint64_t take = std::min(end, piece_end) - p;
      code_bytes[static_cast<std::size_t>(p / chunk_size)] += take;
      p += take;
    }
  }
  std::vector<bool> out;
  for (std::size_t k = 0; k < code_bytes.size(); ++k) {
    const std::uint64_t piece = std::min<std::uint64_t>(chunk_size, total - k * chunk_size);
    out.push_back(code_bytes[k] * 2 >= piece);
  }
  return out;
}

}  // namespace ks::authoring
