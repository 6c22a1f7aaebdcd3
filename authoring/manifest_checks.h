#pragma once
// Checks of a loaded manifest that go beyond each key's own form: values read
// the way the engine will read them at installation time (path variables,
// registry records, the arguments of the texts, versions, files the product
// must contain) and values that must agree with each other. Every build runs
// them after loading the manifest; `kestrelon-build check` runs them, and the
// steps of a build, without writing anything.
//
// The list of checks is kChecks in manifest_checks.cpp: a new manifest key
// that needs more than its reader's checks adds its function there.

#include <optional>
#include <set>
#include <string>

#include "authoring/diagnostic.h"
#include "authoring/manifest.h"
#include "authoring/manifest_release.h"

namespace ks::authoring {

// What the run will do besides building, so that the checks can tell whether
// it is ready for that.
struct CheckOptions {
  bool sign = false;              // --sign
  bool package_manifest = false;  // --package-manifest
  EnvironmentFn environment;      // getenv, or a table in tests
};

// Every finding of every check, added to diags; true when there was none.
bool CheckManifest(const Manifest& manifest, const CheckOptions& options, Diagnostics& diags);

// The files of kind "install" by the name they get below the installation
// folder (lower case, backslashes), and the folders that hold them.
class ProductFiles {
 public:
  explicit ProductFiles(const Manifest& manifest);
  bool HasFile(const std::string& relative) const;
  bool HasFolder(const std::string& relative) const;  // "" is the installation folder itself

 private:
  std::set<std::string> files_, folders_;
};

// For a text that names a file below the installation folder as
// "%InstallDir%\..." (any letter case): the part behind it; else nothing.
std::optional<std::string> BelowInstallDir(const std::string& path);

// A version the engine's comparison reads as the author means it: numbers
// joined by dots, optionally one letter at the end ("1.4.2", "2.0b").
bool IsWellFormedVersion(const std::string& version);

// The shortest path to `program` on PATH, or nothing.
std::optional<std::string> FindOnPath(const std::string& program, const EnvironmentFn& environment);

}  // namespace ks::authoring
