#include "harness/native.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ks::e2e {
namespace {

namespace fs = std::filesystem;

extern "C" char** environ;

std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

NativeResult RunNative(const std::vector<std::string>& argv, const std::map<std::string, std::string>& extra_env) {
  NativeResult r;
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    if (!extra_env.count(name)) env_strings.push_back(entry);
  }
  for (const auto& [name, value] : extra_env)
    if (!value.empty()) env_strings.push_back(name + "=" + value);
  std::vector<std::string> args = argv;
  std::vector<char*> c_argv = CStrings(args);
  std::vector<char*> c_env = CStrings(env_strings);
  int out[2];
  if (pipe(out) != 0) return r;
  const pid_t pid = fork();
  if (pid < 0) {
    close(out[0]);
    close(out[1]);
    return r;
  }
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[0]);
    close(out[1]);
    execvpe(c_argv[0], c_argv.data(), c_env.data());
    _exit(127);
  }
  close(out[1]);
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) r.out.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string AuthoringToolPath() { return KS_AUTHORING_TOOL; }

const TestCertificate* TestSigner(std::string* error) {
  // The folder goes when the test process ends.
  static struct Signer : TestCertificate {
    ~Signer() {
      std::error_code ignored;
      if (!folder.empty()) fs::remove_all(folder, ignored);
    }
  } signer;
  static std::string made_error;
  static bool made = false;
  if (!made) {
    made = true;
    signer.folder = (fs::temp_directory_path() / ("ks-signer-" + std::to_string(getpid()))).string();
    fs::remove_all(signer.folder);
    fs::create_directories(signer.folder);
    signer.certificate = signer.folder + "/cert.pem";
    signer.key = signer.folder + "/key.pem";
    signer.pkcs12 = signer.folder + "/signer.p12";
    signer.password = "test pass 'with' \"quotes\"";
    const NativeResult cert = RunNative({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-days", "3650",
                                         "-nodes", "-subj", "/CN=Kestrelon Test Signer", "-addext",
                                         "extendedKeyUsage=codeSigning", "-addext", "keyUsage=digitalSignature",
                                         "-keyout", signer.key, "-out", signer.certificate});
    const NativeResult p12 =
        cert.status == 0 ? RunNative({"openssl", "pkcs12", "-export", "-inkey", signer.key, "-in", signer.certificate,
                                      "-out", signer.pkcs12, "-passout", "env:KS_TEST_P12_PASS"},
                                     {{"KS_TEST_P12_PASS", signer.password}})
                         : cert;
    if (cert.status != 0 || p12.status != 0) made_error = "openssl could not make the test certificate:\n" + p12.out;
  }
  if (!made_error.empty()) {
    if (error) *error = made_error;
    return nullptr;
  }
  return &signer;
}

std::optional<std::string> ReadLinuxFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace ks::e2e
