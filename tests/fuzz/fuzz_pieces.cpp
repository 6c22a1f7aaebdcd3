// ks_fuzz_pieces: cuts the inputs of the fuzz targets out of built installers,
// so that a fuzzing campaign starts from what the authoring tool really writes.
//
//   ks_fuzz_pieces OUT_DIR [--damaged N] INSTALLER... [--uninstall-data FILE...]
//
// For each installer <stem>.exe it writes, under OUT_DIR/<target>/:
//   archive_header_fuzz/<stem>        the ".setup" section
//   settings_stream_fuzz/<stem>       the options byte and the decoded settings stream
//   settings_stream_fuzz/<stem>.silent  the same read as a silent run
//   file_data_block_fuzz/<stem>       the file-data block in the target's explicit
//                                     form (coding, key, per-file sizes, block)
//   registry_records_fuzz/<stem>      the registry records text, when there is one
//   icon_directory_fuzz/<stem>.*      the product and uninstaller icons, when present
//   marked_text_fuzz/<stem>.name*     the first file records' names
// and each Uninstall.DAT after --uninstall-data under uninstall_data_fuzz/ and
// removal_plan_fuzz/, both named <file name>.
// With --damaged N, every piece also gets N damaged copies (<piece>.flipK, one
// byte changed at a seeded position) and one cut short (<piece>.cut).
// Exit status: 0, or 1 when an input cannot be read or an installer does not parse.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "core/archive_header.h"
#include "core/install_settings.h"
#include "core/pe_image.h"
#include "core/settings_block.h"
#include "engine/file_data_block.h"
#include "lib/text.h"

namespace {

namespace fs = std::filesystem;

// Forms of the fuzz targets' inputs (see their sources).
constexpr std::uint8_t kSettingsSilent = 1;
constexpr std::uint8_t kSettingsSecondColours = 4;
constexpr std::uint8_t kBlockCompressed = 1, kBlockEnciphered = 2, kBlockExplicit = 8;
constexpr std::uint64_t kCompressedFiles = 0x20;

struct Writer {
  fs::path out;
  int damaged = 0;
  std::uint64_t seed = 0x9E3779B97F4A7C15ull;

  std::uint64_t Next() {
    std::uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  bool WriteOne(const fs::path& path, const ks::Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f.flush());
  }

  // The piece and its damaged copies. `keep` leading bytes stay intact in the
  // copies (the options byte of a fuzz input, say), so that they damage the data.
  bool Write(const std::string& target, const std::string& name, const ks::Bytes& bytes, std::size_t keep = 0) {
    const fs::path dir = out / target;
    fs::create_directories(dir);
    if (!WriteOne(dir / name, bytes)) return false;
    if (bytes.size() <= keep) return true;
    const std::size_t span = bytes.size() - keep;
    for (int k = 0; k < damaged; ++k) {
      ks::Bytes copy = bytes;
      copy[keep + Next() % span] ^= static_cast<std::uint8_t>(1 + Next() % 255);
      if (!WriteOne(dir / (name + ".flip" + std::to_string(k)), copy)) return false;
    }
    ks::Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep + Next() % span));
    return WriteOne(dir / (name + ".cut"), cut);
  }
};

ks::Bytes BytesOf(const ks::NString& text) { return ks::Bytes(text.begin(), text.end()); }

