#include "authoring/check_command.h"

#include <system_error>

#include "authoring/build.h"
#include "core/archive_header.h"
#include "core/pe_image.h"
#include "core/settings_block.h"
#include "engine/file_records.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;

// The product files as the build will read them: readable, and within the
// engine's size limit.
void CheckSources(const Manifest& m, Diagnostics& diags) {
  for (const ManifestFile& f : m.files) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(f.source, ec);
    if (ec) {
      diags.Add({f.source.u8string(), 0, 0, "file", "cannot read the file: " + ec.message()});
    } else if (size > static_cast<std::uintmax_t>(kMaxRecordDataSize)) {
      diags.Add({f.source.u8string(), 0, 0, "file", "larger than the engine's limit of 1 GiB per file"});
    }
  }
}

}  // namespace

bool CheckBuild(const fs::path& manifest_path, const std::optional<Bytes>& engine, const CheckOptions& options,
                Diagnostics& diags) {
  const std::size_t before = diags.size();
  const auto manifest = LoadManifest(manifest_path, diags);
  if (manifest) {
    CheckManifest(*manifest, options, diags);
    // The build's first steps: the text table and the settings the engine must accept.
    if (const auto stream = EncodeSettings(*manifest, std::nullopt, diags)) {
      CheckSettingsSize(*stream, static_cast<std::size_t>(kMaxSettingsSize), kMaxDecodedSettings, diags);
    }
    CheckSources(*manifest, diags);
  }
  if (engine) {
    Bytes trial;
    std::string error;
    if (!AddSetupSection(*engine, Bytes(1, 0), {}, &trial, &error))
      diags.Add({"", 0, 0, "", "cannot add the archive to the engine: " + error});
  }
  return diags.size() == before;
}

}  // namespace ks::authoring
