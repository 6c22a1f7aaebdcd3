#pragma once
// The file-data block: a run of chunks (u32 stored length, u32 CRC-32, the
// stored bytes), each deciphered when the archive is enciphered and
// decompressed as its own .xz stream when the product compresses. The decoded
// payloads, concatenated, form the record stream: items of a u32 length and
// that many bytes, which may cross chunk borders.
//
// The reader decodes on a worker thread a few chunks ahead of the records
// being written, each chunk once, straight into a buffer of a small fixed
// pool that the record stream then reads in place. What the caller sees is
// what decoding on demand would give: the same records, the same corrupt code
// for the same chunk, and a damaged chunk found ahead is reported only when
// the stream reaches it.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
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

// Chunks decoded ahead of the one the record stream reads.
inline constexpr int kChunksDecodedAhead = 2;

// An item whose data is at least this large and that reaches past the chunk
// being read is not gathered whole: its data is handed out piece by piece, so
// that no file needs a buffer of its size.
inline constexpr std::size_t kStreamedDataMin = std::size_t{1} << 20;
// How much of such an item is gathered to read the fields in front of its data.
inline constexpr std::size_t kRecordHeadPrefix = 64 * 1024;

// The data of a record handed out piece by piece, readable once.
class RecordDataSource {
 public:
  virtual ~RecordDataSource() = default;
  // Returns 0 and the next piece, valid until the next call (*n is 0 after
  // the last piece, once the data's check value matched), or a corrupt code.
  virtual int Read(const std::uint8_t** piece, std::size_t* n) = 0;
};

// A growable byte buffer that keeps its memory between uses and is never
// zero-filled: decoders write into its free tail.
class ChunkBuffer {
 public:
  std::uint8_t* data() { return data_.get(); }
  const std::uint8_t* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  void clear() { size_ = 0; }
  // Makes room for at least `n` bytes in all, keeping the content.
  void Reserve(std::size_t n);
  void set_size(std::size_t n) { size_ = n; }
  void ShrinkToFit();
  void Append(const std::uint8_t* p, std::size_t n);

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// One liblzma stream decoder kept for a whole block: its dictionary and state
// are allocated once, not for every chunk.
class ChunkDecoder {
 public:
  ChunkDecoder();
  ~ChunkDecoder();
  ChunkDecoder(const ChunkDecoder&) = delete;
  ChunkDecoder& operator=(const ChunkDecoder&) = delete;
  // Decodes the .xz streams of one chunk into `out` (replacing its content).
  // False when the data is no valid .xz or decodes to more than `max_output`.
  bool Decode(const std::uint8_t* data, std::size_t size, ChunkBuffer* out, std::size_t max_output);

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::size_t largest_ = 0;  // the largest output so far

};

class FileDataReader {
 public:
  // `ahead` chunks are decoded on a worker thread; 0 decodes each chunk on the
  // calling thread when the stream needs it.
  FileDataReader(const std::uint8_t* block, std::size_t size, const ChunkCoding& coding,
                 int ahead = kChunksDecodedAhead);
  // Stops the worker and waits for it, whatever was read.
  ~FileDataReader();
  FileDataReader(const FileDataReader&) = delete;
  FileDataReader& operator=(const FileDataReader&) = delete;

  // Reads the next item and parses it with data size `size`. Returns 0 or a
  // corrupt code. `on_chunk` (may be null) runs before each chunk is taken
  // into the stream. The record's data points into the reader and lives
  // until the next call.
  int Next(std::int32_t size, FileRecord* record, void (*on_chunk)(void*) = nullptr, void* context = nullptr);

  // The next piece of a streamed record's data (see RecordDataSource::Read):
  // in place in a decoded chunk; its check value is compared after the last
  // piece (100 when it differs). Next() reads what the caller left unread.
  int ReadData(const std::uint8_t** piece, std::size_t* n, void (*on_chunk)(void*) = nullptr,
               void* context = nullptr);
  // Reads the rest of a streamed record's data and compares its check value.
  int SkipData(void (*on_chunk)(void*) = nullptr, void* context = nullptr);

  // After the last item: 80 when chunks are left, 83 when stream bytes are left.
  int Finish() const;

  // Decoded bytes the reader holds now: the decoded chunks waiting or being
  // read and the copy of an item that crosses chunk borders.
  std::size_t buffered() const;

 private:
  // One decoded chunk: its payload (in a pool slot, or in the block itself
  // when stored plain), the block position behind it, and the corrupt code
  // that reading it gave.
  struct Decoded {
    int code = 0;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t block_end = 0;
    int slot = -1;
  };
  struct Slot {
    ChunkBuffer payload;
    Bytes deciphered;
    std::atomic<std::size_t> footprint{0};  // bytes both hold, for buffered()
  };

  Decoded DecodeAt(std::size_t pos, Slot& slot);
  void Work();
  int TakeChunk();
  int Gather(std::size_t need, const std::uint8_t** out, void (*on_chunk)(void*), void* context);
  void Consume(std::size_t n);
  int StartStreamed(std::uint32_t item_size, std::int32_t size, FileRecord* record, void (*on_chunk)(void*),
                    void* context);
  bool streaming() const { return data_left_ > 0 || check_left_; }

  const std::uint8_t* block_;
  std::size_t size_;
  ChunkCoding coding_;
  ChunkDecoder decoder_;  // used by the worker, or by the caller without one

  std::unique_ptr<Slot[]> slots_;
  int slot_count_ = 1;
  // Shared with the worker, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Decoded> ready_;
  std::vector<int> free_slots_;
  bool stopping_ = false;
  std::thread worker_;

  // The caller's side.
  std::size_t block_pos_ = 0;   // behind the last chunk taken into the stream
  Decoded current_;             // the chunk the stream reads now
  std::size_t current_pos_ = 0;
  ChunkBuffer carry_;           // an item that crosses chunk borders, gathered
  int failed_ = 0;              // the code that ended the stream; it stays
  // A streamed record's data: what is left of it, whether its check value is
  // still to come, the check so far, and where its first bytes start in
  // carry_ when the fields in front of it were gathered there.
  std::size_t data_left_ = 0;
  bool check_left_ = false;
  std::uint32_t data_check_ = 0;
  std::size_t carry_pos_ = 0;
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
