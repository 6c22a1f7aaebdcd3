// kestrelon-build: a TOML manifest and the product's files become setup.exe.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "authoring/build.h"
#include "authoring/check_command.h"
#include "authoring/cli.h"
#include "authoring/init_manifest.h"
#include "authoring/manifest_checks.h"
#include "authoring/output_file.h"
#include "authoring/package_manifests.h"
#include "authoring/progress.h"
#include "authoring/sha256.h"
#include "authoring/signing.h"
#include "authoring/toml_reader.h"
#include "lib/text.h"
#include "lib/version.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef KS_DEFAULT_ENGINE
#define KS_DEFAULT_ENGINE ""
#endif

namespace {

using namespace ks::authoring;
using ks::Bytes;

int Usage(const std::string& error) {
  std::fprintf(stderr, "kestrelon-build: %s\n\n%s", error.c_str(), UsageText().c_str());
  return 2;
}

int Failed(const std::string& text) {
  std::fprintf(stderr, "%s", text.c_str());
  return 1;
}

// A relative default engine lies beside the tool, where the Windows build puts both.
std::string DefaultEngine() {
  const std::filesystem::path engine = std::filesystem::u8path(KS_DEFAULT_ENGINE);
#ifdef _WIN32
  if (engine.is_relative()) {
    std::wstring self(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n > 0 && n < self.size()) {
      self.resize(n);
      return (std::filesystem::path(self).parent_path() / engine).u8string();
    }
  }
#endif
  return engine.u8string();
}

const char* Environment(const char* name) { return std::getenv(name); }

std::optional<Bytes> ReadEngine(const CliOptions& o, std::string* message) {
  const std::string engine_path = o.engine.empty() ? DefaultEngine() : o.engine;
  std::string error;
  auto engine = ReadWholeFile(std::filesystem::u8path(engine_path), error);
  if (!engine) {
    *message = "cannot read the engine \"" + engine_path + "\": " + error +
               (o.engine.empty() ? " (name one with --engine PATH)" : "");
  }
  return engine;
}

// The signature's signing time: SOURCE_DATE_EPOCH, so that a signed build
// is as reproducible as an unsigned one; else the signing tool's clock.
std::optional<std::int64_t> SigningTime() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  return epoch ? ParseSourceDateEpoch(epoch) : std::nullopt;
}

// Writes the installer unsigned beside the output, signs it into the
// output's temporary name and renames that, so that a failed signing leaves
// no installer behind. Returns the signed bytes.
std::optional<Bytes> WriteSigned(const CliOptions& o, const Manifest& manifest, const Bytes& executable,
                                 std::string* error) {
  std::string password;
  if (!ReadPassword(manifest.signing, Environment, &password, error)) return std::nullopt;
  const std::filesystem::path output = std::filesystem::u8path(o.output);
  std::filesystem::path unsigned_path = output;
  unsigned_path += ".unsigned";
  const std::filesystem::path signed_path = TemporaryPathFor(output);
  std::error_code ignored;
  if (!WriteFileAtomically(unsigned_path, executable, *error)) return std::nullopt;
  std::filesystem::remove(signed_path, ignored);
  const bool ok = SignFile(manifest.signing, SigningTime(), password, unsigned_path.u8string(),
                           signed_path.u8string(), error);
  std::filesystem::remove(unsigned_path, ignored);
  if (!ok) {
    std::filesystem::remove(signed_path, ignored);
    return std::nullopt;
  }
  auto signed_bytes = ReadWholeFile(signed_path, *error);
  std::error_code ec;
  if (signed_bytes) std::filesystem::rename(signed_path, output, ec);
  if (!signed_bytes || ec) {
    if (ec) *error = "cannot rename \"" + signed_path.u8string() + "\" to \"" + o.output + "\": " + ec.message();
    std::filesystem::remove(signed_path, ignored);
    return std::nullopt;
  }
  return signed_bytes;
}

bool WritePackageManifests(const CliOptions& o, const Manifest& manifest, const Bytes& installer, std::string* error) {
  const std::string sha256 = Sha256Hex(installer.data(), installer.size());
  for (const PackageFile& f : PackageManifests(manifest, sha256)) {
    const std::filesystem::path path = std::filesystem::u8path(o.package_dir) / std::filesystem::u8path(f.path);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) {
      *error = "cannot create \"" + path.parent_path().u8string() + "\": " + ec.message();
      return false;
    }
    if (!WriteFileAtomically(path, Bytes(f.text.begin(), f.text.end()), *error)) return false;
  }
  return true;
}

