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

}  // namespace

std::string UsageText() {
  return "usage: kestrelon-build MANIFEST -o OUTPUT [--engine PATH] [--quiet] [--no-date]\n"
         "\n"
         "Builds an installer from a TOML manifest (see docs/manifest.md).\n"
         "  -o, --output PATH  the installer to write\n"
         "  --engine PATH      the engine to copy (default: the one configured at build time)\n"
         "  -q, --quiet        no progress bar\n"
         "  --no-date          write no build date (reproducible without SOURCE_DATE_EPOCH)\n"
         "  -h, --help         this text\n"
         "  --version          the engine version the tool writes for\n"
         "The build date is SOURCE_DATE_EPOCH when that is set, else the current time.\n";
}

CliResult ParseCommandLine(const std::vector<std::string>& args) {
  CliResult r;
  CliOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool ok = true;
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a == "--no-date") {
      o.no_date = true;
    } else if (a == "-o" || IsOption(a, "--output")) {
      ok = TakeValue(args, i, a == "-o" ? "-o" : "--output", o.output, r.error);
    } else if (IsOption(a, "--engine")) {
      ok = TakeValue(args, i, "--engine", o.engine, r.error);
    } else if (a.size() > 1 && a[0] == '-') {
      r.error = "unknown option " + a;
      ok = false;
    } else if (o.manifest.empty()) {
      o.manifest = a;
    } else {
      r.error = "more than one manifest: " + o.manifest + " and " + a;
      ok = false;
    }
    if (!ok) return r;
  }
  if (!o.help && !o.version) {
    if (o.manifest.empty()) r.error = "no manifest given";
    else if (o.output.empty()) r.error = "no output given (-o setup.exe)";
    if (!r.error.empty()) return r;
  }
  r.options = o;
  return r;
}

}  // namespace ks::authoring
