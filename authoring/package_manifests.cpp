#include "authoring/package_manifests.h"

#include <cctype>

namespace ks::authoring {
namespace {

// The version of the Windows package manager's manifest schema written here.
constexpr char kWingetSchema[] = "1.6.0";
constexpr char kLocale[] = "en-US";

bool IsBlank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

// A YAML double-quoted scalar: every author text is quoted, so that no
// value is read as a number, a boolean or a key.
std::string Yaml(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '\r') {
      out += "\\r";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string Xml(const std::string& s) {
  std::string out;
  for (const char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

// A PowerShell single-quoted string: only the quote itself is doubled.
std::string Ps(const std::string& s) {
  std::string out = "'";
  for (const char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

struct Facts {
  std::string id, version, name, publisher, description, product_code, architecture;
};

Facts FactsOf(const Manifest& m) {
  Facts f;
  const PackageInfo& p = m.package;
  f.id = p.identifier;
  f.version = WideToUtf8(m.settings.display_version);
  f.name = WideToUtf8(m.settings.product_name);
  f.publisher = WideToUtf8(m.settings.publisher);
  f.description = !p.short_description.empty()        ? p.short_description
                  : !IsBlank(WideToUtf8(m.settings.description)) ? WideToUtf8(m.settings.description)
                                                         : f.name;
  f.product_code = ProductCodeOf(m);
  f.architecture = ArchitectureOf(m);
  return f;
}

std::string Header(const Facts& f, const char* type) {
  return "# " + std::string(type) + " manifest of " + f.id + " " + f.version + ", written by kestrelon-build\n" +
         "PackageIdentifier: " + Yaml(f.id) + "\nPackageVersion: " + Yaml(f.version) + "\n";
}

std::string Footer(const char* type) {
  return "ManifestType: " + std::string(type) + "\nManifestVersion: " + kWingetSchema + "\n";
}

std::string WingetVersion(const Facts& f) {
  return Header(f, "Version") + "DefaultLocale: " + kLocale + "\n" + Footer("version");
}

std::string WingetLocale(const Manifest& m, const Facts& f) {
  const PackageInfo& p = m.package;
  std::string out = Header(f, "Default locale") + "PackageLocale: " + kLocale + "\n";
  out += "Publisher: " + Yaml(f.publisher) + "\n";
  out += "PackageName: " + Yaml(f.name) + "\n";
  if (!p.homepage.empty()) out += "PackageUrl: " + Yaml(p.homepage) + "\n";
  out += "License: " + Yaml(p.license) + "\n";
  if (!p.license_url.empty()) out += "LicenseUrl: " + Yaml(p.license_url) + "\n";
  out += "ShortDescription: " + Yaml(f.description) + "\n";
  if (!p.tags.empty()) {
    out += "Tags:\n";
    for (const std::string& t : p.tags) out += "- " + Yaml(t) + "\n";
  }
  return out + Footer("defaultLocale");
}

std::string WingetInstaller(const Manifest& m, const Facts& f, const std::string& sha256) {
  // An earlier version that the engine would uninstall first (handing over
  // to its uninstaller with code 10) is better removed by the manager.
  const bool uninstall_first = HasFlag(m.settings.product_flags, product_flag::kUninstallEarlierFirst);
  std::string out = Header(f, "Installer");
  out += "InstallerType: exe\n";
  out += "Scope: machine\n";
  out += "InstallModes:\n- interactive\n- silent\n- silentWithProgress\n";
  out += "InstallerSwitches:\n";
  out += "  Silent: /silent\n";
  out += "  SilentWithProgress: /a\n";
  out += "  InstallLocation: '/d:\"<INSTALLPATH>\"'\n";
  // The engine takes no log switch: its Install.log lies in the product's uninstall folder.
  out += "UnsupportedArguments:\n- log\n";
  out += "ExpectedReturnCodes:\n";
  for (const ExitCodeMeaning& e : InstallerExitCodes()) {
    if (!e.winget_response) continue;
    out += "- InstallerReturnCode: " + std::to_string(e.code) + "\n  ReturnResponse: " + e.winget_response + "\n";
  }
  out += std::string("UpgradeBehavior: ") + (uninstall_first ? "uninstallPrevious" : "install") + "\n";
  out += "ProductCode: " + Yaml(f.product_code) + "\n";
  out += "AppsAndFeaturesEntries:\n";
  out += "- DisplayName: " + Yaml(f.name) + "\n";
  if (!f.publisher.empty()) out += "  Publisher: " + Yaml(f.publisher) + "\n";
  out += "  DisplayVersion: " + Yaml(f.version) + "\n";
  out += "  ProductCode: " + Yaml(f.product_code) + "\n";
  out += "Installers:\n";
  out += "- Architecture: " + f.architecture + "\n";
  out += "  InstallerUrl: " + Yaml(m.package.installer_url) + "\n";
  out += "  InstallerSha256: " + sha256 + "\n";
  return out + Footer("installer");
}

std::string ChocolateyId(const Manifest& m, const Facts& f) {
  if (!m.package.chocolatey_id.empty()) return m.package.chocolatey_id;
  std::string id;
  for (const char c : f.name) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) && u < 0x80) id += static_cast<char>(std::tolower(u));
    else if (!id.empty() && id.back() != '-') id += '-';
  }
  while (!id.empty() && id.back() == '-') id.pop_back();
  return id.empty() ? "product" : id;
}

std::string Nuspec(const Manifest& m, const Facts& f, const std::string& id) {
  const PackageInfo& p = m.package;
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  out += "<!-- Chocolatey package of " + Xml(f.id) + " " + Xml(f.version) + ", written by kestrelon-build -->\n";
  out += "<package xmlns=\"http://schemas.microsoft.com/packaging/2015/06/nuspec.xsd\">\n  <metadata>\n";
  out += "    <id>" + Xml(id) + "</id>\n";
  out += "    <version>" + Xml(f.version) + "</version>\n";
  out += "    <title>" + Xml(f.name) + "</title>\n";
  out += "    <authors>" + Xml(f.publisher) + "</authors>\n";
  if (!p.homepage.empty()) out += "    <projectUrl>" + Xml(p.homepage) + "</projectUrl>\n";
  if (!p.license_url.empty()) out += "    <licenseUrl>" + Xml(p.license_url) + "</licenseUrl>\n";
  out += "    <requireLicenseAcceptance>false</requireLicenseAcceptance>\n";
  if (!p.tags.empty()) {
    std::string tags;
    for (const std::string& t : p.tags) tags += (tags.empty() ? "" : " ") + t;
    out += "    <tags>" + Xml(tags) + "</tags>\n";
  }
  out += "    <summary>" + Xml(f.description) + "</summary>\n";
  out += "    <description>" + Xml(f.description) + " (licence: " + Xml(p.license) + ")</description>\n";
  out += "  </metadata>\n  <files>\n    <file src=\"tools\\**\" target=\"tools\" />\n  </files>\n</package>\n";
  return out;
}

std::string MeaningTable() {
  std::string out = "$meanings = @{\n";
  for (const ExitCodeMeaning& e : InstallerExitCodes()) {
    out += "  (" + std::to_string(e.code) + ") = " + Ps(e.meaning) + "\n";
  }
  return out + "}\n";
}

std::string ChocolateyInstall(const Manifest& m, const std::string& sha256) {
  std::string out = "# Installs the package silently; written by kestrelon-build.\n";
  out += "$ErrorActionPreference = 'Stop'\n";
  out += "$packageArgs = @{\n";
  out += "  packageName    = $env:ChocolateyPackageName\n";
  out += "  fileType       = 'exe'\n";
  out += "  url            = " + Ps(m.package.installer_url) + "\n";
  out += "  checksum       = '" + sha256 + "'\n";
  out += "  checksumType   = 'sha256'\n";
  out += "  silentArgs     = '/silent'\n";
  out += "  validExitCodes = @(0)\n";
  out += "}\n";
  out += "# What the installer's other exit codes mean.\n" + MeaningTable();
  out += "try {\n  Install-ChocolateyPackage @packageArgs\n} catch {\n";
  out += "  $code = [int]$env:ChocolateyExitCode\n";
  out += "  if ($meanings.ContainsKey($code)) { Write-Warning \"The installer ended with code ${code}: $($meanings[$code])\" }\n";
  out += "  throw\n}\n";
  return out;
}

std::string ChocolateyUninstall(const Facts& f) {
  // The engine is a 32-bit program: on 64-bit Windows its registration lies
  // in the 32-bit view of the Uninstall key.
  std::string out = "# Uninstalls the package silently; written by kestrelon-build.\n";
  out += "$ErrorActionPreference = 'Stop'\n";
  out += "$key = " + Ps(f.product_code) + "\n";
  out += "$entry = @(\n";
  out += "  \"HKLM:\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$key\",\n";
  out += "  \"HKLM:\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$key\"\n";
  out += ") | Where-Object { Test-Path -LiteralPath $_ } | Select-Object -First 1\n";
  out += "if (-not $entry) {\n  Write-Warning \"$key is not registered as installed; nothing to uninstall.\"\n  return\n}\n";
  out += "$command = (Get-ItemProperty -LiteralPath $entry).UninstallString\n";
  out += "$program = if ($command.StartsWith('\"')) { $command.Split('\"')[1] } else { $command.Split(' ')[0] }\n";
  out += "Uninstall-ChocolateyPackage -PackageName $env:ChocolateyPackageName -FileType 'exe' `\n";
  out += "  -SilentArgs \"/silent /u:`\"$key`\"\" -File $program -ValidExitCodes @(0)\n";
  return out;
}

}  // namespace

const std::vector<ExitCodeMeaning>& InstallerExitCodes() {
  static const std::vector<ExitCodeMeaning> codes = {
      {2, "the installer file is corrupt", "contactSupport"},
      {5, "this Windows is excluded, or the product's bitness does not fit it", "systemNotSupported"},
      {7, "the product needs another product that is missing or too old, or its folder could not be read "
          "from the registry", "missingDependency"},
      {8, "another installation is running", "installInProgress"},
      {9, "the earlier version cannot be uninstalled first: its uninstall command is missing", "contactSupport"},
      // The installation goes on in other processes: the earlier version's
      // uninstaller starts this installer again when it is done.
      {10, "the earlier version's uninstaller was started first; it starts the installation again when it "
           "has finished", nullptr},
      {11, "a newer version is installed, and this one may not replace it", "downgrade"},
      {12, "the installation was cancelled", "cancelledByUser"},
      {15, "the command line was wrong", "invalidParameter"},
      {-1, "the installer cannot read itself or carries no installation data", "contactSupport"},
  };
  return codes;
}

std::string ProductCodeOf(const Manifest& m) {
  const std::string key = WideToUtf8(m.settings.uninstall_key_name);
  return IsBlank(key) ? WideToUtf8(m.settings.product_name) : key;
}

std::string ArchitectureOf(const Manifest& m) { return m.settings.bitness == 1 ? "x64" : "x86"; }

std::vector<PackageFile> PackageManifests(const Manifest& m, const std::string& sha256) {
  const Facts f = FactsOf(m);
  const std::string winget = "winget/" + f.id;
  const std::string choco_id = ChocolateyId(m, f);
  return {
      {winget + ".yaml", WingetVersion(f)},
      {winget + ".locale." + kLocale + ".yaml", WingetLocale(m, f)},
      {winget + ".installer.yaml", WingetInstaller(m, f, sha256)},
      {"chocolatey/" + choco_id + ".nuspec", Nuspec(m, f, choco_id)},
      {"chocolatey/tools/chocolateyinstall.ps1", ChocolateyInstall(m, sha256)},
      {"chocolatey/tools/chocolateyuninstall.ps1", ChocolateyUninstall(f)},
  };
}

}  // namespace ks::authoring
