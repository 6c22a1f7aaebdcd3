#include "core/signature_outcome.h"

#include "core/archive_header.h"

namespace ks {
namespace {

// Trust and certificate results of the verification (wintrust/winerror names).
constexpr std::uint32_t kTrustProviderUnknown = 0x800B0001;      // TRUST_E_PROVIDER_UNKNOWN
constexpr std::uint32_t kTrustSubjectFormUnknown = 0x800B0003;   // TRUST_E_SUBJECT_FORM_UNKNOWN
constexpr std::uint32_t kTrustSubjectNotTrusted = 0x800B0004;    // TRUST_E_SUBJECT_NOT_TRUSTED
constexpr std::uint32_t kTrustNoSignature = 0x800B0100;          // TRUST_E_NOSIGNATURE
constexpr std::uint32_t kCertExpired = 0x800B0101;               // CERT_E_EXPIRED
constexpr std::uint32_t kCertUntrustedRoot = 0x800B0109;         // CERT_E_UNTRUSTEDROOT
constexpr std::uint32_t kCertChaining = 0x800B010A;              // CERT_E_CHAINING
constexpr std::uint32_t kCertRevoked = 0x800B010C;               // CERT_E_REVOKED
constexpr std::uint32_t kTrustExplicitDistrust = 0x800B0111;     // TRUST_E_EXPLICIT_DISTRUST
constexpr std::uint32_t kTrustCertSignature = 0x80096004;        // TRUST_E_CERT_SIGNATURE
constexpr std::uint32_t kTrustTimeStamp = 0x80096005;            // TRUST_E_TIME_STAMP
constexpr std::uint32_t kTrustBadDigest = 0x80096010;            // TRUST_E_BAD_DIGEST
constexpr std::uint32_t kCryptSecuritySettings = 0x80092026;     // CRYPT_E_SECURITY_SETTINGS

struct ResultRow {
  std::uint32_t result;
  int outcome;
};
constexpr ResultRow kResultRows[] = {
    {kTrustExplicitDistrust, 2}, {kTrustBadDigest, 3},       {kTrustSubjectNotTrusted, 3},
    {kCertUntrustedRoot, 3},     {kCryptSecuritySettings, 4}, {kTrustSubjectFormUnknown, 9},
    {kCertRevoked, 10},          {kCertExpired, 11},          {kTrustTimeStamp, 12},
    {kTrustCertSignature, 13},   {kTrustProviderUnknown, 16}, {kCertChaining, 17},
};

// The file itself could not be read: a Win32 error code, given as the last
// error or wrapped in the result (HRESULT_FROM_WIN32).
int FileErrorOutcome(std::uint32_t code) {
  if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
  switch (code) {
    case 2:    // ERROR_FILE_NOT_FOUND
    case 3:    // ERROR_PATH_NOT_FOUND
    case 4:    // ERROR_TOO_MANY_OPEN_FILES
    case 15:   // ERROR_INVALID_DRIVE
    case 53:   // ERROR_BAD_NETPATH
    case 67:   // ERROR_BAD_NET_NAME
    case 123:  // ERROR_INVALID_NAME
    case 161:  // ERROR_BAD_PATHNAME
    case 206:  // ERROR_FILENAME_EXCED_RANGE
      return 7;
    case 5:  // ERROR_ACCESS_DENIED
      return 8;
    case 32:  // ERROR_SHARING_VIOLATION
    case 33:  // ERROR_LOCK_VIOLATION
      return 14;
    default:
      return -1;
  }
}

bool SaysUnsigned(std::uint32_t last_error) {
  return last_error == kTrustNoSignature || last_error == kTrustSubjectFormUnknown ||
         last_error == kTrustProviderUnknown;
}

}  // namespace

int ClassifySignature(const SignatureCheck& c) {
  if (c.raised_exception) return 15;
  if (!c.service_loaded) return 5;
  if (c.result == 0) return 0;
  for (const ResultRow& row : kResultRows)
    if (row.result == c.result) return row.outcome;
  if (c.result == kTrustNoSignature && SaysUnsigned(c.last_error)) return 1;
  // Otherwise the reason is usually that the file could not be read.
  const int file_outcome = FileErrorOutcome(c.result);
  if (file_outcome >= 0) return file_outcome;
  const int last_error_outcome = FileErrorOutcome(c.last_error);
  return last_error_outcome >= 0 ? last_error_outcome : 6;
}

bool SignatureOutcomePasses(int outcome) {
  switch (outcome) {
    case 1: case 2: case 3: case 12: case 14: case 15: case 16:
      return false;
    default:
      return true;
  }
}

int SignatureCorruptCode(const SignatureCheck& c) {
  const int outcome = ClassifySignature(c);
  if (SignatureOutcomePasses(outcome) || c.last_error == kCertChaining) return 0;
  return kCorruptSignatureBase + outcome;
}

}  // namespace ks
