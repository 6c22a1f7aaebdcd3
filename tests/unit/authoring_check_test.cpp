// `kestrelon-build check` and `init`: each broken manifest gives one precise
// finding (file, line, key, what is wrong); a sound one, the example and a
// fresh `init` manifest give none.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "authoring/check_command.h"
#include "authoring/init_manifest.h"
#include "authoring/manifest_checks.h"
#include "scratch_dir.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

using test::ScratchDir;

// A product with a program, a document and a language file; each case adds
// one mistake to it.
const char kSound[] =
    "[product]\n"                                       // 1
    "name = \"Demo\"\n"                                 // 2
    "version = \"2.1.0\"\n"                             // 3
    "publisher = \"Maker\"\n"                           // 4
    "app_path = \"bin\\\\demo.exe\"\n"                  // 5
    "install_path = \"%ProgramsDir%\\\\Demo\"\n"        // 6
    "registry_entries = \"\\\\HKLM\\\\Software\\\\Demo,Path,1,%InstallDir%,3\"\n"  // 7
    "[wizard]\n"                                        // 8
    "launch_on_exit = \"\\\"%InstallDir%\\\\bin\\\\demo.exe\\\" /first\"\n"  // 9
    "finish_open = \"%InstallDir%\\\\docs\"\n"          // 10
    "[texts]\n"                                         // 11
    "13 = \"Defekt (%d).\"\n"                           // 12
    "[languages]\n"                                     // 13
    "files = [\"de.toml\"]\n"                           // 14
    "[[file]]\n"                                        // 15
    "source = \"payload\"\n";                           // 16

const std::map<std::string, std::string> kFiles = {
    {"payload/bin/demo.exe", "MZ"},
    {"payload/docs/read.txt", "read me"},
    {"de.toml", "name = \"Deutsch\"\n[texts]\n19 = \"%d KB n\xc3\xb6tig, %d KB frei\"\n"},
};

// Replaces the line that starts with `key =` (or appends `text` when no line does).
std::string With(const std::string& key, const std::string& text) {
  std::string m = kSound;
  const std::size_t at = m.find("\n" + key + " = ");
  if (at == std::string::npos) return m + text;
  const std::size_t end = m.find('\n', at + 1);
  return m.substr(0, at + 1) + text + m.substr(end);
}

struct Checked {
  Diagnostics diags;
  std::string file;
};

Checked Check(const std::string& manifest, std::map<std::string, std::string> files = kFiles,
              CheckOptions options = {}) {
  ScratchDir dir;
  for (const auto& [name, content] : files) dir.Write(name, content);
  Checked r;
  const fs::path p = dir.Write("setup.toml", manifest);
  r.file = p.string();
  if (!options.environment) options.environment = [](const char*) -> const char* { return nullptr; };
  CheckBuild(p, std::nullopt, options, r.diags);
  return r;
}

TEST(AuthoringCheckTest, SoundManifestHasNoFinding) {
  const Checked r = Check(kSound);
  EXPECT_TRUE(r.diags.empty()) << r.diags.Text();
}

struct BrokenCase {
  const char* name;
  std::string manifest;
  std::string expected;  // the finding without "<file>:"
  std::map<std::string, std::string> files = kFiles;
  const char* file = "setup.toml";  // the file the finding names
};

