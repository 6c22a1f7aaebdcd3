#include "authoring/manifest_checks.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "authoring/english_texts.h"
#include "core/report_text.h"
#include "engine/path_variables.h"
#include "lib/marked_text.h"
#include "lib/registry_path.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Backslashes(std::string s) {
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

// What a check works on: the loaded manifest, the document as written (for
// raw values and positions) and the findings.
struct CheckContext {
  const Manifest& manifest;
  const toml::table& document;
  const CheckOptions& options;
  Diagnostics& diags;

  const toml::node* Node(const std::string& key) const { return toml::at_path(document, key).node(); }
  std::optional<std::string> Text(const std::string& key) const {
    const toml::node* n = Node(key);
    return n ? n->value_exact<std::string>() : std::nullopt;
  }
  void Report(const std::string& key, std::string message) const {
    const toml::node* n = Node(key);
    Diagnostic d{manifest.path.string(), 0, 0, key, std::move(message)};
    if (n) {
      d.line = static_cast<int>(n->source().begin.line);
      d.column = static_cast<int>(n->source().begin.column);
    }
    diags.Add(std::move(d));
  }
  // The [[name]] entries' count.
  std::size_t Entries(const char* name) const {
    const toml::array* a = document[name].as_array();
    return a ? a->size() : 0;
  }
};

std::string Entry(const char* list, std::size_t i, const char* key) {
  return std::string(list) + "[" + std::to_string(i) + "]." + key;
}

// ---- the texts' arguments ----------------------------------------------------

bool TakesText(char16_t c) { return c == u's' || c == u'S'; }

std::string Describe(const WString& conversions) {
  if (conversions.empty()) return "none";
  std::string out;
  for (const char16_t c : conversions) {
    if (!out.empty()) out += ", ";
    out += TakesText(c) ? "a text (%s)" : "a number (%d)";
  }
  return out;
}

// The engine fills each text with the arguments its English text names, so
// a translation must name the same ones, in the same order.
void CheckTextArgumentsOf(const CheckContext& c, const std::vector<TextOverride>& texts) {
  const auto& english = EnglishTexts();
  for (const TextOverride& t : texts) {
    const WString expected = t.number >= 0 && static_cast<std::size_t>(t.number) < english.size()
                                 ? ReportConversions(Utf8ToWide(english[static_cast<std::size_t>(t.number)]))
                                 : WString();
    const WString found = ReportConversions(Utf8ToWide(t.text));
    bool same = expected.size() == found.size();
    for (std::size_t i = 0; same && i < found.size(); ++i) same = TakesText(expected[i]) == TakesText(found[i]);
    if (same) continue;
    Diagnostic d = t.where;
    d.message = expected.empty()
                    ? "text " + std::to_string(t.number) + " is shown as it stands and takes no arguments, found " +
                          Describe(found) + ", which would show as written"
                    : "text " + std::to_string(t.number) + " is filled with " + Describe(expected) +
                          " in this order, found " + Describe(found);
    c.diags.Add(std::move(d));
  }
}

void CheckTextArguments(const CheckContext& c) {
  CheckTextArgumentsOf(c, c.manifest.english_texts);
  for (const LanguageSource& language : c.manifest.languages) CheckTextArgumentsOf(c, language.texts);
}

// ---- versions ----------------------------------------------------------------

void CheckVersionKey(const CheckContext& c, const std::string& key) {
  const auto v = c.Text(key);
  if (!v || v->empty() || IsWellFormedVersion(*v)) return;
  c.Report(key, "expected a version such as \"1.4.2\": numbers joined by dots, at most one letter at the end; "
                "found \"" + *v + "\"");
}

void CheckVersions(const CheckContext& c) {
  for (const char* key : {"product.version", "versions.old_version_warning_below", "versions.no_downgrade_below",
                          "versions.uninstall_first_below", "master.min_version"})
    CheckVersionKey(c, key);
  for (std::size_t i = 0; i < c.Entries("file"); ++i) CheckVersionKey(c, Entry("file", i, "version"));
}

// ---- path variables ----------------------------------------------------------

