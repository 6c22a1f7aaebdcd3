#pragma once
// The command line of kestrelon-build:
//   kestrelon-build MANIFEST -o setup.exe [--engine PATH] [--quiet] [--no-date]
//                  [--sign] [--package-manifest DIR]
//   kestrelon-build check MANIFEST [--engine PATH] [--sign] [--package-manifest DIR]
//   kestrelon-build init FOLDER [-o MANIFEST]

#include <optional>
#include <string>
#include <vector>

namespace ks::authoring {

enum class Command { kBuild, kCheck, kInit };

struct CliOptions {
  Command command = Command::kBuild;
  std::string manifest;  // build, check
  std::string folder;    // init
  std::string output;    // build: the installer; init: the manifest to write
  std::string engine;    // empty = the engine configured at build time
  std::string package_dir;  // --package-manifest: where the package managers' files go
  bool sign = false;
  bool quiet = false;
  bool no_date = false;
  bool help = false;
  bool version = false;
};

struct CliResult {
  std::optional<CliOptions> options;  // set on success
  std::string error;                  // what was wrong, for the usage message
};

CliResult ParseCommandLine(const std::vector<std::string>& args);  // args without the program name

std::string UsageText();

}  // namespace ks::authoring
