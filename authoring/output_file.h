#pragma once
// Writes the finished setup.exe all at once: the bytes go to a temporary file
// beside the target, which is renamed over the target only when complete, so
// a failed run never leaves a half-written installer under the real name.

#include <filesystem>
#include <string>

#include "core/bytes.h"

namespace ks::authoring {

// Returns false and the reason in error; the temporary file is removed then.
bool WriteFileAtomically(const std::filesystem::path& target, const Bytes& bytes, std::string& error);

// The temporary file's name for a target.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& target);

}  // namespace ks::authoring
