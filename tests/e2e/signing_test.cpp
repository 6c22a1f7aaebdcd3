// Shipping an installer: the authoring tool signs it with a certificate the
// test makes, and the engine's own signature check under Wine passes it, and
// fails it unsigned or tampered with after signing. The compact uninstaller
// of a signed installer is an unsigned program that runs, not a tampered
// one. The builds are reproducible, the package managers' files describe the
// built file, and `check` reports a broken manifest without writing anything.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "harness/driver.h"
#include "harness/native.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kPasswordVariable[] = "KS_E2E_SIGNING_PASSWORD";

// A folder of the test process for manifests and builds on the Linux side.
class LinuxScratch {
 public:
  LinuxScratch() {
    static int counter = 0;
    path_ = (fs::temp_directory_path() /
             ("ks-shipping-" + std::to_string(getpid()) + "-" + std::to_string(counter++)))
                .string();
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~LinuxScratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string Write(const std::string& name, const std::string& content) const {
    const fs::path p = fs::path(path_) / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p.string();
  }
  std::string Path(const std::string& name) const { return (fs::path(path_) / name).string(); }

 private:
  std::string path_;
};

// A product of one file with the engine's signature check; `extra` adds keys.
std::string Manifest(const TestCertificate& signer, const std::string& name, const std::string& extra = "") {
  return "[product]\nname = \"" + name + "\"\nversion = \"3.2.1\"\npublisher = \"Test Maker\"\n" +
         "[flags]\nregister_uninstaller = true\nalways_write_log = true\n" +
         "[archive]\nintegrity_check = \"signature\"\n" + extra +
         "[signing]\npkcs12 = \"" + signer.pkcs12 + "\"\npassword_env = \"" + kPasswordVariable + "\"\n" +
         "description = \"Signed test product\"\n" +
         "[[file]]\nsource = \"payload.txt\"\n";
}

struct Build {
  NativeResult run;
  std::string output;  // the installer's Linux path
};

// kestrelon-build with the signing password in the environment.
Build RunTool(const LinuxScratch& dir, const std::vector<std::string>& options, const std::string& epoch,
              const std::string& output_name = "setup.exe", const std::string& engine = "") {
  std::vector<std::string> args = {AuthoringToolPath(), dir.Path("setup.toml"), "-o", dir.Path(output_name), "-q"};
  if (!engine.empty()) args.insert(args.end(), {"--engine", engine});
  args.insert(args.end(), options.begin(), options.end());
  const TestCertificate* signer = TestSigner(nullptr);
  Build b;
  b.run = RunNative(args, {{"SOURCE_DATE_EPOCH", epoch}, {kPasswordVariable, signer ? signer->password : ""}});
  b.output = dir.Path(output_name);
  return b;
}

std::uint32_t Read32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// The certificate table's directory entry (PE32 and PE32+).
std::pair<std::uint32_t, std::uint32_t> SecurityDirectory(const std::string& exe) {
  const std::uint32_t pe = Read32(exe, 0x3C);
  const bool plus = static_cast<unsigned char>(exe[pe + 24]) == 0x0B && exe[pe + 25] == 0x02;
  const std::size_t entry = pe + 24 + (plus ? 112 : 96) + 4 * 8;
  return {Read32(exe, entry), Read32(exe, entry + 4)};
}

// One byte of the header padding behind the section table: nothing reads it,
// but the signature covers it.
std::string Tampered(std::string exe) {
  const std::uint32_t pe = Read32(exe, 0x3C);
  const std::uint32_t headers_size = Read32(exe, pe + 24 + 60);
  exe[headers_size - 4] ^= 0x5A;
  return exe;
}

class Signing : public WineTest {
 protected:
  void SetUp() override {
    WineTest::SetUp();
    std::string error;
    signer_ = TestSigner(&error);
    ASSERT_NE(signer_, nullptr) << error;
    dir_.Write("payload.txt", "signed payload\n");
  }

  // The installer built for the engine under test, copied into the prefix.
  std::string BuildInto(const std::string& folder, const std::string& extra, bool sign, std::string* bytes) {
    dir_.Write("setup.toml", Manifest(*signer_, product_, extra));
    const Build b = RunTool(dir_, sign ? std::vector<std::string>{"--sign"} : std::vector<std::string>{},
                            "1700000000", "setup.exe", EngineLinuxPath());
    EXPECT_EQ(b.run.status, 0) << b.run.out;
    if (b.run.status != 0) return "";
    *bytes = ReadLinuxFile(b.output).value_or("");
    return CopyIntoPrefix(b.output, folder);
  }

