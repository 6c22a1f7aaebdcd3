#include "lib/session.h"

namespace ks {

namespace {
std::uint64_t g_session = 0;
}

Xorshift64::Xorshift64(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}

std::uint64_t Xorshift64::Next() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 7;
  state_ ^= state_ << 17;
  return state_;
}

std::uint64_t MixSeed(std::uint64_t seed, std::uint64_t noise) {
  std::uint64_t z = seed + noise + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint64_t DrawSession(RandomSource source, std::uint64_t fallback_seed) {
  std::uint64_t value = 0;
  if (!source || !source(&value, sizeof value)) value = Xorshift64(fallback_seed).Next();
  return value & kSessionMask;
}

std::uint64_t SessionValue() { return g_session; }
void SetSessionValue(std::uint64_t value) { g_session = value & kSessionMask; }

}  // namespace ks
