#include "authoring/compress_pool.h"

#include "authoring/stored_chunk.h"

#include <lzma.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace ks::authoring {
namespace {

constexpr std::size_t kPiece = 64 * 1024;

struct LzmaStream {
  lzma_stream s = LZMA_STREAM_INIT;
  ~LzmaStream() { lzma_end(&s); }
};

// Serialises progress calls and keeps the running total.
class SharedProgress {
 public:
  SharedProgress(const ProgressFn& fn, std::uint64_t total) : fn_(fn), total_(total) {}
  void Add(std::uint64_t n) {
    if (!fn_ || n == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    done_ += n;
    fn_(done_, total_);
  }

 private:
  const ProgressFn& fn_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  std::mutex mutex_;
};

std::string LzmaError(lzma_ret r) { return "liblzma encoder error " + std::to_string(static_cast<int>(r)); }

bool CompressOne(const Bytes& in, bool x86_code, const CompressOptions& options, SharedProgress& progress,
                 Bytes& out, std::string& error) {
  if (LooksIncompressible(in.data(), in.size())) {
    if (!EncodeStoredXz(in, &out, &error)) return false;
    progress.Add(in.size());
    return true;
  }
  LzmaStream z;
  const std::uint32_t preset = options.preset | (options.extreme ? LZMA_PRESET_EXTREME : 0);
  lzma_options_lzma lzma;
  if (lzma_lzma_preset(&lzma, preset)) {
    error = "liblzma has no preset " + std::to_string(options.preset);
    return false;
  }
  lzma.dict_size = DictionaryFor(in.size(), lzma.dict_size);
  lzma_filter filters[3];
  std::size_t n = 0;
  if (x86_code) filters[n++] = {LZMA_FILTER_X86, nullptr};
  filters[n++] = {LZMA_FILTER_LZMA2, &lzma};
  filters[n] = {LZMA_VLI_UNKNOWN, nullptr};
  lzma_ret r = lzma_stream_encoder(&z.s, filters, LZMA_CHECK_CRC32);
  if (r != LZMA_OK) {
    error = LzmaError(r);
    return false;
  }
  out.resize(lzma_stream_buffer_bound(in.size()));
  z.s.next_out = out.data();
  z.s.avail_out = out.size();
  std::size_t pos = 0;
  do {
    const std::size_t piece = std::min(kPiece, in.size() - pos);
    z.s.next_in = in.data() + pos;
    z.s.avail_in = piece;
    pos += piece;
    const lzma_action action = pos == in.size() ? LZMA_FINISH : LZMA_RUN;
    do {
      r = lzma_code(&z.s, action);
    } while (r == LZMA_OK && (z.s.avail_in > 0 || (action == LZMA_FINISH && z.s.avail_out > 0)));
    progress.Add(piece);
  } while (r == LZMA_OK && pos < in.size());
  if (r != LZMA_STREAM_END) {
    error = LzmaError(r);
    return false;
  }
  out.resize(z.s.total_out);
  return true;
}

unsigned ThreadCount(const CompressOptions& options, std::size_t chunks) {
  unsigned n = options.threads ? options.threads : std::thread::hardware_concurrency();
  n = std::max(1u, n);
  return static_cast<unsigned>(std::min<std::size_t>(n, std::max<std::size_t>(chunks, 1)));
}

}  // namespace

std::uint32_t DictionaryFor(std::size_t size, std::uint32_t preset_dictionary) {
  const std::size_t wanted = std::min<std::size_t>(size, preset_dictionary);
  return static_cast<std::uint32_t>(std::max<std::size_t>(wanted, LZMA_DICT_SIZE_MIN));
}

CompressResult CompressChunks(const std::vector<Bytes>& chunks, const CompressOptions& options,
                              const ProgressFn& progress, const std::vector<bool>& x86_code) {
  CompressResult result;
  result.out.resize(chunks.size());
  std::uint64_t total = 0;
  for (const Bytes& c : chunks) total += c.size();
  SharedProgress shared(progress, total);

  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex error_mutex;
  auto worker = [&] {
    for (std::size_t i = next++; i < chunks.size() && !failed; i = next++) {
      std::string error;
      const bool code = i < x86_code.size() && x86_code[i];
      if (CompressOne(chunks[i], code, options, shared, result.out[i], error)) continue;
      std::lock_guard<std::mutex> lock(error_mutex);
      if (!failed.exchange(true)) result.error = "chunk " + std::to_string(i) + ": " + error;
    }
  };
  std::vector<std::thread> pool;
  const unsigned threads = ThreadCount(options, chunks.size());
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  result.ok = !failed;
  if (!result.ok) result.out.clear();
  return result;
}

}  // namespace ks::authoring
