#pragma once
// What the manifest says about shipping the built installer: how to sign it
// ([signing]) and how package managers describe it ([package]). Neither goes
// into the archive; they steer what the tool does with the finished file.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "authoring/diagnostic.h"
#include "authoring/toml_reader.h"

namespace ks::authoring {

struct SigningConfig {
  bool present = false;  // the manifest has a [signing] table
  // Either a PKCS#12 file, or a certificate (PEM or DER, the chain may
  // follow) and its private key. Paths are resolved against the manifest.
  std::filesystem::path pkcs12, certificate, key;
  // Where the password comes from: never the manifest, never the command line.
  std::string password_env;             // name of an environment variable
  std::filesystem::path password_file;  // its first line
  std::string timestamp_url;            // RFC 3161 time-stamp server; empty = no time stamp
  std::string description;              // shown by the system's trust prompt
  std::string url;                      // the publisher's address in the signature
  Diagnostic where;                     // the table's position, for later findings
};

struct PackageInfo {
  bool present = false;                  // the manifest has a [package] table
  std::string identifier;                // "Publisher.Product"
  std::string chocolatey_id;             // lower case; derived from the product name when empty
  std::string installer_url;             // where the published installer is downloaded from
  std::string license;                   // "MIT", "Proprietary", ...
  std::string license_url, homepage, short_description;
  std::vector<std::string> tags;
  Diagnostic where;
};

void ReadSigningTable(TomlReader& t, SigningConfig& out);
void ReadPackageTable(TomlReader& t, PackageInfo& out);

// The text of a password source. False with `error` when the variable is
// unset or the file cannot be read. No source: an empty password.
using EnvironmentFn = std::function<const char*(const char*)>;
bool ReadPassword(const SigningConfig& signing, const EnvironmentFn& environment, std::string* password,
                  std::string* error);

}  // namespace ks::authoring