// Environment variables every Windows has; anything else between percent
// signs that is no path variable is most likely a typo.
const char* const kStandardEnvironment[] = {
    "ALLUSERSPROFILE", "APPDATA", "CommonProgramFiles", "CommonProgramFiles(x86)", "CommonProgramW6432",
    "COMPUTERNAME", "ComSpec", "DriverData", "HOMEDRIVE", "HOMEPATH", "LOCALAPPDATA", "LOGONSERVER",
    "NUMBER_OF_PROCESSORS", "OneDrive", "OS", "Path", "PATHEXT", "PROCESSOR_ARCHITECTURE",
    "PROCESSOR_IDENTIFIER", "PROCESSOR_LEVEL", "PROCESSOR_REVISION", "ProgramData", "ProgramFiles",
    "ProgramFiles(x86)", "ProgramW6432", "PSModulePath", "PUBLIC", "SystemDrive", "SystemRoot", "TEMP", "TMP",
    "USERDOMAIN", "USERDOMAIN_ROAMINGPROFILE", "USERNAME", "USERPROFILE", "windir",
};

bool IsNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '(' || c == ')';
}

// The findings for the %...% references of one text; empty when all are known.
std::vector<std::string> PathVariableFindings(const std::string& text) {
  std::vector<std::string> findings;
  std::size_t i = 0;
  while ((i = text.find('%', i)) != std::string::npos) {
    const std::size_t end = text.find('%', i + 1);
    if (end == std::string::npos) break;
    const std::string name = text.substr(i + 1, end - i - 1);
    // "%%", "50% of %" and the like name nothing: move on by one sign.
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0])) ||
        !std::all_of(name.begin(), name.end(), IsNameCharacter)) {
      i = end;
      continue;
    }
    const std::string written = "%" + name + "%";
    bool known = false;
    for (int v = 0; v < kPathVariableCount && !known; ++v) {
      const auto variable = static_cast<PathVariable>(v);
      const std::string exact = WideToUtf8(PathVariableName(variable));
      if (written == exact) {
        known = true;
      } else if (Lower(written) == Lower(exact)) {
        known = true;
        if (PathVariableExactCase(variable))
          findings.push_back(written + " is replaced only when written exactly " + exact);
      }
    }
    for (const char* env : kStandardEnvironment) known = known || Lower(name) == Lower(env);
    if (!known)
      findings.push_back("unknown path variable " + written +
                         ": neither a path variable of the installer nor an environment variable every Windows has");
    i = end + 1;
  }
  return findings;
}

void CheckPathVariablesIn(const CheckContext& c, const std::string& key) {
  const auto text = c.Text(key);
  if (!text) return;
  for (std::string& f : PathVariableFindings(*text)) c.Report(key, std::move(f));
}

void CheckPathVariables(const CheckContext& c) {
  for (const char* key : {"product.install_path", "product.desktop_folder", "product.app_path",
                          "wizard.launch_on_exit", "wizard.finish_open", "wizard.finish_document"})
    CheckPathVariablesIn(c, key);
  for (std::size_t i = 0; i < c.Entries("deletion"); ++i) CheckPathVariablesIn(c, Entry("deletion", i, "path"));
  for (std::size_t i = 0; i < c.Entries("file"); ++i) {
    for (const char* key : {"destination", "icon", "extra"}) CheckPathVariablesIn(c, Entry("file", i, key));
  }
}

// ---- registry records --------------------------------------------------------

bool IsRegistryPath(const WString& path) {
  RegPath parsed;
  return IsAllUsersPath(path) || ParseRegistryPath(path, parsed);
}

bool IsDecimal(const WString& text) {
  std::size_t i = !text.empty() && (text[0] == u'+' || text[0] == u'-') ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < u'0' || text[i] > u'9') return false;
  return true;
}

// What is wrong with one record, or "" when nothing is.
std::string RecordFinding(const RegistryRecord& r) {
  const std::vector<WString>& f = r.fields;
  if (f.size() != 1 && f.size() != 5)
    return "expected a key path alone, or key,name,type,data,code; found " + std::to_string(f.size()) + " fields";
  if (!IsRegistryPath(f[0]))
    return "the key \"" + WideToUtf8(f[0]) + "\" starts with no root such as \\HKLM\\, \\HKCU\\ or \\HKAU\\";
  if (f.size() == 1) return "";
  const std::int32_t type = IsDecimal(f[2]) ? RecordNumber(f[2]) : -1;
  const std::int32_t code = IsDecimal(f[4]) ? RecordNumber(f[4]) : -1;
  if (type != 1 && type != 2 && type != 3 && type != 4 && type != 11)
    return "the type must be 1, 2, 3, 4 or 11, found \"" + WideToUtf8(f[2]) + "\"";
  if (code < 0 || code > 7) return "the code must be 0 to 7, found \"" + WideToUtf8(f[4]) + "\"";
  std::vector<std::uint8_t> bytes;
  if (type == 3 && !ParseHexData(f[3], bytes))
    return "type 3 takes hexadecimal digits, two for each byte; found \"" + WideToUtf8(f[3]) + "\"";
  if ((type == 4 || type == 11) && !f[3].empty() && !IsDecimal(f[3]))
    return "type " + std::to_string(type) + " takes a decimal number, found \"" + WideToUtf8(f[3]) + "\"";
  return "";
}