TEST(AuthoringCheckTest, EachMistakeGivesOnePreciseFinding) {
  std::map<std::string, std::string> wrong_german = kFiles;
  wrong_german["de.toml"] = "name = \"Deutsch\"\n[texts]\n19 = \"%s fehlt\"\n";
  const BrokenCase cases[] = {
      {"unknown path variable", With("install_path", "install_path = \"%ProgramDir%\\\\Demo\""),
       "6:16: product.install_path: unknown path variable %ProgramDir%: neither a path variable of the installer "
       "nor an environment variable every Windows has"},
      {"exact-case variable", With("finish_open", "finish_open = \"%oldversionmajor%\""),
       "10:15: wizard.finish_open: %oldversionmajor% is replaced only when written exactly %OldVersionMajor%"},
      {"variable in a deletion", std::string(kSound) + "[[deletion]]\npath = \"%InstalDir%\\\\old.txt\"\n",
       "18:8: deletion[0].path: unknown path variable %InstalDir%: neither a path variable of the installer nor "
       "an environment variable every Windows has"},
      {"registry record field count",
       With("registry_entries", "registry_entries = \"\\\\HKLM\\\\Software\\\\Demo,Path,1\""),
       "7:20: product.registry_entries: record 1 (\"\\HKLM\\Software\\Demo,Path,1\"): expected a key path alone, or "
       "key,name,type,data,code; found 3 fields"},
      {"registry record root", With("registry_entries", "registry_entries = \"\\\\HKXX\\\\Software\\\\Demo\""),
       "7:20: product.registry_entries: record 1 (\"\\HKXX\\Software\\Demo\"): the key \"\\HKXX\\Software\\Demo\" "
       "starts with no root such as \\HKLM\\, \\HKCU\\ or \\HKAU\\"},
      {"registry record type",
       With("registry_entries", "registry_entries = \"\\\\HKLM\\\\Software\\\\Demo,Size,5,1,1\""),
       "7:20: product.registry_entries: record 1 (\"\\HKLM\\Software\\Demo,Size,5,1,1\"): the type must be 1, 2, "
       "3, 4 or 11, found \"5\""},
      {"registry hexadecimal data",
       With("registry_entries", "registry_entries = \"\\\\HKLM\\\\Software\\\\Demo,Blob,3,0A0,1\""),
       "7:20: product.registry_entries: record 1 (\"\\HKLM\\Software\\Demo,Blob,3,0A0,1\"): type 3 takes "
       "hexadecimal digits, two for each byte; found \"0A0\""},
      {"registry record variable",
       With("registry_entries", "registry_entries = \"\\\\HKLM\\\\Software\\\\Demo,Path,1,%InstallPath%,1\""),
       "7:20: product.registry_entries: record 1 (\"\\HKLM\\Software\\Demo,Path,1,%InstallPath%,1\"): unknown "
       "path variable %InstallPath%: neither a path variable of the installer nor an environment variable every "
       "Windows has"},
      {"text without its argument", With("13", "13 = \"Defekt.\""),
       "12:1: texts.13: text 13 is filled with a number (%d) in this order, found none"},
      {"argument in a plain text", std::string(kSound).replace(std::string(kSound).find("[languages]"), 0,
                                                              "1 = \"Welcome to %s\"\n"),
       "13:1: texts.1: text 1 is shown as it stands and takes no arguments, found a text (%s), which would show "
       "as written"},
      {"translation with other arguments", kSound,
       "3:1: texts.19: text 19 is filled with a number (%d), a number (%d) in this order, found a text (%s)",
       wrong_german, "de.toml"},
      {"malformed version", With("version", "version = \"2.1 beta\""),
       "3:11: product.version: expected a version such as \"1.4.2\": numbers joined by dots, at most one letter "
       "at the end; found \"2.1 beta\""},
      {"malformed limit", std::string(kSound) + "[versions]\nno_downgrade_below = \"v2\"\n",
       "18:22: versions.no_downgrade_below: expected a version such as \"1.4.2\": numbers joined by dots, at most "
       "one letter at the end; found \"v2\""},
      {"app path outside the product", With("app_path", "app_path = \"bin\\\\other.exe\""),
       "5:12: product.app_path: \"bin\\other.exe\" names no file of the product: no [[file]] entry of kind "
       "\"install\" places \"bin\\other.exe\" in the installation folder"},
      {"launch target outside the product",
       With("launch_on_exit", "launch_on_exit = \"%InstallDir%\\\\demo.exe\""),
       "9:18: wizard.launch_on_exit: \"%InstallDir%\\demo.exe\" names no file of the product: no [[file]] entry "
       "of kind \"install\" places \"demo.exe\" in the installation folder"},
      {"glob matching nothing", std::string(kSound) + "[[file]]\nsource = \"payload/*.dll\"\n",
       "18:10: file[1].source: no file matches \"payload/*.dll\""},
      {"missing file", std::string(kSound) + "[[file]]\nsource = \"LICENSE.txt\"\n",
       "18:10: file[1].source: no file matches \"LICENSE.txt\""},
      {"signed with a checksum",
       std::string(kSound) + "[archive]\nintegrity_check = \"checksum\"\n[signing]\npkcs12 = \"de.toml\"\n",
       "18:19: archive.integrity_check: a signed installer cannot check itself with \"checksum\": signing changes "
       "the headers the checksum covers, so every run would report the installer corrupt; use \"signature\""},
      {"password in the manifest", std::string(kSound) + "[signing]\npkcs12 = \"de.toml\"\npassword = \"secret\"\n",
       "19:12: signing.password: a password never goes into the manifest: name an environment variable "
       "(password_env) or a file (password_file) that holds it"},
      {"signing key without certificate", std::string(kSound) + "[signing]\nkey = \"de.toml\"\n",
       "17:1: signing: expected \"pkcs12\" (a PKCS#12 file) or both \"certificate\" and \"key\""},
      {"package identifier", std::string(kSound) +
                                 "[package]\nidentifier = \"Demo\"\ninstaller_url = \"https://x.invalid/s.exe\"\n"
                                 "license = \"MIT\"\n",
       "18:14: package.identifier: expected \"Publisher.Product\": 2 to 8 parts of 1 to 32 characters joined by "
       "dots, without blanks or \\ / : * ? \" < > |; found \"Demo\""},
  };
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Checked r = Check(c.manifest, c.files);
    ASSERT_EQ(r.diags.size(), 1u) << r.diags.Text();
    const std::string got = FormatDiagnostic(r.diags.front());
    const std::string file = (fs::path(r.file).parent_path() / c.file).string();
    ASSERT_EQ(got.substr(0, file.size() + 1), file + ":") << got;
    EXPECT_EQ(got.substr(file.size() + 1), c.expected);
  }
}

