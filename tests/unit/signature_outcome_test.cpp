#include "core/signature_outcome.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

constexpr std::uint32_t kNoSignature = 0x800B0100;
constexpr std::uint32_t kChaining = 0x800B010A;

struct Row {
  const char* what;
  SignatureCheck check;
  int outcome;
  int code;  // 0 = the installation goes on
};

SignatureCheck Result(std::uint32_t result, std::uint32_t last_error = 0) {
  SignatureCheck c;
  c.result = result;
  c.last_error = last_error;
  return c;
}
SignatureCheck NotLoaded() {
  SignatureCheck c;
  c.service_loaded = false;
  return c;
}
SignatureCheck Raised() {
  SignatureCheck c;
  c.raised_exception = true;
  return c;
}

const Row kRows[] = {
    {"valid", Result(0), 0, 0},
    {"unsigned", Result(kNoSignature, kNoSignature), 1, 1001},
    {"unsigned, form unknown", Result(kNoSignature, 0x800B0003), 1, 1001},
    {"unsigned, provider unknown", Result(kNoSignature, 0x800B0001), 1, 1001},
    {"explicitly distrusted", Result(0x800B0111), 2, 1002},
    {"bad digest", Result(0x80096010), 3, 1003},
    {"subject not trusted", Result(0x800B0004), 3, 1003},
    {"untrusted root", Result(0x800B0109), 3, 1003},
    {"security settings", Result(0x80092026), 4, 0},
    {"service not loaded", NotLoaded(), 5, 0},
    {"other result", Result(0x80004005), 6, 0},
    {"no signature, other last error", Result(kNoSignature, 1234), 6, 0},
    {"file not found", Result(kNoSignature, 2), 7, 0},
    {"path not found", Result(kNoSignature, 3), 7, 0},
    {"too many open files", Result(kNoSignature, 4), 7, 0},
    {"file not found as result", Result(0x80070002), 7, 0},
    {"access denied", Result(kNoSignature, 5), 8, 0},
    {"access denied as result", Result(0x80070005), 8, 0},
    {"subject form unknown", Result(0x800B0003), 9, 0},
    {"revoked", Result(0x800B010C), 10, 0},
    {"expired", Result(0x800B0101), 11, 0},
    {"time stamp", Result(0x80096005), 12, 1012},
    {"certificate signature", Result(0x80096004), 13, 0},
    {"sharing violation", Result(kNoSignature, 32), 14, 1014},
    {"lock violation", Result(kNoSignature, 33), 14, 1014},
    {"exception", Raised(), 15, 1015},
    {"provider unknown", Result(0x800B0001), 16, 1016},
    {"chaining", Result(kChaining), 17, 0},
};

TEST(SignatureOutcome, ClassifiesEveryRow) {
  for (const Row& row : kRows) {
    EXPECT_EQ(ClassifySignature(row.check), row.outcome) << row.what;
    EXPECT_EQ(SignatureCorruptCode(row.check), row.code) << row.what;
  }
}

TEST(SignatureOutcome, VerdictPerOutcome) {
  const bool passes[18] = {true, false, false, false, true,  true,  true,  true, true,
                           true, true,  true,  false, true,  false, false, false, true};
  for (int n = 0; n < 18; ++n) EXPECT_EQ(SignatureOutcomePasses(n), passes[n]) << n;
}

TEST(SignatureOutcome, ChainingLastErrorLetsAFailingOutcomePass) {
  EXPECT_EQ(SignatureCorruptCode(Result(0x80096010, kChaining)), 0);
  EXPECT_EQ(SignatureCorruptCode(Result(0x80096010, 5)), 1003);
}

}  // namespace
}  // namespace ks