void CheckRegistryRecords(const CheckContext& c) {
  const std::string key = "product.registry_entries";
  const auto text = c.Text(key);
  if (!text) return;
  std::size_t n = 0;
  for (const RegistryRecord& r : ReadRegistryRecords(Utf8ToWide(*text))) {
    ++n;
    const std::string prefix = "record " + std::to_string(n) + " (\"" + WideToUtf8(r.text) + "\"): ";
    std::string finding = RecordFinding(r);
    if (!finding.empty()) {
      c.Report(key, prefix + finding);
      continue;
    }
    std::vector<std::string> names = PathVariableFindings(WideToUtf8(r.fields[0]));
    if (r.fields.size() == 5 && RecordNumber(r.fields[2]) == 1) {
      for (std::string& f : PathVariableFindings(WideToUtf8(r.fields[3]))) names.push_back(std::move(f));
    }
    for (const std::string& f : names) c.Report(key, prefix + f);
  }
}

// ---- files the product must contain -----------------------------------------

// The program of a command: the quoted part when it starts with a quote,
// else the whole command (how the engine splits the launch command).
std::string ProgramOf(const std::string& command) {
  if (!command.empty() && command[0] == '"') {
    const std::size_t end = command.find('"', 1);
    return command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  return command;
}

void CheckNamesProductFile(const CheckContext& c, const ProductFiles& files, const std::string& key,
                           bool program, bool folder_too) {
  const auto text = c.Text(key);
  if (!text || text->empty()) return;
  const auto rel = BelowInstallDir(program ? ProgramOf(*text) : *text);
  if (!rel || files.HasFile(*rel) || (folder_too && files.HasFolder(*rel))) return;
  c.Report(key, "\"" + *text + "\" names no file of the product: no [[file]] entry of kind \"install\" places \"" +
                    Backslashes(*rel) + "\" in the installation folder");
}

void CheckProductReferences(const CheckContext& c) {
  const ProductFiles files(c.manifest);
  if (const auto app = c.Text("product.app_path"); app && !app->empty()) {
    const std::string rel = BelowInstallDir(*app).value_or(*app);
    if (!files.HasFile(rel))
      c.Report("product.app_path", "\"" + *app + "\" names no file of the product: no [[file]] entry of kind "
                                   "\"install\" places \"" + Backslashes(rel) + "\" in the installation folder");
  }
  CheckNamesProductFile(c, files, "wizard.launch_on_exit", true, false);
  CheckNamesProductFile(c, files, "wizard.finish_document", false, false);
  CheckNamesProductFile(c, files, "wizard.finish_open", false, true);
  // A shortcut's icon from the product must be one of its files.
  for (std::size_t i = 0; i < c.Entries("file"); ++i) CheckNamesProductFile(c, files, Entry("file", i, "icon"), false, false);
}

// ---- signing and publishing --------------------------------------------------

void CheckSigning(const CheckContext& c) {
  const SigningConfig& s = c.manifest.signing;
  if (s.present && c.manifest.settings.page_styles.values[10] == 1) {
    c.Report("archive.integrity_check",
             "a signed installer cannot check itself with \"checksum\": signing changes the headers the checksum "
             "covers, so every run would report the installer corrupt; use \"signature\"");
  }
  if (!c.options.sign) return;
  if (!s.present) {
    c.diags.Add({c.manifest.path.string(), 0, 0, "signing",
                 "--sign needs a [signing] table: the certificate and key (or a PKCS#12 file) and where the "
                 "password comes from"});
    return;
  }
  std::string password, error;
  if (!ReadPassword(s, c.options.environment, &password, &error))
    c.Report(s.password_env.empty() ? "signing.password_file" : "signing.password_env", error);
  if (!FindOnPath("osslsigncode", c.options.environment))
    c.Report("signing", "signing needs the program osslsigncode on the PATH (Debian: apt-get install osslsigncode)");
}

// Chocolatey takes versions of 1 to 4 numbers; the other manager any text.
bool IsPackageVersion(const std::string& v) {
  std::size_t parts = 0, digits = 0;
  for (const char c : v) {
    if (c == '.') {
      if (digits == 0) return false;
      ++parts;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      ++digits;
    } else {
      return false;
    }
  }
  return digits > 0 && parts < 4;
}

void CheckPackage(const CheckContext& c) {
  if (!c.options.package_manifest) return;
  if (!c.manifest.package.present) {
    c.diags.Add({c.manifest.path.string(), 0, 0, "package",
                 "--package-manifest needs a [package] table: the identifier, the installer's address and the "
                 "licence"});
    return;
  }
  const std::string version = WideToUtf8(c.manifest.settings.display_version);
  if (version.empty()) {
    c.Report("product", "package manifests need \"product.version\"");
  } else if (!IsPackageVersion(version)) {
    c.Report("product.version", "package managers need a version of 1 to 4 numbers joined by dots, found \"" +
                                    version + "\"");
  }
}

// Every check of a loaded manifest, in the order their findings are printed.
using CheckFn = void (*)(const CheckContext&);
const CheckFn kChecks[] = {
    CheckTextArguments, CheckVersions, CheckPathVariables, CheckRegistryRecords,
    CheckProductReferences, CheckSigning, CheckPackage,
};

}  // namespace

