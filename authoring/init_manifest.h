#pragma once
// `kestrelon-build init FOLDER`: a starting manifest for a folder of files.
// The product is named after the folder and installs all of it; when the
// folder holds exactly one program at its top, that program gets the
// Start-menu shortcut and the App Paths entry. The manifest passes `check`
// as written; the author then fills in the publisher, version and texts.

#include <filesystem>
#include <optional>
#include <string>

namespace ks::authoring {

// The manifest's text for `folder`, written to `manifest_path` (its paths
// are relative to that file's folder). Nothing when `folder` is not a folder
// (error says why).
std::optional<std::string> StartingManifest(const std::filesystem::path& folder,
                                            const std::filesystem::path& manifest_path, std::string* error);

}  // namespace ks::authoring