void PutU32(ks::Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool Pieces(Writer& w, const fs::path& installer) {
  std::ifstream in(installer, std::ios::binary);
  const ks::Bytes exe{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string stem = installer.stem().string();
  const ks::SectionLookupResult found = ks::FindSetupSection(exe.data(), exe.size(), exe.size());
  if (found.outcome != ks::SectionLookup::kFound) {
    std::cerr << installer << ": no .setup section\n";
    return false;
  }
  const ks::SetupSection& s = found.section;
  const std::uint8_t* section = exe.data() + s.raw_offset;
  const std::size_t section_size = s.MappedSize();
  const ks::HeaderResult parsed = ks::ParseArchiveHeader(section, section_size);
  if (parsed.outcome != ks::HeaderOutcome::kOk) {
    std::cerr << installer << ": the archive header does not parse\n";
    return false;
  }
  const ks::ArchiveHeader& h = parsed.header;
  bool ok = w.Write("archive_header_fuzz", stem, ks::Bytes(section, section + section_size));

  const ks::SettingsBlockResult block = ks::DecodeSettingsBlock(h, section, section_size);
  if (block.corrupt_code != 0 || !ks::CheckSettingsCrc(block.stream, h.settings_check)) {
    std::cerr << installer << ": the settings block does not decode\n";
    return false;
  }
  const std::uint8_t options = (h.flags & ks::kArchiveFlagSecondDialogColours) ? kSettingsSecondColours : 0;
  for (const std::uint8_t mode : {std::uint8_t{0}, kSettingsSilent}) {
    ks::Bytes input{static_cast<std::uint8_t>(options | mode)};
    input.insert(input.end(), block.stream.begin(), block.stream.end());
    ok = w.Write("settings_stream_fuzz", stem + (mode ? ".silent" : ""), input, 1) && ok;
  }

  ks::SettingsInput settings_input;
  settings_input.archive_flags = h.flags;
  settings_input.program_files = settings_input.program_files_64 = u"C:\\Program Files";
  ks::SettingsReadHooks hooks;
  hooks.after_field_6 = [] { return 0; };
  ks::InstallSettings settings;
  ks::LocalizedTexts texts;
  if (ks::ReadInstallSettings(ks::ByteReader(block.stream), settings_input, hooks, settings, texts) != 0) {
    std::cerr << installer << ": the settings stream does not read\n";
    return false;
  }
  if (!settings.registry_entries.empty())
    ok = w.Write("registry_records_fuzz", stem, BytesOf(ks::WideToUtf8(settings.registry_entries))) && ok;
  if (!settings.product_icon.empty()) ok = w.Write("icon_directory_fuzz", stem + ".product", settings.product_icon) && ok;
  if (!settings.uninstaller_icon.empty())
    ok = w.Write("icon_directory_fuzz", stem + ".uninstaller", settings.uninstaller_icon) && ok;

  // The file-data block: in the section up to P, or behind it to the end of the file.
  const std::uint8_t* data = nullptr;
  std::size_t data_size = 0;
  if (settings.file_data_outside) {
    const std::size_t from = s.raw_offset + h.data_start;
    if (from <= exe.size()) data = exe.data() + from, data_size = exe.size() - from;
  } else {
    std::size_t offset = 0;
    if (ks::LocateInSectionFileData(h, section_size, &offset, &data_size) == 0) data = section + offset;
  }
  if (!data || h.per_file_values.size() > 255) {
    std::cerr << installer << ": the file data cannot be located (or has too many files for the fuzz form)\n";
    return false;
  }
  ks::ChunkCoding coding;
  coding.enciphered = h.enciphered();
  coding.key = h.cipher_key;
  coding.compressed = (settings.product_flags & kCompressedFiles) != 0;
  ks::Bytes input{static_cast<std::uint8_t>(kBlockExplicit | (coding.compressed ? kBlockCompressed : 0) |
                                            (coding.enciphered ? kBlockEnciphered : 0))};
  input.insert(input.end(), h.cipher_key.begin(), h.cipher_key.end());
  input.push_back(static_cast<std::uint8_t>(h.per_file_values.size()));
  for (const std::int32_t size : h.per_file_values) PutU32(input, static_cast<std::uint32_t>(size));
  const std::size_t keep = input.size();
  input.insert(input.end(), data, data + data_size);
  ok = w.Write("file_data_block_fuzz", stem, input, keep) && ok;

  ks::FileDataReader reader(data, data_size, coding);
  for (std::size_t i = 0; i < h.per_file_values.size() && i < 4; ++i) {
    ks::FileRecord record;
    if (reader.Next(h.per_file_values[i], &record) != 0) break;
    ok = w.Write("marked_text_fuzz", stem + ".name" + std::to_string(i), BytesOf(record.name)) && ok;
  }
  return ok;
}

// An Uninstall.DAT that a real installation wrote, for both targets that read one.
bool UninstallData(Writer& w, const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const ks::Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in || bytes.empty()) {
    std::cerr << file << ": cannot be read\n";
    return false;
  }
  const std::string name = file.filename().string();
  return w.Write("uninstall_data_fuzz", name, bytes) && w.Write("removal_plan_fuzz", name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: ks_fuzz_pieces OUT_DIR [--damaged N] INSTALLER...\n";
    return 1;
  }
  Writer w;
  w.out = argv[1];
  int first = 2;
  if (std::string(argv[2]) == "--damaged" && argc > 3) {
    w.damaged = std::atoi(argv[3]);
    first = 4;
  }
  bool ok = true;
  bool uninstall_data = false;
  for (int i = first; i < argc; ++i) {
    if (std::string(argv[i]) == "--uninstall-data") {
      uninstall_data = true;
    } else if (uninstall_data) {
      ok = UninstallData(w, argv[i]) && ok;
    } else {
      ok = Pieces(w, argv[i]) && ok;
    }
  }
  return ok ? 0 : 1;
}
