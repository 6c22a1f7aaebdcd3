#include "core/settings_block.h"

#include <gtest/gtest.h>

#include "core/archive_builder.h"
#include "core/blowfish.h"
#include "lib/crc32.h"

namespace ks {
namespace {

const std::array<std::uint8_t, 8> kKey{{1, 2, 3, 4, 5, 6, 7, 8}};

Bytes Pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return b;
}

TEST(Unscramble, WholeWordsThenLowKeyBytes) {
  struct Case {
    std::size_t size;
    Bytes expected;  // of a zero buffer XORed with 0x11223344
  };
  const Case cases[] = {
      {0, {}},
      {3, {0x44, 0x33, 0x22}},
      {4, {0x44, 0x33, 0x22, 0x11}},
      {5, {0x44, 0x33, 0x22, 0x11, 0x44}},
      {7, {0x44, 0x33, 0x22, 0x11, 0x44, 0x33, 0x22}},
  };
  for (const Case& c : cases) {
    Bytes b(c.size, 0);
    Unscramble(b, 0x11223344);
    EXPECT_EQ(b, c.expected) << c.size;
    Unscramble(b, 0x11223344);
    EXPECT_EQ(b, Bytes(c.size, 0)) << c.size;
  }
}

TEST(Decipher, RoundTripsEveryLength) {
  for (std::size_t n = 0; n <= 17; ++n) {
    const Bytes plain = Pattern(n);
    Bytes stored = Encipher(plain, kKey);
    EXPECT_EQ(stored.size() % 8, 0u) << n;
    EXPECT_GE(stored.size(), n + 4) << n;
    Decipher(stored, kKey);
    EXPECT_EQ(stored, plain) << n;
  }
}

TEST(Decipher, BadSizesOrPlainLengthsGiveNothing) {
  Bytes odd = Encipher(Pattern(20), kKey);
  odd.pop_back();
  Decipher(odd, kKey);
  EXPECT_TRUE(odd.empty());

  Bytes tiny(4, 0);
  Decipher(tiny, kKey);
  EXPECT_TRUE(tiny.empty());

  // Plain lengths outside S - 12 .. S - 4 (and negative ones) are refused.
  for (std::int32_t length : {-1, -4, 3, 13, 100}) {
    ByteWriter w;
    w.Raw(Pattern(12));
    w.I32(length);
    Bytes block = w.Take();
    Blowfish(kKey.data(), kKey.size()).EncryptEcb(block.data(), block.size());
    Decipher(block, kKey);
    EXPECT_TRUE(block.empty()) << length;
  }
}

TEST(XzDecode, RoundTripAndEmptyInput) {
  Bytes out{1, 2};
  EXPECT_TRUE(XzDecode(nullptr, 0, &out));
  EXPECT_TRUE(out.empty());
  const Bytes plain = Pattern(100000);
  const Bytes xz = XzEncode(plain);
  ASSERT_TRUE(XzDecode(xz.data(), xz.size(), &out));
  EXPECT_EQ(out, plain);
}

TEST(XzDecode, ConcatenatedStreamsAreOneOutput) {
  Bytes both = XzEncode(Pattern(10));
  const Bytes second = XzEncode(Pattern(5));
  both.insert(both.end(), second.begin(), second.end());
  Bytes out;
  ASSERT_TRUE(XzDecode(both.data(), both.size(), &out));
  Bytes expected = Pattern(10);
  const Bytes tail = Pattern(5);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(out, expected);
}

TEST(XzDecode, BrokenInputFails) {
  const Bytes xz = XzEncode(Pattern(5000));
  Bytes cut(xz.begin(), xz.end() - 10);
  Bytes garbage = Pattern(64);
  Bytes trailing = xz;
  trailing.push_back(0x42);
  Bytes flipped = xz;
  flipped[flipped.size() / 2] ^= 0xFF;
  for (const Bytes* in : {&cut, &garbage, &trailing, &flipped}) {
    Bytes out;
    EXPECT_FALSE(XzDecode(in->data(), in->size(), &out));
  }
}

TEST(XzDecode, OutputBoundIsEnforced) {
  const Bytes xz = XzEncode(Bytes(1 << 20, 0));
  Bytes out;
  EXPECT_FALSE(XzDecode(xz.data(), xz.size(), &out, 1000));
  EXPECT_TRUE(XzDecode(xz.data(), xz.size(), &out, 1 << 20));
  EXPECT_EQ(out.size(), 1u << 20);
}

// Builder to reader: header, stored block, decoding and the check value.
struct Decoded {
  HeaderResult header;
  SettingsBlockResult block;
};
Decoded Read(const BuiltArchive& built) {
  Decoded d;
  d.header = ParseArchiveHeader(built.archive.data(), built.archive.size());
  if (d.header.outcome == HeaderOutcome::kOk)
    d.block = DecodeSettingsBlock(d.header.header, built.archive.data(), built.archive.size());
  return d;
}

TEST(SettingsBlock, RoundTripScrambledAndEnciphered) {
  for (std::uint32_t flags : {0u, kArchiveEnciphered}) {
    for (std::size_t n : {1u, 2u, 3u, 5u, 13u, 1001u}) {
      ArchiveSpec plan;
      plan.flags = flags;
      plan.settings = Pattern(n);
      const Decoded d = Read(BuildArchive(plan));
      ASSERT_EQ(d.header.outcome, HeaderOutcome::kOk);
      EXPECT_EQ(d.block.corrupt_code, 0);
      EXPECT_EQ(d.block.stream, plan.settings) << flags << " " << n;
      EXPECT_TRUE(CheckSettingsCrc(d.block.stream, d.header.header.settings_check));
    }
  }
}

TEST(SettingsBlock, RaggedStoredLengthFailsToDecode) {
  // xz data always comes in whole 4-byte groups, so a ragged block is damaged.
  ArchiveSpec plan;
  plan.settings = Pattern(40);
  const BuiltArchive proper = BuildArchive(plan);
  plan.settings_size = ParseArchiveHeader(proper.archive.data(), proper.archive.size())
                           .header.settings_size - 1;
  const Decoded d = Read(BuildArchive(plan));
  ASSERT_EQ(d.header.outcome, HeaderOutcome::kOk);
  EXPECT_EQ(d.block.corrupt_code, kCorruptSettingsDecode);
}

TEST(SettingsBlock, DamageEndsInDecodeOrCheckFailure) {
  ArchiveSpec wrong_check;
  wrong_check.settings = Pattern(300);
  wrong_check.settings_check = 0x12345678;  // also the scrambling key, so it still decodes
  Decoded d = Read(BuildArchive(wrong_check));
  EXPECT_EQ(d.block.corrupt_code, 0);
  EXPECT_FALSE(CheckSettingsCrc(d.block.stream, d.header.header.settings_check));

  for (std::uint32_t flags : {0u, kArchiveEnciphered}) {
    ArchiveSpec broken;
    broken.flags = flags;
    broken.settings = Pattern(3000);
    broken.break_stream = true;
    d = Read(BuildArchive(broken));
    const bool check_fails = !CheckSettingsCrc(d.block.stream, d.header.header.settings_check);
    EXPECT_TRUE(d.block.corrupt_code == kCorruptSettingsDecode || check_fails) << flags;
  }
}

TEST(SettingsBlock, EncipheredSizeNotMultipleOfEightDecodesToNothing) {
  ArchiveSpec plan;
  plan.flags = kArchiveEnciphered;
  plan.settings = Pattern(50);
  const BuiltArchive proper = BuildArchive(plan);
  const HeaderResult h = ParseArchiveHeader(proper.archive.data(), proper.archive.size());
  plan.settings_size = h.header.settings_size - 1;
  const Decoded d = Read(BuildArchive(plan));
  ASSERT_EQ(d.header.outcome, HeaderOutcome::kOk);
  EXPECT_EQ(d.block.corrupt_code, 0);
  EXPECT_TRUE(d.block.stream.empty());
  EXPECT_FALSE(CheckSettingsCrc(d.block.stream, d.header.header.settings_check));
}

}  // namespace
}  // namespace ks
