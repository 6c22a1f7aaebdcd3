#include "authoring/signing.h"

#include "authoring/run_program.h"

namespace ks::authoring {

std::vector<std::string> SigningCommand(const SigningConfig& s, const std::optional<std::int64_t>& signing_time,
                                        bool has_password, const std::string& in, const std::string& out) {
  std::vector<std::string> args = {"osslsigncode", "sign"};
  if (!s.pkcs12.empty()) {
    args.insert(args.end(), {"-pkcs12", s.pkcs12.string()});
  } else {
    args.insert(args.end(), {"-certs", s.certificate.string(), "-key", s.key.string()});
  }
  if (has_password) args.insert(args.end(), {"-readpass", "/dev/stdin"});
  args.insert(args.end(), {"-h", "sha256"});
  if (!s.description.empty()) args.insert(args.end(), {"-n", s.description});
  if (!s.url.empty()) args.insert(args.end(), {"-i", s.url});
  if (!s.timestamp_url.empty()) args.insert(args.end(), {"-ts", s.timestamp_url});
  if (signing_time) args.insert(args.end(), {"-time", std::to_string(*signing_time)});
  args.insert(args.end(), {"-in", in, "-out", out});
  return args;
}

bool SignFile(const SigningConfig& signing, const std::optional<std::int64_t>& signing_time,
              const std::string& password, const std::string& in, const std::string& out, std::string* error) {
  const bool has_password = !password.empty();
  const ProgramResult r =
      RunProgram(SigningCommand(signing, signing_time, has_password, in, out), has_password ? password : "");
  if (!r.started) {
    *error = r.error;
    return false;
  }
  if (r.status != 0) {
    std::string said = r.output;
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    *error = "osslsigncode failed (exit status " + std::to_string(r.status) + ")" + (said.empty() ? "" : ":\n" + said);
    return false;
  }
  return true;
}

}  // namespace ks::authoring
