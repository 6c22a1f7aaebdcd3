#include "authoring/stored_chunk.h"

#include <lzma.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace ks::authoring {
namespace {

constexpr std::size_t kEntropyBlock = 4096;
// The byte frequencies of 4 KiB of random bytes give about 7.955 bits a
// byte, rarely below 7.92; a block under 7.9 holds something an LZ coder
// shrinks.
constexpr double kRandomEntropyFloor = 7.9;
constexpr std::size_t kRepeatBlock = 32;

std::size_t EntropySaving(const std::uint8_t* data, std::size_t size, std::size_t stop_at) {
  std::size_t saving = 0;
  for (std::size_t at = 0; at + kEntropyBlock <= size && saving < stop_at; at += kEntropyBlock) {
    std::uint32_t counts[256] = {};
    for (std::size_t i = 0; i < kEntropyBlock; ++i) ++counts[data[at + i]];
    double sum = 0;  // the sum of c log2 c
    for (const std::uint32_t c : counts) {
      if (c > 1) sum += c * std::log2(static_cast<double>(c));
    }
    const double n = kEntropyBlock;
    const double bits_per_byte = std::log2(n) - sum / n;
    if (bits_per_byte < kRandomEntropyFloor) saving += static_cast<std::size_t>((8 - bits_per_byte) * n / 8);
  }
  return saving;
}

// Polynomial hash of kRepeatBlock bytes, rolled one byte at a time.
constexpr std::uint64_t kHashBase = 0x100000001B3ull;

std::uint64_t HashAt(const std::uint8_t* p) {
  std::uint64_t h = 0;
  for (std::size_t k = 0; k < kRepeatBlock; ++k) h = h * kHashBase + p[k];
  return h;
}

// Bytes of `data` that repeat an aligned block of 32 bytes found elsewhere
// in it: the long matches an LZ coder would find, whatever the distance.
std::size_t RepeatSaving(const std::uint8_t* data, std::size_t size, std::size_t stop_at) {
  if (size < 2 * kRepeatBlock) return 0;
  const std::size_t blocks = size / kRepeatBlock;
  std::size_t slots = 1;
  while (slots < 2 * blocks) slots <<= 1;
  // Open addressing; a position of 0 marks a free slot, so positions are kept plus one.
  std::vector<std::uint64_t> hashes(slots);
  std::vector<std::uint32_t> positions(slots);
  // One bit a slot, small enough to stay in the cache: most looks at random
  // bytes end here.
  std::vector<std::uint64_t> seen((slots + 63) / 64);
  const std::size_t mask = slots - 1;
  auto slot_of = [&](std::uint64_t h) { return static_cast<std::size_t>((h * 0x9E3779B97F4A7C15ull) >> 32) & mask; };
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::uint64_t h = HashAt(data + b * kRepeatBlock);
    std::size_t s = slot_of(h);
    while (positions[s] != 0 && hashes[s] != h) s = (s + 1) & mask;
    if (positions[s] != 0) continue;  // the first of equal blocks stands for them all
    hashes[s] = h;
    positions[s] = static_cast<std::uint32_t>(b * kRepeatBlock + 1);
    seen[s / 64] |= std::uint64_t{1} << (s % 64);
  }
  std::uint64_t top = 1;  // kHashBase to the power kRepeatBlock - 1
  for (std::size_t k = 1; k < kRepeatBlock; ++k) top *= kHashBase;
  std::size_t saving = 0;
  std::uint64_t h = HashAt(data);
  for (std::size_t x = 0;;) {
    std::size_t s = slot_of(h);
    bool repeat = false;
    if (seen[s / 64] & (std::uint64_t{1} << (s % 64))) {
      while (positions[s] != 0 && hashes[s] != h) s = (s + 1) & mask;
      const std::size_t pos = positions[s];
      repeat = pos != 0 && pos - 1 != x && std::memcmp(data + pos - 1, data + x, kRepeatBlock) == 0;
    }
    if (repeat) {
      saving += kRepeatBlock;
      if (saving >= stop_at) break;
      x += kRepeatBlock;
      if (x + kRepeatBlock > size) break;
      h = HashAt(data + x);
      continue;
    }
    if (x + kRepeatBlock >= size) break;
    h = (h - data[x] * top) * kHashBase + data[x + kRepeatBlock];
    ++x;
  }
  return saving;
}

std::size_t Saving(const std::uint8_t* data, std::size_t size, std::size_t stop_at) {
  const std::size_t entropy = EntropySaving(data, size, stop_at);
  if (entropy >= stop_at) return entropy;
  return entropy + RepeatSaving(data, size, stop_at - entropy);
}

}  // namespace

std::size_t EstimatedSaving(const std::uint8_t* data, std::size_t size) { return Saving(data, size, SIZE_MAX); }

bool LooksIncompressible(const std::uint8_t* data, std::size_t size) {
  if (size < kStoredChunkMin) return false;
  // The estimate runs below what LZMA finds (0.55 % for a chunk that preset
  // 6 shrank by 0.77 %), so the bar is low: random bytes estimate 0.
  const std::size_t bar = size / 1024;
  return Saving(data, size, bar) < bar;
}

bool EncodeStoredXz(const Bytes& data, Bytes* out, std::string* error) {
  lzma_stream_flags flags{};
  flags.version = 0;
  flags.check = LZMA_CHECK_CRC32;
  out->resize(lzma_stream_buffer_bound(data.size()));
  lzma_ret r = lzma_stream_header_encode(&flags, out->data());
  std::size_t pos = LZMA_STREAM_HEADER_SIZE;
  lzma_block block{};
  block.version = 0;
  block.check = flags.check;
  if (r == LZMA_OK) r = lzma_block_uncomp_encode(&block, data.data(), data.size(), out->data(), &pos, out->size());
  std::unique_ptr<lzma_index, void (*)(lzma_index*)> index(lzma_index_init(nullptr),
                                                           [](lzma_index* i) { lzma_index_end(i, nullptr); });
  if (r == LZMA_OK) r = index ? lzma_index_append(index.get(), nullptr, lzma_block_unpadded_size(&block),
                                                  block.uncompressed_size)
                              : LZMA_MEM_ERROR;
  if (r == LZMA_OK) r = lzma_index_buffer_encode(index.get(), out->data(), &pos, out->size());
  if (r == LZMA_OK) {
    flags.backward_size = lzma_index_size(index.get());
    r = pos + LZMA_STREAM_HEADER_SIZE <= out->size() ? lzma_stream_footer_encode(&flags, out->data() + pos)
                                                      : LZMA_BUF_ERROR;
  }
  if (r != LZMA_OK) {
    *error = "liblzma encoder error " + std::to_string(static_cast<int>(r));
    out->clear();
    return false;
  }
  out->resize(pos + LZMA_STREAM_HEADER_SIZE);
  return true;
}

}  // namespace ks::authoring
