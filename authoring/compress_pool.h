#pragma once
// Compression of independent chunks on all cores. Each chunk becomes its own
// .xz stream (liblzma's encoder, CRC-32 check), so chunks need nothing from
// each other and the output depends only on the input and the options: the
// same chunks give the same bytes whatever the thread count. The dictionary
// is no larger than the chunk (a larger one finds nothing more and costs the
// engine its size in memory); chunks of x86 code go through the x86 branch
// filter first, which the engine's .xz decoder undoes by itself. A chunk that
// looks incompressible (stored_chunk.h) is stored without running the
// encoder.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace ks::authoring {

struct CompressOptions {
  std::uint32_t preset = 6;  // liblzma preset 0-9
  bool extreme = false;      // LZMA_PRESET_EXTREME
  unsigned threads = 0;      // 0 = one per core
};

// Called with the input bytes consumed so far over all chunks and the total;
// calls are serialised, done never decreases.
using ProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

struct CompressResult {
  bool ok = false;
  std::string error;       // the first encoder failure when !ok
  std::vector<Bytes> out;  // out[i] is chunk i compressed
};

// `x86_code[i]` (when given) says that chunk i is mostly x86 machine code.
CompressResult CompressChunks(const std::vector<Bytes>& chunks, const CompressOptions& options,
                              const ProgressFn& progress = {}, const std::vector<bool>& x86_code = {});

// The dictionary for `size` bytes under `preset_dictionary`: the smaller of
// the two, at least liblzma's minimum.
std::uint32_t DictionaryFor(std::size_t size, std::uint32_t preset_dictionary);

}  // namespace ks::authoring
