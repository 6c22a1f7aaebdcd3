#include "engine/file_data_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>

#include "core/settings_block.h"
#include "lib/crc32.h"

namespace ks {
namespace {

Bytes Pattern(std::size_t n, int seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + seed);
  return b;
}

FileRecord Sample(const char* name, std::int32_t kind, std::int32_t flags) {
  FileRecord r;
  r.name = name;
  r.kind = kind;
  r.flags = flags;
  r.attributes = 0x21;
  r.date.year = 2024, r.date.month = 5, r.date.day = 6, r.date.hour = 7, r.date.minute = 8, r.date.second = 9;
  r.title = "1.2.3";
  r.shortcut_icon = u"app.ico";
  r.arguments = "/x";
  r.destination = u"Tools\\";
  r.extra_text = "|\xC3\xA9";
  r.package_option = 3;
  return r;
}

const ChunkCoding kPlain{};
const ChunkCoding kCompressed{false, {}, true};
const ChunkCoding kBoth{true, {{9, 8, 7, 6, 5, 4, 3, 2}}, true};

TEST(FileRecord, EveryFieldRoundTripsByKindAndFlags) {
  struct Case {
    std::int32_t kind, flags;
  };
  const Case cases[] = {{0, 0x03}, {0, 0}, {11, 0x80}, {9, 0x20}, {4, 0x40}};
  for (const Case& c : cases) {
    const FileRecord in = Sample("bin\\app.exe", c.kind, c.flags);
    const Bytes data = Pattern(100, c.kind);
    const Bytes item = EncodeFileRecord(in, data);
    FileRecord out;
    ASSERT_EQ(ParseFileRecord(item.data(), item.size(), 100, &out), 0) << c.kind;
    EXPECT_EQ(out.name, in.name);
    EXPECT_EQ(out.kind, c.kind);
    EXPECT_EQ(out.flags, c.flags);
    EXPECT_EQ(out.attributes, 0x21);
    EXPECT_EQ(out.date, in.date);
    EXPECT_EQ(out.title, "1.2.3");
    EXPECT_EQ(out.shortcut_icon, in.has_shortcut_icon() ? u"app.ico" : u"");
    EXPECT_EQ(out.arguments, "/x");
    EXPECT_EQ(out.destination, u"Tools\\");
    EXPECT_EQ(out.extra_text, in.extra_text);
    EXPECT_EQ(out.package_option, c.kind == kKindPackage ? 3 : 0);
    EXPECT_EQ(Bytes(out.data, out.data + out.size), data);
  }
}

TEST(FileRecord, MalformedItemsGiveTheirCodes) {
  const Bytes data = Pattern(10, 1);
  const Bytes good = EncodeFileRecord(Sample("a.txt", 0, 0), data);
  Bytes bad_check = good;
  bad_check.back() ^= 1;
  Bytes trailing = good;
  trailing.push_back(0);
  struct Case {
    const char* what;
    Bytes item;
    std::int32_t size;
    int code;
  };
  const Case cases[] = {
      {"empty name", EncodeFileRecord(Sample("", 0, 0), data), 10, kCorruptRecordName},
      {"negative size", good, -1, kCorruptRecordSizeNegative},
      {"size above 1 GiB", good, kMaxRecordDataSize + 1, kCorruptRecordSizeTooLarge},
      {"data check", bad_check, 10, kCorruptRecordDataCheck},
      {"size larger than the item", good, 11, kCorruptStreamNotConsumed},
      {"bytes after the check value", trailing, 10, kCorruptStreamNotConsumed},
      {"cut inside the texts", Bytes(good.begin(), good.begin() + 40), 10, kCorruptStreamNotConsumed},
      {"nothing at all", Bytes(), 0, kCorruptRecordName},
  };
  for (const Case& c : cases) {
    FileRecord out;
    EXPECT_EQ(ParseFileRecord(c.item.data(), c.item.size(), c.size, &out), c.code) << c.what;
  }
}

struct Built {
  std::vector<Bytes> data;
  std::vector<std::int32_t> sizes;
  Bytes block;
};

Built BuildSample(std::size_t chunk, const ChunkCoding& coding, std::vector<std::size_t> sizes) {
  Built b;
  std::vector<Bytes> items;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    b.data.push_back(Pattern(sizes[i], static_cast<int>(i)));
    b.sizes.push_back(static_cast<std::int32_t>(sizes[i]));
    items.push_back(EncodeFileRecord(Sample("f.bin", 0, 0), b.data.back()));
  }
  EXPECT_TRUE(BuildFileDataBlock(items, chunk, coding, &b.block));
  return b;
}

