// Shipping the built installer: the SHA-256 the package managers compare,
// the signing tool's command line (no password on it), the password
// sources, and the package managers' files.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <unistd.h>

#include "authoring/manifest.h"
#include "authoring/package_manifests.h"
#include "authoring/sha256.h"
#include "authoring/signing.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

std::string Hex(const std::string& text) {
  return Sha256Hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(AuthoringSha256Test, KnownDigests) {
  // FIPS 180-4 examples, and lengths around the padding's block boundary.
  EXPECT_EQ(Hex(""), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
  EXPECT_EQ(Hex("abc"), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
  EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1");
  EXPECT_EQ(Hex(std::string(1000000, 'a')), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0");
  EXPECT_EQ(Hex(std::string(55, 'a')), "9F4390F8D30C2DD92EC9F095B65E2B9AE9B0A925A5258E241C9F1E910F734318");
  EXPECT_EQ(Hex(std::string(56, 'a')), "B35439A4AC6F0948B6D6F9E3C6AF0F5F590CE20F1BDE7090EF7970686EC6738A");
  EXPECT_EQ(Hex(std::string(64, 'a')), "FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB");
  EXPECT_EQ(Hex(std::string(119, 'a')), "31EBA51C313A5C08226ADF18D4A359CFDFD8D2E816B13F4AF952F7EA6584DCFB");
}

SigningConfig Pkcs12Config() {
  SigningConfig s;
  s.present = true;
  s.pkcs12 = "/keys/release.p12";
  s.description = "Demo Setup";
  s.url = "https://maker.invalid";
  return s;
}

TEST(AuthoringSigningTest, CommandNamesEverythingButThePassword) {
  SigningConfig pair;
  pair.present = true;
  pair.certificate = "/keys/cert.pem";
  pair.key = "/keys/key.pem";
  pair.timestamp_url = "http://stamp.invalid";
  const struct {
    const char* name;
    SigningConfig config;
    std::optional<std::int64_t> time;
    bool password;
    std::vector<std::string> want;
  } cases[] = {
      {"PKCS#12 with a password and a fixed time", Pkcs12Config(), 1700000000, true,
       {"osslsigncode", "sign", "-pkcs12", "/keys/release.p12", "-readpass", "/dev/stdin", "-h", "sha256", "-n",
        "Demo Setup", "-i", "https://maker.invalid", "-time", "1700000000", "-in", "a.exe", "-out", "b.exe"}},
      {"certificate and key, time-stamped, no password", pair, std::nullopt, false,
       {"osslsigncode", "sign", "-certs", "/keys/cert.pem", "-key", "/keys/key.pem", "-h", "sha256", "-ts",
        "http://stamp.invalid", "-in", "a.exe", "-out", "b.exe"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SigningCommand(c.config, c.time, c.password, "a.exe", "b.exe"), c.want);
  }
}

TEST(AuthoringSigningTest, PasswordComesFromTheNamedSource) {
  const fs::path file = fs::temp_directory_path() / ("ks-pass-" + std::to_string(getpid()));
  std::ofstream(file, std::ios::binary) << "from file\r\nsecond line\n";
  SigningConfig env = Pkcs12Config(), in_file = Pkcs12Config(), none = Pkcs12Config(), missing = Pkcs12Config();
  env.password_env = "KS_TEST_PASS";
  in_file.password_file = file;
  missing.password_file = file.string() + ".missing";
  const auto environment = [](const char* name) -> const char* {
    return std::string(name) == "KS_TEST_PASS" ? "from env" : nullptr;
  };
  std::string password, error;
  ASSERT_TRUE(ReadPassword(env, environment, &password, &error)) << error;
  EXPECT_EQ(password, "from env");
  ASSERT_TRUE(ReadPassword(in_file, environment, &password, &error)) << error;
  EXPECT_EQ(password, "from file");
  ASSERT_TRUE(ReadPassword(none, environment, &password, &error)) << error;
  EXPECT_EQ(password, "");
  EXPECT_FALSE(ReadPassword(missing, environment, &password, &error));
  EXPECT_NE(error.find("cannot read the password file"), std::string::npos) << error;
  env.password_env = "KS_UNSET";
  EXPECT_FALSE(ReadPassword(env, environment, &password, &error));
  EXPECT_EQ(error, "the environment variable KS_UNSET that holds the signing password is not set");
  fs::remove(file);
}

Manifest Product() {
  Manifest m;
  m.settings.product_name = u"Demo \"Notes\"";
  m.settings.display_version = u"2.1.0";
  m.settings.publisher = u"Maker & Co";
  m.package.present = true;
  m.package.identifier = "Maker.DemoNotes";
  m.package.installer_url = "https://maker.invalid/demo-2.1.0.exe";
  m.package.license = "MIT";
  m.package.tags = {"notes", "editor"};
  return m;
}

std::string FileText(const std::vector<PackageFile>& files, const std::string& path) {
  for (const PackageFile& f : files)
    if (f.path == path) return f.text;
  ADD_FAILURE() << "no file " << path;
  return "";
}

TEST(AuthoringPackageTest, WingetInstallerManifest) {
  Manifest m = Product();
  m.settings.uninstall_key_name = u"DemoNotes";
  const std::string hash(64, 'A');
  const auto files = PackageManifests(m, hash);
  const std::string installer = FileText(files, "winget/Maker.DemoNotes.installer.yaml");
  for (const char* line : {
           "PackageIdentifier: \"Maker.DemoNotes\"\n", "PackageVersion: \"2.1.0\"\n", "InstallerType: exe\n",
           "Scope: machine\n", "  Silent: /silent\n", "  SilentWithProgress: /a\n",
           "  InstallLocation: '/d:\"<INSTALLPATH>\"'\n", "UnsupportedArguments:\n- log\n",
           "UpgradeBehavior: install\n", "ProductCode: \"DemoNotes\"\n", "- DisplayName: \"Demo \\\"Notes\\\"\"\n",
           "- Architecture: x86\n", "  InstallerUrl: \"https://maker.invalid/demo-2.1.0.exe\"\n",
           "ManifestType: installer\n", "ManifestVersion: 1.6.0\n"}) {
    EXPECT_NE(installer.find(line), std::string::npos) << line << "\n" << installer;
  }
  EXPECT_NE(installer.find("  InstallerSha256: " + hash + "\n"), std::string::npos) << installer;
  // Every mapped exit code once, with its response; the hand-over code is left to the manager's default.
  for (const char* pair : {"8\n  ReturnResponse: installInProgress", "12\n  ReturnResponse: cancelledByUser",
                           "11\n  ReturnResponse: downgrade", "5\n  ReturnResponse: systemNotSupported",
                           "7\n  ReturnResponse: missingDependency", "15\n  ReturnResponse: invalidParameter",
                           "-1\n  ReturnResponse: contactSupport", "2\n  ReturnResponse: contactSupport"}) {
    EXPECT_NE(installer.find(std::string("- InstallerReturnCode: ") + pair + "\n"), std::string::npos) << pair;
  }
  EXPECT_EQ(installer.find("InstallerReturnCode: 10\n"), std::string::npos);
  EXPECT_EQ(installer.find("InstallerReturnCode: 0\n"), std::string::npos);

  const std::string locale = FileText(files, "winget/Maker.DemoNotes.locale.en-US.yaml");
  for (const char* line : {"Publisher: \"Maker & Co\"\n", "PackageName: \"Demo \\\"Notes\\\"\"\n", "License: \"MIT\"\n",
                           "ShortDescription: \"Demo \\\"Notes\\\"\"\n", "Tags:\n- \"notes\"\n- \"editor\"\n",
                           "ManifestType: defaultLocale\n"}) {
    EXPECT_NE(locale.find(line), std::string::npos) << line << "\n" << locale;
  }
  const std::string version = FileText(files, "winget/Maker.DemoNotes.yaml");
  EXPECT_NE(version.find("DefaultLocale: en-US\nManifestType: version\n"), std::string::npos) << version;
}

TEST(AuthoringPackageTest, ProductChoicesReachTheManifests) {
  Manifest m = Product();
  m.settings.bitness = 1;
  m.settings.product_flags |= product_flag::kUninstallEarlierFirst;
  const auto files = PackageManifests(m, std::string(64, 'B'));
  const std::string installer = FileText(files, "winget/Maker.DemoNotes.installer.yaml");
  EXPECT_NE(installer.find("- Architecture: x64\n"), std::string::npos);
  EXPECT_NE(installer.find("UpgradeBehavior: uninstallPrevious\n"), std::string::npos);
  // A blank Uninstall key name means the product name, as in the engine.
  EXPECT_NE(installer.find("ProductCode: \"Demo \\\"Notes\\\"\"\n"), std::string::npos);
}

TEST(AuthoringPackageTest, ChocolateyPackage) {
  const std::string hash(64, 'C');
  const auto files = PackageManifests(Product(), hash);
  const std::string nuspec = FileText(files, "chocolatey/demo-notes.nuspec");
  for (const char* part : {"<id>demo-notes</id>", "<version>2.1.0</version>", "<title>Demo &quot;Notes&quot;</title>",
                           "<authors>Maker &amp; Co</authors>", "<tags>notes editor</tags>"}) {
    EXPECT_NE(nuspec.find(part), std::string::npos) << part << "\n" << nuspec;
  }
  const std::string install = FileText(files, "chocolatey/tools/chocolateyinstall.ps1");
  for (const std::string& part : std::vector<std::string>{"  fileType       = 'exe'\n", "  url            = 'https://maker.invalid/demo-2.1.0.exe'\n",
                                 "  checksum       = '" + hash + "'\n", "  checksumType   = 'sha256'\n",
                                 "  silentArgs     = '/silent'\n", "  validExitCodes = @(0)\n",
                                 "  (8) = 'another installation is running'\n", "  (-1) = 'the installer cannot read"}) {
    EXPECT_NE(install.find(part), std::string::npos) << part << "\n" << install;
  }
  const std::string uninstall = FileText(files, "chocolatey/tools/chocolateyuninstall.ps1");
  EXPECT_NE(uninstall.find("$key = 'Demo \"Notes\"'\n"), std::string::npos) << uninstall;
  EXPECT_NE(uninstall.find("-SilentArgs \"/silent /u:`\"$key`\"\""), std::string::npos) << uninstall;
}

TEST(AuthoringPackageTest, ExitCodesCoverTheEnginesTable) {
  // Every failure code of the engine's exit-code table, each once.
  std::vector<int> codes;
  for (const ExitCodeMeaning& e : InstallerExitCodes()) codes.push_back(e.code);
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<int>{-1, 2, 5, 7, 8, 9, 10, 11, 12, 15}));
}

}  // namespace
}  // namespace ks::authoring
