// kestrelon-build: a TOML manifest and the product's files become setup.exe.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "authoring/build.h"
#include "authoring/cli.h"
#include "authoring/output_file.h"
#include "authoring/progress.h"
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

int Run(const CliOptions& o) {
  const std::string engine_path = o.engine.empty() ? DefaultEngine() : o.engine;
  std::string error;
  const auto engine = ReadWholeFile(std::filesystem::u8path(engine_path), error);
  if (!engine) {
    return Failed("kestrelon-build: cannot read the engine \"" + engine_path + "\": " + error +
                  (o.engine.empty() ? " (name one with --engine PATH)\n" : "\n"));
  }

  const BuildDateResult date = ChooseBuildDate(o.no_date, std::getenv("SOURCE_DATE_EPOCH"),
                                               static_cast<std::int64_t>(std::time(nullptr)));
  if (!date.ok) return Failed("kestrelon-build: " + date.error + "\n");

  Diagnostics diags;
  const auto manifest = LoadManifest(std::filesystem::u8path(o.manifest), diags);
  if (!manifest) return Failed(diags.Text());

  ProgressBar bar = ProgressBar::ForStderr(o.quiet, "Compressing");
  const BuildResult built = BuildInstaller(*manifest, *engine, date.date, CompressOptions{},
                                           [&bar](std::uint64_t done, std::uint64_t total) { bar.Update(done, total); });
  if (!built.ok) return Failed(built.diags.Text());
  bar.Finish();

  if (!WriteFileAtomically(std::filesystem::u8path(o.output), built.executable, error)) {
    return Failed("kestrelon-build: " + error + "\n");
  }
  if (!o.quiet) std::fprintf(stderr, "Wrote %s (%zu bytes)\n", o.output.c_str(), built.executable.size());
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
  return Run(*cli.options);
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
