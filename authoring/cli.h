#pragma once
// The command line of kestrelon-build:
//   kestrelon-build MANIFEST -o setup.exe [--engine PATH] [--quiet] [--no-date]

#include <optional>
#include <string>
#include <vector>

namespace ks::authoring {

struct CliOptions {
  std::string manifest;
  std::string output;
  std::string engine;  // empty = the engine configured at build time
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
