#include "core/archive_builder.h"

#include <lzma.h>

#include "core/pe_image.h"
#include "core/settings_block.h"
#include "lib/crc32.h"

namespace ks {
namespace {

Bytes StoreSettings(const ArchiveSpec& plan, std::uint32_t check) {
  Bytes stored = XzEncode(plan.settings);
  if (plan.break_stream && stored.size() > 16) {
    // A byte in the middle of the compressed data: inside the first block.
    stored[stored.size() / 2] ^= 0x5A;
  }
  if (plan.flags & kArchiveEnciphered) return Encipher(stored, plan.cipher_key);
  Unscramble(stored, check);
  return stored;
}

std::size_t EngineCheckOffset(const std::string& version) {
  return 4 + version.size() + 1 + 4 + 4 + 4;  // magic, version, flags, S, K
}

}  // namespace

Bytes XzEncode(const Bytes& data, std::uint32_t preset) {
  Bytes out(lzma_stream_buffer_bound(data.size()));
  std::size_t written = 0;
  if (lzma_easy_buffer_encode(preset, LZMA_CHECK_CRC64, nullptr, data.data(), data.size(), out.data(),
                              &written, out.size()) != LZMA_OK)
    return {};
  out.resize(written);
  return out;
}

BuiltArchive BuildArchive(const ArchiveSpec& plan) {
  const std::uint32_t check =
      plan.settings_check.value_or(Crc32(plan.settings.data(), plan.settings.size()));
  const Bytes stored = StoreSettings(plan, check);
  ByteWriter w;
  w.U32(plan.magic);
  w.Raw(plan.version.data(), plan.version.size());
  w.U8(0);
  w.U32(plan.flags);
  w.I32(plan.settings_size.value_or(static_cast<std::int32_t>(stored.size())));
  w.U32(check);
  w.U32(plan.engine_check);
  const std::size_t data_start = w.size() + 4 * 4 + 4 * plan.per_file_values.size() +
                                 ((plan.flags & kArchiveEnciphered) ? 8 : 0) + stored.size();
  const auto q = static_cast<std::int32_t>(plan.file_data.size());
  const std::int32_t end = plan.file_data_outside ? static_cast<std::int32_t>(data_start)
                                                  : static_cast<std::int32_t>(data_start) + q;
  w.I32(plan.file_data_end.value_or(end));
  w.I32(plan.file_count.value_or(static_cast<std::int32_t>(plan.per_file_values.size())));
  w.I32(plan.file_data_size.value_or(q));
  w.U32(plan.file_data_check.value_or(Crc32(plan.file_data.data(), plan.file_data.size())));
  for (std::int32_t v : plan.per_file_values) w.I32(v);
  if (plan.flags & kArchiveEnciphered) w.Raw(plan.cipher_key.data(), plan.cipher_key.size());
  w.Raw(stored);

  BuiltArchive built;
  built.data_start = data_start;
  built.engine_check_offset = EngineCheckOffset(plan.version);
  if (plan.file_data_outside)
    built.outside = plan.file_data;
  else
    w.Raw(plan.file_data);
  built.archive = w.Take();
  Bytes& tail = built.outside.empty() ? built.archive : built.outside;
  tail.resize(tail.size() - std::min(plan.cut_short, tail.size()));
  return built;
}

std::uint32_t EngineCheckValue(const std::uint8_t* file, std::uint32_t pe_offset,
                               std::uint32_t raw_offset) {
  const std::uint32_t from = pe_offset + 0x5C;
  return from < raw_offset ? Crc32(file + from, raw_offset - from) : Crc32(nullptr, 0);
}

bool BuildSetupExecutable(const Bytes& engine, const ArchiveSpec& plan, Bytes* out,
                          std::string* error) {
  const BuiltArchive built = BuildArchive(plan);
  if (!AddSetupSection(engine, built.archive, built.outside, out, error)) return false;
  const SectionLookupResult found = FindSetupSection(out->data(), out->size(), out->size());
  if (found.outcome != SectionLookup::kFound) {
    *error = "the added section is not found again";
    return false;
  }
  if (plan.engine_check == 0 && built.engine_check_offset + 4 <= built.archive.size()) {
    const SetupSection& s = found.section;
    const std::uint32_t crc = EngineCheckValue(out->data(), s.pe_offset, s.raw_offset);
    ByteWriter value;
    value.U32(crc);
    std::copy(value.bytes().begin(), value.bytes().end(),
              out->begin() + s.raw_offset + static_cast<std::ptrdiff_t>(built.engine_check_offset));
  }
  return true;
}

}  // namespace ks
