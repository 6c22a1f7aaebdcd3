#pragma once
// The manifest: a TOML file in which an author describes a product. Loading
// it checks every key (type, range, allowed values, unknown keys) and maps
// the readable names onto the installation settings record and the archive
// flags; docs/manifest.md is the reference of every key.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "authoring/diagnostic.h"
#include "authoring/languages.h"
#include "authoring/manifest_files.h"
#include "authoring/manifest_release.h"
#include "core/bytes.h"
#include "core/install_settings.h"

namespace ks::authoring {

// An author's picture as the bitmap resource the engine loads.
struct EnginePicture {
  std::uint16_t bitmap = 0;
  Bytes resource;
};
// The largest author's pictures taken, in pixels on either side: the pages
// stretch theirs (a page is a few hundred pixels even at 192 dots per
// inch), the buttons show theirs at its own size.
inline constexpr int kMaxPagePictureSide = 4096;
inline constexpr int kMaxButtonImageSide = 64;

struct Manifest {
  std::filesystem::path path;
  InstallSettings settings;
  std::uint32_t archive_flags = 0;
  // Blowfish key when the settings are enciphered; nothing = derived from the settings.
  std::optional<std::array<std::uint8_t, 8>> cipher_key;
  bool include_english = true;
  std::vector<TextOverride> english_texts;
  std::vector<LanguageSource> languages;
  std::vector<ManifestFile> files;               // [[file]]
  std::uint32_t file_chunk_size = kDefaultChunkSize;
  // [crash_report]: where the engine's crash report goes (code page 1252);
  // both empty when the table is missing, and the engine offers no sending.
  NString crash_support_address;
  NString crash_form_address;
  // [wizard]'s pictures, each replacing the engine's bitmap of that number
  // (the side picture, the header band, the two button images).
  std::vector<EnginePicture> pictures;
  SigningConfig signing;                         // [signing]: used with --sign
  PackageInfo package;                           // [package]: used with --package-manifest
};

// The record as the tool starts it before the manifest's keys apply.
InstallSettings DefaultSettings();

// Loads and checks a manifest and the files it names. On any error returns
// nothing; diags then holds every problem found.
std::optional<Manifest> LoadManifest(const std::filesystem::path& path, Diagnostics& diags);

// The named bits of the product flags and the archive flags, for the
// reference documentation and its test.
struct NamedBit {
  const char* name;
  std::uint64_t bit;
};
const std::vector<NamedBit>& ProductFlagNames();
const std::vector<NamedBit>& ArchiveFlagNames();

}  // namespace ks::authoring
