#include "authoring/build.h"

#include "core/archive_builder.h"
#include "core/pe_resources.h"
#include "core/settings_block.h"
#include "engine/file_data_block.h"
#include "crash/report_form.h"
#include "ui/wizard_rules.h"
#include "lib/crc32.h"

namespace ks::authoring {
namespace {

std::vector<WString> Widen(const std::vector<std::string>& utf8) {
  std::vector<WString> out;
  out.reserve(utf8.size());
  for (const std::string& s : utf8) out.push_back(Utf8ToWide(s));
  return out;
}

void Fail(BuildResult& r, const std::string& key, const std::string& message) {
  r.diags.Add({"", 0, 0, key, message});
}

// The file data of the archive: the record stream cut into pieces of the
// manifest's chunk size, each compressed on its own (when the product says
// so) and enciphered with the settings when they are.
bool CompressFileData(const Manifest& manifest, const CompressOptions& compress, const ProgressFn& progress,
                      ArchiveSpec& plan, BuildResult& r) {
  std::vector<Bytes> items;
  std::string error;
  if (!EncodeFiles(manifest.files, &items, &plan.per_file_values, &error)) {
    Fail(r, "file", error);
    return false;
  }
  const std::vector<Bytes> pieces = RecordStreamPieces(items, manifest.file_chunk_size);
  ChunkCoding coding;
  coding.compressed = HasFlag(manifest.settings.product_flags, FlagLow(0x00000020));
  coding.enciphered = (manifest.archive_flags & kArchiveEnciphered) != 0;
  coding.key = plan.cipher_key;
  std::vector<Bytes> stored = pieces;
  if (coding.compressed) {
    const std::vector<bool> code = X86CodePieces(items, plan.per_file_values, manifest.file_chunk_size);
    CompressResult packed = CompressChunks(pieces, compress, progress, code);
    if (!packed.ok) {
      Fail(r, "", "compression failed: " + packed.error);
      return false;
    }
    stored = std::move(packed.out);
  }
  for (const Bytes& c : stored) {
    const Bytes chunk = FrameChunk(c, coding);
    plan.file_data.insert(plan.file_data.end(), chunk.begin(), chunk.end());
  }
  return true;
}

// The engine with the product's own resources: the manifest's crash-report
// addresses as its strings and the author's pictures as its bitmaps; the
// engine as it is when the manifest gives neither.
bool EngineWithOwnResources(const Manifest& manifest, const Bytes& engine, Bytes* out, std::string* error) {
  const bool addresses = !manifest.crash_support_address.empty() || !manifest.crash_form_address.empty();
  if (!addresses && manifest.pictures.empty()) {
    *out = engine;
    return true;
  }
  ResourceTable table;
  if (!ReadResources(engine, &table, error)) return false;
  if (addresses) {
    PutResourceString(table, kSupportAddressStringId, kResourceLanguageEnglishUs,
                      Cp1252ToWide(manifest.crash_support_address));
    PutResourceString(table, kReportEndpointStringId, kResourceLanguageEnglishUs,
                      Cp1252ToWide(manifest.crash_form_address));
  }
  const ResourceKey bitmap = ResourceKey::Id(resource_type::kBitmap);
  const ResourceKey packed = ResourceKey::Id(resource_type::kRcData);
  for (const EnginePicture& picture : manifest.pictures) {
    // The author's bitmap wins over the engine's packed defaults at every
    // DPI; those defaults (and a large bitmap an older engine kept) would
    // only make the installer larger.
    const ResourceKey large = ResourceKey::Id(static_cast<std::uint16_t>(picture.bitmap + kLargeBitmapOffset));
    const ResourceKey number = ResourceKey::Id(picture.bitmap);
    for (const ResourceKey& type : {bitmap, packed}) {
      RemoveResource(table, type, large);
      RemoveResource(table, type, number);
    }
    PutResource(table, {bitmap, number, kResourceLanguageEnglishUs, 0, picture.resource});
  }
  return WriteResources(engine, table, out, error);
}

}  // namespace

InstallSettings SettingsWithDate(const InstallSettings& settings, const std::optional<SystemTime>& date) {
  InstallSettings s = settings;
  s.build_date = BuildDateRecord{};
  if (date) {
    s.build_date.year = date->year;
    s.build_date.month = date->month;
    s.build_date.day_of_week = date->day_of_week;
    s.build_date.day = date->day;
    s.build_date.hour = date->hour;
    s.build_date.minute = date->minute;
    s.build_date.second = date->second;
    s.build_date.milliseconds = date->milliseconds;
  }
  return s;
}

std::optional<LocalizedTexts> MakeTexts(const Manifest& manifest, Diagnostics& diags) {
  const auto table = BuildTextTable(manifest.include_english, manifest.english_texts, manifest.languages,
                                    manifest.path.string(), diags);
  if (!table) return std::nullopt;
  std::vector<std::vector<WString>> rows;
  rows.reserve(table->rows.size());
  for (const auto& row : table->rows) rows.push_back(Widen(row));
  return LocalizedTexts(Widen(table->names), rows);
}

std::optional<Bytes> EncodeSettings(const Manifest& manifest, const std::optional<SystemTime>& date,
                                    Diagnostics& diags) {
  const auto texts = MakeTexts(manifest, diags);
  if (!texts) return std::nullopt;
  SettingsWriter out;
  if (!WriteInstallSettings(SettingsWithDate(manifest.settings, date), *texts, manifest.archive_flags, out)) {
    // The manifest checks each key's limits, so this means a limit it does not know of.
    diags.Add({manifest.path.string(), 0, 0, "", "a value does not fit the settings encoding"});
    return std::nullopt;
  }
  return out.Take();
}

std::array<std::uint8_t, 8> CipherKeyFor(const Manifest& manifest, const Bytes& settings_stream) {
  if (manifest.cipher_key) return *manifest.cipher_key;
  const std::uint32_t a = Crc32(settings_stream.data(), settings_stream.size());
  const std::uint32_t b = Crc32(settings_stream.data(), settings_stream.size(), a ^ 0x5A5A5A5Au);
  std::array<std::uint8_t, 8> key{};
  for (int i = 0; i < 4; ++i) {
    key[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(a >> (8 * i));
    key[static_cast<std::size_t>(i + 4)] = static_cast<std::uint8_t>(b >> (8 * i));
  }
  return key;
}

bool CheckSettingsSize(const Bytes& stream, std::size_t max_stored, std::size_t max_decoded, Diagnostics& diags) {
  // Enciphering pads to 8 bytes and appends the length: at most 12 more.
  constexpr std::size_t kCipherOverhead = 12;
  std::size_t stored = 0;
  if (stream.size() <= max_decoded) {
    // xz adds only a few bytes even to incompressible data, so only a stream
    // near the limit needs a trial compression.
    stored = stream.size() + kCipherOverhead < max_stored / 2 ? 0 : XzEncode(stream).size() + kCipherOverhead;
    if (stored < max_stored) return true;
  }
  const std::string figures = stream.size() > max_decoded
                                  ? std::to_string(stream.size()) + " bytes, more than the " +
                                        std::to_string(max_decoded) + " bytes the engine decodes"
                                  : std::to_string(stored) + " bytes stored, the engine accepts less than " +
                                        std::to_string(max_stored);
  diags.Add({"", 0, 0, "", "the settings are too large (" + figures +
                               "); a background bitmap, start sound or documents this large cannot travel in them"});
  return false;
}

BuildResult BuildInstaller(const Manifest& manifest, const Bytes& engine, const std::optional<SystemTime>& date,
                           const CompressOptions& compress, const ProgressFn& progress) {
  BuildResult r;
  const auto stream = EncodeSettings(manifest, date, r.diags);
  if (!stream) return r;
  if (!CheckSettingsSize(*stream, static_cast<std::size_t>(kMaxSettingsSize), kMaxDecodedSettings, r.diags)) {
    return r;
  }
  ArchiveSpec plan;
  plan.flags = manifest.archive_flags;
  plan.settings = *stream;
  plan.cipher_key = CipherKeyFor(manifest, *stream);
  plan.file_data_outside = manifest.settings.file_data_outside != 0;
  if (!CompressFileData(manifest, compress, progress, plan, r)) return r;
  std::string error;
  Bytes own_engine;
  if (!EngineWithOwnResources(manifest, engine, &own_engine, &error)) {
    const bool addresses = !manifest.crash_support_address.empty() || !manifest.crash_form_address.empty();
    const std::string what = !addresses                 ? "the pictures"
                             : manifest.pictures.empty() ? "the crash report's addresses"
                                                         : "the crash report's addresses and the pictures";
    Fail(r, addresses ? "crash_report" : "wizard", "cannot write " + what + " into the engine: " + error);
    return r;
  }
  if (!BuildSetupExecutable(own_engine, plan, &r.executable, &error)) {
    Fail(r, "", "cannot add the archive to the engine: " + error);
    return r;
  }
  r.ok = true;
  return r;
}

}  // namespace ks::authoring
