#pragma once
// The run's `Session` value: a 63-bit random number drawn once at start. It
// names this run in the uninstall registration and in notification requests.

#include <cstddef>
#include <cstdint>

namespace ks {

// The top bit is always clear, so the value reads the same signed and unsigned.
inline constexpr std::uint64_t kSessionMask = 0x7FFFFFFFFFFFFFFFull;

// Fills `size` bytes from the system's cryptographic source; false when there is none.
using RandomSource = bool (*)(void* out, std::size_t size);

// Marsaglia's xorshift64 (13, 7, 17). Its state is never zero: a zero seed is
// replaced, since zero is the generator's only fixed point.
class Xorshift64 {
 public:
  explicit Xorshift64(std::uint64_t seed);
  std::uint64_t Next();

 private:
  std::uint64_t state_;
};

// Folds start-up noise (time, counters, ids) into one seed with the SplitMix64
// finaliser, so that nearby inputs give unrelated seeds.
std::uint64_t MixSeed(std::uint64_t seed, std::uint64_t noise);

// Draws from `source`, or from xorshift seeded with `fallback_seed` when the
// source is missing (nullptr) or fails.
std::uint64_t DrawSession(RandomSource source, std::uint64_t fallback_seed);

// The process-wide value, set once at start-up.
std::uint64_t SessionValue();
void SetSessionValue(std::uint64_t value);

}  // namespace ks