ProductFiles::ProductFiles(const Manifest& manifest) {
  for (const ManifestFile& f : manifest.files) {
    if (f.record.kind != 0) continue;
    const std::string name = Backslashes(WideToUtf8(DecodeMarkedText(f.record.name)));
    std::string placed = Backslashes(WideToUtf8(f.record.destination));
    // A destination with a drive, a root or a variable lies elsewhere or is
    // known only at installation time.
    if (placed.find_first_of(":%") != std::string::npos || (!placed.empty() && placed[0] == '\\')) continue;
    if (placed.empty()) placed = name;
    else if (placed.back() == '\\') placed += name.substr(name.rfind('\\') == std::string::npos ? 0 : name.rfind('\\') + 1);
    placed = Lower(placed);
    files_.insert(placed);
    for (std::size_t slash = placed.find('\\'); slash != std::string::npos; slash = placed.find('\\', slash + 1))
      folders_.insert(placed.substr(0, slash));
  }
  folders_.insert("");
}

bool ProductFiles::HasFile(const std::string& relative) const { return files_.count(Lower(Backslashes(relative))) > 0; }

bool ProductFiles::HasFolder(const std::string& relative) const {
  std::string r = Lower(Backslashes(relative));
  while (!r.empty() && r.back() == '\\') r.pop_back();
  return folders_.count(r) > 0;
}

std::optional<std::string> BelowInstallDir(const std::string& path) {
  const std::string prefix = "%installdir%";
  if (Lower(path.substr(0, prefix.size())) != prefix) return std::nullopt;
  std::string rest = path.substr(prefix.size());
  while (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) rest.erase(0, 1);
  return rest;
}

bool IsWellFormedVersion(const std::string& v) {
  std::size_t i = 0;
  while (true) {
    const std::size_t start = i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
    if (i == start) return false;
    if (i == v.size()) return true;
    if (v[i] == '.') {
      ++i;
      continue;
    }
    return i + 1 == v.size() && std::isalpha(static_cast<unsigned char>(v[i]));
  }
}

std::optional<std::string> FindOnPath(const std::string& program, const EnvironmentFn& environment) {
  const char* path = environment ? environment("PATH") : nullptr;
  if (!path) return std::nullopt;
#ifdef _WIN32
  const char separator = ';';
  const std::vector<std::string> suffixes = {".exe", ""};
#else
  const char separator = ':';
  const std::vector<std::string> suffixes = {""};
#endif
  const std::string all(path);
  for (std::size_t start = 0; start <= all.size();) {
    std::size_t end = all.find(separator, start);
    if (end == std::string::npos) end = all.size();
    const std::string folder = all.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;
    for (const std::string& suffix : suffixes) {
      const fs::path candidate = fs::u8path(folder) / fs::u8path(program + suffix);
      std::error_code ec;
      if (fs::is_regular_file(candidate, ec)) return candidate.u8string();
    }
  }
  return std::nullopt;
}

bool CheckManifest(const Manifest& manifest, const CheckOptions& options, Diagnostics& diags) {
  const std::size_t before = diags.size();
  const auto document = ParseToml(manifest.path, diags);
  if (!document) return false;
  const CheckContext context{manifest, *document, options, diags};
  for (const CheckFn check : kChecks) check(context);
  return diags.size() == before;
}

}  // namespace ks::authoring
