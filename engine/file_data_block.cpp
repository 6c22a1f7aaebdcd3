#include "engine/file_data_block.h"

#include "core/archive_builder.h"
#include "core/settings_block.h"
#include "lib/crc32.h"
#include "lib/fatal.h"

namespace ks {
namespace {

constexpr std::size_t kChunkHeader = 8;

std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

FileDataReader::FileDataReader(const std::uint8_t* block, std::size_t size, const ChunkCoding& coding)
    : block_(block), size_(size), coding_(coding) {}

int FileDataReader::Next(std::int32_t size, FileRecord* record, void (*on_chunk)(void*), void* context) {
  int code = EnsureAvailable(4, on_chunk, context);
  if (code != 0) return code;
  const std::uint32_t n = LoadU32(stream_.data() + stream_pos_);
  if (n > kMaxRecordItem) return kCorruptRecordSizeTooLarge;
  code = EnsureAvailable(4 + std::size_t{n}, on_chunk, context);
  if (code != 0) return code;
  const std::uint8_t* item = stream_.data() + stream_pos_ + 4;
  stream_pos_ += 4 + std::size_t{n};
  return ParseFileRecord(item, n, size, record);
}

int FileDataReader::Finish() const {
  if (block_pos_ != size_) return kCorruptBlockNotConsumed;
  if (stream_pos_ != stream_.size()) return kCorruptStreamNotConsumed;
  return 0;
}

int FileDataReader::EnsureAvailable(std::size_t n, void (*on_chunk)(void*), void* context) {
  while (stream_.size() - stream_pos_ < n) {
    if (on_chunk) on_chunk(context);
    const int code = DecodeNextChunk();
    if (code != 0) return code;
  }
  return 0;
}

// Drops the bytes already handed out, so the buffer holds only what is unread.
void FileDataReader::DropConsumed() {
  stream_.erase(stream_.begin(), stream_.begin() + static_cast<std::ptrdiff_t>(stream_pos_));
  stream_pos_ = 0;
}

int FileDataReader::DecodeNextChunk() {
  const std::size_t left = size_ - block_pos_;
  // No room for another chunk header: the stream promised bytes the block lacks.
  if (left < kChunkHeader) return kCorruptChunkTooLong;
  const std::uint8_t* head = block_ + block_pos_;
  const auto length = static_cast<std::int32_t>(LoadU32(head));
  if (length <= 0) return kCorruptChunkLength;
  if (static_cast<std::size_t>(length) > left - kChunkHeader) return kCorruptChunkTooLong;
  const std::uint8_t* stored = head + kChunkHeader;
  auto stored_size = static_cast<std::size_t>(length);
  if (Crc32(stored, stored_size) != LoadU32(head + 4)) return kCorruptChunkCheck;
  block_pos_ += kChunkHeader + stored_size;

  DropConsumed();
  // Only an enciphered chunk needs a copy; otherwise decode in place.
  Bytes deciphered;
  if (coding_.enciphered) {
    deciphered.assign(stored, stored + stored_size);
    Decipher(deciphered, coding_.key);
    stored = deciphered.data();
    stored_size = deciphered.size();
  }
  if (!coding_.compressed) {
    if (stored_size > stream_.max_size() - stream_.size()) RaiseOutOfMemory(stream_.size() + stored_size);
    stream_.insert(stream_.end(), stored, stored + stored_size);
    return 0;
  }
  Bytes decoded;
  if (!XzDecode(stored, stored_size, &decoded, kMaxRecordItem)) return kCorruptChunkDecode;
  // More than a vector can hold is memory the process lacks, not damage.
  if (decoded.size() > stream_.max_size() - stream_.size()) RaiseOutOfMemory(stream_.size() + decoded.size());
  if (stream_.empty()) stream_.swap(decoded);
  else stream_.insert(stream_.end(), decoded.begin(), decoded.end());
  return 0;
}

Bytes FrameChunk(const Bytes& compressed_payload, const ChunkCoding& coding) {
  const Bytes stored = coding.enciphered ? Encipher(compressed_payload, coding.key) : compressed_payload;
  ByteWriter out;
  out.U32(static_cast<std::uint32_t>(stored.size()));
  out.U32(Crc32(stored.data(), stored.size()));
  out.Raw(stored);
  return out.Take();
}

Bytes EncodeChunk(const Bytes& payload, const ChunkCoding& coding) {
  return FrameChunk(coding.compressed ? XzEncode(payload) : payload, coding);
}

bool BuildFileDataBlock(const std::vector<Bytes>& items, std::size_t chunk_size, const ChunkCoding& coding,
                        Bytes* out) {
  if (chunk_size == 0) return false;
  ByteWriter stream;
  for (const Bytes& item : items) {
    if (item.size() > kMaxRecordItem) return false;
    stream.U32(static_cast<std::uint32_t>(item.size()));
    stream.Raw(item);
  }
  const Bytes& all = stream.bytes();
  ByteWriter block;
  for (std::size_t at = 0; at < all.size(); at += chunk_size) {
    const std::size_t take = all.size() - at < chunk_size ? all.size() - at : chunk_size;
    const auto first = all.begin() + static_cast<std::ptrdiff_t>(at);
    block.Raw(EncodeChunk(Bytes(first, first + static_cast<std::ptrdiff_t>(take)), coding));
  }
  *out = block.Take();
  return true;
}

}  // namespace ks