  const TestCertificate* signer_ = nullptr;
  LinuxScratch dir_;
  std::string product_ = UniqueName("KsSigned");
};

constexpr char kCorruptPrefix[] = "This installation program is corrupt.";

TEST_F(Signing, EngineChecksItsOwnSignature) {
  const std::string folder = ScratchFolder();
  std::string signed_bytes, unsigned_bytes;
  const std::string signed_setup = BuildInto(folder + "\\signed", "", true, &signed_bytes);
  const std::string unsigned_setup = BuildInto(folder + "\\unsigned", "", false, &unsigned_bytes);
  ASSERT_FALSE(signed_setup.empty());
  ASSERT_FALSE(unsigned_setup.empty());
  ASSERT_NE(SecurityDirectory(signed_bytes).first, 0u) << "the tool wrote no certificate table";
  EXPECT_EQ(SecurityDirectory(unsigned_bytes).first, 0u);
  const std::string tampered_setup = folder + "\\tampered\\setup.exe";
  ASSERT_TRUE(WritePrefixFile(tampered_setup, Tampered(signed_bytes)));

  // Signed: the check passes and the installation runs to its end.
  const DriverRun ok = RunProgram(signed_setup, {"/silent", "/d:" + folder + "\\app"});
  ASSERT_TRUE(ok.ok) << ok.error << ok.output;
  EXPECT_EQ(ok.exit_code, 0) << ok.output;
  EXPECT_EQ(ReadPrefixFile(folder + "\\app\\payload.txt"), std::optional<std::string>("signed payload\n"));

  // Unsigned: no signature (outcome 1); tampered: the digest no longer matches (outcome 3).
  const struct {
    const char* name;
    std::string setup;
    int code;
  } failing[] = {{"unsigned", unsigned_setup, 1001}, {"tampered", tampered_setup, 1003}};
  for (const auto& c : failing) {
    SCOPED_TRACE(c.name);
    const DriverRun run = RunProgram(c.setup, {});
    ASSERT_TRUE(run.ok) << run.error << run.output;
    EXPECT_EQ(run.exit_code, 2) << run.output;
    ASSERT_EQ(run.windows.size(), 1u) << run.output;
    const std::string text = run.windows[0].Text();
    EXPECT_EQ(text.rfind(kCorruptPrefix, 0), 0u) << text;
    EXPECT_NE(text.find("Error code: " + std::to_string(c.code)), std::string::npos) << text;
  }
}

TEST_F(Signing, CompactUninstallerOfASignedInstallerIsUnsignedAndRuns) {
  const std::string folder = ScratchFolder();
  std::string bytes;
  const std::string setup = BuildInto(folder, "engine_image = true\n", true, &bytes);
  ASSERT_FALSE(setup.empty());
  const std::string app = folder + "\\app";
  const DriverRun install = RunProgram(setup, {"/silent", "/d:" + app});
  ASSERT_TRUE(install.ok) << install.error << install.output;
  ASSERT_EQ(install.exit_code, 0) << install.output;
  const std::string uninstaller = app + "\\uninstall.exe";
  const auto image = ReadPrefixFile(uninstaller);
  ASSERT_TRUE(image) << "no uninstaller";
  EXPECT_LT(image->size(), bytes.size());
  EXPECT_EQ(SecurityDirectory(*image), std::make_pair(0u, 0u));

  // The system's verdict: the installer passes, the uninstaller has no
  // signature at all, which is not the verdict on a tampered file (1003).
  const std::string trust = CopyIntoPrefix(BuildProgramLinuxPath("kstrust.exe"), folder);
  EXPECT_EQ(RunWine({trust, "verify", setup}).out.substr(0, 2), "0 ");
  EXPECT_EQ(RunWine({trust, "verify", uninstaller}).out.substr(0, 5), "1001 ");

  // And it is a program that does its work: the silent uninstallation.
  const DriverRun removal = RunProgram(uninstaller, {"/silent", "/u:" + product_});
  ASSERT_TRUE(removal.ok) << removal.error << removal.output;
  EXPECT_EQ(removal.exit_code, 0) << removal.output;
  EXPECT_FALSE(PrefixFileExists(app + "\\payload.txt"));
}

// ---- the tool alone ------------------------------------------------------------

class Shipping : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    signer_ = TestSigner(&error);
    ASSERT_NE(signer_, nullptr) << error;
    dir_.Write("payload.txt", "payload\n");
    dir_.Write("setup.toml", Manifest(*signer_, "Shipped Product",
                                      "") + "[package]\nidentifier = \"TestMaker.ShippedProduct\"\n"
                                            "installer_url = \"https://example.invalid/shipped-3.2.1.exe\"\n"
                                            "license = \"MIT\"\n");
  }
  const TestCertificate* signer_ = nullptr;
  LinuxScratch dir_;
};

TEST_F(Shipping, SameInputAndEpochGiveTheSameBytesSignedOrNot) {
  for (const bool sign : {false, true}) {
    SCOPED_TRACE(sign ? "signed" : "unsigned");
    const std::vector<std::string> options = sign ? std::vector<std::string>{"--sign"} : std::vector<std::string>{};
    const Build first = RunTool(dir_, options, "1700000000", "first.exe");
    const Build second = RunTool(dir_, options, "1700000000", "second.exe");
    const Build later = RunTool(dir_, options, "1700086400", "later.exe");
    ASSERT_EQ(first.run.status, 0) << first.run.out;
    ASSERT_EQ(second.run.status, 0) << second.run.out;
    ASSERT_EQ(later.run.status, 0) << later.run.out;
    const auto a = ReadLinuxFile(first.output), b = ReadLinuxFile(second.output), c = ReadLinuxFile(later.output);
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(*a == *b) << "two builds with the same SOURCE_DATE_EPOCH differ";
    EXPECT_FALSE(*a == *c) << "the epoch does not reach the file";
    EXPECT_EQ(SecurityDirectory(*a).first != 0, sign);
  }
}

