#include "core/blowfish.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace ks {
namespace {

struct Vector {
  std::uint64_t key, plain, cipher;
};

// Published ECB test vectors (Eric Young's set, from Bruce Schneier's page).
const Vector kVectors[] = {
    {0x0000000000000000, 0x0000000000000000, 0x4EF997456198DD78},
    {0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0x51866FD5B85ECB8A},
    {0x3000000000000000, 0x1000000000000001, 0x7D856F9A613063F2},
    {0x1111111111111111, 0x1111111111111111, 0x2466DD878B963C9D},
    {0x0123456789ABCDEF, 0x1111111111111111, 0x61F9C3802281B096},
    {0x1111111111111111, 0x0123456789ABCDEF, 0x7D0CC630AFDA1EC7},
    {0xFEDCBA9876543210, 0x0123456789ABCDEF, 0x0ACEAB0FC6A0A28D},
    {0x7CA110454A1A6E57, 0x01A1D6D039776742, 0x59C68245EB05282B},
    {0x0131D9619DC1376E, 0x5CD54CA83DEF57DA, 0xB1B8CC0B250F09A0},
};

std::vector<std::uint8_t> BigEndian(std::uint64_t v) {
  std::vector<std::uint8_t> b(8);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
  return b;
}

TEST(Blowfish, PublishedVectorsEncryptAndDecrypt) {
  for (const Vector& v : kVectors) {
    const auto key = BigEndian(v.key);
    const Blowfish bf(key.data(), key.size());
    std::uint32_t l = static_cast<std::uint32_t>(v.plain >> 32), r = static_cast<std::uint32_t>(v.plain);
    bf.EncryptBlock(l, r);
    EXPECT_EQ((std::uint64_t{l} << 32) | r, v.cipher) << std::hex << v.key;
    bf.DecryptBlock(l, r);
    EXPECT_EQ((std::uint64_t{l} << 32) | r, v.plain) << std::hex << v.key;
  }
}

TEST(Blowfish, EcbReadsBlocksAsBigEndianWords) {
  const Vector& v = kVectors[6];
  const auto key = BigEndian(v.key);
  const Blowfish bf(key.data(), key.size());
  std::vector<std::uint8_t> data = BigEndian(v.plain);
  const auto second = BigEndian(v.plain);
  data.insert(data.end(), second.begin(), second.end());
  bf.EncryptEcb(data.data(), data.size());
  const auto expected = BigEndian(v.cipher);
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 8), expected);
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + 8, data.end()), expected);  // ECB: no chaining
  bf.DecryptEcb(data.data(), data.size());
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 8), BigEndian(v.plain));
}

TEST(Blowfish, TrailingPartialBlockIsLeftAlone) {
  const auto key = BigEndian(kVectors[4].key);
  const Blowfish bf(key.data(), key.size());
  std::vector<std::uint8_t> data(11, 0x11);
  bf.EncryptEcb(data.data(), data.size());
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 8), BigEndian(kVectors[4].cipher));
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + 8, data.end()), std::vector<std::uint8_t>(3, 0x11));
}

}  // namespace
}  // namespace ks
