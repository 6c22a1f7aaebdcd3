#include "authoring/init_manifest.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

// A TOML basic string.
std::string Toml(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\u00";
      out += kHex[(c >> 4) & 15];
      out += kHex[c & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The path from the manifest's folder to `target`, with "/".
std::string RelativeTo(const fs::path& manifest_dir, const fs::path& target) {
  std::error_code ec;
  const fs::path from = fs::weakly_canonical(fs::absolute(manifest_dir), ec);
  const fs::path to = fs::weakly_canonical(fs::absolute(target), ec);
  fs::path rel = to.lexically_relative(from);
  if (rel.empty()) rel = to;
  std::string text = rel.generic_u8string();
  return text.empty() ? "." : text;
}

struct TopLevel {
  std::vector<std::string> files, folders;  // names, sorted
};

TopLevel ListTopLevel(const fs::path& folder) {
  TopLevel t;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().u8string();
    if (e.is_directory(ec)) t.folders.push_back(name);
    else if (e.is_regular_file(ec)) t.files.push_back(name);
  }
  std::sort(t.files.begin(), t.files.end());
  std::sort(t.folders.begin(), t.folders.end());
  return t;
}

}  // namespace

std::optional<std::string> StartingManifest(const fs::path& folder, const fs::path& manifest_path,
                                            std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    *error = "\"" + folder.u8string() + "\" is not a folder";
    return std::nullopt;
  }
  fs::path manifest_dir = manifest_path.parent_path();
  if (manifest_dir.empty()) manifest_dir = ".";
  const std::string source = RelativeTo(manifest_dir, folder);
  const std::string back = RelativeTo(folder, manifest_dir);
  if (back == "." || back.compare(0, 2, "..") != 0) {
    *error = "the manifest would become one of the product's files: write it outside \"" + folder.u8string() +
             "\" (-o ../setup.toml)";
    return std::nullopt;
  }
  std::string name = fs::weakly_canonical(fs::absolute(folder), ec).filename().u8string();
  if (name.empty()) name = "Product";

  const TopLevel top = ListTopLevel(folder);
  std::vector<std::string> programs;
  for (const std::string& f : top.files) {
    const std::string lower = Lower(f);
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0) programs.push_back(f);
  }
  const bool one_program = programs.size() == 1;

  std::string m;
  m += "# A starting manifest for the files of " + Toml(source) + ", written by kestrelon-build init.\n";
  m += "#   kestrelon-build check " + manifest_path.filename().u8string() + "     finds mistakes before a build\n";
  m += "#   kestrelon-build " + manifest_path.filename().u8string() + " -o setup.exe\n";
  m += "# Every key is described in docs/manifest.md. Paths are relative to this file.\n\n";
  m += "[product]\n";
  m += "name = " + Toml(name) + "\n";
  m += "version = \"1.0.0\"\n";
  m += "publisher = \"Your Company\"                 # also the folder below Program Files\n";
  m += "install_path = " + Toml("Your Company\\" + name) + "\n";
  if (one_program) m += "app_path = " + Toml(programs.front()) + "                # registered under App Paths\n";
  m += "\n[flags]\n";
  for (const char* flag : {"register_uninstaller", "folder_page", "start_menu_page", "progress_page",
                           "compare_versions", "single_instance", "always_write_log", "compressed_file_data"})
    m += std::string(flag) + " = true\n";
  m += "\n[archive]\n";
  m += "engine_image = true    # the uninstaller is the engine without the product's data\n";
  m += "\n# To sign with --sign (see docs/manifest.md):\n";
  m += "# [signing]\n# pkcs12 = \"release.p12\"\n# password_env = \"SIGNING_PASSWORD\"\n";
  m += "# timestamp_url = \"http://timestamp.example.invalid\"\n";
  m += "\n# To write package manifests with --package-manifest DIR (see docs/packaging.md):\n";
  m += "# [package]\n# identifier = \"YourCompany." + name + "\"\n";
  m += "# installer_url = \"https://example.invalid/setup.exe\"\n# license = \"Proprietary\"\n";
  m += "\n# The product's files.\n";
  if (!one_program) {
    m += "[[file]]\nsource = " + Toml(source) + "\n";
    return m;
  }
  // One entry per top-level item, so that only the program gets the shortcut.
  const std::string base = source == "." ? "" : source + "/";
  for (const std::string& f : top.files) {
    m += "[[file]]\nsource = " + Toml(base + f) + "\n";
    if (f == programs.front()) {
      const std::string title = f.substr(0, f.size() - 4);
      m += "start_menu_shortcut = true\ntitle = " + Toml(title) + "\n";
    }
    m += "\n";
  }
  for (const std::string& d : top.folders) {
    m += "[[file]]\nsource = " + Toml(base + d) + "\nfolder = " + Toml(d) + "\n\n";
  }
  m.pop_back();
  return m;
}

}  // namespace ks::authoring
