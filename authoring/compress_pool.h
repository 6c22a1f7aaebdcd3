#pragma once
// Compression of independent chunks on all cores. Each chunk becomes its own
// .xz stream (liblzma's encoder, CRC-32 check), so chunks need nothing from
// each other and the output depends only on the input and the preset: the
// same chunks give the same bytes whatever the thread count.

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

CompressResult CompressChunks(const std::vector<Bytes>& chunks, const CompressOptions& options,
                              const ProgressFn& progress = {});

}  // namespace ks::authoring
