#pragma once
// The file-data block: a run of chunks (u32 stored length, u32 CRC-32, the
// stored bytes), each deciphered when the archive is enciphered and
// decompressed as its own .xz stream when the product compresses. The decoded
// payloads, concatenated, form the record stream: items of a u32 length and
// that many bytes, which may cross chunk borders.
//
// The reader decodes each chunk once and keeps only the unread rest of the
// stream, so memory stays near one decoded chunk plus the largest record.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "engine/file_records.h"

namespace ks {

struct ChunkCoding {
  bool enciphered = false;  // archive flag 0x1000
  std::array<std::uint8_t, 8> key{};
  bool compressed = false;  // product flag 0x20
};

// Largest item of the record stream: the largest file plus room for its texts.
inline constexpr std::size_t kMaxRecordItem = std::size_t{kMaxRecordDataSize} + 0x100000;

class FileDataReader {
 public:
  FileDataReader(const std::uint8_t* block, std::size_t size, const ChunkCoding& coding);

  // Reads the next item and parses it with data size `size`. Returns 0 or a
  // corrupt code. `on_chunk` (may be null) runs before each chunk is decoded.
  // The record's data points into the reader and lives until the next call.
  int Next(std::int32_t size, FileRecord* record, void (*on_chunk)(void*) = nullptr, void* context = nullptr);

  // After the last item: 80 when chunks are left, 83 when stream bytes are left.
  int Finish() const;

  // Decoded bytes held now (the unread rest of the stream and the last item).
  std::size_t buffered() const { return stream_.size(); }

 private:
  int EnsureAvailable(std::size_t n, void (*on_chunk)(void*), void* context);
  int DecodeNextChunk();
  void DropConsumed();

  const std::uint8_t* block_;
  std::size_t size_;
  std::size_t block_pos_ = 0;
  ChunkCoding coding_;
  Bytes stream_;
  std::size_t stream_pos_ = 0;
};

// Builds a block from encoded items (each without its length prefix): the
// record stream is cut into pieces of `chunk_size` bytes, each stored as its
// own chunk. False when an item is too large for the format.
bool BuildFileDataBlock(const std::vector<Bytes>& items, std::size_t chunk_size, const ChunkCoding& coding,
                        Bytes* out);

// One stored chunk (header and bytes) from a decoded payload.
Bytes EncodeChunk(const Bytes& payload, const ChunkCoding& coding);
// The same from a payload that is already compressed (when the coding says
// so): enciphers it when asked and adds the length and check value.
Bytes FrameChunk(const Bytes& compressed_payload, const ChunkCoding& coding);

}  // namespace ks