int Run(const CliOptions& o) {
  std::string error;
  const auto engine = ReadEngine(o, &error);
  if (!engine) return Failed("kestrelon-build: " + error + "\n");

  const BuildDateResult date = ChooseBuildDate(o.no_date, std::getenv("SOURCE_DATE_EPOCH"),
                                               static_cast<std::int64_t>(std::time(nullptr)));
  if (!date.ok) return Failed("kestrelon-build: " + date.error + "\n");

  Diagnostics diags;
  const auto manifest = LoadManifest(std::filesystem::u8path(o.manifest), diags);
  if (!manifest) return Failed(diags.Text());
  const CheckOptions checks{o.sign, !o.package_dir.empty(), Environment};
  if (!CheckManifest(*manifest, checks, diags)) return Failed(diags.Text());

  ProgressBar bar = ProgressBar::ForStderr(o.quiet, "Compressing");
  const BuildResult built = BuildInstaller(*manifest, *engine, date.date, CompressOptions{},
                                           [&bar](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
  if (!built.ok) return Failed(built.diags.Text());
  bar.Finish();

  std::optional<Bytes> written;
  if (o.sign) {
    written = WriteSigned(o, *manifest, built.executable, &error);
  } else if (WriteFileAtomically(std::filesystem::u8path(o.output), built.executable, error)) {
    written = built.executable;
  }
  if (!written) return Failed("kestrelon-build: " + error + "\n");
  if (!o.quiet) {
    std::fprintf(stderr, "Wrote %s (%zu bytes%s)\n", o.output.c_str(), written->size(), o.sign ? ", signed" : "");
  }
  if (!o.package_dir.empty()) {
    if (!WritePackageManifests(o, *manifest, *written, &error)) return Failed("kestrelon-build: " + error + "\n");
    if (!o.quiet) std::fprintf(stderr, "Wrote the package manifests into %s\n", o.package_dir.c_str());
  }
  return 0;
}

// Findings go to standard output: they are what the command was asked for.
int RunCheck(const CliOptions& o) {
  Diagnostics diags;
  std::string error;
  const auto engine = ReadEngine(o, &error);
  if (!engine) diags.Add({"", 0, 0, "", error});
  const CheckOptions checks{o.sign, !o.package_dir.empty(), Environment};
  CheckBuild(std::filesystem::u8path(o.manifest), engine, checks, diags);
  if (diags.empty()) {
    if (!o.quiet) std::fprintf(stderr, "%s: no problems found\n", o.manifest.c_str());
    return 0;
  }
  std::printf("%s", diags.Text().c_str());
  return 1;
}

int RunInit(const CliOptions& o) {
  const std::filesystem::path manifest = std::filesystem::u8path(o.output);
  std::error_code ec;
  if (std::filesystem::exists(manifest, ec)) {
    return Failed("kestrelon-build: \"" + o.output + "\" exists already; name another with -o\n");
  }
  std::string error;
  const auto text = StartingManifest(std::filesystem::u8path(o.folder), manifest, &error);
  if (!text) return Failed("kestrelon-build: " + error + "\n");
  if (!WriteFileAtomically(manifest, Bytes(text->begin(), text->end()), error)) {
    return Failed("kestrelon-build: " + error + "\n");
  }
  if (!o.quiet) std::fprintf(stderr, "Wrote %s\n", o.output.c_str());
  return 0;
}

int Main(const std::vector<std::string>& args) {
  const CliResult cli = ParseCommandLine(args);
  if (!cli.options) return Usage(cli.error);
  if (cli.options->help) {
    std::printf("%s", UsageText().c_str());
    return 0;
  }
  if (cli.options->version) {
    std::printf("kestrelon-build for engine %s\n", ks::kEngineVersion);
    return 0;
  }
  switch (cli.options->command) {
    case Command::kCheck: return RunCheck(*cli.options);
    case Command::kInit: return RunInit(*cli.options);
    default: return Run(*cli.options);
  }
}

}  // namespace

#ifdef _WIN32
// Windows hands narrow programs their arguments in the ANSI code page, which
// cannot hold every file name; take them as UTF-16 and work in UTF-8.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(ks::WideToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
  }
  return Main(args);
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
