#include "engine/file_data_block.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/archive_builder.h"
#include "core/settings_block.h"
#include "lib/crc32.h"
#include "lib/fatal.h"
#include "lib/thread_start.h"

namespace ks {
namespace {

constexpr std::size_t kChunkHeader = 8;
// A decoded chunk's buffer grows by a quarter (at least this much) while
// decoding; the largest chunk decoded so far sizes the next buffers.
constexpr std::size_t kGrowStep = 64 * 1024;

}  // namespace

void ChunkBuffer::Reserve(std::size_t n) {
  if (n <= capacity_) return;
  std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[n]);
  if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
  data_ = std::move(bigger);
  capacity_ = n;
}

void ChunkBuffer::ShrinkToFit() {
  if (size_ == capacity_) return;
  std::unique_ptr<std::uint8_t[]> exact(size_ ? new std::uint8_t[size_] : nullptr);
  if (size_ > 0) std::memcpy(exact.get(), data_.get(), size_);
  data_ = std::move(exact);
  capacity_ = size_;
}

void ChunkBuffer::Append(const std::uint8_t* p, std::size_t n) {
  if (n == 0) return;
  if (n > std::numeric_limits<std::size_t>::max() - size_) RaiseOutOfMemory(n);
  Reserve(size_ + n);
  std::memcpy(data_.get() + size_, p, n);
  size_ += n;
}

struct ChunkDecoder::State {
  lzma_stream s = LZMA_STREAM_INIT;
};

ChunkDecoder::ChunkDecoder() : state_(new State) {}
ChunkDecoder::~ChunkDecoder() { lzma_end(&state_->s); }

bool ChunkDecoder::Decode(const std::uint8_t* data, std::size_t size, ChunkBuffer* out, std::size_t max_output) {
  out->clear();
  if (size == 0) return true;
  lzma_stream& s = state_->s;
  // Starting again on the same stream keeps liblzma's allocations.
  const lzma_ret started = lzma_stream_decoder(&s, UINT64_MAX, LZMA_CONCATENATED);
  if (started == LZMA_MEM_ERROR) RaiseOutOfMemory(0);
  if (started != LZMA_OK) return false;
  // Chunks of one block decode to about the same size: the largest so far
  // is the first guess, twice the stored size before any.
  const std::size_t guess = largest_ ? largest_ : std::min(size, max_output / 2) * 2 + kGrowStep;
  out->Reserve(std::min(guess, max_output));
  s.next_in = data;
  s.avail_in = size;
  while (true) {
    if (out->size() == out->capacity()) {
      if (out->capacity() >= max_output) return false;
      const std::size_t step = std::max(kGrowStep, out->capacity() / 4);
      out->Reserve(std::min(max_output, out->capacity() + step));
    }
    s.next_out = out->data() + out->size();
    s.avail_out = out->capacity() - out->size();
    const lzma_ret r = lzma_code(&s, LZMA_FINISH);
    out->set_size(out->capacity() - s.avail_out);
    if (r == LZMA_STREAM_END) {
      largest_ = std::max(largest_, out->size());
      // A buffer that grew well past its chunk is cut to size once; the
      // chunks after it fit.
      if (out->capacity() - out->size() > out->size() / 8 + kGrowStep) out->ShrinkToFit();
      return true;
    }
    if (r == LZMA_MEM_ERROR) RaiseOutOfMemory(0);
    // LZMA_BUF_ERROR here means the input ended inside a stream.
    if (r != LZMA_OK) return false;
  }
}

FileDataReader::FileDataReader(const std::uint8_t* block, std::size_t size, const ChunkCoding& coding, int ahead)
    : block_(block), size_(size), coding_(coding) {
  slot_count_ = ahead > 0 ? ahead + 1 : 1;
  slots_.reset(new Slot[static_cast<std::size_t>(slot_count_)]);
  if (ahead <= 0) return;
  for (int i = 0; i < slot_count_; ++i) free_slots_.push_back(i);
  if (!TryStartThread(worker_, [this] { Work(); })) {
    // No thread to be had: every chunk is decoded when the stream needs it.
    free_slots_.clear();
  }
}