TEST(AuthoringCheckTest, ReadinessForSigningAndPublishing) {
  ScratchDir tools;
  tools.Write("osslsigncode", "");
  static std::string path;
  path = tools.path().string();
  const std::string signing = std::string(kSound) + "[signing]\npkcs12 = \"de.toml\"\npassword_env = \"DEMO_PASS\"\n";
  const std::string package = std::string(kSound) +
                              "[package]\nidentifier = \"Maker.Demo\"\ninstaller_url = \"https://x.invalid/s.exe\"\n"
                              "license = \"MIT\"\n";
  const auto no_path = [](const char* name) -> const char* { return std::string(name) == "DEMO_PASS" ? "pw" : nullptr; };
  const auto no_password = [](const char* name) -> const char* {
    return std::string(name) == "PATH" ? path.c_str() : nullptr;
  };
  const struct {
    const char* name;
    std::string manifest;
    CheckOptions options;
    std::string expected;  // "" = no finding
  } cases[] = {
      {"--sign without a table", kSound, {true, false, no_path},
       " signing: --sign needs a [signing] table: the certificate and key (or a PKCS#12 file) and where the "
       "password comes from"},
      {"password variable unset", signing, {true, false, no_password},
       "19:16: signing.password_env: the environment variable DEMO_PASS that holds the signing password is not set"},
      {"signing tool missing", signing, {true, false, no_path},
       "17:1: signing: signing needs the program osslsigncode on the PATH (Debian: apt-get install osslsigncode)"},
      {"the table alone asks for nothing", signing, {false, false, nullptr}, ""},
      {"--package-manifest without a table", kSound, {false, true, nullptr},
       " package: --package-manifest needs a [package] table: the identifier, the installer's address and the "
       "licence"},
      {"version a package manager refuses", With("version", "version = \"2.1b\"") +
                                                "[package]\nidentifier = \"Maker.Demo\"\n"
                                                "installer_url = \"https://x.invalid/s.exe\"\nlicense = \"MIT\"\n",
       {false, true, nullptr},
       "3:11: product.version: package managers need a version of 1 to 4 numbers joined by dots, found \"2.1b\""},
      {"ready to publish", package, {false, true, nullptr}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Checked r = Check(c.manifest, kFiles, c.options);
    if (c.expected.empty()) {
      EXPECT_TRUE(r.diags.empty()) << r.diags.Text();
      continue;
    }
    ASSERT_EQ(r.diags.size(), 1u) << r.diags.Text();
    EXPECT_EQ(FormatDiagnostic(r.diags.front()), r.file + ":" + c.expected);
  }
}

TEST(AuthoringCheckTest, FindingsOfDifferentKeysAreAllReported) {
  const std::string m = With("version", "version = \"x\"") + "[[deletion]]\npath = \"%Nope%\"\n";
  const Checked r = Check(m);
  ASSERT_EQ(r.diags.size(), 2u) << r.diags.Text();
  EXPECT_EQ(r.diags.list()[0].key, "product.version");
  EXPECT_EQ(r.diags.list()[1].key, "deletion[0].path");
}

TEST(AuthoringCheckTest, ExampleProductHasNoFinding) {
  Diagnostics diags;
  CheckOptions options;
  options.environment = [](const char*) -> const char* { return nullptr; };
  EXPECT_TRUE(CheckBuild(fs::path(KS_SOURCE_DIR) / "examples" / "ptarmigan-notes" / "setup.toml", std::nullopt,
                         options, diags))
      << diags.Text();
}

TEST(AuthoringInitTest, StartingManifestPassesCheck) {
  const struct {
    const char* name;
    std::map<std::string, std::string> files;
    bool shortcut;
  } cases[] = {
      {"one program", {{"dist/app.exe", "MZ"}, {"dist/readme.txt", "r"}, {"dist/lib/x.dll", "d"}}, true},
      {"two programs", {{"dist/a.exe", "MZ"}, {"dist/b.exe", "MZ"}}, false},
      {"no program", {{"dist/data \"quoted\".txt", "d"}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    for (const auto& [name, content] : c.files) dir.Write(name, content);
    std::string error;
    const auto text = StartingManifest(dir.path() / "dist", dir.path() / "setup.toml", &error);
    ASSERT_TRUE(text) << error;
    const fs::path manifest = dir.Write("setup.toml", *text);
    Diagnostics diags;
    CheckOptions options;
    options.environment = [](const char*) -> const char* { return nullptr; };
    EXPECT_TRUE(CheckBuild(manifest, std::nullopt, options, diags)) << diags.Text() << *text;
    const auto loaded = LoadManifest(manifest, diags);
    ASSERT_TRUE(loaded);
    std::size_t shortcuts = 0;
    for (const ManifestFile& f : loaded->files) shortcuts += (f.record.flags & kRecordStartMenuShortcut) ? 1 : 0;
    EXPECT_EQ(shortcuts, c.shortcut ? 1u : 0u);
    EXPECT_EQ(loaded->files.size(), c.files.size());
    EXPECT_EQ(WideToUtf8(loaded->settings.product_name), "dist");
  }
}

TEST(AuthoringInitTest, RefusesWhatItCannotDescribe) {
  ScratchDir dir;
  dir.Write("dist/app.exe", "MZ");
  std::string error;
  EXPECT_FALSE(StartingManifest(dir.path() / "missing", dir.path() / "setup.toml", &error));
  EXPECT_NE(error.find("is not a folder"), std::string::npos) << error;
  EXPECT_FALSE(StartingManifest(dir.path() / "dist", dir.path() / "dist" / "setup.toml", &error));
  EXPECT_NE(error.find("would become one of the product's files"), std::string::npos) << error;
}

}  // namespace
}  // namespace ks::authoring
