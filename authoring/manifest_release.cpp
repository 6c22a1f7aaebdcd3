#include "authoring/manifest_release.h"

#include <fstream>

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

bool IsHttpUrl(const std::string& text) {
  for (const char* scheme : {"https://", "http://"}) {
    const std::string s(scheme);
    if (text.size() > s.size() && text.compare(0, s.size(), s) == 0 &&
        text.find_first_of(" \t\r\n\"<>") == std::string::npos)
      return true;
  }
  return false;
}

// A file the tool hands to another program: it must exist now, so that the
// author hears of a wrong path before a build, not from the signing tool.
std::optional<fs::path> ExistingFile(TomlReader& t, const char* key) {
  const auto rel = t.Text(key);
  if (!rel) return std::nullopt;
  const fs::path path = ResolveRelative(t.base_dir(), *rel);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    t.Error(key, "no such file: \"" + path.string() + "\"");
    return std::nullopt;
  }
  return path;
}

std::optional<std::string> Url(TomlReader& t, const char* key) {
  auto v = t.Text(key);
  if (v && !IsHttpUrl(*v)) {
    t.Error(key, "expected an address beginning with https:// or http://, found \"" + *v + "\"");
    return std::nullopt;
  }
  return v;
}

bool IsEnvironmentName(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

// The package identifier rule of the Windows package manager: two to eight
// parts of 1 to 32 characters, joined by dots, without blanks or the
// characters a file name may not hold.
bool IsPackageIdentifier(const std::string& id) {
  if (id.size() > 128) return false;
  std::size_t parts = 0, length = 0;
  for (const char c : id) {
    if (c == '.') {
      if (length == 0) return false;
      ++parts;
      length = 0;
      continue;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == ' ' || u == '\t' || std::string("\\/:*?\"<>|").find(c) != std::string::npos) return false;
    if (++length > 32) return false;
  }
  if (length == 0) return false;
  ++parts;
  return parts >= 2 && parts <= 8;
}

bool IsChocolateyId(const std::string& id) {
  if (id.empty() || id.size() > 100 || id.front() == '.' || id.front() == '-') return false;
  for (const char c : id) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.')) return false;
  }
  return true;
}

}  // namespace

void ReadSigningTable(TomlReader& t, SigningConfig& out) {
  out.present = true;
  out.where = t.Where("");
  if (t.Has("password")) {
    t.Text("password");
    t.Error("password",
            "a password never goes into the manifest: name an environment variable (password_env) or a file "
            "(password_file) that holds it");
  }
  if (auto p = ExistingFile(t, "pkcs12")) out.pkcs12 = *p;
  if (auto p = ExistingFile(t, "certificate")) out.certificate = *p;
  if (auto p = ExistingFile(t, "key")) out.key = *p;
  const bool bundle = t.Has("pkcs12"), pair = t.Has("certificate") || t.Has("key");
  if (bundle && pair) {
    t.Error("", "give either \"pkcs12\" or \"certificate\" and \"key\", not both");
  } else if (!bundle && !(t.Has("certificate") && t.Has("key"))) {
    t.Error("", "expected \"pkcs12\" (a PKCS#12 file) or both \"certificate\" and \"key\"");
  }
  if (auto name = t.Text("password_env")) {
    if (IsEnvironmentName(*name)) out.password_env = *name;
    else t.Error("password_env", "expected the name of an environment variable (letters, digits, _), found \"" + *name + "\"");
  }
  if (auto p = ExistingFile(t, "password_file")) out.password_file = *p;
  if (t.Has("password_env") && t.Has("password_file")) {
    t.Error("", "give either \"password_env\" or \"password_file\", not both");
  }
  if (auto v = Url(t, "timestamp_url")) out.timestamp_url = *v;
  out.description = t.Text("description").value_or("");
  if (auto v = Url(t, "url")) out.url = *v;
}

void ReadPackageTable(TomlReader& t, PackageInfo& out) {
  out.present = true;
  out.where = t.Where("");
  if (auto id = t.Text("identifier")) {
    if (IsPackageIdentifier(*id)) out.identifier = *id;
    else t.Error("identifier", "expected \"Publisher.Product\": 2 to 8 parts of 1 to 32 characters joined by dots, "
                               "without blanks or \\ / : * ? \" < > |; found \"" + *id + "\"");
  } else if (!t.Has("identifier")) {
    t.Error("", "missing key \"identifier\": the package's name in the package managers, \"Publisher.Product\"");
  }
  if (auto id = t.Text("chocolatey_id")) {
    if (IsChocolateyId(*id)) out.chocolatey_id = *id;
    else t.Error("chocolatey_id", "expected lower-case letters, digits, \"-\" and \".\", found \"" + *id + "\"");
  }
  if (auto v = Url(t, "installer_url")) out.installer_url = *v;
  else if (!t.Has("installer_url")) t.Error("", "missing key \"installer_url\": where the published installer is downloaded from");
  if (auto v = t.Text("license")) out.license = *v;
  else if (!t.Has("license")) t.Error("", "missing key \"license\": the licence's name, e.g. \"MIT\" or \"Proprietary\"");
  if (auto v = Url(t, "license_url")) out.license_url = *v;
  if (auto v = Url(t, "homepage")) out.homepage = *v;
  out.short_description = t.Text("short_description").value_or("");
  if (auto tags = t.TextList("tags")) {
    for (const std::string& tag : *tags) {
      if (tag.empty() || tag.size() > 40 || tag.find_first_of(" \t\r\n") != std::string::npos) {
        t.Error("tags", "expected tags of 1 to 40 characters without blanks, found \"" + tag + "\"");
        return;
      }
    }
    out.tags = *tags;
  }
}

bool ReadPassword(const SigningConfig& signing, const EnvironmentFn& environment, std::string* password,
                  std::string* error) {
  password->clear();
  if (!signing.password_env.empty()) {
    const char* value = environment(signing.password_env.c_str());
    if (!value) {
      *error = "the environment variable " + signing.password_env + " that holds the signing password is not set";
      return false;
    }
    *password = value;
    return true;
  }
  if (!signing.password_file.empty()) {
    std::ifstream in(signing.password_file, std::ios::binary);
    if (!in) {
      *error = "cannot read the password file \"" + signing.password_file.string() + "\"";
      return false;
    }
    std::getline(in, *password);
    if (!password->empty() && password->back() == '\r') password->pop_back();
  }
  return true;
}

}  // namespace ks::authoring