FileDataReader::~FileDataReader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

FileDataReader::Decoded FileDataReader::DecodeAt(std::size_t pos, Slot& slot) {
  Decoded d;
  const std::size_t left = size_ - pos;
  // No room for another chunk header: the stream promised bytes the block lacks.
  if (left < kChunkHeader) {
    d.code = kCorruptChunkTooLong;
    return d;
  }
  const std::uint8_t* head = block_ + pos;
  const auto length = static_cast<std::int32_t>(LoadLe32(head));
  if (length <= 0) {
    d.code = kCorruptChunkLength;
    return d;
  }
  if (static_cast<std::size_t>(length) > left - kChunkHeader) {
    d.code = kCorruptChunkTooLong;
    return d;
  }
  const std::uint8_t* stored = head + kChunkHeader;
  auto stored_size = static_cast<std::size_t>(length);
  if (Crc32(stored, stored_size) != LoadLe32(head + 4)) {
    d.code = kCorruptChunkCheck;
    return d;
  }
  d.block_end = pos + kChunkHeader + stored_size;
  // Only an enciphered chunk needs a copy; otherwise it is read in place.
  if (coding_.enciphered) {
    slot.deciphered.assign(stored, stored + stored_size);
    Decipher(slot.deciphered, coding_.key);
    stored = slot.deciphered.data();
    stored_size = slot.deciphered.size();
  }
  if (!coding_.compressed) {
    d.data = stored;
    d.size = stored_size;
  } else if (decoder_.Decode(stored, stored_size, &slot.payload, kMaxRecordItem)) {
    d.data = slot.payload.data();
    d.size = slot.payload.size();
  } else {
    d.code = kCorruptChunkDecode;
  }
  slot.footprint = slot.payload.capacity() + slot.deciphered.capacity();
  return d;
}

// The worker decodes chunk after chunk into free slots and stops behind the
// first chunk that gives a code (the end of the block gives one too).
void FileDataReader::Work() {
  std::size_t pos = 0;
  while (true) {
    int slot = -1;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !free_slots_.empty(); });
      if (stopping_) return;
      slot = free_slots_.back();
      free_slots_.pop_back();
    }
    Decoded d = DecodeAt(pos, slots_[slot]);
    d.slot = slot;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_.push_back(d);
    }
    changed_.notify_all();
    if (d.code != 0) return;
    pos = d.block_end;
  }
}

int FileDataReader::TakeChunk() {
  if (failed_ != 0) return failed_;
  Decoded next;
  if (!worker_.joinable()) {
    next = DecodeAt(block_pos_, slots_[0]);
    next.slot = 0;
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    if (current_.slot >= 0) free_slots_.push_back(current_.slot);
    current_ = Decoded();
    changed_.notify_all();
    changed_.wait(lock, [this] { return !ready_.empty(); });
    next = ready_.front();
    ready_.pop_front();
  }
  if (next.code != 0) {
    failed_ = next.code;
    return next.code;
  }
  current_ = next;
  current_pos_ = 0;
  block_pos_ = next.block_end;
  return 0;
}

// Points `out` at the next `need` bytes of the stream without consuming them:
// in place when the current chunk holds them all, else gathered in carry_.
int FileDataReader::Gather(std::size_t need, const std::uint8_t** out, void (*on_chunk)(void*), void* context) {
  while (true) {
    const std::size_t available = current_.size - current_pos_;
    if (carry_.size() == 0 && available >= need) {
      *out = current_.data + current_pos_;
      return 0;
    }
    if (carry_.capacity() < need) carry_.Reserve(need);
    const std::size_t take = std::min(available, need - carry_.size());
    carry_.Append(current_.data + current_pos_, take);
    current_pos_ += take;
    if (carry_.size() == need) {
      *out = carry_.data();
      return 0;
    }
    if (on_chunk) on_chunk(context);
    if (const int code = TakeChunk()) return code;
  }
}

void FileDataReader::Consume(std::size_t n) {
  // Gathered bytes are consumed whole; their copy stays until the next Gather.
  if (carry_.size() != 0) {
    carry_.clear();
  } else {
    current_pos_ += n;
  }
}

