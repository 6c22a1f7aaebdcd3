#pragma once
// The build: a loaded manifest and an engine become setup.exe. Steps, in
// order: the text table, the settings stream, the compression of the file
// data (a pool over independent chunks), the archive and the PE section.

#include <optional>
#include <string>
#include <vector>

#include "authoring/build_date.h"
#include "authoring/compress_pool.h"
#include "authoring/diagnostic.h"
#include "authoring/manifest.h"
#include "core/bytes.h"
#include "core/localized_texts.h"

namespace ks::authoring {

struct BuildResult {
  bool ok = false;
  Diagnostics diags;  // what went wrong when !ok
  Bytes executable;
};

// The settings record with the build date filled in.
InstallSettings SettingsWithDate(const InstallSettings& settings, const std::optional<SystemTime>& date);

// The manifest's languages as the engine's text table (UTF-16).
std::optional<LocalizedTexts> MakeTexts(const Manifest& manifest, Diagnostics& diags);

// The settings stream: every field, then the text table and the end value.
std::optional<Bytes> EncodeSettings(const Manifest& manifest, const std::optional<SystemTime>& date,
                                    Diagnostics& diags);

// The Blowfish key: the manifest's, or one derived from the stream so that
// the same input gives the same bytes.
std::array<std::uint8_t, 8> CipherKeyFor(const Manifest& manifest, const Bytes& settings_stream);

// Whether the engine can take the stream: stored (compressed, plus the
// cipher's padding) below max_stored bytes and at most max_decoded bytes plain.
// Otherwise the installer could only report itself corrupt, so the build fails.
bool CheckSettingsSize(const Bytes& stream, std::size_t max_stored, std::size_t max_decoded, Diagnostics& diags);

BuildResult BuildInstaller(const Manifest& manifest, const Bytes& engine, const std::optional<SystemTime>& date,
                           const CompressOptions& compress, const ProgressFn& progress);

}  // namespace ks::authoring