TEST_F(Shipping, PackageManifestsDescribeTheBuiltFile) {
  const Build b = RunTool(dir_, {"--sign", "--package-manifest", dir_.Path("packages")}, "1700000000");
  ASSERT_EQ(b.run.status, 0) << b.run.out;
  // The digest as another program computes it.
  const NativeResult sum = RunNative({"sha256sum", b.output});
  ASSERT_EQ(sum.status, 0) << sum.out;
  std::string digest = sum.out.substr(0, 64);
  for (char& ch : digest) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));

  const auto winget = ReadLinuxFile(dir_.Path("packages/winget/TestMaker.ShippedProduct.installer.yaml"));
  ASSERT_TRUE(winget);
  EXPECT_NE(winget->find("  InstallerSha256: " + digest + "\n"), std::string::npos) << *winget;
  EXPECT_NE(winget->find("  Silent: /silent\n"), std::string::npos) << *winget;
  EXPECT_NE(winget->find("  InstallLocation: '/d:\"<INSTALLPATH>\"'\n"), std::string::npos) << *winget;
  EXPECT_NE(winget->find("ProductCode: \"Shipped Product\"\n"), std::string::npos) << *winget;
  const auto choco = ReadLinuxFile(dir_.Path("packages/chocolatey/tools/chocolateyinstall.ps1"));
  ASSERT_TRUE(choco);
  EXPECT_NE(choco->find("checksum       = '" + digest + "'"), std::string::npos) << *choco;
  EXPECT_NE(choco->find("silentArgs     = '/silent'"), std::string::npos) << *choco;
  EXPECT_TRUE(ReadLinuxFile(dir_.Path("packages/chocolatey/shipped-product.nuspec")));
}

TEST_F(Shipping, FailedSigningLeavesNoInstaller) {
  // The wrong password: the signing tool refuses, and neither the installer
  // nor its unsigned or partial forms stay behind.
  std::vector<std::string> args = {AuthoringToolPath(), dir_.Path("setup.toml"), "-o", dir_.Path("setup.exe"),
                                   "-q", "--sign"};
  const NativeResult r = RunNative(args, {{kPasswordVariable, "not the password"}});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("osslsigncode failed"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("not the password"), std::string::npos) << "the password was printed";
  for (const char* name : {"setup.exe", "setup.exe.unsigned", "setup.exe.partial"})
    EXPECT_FALSE(fs::exists(dir_.Path(name))) << name;
}

TEST_F(Shipping, CheckPrintsEveryFindingAndWritesNothing) {
  dir_.Write("broken.toml",
             "[product]\nname = \"Broken\"\nversion = \"one\"\n"
             "[wizard]\nlaunch_on_exit = \"%InstallDir%\\\\missing.exe\"\n"
             "[[file]]\nsource = \"payload.txt\"\n");
  const NativeResult broken = RunNative({AuthoringToolPath(), "check", dir_.Path("broken.toml")});
  EXPECT_EQ(broken.status, 1) << broken.out;
  const std::string file = dir_.Path("broken.toml");
  EXPECT_EQ(broken.out,
            file + ":3:11: product.version: expected a version such as \"1.4.2\": numbers joined by dots, at most "
                   "one letter at the end; found \"one\"\n" +
                file + ":5:18: wizard.launch_on_exit: \"%InstallDir%\\missing.exe\" names no file of the product: "
                       "no [[file]] entry of kind \"install\" places \"missing.exe\" in the installation folder\n");
  // The sound manifest, checked as a signed build with package manifests would be.
  const NativeResult sound = RunNative(
      {AuthoringToolPath(), "check", dir_.Path("setup.toml"), "--sign", "--package-manifest", dir_.Path("packages")},
      {{kPasswordVariable, signer_->password}});
  EXPECT_EQ(sound.status, 0) << sound.out;
  EXPECT_FALSE(fs::exists(dir_.Path("packages")));
  // init writes a manifest that a build accepts.
  dir_.Write("dist/tool.exe", "MZ");
  const NativeResult init = RunNative({AuthoringToolPath(), "init", dir_.Path("dist"), "-o", dir_.Path("new.toml")});
  ASSERT_EQ(init.status, 0) << init.out;
  EXPECT_EQ(RunNative({AuthoringToolPath(), "check", dir_.Path("new.toml"), "-q"}).status, 0);
  EXPECT_EQ(RunNative({AuthoringToolPath(), "init", dir_.Path("dist"), "-o", dir_.Path("new.toml")}).status, 1)
      << "init overwrote a manifest";
}

}  // namespace
}  // namespace ks::e2e
