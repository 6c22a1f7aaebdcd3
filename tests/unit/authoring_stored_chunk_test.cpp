// Chunks that would not compress: which ones the tool stores, and that the
// engine's chunk reader decodes the stored streams.

#include <gtest/gtest.h>
#include <lzma.h>

#include <random>
#include <string>

#include "authoring/compress_pool.h"
#include "authoring/stored_chunk.h"
#include "engine/file_data_block.h"

namespace ks::authoring {
namespace {

Bytes Random(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng() >> 24);
  return b;
}

// Words from a small vocabulary, as in source files or documents.
Bytes Text(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"the ", "file ", "value ", "return ", "window ", "{\n", "}\n", "size ",
                                       "of ", "install ", "= ", "0x1F; ", "name ", "and ", "path ", "\t"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) s += kWords[rng() % 16];
  s.resize(size);
  return Bytes(s.begin(), s.end());
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Decoded(const Bytes& xz, std::size_t max_output) {
  ChunkDecoder decoder;
  ChunkBuffer back;
  if (!decoder.Decode(xz.data(), xz.size(), &back, max_output)) return {};
  return Bytes(back.data(), back.data() + back.size());
}

TEST(StoredChunkTest, OnlyChunksWithNothingToGainAreStored) {
  const Bytes random = Random(1 << 20, 1);
  const Bytes half = Random(512 << 10, 2);
  Bytes sprinkled = random;  // a few words, 0.05 % of the chunk
  const Bytes words = Text(512, 3);
  std::copy(words.begin(), words.end(), sprinkled.begin() + 300000);
  Bytes with_text = random;  // one small text file between random ones, 0.8 % of the chunk
  const Bytes file = Text(8 << 10, 4);
  std::copy(file.begin(), file.end(), with_text.begin() + 700001);
  const struct {
    const char* name;
    Bytes data;
    bool stored;
  } cases[] = {
      {"random bytes", random, true},
      {"random bytes with a few words", sprinkled, true},
      {"too small to judge", Random(kStoredChunkMin - 1, 5), false},
      {"text", Text(1 << 20, 6), false},
      {"zeros", Bytes(1 << 20, 0), false},
      {"random with a text file inside", with_text, false},
      {"random bytes twice", Join({half, half}), false},
      {"random bytes again at an odd distance", Join({half, Random(13, 7), half}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LooksIncompressible(c.data.data(), c.data.size()), c.stored);
    // The pool stores exactly these, and compresses the others.
    const CompressResult r = CompressChunks({c.data}, {});
    ASSERT_TRUE(r.ok) << r.error;
    Bytes stored;
    std::string error;
    ASSERT_TRUE(EncodeStoredXz(c.data, &stored, &error)) << error;
    EXPECT_EQ(r.out[0] == stored, c.stored);
    EXPECT_EQ(Decoded(r.out[0], c.data.size()), c.data);
  }
}

TEST(StoredChunkTest, EstimateIsZeroForRandomBytesAndNearlyAllForZeros) {
  EXPECT_EQ(EstimatedSaving(Random(1 << 20, 8).data(), 1 << 20), 0u);
  const Bytes zeros(1 << 20, 0);
  EXPECT_GE(EstimatedSaving(zeros.data(), zeros.size()), zeros.size() * 99 / 100);
  const Bytes text = Text(1 << 20, 9);
  EXPECT_GE(EstimatedSaving(text.data(), text.size()), text.size() / 4);
}

// The stored stream is an ordinary .xz stream: the engine's chunk reader
// decodes it, with a dictionary of a few kilobytes whatever its size, and it
// is the input plus a few bytes a 64 KiB piece.
TEST(StoredChunkTest, StoredStreamDecodesWithTheEnginesReader) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{300001}}) {
    SCOPED_TRACE(size);
    const Bytes data = Random(size, 10);
    Bytes xz;
    std::string error;
    ASSERT_TRUE(EncodeStoredXz(data, &xz, &error)) << error;
    EXPECT_EQ(Decoded(xz, size), data);
    EXPECT_LE(xz.size(), size + 3 * (size / 65536 + 1) + 64);
    lzma_stream s = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_stream_decoder(&s, 256 << 10, 0), LZMA_OK);
    Bytes out(size + 1);
    s.next_in = xz.data();
    s.avail_in = xz.size();
    s.next_out = out.data();
    s.avail_out = out.size();
    EXPECT_EQ(lzma_code(&s, LZMA_FINISH), LZMA_STREAM_END);
    EXPECT_EQ(s.total_out, size);
    lzma_end(&s);
  }
}

// A block whose chunks are stored, compressed and enciphered, read back
// record by record as the engine reads it.
TEST(StoredChunkTest, RecordStreamOfStoredAndCompressedChunksReadsBack) {
  const std::vector<Bytes> data = {Random(300000, 11), Text(200000, 12), Random(90000, 13)};
  for (const bool enciphered : {false, true}) {
    SCOPED_TRACE(enciphered ? "enciphered" : "plain");
    std::vector<Bytes> items;
    for (std::size_t i = 0; i < data.size(); ++i) {
      FileRecord r;
      r.name = "f" + std::to_string(i);
      items.push_back(EncodeFileRecord(r, data[i]));
    }
    ChunkCoding coding;
    coding.compressed = true;
    coding.enciphered = enciphered;
    coding.key = {1, 2, 3, 4, 5, 6, 7, 8};
    Bytes stream;
    for (const Bytes& item : items) {
      const auto n = static_cast<std::uint32_t>(item.size());
      for (int k = 0; k < 4; ++k) stream.push_back(static_cast<std::uint8_t>(n >> (8 * k)));
      stream.insert(stream.end(), item.begin(), item.end());
    }
    std::vector<Bytes> pieces;
    for (std::size_t at = 0; at < stream.size(); at += 100000) {
      pieces.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                          stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + 100000)));
    }
    const CompressResult packed = CompressChunks(pieces, {});
    ASSERT_TRUE(packed.ok) << packed.error;
    int stored = 0;
    Bytes block;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      Bytes plain;
      std::string error;
      ASSERT_TRUE(EncodeStoredXz(pieces[i], &plain, &error));
      stored += packed.out[i] == plain;
      const Bytes chunk = FrameChunk(packed.out[i], coding);
      block.insert(block.end(), chunk.begin(), chunk.end());
    }
    EXPECT_GE(stored, 2);
    EXPECT_LT(stored, static_cast<int>(pieces.size()));
    FileDataReader reader(block.data(), block.size(), coding);
    for (std::size_t i = 0; i < data.size(); ++i) {
      FileRecord r;
      ASSERT_EQ(reader.Next(static_cast<std::int32_t>(data[i].size()), &r), 0) << i;
      EXPECT_EQ(Bytes(r.data, r.data + r.size), data[i]) << i;
    }
    EXPECT_EQ(reader.Finish(), 0);
  }
}

}  // namespace
}  // namespace ks::authoring