// A record's data, in place or streamed piece by piece.
int TakeData(FileDataReader& reader, const FileRecord& r, Bytes* out, void (*on_chunk)(void*) = nullptr,
             void* context = nullptr) {
  if (!r.streamed) {
    out->assign(r.data, r.data + r.size);
    return 0;
  }
  out->clear();
  while (true) {
    const std::uint8_t* piece = nullptr;
    std::size_t n = 0;
    if (const int code = reader.ReadData(&piece, &n, on_chunk, context)) return code;
    if (n == 0) return 0;
    out->insert(out->end(), piece, piece + n);
  }
}

// Reads every record (or the first `count`) and checks its data.
int ReadAll(const Built& b, const ChunkCoding& coding, int* chunks_seen = nullptr, int ahead = kChunksDecodedAhead,
            std::size_t count = SIZE_MAX) {
  FileDataReader reader(b.block.data(), b.block.size(), coding, ahead);
  int seen = 0;
  auto counter = [](void* c) { ++*static_cast<int*>(c); };
  for (std::size_t i = 0; i < b.sizes.size() && i < count; ++i) {
    FileRecord r;
    int code = reader.Next(b.sizes[i], &r, counter, &seen);
    if (code != 0) return code;
    Bytes data;
    code = TakeData(reader, r, &data, counter, &seen);
    if (code != 0) return code;
    EXPECT_EQ(data, b.data[i]) << i;
  }
  if (chunks_seen) *chunks_seen = seen;
  return reader.Finish();
}

TEST(FileDataBlock, RecordsSpanChunksUnderEveryCoding) {
  struct Case {
    const char* what;
    std::size_t chunk;
    ChunkCoding coding;
    int chunks;
  };
  // Three records of 70 + 3000 + 5 data bytes (plus ~60 bytes of fields each).
  const Case cases[] = {
      {"one chunk", 1 << 20, kPlain, 1},
      {"small chunks, plain", 500, kPlain, 7},
      {"small chunks, xz", 500, kCompressed, 7},
      {"small chunks, xz and cipher", 500, kBoth, 7},
  };
  for (const Case& c : cases) {
    const Built b = BuildSample(c.chunk, c.coding, {70, 3000, 5});
    for (int ahead : {0, kChunksDecodedAhead}) {
      int chunks = 0;
      EXPECT_EQ(ReadAll(b, c.coding, &chunks, ahead), 0) << c.what << ahead;
      EXPECT_EQ(chunks, c.chunks) << c.what << ahead;
    }
  }
}

