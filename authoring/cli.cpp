#include "authoring/cli.h"

namespace ks::authoring {
namespace {

// Takes the value of an option given as "--opt VALUE" or "--opt=VALUE".
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               std::string& value, std::string& error) {
  const std::string& a = args[i];
  if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0) {
    value = a.substr(name.size() + 1);
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    error = "option " + name + " needs a value";
    return false;
  }
  if (value.empty()) {
    error = "option " + name + " needs a non-empty value";
    return false;
  }
  return true;
}

bool IsOption(const std::string& a, const char* name) {
  const std::string n(name);
  return a == n || a.compare(0, n.size() + 1, n + "=") == 0;
}

const char* CommandName(Command c) {
  switch (c) {
    case Command::kCheck: return "check";
    case Command::kInit: return "init";
    default: return "a build";
  }
}

}  // namespace

std::string UsageText() {
  return "usage: kestrelon-build MANIFEST -o OUTPUT [--engine PATH] [--quiet] [--no-date]\n"
         "                      [--sign] [--package-manifest DIR]\n"
         "       kestrelon-build check MANIFEST [--engine PATH] [--sign] [--package-manifest DIR]\n"
         "       kestrelon-build init FOLDER [-o MANIFEST]\n"
         "\n"
         "Builds an installer from a TOML manifest (see docs/manifest.md).\n"
         "  -o, --output PATH         the installer to write (init: the manifest, default setup.toml)\n"
         "  --engine PATH             the engine to copy (default: the one configured at build time)\n"
         "  -q, --quiet               no progress bar\n"
         "  --no-date                 write no build date (reproducible without SOURCE_DATE_EPOCH)\n"
         "  --sign                    sign the installer as the manifest's [signing] table says\n"
         "  --package-manifest DIR    write the package managers' manifests for it into DIR\n"
         "  -h, --help                this text\n"
         "  --version                 the engine version the tool writes for\n"
         "check finds every problem a build would meet and writes nothing (exit 0 or 1).\n"
         "init writes a starting manifest for a folder of files.\n"
         "The build date is SOURCE_DATE_EPOCH when that is set, else the current time.\n";
}

CliResult ParseCommandLine(const std::vector<std::string>& args) {
  CliResult r;
  CliOptions o;
  std::size_t first = 0;
  if (!args.empty() && (args[0] == "check" || args[0] == "init")) {
    o.command = args[0] == "check" ? Command::kCheck : Command::kInit;
    first = 1;
  }
  std::string& operand = o.command == Command::kInit ? o.folder : o.manifest;
  const char* operand_name = o.command == Command::kInit ? "folder" : "manifest";
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool ok = true;
    std::string misplaced;
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a == "--no-date") {
      o.no_date = true;
      if (o.command != Command::kBuild) misplaced = a;
    } else if (a == "--sign") {
      o.sign = true;
      if (o.command == Command::kInit) misplaced = a;
    } else if (a == "-o" || IsOption(a, "--output")) {
      ok = TakeValue(args, i, a == "-o" ? "-o" : "--output", o.output, r.error);
      if (o.command == Command::kCheck) misplaced = "-o";
    } else if (IsOption(a, "--engine")) {
      ok = TakeValue(args, i, "--engine", o.engine, r.error);
      if (o.command == Command::kInit) misplaced = "--engine";
    } else if (IsOption(a, "--package-manifest")) {
      ok = TakeValue(args, i, "--package-manifest", o.package_dir, r.error);
      if (o.command == Command::kInit) misplaced = "--package-manifest";
    } else if (a.size() > 1 && a[0] == '-') {
      r.error = "unknown option " + a;
      ok = false;
    } else if (operand.empty()) {
      operand = a;
    } else {
      r.error = std::string("more than one ") + operand_name + ": " + operand + " and " + a;
      ok = false;
    }
    if (ok && !misplaced.empty()) {
      r.error = "option " + misplaced + " does not go with " + CommandName(o.command);
      ok = false;
    }
    if (!ok) return r;
  }
  if (!o.help && !o.version) {
    if (operand.empty()) r.error = std::string("no ") + operand_name + " given";
    else if (o.command == Command::kBuild && o.output.empty()) r.error = "no output given (-o setup.exe)";
    if (!r.error.empty()) return r;
  }
  if (o.command == Command::kInit && o.output.empty()) o.output = "setup.toml";
  r.options = o;
  return r;
}

}  // namespace ks::authoring
