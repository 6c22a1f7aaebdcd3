#include "lib/session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace ks {
namespace {

bool AllOnes(void* out, std::size_t size) {
  std::memset(out, 0xFF, size);
  return true;
}
bool Fixed(void* out, std::size_t size) {
  const std::uint64_t v = 0x0123456789ABCDEFull;
  std::memcpy(out, &v, size < sizeof v ? size : sizeof v);
  return true;
}
bool Missing(void*, std::size_t) { return false; }

TEST(Session, TakesTheSystemSourceWithTheTopBitCleared) {
  EXPECT_EQ(kSessionMask, DrawSession(AllOnes, 1));
  EXPECT_EQ(0x0123456789ABCDEFull, DrawSession(Fixed, 1));
}

TEST(Session, FallsBackToXorshiftWhenTheSourceIsMissingOrFails) {
  for (RandomSource source : {static_cast<RandomSource>(nullptr), &Missing}) {
    EXPECT_EQ(Xorshift64(42).Next() & kSessionMask, DrawSession(source, 42));
    EXPECT_NE(DrawSession(source, 42), DrawSession(source, 43));
    EXPECT_NE(0u, DrawSession(source, 0));
  }
}

TEST(Session, XorshiftNeverSetsTheTopBitOfTheSessionAndDoesNotRepeatSoon) {
  std::set<std::uint64_t> seen;
  for (std::uint64_t seed = 0; seed < 2000; ++seed) {
    const std::uint64_t value = DrawSession(nullptr, MixSeed(seed, 0));
    EXPECT_EQ(0u, value >> 63);
    seen.insert(value);
  }
  EXPECT_EQ(2000u, seen.size());

  Xorshift64 gen(0);
  std::uint64_t first = gen.Next();
  for (int i = 0; i < 100000; ++i) ASSERT_NE(first, gen.Next());
}

TEST(Session, KnownXorshiftSequence) {
  // xorshift64 (13, 7, 17) from state 1.
  Xorshift64 gen(1);
  EXPECT_EQ(0x40822041ull, gen.Next());
  EXPECT_EQ(0x100041060C011441ull, gen.Next());
}

TEST(Session, ProcessValueKeepsTheTopBitClear) {
  SetSessionValue(~0ull);
  EXPECT_EQ(kSessionMask, SessionValue());
  SetSessionValue(5);
  EXPECT_EQ(5u, SessionValue());
}

}  // namespace
}  // namespace ks
