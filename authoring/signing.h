#pragma once
// Authenticode signing of the built installer with osslsigncode, the
// signing tool Debian ships. The password travels on the tool's standard
// input, never on a command line.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "authoring/manifest_release.h"

namespace ks::authoring {

// The osslsigncode arguments that sign `in` into `out`. `signing_time`
// (seconds since 1970, UTC) fixes the signature's signing time, so that the
// same input signs to the same bytes; with a time-stamp server the stamp
// differs every time all the same.
std::vector<std::string> SigningCommand(const SigningConfig& signing, const std::optional<std::int64_t>& signing_time,
                                        bool has_password, const std::string& in, const std::string& out);

// Signs `in` into `out`. False with `error` (the tool's own words included).
bool SignFile(const SigningConfig& signing, const std::optional<std::int64_t>& signing_time,
              const std::string& password, const std::string& in, const std::string& out, std::string* error);

}  // namespace ks::authoring
