#pragma once
// `kestrelon-build check MANIFEST`: every problem a build would meet, found
// without building or writing anything: the manifest's keys, the checks of
// manifest_checks.h, the settings the engine must accept, the product files
// and the engine.

#include <filesystem>
#include <optional>

#include "authoring/diagnostic.h"
#include "authoring/manifest_checks.h"
#include "core/bytes.h"

namespace ks::authoring {

// Adds every finding to diags; true when there was none. `engine` is the
// engine the build would copy (nothing: it could not be read, and the
// caller has said so).
bool CheckBuild(const std::filesystem::path& manifest_path, const std::optional<Bytes>& engine,
                const CheckOptions& options, Diagnostics& diags);

}  // namespace ks::authoring
