#pragma once
// Linux programs the e2e tests run beside Wine: the authoring tool, which
// builds (and signs) the installers under test, and openssl, which makes the
// tests' own code-signing certificate.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ks::e2e {

struct NativeResult {
  bool started = false;
  int status = -1;   // exit status; -1 when it did not end normally
  std::string out;   // standard output and standard error together
};

// Runs argv[0] (searched on PATH) with `extra_env` added to this process's
// environment (an empty value removes the variable).
NativeResult RunNative(const std::vector<std::string>& argv,
                       const std::map<std::string, std::string>& extra_env = {});

// The kestrelon-build of this build tree.
std::string AuthoringToolPath();

// A self-signed code-signing certificate, made once per test process in a
// folder of its own: PEM certificate and unencrypted key, and the same pair
// as a PKCS#12 file protected by `password`.
struct TestCertificate {
  std::string folder, certificate, key, pkcs12, password;
};
const TestCertificate* TestSigner(std::string* error);

// A whole file's bytes; nothing when it cannot be read.
std::optional<std::string> ReadLinuxFile(const std::string& path);

}  // namespace ks::e2e