int FileDataReader::Next(std::int32_t size, FileRecord* record, void (*on_chunk)(void*), void* context) {
  if (streaming()) {
    if (const int code = SkipData(on_chunk, context)) return code;
  }
  const std::uint8_t* p = nullptr;
  int code = Gather(4, &p, on_chunk, context);
  if (code != 0) return code;
  const std::uint32_t n = LoadLe32(p);
  if (n > kMaxRecordItem) return kCorruptRecordSizeTooLarge;
  const std::size_t whole = 4 + std::size_t{n};
  const bool in_place = carry_.size() == 0 && current_.size - current_pos_ >= whole;
  if (!in_place && n >= kStreamedDataMin) {
    code = StartStreamed(n, size, record, on_chunk, context);
    if (code != kRecordHeadUndecided) return code;
  }
  code = Gather(whole, &p, on_chunk, context);
  if (code != 0) return code;
  Consume(whole);
  return ParseFileRecord(p + 4, n, size, record);
}

// Reads the fields in front of a large item's data and leaves the data to
// ReadData. kRecordHeadUndecided (with what was gathered kept) when the item
// must be read whole to tell what it holds.
int FileDataReader::StartStreamed(std::uint32_t item_size, std::int32_t size, FileRecord* record,
                                  void (*on_chunk)(void*), void* context) {
  const std::size_t prefix = 4 + std::min<std::size_t>(item_size, kRecordHeadPrefix);
  const std::uint8_t* p = nullptr;
  if (const int code = Gather(prefix, &p, on_chunk, context)) return code;
  std::size_t head = 0;
  const int code = ParseFileRecordHead(p + 4, prefix - 4, item_size, size, record, &head);
  if (code != 0) return code;
  if (carry_.size() != 0) {
    carry_pos_ = 4 + head;
  } else {
    current_pos_ += 4 + head;
  }
  record->streamed = true;
  data_left_ = record->size;
  check_left_ = true;
  data_check_ = 0;
  return 0;
}

int FileDataReader::ReadData(const std::uint8_t** piece, std::size_t* n, void (*on_chunk)(void*), void* context) {
  *n = 0;
  if (data_left_ > 0) {
    std::size_t take = 0;
    if (carry_pos_ < carry_.size()) {
      take = std::min(data_left_, carry_.size() - carry_pos_);
      *piece = carry_.data() + carry_pos_;
      carry_pos_ += take;
    } else {
      carry_.clear();
      carry_pos_ = 0;
      while (current_pos_ == current_.size) {
        if (on_chunk) on_chunk(context);
        if (const int code = TakeChunk()) return code;
      }
      take = std::min(data_left_, current_.size - current_pos_);
      *piece = current_.data + current_pos_;
      current_pos_ += take;
    }
    data_left_ -= take;
    data_check_ = Crc32(*piece, take, data_check_);
    *n = take;
    return 0;
  }
  if (!check_left_) return 0;
  // The fields gathered in front of the data never reach its check value.
  carry_.clear();
  carry_pos_ = 0;
  const std::uint8_t* p = nullptr;
  if (const int code = Gather(4, &p, on_chunk, context)) return code;
  const std::uint32_t check = LoadLe32(p);
  Consume(4);
  check_left_ = false;
  return check == data_check_ ? 0 : kCorruptRecordDataCheck;
}

int FileDataReader::SkipData(void (*on_chunk)(void*), void* context) {
  while (streaming()) {
    const std::uint8_t* piece = nullptr;
    std::size_t n = 0;
    if (const int code = ReadData(&piece, &n, on_chunk, context)) return code;
  }
  return 0;
}

int FileDataReader::Finish() const {
  if (streaming()) return kCorruptStreamNotConsumed;
  if (block_pos_ != size_) return kCorruptBlockNotConsumed;
  if (current_pos_ != current_.size) return kCorruptStreamNotConsumed;
  return 0;
}

std::size_t FileDataReader::buffered() const {
  std::size_t n = carry_.capacity();
  for (int i = 0; i < slot_count_; ++i) n += slots_[i].footprint;
  return n;
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
