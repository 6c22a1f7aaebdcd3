#pragma once
// The descriptions that the two package managers most Windows administrators
// use need to install the built file: the Windows package manager's
// multi-file manifest (version, default locale, installer) and a Chocolatey
// package (nuspec and install and uninstall scripts). Both carry the silent
// switch, the SHA-256 of the built file and what the engine's exit codes mean.

#include <string>
#include <vector>

#include "authoring/manifest.h"

namespace ks::authoring {

// One exit code of the engine as the package managers should read it.
struct ExitCodeMeaning {
  int code;
  const char* meaning;          // for people: messages and the documentation
  const char* winget_response;  // the manager's expected-return-code response, or nullptr
};
// Every code the installer ends with besides 0, from the engine's exit-code table.
const std::vector<ExitCodeMeaning>& InstallerExitCodes();

// What the installer is, as both managers need it.
std::string ProductCodeOf(const Manifest& manifest);  // the Uninstall key name
std::string ArchitectureOf(const Manifest& manifest); // "x86" or "x64"

struct PackageFile {
  std::string path;  // relative to the output folder, with "/"
  std::string text;  // UTF-8, LF line ends
};

// The files for the installer whose bytes hash to `sha256` (upper-case hex).
std::vector<PackageFile> PackageManifests(const Manifest& manifest, const std::string& sha256);

}  // namespace ks::authoring
