#pragma once
// Classification of a code-signature verification into the installer's
// outcome numbers 0 to 17 and whether each lets the installation go on.
// Pure: the Win32 caller supplies what the trust service returned.

#include <cstdint>

namespace ks {

struct SignatureCheck {
  bool service_loaded = true;     // the trust service could be loaded
  bool raised_exception = false;  // the verification call raised an exception
  std::uint32_t result = 0;       // the verification's return value (an HRESULT)
  std::uint32_t last_error = 0;   // the thread's last error right after the call
};

// Outcome 0 to 17.
int ClassifySignature(const SignatureCheck& check);
// Whether an outcome passes by itself.
bool SignatureOutcomePasses(int outcome);
// 0 when the installation may go on, else the corrupt code 1000 + outcome. A
// failing outcome still passes when the last error is the chaining error.
int SignatureCorruptCode(const SignatureCheck& check);

}  // namespace ks