// Rewrites the first chunk header of a block.
Bytes WithFirstChunk(Bytes block, std::uint32_t length, bool fix_check) {
  for (int i = 0; i < 4; ++i) block[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
  if (fix_check && length <= block.size() - 8) {
    const std::uint32_t crc = Crc32(block.data() + 8, length);
    for (int i = 0; i < 4; ++i) block[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (8 * i));
  }
  return block;
}

TEST(FileDataBlock, DamagedBlocksGiveTheirCodes) {
  const Built good = BuildSample(1 << 20, kCompressed, {40, 50});
  Built extra_chunk = good;
  const Bytes chunk = EncodeChunk(Bytes{1, 2, 3}, kCompressed);
  extra_chunk.block.insert(extra_chunk.block.end(), chunk.begin(), chunk.end());
  Built leftover_stream = good;
  leftover_stream.sizes.pop_back();  // the second item is never read
  leftover_stream.data.pop_back();
  Built not_xz = good;
  not_xz.block = EncodeChunk(Bytes(50, 0x41), kPlain);
  Built bad_check = good;
  bad_check.block[20] ^= 0xFF;
  Built missing_bytes = good;
  missing_bytes.block.resize(4);
  struct Case {
    const char* what;
    Built built;
    int code;
  };
  const Case cases[] = {
      {"good", good, 0},
      {"length 0", Built{good.data, good.sizes, WithFirstChunk(good.block, 0, false)}, kCorruptChunkLength},
      {"negative length", Built{good.data, good.sizes, WithFirstChunk(good.block, 0x80000000u, false)},
       kCorruptChunkLength},
      {"longer than the block", Built{good.data, good.sizes, WithFirstChunk(good.block, 100000, false)},
       kCorruptChunkTooLong},
      {"no room for a chunk header", missing_bytes, kCorruptChunkTooLong},
      {"check value", bad_check, kCorruptChunkCheck},
      {"not an xz stream", not_xz, kCorruptChunkDecode},
      {"chunk left over", extra_chunk, kCorruptBlockNotConsumed},
      {"record left over", leftover_stream, kCorruptStreamNotConsumed},
  };
  for (const Case& c : cases) {
    for (int ahead : {0, kChunksDecodedAhead}) EXPECT_EQ(ReadAll(c.built, kCompressed, nullptr, ahead), c.code) << c.what;
  }
}

// A damaged chunk that the worker meets ahead of the records tells only when
// the stream reaches it: a run that ends before gives what it gave before.
TEST(FileDataBlock, DamageAheadTellsOnlyWhenReached) {
  // Records of 2000 data bytes in chunks of 2500 stream bytes: record i
  // starts in chunk i, so chunk 2 is first needed by record 2.
  const Built good = BuildSample(2500, kCompressed, {2000, 2000, 2000, 2000});
  // The offset of chunk 2 in the block.
  std::size_t at = 0;
  for (int i = 0; i < 2; ++i) at += 8 + LoadLe32(good.block.data() + at);
  struct Damage {
    const char* what;
    std::function<void(Bytes&)> apply;
    int code;
  };
  const Damage damages[] = {
      {"check value", [at](Bytes& b) { b[at + 12] ^= 0xFF; }, kCorruptChunkCheck},
      {"length 0", [at](Bytes& b) { std::fill(b.begin() + at, b.begin() + at + 4, 0); }, kCorruptChunkLength},
      {"not xz",
       [at](Bytes& b) {
         b[at + 8] ^= 0xFF;
         const std::uint32_t crc = Crc32(b.data() + at + 8, LoadLe32(b.data() + at));
         StoreLe32(b.data() + at + 4, crc);
       },
       kCorruptChunkDecode},
  };
  struct Run {
    std::size_t records;  // read before Finish
    bool reaches;         // whether they need chunk 2
  };
  const Run runs[] = {{1, false}, {2, false}, {3, true}, {4, true}};
  for (const Damage& d : damages) {
    Built b = good;
    d.apply(b.block);
    for (const Run& r : runs) {
      for (int ahead : {0, 1, kChunksDecodedAhead}) {
        const int code = ReadAll(b, kCompressed, nullptr, ahead, r.records);
        EXPECT_EQ(code, r.reaches ? d.code : kCorruptBlockNotConsumed) << d.what << " " << r.records << " " << ahead;
        // The undamaged block ends the same way short of its end.
        if (!r.reaches) {
          EXPECT_EQ(ReadAll(good, kCompressed, nullptr, ahead, r.records), kCorruptBlockNotConsumed) << d.what;
        }
      }
    }
  }
}

// Records of at least kStreamedDataMin that cross a chunk border come piece by
// piece: the same bytes, with a buffer far smaller than the record.
TEST(FileDataBlock, LargeRecordsAreStreamed) {
  const std::size_t chunk = 256 * 1024;
  const std::vector<std::size_t> sizes{100, 3 * kStreamedDataMin + 7, 50, kStreamedDataMin, 5};
  for (const ChunkCoding& coding : {kPlain, kCompressed, kBoth}) {
    const Built b = BuildSample(chunk, coding, sizes);
    for (int ahead : {0, kChunksDecodedAhead}) {
      FileDataReader reader(b.block.data(), b.block.size(), coding, ahead);
      for (std::size_t i = 0; i < sizes.size(); ++i) {
        FileRecord r;
        ASSERT_EQ(reader.Next(b.sizes[i], &r), 0) << i;
        EXPECT_EQ(r.streamed, sizes[i] >= kStreamedDataMin) << i;
        EXPECT_EQ(r.name, "f.bin");
        Bytes data;
        ASSERT_EQ(TakeData(reader, r, &data), 0) << i;
        EXPECT_EQ(data, b.data[i]) << i;
        // The chunks in the pool, their cipher copies and a gathered head.
        EXPECT_LE(reader.buffered(), (kChunksDecodedAhead + 1) * 2 * chunk + kRecordHeadPrefix + 2048) << i;
      }
      EXPECT_EQ(reader.Finish(), 0);
    }
  }
}

TEST(FileDataBlock, StreamedDataIsCheckedWhetherReadOrSkipped) {
  const std::size_t size = 2 * kStreamedDataMin;
  FileRecord head = Sample("big.bin", 0, 0);
  Bytes item = EncodeFileRecord(head, Pattern(size, 3));
  Bytes block;
  struct Case {
    const char* what;
    bool damaged;
    bool read;  // the data is read, or skipped by the next call
    int code;
  };
  const Case cases[] = {
      {"read", false, true, 0},
      {"skipped", false, false, 0},
      {"damaged, read", true, true, kCorruptRecordDataCheck},
      {"damaged, skipped", true, false, kCorruptRecordDataCheck},
  };
  for (const Case& c : cases) {
    Bytes changed = item;
    if (c.damaged) changed[changed.size() - 10] ^= 1;  // a data byte near the end
    const Bytes small = EncodeFileRecord(Sample("small.txt", 0, 0), Pattern(10, 1));
    ASSERT_TRUE(BuildFileDataBlock({changed, small}, 100000, kCompressed, &block));
    FileDataReader reader(block.data(), block.size(), kCompressed);
    FileRecord r;
    ASSERT_EQ(reader.Next(static_cast<std::int32_t>(size), &r), 0) << c.what;
    ASSERT_TRUE(r.streamed) << c.what;
    int code = 0;
    if (c.read) {
      Bytes data;
      code = TakeData(reader, r, &data);
    }
    if (code == 0) code = reader.Next(10, &r);
    if (code == 0) code = reader.Finish();
    EXPECT_EQ(code, c.code) << c.what;
  }
}

// An item whose fields in front of the data do not fit the gathered prefix,
// or whose size disagrees with the per-file value, is read whole and gives
// the code it always gave.
TEST(FileDataBlock, UndecidedLargeItemsAreReadWhole) {
  const std::size_t size = kStreamedDataMin + 100;
  FileRecord long_name = Sample("x", 0, 0);
  long_name.name = NString(kRecordHeadPrefix + 10, 'n');
  struct Case {
    const char* what;
    FileRecord head;
    std::int32_t size;
    int code;
  };
  const Case cases[] = {
      {"long name", long_name, static_cast<std::int32_t>(size), 0},
      {"size smaller than the item", Sample("a", 0, 0), static_cast<std::int32_t>(size - 1), kCorruptRecordDataCheck},
      {"size larger than the item", Sample("a", 0, 0), static_cast<std::int32_t>(size + 1), kCorruptStreamNotConsumed},
      {"empty name", Sample("", 0, 0), static_cast<std::int32_t>(size), kCorruptRecordName},
  };
  for (const Case& c : cases) {
    Bytes block;
    const Bytes data = Pattern(size, 5);
    ASSERT_TRUE(BuildFileDataBlock({EncodeFileRecord(c.head, data)}, 300000, kPlain, &block));
    FileDataReader reader(block.data(), block.size(), kPlain);
    FileRecord r;
    const int code = reader.Next(c.size, &r);
    EXPECT_EQ(code, c.code) << c.what;
    if (code == 0) {
      EXPECT_FALSE(r.streamed) << c.what;
      EXPECT_EQ(Bytes(r.data, r.data + r.size), data) << c.what;
    }
  }
}

TEST(FileDataBlock, MemoryHoldsOnlyTheUnreadStream) {
  // 40 records of 64 KiB in 16 KiB chunks: reading must not keep what was read.
  std::vector<std::size_t> sizes(40, 64 * 1024);
  const Built b = BuildSample(16 * 1024, kPlain, sizes);
  FileDataReader reader(b.block.data(), b.block.size(), kPlain);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    FileRecord r;
    ASSERT_EQ(reader.Next(b.sizes[i], &r), 0);
    EXPECT_LE(reader.buffered(), 64 * 1024 + 16 * 1024 + 256u) << i;
  }
  EXPECT_EQ(reader.Finish(), 0);
}

}  // namespace
}  // namespace ks
