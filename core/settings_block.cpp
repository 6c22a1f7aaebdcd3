#include "core/settings_block.h"

#include <lzma.h>

#include <algorithm>

#include "core/blowfish.h"
#include "lib/crc32.h"

namespace ks {
namespace {

constexpr std::size_t kPiece = 16 * 1024;
// The decoder's own memory (mostly the dictionary). Real archives use at most
// 64 MiB dictionaries; a header asking for more is refused before allocation.
constexpr std::uint64_t kDecoderMemoryLimit = std::uint64_t{256} << 20;

struct LzmaStream {
  lzma_stream s = LZMA_STREAM_INIT;
  ~LzmaStream() { lzma_end(&s); }
};

// One lzma_code step with a 16 KiB output piece; appends what was produced.
lzma_ret CodeStep(lzma_stream& s, lzma_action action, Bytes& out, std::size_t max_output) {
  std::uint8_t piece[kPiece];
  s.next_out = piece;
  s.avail_out = sizeof piece;
  const lzma_ret ret = lzma_code(&s, action);
  const std::size_t produced = sizeof piece - s.avail_out;
  if (produced > max_output - out.size()) return LZMA_MEMLIMIT_ERROR;
  out.insert(out.end(), piece, piece + produced);
  return ret;
}

bool Decode(const std::uint8_t* data, std::size_t size, Bytes& out, std::size_t max_output) {
  LzmaStream z;
  if (lzma_stream_decoder(&z.s, kDecoderMemoryLimit, LZMA_CONCATENATED) != LZMA_OK) return false;
  std::size_t fed = 0;
  for (;;) {
    if (z.s.avail_in == 0 && fed < size) {
      const std::size_t n = std::min(kPiece, size - fed);
      z.s.next_in = data + fed;
      z.s.avail_in = n;
      fed += n;
    }
    const lzma_action action = fed == size ? LZMA_FINISH : LZMA_RUN;
    const lzma_ret ret = CodeStep(z.s, action, out, max_output);
    if (ret == LZMA_STREAM_END) return true;
    // LZMA_BUF_ERROR after LZMA_FINISH means the input ended inside a stream.
    if (ret != LZMA_OK) return false;
  }
}

}  // namespace

void Unscramble(Bytes& block, std::uint32_t key) {
  const std::size_t whole = block.size() / 4 * 4;
  for (std::size_t i = 0; i < block.size(); ++i) {
    // Inside whole groups byte i takes key byte i % 4; the rest starts at the low byte again.
    const std::size_t k = i < whole ? i % 4 : i - whole;
    block[i] ^= static_cast<std::uint8_t>(key >> (8 * k));
  }
}

void Decipher(Bytes& block, const std::array<std::uint8_t, 8>& key) {
  const std::size_t s = block.size();
  if (s < 8 || s % 8 != 0) {
    block.clear();
    return;
  }
  Blowfish(key.data(), key.size()).DecryptEcb(block.data(), s);
  const auto plain = static_cast<std::int32_t>(LoadLe32(block.data() + s - 4));
  // S - 12 is negative for an 8-byte block; a negative length is never valid.
  const auto ss = static_cast<std::int64_t>(s);
  if (plain < 0 || plain < ss - 12 || plain > ss - 4) {
    block.clear();
    return;
  }
  block.resize(static_cast<std::size_t>(plain));
}

Bytes Encipher(const Bytes& plain, const std::array<std::uint8_t, 8>& key) {
  ByteWriter w;
  w.Raw(plain);
  const std::size_t total = (plain.size() + 4 + 7) / 8 * 8;
  while (w.size() < total - 4) w.U8(0);
  w.I32(static_cast<std::int32_t>(plain.size()));
  Bytes out = w.Take();
  Blowfish(key.data(), key.size()).EncryptEcb(out.data(), out.size());
  return out;
}

bool XzDecode(const std::uint8_t* data, std::size_t size, Bytes* out, std::size_t max_output) {
  out->clear();
  if (size == 0) return true;
  // First reservation: three times the stored size; it grows as the decoder
  // needs. Memory the process lacks is no damage of the data: the engine ends
  // the run through its out-of-memory path then.
  const std::size_t first = std::min(size, max_output / 3) * 3 + 1024;
  out->reserve(std::min(first, max_output));
  return Decode(data, size, *out, max_output);
}

SettingsBlockResult DecodeSettingsBlock(const ArchiveHeader& header, const std::uint8_t* section,
                                        std::size_t size) {
  SettingsBlockResult r;
  const std::size_t s = static_cast<std::size_t>(header.settings_size);
  if (header.settings_offset > size || s > size - header.settings_offset) {
    r.corrupt_code = kCorruptSettingsSize;
    return r;
  }
  Bytes block(section + header.settings_offset, section + header.settings_offset + s);
  if (header.enciphered())
    Decipher(block, header.cipher_key);
  else
    Unscramble(block, header.settings_check);
  if (!XzDecode(block.data(), block.size(), &r.stream)) r.corrupt_code = kCorruptSettingsDecode;
  return r;
}

bool CheckSettingsCrc(const Bytes& stream, std::uint32_t settings_check) {
  return Crc32(stream.data(), stream.size()) == settings_check;
}

}  // namespace ks
